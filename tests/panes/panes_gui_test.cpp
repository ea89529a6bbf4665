// The panes around the ladder under Xvfb: the line graph, the info panel and the selection
// lists, alone and in the diagram window of a main window.
#include <gtest/gtest.h>

#include <wx/combobox.h>
#include <wx/dcmemory.h>
#include <wx/frame.h>
#include <wx/sizer.h>
#include <wx/textctrl.h>
#include <wx/toolbar.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <map>
#include <memory>

#include "charts/ostrane_line_graph.h"
#include "diagram_view/sip_diagram_selection_panel.h"
#include "engine/capture/packet_time.h"
#include "engine/media/dtmf.h"
#include "engine/media/rtp_statistics.h"
#include "engine/media/rtp_stream_registry.h"
#include "panes/rtcp_info_panel.h"
#include "panes/sip_diagram_info_panel.h"
#include "settings/app_settings.h"
#include "support/capture_builder.h"
#include "support/program_harness.h"
#include "toolkit/command_ids.h"

using namespace varlowe;
using namespace varlowe::testsupport;

namespace {

const std::string kHeplify = VARLOWE_SHARED_CAPTURES "/heplify_rtp_rtcp_sip_ipv4_udp.pcap";

bool exists(const std::string& path) {
    return std::ifstream(path).good();
}

std::vector<wxString> pageTitles(wxNotebook* book) {
    std::vector<wxString> titles;
    for (size_t i = 0; i < book->GetPageCount(); ++i) {
        titles.push_back(book->GetPageText(i));
    }
    return titles;
}

wxString selectedTitle(wxNotebook* book) {
    const int at = book->GetSelection();
    return at < 0 ? wxString() : book->GetPageText(static_cast<size_t>(at));
}

std::vector<std::pair<std::string, std::string>> listRows(wxListCtrl* list) {
    std::vector<std::pair<std::string, std::string>> rows;
    for (long row = 0; row < list->GetItemCount(); ++row) {
        rows.emplace_back(list->GetItemText(row, 0).utf8_string(),
                          list->GetItemText(row, 1).utf8_string());
    }
    return rows;
}

std::optional<RowIndex> firstRowOfKind(SipDiagramFrame* window, ItemKind kind) {
    const DiagramState& state = window->diagram()->state();
    for (size_t row = 0; row < state.rowCount(); ++row) {
        const AnalysisItem* item = state.itemAtRow(RowIndex(row));
        if (item != nullptr && item->kind == kind) {
            return RowIndex(row);
        }
    }
    return std::nullopt;
}

// The figure blocks of `varlowe-cli streams`, by their "Start/End Packet #".
std::map<std::string, std::vector<std::pair<std::string, std::string>>> cliStreams(
    const std::string& capture) {
    std::map<std::string, std::vector<std::pair<std::string, std::string>>> blocks;
    FILE* pipe = popen((std::string(VARLOWE_CLI) + " streams '" + capture + "'").c_str(), "r");
    if (pipe == nullptr) {
        return blocks;
    }
    // Each block keyed by its "Start/End Packet #"; blocks end at an empty line.
    std::vector<std::pair<std::string, std::string>> block;
    auto keep = [&] {
        for (const auto& row : block) {
            if (row.first == "Start/End Packet #") {
                blocks[row.second] = block;
            }
        }
        block.clear();
    };
    char line[512];
    while (fgets(line, sizeof line, pipe) != nullptr) {
        std::string text(line);
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
            text.pop_back();
        }
        const size_t colon = text.find(" : ");
        if (text.empty()) {
            keep();
        }
        if (text.rfind("Payload: ", 0) == 0 || colon == std::string::npos) {
            continue;
        }
        block.emplace_back(text.substr(0, colon), text.substr(colon + 3));
    }
    keep();
    pclose(pipe);
    return blocks;
}

struct RecordingListener : IMouseoverListener {
    std::vector<std::pair<int, int>> calls;
    void onMouseover(OstraneLineGraph*, int index, int previous) override {
        calls.emplace_back(index, previous);
    }
};

// A graph in a frame of its own, sized to the client area asked for.
struct GraphWindow {
    wxFrame* frame;
    OstraneLineGraph* graph;
    explicit GraphWindow(wxSize client) {
        frame = new wxFrame(nullptr, wxID_ANY, "graph");
        graph = new OstraneLineGraph(frame);
        frame->SetClientSize(client);
        frame->Show();
        drainEvents();
        graph->SetSize(client);
        drainEvents();
    }
    ~GraphWindow() {
        frame->Destroy();
        drainEvents();
    }
};

SampleSeries ramp(const std::string& name, int count, int32_t start, int32_t step) {
    SampleSeries series(name);
    for (int i = 0; i < count; ++i) {
        series.append(start + i * step);
    }
    return series;
}

}  // namespace

