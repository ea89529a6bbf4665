#include "settings_store.h"

#include <wx/fileconf.h>
#include <wx/filename.h>
#include <wx/log.h>

#include <cstdlib>

namespace varlowe {

namespace {

std::unique_ptr<SettingsStore>& storeHolder() {
    static std::unique_ptr<SettingsStore> holder;
    return holder;
}

wxString wx(const std::string& text) {
    return wxString::FromUTF8(text.c_str());
}
std::string utf8(const wxString& text) {
    return std::string(text.utf8_str());
}

}  // namespace

std::unique_ptr<wxFileConfig> SettingsStore::openConfiguration(const std::string& applicationName) {
    // A damaged or unwritable file is not reported; the values in memory stay as they are.
    wxLogNull quiet;
    wxFileName file(wx(SettingsStore::userConfigPath(applicationName)));
    if (!file.DirExists() && !wxFileName::Mkdir(file.GetPath(), 0700, wxPATH_MKDIR_FULL)) {
        return nullptr;
    }
    // The machine-wide file is the read-only fallback; every write goes to the user's file.
    // Both paths are given so that no application object is needed to find them.
    wxString global = "/etc/xdg/" + wx(applicationName) + "/" + wx(applicationName) + ".conf";
    auto config = std::make_unique<wxFileConfig>(
        wx(applicationName), SettingsStore::kVendor, file.GetFullPath(), global,
        wxCONFIG_USE_LOCAL_FILE | wxCONFIG_USE_GLOBAL_FILE);
    config->SetExpandEnvVars(false);
    config->SetRecordDefaults(false);
    return config;
}

namespace {

// Names of the groups, or of the entries, at the configuration's current path.
std::vector<wxString> childNames(wxFileConfig& config, bool groups) {
    std::vector<wxString> names;
    wxString name;
    long cookie = 0;
    bool more = groups ? config.GetFirstGroup(name, cookie) : config.GetFirstEntry(name, cookie);
    while (more) {
        names.push_back(name);
        more = groups ? config.GetNextGroup(name, cookie) : config.GetNextEntry(name, cookie);
    }
    return names;
}

std::string replaceAll(std::string text, const std::string& from, const std::string& to) {
    size_t at = 0;
    while ((at = text.find(from, at)) != std::string::npos) {
        text.replace(at, from.size(), to);
        at += to.size();
    }
    return text;
}

}  // namespace

SettingsStore::SettingsStore() : committed_(std::make_unique<GroupList>()) {}

SettingsStore& SettingsStore::instance() {
    std::unique_ptr<SettingsStore>& holder = storeHolder();
    if (!holder) {
        holder.reset(new SettingsStore());
    }
    return *holder;
}

void SettingsStore::shutdown() {
    std::unique_ptr<SettingsStore>& holder = storeHolder();
    if (!holder) {
        return;
    }
    holder->listeners_.fill(nullptr);
    holder->pending_.fill(std::nullopt);
    holder->editing_ = false;
    holder->shadow_.reset();
    holder->removeAll();
    holder.reset();
}

std::string SettingsStore::userConfigPath(const std::string& applicationName) {
    std::string folder;
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg != nullptr && xdg[0] == '/') {
        folder = xdg;
    } else {
        const char* home = std::getenv("HOME");
        folder = std::string(home != nullptr ? home : ".") + "/.config";
    }
    return folder + "/" + applicationName + "/" + applicationName + ".conf";
}

const SettingValue* SettingsStore::lookup(const std::string& group,
                                          const std::string& entry) const {
    const EntryList* entries = committed_->find(group);
    return entries != nullptr ? entries->find(entry) : nullptr;
}

namespace {
template <typename T>
T typed(const SettingValue* value, T fallback) {
    if (value == nullptr) {
        return fallback;
    }
    const T* held = std::get_if<T>(value);
    return held != nullptr ? *held : fallback;
}
}  // namespace

int32_t SettingsStore::getInt(const std::string& g, const std::string& e, int32_t d) const {
    return typed(lookup(g, e), d);
}
std::string SettingsStore::getString(const std::string& g, const std::string& e,
                                     const std::string& d) const {
    return typed(lookup(g, e), d);
}
SettingColour SettingsStore::getColour(const std::string& g, const std::string& e,
                                       SettingColour d) const {
    return typed(lookup(g, e), d);
}
bool SettingsStore::getBool(const std::string& g, const std::string& e, bool d) const {
    return typed(lookup(g, e), d);
}
SettingDate SettingsStore::getDate(const std::string& g, const std::string& e,
                                   SettingDate d) const {
    return typed(lookup(g, e), d);
}
SettingFont SettingsStore::getFont(const std::string& g, const std::string& e,
                                   const SettingFont& d) const {
    return typed(lookup(g, e), d);
}
SettingPoint SettingsStore::getPoint(const std::string& g, const std::string& e,
                                     SettingPoint d) const {
    return typed(lookup(g, e), d);
}
SettingSize SettingsStore::getSize(const std::string& g, const std::string& e,
                                   SettingSize d) const {
    return typed(lookup(g, e), d);
}

