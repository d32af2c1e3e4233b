// Functions of system DLLs that the program needs only after a click (the
// common dialogs, the shell's folder browser and notification area, the
// print spooler): their DLL is loaded at the first call rather than with
// the program, so that the window does not wait for it. Under Wine,
// comdlg32, shell32 and winspool.drv (which comdlg32 imports and which
// looks up the system's printers as it loads) were most of what Orvane's
// start-up spent beyond a bare window's.
//
//   ORVANE_DEFERRED_IMPORT("comdlg32.dll", GetSaveFileNameA)(&request)
//
// calls the function with the type its header declares. The DLL's name
// and the function's are kept together in the section .orvdi, which
// tools/xp-import-audit checks as it checks the import table.
#pragma once

#include <windows.h>

namespace orvane {

// The address of `function` in the system DLL `dll`, which is loaded from
// the system folder the first time and stays loaded. A DLL or function
// that is not there ends the program with a message, as a missing import
// would have kept it from starting.
FARPROC DeferredImportAddress(const char* dll, const char* function);

template <class Function>
Function DeferredImportAs(FARPROC address) {
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(address));
}

}  // namespace orvane

// Looked up once per call site.
#define ORVANE_DEFERRED_IMPORT(dll, function)                                             \
  ([]() -> decltype(&::function) {                                                        \
    [[gnu::section(".orvdi"), gnu::used]] static const char names[] = dll "\0" #function; \
    static const auto address = ::orvane::DeferredImportAs<decltype(&::function)>(        \
        ::orvane::DeferredImportAddress(names, names + sizeof(dll)));                     \
    return address;                                                                       \
  }())