// The x-axis label is drawn whole under the tick labels, descenders and all, even in a label
// font much larger than the ticks' (the margin used to follow the tick font alone).
TEST(LineGraph, TheAxisLabelsFitTheirMargins) {
    SettingFont unit = AppSettings::graphsAxisUnitFont();
    unit.pointSize = 7;
    AppSettings::setGraphsAxisUnitFont(unit);
    SettingFont label = AppSettings::graphsAxisLabelFont();
    label.pointSize = 16;
    AppSettings::setGraphsAxisLabelFont(label);
    SampleSeries thousand = ramp("thousand", 300, 0, 3);
    GraphWindow window(wxSize(600, 300));
    window.graph->setLabels("Jitter", "time (packet #s)", "jitter (ms)");
    window.graph->addSeries(&thousand, *wxBLUE);
    const line_graph::Layout& layout = window.graph->layout();
    ASSERT_EQ(layout.message, line_graph::Layout::Message::None);
    wxImage plot = window.graph->bitmap().ConvertToImage();
    // Dark pixels of the label, under the tick labels and across the middle of the plot.
    const int top = layout.plot.y + layout.plot.height + 6;
    int lowest = -1;
    for (int y = top; y < plot.GetHeight(); ++y) {
        for (int x = layout.plot.x + layout.plot.width / 4;
             x < layout.plot.x + layout.plot.width * 3 / 4; ++x) {
            if (plot.GetRed(x, y) < 100 && plot.GetGreen(x, y) < 100) {
                lowest = y;
            }
        }
    }
    ASSERT_GE(lowest, 0) << "no label drawn";
    // Nothing drawn on the last two rows: the descenders of "p" and "(" end above the edge.
    EXPECT_LT(lowest, plot.GetHeight() - 2) << "the label runs into the bitmap's lower edge";
}

TEST(LineGraph, ShowsItsMessagesAndScrollsSidewaysForManySamples) {
    SampleSeries four = ramp("four", 4, 0, 10);
    SampleSeries thousand = ramp("thousand", 1000, 0, 3);
    GraphWindow small(wxSize(149, 300));
    small.graph->addSeries(&thousand, *wxBLUE);
    EXPECT_EQ(small.graph->layout().message, line_graph::Layout::Message::AreaTooSmall);
    // The message is drawn: something dark near the middle of a white bitmap.
    wxImage image = small.graph->bitmap().ConvertToImage();
    int dark = 0;
    for (int x = 0; x < image.GetWidth(); ++x) {
        for (int y = image.GetHeight() / 2 - 10; y < image.GetHeight() / 2 + 10; ++y) {
            dark += image.GetRed(x, y) < 128;
        }
    }
    EXPECT_GT(dark, 10);

    GraphWindow window(wxSize(600, 300));
    window.graph->addSeries(&four, *wxGREEN);
    EXPECT_EQ(window.graph->layout().message, line_graph::Layout::Message::NotEnoughSamples);
    const int before = window.graph->renderCount();
    // Changes draw the plot once, when it is next needed.
    window.graph->setLabels("Bandwidth Usage", "time (s)", "bandwidth (bytes)");
    window.graph->addSeries(&thousand, *wxBLUE);
    EXPECT_EQ(window.graph->renderCount(), before);
    const line_graph::Layout& layout = window.graph->layout();
    EXPECT_EQ(window.graph->renderCount(), before + 1);
    ASSERT_EQ(layout.message, line_graph::Layout::Message::None);
    EXPECT_EQ(layout.virtualWidth, 1044);
    EXPECT_TRUE(layout.legendShown);
    EXPECT_EQ(window.graph->GetVirtualSize().x, 1044);
    EXPECT_EQ(window.graph->bitmap().GetWidth(), 1044);

    // Sample 500 of the blue ramp is drawn in blue; the axis in black.
    wxImage plot = window.graph->bitmap().ConvertToImage();
    const line_graph::Point p = line_graph::samplePoint(layout, 500, thousand.samples[500]);
    bool blue = false;
    for (int dy = -1; dy <= 1; ++dy) {
        blue |= plot.GetBlue(p.x, p.y + dy) > 200 && plot.GetRed(p.x, p.y + dy) < 60;
    }
    EXPECT_TRUE(blue);
    const int axisY = layout.plot.y + layout.plot.height;
    EXPECT_EQ(plot.GetRed(layout.plot.x + 20, axisY), 0);
    EXPECT_EQ(plot.GetRed(layout.plot.x + 20, axisY - 3), 255);

    // Scrolled to the middle, the y axis and the legend stay at the window's edges.
    window.graph->Scroll(layout.virtualWidth / layout.scrollUnit / 2, 0);
    drainEvents();
    ASSERT_GT(window.graph->GetViewStart().x, 0);
    const wxSize client = window.graph->GetClientSize();
    wxBitmap shown(client);
    {
        wxMemoryDC dc(shown);
        window.graph->paintView(dc);
    }
    const wxImage view = shown.ConvertToImage();
    EXPECT_EQ(view.GetRed(layout.plot.x - 1, layout.plot.y + layout.plot.height / 2), 0);
    const line_graph::FixedStrips strips = line_graph::fixedStrips(layout, client.x);
    ASSERT_GT(strips.right, 0);
    // The right strip is the bitmap's legend, pixel for pixel (blue text among it).
    int differing = 0;
    int legendBlue = 0;
    for (int x = 0; x < strips.right; ++x) {
        for (int y = 0; y < client.y; ++y) {
            const int vx = client.x - strips.right + x;
            const int bx = layout.virtualWidth - strips.right + x;
            differing += view.GetRed(vx, y) != plot.GetRed(bx, y) ||
                         view.GetBlue(vx, y) != plot.GetBlue(bx, y);
            legendBlue += view.GetBlue(vx, y) > 150 && view.GetRed(vx, y) < 100;
        }
    }
    EXPECT_EQ(differing, 0);
    EXPECT_GT(legendBlue, 0);
    window.graph->Scroll(0, 0);
    drainEvents();

    // Painting and resizing: only a new size draws the plot again.
    const int drawn = window.graph->renderCount();
    window.graph->Refresh();
    drainEvents();
    EXPECT_EQ(window.graph->renderCount(), drawn);
    window.graph->SetSize(wxSize(700, 300));
    EXPECT_TRUE(waitUntil([&] { return window.graph->renderCount() > drawn; }));

    // Eight series at most; four listener slots, the graph's own in one of them.
    for (int i = 0; i < 6; ++i) {
        EXPECT_TRUE(window.graph->addSeries(&four, *wxRED));
    }
    EXPECT_FALSE(window.graph->addSeries(&four, *wxRED));
    RecordingListener a, b, c, d;
    EXPECT_TRUE(window.graph->addMouseoverListener(&a));
    EXPECT_FALSE(window.graph->addMouseoverListener(&a));  // again: stays, false
    EXPECT_TRUE(window.graph->addMouseoverListener(&b));
    EXPECT_TRUE(window.graph->addMouseoverListener(&c));
    EXPECT_FALSE(window.graph->addMouseoverListener(&d));
    EXPECT_TRUE(window.graph->removeMouseoverListener(&b));
    EXPECT_FALSE(window.graph->removeMouseoverListener(&b));
    EXPECT_TRUE(window.graph->addMouseoverListener(&d));
}

