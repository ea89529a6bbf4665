#pragma once

#include <string>
#include <utility>
#include <vector>

namespace varlowe {

struct PacketRecord;
struct RtpStream;
struct AnalysisItem;
struct DtmfDigit;
class RtpStreamRegistry;

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

// The Contents list of a stream: its figures, and for a telephone-event stream the digits
// its events give (the capture read again; registry may be null).
Rows streamRows(const RtpStreamRegistry* registry, const RtpStream& stream);
// "DTMF Digits" with the keys in order, then one "Digit N" row each: the key, when it began
// (seconds into the stream), its duration and volume.
Rows digitRows(const std::vector<DtmfDigit>& digits, const RtpStream& stream);

// The packet the Packet Info page describes: the item's own, or a stream's first.
PacketRecord describedPacket(const AnalysisItem& item);

}  // namespace info_content
}  // namespace varlowe
