// Type-4 quantiser, frame loop and the three output conversions.
#include "video/type4/type4_decoder.h"

#include <algorithm>
#include <cstring>

#include "video/colour_tables.h"
#include "video/dct/dct_toolkit.h"
#include "video/dct/dsp_constants.h"
#include "video/dct/macroblock_output.h"
#include "video/dsp_table.h"

namespace {

using U32 = std::uint32_t;

// Component sums of the pixel pair j: the chroma lanes shared, each luma added.
void componentSums(const LONG* luma, const LONG* cb, const LONG* cr, int j, U32 sums[2]) {
    const U32 chroma = static_cast<U32>(clampedComponent(uComponent, cb[j])) +
                       static_cast<U32>(clampedComponent(vComponent, cr[j]));
    sums[0] = static_cast<U32>(clampedComponent(yComponent, luma[2 * j])) + chroma;
    sums[1] = static_cast<U32>(clampedComponent(yComponent, luma[2 * j + 1])) + chroma;
}

U32 lanePixel(const Type4LaneTables& lanes, U32 sum) {
    return lanes.red[sum >> dsp::redLaneShift] |
           lanes.green[(sum >> dsp::greenLaneShift) & dsp::laneFieldMask] |
           lanes.blue[sum & dsp::laneFieldMask];
}

#if QZ_X86_SIMD
// Writes half h of a macroblock whose two luma blocks and both chroma blocks there are flat:
// every row is eight pixels of the left block's value and eight of the right one's. A pixel
// pair of one sum is that sum's entry whole (on 16-bit displays its two halves are the pair).
// The pixel size is a constant, so the row copies are a few vector moves (GCC makes a copy of
// a size known only at run time a string move, which costs more than the row).
template <int pixelBytes>
void fillFlatHalf(const Type4LaneTables& lanes, const MacroblockPlanes& planes, int h, BYTE* dest,
                  LONG pitch) {
    const LONG* luma = planes.luma + 128 * h;
    const LONG cb[1] = {planes.cb[32 * h]}, cr[1] = {planes.cr[32 * h]};
    const LONG sides[2] = {luma[0], luma[8]};
    std::uint32_t row[16];
    for (int side = 0; side < 2; ++side) {
        const LONG pair[2] = {sides[side], sides[side]};
        U32 sums[2];
        componentSums(pair, cb, cr, 0, sums);
        const U32 pixel = lanePixel(lanes, sums[0]);
        const int count = pixelBytes == 2 ? 4 : 8;
        for (int i = 0; i < count; ++i) row[side * count + i] = pixel;
    }
    for (int r = 0; r < 8; ++r)
        std::memcpy(dest + (8 * h + r) * static_cast<std::ptrdiff_t>(pitch), row,
                    static_cast<std::size_t>(16 * pixelBytes));
}
#endif

// The 16 rows of a macroblock through a row conversion; in a half whose rows are all the same,
// the first is converted and copied.
template <class Row>
void macroblockRows(const MacroblockPlanes& planes, unsigned sameRows, BYTE* dest, LONG pitch,
                    int pixelBytes, Row&& row) {
    for (int r = 0; r < 16; ++r) {
        BYTE* out = dest + r * static_cast<std::ptrdiff_t>(pitch);
        if ((r & 7) != 0 && (sameRows >> (r >> 3) & 1u) != 0) {
            std::memcpy(out, out - static_cast<std::ptrdiff_t>(pitch),
                        static_cast<std::size_t>(16 * pixelBytes));
            continue;
        }
        row(planes.luma + 16 * r, planes.cb + 8 * (r >> 1), planes.cr + 8 * (r >> 1), out);
    }
}

using RgbRow = void (*)(const Type4LaneTables&, const LONG*, const LONG*, const LONG*, BYTE*);

template <RgbRow row, int pixelBytes>
void rgbRows(const GammaLaneTables& lanes, const ByteLaneTables*, const MacroblockPlanes& planes,
             unsigned sameRows, BYTE* dest, LONG pitch) {
    macroblockRows(planes, sameRows, dest, pitch, pixelBytes,
                   [&](const LONG* luma, const LONG* cb, const LONG* cr, BYTE* out) {
                       row(lanes, luma, cb, cr, out);
                   });
}

void yuy2Rows(const MacroblockPlanes& planes, unsigned sameRows, BYTE* dest, LONG pitch) {
    macroblockRows(planes, sameRows, dest, pitch, 2, type4Yuy2Row);
}

#if QZ_X86_SIMD
template <int pixelBytes>
void rgbAvx512(const GammaLaneTables& lanes, const ByteLaneTables*, const MacroblockPlanes& planes,
               unsigned sameRows, BYTE* dest, LONG pitch) {
    const unsigned copied =
        ((sameRows & 1u) != 0 ? 0xFEu : 0u) | ((sameRows & 2u) != 0 ? 0xFE00u : 0u);
    type4MacroblockAvx512(lanes, planes.luma, planes.cb, planes.cr, dest, pitch, pixelBytes,
                          copied);
}

using ByteMacroblock = void (*)(const ByteLaneTables&, const LONG*, const LONG*, const LONG*, BYTE*,
                                LONG, int, unsigned);

// A byte form: the halves whose rows differ through macroblock, the others filled from their
// first pixels.
template <int pixelBytes, ByteMacroblock macroblock>
void rgbBytes(const GammaLaneTables& lanes, const ByteLaneTables* bytes,
              const MacroblockPlanes& planes, unsigned sameRows, BYTE* dest, LONG pitch) {
    const unsigned halves = ~sameRows & 3u;
    if (halves != 0)
        macroblock(*bytes, planes.luma, planes.cb, planes.cr, dest, pitch, pixelBytes, halves);
    for (int h = 0; h < 2; ++h)
        if ((sameRows >> h & 1u) != 0) fillFlatHalf<pixelBytes>(lanes, planes, h, dest, pitch);
}

// The byte form of the AVX2 windows where the tables have windows, else the level's gathering
// form.
template <int pixelBytes, RgbMacroblockForm gathering>
void rgbWindows(const GammaLaneTables& lanes, const ByteLaneTables* bytes,
                const MacroblockPlanes& planes, unsigned sameRows, BYTE* dest, LONG pitch) {
    if (bytes->windowed)
        rgbBytes<pixelBytes, type4MacroblockWindowAvx2>(lanes, bytes, planes, sameRows, dest,
                                                        pitch);
    else
        gathering(lanes, bytes, planes, sameRows, dest, pitch);
}

void yuy2Avx2(const MacroblockPlanes& planes, unsigned, BYTE* dest, LONG pitch) {
    type4Yuy2MacroblockAvx2(planes.luma, planes.cb, planes.cr, dest, pitch);
}

void yuy2Avx512(const MacroblockPlanes& planes, unsigned, BYTE* dest, LONG pitch) {
    type4Yuy2MacroblockAvx512(planes.luma, planes.cb, planes.cr, dest, pitch);
}
#endif

// The frame loop: every macroblock decoded, the visible ones written by write(planes,
// sameRows, dest, pitch).
template <class Write>
void decodeType4(VideoState* video, const BYTE* data, BYTE* target, LONG pitch, int pixelBytes,
                 Write&& write) {
    resetType4Frame(video, data);
    const LONG columns = macroblockCount(video->width);
    const LONG rows = macroblockCount(video->height);
    const ClipBox clip = videoClipBox(video);
    MacroblockPlanes planes;
    Type4Stream stream(video);
    for (LONG my = 0; my < rows; ++my) {
        const std::int64_t y = std::int64_t{my} * 16;
        if (y >= clip.bottom) break; // nothing below the clip box can be visible
        for (LONG mx = 0; mx < columns; ++mx) {
            const std::int64_t x = std::int64_t{mx} * 16;
            // Hidden macroblocks are still decoded: the bit position and the predictors run on.
            bool flat[6];
            stream.macroblock(planes, flat);
            // In a half macroblock whose two luma blocks and both chroma blocks are flat, every
            // row is the same: it is converted once and copied.
            const unsigned sameRows = (flat[0] && flat[1] && flat[4] && flat[5] ? 1u : 0u) |
                                      (flat[2] && flat[3] && flat[4] && flat[5] ? 2u : 0u);
            placeMacroblock(clip, target, pitch, pixelBytes, x, y,
                            [&](BYTE* dest, LONG p) { write(planes, sameRows, dest, p); });
        }
    }
    stream.finish();
}

// The RGB frame loop with the record's form, the byte-permute one where the record has it and
// the colour tables allow it.
void decodeType4Rgb(VideoState* video, const BYTE* data, BYTE* target, LONG pitch, int pixelBytes,
                    RgbMacroblockForm form, RgbMacroblockForm byteForm) {
    const Type4LaneTables& lanes = currentGammaLanes();
    const ByteLaneTables* bytes = byteForm != nullptr ? currentByteLanes() : nullptr;
    if (bytes != nullptr) form = byteForm;
    decodeType4(video, data, target, pitch, pixelBytes,
                [&](const MacroblockPlanes& planes, unsigned sameRows, BYTE* dest, LONG p) {
                    form(lanes, bytes, planes, sameRows, dest, p);
                });
}

} // namespace

