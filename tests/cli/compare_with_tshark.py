#!/usr/bin/env python3
"""Compares `varlowe-cli packets`, `messages` and `streams` with tshark's view of the same
captures.

Every UDP datagram (a reassembled one counts once, on the fragment that completed it) and every
TCP segment with payload, over untagged Ethernet II and IPv4 or IPv6, must appear with the same number,
time, addresses, ports and payload length. SIP and STUN messages must agree, and every RTP
stream found here must have tshark's packet count. Exits 77 (skipped) when tshark is not
installed.
"""
import glob
import os
import shutil
import subprocess
import sys

SKIP = 77


def tshark_rows(path, options, display_filter, fields):
    """tshark's values of the fields for every frame the filter keeps, one list per frame."""
    command = ["tshark", "-n", "-r", path] + options + ["-Y", display_filter, "-T", "fields",
                                                        "-E", "separator=\t"]
    for field in fields:
        command += ["-e", field]
    output = subprocess.run(command, check=True, capture_output=True, text=True).stdout
    return [line.split("\t") for line in output.splitlines()]


def endpoint(address, port):
    """address:port, an IPv6 address in brackets."""
    return ("[%s]:%s" if ":" in address else "%s:%s") % (address, port)


def link_header_length(protocols, ifindex):
    """Bytes before the IP header: the link layer's header and its VLAN tags."""
    layers = protocols.split(":")
    layers = layers[:layers.index("ip")] if "ip" in layers else layers
    first = layers[0] if layers else ""
    length = {"eth": 14, "sll": 20 if ifindex else 16, "null": 4}.get(first, 0)
    return length + 4 * layers.count("vlan")


def tshark_packets(path):
    fields = ["frame.number", "frame.time_epoch", "ip.src", "ip.dst", "udp.srcport", "udp.dstport",
              "tcp.srcport", "tcp.dstport", "udp.length", "tcp.len", "frame.len", "ip.hdr_len",
              "ip.len", "frame.cap_len", "ip.flags.mf", "ip.frag_offset", "frame.protocols",
              "sll.ifindex", "ipv6.src", "ipv6.dst"]
    packets = []
    for row in tshark_rows(path, ["-o", "tcp.desegment_tcp_streams:FALSE", "-E", "occurrence=l"],
                           "(ip || ipv6) && ((udp && !icmp && !icmpv6) || tcp.len > 0)", fields):
        (number, epoch, src, dst, usport, udport, tsport, tdport, ulen, tlen, flen, hlen,
         iplen, caplen, mf, fragoffset, protocols, ifindex, src6, dst6) = row
        six = not src
        if six:
            src, dst = src6, dst6
        seconds, _, fraction = epoch.partition(".")
        time = "%s.%s" % (seconds, (fraction + "000000")[:6])
        if usport:
            kind, sport, dport = "UDP", usport, udport
            if six:
                length = int(ulen) - 8
            elif mf in ("0", "False") and fragoffset == "0":
                # Bytes after the IP packet (Ethernet padding, trailers) count as UDP payload.
                length = int(caplen) - link_header_length(protocols, ifindex) - int(hlen) - 8
            else:
                length = int(ulen) - 8
        else:
            kind, sport, dport, length = "TCP", tsport, tdport, int(tlen)
        packets.append("%s %s %s %s > %s %d" % (number, time, kind, endpoint(src, sport),
                                                 endpoint(dst, dport), length))
    return packets


STUN_TYPES = {0x0001: "STUN_BIND_REQUEST", 0x0101: "STUN_BIND_RESPONSE",
              0x0111: "STUN_BIND_ERROR_RESPONSE", 0x0003: "TURN_ALLOCATE_REQUEST",
              0x0103: "TURN_ALLOCATE_RESPONSE", 0x0113: "TURN_ALLOCATE_ERROR_RESPONSE"}


