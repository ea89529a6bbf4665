#include <gtest/gtest.h>

#include <sstream>
#include <thread>
#include <vector>

#include "engine/diagnostics.h"

using namespace varlowe;

TEST(Diagnostics, LinesFromSeveralThreadsArriveWhole) {
    ScopedDiagnosticsCapture capture;
    constexpr int kLines = 5000;
    auto writer = [](int thread) {
        for (int i = 0; i < kLines; ++i) {
            diagnostic("thread %d line %d of a diagnostic long enough to be copied in pieces\n",
                       thread, i);
        }
    };
    std::vector<std::thread> threads;
    for (int t = 0; t < 3; ++t) threads.emplace_back(writer, t);
    // Meanwhile the main thread switches between the capture and a sink of its own.
    struct Collector : IDiagnosticsSink {
        std::string text;
        void write(const std::string& line) override { text += line; }
    } other;
    for (int i = 0; i < 200; ++i) {
        setDiagnosticsSink(&other);
        diagnostic("main %d\n", i);
        setDiagnosticsSink(&capture);
    }
    for (std::thread& thread : threads) thread.join();
    const std::string elsewhere = other.text;

    // Every line reached one of the sinks, whole, and each thread's lines in their order.
    int workerLines = 0, mainLines = 0;
    for (const std::string& text : {capture.text(), elsewhere}) {
        std::istringstream lines(text);
        std::string line;
        std::vector<int> next(3, 0);
        while (std::getline(lines, line)) {
            int thread = -1, number = -1;
            if (std::sscanf(line.c_str(), "main %d", &number) == 1) {
                ++mainLines;
                continue;
            }
            ASSERT_EQ(std::sscanf(line.c_str(), "thread %d line %d of a", &thread, &number), 2)
                << line;
            ASSERT_GE(thread, 0);
            ASSERT_LT(thread, 3);
            EXPECT_GE(number, next[static_cast<size_t>(thread)]);
            next[static_cast<size_t>(thread)] = number + 1;
            ++workerLines;
        }
    }
    EXPECT_EQ(workerLines, 3 * kLines);
    EXPECT_EQ(mainLines, 200);
}
