# Shared by tools/wine-exec, ./run and ./test: the Wine environment of this
# project and its prefixes under build/wine/.

# wine_environment [win64|win32]: the environment for programs of the win64
# build (the default) or of the XP release build (win32). Each has a
# template prefix and a shared prefix of its own: 64-bit ones under the
# 64-bit loader, and 32-bit ones (WINEARCH=win32, Windows XP) under Wine's
# 32-bit loader, as a 32-bit XP has no 64-bit side.
wine_environment() {
  local arch=${1:-win64}
  : "${ORVANE_ROOT:=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}"
  export ORVANE_WINE_ROOT=${ORVANE_WINE_ROOT:-$ORVANE_ROOT/build/wine}
  case $arch in
    win64)
      WINE=/usr/lib/wine/wine64
      ORVANE_WINE_TEMPLATE=$ORVANE_WINE_ROOT/template
      ORVANE_WINE_SHARED=$ORVANE_WINE_ROOT/shared
      ;;
    win32)
      WINE=/usr/lib/wine/wine
      ORVANE_WINE_TEMPLATE=$ORVANE_WINE_ROOT/template32
      ORVANE_WINE_SHARED=$ORVANE_WINE_ROOT/shared32
      ;;
    *)
      echo "wine-prefix: no Wine environment for $arch" >&2
      return 1
      ;;
  esac
  WINESERVER=/usr/lib/wine/wineserver
  # Code page 936 and Chinese arguments need the glibc locale zh_CN.UTF-8.
  # Wine takes its dialogs' language from LC_MESSAGES and LC_ALL too: every
  # locale variable of the caller goes, so LANG alone decides.
  export LANG=zh_CN.UTF-8
  unset LC_ALL LC_CTYPE LC_MESSAGES LC_COLLATE LC_NUMERIC LC_TIME LC_MONETARY LC_PAPER LC_NAME \
    LC_ADDRESS LC_TELEPHONE LC_MEASUREMENT LC_IDENTIFICATION LANGUAGE
  export WINEDEBUG=${WINEDEBUG:--all}
  # No Mono or Gecko installer prompts in a new prefix.
  export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
  export WINEARCH=$arch
}

# Copies prefix $1 to $2. The PE images, by far the bulk of a prefix, are
# hard links (nothing ever writes them); registry hives, ini files and all
# other files are real copies, since Wine rewrites some of them in place.
clone_prefix() {
  local src=$1 dst=$2
  cp -al "$src" "$dst.partial"
  rm -f "$dst.partial/wineserver"
  local file
  while IFS= read -r -d '' file; do
    cp -p "$file" "$file.copy" && mv -f "$file.copy" "$file"
  done < <(find "$dst.partial" -type f ! -iname '*.dll' ! -iname '*.exe' ! -iname '*.drv' \
             ! -iname '*.sys' ! -iname '*.ocx' ! -iname '*.cpl' ! -iname '*.acm' \
             ! -iname '*.ax' ! -iname '*.tlb' ! -iname '*.nls' ! -iname '*.ttf' \
             ! -iname '*.ds' ! -iname '*.com' ! -iname '*.msstyles' -print0)
  mv "$dst.partial" "$dst"
}

# Puts Wine's Marlett (package fonts-wine) into the Fonts folder of prefix
# $1 unless it is there. Wine draws the caption buttons as Marlett glyphs,
# and this Wine finds fonts in C:\windows\Fonts and fontconfig's folders,
# not in /usr/share/wine/fonts: without the copy the close button shows
# the letter "r".
install_caption_font() {
  local fonts=$1/drive_c/windows/Fonts
  [[ -f $fonts/marlett.ttf ]] && return 0
  [[ -f /usr/share/wine/fonts/marlett.ttf ]] ||
    { echo "wine-prefix: /usr/share/wine/fonts/marlett.ttf is missing (package fonts-wine)" >&2; return 1; }
  mkdir -p "$fonts"
  cp /usr/share/wine/fonts/marlett.ttf "$fonts/"
}

# The template every other prefix of the environment is copied from, made
# once (about ten seconds) and reused. A lock keeps parallel callers from
# making it twice. Besides drive C it has a drive D (the folder drive_d), a
# second local disk for image files. The 32-bit template is set to Windows
# XP (winecfg -v winxp): GetVersionEx answers 5.1, and HKLM's product name
# and version are XP's.
ensure_template_prefix() {
  local template=$ORVANE_WINE_TEMPLATE ready
  case $WINEARCH in
    win64) ready=$template/.orvane-ready-4 ;;
    *) ready=$template/.orvane-ready-xp-1 ;;
  esac
  [[ -f $ready ]] && return 0
  mkdir -p "$ORVANE_WINE_ROOT"
  (
    flock 9
    if [[ ! -f $ready ]]; then
      rm -rf "$template"
      WINEPREFIX=$template "$WINE" wineboot -i >/dev/null 2>&1 || true
      # No window manager runs on the tests' X server: unmanaged windows
      # spare Wine a two-second wait for one at every window hidden.
      WINEPREFIX=$template "$WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f \
        >/dev/null 2>&1
      if [[ $WINEARCH == win32 ]]; then
        WINEPREFIX=$template "$WINE" winecfg -v winxp >/dev/null 2>&1
      fi
      WINEPREFIX=$template "$WINESERVER" -w
      [[ -f $template/system.reg ]] || { echo "wine-prefix: could not create $template" >&2; exit 1; }
      mkdir -p "$template/drive_d"
      ln -sfn ../drive_d "$template/dosdevices/d:"
      install_caption_font "$template"
      touch "$ready"
    fi
  ) 9>"$template.lock"
}