def tshark_messages(path):
    """(transport, line) per SIP message and STUN message, as tshark sees them."""
    fields = ["frame.number", "frame.time_epoch", "ip.src", "ip.dst", "udp.srcport", "udp.dstport",
              "tcp.srcport", "tcp.dstport", "sip.Request-Line", "sip.Status-Line", "stun.cookie",
              "stun.id", "stun.type", "ipv6.src", "ipv6.dst"]
    messages = []
    for row in tshark_rows(path, ["-d", "tcp.port==6060,sip", "-E", "aggregator=\x01",
                                  "-E", "occurrence=a"],
                           "(ip || ipv6) && (sip || (stun && udp))", fields):
        (number, epoch, src, dst, usport, udport, tsport, tdport, requests, statuses, cookie,
         ident, stun_type, src6, dst6) = row
        if not src:
            src, dst = src6, dst6
        seconds, _, fraction = epoch.partition(".")
        prefix = "%s %s" % (number, "%s.%s" % (seconds, (fraction + "000000")[:6]))
        transport = "UDP" if usport else "TCP"
        ends = "%s > %s" % (endpoint(src, usport or tsport), endpoint(dst, udport or tdport))
        if stun_type:
            name = STUN_TYPES.get(int(stun_type, 16), stun_type)
            messages.append((transport, prefix, "STUN %s %s %s" % (ends, name,
                                                                   (cookie + ident).upper())))
            continue
        for start in [x for x in (requests + "\x01" + statuses).split("\x01") if x]:
            messages.append((transport, prefix, "SIP %s %s" % (ends, start)))
    return messages


def compare_messages(cli, path):
    ours = [line for line in subprocess.run([cli, "messages", path], check=True,
                                            capture_output=True, text=True).stdout.splitlines()
            if line.split(" ")[2] != "MEDIA"]
    theirs = tshark_messages(path)
    # Over TCP this program dates a message by its first segment and tshark by its last, so
    # only UDP lines are compared whole; every message is compared without number and time.
    body = lambda line: line.split(" ", 2)[2]
    ours_bodies = sorted(body(line) for line in ours)
    theirs_bodies = sorted(text for _, _, text in theirs)
    problems = []
    if ours_bodies != theirs_bodies:
        missing = sorted(set(theirs_bodies) - set(ours_bodies))[:3]
        extra = sorted(set(ours_bodies) - set(theirs_bodies))[:3]
        problems.append("%d messages here, %d by tshark; missing %s; extra %s" % (
            len(ours_bodies), len(theirs_bodies), missing, extra))
    udp_theirs = ["%s %s" % (prefix, text) for transport, prefix, text in theirs if transport == "UDP"]
    udp_keys = set(udp_theirs)
    udp_ours = [line for line in ours if line in udp_keys or body(line) in
                {text for transport, _, text in theirs if transport == "UDP"}]
    if udp_ours != udp_theirs:
        problems.append("UDP message order, numbers or times differ")
    return len(ours), problems


def tshark_streams(path, quality=None):
    """(packets, lost) per (source, destination, SSRC) from tshark's RTP stream statistics;
    `quality` gets each stream's printed quality figures."""
    command = ["tshark", "-n", "-r", path, "-d", "tcp.port==6060,sip", "-q", "-z", "rtp,streams"]
    return parse_tshark_streams(subprocess.run(command, check=True, capture_output=True,
                                               text=True).stdout, quality)


def parse_tshark_streams(output, quality=None):
    if isinstance(output, bytes):
        output = output.decode(errors="replace")
    counts = {}
    for line in output.splitlines():
        words = line.split()
        if len(words) < 9 or not words[6].startswith("0x"):
            continue
        key = (endpoint(words[2], words[3]), endpoint(words[4], words[5]), words[6].upper())
        # The payload name may be several words; the count follows it and precedes "Lost".
        at = words.index(next(w for w in words[8:] if w.isdigit()), 8)
        packets, lost = int(words[at]), int(words[at + 1])
        before = counts.get(key, (0, 0))
        counts[key] = (before[0] + packets, before[1] + lost)
        if quality is not None:
            # Lost with its share, mean and max delta, mean and max jitter, as printed.
            quality.setdefault(key, []).append(
                ("%s %s" % (words[at + 1], words[at + 2]), words[at + 4], words[at + 5],
                 words[at + 7], words[at + 8]))
    return counts


