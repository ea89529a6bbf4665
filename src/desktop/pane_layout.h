#pragma once

#include <algorithm>

namespace varlowe {

struct WindowRect {
    int x = 0, y = 0, width = 0, height = 0;
};

// The main window at its first start, when no size is stored: most of the screen's work area
// (nine tenths each way), centred, so that the ladder, the lists and the info panel all have
// room; never smaller than 750 x 550 unless the screen itself is.
inline WindowRect firstWindowPlace(const WindowRect& workArea) {
    WindowRect place;
    place.width = std::min(workArea.width, std::max(750, workArea.width * 9 / 10));
    place.height = std::min(workArea.height, std::max(550, workArea.height * 9 / 10));
    place.x = workArea.x + (workArea.width - place.width) / 2;
    place.y = workArea.y + (workArea.height - place.height) / 2;
    return place;
}

// The dividers at the first start, for a window of that size: a left column wide enough for
// the selection lists' three tabs and their Delta column, and an info panel tall enough for
// a graph with its ticks and legend. Negative: the height of the panel from the lower edge.
struct FirstSashes {
    int vertical = 250;
    int diagramInfo = -150;
};
inline FirstSashes firstSashes(const WindowRect& window) {
    FirstSashes sashes;
    sashes.vertical = std::clamp(window.width / 4, 250, 380);
    sashes.diagramInfo = -std::clamp(window.height * 3 / 10, 150, 340);
    return sashes;
}

// Which panes a diagram window shows, from the "frame" switches and the panes it has.
struct PaneSwitches {
    bool filterPane = true;
    bool selectionPane = true;
    bool timePane = true;
    bool infoPane = true;
};

struct PaneLayout {
    bool leftColumn = false;  // the main splitter shows its left side
    bool tree = false;        // the filter tree in the left column
    bool selection = false;   // the selection panel in the left column (below the tree)
    bool timeBar = false;     // left of the diagram
    bool info = false;        // below the diagram
};

// `haveSelection` and `haveInfo` say whether the window has those panes at all.
inline PaneLayout paneLayout(const PaneSwitches& on, bool haveSelection, bool haveInfo) {
    PaneLayout layout;
    layout.tree = on.filterPane;
    layout.selection = on.selectionPane && haveSelection;
    layout.leftColumn = layout.tree || layout.selection;
    layout.timeBar = on.timePane;
    layout.info = on.infoPane && haveInfo;
    return layout;
}

}  // namespace varlowe
