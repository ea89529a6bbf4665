#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "engine/output_file.h"

namespace varlowe {

class DiagramState;
struct DiagramStyle;
class ItemDrawCache;

// The ladder as an image file: every shown row under the header, drawn by the diagram's
// painter in print mode at one pixel per screen pixel.
namespace diagram_image {

enum class Format { Png, Svg };

// SVG for a ".svg" name (any case), PNG otherwise.
Format formatOf(const std::string& path);
// Why a path cannot be written: it names a file type other than PNG and SVG ("x.jpg"); none
// for .png, .svg or a name without a type (written as PNG).
std::optional<std::string> typeRefusal(const std::string& path);

// The largest width or height a PNG may have.
constexpr int64_t kPngLimit = 32767;

struct Size {
    int64_t width = 0;
    int64_t height = 0;
};

// Columns wide enough for the method, CSeq and both ports under an arrow; the window
// stretches its columns the same way when it is wide.
constexpr int kColumnWidth = 220;

// The image of the diagram's shown rows: the header, every row, the margins.
Size sizeOf(const DiagramState& state, const DiagramStyle& style);

// Why an image of that size cannot be written in that format; none when it can.
std::optional<std::string> refusal(Size size, Format format);

struct Result {
    SaveOutcome outcome = SaveOutcome::Failed;
    std::string refusal;  // set when the size was refused (nothing written)
    Size size;
};

// Writes the image; the capture at `protectedPath` is never written over and a failed write
// leaves whatever stood at `path`.
Result write(const DiagramState& state, const DiagramStyle& style, ItemDrawCache& cache,
             const std::string& path, const std::string& protectedPath);

}  // namespace diagram_image
}  // namespace varlowe
