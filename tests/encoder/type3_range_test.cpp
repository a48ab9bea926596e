// The type-3 encoder's range check: the bound never clears a block that decodes out of range,
// the check through the inverse transform agrees with the decoder's transform, the filters
// settle blocks near the range's ends rightly, and the vector forms of the coefficient block
// match the plain one.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include "encoder/forward_dct.h"
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

// The filters at the range's ends: a block's samples moved by its DC coefficient (which the
// decoder's transform adds to every sample exactly) to a given distance inside or outside the
// range. A filter must never settle a block the wrong way, and must settle it beyond twice its
// stated error.
TEST(Type3RangeCheck, FiltersSettleEveryBlockBeyondTheirError) {
    std::vector<RangeFilterForm> filters;
    if (simdAvailable() >= SimdLevel::avx2) filters.push_back(type3RangeFilterAvx2);
    if (simdAvailable() >= SimdLevel::avx512) filters.push_back(type3RangeFilterAvx512);
    if (filters.empty()) GTEST_SKIP() << "no vector forms on this processor";
    constexpr LONG high = (LONG{64} << 17) - 1, low = -(LONG{64} << 17);
    std::mt19937 rng(5);
    LONG quant[64];
    buildType3Quant(quant, 50);
    for (int round = 0; round < 2000; ++round) {
        LONG coeff[64] = {}, samples[64];
        const int count = 1 + static_cast<int>(rng() % 20);
        for (int c = 0; c < count; ++c) {
            const int i = 1 + static_cast<int>(rng() % 63);
            coeff[i] = (static_cast<LONG>(rng() % 9) - 4) * quant[i];
        }
        idctBlockPlain(coeff, samples, 8, 0);
        const LONG most = *std::max_element(samples, samples + 64);
        const LONG least = *std::min_element(samples, samples + 64);
        if (most - least > high) continue; // cannot fit in the range at any DC
        for (LONG distance : {-40000, -32768, -16385, -1, 0, 1, 16385, 32768, 40000}) {
            // The highest sample distance inside the top end (outside where negative), or the
            // lowest one inside the bottom end.
            const bool top = round % 2 == 0;
            coeff[0] = top ? high - distance - most : low + distance - least;
            LONG transposed[64];
            for (int i = 0; i < 64; ++i) transposed[transposedIndex(i)] = coeff[i];
            const bool inside = distance >= 0;
            for (RangeFilterForm filter : filters) {
                const int settled = filter(transposed, transposed);
                if (settled != -1) {
                    ASSERT_EQ(settled == 1, inside) << distance;
                }
                if (std::abs(distance) >= 2 * type3FilterError) {
                    ASSERT_NE(settled, -1) << distance;
                }
            }
        }
    }
}

} // namespace
