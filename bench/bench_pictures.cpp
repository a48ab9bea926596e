#include "bench/bench_pictures.h"

#include <algorithm>
#include <cmath>
#include <random>

namespace qzbench {

namespace {

// Smooth noise: random values on a lattice of the given cell count across the picture,
// interpolated with a smoothstep; several octaves make a foliage-like texture.
class ValueNoise {
  public:
    explicit ValueNoise(unsigned seed) {
        std::mt19937 rng(seed);
        for (double& v : lattice_) v = std::uniform_real_distribution<double>(-1, 1)(rng);
    }
    double at(double u, double v, int cells) const {
        const double x = u * cells, y = v * cells;
        const int x0 = static_cast<int>(x), y0 = static_cast<int>(y);
        const double fx = smooth(x - x0), fy = smooth(y - y0);
        const double top = mix(node(x0, y0), node(x0 + 1, y0), fx);
        const double bottom = mix(node(x0, y0 + 1), node(x0 + 1, y0 + 1), fx);
        return mix(top, bottom, fy);
    }

  private:
    static double smooth(double t) { return t * t * (3 - 2 * t); }
    static double mix(double a, double b, double t) { return a + (b - a) * t; }
    double node(int x, int y) const { return lattice_[(x * 73 + y * 151) & 1023]; }
    double lattice_[1024];
};

} // namespace

std::vector<std::uint8_t> benchPicture(int width, int height) {
    std::vector<std::uint8_t> rgb(std::size_t(width) * height * 3);
    std::mt19937 noise(20261208);
    std::uniform_real_distribution<double> grain(-8.0, 8.0);
    const ValueNoise texture(7);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            // Coordinates in 0..1, so every size shows the same scene.
            const double u = (x + 0.5) / width, v = (y + 0.5) / height;
            double r, g, b;
            if (v < 0.45) { // sky: a smooth gradient
                const double cloud =
                    std::max(0.0, 90 * texture.at(u, v, 6) + 40 * texture.at(u, v, 20));
                r = 90 + 80 * v + cloud;
                g = 140 + 90 * v + cloud;
                b = 230 - 40 * u + cloud / 3;
            } else { // ground: a textured field of leaves
                const double t = grain(noise) + 40 * texture.at(u, v, 24) +
                                 30 * texture.at(u, v, 64) + 20 * texture.at(u, v, 160);
                r = 70 + 60 * std::sin(u * 9) + t;
                g = 120 + 40 * std::cos(v * 7 + u * 3) + t;
                b = 50 + 30 * u + t;
            }
            // A sun, a house with a striped roof and a window, a road.
            if (std::hypot(u - 0.8, v - 0.18) < 0.08) r = 250, g = 220, b = 90;
            if (u > 0.15 && u < 0.45 && v > 0.4 && v < 0.75) r = 200, g = 190, b = 170;
            if (u > 0.12 && u < 0.48 && v > 0.3 && v <= 0.4)
                r = (int(y * 40.0 / height) % 2) ? 150 : 90, g = 40, b = 30;
            if (u > 0.22 && u < 0.3 && v > 0.5 && v < 0.6) r = 40, g = 60, b = 110;
            if (std::abs(u - 0.7 - (v - 0.45) * 0.5) < 0.05 && v > 0.45) r = g = b = 60;
            std::uint8_t* p = rgb.data() + (std::size_t(y) * width + x) * 3;
            p[0] = static_cast<std::uint8_t>(std::clamp(std::lround(r), 0L, 255L));
            p[1] = static_cast<std::uint8_t>(std::clamp(std::lround(g), 0L, 255L));
            p[2] = static_cast<std::uint8_t>(std::clamp(std::lround(b), 0L, 255L));
        }
    }
    return rgb;
}

} // namespace qzbench
