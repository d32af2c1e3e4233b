#include "system/deferred_import.h"

#include <string>

namespace orvane {

FARPROC DeferredImportAddress(const char* dll, const char* function) {
  // The system folder's copy only: never one beside the program or in the
  // current folder.
  char folder[MAX_PATH] = {};
  const UINT length = GetSystemDirectoryA(folder, MAX_PATH);
  HMODULE module = nullptr;
  if (length > 0 && length < MAX_PATH)
    module = LoadLibraryA((std::string(folder, length) + "\\" + dll).c_str());
  FARPROC address = module ? GetProcAddress(module, function) : nullptr;
  if (!address) {
    const std::string message = std::string(dll) + ": " + function + " not found";
    FatalAppExitA(0, message.c_str());
  }
  return address;
}

}  // namespace orvane
