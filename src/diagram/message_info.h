#pragma once

#include <string>

#include "engine/sip/analysis_model.h"

namespace varlowe {

// What the message dialog shows of an item, without any window.
namespace message_info {

// "Message (Packet #12: TCP)"; "UDP" for transport 0, "TCP" otherwise.
std::string title(const AnalysisItem& item);
// "source:port --> destination:port"
std::string heading(const AnalysisItem& item);
// The SIP message text; the STUN/TURN pairs one "name : value" line each (at most 509
// characters before the line end); the ten stream figures; empty for anything else.
std::string content(const AnalysisModel& model, const AnalysisItem& item);

}  // namespace message_info
}  // namespace varlowe
