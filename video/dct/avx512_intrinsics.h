// <immintrin.h> for the AVX-512 forms. GCC 12 warns of an uninitialised value inside its own
// AVX-512 intrinsics (their unused merge operand), so the warning is off in the files that
// include this one.
#pragma once

#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <immintrin.h>
