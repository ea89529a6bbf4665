#include "playback_dialog.h"

#include <wx/sizer.h>

#include <cmath>

#include "toolkit/toolkit_text.h"

namespace varlowe {

namespace {
constexpr int kBarSteps = 1000;
}

PlaybackDialog::PlaybackDialog(wxWindow* parent, const wxString& what)
    : wxDialog(parent, wxID_ANY, "Play Audio", wxDefaultPosition, wxDefaultSize,
               wxDEFAULT_DIALOG_STYLE),
      player_(std::make_unique<AudioPlayer>()),
      timer_(this) {
    auto* sizer = new wxBoxSizer(wxVERTICAL);
    sizer->Add(new wxStaticText(this, wxID_ANY, what), 0, wxALL, 10);
    position_ = new wxStaticText(this, wxID_ANY, displayText(AudioPlayer::positionText(0, 0)));
    sizer->Add(position_, 0, wxLEFT | wxRIGHT, 10);
    bar_ = new wxGauge(this, wxID_ANY, kBarSteps, wxDefaultPosition, wxSize(320, -1));
    sizer->Add(bar_, 0, wxEXPAND | wxALL, 10);
    stop_ = new wxButton(this, kStopId, "Stop");
    sizer->Add(stop_, 0, wxALIGN_RIGHT | wxLEFT | wxRIGHT | wxBOTTOM, 10);
    SetSizerAndFit(sizer);
    SetEscapeId(kStopId);
    Bind(wxEVT_BUTTON, &PlaybackDialog::onStop, this, kStopId);
    Bind(wxEVT_CLOSE_WINDOW, &PlaybackDialog::onClose, this);
    Bind(wxEVT_TIMER, [this](wxTimerEvent&) { refresh(); });
}

PlaybackDialog::~PlaybackDialog() {
    timer_.Stop();
    player_->stop();
}

std::string PlaybackDialog::start(const MixedAudio& audio) {
    std::string message = player_->play(audio.interleaved, audio.channels, audio.sampleRate);
    if (message.empty()) {
        refresh();
        timer_.Start(100);
    }
    return message;
}

void PlaybackDialog::refresh() {
    const double duration = player_->durationSeconds();
    const bool done = !player_->playing();
    const double position = done ? duration : player_->positionSeconds();
    position_->SetLabel(displayText(AudioPlayer::positionText(position, duration)));
    bar_->SetValue(duration > 0 ? static_cast<int>(std::lround(position / duration * kBarSteps))
                                : 0);
    if (done && !finished_) {
        // Played to the end: the device is let go and the button only closes the window.
        finished_ = true;
        timer_.Stop();
        player_->stop();
        stop_->SetLabel("Close");
    }
}

void PlaybackDialog::onStop(wxCommandEvent&) {
    Close();
}

void PlaybackDialog::onClose(wxCloseEvent&) {
    timer_.Stop();
    player_->stop();
    Destroy();
}

}  // namespace varlowe
