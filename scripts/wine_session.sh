#!/bin/bash
# A private, headless Wine session for the Wine tests.
#
#   scripts/wine_session.sh start <dir>   start Xvfb and Wine, write <dir>/wine-session.env
#   scripts/wine_session.sh stop <dir>    end them and remove the session's files
#   scripts/wine_session.sh status <dir>  exit 0 while the session of <dir> runs
#
# With WINE_SESSION_DISPLAY set (say to the user's own $DISPLAY), the session
# runs there instead of on a private Xvfb; Wine's desktop then is a window on
# that display.
#
# Typical use:
#   scripts/wine_session.sh start build/wine && . build/wine/wine-session.env &&
#     (cd build/mingw && ctest -L wine --output-on-failure)
#   scripts/wine_session.sh stop build/wine
#
# The Wine prefix lives in <dir>/prefix. It is made once (about 8 s) and kept
# by stop, so later sessions start in about a second. The session runs in
# Wine's virtual desktop mode (a real taskbar, minimize and maximize without an
# X window manager), with the Japanese locale (GetACP() == 932), and with the
# Wine server and every Wine process pinned to core 0. Nothing here reads
# stdin, so it runs the same in CI. Only processes this script started are
# ended: the Wine server of this prefix and the Xvfb whose PID it saved.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd -P)"
readonly here
readonly keeper_source="$here/session_keeper.c"
readonly taskbar_wait_ms=30000

log() { printf 'wine_session: %s\n' "$*" >&2; }
die() {
    log "$*"
    exit 1
}
usage() { die "usage: $0 start|stop|status <dir>"; }

now_ms() { date +%s%3N; }

# Runs a Wine command pinned to core 0, with no stdin and its output in a
# log, so that Wine's helper processes it starts hold none of our pipes.
wine_quiet() { taskset -c 0 "$@" </dev/null >>"$dir/wine.log" 2>&1; }

wine_environment() {
    export WINEPREFIX="$dir/prefix"
    export WINEARCH=win64
    export WINEDEBUG=-all
    export WINEDLLOVERRIDES="mscoree,mshtml="
    export LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8
}

ensure_japanese_locale() {
    if locale -a 2>/dev/null | grep -qix 'ja_JP\.utf-\?8'; then return; fi
    if [ "$(id -u)" = 0 ] && [ -f /etc/locale.gen ] && command -v locale-gen >/dev/null; then
        log "generating the ja_JP.UTF-8 locale"
        sed -i 's/^# *ja_JP.UTF-8 UTF-8/ja_JP.UTF-8 UTF-8/' /etc/locale.gen
        locale-gen >/dev/null
    fi
    locale -a 2>/dev/null | grep -qix 'ja_JP\.utf-\?8' ||
        die "the ja_JP.UTF-8 locale is missing (enable it in /etc/locale.gen and run locale-gen)"
}

# "<state> <start time>" of process $1, from /proc/<pid>/stat.
process_state() {
    local stat
    stat="$(cat "/proc/$1/stat" 2>/dev/null)" || return 1
    stat="${stat##*) }"
    # shellcheck disable=SC2086 # split into the fields after the name
    set -- $stat
    echo "$1 ${20}"
}

# True while the Xvfb saved as "<pid> <start time>" in $1 runs. The start
# time tells it from a later process that got the same PID, and a zombie has
# ended (where PID 1 reaps nothing, an ended Xvfb stays one).
xvfb_running() {
    local pid start state
    [ -f "$1" ] && read -r pid start <"$1" || return 1
    [ -n "$pid" ] && [ "$(cat "/proc/$pid/comm" 2>/dev/null)" = Xvfb ] || return 1
    state="$(process_state "$pid")" || return 1
    [ "${state%% *}" != Z ] && [ "${state#* }" = "$start" ]
}

start_xvfb() {
    local fifo="$dir/xvfb.fifo" display="" pid state
    rm -f "$fifo"
    mkfifo "$fifo"
    # Xvfb picks a free display and writes its number to fd 3.
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$fifo" </dev/null >"$dir/xvfb.log" 2>&1 &
    pid=$!
    read -r -t 15 display <"$fifo" || true
    rm -f "$fifo"
    state="$(process_state "$pid")" || state="gone"
    echo "$pid ${state#* }" >"$dir/xvfb.pid"
    [ -n "$display" ] || die "Xvfb did not start: $(cat "$dir/xvfb.log")"
    export DISPLAY=":$display"
}

