#include "diagram_image.h"

#include <unistd.h>

#include <wx/bitmap.h>
#include <wx/dcmemory.h>
#include <wx/dcsvg.h>
#include <wx/image.h>
#include <wx/log.h>
#include <wx/mstream.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <string_view>
#include <vector>

#include "diagram_view/diagram_painter.h"
#include "engine/output_file.h"
#include "settings/app_settings.h"

namespace varlowe {
namespace diagram_image {

namespace {

PaintArea wholeDiagram(const DiagramGeometry& geometry, size_t rows, Size size) {
    PaintArea area;
    area.print = true;
    area.rows = RowRange{0, rows};
    area.xOffset = 0;
    area.headerY = 0;
    area.firstRowY = geometry.headerHeight;
    area.fillX = 0;
    area.fillWidth = static_cast<int>(size.width);
    area.lifelineTop = geometry.headerHeight;
    area.lifelineBottom = static_cast<int>(size.height);
    area.showTimeDeltas = AppSettings::diagramShowTimeDeltas();
    area.showAbsoluteTime = AppSettings::diagramShowAbsTime();
    return area;
}

void paintWhole(wxDC& dc, const DiagramPainter& painter, const PaintArea& area) {
    dc.SetBackground(*wxWHITE_BRUSH);
    dc.Clear();
    painter.paintRows(dc, area);
    painter.paintHeader(dc, area);
}

bool writeBytes(const std::string& path, const std::string& protectedPath, const void* data,
                size_t length, SaveOutcome& outcome) {
    OutputFile file(path, protectedPath);
    if (file.state() != SaveOutcome::Saved) {
        outcome = file.state();
        return false;
    }
    if (length > 0 && std::fwrite(data, 1, length, file.stream()) != length) {
        outcome = SaveOutcome::Failed;
        return false;
    }
    outcome = file.commit();
    return outcome == SaveOutcome::Saved;
}

}  // namespace

Format formatOf(const std::string& path) {
    if (path.size() >= 4) {
        std::string end = path.substr(path.size() - 4);
        std::transform(end.begin(), end.end(), end.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        if (end == ".svg") {
            return Format::Svg;
        }
    }
    return Format::Png;
}

std::optional<std::string> typeRefusal(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    const size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash) ||
        dot == path.size() - 1 || dot == (slash == std::string::npos ? 0 : slash + 1)) {
        return std::nullopt;  // no type named (a hidden file's leading dot names none)
    }
    std::string type = path.substr(dot + 1);
    std::transform(type.begin(), type.end(), type.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (type == "png" || type == "svg") {
        return std::nullopt;
    }
    return path + " names a ." + type +
           " file; Varlowe writes the diagram as a PNG (.png) or SVG (.svg) image.";
}

std::optional<std::string> refusal(Size size, Format format) {
    if (format == Format::Png && (size.width > kPngLimit || size.height > kPngLimit)) {
        char text[256];
        std::snprintf(text, sizeof text,
                      "The diagram is %lld x %lld pixels; a PNG image can be at most %lld pixels "
                      "wide and high. Save it as SVG, or filter the diagram to fewer rows.",
                      static_cast<long long>(size.width), static_cast<long long>(size.height),
                      static_cast<long long>(kPngLimit));
        return std::string(text);
    }
    return std::nullopt;
}

namespace {

DiagramGeometry imageGeometry(const DiagramStyle& style) {
    DiagramGeometry geometry = baseGeometry(style);
    geometry.columnWidth = kColumnWidth;
    return geometry;
}

}  // namespace

Size sizeOf(const DiagramState& state, const DiagramStyle& style) {
    const DiagramGeometry geometry = imageGeometry(style);
    const int64_t columns = static_cast<int64_t>(state.visibleColumns().size());
    return Size{columns * kColumnWidth + DiagramGeometry::kExtraWidth,
                geometry.virtualHeight(state.rowCount())};
}

Result write(const DiagramState& state, const DiagramStyle& style, ItemDrawCache& cache,
             const std::string& path, const std::string& protectedPath) {
    Result result;
    const DiagramGeometry geometry = imageGeometry(style);
    const size_t rows = state.rowCount();
    result.size = sizeOf(state, style);
    const Format format = formatOf(path);
    // The capture itself is refused as such further on, whatever its name says.
    const bool overCapture = !protectedPath.empty() && sameFile(path, protectedPath);
    if (std::optional<std::string> why = typeRefusal(path); why && !overCapture) {
        result.refusal = *why;
        return result;
    }
    if (std::optional<std::string> why = refusal(result.size, format)) {
        result.refusal = *why;
        return result;
    }
    DiagramPainter painter(state, geometry, style, cache);
    const PaintArea area = wholeDiagram(geometry, rows, result.size);
    const int width = static_cast<int>(result.size.width);
    const int height = static_cast<int>(std::max<int64_t>(1, result.size.height));

    if (format == Format::Png) {
        wxBitmap bitmap(width, height, 24);
        if (!bitmap.IsOk()) {
            return result;
        }
        {
            wxMemoryDC dc(bitmap);
            paintWhole(dc, painter, area);
        }
        wxMemoryOutputStream stream;
        if (!bitmap.ConvertToImage().SaveFile(stream, wxBITMAP_TYPE_PNG)) {
            return result;
        }
        std::vector<char> bytes(stream.GetLength());
        stream.CopyTo(bytes.data(), bytes.size());
        writeBytes(path, protectedPath, bytes.data(), bytes.size(), result.outcome);
        return result;
    }

    // The toolkit writes SVG to a file name of its own; the file is then put in place
    // whole, as every output is. It reports its own write failures in a box, which the
    // command line must never show: the failure is seen in what it wrote instead.
    wxLogNull quiet;
    std::error_code error;
    std::string folder = std::filesystem::temp_directory_path(error).string();
    std::string drawn = (folder.empty() ? std::string("/tmp") : folder) + "/varlowe-svg-XXXXXX";
    const int descriptor = mkstemp(drawn.data());
    if (descriptor < 0) {
        return result;
    }
    close(descriptor);
    {
        wxSVGFileDC dc(wxString::FromUTF8(drawn), width, height, 72, "Varlowe call flow");
        // The icons go into the document itself: files beside it would be left in the
        // temporary folder and missing wherever the image is opened.
        dc.SetBitmapHandler(new wxSVGBitmapEmbedHandler());
        if (dc.IsOk()) {
            paintWhole(dc, painter, area);
        }
    }
    std::FILE* in = std::fopen(drawn.c_str(), "rb");
    std::vector<char> bytes;
    if (in != nullptr) {
        char buffer[65536];
        size_t read = 0;
        while ((read = std::fread(buffer, 1, sizeof buffer, in)) > 0) {
            bytes.insert(bytes.end(), buffer, buffer + read);
        }
        std::fclose(in);
    }
    std::remove(drawn.c_str());
    // A full disk cuts the document short: only a whole one, up to its closing tag, is kept.
    static constexpr std::string_view kEnd = "</svg>";
    std::string_view text(bytes.data(), bytes.size());
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) {
        text.remove_suffix(1);
    }
    if (text.size() < kEnd.size() || text.substr(text.size() - kEnd.size()) != kEnd) {
        return result;
    }
    writeBytes(path, protectedPath, bytes.data(), bytes.size(), result.outcome);
    return result;
}

}  // namespace diagram_image
}  // namespace varlowe
