#include "version_check.h"

#include <ctime>
#include <tuple>

#include "engine/product_info.h"
#include "engine/text_search.h"

namespace varlowe {

const char* const kProgramVersion = kProductVersion;
const char* const kVersionCheckPath = "/versioncheck/latest.txt";
const char* const kVersionCheckTitle = "Version Check";
const char* const kVersionCheckFailedText =
    "Unable to perform an automatic version check.  Please check your network connection and "
    "try again.  You can also find the latest version at https://varlowe.ostrane.com.";
const char* const kUpToDateText = "You are already running the latest version of Varlowe.";

int32_t buildNumberOf(const std::string& version) {
    const size_t dot = version.rfind('.');
    return static_cast<int32_t>(
        leadingNumber(dot == std::string::npos ? version : version.substr(dot + 1)));
}

namespace {
bool startsWith(const std::string& text, const char* prefix) {
    return text.compare(0, std::char_traits<char>::length(prefix), prefix) == 0;
}
}  // namespace

VersionCheckResult readVersionReply(const std::string& reply, int32_t ownBuild) {
    VersionCheckResult result;
    // The first token: up to the first comma, leading commas skipped.
    size_t start = reply.find_first_not_of(',');
    if (start == std::string::npos) {
        return result;
    }
    size_t end = reply.find(',', start);
    const std::string build = reply.substr(start, end - start);
    if (end == std::string::npos) {
        return result;
    }
    // The second: after that comma, leading blanks skipped, up to a blank or a line end.
    const char* const separators = " \t\r\n";
    start = reply.find_first_not_of(separators, end + 1);
    if (start == std::string::npos) {
        return result;
    }
    end = reply.find_first_of(separators, start);
    const std::string address = reply.substr(start, end - start);
    if (!startsWith(address, "http://") && !startsWith(address, "https://")) {
        return result;
    }
    result.succeeded = true;
    if (leadingNumber(build) > ownBuild) {
        result.newer = true;
        result.address = address;
    }
    return result;
}

namespace {
auto secondsOf(const SettingDate& d) {
    return std::make_tuple(d.year, d.month, d.day, d.hour, d.minute, d.second);
}
}  // namespace

bool versionCheckDue(const SettingDate& now, const SettingDate& next) {
    return secondsOf(now) > secondsOf(next);
}

SettingDate addDays(const SettingDate& date, int days) {
    // Calendar arithmetic in UTC at noon: no time zone or daylight saving moves the day.
    std::tm day{};
    day.tm_year = date.year - 1900;
    day.tm_mon = date.month;
    day.tm_mday = date.day + days;
    day.tm_hour = 12;
    const std::time_t normalised = timegm(&day);
    gmtime_r(&normalised, &day);
    SettingDate out = date;
    out.year = day.tm_year + 1900;
    out.month = day.tm_mon;
    out.day = day.tm_mday;
    return out;
}

SettingDate nextVersionCheckAfter(const SettingDate& now) {
    SettingDate next = addDays(now, kVersionCheckIntervalDays);
    next.hour = 23;
    next.minute = 59;
    next.second = 59;
    next.millisecond = 0;
    return next;
}

std::string newVersionQuestion(const std::string& address) {
    return "A new version of Varlowe is available, would you like to learn more?\n(pressing yes "
           "will launch " +
           address + " in your web browser).";
}

}  // namespace varlowe
