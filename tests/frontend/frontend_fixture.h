// The front end on the headless window, display and sound back ends: a fresh window per test,
// movies made with our own writer, and the pump driven by synthetic window messages.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "encoder/movie_writer.h"
#include "api/shared.h"
#include "frontend/devices.h"
#include "frontend/play.h"
#include "tests/support/test_support.h"

namespace fronttest {

// A movie of slots frame slots at 15 a second with the given number of stereo PCM tracks.
inline std::string writeMovie(int slots, int tracks) {
    Movie movie;
    for (int t = 0; t < tracks; ++t) {
        MovieTrack track;
        track.format = AudioFormat{2, 22050, 16, audioCodecPcm};
        track.samples.assign(std::size_t(slots) * (22050 / 15) * 2, std::int16_t(100 * (t + 1)));
        movie.tracks.push_back(track);
    }
    for (int i = 0; i < slots; ++i)
        movie.video.push_back({chunkId("MQZf"), Bytes(32, std::uint8_t(i))});
    return qztest::writeScratchFile("movie.qz", movieBytes(movie));
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

inline LONG stateOf(const PlayerConfig& config) {
    return sharedLoad(config.state);
}

class FrontendTest : public ::testing::Test {
  protected:
    void SetUp() override {
        qzplat::resetWindows();
        qzplat::resetDirectDraw();
        qzplat::resetDirectSound();
    }
    void TearDown() override {
        if (movie != nullptr && playerIsPlaying(movie) != 0) playerStop(movie);
        setMovieHandle(nullptr);
        releaseDisplay(&display);
        qzplat::resetWindows();
        qzplat::resetDirectDraw();
        qzplat::resetDirectSound();
    }

    // Opens a movie in the window as the play routine does, with the settings' gamma.
    void open(const std::string& file, FrontendSettings settings = windowSettings()) {
        ASSERT_TRUE(createPlayerWindow());
        beginPlays(settings, !settings.windowed);
        listDisplayDevices();
        ASSERT_EQ(setupWindowDisplay(settings, &display), DisplayStatus::ready);
        fillPlayerConfig(settings, display, &playerRecord());
        movie = playerOpen(file.c_str(), playerWindow(), &playerRecord());
        ASSERT_NE(movie, nullptr);
        setMovieHandle(movie);
        ASSERT_TRUE(waitFor([&] { return stateOf(*movie) >= statePlaying; }));
    }

    static FrontendSettings windowSettings() {
        FrontendSettings settings;
        settings.windowed = true;
        return settings;
    }

    // Delivers a key press as the window system would and pumps until the queue is empty;
    // returns the last request the pump made.
    PumpResult press(WPARAM key) {
        qzplat::injectMessage(playerWindow(), WM_KEYDOWN, key, 1);
        return pumpAll();
    }

    PumpResult pumpAll() {
        PumpResult last = PumpResult::carryOn;
        for (int i = 0; i < 16 && qzplat::queuedMessageCount() > 0; ++i) {
            PumpResult taken = pumpMessage(movie);
            if (taken != PumpResult::carryOn) last = taken;
        }
        return last;
    }

    void focus(bool gained) {
        qzplat::injectMessage(playerWindow(), WM_ACTIVATEAPP, gained ? TRUE : FALSE, 0);
        pumpMessage(movie);
    }

    DisplayObjects display;
    PlayerConfig* movie = nullptr;
};

} // namespace fronttest
