// Rounding to the nearest integer, halves away from zero, with the same result on every
// platform. std::lround is not that everywhere: some C libraries compute it from x + 0.5, which
// takes 0.49999999999999994 to 1, so the Windows build wrote other bits than the Linux build for
// the same movie.
#pragma once

#include <cmath>

// x rounded to the nearest integer, halves away from zero; x must fit in a long.
inline long roundHalfAway(double x) {
    // The conversion truncates toward zero like std::trunc, in one instruction instead of a
    // library call on processors without a rounding instruction.
    const long whole = static_cast<long>(x);
    const double rest =
        x - static_cast<double>(whole); // exact: x and its integer part share the exponent range
    // Without branches: the halves fall either way unpredictably.
    return whole + static_cast<long>(rest >= 0.5) - static_cast<long>(rest <= -0.5);
}