def our_streams(cli, path, quality=None):
    """(packets, dropped) per (source, destination, SSRC) from `messages` and `streams`: the
    streams of one RTP session's payload types (audio and telephone events) summed."""
    media = [line.split(" ") for line in subprocess.run(
        [cli, "messages", path], check=True, capture_output=True, text=True).stdout.splitlines()
        if line.split(" ")[2] == "MEDIA"]
    blocks = subprocess.run([cli, "streams", path], check=True, capture_output=True,
                            text=True).stdout.split("\n\n")
    blocks = [b for b in blocks if b.strip()]
    if len(blocks) != len(media):
        raise RuntimeError("%d MEDIA items but %d stream blocks" % (len(media), len(blocks)))
    counts = {}
    for words, block in zip(media, blocks):
        fields = dict(line.split(" : ", 1) for line in block.splitlines() if " : " in line)
        key = (fields["Source"], fields["Destination"], "0X" + words[-1][2:])
        before = counts.get(key, (0, 0))
        counts[key] = (before[0] + int(fields["Total Packets"]),
                       before[1] + int(fields["Dropped Packets"]))
        if quality is not None:
            quality.setdefault(key, set()).add(
                (fields["Lost Packets"],
                 fields["Mean Delta (ms)"], fields["Max Delta (ms)"], fields["Mean Jitter (ms)"],
                 fields["Max Jitter (ms)"]))
    return counts


def compare_extraction(cli, path, number, line):
    """`extract --stream N` must write the RTP payloads tshark shows for that stream."""
    words = line.split(" ")
    destination, port = words[5].rsplit(":", 1)
    destination = destination.strip("[]")
    address_field = "ipv6.dst" if ":" in destination else "ip.dst"
    ssrc = words[-1]
    payload_type = {"pcmu": 0, "pcma": 8}.get(words[6].split("/")[1].lower())
    if payload_type is None:
        return None
    tmp = os.path.join(os.environ.get("TMPDIR", "/tmp"), "varlowe-oracle-%d.raw" % os.getpid())
    subprocess.run([cli, "extract", "--stream", str(number), "-o", tmp, path], check=True)
    with open(tmp, "rb") as f:
        ours = f.read()
    os.remove(tmp)
    rows = tshark_rows(path, ["-d", "tcp.port==6060,sip"],
                       "%s==%s && udp.dstport==%s && rtp.ssrc==%s && rtp.p_type==%d" % (
                           address_field, destination, port, ssrc, payload_type), ["rtp.payload"])
    theirs = b"".join(bytes.fromhex(row[0].replace(":", "")) for row in rows if row and row[0])
    return ours == theirs


def compare_streams(cli, path):
    our_quality, their_quality = {}, {}
    ours = our_streams(cli, path, our_quality)
    theirs = tshark_streams(path, their_quality)
    problems = []
    # The session's figures: every payload type's stream shows the same ones, tshark's row.
    names = ("lost", "mean delta", "max delta", "mean jitter", "max jitter")
    for key, figures in sorted(our_quality.items()):
        rows = their_quality.get(key, [])
        if len(figures) != 1 or len(rows) != 1:
            problems.append("%s > %s %s: %d sets of quality figures here, %d rows by tshark" %
                            (key + (len(figures), len(rows))))
            continue
        for name, mine, their in zip(names, next(iter(figures)), rows[0]):
            if mine != their:
                problems.append("%s > %s %s: %s %s here, %s by tshark" % (key + (name, mine,
                                                                                their)))
    for key, (packets, dropped) in sorted(ours.items()):
        their_packets, their_lost = theirs.get(key, (None, None))
        if their_packets != packets:
            problems.append("%s > %s %s: %d packets here, %s by tshark" %
                            (key + (packets, their_packets)))
        # tshark counts expected minus received, so duplicates make it negative.
        elif dropped != max(their_lost, 0):
            problems.append("%s > %s %s: %d dropped here, %d lost by tshark" %
                            (key + (dropped, their_lost)))
    media = [line for line in subprocess.run([cli, "messages", path], check=True,
                                             capture_output=True, text=True).stdout.splitlines()
             if line.split(" ")[2] == "MEDIA"]
    for number, line in enumerate(media[:3], start=1):
        if compare_extraction(cli, path, number, line) is False:
            problems.append("extracted payload of stream %d differs from tshark's" % number)
    return len(ours), len(theirs), problems


