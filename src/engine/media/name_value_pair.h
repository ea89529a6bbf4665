#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace varlowe {

// An ordered list of owned name/value texts: the decoded form of a STUN/TURN message. The
// same name may occur more than once; lookup returns the first.
class NameValuePair {
  public:
    virtual ~NameValuePair() = default;

    void add(std::string name, std::string value) {
        pairs_.emplace_back(std::move(name), std::move(value));
    }
    size_t size() const { return pairs_.size(); }
    const std::string& name(size_t index) const { return pairs_[index].first; }
    const std::string& value(size_t index) const { return pairs_[index].second; }
    // Exact, case-sensitive comparison; nullptr when no pair has that name.
    const std::string* find(const std::string& name) const {
        for (const auto& pair : pairs_) {
            if (pair.first == name) {
                return &pair.second;
            }
        }
        return nullptr;
    }
    const std::vector<std::pair<std::string, std::string>>& pairs() const { return pairs_; }

  private:
    std::vector<std::pair<std::string, std::string>> pairs_;
};

}  // namespace varlowe
