#include "bench/bench_material.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>

#ifdef QZ_HAVE_WEBP
#include <webp/decode.h>
#endif
#ifdef QZ_HAVE_SNDFILE
#include <sndfile.h>
#endif

namespace qzbench {

namespace {

[[maybe_unused]] constexpr const char* photographPath =
    "/usr/share/backgrounds/gnome/pixels-l.webp";
[[maybe_unused]] constexpr const char* recordingPath =
    "/usr/share/sounds/freedesktop/stereo/phone-incoming-call.oga";
[[maybe_unused]] constexpr const char* installHint = " (scripts/setup.sh installs it)";

std::optional<RgbImage> readPhotograph(std::string& why) {
#ifdef QZ_HAVE_WEBP
    std::ifstream in(photographPath, std::ios::binary);
    if (!in) {
        why = std::string("no ") + photographPath + installHint;
        return std::nullopt;
    }
    const std::vector<std::uint8_t> data{std::istreambuf_iterator<char>(in), {}};
    RgbImage image;
    std::uint8_t* pixels = WebPDecodeRGB(data.data(), data.size(), &image.width, &image.height);
    if (pixels == nullptr) {
        why = std::string(photographPath) + " is not a WebP picture libwebp reads";
        return std::nullopt;
    }
    image.rgb.assign(pixels, pixels + std::size_t(image.width) * image.height * 3);
    WebPFree(pixels);
    return image;
#else
    why = "built without libwebp, the reader of the background picture (libwebp-dev)";
    return std::nullopt;
#endif
}

std::optional<Recording> readRecording(std::string& why) {
#ifdef QZ_HAVE_SNDFILE
    SF_INFO info{};
    SNDFILE* file = sf_open(recordingPath, SFM_READ, &info);
    if (file == nullptr) {
        why =
            std::string("cannot read ") + recordingPath + installHint + ": " + sf_strerror(nullptr);
        return std::nullopt;
    }
    Recording r;
    r.rate = info.samplerate;
    r.channels = info.channels;
    r.samples.resize(std::size_t(info.frames) * info.channels);
    const sf_count_t got = sf_readf_short(file, r.samples.data(), info.frames);
    sf_close(file);
    r.samples.resize(std::size_t(std::max<sf_count_t>(got, 0)) * info.channels);
    return r;
#else
    why = "built without libsndfile (libsndfile1-dev)";
    return std::nullopt;
#endif
}

} // namespace

const RgbImage* benchPhotograph(std::string* why) {
    static std::string reason;
    static const std::optional<RgbImage> image = readPhotograph(reason);
    if (!image && why) *why = reason;
    return image ? &*image : nullptr;
}

const Recording* benchRecording(std::string* why) {
    static std::string reason;
    static const std::optional<Recording> recording = readRecording(reason);
    if (!recording && why) *why = reason;
    return recording ? &*recording : nullptr;
}

RgbImage panZoomFrame(const RgbImage& image, int width, int height, int t, int count) {
    const double f = count > 1 ? double(t) / (count - 1) : 0.0;
    // The view's width in source pixels, from a third of the picture down to a sixth, and its
    // centre drifting from left of the middle to right of it and a little down.
    const double viewWidth = image.width * (1.0 / 3 - f / 6);
    const double scale = viewWidth / width;
    const double centreX = image.width * (0.40 + 0.20 * f);
    const double centreY = image.height * (0.45 + 0.08 * f);
    RgbImage out{width, height, std::vector<std::uint8_t>(std::size_t(width) * height * 3)};
    for (int y = 0; y < height; ++y) {
        const double sy = std::clamp(centreY + (y + 0.5 - height / 2.0) * scale - 0.5, 0.0,
                                     double(image.height - 1));
        const int y0 = std::min(int(sy), image.height - 2);
        const double fy = sy - y0;
        for (int x = 0; x < width; ++x) {
            const double sx = std::clamp(centreX + (x + 0.5 - width / 2.0) * scale - 0.5, 0.0,
                                         double(image.width - 1));
            const int x0 = std::min(int(sx), image.width - 2);
            const double fx = sx - x0;
            const std::uint8_t* p = image.rgb.data() + (std::size_t(y0) * image.width + x0) * 3;
            const std::uint8_t* below = p + std::size_t(image.width) * 3;
            for (int c = 0; c < 3; ++c) {
                const double top = p[c] + (p[3 + c] - p[c]) * fx;
                const double bottom = below[c] + (below[3 + c] - below[c]) * fx;
                out.rgb[(std::size_t(y) * width + x) * 3 + c] =
                    static_cast<std::uint8_t>(std::lround(top + (bottom - top) * fy));
            }
        }
    }
    return out;
}

double rgbPsnr(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b) {
    double error = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const double d = double(a[i]) - double(b[i]);
        error += d * d;
    }
    return error == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 * double(a.size()) / error);
}

} // namespace qzbench
