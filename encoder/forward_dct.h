// The encoders' forward transform straight from 8-bit samples, in a plain form and an AVX2 form
// that give the same doubles bit for bit (the same operations in the same order), chosen at run
// time by the vector level in use.
#pragma once

#include <cstddef>
#include <cstdint>

// Coefficient order of these forms: transposed against DctBlock, the coefficient of horizontal
// frequency h and vertical frequency v at 8v + h (so the vector form stores without a last
// transposition).
constexpr int transposedIndex(int i) {
    return 8 * (i & 7) + (i >> 3);
}

// The transform of forwardDct() of the 8×8 samples rows[n·stride + m] + offset, written to
// out[8v + h]. Either form, or the one in use.
using ForwardDctForm = void (*)(const std::uint8_t* rows, std::ptrdiff_t stride, int offset,
                                double* out);
void forwardDctBytesPlain(const std::uint8_t* rows, std::ptrdiff_t stride, int offset, double* out);
void forwardDctBytesAvx2(const std::uint8_t* rows, std::ptrdiff_t stride, int offset, double* out);
ForwardDctForm forwardDctBytes();

// The factor that takes the two unnormalised passes to the orthonormal scale, at 8h + v.
const double* forwardDctDescale();

// quotients[i] = coefficients[i] × factor / divisors[i] for the 64 entries; returns the mask of
// the quotients at least 0.5 in size (those whose rounding is not zero). Either form, or the
// one in use.
using DivideForm = std::uint64_t (*)(const double* coefficients, double factor,
                                     const double* divisors, double* quotients);
std::uint64_t divideCoefficientsPlain(const double* coefficients, double factor,
                                      const double* divisors, double* quotients);
std::uint64_t divideCoefficientsAvx2(const double* coefficients, double factor,
                                     const double* divisors, double* quotients);
DivideForm divideCoefficients();
