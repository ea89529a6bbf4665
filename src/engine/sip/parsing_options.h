#pragma once

namespace varlowe {

// The parsing switches of one analysis pass, with the defaults the settings register.
struct ParsingOptions {
    bool includeUdp = true;
    bool includeTcp = true;
    bool includeSip = true;
    bool includeRtp = true;
    bool includeRtcp = true;
    bool includeSturn = true;
    bool includeEncapsulated = false;
    bool includeHep = true;  // UDP port 9060 read as the HEP packets probes send there
    // Also measure the flow an announced address and port send from (symmetric RTP) when no
    // SDP announced its destination.
    bool measureFromAnnounced = true;
};

}  // namespace varlowe
