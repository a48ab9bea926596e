// Type-3 brightness: every pixel at gamma 100 is the plain sum of the packed YUV tables, at any
// other gamma each channel is scaled and clamped on its own, worked out here from the colour
// equations, and a saturated channel never spills into its neighbour.
#include "tests/video/dct_test_support.h"

namespace {

using namespace dcttest;

// Picture of 16 × 8 macroblocks: flat ones (b = 6) whose four luma quadrants and chroma walk
// through every table index, and in every third one DCT macroblocks of DC-only blocks.
constexpr int columns = 16, rows = 8, width = 16 * columns, height = 16 * rows;

struct Indices {
    int y[4];
    int cb;
    int cr;
};

Indices macroblockIndices(int i) {
    return {{i % 128, (i * 37 + 5) % 128, (i * 91 + 63) % 128, 127 - i % 128},
            (i * 53 + 11) % 128,
            (i * 29 + 100) % 128};
}

// The signed value a flat byte or a DC byte must carry for table index n at quality 100.
std::uint8_t valueFor(int n) {
    return static_cast<std::uint8_t>(static_cast<std::int8_t>(2 * n));
}

Bytes testFrame() {
    Bytes body;
    for (int i = 0; i < columns * rows; ++i) {
        const Indices n = macroblockIndices(i);
        const int values[6] = {n.y[0], n.y[1], n.y[2], n.y[3], n.cb, n.cr};
        if (i % 3 == 2) {
            // Six blocks of a DC byte and 63 zeros (c = 5, n = 31).
            body.push_back(13);
            for (int v : values) {
                body.push_back(valueFor(v));
                body.push_back((31 << 3) | 5);
            }
            body.push_back(0);
        } else {
            body.push_back(6);
            for (int v : values) body.push_back(valueFor(v));
        }
    }
    return framePayload(width, height, 100, 0, body);
}

int sampleOf(int n) {
    return n < 64 ? 2 * n + 1 : 2 * n + 1 - 256;
}
int product(int s, std::int64_t k) {
    return static_cast<int>(std::floor((s * static_cast<double>(k) + 32768.0) / 65536.0));
}

// The word a pixel gets at gamma g other than 100: channels from the colour equations, scaled,
// truncated and limited to 0..255, then packed as two 16-bit pixels (rounded, truncated) or as
// one 0xFFRRGGBB pixel.
std::uint32_t ruleWord(const PixelFormat& f, int gamma, int ny, int nu, int nv) {
    const int y = sampleOf(ny) + 128, su = sampleOf(nu), sv = sampleOf(nv);
    const int channel[3] = {y + product(sv, 91881), y + product(su, -22550) + product(sv, -46799),
                            y + product(su, 116129)};
    const int bits[3] = {f.redBits, f.greenBits, f.blueBits};
    const int shifts[3] = {f.redShift, f.greenShift, f.blueShift};
    std::uint32_t word =
        f.depth == 15 || f.depth == 16 ? (f.depth == 15 ? 0x80008000u : 0) : 0xFF000000u;
    for (int c = 0; c < 3; ++c) {
        const double a = std::clamp(std::trunc(channel[c] * double(gamma) / 100), 0.0, 255.0);
        if (f.depth != 15 && f.depth != 16) {
            word |= std::uint32_t(a) << (16 - 8 * c);
            continue;
        }
        const double step = std::pow(2.0, 8 - bits[c]), top = std::pow(2.0, bits[c]) - 1;
        word |= std::uint32_t(std::min(std::floor((a + step / 2) / step), top)) << shifts[c];
        word |= std::uint32_t(std::floor(a / step)) << (shifts[c] + 16);
    }
    return word;
}

std::uint32_t packedSum(int ny, int nu, int nv) {
    return static_cast<std::uint32_t>(yTable[ny]) + static_cast<std::uint32_t>(uTable[nu]) +
           static_cast<std::uint32_t>(vTable[nv]);
}

struct Case {
    PixelFormat format;
    Variant variant;
};
// The 4-byte variant on 15- and 16-bit displays is the -doublex form: both pixels of a word.
const Case cases[] = {{rgb555, Variant::type3Rgb16},
                      {rgb555, Variant::type3Rgb32},
                      {rgb565, Variant::type3Rgb16},
                      {rgb565, Variant::type3Rgb32},
                      {xrgb8888, Variant::type3Rgb32}};

// Decodes the test frame with the tables as they stand and checks one pixel of every quadrant
// against want(ny, nu, nv).
template <class Want> void expectFrame(Decoder& d, Variant v, Want&& want) {
    const int bytes = pixelBytes(v);
    Target t(width * bytes, height);
    d.clip(0, 0, width, height);
    d.decode(testFrame(), v, t);
    const std::uint32_t mask = bytes == 2 ? 0xFFFFu : 0xFFFFFFFFu;
    for (int i = 0; i < columns * rows; ++i) {
        const Indices n = macroblockIndices(i);
        for (int k = 0; k < 4; ++k) {
            const int x = 16 * (i % columns) + 8 * (k & 1) + 3,
                      y = 16 * (i / columns) + 8 * (k >> 1) + 5;
            ASSERT_EQ(t.pixel(x, y, bytes), want(n.y[k], n.cb, n.cr) & mask)
                << "macroblock " << i << " quadrant " << k;
        }
    }
}

TEST(Type3Gamma, NeutralGammaKeepsThePackedSums) {
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << "depth " << c.format.depth << " variant " << int(c.variant));
        Decoder d(c.format, 100);
        expectFrame(d, c.variant, packedSum);
    }
}

