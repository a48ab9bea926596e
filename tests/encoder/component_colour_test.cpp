// Type-4 and DOR frames show their pictures through the component conversion, whose channels sit
// 15 levels below the coded luma and stop at 239: the encoders aim at what it shows, so that
// greys and colours decoded by the player come back at their own levels.
#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "encoder/dor_encoder.h"
#include "encoder/type4_encoder.h"
#include "video/frame_decoder.h"

namespace {

constexpr int width = 256, height = 96, greyRows = 64;

// Flat 8×8 blocks (so the frames code them exactly): 256 grey levels on top, one per block, and
// below them rows of 16×16 colours from dark to light and dull to saturated.
const int colours[][3] = {{200, 40, 40},  {40, 200, 40},  {40, 40, 200},   {180, 180, 60},
                          {90, 60, 160},  {20, 20, 30},   {230, 220, 200}, {120, 140, 110},
                          {60, 110, 170}, {170, 90, 120}, {10, 60, 10},    {140, 30, 90},
                          {100, 100, 60}, {30, 80, 120},  {210, 150, 90},  {70, 70, 70}};

std::vector<std::uint8_t> sourceRgb() {
    std::vector<std::uint8_t> rgb(std::size_t(width) * height * 3);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            std::uint8_t* p = rgb.data() + (std::size_t(y) * width + x) * 3;
            if (y < greyRows) {
                p[0] = p[1] = p[2] = static_cast<std::uint8_t>((y / 8) * 32 + x / 8);
            } else {
                const int* c = colours[x / 16];
                for (int k = 0; k < 3; ++k) p[k] = static_cast<std::uint8_t>(c[k]);
            }
        }
    }
    return rgb;
}

// R, G, B of the decoded xrgb8888 pixel.
void shownAt(const std::vector<BYTE>& pixels, int x, int y, int rgb[3]) {
    const BYTE* p = pixels.data() + (std::size_t(y) * width + x) * 4;
    rgb[0] = p[2], rgb[1] = p[1], rgb[2] = p[0];
}

// Greys the conversion can show: black and the odd levels up to 239.
bool greyInReach(int level) {
    return level == 0 || (level % 2 == 1 && level <= 239);
}

void expectShownAsSource(const std::vector<BYTE>& pixels, int rows, const char* codec) {
    const std::vector<std::uint8_t> source = sourceRgb();
    for (int y = 0; y < rows; ++y) {
        for (int x = 0; x < width; ++x) {
            int shown[3];
            shownAt(pixels, x, y, shown);
            const std::uint8_t* want = source.data() + (std::size_t(y) * width + x) * 3;
            if (y < greyRows) {
                const int grey = want[0];
                ASSERT_TRUE(shown[0] == shown[1] && shown[1] == shown[2])
                    << codec << ": grey " << grey << " shows " << shown[0] << "," << shown[1] << ","
                    << shown[2];
                ASSERT_TRUE(greyInReach(shown[0])) << codec << ": grey " << grey;
                ASSERT_LE(std::abs(shown[0] - std::min(grey, 239)), 1)
                    << codec << ": grey " << grey << " shows " << shown[0];
                if (greyInReach(grey)) {
                    ASSERT_EQ(shown[0], grey) << codec;
                }
            } else {
                for (int k = 0; k < 3; ++k)
                    ASSERT_LE(std::abs(shown[k] - want[k]), 4)
                        << codec << ": colour " << x / 16 << " channel " << k;
            }
        }
    }
}

TEST(ComponentColour, GreysAndColoursComeBackAtTheirOwnLevels) {
    const std::vector<std::uint8_t> rgb = sourceRgb();
    const YuvPicture picture = rgbToYuv420(rgb.data(), width, height);
    std::vector<BYTE> pixels(std::size_t(width) * height * 4);
    const PictureMemory memory{pixels.data(), width * 4, width, height};

    VideoDecoder type4(FrameFormat::xrgb8888, 100);
    const Bytes frame = encodeType4Frame(picture, 100);
    ASSERT_EQ(type4.decode(4, frame.data(), frame.size(), memory), DecodeStatus::decoded);
    expectShownAsSource(pixels, height, "type 4");

    // The DOR conversion leaves the picture's last row unwritten.
    VideoDecoder dor(FrameFormat::xrgb8888, 100);
    DorEncoder encoder({.quantiser = 2});
    const Bytes key = encoder.encode(picture, DorFrameKind::key);
    ASSERT_EQ(dor.decode(5, key.data(), key.size(), memory), DecodeStatus::decoded);
    expectShownAsSource(pixels, height - 1, "DOR");
}

} // namespace
