#include "sip_diagram_printout.h"

#include <wx/cmndata.h>
#include <wx/datetime.h>
#include <wx/dc.h>
#include <wx/settings.h>

#include <algorithm>

#include "diagram_view/diagram_painter.h"
#include "diagram_view/sip_diagram.h"
#include "settings/app_settings.h"

namespace varlowe {

PageSetup pageSetupOf(const wxPageSetupDialogData& data) {
    PageSetup setup;
    const wxSize paper = data.GetPaperSize();
    if (paper.x > 0 && paper.y > 0) {
        setup.paperWidth = paper.x;
        setup.paperHeight = paper.y;
    }
    setup.landscape = data.GetPrintData().GetOrientation() == wxLANDSCAPE;
    setup.marginLeft = data.GetMarginTopLeft().x;
    setup.marginTop = data.GetMarginTopLeft().y;
    setup.marginRight = data.GetMarginBottomRight().x;
    setup.marginBottom = data.GetMarginBottomRight().y;
    return setup;
}

SipDiagramPrintout::SipDiagramPrintout(const wxString& title, SipDiagram* diagram,
                                       const PageSetup& setup)
    : wxPrintout(title), diagram_(diagram), setup_(setup) {}

void SipDiagramPrintout::OnPreparePrinting() {
    int x = 0;
    int y = 0;
    GetPPIScreen(&x, &y);
    const DiagramGeometry base = baseGeometry(diagram_->style());
    const DiagramState& state = diagram_->state();
    geometry_ = computePageGeometry(setup_, Resolution{x, y}, base.headerHeight, base.rowHeight,
                                    state.visibleColumns().size(), state.rowCount());
}

bool SipDiagramPrintout::HasPage(int page) {
    return page >= 1 && page <= geometry_.pageCount;
}

void SipDiagramPrintout::GetPageInfo(int* minPage, int* maxPage, int* pageFrom, int* pageTo) {
    const int count = static_cast<int>(std::min<int64_t>(geometry_.pageCount, 1 << 30));
    *minPage = 1;
    *maxPage = count;
    *pageFrom = 1;
    *pageTo = count;
}

bool SipDiagramPrintout::OnPrintPage(int page) {
    wxDC* dc = GetDC();
    if (dc == nullptr || !geometry_.printable()) {
        return false;
    }
    int screenX = 0;
    int screenY = 0;
    int printerX = 0;
    int printerY = 0;
    int pageWidth = 0;
    int pageHeight = 0;
    GetPPIScreen(&screenX, &screenY);
    GetPPIPrinter(&printerX, &printerY);
    GetPageSizePixels(&pageWidth, &pageHeight);
    const wxSize context = dc->GetSize();
    const PageScale scale = pageScale(Resolution{screenX, screenY}, Resolution{printerX, printerY},
                                      context.x, context.y, pageWidth, pageHeight);
    dc->SetUserScale(scale.x, scale.y);
    dc->SetDeviceOrigin(0, 0);

    const PageGeometry& g = geometry_;
    const DiagramState& state = diagram_->state();
    const PageGeometry::Page slice = g.page(page, state.rowCount());
    const wxRect pageRect(g.marginLeft, g.marginTop, g.printableWidth, g.printableHeight);
    dc->SetClippingRegion(pageRect);

    // Header and footer lines.
    dc->SetFont(*wxNORMAL_FONT);
    dc->SetTextForeground(*wxBLACK);
    dc->SetBackgroundMode(wxBRUSHSTYLE_TRANSPARENT);
    dc->DrawText(GetTitle(), pageRect.x, pageRect.y);
    const wxString number = wxString::Format("Page %d of %d", page, static_cast<int>(g.pageCount));
    const wxSize numberSize = dc->GetTextExtent(number);
    dc->DrawText(number, pageRect.GetRight() - numberSize.x, pageRect.y);
    const wxString now = wxDateTime::Now().Format("%c");
    const wxSize nowSize = dc->GetTextExtent(now);
    dc->DrawText(now, pageRect.x + (pageRect.width - nowSize.x) / 2,
                 pageRect.GetBottom() - nowSize.y);

    // The slice of the diagram between them.
    dc->DestroyClippingRegion();
    const int space = PageGeometry::kHeaderFooterSpace;
    dc->SetClippingRegion(
        wxRect(pageRect.x, pageRect.y + space, pageRect.width, pageRect.height - 2 * space));
    dc->SetDeviceOrigin(
        static_cast<wxCoord>(-static_cast<double>(slice.across) * g.printableWidth * scale.x), 0);

    // The columns start at the left margin, and the time texts with them.
    DiagramGeometry geometry = baseGeometry(diagram_->style());
    geometry.margin = 0;
    geometry.columnWidth = g.columnWidth;
    PaintArea area;
    area.print = true;
    area.rows = RowRange{slice.firstRow, slice.endRow};
    area.xOffset = g.marginLeft;
    area.headerY = g.marginTop + space;
    area.firstRowY = area.headerY + geometry.headerHeight;
    area.fillX = g.marginLeft;
    area.fillWidth = static_cast<int>(g.diagramWidth);
    area.lifelineTop = area.firstRowY;
    area.lifelineBottom =
        area.firstRowY + static_cast<int>(slice.endRow - slice.firstRow) * geometry.rowHeight;
    area.showTimeDeltas = AppSettings::diagramShowTimeDeltas();
    area.showAbsoluteTime = AppSettings::diagramShowAbsTime();
    DiagramPainter painter(state, geometry, diagram_->style(), diagram_->drawCache());
    painter.paintRows(*dc, area);
    painter.paintHeader(*dc, area);
    dc->DestroyClippingRegion();
    return true;
}

SipDiagramPreviewFrame::SipDiagramPreviewFrame(wxPrintPreviewBase* preview, wxWindow* parent,
                                               const wxString& title)
    : wxPreviewFrame(preview, parent, title, wxDefaultPosition, wxSize(800, 600),
                     wxDEFAULT_FRAME_STYLE, "frame") {}

}  // namespace varlowe
