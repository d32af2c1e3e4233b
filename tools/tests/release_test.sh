#!/usr/bin/env bash
# tools/make-release on a made-up build folder: it ships the three programs
# and the notes as GBK with CR LF line ends, replaces an older release, and
# leaves no release behind when an input is missing, orvane.exe is not
# i686 or over 400 KB, or the notes are not LF text that code page 936 can
# hold.
set -euo pipefail
export LC_ALL=C
repo=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

# A copy of the tool and the notes, so that the notes can be spoiled.
mkdir -p "$work/root/tools" "$work/root/app/release" "$work/build/win32" "$work/build/dos"
cp "$repo/tools/make-release" "$work/root/tools/"
cp "$repo/app/release/readme-zh.txt" "$work/root/app/release/"
make_release() { "$work/root/tools/make-release" "$work/build" >"$work/log" 2>&1; }

# MZ, e_lfanew 40h, PE\0\0 and the machine.
pe() { { printf 'MZ'; head -c 58 /dev/zero; printf '\x40\0\0\0PE\0\0%b' "$1"; head -c 200 /dev/zero; } >"$2"; }
pe '\x4c\x01' "$work/build/win32/orvane.exe"
printf 'BF\xcd\x20' >"$work/build/dos/BF.COM"
printf 'HF\xcd\x20' >"$work/build/dos/HF.COM"

mkdir -p "$work/build/release" && touch "$work/build/release/OLD.GHO"
make_release || fail "a good build was refused: $(cat "$work/log")"
release=$work/build/release
[[ $(ls "$release" | tr '\n' ' ') == "BF.COM HF.COM orvane.exe 使用说明.txt " ]] ||
  fail "the release holds $(ls "$release" | tr '\n' ' ')"
# The title in GBK (使 CAB9, 用 D3C3, 说 CBB5, 明 C3F7), then CR LF.
title=$(head -c 21 "$release/使用说明.txt" | od -An -tx1 | tr -d ' \n')
[[ $title == 4f7276616e6520312e3020cab9d3c3cbb5c3f70d0a ]] || fail "the notes do not start with the GBK title and CR LF"
# Read back whole: GBK decodes to the source text, every line ends in CR LF,
# and the sections a user looks for are there.
iconv -f GBK -t UTF-8 "$release/使用说明.txt" >"$work/back.txt" || fail "the notes are not GBK"
[[ $(grep -c $'\r$' "$work/back.txt") == $(wc -l <"$work/back.txt") ]] || fail "a line of the notes does not end in CR LF"
tr -d '\r' <"$work/back.txt" | cmp -s - "$repo/app/release/readme-zh.txt" || fail "the notes read back differ from their source"
for heading in 【使用前准备】 【备份】 【恢复】 【出现问题时】 '【重启后停在 C:\> 提示符时】'; do
  grep -qF "$heading" "$work/back.txt" || fail "the notes have no $heading"
done

refused() {  # refused WHY: make-release must fail and leave no release.
  if make_release; then fail "$1 went unnoticed"; fi
  [[ ! -e $release ]] || fail "$1 left a release folder"
  ! compgen -G "$work/build/release.*" >/dev/null || fail "$1 left its work folder"
}
pe '\x64\x86' "$work/build/win32/orvane.exe"
refused "an x86-64 orvane.exe"
grep -q '8664h' "$work/log" || fail "wrong report for an x86-64 orvane.exe: $(cat "$work/log")"
pe '\x4c\x01' "$work/build/win32/orvane.exe"

# 400 KB is the most a release's orvane.exe may have.
truncate -s 409600 "$work/build/win32/orvane.exe"
make_release || fail "an orvane.exe of 409600 bytes was refused: $(cat "$work/log")"
truncate -s 409601 "$work/build/win32/orvane.exe"
refused "an orvane.exe of 409601 bytes"
grep -q '409601 bytes' "$work/log" || fail "wrong report for an orvane.exe over 400 KB: $(cat "$work/log")"
pe '\x4c\x01' "$work/build/win32/orvane.exe"

mv "$work/build/dos/HF.COM" "$work/HF.COM"
refused "a missing HF.COM"
mv "$work/HF.COM" "$work/build/dos/HF.COM"

source_notes=$work/root/app/release/readme-zh.txt
cp "$source_notes" "$work/good.txt"
printf '表情 \xf0\x9f\x98\x80\n' >"$source_notes"
refused "a character outside code page 936"
sed 's/$/\r/' "$work/good.txt" >"$source_notes"
refused "notes saved with CR LF"
head -c -1 "$work/good.txt" >"$source_notes"
refused "notes without a line break at the end"
{ printf '\xef\xbb\xbf'; cat "$work/good.txt"; } >"$source_notes"
refused "notes with a BOM"
echo "make-release: ships the programs and GBK CR LF notes, refuses bad inputs and an oversized orvane.exe"
