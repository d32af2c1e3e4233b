// QorDialog::BrowseFolder.
#include <windows.h>

#include <objbase.h>
#include <shlobj.h>

#include "dialogs/qor_dialog.h"
#include "system/deferred_import.h"
#include "system/unique_handle.h"

namespace orvane {
namespace {

void FreeItemList(LPITEMIDLIST list) { ORVANE_DEFERRED_IMPORT("ole32.dll", CoTaskMemFree)(list); }

// An item identifier list from the shell, freed with the shell's
// allocator.
using unique_item_list = unique_handle<null_traits<LPITEMIDLIST, &FreeItemList>>;

// The path buffer: 512 bytes, at least the MAX_PATH the platform writes.
constexpr size_t kPathBufferBytes = 512;
static_assert(kPathBufferBytes >= MAX_PATH);

}  // namespace

std::u16string QorDialog::BrowseFolder(const Form& f, const std::u16string& szDialogTitle) {
  HWND owner = f.hWnd();
  const std::string title = code_page_.ToBytes(szDialogTitle);

  BROWSEINFOA request{};
  request.hwndOwner = owner;
  request.pidlRoot = nullptr;        // the whole namespace, from the desktop
  request.pszDisplayName = nullptr;  // the item's display name is not wanted
  request.lpszTitle = title.c_str();
  request.ulFlags = BIF_RETURNONLYFSDIRS;
  const unique_item_list chosen(
      ORVANE_DEFERRED_IMPORT("shell32.dll", SHBrowseForFolderA)(&request));  // null on cancel

  // Asked also after a cancel: a null list has no path, which gives the
  // empty result.
  std::string path(kPathBufferBytes, ' ');
  if (!ORVANE_DEFERRED_IMPORT("shell32.dll", SHGetPathFromIDListA)(chosen.get(), path.data()))
    return u"";
  const size_t end = path.find('\0');
  if (end == std::string::npos) return u"";  // no terminator: not a path
  return code_page_.FromBytes(std::string_view(path.data(), end));
}

}  // namespace orvane
