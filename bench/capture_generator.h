#pragma once

#include <cstdint>
#include <string>

namespace varlowe::bench {

struct GeneratorOptions {
    uint64_t targetBytes = 500ull * 1000 * 1000;
    int concurrentCalls = 420;
    double tcpShare = 0.1;       // calls whose SIP runs over TCP
    double lossRate = 0.005;     // RTP packets never sent
    double reorderRate = 0.002;  // RTP packets swapped with their successor
    uint64_t seed = 1;
    // Signalling only: calls of a few seconds without RTP or RTCP, for SIP-heavy captures.
    bool media = true;
    // Stop once this many calls have been started and finished (0: only the size limits).
    uint64_t maxCalls = 0;
    // Every address an IPv6 one (fd00::, the IPv4 address in its low 32 bits), in the
    // packets, SIP and SDP alike.
    bool ipv6 = false;
    // Calls of every outcome by their number: of each ten the 3rd busy (486), the 6th
    // rejected (403), the 9th cancelled (CANCEL, 200, 487), the rest answered; the failed
    // ones without media. Off: every call answered, seven messages each.
    bool outcomes = false;
};

struct GeneratorResult {
    uint64_t bytes = 0;
    uint64_t packets = 0;
    uint64_t calls = 0;
};

// Writes a synthetic capture of concurrent SIP calls (INVITE with SDP offer, provisional and
// final responses with SDP answer, ACK, G.711 RTP both ways at 50 packets/s, RTCP sender
// reports every five seconds, BYE), deterministic for a given seed. Throws on write errors.
GeneratorResult generateCapture(const std::string& path, const GeneratorOptions& options);

}  // namespace varlowe::bench
