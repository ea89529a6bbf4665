#!/usr/bin/env bash
# Remakes the README's screenshot of Varlowe (docs/screenshot.png): the program on the
# bundled sample under a virtual display, in a throwaway settings folder. Needs the build,
# Xvfb, xdotool and ImageMagick (all installed by ./test).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$root/docs/screenshot.png}
home=$(mktemp -d)
cleanup() {
    [ -n "${app:-}" ] && kill "$app" 2>/dev/null || true
    [ -n "${xvfb:-}" ] && kill "$xvfb" 2>/dev/null || true
    rm -rf "$home"
}
trap cleanup EXIT
display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 1280x820x24 >/dev/null 2>&1 &
xvfb=$!
sleep 1
mkdir -p "$home/config/Varlowe"
# A window filling the screen, the sample's call selected in the filter tree's first row.
cat >"$home/config/Varlowe/Varlowe.conf" <<CONF
[layout]
frameSize.type=7
frameSize.value.w=1280
frameSize.value.h=820
framePosition.type=6
framePosition.value.x=0
framePosition.value.y=0
CONF
HOME=$home XDG_CONFIG_HOME=$home/config DISPLAY=$display \
    "$root/build/app/frame/varlowe" "$root/samples/sip-call-loopback.pcap" >/dev/null 2>&1 &
app=$!
sleep 3
DISPLAY=$display import -window root "$out"
echo "wrote $out"
