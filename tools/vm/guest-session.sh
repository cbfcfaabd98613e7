#!/bin/bash
# Runs inside the test guest: sets up the display, the Russian locale and a
# private Wine prefix, runs the given command, and stops what it started.
set -u
export LANG=ru_RU.UTF-8 LC_ALL=ru_RU.UTF-8
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export WINEPREFIX=/tmp/torvo-wineprefix
export WINEARCH=win32

Xvfb :7 -screen 0 1280x1024x24 -nolisten tcp >/tmp/xvfb.log 2>&1 &
xvfb_pid=$!
export DISPLAY=:7
for _ in $(seq 50); do [ -e /tmp/.X11-unix/X7 ] && break; sleep 0.2; done

wineboot -i >/tmp/wineboot.log 2>&1
wineserver -p >/dev/null 2>&1 &
# A crashing program must end (and fail its test), not wait in Wine's crash
# dialog on a display nobody sees.
wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f \
  >/dev/null 2>&1

# Through a pipe, so Wine sees no console and passes output bytes unchanged.
bash -c "$1" 2>&1 | cat
status=${PIPESTATUS[0]}

wineserver -k >/dev/null 2>&1
kill "$xvfb_pid" 2>/dev/null
exit $status
