// The DOR macroblock writer with byte permutes: every slot made a picture byte by saturating
// packs, then each pair of picture rows put together from the packed bytes by two permutes.
#include "video/dor/dor_macroblock.h"

#if QZ_X86_SIMD

#include <cstdint>

#include "video/dct/packed_bytes_vbmi.h"

namespace {

using qzsimd::packedLimited;
using qzsimd::packedPosition;

// Byte orders of the rows: for rows 2c and 2c + 1 (64 bytes, eight words each), the chroma bytes
// (V from the first register, U from the second) of chroma row c, and the luma bytes from the
// packed register of their four rows (rows 0-1 or 2-3 of it).
struct WriterOrders {
    alignas(64) std::uint8_t chroma[8][64];
    alignas(64) std::uint8_t luma[2][64];
};

constexpr WriterOrders makeWriterOrders() {
    WriterOrders o{};
    for (int b = 0; b < 64; ++b) {
        const int row = b / 32, word = (b % 32) / 4, byte = b % 4;
        for (int c = 0; c < 8; ++c) {
            const int at = packedPosition(8 * c + word);
            o.chroma[c][b] = static_cast<std::uint8_t>(byte == 0 ? at : 64 + at);
        }
        for (int pair = 0; pair < 2; ++pair) {
            // Byte 2 the right pixel of the word's pair, byte 3 the left one.
            const int column = 2 * word + (byte == 2 ? 1 : 0);
            o.luma[pair][b] =
                static_cast<std::uint8_t>(packedPosition(16 * (2 * pair + row) + column));
        }
    }
    return o;
}

constexpr WriterOrders writerOrders = makeWriterOrders();

// Each slot's integer part plus 64, limited to 0..127 (the sum in 32 bits, so the packs'
// saturation only limits).
QZ_INLINE_VBMI __m512i pictureByteOf(const LONG* p) {
    return _mm512_add_epi32(_mm512_srai_epi32(_mm512_loadu_si512(p), 16), _mm512_set1_epi32(64));
}

QZ_INLINE_VBMI __m512i packedPictureBytes(const LONG* slots) {
    return packedLimited(pictureByteOf(slots), pictureByteOf(slots + 16), pictureByteOf(slots + 32),
                         pictureByteOf(slots + 48));
}

} // namespace

QZ_TARGET_VBMI void writeDorMacroblockVbmi(const LONG* luma, const LONG* u, const LONG* v,
                                           BYTE* dest, std::ptrdiff_t stride) {
    const __m512i vBytes = packedPictureBytes(v), uBytes = packedPictureBytes(u);
    // Bytes 2 and 3 of every word from the luma.
    const __mmask64 lumaBytes = 0xCCCCCCCCCCCCCCCCull;
    for (int q = 0; q < 4; ++q) {
        const __m512i lumaRows = packedPictureBytes(luma + 64 * q);
        for (int pair = 0; pair < 2; ++pair) {
            const int c = 2 * q + pair;
            const __m512i chroma =
                _mm512_permutex2var_epi8(vBytes, _mm512_load_si512(writerOrders.chroma[c]), uBytes);
            const __m512i words = _mm512_mask_permutexvar_epi8(
                chroma, lumaBytes, _mm512_load_si512(writerOrders.luma[pair]), lumaRows);
            BYTE* out = dest + 2 * c * stride;
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), _mm512_castsi512_si256(words));
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + stride),
                                _mm512_extracti64x4_epi64(words, 1));
        }
    }
}

#endif
