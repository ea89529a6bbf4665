#include "settings_store.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>

namespace varlowe {

namespace {

std::unique_ptr<SettingsStore>& storeHolder() {
    static std::unique_ptr<SettingsStore> holder;
    return holder;
}

constexpr const char* kMachineFolder = "/etc/xdg/";

std::string folderOf(const std::string& path) {
    return path.substr(0, path.rfind('/'));
}

// Makes the folder and every folder above it that is missing, for the user alone.
bool makeFolders(const std::string& folder) {
    struct stat info {};
    if (::stat(folder.c_str(), &info) == 0) {
        return S_ISDIR(info.st_mode);
    }
    const size_t slash = folder.rfind('/');
    if (slash != std::string::npos && slash > 0 && !makeFolders(folder.substr(0, slash))) {
        return false;
    }
    return ::mkdir(folder.c_str(), 0700) == 0 || errno == EEXIST;
}

std::string replaceAll(std::string text, const std::string& from, const std::string& to) {
    size_t at = 0;
    while ((at = text.find(from, at)) != std::string::npos) {
        text.replace(at, from.size(), to);
        at += to.size();
    }
    return text;
}

std::string number(long value) {
    return std::to_string(value);
}

}  // namespace

std::optional<ConfigFile> SettingsStore::readConfiguration(const std::string& applicationName) {
    const std::string user = userConfigPath(applicationName);
    if (!makeFolders(folderOf(user))) {
        return std::nullopt;
    }
    // The machine-wide file is the read-only fallback: the user's values are read over it.
    ConfigFile file;
    file.read(kMachineFolder + applicationName + "/" + applicationName + ".conf");
    const ConfigFile::ReadResult own = file.read(user);
    if (own == ConfigFile::ReadResult::Refused || own == ConfigFile::ReadResult::Unreadable) {
        return std::nullopt;
    }
    return file;
}

bool SettingsStore::writeRootEntries(const std::string& applicationName,
                                     const std::vector<ConfigFile::Entry>& entries) {
    const std::string path = userConfigPath(applicationName);
    if (!makeFolders(folderOf(path))) {
        return false;
    }
    ConfigFile file;
    const ConfigFile::ReadResult read = file.read(path);
    if (read != ConfigFile::ReadResult::Read && read != ConfigFile::ReadResult::Missing) {
        return false;
    }
    for (const ConfigFile::Entry& entry : entries) {
        file.set("", entry.name, entry.value);
    }
    return file.write(path);
}

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
    entries->clear();
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
    const std::string path = userConfigPath(applicationName);
    if (!makeFolders(folderOf(path))) {
        return false;
    }
    // The whole file is written anew, with the values at its root (the recent files) as
    // they stand, into a temporary file that replaces the old one only when complete.
    ConfigFile previous;
    const ConfigFile::ReadResult read = previous.read(path);
    if (read == ConfigFile::ReadResult::Refused) {
        return false;
    }
    ConfigFile file;
    for (const ConfigFile::Entry& entry : previous.root().entries) {
        file.set("", entry.name, entry.value);
    }
    for (size_t g = 0; g < committed_->size(); ++g) {
        const std::string& group = committed_->name(g);
        const EntryList& entries = committed_->at(g);
        for (size_t e = 0; e < entries.size(); ++e) {
            const SettingValue& value = entries.at(e);
            const std::string key = entries.name(e);
            file.set(group, key + ".type", number(static_cast<long>(value.index())));
            const std::string valueKey = key + ".value";
            std::visit(
                [&](const auto& v) {
                    using T = std::decay_t<decltype(v)>;
                    if constexpr (std::is_same_v<T, int32_t>) {
                        file.set(group, valueKey, number(v));
                    } else if constexpr (std::is_same_v<T, std::string>) {
                        file.set(group, valueKey, v);
                    } else if constexpr (std::is_same_v<T, SettingColour>) {
                        file.set(group, valueKey, number(v.packed()));
                    } else if constexpr (std::is_same_v<T, bool>) {
                        file.set(group, valueKey, v ? "1" : "0");
                    } else if constexpr (std::is_same_v<T, SettingDate>) {
                        file.set(group, valueKey, encodeDate(v));
                    } else if constexpr (std::is_same_v<T, SettingFont>) {
                        file.set(group, valueKey, encodeFont(v));
                    } else if constexpr (std::is_same_v<T, SettingPoint>) {
                        file.set(group, valueKey + ".x", number(v.x));
                        file.set(group, valueKey + ".y", number(v.y));
                    } else {
                        file.set(group, valueKey + ".w", number(v.width));
                        file.set(group, valueKey + ".h", number(v.height));
                    }
                },
                value);
        }
    }
    return file.write(path);
}

bool SettingsStore::load(const std::string& applicationName, IUserLabelReceiver* userLabels) {
    if (applicationName.empty() || editing_) {
        return false;
    }
    std::optional<ConfigFile> file = readConfiguration(applicationName);
    if (!file) {
        return false;
    }
    beginEdit();
    for (const ConfigFile::Group* stored : file->groups()) {
        const std::string& group = stored->name;
        auto read = [&](const std::string& key, long& out) {
            const std::string* text = file->find(group, key);
            return text != nullptr && configNumber(*text, out);
        };
        for (const ConfigFile::Entry& typeEntry : stored->entries) {
            const std::string& typeKey = typeEntry.name;
            if (typeKey.find(".type") == std::string::npos) {
                continue;
            }
            long code = 0;
            if (!configNumber(typeEntry.value, code)) {
                continue;
            }
            const std::string valueKey = replaceAll(typeKey, ".type", ".value");
            const std::string entry = replaceAll(valueKey, ".value", "");
            const std::string* text = file->find(group, valueKey);
            long a = 0, b = 0;
            switch (code) {
                case 0:
                    if (read(valueKey, a))
                        setInt(group, entry, static_cast<int32_t>(a));
                    break;
                case 1:
                    if (text != nullptr) {
                        setString(group, entry, *text);
                        if (group == "userLabels" && userLabels != nullptr) {
                            userLabels->receiveLabel(entry, *text);
                        }
                    }
                    break;
                case 2:
                    if (read(valueKey, a)) {
                        setColour(group, entry, SettingColour::fromPacked(static_cast<int32_t>(a)));
                    }
                    break;
                case 3:
                    if (read(valueKey, a))
                        setBool(group, entry, a != 0);
                    break;
                case 4:
                    if (text != nullptr)
                        setDate(group, entry, decodeDate(*text));
                    break;
                case 5:
                    if (text != nullptr)
                        setFont(group, entry, fontForScreen(decodeFont(*text)));
                    break;
                case 6:
                    if (read(valueKey + ".x", a) && read(valueKey + ".y", b)) {
                        setPoint(group, entry,
                                 SettingPoint{static_cast<int32_t>(a), static_cast<int32_t>(b)});
                    }
                    break;
                case 7:
                    if (read(valueKey + ".w", a) && read(valueKey + ".h", b)) {
                        setSize(group, entry,
                                SettingSize{static_cast<int32_t>(a), static_cast<int32_t>(b)});
                    }
                    break;
                default:
                    break;  // unknown type code: skipped
            }
        }
    }
    commitEdit();
    return true;
}

}  // namespace varlowe
