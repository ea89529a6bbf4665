#pragma once

#include <wx/font.h>

#include "settings/setting_value.h"

namespace varlowe {

// Conversions between the stored font codes and the toolkit's fonts. Weights are stored
// with the classic codes (90 normal, 91 light, 92 bold).
SettingFont settingFontOf(const wxFont& font);
wxFont toolkitFontOf(const SettingFont& font);
// The toolkit's normal font, from which the font defaults are made.
SettingFont normalToolkitFont();

}  // namespace varlowe
