#include "toolkit_font.h"

#include <wx/gdicmn.h>
#include <wx/settings.h>

namespace varlowe {

namespace {
constexpr int kNormalWeight = 90;
constexpr int kLightWeight = 91;
constexpr int kBoldWeight = 92;

int storedWeight(int toolkitWeight) {
    if (toolkitWeight < 350) {
        return kLightWeight;
    }
    return toolkitWeight >= 550 ? kBoldWeight : kNormalWeight;
}

wxFontWeight toolkitWeight(int stored) {
    switch (stored) {
        case kLightWeight:
            return wxFONTWEIGHT_LIGHT;
        case kBoldWeight:
            return wxFONTWEIGHT_BOLD;
        default:
            return wxFONTWEIGHT_NORMAL;
    }
}
}  // namespace

SettingFont settingFontOf(const wxFont& font) {
    SettingFont out;
    out.family = static_cast<int>(font.GetFamily());
    out.pointSize = font.GetPointSize();
    out.style = static_cast<int>(font.GetStyle());
    out.weight = storedWeight(font.GetNumericWeight());
    out.underline = font.GetUnderlined();
    out.faceName = std::string(font.GetFaceName().utf8_str());
    out.encoding = static_cast<int>(font.GetEncoding());
    return out;
}

wxFont toolkitFontOf(const SettingFont& font) {
    wxFontInfo info(font.pointSize > 0 ? fontForScreen(font).pointSize : 10);
    info.Family(static_cast<wxFontFamily>(font.family))
        .Style(static_cast<wxFontStyle>(font.style))
        .Weight(toolkitWeight(font.weight))
        .Underlined(font.underline)
        .Encoding(static_cast<wxFontEncoding>(font.encoding));
    if (!font.faceName.empty()) {
        info.FaceName(wxString::FromUTF8(font.faceName.c_str()));
    }
    return wxFont(info);
}

SettingFont normalToolkitFont() {
    return settingFontOf(*wxNORMAL_FONT);
}

}  // namespace varlowe