def compare_rtcp(cli, path):
    """Round trips and VoIP metrics of the RTCP each stream's RTCP port received: tshark
    prints the round trip in whole milliseconds from truncated parts, so it may be up to 2 ms
    off; the metrics are its raw values."""
    blocks = [b for b in subprocess.run([cli, "streams", path], check=True,
                                        capture_output=True, text=True).stdout.split("\n\n")
              if "Round Trip" in b]
    problems = []
    checked = 0
    for block in blocks:
        fields = dict(line.split(" : ", 1) for line in block.splitlines() if " : " in line)
        address, port = fields["Destination"].rsplit(":", 1)
        address = address.strip("[]")
        where = "%s==%s && udp.dstport==%d && rtcp" % ("ipv6.dst" if ":" in address else "ip.dst",
                                                       address, int(port) + 1)
        rows = tshark_rows(path, ["-o", "rtcp.show_roundtrip_calculation:TRUE",
                                  "-o", "rtcp.roundtrip_min_threshhold:0"], where,
                           ["rtcp.roundtrip-delay", "rtcp.pt", "rtcp.ssrc.fraction",
                            "rtcp.ssrc.discarded", "rtcp.xr.voipmetrics.burstdensity",
                            "rtcp.xr.voipmetrics.gapdensity", "rtcp.xr.voipmetrics.rtdelay",
                            "rtcp.xr.voipmetrics.esdelay", "rtcp.xr.voipmetrics.rfactor",
                            "rtcp.xr.voipmetrics.moslq", "rtcp.xr.voipmetrics.moscq"])
        trips = [float(r[0]) for r in rows if r and r[0]]
        name = fields["Destination"]
        if "Mean Round Trip (ms)" in fields:
            mean = float(fields["Mean Round Trip (ms)"])
            if not trips or abs(mean - sum(trips) / len(trips)) > 2:
                problems.append("%s: mean round trip %s here, %s by tshark" % (name, mean, trips))
            checked += 1
        xr = [r for r in rows if len(r) > 10 and "207" in r[1].split(",")]
        if "XR MOS-LQ" in fields:
            if not xr:
                problems.append("%s: VoIP metrics here, none by tshark" % name)
                continue
            last = xr[-1]
            def percent(raw):
                return "%.1f%%" % (int(raw) / 2.56)
            def available(raw, decimals):
                # tshark prints an unavailable MOS raw (127), an available one in units
                return "-" if raw == "127" else "%.*f" % (decimals, float(raw))
            expected = {
                "XR Loss Rate": percent(last[2].split(",")[-1]),
                "XR Discard Rate": percent(last[3]),
                "XR Burst/Gap Density": percent(last[4]) + " / " + percent(last[5]),
                "XR Round Trip Delay (ms)": last[6],
                "XR End System Delay (ms)": last[7],
                "XR R Factor": available(last[8], 0),
                "XR MOS-LQ": available(last[9], 1),
                "XR MOS-CQ": available(last[10], 1),
            }
            for key, value in expected.items():
                if fields.get(key) != value:
                    problems.append("%s: %s %s here, %s by tshark" % (name, key, fields.get(key),
                                                                    value))
            checked += 1
    return checked, problems