void type4Yuy2RowPlain(const LONG* luma, const LONG* cb, const LONG* cr, BYTE* dest) {
    for (int j = 0; j < 8; ++j) {
        dest[4 * j] = static_cast<BYTE>(clampedByte(luma[2 * j]));
        dest[4 * j + 1] = static_cast<BYTE>(clampedByte(cb[j]));
        dest[4 * j + 2] = static_cast<BYTE>(clampedByte(luma[2 * j + 1]));
        dest[4 * j + 3] = static_cast<BYTE>(clampedByte(cr[j]));
    }
}

// The byte clamp's entry for a sample is 2 × sample limited to 0..255, whatever the display;
// computed here rather than looked up, the row vectorises.
void type4Yuy2Row(const LONG* luma, const LONG* cb, const LONG* cr, BYTE* dest) {
    auto clampTwice = [](LONG s) {
        return static_cast<BYTE>(std::clamp<LONG>(2 * std::clamp<LONG>(s, -256, 256), 0, 255));
    };
    BYTE out[32];
    for (int j = 0; j < 8; ++j) {
        out[4 * j] = clampTwice(luma[2 * j]);
        out[4 * j + 1] = clampTwice(cb[j]);
        out[4 * j + 2] = clampTwice(luma[2 * j + 1]);
        out[4 * j + 3] = clampTwice(cr[j]);
    }
    std::memcpy(dest, out, sizeof out);
}

