#include "stream_graph_cache.h"

namespace varlowe {

std::shared_ptr<const RtpGraphData> StreamGraphCache::graphs(const RtpStreamRegistry* registry,
                                                             const RtpStream* stream) {
    if (registry == nullptr || stream == nullptr) {
        return nullptr;
    }
    for (auto entry = entries_.begin(); entry != entries_.end(); ++entry) {
        if (entry->first == stream) {
            entries_.splice(entries_.begin(), entries_, entry);
            return entries_.front().second;
        }
    }
    ++computations_;
    auto data = std::make_shared<RtpGraphData>();
    if (!computeGraphs(registry, stream, data.get())) {
        return nullptr;
    }
    entries_.emplace_front(stream, std::move(data));
    while (entries_.size() > capacity_) {
        entries_.pop_back();
    }
    return entries_.front().second;
}

}  // namespace varlowe
