#include "fuzz/frame_harness.h"

#include <cstring>

#include "format/limits.h"
#include "video/colour_tables.h"

FrameHarness::FrameHarness(FuzzInput& input, const FrameFormat* formats, int formatCount) {
    const std::uint8_t select = input.byte();
    format_ = formats[select % formatCount];
    const DWORD flags = ((select & 0x10) ? doubleX : 0) | ((select & 0x20) ? doubleY : 0) |
                        ((select & 0x40) ? skipY : 0);
    const std::uint8_t place = input.byte();
    placement_ = static_cast<PicturePlacement>(place % 3);
    static constexpr LONG gammas[] = {100, 60, 150, 255};
    gamma_ = gammas[(place >> 2) % 4];
    const LONG width = 1 + input.u16() % 512;
    rows_ = 1 + input.u16() % 512;
    rowBytes_ = width * framePixelBytes(format_);
    const LONG pitch = rowBytes_ + input.byte();
    x_ = input.s16() % 1024;
    y_ = input.s16() % 1024;
    memory_ = std::make_unique<GuardedMemory>(rowBytes_, rows_, pitch);

    VideoOutput& output = video_.output;
    output.pixelFormat = pixelFormatOf(format_);
    output.flags = flags;
    output.gamma = gamma_;
    output.paletteRgb = paletteRgb_;
    output.paletteLookup = paletteLookup_;
}

FrameHarness::~FrameHarness() {
    releaseVideoState(video_);
}

void FrameHarness::decode(LONG type, const std::uint8_t* payload, std::size_t size) {
    if (!frameFormatShows(format_, type)) return;
    if (size > static_cast<std::size_t>(maxVideoPayload)) size = maxVideoPayload;
    const PixelFormat& pixels = video_.output.pixelFormat;
    if (!colourTablesBuiltFor(pixels, gamma_)) buildColourTables(pixels, gamma_);
    payload_.assign(size + videoPayloadSpare, 0);
    if (size != 0) std::memcpy(payload_.data(), payload, size);
    if (!readFrameHeader(video_, type, payload_.data(), static_cast<LONG>(size))) return;
    if (pictureTooLargeToFuzz(video_.width, video_.height, fuzzFramePixels)) return;
    const FrameTarget target{{memory_->pixels(), memory_->pixels(),
                              static_cast<LONG>(memory_->pitch()), rowBytes_, rows_},
                             placement_,
                             x_,
                             y_,
                             format_ == FrameFormat::yuy2};
    decodeFrame(video_, payload_.data(), target);
    memory_->check();
}
