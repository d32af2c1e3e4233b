// QorDialog: the platform's standard dialogs and the default printer.
// Operations are declared in the class's slot order. Every call is
// complete in itself; text crosses the platform calls in the ANSI code
// page, through the calls' A forms.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

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

  // Shows the shell's folder tree over `f`, from the desktop down, with
  // `szDialogTitle` above it; only file-system folders can be confirmed.
  // Returns the chosen folder's full path ("C:\\" for the root of drive C,
  // no final backslash otherwise), or empty text when the user cancels or
  // the item has no path.
  std::u16string BrowseFolder(const Form& f, const std::u16string& szDialogTitle);

  // Shows the platform's dialog for connecting a network printer, owned by
  // `f`. True once it has closed, whether a printer was connected or not.
  Boolean DialogConnectToPrinter(const Form& f);

  // Shows the colour dialog over `f`, opening on black with sixteen black
  // custom colours. Confirmed: sets "ForeColor" of `c` to the chosen
  // colour (red in the low byte) as a 32-bit integer and returns true.
  // Cancelled or failed: false, `c` untouched. Errors reading `f` or
  // writing "ForeColor" are raised.
  Boolean DialogColor(const Form& f, LateBoundObject& c);

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

  // Shows the font dialog, without an owner window (`f` is not read),
  // prepared from "FontBold" (a boolean; null is false), "FontItalic",
  // "FontUnderLine", "FontStrikethru" (each set when it equals true) and
  // "FontSize" of `c`. Confirmed: writes "FontBold" (weight 700 or more),
  // "FontItalic", "FontUnderLine", "FontStrikethru", "FontName" and
  // "FontSize" (whole points, halves to the even neighbour), in this
  // order, and returns true. Cancelled, failed or without memory for the
  // font record: false, `c` untouched. A property that cannot be read is
  // raised before any dialog; one that cannot be written is raised with
  // the properties before it already written.
  Boolean DialogFont(const Form& f, LateBoundObject& c);

 private:
  // The bytes before the first zero byte (all of them without one), read
  // in the ANSI code page.
  std::u16string BytesToString(std::string_view bytes) const;

  CodePage code_page_;
};

}  // namespace orvane
