#pragma once

#include <string>
#include <unordered_map>
#include <vector>

namespace varlowe {

// The settings file in the toolkit's file-configuration layout: entries "name=value" at the
// root, then "[group]" sections, names and values escaped as wxFileConfig escapes them, so
// that files written by either read in the other. Parsing and writing are linear in the
// file's size: a group may hold many thousands of entries (column labels).
class ConfigFile {
  public:
    struct Entry {
        std::string name;
        std::string value;
    };
    struct Group {
        std::string name;  // empty for the root
        std::vector<Entry> entries;
        std::unordered_map<std::string, size_t> index;
    };

    enum class ReadResult {
        Read,
        Missing,     // nothing at that path
        Refused,     // a folder, pipe, device or a file beyond any settings file's size
        Unreadable,  // there, but it cannot be opened or read
    };

    ConfigFile();

    // Adds the entries of a file's text; a later entry of a name replaces the earlier one's
    // value where it stands. Damaged lines are skipped.
    void parse(const std::string& text);
    std::string text() const;

    // Reads the file at `path` into this one (as parse); never blocks on a pipe.
    ReadResult read(const std::string& path);
    // Writes the file completely or not at all, leaving no temporary file behind; false when
    // the path is not a regular file's or the write failed.
    bool write(const std::string& path) const;

    // Nullptr when the group or entry is missing; "" is the root.
    const std::string* find(const std::string& group, const std::string& name) const;
    void set(const std::string& group, const std::string& name, const std::string& value);
    // The groups after the root, in file order.
    std::vector<const Group*> groups() const;
    const Group& root() const { return groups_.front(); }
    void clearRoot();

  private:
    Group& groupNamed(const std::string& name);

    std::vector<Group> groups_;  // the root first
    std::unordered_map<std::string, size_t> groupIndex_;
};

// A text read as a whole number as the toolkit's configuration reads one: optional blanks
// and sign, then digits to the end. False when it is not such a number or out of range.
bool configNumber(const std::string& text, long& value);

}  // namespace varlowe
