#!/usr/bin/env bash
# The program as `cmake --install` lays it out, under a virtual display: F1 opens its help
# book (found in share/varlowe) at the contents, drawn as pages and not as their source.
# Usage: installed_help.sh BUILD-DIR CAPTURE
# (run under xvfb-run; exit 77 without xdotool, import or python3)
set -euo pipefail
source "$(dirname "$0")/window_checks.sh"
build=$1
capture=$2
require_tools xdotool import python3
home=$(mktemp -d)
pid=""
trap 'end_and_remove "$pid" "$home"' EXIT
export HOME=$home XDG_CONFIG_HOME=$home/config
cmake --install "$build" --prefix "$home/prefix" >/dev/null
[ -f "$home/prefix/share/varlowe/Varlowe.htb" ] || { echo "the help book is not installed"; exit 1; }
[ ! -e "$home/prefix/bin/Varlowe.htb" ] || { echo "the help book is installed beside the program"; exit 1; }

has() { [ -n "$(windows_titled "$1")" ]; }

"$home/prefix/bin/varlowe" "$capture" >"$home/out.log" 2>&1 &
pid=$!
wait_for "the main window" 20 has Varlowe
wait_for "the ladder of $capture" 30 ladder_painted
# Without a window manager the keys follow the pointer: over the window's filter tree.
main=$(windows_titled Varlowe | head -1)
xdotool mousemove --window "$main" 60 120
xdotool key --clearmodifiers F1
# The viewer titles its window after the page's title: "Varlowe Help" for the contents (the
# file name when it shows the page as text).
wait_for "the help window" 20 has "Help: Varlowe Help"
xdotool mousemove --window "$main" 60 120
xdotool key --clearmodifiers alt+F4
echo "the installed program opened its help book at the contents"
