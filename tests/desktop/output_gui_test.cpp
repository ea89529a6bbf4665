// Getting results out of the desktop program under Xvfb: Export, Copy and Copy All, RTP
// extraction from the item menu, printing and preview, the preferences dialog and the ladder
// as an image.
#include <gtest/gtest.h>
#include <unistd.h>

#include <wx/button.h>
#include <wx/clipbrd.h>
#include <wx/dcmemory.h>
#include <wx/dcps.h>
#include <wx/dcscreen.h>
#include <wx/image.h>
#include <wx/print.h>
#include <wx/xml/xml.h>

#include <cstdio>
#include <functional>

#include "desktop/extract_rtp_dialog.h"
#include "desktop/playback_dialog.h"
#include "diagram_view/sip_message_info_dialog.h"
#include "engine/media/rtp_stream_registry.h"
#include "output/text_export.h"
#include "preferences/preference_dlg.h"
#include "printing/diagram_image.h"
#include "printing/sip_diagram_printout.h"
#include "settings/app_settings.h"
#include "settings/export_settings.h"
#include "support/capture_builder.h"
#include "support/program_harness.h"
#include "toolkit/command_ids.h"
#include "toolkit/toolkit_text.h"

using namespace varlowe;
using namespace varlowe::testsupport;

namespace {

std::string clipboardText() {
    std::string text;
    if (wxTheClipboard->Open()) {
        wxTextDataObject data;
        if (wxTheClipboard->GetData(data)) {
            text = data.GetText().utf8_string();
        }
        wxTheClipboard->Close();
    }
    return text;
}

void run(SipDiagramFrame* window, int id) {
    wxCommandEvent event(wxEVT_MENU, id);
    event.SetEventObject(window);
    window->GetEventHandler()->ProcessEvent(event);
    drainEvents();
}

struct Opened {
    Program program;
    SipDiagramFrame* window = nullptr;
    explicit Opened(const std::string& capture = "samples/sip-call-loopback.pcap") {
        window = program.open(capture);
    }
};

}  // namespace

TEST(Output, ExportWritesTheTextFileAndSaysWhenItCannot) {
    Opened opened;
    ASSERT_NE(opened.window, nullptr);
    TempFile file("export.txt");
    std::vector<wxString> titles;
    opened.program.services.save = [&](const wxString& title) {
        titles.push_back(title);
        return std::optional<std::string>(file.path());
    };
    run(opened.window, command::kExport);
    ASSERT_EQ(titles, std::vector<wxString>{"Export As"});
    TempFile expected("expected.txt");
    ASSERT_EQ(exportText(expected.path(), *opened.window->model(), textExportOptionsFromSettings()),
              SaveOutcome::Saved);
    EXPECT_EQ(fileText(file.path()), fileText(expected.path()));
    EXPECT_TRUE(opened.program.dialogs.errors.empty());

    const std::string nowhere = file.folder() + "/no/such/folder/export.txt";
    opened.program.services.save = [&](const wxString&) { return std::optional(nowhere); };
    run(opened.window, command::kExport);
    ASSERT_EQ(opened.program.dialogs.errors.size(), 1u);
    EXPECT_EQ(opened.program.dialogs.errors[0],
              "Error|Unable to save " + nowhere +
                  " -- Please check permissions, available disk space, the path and try again.");

    // The capture itself is never written over.
    const std::string capture = source("samples/sip-call-loopback.pcap");
    const std::string before = fileText(capture);
    opened.program.services.save = [&](const wxString&) { return std::optional(capture); };
    run(opened.window, command::kExport);
    EXPECT_EQ(fileText(capture), before);
    EXPECT_EQ(opened.program.dialogs.errors.size(), 2u);
}

TEST(Output, CopyAndCopyAllPutTheExportsTextOnTheClipboard) {
    Opened opened;
    ASSERT_NE(opened.window, nullptr);
    SipDiagram* diagram = opened.window->diagram();
    diagram->selectRow(RowIndex(1));
    run(opened.window, command::kCopy);
    const AnalysisItem* ringing = diagram->state().selectedItem();
    ASSERT_NE(ringing, nullptr);
    EXPECT_EQ(clipboardText(), *itemText(*diagram->state().model(), *ringing));

    run(opened.window, command::kCopyAll);
    EXPECT_EQ(clipboardText(),
              copyAllText(*opened.window->model(), textExportOptionsFromSettings()).text);
    EXPECT_NE(clipboardText().find("Generated Varlowe by Ostrane Software"), std::string::npos);
}

