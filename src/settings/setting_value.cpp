#include "setting_value.h"

#include <cstring>
#include <vector>

#include "engine/text_search.h"

namespace varlowe {

namespace {
int number(const std::string& token) {
    return static_cast<int>(leadingNumber(token));
}

// Splits at `separator`, skipping empty tokens, at most `limit` tokens.
std::vector<std::string> tokens(const std::string& text, char separator, size_t limit) {
    std::vector<std::string> out;
    size_t at = 0;
    while (at <= text.size() && out.size() < limit) {
        size_t end = text.find(separator, at);
        if (end == std::string::npos) {
            end = text.size();
        }
        if (end > at) {
            out.push_back(text.substr(at, end - at));
        }
        at = end + 1;
    }
    return out;
}
}  // namespace

std::string encodeFont(const SettingFont& font) {
    return std::to_string(font.family) + "|" + std::to_string(font.pointSize) + "|" +
           std::to_string(font.style) + "|" + std::to_string(font.weight) + "|" +
           (font.underline ? "1" : "0") + "|" + font.faceName + "|" + std::to_string(font.encoding);
}

SettingFont decodeFont(const std::string& text) {
    // The text is read through a 1024-byte buffer: anything longer is cut.
    std::vector<std::string> parts = tokens(text.substr(0, 1023), '|', 7);
    SettingFont font;
    if (parts.size() > 0)
        font.family = number(parts[0]);
    if (parts.size() > 1)
        font.pointSize = number(parts[1]);
    if (parts.size() > 2)
        font.style = number(parts[2]);
    if (parts.size() > 3)
        font.weight = number(parts[3]);
    if (parts.size() > 4)
        font.underline = number(parts[4]) != 0;
    if (parts.size() > 5)
        font.faceName = parts[5];
    if (parts.size() > 6)
        font.encoding = number(parts[6]);
    return font;
}

SettingFont fontForScreen(SettingFont font) {
    if (font.pointSize > kLargestFontPoints) {
        font.pointSize = kLargestFontPoints;
    }
    return font;
}

std::string encodeDate(const SettingDate& date) {
    return std::to_string(date.year) + "-" + std::to_string(date.month) + "-" +
           std::to_string(date.day);
}

SettingDate decodeDate(const std::string& text) {
    std::vector<std::string> parts = tokens(text, '-', 3);
    SettingDate date;
    date.year = parts.size() > 0 ? number(parts[0]) : 0;
    date.month = parts.size() > 1 ? number(parts[1]) : 0;
    date.day = parts.size() > 2 ? number(parts[2]) : 0;
    date.hour = 23;
    date.minute = 59;
    date.second = 59;
    date.millisecond = 0;
    return date;
}

}  // namespace varlowe