void SettingsStore::write(const std::string& group, const std::string& entry, SettingValue value) {
    GroupList& target = writable();
    EntryList* entries = target.find(group);
    if (entries == nullptr) {
        entries = target.append(group, std::make_unique<EntryList>());
    }
    entries->remove(entry);  // a rewritten entry moves to the end of its group
    entries->append(entry, std::make_unique<SettingValue>(std::move(value)));
    notify(group);
}

void SettingsStore::setInt(const std::string& g, const std::string& e, int32_t v) {
    write(g, e, v);
}
void SettingsStore::setString(const std::string& g, const std::string& e, const std::string& v) {
    write(g, e, v);
}
void SettingsStore::setColour(const std::string& g, const std::string& e, SettingColour v) {
    write(g, e, v);
}
void SettingsStore::setBool(const std::string& g, const std::string& e, bool v) {
    write(g, e, v);
}
void SettingsStore::setDate(const std::string& g, const std::string& e, SettingDate v) {
    write(g, e, v);
}
void SettingsStore::setFont(const std::string& g, const std::string& e, const SettingFont& v) {
    write(g, e, v);
}
void SettingsStore::setPoint(const std::string& g, const std::string& e, SettingPoint v) {
    write(g, e, v);
}
void SettingsStore::setSize(const std::string& g, const std::string& e, SettingSize v) {
    write(g, e, v);
}

void SettingsStore::notify(const std::string& group) {
    if (!editing_) {
        for (IAppSettingsListener* listener : listeners_) {
            if (listener != nullptr) {
                listener->onSettingsChanged(group);
            }
        }
        return;
    }
    for (std::optional<std::string>& slot : pending_) {
        if (slot && *slot == group) {
            return;
        }
        if (!slot) {
            slot = group;
            return;
        }
    }
    // All pending slots hold other groups: this notification is dropped.
}

void SettingsStore::removeEntry(const std::string& group, const std::string& entry) {
    GroupList& target = writable();
    EntryList* entries = target.find(group);
    if (entries != nullptr && entries->remove(entry) != nullptr) {
        notify(group);
    }
}

void SettingsStore::removeGroup(const std::string& group) {
    GroupList& target = writable();
    EntryList* entries = target.find(group);
    if (entries == nullptr || entries->empty()) {
        return;
    }
    while (!entries->empty()) {
        entries->remove(entries->name(0));
    }
    notify(group);
}

void SettingsStore::removeAll() {
    GroupList& target = writable();
    while (!target.empty()) {
        std::string group = target.name(0);
        removeGroup(group);
        target.remove(group);
    }
}

std::unique_ptr<SettingsStore::GroupList> SettingsStore::copyOf(const GroupList& groups) {
    auto copy = std::make_unique<GroupList>();
    for (size_t g = 0; g < groups.size(); ++g) {
        auto entries = std::make_unique<EntryList>();
        const EntryList& source = groups.at(g);
        for (size_t e = 0; e < source.size(); ++e) {
            entries->append(source.name(e), std::make_unique<SettingValue>(source.at(e)));
        }
        copy->append(groups.name(g), std::move(entries));
    }
    return copy;
}

bool SettingsStore::beginEdit() {
    if (editing_) {
        return false;
    }
    editing_ = true;
    shadow_ = copyOf(*committed_);
    return true;
}

bool SettingsStore::commitEdit() {
    if (!editing_) {
        return false;
    }
    editing_ = false;
    committed_ = std::move(shadow_);
    std::array<std::optional<std::string>, kPendingSlots> pending;
    pending.swap(pending_);
    for (const std::optional<std::string>& group : pending) {
        if (group) {
            notify(*group);
        }
    }
    return true;
}

bool SettingsStore::cancelEdit() {
    if (!editing_) {
        return false;
    }
    editing_ = false;
    shadow_.reset();
    pending_.fill(std::nullopt);
    return true;
}

bool SettingsStore::addListener(IAppSettingsListener* listener) {
    removeListener(listener);
    for (IAppSettingsListener*& slot : listeners_) {
        if (slot == nullptr) {
            slot = listener;
            return true;
        }
    }
    return false;
}

void SettingsStore::removeListener(IAppSettingsListener* listener) {
    for (IAppSettingsListener*& slot : listeners_) {
        if (slot == listener) {
            slot = nullptr;
            return;
        }
    }
}

std::vector<std::string> SettingsStore::entryNames(const std::string& group) const {
    std::vector<std::string> names;
    if (const EntryList* entries = committed_->find(group)) {
        for (size_t i = 0; i < entries->size(); ++i) {
            names.push_back(entries->name(i));
        }
    }
    return names;
}

