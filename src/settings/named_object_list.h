#pragma once

#include <memory>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace varlowe {

// An ordered list of (name, owned object) pairs: lookup by exact name, first match wins,
// removal shifts the later pairs forward and hands the object back to the caller. Names are
// indexed, so that a list of many thousand entries (column labels) is built in linear time.
template <typename T>
class NamedObjectList {
  public:
    // Index of the first pair of that name, or -1.
    int indexOf(const std::string& name) const {
        auto at = first_.find(name);
        return at == first_.end() ? -1 : static_cast<int>(at->second);
    }
    T* find(const std::string& name) const {
        int index = indexOf(name);
        return index < 0 ? nullptr : pairs_[static_cast<size_t>(index)].second.get();
    }
    T* append(const std::string& name, std::unique_ptr<T> object) {
        first_.emplace(name, pairs_.size());  // an earlier pair of the name stays first
        pairs_.emplace_back(name, std::move(object));
        return pairs_.back().second.get();
    }
    std::unique_ptr<T> remove(const std::string& name) {
        int index = indexOf(name);
        if (index < 0) {
            return nullptr;
        }
        const auto removed = static_cast<size_t>(index);
        std::unique_ptr<T> object = std::move(pairs_[removed].second);
        pairs_.erase(pairs_.begin() + index);
        first_.erase(name);
        // The pairs behind moved one place forward; a later pair of the same name is first now.
        for (size_t i = removed; i < pairs_.size(); ++i) {
            auto at = first_.find(pairs_[i].first);
            if (at == first_.end()) {
                first_.emplace(pairs_[i].first, i);
            } else if (at->second == i + 1) {
                at->second = i;
            }
        }
        return object;
    }
    void clear() {
        pairs_.clear();
        first_.clear();
    }
    size_t size() const { return pairs_.size(); }
    bool empty() const { return pairs_.empty(); }
    const std::string& name(size_t index) const { return pairs_[index].first; }
    T& at(size_t index) const { return *pairs_[index].second; }

  private:
    std::vector<std::pair<std::string, std::unique_ptr<T>>> pairs_;
    std::unordered_map<std::string, size_t> first_;
};

}  // namespace varlowe
