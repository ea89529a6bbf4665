#pragma once

#include <wx/dc.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <unordered_map>

#include "diagram/diagram_geometry.h"
#include "diagram/diagram_state.h"
#include "diagram_style.h"
#include "toolkit/toolkit_text.h"

namespace varlowe {

// What the painter remembers about items between paints: whether a request was answered
// (forgotten at each rebuild, since it depends on the rows shown) and whether a SIP
// message's SDP offers audio or video (kept: it never changes).
class ItemDrawCache {
  public:
    bool isAnswered(const AnalysisModel& model, const AnalysisItem& item);
    struct Media {
        bool audio = false;
        bool video = false;
    };
    Media mediaOf(const AnalysisModel& model, const AnalysisItem& item);
    void forgetAnswers() { answered_.clear(); }

    // The texts of an item's arrow converted, fitted to its box and measured, kept for the
    // box width and direction they were made for: repainting a row does no string work.
    struct FittedTexts {
        int boxWidth = -1;
        bool rightward = true;
        wxString top, centre, left, right;
        int topWidth = 0, centreWidth = 0, leftWidth = 0, rightWidth = 0;
    };
    const FittedTexts& fittedTexts(const AnalysisItem& item, int boxWidth, bool rightward,
                                   const std::function<int(const wxString&)>& measure);
    // A column's header text fitted into `width` on screen, and its width: `fit`'s answer,
    // asked once for each text and width.
    struct FittedText {
        wxString text;
        int width = 0;
    };
    const FittedText& fittedHeader(const std::string& text, int width,
                                   const std::function<FittedText()>& fit);
    // Forgets the fitted texts (the fonts changed).
    void forgetTexts() {
        texts_.clear();
        headers_.clear();
    }

  private:
    std::unordered_map<size_t, bool> answered_;
    std::unordered_map<size_t, Media> media_;
    std::unordered_map<size_t, FittedTexts> texts_;
    std::unordered_map<std::string, FittedText> headers_;  // by width and text
};

// Where on the device a paint goes. Rows [rows.first, rows.end) are drawn; the top of row
// rows.first is at firstRowY and the others follow one row height apart. Document x plus
// xOffset is the device x.
struct PaintArea {
    bool print = false;
    RowRange rows;
    int xOffset = 0;
    int headerY = 0;
    int firstRowY = 0;
    int fillX = 0;  // the horizontal span of the header band and row backgrounds
    int fillWidth = 0;
    int lifelineTop = 0;  // lifelines run between these two device y
    int lifelineBottom = 0;
    bool showTimeDeltas = true;
    bool showAbsoluteTime = true;
    // On screen the time margin stays at the left while the rows scroll sideways, and an
    // arrow's texts stay within the part of it in view.
    bool stickyMargin = false;
};

// Draws the header and a range of rows of a diagram onto any device context: the screen,
// a printed page or an image file. Nothing of the state or the style is changed.
class DiagramPainter {
  public:
    DiagramPainter(const DiagramState& state, const DiagramGeometry& geometry,
                   const DiagramStyle& style, ItemDrawCache& cache)
        : state_(state), geometry_(geometry), style_(style), cache_(cache) {}

    void paint(wxDC& dc, const PaintArea& area) const;
    void paintHeader(wxDC& dc, const PaintArea& area) const;
    void paintRows(wxDC& dc, const PaintArea& area) const;
    // Where an empty ladder's rows would be: why the capture gave nothing to show.
    void paintEmptyReasons(wxDC& dc, const PaintArea& area) const;

    // The texts of an item's arrow: the one above it and the three below it.
    struct ArrowTexts {
        std::string top;
        std::string left, centre, right;
    };
    static ArrowTexts arrowTexts(const AnalysisItem& item);

  private:
    int rowTopY(const PaintArea& area, size_t row) const;
    // The visible columns [first, end) that lie in the area's horizontal span.
    std::pair<size_t, size_t> columnsInArea(const PaintArea& area, size_t columnCount) const;
    int rowCentreY(const PaintArea& area, size_t row) const {
        return rowTopY(area, row) + geometry_.rowHeight / 2;
    }
    void paintItem(wxDC& dc, const PaintArea& area, size_t row, const AnalysisItem& item) const;
    // `lineHeight`: of a line in the time font on this device, measured once per paint.
    void paintTimes(wxDC& dc, const PaintArea& area, size_t row, const AnalysisItem& item,
                    int lineHeight) const;
    // The marks of find matches and bookmarks (the screen only).
    void paintRowMarks(wxDC& dc, const PaintArea& area) const;
    void paintMarkers(wxDC& dc, const PaintArea& area) const;
    wxColour rowBackground(const PaintArea& area, size_t row) const;

    const DiagramState& state_;
    const DiagramGeometry& geometry_;
    const DiagramStyle& style_;
    ItemDrawCache& cache_;
};

// A line of text at (x, y) in the device's current font and text colours, `size` its extent
// when known. Through the device's graphics context when it has one: the device's own
// DrawText measures the text once more for its bounding box, and once more for a solid
// background, and a full view draws a few hundred texts.
void drawDeviceText(wxDC& dc, const wxString& text, int x, int y,
                    std::optional<wxSize> size = std::nullopt);

// The heights of a diagram drawn in the style's fonts, with the screen's margin and the
// narrowest column width (what an image or a page starts from).
DiagramGeometry baseGeometry(const DiagramStyle& style);

// The pixel height the geometry takes from a font (the toolkit's pixel size, else the
// height of a line of text in it).
int fontPixelHeight(const wxFont& font);
// The height of a line of text in the font.
int textLineHeight(const wxFont& font);

}  // namespace varlowe
