// The demo's moving test picture.
#include <algorithm>
#include <array>
#include <cmath>

#include "tools/demo_movie.h"
#include "encoder/rounding.h"

namespace qztool {

namespace {

using Rgb = std::array<double, 3>;

constexpr int barsBottom = 80;
constexpr int hueBottom = 160;
constexpr int rampBottom = 208;
constexpr int progressBottom = 212;
constexpr int cellTop = 218;
constexpr int cellSize = 16;
constexpr int counterBits = 8;
constexpr double ballRadius = 22;
// Type-3 frames convert colours without clamping, so ringing next to a fully saturated edge
// would wrap a channel round; the picture keeps every channel inside this margin.
constexpr double channelLow = 28;
constexpr double channelHigh = 228;

// Bars at three quarters of full level: grey, yellow, cyan, green, magenta, red, blue, black.
constexpr Rgb bars[8] = {{191, 191, 191}, {191, 191, 0}, {0, 191, 191}, {0, 191, 0},
                         {191, 0, 191},   {191, 0, 0},   {0, 0, 191},   {16, 16, 16}};

// Hue 0 to 1 around the colour circle at full saturation, scaled to value 0 to 255.
Rgb hueColour(double hue, double value) {
    hue = (hue - std::floor(hue)) * 6;
    const int sector = static_cast<int>(hue) % 6;
    const double f = hue - std::floor(hue);
    const double rise = value * f, fall = value * (1 - f);
    switch (sector) {
    case 0:
        return {value, rise, 0};
    case 1:
        return {fall, value, 0};
    case 2:
        return {0, value, rise};
    case 3:
        return {0, fall, value};
    case 4:
        return {rise, 0, value};
    default:
        return {value, 0, fall};
    }
}

// A position going back and forth between 0 and span.
double bounce(double travelled, double span) {
    const double t = std::fmod(travelled, 2 * span);
    return t < span ? t : 2 * span - t;
}

Rgb background(int frame, int x, int y) {
    if (y < barsBottom) return bars[x * 8 / demoWidth];
    if (y < hueBottom) {
        const double value = 255 * (1.0 - 0.5 * (y - barsBottom) / (hueBottom - barsBottom));
        return hueColour((x + 4.0 * frame) / demoWidth, value);
    }
    if (y < rampBottom) {
        const double grey = 255.0 * x / (demoWidth - 1);
        return {grey, grey, grey};
    }
    if (y < progressBottom) {
        const bool done = x < (frame + 1) * demoWidth / demoFrames;
        return done ? Rgb{255, 140, 0} : Rgb{48, 48, 48};
    }
    // The frame number in binary, most significant bit on the left, one macroblock-wide cell a
    // bit with a gap between cells.
    const int cell = x / (2 * cellSize);
    const bool inCell = y >= cellTop && y < cellTop + cellSize &&
                        x % (2 * cellSize) >= cellSize / 2 &&
                        x % (2 * cellSize) < cellSize / 2 + cellSize && cell < counterBits;
    if (!inCell) return {24, 24, 24};
    const bool lit = (frame >> (counterBits - 1 - cell)) & 1;
    return lit ? Rgb{250, 250, 250} : Rgb{40, 40, 96};
}

} // namespace

bool demoFrameIsType4(int frame) {
    return (frame / demoSlotsPerSecond) % 2 == 1;
}

std::vector<std::uint8_t> demoPicture(int frame) {
    std::vector<std::uint8_t> rgb(std::size_t{demoWidth} * demoHeight * 3);
    const double ballX = ballRadius + bounce(frame * 7.0, demoWidth - 2 * ballRadius);
    const double ballY = ballRadius + bounce(frame * 4.0, rampBottom - 2 * ballRadius);
    const Rgb ball = hueColour(frame / 60.0 + 0.5, 255);
    for (int y = 0; y < demoHeight; ++y) {
        for (int x = 0; x < demoWidth; ++x) {
            Rgb c = background(frame, x, y);
            // The ball's edge is blended over one pixel, so it moves smoothly.
            // Not std::hypot: C libraries round it differently, and the demo is to be the same
            // movie, bit for bit, wherever qztool runs; a square root is exact everywhere.
            const double dx = x + 0.5 - ballX, dy = y + 0.5 - ballY;
            const double d = std::sqrt(dx * dx + dy * dy);
            const double cover = std::clamp(ballRadius + 0.5 - d, 0.0, 1.0);
            std::uint8_t* out = rgb.data() + (std::size_t(y) * demoWidth + x) * 3;
            for (int k = 0; k < 3; ++k) {
                c[k] = c[k] * (1 - cover) + ball[k] * cover;
                c[k] = channelLow + std::clamp(c[k], 0.0, 255.0) * (channelHigh - channelLow) / 255;
                out[k] = static_cast<std::uint8_t>(roundHalfAway(c[k]));
            }
        }
    }
    return rgb;
}

} // namespace qztool
