#pragma once

#include <map>
#include <string>
#include <vector>

#include "setting_value.h"

namespace varlowe {

enum class SettingKind : int32_t { Boolean = 0, Colour = 1, Integer = 3, Font = 4 };

// One registered key: where it lives, how the preferences edit it, its default as text.
struct SettingDescriptor {
    std::string group;  // empty in the terminating row
    std::string key;
    SettingKind kind = SettingKind::Boolean;
    std::string defaultText;
    std::string label;

    // The stored value of the key (its default when absent), and a write through the store.
    SettingValue read() const;
    void write(const SettingValue& value) const;
};

struct PreferencePage {
    std::string group;  // empty in the terminating row
    std::string title;
    std::string bitmap;
    SettingColour mask;
    std::string helpPage;
};

// The table of every registered key with its default, built once at start-up.
class SettingsRegistry {
  public:
    // Builds the registry; font defaults are rendered from the toolkit's normal font.
    static void registerSettings(const SettingFont& normalFont);
    static const SettingsRegistry& instance();

    // The 61 rows in table order, then the terminator.
    const std::vector<SettingDescriptor>& rows() const { return rows_; }
    // The five preference pages, then the terminator.
    const std::vector<PreferencePage>& pages() const { return pages_; }
    const PreferencePage* page(const std::string& group) const;
    // The row of (group, key), or the empty terminating row.
    const SettingDescriptor& descriptor(const std::string& group, const std::string& key) const;
    // Key names of the group's rows in ascending byte-wise order.
    std::vector<std::string> keysOfGroup(const std::string& group) const;

    bool defaultBool(const std::string& group, const std::string& key) const;
    int32_t defaultInt(const std::string& group, const std::string& key) const;
    SettingColour defaultColour(const std::string& group, const std::string& key) const;
    SettingFont defaultFont(const std::string& group, const std::string& key) const;

    static std::string colourText(SettingColour colour);
    static SettingColour colourOfText(const std::string& text);

  private:
    std::vector<SettingDescriptor> rows_;
    std::vector<PreferencePage> pages_;
    std::map<std::string, std::map<std::string, size_t>> index_;
    std::map<std::string, size_t> pageIndex_;
};

}  // namespace varlowe
