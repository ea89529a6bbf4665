#include "panes/info_panel_pages.h"

#include <gtest/gtest.h>

using namespace varlowe;

namespace {

using Action = PageStep::Action;
using Role = PageRole;
using Pages = std::vector<PageRole>;
using Steps = std::vector<PageStep>;

PageOffer media() {
    PageOffer offer;
    offer.media = true;
    return offer;
}

PageOffer graphsAndReports(bool reports = true) {
    PageOffer offer;
    offer.graphs = true;
    offer.rtcp = reports;
    return offer;
}

TEST(InfoPanelPages, StartsWithTheInstructionsAndTheFirstItemCreatesEveryPage) {
    InfoPanelPages pages;
    EXPECT_EQ(pages.pages(), Pages{Role::Instructions});
    EXPECT_TRUE(pages.show(InfoMode::Instructions, {}).empty());

    EXPECT_EQ(pages.show(InfoMode::Sip, media()), (Steps{{Action::RemoveAll, Role::Instructions},
                                                         {Action::Append, Role::Contents, true},
                                                         {Action::Append, Role::PacketInfo},
                                                         {Action::Append, Role::Media}}));
    EXPECT_EQ(pages.pages(), (Pages{Role::Contents, Role::PacketInfo, Role::Media}));

    // Clearing the selection brings back the single instructions page, once.
    EXPECT_EQ(pages.show(InfoMode::Instructions, {}),
              (Steps{{Action::RemoveAll, Role::Instructions},
                     {Action::Append, Role::Instructions, true}}));
    EXPECT_EQ(pages.pages(), Pages{Role::Instructions});
    EXPECT_TRUE(pages.show(InfoMode::Instructions, {}).empty());

    pages.show(InfoMode::Rtp, graphsAndReports());
    EXPECT_EQ(pages.pages(), (Pages{Role::Contents, Role::PacketInfo, Role::Bandwidth, Role::Jitter,
                                    Role::InterarrivalJitter, Role::Rtcp}));
}

TEST(InfoPanelPages, PacketInfoChosenStaysChosenFromASipMessageToAStream) {
    InfoPanelPages pages;
    pages.show(InfoMode::Sip, media());
    pages.pageChosen(1);
    EXPECT_EQ(pages.rememberedRole(), Role::PacketInfo);
    EXPECT_EQ(pages.show(InfoMode::Rtp, graphsAndReports(false)),
              (Steps{{Action::Remove, Role::Media},
                     {Action::Remove, Role::Contents},
                     {Action::InsertFirst, Role::Contents},
                     {Action::Refill, Role::PacketInfo},
                     {Action::Append, Role::Bandwidth},
                     {Action::Append, Role::Jitter},
                     {Action::Append, Role::InterarrivalJitter}}));
    EXPECT_EQ(pages.pages(), (Pages{Role::Contents, Role::PacketInfo, Role::Bandwidth, Role::Jitter,
                                    Role::InterarrivalJitter}));
    EXPECT_EQ(pages.pageToShow(), 1u);
}

TEST(InfoPanelPages, JitterChosenGivesTheFirstPageOfAMessageAndComesBackWithTheNextStream) {
    InfoPanelPages pages;
    pages.show(InfoMode::Rtp, graphsAndReports());
    pages.pageChosen(3);
    EXPECT_EQ(pages.rememberedRole(), Role::Jitter);

    EXPECT_EQ(pages.show(InfoMode::Sip, {}), (Steps{{Action::Remove, Role::Rtcp},
                                                    {Action::Remove, Role::InterarrivalJitter},
                                                    {Action::Remove, Role::Jitter},
                                                    {Action::Remove, Role::Bandwidth},
                                                    {Action::Remove, Role::Contents},
                                                    {Action::InsertFirst, Role::Contents},
                                                    {Action::Refill, Role::PacketInfo}}));
    EXPECT_EQ(pages.pageToShow(), 0u);
    EXPECT_EQ(pages.rememberedRole(), Role::Jitter);

    const Steps back = pages.show(InfoMode::Rtp, graphsAndReports());
    EXPECT_EQ(back[4], (PageStep{Action::Append, Role::Jitter, true}));
    EXPECT_EQ(pages.pageToShow(), 3u);
}

TEST(InfoPanelPages, MessagesOfOneKindRefillTheirPagesInPlace) {
    InfoPanelPages pages;
    pages.show(InfoMode::Sip, media());
    // A message without SDP empties the Media page and keeps it.
    EXPECT_EQ(pages.show(InfoMode::Sip, {}), (Steps{{Action::Refill, Role::Contents},
                                                    {Action::Refill, Role::PacketInfo},
                                                    {Action::EmptyMedia, Role::Media}}));
    EXPECT_EQ(pages.show(InfoMode::Sip, media()), (Steps{{Action::Refill, Role::Contents},
                                                         {Action::Refill, Role::PacketInfo},
                                                         {Action::Refill, Role::Media}}));

    InfoPanelPages noMedia;
    noMedia.show(InfoMode::Sip, {});
    EXPECT_EQ(noMedia.pages(), (Pages{Role::Contents, Role::PacketInfo}));
    EXPECT_EQ(noMedia.show(InfoMode::Sip, media()).back(), (PageStep{Action::Append, Role::Media}));

    // STUN/TURN and streams share the Contents list; a stream's own pages are made anew.
    InfoPanelPages lists;
    lists.show(InfoMode::Stun, {});
    EXPECT_EQ(lists.show(InfoMode::Rtp, graphsAndReports()),
              (Steps{{Action::Refill, Role::Contents},
                     {Action::Refill, Role::PacketInfo},
                     {Action::Append, Role::Bandwidth},
                     {Action::Append, Role::Jitter},
                     {Action::Append, Role::InterarrivalJitter},
                     {Action::Append, Role::Rtcp}}));
    EXPECT_EQ(lists.show(InfoMode::Rtp, {}), (Steps{{Action::Remove, Role::Rtcp},
                                                    {Action::Remove, Role::InterarrivalJitter},
                                                    {Action::Remove, Role::Jitter},
                                                    {Action::Remove, Role::Bandwidth},
                                                    {Action::Refill, Role::Contents},
                                                    {Action::Refill, Role::PacketInfo}}));
    EXPECT_EQ(lists.pages(), (Pages{Role::Contents, Role::PacketInfo}));
}

TEST(InfoPanelPages, ChoosingTheInstructionsOrNoPageKeepsTheRememberedRole) {
    InfoPanelPages pages;
    pages.pageChosen(0);  // the instructions page
    EXPECT_EQ(pages.rememberedRole(), Role::Contents);
    pages.show(InfoMode::Stun, {});
    pages.pageChosen(1);
    pages.pageChosen(7);
    EXPECT_EQ(pages.rememberedRole(), Role::PacketInfo);
    EXPECT_EQ(pages.positionOf(Role::Media), std::nullopt);
}

}  // namespace
