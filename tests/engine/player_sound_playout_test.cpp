// Playing movies through the headless sound card: what is heard is what was decoded, the
// play-out at the end, audio-only and looping movies, track changes and sound switched off.
#include <gtest/gtest.h>
#include <thread>

#include "engine/player.h"
#include "tests/engine/player_sound_support.h"

using playertest::blankConfig;
using playertest::waitFor;
using namespace soundtest;

namespace {

constexpr DWORD threaded = ownThread | audioOn;
constexpr std::size_t slotBytes = 1470 * 4;

bool closed(PlayerConfig& config) {
    return sharedLoad(config.state) == stateClosed && sharedLoad(config.context) == nullptr;
}

class PlayerSound : public SoundTest {};

} // namespace

TEST_F(PlayerSound, EverythingDecodedIsHeardInOrderAndTheBufferPlaysOut) {
    for (bool video : {true, false}) {
        SCOPED_TRACE(video ? "with video" : "audio only");
        qzplat::resetDirectSound();
        SoundMovie movie{.slots = 20};
        if (!video) movie.video = nullptr;
        PlayerConfig config = blankConfig(threaded);
        ASSERT_EQ(playerOpen(writeSoundMovie(movie).c_str(), nullptr, &config), &config);
        EXPECT_EQ(config.audioOnly, video ? 0 : 1);
        ASSERT_TRUE(waitFor([&] { return playerIsPlaying(&config) == 0; }));
        EXPECT_TRUE(closed(config));
        const std::vector<qzplat::HeardSound> heard = qzplat::heardSounds();
        ASSERT_EQ(heard.size(), 1u);
        EXPECT_EQ(heard[0].format.nSamplesPerSec, 22050u);
        EXPECT_EQ(heard[0].format.nBlockAlign, 4);
        // Byte for byte, with nothing lost at the end: the buffer was switched to play once
        // only when that could not cut the last block off.
        EXPECT_TRUE(audible(lastHeard()) == trackBytes(movie, 1));
        // The sound lasts 20 / 15 s, and the movie does not end before it has been heard.
        EXPECT_GE(config.elapsedMs, 1300u);
        if (video) {
            EXPECT_GE(config.frameCount, 20u);
        }
    }
}

TEST_F(PlayerSound, ACardTakingTheBufferInPeriodsHearsEveryByte) {
    // A cursor that stands still between periods often sits exactly where the last write
    // ended; the full buffer must not then be taken for an empty one and written over.
    for (DWORD period : {DWORD(slotBytes), DWORD(4160), DWORD(2048)}) {
        SCOPED_TRACE(period);
        qzplat::resetDirectSound();
        qzplat::SoundProfile profile;
        profile.cursorStepBytes = period;
        qzplat::setSoundProfile(profile);
        SoundMovie movie{.slots = 30};
        PlayerConfig config = blankConfig(threaded);
        ASSERT_EQ(playerOpen(writeSoundMovie(movie).c_str(), nullptr, &config), &config);
        ASSERT_TRUE(waitFor([&] { return playerIsPlaying(&config) == 0; }));
        EXPECT_TRUE(audible(lastHeard()) == trackBytes(movie, 1));
    }
}

TEST_F(PlayerSound, WithoutAudioOnNoSoundObjectIsMadeAndTheVideoSetsTheEnd) {
    SoundMovie movie{.slots = 15};
    PlayerConfig config = blankConfig(ownThread);
    ASSERT_EQ(playerOpen(writeSoundMovie(movie).c_str(), nullptr, &config), &config);
    EXPECT_EQ(qzplat::liveSoundObjects().devices, 0);
    EXPECT_EQ(config.directSound, nullptr);
    ASSERT_TRUE(waitFor([&] { return playerIsPlaying(&config) == 0; }));
    EXPECT_TRUE(qzplat::heardSounds().empty());
    // Paced on the simulated clock, and over once the last frame is shown.
    EXPECT_EQ(config.frameCount, 15u);
    EXPECT_GE(config.elapsedMs, 500u);
}

TEST_F(PlayerSound, TrackChangeTakesEffectAtTheNextRunOfAudioChunks) {
    SoundMovie movie{.slots = 60, .tracks = 2};
    PlayerConfig config = blankConfig(threaded);
    ASSERT_EQ(playerOpen(writeSoundMovie(movie).c_str(), nullptr, &config), &config);
    ASSERT_TRUE(waitFor([&] { return sharedLoad(config.frameCount) >= 10u; }));
    EXPECT_EQ(playerSetTrack(&config, 2), 0);
    ASSERT_TRUE(waitFor([&] { return playerIsPlaying(&config) == 0; }));
    const Bytes heard = audible(lastHeard());
    const Bytes first = trackBytes(movie, 1);
    const Bytes second = trackBytes(movie, 2);
    ASSERT_EQ(heard.size(), first.size());
    // Whole slots of track 1, then whole slots of track 2 to the end.
    std::size_t split = 0;
    while (split < heard.size() && heard[split] == first[split]) ++split;
    split -= split % slotBytes;
    EXPECT_GT(split, 0u);
    EXPECT_LT(split, heard.size());
    EXPECT_TRUE(std::equal(heard.begin(), heard.begin() + std::ptrdiff_t(split), first.begin()));
    EXPECT_TRUE(std::equal(heard.begin() + std::ptrdiff_t(split), heard.end(),
                           second.begin() + std::ptrdiff_t(split)));
}

TEST_F(PlayerSound, LoopingMovieKeepsItsSoundGoingUntilStopped) {
    SoundMovie movie{.slots = 5};
    PlayerConfig config = blankConfig(threaded | loopPlay);
    ASSERT_EQ(playerOpen(writeSoundMovie(movie).c_str(), nullptr, &config), &config);
    // Three times the movie's sound on top of the buffer's first lap.
    const std::uint64_t enough = 32768 + 3 * 5 * slotBytes;
    ASSERT_TRUE(waitFor([&] { return qzplat::soundBytesHeardNow() > enough; }));
    EXPECT_EQ(playerIsPlaying(&config), 1);
    EXPECT_EQ(playerStop(&config), 0);
    EXPECT_TRUE(closed(config));
    // The loop goes on from the top: the movie's sound is heard again and again.
    const Bytes heard = audible(lastHeard());
    const Bytes once = trackBytes(movie, 1);
    ASSERT_GT(heard.size(), 2 * once.size());
    EXPECT_TRUE(std::equal(once.begin(), once.end(), heard.begin()));
    EXPECT_TRUE(std::equal(once.begin(), once.end(), heard.begin() + std::ptrdiff_t(once.size())));
}
