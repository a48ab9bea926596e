// Median cut palettes, nearest-colour mapping and picture comparison for the KRT writer.
#include <algorithm>
#include <cmath>
#include <unordered_map>

#include "encoder/krt_encoder.h"

namespace {

struct Weighted {
    KrtColour colour;
    std::uint32_t count;
};

// A box of colours: a range of the colour list.
struct Box {
    std::size_t begin;
    std::size_t end;
    int widestChannel;
    int range;
    std::uint64_t pixels;
};

Box measure(const std::vector<Weighted>& colours, std::size_t begin, std::size_t end) {
    int low[3] = {255, 255, 255};
    int high[3] = {0, 0, 0};
    std::uint64_t pixels = 0;
    for (std::size_t i = begin; i < end; ++i) {
        for (int c = 0; c < 3; ++c) {
            low[c] = std::min<int>(low[c], colours[i].colour[c]);
            high[c] = std::max<int>(high[c], colours[i].colour[c]);
        }
        pixels += colours[i].count;
    }
    Box box{begin, end, 0, high[0] - low[0], pixels};
    for (int c = 1; c < 3; ++c)
        if (high[c] - low[c] > box.range) box = {begin, end, c, high[c] - low[c], pixels};
    return box;
}

KrtColour meanColour(const std::vector<Weighted>& colours, const Box& box) {
    std::uint64_t sum[3] = {0, 0, 0};
    for (std::size_t i = box.begin; i < box.end; ++i)
        for (int c = 0; c < 3; ++c)
            sum[c] += std::uint64_t{colours[i].colour[c]} * colours[i].count;
    KrtColour mean{};
    for (int c = 0; c < 3; ++c)
        mean[c] = static_cast<std::uint8_t>((sum[c] + box.pixels / 2) / box.pixels);
    return mean;
}

} // namespace

std::vector<KrtColour> medianCutPalette(const RgbPicture& picture, int maxColours) {
    std::unordered_map<std::uint32_t, std::uint32_t> histogram;
    for (std::size_t i = 0; i + 2 < picture.rgb.size(); i += 3)
        ++histogram[(std::uint32_t{picture.rgb[i]} << 16) | (picture.rgb[i + 1] << 8) |
                    picture.rgb[i + 2]];
    std::vector<Weighted> colours;
    colours.reserve(histogram.size());
    for (const auto& [rgb, count] : histogram)
        colours.push_back(
            {KrtColour{std::uint8_t(rgb >> 16), std::uint8_t(rgb >> 8), std::uint8_t(rgb)}, count});
    // A fixed order, so the palette does not depend on the hash table's.
    std::sort(colours.begin(), colours.end(),
              [](const Weighted& a, const Weighted& b) { return a.colour < b.colour; });
    if (colours.empty()) return {KrtColour{0, 0, 0}};
    if (colours.size() <= std::size_t(maxColours)) {
        std::vector<KrtColour> exact;
        for (const Weighted& w : colours) exact.push_back(w.colour);
        return exact;
    }
    std::vector<Box> boxes{measure(colours, 0, colours.size())};
    while (boxes.size() < std::size_t(maxColours)) {
        // Split the box whose widest channel, weighted by its pixels, spans the most.
        auto pick = std::max_element(boxes.begin(), boxes.end(), [](const Box& a, const Box& b) {
            const bool aSplits = a.end - a.begin > 1, bSplits = b.end - b.begin > 1;
            if (aSplits != bSplits) return bSplits;
            return double(a.range) * std::sqrt(double(a.pixels)) <
                   double(b.range) * std::sqrt(double(b.pixels));
        });
        if (pick->end - pick->begin < 2) break;
        const Box box = *pick;
        const int c = box.widestChannel;
        std::sort(colours.begin() + std::ptrdiff_t(box.begin),
                  colours.begin() + std::ptrdiff_t(box.end),
                  [c](const Weighted& a, const Weighted& b) { return a.colour[c] < b.colour[c]; });
        // The weighted median, leaving at least one colour on each side.
        std::uint64_t seen = 0;
        std::size_t split = box.begin + 1;
        for (std::size_t i = box.begin; i < box.end - 1; ++i) {
            seen += colours[i].count;
            split = i + 1;
            if (2 * seen >= box.pixels) break;
        }
        *pick = measure(colours, box.begin, split);
        boxes.push_back(measure(colours, split, box.end));
    }
    std::vector<KrtColour> palette;
    for (const Box& box : boxes) palette.push_back(meanColour(colours, box));
    return palette;
}

std::uint8_t nearestKrtColour(const std::vector<KrtColour>& palette, int r, int g, int b) {
    int best = 0;
    int bestDistance = 1 << 30;
    for (std::size_t i = 0; i < palette.size(); ++i) {
        const int dr = palette[i][0] - r, dg = palette[i][1] - g, db = palette[i][2] - b;
        const int d = dr * dr + dg * dg + db * db;
        if (d < bestDistance) {
            bestDistance = d;
            best = int(i);
        }
    }
    return static_cast<std::uint8_t>(best);
}

double rgbPsnr(const RgbPicture& a, const RgbPicture& b) {
    const std::size_t n = std::min(a.rgb.size(), b.rgb.size());
    double sum = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const double d = double(a.rgb[i]) - double(b.rgb[i]);
        sum += d * d;
    }
    if (n == 0 || sum == 0) return 99.0;
    return 10.0 * std::log10(255.0 * 255.0 * double(n) / sum);
}
