#!/usr/bin/env bash
# Records samples/sip-call-loopback.pcap: one SIP call over UDP between two loopback
# addresses, with G.711 A-law RTP played by the caller and echoed by the callee, then RFC 2833
# DTMF. Needs root (for tcpdump on lo), sipp (package sip-tester) and tcpdump.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
out=${1:-$here/sip-call-loopback.pcap}
work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT

cd "$work"
ln -s /usr/share/sip-tester pcap           # the scenario plays pcap/g711a.pcap
sipp -sd uac_pcap >uac_pcap.xml || [ -s uac_pcap.xml ]   # exits 99 after the dump

tcpdump -i lo -U -s 0 --time-stamp-precision=micro -w "$work/call.pcap" \
    'host 127.0.0.1 and host 127.0.0.2' 2>tcpdump.log &
pids+=($!)
sleep 1

sipp -sn uas -i 127.0.0.1 -mi 127.0.0.1 -p 5060 -mp 16000 -rtp_echo -m 1 -nostdin \
    -timeout 40s >uas.log 2>&1 &
uas=$!
pids+=($uas)
sleep 0.5
sipp -sf uac_pcap.xml -i 127.0.0.2 -mi 127.0.0.2 -p 5070 -mp 18000 -m 1 -nostdin \
    -timeout 40s 127.0.0.1:5060 >uac.log 2>&1
wait "$uas" || true
sleep 1
kill "${pids[0]}"
wait "${pids[0]}" 2>/dev/null || true
cp "$work/call.pcap" "$out"
echo "recorded $out"
