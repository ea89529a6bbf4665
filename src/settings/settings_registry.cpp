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
    const char* text;  // boolean and integer defaults
    SettingColour colour;
    FontAdjustment font;
    const char* label;
};

Row boolean(const char* g, const char* k, bool value, const char* label) {
    return Row{g, k, SettingKind::Boolean, value ? "1" : "0", {}, {}, label};
}
Row colour(const char* g, const char* k, SettingColour value, const char* label) {
    return Row{g, k, SettingKind::Colour, "", value, {}, label};
}
Row integer(const char* g, const char* k, const char* value, const char* label) {
    return Row{g, k, SettingKind::Integer, value, {}, {}, label};
}
Row font(const char* g, const char* k, FontAdjustment adjustment, const char* label) {
    return Row{g, k, SettingKind::Font, "", {}, adjustment, label};
}

std::vector<Row> tableRows() {
    const FontAdjustment normal{0, 0, 0};
    return {
        boolean("frame", "showToolbar", true, "Show Toolbar"),
        boolean("frame", "showStatusbar", true, "Show Statusbar"),
        boolean("frame", "showFilterPane", true, "Show Filter Pane"),
        boolean("frame", "showSelectionPane", true, "Show Selection Pane"),
        boolean("frame", "showTimePane", true, "Show Time Pane"),
        boolean("frame", "showInfoPane", true, "Show Info Pane"),
        boolean("diagram", "showTimeDeltas", true, "Show Time Deltas"),
        boolean("diagram", "showAbsTime", true, "Show Absolute Time"),
        boolean("diagram", "showRelationshipMarkers", true, "Show Relationship Markers"),
        boolean("diagram", "showTransactionMarkers", true, "Show Transaction Markers"),
        boolean("diagram", "showProvisionalResponses", true, "Show Provisional Responses"),
        boolean("diagram", "showSturnMessages", true, "Show STUN and TURN Messages"),
        boolean("diagram", "showRtpMarkers", true, "Show RTP Markers"),
        boolean("diagram", "showSipMessages", true, "Show Sip Messages"),
        colour("diagram", "colorRequest", kBlack, "Request Color"),
        colour("diagram", "colorFinalResponse", kBlack, "Final Response Color"),
        colour("diagram", "colorProvisionalResponse", kBlack, "Provisional Response Color"),
        colour("diagram", "colorAudio", kBlue, "Audio Marker Color"),
        colour("diagram", "colorRedirect", kBlack, "Redirect Color"),
        colour("diagram", "colorErrorResponse", kRed, "Error Response Color"),
        colour("diagram", "colorSelected", kBlue, "Selected Color"),
        colour("diagram", "colorRelated", SettingColour{0, 0, 128, 255}, "Related Color"),
        colour("diagram", "colorSeparator", kGrey, "Separator Color"),
        colour("diagram", "colorTime", kGrey, "Time Color"),
        colour("diagram", "colorHeader", kBlack, "Header Color"),
        colour("diagram", "colorHeaderBackground", kWhite, "Header Background Color"),
        colour("diagram", "colorEvenBackground", SettingColour{244, 244, 244, 255},
               "Even-Row Background Color"),
        colour("diagram", "colorOddBackground", kWhite, "Odd-Row Background Color"),
        colour("diagram", "colorSelectedBackground", kYellow, "Selected Background Color"),
        colour("diagram", "colorRelatedBackground", kBlack, "Related Background Color"),
        integer("diagram", "widthArrow", "1", "Arrow Width"),
        integer("diagram", "widthSeparator", "1", "Separator Width"),
        font("diagram", "fontHeader", normal, "Header Font"),
        font("diagram", "fontTime", normal, "Time Font"),
        font("diagram", "fontArrow", normal, "Arrow Font"),
        colour("printing", "colorHeader", kBlue, "Header Color"),
        colour("printing", "colorRequest", kBlack, "Request Color"),
        colour("printing", "colorFinalResponse", kBlack, "Final Response Color"),
        colour("printing", "colorErrorResponse", kRed, "Error Response Color"),
        colour("printing", "colorProvisionalResponse", kBlack, "Provisional Response Color"),
        colour("printing", "colorOddBackground", kWhite, "Odd-Row Background Color"),
        colour("printing", "colorEvenBackground", kWhite, "Even-Row Background Color"),
        integer("printing", "widthArrow", "2", "Arrow Width"),
        colour("printing", "colorSeparator", kBlack, "Separator Color"),
        integer("printing", "widthSeparator", "2", "Separator Width"),
        colour("printing", "colorTime", kBlue, "Time Color"),
        boolean("parsing", "includeUdp", true, "Include UDP"),
        boolean("parsing", "includeTcp", true, "Include TCP"),
        boolean("parsing", "includeSip", true, "Include SIP"),
        boolean("parsing", "includeRtp", true, "Include RTP"),
        boolean("parsing", "includeRtcp", true, "Include RTCP"),
        boolean("parsing", "includeSturn", true, "Include Sturn"),
        boolean("parsing", "includeEncapsulated", false, "Look for Binary Encapsulated SIP"),
        boolean("exportAsText", "showTransport", true, "Include Transport in SIP Ladder Diagram"),
        boolean("exportAsText", "showPort", false, "Include Ports in SIP Ladder Diagram"),
        boolean("exportAsText", "showDiagram", true, "Include SIP Ladder Diagram"),
        boolean("exportAsText", "showLog", true, "Include Contents Log"),
        font("graphs", "titleFont", FontAdjustment{1, 92, 0}, "Graph Title Font"),
        font("graphs", "axisLabelFont", FontAdjustment{0, 92, 0}, "Graph Axis Label Font"),
        font("graphs", "axisUnitFont", FontAdjustment{-1, 0, 0}, "Graph Unit Label Font"),
        font("graphs", "keyFont", FontAdjustment{0, 92, 0}, "Graph Key Font Font"),
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
