#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace varlowe {

// Position of the first occurrence of `needle` in [data, data + length), or npos.
inline size_t findBytes(const uint8_t* data, size_t length, std::string_view needle,
                        size_t from = 0) {
    if (needle.empty() || from >= length || length - from < needle.size()) {
        return std::string_view::npos;
    }
    std::string_view haystack(reinterpret_cast<const char*>(data) + from, length - from);
    size_t hit = haystack.find(needle);
    return hit == std::string_view::npos ? hit : hit + from;
}

// Length of the text that starts at data: up to the first zero byte or `length`.
inline size_t textLength(const uint8_t* data, size_t length) {
    const void* zero = std::memchr(data, 0, length);
    return zero == nullptr ? length : static_cast<size_t>(static_cast<const uint8_t*>(zero) - data);
}

// Position of the first CR or LF at or after `from`, or npos. Two vector scans: the
// find_first_of of a string view calls memchr over its set once per byte.
inline size_t findLineEnd(std::string_view text, size_t from = 0) {
    if (from >= text.size()) {
        return std::string_view::npos;
    }
    const char* start = text.data() + from;
    const size_t rest = text.size() - from;
    const void* newline = std::memchr(start, '\n', rest);
    const size_t before =
        newline != nullptr ? static_cast<size_t>(static_cast<const char*>(newline) - start) : rest;
    if (const void* carriageReturn = std::memchr(start, '\r', before)) {
        return from + static_cast<size_t>(static_cast<const char*>(carriageReturn) - start);
    }
    return newline != nullptr ? from + before : std::string_view::npos;
}

inline bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z')
            x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z')
            y = static_cast<char>(y - 'A' + 'a');
        if (x != y) {
            return false;
        }
    }
    return true;
}

// Decimal conversion as C's atoi does it (leading white space, a sign, the leading digits),
// saturating instead of overflowing.
int64_t leadingNumber(std::string_view text);

// Captured bytes as characters for a window, losing none: each well-formed UTF-8 sequence is
// the character it encodes, every other byte the Latin-1 character of its value (the usual
// encoding of a display name that is not UTF-8). Valid UTF-8 reads unchanged.
std::u32string capturedCharacters(std::string_view bytes);

}  // namespace varlowe
