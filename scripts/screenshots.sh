#!/bin/bash
# Pictures of the program for the documents, taken under Wine on a private
# virtual screen:
#
#   scripts/screenshots.sh <build-dir> <out-dir>
#
# <build-dir> is a Windows build (torvane.exe and the e2e driver built);
# writes tray-menu.png, about-box.png and message-box.png to <out-dir>. Starts
# its own Wine session in <build-dir>/wine-screenshots and ends everything it
# started: the program (by WM_CLOSE, else by its PID) and the session.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd -P)"
readonly here
readonly session_script="$here/../tests/wine/wine_session.sh"

log() { printf 'screenshots: %s\n' "$*" >&2; }
die() {
    log "$*"
    exit 1
}

[ $# -eq 2 ] || die "usage: $0 <build-dir> <out-dir>"
build="$(cd "$1" && pwd -P)" || die "no build folder $1"
mkdir -p "$2"
out="$(cd "$2" && pwd -P)"
readonly build out
readonly torvane="$build/torvane.exe"
readonly driver="$build/tests/wine/e2e/torvane_e2e_driver.exe"
readonly session="$build/wine-screenshots"
[ -f "$torvane" ] || die "no $torvane"
[ -f "$driver" ] || die "no $driver (build the target torvane_e2e_driver)"
for tool in xdotool import convert; do command -v "$tool" >/dev/null || die "$tool is missing"; done

work=""
torvane_pid=""

cleanup() {
    local deadline
    if [ -n "$torvane_pid" ] && kill -0 "$torvane_pid" 2>/dev/null; then
        drive --post 0x10 0 0 >/dev/null 2>&1 || true  # WM_CLOSE
        deadline=$(($(date +%s) + 5))
        while kill -0 "$torvane_pid" 2>/dev/null && [ "$(date +%s)" -lt "$deadline" ]; do sleep 0.1; done
        kill "$torvane_pid" 2>/dev/null || true
    fi
    [ -n "$work" ] && rm -rf "$work"
    "$session_script" stop "$session" || true
}
trap cleanup EXIT

# The e2e driver's helper modes; its output without CR.
drive() { taskset -c 0 wine "$driver" "$@" </dev/null 2>/dev/null | tr -d '\r'; }

shoot() { import -display "$DISPLAY" -window root "$1"; }

# crop <full.png> <out.png> <x> <y> <width> <height>, kept inside the screen.
crop() {
    local x=$3 y=$4 w=$5 h=$6
    [ "$x" -ge 0 ] || { w=$((w + x)); x=0; }
    [ "$y" -ge 0 ] || { h=$((h + y)); y=0; }
    [ $((x + w)) -le 1280 ] || w=$((1280 - x))
    [ $((y + h)) -le 1024 ] || h=$((1024 - y))
    convert "$1" -crop "${w}x${h}+${x}+${y}" +repage "$2"
    log "$(basename "$2"): ${w}x${h} at ($x,$y)"
}

"$session_script" start "$session"
# shellcheck disable=SC1091
. "$session/wine-session.env"

# A working folder without zrk.ini: the program runs on its defaults.
work="$(mktemp -d "$build/screenshots.XXXXXX")"
(cd "$work" && exec taskset -c 0 wine "$torvane") </dev/null >/dev/null 2>&1 &
torvane_pid=$!
drive --wait-main 10000 || die "the program did not start"

read -r icon_x icon_y < <(drive --tray-point) || die "no taskbar"
shot="$work/screen.png"

# The tray menu: a real right click on the icon.
xdotool mousemove "$icon_x" "$icon_y" click 3
read -r mx my _ _ < <(drive --wait-rect menu) || die "no tray menu"
shoot "$shot"
# The menu and the corner of the taskbar with the icon.
crop "$shot" "$out/tray-menu.png" $((mx - 16)) $((my - 16)) $((1280 - mx + 16)) $((1024 - my + 16))
drive --post 0x100 0x1B 0 >/dev/null  # WM_KEYDOWN Escape to the menu's owner
drive --wait-gone menu >/dev/null || die "the tray menu stays open"

# The about box, from its menu command.
drive --post 0x111 104 0 >/dev/null
read -r ax ay aw ah < <(drive --wait-rect about) || die "no about box"
shoot "$shot"
crop "$shot" "$out/about-box.png" $((ax - 16)) $((ay - 16)) $((aw + 32)) $((ah + 32))
drive --click-ok about >/dev/null || die "could not close the about box"
drive --wait-gone about >/dev/null || die "the about box stays open"

# A message box: monitoring off, then a left click on the icon.
drive --post 0x111 32779 0 >/dev/null
# The toggle is saved at once; a click before it is handled would correct.
deadline=$(($(date +%s) + 5))
until grep -qs '^Enabled=0' "$work/zrk.ini"; do
    [ "$(date +%s)" -lt "$deadline" ] || die "monitoring did not go off"
    sleep 0.05
done
xdotool mousemove "$icon_x" "$icon_y" click 1
read -r bx by bw bh < <(drive --wait-rect box) || die "no message box"
shoot "$shot"
crop "$shot" "$out/message-box.png" $((bx - 16)) $((by - 16)) $((bw + 32)) $((bh + 32))
drive --click-ok box >/dev/null || die "could not close the message box"
drive --wait-gone box >/dev/null || die "the message box stays open"

log "pictures in $out"
