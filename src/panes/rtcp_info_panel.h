#pragma once

#include <wx/combobox.h>
#include <wx/listctrl.h>
#include <wx/panel.h>

#include <cstdint>

namespace varlowe {

class AnalysisModel;
struct RtpStream;

// The "RTCP Reports" page of a stream: its sender and receiver reports, one row each, and a
// combo box that narrows them to one reported source.
class RtcpInfoPanel : public wxPanel {
  public:
    static constexpr int kComboId = 8015;

    RtcpInfoPanel(wxWindow* parent, const AnalysisModel* model, const RtpStream* stream,
                  const wxSize& size = wxDefaultSize);

    wxComboBox* sources() const { return combo_; }
    wxListCtrl* list() const { return list_; }
    int64_t filter() const { return filter_; }

    // Shows the reports of the combo box entry (as choosing it does).
    void chooseSource(int entry);

  private:
    void fillSources();
    void fillList();
    void onCombo(wxCommandEvent& event);

    const AnalysisModel* model_;
    const RtpStream* stream_;
    wxComboBox* combo_;
    wxListCtrl* list_;
    int64_t filter_ = -1;
};

}  // namespace varlowe
