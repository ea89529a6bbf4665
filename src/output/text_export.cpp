#include "text_export.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <new>

#include "engine/capture/ipv6_address.h"
#include "engine/media/rtp_stream_registry.h"
#include "engine/output_file.h"
#include "engine/product_info.h"
#include "engine/sip/analysis_model.h"

namespace varlowe {

namespace {

void trimRight(std::string& text) {
    size_t end = text.find_last_not_of(' ');
    text.erase(end == std::string::npos ? 0 : end + 1);
}

size_t digitsOf(size_t value) {
    size_t digits = 1;
    while (value >= 10) {
        value /= 10;
        ++digits;
    }
    return digits;
}

void place(std::string& line, long position, const std::string& text) {
    for (size_t i = 0; i < text.size(); ++i) {
        long at = position + static_cast<long>(i);
        if (at >= 0 && at < static_cast<long>(line.size())) {
            line[static_cast<size_t>(at)] = text[i];
        }
    }
}

}  // namespace

bool DiagramColumns::add(const std::string& text) {
    if (texts_.size() >= kMaxColumns) {
        return false;
    }
    texts_.push_back(text);
    return true;
}

std::optional<std::string> DiagramColumns::at(size_t index) const {
    if (index >= texts_.size()) {
        return std::nullopt;
    }
    return texts_[index];
}

int DiagramColumns::find(const std::string& text) const {
    auto found = std::find(texts_.begin(), texts_.end(), text);
    return found == texts_.end() ? -1 : static_cast<int>(found - texts_.begin());
}

size_t TextSipDiagramWriter::columnWidth(size_t columnCount) {
    if (columnCount == 0) {
        return 32;
    }
    return std::clamp<size_t>(80 / columnCount, 18, 32);
}

std::string TextSipDiagramWriter::rowLabel(const AnalysisItem& item) {
    switch (item.kind) {
        case ItemKind::Sip: {
            const SipHeadline& sip = *item.sip;
            if (sip.isResponse()) {
                return std::to_string(sip.statusCode()) + " " + std::string(sip.reasonPhrase()) +
                       "/" + std::string(sip.cseqMethod());
            }
            return std::string(sip.method().value_or(""));
        }
        case ItemKind::Stun: {
            const std::string* type = item.stun ? item.stun->find("MSG_TYPE") : nullptr;
            return type ? *type : "";
        }
        case ItemKind::Media: {
            const RtpStream& s = *item.stream;
            return s.mediaName + "/" + s.encodingName + "(" + std::to_string(s.payloadType) + ")";
        }
    }
    return "";
}

std::string TextSipDiagramWriter::arrowLine(const AnalysisItem& item, const DiagramColumns& columns,
                                            size_t width, bool showPort, bool showTransport) {
    const ItemPacket& packet = item.packet;
    std::string line(width * columns.count(), ' ');
    const int source = columns.find(packet.sourceAddress());
    const int destination = columns.find(packet.destinationAddress());
    const long w = static_cast<long>(width);
    if (source >= 0 && destination >= 0 && source != destination) {
        const long S = source * w;
        const long T = destination * w;
        const bool rightwards = source < destination;
        if (rightwards) {
            for (long x = S + 1; x <= T - 2; ++x) line[static_cast<size_t>(x)] = '-';
            line[static_cast<size_t>(T - 1)] = '>';
        } else {
            for (long x = T + 1; x <= S - 1; ++x) line[static_cast<size_t>(x)] = '-';
            line[static_cast<size_t>(T + 1)] = '<';
        }
        if (showTransport) {
            line[static_cast<size_t>(rightwards ? S + 1 : S - 1)] =
                packet.transport == TransportKind::Udp ? 'U' : 'T';
        }
        const long distance = std::labs(T - S);
        long available = distance - 5;
        if (showPort && width >= 22) {
            const std::string& from = packet.sourcePort();
            const std::string& to = packet.destinationPort();
            if (rightwards) {
                place(line, S + 3, from);
                place(line, T - 3 - static_cast<long>(to.size()) + 1, to);
            } else {
                place(line, T + 3, to);
                place(line, S - 3 - static_cast<long>(from.size()) + 1, from);
            }
            available -= static_cast<long>(from.size() + 1 + to.size() + 1);
        }
        std::string label = rowLabel(item);
        label.resize(
            static_cast<size_t>(std::clamp<long>(available, 0, static_cast<long>(label.size()))));
        const long left = std::min(S, T);
        const long span = distance - 2;
        place(line, left + 2 + (span - static_cast<long>(label.size())) / 2, label);
    }
    for (size_t x = 0; x < line.size(); x += width) {
        if (line[x] == ' ') {
            line[x] = '|';
        } else if (line[x] == '-') {
            line[x] = '+';
        }
    }
    trimRight(line);
    if (source < 0 || destination < 0) {
        // An endpoint past the last column: the row keeps its place and says what it was.
        line += "  [" + packet.sourceAddress() + " > " + packet.destinationAddress() + " " +
                rowLabel(item) + "]";
    }
    return line;
}

void TextSipDiagramWriter::line(const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), file_);
    std::fwrite("\r\n", 1, 2, file_);
}

