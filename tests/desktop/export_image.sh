#!/usr/bin/env bash
# varlowe --export-image under a virtual display: a PNG and an SVG of a capture without a
# window (the SVG whole in one file, nothing left in the temporary folder), the refusals (no
# capture, the capture itself as the output) and a full disk said and exited on.
# With a capture of two calls, --call-id draws one call's rows, or both.
# Usage: export_image.sh VARLOWE CAPTURE TWO-CALLS   (run under xvfb-run)
set -euo pipefail
varlowe=$1
capture=$2
two_calls=$3
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
export HOME=$home XDG_CONFIG_HOME=$home/config
mkdir "$home/tmp"
export TMPDIR=$home/tmp

"$varlowe" --export-image "$home/ladder.png" "$capture" >"$home/out.txt"
grep -q "ladder.png: [0-9]* x [0-9]* pixels, 9 rows" "$home/out.txt" || { cat "$home/out.txt"; exit 1; }
[ "$(head -c 8 "$home/ladder.png" | od -An -tx1 | tr -d ' \n')" = "89504e470d0a1a0a" ] ||
    { echo "not a PNG"; exit 1; }
"$varlowe" --export-image "$home/ladder.svg" "$capture" >/dev/null
grep -q "<svg" "$home/ladder.svg" || { echo "not an SVG"; exit 1; }
grep -q "INVITE" "$home/ladder.svg" || { echo "the SVG lacks the INVITE"; exit 1; }
grep -q 'href="data:image/png;base64,' "$home/ladder.svg" || { echo "the SVG's icons are not in it"; exit 1; }
if grep -q '\.png"' "$home/ladder.svg"; then echo "the SVG refers to image files"; exit 1; fi
[ -z "$(ls -A "$home/tmp")" ] || { echo "left in TMPDIR:"; ls "$home/tmp"; exit 1; }

# A disk that fills up (a file-size limit of 4 KiB fails writes alike): said, exit 1, no box
# (nothing waits for a click), no file, nothing left behind.
for image in full.svg full.png; do
    status=0
    (trap '' XFSZ; ulimit -f 4; exec "$varlowe" --export-image "$home/$image" "$capture") \
        >"$home/out.txt" 2>"$home/err.txt" || status=$?
    [ $status -eq 1 ] || { echo "$image: exit $status on a full disk"; cat "$home/out.txt" "$home/err.txt"; exit 1; }
    grep -q "Unable to save $home/$image" "$home/err.txt" || { cat "$home/err.txt"; exit 1; }
    [ ! -e "$home/$image" ] || { echo "$image: a partial file was left"; exit 1; }
    [ -z "$(ls -A "$home/tmp")" ] || { echo "left in TMPDIR:"; ls "$home/tmp"; exit 1; }
    [ ! -s "$home/out.txt" ] || { echo "$image: said it wrote"; cat "$home/out.txt"; exit 1; }
done

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
# --call-id: the rows of one session; the two sessions' rows make the whole.
rows() { "$varlowe" --export-image "$home/calls.png" "$@" "$two_calls" | sed -n 's/.* \([0-9]*\) rows$/\1/p'; }
all=$(rows)
first=$(rows --call-id 1-21472@127.0.0.2)
second=$(rows --call-id 1-21481@127.0.0.2)
both=$(rows --call-id 1-21472@127.0.0.2 --call-id 1-21481@127.0.0.2)
[ -n "$all" ] && [ "$first" -gt 0 ] && [ "$second" -gt 0 ] && [ "$first" -lt "$all" ] ||
    { echo "--call-id rows: all $all, first $first, second $second"; exit 1; }
[ $((first + second)) -eq "$all" ] && [ "$both" -eq "$all" ] ||
    { echo "--call-id rows: all $all, first $first, second $second, both $both"; exit 1; }
if "$varlowe" --call-id 1-21472@127.0.0.2 "$two_calls" >/dev/null 2>"$home/err.txt"; then
    echo "--call-id without --export-image was accepted"; exit 1
fi
grep -q "goes with --export-image" "$home/err.txt" || { cat "$home/err.txt"; exit 1; }
echo "PNG, SVG, --call-id and the refusals as expected"