TEST(LineGraph, HoverChangesOncePerSampleWithMarkersAndCalloutsInTheSeriesColours) {
    SampleSeries rising = ramp("Transmit Delta", 100, 1000, 10);
    SampleSeries flat = ramp("Rolling Average", 100, 500, 0);
    GraphWindow window(wxSize(600, 300));
    window.graph->setLabels("Jitter", "time (packet #s)", "Jitter (usecs)");
    window.graph->addSeries(&rising, *wxGREEN);
    window.graph->addSeries(&flat, *wxBLACK);
    RecordingListener listener;
    window.graph->addMouseoverListener(&listener);
    const line_graph::Layout& layout = window.graph->layout();
    const int drawn = window.graph->renderCount();
    ASSERT_EQ(layout.message, line_graph::Layout::Message::None);
    const int y = layout.plot.y + layout.plot.height / 2;

    for (int x = layout.plot.x; x < layout.plot.x + layout.plot.width; ++x) {
        window.graph->pointerAt(wxPoint(x, y));
    }
    ASSERT_GE(listener.calls.size(), 100u);
    EXPECT_EQ(listener.calls.front(), std::make_pair(0, -1));
    for (size_t i = 1; i < listener.calls.size(); ++i) {
        EXPECT_EQ(listener.calls[i].first, listener.calls[i].second + 1);
    }

    window.graph->pointerAt(wxPoint(layout.plot.x + 10 * layout.pixelsPerSample + 1, y));
    EXPECT_EQ(window.graph->hoverIndex(), 10);
    const auto& callouts = window.graph->callouts();
    ASSERT_EQ(callouts.size(), 2u);
    EXPECT_EQ(callouts[0]->text(), "1100");
    EXPECT_EQ(callouts[0]->colour(), *wxGREEN);
    EXPECT_EQ(callouts[1]->text(), "500");
    EXPECT_EQ(callouts[1]->colour(), *wxBLACK);
    // Even series to the right of the point, odd ones to the left; both inside the window.
    const line_graph::Point point = line_graph::samplePoint(layout, 10, 1100);
    EXPECT_GT(callouts[0]->rect().x, point.x);
    EXPECT_LT(callouts[1]->rect().GetRight(), point.x);
    const wxRect client(wxPoint(0, 0), window.graph->GetClientSize());
    EXPECT_TRUE(client.Contains(callouts[0]->rect()));
    EXPECT_TRUE(client.Contains(callouts[1]->rect()));

    listener.calls.clear();
    window.graph->pointerLeft();
    ASSERT_EQ(listener.calls.size(), 1u);
    EXPECT_EQ(listener.calls[0], std::make_pair(-1, 10));
    EXPECT_TRUE(window.graph->callouts().empty());
    // Hovering drew nothing into the plot.
    EXPECT_EQ(window.graph->renderCount(), drawn);
}

