// The process-wide choice between the decoders' AVX2 forms and their plain forms. The AVX2 forms
// are compiled for that instruction set only in the functions that use it (no global compiler
// flag), so the choice is made at run time from the processor's features.
#pragma once

// QZ_X86_SIMD is 1 where the AVX2 forms are compiled in (x86 with GCC or Clang), else 0.
#if (defined(__x86_64__) || defined(__i386__)) && (defined(__GNUC__) || defined(__clang__))
#define QZ_X86_SIMD 1
#define QZ_TARGET_AVX2 __attribute__((target("avx2")))
// For the small helpers of AVX2 functions, which the compiler would not always inline.
#define QZ_INLINE_AVX2 __attribute__((target("avx2"), always_inline)) inline
#else
#define QZ_X86_SIMD 0
#endif

// Whether the decoders use their AVX2 forms: on from the start when the processor has AVX2.
bool simdEnabled();
// Turns the AVX2 forms on or off for the whole process (tests use it to cover the plain forms);
// on a processor without AVX2 they stay off. Not to be called while a frame is being decoded.
void setSimdEnabled(bool on);
// Whether the processor has AVX2 and the AVX2 forms are compiled in.
bool simdAvailable();
