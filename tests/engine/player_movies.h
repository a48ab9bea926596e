// Small movies for the player tests, built with our own writer: video chunks carry any payload
// (no decoder reads them yet), audio chunks carry PCM or IMA ADPCM stereo.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "encoder/audio_encoders.h"
#include "format/container_writer.h"
#include "engine/context.h"
#include "api/shared.h"
#include "tests/support/test_support.h"

namespace playertest {

struct MovieShape {
    int slots = 10; // frame slots: one video chunk (and one audio chunk) each
    bool video = true;
    bool audio = false;
    LONG codec = audioCodecPcm; // audioCodecPcm or audioCodecIma
    int rate = 22050;
    int slotsPerSecond = 15;
};

inline std::string writeMovie(const MovieShape& shape) {
    ChunkWriter movie;
    AudioFormat format{2, shape.rate, 16, shape.codec};
    if (shape.audio) movie.chunk("SCHl", streamHeaderPayload(format));
    ImaChannel ima[2] = {};
    const int frames = shape.rate / shape.slotsPerSecond;
    for (int slot = 0; slot < shape.slots; ++slot) {
        if (shape.video) movie.chunk("MQZf", Bytes(32, static_cast<std::uint8_t>(slot)));
        if (!shape.audio) continue;
        std::vector<std::int16_t> samples(static_cast<std::size_t>(frames) * 2,
                                          static_cast<std::int16_t>(slot * 100));
        movie.chunk("SCDl", shape.codec == audioCodecIma ? encodeImaPayload(samples, ima)
                                                         : encodePcmPayload(samples, 2));
    }
    movie.chunk("SEND", {});
    return qztest::writeScratchFile("movie.qz", movie.bytes());
}

// A zero-filled record with the flags the tests play with.
inline PlayerConfig blankConfig(DWORD flags) {
    PlayerConfig config{};
    config.flags = flags;
    return config;
}

// Polls until done() holds or the generous limit passes; true when it held.
inline bool waitFor(const std::function<bool()>& done, int limitMs = 15000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

} // namespace playertest
