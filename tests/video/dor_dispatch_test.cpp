// DOR movies through the frame dispatch on the stand-in device: 15-, 16- and 32-bit displays
// show exactly what the decoder makes of the frames, placed on the target like every picture; 8-bit
// displays are left alone.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "encoder/dor_encoder.h"
#include "tests/display/display_harness.h"
#include "tests/video/dor_test_support.h"
#include "video/decoder_table.h"

using displaytest::Screen;
using displaytest::ScreenOptions;
using qzplat::DisplayFormat;

namespace {

struct DorCall {
    BYTE* base;
    LONG pitch;
    LONG clipRight;
    LONG clipBottom;
};
std::vector<DorCall> dorCalls;

void recordingDorFrame(VideoState* ctx, const BYTE* payload, BYTE* base, LONG pitch, LONG type) {
    dorCalls.push_back({base, pitch, ctx->clipRight, ctx->clipBottom});
    decodeDorFrame(ctx, payload, base, pitch, type);
}

YuvPicture gradient(int width, int height, int t) {
    YuvPicture p = makeYuvPicture(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            p.y[static_cast<std::size_t>(y) * width + x] =
                static_cast<std::uint8_t>(40 + (3 * (x + 2 * t) + y) % 160);
    for (std::size_t i = 0; i < p.cb.size(); ++i) {
        p.cb[i] = static_cast<std::uint8_t>(90 + (i * 7 + t) % 80);
        p.cr[i] = static_cast<std::uint8_t>(170 - (i * 5) % 80);
    }
    return p;
}

TEST(DorDispatch, EveryRgbDepthShowsTheDecodedPicture) {
    constexpr int width = 64, height = 48;
    const DorFrameKind kinds[] = {DorFrameKind::key, DorFrameKind::motion,
                                  DorFrameKind::nonReference, DorFrameKind::motion};
    std::vector<Bytes> payloads;
    DorEncoder encoder;
    for (int t = 0; t < 4; ++t)
        payloads.push_back(encoder.encode(gradient(width, height, t), kinds[t]));

    for (DisplayFormat format :
         {DisplayFormat::rgb555, DisplayFormat::rgb565, DisplayFormat::rgb888}) {
        SCOPED_TRACE(static_cast<int>(format));
        const DecoderEntryPoints saved = decoderEntryPoints;
        decoderEntryPoints.dorFrame = recordingDorFrame;
        dorCalls.clear();
        ScreenOptions options;
        options.format = format;
        options.flags &= ~hardwareYuv;
        Screen screen(options);
        screen.setup();
        const int pixelBytes = format == DisplayFormat::rgb888 ? 4 : 2;
        dortest::Decoder reference(screen.config.pixelFormat);
        for (int t = 0; t < 4; ++t) {
            screen.decode(dorFrameType(kinds[t]), payloads[t]);
            ASSERT_EQ(dorCalls.size(), static_cast<std::size_t>(t + 1));
            const DorCall call = dorCalls.back();
            EXPECT_EQ(call.clipRight, width);
            EXPECT_EQ(call.clipBottom, height);
            dcttest::Target expected(width * pixelBytes, height);
            reference.decode(payloads[t], dorFrameType(kinds[t]), &expected);
            for (int y = 0; y < height - 1; ++y)
                ASSERT_EQ(std::memcmp(call.base + y * call.pitch,
                                      expected.origin() + y * expected.pitch,
                                      static_cast<std::size_t>(width) * pixelBytes),
                          0)
                    << "frame " << t << " row " << y;
            presentFrame(&screen.ctx.display);
            swapBuffers(&screen.ctx.display);
        }
        EXPECT_NE(screen.ctx.video.dor.reference, nullptr);
        decoderEntryPoints = saved;
    }
}

TEST(DorDispatch, EightBitDisplaysAreLeftAlone) {
    ScreenOptions options;
    options.format = DisplayFormat::palette8;
    options.flags &= ~hardwareYuv;
    Screen screen(options);
    screen.setup();
    ASSERT_EQ(screen.config.pixelFormat.depth, 8);
    DorEncoder encoder;
    const Bytes key = encoder.encode(gradient(32, 32, 0), DorFrameKind::key);
    const DecoderEntryPoints saved = decoderEntryPoints;
    decoderEntryPoints.dorFrame = recordingDorFrame;
    dorCalls.clear();
    screen.decode(5, key);
    decoderEntryPoints = saved;
    // The decoder was called and returned before making any picture.
    ASSERT_EQ(dorCalls.size(), 1u);
    EXPECT_EQ(screen.ctx.video.dor.reference, nullptr);
}

} // namespace
