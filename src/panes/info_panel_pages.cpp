#include "info_panel_pages.h"

#include <algorithm>

namespace varlowe {

std::optional<size_t> InfoPanelPages::positionOf(PageRole role) const {
    auto found = std::find(pages_.begin(), pages_.end(), role);
    if (found == pages_.end()) {
        return std::nullopt;
    }
    return static_cast<size_t>(found - pages_.begin());
}

size_t InfoPanelPages::pageToShow() const {
    return positionOf(remembered_).value_or(0);
}

void InfoPanelPages::pageChosen(size_t position) {
    if (position < pages_.size() && pages_[position] != PageRole::Instructions) {
        remembered_ = pages_[position];
    }
}

void InfoPanelPages::remove(PageRole role, std::vector<PageStep>& steps) {
    if (std::optional<size_t> at = positionOf(role)) {
        pages_.erase(pages_.begin() + static_cast<std::ptrdiff_t>(*at));
        steps.push_back(PageStep{PageStep::Action::Remove, role});
    }
}

void InfoPanelPages::add(PageStep::Action action, PageRole role, std::vector<PageStep>& steps) {
    if (action == PageStep::Action::InsertFirst) {
        pages_.insert(pages_.begin(), role);
    } else {
        pages_.push_back(role);
    }
    steps.push_back(PageStep{action, role, role == remembered_});
}

std::vector<PageStep> InfoPanelPages::show(InfoMode mode, const PageOffer& offer) {
    using Action = PageStep::Action;
    std::vector<PageStep> steps;
    const InfoMode previous = mode_;
    mode_ = mode;

    if (mode == InfoMode::Instructions) {
        if (previous != InfoMode::Instructions) {
            pages_.clear();
            steps.push_back(PageStep{Action::RemoveAll, PageRole::Instructions});
            pages_.push_back(PageRole::Instructions);
            steps.push_back(PageStep{Action::Append, PageRole::Instructions, true});
        }
        return steps;
    }

    const bool rtp = mode == InfoMode::Rtp;
    auto addMediaPages = [&] {
        if (rtp && offer.graphs) {
            add(Action::Append, PageRole::Bandwidth, steps);
            add(Action::Append, PageRole::Jitter, steps);
            add(Action::Append, PageRole::InterarrivalJitter, steps);
        }
        if (rtp && offer.rtcp) {
            add(Action::Append, PageRole::Rtcp, steps);
        }
        if (mode == InfoMode::Sip && offer.media && !positionOf(PageRole::Media)) {
            add(Action::Append, PageRole::Media, steps);
        }
    };

    if (previous == InfoMode::Instructions) {
        pages_.clear();
        steps.push_back(PageStep{Action::RemoveAll, PageRole::Instructions});
        add(Action::Append, PageRole::Contents, steps);
        add(Action::Append, PageRole::PacketInfo, steps);
        addMediaPages();
        return steps;
    }

    if (previous == InfoMode::Rtp) {
        remove(PageRole::Rtcp, steps);
        remove(PageRole::InterarrivalJitter, steps);
        remove(PageRole::Jitter, steps);
        remove(PageRole::Bandwidth, steps);
    }
    const bool sipBefore = previous == InfoMode::Sip;
    const bool sipNow = mode == InfoMode::Sip;
    if (sipBefore && !sipNow) {
        remove(PageRole::Media, steps);
    }
    if (sipBefore == sipNow) {
        // The same kind of Contents page (text for SIP, list otherwise) shows the new item.
        steps.push_back(PageStep{Action::Refill, PageRole::Contents});
    } else {
        remove(PageRole::Contents, steps);
        add(Action::InsertFirst, PageRole::Contents, steps);
    }
    steps.push_back(PageStep{Action::Refill, PageRole::PacketInfo});
    if (sipNow && positionOf(PageRole::Media)) {
        steps.push_back(
            PageStep{offer.media ? Action::Refill : Action::EmptyMedia, PageRole::Media});
    }
    addMediaPages();
    return steps;
}

}  // namespace varlowe