// Captured bytes are not text in any encoding: a Latin-1 display name and bytes that are no
// UTF-8 at all reach the clipboard, the info panel, the message's window and the filter
// tree whole, as the engine's texts read through one lossless conversion, and an earlier
// clipboard is never emptied for nothing.
TEST(Output, BytesThatAreNotUtf8AreShownAndCopiedWhole) {
    TempFile capture("latin1.pcap");
    const std::string invite =
        "INVITE sip:bob@10.0.0.2 SIP/2.0\r\n"
        "Via: SIP/2.0/UDP 10.0.0.1:5060;branch=z9hG4bK-1\r\n"
        "From: \"Jos\xe9 M\xfcller\" <sip:jose@10.0.0.1>;tag=a1\r\n"
        "To: <sip:bob@10.0.0.2>\r\n"
        "Call-ID: latin1@10.0.0.1\r\n"
        "CSeq: 1 INVITE\r\n"
        "Subject: caf\xc3\xa9 \xff\xfe\x80\r\n"
        "Content-Type: text/plain\r\n"
        "Content-Length: 9\r\n\r\n"
        "bad \xc0\xaf \xe9!";
    CaptureBuilder builder;
    builder.add(udpFrame(ipv4(10, 0, 0, 1), 5060, ipv4(10, 0, 0, 2), 5060, bytesOf(invite)), 1, 0);
    builder.writeTo(capture.path());
    Program program;
    SipDiagramFrame* window = program.openPath(capture.path());
    ASSERT_NE(window, nullptr);
    const AnalysisItem* item = window->diagram()->state().selectedItem();
    ASSERT_NE(item, nullptr);
    const std::string bytes = *itemText(*window->diagram()->state().model(), *item);
    ASSERT_NE(bytes.find("Jos\xe9"), std::string::npos);

    if (wxTheClipboard->Open()) {
        wxTheClipboard->SetData(new wxTextDataObject("earlier"));
        wxTheClipboard->Close();
    }
    run(window, command::kCopy);
    const std::string copied = clipboardText();
    EXPECT_EQ(copied, displayText(bytes).utf8_string());
    EXPECT_NE(copied.find("From: \"Jos\xc3\xa9 M\xc3\xbcller\""), std::string::npos) << copied;
    EXPECT_NE(copied.find("Subject: caf\xc3\xa9 \xc3\xbf\xc3\xbe\xc2\x80"), std::string::npos);
    run(window, command::kCopyAll);
    EXPECT_EQ(clipboardText(),
              displayText(copyAllText(*window->model(), textExportOptionsFromSettings()).text)
                  .utf8_string());

    auto* contents = dynamic_cast<wxTextCtrl*>(window->infoPanel()->page(PageRole::Contents));
    ASSERT_NE(contents, nullptr);
    EXPECT_NE(contents->GetValue().Find(wxString::FromUTF8("Jos\xc3\xa9 M\xc3\xbcller")),
              wxNOT_FOUND);
    EXPECT_NE(contents->GetValue().Find(wxString::FromUTF8("bad \xc3\x80\xc2\xaf \xc3\xa9!")),
              wxNOT_FOUND);

    SipMessageInfoDialog dialog(window, wxID_ANY, "Message", *window->diagram()->state().model(),
                                *item);
    auto* text = dynamic_cast<wxTextCtrl*>(dialog.FindWindow("text"));
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->GetValue(), contents->GetValue());

    // The From node of the filter tree: the display name's user part as it was sent.
    wxTreeCtrl* tree = window->filterTree();
    std::vector<std::string> labels;
    std::function<void(wxTreeItemId)> walk = [&](wxTreeItemId node) {
        labels.push_back(tree->GetItemText(node).utf8_string());
        wxTreeItemIdValue cookie;
        for (wxTreeItemId child = tree->GetFirstChild(node, cookie); child.IsOk();
             child = tree->GetNextChild(node, cookie)) {
            walk(child);
        }
    };
    walk(tree->GetRootItem());
    bool found = false;
    for (const std::string& label : labels) {
        found = found || label.find("jose@10.0.0.1") != std::string::npos;
        EXPECT_FALSE(label.empty());
    }
    EXPECT_TRUE(found);
}

