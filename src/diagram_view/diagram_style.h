#pragma once

#include <wx/bitmap.h>
#include <wx/brush.h>
#include <wx/colour.h>
#include <wx/font.h>
#include <wx/pen.h>

#include <array>

#include "engine/sip/analysis_item.h"

namespace varlowe {

// The message classes of the diagram, each with its own line style and colour.
enum class MessageClass { Request, Provisional, Final, Redirect, Error, Media };
MessageClass messageClassOf(const AnalysisItem& item);

// How an item is drawn: as the selection, related to it, plainly, or on paper.
enum class DrawState { Normal, Selected, Related, Print };

// Pens, brushes, fonts, colours and icons of the diagram, built once from the settings (when
// the control is made and when the "diagram" group changes), never per paint.
struct DiagramStyle {
    struct PenPair {
        wxPen line;
        wxPen head;
    };
    // [class][state]; the media class uses only Normal and Print.
    std::array<std::array<PenPair, 4>, 6> arrows;
    wxColour textNormal, textSelected, textRelated, textPrint;
    wxColour portText, portTextPrint;
    wxPen lifeline, lifelinePrint, marker;
    wxColour time, timePrint;
    wxColour header, headerBackground, headerPrint, headerBackgroundPrint;
    wxPen headerPen;
    wxBrush headerBrush;
    wxColour oddBackground;
    wxBrush evenBrush, selectedBrush;
    wxPen evenPen, selectedPen;
    wxFont headerFont, arrowFont, timeFont;
    wxBitmap tcpIcon, udpIcon, audioIcon, videoIcon, noResponseIcon;

    static DiagramStyle fromSettings();

    const PenPair& pens(MessageClass kind, DrawState state) const {
        return arrows[static_cast<size_t>(kind)][static_cast<size_t>(state)];
    }
    const wxColour& textColour(DrawState state) const;
};

}  // namespace varlowe
