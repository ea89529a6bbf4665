#pragma once

#include <wx/event.h>

#include <functional>
#include <unordered_map>

namespace varlowe {

// What a window does for the commands it takes, by identifier: the handler, and when the
// command is enabled. A window binds its menu and update-UI events to handle() and
// updateUi(), so that its menus, toolbar and update-UI cannot disagree. The last window in
// line (the main window) also takes the View switches, which the command rows carry with
// their settings, and shows every other command nobody took as disabled.
class CommandHandlers {
  public:
    enum class Place { InLine, Last };
    explicit CommandHandlers(Place place = Place::InLine) : last_(place == Place::Last) {}

    // `enabled` empty: always enabled.
    void on(int id, std::function<void()> run, std::function<bool()> enabled = {});
    // Only the enabled state (the command runs elsewhere, or not at all here).
    void enable(int id, std::function<bool()> enabled);

    // Runs the command; false when this window does not take it (the event goes on).
    bool run(int id) const;
    // Sets the enabled and checked state; false when this window knows nothing of the id
    // (the last in line knows every command).
    bool update(wxUpdateUIEvent& event) const;

    // The handlers bound to the window's menu and update-UI events.
    void handle(wxCommandEvent& event) const;
    void updateUi(wxUpdateUIEvent& event) const;

  private:
    struct Entry {
        std::function<void()> run;
        std::function<bool()> enabled;
    };
    std::unordered_map<int, Entry> entries_;
    bool last_;
};

}  // namespace varlowe
