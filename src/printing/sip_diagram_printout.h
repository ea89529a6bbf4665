#pragma once

#include <wx/prntbase.h>

#include "output/page_geometry.h"

class wxPageSetupDialogData;

namespace varlowe {

class SipDiagram;

// The paper, orientation and margins of the toolkit's page setup data.
PageSetup pageSetupOf(const wxPageSetupDialogData& data);

// A diagram on paper: rows top to bottom and column slices left to right, each page with the
// window title, "Page n of m" and the time it was drawn, the diagram drawn by its own painter
// in print mode (no backgrounds, markers or selection).
class SipDiagramPrintout : public wxPrintout {
  public:
    SipDiagramPrintout(const wxString& title, SipDiagram* diagram, const PageSetup& setup);

    void OnPreparePrinting() override;
    bool HasPage(int page) override;
    void GetPageInfo(int* minPage, int* maxPage, int* pageFrom, int* pageTo) override;
    bool OnPrintPage(int page) override;

    const PageGeometry& geometry() const { return geometry_; }

  private:
    SipDiagram* diagram_;
    PageSetup setup_;
    PageGeometry geometry_;
};

// The toolkit's preview frame, named and sized as the program's.
class SipDiagramPreviewFrame : public wxPreviewFrame {
  public:
    SipDiagramPreviewFrame(wxPrintPreviewBase* preview, wxWindow* parent, const wxString& title);
};

}  // namespace varlowe
