#!/usr/bin/env bash
# The real program under a virtual display: starts varlowe on a capture, finds its window,
# closes the capture's tab with Ctrl+W and the program with Alt+F4 (through xdotool, as a
# user's keys), and checks what it wrote to its configuration file at exit.
# Usage: end_to_end.sh VARLOWE CAPTURE   (run under xvfb-run; exit 77 when xdotool is missing)
set -euo pipefail
varlowe=$1
capture=$2
command -v xdotool >/dev/null || { echo "xdotool is not installed: skipped"; exit 77; }
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
export HOME=$home XDG_CONFIG_HOME=$home/config
config=$XDG_CONFIG_HOME/Varlowe/Varlowe.conf

"$varlowe" "$capture" >"$home/out.log" 2>&1 &
pid=$!
window=""
for _ in $(seq 1 100); do
    window=$(xdotool search --name '^Varlowe$' 2>/dev/null | head -1 || true)
    [ -n "$window" ] && break
    sleep 0.1
done
[ -n "$window" ] || { echo "no Varlowe window appeared"; kill "$pid"; exit 1; }
sleep 1  # the capture is analysed and its tab shown
# Without a window manager the keyboard follows the pointer: put it over the window (the
# filter tree), where no text view takes the keys for its own window.
xdotool mousemove 60 120
sleep 0.2
xdotool key --clearmodifiers ctrl+w
sleep 0.5
xdotool key --clearmodifiers alt+F4
for _ in $(seq 1 50); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
done
if kill -0 "$pid" 2>/dev/null; then
    echo "varlowe did not close on Alt+F4"
    kill "$pid"
    exit 1
fi
wait "$pid" || { echo "varlowe exited with $?"; cat "$home/out.log"; exit 1; }
[ -f "$config" ] || { echo "no configuration file at exit"; exit 1; }
grep -q "^file1=$capture\$" "$config" || { echo "the capture is not in the recent files"; cat "$config"; exit 1; }
grep -q '^\[layout\]' "$config" || { echo "the window layout was not written"; cat "$config"; exit 1; }
echo "varlowe opened $capture, closed on Ctrl+W and Alt+F4, and wrote its configuration"