TEST(Output, ExtractionFromTheItemMenuWritesWhatTheToolWrites) {
    Opened opened;
    ASSERT_NE(opened.window, nullptr);
    SipDiagram* diagram = opened.window->diagram();
    const DiagramState& state = diagram->state();
    const RtpStreamRegistry* registry = opened.window->model()->streamRegistry();
    TempFile ours("ours.rtp");
    TempFile theirs("theirs.rtp");
    struct Case {
        size_t row;
        bool recordHeaders;
        bool rtpHeaders;
    };
    // Row 0 is the INVITE with SDP (two streams offered), row 4 the first stream's marker.
    for (Case c : {Case{4, true, true}, Case{4, false, false}, Case{0, true, false}}) {
        SCOPED_TRACE(c.row);
        diagram->selectRow(RowIndex(c.row));
        ASSERT_TRUE(diagram->commandEnabled(command::kExtractRtp));
        const RtpStream* chosen = nullptr;
        opened.program.services.modal = [&](wxDialog& dialog) {
            auto* extract = dynamic_cast<ExtractRtpDialog*>(&dialog);
            if (extract == nullptr) {
                return wxID_CANCEL;
            }
            extract->pathField()->SetValue(wxString::FromUTF8(ours.path()));
            extract->recordHeadersBox()->SetValue(c.recordHeaders);
            extract->rtpHeadersBox()->SetValue(c.rtpHeaders);
            chosen = extract->selectedStream();
            extract->accept();
            return wxID_OK;
        };
        run(opened.window, command::kExtractRtp);
        ASSERT_NE(chosen, nullptr);
        // The tool counts the streams in the order of their markers.
        size_t number = 0;
        size_t markers = 0;
        const AnalysisModel& model = *opened.window->model();
        for (size_t i = 0; i < model.itemCount(); ++i) {
            const AnalysisItem& item = model.item(ItemIndex(i));
            if (item.kind == ItemKind::Media) {
                ++markers;
                if (item.stream == chosen) {
                    number = markers;
                }
            }
        }
        ASSERT_GT(number, 0u);
        std::string tool = std::string(VARLOWE_CLI) + " extract --stream " +
                           std::to_string(number) + " -o '" + theirs.path() + "'" +
                           (c.recordHeaders ? " --record-headers" : "") +
                           (c.rtpHeaders ? " --rtp-headers" : "") + " '" +
                           source("samples/sip-call-loopback.pcap") + "'";
        ASSERT_EQ(std::system(tool.c_str()), 0) << tool;
        const std::string written = fileText(ours.path());
        EXPECT_FALSE(written.empty());
        const std::string tools = fileText(theirs.path());
        EXPECT_TRUE(written == tools) << "ours " << written.size() << " bytes, the tool's "
                                      << tools.size() << " (stream " << number << ")";
        // The dialog keeps the switches and the path for next time.
        EXPECT_EQ(AppSettings::extractRtpDialogIncludeVarloweHeaders(), c.recordHeaders);
        EXPECT_EQ(AppSettings::extractRtpDialogLastFile(), ours.path());
    }
    EXPECT_TRUE(opened.program.dialogs.errors.empty());
    EXPECT_EQ(registry->streamCount(), 3u);
    (void)state;
}

TEST(Output, TheExtractionDialogDescribesTheStreamAndNeedsAPath) {
    Opened opened;
    ASSERT_NE(opened.window, nullptr);
    opened.window->diagram()->selectRow(RowIndex(0));
    std::vector<const RtpStream*> streams = opened.window->extractableStreams();
    ASSERT_EQ(streams.size(), 2u);
    AppSettings::setExtractRtpDialogLastFile("");
    ExtractRtpDialog dialog(opened.window, streams);
    EXPECT_EQ(dialog.GetTitle(), "Extract RTP Data");
    EXPECT_EQ(dialog.streamList()->GetCount(), 2u);
    EXPECT_EQ(dialog.streamList()->GetString(0), wxString::FromUTF8(streams[0]->encodingName));
    EXPECT_EQ(dialog.description()->GetLabel(), wxString::FromUTF8(extractDescription(streams[0])));
    EXPECT_TRUE(dialog.description()->GetLabel().StartsWith("Format: audio/"));
    EXPECT_FALSE(dialog.okButton()->IsEnabled());
    dialog.pathField()->SetValue("/tmp/x.rtp");
    EXPECT_TRUE(dialog.okButton()->IsEnabled());
    dialog.pathField()->SetValue("");
    EXPECT_FALSE(dialog.okButton()->IsEnabled());
    EXPECT_EQ(extractDescription(nullptr), "ERROR");
}

