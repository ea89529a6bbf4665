#pragma once

#include <string>
#include <utility>
#include <vector>

namespace varlowe {

struct PacketRecord;
struct RtpStream;
struct AnalysisItem;

// The texts of the info panel's lists, computed without a window.
namespace info_content {

using Rows = std::vector<std::pair<std::string, std::string>>;

// "Packet #", "Timestamp", "Packet type", "Source", "Destination", "IP Header Length",
// "Data Length", "Total Length".
Rows packetInfoRows(const PacketRecord& packet);

// The tab of a stream on the Media page: "media/encoding/SSRC", the SSRC in decimal.
std::string mediaTabTitle(const RtpStream& stream);

// The Contents list of a STUN/TURN message: its pairs in order.
Rows stunRows(const AnalysisItem& item);

// The packet the Packet Info page describes: the item's own, or a stream's first.
const PacketRecord& describedPacket(const AnalysisItem& item);

}  // namespace info_content
}  // namespace varlowe
