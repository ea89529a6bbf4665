#include "output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <random>

namespace varlowe {

bool sameFile(const std::string& a, const std::string& b) {
    struct stat first {};
    struct stat second {};
    if (a.empty() || b.empty() || ::stat(a.c_str(), &first) != 0 ||
        ::stat(b.c_str(), &second) != 0) {
        return false;
    }
    return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

namespace {

std::string folderOf(const std::string& path) {
    size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string nameOf(const std::string& path) {
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Where a path leads through its symbolic links, also when the last one points at a file
// that does not exist yet (that file is then created, as for a live link).
std::string whereLinksLead(std::string path) {
    for (int hop = 0; hop < 40; ++hop) {
        struct stat info {};
        if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) {
            return path;
        }
        std::string pointed(PATH_MAX, '\0');
        const ssize_t length = ::readlink(path.c_str(), pointed.data(), pointed.size());
        if (length <= 0 || static_cast<size_t>(length) >= pointed.size()) {
            return path;
        }
        pointed.resize(static_cast<size_t>(length));
        path = pointed.front() == '/' ? pointed : folderOf(path) + "/" + pointed;
    }
    return path;  // a loop of links: the open below fails on it
}

// Creates a new file beside the target with a name no other file has; the permissions are
// those a plain create gives (the user's umask applies).
int createTemporary(const std::string& target, std::string& name) {
    std::random_device seed;
    std::mt19937_64 random(seed());
    const std::string prefix = folderOf(target) + "/." + nameOf(target) + ".";
    for (int attempt = 0; attempt < 64; ++attempt) {
        char suffix[24];
        std::snprintf(suffix, sizeof suffix, "%012llx.tmp",
                      static_cast<unsigned long long>(random() & 0xffffffffffffull));
        name = prefix + suffix;
        int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) {
            return fd;
        }
    }
    return -1;
}

}  // namespace

OutputFile::OutputFile(const std::string& target, const std::string& protectedPath)
    : target_(target) {
    if (target.empty()) {
        return;
    }
    if (sameFile(target, protectedPath)) {
        state_ = SaveOutcome::SameAsInput;
        return;
    }
    // Write through symbolic links: the file a link names is replaced (or made), not the link.
    target_ = whereLinksLead(target);
    struct stat existing {};
    const bool exists = ::stat(target_.c_str(), &existing) == 0;
    if (exists && S_ISDIR(existing.st_mode)) {
        return;
    }
    if (exists && !S_ISREG(existing.st_mode)) {
        stream_ = std::fopen(target_.c_str(), "wb");  // a device or a pipe: nothing to replace
        state_ = stream_ != nullptr ? SaveOutcome::Saved : SaveOutcome::Failed;
        return;
    }
    if (exists && ::access(target_.c_str(), W_OK) != 0) {
        return;  // a file its user may not write is not replaced either
    }
    int fd = createTemporary(target_, temporary_);
    if (fd < 0) {
        temporary_.clear();
        return;
    }
    if (exists) {
        (void)::fchmod(fd, existing.st_mode & 07777);
    }
    stream_ = ::fdopen(fd, "wb");
    if (stream_ == nullptr) {
        ::close(fd);
        discard();
        return;
    }
    state_ = SaveOutcome::Saved;
}

OutputFile::~OutputFile() {
    if (stream_ != nullptr) {
        std::fclose(stream_);
        stream_ = nullptr;
    }
    discard();
}

void OutputFile::discard() {
    if (!temporary_.empty()) {
        ::unlink(temporary_.c_str());
        temporary_.clear();
    }
}

SaveOutcome OutputFile::commit() {
    if (state_ != SaveOutcome::Saved || stream_ == nullptr) {
        return state_ == SaveOutcome::SameAsInput ? state_ : SaveOutcome::Failed;
    }
    bool written = std::fflush(stream_) == 0 && std::ferror(stream_) == 0;
    if (written && !temporary_.empty()) {
        written = ::fsync(::fileno(stream_)) == 0;  // in place before it replaces the target
    }
    written = std::fclose(stream_) == 0 && written;
    stream_ = nullptr;
    if (written && !temporary_.empty()) {
        written = std::rename(temporary_.c_str(), target_.c_str()) == 0;
        if (written) {
            temporary_.clear();
        }
    }
    discard();
    state_ = written ? SaveOutcome::Saved : SaveOutcome::Failed;
    return state_;
}

}  // namespace varlowe
