#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace varlowe {

// An ordered list of (name, owned object) pairs: lookup by exact name, first match wins,
// removal shifts the later pairs forward and hands the object back to the caller.
template <typename T>
class NameVoidPtrPair {
  public:
    // Index of the first pair of that name, or -1.
    int indexOf(const std::string& name) const {
        for (size_t i = 0; i < pairs_.size(); ++i) {
            if (pairs_[i].first == name) {
                return static_cast<int>(i);
            }
        }
        return -1;
    }
    T* find(const std::string& name) const {
        int index = indexOf(name);
        return index < 0 ? nullptr : pairs_[static_cast<size_t>(index)].second.get();
    }
    T* append(const std::string& name, std::unique_ptr<T> object) {
        pairs_.emplace_back(name, std::move(object));
        return pairs_.back().second.get();
    }
    std::unique_ptr<T> remove(const std::string& name) {
        int index = indexOf(name);
        if (index < 0) {
            return nullptr;
        }
        std::unique_ptr<T> object = std::move(pairs_[static_cast<size_t>(index)].second);
        pairs_.erase(pairs_.begin() + index);
        return object;
    }
    size_t size() const { return pairs_.size(); }
    bool empty() const { return pairs_.empty(); }
    const std::string& name(size_t index) const { return pairs_[index].first; }
    T& at(size_t index) const { return *pairs_[index].second; }

  private:
    std::vector<std::pair<std::string, std::unique_ptr<T>>> pairs_;
};

}  // namespace varlowe
