// The controls added beside the original keys: volume and mute through playerSetVolume, q, the
// window title's text and time, and the message for a track the movie lacks.
#include <filesystem>

#include "frontend/controls.h"
#include "tests/frontend/frontend_fixture.h"

namespace {

using fronttest::FrontendTest;
using fronttest::stateOf;

LONG bufferVolume(PlayerConfig* movie) {
    IDirectSoundBuffer* buffer = sharedLoad(movie->soundBuffer);
    LONG volume = 1;
    if (buffer == nullptr || FAILED(buffer->GetVolume(&volume))) return 1;
    return volume;
}

std::string windowTitle() {
    char text[256];
    GetWindowTextA(playerWindow(), text, sizeof text);
    return text;
}

TEST(VolumeUnits, PercentIsAmplitudeInHundredthsOfADecibel) {
    EXPECT_EQ(volumeUnits(100), 0);
    EXPECT_EQ(volumeUnits(50), -602);
    EXPECT_EQ(volumeUnits(10), -2000);
    EXPECT_EQ(volumeUnits(1), -4000);
    EXPECT_EQ(volumeUnits(0), DSBVOLUME_MIN);
    EXPECT_EQ(volumeUnits(-5), DSBVOLUME_MIN);
    EXPECT_EQ(volumeUnits(250), DSBVOLUME_MAX);
}

TEST_F(FrontendTest, VolumeKeysStepTenPercentAndMuteThroughTheControlCall) {
    FrontendSettings settings = windowSettings();
    settings.volumeSetting = 50;
    open(fronttest::writeMovie(300, 1), settings);
    ASSERT_TRUE(fronttest::waitFor([&] { return sharedLoad(movie->soundBuffer) != nullptr; }));
    // -volume reaches the buffer made at the first pass.
    EXPECT_EQ(bufferVolume(movie), volumeUnits(50));
    press('9');
    press(VK_DIVIDE);
    EXPECT_EQ(volumePercent(), 30);
    EXPECT_EQ(bufferVolume(movie), volumeUnits(30));
    EXPECT_EQ(sharedLoad(movie->volume), volumeUnits(30));
    press('M');
    EXPECT_TRUE(volumeMuted());
    EXPECT_EQ(bufferVolume(movie), DSBVOLUME_MIN);
    EXPECT_NE(windowTitle().find(" - muted"), std::string::npos) << windowTitle();
    press('M');
    EXPECT_EQ(bufferVolume(movie), volumeUnits(30));
    // A step ends a mute; the top and the bottom hold.
    press('M');
    for (int i = 0; i < 9; ++i) press(i % 2 == 0 ? '0' : VK_MULTIPLY);
    EXPECT_FALSE(volumeMuted());
    EXPECT_EQ(volumePercent(), 100);
    EXPECT_EQ(bufferVolume(movie), 0);
    EXPECT_NE(windowTitle().find(" - volume 100%"), std::string::npos) << windowTitle();
    for (int i = 0; i < 12; ++i) press('9');
    EXPECT_EQ(volumePercent(), 0);
    EXPECT_EQ(bufferVolume(movie), DSBVOLUME_MIN);
    // A replay opens with the volume the keys set, once the movie before it has stopped.
    press(VK_MULTIPLY);
    playerStop(movie);
    putVolume(&playerRecord());
    EXPECT_EQ(playerRecord().volume, volumeUnits(10));
    EXPECT_NE(playerRecord().flags & volumeGiven, 0u);
}

TEST_F(FrontendTest, QQuitsLikeEscape) {
    open(fronttest::writeMovie(300, 1));
    EXPECT_EQ(press('Q'), PumpResult::quit);
    EXPECT_EQ(playerIsPlaying(movie), 0);
}

TEST_F(FrontendTest, TheTitleShowsNamePlaceLengthAndPause) {
    FrontendSettings settings = windowSettings();
    settings.movieFile = fronttest::writeMovie(300, 2);
    beginTitle(settings);
    // 300 slots of 1470 sample frames at 22050 a second: 20 seconds, two tracks.
    const MovieLength& length = currentMovieLength();
    EXPECT_EQ(length.slots, 300);
    EXPECT_TRUE(length.timed);
    EXPECT_DOUBLE_EQ(length.seconds, 20.0);
    EXPECT_EQ(length.tracks, 2);
    open(settings.movieFile, settings);
    refreshTitle(movie, true);
    const std::string name = movieName(settings.movieFile);
    EXPECT_EQ(windowTitle().rfind(name + " - 0:", 0), 0u) << windowTitle();
    EXPECT_NE(windowTitle().find(" / 0:20"), std::string::npos) << windowTitle();
    press(VK_SHIFT);
    refreshTitle(movie, true);
    EXPECT_NE(windowTitle().find(" / 0:20 - paused"), std::string::npos) << windowTitle();
}

TEST(TitleText, PlaceLengthLapsAndUntimedMovies) {
    EXPECT_EQ(clockText(0), "0:00");
    EXPECT_EQ(clockText(59.99), "0:59");
    EXPECT_EQ(clockText(90), "1:30");
    EXPECT_EQ(clockText(3725), "1:02:05");
    const MovieLength timed{1350, 90.0, true, 1};
    EXPECT_EQ(titleText("demo", timed, 180, ""), "demo - 0:12 / 1:30");
    EXPECT_EQ(titleText("demo", timed, 180, "volume 80%"), "demo - 0:12 / 1:30 - volume 80%");
    // A looping movie's counter runs on: the place is within the lap.
    EXPECT_EQ(titleText("demo", timed, 1350 + 180, "paused"), "demo - 0:12 / 1:30 - paused");
    const MovieLength untimed{300, 0, false, 0};
    EXPECT_EQ(titleText("x", untimed, 12, ""), "x - frame 12 / 300");
    EXPECT_EQ(movieName("/some/folder/my movie.qz2"), "my movie");
}

TEST(TrackChoice, ATrackBeyondTheMoviesNamesHowManyThereAre) {
    EXPECT_EQ(trackChoiceText(3, 2),
              "playqz: -track 3: the movie has 2 audio tracks (1 to 2); playing track 1");
    EXPECT_EQ(trackChoiceText(2, 1),
              "playqz: -track 2: the movie has 1 audio track (1 to 1); playing track 1");
    EXPECT_EQ(trackChoiceText(1, 0), "playqz: -track 1: the movie has no audio track");
}

} // namespace

