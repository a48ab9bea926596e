// The type-3 and type-4 encoders' exact output, pinned by a hash over frames of several
// pictures and qualities: the encoders' speed-ups must not change a single written byte.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "encoder/type3_encoder.h"
#include "encoder/type4_encoder.h"
#include "video/dct/simd_switch.h"

namespace {

// R, G, B pictures: smooth colour ramps with noise on top (edge sizes not multiples of 16,
// saturated colours that drive the type-3 range checks, noise that needs escape codes).
std::vector<std::uint8_t> testRgb(int width, int height, int noise, unsigned seed) {
    std::mt19937 rng(seed);
    std::vector<std::uint8_t> rgb(static_cast<std::size_t>(width) * height * 3);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const int base[3] = {x * 255 / width, y * 255 / height, (x + y) % 256};
            for (int k = 0; k < 3; ++k) {
                const int n = noise > 0 ? static_cast<int>(rng() % (2 * noise + 1)) - noise : 0;
                const int v = base[k] + n;
                rgb[(static_cast<std::size_t>(y) * width + x) * 3 + k] =
                    static_cast<std::uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v));
            }
        }
    }
    return rgb;
}

struct Fnv {
    std::uint64_t h = 1469598103934665603ull;
    void add(const std::vector<std::uint8_t>& bytes) {
        for (std::uint8_t b : bytes) h = (h ^ b) * 1099511628211ull;
        for (int i = 0; i < 8; ++i) h = (h ^ ((bytes.size() >> (8 * i)) & 0xFF)) * 1099511628211ull;
    }
};

void expectPinnedBytes();

struct PinnedPictures {
    std::vector<YuvPicture> pictures;
    PinnedPictures() {
        const int sizes[][3] = {{72, 40, 0}, {72, 40, 40}, {37, 23, 120}, {160, 96, 8}};
        unsigned seed = 1;
        for (const auto& s : sizes) {
            const auto rgb = testRgb(s[0], s[1], s[2], seed++);
            pictures.push_back(rgbToYuv420(rgb.data(), s[0], s[1]));
        }
    }
};

// The same bytes with the vector forms in use, with the AVX2 ones and with the plain forms.
TEST(DctEncoderPin, ConversionAndFramesKeepTheirBytes) {
    const SimdLevel was = simdLevel();
    for (SimdLevel level : {simdAvailable(), SimdLevel::avx2, SimdLevel::none}) {
        if (level > simdAvailable()) continue;
        setSimdLevel(level);
        SCOPED_TRACE(level == SimdLevel::none ? "plain forms" : "vector forms");
        expectPinnedBytes();
    }
    setSimdLevel(was);
}

void expectPinnedBytes() {
    const PinnedPictures p;
    Fnv yuv, type3, type4;
    for (const YuvPicture& picture : p.pictures) {
        yuv.add(picture.y), yuv.add(picture.cb), yuv.add(picture.cr);
        for (int quality : {0, 25, 70, 90, 100}) {
            type3.add(encodeType3Frame(picture, quality));
            type4.add(encodeType4Frame(picture, quality));
            type4.add(encodeType4Frame(picture, quality, false));
        }
        // With a previous picture: the flat first one skips where equal.
        type3.add(encodeType3Frame(picture, 70, &p.pictures[0]));
    }
    EXPECT_EQ(yuv.h, 3942697587903167862u);
    EXPECT_EQ(type3.h, 4941836589063958770u);
    EXPECT_EQ(type4.h, 4942560815816791575u);
}

} // namespace
