// The process-wide choice between the decoders' vector forms and their plain forms. The vector
// forms are compiled for their instruction sets only in the functions that use them (no global
// compiler flag), so the choice is made at run time from the processor's features.
#pragma once

// QZ_X86_SIMD is 1 where the vector forms are compiled in: x86 with GCC or Clang. MinGW GCC is
// left out: it cannot align the stack slots of 32-byte vectors on Windows, so a spilled
// register would fault.
#if (defined(__x86_64__) || defined(__i386__)) && (defined(__GNUC__) || defined(__clang__)) &&     \
    !(defined(_WIN32) && !defined(__clang__))
#define QZ_X86_SIMD 1
#define QZ_TARGET_AVX2 __attribute__((target("avx2")))
#define QZ_TARGET_AVX512 __attribute__((target("avx2,avx512f")))
// For the small helpers of vector functions, which the compiler would not always inline.
#define QZ_INLINE_AVX2 __attribute__((target("avx2"), always_inline)) inline
#define QZ_INLINE_AVX512 __attribute__((target("avx2,avx512f"), always_inline)) inline
// AVX-512 with byte and word permutes (BW and VBMI).
#define QZ_TARGET_VBMI __attribute__((target("avx2,avx512f,avx512bw,avx512vbmi")))
#define QZ_INLINE_VBMI                                                                             \
    __attribute__((target("avx2,avx512f,avx512bw,avx512vbmi"), always_inline)) inline
#else
#define QZ_X86_SIMD 0
#endif

// For the per-block readers that a macroblock's loop calls six times: inlined, the bit
// reader stays in registers across the blocks.
#if defined(__GNUC__)
#define QZ_ALWAYS_INLINE __attribute__((always_inline)) inline
#else
#define QZ_ALWAYS_INLINE inline
#endif

// The widest vector forms the decoders use: AVX-512F only where a form has one (the rest of the
// forms are AVX2 then); avx512vbmi adds the byte-table forms of the colour conversions, which
// need AVX-512BW and VBMI, and is otherwise avx512.
enum class SimdLevel { none, avx2, avx512, avx512vbmi };

// The level the processor allows (none where the vector forms are not compiled in).
SimdLevel simdAvailable();
// The level in use: from the start the one available (kept with the forms' record, see
// video/dsp_table.h).
SimdLevel simdLevel();
bool simdEnabled();
// Sets the level in use for the whole process, at most the available one, and with it the
// record of forms the decoders call (tests use it to cover every form). A frame being decoded
// keeps the record it started with.
void setSimdLevel(SimdLevel level);
