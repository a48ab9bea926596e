// Decodes a movie's video chunks with the player's own frame dispatch and decoders into one
// persistent target on a stand-in display device of the chosen pixel format, and reads the
// picture back.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "format/container_writer.h"
#include "engine/context.h"

namespace qztool {

// Pixel layouts a movie's frames can be exported in.
enum class FrameFormat { pal8, rgb555, rgb565, xrgb8888, yuy2 };

std::optional<FrameFormat> parseFrameFormat(std::string_view name);
const char* frameFormatName(FrameFormat format);
// Bytes a pixel takes in the format: 1, 2, 2, 4, 2.
int framePixelBytes(FrameFormat format);
// Whether frames of the type code (1 to 7) can be shown in the format: palettised KRT frames in
// pal8, YUV type-4 frames in yuy2, every RGB-producing type in the RGB formats.
bool frameFormatShows(FrameFormat format, LONG type);

struct PictureSize {
    int width = 0;
    int height = 0;
};
// The picture size a video chunk's header gives; none for a KRT delta frame, an unknown type
// or a payload too short for the size fields.
std::optional<PictureSize> videoPictureSize(LONG type, const BYTE* payload, std::size_t size);

// Largest picture side the export accepts (the stand-in device's largest surface).
inline constexpr int maxPictureSide = 4096;

// One display and one movie's decoder state. The target starts zero-filled, is as large as the
// picture rounded up to whole macroblocks, holds the picture at its top-left corner and is never
// cleared between frames. The stand-in device is process-wide: one renderer at a time.
class FrameRenderer {
  public:
    FrameRenderer();
    ~FrameRenderer();
    FrameRenderer(const FrameRenderer&) = delete;
    FrameRenderer& operator=(const FrameRenderer&) = delete;

    // Sets up the device and the display for pictures of size in format; gamma in percent.
    // False with a message when the device cannot be set up.
    bool open(FrameFormat format, PictureSize size, int gamma, std::string& message);
    // Decodes one video chunk payload into the target. False, with nothing decoded, when the
    // format cannot show frames of this type.
    bool decode(LONG type, const BYTE* payload, std::size_t size);
    // The target cropped to the picture: rows top to bottom without padding, little-endian
    // pixels. False when the target cannot be locked.
    bool readPicture(Bytes& out);
    // R, G, B triplets of the movie's palette as the last KRT key frame set them.
    const BYTE* paletteRgb() const { return config_.paletteRgb; }
    FrameFormat format() const { return format_; }
    PictureSize size() const { return size_; }
    void close();

  private:
    bool clearTarget();
    IDirectDrawSurface2* targetSurface() const;

    FrameFormat format_ = FrameFormat::xrgb8888;
    PictureSize size_{};
    LONG sequence_ = 0;
    IDirectDraw* directDraw_ = nullptr;
    PlayerConfig config_{};
    std::unique_ptr<PlayerContext> ctx_;
    Bytes payload_; // the chunk being decoded, with zeroed spare bytes after it
};

} // namespace qztool
