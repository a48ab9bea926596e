#include "tools/picture_input.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include <png.h>

#include "encoder/rounding.h"
#include "format/chunk_ids.h"
#include "tools/file_checks.h"
#include "tools/image_writers.h"

namespace qztool {

namespace {

std::uint8_t clampByte(double v) {
    return static_cast<std::uint8_t>(std::clamp(roundHalfAway(v), 0L, 255L));
}

bool endsWith(const std::string& s, const char* tail) {
    const std::size_t n = std::strlen(tail);
    return s.size() >= n && s.compare(s.size() - n, n, tail) == 0;
}

// PNG files one after another, each read only when asked for.
class PngSequence : public PictureSource {
  public:
    explicit PngSequence(std::vector<std::string> files) : files_(std::move(files)) {}
    bool next(InputPicture& picture, std::string& message) override {
        if (at_ == files_.size()) return false;
        const std::string& path = files_[at_++];
        if (!checkInputFile(path, message, "PNG picture") || !readPng(path, picture, message))
            return false;
        if (at_ > 1 && (picture.width != width_ || picture.height != height_)) {
            message = path + ": picture size " + std::to_string(picture.width) + "x" +
                      std::to_string(picture.height) + " differs from the first picture's " +
                      std::to_string(width_) + "x" + std::to_string(height_);
            return false;
        }
        width_ = picture.width, height_ = picture.height;
        return true;
    }
    std::optional<std::size_t> count() const override { return files_.size(); }

  private:
    std::vector<std::string> files_;
    std::size_t at_ = 0;
    int width_ = 0;
    int height_ = 0;
};

} // namespace

YuvPicture toYuv420(const InputPicture& picture) {
    switch (picture.kind) {
    case InputPicture::Kind::rgb:
        return rgbToYuv420(picture.rgb.data(), picture.width, picture.height);
    case InputPicture::Kind::yuv420:
        return picture.yuv;
    case InputPicture::Kind::yuv444:
        break;
    }
    YuvPicture out = makeYuvPicture(picture.width, picture.height);
    out.y = picture.yuv.y;
    const int w = picture.width, h = picture.height;
    for (int cy = 0; cy < out.chromaHeight(); ++cy) {
        for (int cx = 0; cx < out.chromaWidth(); ++cx) {
            int sb = 0, sr = 0, n = 0;
            for (int y = 2 * cy; y < std::min(h, 2 * cy + 2); ++y)
                for (int x = 2 * cx; x < std::min(w, 2 * cx + 2); ++x) {
                    sb += picture.cb444[std::size_t(y) * w + x];
                    sr += picture.cr444[std::size_t(y) * w + x];
                    ++n;
                }
            const std::size_t i = std::size_t(cy) * out.chromaWidth() + cx;
            out.cb[i] = static_cast<std::uint8_t>((sb + n / 2) / n);
            out.cr[i] = static_cast<std::uint8_t>((sr + n / 2) / n);
        }
    }
    return out;
}

RgbPicture toRgb(const InputPicture& picture) {
    RgbPicture out{picture.width, picture.height, {}};
    if (picture.kind == InputPicture::Kind::rgb) {
        out.rgb = picture.rgb;
        return out;
    }
    const int w = picture.width, h = picture.height;
    out.rgb.resize(std::size_t(w) * h * 3);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const std::size_t i = std::size_t(y) * w + x;
            const double luma = picture.yuv.y[i];
            double u, v;
            if (picture.kind == InputPicture::Kind::yuv444) {
                u = picture.cb444[i] - 128.0, v = picture.cr444[i] - 128.0;
            } else {
                u = picture.yuv.cbAt(x / 2, y / 2) - 128.0,
                v = picture.yuv.crAt(x / 2, y / 2) - 128.0;
            }
            std::uint8_t* p = out.rgb.data() + 3 * i;
            p[0] = clampByte(luma + 1.402 * v);
            p[1] = clampByte(luma - 0.344136 * u - 0.714136 * v);
            p[2] = clampByte(luma + 1.772 * u);
        }
    }
    return out;
}

bool readPng(const std::string& path, InputPicture& picture, std::string& message) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        message = "cannot read " + path + ": " + std::strerror(errno);
        return false;
    }
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    bool ok = png_image_begin_read_from_stdio(&image, file) != 0;
    if (ok) {
        image.format = PNG_FORMAT_RGB;
        if (image.width == 0 || image.height == 0 || image.width > maxPictureSide ||
            image.height > maxPictureSide) {
            png_image_free(&image);
            std::fclose(file);
            message = path + ": picture size " + std::to_string(image.width) + "x" +
                      std::to_string(image.height) + " is not 1 to " +
                      std::to_string(maxPictureSide) + " pixels a side";
            return false;
        }
        picture.rgb.assign(PNG_IMAGE_SIZE(image), 0);
        ok = png_image_finish_read(&image, nullptr, picture.rgb.data(), 0, nullptr) != 0;
    }
    if (!ok) {
        message = path + ": not a readable PNG picture (" + image.message + ")";
        png_image_free(&image);
        std::fclose(file);
        return false;
    }
    std::fclose(file);
    picture.kind = InputPicture::Kind::rgb;
    picture.width = static_cast<int>(image.width);
    picture.height = static_cast<int>(image.height);
    return true;
}

std::vector<std::string> patternFiles(const std::string& pattern) {
    std::vector<std::string> files;
    namespace fs = std::filesystem;
    std::error_code error;
    long n = fs::exists(framePatternPath(pattern, 0), error) ? 0 : 1;
    for (;; ++n) {
        std::string path = framePatternPath(pattern, n);
        if (!fs::exists(path, error)) break;
        files.push_back(std::move(path));
    }
    return files;
}

bool looksLikeMovie(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return false;
    unsigned char head[4] = {};
    const bool whole = std::fread(head, 1, 4, file) == 4;
    std::fclose(file);
    if (!whole) return false;
    const DWORD id =
        DWORD(head[0]) | DWORD(head[1]) << 8 | DWORD(head[2]) << 16 | DWORD(head[3]) << 24;
    return classifyChunkId(id).kind != ChunkKind::unknown;
}

std::unique_ptr<PictureSource> openPictureSource(const std::vector<std::string>& names,
                                                 std::string& message) {
    if (names.empty()) {
        message = "no pictures given";
        return nullptr;
    }
    if (names.size() == 1) {
        const std::string& name = names[0];
        if (name == "-") return openY4mSource(name, message);
        if (endsWith(name, ".y4m") || endsWith(name, ".Y4M"))
            return checkInputFile(name, message, "Y4M stream") ? openY4mSource(name, message)
                                                               : nullptr;
        if (name.find('%') != std::string::npos) {
            if (!checkFramePattern(name, message)) return nullptr;
            std::vector<std::string> files = patternFiles(name);
            if (files.empty()) {
                message = name + ": no picture file matches (looked for " +
                          framePatternPath(name, 0) + " and " + framePatternPath(name, 1) + ")";
                return nullptr;
            }
            return std::make_unique<PngSequence>(std::move(files));
        }
        if (looksLikeMovie(name))
            return checkInputFile(name, message) ? openMovieSource(name, message) : nullptr;
    }
    // A list of PNG files: each must be there before the first is encoded.
    for (const std::string& name : names)
        if (!checkInputFile(name, message, "PNG picture")) return nullptr;
    return std::make_unique<PngSequence>(names);
}

} // namespace qztool
