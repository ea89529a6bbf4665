#include "config_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "engine/output_file.h"

namespace varlowe {

namespace {

// Far beyond any settings file (200,000 column labels take about 10 MB); a larger file is
// not one of ours and is not read into memory.
constexpr off_t kLargestFile = 256 * 1024 * 1024;

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\v' || c == '\f';
}

// Names keep letters, digits, bytes beyond ASCII and a few safe marks; the rest is escaped.
std::string escapeName(const std::string& name) {
    std::string out;
    out.reserve(name.size());
    for (char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80 && !std::isalnum(byte) && std::strchr("@_/-!.*%()", c) == nullptr) {
            out += '\\';
        }
        out += c;
    }
    return out;
}

std::string unescapeName(const char* begin, const char* end) {
    std::string out;
    out.reserve(static_cast<size_t>(end - begin));
    for (const char* at = begin; at < end; ++at) {
        if (*at == '\\' && ++at == end) {
            break;
        }
        out += *at;
    }
    return out;
}

// A value that starts with a blank or a quote is quoted, so that it reads back whole.
std::string escapeValue(const std::string& value) {
    if (value.empty()) {
        return value;
    }
    const bool quote = isBlank(value[0]) || value[0] == '"';
    std::string out;
    out.reserve(value.size() + 2);
    if (quote) {
        out += '"';
    }
    for (char c : value) {
        switch (c) {
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '"':
                out += quote ? "\\\"" : "\"";
                break;
            default:
                out += c;
        }
    }
    if (quote) {
        out += '"';
    }
    return out;
}

std::string unescapeValue(const char* begin, const char* end) {
    std::string out;
    out.reserve(static_cast<size_t>(end - begin));
    const char* at = begin;
    const bool quoted = at < end && *at == '"';
    if (quoted) {
        ++at;
    }
    for (; at < end; ++at) {
        if (*at == '\\') {
            if (++at == end) {
                break;
            }
            switch (*at) {
                case 'n':
                    out += '\n';
                    break;
                case 'r':
                    out += '\r';
                    break;
                case 't':
                    out += '\t';
                    break;
                case '\\':
                case '"':
                    out += *at;
                    break;
                default:
                    break;  // an unknown escape is dropped
            }
        } else if (*at != '"' || !quoted) {
            out += *at;
        }
        // else: a quote inside or closing a quoted value
    }
    return out;
}

}  // namespace

bool configNumber(const std::string& text, long& value) {
    if (text.empty()) {
        return false;
    }
    errno = 0;
    char* end = nullptr;
    const long parsed = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || end == text.c_str() || *end != '\0') {
        return false;
    }
    value = parsed;
    return true;
}

ConfigFile::ConfigFile() {
    groups_.emplace_back();
    groupIndex_.emplace("", 0);
}

ConfigFile::Group& ConfigFile::groupNamed(const std::string& name) {
    auto [at, added] = groupIndex_.emplace(name, groups_.size());
    if (added) {
        groups_.emplace_back();
        groups_.back().name = name;
    }
    return groups_[at->second];
}

void ConfigFile::set(const std::string& group, const std::string& name, const std::string& value) {
    Group& target = groupNamed(group);
    auto [at, added] = target.index.emplace(name, target.entries.size());
    if (added) {
        target.entries.push_back(Entry{name, value});
    } else {
        target.entries[at->second].value = value;
    }
}

const std::string* ConfigFile::find(const std::string& group, const std::string& name) const {
    auto g = groupIndex_.find(group);
    if (g == groupIndex_.end()) {
        return nullptr;
    }
    const Group& entries = groups_[g->second];
    auto e = entries.index.find(name);
    return e == entries.index.end() ? nullptr : &entries.entries[e->second].value;
}

std::vector<const ConfigFile::Group*> ConfigFile::groups() const {
    std::vector<const Group*> out;
    for (size_t i = 1; i < groups_.size(); ++i) {
        out.push_back(&groups_[i]);
    }
    return out;
}

void ConfigFile::clearRoot() {
    groups_.front().entries.clear();
    groups_.front().index.clear();
}

void ConfigFile::parse(const std::string& text) {
    std::string group;
    const char* at = text.data();
    const char* const stop = text.data() + text.size();
    while (at < stop) {
        const char* lineEnd = at;
        while (lineEnd < stop && *lineEnd != '\n' && *lineEnd != '\r') {
            ++lineEnd;
        }
        const char* next = lineEnd;
        if (next < stop && *next == '\r') {
            ++next;
        }
        if (next < stop && *next == '\n') {
            ++next;
        }
        const char* line = at;
        at = next;
        while (line < lineEnd && isBlank(*line)) {
            ++line;
        }
        if (line == lineEnd || *line == ';' || *line == '#') {
            continue;
        }
        if (*line == '[') {
            const char* close = line + 1;
            while (close < lineEnd && *close != ']') {
                close += *close == '\\' ? 2 : 1;
            }
            if (close >= lineEnd) {
                continue;  // a damaged group line: its entries go to the group before
            }
            group = unescapeName(line + 1, close);
            while (!group.empty() && group.front() == '/') {
                group.erase(0, 1);
            }
            groupNamed(group);
            continue;
        }
        const char* equals = line;
        while (equals < lineEnd && *equals != '=') {
            equals += *equals == '\\' && equals + 1 < lineEnd ? 2 : 1;
        }
        if (equals >= lineEnd) {
            continue;  // no "=": not an entry
        }
        const char* nameEnd = equals;
        while (nameEnd > line && isBlank(nameEnd[-1])) {
            --nameEnd;
        }
        if (*line == '!') {
            ++line;  // the toolkit's mark of an entry the user may not change
        }
        const char* value = equals + 1;
        while (value < lineEnd && isBlank(*value)) {
            ++value;
        }
        set(group, unescapeName(line, nameEnd), unescapeValue(value, lineEnd));
    }
}

std::string ConfigFile::text() const {
    std::string out;
    for (const Group& group : groups_) {
        if (&group != &groups_.front()) {
            out += '[' + escapeName(group.name) + "]\n";
        }
        for (const Entry& entry : group.entries) {
            out += escapeName(entry.name);
            out += '=';
            out += escapeValue(entry.value);
            out += '\n';
        }
    }
    return out;
}

ConfigFile::ReadResult ConfigFile::read(const std::string& path) {
    // Non-blocking, so that a pipe put in the file's place cannot hold the program up.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return errno == ENOENT ? ReadResult::Missing : ReadResult::Unreadable;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size > kLargestFile) {
        ::close(fd);
        return ReadResult::Refused;
    }
    std::string text(static_cast<size_t>(info.st_size), '\0');
    size_t have = 0;
    while (have < text.size()) {
        const ssize_t got = ::read(fd, &text[have], text.size() - have);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            ::close(fd);
            return ReadResult::Unreadable;
        }
        if (got == 0) {
            break;  // shortened while reading: what is there is read
        }
        have += static_cast<size_t>(got);
    }
    ::close(fd);
    text.resize(have);
    parse(text);
    return ReadResult::Read;
}

bool ConfigFile::write(const std::string& path) const {
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) {
        return false;  // a folder, pipe or device stands there: left alone
    }
    OutputFile file(path);
    if (file.state() != SaveOutcome::Saved) {
        return false;
    }
    const std::string content = text();
    if (std::fwrite(content.data(), 1, content.size(), file.stream()) != content.size()) {
        return false;
    }
    return file.commit() == SaveOutcome::Saved;
}

}  // namespace varlowe