make_prefix() {
    local ready="$WINEPREFIX/.torvane-prefix-ready" t0
    [ -f "$ready" ] && return
    t0=$(now_ms)
    log "creating the Wine prefix $WINEPREFIX"
    rm -rf "$WINEPREFIX"
    wine_quiet wineboot -i || die "wineboot failed, see $dir/wine.log"
    # Without Marlett the caption buttons draw as letters.
    cp /usr/share/wine/fonts/marlett.ttf "$WINEPREFIX/drive_c/windows/Fonts/" ||
        log "warning: no Marlett font (package fonts-wine); caption buttons will show letters"
    # The virtual desktop: show states that work without a window manager,
    # and a taskbar (Shell_TrayWnd), which Wine 8 shows only with EnableShell.
    wine_quiet wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f
    wine_quiet wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1280x1024 /f
    wine_quiet wine reg add 'HKCU\Software\Wine\Explorer\Desktops\Default' /v EnableShell /t REG_DWORD /d 1 /f
    # A change of desktop mode takes effect with a new server.
    wine_quiet wineserver -k || true
    wine_quiet wineserver -w || true
    touch "$ready"
    log "prefix ready in $(($(now_ms) - t0)) ms"
}

build_keeper() {
    local keeper="$dir/session_keeper.exe"
    if [ ! -f "$keeper" ] || [ "$keeper_source" -nt "$keeper" ]; then
        command -v x86_64-w64-mingw32-gcc >/dev/null || die "x86_64-w64-mingw32-gcc is missing"
        x86_64-w64-mingw32-gcc -O2 -Wall -Werror -mwindows -o "$keeper" "$keeper_source"
    fi
}

start() {
    local t0
    t0=$(now_ms)
    mkdir -p "$1"
    dir="$(cd "$1" && pwd -P)"
    stop_session
    ensure_japanese_locale
    command -v wine >/dev/null || die "wine is missing"
    command -v Xvfb >/dev/null || die "Xvfb is missing"
    : >"$dir/wine.log"
    wine_environment
    build_keeper
    if [ -n "${WINE_SESSION_DISPLAY:-}" ]; then
        export DISPLAY="$WINE_SESSION_DISPLAY"
    else
        start_xvfb
    fi
    make_prefix

    wine_quiet wineserver -p
    # The first program starts Wine's services and the desktop; they inherit
    # its file descriptors, which are /dev/null and the log here.
    wine_quiet wine reg query 'HKCU\Software\Wine\Explorer'
    # Keep the desktop (and its taskbar) alive between test programs.
    taskset -c 0 wine "$dir/session_keeper.exe" hold </dev/null >>"$dir/wine.log" 2>&1 &
    if ! taskset -c 0 wine "$dir/session_keeper.exe" wait "$taskbar_wait_ms" </dev/null >"$dir/taskbar.log" 2>&1; then
        log "$(cat "$dir/taskbar.log")"
        stop_session
        die "the taskbar did not appear"
    fi

    cat >"$dir/wine-session.env.tmp" <<EOF
export DISPLAY='$DISPLAY'
export WINEPREFIX='$WINEPREFIX'
export WINEARCH=win64
export WINEDEBUG=-all
export WINEDLLOVERRIDES='mscoree,mshtml='
export LANG=ja_JP.UTF-8
export LC_ALL=ja_JP.UTF-8
EOF
    mv "$dir/wine-session.env.tmp" "$dir/wine-session.env"
    log "session on $DISPLAY ready in $(($(now_ms) - t0)) ms, $(tr -d '\r' <"$dir/taskbar.log")"
}

stop_session() {
    local pid deadline
    rm -f "$dir/wine-session.env"
    if [ -f "$dir/prefix/system.reg" ]; then
        # Ends the server of this prefix and, with it, every Wine process of
        # the session. Nothing to do when no server runs.
        WINEPREFIX="$dir/prefix" timeout 20 wineserver -k </dev/null >/dev/null 2>&1 || true
        WINEPREFIX="$dir/prefix" timeout 20 wineserver -w </dev/null >/dev/null 2>&1 || true
    fi
    if xvfb_running "$dir/xvfb.pid"; then
        read -r pid _ <"$dir/xvfb.pid"
        kill "$pid" 2>/dev/null || true
        deadline=$(($(now_ms) + 5000))
        while xvfb_running "$dir/xvfb.pid"; do
            if [ "$(now_ms)" -ge "$deadline" ]; then
                kill -KILL "$pid" 2>/dev/null || true
                break
            fi
            sleep 0.05
        done
    fi
    rm -f "$dir/xvfb.pid" "$dir/xvfb.fifo" "$dir/wine-session.env.tmp"
}

[ $# -eq 2 ] || usage
case "$1" in
start) start "$2" ;;
status)
    [ -f "$2/wine-session.env" ] || exit 1
    # On a private screen the session lives as long as its Xvfb.
    [ ! -f "$2/xvfb.pid" ] || xvfb_running "$2/xvfb.pid"
    ;;
stop)
    [ -d "$2" ] || exit 0
    dir="$(cd "$2" && pwd -P)"
    stop_session
    ;;
*) usage ;;
esac
