#!/usr/bin/env bash
# Builds Torvane for Windows and runs it under Wine, in Wine's virtual desktop
# with its taskbar and notification area: on the user's display when there is
# one, otherwise on a private virtual screen (Xvfb). Installs what is missing
# first (Debian 12, as root).
#
#   scripts/run.sh          Torvane in build/run/, with the settings there (zrk.ini)
#   scripts/run.sh --demo   the same, with a rule that keeps Wine's Notepad in
#                           place (added to zrk.ini if it has none for
#                           Notepad), and Notepad started beside it
#
# Stop with Ctrl+C here, or with 終了(Q) in Torvane's tray menu. Programs
# started in Wine's session besides Torvane (the demo's Notepad among them)
# are left running, and the session with them; the script says how to end it.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
BUILD=${TORVANE_BUILD_DIR:-$ROOT/build}

demo=0
case "${1:-}" in
  "") ;;
  --demo) demo=1 ;;
  -h|--help) sed -n '2,15p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
  *) echo "usage: scripts/run.sh [--demo]" >&2; exit 2 ;;
esac

scripts/setup.sh
if [[ ! -f $BUILD/mingw/torvane.exe ]]; then
  echo "building torvane.exe (the first build takes a few minutes on two cores) ..."
else
  echo "building torvane.exe ..."
fi
cmake -S "$ROOT" -B "$BUILD/mingw" -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=Release >/dev/null
# The build's own progress: one line a step, "[ 42%] Building ...".
cmake --build "$BUILD/mingw" -j"$(nproc)" --target torvane torvane_docs 2>&1 | grep -E '^\[ *[0-9]+%\]|error' || true
[[ -f $BUILD/mingw/torvane.exe ]] || { echo "the build failed" >&2; exit 1; }

# The working folder: the program, its two documents and zrk.ini.
work=$BUILD/run
mkdir -p "$work"
cp "$BUILD/mingw/torvane.exe" "$BUILD/mingw/readme.txt" "$BUILD/mingw/HowtoUse.pdf" "$work/"
if [[ ! -f $work/zrk.ini ]]; then
  printf '[!SystemConfig]\nEnabled=1\nTaskIcon=1\nShcutCtrl=1\nShcutAlt=1\nShcutShift=1\nShcutWin=0\nShcutKey=32\n' |
    sed 's/$/\r/' > "$work/zrk.ini"
fi
if ((demo)) && ! grep -aq '^class=Notepad' "$work/zrk.ini"; then
  # Notepad: placed when it opens, its top-left corner held.
  {
    printf '[メモ帳]\nclass=Notepad\ntitle=\nusclsttle=2\nmovex=1\nmovey=1\nsizex=1\nsizey=1\n'
    printf 'lmovex=1\nlmovey=1\nlsizex=0\nlsizey=0\nleft=120\ntop=90\nwidth=640\nheight=420\n'
    printf 'msfstt=1\nstate=-1\nforcestt=0\nfstforce=1\n'
  } | iconv -f UTF-8 -t CP932 | sed 's/$/\r/' >> "$work/zrk.ini"
  echo "added the demo's rule for Notepad to $work/zrk.ini"
fi

session=$BUILD/wine-run
if [[ -n ${DISPLAY:-} ]] && xdpyinfo >/dev/null 2>&1; then
  export WINE_SESSION_DISPLAY=$DISPLAY
  where="your display $DISPLAY, in the window of Wine's desktop"
else
  unset WINE_SESSION_DISPLAY
  where=""
fi
# A session that an earlier run left running, with programs in it, goes on.
if ! scripts/wine_session.sh status "$session"; then
  scripts/wine_session.sh start "$session"
fi
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
  if [[ -n $torvane_pid ]] && kill -0 "$torvane_pid" 2>/dev/null; then
    echo "stopping Torvane ..."
    taskset -c 0 wine "$keeper" close ZrkwinMainWindowClass Torvane 5000 </dev/null >/dev/null 2>&1 || true
  fi
  # Only Torvane is this command's to end.
  # (The titles come in code page 932.)
  others=$(taskset -c 0 wine "$keeper" programs </dev/null 2>/dev/null | iconv -f CP932 -t UTF-8 -c | tr -d '\r' |
    grep -av '^torvane\.exe' || true)
  if [[ -n $others ]]; then
    echo "Other programs still run in Wine's session, which is left running:"
    sed 's/^/  /' <<<"$others"
    echo "End it, and them, with: scripts/wine_session.sh stop $session"
  else
    "$ROOT/scripts/wine_session.sh" stop "$session" || true
  fi
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
  the tray icon   bottom right of Wine's taskbar: left click runs 矯正実行 (places
                  the windows again), right click opens the menu; the hotkey
                  is Ctrl+Alt+Shift+Space
  look at it      import -display $DISPLAY -window root shot.png
  stop            Ctrl+C here, or 終了(Q) in the tray menu
MESSAGE
((demo)) && echo "  demo            Notepad is placed at 120,90 (640x420) and its top-left corner held there: a drag does not move it; its size still changes"

wait "$torvane_pid" || true
echo "Torvane has ended."
