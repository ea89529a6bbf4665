#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

namespace varlowe {

// Plays 16-bit PCM on the machine's sound device (SDL2's audio, whichever driver it finds, or
// the one SDL_AUDIODRIVER names), from a callback on the audio thread; the window asks for the
// position on a timer. Without a device play() says why, at once.
class AudioPlayer {
  public:
    AudioPlayer() = default;
    ~AudioPlayer();
    AudioPlayer(const AudioPlayer&) = delete;
    AudioPlayer& operator=(const AudioPlayer&) = delete;

    // Starts playing the interleaved samples; empty when it plays, else the message to show.
    std::string play(std::vector<int16_t> samples, int channels, int sampleRate);
    // Stops and closes the device; playing again needs play().
    void stop();

    // Whether samples remain to be handed to the device.
    bool playing() const;
    double positionSeconds() const;
    double durationSeconds() const;

    // "1.2 s of 8.5 s".
    static std::string positionText(double position, double duration);

  private:
    static void fill(void* self, uint8_t* stream, int length);

    std::vector<int16_t> samples_;
    int channels_ = 1;
    int sampleRate_ = 8000;
    std::atomic<size_t> next_{0};  // the next sample the callback hands over
    uint32_t device_ = 0;
    bool initialised_ = false;
};

}  // namespace varlowe
