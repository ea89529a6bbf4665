#!/usr/bin/env bash
# link_layers_match.sh CLI: one call recorded at once on lo (classic Ethernet), on "any" as
# Linux cooked v1 and v2, and by dumpcap as pcapng (tests/fixtures/record-link-layers.sh)
# analyses alike: the same messages, the same streams; only the byte counts differ, by each
# link layer's header (16 and 20 bytes against Ethernet's 14) on every packet.
set -euo pipefail
cli=$1
fixtures=$(cd "$(dirname "$0")/../fixtures" && pwd)
reference=$fixtures/sip-call-links-lo.pcap
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0
figures() { grep -v -e '^Total Bytes' -e '^Average KBytes' "$1"; }
bytes() { grep '^Total Bytes' "$1" | awk '{ print $4 }'; }
packets() { grep '^Total Packets' "$1" | awk '{ print $4 }'; }
"$cli" messages "$reference" >"$work/messages.lo"
"$cli" streams "$reference" >"$work/streams.lo"
[ -s "$work/messages.lo" ] && [ "$(grep -c '^Payload' "$work/streams.lo")" -eq 4 ] || {
    echo "the reference recording shows no call"
    exit 1
}
for entry in sip-call-links-lo.pcapng:0 sip-call-links-any-sll.pcap:2 sip-call-links-any-sll2.pcap:6; do
    file=${entry%%:*}
    extra=${entry##*:}
    "$cli" messages "$fixtures/$file" >"$work/messages"
    "$cli" streams "$fixtures/$file" >"$work/streams"
    if ! cmp -s "$work/messages.lo" "$work/messages"; then
        echo "$file: messages differ"
        diff "$work/messages.lo" "$work/messages" | head -5
        status=1
    fi
    if ! diff <(figures "$work/streams.lo") <(figures "$work/streams") >/dev/null; then
        echo "$file: stream figures differ"
        status=1
    fi
    paste <(bytes "$work/streams.lo") <(bytes "$work/streams") <(packets "$work/streams") |
        while read -r lo other count; do
            if [ $((other - lo)) -ne $((count * extra)) ]; then
                echo "$file: $other bytes against $lo for $count packets"
                exit 1
            fi
        done || status=1
    echo "$file: $(wc -l <"$work/messages") message lines, $(grep -c '^Payload' "$work/streams") streams alike"
done
exit $status
