#pragma once

#include <string>

#include "settings_registry.h"
#include "settings_store.h"

namespace varlowe {

// The current local date and time, the default of the next version check.
SettingDate currentLocalTime();

// One typed reader and writer per settings key, so that no other code spells a group or key.
class AppSettings {
  public:
    static constexpr const char* kApplicationName = "Varlowe";

    // Builds the registry of keys and defaults; `normalFont` is the toolkit's normal font.
    static void registerSettings(const SettingFont& normalFont) {
        SettingsRegistry::registerSettings(normalFont);
    }
    static bool loadSettings(IUserLabelReceiver* userLabels) {
        return SettingsStore::instance().load(kApplicationName, userLabels);
    }
    static bool saveSettings() { return SettingsStore::instance().save(kApplicationName); }

    // The labels of the user-label store; read back only through loadSettings.
    static void setUserLabel(const std::string& address, const std::string& label) {
        SettingsStore::instance().setString("userLabels", address, label);
    }
    static void removeUserLabel(const std::string& address) {
        SettingsStore::instance().removeEntry("userLabels", address);
    }

#define VARLOWE_REGISTERED(Type, reader, Writer, group, key, fallback, label) \
    static Type reader();                                                     \
    static void set##Writer(const Type& value);
#define VARLOWE_CALL_SITE(Type, reader, Writer, group, key, fallback) \
    static Type reader();                                             \
    static void set##Writer(const Type& value);
#define VARLOWE_READ_ONLY(Type, reader, group, key, fallback) static Type reader();
#include "app_settings_keys.inc"
#undef VARLOWE_REGISTERED
#undef VARLOWE_CALL_SITE
#undef VARLOWE_READ_ONLY
};

}  // namespace varlowe
