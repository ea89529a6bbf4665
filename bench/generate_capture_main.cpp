#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "capture_generator.h"

namespace {
const char* const kUsage =
    "Usage: generate-capture -o FILE [--size-mb N] [--calls N] [--seed N] [--tcp-share X]\n"
    "                        [--loss X] [--reorder X] [--no-media] [--max-calls N]\n"
    "                        [--ipv6] [--outcomes]\n"
    "Writes a synthetic capture of concurrent SIP calls with RTP and RTCP, the same bytes for\n"
    "the same options.\n";
}

int main(int argc, char** argv) {
    varlowe::bench::GeneratorOptions options;
    std::string output;
    for (int i = 1; i < argc; ++i) {
        std::string argument = argv[i];
        if (argument == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (argument == "--ipv6") {
            options.ipv6 = true;
            continue;
        }
        if (argument == "--outcomes") {
            options.outcomes = true;
            continue;
        }
        if (argument == "--no-media") {
            options.media = false;
            continue;
        }
        if (i + 1 >= argc) {
            std::fputs(kUsage, stderr);
            return 2;
        }
        const char* value = argv[++i];
        if (argument == "-o") {
            output = value;
        } else if (argument == "--size-mb") {
            options.targetBytes = std::strtoull(value, nullptr, 10) * 1000 * 1000;
        } else if (argument == "--calls") {
            options.concurrentCalls = std::atoi(value);
        } else if (argument == "--seed") {
            options.seed = std::strtoull(value, nullptr, 10);
        } else if (argument == "--tcp-share") {
            options.tcpShare = std::atof(value);
        } else if (argument == "--loss") {
            options.lossRate = std::atof(value);
        } else if (argument == "--reorder") {
            options.reorderRate = std::atof(value);
        } else if (argument == "--max-calls") {
            options.maxCalls = std::strtoull(value, nullptr, 10);
        } else {
            std::fputs(kUsage, stderr);
            return 2;
        }
    }
    if (output.empty() || options.concurrentCalls < 1 || options.concurrentCalls > 60000) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    try {
        auto result = varlowe::bench::generateCapture(output, options);
        std::printf("%s: %llu bytes, %llu packets, %llu calls\n", output.c_str(),
                    static_cast<unsigned long long>(result.bytes),
                    static_cast<unsigned long long>(result.packets),
                    static_cast<unsigned long long>(result.calls));
    } catch (const std::exception& error) {
        std::fprintf(stderr, "generate-capture: %s\n", error.what());
        return 1;
    }
    return 0;
}
