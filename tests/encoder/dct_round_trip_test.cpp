// Pictures through the type-3 and type-4 encoders and back through every decoder output
// variant, held to a PSNR floor per quality.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "encoder/type3_encoder.h"
#include "encoder/type4_encoder.h"
#include "tests/video/dct_test_support.h"

namespace {

using namespace dcttest;

YuvPicture fromRgb(int width, int height, auto colour) {
    std::vector<std::uint8_t> rgb(static_cast<std::size_t>(width) * height * 3);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const auto c = colour(x, y);
            for (int k = 0; k < 3; ++k)
                rgb[(static_cast<std::size_t>(y) * width + x) * 3 + k] = c[k];
        }
    }
    return rgbToYuv420(rgb.data(), width, height);
}

using Rgb = std::array<std::uint8_t, 3>;

YuvPicture testPicture(const std::string& name) {
    constexpr int w = 72, h = 40; // sides that are not multiples of 16
    if (name == "gradient") {
        return fromRgb(w, h, [](int x, int y) {
            return Rgb{std::uint8_t(x * 255 / 71), std::uint8_t(y * 255 / 39),
                       std::uint8_t(128 + (x - y) / 2)};
        });
    }
    if (name == "edges") {
        return fromRgb(w, h, [](int x, int y) {
            const std::uint8_t v = ((x / 5 + y / 7) & 1) ? 235 : 20;
            return Rgb{v, v, v};
        });
    }
    if (name == "noise") {
        std::mt19937 rng(3);
        std::vector<Rgb> pixels(w * h);
        for (Rgb& p : pixels) p = {std::uint8_t(rng()), std::uint8_t(rng()), std::uint8_t(rng())};
        return fromRgb(w, h, [&](int x, int y) { return pixels[y * w + x]; });
    }
    static const Rgb bars[8] = {{191, 191, 191}, {191, 191, 0}, {0, 191, 191}, {0, 191, 0},
                                {191, 0, 191},   {191, 0, 0},   {0, 0, 191},   {16, 16, 16}};
    return fromRgb(w, h, [](int x, int) { return bars[x * 8 / 72]; });
}

struct Case {
    int quality;
    double smoothFloor; // gradient and colour bars
    double edgeFloor;   // edges
    double noiseFloor;  // noise
};

void roundTrip(Variant variant, const PixelFormat& format, const Case& c) {
    for (const std::string name : {"gradient", "edges", "noise", "bars"}) {
        const YuvPicture picture = testPicture(name);
        const Bytes payload = isType3(variant) ? encodeType3Frame(picture, c.quality)
                                               : encodeType4Frame(picture, c.quality);
        Decoder decoder(format);
        Target target(80 * pixelBytes(variant), 48);
        decoder.clip(0, 0, 80, 48);
        decoder.decode(payload, variant, target);
        ASSERT_TRUE(target.guardsIntact());
        const double got = decodedPsnr(picture, target, variant, format);
        const double floor = name == "noise"   ? c.noiseFloor
                             : name == "edges" ? c.edgeFloor
                                               : c.smoothFloor;
        EXPECT_GE(got, floor) << name << " q" << c.quality << " " << payload.size() << " bytes";
    }
}

TEST(DctRoundTrip, Type3EveryVariantAndQuality) {
    // Type 3 has no clamping: the encoder desaturates colours near the gamut's edge, which costs
    // the saturated pictures a few dB against the source.
    for (const Case& c :
         {Case{100, 19, 30, 17}, Case{75, 19, 28.5, 18.5}, Case{30, 17, 19, 15.5}}) {
        roundTrip(Variant::type3Rgb32, xrgb8888, c);
        roundTrip(Variant::type3Rgb16, rgb565, c);
        roundTrip(Variant::type3Rgb16, rgb555, c);
    }
}

TEST(DctRoundTrip, Type4EveryVariantAndQuality) {
    for (const Case& c :
         {Case{100, 32, 31.5, 30}, Case{90, 31.5, 26, 20.5}, Case{40, 25.5, 18.5, 12.5}}) {
        roundTrip(Variant::type4Rgb32, xrgb8888, c);
        roundTrip(Variant::type4Rgb16, rgb565, c);
        roundTrip(Variant::type4Yuy2, xrgb8888, c);
    }
}

} // namespace
