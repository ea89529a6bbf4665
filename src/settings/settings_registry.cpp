#include "settings_registry.h"

#include <cstdio>
#include <memory>
#include <stdexcept>

#include "engine/text_search.h"
#include "settings_store.h"

namespace varlowe {

namespace {

std::unique_ptr<SettingsRegistry>& registryHolder() {
    static std::unique_ptr<SettingsRegistry> holder;
    return holder;
}

constexpr SettingColour kBlack{0, 0, 0, 255};
constexpr SettingColour kBlue{0, 0, 255, 255};
constexpr SettingColour kRed{255, 0, 0, 255};
constexpr SettingColour kWhite{255, 255, 255, 255};
constexpr SettingColour kYellow{255, 255, 0, 255};
constexpr SettingColour kGrey{128, 128, 128, 255};

struct FontAdjustment {
    int sizeOffset;
    int weight;  // replaces the normal font's weight when not 0
    int style;   // OR-ed into the normal font's style
};

struct Row {
    const char* group;
    const char* key;
    SettingKind kind;
    std::string text;  // boolean and integer defaults
    SettingColour colour;
    FontAdjustment font;
    const char* label;
};

// A table row from a key's declared default, by the default's kind.
Row row(const char* g, const char* k, bool value, const char* label) {
    return Row{g, k, SettingKind::Boolean, value ? "1" : "0", {}, {}, label};
}
Row row(const char* g, const char* k, SettingColour value, const char* label) {
    return Row{g, k, SettingKind::Colour, "", value, {}, label};
}
Row row(const char* g, const char* k, int value, const char* label) {
    return Row{g, k, SettingKind::Integer, std::to_string(value), {}, {}, label};
}
Row row(const char* g, const char* k, FontAdjustment adjustment, const char* label) {
    return Row{g, k, SettingKind::Font, "", {}, adjustment, label};
}

constexpr FontAdjustment kNormalFont{0, 0, 0};

std::vector<Row> tableRows() {
    return {
#define VARLOWE_REGISTERED(Type, reader, Writer, group, key, fallback, label) \
    row(group, key, fallback, label),
#define VARLOWE_CALL_SITE(Type, reader, Writer, group, key, fallback)
#define VARLOWE_READ_ONLY(Type, reader, group, key, fallback)
#include "app_settings_keys.inc"
#undef VARLOWE_REGISTERED
#undef VARLOWE_CALL_SITE
#undef VARLOWE_READ_ONLY
    };
}

const SettingDescriptor& emptyRow() {
    static const SettingDescriptor row;
    return row;
}

}  // namespace

std::string SettingsRegistry::colourText(SettingColour colour) {
    char text[16];
    std::snprintf(text, sizeof text, "%3.3d%3.3d%3.3d", colour.red, colour.green, colour.blue);
    return text;
}

SettingColour SettingsRegistry::colourOfText(const std::string& text) {
    auto part = [&text](size_t at) -> uint8_t {
        return at < text.size() ? static_cast<uint8_t>(leadingNumber(text.substr(at, 3))) : 0;
    };
    return SettingColour{part(0), part(3), part(6), 255};
}

void SettingsRegistry::registerSettings(const SettingFont& normalFont) {
    auto registry = std::make_unique<SettingsRegistry>();
    registry->pages_ = {
        {"frame", "Display", "prefs_display", {255, 0, 255, 255}, "Display_Preferences.htm"},
        {"diagram", "Diagram", "prefs_diagram", {255, 0, 255, 255}, "Diagram_Preferences.htm"},
        {"printing",
         "Printing",
         "prefs_printsetup",
         {255, 0, 255, 255},
         "Printing_Preferences.htm"},
        {"parsing", "Parsing", "prefs_parsing", {255, 0, 255, 255}, "Parsing_Preferences.htm"},
        {"exportAsText", "Export", "prefs_export", {255, 0, 255, 255}, "Export_Preferences.htm"},
        {},
    };
    for (const Row& row : tableRows()) {
        SettingDescriptor descriptor;
        descriptor.group = row.group;
        descriptor.key = row.key;
        descriptor.kind = row.kind;
        descriptor.label = row.label;
        switch (row.kind) {
            case SettingKind::Boolean:
            case SettingKind::Integer:
                descriptor.defaultText = row.text;
                break;
            case SettingKind::Colour:
                descriptor.defaultText = colourText(row.colour);
                break;
            case SettingKind::Font: {
                SettingFont font = normalFont;
                font.pointSize += row.font.sizeOffset;
                if (row.font.weight != 0) {
                    font.weight = row.font.weight;
                }
                font.style |= row.font.style;
                descriptor.defaultText = encodeFont(font);
                break;
            }
        }
        registry->rows_.push_back(std::move(descriptor));
    }
    registry->rows_.emplace_back();  // terminator
    for (size_t i = 0; i < registry->pages_.size() && !registry->pages_[i].group.empty(); ++i) {
        registry->pageIndex_.emplace(registry->pages_[i].group, i);
    }
    for (size_t i = 0; !registry->rows_[i].group.empty(); ++i) {
        registry->index_[registry->rows_[i].group].emplace(registry->rows_[i].key, i);
    }
    registryHolder() = std::move(registry);
}

const SettingsRegistry& SettingsRegistry::instance() {
    if (!registryHolder()) {
        throw std::logic_error("settings read before registerSettings()");
    }
    return *registryHolder();
}

const PreferencePage* SettingsRegistry::page(const std::string& group) const {
    auto found = pageIndex_.find(group);
    return found == pageIndex_.end() ? nullptr : &pages_[found->second];
}

const SettingDescriptor& SettingsRegistry::descriptor(const std::string& group,
                                                      const std::string& key) const {
    auto keys = index_.find(group);
    if (keys == index_.end()) {
        return emptyRow();
    }
    auto row = keys->second.find(key);
    return row == keys->second.end() ? emptyRow() : rows_[row->second];
}

std::vector<std::string> SettingsRegistry::keysOfGroup(const std::string& group) const {
    std::vector<std::string> keys;
    auto found = index_.find(group);
    if (found != index_.end()) {
        for (const auto& entry : found->second) {
            keys.push_back(entry.first);
        }
    }
    return keys;
}

bool SettingsRegistry::defaultBool(const std::string& group, const std::string& key) const {
    return descriptor(group, key).defaultText == "1";
}

int32_t SettingsRegistry::defaultInt(const std::string& group, const std::string& key) const {
    return static_cast<int32_t>(leadingNumber(descriptor(group, key).defaultText));
}

SettingColour SettingsRegistry::defaultColour(const std::string& group,
                                              const std::string& key) const {
    return colourOfText(descriptor(group, key).defaultText);
}

SettingFont SettingsRegistry::defaultFont(const std::string& group, const std::string& key) const {
    return decodeFont(descriptor(group, key).defaultText);
}

SettingValue SettingDescriptor::read() const {
    const SettingsRegistry& registry = SettingsRegistry::instance();
    const SettingsStore& store = SettingsStore::instance();
    switch (kind) {
        case SettingKind::Boolean:
            return store.getBool(group, key, registry.defaultBool(group, key));
        case SettingKind::Colour:
            return store.getColour(group, key, registry.defaultColour(group, key));
        case SettingKind::Integer:
            return store.getInt(group, key, registry.defaultInt(group, key));
        case SettingKind::Font:
            break;
    }
    return store.getFont(group, key, registry.defaultFont(group, key));
}

void SettingDescriptor::write(const SettingValue& value) const {
    SettingsStore& store = SettingsStore::instance();
    if (const bool* b = std::get_if<bool>(&value)) {
        store.setBool(group, key, *b);
    } else if (const SettingColour* c = std::get_if<SettingColour>(&value)) {
        store.setColour(group, key, *c);
    } else if (const int32_t* i = std::get_if<int32_t>(&value)) {
        store.setInt(group, key, *i);
    } else if (const SettingFont* f = std::get_if<SettingFont>(&value)) {
        store.setFont(group, key, *f);
    }
}

}  // namespace varlowe
