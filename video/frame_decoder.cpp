// The memory decoder: each chunk copied with zeroed spare bytes, its header read, and the frame
// decoded by the video side's frame decode at the top-left corner of the memory, which is the
// whole decoder target (the clip box keeps every write inside it).
#include "video/frame_decoder.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "video/colour_tables.h"
#include "video/frame_decode.h"

namespace {

constexpr std::size_t largestPayload =
    static_cast<std::size_t>(std::numeric_limits<LONG>::max()) - videoPayloadSpare;
constexpr std::ptrdiff_t largestPitch = std::numeric_limits<LONG>::max();

LONG readS16(const BYTE* p) {
    return static_cast<LONG>(static_cast<short>(p[0] | (p[1] << 8)));
}

int roundToMacroblocks(int side) {
    return (side + 15) / 16 * 16;
}

bool sideFits(int side) {
    return side > 0 && side <= maxPictureSide;
}

} // namespace

PixelFormat pixelFormatOf(FrameFormat format) {
    switch (format) {
    case FrameFormat::pal8:
        return PixelFormat{0, 0, 0, 0, 0, 0, 0, 8};
    case FrameFormat::rgb555:
        return PixelFormat{5, 5, 5, 10, 5, 0, 0x7FFF, 15};
    case FrameFormat::rgb565:
        return PixelFormat{5, 6, 5, 11, 5, 0, 0xFFFF, 16};
    default:
        return PixelFormat{8, 8, 8, 16, 8, 0, 0xFFFFFF, 24};
    }
}

std::optional<FrameFormat> parseFrameFormat(std::string_view name) {
    for (FrameFormat f : {FrameFormat::pal8, FrameFormat::rgb555, FrameFormat::rgb565,
                          FrameFormat::xrgb8888, FrameFormat::yuy2}) {
        if (name == frameFormatName(f)) return f;
    }
    return std::nullopt;
}

const char* frameFormatName(FrameFormat format) {
    switch (format) {
    case FrameFormat::pal8:
        return "pal8";
    case FrameFormat::rgb555:
        return "rgb555";
    case FrameFormat::rgb565:
        return "rgb565";
    case FrameFormat::xrgb8888:
        return "xrgb8888";
    case FrameFormat::yuy2:
        return "yuy2";
    }
    return "?";
}

int framePixelBytes(FrameFormat format) {
    switch (format) {
    case FrameFormat::pal8:
        return 1;
    case FrameFormat::xrgb8888:
        return 4;
    default:
        return 2;
    }
}

bool frameFormatShows(FrameFormat format, LONG type) {
    switch (format) {
    case FrameFormat::pal8:
        // The DCT and DOR decoders write RGB only; KRT pictures are palette indices.
        return type == 1 || type == 2;
    case FrameFormat::yuy2:
        // Only type-4 frames have a YUV output.
        return type == 4;
    default:
        return type >= 1 && type <= 7;
    }
}

std::optional<PictureSize> videoPictureSize(LONG type, const BYTE* payload, std::size_t size) {
    switch (type) {
    case 1:
        if (size < 4) return std::nullopt;
        return PictureSize{payload[0] | (payload[1] << 8), payload[2] | (payload[3] << 8)};
    case 3:
    case 4:
        if (size < 4) return std::nullopt;
        return PictureSize{readS16(payload), readS16(payload + 2)};
    case 5:
    case 6:
    case 7:
        if (size < 12) return std::nullopt;
        return PictureSize{readS16(payload + 8), readS16(payload + 10)};
    default:
        return std::nullopt;
    }
}

const char* decodeStatusText(DecodeStatus status) {
    switch (status) {
    case DecodeStatus::decoded:
        return "decoded";
    case DecodeStatus::notShown:
        return "the format cannot show frames of this type";
    case DecodeStatus::badHeader:
        return "the frame header does not fit in the payload";
    case DecodeStatus::badTarget:
        return "the picture memory is unusable";
    case DecodeStatus::badSize:
        return "the picture size is missing or too large";
    }
    return "?";
}

VideoDecoder::VideoDecoder(FrameFormat format, int gamma)
    : format_(format), gamma_(gamma), pixelFormat_(pixelFormatOf(format)) {
    VideoOutput& output = video_.output;
    output.pixelFormat = pixelFormat_;
    output.flags = 0; // no column doubling or row repeating: the picture as the frames give it
    output.gamma = gamma;
    output.paletteRgb = paletteRgb_;
    output.paletteLookup = paletteLookup_;
}

