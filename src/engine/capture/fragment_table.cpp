#include "fragment_table.h"

#include <algorithm>
#include <cstring>

namespace varlowe {

bool FragmentTable::add(FrameInfo& frame) {
    DatagramMap& bucket = buckets_[frame.ipIdentification & (kBucketCount - 1)];
    DatagramKey key{frame.sourceAddress, frame.destinationAddress, frame.ipIdentification,
                    frame.family};
    Datagram& datagram = bucket[key];
    if (!datagram.fragments.emplace(frame.fragmentOffset, frame).second) {
        return false;  // repeated offset: the copy already held wins
    }
    ++heldFragments_;
    if (frame.moreFragments == 0) {
        datagram.hasLastFragment = true;
    }
    if (!datagram.hasLastFragment) {
        return false;
    }

    // Complete when the offsets run from 0 without gap up to a fragment without the
    // more-fragments flag. Offsets follow the 16-bit arithmetic of the IP header.
    uint16_t expected = 0;
    auto end = datagram.fragments.end();
    auto last = end;
    for (auto it = datagram.fragments.begin(); it != end; ++it) {
        if (it->first != expected) {
            return false;
        }
        if (it->second.moreFragments == 0) {
            last = it;
            break;
        }
        expected = static_cast<uint16_t>(expected + it->second.ipPayloadLength);
    }
    if (last == end) {
        return false;
    }
    ++last;

    uint64_t total = 0;
    uint32_t overhead = 0;
    uint64_t firstInFile = frame.fileOffset;
    for (auto it = datagram.fragments.begin(); it != last; ++it) {
        total += it->second.payloadLength;
        overhead += it->second.headerOverhead;
        firstInFile = std::min(firstInFile, it->second.fileOffset);
    }
    // Reading again from the earliest fragment in the file meets every fragment, so the
    // datagram is whole again; the number and time stay those of the completing fragment.
    frame.fileOffset = firstInFile;
    const FrameInfo& first = datagram.fragments.begin()->second;
    frame.sourcePort = first.sourcePort;
    frame.destinationPort = first.destinationPort;
    frame.headerOverhead = overhead;
    frame.fragmentOffset = 0;
    frame.moreFragments = 0;
    uint8_t* out = frame.preparePayload(static_cast<uint32_t>(total));
    for (auto it = datagram.fragments.begin(); it != last; ++it) {
        if (it->second.payloadLength > 0) {
            std::memcpy(out, it->second.payload.data(), it->second.payloadLength);
            out += it->second.payloadLength;
        }
    }
    heldFragments_ -= datagram.fragments.size();
    bucket.erase(key);
    return true;
}

void FragmentTable::clear() {
    for (DatagramMap& bucket : buckets_) {
        bucket.clear();
    }
    heldFragments_ = 0;
}

}  // namespace varlowe
