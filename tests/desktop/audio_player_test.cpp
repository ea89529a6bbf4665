#include "desktop/audio_player.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <thread>

#include "support/capture_builder.h"

using namespace varlowe;

namespace {

// SDL's disk driver writes what would have been played to a file, as fast as it is asked for.
void useDiskSink(const std::string& path) {
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", path.c_str(), 1);
    setenv("SDL_DISKAUDIODELAY", "0", 1);
}

bool waitUntilDone(const AudioPlayer& player) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (player.playing()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

std::vector<int16_t> samplesIn(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<int16_t> samples(bytes.size() / 2);
    std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
    return samples;
}

TEST(AudioPlayer, TheSinkReceivesTheSamplesInOrderThenSilence) {
    // A folder of its own: a fixed name in /tmp would be shared with any other run.
    const testsupport::TempFile file("played.raw");
    const std::string& sink = file.path();
    useDiskSink(sink);
    std::vector<int16_t> tone(2 * 8000 / 4);  // a quarter second of stereo
    for (size_t i = 0; i < tone.size(); ++i) {
        tone[i] = static_cast<int16_t>((i % 2 == 0 ? 1 : -1) * static_cast<int>(i % 3000 + 1));
    }
    AudioPlayer player;
    ASSERT_EQ(player.play(tone, 2, 8000), "");
    EXPECT_DOUBLE_EQ(player.durationSeconds(), 0.25);
    ASSERT_TRUE(waitUntilDone(player));
    EXPECT_DOUBLE_EQ(player.positionSeconds(), 0.25);
    player.stop();
    // SDL's device thread writes silence until the device is started: the tone follows it.
    std::vector<int16_t> played = samplesIn(sink);
    played.erase(played.begin(), std::find_if(played.begin(), played.end(),
                                              [](int16_t sample) { return sample != 0; }));
    ASSERT_GE(played.size(), tone.size());
    EXPECT_TRUE(std::equal(tone.begin(), tone.end(), played.begin()));
    EXPECT_TRUE(std::all_of(played.begin() + static_cast<long>(tone.size()), played.end(),
                            [](int16_t s) { return s == 0; }));
    EXPECT_EQ(AudioPlayer::positionText(1.25, 8.5), "1.2 s of 8.5 s");
}

TEST(AudioPlayer, StopEndsPlaybackAndNoDeviceIsSaidAtOnce) {
    const testsupport::TempFile sink("stopped.raw");
    useDiskSink(sink.path());
    setenv("SDL_DISKAUDIODELAY", "50", 1);  // real time or slower: still playing when stopped
    AudioPlayer player;
    ASSERT_EQ(player.play(std::vector<int16_t>(8000 * 10), 1, 8000), "");
    EXPECT_TRUE(player.playing());
    player.stop();
    EXPECT_FALSE(player.playing());
    EXPECT_LT(player.positionSeconds(), 10.0);

    setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    const auto started = std::chrono::steady_clock::now();
    const std::string message = player.play(std::vector<int16_t>(800), 1, 8000);
    EXPECT_EQ(message.rfind("No sound device can be opened: ", 0), 0u) << message;
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
    EXPECT_FALSE(player.playing());
    EXPECT_NE(player.play(std::vector<int16_t>(800), 0, 8000), "");
    unsetenv("SDL_AUDIODRIVER");
}

}  // namespace
