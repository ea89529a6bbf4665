// Arbitrary file bytes through the whole analysis pass, under two sets of parsing switches,
// then every query the windows make of the result: related items, answers, item texts,
// stream graphs and payload extraction.
#include <unistd.h>

#include <cstdio>
#include <string>

#include "engine/media/rtp_statistics.h"
#include "engine/media/rtp_stream_registry.h"
#include "engine/sip/analysis_model.h"
#include "engine/sip/packet_analysis_driver.h"
#include "fuzz_support.h"

using namespace varlowe;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzing::silenceDiagnostics();
    static const std::string path = fuzzing::inputFilePath("pass");
    static const std::string output = path + ".rtp";
    if (!fuzzing::writeInputFile(path, data, size)) {
        return 0;
    }

    for (int round = 0; round < 2; ++round) {
        ParsingOptions options;
        options.includeEncapsulated = round == 1;
        options.includeRtcp = round == 0;
        AnalysisResult result =
            PacketAnalysisDriver(options, nullptr, nullptr).analyse(path, false);
        if (!result.model) {
            break;
        }
        AnalysisModel& model = *result.model;
        for (size_t i = 0; i < model.itemCount(); ++i) {
            const ItemIndex index(i);
            for (auto mode :
                 {AnalysisModel::RelationMode::Session, AnalysisModel::RelationMode::Branch,
                  AnalysisModel::RelationMode::Transaction}) {
                for (RowIndex row : model.relatedRows(index, mode)) {
                    if (model.itemAtRow(row) == nullptr)
                        __builtin_trap();
                }
            }
            model.isAnswered(index);
            itemText(model, model.item(index));
            const AnalysisItem& item = model.item(index);
            if (item.stream != nullptr) {
                if (item.stream->packets < 1)
                    __builtin_trap();
                RtpGraphData graphs;
                computeGraphs(model.streamRegistry(), item.stream, &graphs);
                model.streamRegistry()->extractStream(*item.stream, output, round == 0, round == 1);
            }
        }
        // Every other item hidden: rows must stay inside the filtered list.
        std::vector<ItemIndex> visible;
        for (size_t i = 0; i < model.itemCount(); i += 2) visible.push_back(ItemIndex(i));
        model.setVisible(visible);
        for (size_t i = 0; i < model.itemCount(); ++i) {
            for (RowIndex row :
                 model.relatedRows(ItemIndex(i), AnalysisModel::RelationMode::Session)) {
                if (model.itemAtRow(row) == nullptr)
                    __builtin_trap();
            }
        }
    }
    std::remove(path.c_str());
    std::remove(output.c_str());
    return 0;
}
