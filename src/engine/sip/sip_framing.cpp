#include "sip_framing.h"

#include <algorithm>
#include <array>
#include <string_view>

#include "engine/text_search.h"

namespace varlowe {

namespace {

constexpr std::array<std::string_view, 11> kMethods = {"INVITE",  "ACK",       "NOTIFY", "BYE",
                                                       "OPTIONS", "PING",      "REFER",  "MESSAGE",
                                                       "PUBLISH", "SUBSCRIBE", "INFO"};

constexpr size_t npos = std::string_view::npos;

// The first occurrence of `pattern` that a text search started at some offset below `limit`
// would reach. A text search stops at a zero byte, so the occurrence counts only when the run
// of non-zero bytes holding it begins below the limit. Patterns contain no zero byte, so the
// first occurrence in the whole run is the only candidate.
size_t firstReachable(const uint8_t* data, size_t length, std::string_view pattern, size_t limit) {
    size_t hit = findBytes(data, length, pattern);
    if (hit == npos) {
        return npos;
    }
    size_t segmentStart = hit;
    while (segmentStart > 0 && data[segmentStart - 1] != 0) {
        --segmentStart;
    }
    return segmentStart < limit ? hit : npos;
}

bool isBlankOrTab(uint8_t c) {
    return c == ' ' || c == '\t';
}

bool methodStartsAt(const uint8_t* data, size_t length, size_t position) {
    for (std::string_view method : kMethods) {
        if (length - position >= method.size() &&
            std::string_view(reinterpret_cast<const char*>(data) + position, method.size()) ==
                method) {
            return true;
        }
    }
    return false;
}

}  // namespace

std::optional<size_t> findSipStart(const uint8_t* data, size_t length) {
    if (data == nullptr || length <= 16) {
        return std::nullopt;
    }
    size_t status = firstReachable(data, length, "SIP/2.0 ", length - 9);
    if (status != npos) {
        return status;
    }
    size_t request = firstReachable(data, length, "SIP/2.0\r\n", length - 10);
    if (request == npos || request == 0) {
        return std::nullopt;
    }
    // Walk back over the blanks and the request URI to the method name.
    size_t p = request - 1;
    if (isBlankOrTab(data[p])) {
        while (p > 0 && isBlankOrTab(data[p])) {
            --p;
        }
        while (p > 0 && !isBlankOrTab(data[p])) {
            --p;
        }
        if (p == 0) {
            return std::nullopt;
        }
    }
    if (p == 0) {
        return std::nullopt;
    }
    --p;
    for (;;) {
        if (methodStartsAt(data, length, p)) {
            return p;
        }
        if (p == 0) {
            return std::nullopt;
        }
        --p;
    }
}

MessageExtent messageExtent(const uint8_t* data, size_t length, bool encapsulated) {
    MessageExtent extent;
    if (data == nullptr || length == 0) {
        return extent;
    }
    // Line ends before a start line are keep-alives or the tail of a sender that counted its
    // body short (RFC 3261 7.5: ignore them). Left in place they would hide every later
    // message of the connection behind a first line without "SIP/2.0".
    size_t start = 0;
    while (start < length && (data[start] == '\r' || data[start] == '\n')) {
        ++start;
    }
    extent.start = start;
    for (;;) {
        const uint8_t* run = data + start;
        size_t runLength = length - start;
        size_t lineEnd = findBytes(run, runLength, "\r\n");
        size_t firstLine = lineEnd == npos ? runLength : lineEnd;
        // Read as text: binary bytes in front of a start line end the text at a zero byte.
        if (findBytes(run, textLength(run, firstLine), "SIP/2.0") != npos) {
            break;
        }
        if (!encapsulated) {
            return extent;
        }
        std::optional<size_t> found = findSipStart(run, runLength);
        if (!found || *found == 0) {
            return extent;
        }
        start += *found;
        extent.start = start;
    }

    const uint8_t* run = data + start;
    size_t runLength = length - start;
    size_t valueAt = npos;
    size_t header = findBytes(run, runLength, "Content-Length: ");
    if (header != npos) {
        valueAt = header + 16;
    } else {
        header = findBytes(run, runLength, "l: ");
        if (header != npos) {
            valueAt = header + 3;
        }
    }
    if (valueAt == npos || valueAt >= runLength) {
        return extent;
    }
    size_t headerEnd = findBytes(run, runLength, "\r\n\r\n");
    if (headerEnd == npos) {
        return extent;
    }
    size_t valueEnd = findBytes(run, runLength, "\r\n", valueAt);
    std::string_view value(reinterpret_cast<const char*>(run) + valueAt,
                           (valueEnd == npos ? runLength : valueEnd) - valueAt);
    while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) {
        value.remove_prefix(1);
    }
    while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) {
        value.remove_suffix(1);
    }
    const bool decimal = !value.empty() && std::all_of(value.begin(), value.end(),
                                                       [](char c) { return c >= '0' && c <= '9'; });
    int64_t bodyLength = 0;
    if (decimal) {
        bodyLength = leadingNumber(value);  // saturates far above any capture's size
    } else {
        extent.invalidLength = true;
        extent.lengthText.assign(value.substr(0, 64));
    }
    uint64_t messageLength = uint64_t{headerEnd} + 4 + static_cast<uint64_t>(bodyLength);
    if (messageLength > runLength) {
        extent.neededLength = start + messageLength;
        return extent;
    }
    extent.complete = true;
    extent.start = start;
    extent.end = start + static_cast<size_t>(messageLength);
    extent.endsAtEnd = messageLength == runLength;
    return extent;
}

}  // namespace varlowe
