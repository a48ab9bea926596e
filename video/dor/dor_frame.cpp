// DOR frames: picture buffers and their roles, the macroblock loop (whole-macroblock prediction,
// block copies and transforms, the writer) and the conversion of a picture into display pixels.
#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

#include "video/colour_tables.h"
#include "video/dct/colour_rows.h"
#include "video/dct/dct_toolkit.h"
#include "video/dct/dsp_constants.h"
#include "video/dor/dor_bit_reader.h"
#include "video/dor/dor_decoder.h"
#include "video/dor/dor_macroblock.h"
#include "video/dsp_table.h"
#include "video/placement.h"

namespace {

using U32 = std::uint32_t;

constexpr LONG keyFrame = 5;
constexpr LONG motionFrame = 6;
constexpr LONG nonReferenceFrame = 7;

LONG readS16(const BYTE* p) {
    return static_cast<LONG>(static_cast<std::int16_t>(p[0] | (p[1] << 8)));
}

LONG roundUp16(LONG side) {
    return (side + 15) & ~LONG{15};
}

bool ensurePictures(VideoState* video, LONG width, LONG height) {
    if (video->dor.reference != nullptr && video->dor.width == width && video->dor.height == height)
        return true;
    releaseDorPictures(video);
    // Two bytes a pixel: the packed picture, V, U, Y1, Y0 for every pixel pair.
    const std::size_t bytes =
        static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 2;
    video->dor.reference = new (std::nothrow) BYTE[bytes]();
    video->dor.decoded = new (std::nothrow) BYTE[bytes]();
    video->dor.nonRef = new (std::nothrow) BYTE[bytes]();
    if (video->dor.reference == nullptr || video->dor.decoded == nullptr ||
        video->dor.nonRef == nullptr) {
        releaseDorPictures(video);
        return false;
    }
    video->dor.width = width;
    video->dor.height = height;
    return true;
}

// The decoding state of one frame, held in locals while its macroblocks are decoded.
struct FrameDecoder {
    VideoState* video;
    DorBitReader bits;
    DorPicture reference;
    BYTE* picture;
    std::ptrdiff_t stride;
    const VideoDsp& dsp;
    bool motion;
    alignas(32) LONG dequantScan[dctBlockSize];
    DorMacroblockCodes codes{};

    FrameDecoder(VideoState* c, BYTE* destination, bool motionFrame)
        : video(c), bits(c), reference{c->dor.reference, c->dor.width, c->dor.height},
          picture(destination), stride(std::ptrdiff_t{c->dor.width} * 2), dsp(videoDsp()),
          motion(motionFrame) {
        dorDequantInScanOrder(c->dor.dequant, dequantScan);
    }

    void writeSlots(BYTE* out) {
        dsp.writeDorMacroblock(video->dor.lumaBlock, video->dor.uBlock, video->dor.vBlock, out,
                               stride);
    }

    // Whether every block of an intra macroblock has only its DC value.
    bool allFlat() const {
        return (codes.ends[0] == 1) & (codes.ends[1] == 1) & (codes.ends[2] == 1) &
               (codes.ends[3] == 1) & (codes.ends[4] == 1) & (codes.ends[5] == 1);
    }

