#pragma once

#include <cstdint>
#include <string>

#include "setting_value.h"

namespace varlowe {

// The program's own version and the build number in it (the text after the last ".").
extern const char* const kProgramVersion;
int32_t buildNumberOf(const std::string& version);

// Where the newest build is announced, on the version-check host.
extern const char* const kVersionCheckPath;

// The outcome of asking the server: whether a usable reply came, whether its build is newer
// than ours, and then the web address it names.
struct VersionCheckResult {
    bool succeeded = false;
    bool newer = false;
    std::string address;
};

// Reads a reply "build,address[ anything]". The address ends at a blank or a line end; only
// an http:// or https:// address makes a usable reply (nothing else is ever opened).
VersionCheckResult readVersionReply(const std::string& reply, int32_t ownBuild);

// The start-up schedule: a check is due when `now` is strictly later than the stored date
// (at one-second resolution); the next one is due after the day 30 days on. The settings
// keep only the day, and read it back with its last second: the next date says so at once.
bool versionCheckDue(const SettingDate& now, const SettingDate& next);
SettingDate addDays(const SettingDate& date, int days);
SettingDate nextVersionCheckAfter(const SettingDate& now);
constexpr int kVersionCheckIntervalDays = 30;

// The texts of the boxes.
extern const char* const kVersionCheckTitle;
extern const char* const kVersionCheckFailedText;
extern const char* const kUpToDateText;
std::string newVersionQuestion(const std::string& address);

}  // namespace varlowe
