// DOR encoder and decoder together: a moving picture coded as key, motion and non-reference
// frames decodes above PSNR floors, motion frames cost a fraction of key frames, and the
// encoder's picture always equals what an independent player decodes.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "encoder/dor_encoder.h"
#include "tests/video/dct_test_support.h"
#include "tests/video/dor_test_support.h"

namespace {

using dcttest::Target;

// A scene of gentle gradients with a textured square moving diagonally and a striped band
// sliding sideways; colours stay inside what the conversion can show.
YuvPicture scene(int width, int height, int t) {
    std::vector<std::uint8_t> rgb(static_cast<std::size_t>(width) * height * 3);
    const int sx = 4 + 2 * t, sy = 3 + t;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            double r = 60 + 80.0 * x / width, g = 70 + 60.0 * y / height, b = 120;
            if (x >= sx && x < sx + 20 && y >= sy && y < sy + 16) {
                const double tex = 40 * std::sin((x - sx) * 0.7) * std::cos((y - sy) * 0.5);
                r = 190 + tex, g = 150 - tex, b = 60;
            }
            if (y >= height - 12 && ((x + 3 * t) / 4) % 2 == 0) r = g = b = 200;
            std::uint8_t* p = rgb.data() + (static_cast<std::size_t>(y) * width + x) * 3;
            p[0] = static_cast<std::uint8_t>(r);
            p[1] = static_cast<std::uint8_t>(g);
            p[2] = static_cast<std::uint8_t>(b);
        }
    }
    return rgbToYuv420(rgb.data(), width, height);
}

// PSNR of the converted rows (all but the last) against the source's colours.
double shownPsnr(const YuvPicture& source, const Target& target) {
    YuvPicture shown = source;
    shown.height = source.height - 1;
    shown.y.resize(static_cast<std::size_t>(shown.width) * shown.height);
    return dcttest::decodedPsnr(shown, target, dcttest::Variant::type3Rgb32, dcttest::xrgb8888);
}

const DorFrameKind pattern[] = {DorFrameKind::key,          DorFrameKind::motion,
                                DorFrameKind::nonReference, DorFrameKind::motion,
                                DorFrameKind::nonReference, DorFrameKind::motion,
                                DorFrameKind::motion,       DorFrameKind::nonReference,
                                DorFrameKind::motion,       DorFrameKind::motion};

TEST(DorRoundTrip, MovingPictureAboveFloorsWithCheapMotionFrames) {
    constexpr int width = 96, height = 64;
    DorEncoder encoder({.quantiser = 4});
    dortest::Decoder player;
    std::size_t keyBytes = 0, motionBytes = 0, motionFrames = 0;
    for (int t = 0; t < static_cast<int>(std::size(pattern)); ++t) {
        const YuvPicture source = scene(width, height, t);
        const Bytes payload = encoder.encode(source, pattern[t]);
        Target target(width * 4, height);
        player.decode(payload, dorFrameType(pattern[t]), &target);
        const double psnr = shownPsnr(source, target);
        EXPECT_GT(psnr, pattern[t] == DorFrameKind::key ? 35.0 : 34.0) << "frame " << t;
        EXPECT_TRUE(target.guardsIntact());
        if (pattern[t] == DorFrameKind::key) {
            keyBytes = payload.size();
        } else {
            motionBytes += payload.size();
            ++motionFrames;
        }
    }
    EXPECT_LT(motionBytes / motionFrames, keyBytes / 3);
}

TEST(DorRoundTrip, EncoderPicturesMatchAnIndependentPlayer) {
    // Starting with a motion frame predicts from the all-zero reference on both sides; the
    // uneven size has macroblocks past the edge.
    constexpr int width = 40, height = 30;
    const DorFrameKind kinds[] = {DorFrameKind::motion, DorFrameKind::key,
                                  DorFrameKind::nonReference, DorFrameKind::motion,
                                  DorFrameKind::nonReference};
    DorEncoder encoder({.quantiser = 9, .searchRange = 5});
    dortest::Decoder player;
    for (int t = 0; t < 5; ++t) {
        const Bytes payload = encoder.encode(scene(width, height, t), kinds[t]);
        player.decode(payload, dorFrameType(kinds[t]));
        const BYTE* picture = kinds[t] == DorFrameKind::nonReference ? player.ctx->dor.nonRef
                                                                     : player.ctx->dor.reference;
        ASSERT_NE(encoder.lastPicture(), nullptr);
        ASSERT_EQ(std::memcmp(encoder.lastPicture(), picture, 48 * 32 * 2), 0) << "frame " << t;
    }
}

} // namespace