TEST(InfoPanel, ASipMessageWithSdpShowsItsTextPacketAndOneMediaTabPerStream) {
    Program program;
    SipDiagramFrame* window = program.open("samples/sip-call-loopback.pcap");
    ASSERT_NE(window, nullptr);
    SipDiagramInfoPanel* info = window->infoPanel();
    // Row 0, the INVITE, is selected when the window opens.
    const AnalysisItem* invite = window->diagram()->state().selectedItem();
    ASSERT_NE(invite, nullptr);
    ASSERT_TRUE(invite->sip && window->model()->sdpOf(*invite));
    EXPECT_EQ(pageTitles(info), (std::vector<wxString>{"Contents", "Packet Info", "Media"}));
    auto* text = dynamic_cast<wxTextCtrl*>(info->page(PageRole::Contents));
    ASSERT_NE(text, nullptr);
    EXPECT_TRUE(text->GetValue().StartsWith("INVITE sip:service@127.0.0.1:5060 SIP/2.0"));
    auto* packet = dynamic_cast<wxListCtrl*>(info->page(PageRole::PacketInfo));
    ASSERT_NE(packet, nullptr);
    const auto rows = listRows(packet);
    ASSERT_EQ(rows.size(), 8u);
    EXPECT_EQ(rows[0], std::make_pair(std::string("Packet #"), std::string("1")));
    EXPECT_EQ(rows[2].second, "UDP");
    EXPECT_EQ(rows[3].second, "127.0.0.2:5070");
    EXPECT_EQ(rows[4].second, "127.0.0.1:5060");

    // One tab per stream of the INVITE's SDP: "media/encoding/SSRC" in decimal.
    wxNotebook* media = info->mediaNotebook();
    ASSERT_NE(media, nullptr);
    std::vector<wxString> expected;
    const RtpStreamRegistry* registry = window->model()->streamRegistry();
    for (const RtpStream* stream : registry->streamsOfTransaction(
             invite->sip->transactionKey(), window->model()->sdpOf(*invite).get(), 32)) {
        expected.push_back(
            wxString::Format("%s/%s/%u", stream->mediaName, stream->encodingName, stream->ssrc));
    }
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(pageTitles(media), expected);
    EXPECT_EQ(expected[0], "audio/PCMA/3739283087");

    // The keyboard stays with the ladder although the panes made new pages.
    program.frame->Raise();
    drainEvents();
    if (wxWindow::FindFocus() != nullptr) {
        EXPECT_EQ(wxWindow::FindFocus(), window->diagram());
    }

    // The same item again rebuilds nothing.
    const int rebuilds = info->rebuildCount();
    info->onSelectionChanged(invite);
    EXPECT_EQ(info->rebuildCount(), rebuilds);

    // Nothing selected: the single instructions page.
    window->diagram()->selectRow(std::nullopt);
    EXPECT_EQ(pageTitles(info), std::vector<wxString>{"Instructions"});
}

TEST(InfoPanel, AStreamShowsTheFiguresOfTheToolAndItsGraphs) {
    Program program;
    SipDiagramFrame* window = program.open("samples/sip-call-loopback.pcap");
    ASSERT_NE(window, nullptr);
    const auto cli = cliStreams(source("samples/sip-call-loopback.pcap"));
    ASSERT_EQ(cli.size(), 3u);
    SipDiagramInfoPanel* info = window->infoPanel();
    int streams = 0;
    const DiagramState& state = window->diagram()->state();
    for (size_t row = 0; row < state.rowCount(); ++row) {
        const AnalysisItem* item = state.itemAtRow(RowIndex(row));
        if (item->kind != ItemKind::Media) {
            continue;
        }
        ++streams;
        window->diagram()->selectRow(RowIndex(row));
        auto* contents = dynamic_cast<wxListCtrl*>(info->page(PageRole::Contents));
        ASSERT_NE(contents, nullptr);
        auto rows = listRows(contents);
        ASSERT_GE(rows.size(), 20u);
        ASSERT_EQ(rows[9].first, "Start/End Packet #");
        auto block = cli.find(rows[9].second);
        ASSERT_NE(block, cli.end()) << rows[9].second;
        // The tool's rows, then on the telephone-event stream its digits.
        if (isTelephoneEvent(*item->stream)) {
            ASSERT_EQ(rows.size(), block->second.size() + 2);
            EXPECT_EQ(rows[20].first, "DTMF Digits");
            EXPECT_EQ(rows[21].first, "Digit 1");
            rows.resize(block->second.size());
        }
        EXPECT_EQ(rows, block->second);
        EXPECT_EQ(pageTitles(info), (std::vector<wxString>{"Contents", "Packet Info", "Bandwidth",
                                                           "Jitter", "RFC 3550 Jitter"}));
        auto* packet = dynamic_cast<wxListCtrl*>(info->page(PageRole::PacketInfo));
        EXPECT_EQ(listRows(packet)[0].second, std::to_string(item->stream->firstPacket().number));
        ASSERT_NE(info->bandwidthGraph(), nullptr);
        EXPECT_EQ(info->bandwidthGraph()->seriesCount(), 3u);
        // Green, and readable on white: a contrast of at least 4.5 to 1 (WCAG's for text).
        const wxColour green = info->bandwidthGraph()->seriesColour(0);
        EXPECT_GT(green.Green(), 2 * std::max(green.Red(), green.Blue()));
        auto linear = [](int channel) {
            const double c = channel / 255.0;
            return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
        };
        const double luminance = 0.2126 * linear(green.Red()) + 0.7152 * linear(green.Green()) +
                                 0.0722 * linear(green.Blue());
        EXPECT_GE(1.05 / (luminance + 0.05), 4.5);
        EXPECT_EQ(info->jitterGraph()->seriesColour(0), green);
        EXPECT_EQ(info->bandwidthGraph()->seriesColour(1), *wxBLUE);
        EXPECT_EQ(info->bandwidthGraph()->seriesColour(2), *wxBLACK);
        ASSERT_NE(info->jitterGraph(), nullptr);
        EXPECT_EQ(info->jitterGraph()->seriesCount(), 2u);
        auto* interarrival =
            dynamic_cast<OstraneLineGraph*>(info->page(PageRole::InterarrivalJitter));
        ASSERT_NE(interarrival, nullptr);
        ASSERT_EQ(interarrival->seriesCount(), 1u);
        EXPECT_EQ(interarrival->seriesColour(0), wxColour(200, 0, 0));
    }
    EXPECT_EQ(streams, 3);
    // Going back to a stream shown before reads the capture no more.
    const size_t computed = info->graphCache().computations();
    window->diagram()->selectRow(firstRowOfKind(window, ItemKind::Media));
    EXPECT_EQ(info->graphCache().computations(), computed);
}

