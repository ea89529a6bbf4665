#pragma once

// The command and window identifiers of the whole program, shared by the menus, the toolbar,
// the pop-up menus and every window.
namespace varlowe::command {

// File
constexpr int kOpen = 100;
constexpr int kClose = 101;
constexpr int kCloseAll = 102;
constexpr int kExport = 103;
constexpr int kCaptureLive = 104;
constexpr int kPrint = 105;
constexpr int kPageSetup = 106;
constexpr int kPrintPreview = 107;
constexpr int kRecentFiles = 108;
constexpr int kExportImage = 109;       // beyond the classic File menu: the ladder as PNG or SVG
constexpr int kExit = 5006;             // the toolkit's standard Exit identifier
constexpr int kAbout = 5014;            // the toolkit's standard About identifier
constexpr int kFirstRecentFile = 5051;  // up to 5059, the toolkit's file-history identifiers
constexpr int kRecentFileCount = 9;

// Edit, bookmarks and stepping
constexpr int kCopy = 200;
constexpr int kCopyAll = 201;
constexpr int kAddBookmark = 202;
constexpr int kRemoveBookmark = 203;
constexpr int kToggleBookmark = 204;
constexpr int kPreferences = 205;
constexpr int kNextInTransaction = 206;
constexpr int kPreviousInTransaction = 207;
constexpr int kNextInDialog = 208;
constexpr int kPreviousInDialog = 209;
constexpr int kFind = 210;  // beyond the classic Edit menu: Find and its steps
constexpr int kFindNext = 211;
constexpr int kFindPrevious = 212;

// View
constexpr int kShowToolbar = 300;
constexpr int kShowStatusbar = 301;
constexpr int kShowFilterPane = 302;
constexpr int kShowSelectionPane = 303;
constexpr int kShowTimePane = 304;
constexpr int kShowInfoPane = 305;
constexpr int kShowProvisionalResponses = 306;
constexpr int kShowTimeDeltas = 307;
constexpr int kShowSturnMessages = 308;
constexpr int kShowRtpMarkers = 309;
constexpr int kShowSipMessages = 310;
constexpr int kShowTransactionMarkers = 311;
constexpr int kShowRelationshipMarkers = 312;
constexpr int kShowCallsPane = 313;  // beyond the classic View menu: the calls list

// Help
constexpr int kHelp = 400;
constexpr int kHelpIndex = 401;
constexpr int kHelpSearch = 402;
constexpr int kCheckForUpdates = 403;

// The diagram's pop-up menus
constexpr int kMoveColumnLeft = 500;
constexpr int kMoveColumnRight = 501;
constexpr int kEditColumnLabel = 502;
constexpr int kRestoreColumnLabel = 503;
constexpr int kFirstColumnToggle = 504;  // up to 528: one per endpoint
constexpr int kColumnToggleCount = 25;
constexpr int kContents = 530;
constexpr int kExtractRtp = 531;
constexpr int kSaveAudio = 532;
constexpr int kPlayAudio = 533;

// The selection panel's message-kind toggles
constexpr int kShowSipInLists = 539;
constexpr int kShowSturnInLists = 540;
constexpr int kShowAudioInLists = 541;
constexpr int kShowVideoInLists = 542;

}  // namespace varlowe::command

namespace varlowe::window {

constexpr int kDiagram = 1302;
constexpr int kFilterTree = 1303;
constexpr int kLeftSplitter = 1304;
constexpr int kMainSplitter = 1305;
constexpr int kRightSplitter = 1306;
constexpr int kDiagramSplitter = 1307;
constexpr int kInfoPanel = 1308;
constexpr int kAllList = 1311;
constexpr int kSessionList = 1312;
constexpr int kTransactionList = 1313;
constexpr int kBookmarkList = 1315;
constexpr int kSelectionNotebook = 1316;
constexpr int kSelectionPanel = 1318;
constexpr int kCallsSplitter = 1319;
constexpr int kCallsPane = 1320;
constexpr int kCallsList = 1321;
constexpr int kFindField = 1322;
constexpr int kEditLabelDialog = 8012;
constexpr int kEditLabelText = 8013;
constexpr int kEditLabelCheck = 8014;

}  // namespace varlowe::window
