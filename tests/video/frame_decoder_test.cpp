// The memory decoder: frames of every family decoded through it equal, pixel for pixel, what the
// player's dispatch leaves on a stand-in screen of the same format, and caller memory smaller
// than the picture, with an odd pitch, gets exactly its box written.
#include <gtest/gtest.h>

#include <cstring>

#include "encoder/dor_encoder.h"
#include "encoder/krt_encoder.h"
#include "encoder/type3_encoder.h"
#include "encoder/type4_encoder.h"
#include "tests/display/display_harness.h"
#include "video/frame_decoder.h"

namespace {

// Sides that are not whole macroblocks.
constexpr int width = 40, height = 24;
constexpr int gamma = 130;

struct Chunk {
    LONG type;
    Bytes payload;
};

RgbPicture scene(int seed) {
    RgbPicture p{width, height, std::vector<std::uint8_t>(std::size_t(width) * height * 3)};
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            std::uint8_t* rgb = p.rgb.data() + (std::size_t(y) * width + x) * 3;
            rgb[0] = static_cast<std::uint8_t>(30 + (x * 5 + seed * 23) % 200);
            rgb[1] = static_cast<std::uint8_t>(30 + (y * 9 + seed * 41) % 200);
            rgb[2] = static_cast<std::uint8_t>(((x / 8 + y / 8 + seed) & 1) ? 220 : 40);
        }
    return p;
}

// KRT key and delta frames, type-3 frames (the second with skipped blocks), a type-4 frame and
// DOR key, motion and non-reference frames, all of one size.
std::vector<Chunk> sampleStream() {
    std::vector<Chunk> chunks;
    KrtEncoder krt;
    MovieVideoChunk key = krt.keyFrame(scene(0));
    chunks.push_back({1, key.payload});
    MovieVideoChunk delta = krt.deltaFrame(scene(1));
    chunks.push_back({delta.id == key.id ? 1 : 2, delta.payload});
    const YuvPicture first = rgbToYuv420(scene(2).rgb.data(), width, height);
    const YuvPicture second = rgbToYuv420(scene(3).rgb.data(), width, height);
    chunks.push_back({3, encodeType3Frame(first, 80)});
    chunks.push_back({3, encodeType3Frame(second, 80, &first)});
    chunks.push_back({4, encodeType4Frame(second, 80)});
    DorEncoder dor;
    for (DorFrameKind kind : {DorFrameKind::key, DorFrameKind::motion, DorFrameKind::nonReference})
        chunks.push_back(
            {static_cast<LONG>(dorFrameType(kind)),
             dor.encode(rgbToYuv420(scene(4 + int(kind)).rgb.data(), width, height), kind)});
    return chunks;
}

qzplat::DisplayFormat screenFormat(FrameFormat format) {
    switch (format) {
    case FrameFormat::pal8:
        return qzplat::DisplayFormat::palette8;
    case FrameFormat::rgb555:
        return qzplat::DisplayFormat::rgb555;
    case FrameFormat::rgb565:
        return qzplat::DisplayFormat::rgb565;
    default:
        return qzplat::DisplayFormat::rgb888;
    }
}

} // namespace

