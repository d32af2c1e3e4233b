#include <windows.h>

#include "app/file_replace.h"
#include "system/unique_handle.h"

namespace orvane {

bool ReplaceFileContents(const std::u16string& path, std::string_view bytes) {
  const size_t slash = path.find_last_of(u'\\');
  const std::u16string folder = slash == std::u16string::npos ? u"." : path.substr(0, slash + 1);

  wchar_t temp_path[MAX_PATH] = {};
  if (GetTempFileNameW(AsWide(folder), L"orv", /*uUnique=*/0, temp_path) == 0) return false;

  bool written = false;
  {
    unique_file file(CreateFileW(temp_path, GENERIC_WRITE, /*dwShareMode=*/0, nullptr,
                                 CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file) {
      DWORD done = 0;
      written =
          WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr) &&
          done == bytes.size() && FlushFileBuffers(file.get());
    }
  }
  if (written &&
      MoveFileExW(temp_path, AsWide(path), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    return true;
  DeleteFileW(temp_path);
  return false;
}

bool SetAttributes(const std::u16string& path, std::uint32_t attributes) {
  return SetFileAttributesW(AsWide(path), attributes == 0 ? FILE_ATTRIBUTE_NORMAL : attributes);
}

}  // namespace orvane
