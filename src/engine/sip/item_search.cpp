#include "item_search.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace varlowe {

namespace {

const std::array<unsigned char, 256>& foldTable() {
    static const std::array<unsigned char, 256> table = [] {
        std::array<unsigned char, 256> t{};
        for (int c = 0; c < 256; ++c) {
            t[static_cast<size_t>(c)] =
                static_cast<unsigned char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        }
        return t;
    }();
    return table;
}

}  // namespace

bool textHolds(std::string_view text, std::string_view needle, bool matchCase) {
    if (needle.empty() || needle.size() > text.size()) {
        return false;
    }
    if (matchCase) {
        return text.find(needle) != std::string_view::npos;
    }
    const auto& fold = foldTable();
    const auto* data = reinterpret_cast<const unsigned char*>(text.data());
    const auto* want = reinterpret_cast<const unsigned char*>(needle.data());
    const unsigned char first = fold[want[0]];
    const unsigned char other =
        first >= 'a' && first <= 'z' ? static_cast<unsigned char>(first - 'a' + 'A') : first;
    const size_t last = text.size() - needle.size();
    // The next place each case of the first letter stands, each found again only once passed:
    // memchr runs far faster than a byte loop over the bytes that cannot start a match.
    auto nextOf = [&](unsigned char c, size_t from) {
        const void* hit = std::memchr(data + from, c, last - from + 1);
        return hit != nullptr ? static_cast<size_t>(static_cast<const unsigned char*>(hit) - data)
                              : text.size();
    };
    size_t lower = nextOf(first, 0);
    size_t upper = other != first ? nextOf(other, 0) : text.size();
    while (true) {
        const size_t at = std::min(lower, upper);
        if (at > last) {
            return false;
        }
        size_t i = 1;
        while (i < needle.size() && fold[data[at + i]] == fold[want[i]]) {
            ++i;
        }
        if (i == needle.size()) {
            return true;
        }
        if (at == lower) {
            lower = at < last ? nextOf(first, at + 1) : text.size();
        } else {
            upper = at < last ? nextOf(other, at + 1) : text.size();
        }
    }
}

std::vector<ItemIndex> findItems(const AnalysisModel& model, std::string_view needle,
                                 bool matchCase) {
    std::vector<ItemIndex> found;
    if (needle.empty()) {
        return found;
    }
    for (size_t i = 0; i < model.itemCount(); ++i) {
        const AnalysisItem& item = model.item(ItemIndex(i));
        bool holds = false;
        if (item.kind == ItemKind::Sip) {
            holds = textHolds(item.payloadText(), needle, matchCase);
        } else if (std::optional<std::string> text = itemText(item)) {
            holds = textHolds(*text, needle, matchCase);
        }
        if (holds) {
            found.push_back(item.index);
        }
    }
    return found;
}

}  // namespace varlowe
