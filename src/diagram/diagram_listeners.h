#pragma once

namespace varlowe {

struct AnalysisItem;

// Told of every change of the diagram's selection; nullptr when it was cleared.
class ISipDiagramSelectionListener {
  public:
    virtual void onSelectionChanged(const AnalysisItem* item) = 0;
    virtual ~ISipDiagramSelectionListener() = default;
};

class ISipDiagramBookmarkListener {
  public:
    virtual void onBookmarkAdded(const AnalysisItem& item) = 0;
    virtual void onBookmarkRemoved(const AnalysisItem& item) = 0;
    virtual ~ISipDiagramBookmarkListener() = default;
};

}  // namespace varlowe
