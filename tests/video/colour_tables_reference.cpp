// Every entry of every colour table against a plain model of the tables, worked out with doubles
// and exact fractions rather than the shifts and masks the builder uses.
#include <algorithm>
#include <cmath>
#include <cstdint>

#include <gtest/gtest.h>

#include "video/colour_tables.h"

namespace {

PixelFormat format(LONG r, LONG g, LONG b, LONG rs, LONG gs, LONG bs, LONG depth) {
    const LONG mask = (((1 << r) - 1) << rs) | (((1 << g) - 1) << gs) | (((1 << b) - 1) << bs);
    return {r, g, b, rs, gs, bs, mask, depth};
}

const PixelFormat palettised{0, 0, 0, 0, 0, 0, 0, 8};
const PixelFormat rgb555 = format(5, 5, 5, 10, 5, 0, 15);
const PixelFormat rgb565 = format(5, 6, 5, 11, 5, 0, 16);
const PixelFormat bgr565 = format(5, 6, 5, 0, 5, 11, 16);
const PixelFormat rgb888 = format(8, 8, 8, 16, 8, 0, 24);

int sampleOf(int n) {
    return n < 64 ? 2 * n + 1 : 2 * n + 1 - 256;
}
int product(int s, double k) {
    return static_cast<int>(std::floor((s * k + 32768.0) / 65536.0));
}

// Two 16-bit pixels of one colour, following the rounding and borrow rules step by step.
std::uint32_t pair16(const PixelFormat& f, const int c[3]) {
    const int bits[3] = {f.redBits, f.greenBits, f.blueBits};
    const int shifts[3] = {f.redShift, f.greenShift, f.blueShift};
    double h[3], l[3];
    for (int i = 0; i < 3; ++i) {
        const double d = std::pow(2.0, 8 - bits[i]), half = d / 2, top = std::pow(2.0, bits[i]) - 1;
        h[i] = std::trunc(c[i] / d);
        l[i] = c[i] >= 0 ? std::min(std::trunc((c[i] + half) / d), top)
                         : std::max(std::trunc((c[i] - half) / d), -top);
    }
    if (l[2] < 0) l[1] -= 1;
    if (l[1] < 0) l[0] -= 1;
    if (l[0] < 0) h[2] -= 1;
    if (h[2] < 0) h[1] -= 1;
    if (h[1] < 0) h[0] -= 1;
    std::uint64_t word = 0;
    for (int i = 0; i < 3; ++i) {
        const std::int64_t m = (1 << bits[i]) - 1;
        word += (static_cast<std::int64_t>(l[i]) & m) << shifts[i];
        word += (static_cast<std::int64_t>(h[i]) & m) << (shifts[i] + 16);
    }
    if (bits[0] + bits[1] + bits[2] != 16) word |= 0x80008000u;
    return static_cast<std::uint32_t>(word);
}

// 0xAARRGGBB from signed bytes, each masked after borrowing from the byte above.
std::uint32_t word32(int a, int r, int g, int b) {
    if (b < 0) g -= 1;
    if (g < 0) r -= 1;
    if (r < 0) a -= 1;
    return (std::uint32_t(a & 255) << 24) | (std::uint32_t(r & 255) << 16) |
           (std::uint32_t(g & 255) << 8) | std::uint32_t(b & 255);
}

// trunc(num / den) for the fractions 0.5 ± k × (a + 0.5), written over a common denominator.
int fraction(std::int64_t num, std::int64_t den) {
    return static_cast<int>(num / den);
}

std::uint32_t gammaEntry(const PixelFormat& f, int bits, int shift, int v, int gamma) {
    const double a = std::clamp(std::trunc(double(v) * gamma / 100.0), 0.0, 255.0);
    const double d = std::pow(2.0, 8 - bits), r = bits < 8 ? d / 2 : 0;
    double word = std::min(std::floor((a + r) / d), std::pow(2.0, bits) - 1) * std::pow(2.0, shift);
    if (f.depth <= 16) word += std::floor(a / d) * std::pow(2.0, shift + 16);
    return static_cast<std::uint32_t>(word);
}

std::uint32_t at(const LONG* table, int i) {
    return static_cast<std::uint32_t>(table[i]);
}

void expectTables(const PixelFormat& f, int gamma) {
    buildColourTables(f, gamma);
    const bool sixteen = f.depth == 15 || f.depth == 16;
    for (int n = 0; n < 128; ++n) {
        const int s = sampleOf(n), y = s + 128;
        const int gu = product(s, -22550), bu = product(s, 116129);
        const int rv = product(s, 91881), gv = product(s, -46799);
        const int luma[3] = {y, y, y}, fromU[3] = {0, gu, bu}, fromV[3] = {rv, gv, 0};
        ASSERT_EQ(at(yTable, n), sixteen ? pair16(f, luma) : word32(255, y, y, y)) << n;
        ASSERT_EQ(at(uTable, n), sixteen ? pair16(f, fromU) : word32(0, 0, gu, bu)) << n;
        ASSERT_EQ(at(vTable, n), sixteen ? pair16(f, fromV) : word32(0, rv, gv, 0)) << n;
    }
    for (int e = 0; e < 1024; ++e) {
        const int i = e + 384 < 512 ? e + 384 : e + 384 - 1024;
        ASSERT_EQ(byteClamp[e], std::clamp(i, -128, 127) + 128) << e;
    }
    for (int e = 0; e < 512; ++e) {
        const int i = e + 192 < 256 ? e + 192 : e + 192 - 512;
        const std::int64_t a = std::clamp(i, -64, 63), odd = 2 * a + 1;
        const std::int64_t lanes = ((145 + a) << 23) + ((123 + a) << 11) + (169 + a);
        const int gu = fraction(10000 - 3441 * odd, 20000), bu = fraction(1000 + 1772 * odd, 2000);
        const int rv = fraction(1000 + 1402 * odd, 2000), gv = fraction(10000 - 7141 * odd, 20000);
        ASSERT_EQ(at(yComponent, e), static_cast<std::uint32_t>(lanes)) << e;
        ASSERT_EQ(at(uComponent, e), (std::uint32_t(gu & 511) << 11) | std::uint32_t(bu & 511));
        ASSERT_EQ(at(vComponent, e),
                  (std::uint32_t(rv & 511) << 23) | (std::uint32_t(gv & 511) << 11));
    }
    for (int i = 0; i < 306; ++i)
        ASSERT_EQ(at(redGamma, i), gammaEntry(f, f.redBits, f.redShift, 2 * i - 177, gamma)) << i;
    for (int i = 0; i < 262; ++i)
        ASSERT_EQ(at(greenGamma, i), gammaEntry(f, f.greenBits, f.greenShift, 2 * i - 133, gamma));
    for (int i = 0; i < 354; ++i)
        ASSERT_EQ(at(blueGamma, i), gammaEntry(f, f.blueBits, f.blueShift, 2 * i - 225, gamma));
}

} // namespace

