#include "byte_order.h"

namespace varlowe {

size_t formatUnsigned(uint32_t value, char* out) {
    char digits[10];
    size_t count = 0;
    do {
        digits[count++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    for (size_t i = 0; i < count; ++i) {
        out[i] = digits[count - 1 - i];
    }
    out[count] = '\0';
    return count;
}

size_t formatDottedQuad(uint32_t address, char* out) {
    size_t length = 0;
    for (int shift = 24; shift >= 0; shift -= 8) {
        length += formatUnsigned((address >> shift) & 0xffu, out + length);
        if (shift != 0) {
            out[length++] = '.';
        }
    }
    out[length] = '\0';
    return length;
}

std::string dottedQuad(uint32_t address) {
    char text[16];
    size_t length = formatDottedQuad(address, text);
    return std::string(text, length);
}

}  // namespace varlowe
