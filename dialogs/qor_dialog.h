// QorDialog: the platform's standard dialogs and the default printer.
// Operations are declared in the class's slot order. Every call is
// complete in itself; text crosses the platform calls in the ANSI code
// page, through the calls' A forms.
#pragma once

#include <cstdint>
#include <string>

#include "dialogs/printer.h"
#include "system/automation.h"
#include "system/basic_types.h"
#include "system/code_page.h"
#include "system/form.h"

namespace orvane {

class QorDialog {
 public:
  // Works in the system's active ANSI code page.
  QorDialog() : QorDialog(CodePage::Active()) {}
  explicit QorDialog(CodePage code_page) : code_page_(std::move(code_page)) {}

  // Makes `objPrn` the default printer: stores its device name, driver
  // name and port, comma-separated and untouched, as the "device" entry of
  // the profile's "windows" section, then tells every top-level window
  // that the section changed. A failure to read a property is raised
  // before anything is written; a failed write goes unreported.
  void SetDefaultPrinter(const Printer& objPrn);

  // The whole default-printer entry ("device,driver,port"), spaces
  // removed at both ends only; at most its first 1023 bytes. Empty text
  // when there is none.
  std::u16string GetDefaultPrinter();

  // Stores `szBuf` as the default-printer entry, as it is (typically what
  // GetDefaultPrinter returned earlier), and tells every top-level window.
  void ResetDefaultPrinter(const std::u16string& szBuf);

  // Shows the platform's dialog for connecting a network printer, owned by
  // `f`. True once it has closed, whether a printer was connected or not.
  Boolean DialogConnectToPrinter(const Form& f);

  // Shows the open dialog (`wMode` 1) or the save dialog (any other
  // value) over `f` and returns the full path chosen, or empty text when
  // the user cancels or the dialog fails. The save dialog asks before an
  // existing file is overwritten; the open dialog takes only an existing
  // file. `szFilter` is the platform's filter list (description and
  // pattern pairs, each ended by a NUL) and is passed on unchanged.
  // Throws ProgramError 5, before any dialog, when `szFilename` is longer
  // than 255 characters.
  std::u16string DialogFile(const Form& f, std::int16_t wMode, const std::u16string& szDialogTitle,
                            const std::u16string& szFilename, const std::u16string& szFilter,
                            const std::u16string& szDefDir, const std::u16string& szDefExt);

 private:
  CodePage code_page_;
};

}  // namespace orvane
