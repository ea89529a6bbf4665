#!/usr/bin/env bash
# varlowe --export-image under a virtual display: a PNG and an SVG of a capture without a
# window, and the refusals (no capture, the capture itself as the output).
# Usage: export_image.sh VARLOWE CAPTURE   (run under xvfb-run)
set -euo pipefail
varlowe=$1
capture=$2
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
export HOME=$home XDG_CONFIG_HOME=$home/config

"$varlowe" --export-image "$home/ladder.png" "$capture" >"$home/out.txt"
grep -q "ladder.png: [0-9]* x [0-9]* pixels, 9 rows" "$home/out.txt" || { cat "$home/out.txt"; exit 1; }
[ "$(head -c 8 "$home/ladder.png" | od -An -tx1 | tr -d ' \n')" = "89504e470d0a1a0a" ] ||
    { echo "not a PNG"; exit 1; }
"$varlowe" --export-image "$home/ladder.svg" "$capture" >/dev/null
grep -q "<svg" "$home/ladder.svg" || { echo "not an SVG"; exit 1; }
grep -q "INVITE" "$home/ladder.svg" || { echo "the SVG lacks the INVITE"; exit 1; }

if "$varlowe" --export-image "$home/none.png" 2>"$home/err.txt"; then
    echo "no capture was accepted"; exit 1
fi
copy=$home/capture.pcap
cp "$capture" "$copy"
if "$varlowe" --export-image "$copy" "$copy" 2>"$home/err.txt"; then
    echo "the capture was written over"; exit 1
fi
cmp -s "$capture" "$copy" || { echo "the capture changed"; exit 1; }
grep -q "is the capture; not written" "$home/err.txt" || { cat "$home/err.txt"; exit 1; }
echo "PNG, SVG and the refusals as expected"
