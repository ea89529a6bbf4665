#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "parsing_options.h"

namespace varlowe {

class AnalysisModel;

// Progress of the pass with a Cancel button; the window implements it.
class IAnalysisProgress {
  public:
    virtual ~IAnalysisProgress() = default;
    virtual void begin(const std::string& title, const std::string& message, int range) = 0;
    // False when the user asked to cancel.
    virtual bool update(int value, const std::string& message) = 0;
    virtual void end() = 0;
};

// The questions and error boxes of the pass; the window implements them.
class IAnalysisDialogs {
  public:
    virtual ~IAnalysisDialogs() = default;
    virtual void showError(const std::string& title, const std::string& message) = 0;
    virtual bool askYesNo(const std::string& title, const std::string& message) = 0;
};

extern const char* const kParsingProgressTitle;
extern const char* const kParsingProgressMessage;
extern const char* const kOpenFailureText;
// What is said of a capture that ends inside the packet record at that byte.
std::string cutShortNote(uint64_t offset);
// The open failure text followed by the reason, when there is one, on a line of its own.
std::string openFailureMessage(const std::string& path, const std::string& reason);

enum class AnalysisOutcome {
    Analysed,             // the model holds what was read (all of it, or up to Cancel)
    OpenFailed,           // the error box was shown; the caller drops the path from recent files
    EmptyCaptureDeleted,  // an empty live capture the user chose to delete
};

struct AnalysisResult {
    AnalysisOutcome outcome = AnalysisOutcome::OpenFailed;
    bool cancelled = false;
    std::unique_ptr<AnalysisModel> model;  // with its stream registry; set when Analysed
    std::string failureReason;             // why the capture could not be opened
};

// The single pass that turns a capture file into an analysed model. The caller (the main
// window) checks for an already open window first and builds the diagram window after it.
class PacketAnalysisDriver {
  public:
    PacketAnalysisDriver(ParsingOptions options, IAnalysisProgress* progress,
                         IAnalysisDialogs* dialogs)
        : options_(options), progress_(progress), dialogs_(dialogs) {}

    AnalysisResult analyse(const std::string& path, bool fromLiveCapture);

  private:
    ParsingOptions options_;
    IAnalysisProgress* progress_;
    IAnalysisDialogs* dialogs_;
};

}  // namespace varlowe
