// Exact screen checks for the end-to-end tests: the screens playqz records (QZ_SCREEN_DUMP)
// compared pixel for pixel with the screens its movie's exported frames must make, placed,
// doubled and stretched as the player places them and converted to RGB by the stand-in
// display's own conversions.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace xtest {

// 0x00RRGGBB pixels, row after row.
struct RgbImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;
};

// Reads a binary PPM (P6, 8-bit); false when the file is not one.
bool readPpm(const std::string& path, RgbImage& image);

// One recorded present: its place in the order of presents and the movie frame it belongs to
// (-1 before the first frame).
struct RecordedPresent {
    long index = 0;
    long tag = -1;
    std::string path;
};
// The presents recorded in folder, in the order they were made.
std::vector<RecordedPresent> recordedPresents(const std::string& folder);

// The pixel format of the screen and how the decoded pictures reach it.
enum class ScreenPath {
    rgb16,       // 16-bit 5:6:5 mode, pictures decoded to it
    rgb32,       // 32-bit mode, pictures decoded to it
    palette8,    // 8-bit mode: KRT indices through the movie's palette
    yuy2On16,    // YUY2 pictures blitted onto a 16-bit mode
    yuy2On32,    // YUY2 pictures blitted onto a 32-bit mode
    yuy2Overlay, // YUY2 pictures shown by an overlay, converted to RGB at scan-out
};

// A movie's decoded frames as qztool exports them for one screen path and gamma, each turned
// into the colours the screen shows for it (before placement).
class ExpectedFrames {
  public:
    // Exports movie's frames with qztool; false with the reason in error.
    bool load(const std::string& qztool, const std::string& movie, ScreenPath path, int gamma,
              std::string& error);
    int count() const { return int(frames_.size()); }
    int width = 0;
    int height = 0;
    int gamma = 100;
    // The frame a looping movie starts its second and later laps with: the loop goes back to
    // the first audio chunk, which may come after the first video chunks.
    int lapStart = 0;
    // The frame's pixels as the screen shows them, movie-sized.
    const std::vector<std::uint32_t>& frame(int n) const { return frames_[std::size_t(n)]; }
    // What the screen shows around frame n: black, or on an 8-bit screen the colour of the
    // palette entry 0 the cleared screen holds, from the frame's palette.
    std::uint32_t background(int n) const {
        return backgrounds_.empty() ? 0 : backgrounds_[std::size_t(n)];
    }
    // The frame a play of the movie shows with a tag (frames counted from the open on, across
    // the laps of a loop).
    int frameOfTag(long tag) const;

  private:
    std::vector<std::vector<std::uint32_t>> frames_;
    std::vector<std::uint32_t> backgrounds_;
};

// How the player lays the picture out on the screen.
struct Placement {
    bool doubleX = false;
    bool doubleY = false;
    bool skipY = false;
    int stretchWidth = 0; // 0: not stretched
    int stretchHeight = 0;
};

// The screen of width x height showing the frame: the picture doubled or with every second row
// black, centred by its unstretched size, stretched by the nearest pixel, clipped to the screen,
// the rest background.
RgbImage expectedScreen(const std::vector<std::uint32_t>& frame, int frameWidth, int frameHeight,
                        const Placement& placement, int screenWidth, int screenHeight,
                        std::uint32_t background = 0);

// Where two screens differ: how many pixels, and the first (row by row) with both values.
struct ScreenDifference {
    long pixels = 0;
    int x = -1;
    int y = -1;
    std::uint32_t got = 0;
    std::uint32_t wanted = 0;
};
ScreenDifference compareScreens(const RgbImage& got, const RgbImage& wanted);

// The outcome of checking one recorded run.
struct RunCheck {
    int compared = 0;                // frames compared (the last present of each tag run)
    std::vector<std::string> faults; // one line each, empty when every frame matched
    std::vector<long> tags;          // the tag of each compared present, in order
    int lastStage = 0;               // the last gamma stage seen (see checkRun)
};

// Checks a recorded run: for each run of consecutive presents with the same tag, the last
// one must equal the expected screen of the tag's frame (frameOfTag). stages are the exports the
// run may show, in the order the run moves through them (gamma changes): each compared frame
// matches the current stage or a later one, never an earlier one.
RunCheck checkRun(const std::string& runName, const std::string& folder,
                  const std::vector<const ExpectedFrames*>& stages, const Placement& placement);

} // namespace xtest
