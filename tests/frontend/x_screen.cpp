// Recorded screens, the screens the exported frames must make, and their comparison.
#include "tests/frontend/x_screen.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <png.h>

#include "format/chunk_ids.h"
#include "platform/standin/ddraw_internal.h"
#include "tests/support/test_support.h"

namespace xtest {

namespace {

using qzplat::DisplayFormat;
using qzplat::detail::layoutOf;
using qzplat::detail::PixelLayout;
using qzplat::detail::pixelToRgb;
using qzplat::detail::rgbToPixel;
using qzplat::detail::yuy2PixelToRgb;

// Faults described in full (with the closest frame) before the rest are only counted.
constexpr std::size_t describedFaults = 4;

bool isYuy2(ScreenPath path) {
    return path == ScreenPath::yuy2On16 || path == ScreenPath::yuy2On32 ||
           path == ScreenPath::yuy2Overlay;
}

const char* exportFormat(ScreenPath path) {
    switch (path) {
    case ScreenPath::rgb16:
        return "rgb565";
    case ScreenPath::rgb32:
        return "xrgb8888";
    case ScreenPath::palette8:
        return "pal8";
    default:
        return "yuy2";
    }
}

PixelLayout screenLayout(ScreenPath path) {
    bool sixteen = path == ScreenPath::rgb16 || path == ScreenPath::yuy2On16;
    return layoutOf(sixteen ? DisplayFormat::rgb565 : DisplayFormat::rgb888);
}

// Reads every PNG frame qztool wrote (numbered from 1) as RGB; false on the first that fails.
bool readPngFrames(const std::string& pattern, int& width, int& height,
                   std::vector<std::vector<std::uint32_t>>& frames) {
    for (int n = 1;; ++n) {
        char path[4096];
        std::snprintf(path, sizeof(path), pattern.c_str(), n);
        if (!std::filesystem::exists(path)) return n > 1;
        png_image image{};
        image.version = PNG_IMAGE_VERSION;
        if (!png_image_begin_read_from_file(&image, path)) return false;
        image.format = PNG_FORMAT_RGB;
        std::vector<png_byte> rgb(PNG_IMAGE_SIZE(image));
        if (!png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr)) return false;
        width = int(image.width);
        height = int(image.height);
        std::vector<std::uint32_t> frame(std::size_t(width) * height);
        for (std::size_t p = 0; p < frame.size(); ++p)
            frame[p] = std::uint32_t(rgb[p * 3]) << 16 | std::uint32_t(rgb[p * 3 + 1]) << 8 |
                       rgb[p * 3 + 2];
        frames.push_back(std::move(frame));
    }
}

// What the movie file's chunk headers tell the screen checks: the video frame a loop comes back
// to, and for every frame the colour of palette entry 0 of the last KRT key frame's palette,
// scaled by gamma as the player scales it (black before the first).
struct MovieFacts {
    int lapStart = 0;
    std::vector<std::uint32_t> entryZero;
};

MovieFacts movieFacts(const std::string& movie, int gamma) {
    MovieFacts facts;
    const Bytes in = qztest::readFileBytes(movie);
    bool audioSeen = false;
    std::uint32_t colour = 0;
    // Chunks are an id and a little-endian size that counts the 8-byte header.
    for (std::size_t at = 0; at + 8 <= in.size();) {
        DWORD id = 0, size = 0;
        for (int i = 0; i < 4; ++i) {
            id |= DWORD(in[at + i]) << (8 * i);
            size |= DWORD(in[at + 4 + i]) << (8 * i);
        }
        if (size < 8 || at + size > in.size()) break;
        const ChunkClass chunk = classifyChunkId(id);
        const BYTE* payload = in.data() + at + 8;
        if (chunk.kind == ChunkKind::audioData && !audioSeen) {
            audioSeen = true;
            facts.lapStart = int(facts.entryZero.size());
        }
        if (chunk.frameType == 1 && size >= 8 + 15 && (payload[6] | payload[7] << 8) > 0) {
            colour = 0;
            for (int c = 0; c < 3; ++c)
                colour = colour << 8 | std::min<std::uint32_t>(255, payload[12 + c] * gamma / 100);
        }
        if (chunk.frameType != 0) facts.entryZero.push_back(colour);
        at += size;
    }
    if (!audioSeen) facts.lapStart = 0;
    return facts;
}

std::string hex(std::uint32_t rgb) {
    char text[16];
    std::snprintf(text, sizeof(text), "%06X", rgb);
    return text;
}

} // namespace

bool readPpm(const std::string& path, RgbImage& image) {
    std::ifstream in(path, std::ios::binary);
    std::string magic;
    int maximum = 0;
    if (!(in >> magic >> image.width >> image.height >> maximum) || magic != "P6" ||
        maximum != 255 || image.width <= 0 || image.height <= 0)
        return false;
    in.get();
    std::vector<unsigned char> bytes(std::size_t(image.width) * image.height * 3);
    if (!in.read(reinterpret_cast<char*>(bytes.data()), std::streamsize(bytes.size())))
        return false;
    image.pixels.resize(bytes.size() / 3);
    for (std::size_t p = 0; p < image.pixels.size(); ++p)
        image.pixels[p] = std::uint32_t(bytes[p * 3]) << 16 | std::uint32_t(bytes[p * 3 + 1]) << 8 |
                          bytes[p * 3 + 2];
    return true;
}