TEST(Output, ThePrintoutCutsTheDiagramIntoPagesAcrossThenDown) {
    Opened opened;
    ASSERT_NE(opened.window, nullptr);
    SipDiagram* diagram = opened.window->diagram();
    PageSetup setup;  // A4 portrait, 25 mm margins
    TempFile ps("sample.ps");
    wxPrintData data;
    data.SetFilename(wxString::FromUTF8(ps.path()));
    data.SetPrintMode(wxPRINT_MODE_FILE);
    data.SetPaperId(wxPAPER_A4);
    wxPrintDialogData dialogData(data);
    dialogData.SetAllPages(true);
    dialogData.SetFromPage(1);
    dialogData.SetToPage(9999);  // without the dialog nobody chooses the range
    wxPostScriptPrinter printer(&dialogData);
    SipDiagramPrintout printout(opened.window->GetTitle(), diagram, setup);
    ASSERT_TRUE(printer.Print(opened.window, &printout, false));
    const PageGeometry& g = printout.geometry();
    ASSERT_TRUE(g.printable());
    EXPECT_EQ(g.pagesAcross, 1);
    EXPECT_EQ(g.pageCount, (9 + g.rowsPerPage - 1) / g.rowsPerPage);
    const std::string postscript = fileText(ps.path());
    size_t pages = 0;
    for (size_t at = postscript.find("%%Page:"); at != std::string::npos;
         at = postscript.find("%%Page:", at + 1)) {
        ++pages;
    }
    EXPECT_EQ(static_cast<int64_t>(pages), g.pageCount);

    // Margins that leave a printable width of half the diagram: two pages across.
    PageSetup narrow = setup;
    const wxSize ppi = wxScreenDC().GetPPI();
    const double columnsMm = 2 * 120 / (ppi.x * 0.03937007874015748);
    narrow.marginRight = setup.paperWidth - setup.marginLeft - columnsMm / 2;
    SipDiagramPrintout wide(opened.window->GetTitle(), diagram, narrow);
    wide.SetPPIScreen(ppi.x, ppi.y);
    wide.OnPreparePrinting();
    EXPECT_EQ(wide.geometry().diagramWidth, 2 * wide.geometry().columnWidth);
    EXPECT_EQ(wide.geometry().pagesAcross, 2);
    EXPECT_EQ(wide.geometry().pageCount, 2 * wide.geometry().pagesDown);
    // And on paper: a file of that many pages.
    TempFile widePs("wide.ps");
    dialogData.GetPrintData().SetFilename(wxString::FromUTF8(widePs.path()));
    wxPostScriptPrinter widePrinter(&dialogData);
    SipDiagramPrintout wideOnPaper(opened.window->GetTitle(), diagram, narrow);
    ASSERT_TRUE(widePrinter.Print(opened.window, &wideOnPaper, false));
    const std::string widePages = fileText(widePs.path());
    size_t printed = 0;
    for (size_t at = widePages.find("%%Page:"); at != std::string::npos;
         at = widePages.find("%%Page:", at + 1)) {
        ++printed;
    }
    EXPECT_EQ(static_cast<int64_t>(printed), wideOnPaper.geometry().pageCount);
    EXPECT_GE(printed, 2u);

    PageSetup landscape = setup;
    landscape.landscape = true;
    SipDiagramPrintout turned(opened.window->GetTitle(), diagram, landscape);
    turned.SetPPIScreen(ppi.x, ppi.y);
    turned.OnPreparePrinting();
    SipDiagramPrintout upright(opened.window->GetTitle(), diagram, setup);
    upright.SetPPIScreen(ppi.x, ppi.y);
    upright.OnPreparePrinting();
    EXPECT_EQ(turned.geometry().paperWidth, upright.geometry().paperHeight);
    EXPECT_EQ(turned.geometry().paperHeight, upright.geometry().paperWidth);
}

