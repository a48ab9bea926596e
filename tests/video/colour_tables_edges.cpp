// Concrete values at the edges of the colour tables, the gamma refresh, and the bounded lookups.
#include <cstdint>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "api/shared.h"
#include "video/colour_tables.h"

namespace {

const PixelFormat palettised{0, 0, 0, 0, 0, 0, 0, 8};
const PixelFormat rgb555{5, 5, 5, 10, 5, 0, 0x7FFF, 15};
const PixelFormat rgb565{5, 6, 5, 11, 5, 0, 0xFFFF, 16};
const PixelFormat rgb888{8, 8, 8, 16, 8, 0, 0xFFFFFF, 24};

std::uint32_t at(const LONG* table, int i) {
    return static_cast<std::uint32_t>(table[i]);
}

std::vector<LONG> snapshot() {
    return std::vector<LONG>(colourTableBlock, colourTableBlock + colourTableEntries);
}

void expectGammaTablesZero() {
    for (int i = redGammaOffset; i < colourTableEntries; ++i) ASSERT_EQ(colourTableBlock[i], 0);
}

} // namespace

TEST(ColourTablesEdges, ConcreteValues) {
    buildColourTables(rgb565, 0);
    EXPECT_EQ(at(yTable, 63), 0xFFFFFFFFu); // y = 255: 0xFFFF in both pixels
    // Chroma offset -127: blue -225 borrows from green (44 -> 43 on the 8-bit scale).
    EXPECT_EQ(at(uTable, 64), 0x01440144u);
    expectGammaTablesZero();
    EXPECT_EQ(byteClamp[0], 255);
    EXPECT_EQ(byteClamp[127], 255);
    EXPECT_EQ(byteClamp[640], 128);
    EXPECT_EQ(at(yComponent, 256 + 64), 0x4883D8A9u); // sample 64: the lane biases alone

    buildColourTables(rgb555, 100);
    for (const LONG* t : {yTable, uTable, vTable})
        for (int n = 0; n < 128; ++n) EXPECT_EQ(at(t, n) & 0x80008000u, 0x80008000u);

    buildColourTables(palettised, 300); // 32-bit YUV form, black gamma tables
    EXPECT_EQ(at(uTable, 64), 0x00002B1Fu);
    // s = 1: red 1.402 rounds to 1 and green -0.71 to -1, which borrows the red back to 0.
    EXPECT_EQ(at(vTable, 0), 0x0000FF00u);
    expectGammaTablesZero();

    buildColourTables(rgb888, 200);
    EXPECT_EQ(at(redGamma, (127 + 177) / 2), 254u << 16);
    EXPECT_EQ(at(redGamma, (129 + 177) / 2), 255u << 16);
    buildColourTables(rgb888, 100); // the value itself in its byte: no rounding, no second copy
    EXPECT_EQ(at(greenGamma, (101 + 133) / 2), 101u << 8);
    buildColourTables(rgb888, 0x7FFFFFFF); // far beyond any key press, without overflow
    EXPECT_EQ(at(blueGamma, 0), 0u);
    EXPECT_EQ(at(blueGamma, 353), 255u);
}

TEST(ColourTablesEdges, RefreshRebuildsOnlyOnAGammaChange) {
    buildColourTables(rgb565, 150);
    const std::vector<LONG> at150 = snapshot();
    buildColourTables(rgb565, 100);
    const std::vector<LONG> at100 = snapshot();

    yTable[5] = 0x1234;
    redGamma[200] = 0x5678;
    refreshColourTables(100);
    EXPECT_EQ(yTable[5], 0x1234);
    EXPECT_EQ(redGamma[200], 0x5678);
    refreshColourTables(150);
    EXPECT_EQ(snapshot(), at150);
    refreshColourTables(100);
    EXPECT_EQ(snapshot(), at100);
}

// The front end only stores the gamma; the play thread picks it up before each frame and is the
// only thread that writes the tables while it decodes.
TEST(ColourTablesEdges, GammaStoredOnOneThreadIsAppliedByThePlayThread) {
    buildColourTables(rgb565, 100);
    LONG gamma = 100;
    LONG frames = 0;
    std::thread play([&] {
        for (; sharedLoad(frames) < 200; sharedStore(frames, sharedLoad(frames) + 1)) {
            refreshColourTables(sharedLoad(gamma));
            EXPECT_EQ(redGamma[0], 0); // lane -177 is black at any gamma
        }
    });
    for (LONG g = 100; sharedLoad(frames) < 200; g = g == 0 ? 300 : g - 10) sharedStore(gamma, g);
    play.join();
    refreshColourTables(gamma);
    const std::vector<LONG> applied = snapshot();
    buildColourTables(rgb565, gamma);
    EXPECT_EQ(snapshot(), applied);
}

TEST(ColourTablesEdges, LookupsStayInsideTheirTables) {
    buildColourTables(rgb888, 100);
    EXPECT_EQ(clampedByte(-100000), 0);
    EXPECT_EQ(clampedByte(127), 254);
    EXPECT_EQ(clampedByte(0x7FFFFFFF), 255);
    for (const LONG* t : {yComponent, uComponent, vComponent}) {
        EXPECT_EQ(clampedComponent(t, -193), t[64]);
        EXPECT_EQ(clampedComponent(t, 40), t[296]);
        EXPECT_EQ(clampedComponent(t, 1 << 30), t[511]);
    }
    EXPECT_EQ(clampedGammaLookup(redGamma, 306, -1), redGamma[0]);
    EXPECT_EQ(clampedGammaLookup(redGamma, 306, 306), redGamma[305]);
    // 9-bit fields: past the end reads as above the range, near 512 as a lane below zero.
    EXPECT_EQ(gammaLaneLookup(redGamma, 306, 408), redGamma[305]);
    EXPECT_EQ(gammaLaneLookup(redGamma, 306, 409), redGamma[0]);
    EXPECT_EQ(gammaLaneLookup(blueGamma, 354, 353), blueGamma[353]);
    EXPECT_EQ(gammaLaneLookup(blueGamma, 354, 0xFFFFFFFFu), blueGamma[0]);
    EXPECT_EQ(gammaLaneLookup(greenGamma, 262, (7u << 9) | 100u), greenGamma[100]);
}
