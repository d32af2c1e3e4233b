// QorDialog::DialogFile.
#include <windows.h>

#include <commdlg.h>

#include <algorithm>
#include <cstddef>

#include "dialogs/qor_dialog.h"
#include "system/deferred_import.h"
#include "system/program_error.h"

namespace orvane {
namespace {

// Characters of the file-name and file-title buffers, terminator included.
constexpr size_t kFileBufferChars = 255;
constexpr DWORD kOpenFlags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY;    // 0x1804
constexpr DWORD kSaveFlags = OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT;  // 0x806

// The short request form, ending with lpTemplateName: without the fields
// Windows 2000 added.
constexpr DWORD kRequestSize =
    offsetof(OPENFILENAMEA, lpTemplateName) + sizeof(OPENFILENAMEA::lpTemplateName);
static_assert(kRequestSize == (sizeof(void*) == 4 ? 76 : 136));

}  // namespace

std::u16string QorDialog::DialogFile(const Form& f, std::int16_t wMode,
                                     const std::u16string& szDialogTitle,
                                     const std::u16string& szFilename,
                                     const std::u16string& szFilter, const std::u16string& szDefDir,
                                     const std::u16string& szDefExt) {
  HWND owner = f.hWnd();
  if (szFilename.size() > kFileBufferChars) throw ProgramError(ErrorNumber::kInvalidArgument);

  // The initial name padded with NULs; in a double-byte code page the
  // name may take more bytes than characters, so the buffer grows with it
  // and keeps one spare terminator.
  std::string file = code_page_.ToBytes(szFilename);
  file.resize(std::max(file.size(), kFileBufferChars) + 1, '\0');
  std::string file_title(kFileBufferChars + 1, '\0');
  // The list ends with two NULs whatever the caller passed, so the dialog
  // never reads past the end of a bare pattern.
  const std::string filter = code_page_.ToBytes(szFilter) + std::string(2, '\0');
  const std::string initial_dir = code_page_.ToBytes(szDefDir);
  const std::string title = code_page_.ToBytes(szDialogTitle);
  const std::string default_extension = code_page_.ToBytes(szDefExt);

  OPENFILENAMEA request{};
  request.lStructSize = kRequestSize;
  request.hwndOwner = owner;
  request.hInstance = nullptr;
  request.lpstrFilter = filter.c_str();
  request.nFilterIndex = 1;
  request.lpstrFile = file.data();
  request.nMaxFile = kFileBufferChars;
  request.lpstrFileTitle = file_title.data();
  request.nMaxFileTitle = kFileBufferChars;
  request.lpstrInitialDir = initial_dir.c_str();
  request.lpstrTitle = title.c_str();
  request.lpstrDefExt = default_extension.c_str();

  BOOL chosen = FALSE;
  if (wMode == 1) {
    request.Flags = kOpenFlags;
    chosen = ORVANE_DEFERRED_IMPORT("comdlg32.dll", GetOpenFileNameA)(&request);
  } else {
    request.Flags = kSaveFlags;
    chosen = ORVANE_DEFERRED_IMPORT("comdlg32.dll", GetSaveFileNameA)(&request);
  }
  if (!chosen) return u"";
  // The path ends at the dialog's NUL; what is left of a longer initial
  // name behind it is not part of the result.
  return code_page_.FromBytes(std::string_view(file.data(), file.find('\0')));
}

}  // namespace orvane
