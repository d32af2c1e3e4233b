#!/usr/bin/env bash
# The Windows XP import audit passes a program that imports only what XP
# has and fails one that imports GetTickCount64 (Vista and later), also
# when it loads it at its first call (a record in the section .orvdi), or
# has a PE header that does not say 5.01.
set -euo pipefail
audit=$(cd "$(dirname "$0")/.." && pwd)/xp-import-audit
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

cat >old.c <<'C'
#include <windows.h>
int main(void) { return (int)GetTickCount(); }
C
cat >new.c <<'C'
#define _WIN32_WINNT 0x0600
#include <windows.h>
int main(void) { return (int)GetTickCount64(); }
C
# Records as system/deferred_import.h makes them: the DLL, then the function.
cat >deferred-old.c <<'C'
__attribute__((section(".orvdi"), used)) static const char a[] = "comdlg32.dll\0GetSaveFileNameA";
__attribute__((section(".orvdi"), used)) static const char b[] = "SHELL32.dll\0Shell_NotifyIconA";
int main(void) { return 0; }
C
cat >deferred-new.c <<'C'
__attribute__((section(".orvdi"), used)) static const char a[] = "comdlg32.dll\0GetSaveFileNameA";
__attribute__((section(".orvdi"), used)) static const char b[] = "kernel32.dll\0GetTickCount64";
int main(void) { return 0; }
C
xp_version=(-Wl,--major-os-version,5,--minor-os-version,1
            -Wl,--major-subsystem-version,5,--minor-subsystem-version,1)
i686-w64-mingw32-gcc-win32 -static old.c -o old.exe "${xp_version[@]}"
i686-w64-mingw32-gcc-win32 -static new.c -o new.exe "${xp_version[@]}"
i686-w64-mingw32-gcc-win32 -static old.c -o newer-header.exe
i686-w64-mingw32-gcc-win32 -static deferred-old.c -o deferred-old.exe "${xp_version[@]}"
i686-w64-mingw32-gcc-win32 -static deferred-new.c -o deferred-new.exe "${xp_version[@]}"

"$audit" old.exe >/dev/null || { echo "FAIL: a program XP can load was refused"; exit 1; }
if out=$("$audit" new.exe 2>&1); then echo "FAIL: GetTickCount64 went unnoticed"; exit 1; fi
grep -q 'kernel32.dll GetTickCount64' <<<"$out" || { echo "FAIL: wrong report: $out"; exit 1; }
out=$("$audit" deferred-old.exe) || { echo "FAIL: a deferred XP function was refused"; exit 1; }
grep -q '(2 loaded at first use)' <<<"$out" || { echo "FAIL: deferred records not read: $out"; exit 1; }
if out=$("$audit" deferred-new.exe 2>&1); then echo "FAIL: a deferred GetTickCount64 went unnoticed"; exit 1; fi
grep -q 'kernel32.dll GetTickCount64' <<<"$out" || { echo "FAIL: wrong report: $out"; exit 1; }
if "$audit" newer-header.exe >/dev/null 2>&1; then echo "FAIL: a PE header not saying 5.01 passed"; exit 1; fi
echo "xp-import-audit: refuses what XP lacks, passes what it has"
