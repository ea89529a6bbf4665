#pragma once

#include <wx/dialog.h>

#include "engine/sip/analysis_model.h"

namespace varlowe {

// One item in a window of its own: the packet's endpoints and the item's whole content.
// Modeless; several can be open at once; each is a child of its diagram window.
class SipMessageInfoDialog : public wxDialog {
  public:
    SipMessageInfoDialog(wxWindow* parent, wxWindowID id, const wxString& title,
                         const AnalysisModel& model, const AnalysisItem& item);
};

}  // namespace varlowe
