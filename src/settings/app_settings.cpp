#include "app_settings.h"

#include <ctime>

namespace varlowe {

SettingDate currentLocalTime() {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return SettingDate{local.tm_year + 1900,
                       local.tm_mon,
                       local.tm_mday,
                       local.tm_hour,
                       local.tm_min,
                       local.tm_sec,
                       0};
}

namespace {

SettingsStore& store() {
    return SettingsStore::instance();
}

bool readValue(const char* g, const char* k, bool d) {
    return store().getBool(g, k, d);
}
int32_t readValue(const char* g, const char* k, int32_t d) {
    return store().getInt(g, k, d);
}
SettingColour readValue(const char* g, const char* k, SettingColour d) {
    return store().getColour(g, k, d);
}
SettingFont readValue(const char* g, const char* k, const SettingFont& d) {
    return store().getFont(g, k, d);
}
SettingPoint readValue(const char* g, const char* k, SettingPoint d) {
    return store().getPoint(g, k, d);
}
SettingSize readValue(const char* g, const char* k, SettingSize d) {
    return store().getSize(g, k, d);
}
SettingDate readValue(const char* g, const char* k, SettingDate d) {
    return store().getDate(g, k, d);
}
std::string readValue(const char* g, const char* k, const std::string& d) {
    return store().getString(g, k, d);
}

void writeValue(const char* g, const char* k, bool v) {
    store().setBool(g, k, v);
}
void writeValue(const char* g, const char* k, int32_t v) {
    store().setInt(g, k, v);
}
void writeValue(const char* g, const char* k, SettingColour v) {
    store().setColour(g, k, v);
}
void writeValue(const char* g, const char* k, const SettingFont& v) {
    store().setFont(g, k, v);
}
void writeValue(const char* g, const char* k, SettingPoint v) {
    store().setPoint(g, k, v);
}
void writeValue(const char* g, const char* k, SettingSize v) {
    store().setSize(g, k, v);
}
void writeValue(const char* g, const char* k, SettingDate v) {
    store().setDate(g, k, v);
}
void writeValue(const char* g, const char* k, const std::string& v) {
    store().setString(g, k, v);
}

// Registered defaults are decoded from the registry's default texts.
bool registeredDefault(const char* g, const char* k, bool*) {
    return SettingsRegistry::instance().defaultBool(g, k);
}
int32_t registeredDefault(const char* g, const char* k, int32_t*) {
    return SettingsRegistry::instance().defaultInt(g, k);
}
SettingColour registeredDefault(const char* g, const char* k, SettingColour*) {
    return SettingsRegistry::instance().defaultColour(g, k);
}
SettingFont registeredDefault(const char* g, const char* k, SettingFont*) {
    return SettingsRegistry::instance().defaultFont(g, k);
}

}  // namespace

#define VARLOWE_REGISTERED(Type, reader, Writer, group, key, fallback, label)                     \
    Type AppSettings::reader() {                                                                  \
        return readValue(group, key, registeredDefault(group, key, static_cast<Type*>(nullptr))); \
    }                                                                                             \
    void AppSettings::set##Writer(const Type& value) {                                            \
        writeValue(group, key, value);                                                            \
    }
#define VARLOWE_CALL_SITE(Type, reader, Writer, group, key, fallback) \
    Type AppSettings::reader() {                                      \
        return readValue(group, key, Type(fallback));                 \
    }                                                                 \
    void AppSettings::set##Writer(const Type& value) {                \
        writeValue(group, key, value);                                \
    }
#define VARLOWE_READ_ONLY(Type, reader, group, key, fallback) \
    Type AppSettings::reader() {                              \
        return readValue(group, key, Type(fallback));         \
    }
#include "app_settings_keys.inc"
#undef VARLOWE_REGISTERED
#undef VARLOWE_CALL_SITE
#undef VARLOWE_READ_ONLY

}  // namespace varlowe
