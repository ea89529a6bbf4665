// Arbitrary file bytes through the capture reader and the frame decoding, then a re-read
// from every reported record offset, as the stream figures do.
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "engine/capture/capture_file_reader.h"
#include "engine/capture/packet_record.h"
#include "fuzz_support.h"

using namespace varlowe;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzing::silenceDiagnostics();
    static const std::string path = fuzzing::inputFilePath("reader");
    if (!fuzzing::writeInputFile(path, data, size)) {
        return 0;
    }

    for (int switches = 0; switches < 3; ++switches) {
        CaptureFileReader reader;
        reader.setIncludeUdp(switches != 1);
        reader.setIncludeTcp(switches != 2);
        if (!reader.open(path)) {
            break;
        }
        std::vector<uint64_t> offsets;
        FrameInfo frame;
        uint64_t position = 0;
        while (reader.nextFrame(frame, &position)) {
            PacketRecord record = PacketRecord::fromFrame(frame);
            if (record.payloadLength != 0 && record.payload.back() != 0) {
                __builtin_trap();
            }
            if (frame.fileOffset + 16 > reader.fileSize()) {
                __builtin_trap();
            }
            offsets.push_back(frame.fileOffset);
        }
        // A reported record must be found again by a reader of its own, as graphs and
        // extraction read: what it yields first lies at or after the offset (a reassembled
        // datagram reports its first fragment, which such a reader meets after the seek).
        for (size_t i = 0; i < offsets.size() && i < 64; ++i) {
            CaptureFileReader again;
            again.setIncludeUdp(switches != 1);
            again.setIncludeTcp(switches != 2);
            if (!again.open(path) || !again.seek(offsets[i])) {
                __builtin_trap();
            }
            if (again.nextFrame(frame) && frame.fileOffset < offsets[i]) {
                __builtin_trap();
            }
        }
    }
    std::remove(path.c_str());
    return 0;
}