TEST(FrameDecoderApi, EveryFamilyMatchesThePlayerDispatchOnAScreenOfTheFormat) {
    const std::vector<Chunk> chunks = sampleStream();
    for (FrameFormat format :
         {FrameFormat::pal8, FrameFormat::rgb555, FrameFormat::rgb565, FrameFormat::xrgb8888}) {
        SCOPED_TRACE(frameFormatName(format));
        // The screen takes every picture at its top-left corner, unscaled, with no back buffer.
        displaytest::Screen screen(
            {screenFormat(format), 0, false, directToSurface | gammaGiven, modeRgb});
        screen.config.gamma = gamma;
        screen.setup();
        VideoDecoder decoder(format, gamma);
        const int pixelBytes = framePixelBytes(format);
        std::size_t shown = 0;
        for (const Chunk& c : chunks) {
            SCOPED_TRACE(c.type);
            const DecodeStatus status = decoder.decode(c.type, c.payload.data(), c.payload.size());
            if (!frameFormatShows(format, c.type)) {
                EXPECT_EQ(status, DecodeStatus::notShown);
                continue;
            }
            ASSERT_EQ(status, DecodeStatus::decoded);
            ++shown;
            screen.decode(c.type, c.payload);
            const PictureView picture = decoder.picture();
            ASSERT_EQ(picture.width, width);
            ASSERT_EQ(picture.height, height);
            ASSERT_TRUE(decoder.pictureSize());
            EXPECT_EQ(decoder.pictureSize()->width, width);
            DDSURFACEDESC desc{};
            desc.dwSize = sizeof(desc);
            ASSERT_EQ(screen.config.primarySurface->Lock(nullptr, &desc, DDLOCK_WAIT, nullptr),
                      DD_OK);
            const auto* screenPixels = static_cast<const BYTE*>(desc.lpSurface);
            int differing = 0;
            for (int y = 0; y < height; ++y)
                differing += std::memcmp(screenPixels + std::ptrdiff_t{desc.lPitch} * y,
                                         picture.pixels + picture.pitch * y,
                                         std::size_t(width) * pixelBytes) != 0;
            screen.config.primarySurface->Unlock(nullptr);
            EXPECT_EQ(differing, 0) << "rows differ";
            EXPECT_EQ(std::memcmp(decoder.paletteRgb(), screen.config.paletteRgb, 768), 0);
        }
        EXPECT_EQ(shown, format == FrameFormat::pal8 ? 2u : chunks.size());
    }
}

TEST(FrameDecoderApi, SmallCallerMemoryWithAnOddPitchGetsOnlyItsBox) {
    constexpr int boxWidth = 29, boxHeight = 17, guard = 37;
    constexpr BYTE guardByte = 0xA5;
    const std::vector<Chunk> chunks = sampleStream();
    for (FrameFormat format :
         {FrameFormat::pal8, FrameFormat::rgb555, FrameFormat::xrgb8888, FrameFormat::yuy2}) {
        SCOPED_TRACE(frameFormatName(format));
        const int pixelBytes = framePixelBytes(format);
        // An odd pitch, and for 8-bit pixels none that is a multiple of 4 either.
        const std::ptrdiff_t pitch = boxWidth * pixelBytes + (pixelBytes == 1 ? 2 : 3);
        // Guard bytes before, after and in the row padding; the box starts zero-filled like the
        // decoder's own picture.
        std::vector<BYTE> memory(guard + pitch * boxHeight + guard, guardByte);
        for (int y = 0; y < boxHeight; ++y)
            std::memset(memory.data() + guard + pitch * y, 0, std::size_t(boxWidth) * pixelBytes);
        const PictureMemory box{memory.data() + guard, pitch, boxWidth, boxHeight};
        VideoDecoder whole(format, 100);
        VideoDecoder clipped(format, 100);
        for (const Chunk& c : chunks) {
            SCOPED_TRACE(c.type);
            const DecodeStatus status = whole.decode(c.type, c.payload.data(), c.payload.size());
            ASSERT_EQ(clipped.decode(c.type, c.payload.data(), c.payload.size(), box), status);
            if (status != DecodeStatus::decoded) continue;
            const PictureView picture = whole.picture();
            for (int y = 0; y < boxHeight; ++y) {
                const BYTE* row = memory.data() + guard + pitch * y;
                ASSERT_EQ(std::memcmp(row, picture.pixels + picture.pitch * y,
                                      std::size_t(boxWidth) * pixelBytes),
                          0)
                    << "row " << y;
                for (std::ptrdiff_t i = boxWidth * pixelBytes; i < pitch; ++i)
                    ASSERT_EQ(row[i], guardByte) << "padding of row " << y;
            }
            for (int i = 0; i < guard; ++i) {
                ASSERT_EQ(memory[std::size_t(i)], guardByte) << "before the box";
                ASSERT_EQ(memory[memory.size() - 1 - std::size_t(i)], guardByte) << "after";
            }
        }
        // Memory the decoder cannot use is refused before the chunk is read.
        const Chunk& shown = format == FrameFormat::pal8
                                 ? chunks[0]
                                 : (format == FrameFormat::yuy2 ? chunks[4] : chunks[2]);
        const PictureMemory narrow{box.pixels, boxWidth * pixelBytes - 1, boxWidth, boxHeight};
        EXPECT_EQ(clipped.decode(shown.type, shown.payload.data(), shown.payload.size(), narrow),
                  DecodeStatus::badTarget);
        EXPECT_EQ(clipped.decode(shown.type, shown.payload.data(), 3, box),
                  DecodeStatus::badHeader);
    }
}
