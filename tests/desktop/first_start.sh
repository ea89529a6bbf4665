#!/usr/bin/env bash
# The first start on a fresh configuration at GDK_SCALE 1 and 2, on a 3200 x 2000 screen (a
# 1600 x 1000 one at scale 2): the window takes nine tenths of the screen (2880 x 1800 device
# pixels both times), the stored size is in the toolkit's own pixels (2880 x 1800, then
# 1440 x 900), and the dividers fit that window. Ctrl+Q ends each session.
# Usage: first_start.sh VARLOWE CAPTURE   (under xvfb-run with a 3200x2000 screen; exit 77
# without xdotool, import or python3)
set -euo pipefail
source "$(dirname "$0")/window_checks.sh"
varlowe=$1
capture=$2
require_tools xdotool import python3
home=$(mktemp -d)
pid=""
trap 'end_and_remove "$pid" "$home"' EXIT
fail() { echo "$*"; [ -f "$config" ] && cat "$config"; exit 1; }
has_window() { [ -n "$(windows_titled Varlowe)" ]; }
ended() { ! kill -0 "$pid" 2>/dev/null; }

# scale, stored width and height, left divider, info panel
for expected in "1 2880 1800 380 -340" "2 1440 900 360 -270"; do
    read -r scale width height vertical info <<<"$expected"
    export HOME=$home/$scale XDG_CONFIG_HOME=$home/$scale/config
    config=$XDG_CONFIG_HOME/Varlowe/Varlowe.conf
    GDK_SCALE=$scale "$varlowe" "$capture" >"$home/out.log" 2>&1 &
    pid=$!
    wait_for "the main window" 20 has_window
    wait_for "the ladder" 30 ladder_painted
    window=$(windows_titled Varlowe | head -1)
    geometry=$(xdotool getwindowgeometry "$window" | sed -n 's/.*Geometry: //p')
    [ "$geometry" = 2880x1800 ] || fail "scale $scale: the window is $geometry, not 2880x1800"
    xdotool mousemove --window "$window" 60 120
    xdotool key --clearmodifiers ctrl+q
    wait_for "the program to end" 20 ended
    wait "$pid" || fail "scale $scale: varlowe ended with $?"
    pid=""
    [ "$(value layout frameSize.value.w)x$(value layout frameSize.value.h)" = "${width}x$height" ] ||
        fail "scale $scale: stored $(value layout frameSize.value.w)x$(value layout frameSize.value.h)"
    [ "$(value layout sashVert.value)" = "$vertical" ] || fail "scale $scale: sashVert"
    [ "$(value layout sashDiagramInfo.value)" = "$info" ] || fail "scale $scale: sashDiagramInfo"
done
echo "the first start fits the screen at GDK_SCALE 1 and 2"
