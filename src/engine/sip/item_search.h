#pragma once

#include <string_view>
#include <vector>

#include "analysis_model.h"

namespace varlowe {

// Whether `text` holds `needle`; letters of any case match unless `matchCase` (ASCII folding:
// captured bytes are bytes). An empty needle is in no text.
bool textHolds(std::string_view text, std::string_view needle, bool matchCase);

// Every item whose text holds the needle, ascending: a SIP message whole (start line, headers
// and body), a STUN or TURN message's pairs, a stream's payload line and figures. One pass.
std::vector<ItemIndex> findItems(const AnalysisModel& model, std::string_view needle,
                                 bool matchCase);

}  // namespace varlowe
