#include "audio_player.h"

#include <SDL.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace varlowe {

AudioPlayer::~AudioPlayer() {
    stop();
}

std::string AudioPlayer::play(std::vector<int16_t> samples, int channels, int sampleRate) {
    stop();
    if (channels < 1 || channels > 2 || sampleRate <= 0) {
        return "The audio has no channels or no sample rate to play.";
    }
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        return std::string("No sound device can be opened: ") + SDL_GetError() + ".";
    }
    initialised_ = true;
    samples_ = std::move(samples);
    channels_ = channels;
    sampleRate_ = sampleRate;
    next_ = 0;
    SDL_AudioSpec wanted{};
    wanted.freq = sampleRate;
    wanted.format = AUDIO_S16SYS;
    wanted.channels = static_cast<Uint8>(channels);
    wanted.samples = 1024;
    wanted.callback = &AudioPlayer::fill;
    wanted.userdata = this;
    // No changes allowed: SDL converts to what the device takes.
    device_ = SDL_OpenAudioDevice(nullptr, 0, &wanted, nullptr, 0);
    if (device_ == 0) {
        const std::string why = SDL_GetError();
        stop();
        return "No sound device can be opened: " + why + ".";
    }
    SDL_PauseAudioDevice(device_, 0);
    return std::string();
}

void AudioPlayer::fill(void* self, uint8_t* stream, int length) {
    auto* player = static_cast<AudioPlayer*>(self);
    const size_t wanted = static_cast<size_t>(std::max(length, 0)) / sizeof(int16_t);
    const size_t from = player->next_.load();
    const size_t count = std::min(wanted, player->samples_.size() - from);
    std::memcpy(stream, player->samples_.data() + from, count * sizeof(int16_t));
    std::memset(stream + count * sizeof(int16_t), 0, (wanted - count) * sizeof(int16_t));
    player->next_.store(from + count);
}

void AudioPlayer::stop() {
    if (device_ != 0) {
        SDL_CloseAudioDevice(device_);  // waits for the callback to return
        device_ = 0;
    }
    if (initialised_) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        initialised_ = false;
    }
}

bool AudioPlayer::playing() const {
    return device_ != 0 && next_.load() < samples_.size();
}

double AudioPlayer::positionSeconds() const {
    return static_cast<double>(next_.load() / static_cast<size_t>(channels_)) / sampleRate_;
}

double AudioPlayer::durationSeconds() const {
    return static_cast<double>(samples_.size() / static_cast<size_t>(channels_)) / sampleRate_;
}

std::string AudioPlayer::positionText(double position, double duration) {
    char text[64];
    std::snprintf(text, sizeof text, "%.1f s of %.1f s", position, duration);
    return text;
}

}  // namespace varlowe
