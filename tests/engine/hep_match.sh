#!/usr/bin/env bash
# hep_match.sh CLI [SHARED_CAPTURES]: recorded calls wrapped in HEP3 and in HEP2
# (tools/hep-wrap, as a probe sends them to a collector on UDP 9060) analyse as the calls do
# unwrapped: the same messages (numbers, times from the HEP header, addresses, ports, start
# lines) and the same streams. With --no-hep the wrapped capture shows the HEP datagrams.
set -euo pipefail
cli=$1
shared=${2:-}
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
captures=("$root/samples/sip-call-loopback.pcap" "$root/tests/fixtures/sip-call-dtmf.pcap"
    "$root/tests/fixtures/sip-tcp-segmented.pcap")
if [ -n "$shared" ] && [ -f "$shared/heplify_sip_ipv4_tcp_fragmented.pcap" ]; then
    captures+=("$shared/heplify_sip_ipv4_tcp_fragmented.pcap" "$shared/wsample_sip-rtp-g722.pcap")
fi
status=0
for capture in "${captures[@]}"; do
    name=$(basename "$capture")
    "$cli" messages "$capture" >"$work/messages" 2>/dev/null
    "$cli" streams "$capture" >"$work/streams" 2>/dev/null
    [ -s "$work/messages" ] || { echo "$name: no messages unwrapped"; exit 1; }
    for version in 2 3; do
        python3 "$root/tools/hep-wrap" --version "$version" "$capture" "$work/wrapped.pcap"
        for command in messages streams; do
            "$cli" "$command" "$work/wrapped.pcap" >"$work/$command.hep" 2>/dev/null
            if ! cmp -s "$work/$command" "$work/$command.hep"; then
                echo "$name in HEP$version: $command differ"
                diff "$work/$command" "$work/$command.hep" | head -6
                status=1
            fi
        done
        "$cli" packets --no-hep "$work/wrapped.pcap" >"$work/packets"
        if ! grep -q ':9064 > 10.99.0.2:9060 ' "$work/packets"; then
            echo "$name in HEP$version: --no-hep does not show the HEP datagrams"
            status=1
        fi
    done
done
[ $status -eq 0 ] && echo "${#captures[@]} captures wrapped in HEP2 and HEP3 analyse alike"
exit $status
