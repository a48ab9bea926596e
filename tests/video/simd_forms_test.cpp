// The AVX2 forms held bit for bit to the plain forms over many random inputs, extreme values
// included, and the plain forms run on this machine too by turning the AVX2 forms off.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <random>

#include "video/dct/dct_toolkit.h"
#include "video/dct/simd_switch.h"

namespace {

// Sets the vector level in use for the life of the object.
struct SimdLevelInUse {
    SimdLevel was = simdLevel();
    explicit SimdLevelInUse(SimdLevel level) { setSimdLevel(level); }
    ~SimdLevelInUse() { setSimdLevel(was); }
};

// A coefficient value: small levels times a quantiser step, anything in 32 bits, or one next
// to the ends of the range where the integer steps wrap.
LONG randomCoefficient(std::mt19937& rng) {
    switch (rng() % 4) {
    case 0:
        return (static_cast<LONG>(rng() % 4096) - 2048) * 8192;
    case 1:
        return static_cast<LONG>(rng());
    case 2:
        return rng() % 2 ? INT_MAX - static_cast<LONG>(rng() % 4)
                         : INT_MIN + static_cast<LONG>(rng() % 4);
    default:
        return static_cast<LONG>(rng() % 64) - 32;
    }
}

// Blocks with only a DC value, a few entries, odd lines only, even lines only, or all 64.
void randomBlock(std::mt19937& rng, LONG coeff[dctBlockSize]) {
    std::fill(coeff, coeff + dctBlockSize, 0);
    const int kind = static_cast<int>(rng() % 5);
    if (kind == 0) {
        coeff[0] = randomCoefficient(rng);
        return;
    }
    const int count = kind == 4 ? 64 : static_cast<int>(rng() % 10) + 1;
    for (int i = 0; i < count; ++i) {
        int at = kind == 4 ? i : static_cast<int>(rng() % dctBlockSize);
        if (kind == 2) at |= 1;  // odd vertical frequencies only
        if (kind == 3) at &= ~9; // even frequencies in both directions
        coeff[at] = randomCoefficient(rng);
    }
}

using IdctForm = void (*)(const LONG*, LONG*, int, int);

void expectPlainTransform(IdctForm form, const char* name) {
    std::mt19937 rng(2024);
    LONG coeff[dctBlockSize];
    for (int round = 0; round < 30000; ++round) {
        randomBlock(rng, coeff);
        const int shift = round % 3 ? static_cast<int>(rng() % 32) : (round % 2 ? 17 : 0);
        const int stride = round % 2 ? 16 : 9;
        LONG fast[16 * 8], plain[16 * 8];
        std::fill(fast, fast + 128, 0x5A5A5A5A);
        std::fill(plain, plain + 128, 0x5A5A5A5A);
        form(coeff, fast, stride, shift);
        idctBlockPlain(coeff, plain, stride, shift);
        ASSERT_EQ(0, std::memcmp(fast, plain, sizeof fast)) << name << " round " << round;
    }
}

TEST(SimdForms, EveryTransformFormGivesThePlainNumbers) {
    expectPlainTransform(idctBlockScalar, "scalar");
    expectPlainTransform(idctBlock, "dispatched");
#if QZ_X86_SIMD
    if (simdAvailable() >= SimdLevel::avx2) expectPlainTransform(idctBlockAvx2, "avx2");
    if (simdAvailable() >= SimdLevel::avx512) expectPlainTransform(idctBlockAvx512, "avx512");
#endif
    SimdLevelInUse plain(SimdLevel::none);
    EXPECT_FALSE(simdEnabled());
    expectPlainTransform(idctBlock, "dispatched, vector forms off");
}

} // namespace