VideoDecoder::~VideoDecoder() {
    releaseVideoState(video_);
}

void VideoDecoder::buildTables() {
    if (!colourTablesBuiltFor(pixelFormat_, gamma_)) buildColourTables(pixelFormat_, gamma_);
}

void VideoDecoder::restart() {
    releaseVideoState(video_);
    video_.width = 0;
    video_.height = 0;
    own_.clear();
    ownSize_ = {};
    ownPicture_ = {};
}

std::optional<PictureSize> VideoDecoder::pictureSize() const {
    if (video_.width <= 0 || video_.height <= 0) return std::nullopt;
    return PictureSize{video_.width, video_.height};
}

void VideoDecoder::decodeTo(const PictureMemory& target) {
    const LONG pixelBytes = framePixelBytes(format_);
    const FrameTarget frame{{target.pixels, target.pixels, static_cast<LONG>(target.pitch),
                             static_cast<LONG>(target.width * pixelBytes),
                             static_cast<LONG>(target.height)},
                            PicturePlacement::placed,
                            0,
                            0,
                            format_ == FrameFormat::yuy2};
    decodeFrame(video_, payload_.data(), frame);
}

namespace {

// Copies the chunk with zeroed spare bytes after it into buffer and reads its header into video.
DecodeStatus takeChunk(VideoState& video, std::vector<BYTE>& buffer, FrameFormat format, LONG type,
                       const BYTE* payload, std::size_t size) {
    if (!frameFormatShows(format, type)) return DecodeStatus::notShown;
    if (size > largestPayload || (payload == nullptr && size != 0)) return DecodeStatus::badHeader;
    // Resized, not refilled: the payload's bytes are written once, the spare ones zeroed.
    buffer.resize(size + videoPayloadSpare);
    if (size != 0) std::memcpy(buffer.data(), payload, size);
    std::memset(buffer.data() + size, 0, videoPayloadSpare);
    if (!readFrameHeader(video, type, buffer.data(), static_cast<LONG>(size)))
        return DecodeStatus::badHeader;
    return DecodeStatus::decoded;
}

} // namespace

DecodeStatus VideoDecoder::decode(LONG type, const BYTE* payload, std::size_t size,
                                  const PictureMemory& target) {
    if (!frameFormatShows(format_, type)) return DecodeStatus::notShown;
    const std::ptrdiff_t rowBytes = std::ptrdiff_t{target.width} * framePixelBytes(format_);
    if (target.pixels == nullptr || target.width <= 0 || target.height <= 0 ||
        target.pitch < rowBytes || target.pitch > largestPitch)
        return DecodeStatus::badTarget;
    buildTables();
    const DecodeStatus taken = takeChunk(video_, payload_, format_, type, payload, size);
    if (taken != DecodeStatus::decoded) return taken;
    decodeTo(target);
    return DecodeStatus::decoded;
}

DecodeStatus VideoDecoder::decode(LONG type, const BYTE* payload, std::size_t size) {
    buildTables();
    const DecodeStatus taken = takeChunk(video_, payload_, format_, type, payload, size);
    if (taken != DecodeStatus::decoded) return taken;
    if (!sideFits(video_.width) || !sideFits(video_.height)) return DecodeStatus::badSize;
    const PictureSize padded{roundToMacroblocks(video_.width), roundToMacroblocks(video_.height)};
    const int pixelBytes = framePixelBytes(format_);
    if (padded.width != ownSize_.width || padded.height != ownSize_.height) {
        // A new picture size starts a new picture, zero-filled.
        ownSize_ = padded;
        own_.assign(std::size_t(padded.width) * padded.height * pixelBytes, 0);
    }
    const PictureMemory memory{own_.data(), std::ptrdiff_t{padded.width} * pixelBytes, padded.width,
                               padded.height};
    decodeTo(memory);
    ownPicture_ = {video_.width, video_.height};
    return DecodeStatus::decoded;
}

PictureView VideoDecoder::picture() const {
    if (own_.empty()) return {};
    return {own_.data(), std::ptrdiff_t{ownSize_.width} * framePixelBytes(format_),
            ownPicture_.width, ownPicture_.height};
}