TEST(InfoPanel, TheChosenTabSurvivesChangesOfKindWhereItExists) {
    Program program;
    SipDiagramFrame* window = program.open("samples/sip-call-loopback.pcap");
    ASSERT_NE(window, nullptr);
    SipDiagramInfoPanel* info = window->infoPanel();
    const std::optional<RowIndex> media = firstRowOfKind(window, ItemKind::Media);
    ASSERT_TRUE(media);
    window->diagram()->selectRow(RowIndex(0));
    info->SetSelection(1);  // the user chooses Packet Info
    drainEvents();
    window->diagram()->selectRow(media);
    EXPECT_EQ(selectedTitle(info), "Packet Info");

    info->SetSelection(3);  // Jitter
    drainEvents();
    EXPECT_EQ(selectedTitle(info), "Jitter");
    window->diagram()->selectRow(RowIndex(1));  // 180 Ringing: no jitter page
    EXPECT_EQ(selectedTitle(info), "Contents");
    window->diagram()->selectRow(media);
    EXPECT_EQ(selectedTitle(info), "Jitter");
}

TEST(InfoPanel, RtcpReportsAreListedWithTheirImagesAndFilteredBySource) {
    if (!exists(kHeplify)) {
        GTEST_SKIP() << kHeplify << " is not there";
    }
    Program program;
    program.frame->openCapture(kHeplify, false);
    drainEvents();
    SipDiagramFrame* window = program.frame->findDiagramWindow(kHeplify);
    ASSERT_NE(window, nullptr);
    const DiagramState& state = window->diagram()->state();
    SipDiagramInfoPanel* info = window->infoPanel();
    int withReports = 0;
    for (size_t row = 0; row < state.rowCount(); ++row) {
        const AnalysisItem* item = state.itemAtRow(RowIndex(row));
        if (item->kind != ItemKind::Media) {
            continue;
        }
        window->diagram()->selectRow(RowIndex(row));
        const std::vector<RtcpReport>& reports = item->stream->reports;
        if (reports.empty()) {
            EXPECT_EQ(info->rtcpPanel(), nullptr);
            continue;
        }
        ++withReports;
        ASSERT_EQ(pageTitles(info).back(), "RTCP Reports");
        RtcpInfoPanel* rtcp = info->rtcpPanel();
        ASSERT_NE(rtcp, nullptr);
        // One row per sender or receiver report with a block; image 1 for sender reports.
        std::vector<const RtcpReport*> listed;
        for (const RtcpReport& report : reports) {
            if ((report.type == RtcpType::SenderReport ||
                 report.type == RtcpType::ReceiverReport) &&
                report.block) {
                listed.push_back(&report);
            }
        }
        wxListCtrl* list = rtcp->list();
        ASSERT_EQ(list->GetItemCount(), static_cast<int>(listed.size()));
        for (size_t i = 0; i < listed.size(); ++i) {
            wxListItem cell;
            cell.SetId(static_cast<long>(i));
            cell.SetMask(wxLIST_MASK_IMAGE);
            ASSERT_TRUE(list->GetItem(cell));
            const bool sender = listed[i]->type == RtcpType::SenderReport;
            EXPECT_EQ(cell.GetImage(), sender ? 1 : 0);
            EXPECT_EQ(list->GetItemText(static_cast<long>(i), 0),
                      wxString::Format("0x%08X", listed[i]->block->ssrc));
            EXPECT_EQ(list->GetItemText(static_cast<long>(i), 5) == " ", !sender);
        }
        // The sources: "All" and one label each, with the canonical name when known.
        wxComboBox* sources = rtcp->sources();
        ASSERT_GE(sources->GetCount(), 2u);
        EXPECT_EQ(sources->GetString(0), "All");
        for (unsigned entry = 1; entry < sources->GetCount(); ++entry) {
            const wxString label = sources->GetString(entry);
            unsigned long ssrc = 0;
            ASSERT_TRUE(label.Mid(2, 8).ToULong(&ssrc, 16)) << label;
            std::optional<std::string> name =
                window->model()->streamRegistry()->canonicalName(static_cast<uint32_t>(ssrc));
            EXPECT_EQ(label, name ? wxString::Format("0x%08lX (%s)", ssrc, *name)
                                  : wxString::Format("0x%08lX", ssrc));
            rtcp->chooseSource(static_cast<int>(entry));
            ASSERT_GT(list->GetItemCount(), 0);
            for (long i = 0; i < list->GetItemCount(); ++i) {
                EXPECT_EQ(list->GetItemText(i, 0), label.Left(10));
            }
        }
        rtcp->chooseSource(0);
        EXPECT_EQ(list->GetItemCount(), static_cast<int>(listed.size()));
        EXPECT_EQ(rtcp->filter(), -1);
    }
    EXPECT_GT(withReports, 0);
}

namespace {

std::optional<long> selectedListRow(wxListCtrl* list) {
    const long row = list->GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED);
    return row < 0 ? std::nullopt : std::optional<long>(row);
}

// A row chosen in a list, as the toolkit reports a click on it.
void chooseRow(NotebookListCtrl* list, long row) {
    wxListEvent event(wxEVT_LIST_ITEM_SELECTED, list->GetId());
    event.SetEventObject(list);
    event.m_itemIndex = row;
    list->GetEventHandler()->ProcessEvent(event);
    drainEvents();
}

void clickToggle(SipDiagramSelectionPanel* panel, int id, bool on) {
    panel->toolbar()->ToggleTool(id, on);
    wxCommandEvent event(wxEVT_TOOL, id);
    event.SetEventObject(panel->toolbar());
    event.SetInt(on ? 1 : 0);
    panel->toolbar()->GetEventHandler()->ProcessEvent(event);
    drainEvents();
}

