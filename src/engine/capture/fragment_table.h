#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <unordered_map>

#include "frame_info.h"

namespace varlowe {

// Holds IPv4 and IPv6 fragments of UDP datagrams until a datagram is complete. Fragments of one
// datagram (same identification, source and destination) are kept in ascending offset order;
// a fragment repeating an offset already held is discarded. Datagrams that never complete
// stay until the table is destroyed.
class FragmentTable {
  public:
    static constexpr size_t kBucketCount = 64;

    // Takes a copy of the fragment. Returns true when it completed its datagram: `frame` then
    // carries the whole datagram (payload, overhead and ports of all fragments; time and
    // number of the completing one; file offset of the fragment that comes first in the file)
    // and the datagram's fragments are released.
    bool add(FrameInfo& frame);

    size_t heldFragments() const { return heldFragments_; }
    void clear();

  private:
    struct DatagramKey {
        uint32_t source;
        uint32_t destination;
        uint32_t identification;
        uint8_t family;
        bool operator==(const DatagramKey& other) const {
            return source == other.source && destination == other.destination &&
                   identification == other.identification && family == other.family;
        }
    };
    struct DatagramKeyHash {
        size_t operator()(const DatagramKey& key) const {
            uint64_t mixed =
                (uint64_t{key.source} << 32 | key.destination) ^
                ((uint64_t{key.identification} << 8 | key.family) * 0x9e3779b97f4a7c15ull);
            return static_cast<size_t>(mixed ^ (mixed >> 29));
        }
    };
    struct Datagram {
        std::map<uint16_t, FrameInfo> fragments;  // by fragment offset
        bool hasLastFragment = false;
    };
    using DatagramMap = std::unordered_map<DatagramKey, Datagram, DatagramKeyHash>;

    // Buckets by the low six bits of the identification, so that one crowded identification
    // cannot slow down the others.
    std::array<DatagramMap, kBucketCount> buckets_;
    size_t heldFragments_ = 0;
};

}  // namespace varlowe
