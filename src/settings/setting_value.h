#pragma once

#include <cstdint>
#include <string>
#include <variant>

namespace varlowe {

struct SettingColour {
    uint8_t red = 0;
    uint8_t green = 0;
    uint8_t blue = 0;
    uint8_t alpha = 255;
    bool operator==(const SettingColour& o) const {
        return red == o.red && green == o.green && blue == o.blue && alpha == o.alpha;
    }
    // Red in the lowest byte, as the settings file keeps it; alpha is not kept.
    int32_t packed() const { return red + green * 256 + blue * 65536; }
    static SettingColour fromPacked(int32_t value) {
        auto v = static_cast<uint32_t>(value);
        return SettingColour{static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8),
                             static_cast<uint8_t>(v >> 16), 255};
    }
};

// A calendar date and time of day; the month counts from 0 (January) as the file does.
struct SettingDate {
    int year = 1970;
    int month = 0;
    int day = 1;
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0;
    bool operator==(const SettingDate& o) const {
        return year == o.year && month == o.month && day == o.day && hour == o.hour &&
               minute == o.minute && second == o.second && millisecond == o.millisecond;
    }
};

// A font by the toolkit's numeric codes (family 70 default, 74 Swiss; style 90 normal;
// weight 90 normal, 92 bold), which is what the settings file keeps.
struct SettingFont {
    int family = 70;
    int pointSize = 10;
    int style = 90;
    int weight = 90;
    bool underline = false;
    std::string faceName;
    int encoding = 0;
    bool operator==(const SettingFont& o) const {
        return family == o.family && pointSize == o.pointSize && style == o.style &&
               weight == o.weight && underline == o.underline && faceName == o.faceName &&
               encoding == o.encoding;
    }
};

struct SettingPoint {
    int32_t x = 0;
    int32_t y = 0;
    bool operator==(const SettingPoint& o) const { return x == o.x && y == o.y; }
};

struct SettingSize {
    int32_t width = 0;
    int32_t height = 0;
    bool operator==(const SettingSize& o) const { return width == o.width && height == o.height; }
};

// One stored value. The alternative's index is the value type code the file keeps:
// 0 integer, 1 text, 2 colour, 3 boolean, 4 date, 5 font, 6 point, 7 size.
using SettingValue = std::variant<int32_t, std::string, SettingColour, bool, SettingDate,
                                  SettingFont, SettingPoint, SettingSize>;

// The persisted texts of fonts and dates.
std::string encodeFont(const SettingFont& font);
SettingFont decodeFont(const std::string& text);
// The largest point size a font read from the file may have: beyond it the toolkit draws
// nothing at all, so that not even the menus could be read to mend it.
constexpr int kLargestFontPoints = 144;
// The font with a point size above the largest brought down to it.
SettingFont fontForScreen(SettingFont font);
std::string encodeDate(const SettingDate& date);
// The time of day of a read date is 23:59:59.000.
SettingDate decodeDate(const std::string& text);

}  // namespace varlowe
