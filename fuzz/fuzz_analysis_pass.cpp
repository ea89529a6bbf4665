// Arbitrary file bytes through the whole analysis pass, under two sets of parsing switches,
// then every query the windows make of the result: related items, answers, item texts,
// stream graphs and payload extraction.
#include <unistd.h>

#include <cstdio>
#include <string>

#include "fuzz_support.h"
#include "media/rtp_statistics.h"
#include "media/rtp_stream.h"
#include "sip/analysis_model.h"
#include "sip/packet_analysis_driver.h"

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
            for (auto mode :
                 {AnalysisModel::RelationMode::Session, AnalysisModel::RelationMode::Branch,
                  AnalysisModel::RelationMode::Transaction}) {
                for (size_t row : model.relatedItems(i, mode)) {
                    if (row >= model.visibleCount())
                        __builtin_trap();
                }
            }
            model.isAnswered(i);
            itemText(model.item(i));
            const AnalysisItem& item = model.item(i);
            if (item.stream != nullptr) {
                if (item.stream->packets < 1)
                    __builtin_trap();
                RtpGraphData graphs;
                computeGraphs(model.streamRegistry(), item.stream, &graphs);
                model.streamRegistry()->extractStream(*item.stream, output, round == 0, round == 1);
            }
        }
        // Every other item hidden: rows must stay inside the filtered list.
        std::vector<size_t> visible;
        for (size_t i = 0; i < model.itemCount(); i += 2) visible.push_back(i);
        model.setVisible(visible);
        for (size_t i = 0; i < model.itemCount(); ++i) {
            for (size_t row : model.relatedItems(i, AnalysisModel::RelationMode::Session)) {
                if (row >= model.visibleCount())
                    __builtin_trap();
            }
        }
    }
    std::remove(path.c_str());
    std::remove(output.c_str());
    return 0;
}
