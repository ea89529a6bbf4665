#pragma once

#include <wx/button.h>
#include <wx/dialog.h>
#include <wx/gauge.h>
#include <wx/stattext.h>
#include <wx/timer.h>

#include <memory>
#include <string>

#include "audio_player.h"
#include "engine/media/stream_audio.h"

namespace varlowe {

// A small window that plays an item's audio: what is played, the position ("1.2 s of 8.5 s")
// with a bar, and Stop. Modeless, so that the ladder can be read meanwhile; closing it stops
// the sound.
class PlaybackDialog : public wxDialog {
  public:
    static constexpr int kStopId = 8101;

    PlaybackDialog(wxWindow* parent, const wxString& what);
    ~PlaybackDialog() override;

    // Starts playing; empty when it plays, else why not.
    std::string start(const MixedAudio& audio);

    const AudioPlayer& player() const { return *player_; }
    wxString positionText() const { return position_->GetLabel(); }
    // The read-out once more (the timer does it ten times a second).
    void refresh();

  private:
    void onStop(wxCommandEvent& event);
    void onClose(wxCloseEvent& event);

    std::unique_ptr<AudioPlayer> player_;
    wxStaticText* position_;
    wxGauge* bar_;
    wxButton* stop_;
    wxTimer timer_;
    bool finished_ = false;
};

}  // namespace varlowe
