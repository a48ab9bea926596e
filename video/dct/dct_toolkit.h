// The 8×8 transform toolkit shared by the DCT frame formats: scan order, the prescale and intra
// weight tables every quantiser is built on, and the separable inverse transform with its exact
// integer and double-precision rounding.
//
// A coefficient block holds 64 dequantised coefficients; the coefficient of horizontal
// frequency h and vertical frequency v sits at index 8h + v (the transpose of row-major order).
#pragma once

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "platform/win32.h"
#include "video/dct/simd_switch.h"

inline constexpr int dctBlockSize = 64;

// Zeroes a coefficient block by sixteen 16-byte stores written out one by one: GCC
// makes a memset of this size, or a loop of the same stores, into a string store (rep stos),
// whose start-up costs several times these stores on every block read.
inline void clearCoefficients(LONG* coeff) {
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    __m128i* p = reinterpret_cast<__m128i*>(coeff);
    _mm_storeu_si128(p + 0, zero);
    _mm_storeu_si128(p + 1, zero);
    _mm_storeu_si128(p + 2, zero);
    _mm_storeu_si128(p + 3, zero);
    _mm_storeu_si128(p + 4, zero);
    _mm_storeu_si128(p + 5, zero);
    _mm_storeu_si128(p + 6, zero);
    _mm_storeu_si128(p + 7, zero);
    _mm_storeu_si128(p + 8, zero);
    _mm_storeu_si128(p + 9, zero);
    _mm_storeu_si128(p + 10, zero);
    _mm_storeu_si128(p + 11, zero);
    _mm_storeu_si128(p + 12, zero);
    _mm_storeu_si128(p + 13, zero);
    _mm_storeu_si128(p + 14, zero);
    _mm_storeu_si128(p + 15, zero);
#else
    std::memset(coeff, 0, dctBlockSize * sizeof(LONG));
#endif
}

// Index in the coefficient block of the k-th coefficient in bitstream order.
extern const BYTE zigzag[dctBlockSize];
// round(8192 / (s(h) × s(v))) with s(0) = 1 and s(k) = √2·cos(kπ/16), indexed 8h + v.
extern const LONG prescale[dctBlockSize];
// Default intra quantiser weights, indexed 8h + v.
extern const LONG intraWeights[dctBlockSize];

// One line of eight frequencies x to eight samples y. Integer steps wrap modulo 2^32.
void idct8(const LONG x[8], LONG y[8]);

// Inverse transform of a coefficient block: vertical frequencies first, then horizontal. Each
// output sample is shifted right arithmetically by shift (0 to 31) and stored at
// dest[n × stride + m] for block row n and column m. Runs the form of the record in use
// (videoDsp()); the decoders call the record's entry directly.
void idctBlock(const LONG coeff[dctBlockSize], LONG* dest, int stride, int shift);
// The scalar form, with shortcuts for lines whose inputs are zero.
void idctBlockScalar(const LONG coeff[dctBlockSize], LONG* dest, int stride, int shift);
#if QZ_X86_SIMD
// Eight lines at a time in AVX2 registers, the doubles four at a time; only for processors with
// AVX2. The AVX-512F form takes the doubles eight at a time.
void idctBlockAvx2(const LONG coeff[dctBlockSize], LONG* dest, int stride, int shift);
void idctBlockAvx512(const LONG coeff[dctBlockSize], LONG* dest, int stride, int shift);
#endif

// The transform of a block whose only coefficients are coeff[0], coeff[1] and coeff[8] (the
// first three in bitstream order; the others are not read): the same outputs as idctBlock.
// The first pass leaves every column of coefficient row 1 at coeff[8], and row 0 at coeff[0]
// plus the odd half of coeff[1]; the second adds the odd half of coeff[8] along each row.
void idctLowBlock(const LONG coeff[dctBlockSize], LONG* dest, int stride, int shift);
// The last scan position a block may hold a coefficient at and still go through idctLowBlock.
inline constexpr int lowBlockLastScan = 2;
// Zeroes the three coefficients such a block can hold.
inline void clearLowBlock(LONG coeff[dctBlockSize]) {
    coeff[0] = 0;
    coeff[zigzag[1]] = 0;
    coeff[zigzag[2]] = 0;
}

// Two blocks at once: the same outputs as idctBlock(coeffA, destA, strideA, shift) followed by
// idctBlock(coeffB, destB, strideB, shift), in about the time of one where AVX-512F is in use
// (elsewhere it is those two calls). The destinations must not overlap each other or either
// coefficient block.
void idctBlockPair(const LONG coeffA[dctBlockSize], const LONG coeffB[dctBlockSize], LONG* destA,
                   LONG* destB, int strideA, int strideB, int shift);
#if QZ_X86_SIMD
void idctBlockPairAvx512(const LONG coeffA[dctBlockSize], const LONG coeffB[dctBlockSize],
                         LONG* destA, LONG* destB, int strideA, int strideB, int shift);
#endif
// The same transform without any shortcut; kept to hold the fast forms to.
void idctBlockPlain(const LONG coeff[dctBlockSize], LONG* dest, int stride, int shift);
