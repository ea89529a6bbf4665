#pragma once

namespace varlowe {

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