std::vector<std::string> descriptions(NotebookListCtrl* list) {
    std::vector<std::string> out;
    for (const SelectionRow& row : list->rows()) {
        out.push_back(row.description);
    }
    return out;
}

// A diagram that records its pop-up menus instead of showing them.
class RecordingDiagram : public SipDiagram {
  public:
    using SipDiagram::SipDiagram;
    std::vector<const AnalysisItem*> menus;

  protected:
    void showPopup(wxMenu&, wxPoint) override { menus.push_back(menuItem()); }
};

struct NoDialogs : IAnalysisDialogs {
    void showError(const std::string&, const std::string&) override {}
    bool askYesNo(const std::string&, const std::string&) override { return false; }
};

// The lists and a recording diagram in a frame of their own.
struct ListsWindow {
    std::unique_ptr<AnalysisModel> model;
    wxFrame* frame;
    SipDiagramSelectionNotebook* notebook;
    RecordingDiagram* diagram;

    explicit ListsWindow(std::unique_ptr<AnalysisModel> analysed) : model(std::move(analysed)) {
        frame = new wxFrame(nullptr, wxID_ANY, "lists", wxDefaultPosition, wxSize(900, 600));
        auto* sizer = new wxBoxSizer(wxHORIZONTAL);
        notebook = new SipDiagramSelectionNotebook(frame);
        diagram = new RecordingDiagram(frame, nullptr);
        sizer->Add(notebook, 1, wxEXPAND);
        sizer->Add(diagram, 2, wxEXPAND);
        frame->SetSizer(sizer);
        diagram->state().addSelectionListener(notebook);
        diagram->state().addBookmarkListener(notebook);
        notebook->setDiagram(diagram);
        frame->Show();
        notebook->setModel(model.get());
        diagram->setModel(model.get());
        drainEvents();
    }
    ~ListsWindow() {
        diagram->setModel(nullptr);
        frame->Destroy();
        drainEvents();
    }
};

std::unique_ptr<AnalysisModel> analysedSample() {
    NoDialogs dialogs;
    return PacketAnalysisDriver(ParsingOptions{}, nullptr, &dialogs)
        .analyse(source("samples/sip-call-loopback.pcap"), false)
        .model;
}

}  // namespace

TEST(SelectionLists, FollowTheDiagramAndCountTheirRowsInTheTitles) {
    Program program;
    SipDiagramFrame* window = program.open("samples/sip-call-loopback.pcap");
    ASSERT_NE(window, nullptr);
    SipDiagramSelectionNotebook* lists = window->selectionPanel()->notebook();
    EXPECT_EQ(pageTitles(lists), (std::vector<wxString>{"All/9", "Bookmarks/0", "Related"}));
    const AnalysisItem* invite = window->diagram()->state().selectedItem();
    const size_t session =
        selection_rows::relatedRows(*window->model(), *invite, AnalysisModel::RelationMode::Session,
                                    SelectionSwitches{})
            .size();
    const size_t trans =
        selection_rows::relatedRows(*window->model(), *invite,
                                    AnalysisModel::RelationMode::Transaction, SelectionSwitches{})
            .size();
    EXPECT_GT(session, trans);
    EXPECT_EQ(pageTitles(lists->relatedNotebook()),
              (std::vector<wxString>{wxString::Format("Session/%zu", session),
                                     wxString::Format("Trans/%zu", trans)}));
    EXPECT_EQ(selectedListRow(lists->allList()), 0);
    EXPECT_EQ(lists->allList()->GetItemText(0, 1), "INVITE");
    EXPECT_EQ(lists->allList()->GetItemText(1, 2), "0.000323");

    window->diagram()->selectRow(RowIndex(3));
    EXPECT_EQ(selectedListRow(lists->allList()), 3);
    EXPECT_EQ(lists->allList()->GetItemText(3, 1), "ACK");

    // Bookmarks in index order whatever the order they were added in.
    DiagramState& state = window->diagram()->state();
    for (size_t index : {5u, 2u, 8u}) {
        state.addBookmark(ItemIndex(index));
    }
    EXPECT_EQ(pageTitles(lists)[1], "Bookmarks/3");
    NotebookListCtrl* bookmarks = lists->bookmarksList();
    EXPECT_EQ(bookmarks->GetItemText(0, 0), "3");
    EXPECT_EQ(bookmarks->GetItemText(1, 0),
              std::to_string(window->model()->item(ItemIndex(5)).packet.number));
    // Each Delta counts from the bookmark before it, also for one added before it later.
    auto between = [&](size_t later, size_t earlier) {
        const AnalysisModel& model = *window->model();
        return packetTimeText(timeDifference(model.item(ItemIndex(later)).packet.time(),
                                             model.item(ItemIndex(earlier)).packet.time()));
    };
    EXPECT_EQ(bookmarks->GetItemText(0, 2), "0.000000");
    EXPECT_EQ(bookmarks->GetItemText(1, 2), between(5, 2));
    EXPECT_EQ(bookmarks->GetItemText(2, 2), between(8, 5));
    EXPECT_NE(between(5, 2), "0.000000");
    state.removeBookmark(ItemIndex(2));
    EXPECT_EQ(pageTitles(lists)[1], "Bookmarks/2");
    EXPECT_EQ(bookmarks->GetItemText(0, 2), "0.000000");  // item 5 first again
    state.removeBookmark(ItemIndex(8));
    state.addBookmark(ItemIndex(8));
    state.removeBookmark(ItemIndex(5));
    EXPECT_EQ(bookmarks->GetItemText(0, 2), "0.000000");  // 8 alone
}

