// KRT output: the colour lookup of the display's pixels for the palette, and the conversion of
// the current picture into the target.
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "video/krt/krt_decoder.h"

namespace {

constexpr int paletteColours = 256;

// A palette byte scaled to a channel of bits bits at shift.
std::uint32_t channel(std::uint32_t value, LONG bits, LONG shift) {
    if (bits <= 0 || shift < 0 || shift > 31) return 0;
    const std::uint32_t scaled =
        bits <= 8 ? value >> (8 - bits) : value << std::min<LONG>(bits - 8, 24);
    return scaled << shift;
}

bool sixteenBit(LONG depth) {
    return depth == 15 || depth == 16;
}

// Writes pixels [left, right) of one picture row as display pixels of type Pixel, each copies
// times, through the lookup.
template <class Pixel, int copies>
void lookupRow(const BYTE* source, BYTE* row, LONG left, LONG right, const DWORD* lookup) {
    BYTE* out = row + std::ptrdiff_t(left) * copies * sizeof(Pixel);
    for (LONG x = left; x < right; ++x) {
        const auto pixel = static_cast<Pixel>(lookup[source[x]]);
        for (int c = 0; c < copies; ++c, out += sizeof(Pixel))
            std::memcpy(out, &pixel, sizeof(Pixel));
    }
}

template <class Pixel, int copies>
void lookupRows(const VideoState* video, BYTE* base, std::ptrdiff_t pitch, LONG left, LONG right,
                LONG top, LONG bottom) {
    const DWORD* lookup = video->output.paletteLookup;
    for (LONG y = top; y < bottom; ++y)
        lookupRow<Pixel, copies>(video->krt.picture + std::ptrdiff_t(y) * video->krt.width,
                                 base + y * pitch, left, right, lookup);
}

} // namespace

void buildKrtColourLookup(VideoState* video) {
    VideoOutput* config = &video->output;
    const PixelFormat& f = config->pixelFormat;
    const bool twice = (config->flags & doubleX) != 0 && sixteenBit(f.depth);
    for (int i = 0; i < paletteColours; ++i) {
        const BYTE* rgb = config->paletteRgb + 3 * i;
        std::uint32_t value = channel(rgb[0], f.redBits, f.redShift) |
                              channel(rgb[1], f.greenBits, f.greenShift) |
                              channel(rgb[2], f.blueBits, f.blueShift);
        // A doubled 16-bit display writes the pixel twice as one 32-bit word.
        if (twice) value |= value << 16;
        config->paletteLookup[i] = value;
    }
}

void doubleBytes(const BYTE* source, BYTE* destination, LONG count) {
    for (LONG i = 0; i < count; ++i) {
        destination[2 * i] = source[i];
        destination[2 * i + 1] = source[i];
    }
}

void writeKrtOutput(VideoState* video, BYTE* base, BYTE*, LONG pitch) {
    if (video->krt.picture == nullptr || base == nullptr) return;
    const VideoOutput* config = &video->output;
    const LONG left = std::max<LONG>(video->clipLeft, 0);
    const LONG right = std::min(video->clipRight, video->krt.width);
    const LONG top = std::max<LONG>(video->clipTop, 0);
    const LONG bottom = std::min(video->clipBottom, video->krt.height);
    if (left >= right || top >= bottom) return;
    const bool twice = (config->flags & doubleX) != 0;
    const LONG depth = config->pixelFormat.depth;
    const std::ptrdiff_t step = pitch;
    if (depth == 8) {
        // The picture's indices go out as they are; the display palette colours them.
        for (LONG y = top; y < bottom; ++y) {
            const BYTE* source = video->krt.picture + std::ptrdiff_t(y) * video->krt.width + left;
            if (twice)
                doubleBytes(source, base + y * step + 2 * left, right - left);
            else
                std::memcpy(base + y * step + left, source, std::size_t(right - left));
        }
    } else if (sixteenBit(depth)) {
        if (twice)
            lookupRows<std::uint32_t, 1>(video, base, step, left, right, top, bottom);
        else
            lookupRows<std::uint16_t, 1>(video, base, step, left, right, top, bottom);
    } else if (twice) {
        lookupRows<std::uint32_t, 2>(video, base, step, left, right, top, bottom);
    } else {
        lookupRows<std::uint32_t, 1>(video, base, step, left, right, top, bottom);
    }
}
