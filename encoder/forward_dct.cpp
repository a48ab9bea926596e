#include "encoder/forward_dct.h"
#include "encoder/dct_encoder.h"

#include <array>
#include <cmath>
#include <numbers>

#include "video/dct/simd_switch.h"

namespace {

// One 8-point transform of the fast factorisation (five multiplications), unnormalised: a
// row pass and a column pass give 8·s(h)·s(v) times the orthonormal coefficient of (h, v),
// with s(0) = 1 and s(k) = √2·cos(kπ/16).
void scaledDct8(const double* in, int stride, double* out, int ostride) {
    const double t0 = in[0] + in[7 * stride], t7 = in[0] - in[7 * stride];
    const double t1 = in[stride] + in[6 * stride], t6 = in[stride] - in[6 * stride];
    const double t2 = in[2 * stride] + in[5 * stride], t5 = in[2 * stride] - in[5 * stride];
    const double t3 = in[3 * stride] + in[4 * stride], t4 = in[3 * stride] - in[4 * stride];
    const double e10 = t0 + t3, e13 = t0 - t3, e11 = t1 + t2, e12 = t1 - t2;
    out[0] = e10 + e11;
    out[4 * ostride] = e10 - e11;
    const double z1 = (e12 + e13) * 0.70710678118654752;
    out[2 * ostride] = e13 + z1;
    out[6 * ostride] = e13 - z1;
    const double o10 = t4 + t5, o11 = t5 + t6, o12 = t6 + t7;
    const double z5 = (o10 - o12) * 0.38268343236508977;
    const double z2 = 0.54119610014619698 * o10 + z5;
    const double z4 = 1.30656296487637652 * o12 + z5;
    const double z3 = o11 * 0.70710678118654752;
    const double z11 = t7 + z3, z13 = t7 - z3;
    out[5 * ostride] = z13 + z2;
    out[3 * ostride] = z13 - z2;
    out[ostride] = z11 + z4;
    out[7 * ostride] = z11 - z4;
}

} // namespace

const double* forwardDctDescale() {
    static const auto table = [] {
        std::array<double, 64> t{};
        for (int h = 0; h < 8; ++h) {
            for (int v = 0; v < 8; ++v) {
                const double sh =
                    h == 0 ? 1.0 : std::numbers::sqrt2 * std::cos(h * std::numbers::pi / 16);
                const double sv =
                    v == 0 ? 1.0 : std::numbers::sqrt2 * std::cos(v * std::numbers::pi / 16);
                t[8 * h + v] = 1.0 / (8 * sh * sv);
            }
        }
        return t;
    }();
    return table.data();
}

DctBlock forwardDct(const DctBlock& samples) {
    // Along each row (horizontal frequency h), then down each column; both passes scale.
    double rows[64]; // rows[8n + h]
    for (int n = 0; n < 8; ++n) scaledDct8(&samples[8 * n], 1, &rows[8 * n], 1);
    DctBlock out;
    for (int h = 0; h < 8; ++h) scaledDct8(&rows[h], 8, &out[8 * h], 1);
    const double* d = forwardDctDescale();
    for (int i = 0; i < 64; ++i) out[i] *= d[i];
    return out;
}

void forwardDctBytesPlain(const std::uint8_t* rows, std::ptrdiff_t stride, int offset,
                          double* out) {
    double samples[64];
    for (int n = 0; n < 8; ++n)
        for (int m = 0; m < 8; ++m) samples[8 * n + m] = rows[n * stride + m] + offset;
    // Along each row (horizontal frequency h), then down each column; both passes scale.
    double passed[64]; // passed[8n + h]
    for (int n = 0; n < 8; ++n) scaledDct8(&samples[8 * n], 1, &passed[8 * n], 1);
    for (int h = 0; h < 8; ++h) scaledDct8(&passed[h], 8, &out[h], 8);
    const double* d = forwardDctDescale();
    for (int i = 0; i < 64; ++i) out[transposedIndex(i)] *= d[i];
}

std::uint64_t divideCoefficientsPlain(const double* coefficients, double factor,
                                      const double* divisors, double* quotients) {
    std::uint64_t nonzero = 0;
    for (int i = 0; i < 64; ++i) {
        quotients[i] = coefficients[i] * factor / divisors[i];
        nonzero |= std::uint64_t{std::fabs(quotients[i]) >= 0.5} << i;
    }
    return nonzero;
}

DivideForm divideCoefficients() {
#if QZ_X86_SIMD
    if (simdLevel() != SimdLevel::none) return divideCoefficientsAvx2;
#endif
    return divideCoefficientsPlain;
}

ForwardDctForm forwardDctBytes() {
#if QZ_X86_SIMD
    if (simdLevel() != SimdLevel::none) return forwardDctBytesAvx2;
#endif
    return forwardDctBytesPlain;
}

#if !QZ_X86_SIMD
void forwardDctBytesAvx2(const std::uint8_t* rows, std::ptrdiff_t stride, int offset, double* out) {
    forwardDctBytesPlain(rows, stride, offset, out);
}
std::uint64_t divideCoefficientsAvx2(const double* coefficients, double factor,
                                     const double* divisors, double* quotients) {
    return divideCoefficientsPlain(coefficients, factor, divisors, quotients);
}
#endif
