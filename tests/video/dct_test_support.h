// Helpers for the DCT decoder and encoder tests: a context with a clip box, payloads copied to
// exact-size buffers, guarded targets, and conversion of decoded pixels back to colours.
#pragma once

#include <algorithm>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "video/colour_tables.h"
#include "encoder/component_colour.h"
#include "encoder/dct_encoder.h"
#include "video/type3/type3_decoder.h"
#include "video/type4/type4_decoder.h"

namespace dcttest {

inline const PixelFormat rgb555{5, 5, 5, 10, 5, 0, 0x7FFF, 15};
inline const PixelFormat rgb565{5, 6, 5, 11, 5, 0, 0xFFFF, 16};
inline const PixelFormat xrgb8888{8, 8, 8, 16, 8, 0, 0xFFFFFF, 24};

enum class Variant { type3Rgb16, type3Rgb32, type4Rgb16, type4Rgb32, type4Yuy2 };

inline int pixelBytes(Variant v) {
    return v == Variant::type3Rgb32 || v == Variant::type4Rgb32 ? 4 : 2;
}
inline bool isType3(Variant v) {
    return v == Variant::type3Rgb16 || v == Variant::type3Rgb32;
}

// A target of rows × pitch bytes with guard bytes on both sides, all filled with 0xA5.
struct Target {
    static constexpr std::size_t guard = 256;
    static constexpr std::uint8_t fill = 0xA5;
    LONG pitch;
    LONG rows;
    std::vector<std::uint8_t> bytes;

    Target(LONG pitchBytes, LONG rowCount)
        : pitch(pitchBytes), rows(rowCount),
          bytes(2 * guard + static_cast<std::size_t>(pitchBytes) * rowCount, fill) {}
    BYTE* origin() { return bytes.data() + guard; }
    const BYTE* origin() const { return bytes.data() + guard; }
    bool guardsIntact() const {
        for (std::size_t i = 0; i < guard; ++i)
            if (bytes[i] != fill || bytes[bytes.size() - 1 - i] != fill) return false;
        return true;
    }
    std::uint32_t pixel(int x, int y, int size) const {
        std::uint32_t p = 0;
        std::memcpy(&p, origin() + static_cast<std::ptrdiff_t>(y) * pitch + x * size, size);
        return p;
    }
};

// A decoder state for one frame: output description, tables and a clip box covering the target.
struct Decoder {
    std::unique_ptr<VideoState> ctx = std::make_unique<VideoState>();

    explicit Decoder(const PixelFormat& format, LONG gamma = 100) {
        ctx->output.pixelFormat = format;
        buildColourTables(format, gamma);
    }
    void clip(LONG left, LONG top, LONG right, LONG bottom) {
        ctx->clipLeft = left;
        ctx->clipTop = top;
        ctx->clipRight = right;
        ctx->clipBottom = bottom;
    }

