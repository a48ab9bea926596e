// The frames the decode benches time and our decoders set up to decode them as the player
// would, into a memory target: type-3 and type-4 frames, DOR key and motion frames and KRT key
// and delta frames of the bench picture, each with the JPEG peer's picture of the same scene.
// The frames are made once per size and kept for the life of the program.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <vector>

#include "bench/bench_ratios.h"
#include "bench/jpeg_peer.h"
#include "format/container_writer.h"
#include "video/video_state.h"

namespace qzbench {

enum class Output { rgb565, xrgb8888, yuy2 };

const char* outputName(Output output);

extern const PixelFormat formatRgb565;
extern const PixelFormat formatXrgb8888;
extern const PixelFormat formatPal8;

// A type-3 (quality 75) or type-4 (quality 95, about the same bits per pixel) frame of the
// bench picture, and the peer's JPEG of the picture at about its bits per pixel.
struct DctFrame {
    Bytes payload; // followed by zeroed spare bytes, as the reader keeps them
    std::size_t payloadBytes = 0;
    double bitsPerPixel = 0;
    std::optional<JpegPicture> jpeg;
};

const DctFrame& dctFrame(int type, Size size);

// Our type-3 or type-4 decoder for one output (type 3 has no yuy2); decode() decodes the frame
// once, quantiser set-up included.
class DctFrameDecoder {
  public:
    DctFrameDecoder(int type, Size size, Output output);
    ~DctFrameDecoder();
    DctFrameDecoder(const DctFrameDecoder&) = delete;
    DctFrameDecoder& operator=(const DctFrameDecoder&) = delete;
    void decode();
    const BYTE* target() const { return target_.data(); }

  private:
    int type_;
    Output output_;
    const DctFrame& frame_;
    std::unique_ptr<VideoState> ctx_;
    std::vector<BYTE> target_;
    LONG pitch_;
};

// A DOR key frame (quantiser 5) of the bench picture, a motion frame of it moved by (3, 2)
// pixels, and the peer's JPEG of the picture at about the key frame's bits per pixel.
struct DorFrames {
    Bytes key; // both followed by zeroed spare bytes
    Bytes motion;
    std::size_t keyBytes = 0;
    std::size_t motionBytes = 0;
    std::optional<JpegPicture> jpeg;
};

const DorFrames& dorFrames(Size size);

// Our DOR decoder into rgb565, the key frame decoded once already; decode() decodes the key or
// the motion frame once (the motion frame predicting from the picture the last one left).
class DorFrameDecoder {
  public:
    DorFrameDecoder(Size size, bool motion);
    ~DorFrameDecoder();
    DorFrameDecoder(const DorFrameDecoder&) = delete;
    DorFrameDecoder& operator=(const DorFrameDecoder&) = delete;
    void decode();
    const BYTE* target() const { return target_.data(); }
    std::size_t frameBytes() const;

  private:
    bool motion_;
    const DorFrames& frames_;
    std::unique_ptr<VideoState> ctx_;
    std::vector<BYTE> target_;
    LONG pitch_;
};

// A KRT key frame and eight delta frames after it: a window scrolling over the bench picture,
// as a camera pan would; and the peer's JPEG of the key frame's picture at about its bits per
// pixel (as near as the peer's finest quality comes).
struct KrtSequence {
    Bytes key;
    std::vector<Bytes> deltas;
    std::optional<JpegPicture> jpeg;
};

const KrtSequence& krtSequence(Size size);

// Our KRT decoder with its output stage into rgb565 or 8-bit palette indices.
class KrtPlayer {
  public:
    KrtPlayer(const PixelFormat& format, Size size);
    ~KrtPlayer();
    KrtPlayer(const KrtPlayer&) = delete;
    KrtPlayer& operator=(const KrtPlayer&) = delete;
    // One frame decoded and written to the target.
    void key(const Bytes& payload);
    void delta(const Bytes& payload);
    const BYTE* target() const { return target_.data(); }

  private:
    BYTE paletteRgb_[768]{};
    DWORD paletteLookup_[256]{};
    VideoState ctx_{};
    std::vector<BYTE> target_;
    LONG pitch_;
};

} // namespace qzbench