TEST(ColourTables, EveryEntryMatchesTheModelForEachDepthAndGamma) {
    for (const PixelFormat& f : {palettised, rgb555, rgb565, bgr565, rgb888})
        for (int gamma : {0, 50, 100, 150, 300}) {
            SCOPED_TRACE(testing::Message() << "depth " << f.depth << " gamma " << gamma);
            expectTables(f, gamma);
        }
}

TEST(ColourTables, TablesLieBackToBackInOneBlock) {
    const LONG* tables[] = {yTable,     vTable,     uTable,   byteClamp,  yComponent,
                            uComponent, vComponent, redGamma, greenGamma, blueGamma};
    const LONG sizes[] = {128, 128, 128, 1024, 512, 512, 512, 306, 262, 354};
    const LONG* next = colourTableBlock;
    for (int t = 0; t < 10; ++t) {
        EXPECT_EQ(tables[t], next) << t;
        next += sizes[t];
    }
    EXPECT_EQ(next, colourTableBlock + colourTableEntries);
    EXPECT_EQ(sizeof(colourTableBlock), 3866 * sizeof(std::int32_t));
}

// Type-4 style conversion of every reachable (Y, U, V) sample triple: the pixel equals the gamma
// entries of the true signed lanes, with lanes below a table taking its first entry.
TEST(ColourTables, ComponentPixelFollowsTheTrueLanes) {
    for (const PixelFormat& f : {rgb565, rgb888}) {
        buildColourTables(f, 150);
        for (int y = 0; y < 128; ++y)
            for (int u = 0; u < 128; ++u)
                for (int v = 0; v < 128; ++v) {
                    const std::int64_t ou = 2 * (u - 64) + 1, ov = 2 * (v - 64) + 1;
                    const int red = 145 + (y - 64) + fraction(1000 + 1402 * ov, 2000);
                    const int green = 123 + (y - 64) + fraction(10000 - 3441 * ou, 20000) +
                                      fraction(10000 - 7141 * ov, 20000);
                    const int blue = 169 + (y - 64) + fraction(1000 + 1772 * ou, 2000);
                    const LONG expected = clampedGammaLookup(redGamma, 306, red) |
                                          clampedGammaLookup(greenGamma, 262, green) |
                                          clampedGammaLookup(blueGamma, 354, blue);
                    const std::uint32_t sum = std::uint32_t(yComponent[256 + y]) +
                                              std::uint32_t(uComponent[256 + u]) +
                                              std::uint32_t(vComponent[256 + v]);
                    ASSERT_EQ(componentPixel(sum), expected) << y << " " << u << " " << v;
                }
    }
}