std::vector<RecordedPresent> recordedPresents(const std::string& folder) {
    std::vector<RecordedPresent> presents;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        std::string name = entry.path().filename().string();
        RecordedPresent present;
        char tag[32] = {};
        if (std::sscanf(name.c_str(), "%ld-%31[^.].ppm", &present.index, tag) != 2) continue;
        present.tag = std::string(tag) == "none" ? -1 : std::atol(tag);
        present.path = entry.path().string();
        presents.push_back(present);
    }
    std::sort(presents.begin(), presents.end(),
              [](const auto& a, const auto& b) { return a.index < b.index; });
    return presents;
}

bool ExpectedFrames::load(const std::string& qztool, const std::string& movie, ScreenPath path,
                          int gammaPercent, std::string& error) {
    gamma = gammaPercent;
    frames_.clear();
    const MovieFacts facts = movieFacts(movie, gamma);
    lapStart = facts.lapStart;
    backgrounds_.clear();
    if (path == ScreenPath::palette8) backgrounds_ = facts.entryZero;
    std::vector<std::string> args{"frames", "--pixel-format", exportFormat(path), "--gamma",
                                  std::to_string(gamma)};
    if (path == ScreenPath::palette8) {
        // Indices mean nothing without the palette: the PNG frames carry its colours, which
        // the 8-bit screen shows as they are.
        std::filesystem::path folder = qztest::scratchPath("pal8-frames");
        std::filesystem::create_directories(folder);
        std::string pattern = (folder / "f%04d.png").string();
        args.insert(args.end(), {"--png", pattern, movie});
        qztest::CommandResult result = qztest::runProgram(qztool, args);
        if (result.exitCode != 0) return error = "qztool frames: " + result.err, false;
        bool read = readPngFrames(pattern, width, height, frames_);
        std::filesystem::remove_all(folder);
        if (!read) error = "the exported PNG frames cannot be read";
        if (read && backgrounds_.size() != frames_.size()) {
            error = "the movie's chunks do not list its exported frames";
            read = false;
        }
        return read;
    }
    std::string raw = qztest::scratchPath("frames.raw");
    args.insert(args.end(), {"--raw", raw, movie});
    qztest::CommandResult result = qztest::runProgram(qztool, args);
    // "wrote N frames of WxH as ..." gives the picture size.
    if (result.exitCode != 0 ||
        std::sscanf(result.out.c_str(), "wrote %*d frames of %dx%d", &width, &height) != 2)
        return error = "qztool frames: " + result.err + result.out, false;
    Bytes bytes = qztest::readFileBytes(raw);
    std::filesystem::remove(raw);
    const PixelLayout layout = screenLayout(path);
    const std::size_t pixelBytes = path == ScreenPath::rgb32 ? 4 : 2;
    const std::size_t rowBytes = std::size_t(width) * pixelBytes;
    const std::size_t frameBytes = rowBytes * std::size_t(height);
    for (std::size_t at = 0; at + frameBytes <= bytes.size(); at += frameBytes) {
        std::vector<std::uint32_t> frame(std::size_t(width) * height);
        for (int y = 0; y < height; ++y) {
            const BYTE* row = bytes.data() + at + std::size_t(y) * rowBytes;
            for (int x = 0; x < width; ++x) {
                std::uint32_t& out = frame[std::size_t(y) * width + x];
                if (path == ScreenPath::yuy2Overlay) {
                    out = yuy2PixelToRgb(row, x);
                } else if (isYuy2(path)) {
                    // The blit converts YUY2 to the mode's pixels, which the screen shows in RGB.
                    out = pixelToRgb(layout, rgbToPixel(layout, yuy2PixelToRgb(row, x)));
                } else if (pixelBytes == 2) {
                    out = pixelToRgb(layout, DWORD(row[x * 2]) | DWORD(row[x * 2 + 1]) << 8);
                } else {
                    const BYTE* p = row + x * 4;
                    out = pixelToRgb(layout, DWORD(p[0]) | DWORD(p[1]) << 8 | DWORD(p[2]) << 16 |
                                                 DWORD(p[3]) << 24);
                }
            }
        }
        frames_.push_back(std::move(frame));
    }
    if (frames_.empty()) error = "qztool exported no frames";
    return !frames_.empty();
}

int ExpectedFrames::frameOfTag(long tag) const {
    const long total = count();
    if (tag < total || lapStart >= total) return int(tag % std::max(total, 1L));
    return int(lapStart + (tag - total) % (total - lapStart));
}

