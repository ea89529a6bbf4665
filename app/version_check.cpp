#include "version_check.h"

#include <tuple>

#include "text_search.h"

namespace varlowe {

const char* const kProgramVersion = "1.0.0.3970";
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

// Days since 1970-01-01 of a civil date (month from 0), and back.
int64_t daysFromCivil(int64_t year, int month0, int day) {
    const int month = month0 + 1;
    year -= month <= 2;
    const int64_t era = (year >= 0 ? year : year - 399) / 400;
    const int64_t yearOfEra = year - era * 400;
    const int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

void civilFromDays(int64_t days, int& year, int& month0, int& day) {
    days += 719468;
    const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const int64_t dayOfEra = days - era * 146097;
    const int64_t yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const int64_t mp = (5 * dayOfYear + 2) / 153;
    day = static_cast<int>(dayOfYear - (153 * mp + 2) / 5 + 1);
    const int month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(yearOfEra + era * 400 + (month <= 2));
    month0 = month - 1;
}
}  // namespace

bool versionCheckDue(const SettingDate& now, const SettingDate& next) {
    return secondsOf(now) > secondsOf(next);
}

SettingDate addDays(const SettingDate& date, int days) {
    SettingDate out = date;
    civilFromDays(daysFromCivil(date.year, date.month, date.day) + days, out.year, out.month,
                  out.day);
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