TEST(SelectionLists, ARowChosenInAListSelectsItsItemAndAFocusedSessionKeepsItsRows) {
    Program program;
    SipDiagramFrame* window = program.open("samples/sip-call-loopback.pcap");
    ASSERT_NE(window, nullptr);
    SipDiagramSelectionNotebook* lists = window->selectionPanel()->notebook();
    NotebookListCtrl* session = lists->sessionList();
    ASSERT_GE(session->GetItemCount(), 3);
    lists->SetSelection(2);
    program.frame->Raise();
    session->SetFocus();
    drainEvents();
    if (wxWindow::FindFocus() != session) {
        GTEST_SKIP() << "the display gives no keyboard focus";
    }
    const int sessionFills = lists->sessionFills();
    const int transFills = lists->transFills();
    const AnalysisItem* chosen = session->itemAt(2);
    chooseRow(session, 2);
    EXPECT_EQ(window->diagram()->state().selectedItem(), chosen);
    EXPECT_EQ(lists->sessionFills(), sessionFills);
    EXPECT_EQ(lists->transFills(), transFills + 1);
    EXPECT_EQ(wxWindow::FindFocus(), session);
    EXPECT_EQ(selectedListRow(lists->allList()), lists->allList()->rowOfItem(chosen).value_or(-1));
}

TEST(SelectionLists, TogglesFilterTheListsButNotTheBookmarksAndAreKept) {
    Program program;
    SipDiagramFrame* window = program.open("samples/sip-call-loopback.pcap");
    ASSERT_NE(window, nullptr);
    SipDiagramSelectionPanel* panel = window->selectionPanel();
    SipDiagramSelectionNotebook* lists = panel->notebook();
    const std::optional<RowIndex> media = firstRowOfKind(window, ItemKind::Media);
    ASSERT_TRUE(media);
    window->diagram()->selectRow(media);
    window->diagram()->state().addBookmark(window->diagram()->state().selectedItem()->index);
    ASSERT_EQ(lists->bookmarksList()->GetItemCount(), 1);

    clickToggle(panel, command::kShowAudioInLists, false);
    EXPECT_FALSE(AppSettings::selectionPaneShowAudio());
    EXPECT_EQ(
        descriptions(lists->allList()),
        (std::vector<std::string>{"INVITE", "180 Ringing", "200 OK", "ACK", "BYE", "200 OK"}));
    EXPECT_EQ(pageTitles(lists)[0], "All/6");
    EXPECT_EQ(lists->bookmarksList()->GetItemCount(), 1);
    for (const SelectionRow& row : lists->sessionList()->rows()) {
        EXPECT_NE(row.item->kind, ItemKind::Media);
    }

    for (int id :
         {command::kShowSipInLists, command::kShowSturnInLists, command::kShowVideoInLists}) {
        clickToggle(panel, id, false);
    }
    EXPECT_EQ(pageTitles(lists)[0], "All/0");
    EXPECT_EQ(pageTitles(lists->relatedNotebook()),
              (std::vector<wxString>{"Session/0", "Trans/0"}));
    EXPECT_EQ(pageTitles(lists)[1], "Bookmarks/1");
    EXPECT_FALSE(AppSettings::selectionPaneShowSip());

    // A new diagram window starts with the toggles as they were left.
    SipDiagramFrame* second = program.open("tests/fixtures/sip-call-dtmf.pcap");
    ASSERT_NE(second, nullptr);
    EXPECT_FALSE(second->selectionPanel()->toolbar()->GetToolState(command::kShowAudioInLists));
    EXPECT_EQ(pageTitles(second->selectionPanel()->notebook())[0], "All/0");
    // Each window stores its toggles (the last one closed wins).
    for (SipDiagramSelectionPanel* each : {panel, second->selectionPanel()}) {
        for (int id : {command::kShowSipInLists, command::kShowSturnInLists,
                       command::kShowAudioInLists, command::kShowVideoInLists}) {
            clickToggle(each, id, true);
        }
    }
    EXPECT_TRUE(AppSettings::selectionPaneShowAudio());
    EXPECT_EQ(pageTitles(lists)[0], "All/9");
}

