#include "command_handlers.h"

#include "menu_items.h"

namespace varlowe {

void CommandHandlers::on(int id, std::function<void()> run, std::function<bool()> enabled) {
    entries_[id] = Entry{std::move(run), std::move(enabled)};
}

void CommandHandlers::enable(int id, std::function<bool()> enabled) {
    entries_[id].enabled = std::move(enabled);
}

bool CommandHandlers::run(int id) const {
    auto found = entries_.find(id);
    if (found != entries_.end() && found->second.run) {
        if (!found->second.enabled || found->second.enabled()) {
            found->second.run();
        }
        return true;
    }
    const Command* command = last_ ? commandOf(id) : nullptr;
    if (command != nullptr && command->setting != nullptr) {
        command->setSetting(!command->setting());
        return true;
    }
    return false;
}

bool CommandHandlers::update(wxUpdateUIEvent& event) const {
    bool known = false;
    auto found = entries_.find(event.GetId());
    if (found != entries_.end()) {
        event.Enable(!found->second.enabled || found->second.enabled());
        known = true;
    }
    const Command* command = last_ ? commandOf(event.GetId()) : nullptr;
    if (command != nullptr && command->setting != nullptr) {
        event.Check(command->setting());
        known = true;
    }
    // A command of the menu bar or the toolbar that no window took: none is there to take
    // it. (The pop-up menus' own are their window's business.)
    if (command != nullptr && !known &&
        (command->menu != MenuBar::None || command->icon != nullptr)) {
        event.Enable(false);
        known = true;
    }
    return known;
}

void CommandHandlers::handle(wxCommandEvent& event) const {
    if (!run(event.GetId())) {
        event.Skip();
    }
}

void CommandHandlers::updateUi(wxUpdateUIEvent& event) const {
    if (!update(event)) {
        event.Skip();
    }
}

}  // namespace varlowe