TEST(Output, APrintedPageHasNoSelectionColourAndThePreviewShowsPageOne) {
    Opened opened;
    ASSERT_NE(opened.window, nullptr);
    SipDiagram* diagram = opened.window->diagram();
    diagram->selectRow(RowIndex(1));  // selected rows are yellow on the screen
    PageSetup setup;
    SipDiagramPrintout printout(opened.window->GetTitle(), diagram, setup);
    printout.SetPPIScreen(96, 96);
    printout.SetPPIPrinter(96, 96);
    const PageGeometry preview = computePageGeometry(setup, Resolution{96, 96}, 0, 1, 1, 1);
    wxBitmap page(preview.paperWidth, preview.paperHeight, 24);
    wxMemoryDC dc(page);
    dc.SetBackground(*wxWHITE_BRUSH);
    dc.Clear();
    printout.SetDC(&dc);
    printout.SetPageSizePixels(preview.paperWidth, preview.paperHeight);
    printout.OnPreparePrinting();
    ASSERT_TRUE(printout.OnPrintPage(1));
    dc.SelectObject(wxNullBitmap);
    wxImage image = page.ConvertToImage();
    const wxColour selected = diagram->style().selectedBrush.GetColour();
    int selectedPixels = 0;
    int inked = 0;
    for (int y = 0; y < image.GetHeight(); ++y) {
        for (int x = 0; x < image.GetWidth(); ++x) {
            const wxColour pixel(image.GetRed(x, y), image.GetGreen(x, y), image.GetBlue(x, y));
            selectedPixels += pixel == selected;
            inked += pixel != *wxWHITE;
        }
    }
    EXPECT_EQ(selectedPixels, 0);
    EXPECT_GT(inked, 1000);  // the header, the lifelines and the arrows are there

    wxPrintDialogData data;
    auto* previewed = new wxPrintPreview(
        new SipDiagramPrintout(opened.window->GetTitle(), diagram, setup),
        new SipDiagramPrintout(opened.window->GetTitle(), diagram, setup), &data);
    ASSERT_TRUE(previewed->IsOk());
    auto* frame = new SipDiagramPreviewFrame(previewed, opened.window, opened.window->GetTitle());
    frame->Initialize();
    frame->Show();
    drainEvents();
    EXPECT_EQ(frame->GetName(), "frame");
    EXPECT_EQ(previewed->GetCurrentPage(), 1);
    EXPECT_GE(previewed->GetMaxPage(), 1);
    frame->Destroy();
    drainEvents();
}

TEST(Output, MarginsThatLeaveNoRoomAreSaidBeforePrinting) {
    Opened opened;
    ASSERT_NE(opened.window, nullptr);
    wxPageSetupDialogData& setup = opened.program.frame->pageSetupData();
    const wxPoint topLeft = setup.GetMarginTopLeft();
    const wxPoint bottomRight = setup.GetMarginBottomRight();
    setup.SetMarginTopLeft(wxPoint(10, 200));
    setup.SetMarginBottomRight(wxPoint(10, 200));
    run(opened.window, command::kPrintPreview);
    ASSERT_EQ(opened.program.dialogs.errors.size(), 1u);
    EXPECT_EQ(opened.program.dialogs.errors[0].rfind(
                  "Printing|The paper and its margins leave no room", 0),
              0u);
    setup.SetMarginTopLeft(topLeft);
    setup.SetMarginBottomRight(bottomRight);
}

TEST(Output, PageSetupReadsAndWritesThePrintingSettings) {
    Program program;
    wxPageSetupDialogData& setup = program.frame->pageSetupData();
    EXPECT_EQ(setup.GetMarginTopLeft(),
              wxPoint(AppSettings::printingMarginLeft(), AppSettings::printingMarginTop()));
    EXPECT_EQ(static_cast<int>(setup.GetPrintData().GetOrientation()),
              AppSettings::printingPaperOrientation());
    program.services.pageSetup = [](wxPageSetupDialogData& data) {
        data.SetMarginTopLeft(wxPoint(11, 12));
        data.SetMarginBottomRight(wxPoint(13, 14));
        data.GetPrintData().SetOrientation(wxPORTRAIT);
        data.GetPrintData().SetPaperId(wxPAPER_A4);
        return true;
    };
    wxCommandEvent event(wxEVT_MENU, command::kPageSetup);
    program.frame->GetEventHandler()->ProcessEvent(event);
    EXPECT_EQ(AppSettings::printingMarginLeft(), 11);
    EXPECT_EQ(AppSettings::printingMarginTop(), 12);
    EXPECT_EQ(AppSettings::printingMarginRight(), 13);
    EXPECT_EQ(AppSettings::printingMarginBottom(), 14);
    EXPECT_EQ(AppSettings::printingPaperOrientation(), static_cast<int>(wxPORTRAIT));
    EXPECT_EQ(AppSettings::printingPaperSize(), static_cast<int>(wxPAPER_A4));
    EXPECT_EQ(pageSetupOf(setup).paperWidth, 210);
    // Cancel keeps everything.
    program.services.pageSetup = [](wxPageSetupDialogData& data) {
        data.SetMarginTopLeft(wxPoint(40, 40));
        return false;
    };
    program.frame->GetEventHandler()->ProcessEvent(event);
    EXPECT_EQ(AppSettings::printingMarginLeft(), 11);
    for (auto [set, value] : {std::pair{&AppSettings::setPrintingMarginLeft, 15},
                              {&AppSettings::setPrintingMarginTop, 15},
                              {&AppSettings::setPrintingMarginRight, 15},
                              {&AppSettings::setPrintingMarginBottom, 15}}) {
        set(value);
    }
    AppSettings::setPrintingPaperOrientation(2);
    AppSettings::setPrintingPaperSize(1);
}

