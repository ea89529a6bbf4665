#include "preference_dlg.h"

#include <wx/imaglist.h>
#include <wx/sizer.h>

#include "settings/app_settings.h"
#include "toolkit/resource_images.h"

namespace varlowe {

PreferenceDlg::PreferenceDlg(wxWindow* parent, std::function<void(const std::string&)> showHelp)
    : wxDialog(), showHelp_(std::move(showHelp)) {
    SetExtraStyle(wxDIALOG_EX_CONTEXTHELP);
    Create(parent, wxID_ANY, "Varlowe Preferences", wxDefaultPosition, wxSize(600, 440),
           wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX | wxRESIZE_BORDER, "dialog");
    auto* images = new wxImageList(32, 32, true);
    book_ = new wxListbook(this, wxID_ANY, wxDefaultPosition, wxSize(600, 440));
    const SettingsRegistry& registry = SettingsRegistry::instance();
    for (const PreferencePage& page : registry.pages()) {
        if (page.group.empty()) {
            break;
        }
        // A missing image leaves an empty one: the page still works.
        wxBitmap bitmap = resourceBitmapAt(page.bitmap, wxSize(32, 32));
        images->Add(bitmap.IsOk() ? bitmap : wxBitmap(32, 32));
        auto* panel = new PreferenceGroupPanel(book_, page.helpPage);
        fill(panel, page.group, false);
        panels_.push_back(panel);
        groups_.push_back(page.group);
    }
    book_->AssignImageList(images);
    for (size_t i = 0; i < panels_.size(); ++i) {
        book_->AddPage(panels_[i], wxString::FromUTF8(registry.pages()[i].title), i == 0,
                       static_cast<int>(i));
    }

    auto* buttons = new wxBoxSizer(wxHORIZONTAL);
    for (auto [id, label] : {std::pair<int, const char*>{kOk, "OK"},
                             {kCancel, "Cancel"},
                             {kApply, "Apply"},
                             {kRestore, "Restore"}}) {
        auto* button = new wxButton(this, id, label, wxDefaultPosition, wxSize(80, -1), 0,
                                    wxDefaultValidator, "button");
        buttons->Add(button, 0, wxRIGHT | wxTOP | wxBOTTOM, 10);
        if (id == kOk) {
            button->SetDefault();  // Enter confirms, as Escape cancels
        }
    }
    auto* sizer = new wxBoxSizer(wxVERTICAL);
    sizer->Add(book_, 1, wxEXPAND);
    sizer->Add(buttons, 0, wxALIGN_RIGHT);
    SetSizerAndFit(sizer);

    Bind(
        wxEVT_BUTTON, [this](wxCommandEvent&) { ok(); }, kOk);
    Bind(
        wxEVT_BUTTON, [this](wxCommandEvent&) { cancel(); }, kCancel);
    Bind(
        wxEVT_BUTTON, [this](wxCommandEvent&) { apply(); }, kApply);
    Bind(
        wxEVT_BUTTON, [this](wxCommandEvent&) { restore(); }, kRestore);
    Bind(wxEVT_CLOSE_WINDOW, [this](wxCloseEvent&) { cancel(); });
    Bind(wxEVT_HELP, &PreferenceDlg::onHelp, this);
    SetEscapeId(kCancel);

    editing_ = SettingsStore::instance().beginEdit();
}

PreferenceDlg::~PreferenceDlg() {
    if (editing_) {
        SettingsStore::instance().cancelEdit();
    }
}

PreferenceGroupPanel* PreferenceDlg::panel(const std::string& group) const {
    for (size_t i = 0; i < groups_.size(); ++i) {
        if (groups_[i] == group) {
            return panels_[i];
        }
    }
    return nullptr;
}

void PreferenceDlg::fill(PreferenceGroupPanel* panel, const std::string& group, bool fromDefault) {
    panel->clearRows();
    const SettingsRegistry& registry = SettingsRegistry::instance();
    for (const std::string& key : registry.keysOfGroup(group)) {
        panel->addRow(registry.descriptor(group, key), fromDefault);
    }
}

void PreferenceDlg::applyAll() {
    for (PreferenceGroupPanel* panel : panels_) {
        panel->applyRows();
    }
}

void PreferenceDlg::ok() {
    applyAll();
    SettingsStore::instance().commitEdit();
    editing_ = false;
    AppSettings::saveSettings();
    if (IsModal()) {
        EndModal(wxID_OK);
    } else {
        SetReturnCode(wxID_OK);
    }
}

void PreferenceDlg::apply() {
    applyAll();
    SettingsStore::instance().commitEdit();
    AppSettings::saveSettings();
    editing_ = SettingsStore::instance().beginEdit();
}

void PreferenceDlg::restore() {
    const int page = book_->GetSelection();
    if (page < 0 || static_cast<size_t>(page) >= panels_.size()) {
        return;
    }
    fill(panels_[static_cast<size_t>(page)], groups_[static_cast<size_t>(page)], true);
}

void PreferenceDlg::cancel() {
    if (editing_) {
        SettingsStore::instance().cancelEdit();
        editing_ = false;
    }
    if (IsModal()) {
        EndModal(wxID_CANCEL);
    } else {
        SetReturnCode(wxID_CANCEL);
        Hide();
    }
}

void PreferenceDlg::onHelp(wxHelpEvent& event) {
    if (!showHelp_) {
        return;
    }
    // Help on a page shows that page's help; elsewhere the dialog's.
    wxWindow* window = dynamic_cast<wxWindow*>(event.GetEventObject());
    for (PreferenceGroupPanel* panel : panels_) {
        if (window != nullptr && (window == panel || panel->IsDescendant(window))) {
            showHelp_(panel->helpPage());
            return;
        }
    }
    showHelp_("Using-Preferences.htm");
}

}  // namespace varlowe