void type4Rgb32RowPlain(const LONG* luma, const LONG* cb, const LONG* cr, BYTE* dest) {
    for (int j = 0; j < 8; ++j) {
        U32 sums[2];
        componentSums(luma, cb, cr, j, sums);
        const U32 pixels[2] = {static_cast<U32>(componentPixel(sums[0])),
                               static_cast<U32>(componentPixel(sums[1]))};
        std::memcpy(dest + 8 * j, pixels, 8);
    }
}

void type4Rgb16RowPlain(const LONG* luma, const LONG* cb, const LONG* cr, BYTE* dest) {
    for (int j = 0; j < 8; ++j) {
        U32 sums[2];
        componentSums(luma, cb, cr, j, sums);
        const std::uint16_t pixels[2] = {
            static_cast<std::uint16_t>(componentPixel(sums[0])),
            static_cast<std::uint16_t>(static_cast<U32>(componentPixel(sums[1])) >> 16)};
        std::memcpy(dest + 4 * j, pixels, 4);
    }
}

void type4Rgb32Row(const Type4LaneTables& lanes, const LONG* luma, const LONG* cb, const LONG* cr,
                   BYTE* dest) {
    for (int j = 0; j < 8; ++j) {
        U32 sums[2];
        componentSums(luma, cb, cr, j, sums);
        const U32 p0 = lanePixel(lanes, sums[0]), p1 = lanePixel(lanes, sums[1]);
        std::memcpy(dest + 8 * j, &p0, 4);
        std::memcpy(dest + 8 * j + 4, &p1, 4);
    }
}