RgbImage expectedScreen(const std::vector<std::uint32_t>& frame, int frameWidth, int frameHeight,
                        const Placement& placement, int screenWidth, int screenHeight,
                        std::uint32_t background) {
    RgbImage screen{
        screenWidth, screenHeight,
        std::vector<std::uint32_t>(std::size_t(screenWidth) * screenHeight, background)};
    const bool rowsTwice = placement.doubleY || placement.skipY;
    const long long pictureWidth = frameWidth * (placement.doubleX ? 2 : 1);
    const long long pictureHeight = frameHeight * (rowsTwice ? 2 : 1);
    // Centred by the unstretched size; an arithmetic shift, as a wider picture starts left of 0.
    const long long left = (screenWidth - pictureWidth) >> 1;
    const long long top = (screenHeight - pictureHeight) >> 1;
    const long long destWidth = placement.stretchWidth > 0 ? placement.stretchWidth : pictureWidth;
    const long long destHeight =
        placement.stretchHeight > 0 ? placement.stretchHeight : pictureHeight;
    for (long long y = std::max(0LL, top); y < std::min<long long>(top + destHeight, screenHeight);
         ++y) {
        const long long py = (y - top) * pictureHeight / destHeight;
        if (placement.skipY && (py & 1)) continue;
        const long long fy = rowsTwice ? py / 2 : py;
        for (long long x = std::max(0LL, left);
             x < std::min<long long>(left + destWidth, screenWidth); ++x) {
            const long long px = (x - left) * pictureWidth / destWidth;
            const long long fx = placement.doubleX ? px / 2 : px;
            screen.pixels[std::size_t(y) * screenWidth + std::size_t(x)] =
                frame[std::size_t(fy) * frameWidth + std::size_t(fx)];
        }
    }
    return screen;
}

ScreenDifference compareScreens(const RgbImage& got, const RgbImage& wanted) {
    ScreenDifference difference;
    if (got.width != wanted.width || got.height != wanted.height) {
        difference.pixels = long(std::max(got.pixels.size(), wanted.pixels.size()));
        return difference;
    }
    for (std::size_t p = 0; p < got.pixels.size(); ++p) {
        if (got.pixels[p] == wanted.pixels[p]) continue;
        if (difference.pixels++ == 0) {
            difference.x = int(p % std::size_t(got.width));
            difference.y = int(p / std::size_t(got.width));
            difference.got = got.pixels[p];
            difference.wanted = wanted.pixels[p];
        }
    }
    return difference;
}

RunCheck checkRun(const std::string& runName, const std::string& folder,
                  const std::vector<const ExpectedFrames*>& stages, const Placement& placement) {
    RunCheck check;
    std::vector<RecordedPresent> presents = recordedPresents(folder);
    std::size_t faultCount = 0;
    for (std::size_t i = 0; i < presents.size(); ++i) {
        const RecordedPresent& present = presents[i];
        // Only the last present of a run of the same tag must show the frame.
        if (present.tag < 0 || (i + 1 < presents.size() && presents[i + 1].tag == present.tag))
            continue;
        RgbImage got;
        if (!readPpm(present.path, got)) {
            check.faults.push_back(runName + ": " + present.path + " is not a screen recording");
            continue;
        }
        const ExpectedFrames& first = *stages[std::size_t(check.lastStage)];
        const int frame = first.frameOfTag(present.tag);
        ScreenDifference nearest;
        bool matched = false;
        for (std::size_t s = std::size_t(check.lastStage); s < stages.size() && !matched; ++s) {
            const ExpectedFrames& e = *stages[s];
            ScreenDifference d =
                compareScreens(got, expectedScreen(e.frame(frame), e.width, e.height, placement,
                                                   got.width, got.height, e.background(frame)));
            if (d.pixels == 0) {
                matched = true;
                check.lastStage = int(s);
            } else if (s == std::size_t(check.lastStage)) {
                nearest = d;
            }
        }
        ++check.compared;
        check.tags.push_back(present.tag);
        if (matched) continue;
        if (faultCount++ >= describedFaults) continue;
        std::ostringstream line;
        line << runName << ": frame " << frame << " (tag " << present.tag << ", present "
             << present.index << ", gamma " << first.gamma << "): " << nearest.pixels
             << " pixels differ";
        if (nearest.x >= 0)
            line << ", first at (" << nearest.x << "," << nearest.y << ") screen "
                 << hex(nearest.got) << " expected " << hex(nearest.wanted);
        // The frame the screen is closest to tells a stale or misplaced picture.
        long best = -1, bestPixels = 0;
        for (int f = 0; f < first.count(); ++f) {
            long pixels = compareScreens(got, expectedScreen(first.frame(f), first.width,
                                                             first.height, placement, got.width,
                                                             got.height, first.background(f)))
                              .pixels;
            if (best < 0 || pixels < bestPixels) best = f, bestPixels = pixels;
        }
        line << "; closest frame " << best << " (" << bestPixels << " pixels differ)";
        check.faults.push_back(line.str());
    }
    if (faultCount > describedFaults)
        check.faults.push_back(runName + ": " + std::to_string(faultCount - describedFaults) +
                               " more frames differ");
    return check;
}

} // namespace xtest