TEST(Type3Gamma, OtherGammasScaleAndClampEachChannel) {
    for (const Case& c : cases) {
        for (int gamma : {0, 50, 90, 150, 200, 1000}) {
            SCOPED_TRACE(testing::Message() << "depth " << c.format.depth << " variant "
                                            << int(c.variant) << " gamma " << gamma);
            Decoder d(c.format, gamma);
            expectFrame(d, c.variant, [&](int ny, int nu, int nv) {
                return ruleWord(c.format, gamma, ny, nu, nv);
            });
        }
    }
}

// White with the strongest blue and red offsets: at gamma 200 red and blue clip at their top and
// green (255 - 44 - 91 = 120) doubles, without a carry out of blue or red.
TEST(Type3Gamma, SaturatedChannelsStayInTheirOwnBits) {
    Decoder d32(xrgb8888, 200);
    EXPECT_EQ(ruleWord(xrgb8888, 200, 63, 63, 63), 0xFFFFF0FFu);
    expectFrame(d32, Variant::type3Rgb32,
                [](int ny, int nu, int nv) { return ruleWord(xrgb8888, 200, ny, nu, nv); });
    Target t(16 * 4, 16);
    d32.clip(0, 0, 16, 16);
    d32.decode(framePayload(16, 16, 100, 0, {3, 126, 126, 126}), Variant::type3Rgb32, t);
    EXPECT_EQ(t.pixel(0, 0, 4), 0xFFFFF0FFu);
    // Luma 1 with the most negative blue offset: blue (1 - 225) stops at 0 and borrows nothing
    // from green (1 + 44 - 1 = 44, doubled); red is 1 + 1, doubled.
    d32.decode(framePayload(16, 16, 100, 0, {3, 0x80, 0x80, 0}), Variant::type3Rgb32, t);
    EXPECT_EQ(t.pixel(0, 0, 4), 0xFF045800u);

    Decoder d16(rgb565, 200);
    Target t16(16 * 4, 16);
    d16.clip(0, 0, 16, 16);
    d16.decode(framePayload(16, 16, 100, 0, {3, 126, 126, 126}), Variant::type3Rgb32, t16);
    // Rounded 240 is green 60, truncated 60 as well; red and blue 31 in both pixels.
    EXPECT_EQ(t16.pixel(0, 0, 4), 0xFF9FFF9Fu);
    refreshColourTables(100000);
    d16.decode(framePayload(16, 16, 100, 0, {3, 126, 126, 126}), Variant::type3Rgb32, t16);
    EXPECT_EQ(t16.pixel(0, 0, 4), 0xFFFFFFFFu);
}

// A gamma change reaches the next frame decoded, and going back to 100 restores the packed sums.
TEST(Type3Gamma, RefreshAppliesFromTheNextFrame) {
    Decoder d(rgb565, 100);
    expectFrame(d, Variant::type3Rgb16, packedSum);
    refreshColourTables(130);
    expectFrame(d, Variant::type3Rgb16,
                [](int ny, int nu, int nv) { return ruleWord(rgb565, 130, ny, nu, nv); });
    refreshColourTables(100);
    expectFrame(d, Variant::type3Rgb16, packedSum);
}

} // namespace