void type4Rgb16Row(const Type4LaneTables& lanes, const LONG* luma, const LONG* cb, const LONG* cr,
                   BYTE* dest) {
    for (int j = 0; j < 8; ++j) {
        U32 sums[2];
        componentSums(luma, cb, cr, j, sums);
        const U32 pair =
            (lanePixel(lanes, sums[0]) & 0xFFFF) | (lanePixel(lanes, sums[1]) & 0xFFFF0000);
        std::memcpy(dest + 4 * j, &pair, 4);
    }
}

void setupType4Quant(LONG* quant, LONG quality) {
    for (int i = 0; i < dctBlockSize; ++i) {
        if (quality == 100) {
            quant[i] = prescale[i] * 8;
        } else {
            const std::int64_t f =
                std::int64_t{intraWeights[i]} * (107 - std::int64_t{quality}) * 4096;
            quant[i] = static_cast<LONG>(static_cast<U32>((prescale[i] * f + 32768) >> 16));
        }
    }
    quant[0] = 65536;
}

void decodeType4FrameRgb16(VideoState* video, const BYTE* data, BYTE* target, BYTE*, LONG pitch) {
    const VideoDsp& dsp = videoDsp();
    decodeType4Rgb(video, data, target, pitch, 2, dsp.type4Rgb16, dsp.type4Rgb16Bytes);
}

void decodeType4FrameRgb32(VideoState* video, const BYTE* data, BYTE* target, BYTE*, LONG pitch) {
    const VideoDsp& dsp = videoDsp();
    decodeType4Rgb(video, data, target, pitch, 4, dsp.type4Rgb32, dsp.type4Rgb32Bytes);
}

void decodeType4FrameYuy2(VideoState* video, const BYTE* data, BYTE* target, BYTE*, LONG pitch) {
    const Yuy2MacroblockForm form = videoDsp().type4Yuy2;
    decodeType4(video, data, target, pitch, 2,
                [&](const MacroblockPlanes& planes, unsigned sameRows, BYTE* dest, LONG p) {
                    form(planes, sameRows, dest, p);
                });
}

void addType4Forms(VideoDsp& dsp, SimdLevel step) {
    switch (step) {
    case SimdLevel::none:
        dsp.type4Rgb16 = rgbRows<type4Rgb16Row, 2>;
        dsp.type4Rgb32 = rgbRows<type4Rgb32Row, 4>;
        dsp.type4Yuy2 = yuy2Rows;
        break;
#if QZ_X86_SIMD
    case SimdLevel::avx2:
        dsp.type4Rgb16 = rgbRows<type4Rgb16RowAvx2, 2>;
        dsp.type4Rgb32 = rgbRows<type4Rgb32RowAvx2, 4>;
        dsp.type4Rgb16Bytes = rgbWindows<2, rgbRows<type4Rgb16RowAvx2, 2>>;
        dsp.type4Rgb32Bytes = rgbWindows<4, rgbRows<type4Rgb32RowAvx2, 4>>;
        dsp.type4Yuy2 = yuy2Avx2;
        break;
    case SimdLevel::avx512:
        dsp.type4Rgb16 = rgbAvx512<2>;
        dsp.type4Rgb32 = rgbAvx512<4>;
        dsp.type4Rgb16Bytes = rgbWindows<2, rgbAvx512<2>>;
        dsp.type4Rgb32Bytes = rgbWindows<4, rgbAvx512<4>>;
        dsp.type4Yuy2 = yuy2Avx512;
        break;
    case SimdLevel::avx512vbmi:
        dsp.type4Rgb16Bytes = rgbBytes<2, type4MacroblockVbmi>;
        dsp.type4Rgb32Bytes = rgbBytes<4, type4MacroblockVbmi>;
        break;
#endif
    default:
        break;
    }
}