    // Decodes a whole payload (with its 8-byte header) copied into an exact-size buffer, so that
    // a read past its end is caught by the address sanitizer. The target pointer is origin +
    // offset bytes; the clip box must be set first.
    void decode(const Bytes& payload, Variant variant, Target& target, std::ptrdiff_t offset = 0,
                LONG pitch = 0) {
        const std::size_t size = payload.size();
        std::unique_ptr<BYTE[]> copy(new BYTE[size == 0 ? 1 : size]);
        if (size) std::memcpy(copy.get(), payload.data(), size);
        ctx->width = size >= 2 ? static_cast<std::int16_t>(payload[0] | payload[1] << 8) : 0;
        ctx->height = size >= 4 ? static_cast<std::int16_t>(payload[2] | payload[3] << 8) : 0;
        ctx->quality = size >= 5 ? payload[4] : 0;
        ctx->dct.componentColour = size >= 8 ? (payload[7] >> 1) & 1 : 0;
        ctx->dct.spareOption = size >= 8 ? payload[7] & 1 : 0;
        ctx->frameDataEnd = copy.get() + size;
        const BYTE* data = copy.get() + std::min<std::size_t>(size, 8);
        BYTE* dest = target.origin() + offset;
        if (pitch == 0) pitch = target.pitch;
        switch (variant) {
        case Variant::type3Rgb16:
            setupType3Quant(ctx.get(), ctx->quality);
            decodeType3Frame16(ctx.get(), data, dest, dest, pitch);
            break;
        case Variant::type3Rgb32:
            setupType3Quant(ctx.get(), ctx->quality);
            decodeType3Frame32(ctx.get(), data, dest, dest, pitch);
            break;
        case Variant::type4Rgb16:
            setupType4Quant(ctx->dct.type4Quant, ctx->quality);
            decodeType4FrameRgb16(ctx.get(), data, dest, dest, pitch);
            break;
        case Variant::type4Rgb32:
            setupType4Quant(ctx->dct.type4Quant, ctx->quality);
            decodeType4FrameRgb32(ctx.get(), data, dest, dest, pitch);
            break;
        case Variant::type4Yuy2:
            setupType4Quant(ctx->dct.type4Quant, ctx->quality);
            decodeType4FrameYuy2(ctx.get(), data, dest, dest, pitch);
            break;
        }
    }
};

// A frame header followed by the given bytes.
inline Bytes framePayload(int width, int height, int quality, std::uint8_t options,
                          const Bytes& body) {
    // Sized first and filled in place: GCC 12 at -O3 warns falsely about inserting into an
    // eight-byte vector.
    Bytes out(8 + body.size());
    out[0] = static_cast<std::uint8_t>(width);
    out[1] = static_cast<std::uint8_t>(width >> 8);
    out[2] = static_cast<std::uint8_t>(height);
    out[3] = static_cast<std::uint8_t>(height >> 8);
    out[4] = static_cast<std::uint8_t>(quality);
    out[7] = options;
    std::copy(body.begin(), body.end(), out.begin() + 8);
    return out;
}

// Bits appended least significant first (the type-3 token order).
struct LsbBits {
    Bytes bytes;
    int used = 0;
    void put(std::uint32_t value, int count) {
        for (int i = 0; i < count; ++i) {
            if (used == 0) bytes.push_back(0);
            bytes.back() |= static_cast<std::uint8_t>(((value >> i) & 1) << used);
            used = (used + 1) & 7;
        }
    }
};

// Bits appended most significant first into little-endian 32-bit words (the type-4 order).
struct WordBits {
    std::vector<int> bits;
    void put(const char* code) {
        for (; *code; ++code) bits.push_back(*code == '1');
    }
    void put(std::uint32_t value, int count) {
        for (int i = count - 1; i >= 0; --i) bits.push_back((value >> i) & 1);
    }
    Bytes bytes() const {
        Bytes out((bits.size() + 31) / 32 * 4, 0);
        for (std::size_t p = 0; p < bits.size(); ++p)
            if (bits[p])
                out[p / 32 * 4 + 3 - (p % 32) / 8] |= static_cast<std::uint8_t>(0x80 >> (p % 8));
        return out;
    }
};

// Red, green and blue (8-bit) of a decoded pixel in a 16-bit or 32-bit display format.
inline void pixelColour(std::uint32_t p, const PixelFormat& f, double rgb[3]) {
    const LONG bits[3] = {f.redBits, f.greenBits, f.blueBits};
    const LONG shifts[3] = {f.redShift, f.greenShift, f.blueShift};
    for (int c = 0; c < 3; ++c) {
        const std::uint32_t max = (1u << bits[c]) - 1;
        rgb[c] = ((p >> shifts[c]) & max) * 255.0 / max;
    }
}

inline double psnr(double squaredError, double count) {
    return squaredError == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 * count / squaredError);
}

// PSNR of a decoded picture against the source: RGB variants against the source's colours (the
// encoders aim at what type 4's component conversion shows), YUY2 against the samples the type-4
// encoder codes for that conversion, twice over: luma 15 above the source's, chroma as chosen.
inline double decodedPsnr(const YuvPicture& source, const Target& target, Variant variant,
                          const PixelFormat& format) {
    double error = 0, count = 0;
    for (int y = 0; y < source.height; ++y) {
        for (int x = 0; x < source.width; ++x) {
            const double luma = source.lumaAt(x, y);
            const double u = source.cbAt(x / 2, y / 2) - 128.0;
            const double v = source.crAt(x / 2, y / 2) - 128.0;
            if (variant == Variant::type4Yuy2) {
                const std::uint8_t* quad =
                    target.origin() + static_cast<std::ptrdiff_t>(y) * target.pitch + (x & ~1) * 2;
                const double got[3] = {double(quad[(x & 1) * 2]), double(quad[1]), double(quad[3])};
                const double want[3] = {
                    std::min(2 * componentLumaSample(source.lumaAt(x, y)), 255.0),
                    2.0 * componentCbSample(source.cbAt(x / 2, y / 2)),
                    2.0 * componentCrSample(source.crAt(x / 2, y / 2))};
                for (int c = 0; c < 3; ++c) error += (got[c] - want[c]) * (got[c] - want[c]);
                count += 3;
                continue;
            }
            auto clamp = [](double c) { return c < 0 ? 0.0 : (c > 255 ? 255.0 : c); };
            const double want[3] = {clamp(luma + 1.402 * v), clamp(luma - 0.3441 * u - 0.7141 * v),
                                    clamp(luma + 1.772 * u)};
            double got[3];
            pixelColour(target.pixel(x, y, pixelBytes(variant)), format, got);
            for (int c = 0; c < 3; ++c) error += (got[c] - want[c]) * (got[c] - want[c]);
            count += 3;
        }
    }
    return psnr(error, count);
}

} // namespace dcttest