TEST(Output, TheLadderAsPngAndSvgImages) {
    Opened opened;
    ASSERT_NE(opened.window, nullptr);
    SipDiagram* diagram = opened.window->diagram();
    const diagram_image::Size size = diagram_image::sizeOf(diagram->state(), diagram->style());
    TempFile png("ladder.png");
    TempFile svg("ladder.svg");
    for (const TempFile* file : {&png, &svg}) {
        opened.program.services.save = [file](const wxString&) {
            return std::optional(file->path());
        };
        run(opened.window, command::kExportImage);
    }
    EXPECT_TRUE(opened.program.dialogs.errors.empty());
    wxImage image;
    ASSERT_TRUE(image.LoadFile(wxString::FromUTF8(png.path()), wxBITMAP_TYPE_PNG));
    EXPECT_EQ(image.GetWidth(), size.width);
    EXPECT_EQ(image.GetHeight(), size.height);
    EXPECT_EQ(size.height, baseGeometry(diagram->style()).virtualHeight(9));
    // White paper with the ladder drawn on it.
    EXPECT_EQ(image.GetRed(2, image.GetHeight() - 2), 255);
    wxXmlDocument xml;
    ASSERT_TRUE(xml.Load(wxString::FromUTF8(svg.path())));
    EXPECT_EQ(xml.GetRoot()->GetName(), "svg");
    EXPECT_NE(fileText(svg.path()).find("INVITE"), std::string::npos);

    // Too tall for PNG: refused with a way out, nothing written.
    EXPECT_TRUE(diagram_image::refusal({100, 40000}, diagram_image::Format::Png));
    EXPECT_FALSE(diagram_image::refusal({100, 40000}, diagram_image::Format::Svg));
    EXPECT_FALSE(diagram_image::refusal({32767, 32767}, diagram_image::Format::Png));
    EXPECT_NE(diagram_image::refusal({100, 40000}, diagram_image::Format::Png)->find("SVG"),
              std::string::npos);
    EXPECT_EQ(diagram_image::formatOf("a.SVG"), diagram_image::Format::Svg);
    EXPECT_EQ(diagram_image::formatOf("a.png"), diagram_image::Format::Png);
    // Another file type is refused by name, never written as PNG bytes.
    EXPECT_FALSE(diagram_image::typeRefusal("/tmp/a.PNG"));
    EXPECT_FALSE(diagram_image::typeRefusal("/tmp/ladder"));
    EXPECT_FALSE(diagram_image::typeRefusal("/tmp/v1.0/ladder"));
    EXPECT_FALSE(diagram_image::typeRefusal("/tmp/.ladder"));
    EXPECT_EQ(diagram_image::typeRefusal("/tmp/a.jpg").value_or(""),
              "/tmp/a.jpg names a .jpg file; Varlowe writes the diagram as a PNG (.png) or SVG "
              "(.svg) image.");
    TempFile jpeg("ladder.jpg");
    const diagram_image::Result refused = diagram_image::write(
        diagram->state(), diagram->style(), diagram->drawCache(), jpeg.path(), std::string());
    EXPECT_NE(refused.refusal.find(".jpg file"), std::string::npos);
    EXPECT_EQ(access(jpeg.path().c_str(), F_OK), -1);  // nothing written
}

TEST(Preferences, CancelChangesNothingAndWritesNothing) {
    Program program;
    const std::string config = SettingsStore::userConfigPath(AppSettings::kApplicationName);
    const std::string before = fileText(config);
    const bool toolbar = AppSettings::frameShowToolbar();
    {
        PreferenceDlg dialog(program.frame, nullptr);
        PreferenceGroupPanel* display = dialog.panel("frame");
        ASSERT_NE(display, nullptr);
        const int row = display->rowOf("showToolbar");
        ASSERT_GE(row, 0);
        display->grid()->SetCellValue(row, 1, toolbar ? "" : "1");
        dialog.cancel();
    }
    EXPECT_EQ(AppSettings::frameShowToolbar(), toolbar);
    EXPECT_EQ(fileText(config), before);
}

