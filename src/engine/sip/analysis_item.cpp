#include "analysis_item.h"

#include "analysis_model.h"
#include "engine/media/rtp_statistics.h"
#include "engine/media/rtp_stream_registry.h"

namespace varlowe {

std::string_view AnalysisItem::mediaCallId() const {
    return kind == ItemKind::Media && stream != nullptr
               ? std::string_view(stream->transaction().callId())
               : std::string_view();
}

std::optional<std::string> itemText(const AnalysisModel& model, const AnalysisItem& item,
                                    FrameRereader* reader) {
    switch (item.kind) {
        case ItemKind::Sip:
            return model.payloadText(item, reader);
        case ItemKind::Stun: {
            if (!item.stun || item.stun->size() == 0) {
                return std::nullopt;
            }
            std::string text;
            for (const auto& pair : item.stun->pairs()) {
                text += pair.first + " : " + pair.second + "\r\n";
            }
            return text;
        }
        case ItemKind::Media: {
            if (item.stream == nullptr) {
                return std::nullopt;
            }
            const RtpStream& s = *item.stream;
            // Built without a fixed buffer: encoding names come from captured SDP and have
            // no length limit.
            std::string text = "Payload: " + s.mediaName + "/" + s.encodingName + "(" +
                               std::to_string(s.payloadType) + ")\r\n";
            for (const auto& row : streamFigureRows(s)) {
                text += row.first + " : " + row.second + "\r\n";
            }
            return text;
        }
    }
    return std::nullopt;
}

}  // namespace varlowe