#ifdef QZ_QZTOOL_PATH
namespace {

// Runs in folder and goes back at the end of the scope.
struct InFolder {
    explicit InFolder(const std::string& folder) : before(std::filesystem::current_path()) {
        std::filesystem::create_directories(folder);
        std::filesystem::current_path(folder);
    }
    ~InFolder() { std::filesystem::current_path(before); }
    std::filesystem::path before;
};

} // namespace

TEST_F(FrontendTest, ScreenshotsEqualTheExportedFrameAndNeverOverwrite) {
    const std::string folder = qztest::scratchPath("shots");
    const std::string movieFile = folder + "/demo.qz";
    std::filesystem::create_directories(folder);
    ASSERT_EQ(qztest::runProgram(QZ_QZTOOL_PATH, {"demo", movieFile}).exitCode, 0);
    const std::string frames = folder + "/frames";
    std::filesystem::create_directories(frames);
    ASSERT_EQ(qztest::runProgram(QZ_QZTOOL_PATH, {"frames", movieFile, "--pixel-format", "xrgb8888",
                                                  "--png", frames + "/f%d.png"})
                  .exitCode,
              0);
    const auto exported = [&](LONG frame) {
        return qztest::readFileBytes(frames + "/f" + std::to_string(frame) + ".png");
    };

    // Straight from the file: a type-3 frame, a type-4 one, a later one twice.
    for (LONG frame : {1L, 20L, 150L, 150L}) {
        std::string why;
        const std::string saved = saveScreenshot(movieFile, frame, folder, why);
        ASSERT_FALSE(saved.empty()) << why;
        EXPECT_EQ(qztest::readFileBytes(saved), exported(frame)) << frame;
    }
    EXPECT_TRUE(std::filesystem::exists(folder + "/demo-150-1.png"));
    // Pictures built from earlier ones: KRT deltas on a palette, DOR motion frames.
    for (const std::string family : {"--krt", "--dor"}) {
        const std::string other = folder + "/other" + family + ".qz";
        const std::string otherFrames = folder + "/frames" + family;
        std::filesystem::create_directories(otherFrames);
        ASSERT_EQ(qztest::runProgram(QZ_QZTOOL_PATH, {"demo", family, other}).exitCode, 0);
        ASSERT_EQ(qztest::runProgram(QZ_QZTOOL_PATH, {"frames", other, "--pixel-format", "xrgb8888",
                                                      "--png", otherFrames + "/f%d.png"})
                      .exitCode,
                  0);
        for (LONG frame : {2L, 37L}) {
            std::string why;
            const std::string saved = saveScreenshot(other, frame, folder, why);
            ASSERT_FALSE(saved.empty()) << why;
            EXPECT_EQ(qztest::readFileBytes(saved),
                      qztest::readFileBytes(otherFrames + "/f" + std::to_string(frame) + ".png"))
                << family << " " << frame;
        }
    }

    // The s key while playing: the frame on screen, in the current folder; the movie plays on.
    FrontendSettings settings = windowSettings();
    settings.movieFile = movieFile;
    beginTitle(settings);
    beginScreenshots(settings);
    open(movieFile, settings);
    ASSERT_TRUE(fronttest::waitFor([&] { return sharedLoad(movie->shownFrame) >= 5; }));
    const std::string here = folder + "/here";
    {
        InFolder in(here);
        press('S');
    }
    EXPECT_EQ(stateOf(*movie), statePlaying);
    std::vector<std::filesystem::path> shots;
    for (const auto& entry : std::filesystem::directory_iterator(here))
        shots.push_back(entry.path());
    ASSERT_EQ(shots.size(), 1u);
    const std::string name = shots[0].filename().string();
    ASSERT_EQ(name.rfind("demo-", 0), 0u) << name;
    const LONG frame = std::stol(name.substr(5));
    EXPECT_GE(frame, 5);
    EXPECT_EQ(qztest::readFileBytes(shots[0].string()), exported(frame)) << name;
}
#endif