bool TextSipDiagramWriter::writeDiagram(const AnalysisModel& model) {
    DiagramColumns columns;
    for (const std::string& address : model.visibleAddresses()) {
        columns.add(address);
    }
    if (columns.count() == 0) {
        return false;
    }
    const size_t width = columnWidth(columns.count());
    const size_t rows = model.rowCount();
    const size_t digits = digitsOf(rows);
    const std::string blankPrefix(digits + 2, ' ');

    std::string header = blankPrefix;
    for (size_t i = 0; i < columns.count(); ++i) {
        std::string text = *columns.at(i);
        if (i + 1 < columns.count() && text.size() < width) {
            text.resize(width, ' ');
        }
        header += text;
    }
    line(header);
    std::string lifelines(width * columns.count(), ' ');
    for (size_t x = 0; x < lifelines.size(); x += width) lifelines[x] = '|';
    trimRight(lifelines);
    line(blankPrefix + lifelines);

    char prefix[32];
    for (size_t row = 0; row < rows; ++row) {
        std::snprintf(prefix, sizeof prefix, "%-*zu: ", static_cast<int>(digits), row + 1);
        line(prefix +
             arrowLine(*model.itemAtRow(RowIndex(row)), columns, width, showPort_, showTransport_));
    }
    line("");
    line(std::string("Generated Varlowe by Ostrane Software, Inc. (") + kProductWebAddress + ")");
    line("");
    line("");
    return true;
}

void TextSipDiagramWriter::writeLog(const AnalysisModel& model) {
    const std::unique_ptr<FrameRereader> reader = model.captureReader();
    for (size_t row = 0; row < model.rowCount(); ++row) {
        const AnalysisItem& item = *model.itemAtRow(RowIndex(row));
        const ItemPacket& p = item.packet;
        std::string title = " Msg #" + std::to_string(row + 1) + " / Packet #" +
                            std::to_string(p.number) + ": " +
                            endpointText(p.sourceAddress(), p.sourcePort()) + " --> " +
                            endpointText(p.destinationAddress(), p.destinationPort()) + " ";
        std::string separator = title;
        if (title.size() < 78) {
            separator = std::string(39, '<') + std::string(39, '>');
            separator.replace((78 - title.size()) / 2, title.size(), title);
        }
        line(separator);
        if (std::optional<std::string> text = itemText(model, item, reader.get())) {
            line(*text);
        }
    }
}

bool writeText(std::FILE* file, const AnalysisModel& model, const TextExportOptions& options) {
    TextSipDiagramWriter writer(file, options.showPort, options.showTransport);
    if (options.showDiagram && !writer.writeDiagram(model)) {
        return false;
    }
    if (options.showLog) {
        writer.writeLog(model);
    }
    // A full disk must not pass for a finished export.
    return std::fflush(file) == 0 && std::ferror(file) == 0;
}

SaveOutcome exportText(const std::string& path, const AnalysisModel& model,
                       const TextExportOptions& options) {
    const RtpStreamRegistry* registry = model.streamRegistry();
    OutputFile file(path, registry != nullptr ? registry->capturePath() : std::string());
    if (file.state() != SaveOutcome::Saved) {
        return file.state();
    }
    if (!writeText(file.stream(), model, options)) {
        return SaveOutcome::Failed;
    }
    return file.commit();
}

CopyAllText copyAllText(const AnalysisModel& model, const TextExportOptions& options) {
    CopyAllText result;
    std::error_code error;
    std::string folder = std::filesystem::temp_directory_path(error).string();
    if (folder.empty()) {
        folder = "/tmp";
    }
    std::string path = folder + "/varlowe-copy-XXXXXX";
    const int descriptor = mkstemp(path.data());
    if (descriptor < 0) {
        return result;
    }
    close(descriptor);
    if (exportText(path, model, options) != SaveOutcome::Saved) {
        // Nothing worth keeping was written: the empty placeholder goes too.
        std::remove(path.c_str());
        return result;
    }
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        std::remove(path.c_str());
        return result;
    }
    try {
        char buffer[65536];
        size_t read = 0;
        while ((read = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
            result.text.append(buffer, read);
        }
        result.outcome = CopyAllText::Outcome::Copied;
    } catch (const std::bad_alloc&) {
        result.text.clear();
        result.text.shrink_to_fit();
        result.outcome = CopyAllText::Outcome::NoMemory;
    }
    std::fclose(file);
    std::remove(path.c_str());
    return result;
}

}  // namespace varlowe
