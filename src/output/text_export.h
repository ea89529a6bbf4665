#pragma once

#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/output_file.h"

namespace varlowe {

class AnalysisModel;
struct AnalysisItem;

// The export's own list of endpoint columns, in order of first occurrence, at most 64.
class DiagramColumns {
  public:
    static constexpr size_t kMaxColumns = 64;

    virtual ~DiagramColumns() = default;
    // False, adding nothing, when the list is full.
    bool add(const std::string& text);
    std::optional<std::string> at(size_t index) const;
    int find(const std::string& text) const;
    size_t count() const { return texts_.size(); }

  private:
    std::vector<std::string> texts_;
};

struct TextExportOptions {
    bool showPort = false;
    bool showTransport = true;
    bool showDiagram = true;
    bool showLog = true;
};

// Writes the ladder diagram and the message log of the model's shown rows.
class TextSipDiagramWriter {
  public:
    TextSipDiagramWriter(std::FILE* file, bool showPort, bool showTransport)
        : showPort_(showPort), showTransport_(showTransport), file_(file) {}
    virtual ~TextSipDiagramWriter() = default;

    // False, writing nothing, when the shown rows have no endpoint.
    bool writeDiagram(const AnalysisModel& model);
    void writeLog(const AnalysisModel& model);

    // The drawing of one row (without its prefix and line end), for tests and the diagram.
    static std::string arrowLine(const AnalysisItem& item, const DiagramColumns& columns,
                                 size_t width, bool showPort, bool showTransport);
    static std::string rowLabel(const AnalysisItem& item);
    static size_t columnWidth(size_t columnCount);

  private:
    void line(const std::string& text);

    bool showPort_;
    bool showTransport_;
    std::FILE* file_;
};

// The whole export into `path`, which is replaced only when the export is complete; Failed
// when the file cannot be written or the diagram, when asked for, has no endpoint. The
// capture the model was read from is never written over.
SaveOutcome exportText(const std::string& path, const AnalysisModel& model,
                       const TextExportOptions& options);
// The same into an open stream (binary), which stays open.
bool writeText(std::FILE* file, const AnalysisModel& model, const TextExportOptions& options);

// "Copy All": the export through a temporary file of the system's, read back whole.
struct CopyAllText {
    enum class Outcome { Copied, ExportFailed, NoMemory };
    Outcome outcome = Outcome::ExportFailed;
    std::string text;
};
CopyAllText copyAllText(const AnalysisModel& model, const TextExportOptions& options);

}  // namespace varlowe
