// The demo movie and its decoded frames, made with qztool.
#include "tests/frontend/x_frames.h"

#include <cmath>
#include <filesystem>

#include "format/chunk_ids.h"
#include "tests/support/test_support.h"

// The demo and its decoded frames come from qztool; without it the tests using them are skipped.
#ifndef QZ_QZTOOL_PATH
#define QZ_QZTOOL_PATH ""
#endif

namespace xtest {

namespace {

// A file qztool makes, kept beside the scratch files for the next test while it is newer than
// qztool: the demo takes a while to encode. Made under a private name and then renamed, so
// tests running side by side never read half a file. Empty when it cannot be made.
template <class Make> std::string cachedOutput(const std::string& name, Make make) {
    namespace fs = std::filesystem;
    if (std::string(QZ_QZTOOL_PATH).empty()) return {};
    const fs::path path = fs::path(qztest::scratchPath("x")).parent_path() / ("xplay-" + name);
    std::error_code error;
    if (fs::exists(path) &&
        fs::last_write_time(path, error) > fs::last_write_time(QZ_QZTOOL_PATH, error))
        return path.string();
    std::string partial = qztest::scratchPath(name);
    if (!make(partial)) return {};
    fs::rename(partial, path, error);
    return error ? std::string() : path.string();
}

double picturePsnr(const Picture& a, const unsigned char* b) {
    // Every other pixel is plenty to tell frames apart and keeps the search quick.
    double sum = 0;
    std::size_t n = 0;
    for (std::size_t i = 0; i + 2 < a.size(); i += 6, n += 3) {
        for (std::size_t c = 0; c < 3; ++c) {
            double d = double(a[i + c]) - double(b[i + c]);
            sum += d * d;
        }
    }
    double mse = sum / double(n);
    return mse == 0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / mse);
}

} // namespace

std::string demoMovie(const std::string& kind) {
    return cachedOutput("demo" + kind + ".qz", [&](auto& path) {
        std::vector<std::string> args{"demo", path};
        if (!kind.empty()) args.push_back("--" + kind);
        return qztest::runProgram(QZ_QZTOOL_PATH, args).exitCode == 0;
    });
}

std::string silentDemoMovie(const std::string& kind, long leftOutType) {
    std::string movie = demoMovie(kind);
    if (movie.empty()) return {};
    std::string name = "silent" + kind + (leftOutType ? "-" + std::to_string(leftOutType) : "");
    return cachedOutput(name + ".qz", [&](auto& path) {
        Bytes in = qztest::readFileBytes(movie);
        ChunkWriter out;
        // Chunks are an id and a little-endian size that counts the 8-byte header.
        for (std::size_t at = 0; at + 8 <= in.size();) {
            DWORD id = 0, size = 0;
            for (int i = 0; i < 4; ++i) {
                id |= DWORD(in[at + i]) << (8 * i);
                size |= DWORD(in[at + 4 + i]) << (8 * i);
            }
            if (size < 8 || at + size > in.size()) return false;
            const ChunkClass chunk = classifyChunkId(id);
            const bool sound = chunk.kind == ChunkKind::streamHeader ||
                               chunk.kind == ChunkKind::fixedHeader ||
                               chunk.kind == ChunkKind::audioData;
            if (!sound && (leftOutType == 0 || chunk.frameType != leftOutType))
                out.raw(
                    Bytes(in.begin() + std::ptrdiff_t(at), in.begin() + std::ptrdiff_t(at + size)));
            at += size;
        }
        return out.save(path);
    });
}

bool Frames::load(const std::string& movie, int gamma) {
    std::string raw = cachedOutput("frames-" + std::to_string(gamma) + ".raw", [&](auto& path) {
        return qztest::runProgram(QZ_QZTOOL_PATH,
                                  {"frames", "--pixel-format", "xrgb8888", "--gamma",
                                   std::to_string(gamma), "--raw", path, movie})
                   .exitCode == 0;
    });
    if (raw.empty()) return false;
    Bytes bytes = qztest::readFileBytes(raw);
    const std::size_t frameBytes = std::size_t(movieWidth) * movieHeight * 4;
    count = int(bytes.size() / frameBytes);
    rgb.resize(std::size_t(count) * movieWidth * movieHeight * 3);
    for (std::size_t p = 0; p < rgb.size() / 3; ++p) {
        // Each pixel is 0x00RRGGBB, little-endian.
        rgb[p * 3] = bytes[p * 4 + 2];
        rgb[p * 3 + 1] = bytes[p * 4 + 1];
        rgb[p * 3 + 2] = bytes[p * 4];
    }
    return count > 0;
}

double Frames::psnrOf(const Picture& a, const Picture& b) {
    if (a.size() != b.size() || a.empty()) return 0;
    return picturePsnr(a, b.data());
}

Picture Frames::picture(int n) const {
    const std::size_t frameSize = std::size_t(movieWidth) * movieHeight * 3;
    auto first = rgb.begin() + std::ptrdiff_t(std::size_t(n) * frameSize);
    return Picture(first, first + std::ptrdiff_t(frameSize));
}

Match Frames::best(const Picture& shot) const {
    Match match;
    const std::size_t frameSize = std::size_t(movieWidth) * movieHeight * 3;
    if (shot.size() != frameSize) return match;
    for (int f = 0; f < count; ++f) {
        double value = picturePsnr(shot, rgb.data() + std::size_t(f) * frameSize);
        if (value > match.psnr) match = {f, value};
    }
    return match;
}

} // namespace xtest
