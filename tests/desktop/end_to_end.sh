#!/usr/bin/env bash
# The real program under a virtual display, used as a user would over three sessions on a
# fresh configuration, with the user's keys (xdotool):
#   1. open a capture, resize the window, File > Exit;
#   2. the size comes back; View > Show Toolbar off, Edit > Preferences and OK, Alt+F4;
#      (a menu opened by its key has its first item chosen already)
#   3. the size comes back; Ctrl+W closes the capture's tab, Ctrl+Q ends the program.
# Each session must end cleanly and leave every value of the sessions before it in the file.
# Every wait is for something to happen (a window, a painted ladder, a size), never a time.
# Usage: end_to_end.sh VARLOWE CAPTURE   (run under xvfb-run; exit 77 without xdotool or import)
set -euo pipefail
source "$(dirname "$0")/window_checks.sh"
varlowe=$1
capture=$2
require_tools xdotool import python3
home=$(mktemp -d)
pid=""
trap 'end_and_remove "$pid" "$home"' EXIT
export HOME=$home XDG_CONFIG_HOME=$home/config
config=$XDG_CONFIG_HOME/Varlowe/Varlowe.conf

fail() {
    echo "$*"
    [ -f "$home/out.log" ] && cat "$home/out.log"
    [ -f "$config" ] && { echo "--- $config"; cat "$config"; }
    exit 1
}

main_window() { windows_titled Varlowe | head -1; }
# The program still running (or say how it ended) and its window shown.
has_main_window() {
    kill -0 "$pid" 2>/dev/null || fail "varlowe ended before its window was shown"
    [ -n "$(main_window)" ]
}
menu_open() {
    local window
    for window in $(windows_titled varlowe); do
        xdotool getwindowgeometry "$window" | grep -q 'Geometry: 1x1$' || return 0
    done
    return 1
}
menu_closed() { ! menu_open; }
# menu KEY ITEM-KEYS...: opens a menu by its key, waits for it, picks an item.
menu() {
    keys "$1"
    wait_for "the menu of $1" 10 menu_open
    shift
    xdotool key --clearmodifiers "$@"
    wait_for "the menu to close" 10 menu_closed
}
window_size() { xdotool getwindowgeometry "$(main_window)" | sed -n 's/.*Geometry: //p'; }
size_is() { [ "$(window_size)" = "$1" ]; }
preferences_shown() { [ -n "$(windows_titled 'Varlowe Preferences')" ]; }
preferences_gone() { ! preferences_shown; }
ended() { ! kill -0 "$pid" 2>/dev/null; }
keys() {
    # Without a window manager the keyboard follows the pointer: put it over the filter
    # tree (inside the window, wherever it was placed), where no text view takes the keys.
    xdotool mousemove --window "$(main_window)" 60 120
    xdotool key --clearmodifiers "$@"
}
expect_value() {
    [ "$(value "$1" "$2")" = "$3" ] || fail "$1/$2 is '$(value "$1" "$2")', not '$3'"
}
start() {
    "$varlowe" "$capture" >"$home/out.log" 2>&1 &
    pid=$!
    wait_for "the main window" 20 has_main_window
    wait_for "the ladder of $capture" 30 ladder_painted
}
finish() {
    wait_for "the program to end" 20 ended
    local status=0
    wait "$pid" || status=$?
    pid=""
    [ $status -eq 0 ] || fail "varlowe exited with $status in session $1"
    [ -f "$config" ] || fail "no configuration file after session $1"
}
# The stored names as GROUP/KEY lines, sorted.
stored_names() {
    awk '/^\[/ { group = $0; next } { print group "/" substr($0, 1, index($0, "=") - 1) }' "$1" | sort
}
# Nothing stored before is missing now.
expect_kept() {
    local lost
    lost=$(comm -23 <(stored_names "$1") <(stored_names "$config"))
    [ -z "$lost" ] || fail "session $2 lost: $lost"
}
expect_every_value() {
    grep -qx "file1=$capture" "$config" || fail "the capture is not in the recent files"
    expect_value layout frameSize.value.w 1000
    expect_value layout frameSize.value.h 800
    [ -n "$(value versionCheck nextVersionCheck.value)" ] || fail "the version check's date is lost"
}

# Session 1: a resize, then File > Exit from the menu.
start
xdotool windowsize "$(main_window)" 1000 800
wait_for "the window to take its new size" 10 size_is 1000x800
menu alt+f Up Return
finish 1
expect_every_value
cp "$config" "$home/after-1.conf"

# Session 2: the size is back; a View switch and the preferences confirmed with OK.
start
size_is 1000x800 || fail "session 2 opened at $(window_size), not 1000x800"
menu alt+v Return
menu alt+e Up Return
wait_for "the preferences" 10 preferences_shown
# OK is the first of the four 80-pixel buttons in the row along the lower edge, right
# aligned with 10 pixels after each.
dialog=$(windows_titled 'Varlowe Preferences')
read -r width height < <(xdotool getwindowgeometry "$dialog" | sed -n 's/.*Geometry: \([0-9]*\)x\([0-9]*\)/\1 \2/p')
xdotool mousemove --window "$dialog" $((width - 4 * 90 + 40)) $((height - 27)) click 1
wait_for "the preferences to close" 10 preferences_gone
expect_every_value
expect_value frame showToolbar.value 0
keys alt+F4
finish 2
expect_every_value
expect_value frame showToolbar.value 0
expect_kept "$home/after-1.conf" 2
cp "$config" "$home/after-2.conf"

# Session 3: the size is back; the capture's tab closed with Ctrl+W, the program with Ctrl+Q.
start
size_is 1000x800 || fail "session 3 opened at $(window_size), not 1000x800"
keys ctrl+w
keys ctrl+q
finish 3
expect_every_value
expect_value frame showToolbar.value 0
expect_kept "$home/after-2.conf" 3
echo "three sessions of varlowe on $capture kept the size, the recent files, the View switch and the version check's date"
