#include "preference_rows.h"

#include <cstdlib>

namespace varlowe {
namespace preference_rows {

std::vector<SettingDescriptor> rowsOf(const std::string& group) {
    const SettingsRegistry& registry = SettingsRegistry::instance();
    std::vector<SettingDescriptor> rows;
    for (const std::string& key : registry.keysOfGroup(group)) {
        rows.push_back(registry.descriptor(group, key));
    }
    return rows;
}

std::string cellText(const SettingDescriptor& row, bool fromDefault) {
    if (fromDefault) {
        return row.defaultText;
    }
    const SettingValue value = row.read();
    switch (row.kind) {
        case SettingKind::Boolean:
            return std::get_if<bool>(&value) != nullptr && std::get<bool>(value) ? "1" : "";
        case SettingKind::Colour:
            return std::get_if<SettingColour>(&value) != nullptr
                       ? SettingsRegistry::colourText(std::get<SettingColour>(value))
                       : row.defaultText;
        case SettingKind::Integer:
            return std::get_if<int32_t>(&value) != nullptr
                       ? std::to_string(std::get<int32_t>(value))
                       : row.defaultText;
        case SettingKind::Font:
            break;
    }
    return std::get_if<SettingFont>(&value) != nullptr ? encodeFont(std::get<SettingFont>(value))
                                                       : row.defaultText;
}

SettingValue valueOf(const SettingDescriptor& row, const std::string& text) {
    switch (row.kind) {
        case SettingKind::Boolean:
            return text == "1";
        case SettingKind::Colour:
            return SettingsRegistry::colourOfText(text);
        case SettingKind::Integer:
            return static_cast<int32_t>(std::strtol(text.c_str(), nullptr, 10));
        case SettingKind::Font:
            break;
    }
    return decodeFont(text);
}

void store(const SettingDescriptor& row, const std::string& text) {
    row.write(valueOf(row, text));
}

}  // namespace preference_rows
}  // namespace varlowe
