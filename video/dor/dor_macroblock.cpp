// DOR predicted block copies, the whole-macroblock prediction and the macroblock writer.
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "video/dor/dor_macroblock.h"
#include "video/dsp_table.h"

namespace {

constexpr int sampleBias = 64; // a picture byte is its sample plus this
constexpr int maxPictureByte = 127;

std::ptrdiff_t rowBytes(const DorPicture& p) {
    return std::ptrdiff_t{p.width} * 2;
}

// The signed byte (b + v - 64) mod 256 as the integer part of a slot.
LONG predictedSlot(BYTE b, LONG v) {
    return LONG{static_cast<std::int8_t>(static_cast<BYTE>(b + v - sampleBias))} * 65536;
}

BYTE pictureByte(LONG slot) {
    return static_cast<BYTE>(std::clamp<LONG>((slot >> 16) + sampleBias, 0, maxPictureByte));
}

// The picture byte a predicted slot of byte b with offset v ends as.
BYTE predictedByte(BYTE b, LONG v) {
    return pictureByte(predictedSlot(b, v));
}

// Each slot becomes its picture byte; a plain loop the compiler can vectorise.
void pictureBytes(const LONG* slots, BYTE* bytes, int count) {
    for (int i = 0; i < count; ++i) bytes[i] = pictureByte(slots[i]);
}

// The luma copy of a block inside the picture, source at the word holding its first pixel. With
// an odd first pixel each row takes byte 2 of a word, then byte 3 of the next.
template <bool oddX>
void copyLumaInside(const BYTE* source, std::ptrdiff_t stride, LONG v, LONG* dest) {
    for (int i = 0; i < 8; ++i) {
        const BYTE* row = source + i * stride;
        for (int w = 0; w < 4; ++w) {
            dest[i * 16 + 2 * w] = predictedSlot(row[4 * w + (oddX ? 2 : 3)], v);
            dest[i * 16 + 2 * w + 1] = predictedSlot(row[4 * w + (oddX ? 7 : 2)], v);
        }
    }
}

// The whole-macroblock prediction from the source word of its first pixel: bytes 2 and 3 of
// each word from the luma rows, bytes 0 and 1 from the chroma rows (every other row).
template <bool oddX>
void predictInside(const BYTE* source, std::ptrdiff_t sourceStride, const LONG offsets[6],
                   BYTE* dest, std::ptrdiff_t stride) {
    for (int r = 0; r < 16; ++r) {
        const BYTE* luma = source + r * sourceStride;
        const BYTE* chroma = source + (r & ~1) * sourceStride;
        BYTE* out = dest + r * stride;
        for (int k = 0; k < 8; ++k) {
            const LONG v = offsets[(r >> 3) * 2 + (k >> 2)];
            out[4 * k] = predictedByte(chroma[4 * k], offsets[5]);
            out[4 * k + 1] = predictedByte(chroma[4 * k + 1], offsets[4]);
            out[4 * k + 2] = predictedByte(luma[4 * k + (oddX ? 7 : 2)], v);
            out[4 * k + 3] = predictedByte(luma[4 * k + (oddX ? 2 : 3)], v);
        }
    }
}

} // namespace

void copyDorLumaClamped(const DorPicture& ref, int k, LONG x, LONG y, LONG dx, LONG dy, LONG v,
                        LONG* dest) {
    const std::ptrdiff_t stride = rowBytes(ref);
    const LONG sx = x + dx + (k & 1) * 8;
    const LONG sy = y + dy + (k >> 1) * 8;
    for (LONG i = 0; i < 8; ++i) {
        const BYTE* row = ref.bytes + std::clamp(sy + i, LONG{0}, ref.height - 1) * stride;
        for (LONG j = 0; j < 8; ++j) {
            const LONG px = std::clamp(sx + j, LONG{0}, ref.width - 1);
            dest[i * 16 + j] = predictedSlot(row[(px >> 1) * 4 + 3 - (px & 1)], v);
        }
    }
}

void copyDorChromaClamped(const DorPicture& ref, int byte, LONG x, LONG y, LONG dx, LONG dy, LONG v,
                          LONG* dest) {
    const std::ptrdiff_t stride = rowBytes(ref);
    const LONG words = ref.width / 2;
    const LONG sw = x / 2 + (dx >> 1);
    const LONG sy = y + dy;
    for (LONG i = 0; i < 8; ++i) {
        const BYTE* row =
            ref.bytes + std::clamp(sy + 2 * i, LONG{0}, ref.height - 1) * stride + byte;
        for (LONG j = 0; j < 8; ++j)
            dest[i * 8 + j] = predictedSlot(row[std::clamp(sw + j, LONG{0}, words - 1) * 4], v);
    }
}

