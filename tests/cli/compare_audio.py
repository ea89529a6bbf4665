#!/usr/bin/env python3
"""compare_audio.py CLI CAPTURE...: `varlowe-cli audio` against sox and tshark.

For every G.711 stream of the captures the WAV must equal, sample for sample, what sox makes
of tshark's payloads of that stream (`-t ul` or `-t al`) put in sequence order, each packet
at the place its RTP timestamp gives and zeros where packets are missing; the first two
streams written as one stereo file must hold each one in its channel, shifted by the
difference of their first packets' capture times. Exits 77 when sox or tshark is missing."""
import os
import shutil
import subprocess
import sys
import tempfile
import wave


def run(command, **kw):
    return subprocess.run(command, check=True, capture_output=True, **kw)


def expected_samples(path, line, work):
    words = line.split(" ")
    destination, port = words[5].rsplit(":", 1)
    encoding = words[6].split("/")[1].lower()
    kind = {"pcmu": "ul", "pcma": "al"}.get(encoding)
    if kind is None:
        return None
    field = "ipv6.dst" if ":" in destination.strip("[]") else "ip.dst"
    rows = run(["tshark", "-n", "-r", path, "-d", "tcp.port==6060,sip", "-Y",
                "%s==%s && udp.dstport==%s && rtp.ssrc==%s && rtp.p_type==%d" % (
                    field, destination.strip("[]"), port, words[-1], 0 if kind == "ul" else 8),
                "-T", "fields", "-e", "rtp.seq", "-e", "rtp.timestamp", "-e", "rtp.payload"],
               text=True).stdout.splitlines()
    packets, seen, extended, last = [], set(), 0, None
    for row in rows:
        seq, ts, payload = row.split("\t")
        seq = int(seq)
        if last is not None:
            extended += (seq - last + 32768) % 65536 - 32768
        last = seq
        if extended in seen:
            continue
        seen.add(extended)
        packets.append((extended, int(ts), bytes.fromhex(payload.replace(":", ""))))
    packets.sort()
    samples = []
    first_ts = packets[0][1]
    offset = 0
    previous = first_ts
    for _, ts, payload in packets:
        offset += (ts - previous + 2**31) % 2**32 - 2**31
        previous = ts
        raw = os.path.join(work, "p.raw")
        open(raw, "wb").write(payload)
        decoded = run(["sox", "-t", kind, "-r", "8000", "-c", "1", raw, "-t", "raw", "-e",
                       "signed", "-b", "16", "-L", "-"]).stdout
        values = [int.from_bytes(decoded[i:i + 2], "little", signed=True)
                  for i in range(0, len(decoded), 2)]
        if len(samples) < offset + len(values):
            samples.extend([0] * (offset + len(values) - len(samples)))
        samples[offset:offset + len(values)] = values
    return samples


def wav_samples(path):
    with wave.open(path) as w:
        frames = w.readframes(w.getnframes())
        channels = w.getnchannels()
    values = [int.from_bytes(frames[i:i + 2], "little", signed=True)
              for i in range(0, len(frames), 2)]
    return [values[c::channels] for c in range(channels)]


def main():
    if not shutil.which("sox") or not shutil.which("tshark"):
        print("sox or tshark not installed: skipped")
        return 77
    cli, captures = sys.argv[1], [p for p in sys.argv[2:] if os.path.exists(p)]
    failures = checked = 0
    with tempfile.TemporaryDirectory() as work:
        for path in captures:
            media = [l for l in run([cli, "messages", path], text=True).stdout.splitlines()
                     if l.split(" ")[2] == "MEDIA"]
            expected = {}
            for number, line in enumerate(media, start=1):
                want = expected_samples(path, line, work)
                if want is None:
                    continue
                out = os.path.join(work, "%d.wav" % number)
                run([cli, "audio", "--stream", str(number), "-o", out, path])
                got = wav_samples(out)[0]
                checked += 1
                expected[number] = want
                if got != want:
                    failures += 1
                    at = next((i for i, (a, b) in enumerate(zip(got, want)) if a != b),
                              min(len(got), len(want)))
                    print("%s stream %d: %d samples here, %d expected; first difference at %d" %
                          (path, number, len(got), len(want), at))
            if len(expected) >= 2:
                a, b = sorted(expected)[:2]
                out = os.path.join(work, "stereo.wav")
                run([cli, "audio", "--stream", str(a), "--stream", str(b), "-o", out, path])
                left, right = wav_samples(out)
                starts = [float(media[n - 1].split(" ")[1]) for n in (a, b)]
                shift = round((max(starts) - min(starts)) * 8000)
                la, lb = (0, shift) if starts[0] <= starts[1] else (shift, 0)
                if (left[la:la + len(expected[a])] != expected[a] or
                        right[lb:lb + len(expected[b])] != expected[b] or
                        any(left[:la]) or any(right[:lb])):
                    failures += 1
                    print("%s: the stereo file's channels are not streams %d and %d" % (path, a, b))
    print("%d G.711 streams compared with sox, %d differ" % (checked, failures))
    return 1 if failures or not checked else 0


if __name__ == "__main__":
    sys.exit(main())