TEST(Preferences, PagesRowsAndWhatApplyOkAndRestoreStore) {
    Program program;
    struct Counting : IAppSettingsListener {
        std::map<std::string, int> groups;
        void onSettingsChanged(const std::string& group) override { ++groups[group]; }
    } listener;
    SettingsStore::instance().addListener(&listener);
    {
        PreferenceDlg dialog(program.frame, nullptr);
        EXPECT_EQ(dialog.GetTitle(), "Varlowe Preferences");
        EXPECT_EQ(dialog.GetName(), "dialog");
        ASSERT_EQ(dialog.book()->GetPageCount(), 5u);
        const char* titles[] = {"Display", "Diagram", "Printing", "Parsing", "Export"};
        for (size_t i = 0; i < 5; ++i) {
            EXPECT_EQ(dialog.book()->GetPageText(i), titles[i]);
        }
        // The graph fonts have no page.
        EXPECT_EQ(dialog.panel("graphs"), nullptr);
        PreferenceGroupPanel* diagramPage = dialog.panel("diagram");
        ASSERT_EQ(diagramPage->rows().size(), 29u);
        EXPECT_EQ(diagramPage->rows().front().key, "colorAudio");
        EXPECT_EQ(diagramPage->rows().back().key, "widthSeparator");

        // Two colours changed and Apply: one notice for "diagram", the file saved.
        wxGrid* grid = diagramPage->grid();
        grid->SetCellValue(diagramPage->rowOf("colorRequest"), 1, "010020030");
        grid->SetCellValue(diagramPage->rowOf("colorTime"), 1, "040050060");
        dialog.apply();
        EXPECT_EQ(listener.groups["diagram"], 1);
        EXPECT_EQ(listener.groups.count("printing"), 0u);
        EXPECT_EQ(AppSettings::diagramColorRequest(), (SettingColour{10, 20, 30, 255}));
        EXPECT_NE(fileText(SettingsStore::userConfigPath(AppSettings::kApplicationName))
                      .find("colorRequest"),
                  std::string::npos);

        // A cleared box stores false.
        PreferenceGroupPanel* parsing = dialog.panel("parsing");
        parsing->grid()->SetCellValue(parsing->rowOf("includeRtcp"), 1, "");

        // Restore on Printing shows the defaults; OK stores them.
        PreferenceGroupPanel* printing = dialog.panel("printing");
        printing->grid()->SetCellValue(printing->rowOf("widthArrow"), 1, "7");
        dialog.book()->SetSelection(2);
        dialog.restore();
        EXPECT_EQ(printing->grid()->GetCellValue(printing->rowOf("widthArrow"), 1), "2");
        const SettingsRegistry& registry = SettingsRegistry::instance();
        EXPECT_EQ(printing->grid()->GetCellValue(printing->rowOf("colorTime"), 1),
                  wxString::FromUTF8(registry.descriptor("printing", "colorTime").defaultText));
        // And a restored font row of the Diagram page stores the registered font.
        diagramPage->grid()->SetCellValue(
            diagramPage->rowOf("fontArrow"), 1,
            wxString::FromUTF8(encodeFont(SettingFont{74, 23, 90, 90, false, "", 0})));
        dialog.book()->SetSelection(1);
        dialog.restore();
        dialog.ok();
        EXPECT_EQ(AppSettings::printingWidthArrow(), 2);
        EXPECT_EQ(AppSettings::printingColorTime(),
                  registry.defaultColour("printing", "colorTime"));
        EXPECT_FALSE(AppSettings::parsingIncludeRtcp());
        EXPECT_EQ(AppSettings::diagramFontArrow(), registry.defaultFont("diagram", "fontArrow"));
        EXPECT_EQ(AppSettings::diagramColorRequest(),
                  registry.defaultColour("diagram", "colorRequest"));
    }
    SettingsStore::instance().removeListener(&listener);
    AppSettings::setParsingIncludeRtcp(true);
}

// "Save Audio As..." writes what the tool writes: one stream from its own row, the call's two
// directions as one stereo file from the INVITE; a stream without a decodable codec says so.
TEST(Output, SaveAudioFromTheItemMenuWritesTheToolsWav) {
    Opened opened;
    ASSERT_NE(opened.window, nullptr);
    SipDiagram* diagram = opened.window->diagram();
    TempFile ours("ours.wav");
    TempFile theirs("theirs.wav");
    opened.program.services.save = [&](const wxString& title) {
        EXPECT_EQ(title, "Save Audio As");
        return std::optional(ours.path());
    };
    const std::string capture = source("samples/sip-call-loopback.pcap");
    struct Case {
        size_t row;
        const char* streams;
    };
    // Row 0 is the INVITE (both directions), row 4 the first stream's marker.
    for (Case c : {Case{4, "--stream 1"}, Case{0, "--stream 1 --stream 2"}}) {
        SCOPED_TRACE(c.row);
        diagram->selectRow(RowIndex(c.row));
        ASSERT_TRUE(diagram->commandEnabled(command::kSaveAudio));
        run(opened.window, command::kSaveAudio);
        const std::string tool = std::string(VARLOWE_CLI) + " audio " + c.streams + " -o '" +
                                 theirs.path() + "' '" + capture + "'";
        ASSERT_EQ(std::system(tool.c_str()), 0) << tool;
        const std::string written = fileText(ours.path());
        ASSERT_GT(written.size(), 44u);
        EXPECT_EQ(written[22], c.row == 0 ? 2 : 1);  // channels
        EXPECT_TRUE(written == fileText(theirs.path()));
    }
    EXPECT_TRUE(opened.program.dialogs.errors.empty());
    // The telephone-event stream has no audio: the command is off in its menu.
    const DiagramState& state = diagram->state();
    for (size_t row = 0; row < state.rowCount(); ++row) {
        const AnalysisItem* item = state.itemAtRow(RowIndex(row));
        if (item->kind == ItemKind::Media && item->stream->encodingName == "telephone-event") {
            diagram->selectRow(RowIndex(row));
            EXPECT_FALSE(diagram->commandEnabled(command::kSaveAudio));
        }
    }
}

