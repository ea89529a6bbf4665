#pragma once

namespace varlowe {

class OstraneLineGraph;

// Told when the sample under the pointer changes; either index may be -1 (none).
class IMouseoverListener {
  public:
    virtual void onMouseover(OstraneLineGraph* graph, int index, int previous) = 0;
    virtual ~IMouseoverListener() = default;
};

}  // namespace varlowe
