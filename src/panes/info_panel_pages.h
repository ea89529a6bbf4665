#pragma once

#include <cstddef>
#include <optional>
#include <vector>

namespace varlowe {

// What the info panel shows: the instructions, or the pages of a SIP message, a STUN/TURN
// message or an RTP stream.
enum class InfoMode { Instructions = 1, Sip = 2, Stun = 3, Rtp = 4 };

// The pages by role; the numbers are the remembered roles.
enum class PageRole {
    Contents = 0,
    PacketInfo = 1,
    Media = 2,
    Bandwidth = 3,
    Jitter = 4,
    Rtcp = 5,
    Instructions = 6,
    InterarrivalJitter = 7  // the RFC 3550 jitter graph, after the Jitter page
};

// What the newly selected item has beyond Contents and Packet Info.
struct PageOffer {
    bool media = false;   // a SIP message with SDP, and a registry to ask
    bool graphs = false;  // an RTP stream whose graph data could be computed
    bool rtcp = false;    // an RTP stream with RTCP reports
};

struct PageStep {
    enum class Action {
        RemoveAll,
        Remove,
        InsertFirst,  // a new page at position 0
        Append,       // a new page at the end
        Refill,       // the page stays and shows the new item
        EmptyMedia,   // the Media page stays, without tabs
    };
    Action action;
    PageRole role;
    bool select = false;  // a new page of the remembered role
};

inline bool operator==(const PageStep& a, const PageStep& b) {
    return a.action == b.action && a.role == b.role && a.select == b.select;
}

// Which pages the info panel has and which to reuse when the selection moves from one kind
// of item to another, so that the tab the user chose last stays chosen where it exists.
class InfoPanelPages {
  public:
    // The steps from the current pages to those of the mode; afterwards pages() holds them.
    std::vector<PageStep> show(InfoMode mode, const PageOffer& offer);

    InfoMode mode() const { return mode_; }
    const std::vector<PageRole>& pages() const { return pages_; }
    PageRole rememberedRole() const { return remembered_; }
    std::optional<size_t> positionOf(PageRole role) const;
    // The page to show after a change: the remembered role's, else the first.
    size_t pageToShow() const;
    // The user chose the page at the position.
    void pageChosen(size_t position);

  private:
    void remove(PageRole role, std::vector<PageStep>& steps);
    void add(PageStep::Action action, PageRole role, std::vector<PageStep>& steps);

    InfoMode mode_ = InfoMode::Instructions;
    std::vector<PageRole> pages_{PageRole::Instructions};
    PageRole remembered_ = PageRole::Contents;
};

}  // namespace varlowe
