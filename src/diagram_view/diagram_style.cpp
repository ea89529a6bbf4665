#include "diagram_style.h"

#include "settings/app_settings.h"
#include "toolkit/resource_images.h"
#include "toolkit/toolkit_font.h"

namespace varlowe {

MessageClass messageClassOf(const AnalysisItem& item) {
    if (item.kind == ItemKind::Media) {
        return MessageClass::Media;
    }
    if (item.sip) {
        if (!item.sip->isResponse()) {
            return MessageClass::Request;
        }
        const int status = item.sip->statusCode();
        if (status < 200) {
            return MessageClass::Provisional;
        }
        if (status < 300) {
            return MessageClass::Final;
        }
        return status < 400 ? MessageClass::Redirect : MessageClass::Error;
    }
    const std::string* type = item.stun ? item.stun->find("MSG_TYPE") : nullptr;
    if (type == nullptr) {
        return MessageClass::Request;
    }
    if (type->find("ERROR_RESPONSE") != std::string::npos) {
        return MessageClass::Error;
    }
    return type->find("RESPONSE") != std::string::npos ? MessageClass::Final
                                                       : MessageClass::Request;
}

const wxColour& DiagramStyle::textColour(DrawState state) const {
    switch (state) {
        case DrawState::Selected:
            return textSelected;
        case DrawState::Related:
            return textRelated;
        case DrawState::Print:
            return textPrint;
        case DrawState::Normal:
            break;
    }
    return textNormal;
}

namespace {

wxColour colourOf(const SettingColour& c) {
    return wxColour(c.red, c.green, c.blue);
}

// Dash patterns in whole pixels (units of the pen width), so that dots and dashes fall on
// pixel boundaries and stay crisp instead of blurring over two pixels; the arrays outlive
// every pen that points at them.
const wxDash kDots[] = {2, 2};
const wxDash kLongDashes[] = {8, 4};
const wxDash kDotDashes[] = {8, 3, 2, 3};

wxPen pen(const wxColour& colour, int width, wxPenStyle style = wxPENSTYLE_SOLID) {
    wxPen made(colour, std::max(width, 1), wxPENSTYLE_SOLID);
    made.SetCap(wxCAP_BUTT);
    switch (style) {
        case wxPENSTYLE_DOT:
            made.SetStyle(wxPENSTYLE_USER_DASH);
            made.SetDashes(2, kDots);
            break;
        case wxPENSTYLE_LONG_DASH:
            made.SetStyle(wxPENSTYLE_USER_DASH);
            made.SetDashes(2, kLongDashes);
            break;
        case wxPENSTYLE_DOT_DASH:
            made.SetStyle(wxPENSTYLE_USER_DASH);
            made.SetDashes(4, kDotDashes);
            break;
        default:
            break;
    }
    return made;
}

wxBitmap icon(const char* role) {
    return resourceBitmapAt(role, wxSize(16, 16));
}

}  // namespace

DiagramStyle DiagramStyle::fromSettings() {
    DiagramStyle s;
    const int width = AppSettings::diagramWidthArrow();
    const int printWidth = AppSettings::printingWidthArrow();
    struct ClassColours {
        MessageClass kind;
        wxPenStyle style;
        SettingColour screen;
        SettingColour print;
    };
    const ClassColours classes[] = {
        {MessageClass::Request, wxPENSTYLE_SOLID, AppSettings::diagramColorRequest(),
         AppSettings::printingColorRequest()},
        {MessageClass::Provisional, wxPENSTYLE_LONG_DASH,
         AppSettings::diagramColorProvisionalResponse(),
         AppSettings::printingColorProvisionalResponse()},
        {MessageClass::Final, wxPENSTYLE_DOT, AppSettings::diagramColorFinalResponse(),
         AppSettings::printingColorFinalResponse()},
        {MessageClass::Redirect, wxPENSTYLE_DOT_DASH, AppSettings::diagramColorRedirect(),
         AppSettings::printingColorRedirect()},
        {MessageClass::Error, wxPENSTYLE_DOT, AppSettings::diagramColorErrorResponse(),
         AppSettings::printingColorErrorResponse()},
    };
    const wxColour selected = colourOf(AppSettings::diagramColorSelected());
    const wxColour related = colourOf(AppSettings::diagramColorRelated());
    for (const ClassColours& c : classes) {
        auto& pairs = s.arrows[static_cast<size_t>(c.kind)];
        const wxColour screen = colourOf(c.screen);
        const wxColour print = colourOf(c.print);
        pairs[static_cast<size_t>(DrawState::Normal)] = {pen(screen, width, c.style),
                                                         pen(screen, width)};
        pairs[static_cast<size_t>(DrawState::Selected)] = {pen(selected, width, c.style),
                                                           pen(selected, width)};
        pairs[static_cast<size_t>(DrawState::Related)] = {pen(related, width, c.style),
                                                          pen(related, width)};
        pairs[static_cast<size_t>(DrawState::Print)] = {pen(print, printWidth, c.style),
                                                        pen(print, printWidth)};
    }
    // Media markers use the screen colour and width everywhere.
    const wxColour audio = colourOf(AppSettings::diagramColorAudio());
    for (auto& pair : s.arrows[static_cast<size_t>(MessageClass::Media)]) {
        pair = {pen(audio, width), pen(audio, width)};
    }

    s.textNormal = colourOf(AppSettings::diagramColorRequest());
    s.textSelected = selected;
    s.textRelated = related;
    s.textPrint = colourOf(AppSettings::printingColorRequest());
    s.portText = s.textNormal;
    s.portTextPrint = s.textPrint;

    const wxColour separator = colourOf(AppSettings::diagramColorSeparator());
    const int separatorWidth = AppSettings::diagramWidthSeparator();
    s.lifeline = pen(separator, separatorWidth);
    s.marker = pen(separator, separatorWidth, wxPENSTYLE_DOT);
    s.lifelinePrint =
        pen(colourOf(AppSettings::printingColorSeparator()), AppSettings::printingWidthSeparator());
    s.time = colourOf(AppSettings::diagramColorTime());
    s.timePrint = colourOf(AppSettings::printingColorTime());
    s.header = colourOf(AppSettings::diagramColorHeader());
    s.headerBackground = colourOf(AppSettings::diagramColorHeaderBackground());
    s.headerPrint = colourOf(AppSettings::printingColorHeader());
    s.headerBackgroundPrint = colourOf(AppSettings::printingColorHeaderBackground());
    s.headerPen = pen(s.headerBackground, 1);
    s.headerBrush = wxBrush(s.headerBackground);
    s.oddBackground = colourOf(AppSettings::diagramColorOddBackground());
    const wxColour even = colourOf(AppSettings::diagramColorEvenBackground());
    const wxColour selectedBackground = colourOf(AppSettings::diagramColorSelectedBackground());
    s.evenBrush = wxBrush(even);
    s.evenPen = pen(even, 1);
    s.selectedBrush = wxBrush(selectedBackground);
    s.selectedPen = pen(selectedBackground, 1);
    s.headerFont = toolkitFontOf(AppSettings::diagramFontHeader());
    s.arrowFont = toolkitFontOf(AppSettings::diagramFontArrow());
    s.timeFont = toolkitFontOf(AppSettings::diagramFontTime());
    s.tcpIcon = icon("diagram_tcp");
    s.udpIcon = icon("diagram_udp");
    s.audioIcon = icon("diagram_audio");
    s.videoIcon = icon("diagram_video");
    s.noResponseIcon = icon("diagram_noresponse");
    return s;
}

}  // namespace varlowe
