// STUN/TURN decoding.
#include <vector>

#include "engine/media/stun_decoder.h"
#include "fuzz_support.h"

using namespace varlowe;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzing::silenceDiagnostics();
    std::vector<uint8_t> copy(data, data + size);
    // Let most inputs pass the test: make the length field agree with the size.
    if (copy.size() >= 20 && copy.size() - 20 <= 0xffff && (copy[0] & 0x80) == 0) {
        copy[2] = static_cast<uint8_t>((copy.size() - 20) >> 8);
        copy[3] = static_cast<uint8_t>(copy.size() - 20);
    }
    auto pairs = decodeStunMessage(copy.data(), copy.size());
    if (pairs != nullptr) {
        if (pairs->size() < 2 || pairs->find("MSG_TYPE") == nullptr) {
            __builtin_trap();
        }
        for (size_t i = 0; i < pairs->size(); ++i) {
            if (pairs->value(i).size() > kStunValueTextLimit) {
                __builtin_trap();
            }
        }
    }
    return 0;
}
