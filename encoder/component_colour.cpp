#include "encoder/component_colour.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace {

// The conversion's terms in lane units (half an 8-bit level), as its tables hold them: a chroma
// sample c is taken as x = c - 64 + 0.5 and each product k·x becomes trunc(0.5 + k·x).
int laneTerm(double k, int sample) {
    const double x = std::clamp(sample - 64, -64, 63) + 0.5;
    return static_cast<int>(std::trunc(0.5 + k * x));
}

constexpr double blueFromCb = 1.772, greenFromCb = -0.3441;
constexpr double redFromCr = 1.402, greenFromCr = -0.7141;

// The chroma sample whose two terms (in 8-bit levels) come closest to the textbook products of
// the 8-bit chroma value.
int bestChromaSample(int chroma, double kMain, double kGreen) {
    const double wantMain = kMain * (chroma - 128), wantGreen = kGreen * (chroma - 128);
    int best = 63;
    double bestError = 1e30;
    for (int s = 0; s < 128; ++s) {
        const double main = 2.0 * laneTerm(kMain, s) - wantMain;
        const double green = 2.0 * laneTerm(kGreen, s) - wantGreen;
        const double error = main * main + green * green;
        if (error < bestError) bestError = error, best = s;
    }
    return best;
}

std::array<int, 256> chromaTable(double kMain, double kGreen) {
    std::array<int, 256> t{};
    for (int c = 0; c < 256; ++c) t[c] = bestChromaSample(c, kMain, kGreen);
    return t;
}

} // namespace

int componentCbSample(int cb) {
    static const std::array<int, 256> table = chromaTable(blueFromCb, greenFromCb);
    return table[std::clamp(cb, 0, 255)];
}

int componentCrSample(int cr) {
    static const std::array<int, 256> table = chromaTable(redFromCr, greenFromCr);
    return table[std::clamp(cr, 0, 255)];
}
