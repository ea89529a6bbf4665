#!/usr/bin/env bash
# varlowe-cli calls on a generated capture of known call outcomes (of each ten calls the 3rd
# busy, the 6th rejected with 403, the 9th cancelled, the others answered and hung up; a
# third of them over TCP): every call listed once, each with its state, its message count,
# and a setup time and duration only when it was answered; the messages as many as tshark
# counts when it is there.
# Usage: calls_outcomes.sh GENERATE-CAPTURE VARLOWE-CLI
set -euo pipefail
generate=$1
cli=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "$*"; exit 1; }

"$generate" -o "$work/outcomes.pcap" --outcomes --no-media --calls 12 --max-calls 60 \
    --size-mb 100 --tcp-share 0.3 --seed 5 >/dev/null
"$cli" calls "$work/outcomes.pcap" >"$work/calls.tsv"
[ "$(head -1 "$work/calls.tsv" | cut -f6,9)" = "$(printf 'State\tMessages')" ] ||
    fail "unexpected header: $(head -1 "$work/calls.tsv")"
summary=$(awk -F'\t' 'NR > 1 { print $6 "|" $9 "|" ($7 == "" ? "-" : "setup") "|" ($8 == "" ? "-" : "duration") }' \
    "$work/calls.tsv" | sort | uniq -c | awk '{ $1 = $1; print }')
expected=$(printf '%s\n' "6 busy|4|-|-" "6 cancelled|7|-|-" "42 completed|7|setup|duration" \
    "6 rejected 403|4|-|-")
[ "$summary" = "$expected" ] || fail "the calls list says:
$summary
expected:
$expected"
[ "$(tail -n +2 "$work/calls.tsv" | cut -f4 | sort -u | wc -l)" -eq 60 ] ||
    fail "not sixty distinct Call-IDs"
messages=$("$cli" messages "$work/outcomes.pcap" | wc -l)
[ "$messages" -eq $((42 * 7 + 6 * 4 + 6 * 4 + 6 * 7)) ] || fail "$messages messages"
if command -v tshark >/dev/null; then
    theirs=$(tshark -r "$work/outcomes.pcap" -Y sip 2>/dev/null | wc -l)
    [ "$theirs" -eq "$messages" ] || fail "tshark counts $theirs SIP messages, we $messages"
fi
echo "60 generated calls of four outcomes listed with their states and counts"