void copyDorLuma(const DorPicture& ref, int k, LONG x, LONG y, LONG dx, LONG dy, LONG v,
                 LONG* dest) {
    const LONG sx = x + dx + (k & 1) * 8;
    const LONG sy = y + dy + (k >> 1) * 8;
    if (sx < 0 || sx + 8 > ref.width || sy < 0 || sy + 8 > ref.height) {
        copyDorLumaClamped(ref, k, x, y, dx, dy, v, dest);
        return;
    }
    const std::ptrdiff_t stride = rowBytes(ref);
    const BYTE* source = ref.bytes + sy * stride + (sx >> 1) * 4;
    if (sx & 1)
        copyLumaInside<true>(source, stride, v, dest);
    else
        copyLumaInside<false>(source, stride, v, dest);
}

void copyDorChroma(const DorPicture& ref, int byte, LONG x, LONG y, LONG dx, LONG dy, LONG v,
                   LONG* dest) {
    const LONG sw = x / 2 + (dx >> 1);
    const LONG sy = y + dy;
    if (sw < 0 || sw + 8 > ref.width / 2 || sy < 0 || sy + 15 >= ref.height) {
        copyDorChromaClamped(ref, byte, x, y, dx, dy, v, dest);
        return;
    }
    const std::ptrdiff_t stride = rowBytes(ref);
    const BYTE* source = ref.bytes + sy * stride + sw * 4 + byte;
    for (int i = 0; i < 8; ++i)
        for (int j = 0; j < 8; ++j)
            dest[i * 8 + j] = predictedSlot(source[2 * i * stride + 4 * j], v);
}

void predictDorMacroblockPlain(const BYTE* source, std::ptrdiff_t sourceStride, bool oddX,
                               const LONG offsets[6], BYTE* dest, std::ptrdiff_t stride) {
    if (oddX)
        predictInside<true>(source, sourceStride, offsets, dest, stride);
    else
        predictInside<false>(source, sourceStride, offsets, dest, stride);
}

bool predictDorMacroblock(const DorPicture& ref, LONG x, LONG y, const DorMotion& motion,
                          BYTE* dest, std::ptrdiff_t stride, const VideoDsp& dsp) {
    // The luma rows decide: the chroma words and rows lie inside whenever they do.
    const LONG sx = x + motion.dx;
    const LONG sy = y + motion.dy;
    if (sx < 0 || sx + 16 > ref.width || sy < 0 || sy + 16 > ref.height) return false;
    const std::ptrdiff_t sourceStride = rowBytes(ref);
    const BYTE* source = ref.bytes + sy * sourceStride + (sx >> 1) * 4;
    dsp.predictDorInside(source, sourceStride, (sx & 1) != 0, motion.offsets, dest, stride);
    return true;
}

void writeDorFlatMacroblock(const LONG slots[6], BYTE* dest, std::ptrdiff_t stride) {
    const auto chroma =
        static_cast<std::uint32_t>(pictureByte(slots[5]) | pictureByte(slots[4]) << 8);
    for (int half = 0; half < 2; ++half) {
        BYTE row[32];
        for (int k = 0; k < 8; ++k) {
            const std::uint32_t luma = pictureByte(slots[2 * half + (k >> 2)]);
            const std::uint32_t word = chroma | luma << 16 | luma << 24;
            for (int b = 0; b < 4; ++b) row[4 * k + b] = static_cast<BYTE>(word >> (8 * b));
        }
        for (int r = 0; r < 8; ++r) std::memcpy(dest + (8 * half + r) * stride, row, sizeof row);
    }
}

void writeDorMacroblock(const LONG* lumaSlots, const LONG* uSlots, const LONG* vSlots, BYTE* dest,
                        std::ptrdiff_t stride) {
    BYTE luma[256];
    BYTE u[64];
    BYTE v[64];
    pictureBytes(lumaSlots, luma, 256);
    pictureBytes(uSlots, u, 64);
    pictureBytes(vSlots, v, 64);
    for (int r = 0; r < 16; ++r) {
        const BYTE* lumaRow = luma + 16 * r;
        const BYTE* uRow = u + 8 * (r >> 1);
        const BYTE* vRow = v + 8 * (r >> 1);
        BYTE* out = dest + r * stride;
        for (int k = 0; k < 8; ++k) {
            out[4 * k] = vRow[k];
            out[4 * k + 1] = uRow[k];
            out[4 * k + 2] = lumaRow[2 * k + 1];
            out[4 * k + 3] = lumaRow[2 * k];
        }
    }
}