bool SettingsStore::save(const std::string& applicationName) {
    if (applicationName.empty() || editing_) {
        return false;
    }
    std::unique_ptr<wxFileConfig> config = openConfiguration(applicationName);
    if (!config) {
        return false;
    }
    config->SetPath("/");
    // Clear in memory rather than with DeleteAll, which removes the file at once: a program
    // dying before the flush would lose every setting.
    for (const wxString& group : childNames(*config, true)) {
        config->DeleteGroup(group);
    }
    for (const wxString& entry : childNames(*config, false)) {
        config->DeleteEntry(entry, false);
    }
    for (size_t g = 0; g < committed_->size(); ++g) {
        const EntryList& entries = committed_->at(g);
        for (size_t e = 0; e < entries.size(); ++e) {
            const SettingValue& value = entries.at(e);
            wxString key = "/" + wx(committed_->name(g)) + "/" + wx(entries.name(e));
            config->Write(key + ".type", static_cast<long>(value.index()));
            wxString valueKey = key + ".value";
            std::visit(
                [&](const auto& v) {
                    using T = std::decay_t<decltype(v)>;
                    if constexpr (std::is_same_v<T, int32_t>) {
                        config->Write(valueKey, static_cast<long>(v));
                    } else if constexpr (std::is_same_v<T, std::string>) {
                        config->Write(valueKey, wx(v));
                    } else if constexpr (std::is_same_v<T, SettingColour>) {
                        config->Write(valueKey, static_cast<long>(v.packed()));
                    } else if constexpr (std::is_same_v<T, bool>) {
                        config->Write(valueKey, v);
                    } else if constexpr (std::is_same_v<T, SettingDate>) {
                        config->Write(valueKey, wx(encodeDate(v)));
                    } else if constexpr (std::is_same_v<T, SettingFont>) {
                        config->Write(valueKey, wx(encodeFont(v)));
                    } else if constexpr (std::is_same_v<T, SettingPoint>) {
                        config->Write(valueKey + ".x", static_cast<long>(v.x));
                        config->Write(valueKey + ".y", static_cast<long>(v.y));
                    } else {
                        config->Write(valueKey + ".w", static_cast<long>(v.width));
                        config->Write(valueKey + ".h", static_cast<long>(v.height));
                    }
                },
                value);
        }
    }
    // wxFileConfig writes a temporary file and renames it over the old one.
    wxLogNull quiet;
    return config->Flush();
}

bool SettingsStore::load(const std::string& applicationName, IUserLabelReceiver* userLabels) {
    if (applicationName.empty() || editing_) {
        return false;
    }
    std::unique_ptr<wxFileConfig> config = openConfiguration(applicationName);
    if (!config) {
        return false;
    }
    beginEdit();
    config->SetPath("/");
    for (const wxString& groupText : childNames(*config, true)) {
        const std::string group = utf8(groupText);
        config->SetPath("/" + groupText);
        for (const wxString& entryText : childNames(*config, false)) {
            std::string typeKey = utf8(entryText);
            if (typeKey.find(".type") == std::string::npos) {
                continue;
            }
            long code = 0;
            if (!config->Read(entryText, &code)) {
                continue;
            }
            std::string valueKey = replaceAll(typeKey, ".type", ".value");
            std::string entry = replaceAll(valueKey, ".value", "");
            wxString key = wx(valueKey);
            long a = 0, b = 0;
            wxString text;
            bool flag = false;
            switch (code) {
                case 0:
                    if (config->Read(key, &a))
                        setInt(group, entry, static_cast<int32_t>(a));
                    break;
                case 1:
                    if (config->Read(key, &text)) {
                        setString(group, entry, utf8(text));
                        if (group == "userLabels" && userLabels != nullptr) {
                            userLabels->receiveLabel(entry, utf8(text));
                        }
                    }
                    break;
                case 2:
                    if (config->Read(key, &a)) {
                        setColour(group, entry, SettingColour::fromPacked(static_cast<int32_t>(a)));
                    }
                    break;
                case 3:
                    if (config->Read(key, &flag))
                        setBool(group, entry, flag);
                    break;
                case 4:
                    if (config->Read(key, &text))
                        setDate(group, entry, decodeDate(utf8(text)));
                    break;
                case 5:
                    if (config->Read(key, &text))
                        setFont(group, entry, decodeFont(utf8(text)));
                    break;
                case 6:
                    if (config->Read(key + ".x", &a) && config->Read(key + ".y", &b)) {
                        setPoint(group, entry,
                                 SettingPoint{static_cast<int32_t>(a), static_cast<int32_t>(b)});
                    }
                    break;
                case 7:
                    if (config->Read(key + ".w", &a) && config->Read(key + ".h", &b)) {
                        setSize(group, entry,
                                SettingSize{static_cast<int32_t>(a), static_cast<int32_t>(b)});
                    }
                    break;
                default:
                    break;  // unknown type code: skipped
            }
        }
        config->SetPath("..");
    }
    commitEdit();
    return true;
}

}  // namespace varlowe
