#!/usr/bin/env bash
# formats_match.sh CLI SHARED_CAPTURES: every bundled and real capture converted to pcapng
# and to the nanosecond libpcap format by editcap reads exactly like the original: packets,
# messages, streams and export are byte-identical, and so is the extraction of every stream
# (with record and RTP headers, which carry the times and re-read each packet).
set -euo pipefail
cli=$1
shared=$2
root=$(cd "$(dirname "$0")/../.." && pwd)
if ! command -v editcap >/dev/null; then
    echo "editcap (tshark's package) is not installed: skipped"
    exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
checked=0
for capture in "$root"/samples/*.pcap "$root"/tests/fixtures/*.pcap "$shared"/*.pcap; do
    [ -f "$capture" ] || continue
    name=$(basename "$capture" .pcap)
    editcap -F pcapng "$capture" "$work/$name.pcapng"
    editcap -F nseclibpcap "$capture" "$work/$name.ns.pcap"
    streams=$("$cli" streams "$capture" 2>/dev/null | grep -c '^Payload' || true)
    for copy in "$work/$name.pcapng" "$work/$name.ns.pcap"; do
        for command in packets messages streams export; do
            "$cli" "$command" "$capture" >"$work/a" 2>/dev/null || true
            "$cli" "$command" "$copy" >"$work/b" 2>/dev/null || true
            if ! cmp -s "$work/a" "$work/b"; then
                echo "DIFFERENT: $command of $(basename "$copy")"
                diff "$work/a" "$work/b" | head -5
                failures=$((failures + 1))
            fi
            checked=$((checked + 1))
        done
        for ((stream = 1; stream <= streams; stream++)); do
            "$cli" extract --rtp-headers --record-headers --stream $stream -o "$work/a" "$capture"
            "$cli" extract --rtp-headers --record-headers --stream $stream -o "$work/b" "$copy"
            if ! cmp -s "$work/a" "$work/b"; then
                echo "DIFFERENT: extraction of stream $stream of $(basename "$copy")"
                failures=$((failures + 1))
            fi
            checked=$((checked + 1))
        done
    done
done
echo "$checked comparisons, $failures different"
[ "$checked" -gt 0 ] && [ "$failures" -eq 0 ]
