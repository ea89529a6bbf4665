#!/usr/bin/env python3
"""Compares `varlowe-cli packets` with tshark's view of the same captures.

Every UDP datagram (a reassembled one counts once, on the fragment that completed it) and every
TCP segment with payload, over untagged Ethernet II and IPv4, must appear with the same number,
time, addresses, ports and payload length. Exits 77 (skipped) when tshark is not installed.
"""
import glob
import os
import shutil
import subprocess
import sys

SKIP = 77


def tshark_packets(path):
    fields = ["frame.number", "frame.time_epoch", "ip.src", "ip.dst", "udp.srcport", "udp.dstport",
              "tcp.srcport", "tcp.dstport", "udp.length", "tcp.len", "frame.len", "ip.hdr_len",
              "ip.len", "frame.cap_len", "ip.flags.mf", "ip.frag_offset"]
    command = ["tshark", "-n", "-r", path, "-o", "tcp.desegment_tcp_streams:FALSE",
               "-Y", "eth.type == 0x0800 && ((udp && !icmp) || tcp.len > 0)",
               "-T", "fields", "-E", "separator=|", "-E", "occurrence=l"]
    for field in fields:
        command += ["-e", field]
    output = subprocess.run(command, check=True, capture_output=True, text=True).stdout
    packets = []
    for line in output.splitlines():
        (number, epoch, src, dst, usport, udport, tsport, tdport, ulen, tlen, flen, hlen,
         iplen, caplen, mf, fragoffset) = line.split("|")
        seconds, _, fraction = epoch.partition(".")
        time = "%s.%s" % (seconds, (fraction + "000000")[:6])
        if usport:
            kind, sport, dport = "UDP", usport, udport
            if mf in ("0", "False") and fragoffset == "0":
                # Bytes after the IP packet (Ethernet padding, trailers) count as UDP payload.
                length = int(caplen) - 14 - int(hlen) - 8
            else:
                length = int(ulen) - 8
        else:
            kind, sport, dport, length = "TCP", tsport, tdport, int(tlen)
        packets.append("%s %s %s %s:%s > %s:%s %d" % (number, time, kind, src, sport, dst, dport,
                                                       length))
    return packets


def main():
    cli = sys.argv[1]
    folders = sys.argv[2:]
    if shutil.which("tshark") is None:
        print("tshark not installed: skipped")
        return SKIP
    captures = sorted(p for folder in folders for p in glob.glob(os.path.join(folder, "*.pcap")))
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
            continue
        failures += 1
        print("%s: %d packets here, %d by tshark" % (path, len(ours), len(theirs)))
        for a, b in zip(ours, theirs):
            if a != b:
                print("  varlowe: %s\n  tshark:  %s" % (a, b))
                break
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
