#!/usr/bin/env bash
# Remakes the README's screenshots of Varlowe under a virtual display, in a throwaway
# settings folder: the diagram window with all its panes on the bundled sample
# (docs/screenshot.png), a stream's bandwidth graph with the read-out under the pointer
# (docs/screenshot-bandwidth.png) and, when the real captures are there, a stream's RTCP
# reports (docs/screenshot-rtcp.png), the calls list of a capture of 70 calls with one chosen
# (docs/screenshot-calls.png) and Find with its matches marked (docs/screenshot-find.png). Needs the build, Xvfb, xdotool and ImageMagick (all
# installed by ./test). The pointer positions belong to the layout set up below.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$root/docs}
home=$(mktemp -d)
app=
cleanup() {
    [ -n "$app" ] && kill "$app" 2>/dev/null || true
    [ -n "${xvfb:-}" ] && kill "$xvfb" 2>/dev/null || true
    rm -rf "$home"
}
trap cleanup EXIT
display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 1280x820x24 >/dev/null 2>&1 &
xvfb=$!
sleep 1
export DISPLAY=$display

# A window filling the screen, the info pane 330 pixels high; with "calls", the calls list
# above the ladder and the info pane 250 high.
start() {
    [ -n "$app" ] && kill "$app" 2>/dev/null && wait "$app" 2>/dev/null || true
    rm -rf "$home/config"
    mkdir -p "$home/config/Varlowe"
    cat >"$home/config/Varlowe/Varlowe.conf" <<CONF
[layout]
frameSize.type=7
frameSize.value.w=1280
frameSize.value.h=820
framePosition.type=6
framePosition.value.x=0
framePosition.value.y=0
sashDiagramInfo.type=0
sashDiagramInfo.value=$([ "${2:-}" = calls ] && echo -250 || echo -330)
CONF
    if [ "${2:-}" = calls ]; then
        cat >>"$home/config/Varlowe/Varlowe.conf" <<CONF
sashCallsDiagram.type=0
sashCallsDiagram.value=230
[frame]
showCallsPane.type=3
showCallsPane.value=1
CONF
    fi
    HOME=$home XDG_CONFIG_HOME=$home/config "$root/build/bin/varlowe" "$1" >/dev/null 2>&1 &
    app=$!
    sleep 3
}
shot() {
    sleep 1
    import -window root "$1"
    echo "wrote $1"
}
# A click at a point of the screen.
click() {
    xdotool mousemove "$1" "$2" click 1
    sleep 0.5
}

start "$root/samples/sip-call-loopback.pcap"
shot "$out/screenshot.png"

# The first stream (row 5 of the All list), its Bandwidth page, the pointer on its plot.
click 150 774
click 490 490
xdotool mousemove 700 640
sleep 0.3
xdotool mousemove 720 642
shot "$out/screenshot-bandwidth.png"

heplify=$root/../shared/captures/heplify_rtp_rtcp_sip_ipv4_udp.pcap
if [ -f "$heplify" ]; then
    start "$heplify"
    # The first call of the filter tree, then its first stream in the All list.
    click 31 141
    click 150 164
    click 150 774
    click 676 490
    shot "$out/screenshot-rtcp.png"
fi

calls=$root/../shared/captures/heplify_sip_ipv4_tcp_fragmented.pcap
if [ -f "$calls" ]; then
    start "$calls" calls
    # Sorted by duration, longest first: the longest call chosen shows its ladder alone.
    click 1230 155
    click 1230 155
    click 600 178
    shot "$out/screenshot-calls.png"
    # Find over every row (the tree's root): the messages holding "486", the second selected.
    click 73 118
    xdotool key --clearmodifiers ctrl+f
    xdotool type "486 busy"
    xdotool key Return
    sleep 0.3
    xdotool mousemove 73 300
    xdotool key F3
    shot "$out/screenshot-find.png"
fi
