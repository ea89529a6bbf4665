#pragma once

#include <cstdio>
#include <string>

namespace varlowe {

enum class SaveOutcome {
    Saved,
    SameAsInput,  // the output is the file being read: refused, nothing written
    Failed,       // could not be created or written; whatever stood there is untouched
};

// True when both paths name one existing file (same device and inode), whatever the
// spelling: symbolic links, "..", hard links.
bool sameFile(const std::string& a, const std::string& b);

// A file that is written completely or not at all. The data goes to a temporary file in the
// target's folder, which replaces the target only when every write succeeded; a failed or
// abandoned write leaves the target as it was. A target that exists keeps its permissions;
// one its user may not write is refused. A symbolic link is written through, also one whose
// file does not exist yet. Devices, pipes and other special files (such as /dev/null) are
// written directly.
class OutputFile {
  public:
    // Opens for binary writing. Refuses a target that is the same file as `protectedPath`
    // (the capture being read); an empty protected path protects nothing.
    OutputFile(const std::string& target, const std::string& protectedPath = "");
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Saved while the file is open and usable; SameAsInput or Failed when it was refused.
    SaveOutcome state() const { return state_; }
    std::FILE* stream() const { return stream_; }

    // Flushes, closes and puts the file in place. Saved only when everything was written.
    SaveOutcome commit();

  private:
    void discard();

    std::string target_;     // where the file ends up
    std::string temporary_;  // empty when writing directly
    std::FILE* stream_ = nullptr;
    SaveOutcome state_ = SaveOutcome::Failed;
};

}  // namespace varlowe
