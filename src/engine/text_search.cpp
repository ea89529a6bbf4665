#include "text_search.h"

namespace varlowe {

int64_t leadingNumber(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
        negative = text[i] == '-';
        ++i;
    }
    int64_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        if (value < 1000000000000ll) {
            value = value * 10 + (text[i] - '0');
        }
    }
    return negative ? -value : value;
}

std::u32string capturedCharacters(std::string_view bytes) {
    std::u32string out;
    out.reserve(bytes.size());
    const auto* at = reinterpret_cast<const uint8_t*>(bytes.data());
    const uint8_t* const end = at + bytes.size();
    auto continuation = [&](const uint8_t* p) { return p < end && (*p & 0xc0) == 0x80; };
    while (at < end) {
        const uint8_t lead = *at;
        char32_t code = lead;
        size_t length = 1;
        if (lead >= 0xc2 && lead <= 0xdf && continuation(at + 1)) {
            code = static_cast<char32_t>(((lead & 0x1f) << 6) | (at[1] & 0x3f));
            length = 2;
        } else if (lead >= 0xe0 && lead <= 0xef && continuation(at + 1) && continuation(at + 2)) {
            code = static_cast<char32_t>(((lead & 0x0f) << 12) | ((at[1] & 0x3f) << 6) |
                                         (at[2] & 0x3f));
            // Not overlong, not a surrogate.
            if (code >= 0x800 && (code < 0xd800 || code > 0xdfff)) {
                length = 3;
            } else {
                code = lead;
            }
        } else if (lead >= 0xf0 && lead <= 0xf4 && continuation(at + 1) && continuation(at + 2) &&
                   continuation(at + 3)) {
            code = static_cast<char32_t>(((lead & 0x07) << 18) | ((at[1] & 0x3f) << 12) |
                                         ((at[2] & 0x3f) << 6) | (at[3] & 0x3f));
            if (code >= 0x10000 && code <= 0x10ffff) {
                length = 4;
            } else {
                code = lead;
            }
        }
        out.push_back(code);
        at += length;
    }
    return out;
}

}  // namespace varlowe