    void macroblock(LONG x, LONG y) {
        readDorMacroblock(bits, motion, dequantScan, codes);
        BYTE* out = picture + y * stride + x * 2;
        const DorMotion& m = codes.motion;
        if (codes.predicted == 0x3F && predictDorMacroblock(reference, x, y, m, out, stride, dsp))
            return;
        if (codes.predicted == 0 && allFlat()) {
            const LONG dc[6] = {codes.coeff[0][0], codes.coeff[1][0], codes.coeff[2][0],
                                codes.coeff[3][0], codes.coeff[4][0], codes.coeff[5][0]};
            writeDorFlatMacroblock(dc, out, stride);
            return;
        }
        LONG* dests[6];
        int pending[6], waiting = 0;
        for (int k = 0; k < 6; ++k) {
            LONG* dest = k < 4 ? video->dor.lumaBlock + (k >> 1) * 128 + (k & 1) * 8
                               : (k == 4 ? video->dor.uBlock : video->dor.vBlock);
            dests[k] = dest;
            if (codes.predicted & (1u << k)) {
                if (k < 4)
                    copyDorLuma(reference, k, x, y, m.dx, m.dy, m.offsets[k], dest);
                else
                    copyDorChroma(reference, k == 4 ? 1 : 0, x, y, m.dx, m.dy, m.offsets[k], dest);
            } else if (codes.ends[k] == 1) { // DC only: flat
                fillDorBlock(dest, k < 4 ? 16 : 8, codes.coeff[k][0]);
            } else if (codes.ends[k] <= lowBlockLastScan + 1) { // ends: one past the last
                idctLowBlock(codes.coeff[k], dest, k < 4 ? 16 : 8, 0);
                clearLowBlock(codes.coeff[k]);
            } else {
                pending[waiting++] = k;
            }
        }
        // The other intra blocks are transformed two at a time, then cleared.
        int i = 0;
        for (; i + 1 < waiting; i += 2) {
            const int a = pending[i], b = pending[i + 1];
            dsp.idctBlockPair(codes.coeff[a], codes.coeff[b], dests[a], dests[b], a < 4 ? 16 : 8,
                              b < 4 ? 16 : 8, 0);
        }
        if (i < waiting)
            dsp.idctBlock(codes.coeff[pending[i]], dests[pending[i]], pending[i] < 4 ? 16 : 8, 0);
        for (int j = 0; j < waiting; ++j) clearCoefficients(codes.coeff[pending[j]]);
        writeSlots(out);
    }
};

using LaneTables = GammaLaneTables;

// The display pixels of the pixel pair in a picture word: P of the left and of the right pixel.
inline void pairPixels(const LaneTables& lanes, const BYTE* word, U32& left, U32& right) {
    // A byte picks entry 256 + byte: inside the 512-entry tables for every byte value.
    const U32 chroma = static_cast<U32>(uComponent[dsp::componentOffset + word[1]]) +
                       static_cast<U32>(vComponent[dsp::componentOffset + word[0]]);
    const U32 s0 = static_cast<U32>(yComponent[dsp::componentOffset + word[3]]) + chroma;
    const U32 s1 = static_cast<U32>(yComponent[dsp::componentOffset + word[2]]) + chroma;
    left = lanes.red[s0 >> dsp::redLaneShift] |
           lanes.green[(s0 >> dsp::greenLaneShift) & dsp::laneFieldMask] |
           lanes.blue[s0 & dsp::laneFieldMask];
    right = lanes.red[s1 >> dsp::redLaneShift] |
            lanes.green[(s1 >> dsp::greenLaneShift) & dsp::laneFieldMask] |
            lanes.blue[s1 & dsp::laneFieldMask];
}

// Writes pixel column px (a pixel of a pair) of a row, 2 or 4 bytes a pixel. The left pixel of
// a pair takes the low half of its 16-bit entry, the right one the high half.
inline void storePixel(BYTE* row, LONG px, U32 p, bool right, int pixelBytes) {
    if (pixelBytes == 2) {
        const auto half = static_cast<std::uint16_t>(right ? p >> 16 : p);
        std::memcpy(row + px * 2, &half, 2);
    } else {
        std::memcpy(row + px * 4, &p, 4);
    }
}

// Shortest rest of a row the byte-permute step converts, cut short.
constexpr LONG dorByteStepRest = 32;

// The steps through the byte tables a row conversion takes first: none, the AVX2 form of the
// windows (where the tables have them), or the byte permutes.
enum class ByteSteps { none, windowsAvx2, permutes };

// A row through the steps of level, widest first, then the plain pairs; byteSteps adds steps
// that need the byte tables in front.
template <int pixelBytes, SimdLevel level, ByteSteps byteSteps = ByteSteps::none>
void convertRow(const LaneTables& lanes, [[maybe_unused]] const ByteLaneTables* bytes,
                const BYTE* words, BYTE* out, LONG left, LONG right) {
    LONG px = left;
    if (px & 1) { // a row starting at the right pixel of a pair
        U32 p0, p1;
        pairPixels(lanes, words + 4 * (px >> 1), p0, p1);
        storePixel(out, px, p1, true, pixelBytes);
        ++px;
    }
#if QZ_X86_SIMD
    if constexpr (byteSteps == ByteSteps::windowsAvx2) {
        if (bytes->windowed && right - px >= 64) {
            const LONG steps = (right - px) / 64;
            dorWordsToPixelsWindowAvx2(*bytes, words + 2 * px, out + px * pixelBytes, pixelBytes,
                                       steps);
            px += 64 * steps;
        }
    }
    if constexpr (byteSteps == ByteSteps::permutes) {
        for (; px + 128 <= right; px += 128)
            dorWordsToPixelsVbmi(*bytes, words + 2 * px, out + px * pixelBytes, pixelBytes);
        // A rest of 32 pixels or more goes through the same step cut short: one step costs
        // less than the gathers it replaces even when half of it is unused.
        if (right - px >= dorByteStepRest) {
            dorWordsToPixelsVbmi(*bytes, words + 2 * px, out + px * pixelBytes, pixelBytes,
                                 right - px);
            px = right;
        }
    }
    if constexpr (level >= SimdLevel::avx512) {
        for (; px + 32 <= right; px += 32)
            dorWordsToPixelsAvx512(lanes, words + 2 * px, out + px * pixelBytes, pixelBytes);
    }
    if constexpr (level >= SimdLevel::avx2) {
        for (; px + 16 <= right; px += 16)
            dorWordsToPixelsAvx2(lanes, words + 2 * px, out + px * pixelBytes, pixelBytes);
    }
#endif
    for (; px + 1 < right; px += 2) {
        U32 p0, p1;
        pairPixels(lanes, words + 2 * px, p0, p1);
        if constexpr (pixelBytes == 2) {
            const U32 pair = (p0 & 0xFFFF) | (p1 & 0xFFFF0000u);
            std::memcpy(out + px * 2, &pair, 4);
        } else {
            const U32 pair[2] = {p0, p1};
            std::memcpy(out + px * 4, pair, 8);
        }
    }
    if (px < right) { // a row ending at the left pixel of a pair
        U32 p0, p1;
        pairPixels(lanes, words + 2 * px, p0, p1);
        storePixel(out, px, p0, false, pixelBytes);
    }
}

} // namespace

