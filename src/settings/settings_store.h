#pragma once

#include <array>
#include <memory>
#include <optional>
#include <string>

#include "config_file.h"
#include "named_object_list.h"
#include "setting_value.h"

namespace varlowe {

class IAppSettingsListener {
  public:
    virtual void onSettingsChanged(const std::string& groupName) = 0;
    virtual ~IAppSettingsListener() = default;
};

// What load hands the labels of the "userLabels" group to (the user-label store).
class IUserLabelReceiver {
  public:
    virtual void receiveLabel(const std::string& address, const std::string& label) = 0;
    virtual ~IUserLabelReceiver() = default;
};

// The process-wide tree of typed settings (group, then entry), persisted in the per-user
// configuration file, with change listeners and an edit batch that publishes many changes
// at once.
class SettingsStore {
  public:
    static constexpr size_t kListenerSlots = 64;
    static constexpr size_t kPendingSlots = 16;
    static constexpr const char* kVendor = "Ostrane";

    static SettingsStore& instance();

    int32_t getInt(const std::string& group, const std::string& entry, int32_t fallback) const;
    std::string getString(const std::string& group, const std::string& entry,
                          const std::string& fallback) const;
    SettingColour getColour(const std::string& group, const std::string& entry,
                            SettingColour fallback) const;
    bool getBool(const std::string& group, const std::string& entry, bool fallback) const;
    SettingDate getDate(const std::string& group, const std::string& entry,
                        SettingDate fallback) const;
    SettingFont getFont(const std::string& group, const std::string& entry,
                        const SettingFont& fallback) const;
    SettingPoint getPoint(const std::string& group, const std::string& entry,
                          SettingPoint fallback) const;
    SettingSize getSize(const std::string& group, const std::string& entry,
                        SettingSize fallback) const;

    void setInt(const std::string& group, const std::string& entry, int32_t value);
    void setString(const std::string& group, const std::string& entry, const std::string& value);
    void setColour(const std::string& group, const std::string& entry, SettingColour value);
    void setBool(const std::string& group, const std::string& entry, bool value);
    void setDate(const std::string& group, const std::string& entry, SettingDate value);
    void setFont(const std::string& group, const std::string& entry, const SettingFont& value);
    void setPoint(const std::string& group, const std::string& entry, SettingPoint value);
    void setSize(const std::string& group, const std::string& entry, SettingSize value);

    void removeEntry(const std::string& group, const std::string& entry);
    void removeGroup(const std::string& group);
    void removeAll();

    bool beginEdit();
    bool commitEdit();
    bool cancelEdit();
    bool isEditing() const { return editing_; }

    bool addListener(IAppSettingsListener* listener);
    void removeListener(IAppSettingsListener* listener);

    // Reads every persisted group (values directly under the root are not read); false when
    // the configuration file cannot be read. Bad entries are skipped; font sizes beyond what
    // a screen shows are brought back within it.
    bool load(const std::string& applicationName, IUserLabelReceiver* userLabels);
    // Replaces the persisted groups by the committed ones, keeping the values at the file's
    // root; does nothing during an edit batch. The file is replaced only when written whole.
    bool save(const std::string& applicationName);
    // Empties the listener slots and all values, and destroys the instance.
    static void shutdown();

    // The per-user file of an application name: $XDG_CONFIG_HOME (or ~/.config)/NAME/NAME.conf.
    static std::string userConfigPath(const std::string& applicationName);
    // The configuration file as read (the user's file over the machine-wide one), for what
    // lives at its root beside the settings, such as the recent-files list; none when the
    // folder cannot be made or the user's file cannot be read.
    static std::optional<ConfigFile> readConfiguration(const std::string& applicationName);
    // Sets values at the root of the user's file, keeping everything else in it.
    static bool writeRootEntries(const std::string& applicationName,
                                 const std::vector<ConfigFile::Entry>& entries);

    // Groups and entries in order, for tests and the preferences.
    size_t groupCount() const { return committed_->size(); }
    const std::string& groupName(size_t index) const { return committed_->name(index); }
    std::vector<std::string> entryNames(const std::string& group) const;

  private:
    using EntryList = NamedObjectList<SettingValue>;
    using GroupList = NamedObjectList<EntryList>;

    SettingsStore();
    // The list writers change: the shadow list during an edit batch.
    GroupList& writable() { return editing_ ? *shadow_ : *committed_; }
    const SettingValue* lookup(const std::string& group, const std::string& entry) const;
    void write(const std::string& group, const std::string& entry, SettingValue value);
    void notify(const std::string& group);
    static std::unique_ptr<GroupList> copyOf(const GroupList& groups);

    std::unique_ptr<GroupList> committed_;
    std::unique_ptr<GroupList> shadow_;
    bool editing_ = false;
    std::array<IAppSettingsListener*, kListenerSlots> listeners_{};
    std::array<std::optional<std::string>, kPendingSlots> pending_{};
};

}  // namespace varlowe
