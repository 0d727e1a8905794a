#!/usr/bin/env bash
# Builds Torvane for Windows and runs it under Wine, in Wine's virtual desktop
# with its taskbar and notification area: on the user's display when there is
# one, otherwise on a private virtual screen (Xvfb). Installs what is missing
# first (Debian 12, as root).
#
#   scripts/run.sh          Torvane with the settings in build/run/zrk.ini
#   scripts/run.sh --demo   Torvane with a rule that keeps Wine's Notepad in
#                           place, and Notepad started beside it
#
# Stop with Ctrl+C here, or with 終了(Q) in Torvane's tray menu.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
BUILD=${TORVANE_BUILD_DIR:-$ROOT/build}

demo=0
case "${1:-}" in
  "") ;;
  --demo) demo=1 ;;
  -h|--help) sed -n '2,11p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
  *) echo "usage: scripts/run.sh [--demo]" >&2; exit 2 ;;
esac

scripts/setup.sh
echo "building torvane.exe ..."
cmake -S "$ROOT" -B "$BUILD/mingw" -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$BUILD/mingw" -j"$(nproc)" --target torvane torvane_docs >/dev/null

# The working folder: the program, its two documents and zrk.ini.
work=$BUILD/run
((demo)) && work=$BUILD/run-demo
mkdir -p "$work"
cp "$BUILD/mingw/torvane.exe" "$BUILD/mingw/readme.txt" "$BUILD/mingw/HowtoUse.pdf" "$work/"
if [[ ! -f $work/zrk.ini ]]; then
  {
    printf '[!SystemConfig]\nEnabled=1\nTaskIcon=1\nShcutCtrl=1\nShcutAlt=1\nShcutShift=1\nShcutWin=0\nShcutKey=32\n'
    if ((demo)); then
      # Notepad: placed when it opens, its top-left corner held.
      printf '[メモ帳]\nclass=Notepad\ntitle=\nusclsttle=2\nmovex=1\nmovey=1\nsizex=1\nsizey=1\n'
      printf 'lmovex=1\nlmovey=1\nlsizex=0\nlsizey=0\nleft=120\ntop=90\nwidth=640\nheight=420\n'
      printf 'msfstt=1\nstate=-1\nforcestt=0\nfstforce=1\n'
    fi
  } | iconv -f UTF-8 -t CP932 | sed 's/$/\r/' > "$work/zrk.ini"
fi

session=$BUILD/wine-run
if [[ -n ${DISPLAY:-} ]] && xdpyinfo >/dev/null 2>&1; then
  export WINE_SESSION_DISPLAY=$DISPLAY
  where="your display $DISPLAY, in the window of Wine's desktop"
else
  unset WINE_SESSION_DISPLAY
  where=""
fi
scripts/wine_session.sh start "$session"
# shellcheck disable=SC1091
. "$session/wine-session.env"
[[ -z $where ]] && where="the virtual screen $DISPLAY (Xvfb, 1280x1024)"
keeper=$session/session_keeper.exe

torvane_pid=""
stopping=0
stop() {
  ((stopping)) && return
  stopping=1
  echo
  echo "stopping Torvane ..."
  if [[ -n $torvane_pid ]] && kill -0 "$torvane_pid" 2>/dev/null; then
    taskset -c 0 wine "$keeper" close ZrkwinMainWindowClass Torvane 5000 </dev/null >/dev/null 2>&1 || true
  fi
  "$ROOT/scripts/wine_session.sh" stop "$session" || true
}
trap stop EXIT
trap 'exit 130' INT TERM

cd "$work"
taskset -c 0 wine torvane.exe </dev/null >>"$session/torvane.log" 2>&1 &
torvane_pid=$!
if ((demo)); then
  sleep 1
  taskset -c 0 wine notepad.exe </dev/null >>"$session/torvane.log" 2>&1 &
fi
sleep 2
shot=$work/screen.png
import -display "$DISPLAY" -window root "$shot" 2>/dev/null || shot="(no screenshot: import failed)"

cat <<MESSAGE

Torvane is running under Wine on $where.
  working folder  $work   (zrk.ini, readme.txt, HowtoUse.pdf)
  screenshot      $shot
  the tray icon   bottom right of Wine's taskbar: left click corrects now,
                  right click opens the menu; the hotkey is Ctrl+Alt+Shift+Space
  look at it      import -display $DISPLAY -window root shot.png
  stop            Ctrl+C here, or 終了(Q) in the tray menu
MESSAGE
((demo)) && echo "  demo            Notepad is placed at 120,90 (640x420); drag it away and it comes back"

wait "$torvane_pid" || true
echo "Torvane has ended."
