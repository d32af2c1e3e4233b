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

std::optional<std::string> ReadFileContents(const std::u16string& path) {
  unique_file file(CreateFileW(AsWide(path), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return std::nullopt;
  std::string bytes;
  char buffer[4096];
  DWORD read = 0;
  while (ReadFile(file.get(), buffer, sizeof(buffer), &read, nullptr)) {
    if (read == 0) return bytes;
    bytes.append(buffer, read);
  }
  return std::nullopt;
}

bool PathExists(const std::u16string& path) {
  return GetFileAttributesW(AsWide(path)) != INVALID_FILE_ATTRIBUTES;
}

bool DeleteFileAt(const std::u16string& path) { return DeleteFileW(AsWide(path)); }

bool SetAttributes(const std::u16string& path, std::uint32_t attributes) {
  return SetFileAttributesW(AsWide(path), attributes == 0 ? FILE_ATTRIBUTE_NORMAL : attributes);
}

}  // namespace orvane
