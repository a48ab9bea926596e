// The video side of the dispatch on plain memory, without any display object: the frame header
// fills the state, and a placed picture is the bare picture moved to its place, with rows
// repeated under doubleY and nothing written outside it.
#include <random>

#include "encoder/type4_encoder.h"
#include "tests/video/dct_test_support.h"
#include "tests/video/krt_test_support.h"
#include "video/frame_decode.h"

namespace {

using namespace dcttest;

constexpr int width = 40, height = 24;

Bytes noiseFrame() {
    std::mt19937 rng(3);
    YuvPicture p = makeYuvPicture(width, height);
    for (auto* plane : {&p.y, &p.cb, &p.cr})
        for (std::uint8_t& s : *plane) s = static_cast<std::uint8_t>(rng());
    return encodeType4Frame(p, 80);
}

} // namespace

TEST(FrameDecode, HeadersFillTheState) {
    VideoState video{};
    BYTE palette[768]{};
    video.output.paletteRgb = palette;
    video.output.gamma = 50;
    const krttest::ByteList key =
        krttest::literalKeyFrame(8, 4, krttest::ByteList(32, 1), {200, 100, 7, 255, 0, 1});
    ASSERT_TRUE(readFrameHeader(video, 1, key.data(), LONG(key.size())));
    EXPECT_EQ(video.width, 8);
    EXPECT_EQ(video.height, 4);
    EXPECT_EQ(video.krt.paletteCount, 2);
    EXPECT_EQ(video.frameDataEnd, key.data() + key.size());
    const BYTE scaled[6] = {100, 50, 3, 127, 0, 0};
    EXPECT_EQ(0, std::memcmp(palette, scaled, 6));
    // A header cut inside its palette is refused and keeps the last size.
    EXPECT_FALSE(readFrameHeader(video, 1, key.data(), 15));
    const Bytes dct = noiseFrame();
    ASSERT_TRUE(readFrameHeader(video, 4, dct.data(), LONG(dct.size())));
    EXPECT_EQ(video.width, width);
    EXPECT_EQ(video.quality, 80);
    EXPECT_EQ(video.dct.componentColour, 1);
    EXPECT_TRUE(readFrameHeader(video, 2, dct.data(), 0)); // delta frames carry no size
    EXPECT_EQ(video.width, width);
    EXPECT_FALSE(readFrameHeader(video, 5, dct.data(), 11));
}

TEST(FrameDecode, PlacedPictureIsTheBarePictureMoved) {
    const Bytes payload = noiseFrame();
    Decoder bare(xrgb8888);
    Target picture(width * 4, height);
    bare.clip(0, 0, width, height);
    bare.decode(payload, Variant::type4Rgb32, picture);

    for (const DWORD flags : {DWORD{0}, doubleY}) {
        VideoState video{};
        video.output.pixelFormat = xrgb8888;
        video.output.flags = flags;
        ASSERT_TRUE(readFrameHeader(video, 4, payload.data(), LONG(payload.size())));
        // The picture hangs over the right and bottom edges of a 60 x 40 area.
        const LONG areaWidth = 60, areaRows = 40, x = 30, y = 3;
        Target area(areaWidth * 4, areaRows);
        FrameTarget target{};
        target.area = {area.origin(), area.origin(), area.pitch, area.pitch, areaRows};
        target.placement = PicturePlacement::placed;
        target.x = x;
        target.y = y;
        decodeFrame(video, payload.data(), target);
        ASSERT_TRUE(area.guardsIntact());
        const int rowStep = flags == doubleY ? 2 : 1;
        for (int ty = 0; ty < areaRows; ++ty)
            for (int tx = 0; tx < areaWidth; ++tx) {
                const int px = tx - x, py = (ty - y) / rowStep;
                const bool inside = tx >= x && ty >= y && px < width && py < height;
                const std::uint32_t expected = inside ? picture.pixel(px, py, 4) : 0xA5A5A5A5u;
                ASSERT_EQ(area.pixel(tx, ty, 4), expected) << flags << " " << tx << "," << ty;
            }
    }
}