// Play Audio plays what Save Audio writes: the sound goes to SDL's disk sink, the window
// counts up to the call's length and then offers Close; without a device a box says so.
TEST(Output, PlayAudioShowsItsPositionPlaysToTheSinkAndStops) {
    Opened opened;
    ASSERT_NE(opened.window, nullptr);
    SipDiagram* diagram = opened.window->diagram();
    TempFile sink("played.raw");
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", sink.path().c_str(), 1);
    setenv("SDL_DISKAUDIODELAY", "0", 1);
    diagram->selectRow(RowIndex(4));  // the first stream
    ASSERT_TRUE(diagram->commandEnabled(command::kPlayAudio));
    run(opened.window, command::kPlayAudio);
    PlaybackDialog* playback = opened.window->playback();
    ASSERT_NE(playback, nullptr);
    EXPECT_TRUE(playback->IsShown());
    const double length = playback->player().durationSeconds();
    EXPECT_GT(length, 1.0);
    const wxString end = wxString::Format("%.1f s of %.1f s", length, length);
    ASSERT_TRUE(
        waitUntil([&] { return playback->positionText() == end; }, std::chrono::seconds(30)))
        << playback->positionText();
    auto* button = dynamic_cast<wxButton*>(playback->FindWindow(PlaybackDialog::kStopId));
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->GetLabel(), "Close");
    // The sink got the stream's samples, as the saved file holds them after its header.
    TempFile wav("played.wav");
    const std::string tool = std::string(VARLOWE_CLI) + " audio --stream 1 -o '" + wav.path() +
                             "' '" + source("samples/sip-call-loopback.pcap") + "'";
    ASSERT_EQ(std::system(tool.c_str()), 0);
    // SDL's device thread writes silence until the device is started, so both are compared
    // from their first sound (a sample other than zero).
    auto fromFirstSound = [](const std::string& samples) {
        size_t at = 0;
        while (at + 1 < samples.size() && samples[at] == 0 && samples[at + 1] == 0) {
            at += 2;
        }
        return samples.substr(at);
    };
    const std::string saved = fromFirstSound(fileText(wav.path()).substr(44));
    const std::string played = fromFirstSound(fileText(sink.path()));
    ASSERT_FALSE(saved.empty());
    ASSERT_GE(played.size(), saved.size());
    EXPECT_TRUE(played.compare(0, saved.size(), saved) == 0);

    wxCommandEvent click(wxEVT_BUTTON, PlaybackDialog::kStopId);
    click.SetEventObject(button);
    button->GetEventHandler()->ProcessEvent(click);
    EXPECT_TRUE(waitUntil([&] { return opened.window->playback() == nullptr; }));

    // Playing again and stopping half-way: the window goes, and so does the sound.
    setenv("SDL_DISKAUDIODELAY", "100", 1);
    run(opened.window, command::kPlayAudio);
    playback = opened.window->playback();
    ASSERT_NE(playback, nullptr);
    EXPECT_TRUE(playback->player().playing());
    playback->Close();
    EXPECT_TRUE(waitUntil([&] { return opened.window->playback() == nullptr; }));

    setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    run(opened.window, command::kPlayAudio);
    EXPECT_EQ(opened.window->playback(), nullptr);
    ASSERT_EQ(opened.program.dialogs.errors.size(), 1u);
    EXPECT_EQ(opened.program.dialogs.errors[0].rfind("Play Audio|No sound device can be opened", 0),
              0u)
        << opened.program.dialogs.errors[0];
    unsetenv("SDL_AUDIODRIVER");
}
