#pragma once

#include <cstddef>
#include <cstring>
#include <memory>
#include <string_view>
#include <vector>

namespace varlowe {

// Texts copied into chunks of 64 KB that never move: a view of a kept text stays valid for
// the arena's life, however many more are kept. A text longer than a chunk gets its own.
class TextArena {
  public:
    static constexpr size_t kChunk = 65536;

    std::string_view keep(std::string_view text) {
        if (text.empty()) {
            return std::string_view();
        }
        if (text.size() > kChunk) {
            large_.push_back(std::make_unique<char[]>(text.size()));
            std::memcpy(large_.back().get(), text.data(), text.size());
            return std::string_view(large_.back().get(), text.size());
        }
        if (chunks_.empty() || kChunk - used_ < text.size()) {
            chunks_.push_back(std::make_unique<char[]>(kChunk));
            used_ = 0;
        }
        char* at = chunks_.back().get() + used_;
        std::memcpy(at, text.data(), text.size());
        used_ += text.size();
        return std::string_view(at, text.size());
    }

  private:
    std::vector<std::unique_ptr<char[]>> chunks_;
    std::vector<std::unique_ptr<char[]>> large_;
    size_t used_ = 0;  // bytes taken of the last chunk
};

}  // namespace varlowe
