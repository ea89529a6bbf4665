#pragma once

#include <cstddef>
#include <list>
#include <memory>
#include <utility>

#include "engine/media/rtp_statistics.h"

namespace varlowe {

class RtpStreamRegistry;
struct RtpStream;

// The graph series of the streams shown last. Computing them re-reads the capture from the
// stream's first packet to its last, which takes a while on a big file; going back to one
// of the last few streams is then instant.
class StreamGraphCache {
  public:
    explicit StreamGraphCache(size_t capacity = 4) : capacity_(capacity) {}

    // The stream's series, computed on first use; nullptr when the capture cannot be read.
    std::shared_ptr<const RtpGraphData> graphs(const RtpStreamRegistry* registry,
                                               const RtpStream* stream);
    bool contains(const RtpStream* stream) const {
        for (const auto& entry : entries_) {
            if (entry.first == stream) {
                return true;
            }
        }
        return false;
    }
    void clear() { entries_.clear(); }
    size_t size() const { return entries_.size(); }
    // How many computations were run (for tests and benchmarks).
    size_t computations() const { return computations_; }

  private:
    size_t capacity_;
    // Most recently used first.
    std::list<std::pair<const RtpStream*, std::shared_ptr<const RtpGraphData>>> entries_;
    size_t computations_ = 0;
};

}  // namespace varlowe
