// Real test material for the encoding benchmarks: a photograph-like desktop background (a pan
// and zoom over it gives the frames) and a recorded sound, both from Debian packages that
// scripts/setup.sh installs. Everything here reports why it is missing rather than failing.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qzbench {

// R, G, B bytes, row after row.
struct RgbImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgb;
};

// The background picture (gnome-backgrounds' pixels-l.webp, a rendered scene with film grain,
// soft shading and small saturated objects), read once. None when the package or the WebP
// reader is missing; why is then in *why.
const RgbImage* benchPhotograph(std::string* why);

// Frame t of count of a pan and zoom over the image at width x height: the view starts on a
// third of the picture's width and closes in to a sixth while it drifts across, resampled
// bilinearly.
RgbImage panZoomFrame(const RgbImage& image, int width, int height, int t, int count);

// Interleaved 16-bit samples of a recording.
struct Recording {
    int rate = 0;
    int channels = 0;
    std::vector<std::int16_t> samples;
};

// The recorded sound (sound-theme-freedesktop's phone-incoming-call.oga) read with libsndfile.
// None when the package or libsndfile is missing; why is then in *why.
const Recording* benchRecording(std::string* why);

// PSNR in dB of two R, G, B byte pictures of the same size (99 when equal).
double rgbPsnr(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b);

} // namespace qzbench