void addDorForms(VideoDsp& dsp, SimdLevel step) {
    switch (step) {
    case SimdLevel::none:
        dsp.writeDorMacroblock = writeDorMacroblock;
        dsp.predictDorInside = predictDorMacroblockPlain;
        dsp.dorRow16 = convertRow<2, SimdLevel::none>;
        dsp.dorRow32 = convertRow<4, SimdLevel::none>;
        break;
#if QZ_X86_SIMD
    case SimdLevel::avx2:
        dsp.writeDorMacroblock = writeDorMacroblockAvx2;
        dsp.predictDorInside = predictDorMacroblockAvx2;
        dsp.dorRow16 = convertRow<2, SimdLevel::avx2>;
        dsp.dorRow32 = convertRow<4, SimdLevel::avx2>;
        dsp.dorRow16Bytes = convertRow<2, SimdLevel::avx2, ByteSteps::windowsAvx2>;
        dsp.dorRow32Bytes = convertRow<4, SimdLevel::avx2, ByteSteps::windowsAvx2>;
        break;
    case SimdLevel::avx512:
        dsp.dorRow16 = convertRow<2, SimdLevel::avx512>;
        dsp.dorRow32 = convertRow<4, SimdLevel::avx512>;
        dsp.dorRow16Bytes = convertRow<2, SimdLevel::avx512, ByteSteps::windowsAvx2>;
        dsp.dorRow32Bytes = convertRow<4, SimdLevel::avx512, ByteSteps::windowsAvx2>;
        break;
    case SimdLevel::avx512vbmi:
        dsp.writeDorMacroblock = writeDorMacroblockVbmi;
        dsp.dorRow16Bytes = convertRow<2, SimdLevel::avx512, ByteSteps::permutes>;
        dsp.dorRow32Bytes = convertRow<4, SimdLevel::avx512, ByteSteps::permutes>;
        break;
#endif
    default:
        break;
    }
}

