// The JPEG peer the decode benchmarks compare against: a picture encoded as a 4:2:0 JPEG of
// about a given number of bits per pixel, and a reusable decoder to 32-bit RGB. Needs
// libturbojpeg (QZ_HAVE_TURBOJPEG); without it jpegPeerAvailable() is false and nothing works.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace qzbench {

bool jpegPeerAvailable();

struct JpegPicture {
    std::vector<std::uint8_t> data;
    int width = 0;
    int height = 0;
    int quality = 0;
    double bitsPerPixel = 0;
};

// Encodes R, G, B bytes (rows width × 3) as a 4:2:0 JPEG, choosing by bisection the quality
// whose size comes closest to bitsPerPixel. None when the peer is missing or fails.
std::optional<JpegPicture> encodeJpegNear(const std::uint8_t* rgb, int width, int height,
                                          double bitsPerPixel);

// A compressor kept across calls: R, G, B bytes (rows width × 3) to a 4:2:0 JPEG at a quality
// (1 to 100), into a buffer it keeps, as an application encoding frame after frame would.
class JpegEncoder {
  public:
    JpegEncoder();
    ~JpegEncoder();
    JpegEncoder(const JpegEncoder&) = delete;
    JpegEncoder& operator=(const JpegEncoder&) = delete;
    // The JPEG's bytes, valid until the next call; empty on failure.
    std::pair<const std::uint8_t*, std::size_t> encode(const std::uint8_t* rgb, int width,
                                                       int height, int quality);

  private:
    void* handle_ = nullptr;
    unsigned char* buffer_ = nullptr;
    unsigned long capacity_ = 0;
};

// A decoder kept across calls, writing 32-bit pixels with bytes B, G, R, x (the layout of a
// little-endian 0x00RRGGBB word, as the xrgb8888 display has).
class JpegDecoder {
  public:
    JpegDecoder();
    ~JpegDecoder();
    JpegDecoder(const JpegDecoder&) = delete;
    JpegDecoder& operator=(const JpegDecoder&) = delete;
    // Decodes into out (resized to width × height × 4); false on failure.
    bool decode(const JpegPicture& picture, std::vector<std::uint8_t>& out);

  private:
    void* handle_ = nullptr;
};

} // namespace qzbench
