#include "diagram_painter.h"

#include <wx/dcmemory.h>
#include <wx/graphics.h>

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <optional>

#include "engine/capture/packet_time.h"
#include "engine/media/rtp_stream_registry.h"

namespace varlowe {

DiagramGeometry baseGeometry(const DiagramStyle& style) {
    DiagramGeometry geometry;
    geometry.headerHeight = DiagramGeometry::headerHeightFor(fontPixelHeight(style.headerFont));
    geometry.arrowFontHeight = std::abs(fontPixelHeight(style.arrowFont));
    geometry.rowHeight = DiagramGeometry::rowHeightFor(geometry.arrowFontHeight);
    geometry.arrowLineHeight = textLineHeight(style.arrowFont);
    geometry.margin = DiagramGeometry::kScreenMargin;
    geometry.columnWidth = DiagramGeometry::kMinColumnWidth;
    return geometry;
}

bool ItemDrawCache::isAnswered(const AnalysisModel& model, const AnalysisItem& item) {
    auto found = answered_.find(item.index.value);
    if (found != answered_.end()) {
        return found->second;
    }
    bool answered = model.isAnswered(item.index);
    answered_.emplace(item.index.value, answered);
    return answered;
}

ItemDrawCache::Media ItemDrawCache::mediaOf(const AnalysisModel& model, const AnalysisItem& item) {
    auto found = media_.find(item.index.value);
    if (found != media_.end()) {
        return found->second;
    }
    Media media;
    const RtpStreamRegistry* registry = model.streamRegistry();
    if (item.sip && registry != nullptr) {
        if (std::unique_ptr<const SdpDescription> sdp = model.sdpOf(item)) {
            for (const RtpStream* stream :
                 registry->streamsOfTransaction(item.sip->transactionKey(), sdp.get(), 32)) {
                media.audio = media.audio || stream->mediaName == "audio";
                media.video = media.video || stream->mediaName == "video";
            }
        }
    }
    media_.emplace(item.index.value, media);
    return media;
}

const ItemDrawCache::FittedTexts& ItemDrawCache::fittedTexts(
    const AnalysisItem& item, int boxWidth, bool rightward,
    const std::function<int(const wxString&)>& measure) {
    FittedTexts& texts = texts_[item.index.value];
    if (texts.boxWidth == boxWidth && texts.rightward == rightward) {
        return texts;  // drawn before at this width: nothing to convert, fit or measure
    }
    DiagramPainter::ArrowTexts raw = DiagramPainter::arrowTexts(item);
    if (!rightward) {
        std::swap(raw.left, raw.right);  // the source's port stays at the source end
    }
    auto fit = [&measure](const std::string& text, int width) {
        wxString shown = displayText(text);
        if (shown.empty() || measure(shown) <= width) {
            return shown;
        }
        return wxString(fitText(
            shown.ToStdWstring(), std::max(width, 0),
            [&measure](const std::wstring& candidate) { return measure(wxString(candidate)); }));
    };
    auto widthOf = [&measure](const wxString& text) { return text.empty() ? 0 : measure(text); };
    texts.boxWidth = boxWidth;
    texts.rightward = rightward;
    texts.top = fit(raw.top, boxWidth);
    texts.topWidth = widthOf(texts.top);
    texts.centre = fit(raw.centre, boxWidth);
    texts.centreWidth = widthOf(texts.centre);
    const int side = (boxWidth - texts.centreWidth - 5) / 2;
    // A port is whole or left out: "5..." says nothing.
    auto whole = [&measure, side](const std::string& text) {
        wxString shown = displayText(text);
        return side > 0 && !shown.empty() && measure(shown) <= side ? shown : wxString();
    };
    texts.left = whole(raw.left);
    texts.right = whole(raw.right);
    texts.leftWidth = widthOf(texts.left);
    texts.rightWidth = widthOf(texts.right);
    return texts;
}

const ItemDrawCache::FittedText& ItemDrawCache::fittedHeader(
    const std::string& text, int width, const std::function<FittedText()>& fit) {
    std::string key = std::to_string(width);
    key.append(1, '\n').append(text);
    auto [found, added] = headers_.try_emplace(std::move(key));
    if (added) {
        found->second = fit();
    }
    return found->second;
}

void drawDeviceText(wxDC& dc, const wxString& text, int x, int y, std::optional<wxSize> size) {
    wxGraphicsContext* gc = dc.GetGraphicsContext();
    if (gc == nullptr || text.empty() || text.find('\n') != wxString::npos) {
        dc.DrawText(text, x, y);
        return;
    }
    if (dc.GetBackgroundMode() == wxBRUSHSTYLE_SOLID) {
        if (!size) {
            size = dc.GetTextExtent(text);
        }
        gc->SetBrush(gc->CreateBrush(wxBrush(dc.GetTextBackground())));
        gc->SetPen(wxNullGraphicsPen);
        wxGraphicsPath path = gc->CreatePath();
        path.AddRectangle(x, y, size->GetWidth(), size->GetHeight());
        gc->FillPath(path);
        // Back to the device's own pen and brush, which it believes the context still has.
        if (dc.GetBrush().IsOk()) {
            gc->SetBrush(dc.GetBrush());
        } else {
            gc->SetBrush(wxNullGraphicsBrush);
        }
        if (dc.GetPen().IsOk()) {
            gc->SetPen(dc.GetPen());
        } else {
            gc->SetPen(wxNullGraphicsPen);
        }
    }
    gc->DrawText(text, x, y);
}

int fontPixelHeight(const wxFont& font) {
    int height = font.GetPixelSize().GetHeight();
    if (height == 0) {
        wxBitmap bitmap(1, 1);
        wxMemoryDC dc(bitmap);
        dc.SetFont(font);
        height = dc.GetCharHeight();
    }
    return height;
}

int textLineHeight(const wxFont& font) {
    wxBitmap bitmap(1, 1);
    wxMemoryDC dc(bitmap);
    dc.SetFont(font);
    return dc.GetCharHeight();
}

namespace {

std::string timeText(PacketTime time) {
    return packetTimeText(time);
}

wxString fittedText(wxDC& dc, const wxString& text, int width) {
    return wxString(
        fitText(text.ToStdWstring(), std::max(width, 0), [&dc](const std::wstring& candidate) {
            return dc.GetTextExtent(wxString(candidate)).GetWidth();
        }));
}

// One in a few million pixels is as far as a device takes; lines to rows far outside the
// area are cut to just beyond it.
int clampY(int64_t y) {
    return static_cast<int>(std::clamp<int64_t>(y, -100000, 1000000));
}

}  // namespace

DiagramPainter::ArrowTexts DiagramPainter::arrowTexts(const AnalysisItem& item) {
    ArrowTexts texts;
    const ItemPacket& packet = item.packet;
    texts.left = packet.sourcePort();
    texts.right = packet.destinationPort();
    switch (item.kind) {
        case ItemKind::Sip: {
            const SipHeadline& sip = *item.sip;
            if (sip.isResponse()) {
                std::string top =
                    std::to_string(sip.statusCode()) + " " + std::string(sip.reasonPhrase());
                texts.top = top.substr(0, 63);
                texts.centre =
                    std::string(sip.cseqMethod()) + " " + std::to_string(sip.cseqNumber());
            } else {
                texts.top = sip.method().value_or("");
                texts.centre = std::to_string(sip.cseqNumber());
            }
            break;
        }
        case ItemKind::Stun: {
            const std::string* type = item.stun ? item.stun->find("MSG_TYPE") : nullptr;
            texts.top = type != nullptr ? *type : "Unknown";
            if (item.stun) {
                const std::string* mapped = nullptr;
                if (type != nullptr && type->find("_RESPONSE") != std::string::npos) {
                    mapped = item.stun->find("STUN_XOR_MAPPED_ADDRESS");
                }
                if (mapped == nullptr) {
                    mapped = item.stun->find("STUN_MAPPED_ADDRESS");
                }
                if (mapped != nullptr) {
                    texts.centre = *mapped;
                }
            }
            break;
        }
        case ItemKind::Media: {
            if (item.stream != nullptr) {
                texts.top = item.stream->mediaName + "/" + item.stream->encodingName;
                char ssrc[16];
                std::snprintf(ssrc, sizeof ssrc, "0x%08" PRIX32, item.stream->ssrc);
                texts.centre = ssrc;
            }
            break;
        }
    }
    return texts;
}

int DiagramPainter::rowTopY(const PaintArea& area, size_t row) const {
    const int64_t offset =
        (static_cast<int64_t>(row) - static_cast<int64_t>(area.rows.first)) * geometry_.rowHeight;
    return clampY(area.firstRowY + offset);
}

wxColour DiagramPainter::rowBackground(const PaintArea& area, size_t row) const {
    if (area.print) {
        return *wxWHITE;
    }
    if (state_.selectedRow() && state_.selectedRow()->value == row) {
        return style_.selectedBrush.GetColour();
    }
    return row % 2 == 0 ? style_.evenBrush.GetColour() : style_.oddBackground;
}

std::pair<size_t, size_t> DiagramPainter::columnsInArea(const PaintArea& area,
                                                        size_t columnCount) const {
    if (area.fillWidth <= 0 || columnCount == 0) {
        return {0, columnCount};
    }
    // Columns whose span meets the area, one more on each side for texts that overhang.
    const int64_t left = static_cast<int64_t>(area.fillX) - area.xOffset - geometry_.margin;
    const int64_t right = left + area.fillWidth;
    const int64_t width = std::max(geometry_.columnWidth, 1);
    const int64_t first = std::max<int64_t>(0, left / width - 1);
    const int64_t end = std::min<int64_t>(static_cast<int64_t>(columnCount), right / width + 2);
    return {static_cast<size_t>(first), static_cast<size_t>(std::max(first, end))};
}

void DiagramPainter::paint(wxDC& dc, const PaintArea& area) const {
    paintHeader(dc, area);
    paintRows(dc, area);
    paintEmptyReasons(dc, area);
}

void DiagramPainter::paintEmptyReasons(wxDC& dc, const PaintArea& area) const {
    const AnalysisModel* model = state_.model();
    if (area.print || model == nullptr || model->itemCount() != 0 ||
        model->emptyReasons().empty()) {
        return;
    }
    // An empty ladder says why, where its rows would be.
    dc.SetFont(style_.arrowFont);
    dc.SetTextForeground(style_.textNormal);
    dc.SetBackgroundMode(wxBRUSHSTYLE_TRANSPARENT);
    const int lineHeight = dc.GetCharHeight() + 4;
    int y = area.firstRowY + lineHeight;
    const int x = area.fillX + 2 * dc.GetCharWidth();
    dc.DrawText("Nothing in this capture can be shown:", x, y);
    for (const std::string& reason : model->emptyReasons()) {
        y += lineHeight;
        dc.DrawText(wxString::FromUTF8(reason), x + 2 * dc.GetCharWidth(), y);
    }
}

void DiagramPainter::paintHeader(wxDC& dc, const PaintArea& area) const {
    const int height = geometry_.headerHeight;
    if (!area.print) {
        dc.SetPen(style_.headerPen);
        dc.SetBrush(style_.headerBrush);
        dc.DrawRectangle(area.fillX, area.headerY, area.fillWidth, height);
    }
    dc.SetFont(style_.headerFont);
    dc.SetTextForeground(area.print ? style_.headerPrint : style_.header);
    dc.SetTextBackground(area.print ? style_.headerBackgroundPrint : style_.headerBackground);
    dc.SetBackgroundMode(wxBRUSHSTYLE_TRANSPARENT);
    const std::vector<std::string>& columns = state_.visibleColumns();
    const auto [firstColumn, endColumn] = columnsInArea(area, columns.size());
    const int width = geometry_.columnWidth - 8;
    auto fit = [&](const std::string& text) {
        ItemDrawCache::FittedText fitted;
        fitted.text = fittedText(dc, displayText(text), width);
        fitted.width = dc.GetTextExtent(fitted.text).GetWidth();
        return fitted;
    };
    // On screen each text is fitted and measured once; a printer's measures are its own.
    auto fitted = [&](const std::string& text) {
        return area.print ? fit(text) : cache_.fittedHeader(text, width, [&] { return fit(text); });
    };
    for (size_t c = firstColumn; c < endColumn; ++c) {
        const int centre = geometry_.columnCentre(c) + area.xOffset;
        const ItemDrawCache::FittedText address = fitted(columns[c]);
        drawDeviceText(dc, address.text, centre - address.width / 2, area.headerY);
        const ItemDrawCache::FittedText label = fitted(state_.columnLabel(c));
        if (!label.text.empty()) {
            drawDeviceText(dc, label.text, centre - label.width / 2, area.headerY + height / 2);
        }
    }
    if (area.stickyMargin && area.xOffset < 0) {
        // The margin's corner of the header, over the labels scrolled under it.
        dc.SetPen(*wxTRANSPARENT_PEN);
        dc.SetBrush(style_.headerBrush);
        dc.DrawRectangle(0, area.headerY, DiagramGeometry::kScreenMargin, height);
    }
}

void DiagramPainter::paintRows(wxDC& dc, const PaintArea& area) const {
    const AnalysisModel* model = state_.model();
    const std::vector<std::string>& columns = state_.visibleColumns();
    if (!area.print) {
        for (size_t row = area.rows.first; row < area.rows.end; ++row) {
            const bool selected = state_.selectedRow() && state_.selectedRow()->value == row;
            if (!selected && row % 2 != 0) {
                continue;  // odd rows show the window's background
            }
            dc.SetPen(selected ? style_.selectedPen : style_.evenPen);
            dc.SetBrush(selected ? style_.selectedBrush : style_.evenBrush);
            dc.DrawRectangle(area.fillX, rowTopY(area, row), area.fillWidth, geometry_.rowHeight);
        }
    }
    dc.SetPen(area.print ? style_.lifelinePrint : style_.lifeline);
    const auto [firstColumn, endColumn] = columnsInArea(area, columns.size());
    for (size_t c = firstColumn; c < endColumn; ++c) {
        const int x = geometry_.columnCentre(c) + area.xOffset;
        dc.DrawLine(x, area.lifelineTop, x, area.lifelineBottom);
    }
    if (model == nullptr || columns.empty()) {
        return;
    }
    dc.SetFont(style_.timeFont);
    const int timeLineHeight = dc.GetCharHeight();
    if (!area.print) {
        paintMarkers(dc, area);
        if (!area.stickyMargin) {
            paintRowMarks(dc, area);
        }
    }
    if (!area.stickyMargin) {
        for (size_t row = area.rows.first; row < area.rows.end; ++row) {
            const AnalysisItem* item = model->itemAtRow(RowIndex(row));
            if (item != nullptr) {
                paintItem(dc, area, row, *item);
                paintTimes(dc, area, row, *item, timeLineHeight);
            }
        }
        return;
    }
    // The rows, then the time margin over what scrolled under it, its marks and times.
    for (size_t row = area.rows.first; row < area.rows.end; ++row) {
        if (const AnalysisItem* item = model->itemAtRow(RowIndex(row))) {
            paintItem(dc, area, row, *item);
        }
    }
    if (area.xOffset < 0) {
        dc.SetPen(*wxTRANSPARENT_PEN);
        for (size_t row = area.rows.first; row < area.rows.end; ++row) {
            dc.SetBrush(wxBrush(rowBackground(area, row)));
            dc.DrawRectangle(0, rowTopY(area, row), DiagramGeometry::kScreenMargin,
                             geometry_.rowHeight);
        }
    }
    paintRowMarks(dc, area);
    for (size_t row = area.rows.first; row < area.rows.end; ++row) {
        if (const AnalysisItem* item = model->itemAtRow(RowIndex(row))) {
            paintTimes(dc, area, row, *item, timeLineHeight);
        }
    }
}

void DiagramPainter::paintRowMarks(wxDC& dc, const PaintArea& area) const {
    // At the row's left edge: a find match in orange, a bookmark in violet beside it.
    static const wxColour kMatch(230, 120, 0);
    static const wxColour kBookmark(120, 60, 200);
    const AnalysisModel* model = state_.model();
    const bool anyMatch = !state_.findMatches().empty();
    const bool anyBookmark = !state_.bookmarks().empty();
    if (model == nullptr || (!anyMatch && !anyBookmark)) {
        return;
    }
    dc.SetPen(*wxTRANSPARENT_PEN);
    const int x = area.stickyMargin ? 0 : area.xOffset;
    for (size_t row = area.rows.first; row < area.rows.end; ++row) {
        const AnalysisItem* item = model->itemAtRow(RowIndex(row));
        if (item == nullptr) {
            continue;
        }
        const int top = rowTopY(area, row);
        if (anyMatch && state_.isFindMatch(item->index)) {
            dc.SetBrush(wxBrush(kMatch));
            dc.DrawRectangle(x, top, 4, geometry_.rowHeight);
        }
        if (anyBookmark && state_.isBookmarked(item->index)) {
            dc.SetBrush(wxBrush(kBookmark));
            dc.DrawRectangle(x + 5, top + 2, 4, geometry_.rowHeight - 4);
        }
    }
}

void DiagramPainter::paintMarkers(wxDC& dc, const PaintArea& area) const {
    if (!state_.selectedRow()) {
        return;
    }
    const size_t lastColumn = state_.visibleColumns().size() - 1;
    const std::vector<RowIndex>& dialog = state_.dialogRows();
    dc.SetPen(style_.marker);
    if (dialog.size() > 1) {
        const int x = geometry_.columnCentre(0) - 25 + area.xOffset;
        const AnalysisItem* selected = state_.selectedItem();
        const bool media = selected != nullptr && selected->kind == ItemKind::Media;
        const int top =
            media ? rowTopY(area, dialog.front().value) : rowCentreY(area, dialog.front().value);
        const int bottom = media ? rowTopY(area, dialog.back().value) + geometry_.rowHeight
                                 : rowCentreY(area, dialog.back().value);
        dc.DrawLine(x, top, x, bottom);
    }
    const std::vector<RowIndex>& transaction = state_.transactionRows();
    if (transaction.size() > 1) {
        const int x = geometry_.columnCentre(lastColumn) + 25 + area.xOffset;
        const int top = rowCentreY(area, transaction.front().value);
        const int bottom = rowCentreY(area, transaction.back().value);
        dc.DrawLine(x, top, x, bottom);
        const AnalysisItem* first = state_.itemAtRow(transaction.front());
        const AnalysisItem* last = state_.itemAtRow(transaction.back());
        if (area.showTimeDeltas && first != nullptr && last != nullptr) {
            dc.SetFont(style_.timeFont);
            dc.SetTextForeground(style_.time);
            wxString duration = timeText(timeDifference(last->packet.time(), first->packet.time()));
            const int height = dc.GetTextExtent(duration).GetHeight();
            dc.DrawText(duration, geometry_.columnCentre(lastColumn) + 35 + area.xOffset,
                        (top + bottom) / 2 - height / 2);
        }
    }
}

void DiagramPainter::paintItem(wxDC& dc, const PaintArea& area, size_t row,
                               const AnalysisItem& item) const {
    const AnalysisModel& model = *state_.model();
    const std::optional<size_t> source = state_.columnOf(item.packet.sourceAddress());
    const std::optional<size_t> destination = state_.columnOf(item.packet.destinationAddress());
    if (!source || !destination) {
        return;
    }
    const int x1 = geometry_.columnCentre(*source) + area.xOffset;
    const int x2 = geometry_.columnCentre(*destination) + area.xOffset;
    const int y = rowCentreY(area, row);
    const bool media = item.kind == ItemKind::Media;

    // The item's state and its ticks towards the marker lines.
    DrawState drawState = area.print ? DrawState::Print : DrawState::Normal;
    if (!area.print && !media && state_.selectedIndex()) {
        const bool isSelected = *state_.selectedIndex() == item.index;
        const Relation relation =
            isSelected ? Relation::SameTransaction : state_.relationToSelection(item);
        if (isSelected) {
            drawState = DrawState::Selected;
        } else if (relation != Relation::None) {
            drawState = DrawState::Related;
        }
        dc.SetPen(style_.marker);
        const size_t lastColumn = state_.visibleColumns().size() - 1;
        if (state_.dialogRows().size() > 1 && relation != Relation::None) {
            dc.DrawLine(geometry_.columnCentre(0) - 25 + area.xOffset, y, std::min(x1, x2) - 16, y);
        }
        if (state_.transactionRows().size() > 1 && relation == Relation::SameTransaction) {
            dc.DrawLine(std::max(x1, x2) + 16, y,
                        geometry_.columnCentre(lastColumn) + 25 + area.xOffset, y);
        }
    }
    const DiagramStyle::PenPair& pens =
        style_.pens(messageClassOf(item), media && !area.print ? DrawState::Normal : drawState);

    const wxBitmap& transport =
        !media && item.packet.transport == TransportKind::Tcp ? style_.tcpIcon : style_.udpIcon;
    // An ACK never gets a response (RFC 3261 17.1.1.3): it is not an unanswered request.
    bool unanswered = false;
    const bool ack = item.sip && item.sip->method() && *item.sip->method() == "ACK";
    if (!media && !ack && ((item.sip && !item.sip->isResponse()) || item.stun)) {
        unanswered = !cache_.isAnswered(model, item);
    }
    const int transportWidth = transport.IsOk() ? transport.GetWidth() : 0;
    std::optional<int> unansweredWidth;
    if (unanswered) {
        unansweredWidth = style_.noResponseIcon.IsOk() ? style_.noResponseIcon.GetWidth() : 0;
    }
    const ArrowShape shape = arrowShape(x1, x2, transportWidth, unansweredWidth);
    if (shape.loop) {
        dc.SetPen(pens.line);
        dc.DrawLine(x1 + 5, y, x1 + 25, y);
        dc.DrawLine(x1 + 5, y + 25, x1 + 25, y + 25);
        dc.DrawLine(x1 + 25, y, x1 + 25, y + 25);
    } else {
        if (transport.IsOk()) {
            dc.DrawBitmap(transport, shape.transportIconX, y - transport.GetHeight() / 2, true);
        }
        if (shape.unansweredIconX && style_.noResponseIcon.IsOk()) {
            dc.DrawBitmap(style_.noResponseIcon, *shape.unansweredIconX,
                          y - style_.noResponseIcon.GetHeight() / 2, true);
        }
        dc.SetPen(pens.line);
        dc.DrawLine(shape.lineFrom, y, shape.lineTo, y);
        dc.SetPen(pens.head);
        dc.DrawLine(shape.lineTo, y, shape.headBackX, y - 5);
        dc.DrawLine(shape.lineTo, y, shape.headBackX, y + 5);
    }

    // The texts: one line above the arrow, one below it with the ports at the ends.
    // A message to its own endpoint has its texts beside the loop.
    const int loopTextFrom = x1 + 30;
    const BoxRect box =
        shape.loop
            ? arrowTextBox(loopTextFrom, loopTextFrom + std::max(geometry_.columnWidth - 40, 60), y,
                           geometry_.rowHeight, geometry_.arrowFontHeight)
            : arrowTextBox(x1, x2, y, geometry_.rowHeight, geometry_.arrowFontHeight);
    const int boxX = static_cast<int>(box.x);
    const int boxWidth = static_cast<int>(box.width);
    const int boxTop = clampY(box.y);
    const int boxBottom = clampY(box.y + box.height);
    dc.SetFont(style_.arrowFont);
    const ItemDrawCache::FittedTexts& texts = cache_.fittedTexts(
        item, boxWidth, shape.rightward,
        [&dc](const wxString& text) { return dc.GetTextExtent(text).GetWidth(); });
    if (area.print) {
        dc.SetBackgroundMode(wxBRUSHSTYLE_TRANSPARENT);
    } else {
        // Texts blank out the lifelines they cross, in the colour of their row.
        dc.SetBackgroundMode(wxBRUSHSTYLE_SOLID);
        dc.SetTextBackground(rowBackground(area, row));
    }
    const wxColour& textColour =
        area.print ? style_.textPrint : style_.textColour(media ? DrawState::Normal : drawState);
    dc.SetTextForeground(textColour);
    // Centred on the arrow; on screen within the part of it in view.
    auto textX = [&](int width) {
        const int centred = boxX + (boxWidth - width) / 2;
        if (!area.stickyMargin) {
            return centred;
        }
        const int low = std::max(boxX, DiagramGeometry::kScreenMargin);
        const int high = std::min(boxX + boxWidth, area.fillX + area.fillWidth);
        if (high - low >= width) {
            return std::clamp(centred, low, high - width);
        }
        return high > low ? low : centred;
    };
    const int lineHeight = geometry_.arrowLineHeight;
    if (!texts.top.empty()) {
        drawDeviceText(dc, texts.top, textX(texts.topWidth), boxTop,
                       wxSize(texts.topWidth, lineHeight));
    }
    const int bottomY = boxBottom - 1 - lineHeight;
    const int centreX = textX(texts.centreWidth);
    if (!texts.centre.empty()) {
        drawDeviceText(dc, texts.centre, centreX, bottomY, wxSize(texts.centreWidth, lineHeight));
    }
    // A port that the centre text, moved into view, would run over is left out.
    const bool moved = centreX != boxX + (boxWidth - texts.centreWidth) / 2;
    auto clear = [&](int x, int width) {
        return !moved || texts.centre.empty() || x + width <= centreX ||
               x >= centreX + texts.centreWidth;
    };
    dc.SetTextForeground(area.print ? style_.portTextPrint : style_.portText);
    if (!texts.left.empty() && clear(boxX, texts.leftWidth)) {
        drawDeviceText(dc, texts.left, boxX, bottomY, wxSize(texts.leftWidth, lineHeight));
    }
    const int rightX = boxX + boxWidth - 1 - texts.rightWidth;
    if (!texts.right.empty() && clear(rightX, texts.rightWidth)) {
        drawDeviceText(dc, texts.right, rightX, bottomY, wxSize(texts.rightWidth, lineHeight));
    }
    dc.SetBackgroundMode(wxBRUSHSTYLE_TRANSPARENT);

    // Audio and video icons of a SIP message whose SDP set up media.
    if (item.sip) {
        const ItemDrawCache::Media offered = cache_.mediaOf(model, item);
        std::vector<const wxBitmap*> icons;
        if (offered.audio && style_.audioIcon.IsOk()) {
            icons.push_back(&style_.audioIcon);
        }
        if (offered.video && style_.videoIcon.IsOk()) {
            icons.push_back(&style_.videoIcon);
        }
        if (!icons.empty()) {
            int width = -4;
            for (const wxBitmap* icon : icons) width += icon->GetWidth() + 4;
            int x = boxX + (boxWidth - width) / 2;
            for (const wxBitmap* icon : icons) {
                dc.DrawBitmap(*icon, x, y - icon->GetHeight() / 2, true);
                x += icon->GetWidth() + 4;
            }
        }
    }
}

void DiagramPainter::paintTimes(wxDC& dc, const PaintArea& area, size_t row,
                                const AnalysisItem& item, int lineHeight) const {
    const AnalysisModel& model = *state_.model();
    if (!area.showAbsoluteTime && !area.showTimeDeltas) {
        return;
    }
    dc.SetFont(style_.timeFont);
    dc.SetTextForeground(area.print ? style_.timePrint : style_.time);
    if (area.stickyMargin && area.xOffset < 0) {
        // Over the rows scrolled under the margin the times keep a ground of their own.
        dc.SetBackgroundMode(wxBRUSHSTYLE_SOLID);
        dc.SetTextBackground(rowBackground(area, row));
    } else {
        dc.SetBackgroundMode(wxBRUSHSTYLE_TRANSPARENT);
    }
    const int height = lineHeight;
    const int top = rowTopY(area, row);
    const int x = area.stickyMargin ? 0 : area.xOffset;
    if (area.showAbsoluteTime && model.itemCount() > 0) {
        const PacketTime start = model.item(ItemIndex(0)).packet.time();
        drawDeviceText(dc, timeText(timeDifference(item.packet.time(), start)), 2 + x,
                       top + geometry_.rowHeight / 2 - height / 2);
    }
    if (area.showTimeDeltas && row > 0) {
        if (const AnalysisItem* previous = model.itemAtRow(RowIndex(row - 1))) {
            drawDeviceText(dc,
                           timeText(timeDifference(item.packet.time(), previous->packet.time())),
                           10 + x, top - height / 2);
        }
    }
}

}  // namespace varlowe