const BYTE* decodeDorPicture(VideoState* video, const BYTE* payload, LONG type) {
    if (type != keyFrame && type != motionFrame && type != nonReferenceFrame) return nullptr;
    const BYTE* end = video->frameDataEnd;
    const std::ptrdiff_t size = end != nullptr && payload != nullptr ? end - payload : 0;
    if (size < 12) return nullptr;
    const LONG width = readS16(payload + 8);
    const LONG height = readS16(payload + 10);
    if (width <= 0 || height <= 0 || width > dorMaxSide || height > dorMaxSide) return nullptr;
    if (!ensurePictures(video, roundUp16(width), roundUp16(height))) return nullptr;
    const LONG q = size > 13 ? LONG{static_cast<std::int8_t>(payload[13])} : 0;
    startDorFrame(video, size >= dorHeaderBytes ? payload + dorHeaderBytes : end, q);

    FrameDecoder frame(video, type == nonReferenceFrame ? video->dor.nonRef : video->dor.decoded,
                       type != keyFrame);
    for (LONG y = 0; y < height; y += 16)
        for (LONG x = 0; x < width; x += 16) frame.macroblock(x, y);
    frame.bits.store(video);
    BYTE* picture = frame.picture;
    if (type == nonReferenceFrame) return picture;
    std::swap(video->dor.reference, video->dor.decoded);
    return video->dor.reference;
}

void convertDorPicture(const VideoState* video, const BYTE* picture, LONG width, LONG height,
                       BYTE* base, LONG pitch, int pixelBytes) {
    const std::ptrdiff_t stride = std::ptrdiff_t{video->dor.width} * 2;
    const LONG top = std::max<LONG>(video->clipTop, 0);
    const LONG bottom = std::min<LONG>(video->clipBottom, height - 1);
    const LONG left = std::max<LONG>(video->clipLeft, 0);
    const LONG right = std::min<LONG>(video->clipRight, width);
    if (left >= right || top >= bottom) return;
    const LaneTables& lanes = currentGammaLanes();
    const VideoDsp& dsp = videoDsp();
    DorRowForm row = pixelBytes == 2 ? dsp.dorRow16 : dsp.dorRow32;
    const DorRowForm byteRow = pixelBytes == 2 ? dsp.dorRow16Bytes : dsp.dorRow32Bytes;
    // The byte forms pay for themselves on rows of a few dozen pixels.
    const ByteLaneTables* bytes =
        byteRow != nullptr && right - left >= dorByteRowMin ? currentByteLanes() : nullptr;
    if (bytes != nullptr) row = byteRow;
    for (LONG i = top; i < bottom; ++i)
        row(lanes, bytes, picture + i * stride, base + static_cast<std::ptrdiff_t>(i) * pitch, left,
            right);
}

void decodeDorFrame(VideoState* video, const BYTE* payload, BYTE* base, LONG pitch, LONG type) {
    const LONG depth = video->output.pixelFormat.depth;
    if (!frameTypeShownAtDepth(type, depth)) return;
    const BYTE* picture = decodeDorPicture(video, payload, type);
    if (picture == nullptr || base == nullptr) return;
    convertDorPicture(video, picture, readS16(payload + 8), readS16(payload + 10), base, pitch,
                      displayPixelBytes(depth) == 4 ? 4 : 2);
}

void releaseDorPictures(VideoState* video) {
    delete[] video->dor.reference;
    delete[] video->dor.decoded;
    delete[] video->dor.nonRef;
    video->dor.reference = nullptr;
    video->dor.decoded = nullptr;
    video->dor.nonRef = nullptr;
    video->dor.width = 0;
    video->dor.height = 0;
}

bool frameTypeShownAtDepth(LONG type, LONG depth) {
    return !(type >= keyFrame && type <= nonReferenceFrame && depth == 8);
}
