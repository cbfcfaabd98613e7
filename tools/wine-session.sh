#!/usr/bin/env bash
# Runs one shell command in a Wine session made for the module's programs,
# the same on this machine and inside the test guest:
#   - a virtual X display (Xvfb) on a display number nobody else uses, or
#     the caller's own with TORVO_OWN_DISPLAY=1;
#   - the Russian locale, so Wine's ANSI code page is 1251;
#   - a private 32-bit Wine prefix outside the source tree, with the crash
#     dialog off (a crashing program must end and fail, not wait), a
#     virtual desktop for every program (without a window manager, closing a
#     top-level window otherwise waits about 2 s for an answer that never
#     comes), and the fonts a Windows desktop has (below);
#   - one wineserver kept alive for the whole command;
#   - the desktop and Wine's service processes started before the command,
#     with their streams detached: started from inside a test, they would
#     inherit ctest's output pipe and ctest would wait for them every time;
#   - with TORVO_DESKTOP_KEEPER naming tests/support/desktop_keeper.exe as
#     built, the desktop kept open for the whole command, so that programs
#     run one after another do not each wait for it to start again.
# At the end it stops exactly what it started and exits with the command's
# status. Usage: wine-session.sh 'command'
set -u
command=$1
session_start=$(date +%s%N)
project=$(cd "$(dirname "$0")/.." && pwd)

export LANG=ru_RU.UTF-8 LC_ALL=ru_RU.UTF-8
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win32
# One prefix per checkout, so two checkouts can run side by side; the
# emulated guest names its own (TORVO_WINE_PREFIX), made once on its disk.
prefix_key=$(printf '%s' "$project" | sha256sum | cut -c1-12)
export WINEPREFIX=${TORVO_WINE_PREFIX:-${TMPDIR:-/tmp}/torvo-wine-$prefix_key}

started_pids=()
stop_started() {
  # The prefix is ours alone, so this ends only the Wine processes we started.
  [ -n "${wineserver_pid:-}" ] && wineserver -k >/dev/null 2>&1
  for pid in "${started_pids[@]}"; do
    kill "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
  done
}
trap stop_started EXIT

if [ "${TORVO_OWN_DISPLAY:-0}" = 1 ]; then
  : # the caller's display, for real use
else
  # Xvfb picks a free display itself and writes its number to the given pipe.
  display_pipe=$(mktemp -u "${TMPDIR:-/tmp}/torvo-display.XXXXXX")
  mkfifo "$display_pipe"
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$display_pipe" \
    </dev/null >/dev/null 2>&1 &
  started_pids+=($!)
  read -r -t 30 display_number <"$display_pipe"
  rm -f "$display_pipe"
  if [ -z "${display_number:-}" ]; then
    echo "wine-session: Xvfb did not start" >&2
    exit 1
  fi
  export DISPLAY=:$display_number
fi

detached() { "$@" </dev/null >/dev/null 2>&1; }
# A new prefix is made once (about 8 s natively) and set up with its
# wineserver stopped afterwards, so that no process started before the
# settings keeps running without them; later runs reuse it. A new settings
# version sets up existing prefixes again.
# Fonts: Debian's Wine reads fonts from the prefix's Fonts folder and from
# fontconfig, but not from its own font folder (package fonts-wine), so by
# default it lacks Marlett, whose glyphs are the caption buttons (they show
# as "0 1 r" without it), and the bitmap MS Sans Serif in its Western and
# Cyrillic forms, the dialog font of Windows (without it Wine draws the
# editor's labels in a wider face and cuts them). Wine's own fonts go into
# the prefix's Fonts folder; Windows' core faces get their metric twins.
prefix_settings=v2
if [ "$(cat "$WINEPREFIX/torvo-settings" 2>/dev/null)" != "$prefix_settings" ]; then
  detached wineboot -i
  detached wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f
  detached wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /t REG_SZ /d Default /f
  detached wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /t REG_SZ /d 1280x1024 /f
  for wine_fonts in /usr/share/wine/fonts /usr/share/wine/wine/fonts /usr/local/share/wine/fonts; do
    if [ -f "$wine_fonts/marlett.ttf" ]; then
      cp -f "$wine_fonts"/*.ttf "$wine_fonts"/*.fon "$WINEPREFIX/drive_c/windows/Fonts/"
      break
    fi
  done
  substitutes='HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes'
  for pair in 'Arial=Liberation Sans' 'Times New Roman=Liberation Serif' \
              'Courier New=Liberation Mono'; do
    detached wine reg add "$substitutes" /v "${pair%%=*}" /t REG_SZ /d "${pair#*=}" /f
  done
  detached wineserver -w
  echo "$prefix_settings" >"$WINEPREFIX/torvo-settings"
fi

wineserver -f -p </dev/null >/dev/null 2>&1 &
wineserver_pid=$!
started_pids+=("$wineserver_pid")
# Wine's services and the desktop's explorer.exe come up with the first
# program on the desktop. The keeper stays on it until the end; without
# one, a program that ends at once brings them up.
desktop_kept=0
if [ -n "${TORVO_DESKTOP_KEEPER:-}" ] && [ -f "$TORVO_DESKTOP_KEEPER" ]; then
  keeper_ready=$(mktemp -u "${TMPDIR:-/tmp}/torvo-desktop.XXXXXX")
  wine "$TORVO_DESKTOP_KEEPER" "Z:${keeper_ready//\//\\}" \
    </dev/null >/dev/null 2>&1 &
  started_pids+=($!)
  for _ in $(seq 600); do
    [ -e "$keeper_ready" ] && desktop_kept=1 && break
    sleep 0.1
  done
  rm -f "$keeper_ready"
  [ "$desktop_kept" = 1 ] \
    || echo "wine-session: the desktop keeper did not start; going on without it" >&2
fi
[ "$desktop_kept" = 1 ] || detached wine rundll32.exe user32.dll,GetDesktopWindow

# On the emulated CPU every start costs seconds: say what the session took.
if [ "${TORVO_CPU:-}" = emulated ]; then
  echo "wine session: ready in $(( ($(date +%s%N) - session_start) / 1000000 )) ms"
fi

# Through a pipe, so Wine sees no console and passes output bytes unchanged.
bash -c "$command" 2>&1 | cat
exit "${PIPESTATUS[0]}"
