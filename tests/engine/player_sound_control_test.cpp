// The caller's controls on a playing movie with a sound buffer: pause stops the buffer and
// resume restarts it, volume and frequency reach it; and a stalled picture catches up by
// dropping only frames that no later frame is predicted from.
#include <atomic>
#include <gtest/gtest.h>
#include <thread>

#include "engine/player.h"
#include "tests/engine/player_sound_support.h"
#include "video/decoder_table.h"

using playertest::blankConfig;
using playertest::waitFor;
using namespace soundtest;

namespace {

constexpr DWORD threaded = ownThread | audioOn;

class PlayerSoundControl : public SoundTest {};

} // namespace

TEST_F(PlayerSoundControl, PauseStopsTheBufferAndResumeRestartsIt) {
    PlayerConfig config = blankConfig(threaded);
    ASSERT_EQ(playerOpen(writeSoundMovie({.slots = 150}).c_str(), nullptr, &config), &config);
    ASSERT_TRUE(waitFor([] { return qzplat::soundBytesHeardNow() > 0; }));
    EXPECT_EQ(playerPause(&config), 1);
    const std::uint64_t held = qzplat::soundBytesHeardNow();
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    EXPECT_EQ(qzplat::soundBytesHeardNow(), held);
    EXPECT_EQ(playerPause(&config), 0);
    ASSERT_TRUE(waitFor([&] { return qzplat::soundBytesHeardNow() > held; }));
    EXPECT_EQ(playerPause(&config), 1);
    EXPECT_EQ(playerStop(&config), 0);
    EXPECT_EQ(sharedLoad(config.state), stateClosed);
}

TEST_F(PlayerSoundControl, VolumeAndFrequencyReachTheStreamBuffer) {
    PlayerConfig config = blankConfig(threaded | volumeGiven);
    config.volume = -300;
    ASSERT_EQ(playerOpen(writeSoundMovie({.slots = 150}).c_str(), nullptr, &config), &config);
    ASSERT_TRUE(waitFor([&] { return sharedLoad(config.soundBuffer) != nullptr; }));
    IDirectSoundBuffer* buffer = sharedLoad(config.soundBuffer);
    LONG volume = 0;
    DWORD hertz = 0;
    EXPECT_EQ(buffer->GetVolume(&volume), DS_OK);
    EXPECT_EQ(volume, -300);
    EXPECT_EQ(playerSetVolume(&config, -1200), 0);
    EXPECT_EQ(playerSetFrequency(&config, 44100), 0);
    EXPECT_EQ(buffer->GetVolume(&volume), DS_OK);
    EXPECT_EQ(volume, -1200);
    EXPECT_EQ(buffer->GetFrequency(&hertz), DS_OK);
    EXPECT_EQ(hertz, 44100u);
    EXPECT_EQ(playerStop(&config), 0);
    // After the end the setters find no buffer and do nothing.
    EXPECT_EQ(playerSetVolume(&config, -600), 0);
}

namespace {

std::atomic<int> decoded[8];
std::atomic<int> handedOver{0};

void countDor(VideoState*, const BYTE*, BYTE*, LONG, LONG type) {
    ++decoded[type];
}
void countType3(VideoState*, const BYTE*, BYTE*, BYTE*, LONG) {
    ++decoded[3];
}

// Holds the play thread up once, long enough for the sound to run well ahead.
int stallOnce() {
    if (++handedOver == 10) std::this_thread::sleep_for(std::chrono::milliseconds(800));
    return 0;
}

const char* mixedVideo(int slot) {
    if (slot % 12 == 0) return "DORk";
    return slot % 3 == 1 ? "MQZf" : slot % 3 == 2 ? "DORe" : "DORm";
}

} // namespace

TEST_F(PlayerSoundControl, AStalledPictureCatchesUpByDroppingOnlyUnreferencedFrames) {
    for (auto& count : decoded) count = 0;
    handedOver = 0;
    const DecoderEntryPoints saved = decoderEntryPoints;
    decoderEntryPoints.dorFrame = countDor;
    decoderEntryPoints.type3Decode32 = countType3;
    int chunks[8] = {};
    const SoundMovie movie{.slots = 72, .video = mixedVideo};
    for (int slot = 0; slot < movie.slots; ++slot) {
        const char* id = mixedVideo(slot);
        ++chunks[id[0] == 'M' ? 3 : id[3] == 'k' ? 5 : id[3] == 'm' ? 6 : 7];
    }
    {
        Screen screen;
        // The front end's full-screen word, which plays on a thread of its own.
        PlayerConfig config = blankConfig(audioOn | frameCallbackGiven);
        config.frameCallback = stallOnce;
        screen.attach(config);
        ASSERT_EQ(playerOpen(writeSoundMovie(movie).c_str(), nullptr, &config), &config);
        ASSERT_TRUE(waitFor([&] { return playerIsPlaying(&config) == 0; }));
        EXPECT_EQ(handedOver.load(), movie.slots);
        // Frames others are predicted from are always decoded; the others were dropped.
        EXPECT_EQ(decoded[5].load(), chunks[5]);
        EXPECT_EQ(decoded[6].load(), chunks[6]);
        EXPECT_LT(decoded[3].load() + decoded[7].load(), chunks[3] + chunks[7]);
        EXPECT_LT(qzplat::presentCount(), long(movie.slots));
        EXPECT_GT(qzplat::presentCount(), 0);
    }
    decoderEntryPoints = saved;
}
