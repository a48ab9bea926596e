// The type-3 encoder's range check: the bound never clears a block that decodes out of range,
// the check through the inverse transform agrees with the decoder's transform, and the vector
// form of the coefficient block matches the plain one.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>

#include "encoder/type3_range.h"
#include "video/dct/dct_toolkit.h"
#include "video/dct/simd_switch.h"
#include "video/type3/type3_decoder.h"

namespace {

// Whether the decoder's samples of these levels (in scan order) all index the tables.
bool decodesInRange(const std::int16_t* levels, int dc, const LONG* quant) {
    LONG coeff[64] = {}, samples[64];
    coeff[0] = dc * quant[0];
    for (int k = 1; k < 64; ++k)
        coeff[zigzag[k]] = std::clamp<LONG>(levels[k], -128, 127) * quant[zigzag[k]];
    idctBlockPlain(coeff, samples, 8, 17);
    return std::all_of(samples, samples + 64, [](LONG s) { return s >= -64 && s <= 63; });
}

// At the vector level in use: its filter and its coefficient blocks.
void expectSafeAndExact() {
    std::uint8_t scanOrder[64];
    for (int k = 0; k < 64; ++k) scanOrder[k] = static_cast<std::uint8_t>(k);
    std::mt19937 rng(11);
    int cleared = 0, outside = 0;
    for (int quality : {0, 30, 70, 100}) {
        SCOPED_TRACE(quality);
        LONG quant[64];
        buildType3Quant(quant, quality);
        const Type3RangeCheck check(quant, scanOrder);
        Type3Places places;
        for (int i = 0; i < 64; ++i) places.place[zigzag[i]] = scanOrder[i];
        for (int round = 0; round < 3000; ++round) {
            // Two blocks, sparse or dense, of small or large levels (beyond a byte too).
            std::int16_t levels[2][64] = {};
            int dcs[2];
            bool inRange[2];
            for (int b = 0; b < 2; ++b) {
                const int count = 1 + static_cast<int>(rng() % (round % 4 == 0 ? 63 : 8));
                const int most = round % 3 == 0 ? 256 : 3;
                for (int c = 0; c < count; ++c)
                    levels[b][1 + rng() % 63] =
                        static_cast<std::int16_t>(static_cast<int>(rng() % (2 * most)) - most);
                levels[b][0] = static_cast<std::int16_t>(rng()); // the DC's place is not read
                dcs[b] = static_cast<int>(rng() % 255) - 127;
                inRange[b] = decodesInRange(levels[b], dcs[b], quant);
                const std::int16_t* one = levels[b];
                ASSERT_EQ(check.decoded(&one, &dcs[b], 1), inRange[b]);
                if (check.bounded(levels[b], dcs[b])) {
                    ++cleared;
                    ASSERT_TRUE(inRange[b]) << "round " << round;
                }
                outside += !inRange[b];

                LONG plain[64], vector[64];
                type3DequantisePlain(levels[b], places, dcs[b], quant, plain);
                type3Dequantise()(levels[b], places, dcs[b], quant, vector);
                ASSERT_EQ(std::memcmp(plain, vector, sizeof plain), 0);
            }
            const std::int16_t* both[2] = {levels[0], levels[1]};
            ASSERT_EQ(check.decoded(both, dcs, 2), inRange[0] && inRange[1]);
        }
    }
    // Near the range's ends: every DC level, alone and with one small AC level, at every tenth
    // quality (the samples cross the ends by a fraction of a step).
    for (int quality = 0; quality <= 100; quality += 10) {
        LONG quant[64];
        buildType3Quant(quant, quality);
        const Type3RangeCheck check(quant, scanOrder);
        for (int dc = -128; dc < 128; ++dc) {
            for (int k : {0, 1, 2, 9, 63}) {
                for (int level : {0, 1, -2, 5}) {
                    std::int16_t levels[64] = {};
                    levels[k] = static_cast<std::int16_t>(k == 0 ? 0 : level);
                    const std::int16_t* one = levels;
                    ASSERT_EQ(check.decoded(&one, &dc, 1), decodesInRange(levels, dc, quant))
                        << "quality " << quality << " dc " << dc << " at " << k;
                }
            }
        }
    }
    // Both answers are exercised, and the bound clears a good part of the blocks.
    EXPECT_GT(cleared, 2000);
    EXPECT_GT(outside, 2000);
}

TEST(Type3RangeCheck, BoundIsSafeAndTheCheckMatchesTheDecoder) {
    const SimdLevel was = simdLevel();
    for (SimdLevel level :
         {SimdLevel::avx512vbmi, SimdLevel::avx512, SimdLevel::avx2, SimdLevel::none}) {
        if (level > simdAvailable()) continue;
        setSimdLevel(level);
        SCOPED_TRACE(static_cast<int>(level));
        expectSafeAndExact();
    }
    setSimdLevel(was);
}

} // namespace
