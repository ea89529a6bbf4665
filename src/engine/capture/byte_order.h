#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Byte-order conversion and dotted-quad text, without socket headers.
namespace varlowe {

inline uint16_t readBigEndian16(const uint8_t* p) {
    return static_cast<uint16_t>((p[0] << 8) | p[1]);
}

inline uint32_t readBigEndian32(const uint8_t* p) {
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

inline uint32_t readLittleEndian32(const uint8_t* p) {
    return (uint32_t{p[3]} << 24) | (uint32_t{p[2]} << 16) | (uint32_t{p[1]} << 8) | p[0];
}

inline uint32_t swapBytes32(uint32_t v) {
    return (v >> 24) | ((v >> 8) & 0xff00u) | ((v << 8) & 0xff0000u) | (v << 24);
}

// Writes "a.b.c.d" for an address in host order (a = most significant octet) into `out`,
// which must hold at least 16 bytes; returns the text length (no terminator counted).
size_t formatDottedQuad(uint32_t address, char* out);

std::string dottedQuad(uint32_t address);

// Writes the decimal text of `value` into `out` (at least 11 bytes); returns its length.
size_t formatUnsigned(uint32_t value, char* out);

}  // namespace varlowe