# Makes $1 a copy of the template unless it exists already.
ensure_prefix_clone() {
  local prefix=$1
  [[ -d $prefix ]] && return 0
  (
    flock 9
    [[ -d $prefix ]] || clone_prefix "$ORVANE_WINE_TEMPLATE" "$prefix"
  ) 9>"$prefix.lock"
}

# Starts the Wine session of prefix $1 unless its server is running: the
# server, kept $2 seconds after its last process ends (empty: until it is
# ended), and the prefix's services, started by a process whose output goes
# nowhere. The services live as long as the server and hold the standard
# output and error of the process that started them: had a test's process
# started them, CTest would wait for that test's output until its time-out.
# A lock keeps parallel callers from starting two.
start_prefix_session() {
  local prefix=$1 persist=${2:-}
  WINEPREFIX=$prefix "$WINESERVER" -k0 2>/dev/null && return 0
  (
    flock 9
    if ! WINEPREFIX=$prefix "$WINESERVER" -k0 2>/dev/null; then
      WINEPREFIX=$prefix "$WINESERVER" "-p$persist"
      WINEPREFIX=$prefix "$WINE" cmd /c exit </dev/null >/dev/null 2>&1 || true
    fi
  ) 9>"$prefix.session.lock"
}

# Starts a private X server for Wine's windows and exports DISPLAY. The
# server takes the first free display number (-displayfd), so that several
# can start at once. It ends with the calling shell (see stop_display).
start_display() {
  local number_file number=
  number_file=$(mktemp)
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$number_file" >/dev/null 2>&1 &
  ORVANE_XVFB_PID=$!
  local deadline=$((SECONDS + 20))
  # The number is written, with a line feed, once the server takes clients.
  until [[ $(wc -l <"$number_file") -ge 1 ]]; do
    if ((SECONDS > deadline)) || ! kill -0 "$ORVANE_XVFB_PID" 2>/dev/null; then
      echo "wine-prefix: Xvfb did not start" >&2
      rm -f "$number_file"
      return 1
    fi
    sleep 0.02
  done
  read -r number <"$number_file"
  rm -f "$number_file"
  export DISPLAY=:$number
}

stop_display() {
  [[ -n ${ORVANE_XVFB_PID:-} ]] && kill "$ORVANE_XVFB_PID" 2>/dev/null && wait "$ORVANE_XVFB_PID" 2>/dev/null
  ORVANE_XVFB_PID=
}

# Ends every Wine process of the prefix $1: its server, then any process
# the server's end left behind. A process that was starting as the server
# ended waits for ever for the server's reply (it holds both ends of its
# reply pipe), and keeps the standard error it inherited, often CTest's
# output pipe, open until CTest's time-out.
end_prefix_processes() {
  local prefix=$1 round environ pid pids
  WINEPREFIX=$prefix "$WINESERVER" -k >/dev/null 2>&1 || true
  for round in 1 2 3 4 5; do
    pids=()
    while IFS= read -r environ; do
      pid=${environ#/proc/}
      pid=${pid%/environ}
      # Wine's own programs only: not this shell, nor a tee still copying
      # the test's output.
      [[ $(readlink "/proc/$pid/exe" 2>/dev/null) == */wine/* ]] && pids+=("$pid")
    done < <(grep -lzxF "WINEPREFIX=$prefix" /proc/[0-9]*/environ 2>/dev/null)
    ((${#pids[@]})) || return 0
    kill -KILL "${pids[@]}" 2>/dev/null || true
  done
}

# Ends the Wine servers of the shared prefixes and of any per-test prefix a
# killed test left behind, and removes those prefixes.
stop_wine() {
  end_prefix_processes "$ORVANE_WINE_ROOT/shared"
  end_prefix_processes "$ORVANE_WINE_ROOT/shared32"
  local prefix
  for prefix in "$ORVANE_WINE_ROOT"/tests/*/; do
    [[ -d $prefix ]] || continue
    end_prefix_processes "${prefix%/}"
    rm -rf "$prefix"
  done
}
