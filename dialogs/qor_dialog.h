// QorDialog: the platform's standard dialogs and the default printer.
// Operations are declared in the class's slot order. Every call is
// complete in itself; text crosses the platform calls in the ANSI code
// page, through the calls' A forms.
#pragma once

#include <cstdint>
#include <string>

#include "system/code_page.h"
#include "system/form.h"

namespace orvane {

class QorDialog {
 public:
  // Works in the system's active ANSI code page.
  QorDialog() : QorDialog(CodePage::Active()) {}
  explicit QorDialog(CodePage code_page) : code_page_(std::move(code_page)) {}

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