def compare_dtmf(cli, path):
    """`dtmf` lines from telephone events: one per event (its packets share their RTP
    timestamp), at its first packet, its longest duration, as tshark decodes the events."""
    ours = [line for line in subprocess.run([cli, "dtmf", path], check=True, capture_output=True,
                                            text=True).stdout.splitlines()
            if not line.endswith(" INFO")]
    rows = tshark_rows(path, [], "rtpevent && !icmp", [
        "frame.time_epoch", "ip.src", "ipv6.src", "udp.srcport", "ip.dst", "ipv6.dst",
        "udp.dstport", "rtp.ssrc", "rtp.timestamp", "rtpevent.event_id", "rtpevent.duration"])
    keys = "0123456789*#ABCD!"
    events = {}
    order = []
    for row in rows:
        if len(row) < 11 or not row[9]:
            continue
        source = endpoint(row[1] or row[2], row[3])
        destination = endpoint(row[4] or row[5], row[6])
        flow = (source, destination, row[7])
        event = int(row[9])
        last = events.get(flow)
        if last is None or last[-1]["timestamp"] != row[8] or last[-1]["event"] != event:
            if event >= len(keys):
                continue
            digit = {"time": row[0], "timestamp": row[8], "event": event, "duration": 0,
                     "flow": flow}
            events.setdefault(flow, []).append(digit)
            order.append(digit)
        events[flow][-1]["duration"] = max(events[flow][-1]["duration"], int(row[10]))
    # Events towards a destination that never announced telephone-event (the answer left it
    # out, the caller sent them anyway) are no stream here, as in the stream listing; tshark
    # decodes them by the offer's payload types.
    event_flows = set()
    for block in subprocess.run([cli, "streams", path], check=True, capture_output=True,
                                text=True).stdout.split("\n\n"):
        fields = dict(line.split(" : ", 1) for line in block.splitlines() if " : " in line)
        if "telephone-event" in block.split("\n", 1)[0].lower() and "Source" in fields:
            event_flows.add((fields["Source"], fields["Destination"]))
    theirs = []
    for d in order:
        seconds, fraction = d["time"].split(".")
        time = "%s.%s" % (seconds, (fraction + "000000")[:6])  # microseconds, truncated
        if d["flow"][:2] not in event_flows:
            continue
        theirs.append("%s %s %d %s > %s" % (time, keys[d["event"]],
                                            round(d["duration"] * 1000 / 8000),
                                            d["flow"][0], d["flow"][1]))
    theirs.sort()
    return len(ours), (None if sorted(ours) == theirs else (ours, theirs))


def main():
    cli = sys.argv[1]
    folders = sys.argv[2:]
    if shutil.which("tshark") is None:
        print("tshark not installed: skipped")
        return SKIP
    captures = sorted(p for folder in folders for p in glob.glob(os.path.join(folder, "*.pcap")) + glob.glob(os.path.join(folder, "*.pcapng")))
    if not captures:
        print("no captures: skipped")
        return SKIP
    failures = 0
    for path in captures:
        ours = subprocess.run([cli, "packets", path], check=True, capture_output=True,
                              text=True).stdout.splitlines()
        theirs = tshark_packets(path)
        if ours == theirs:
            print("%s: %d packets agree" % (os.path.basename(path), len(ours)))
        else:
            failures += 1
            print("%s: %d packets here, %d by tshark" % (path, len(ours), len(theirs)))
            for a, b in zip(ours, theirs):
                if a != b:
                    print("  varlowe: %s\n  tshark:  %s" % (a, b))
                    break
        count, problems = compare_messages(cli, path)
        if problems:
            failures += 1
            print("%s: %s" % (path, "; ".join(problems)))
        else:
            print("%s: %d messages agree" % (os.path.basename(path), count))
        ours_count, theirs_count, problems = compare_streams(cli, path)
        if problems:
            failures += 1
            print("%s: %s" % (path, "; ".join(problems)))
        else:
            print("%s: %d RTP streams agree (tshark lists %d)" % (os.path.basename(path),
                                                                  ours_count, theirs_count))
        count, difference = compare_dtmf(cli, path)
        if difference:
            failures += 1
            print("%s: digits differ\n  varlowe: %s\n  tshark:  %s" % ((path,) + difference))
        elif count:
            print("%s: %d DTMF digits agree" % (os.path.basename(path), count))
        checked, problems = compare_rtcp(cli, path)
        if problems:
            failures += 1
            print("%s: %s" % (path, "; ".join(problems)))
        elif checked:
            print("%s: %d RTCP round-trip and VoIP figures agree" % (os.path.basename(path),
                                                                     checked))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
