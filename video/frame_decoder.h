// Decoding a movie's video chunks into memory, with no display involved: the one way tools,
// benchmarks and fuzz targets decode video. A VideoDecoder takes one chunk at a time (type code
// and payload, copied with zeroed spare bytes after it), decodes it with the player's own frame
// decoders into caller memory or into a picture buffer of its own, and never reads or writes
// outside either buffer, whatever the bytes.
//
// Colour tables: the decoders convert through one process-wide set of tables (video/
// colour_tables.h). A decoder rebuilds them for its format and gamma before a frame whenever
// they were last built for another, so decoders of different formats may take turns on one
// thread; they must not decode on different threads at the same time, nor alongside a playing
// movie.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>
#include <vector>

#include "video/video_state.h"

// Pixel layouts frames can be decoded in: 8-bit palette indices, 16-bit 5-5-5 and 5-6-5 RGB,
// 32-bit X8R8G8B8 and YUY2 (two bytes a pixel). Pixels are stored little-endian.
enum class FrameFormat { pal8, rgb555, rgb565, xrgb8888, yuy2 };

// The format of a name as frameFormatName gives it; none for any other name.
std::optional<FrameFormat> parseFrameFormat(std::string_view name);
// "pal8", "rgb555", "rgb565", "xrgb8888" or "yuy2".
const char* frameFormatName(FrameFormat format);
// Bytes a pixel takes in the format: 1, 2, 2, 4, 2.
int framePixelBytes(FrameFormat format);
// Whether frames of the type code (1 to 7) can be shown in the format: palettised KRT frames in
// pal8, YUV type-4 frames in yuy2, every RGB-producing type in the RGB formats.
bool frameFormatShows(FrameFormat format, LONG type);
// The display pixel layout each format's pixels are made for. YUY2 pictures use no RGB
// layout; their tables are built as for 32-bit pixels, as a 32-bit display showing YUY2 would.
PixelFormat pixelFormatOf(FrameFormat format);

struct PictureSize {
    int width = 0;
    int height = 0;
};
// The picture size a video chunk's header gives; none for a KRT delta frame, an unknown type
// or a payload too short for the size fields.
std::optional<PictureSize> videoPictureSize(LONG type, const BYTE* payload, std::size_t size);

// Largest picture side the decoder's own picture buffer takes.
inline constexpr int maxPictureSide = 4096;

// Caller memory a frame is decoded into: width x height pixels of the decoder's format, rows
// pitch bytes apart (at least width pixels' bytes; any alignment). Only these pixels are
// written; the picture lies at the top-left corner and what falls outside is cut off.
struct PictureMemory {
    BYTE* pixels = nullptr;
    std::ptrdiff_t pitch = 0;
    int width = 0;
    int height = 0;
};

// The decoder's own picture, read-only: rows pitch bytes apart.
struct PictureView {
    const BYTE* pixels = nullptr;
    std::ptrdiff_t pitch = 0;
    int width = 0;
    int height = 0;
};

enum class DecodeStatus {
    decoded,   // the frame was decoded
    notShown,  // the format cannot show frames of this type: nothing read or decoded
    badHeader, // the header does not fit in the payload: nothing decoded
    badTarget, // the memory is unusable (null, pitch too small, no pixels, or too large)
    badSize,   // own picture: no picture size known yet, or a side above maxPictureSide
};

// A few words on a status, for messages.
const char* decodeStatusText(DecodeStatus status);

class VideoDecoder {
  public:
    // A decoder of one stream's frames into format; gamma in percent (100 is neutral) scales the
    // colours of RGB output and a KRT key frame's palette.
    VideoDecoder(FrameFormat format, int gamma);
    ~VideoDecoder();
    VideoDecoder(const VideoDecoder&) = delete;
    VideoDecoder& operator=(const VideoDecoder&) = delete;

    FrameFormat format() const { return format_; }
    int gamma() const { return gamma_; }

    // Decodes one video chunk (type code 1 to 7, size payload bytes) into target. Pass the same
    // memory frame after frame: what a frame leaves unwritten (skipped blocks) keeps the last
    // picture, and KRT and DOR frames predict from the decoder's own pictures.
    DecodeStatus decode(LONG type, const BYTE* payload, std::size_t size,
                        const PictureMemory& target);
    // Decodes one video chunk into the decoder's own picture buffer: zero-filled, as large as
    // the picture rounded up to whole macroblocks, made at the first frame that gives a size and
    // made again (zero-filled) when a header gives another size.
    DecodeStatus decode(LONG type, const BYTE* payload, std::size_t size);
    // The own picture buffer cropped to the size of the last frame decoded into it; empty (null
    // pixels) before the first.
    PictureView picture() const;
    // The picture size of the last header that gave one; none before, or when it was not
    // above zero both ways.
    std::optional<PictureSize> pictureSize() const;
    // R, G, B triplets (768 bytes) of the palette as the last KRT key frame set it, scaled by
    // gamma; zeros before.
    const BYTE* paletteRgb() const { return paletteRgb_; }
    // Builds the process-wide colour tables of this format and gamma, which the first decode
    // builds otherwise: then decoders of the same format and gamma on other threads only read
    // them.
    void buildTables();
    // Frees the decoders' pictures and the own picture buffer: the next frames decode as from
    // the start of the stream.
    void restart();

  private:
    // Decodes the chunk takeChunk accepted into target, which the caller has checked.
    void decodeTo(const PictureMemory& target);

    FrameFormat format_;
    int gamma_;
    PixelFormat pixelFormat_{};
    VideoState video_{};
    BYTE paletteRgb_[768]{};
    DWORD paletteLookup_[256]{};
    std::vector<BYTE> payload_; // the chunk being decoded, with zeroed spare bytes after it
    std::vector<BYTE> own_;     // the own picture buffer
    PictureSize ownSize_{};     // its padded size
    PictureSize ownPicture_{};  // the picture decoded into it last
};
