#include "selection_rows.h"

#include <strings.h>

#include <cstdio>

#include "engine/capture/packet_time.h"
#include "engine/media/rtp_stream_registry.h"

namespace varlowe {
namespace selection_rows {

namespace {

bool mediaIs(const AnalysisItem& item, const char* name) {
    return item.stream != nullptr && strcasecmp(item.stream->mediaName.c_str(), name) == 0;
}

std::string description(const AnalysisItem& item) {
    char buffer[160];
    switch (item.kind) {
        case ItemKind::Sip:
            if (item.sip) {
                if (item.sip->isResponse()) {
                    std::snprintf(buffer, sizeof buffer, "%d ", item.sip->statusCode());
                    std::string text = buffer + std::string(item.sip->reasonPhrase());
                    if (text.size() > 127) {
                        text.resize(127);
                    }
                    return text;
                }
                return std::string(item.sip->method().value_or(""));
            }
            break;
        case ItemKind::Stun: {
            const std::string* type = item.stun ? item.stun->find("MSG_TYPE") : nullptr;
            return type != nullptr && !type->empty() ? *type : "UNKNOWN";
        }
        case ItemKind::Media:
            if (item.stream != nullptr) {
                std::snprintf(buffer, sizeof buffer, "/%s/0x%08X",
                              item.stream->encodingName.c_str(), item.stream->ssrc);
                return item.stream->mediaName + buffer;
            }
            break;
    }
    return "Unknown";
}

RowColour colourOf(const AnalysisItem& item) {
    if (item.kind != ItemKind::Sip || !item.sip) {
        return RowColour::Black;
    }
    const int status = item.sip->statusCode();
    if (status >= 400) {
        return RowColour::ErrorResponse;
    }
    if (status >= 300) {
        return RowColour::Redirect;
    }
    if (status >= 200) {
        return RowColour::FinalResponse;
    }
    return RowColour::ProvisionalResponse;
}

}  // namespace

bool shown(const AnalysisItem& item, const SelectionSwitches& switches) {
    switch (item.kind) {
        case ItemKind::Sip:
            return switches.sip;
        case ItemKind::Stun:
            return switches.stun;
        case ItemKind::Media:
            if (mediaIs(item, "audio")) {
                return switches.audio;
            }
            if (mediaIs(item, "video")) {
                return switches.video;
            }
            return true;
    }
    return true;
}

std::optional<SelectionRow> rowOf(const AnalysisItem& item, const AnalysisItem& reference,
                                  const SelectionSwitches& switches) {
    if (!shown(item, switches)) {
        return std::nullopt;
    }
    SelectionRow row;
    row.item = &item;
    switch (item.kind) {
        case ItemKind::Sip:
            row.image = 0;
            break;
        case ItemKind::Stun:
            row.image = 1;
            break;
        case ItemKind::Media:
            row.image = mediaIs(item, "audio") ? 2 : mediaIs(item, "video") ? 3 : -1;
            break;
    }
    row.number = std::to_string(item.packet.number);
    row.description = description(item);
    row.delta = packetTimeText(timeDifference(item.packet.time(), reference.packet.time()));
    row.colour = colourOf(item);
    return row;
}

std::vector<SelectionRow> allRows(const AnalysisModel& model, const SelectionSwitches& switches,
                                  size_t limit) {
    std::vector<SelectionRow> rows;
    const size_t count = std::min(model.rowCount(), limit);
    rows.reserve(count);
    const AnalysisItem* reference = nullptr;
    for (size_t position = 0; position < count; ++position) {
        const AnalysisItem* item = model.itemAtRow(RowIndex(position));
        if (item == nullptr || !shown(*item, switches)) {
            continue;
        }
        if (reference == nullptr) {
            reference = item;
        }
        if (std::optional<SelectionRow> row = rowOf(*item, *reference, switches)) {
            rows.push_back(std::move(*row));
        }
    }
    return rows;
}

std::vector<SelectionRow> relatedRows(const AnalysisModel& model, const AnalysisItem& item,
                                      AnalysisModel::RelationMode mode,
                                      const SelectionSwitches& switches) {
    std::vector<SelectionRow> rows;
    const AnalysisItem* reference = nullptr;
    for (RowIndex position : model.relatedRows(item.index, mode)) {
        const AnalysisItem* related = model.itemAtRow(position);
        if (related == nullptr) {
            continue;
        }
        if (reference == nullptr) {
            reference = related;
        }
        if (std::optional<SelectionRow> row = rowOf(*related, *reference, switches)) {
            rows.push_back(std::move(*row));
        }
    }
    return rows;
}

size_t bookmarkPosition(const std::vector<SelectionRow>& rows, ItemIndex index) {
    for (size_t position = 0; position < rows.size(); ++position) {
        if (rows[position].item->index.value > index.value) {
            return position;
        }
    }
    return rows.size();
}

std::optional<SelectionRow> bookmarkRow(const std::vector<SelectionRow>& rows, size_t position,
                                        const AnalysisItem& item,
                                        const SelectionSwitches& switches) {
    const AnalysisItem& reference = position == 0 ? item : *rows[position - 1].item;
    return rowOf(item, reference, switches);
}

std::string bookmarkDelta(const std::vector<SelectionRow>& rows, size_t position) {
    const AnalysisItem& item = *rows[position].item;
    const AnalysisItem& reference = position == 0 ? item : *rows[position - 1].item;
    return packetTimeText(timeDifference(item.packet.time(), reference.packet.time()));
}

}  // namespace selection_rows
}  // namespace varlowe