TEST(SelectionLists, AHiddenBookmarkSelectsNothingInTheDiagramButShowsInTheInfoPanel) {
    Program program;
    SipDiagramFrame* window = program.open("samples/sip-call-loopback.pcap");
    ASSERT_NE(window, nullptr);
    const std::optional<RowIndex> media = firstRowOfKind(window, ItemKind::Media);
    ASSERT_TRUE(media);
    const AnalysisItem* stream = window->diagram()->state().itemAtRow(*media);
    window->diagram()->state().addBookmark(stream->index);

    // The filter tree's "BYE" method hides the stream.
    wxTreeCtrl* tree = window->filterTree();
    wxTreeItemIdValue cookie;
    wxTreeItemId methods;
    for (wxTreeItemId child = tree->GetFirstChild(tree->GetRootItem(), cookie); child.IsOk();
         child = tree->GetNextChild(tree->GetRootItem(), cookie)) {
        if (tree->GetItemText(child) == "Methods") {
            methods = child;
        }
    }
    ASSERT_TRUE(methods.IsOk());
    wxTreeItemId bye;
    for (wxTreeItemId child = tree->GetFirstChild(methods, cookie); child.IsOk();
         child = tree->GetNextChild(methods, cookie)) {
        if (tree->GetItemText(child) == "BYE") {
            bye = child;
        }
    }
    ASSERT_TRUE(bye.IsOk());
    tree->SelectItem(bye);
    drainEvents();
    ASSERT_EQ(window->diagram()->state().rowCount(), 2u);
    SipDiagramSelectionNotebook* lists = window->selectionPanel()->notebook();
    EXPECT_EQ(pageTitles(lists)[0], "All/2");

    chooseRow(lists->bookmarksList(), 0);
    EXPECT_EQ(window->diagram()->state().selectedRow(), std::nullopt);
    SipDiagramInfoPanel* info = window->infoPanel();
    EXPECT_EQ(info->pageState().mode(), InfoMode::Rtp);
    auto* contents = dynamic_cast<wxListCtrl*>(info->page(PageRole::Contents));
    ASSERT_NE(contents, nullptr);
    EXPECT_EQ(contents->GetItemCount(), 20);
    EXPECT_EQ(selectedListRow(lists->allList()), std::nullopt);
}

TEST(SelectionLists, ARightClickOpensTheItemMenuOfTheRowAndSelectsIt) {
    ListsWindow window(analysedSample());
    NotebookListCtrl* all = window.notebook->allList();
    ASSERT_EQ(all->GetItemCount(), 9);
    wxListEvent click(wxEVT_LIST_ITEM_RIGHT_CLICK, all->GetId());
    click.SetEventObject(all);
    click.m_itemIndex = 4;
    all->GetEventHandler()->ProcessEvent(click);
    drainEvents();
    ASSERT_EQ(window.diagram->menus.size(), 1u);
    EXPECT_EQ(window.diagram->menus[0], all->itemAt(4));
    EXPECT_EQ(window.diagram->state().selectedRow(), RowIndex(4));
    EXPECT_EQ(window.diagram->menuItem(), nullptr);
}

TEST(SelectionLists, AllListsTheFirstTenThousandRows) {
    auto model = std::make_unique<AnalysisModel>();
    for (uint32_t i = 0; i < 10050; ++i) {
        PacketRecord packet;
        packet.number = i + 1;
        packet.seconds = 1000 + i;
        packet.sourceAddress = "10.0.0.1";
        packet.destinationAddress = "10.0.0.2";
        model->addSip(packet, SipMessage::parse("OPTIONS sip:b@h SIP/2.0\r\nCall-ID: c" +
                                                std::to_string(i) + "\r\nCSeq: 1 OPTIONS\r\n\r\n"));
    }
    ListsWindow window(std::move(model));
    EXPECT_EQ(window.notebook->allList()->GetItemCount(), 10000);
    EXPECT_EQ(window.notebook->GetPageText(0), "All/10000");
    EXPECT_EQ(window.notebook->allList()->GetItemText(9999, 2), "9999.000000");
}

// After a filter the lists start at their top, not where the rows before were scrolled to.
TEST(SelectionLists, AfterAFilterTheListsStartAtTheirTop) {
    // Two sessions of 60 OPTIONS and their answers each, interleaved: either fills the list.
    CaptureBuilder capture;
    for (uint32_t n = 0; n < 120; ++n) {
        const std::string call = n % 2 == 0 ? "even" : "odd";
        const std::string head = "Via: SIP/2.0/UDP h;branch=z9hG4bK" + std::to_string(n) +
                                 "\r\nFrom: <sip:a@h>;tag=a\r\nTo: <sip:b@h>\r\nCall-ID: " + call +
                                 "\r\nCSeq: " + std::to_string(n) +
                                 " OPTIONS\r\nContent-Length: 0\r\n\r\n";
        capture.add(udpFrame(ipv4(10, 0, 0, 1), 5060, ipv4(10, 0, 0, 2), 5060,
                             bytesOf("OPTIONS sip:b@h SIP/2.0\r\n" + head)),
                    100 + n, 0);
        capture.add(udpFrame(ipv4(10, 0, 0, 2), 5060, ipv4(10, 0, 0, 1), 5060,
                             bytesOf("SIP/2.0 200 OK\r\n" + head)),
                    100 + n, 500);
    }
    TempFile file("sessions.pcap");
    capture.writeTo(file.path());
    Program program;
    SipDiagramFrame* window = program.openPath(file.path());
    ASSERT_NE(window, nullptr);
    NotebookListCtrl* all = window->selectionPanel()->notebook()->allList();
    ASSERT_EQ(all->GetItemCount(), 240);
    all->EnsureVisible(all->GetItemCount() - 1);
    drainEvents();
    ASSERT_GT(all->GetTopItem(), 0);
    // The odd session's Call-ID node: 120 rows, more than the list shows.
    wxTreeCtrl* tree = window->filterTree();
    wxTreeItemIdValue cookie;
    const wxTreeItemId calls = tree->GetFirstChild(tree->GetRootItem(), cookie);
    wxTreeItemIdValue callCookie;
    wxTreeItemId node = tree->GetFirstChild(calls, callCookie);
    while (node.IsOk() && !tree->GetItemText(node).EndsWith("odd")) {
        node = tree->GetNextChild(calls, callCookie);
    }
    ASSERT_TRUE(node.IsOk());
    tree->SelectItem(node);
    drainEvents();
    ASSERT_EQ(all->GetItemCount(), 120);
    EXPECT_EQ(all->GetTopItem(), 0);
}
