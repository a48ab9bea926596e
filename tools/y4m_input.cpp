// YUV4MPEG2 input: the stream header, then one FRAME record after another, read one picture at a
// time from a file or from standard input.
#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>

#include "encoder/rounding.h"
#include "tools/picture_input.h"
#include "video/frame_decoder.h"

namespace qztool {

namespace {

// Longest header line taken: a real one is well under this.
constexpr std::size_t maxHeaderLine = 4096;

class Y4mSource : public PictureSource {
  public:
    ~Y4mSource() override {
        if (file_ != nullptr && file_ != stdin) std::fclose(file_);
    }

    bool open(const std::string& name, const std::string& shownName, std::string& message) {
        name_ = !shownName.empty() ? shownName : name == "-" ? "standard input" : name;
        file_ = name == "-" ? stdin : std::fopen(name.c_str(), "rb");
        if (file_ == nullptr) {
            message = "cannot read " + name + ": " + std::strerror(errno);
            return false;
        }
        return readHeader(message);
    }

    // Takes over a stream already open (closed with the source).
    bool open(std::FILE* file, const std::string& shownName, std::string& message) {
        name_ = shownName;
        file_ = file;
        return readHeader(message);
    }

    bool readHeader(std::string& message) {
        std::string line;
        if (!readLine(line) || line.rfind("YUV4MPEG2", 0) != 0 ||
            (line.size() > 9 && line[9] != ' '))
            return fail("not a YUV4MPEG2 stream (no YUV4MPEG2 header)", message);
        std::string chroma = "420", widthText = "(none)", heightText = "(none)";
        std::size_t at = 9;
        while (at < line.size()) {
            const std::size_t end = std::min(line.find(' ', at + 1), line.size());
            const std::string field = line.substr(at + 1, end - at - 1);
            at = end;
            if (field.empty()) continue;
            const std::string value = field.substr(1);
            switch (field[0]) {
            case 'W':
                width_ = side(value);
                widthText = value;
                break;
            case 'H':
                height_ = side(value);
                heightText = value;
                break;
            case 'C':
                chroma = value;
                break;
            case 'F': {
                // Rates far outside what a movie takes are kept just outside it, for the
                // caller's range check (the division alone could overflow an int); so is the
                // rate of two numbers too large for a double, which is no number at all.
                double num = 0, den = 0;
                if (std::sscanf(value.c_str(), "%lf:%lf", &num, &den) == 2 && num > 0 && den > 0) {
                    const double rate = num / den;
                    fps_ = static_cast<int>(roundHalfAway(rate < 1e6 ? rate : 1e6));
                }
                break;
            }
            case 'I':
                if (value != "p" && value != "?")
                    return fail("interlaced pictures (I" + value + ") are not taken", message);
                break;
            case 'X':
                if (value == "COLORRANGE=FULL") fullRange_ = true;
                break;
            default:
                break;
            }
        }
        if (width_ <= 0 || height_ <= 0 || width_ > maxPictureSide || height_ > maxPictureSide)
            return fail("picture size " + widthText + "x" + heightText + " is not 1 to " +
                            std::to_string(maxPictureSide) + " pixels a side",
                        message);
        if (chroma.rfind("420", 0) == 0)
            kind_ = InputPicture::Kind::yuv420;
        else if (chroma.rfind("444", 0) == 0 && chroma.find("alpha") == std::string::npos)
            kind_ = InputPicture::Kind::yuv444;
        else if (chroma.rfind("422", 0) == 0)
            half_ = true, kind_ = InputPicture::Kind::yuv444;
        else if (chroma == "mono")
            mono_ = true, kind_ = InputPicture::Kind::yuv444;
        else
            return fail("chroma sampling C" + chroma + " is not taken (4:2:0, 4:2:2, 4:4:4, mono)",
                        message);
        for (int v = 0; v < 256; ++v) {
            lumaMap_[v] = fullRange_ ? std::uint8_t(v) : clampByte((v - 16) * 255.0 / 219.0);
            chromaMap_[v] =
                fullRange_ ? std::uint8_t(v) : clampByte((v - 128) * 255.0 / 224.0 + 128.0);
        }
        struct stat st {};
        if (file_ != stdin && fstat(fileno(file_), &st) == 0 && S_ISREG(st.st_mode)) {
            const long headerEnd = std::ftell(file_);
            const std::size_t perFrame = 6 + pictureBytes();
            if (headerEnd >= 0 && st.st_size >= headerEnd)
                count_ = (std::size_t(st.st_size) - std::size_t(headerEnd)) / perFrame;
        }
        return true;
    }

    bool next(InputPicture& picture, std::string& message) override {
        std::string line;
        if (!readLine(line)) {
            if (std::ferror(file_) != 0) return fail(std::strerror(errno), message);
            if (!line.empty()) return fail("the stream ends inside a frame header", message);
            return false;
        }
        if (line.rfind("FRAME", 0) != 0 || (line.size() > 5 && line[5] != ' '))
            return fail("frame " + std::to_string(frames_ + 1) + " does not start with FRAME",
                        message);
        const std::size_t luma = std::size_t(width_) * height_;
        planes_.resize(pictureBytes());
        if (std::fread(planes_.data(), 1, planes_.size(), file_) != planes_.size())
            return fail("the stream ends inside frame " + std::to_string(frames_ + 1), message);
        ++frames_;
        picture.kind = kind_;
        picture.width = width_;
        picture.height = height_;
        if (kind_ == InputPicture::Kind::yuv420) {
            picture.yuv = makeYuvPicture(width_, height_);
            const std::size_t chroma = picture.yuv.cb.size();
            map(planes_.data(), luma, lumaMap_, picture.yuv.y.data());
            map(planes_.data() + luma, chroma, chromaMap_, picture.yuv.cb.data());
            map(planes_.data() + luma + chroma, chroma, chromaMap_, picture.yuv.cr.data());
            return true;
        }
        picture.yuv = makeYuvPicture(width_, height_);
        map(planes_.data(), luma, lumaMap_, picture.yuv.y.data());
        picture.cb444.assign(luma, 128);
        picture.cr444.assign(luma, 128);
        if (half_) {
            // 4:2:2: each chroma sample serves two pixels of its row.
            const std::size_t cw = std::size_t(width_ + 1) / 2, plane = cw * std::size_t(height_);
            for (int y = 0; y < height_; ++y)
                for (int x = 0; x < width_; ++x) {
                    const std::size_t from = std::size_t(y) * cw + std::size_t(x / 2);
                    const std::size_t to = std::size_t(y) * std::size_t(width_) + std::size_t(x);
                    picture.cb444[to] = chromaMap_[planes_[luma + from]];
                    picture.cr444[to] = chromaMap_[planes_[luma + plane + from]];
                }
        } else if (!mono_) {
            map(planes_.data() + luma, luma, chromaMap_, picture.cb444.data());
            map(planes_.data() + 2 * luma, luma, chromaMap_, picture.cr444.data());
        }
        return true;
    }

    std::optional<std::size_t> count() const override { return count_; }
    std::optional<int> framesPerSecond() const override { return fps_; }

  private:
    // A W or H value: its decimal digits, or -1 when it is not a number of 1 to maxPictureSide
    // (atoi would wrap 4294967297 round to 1).
    static int side(const std::string& value) {
        if (value.empty() || value.size() > 5 ||
            !std::all_of(value.begin(), value.end(), [](char c) { return c >= '0' && c <= '9'; }))
            return -1;
        return std::atoi(value.c_str());
    }

    static std::uint8_t clampByte(double v) {
        return static_cast<std::uint8_t>(std::clamp(roundHalfAway(v), 0L, 255L));
    }
    static void map(const std::uint8_t* in, std::size_t n, const std::array<std::uint8_t, 256>& m,
                    std::uint8_t* out) {
        for (std::size_t i = 0; i < n; ++i) out[i] = m[in[i]];
    }

    std::size_t pictureBytes() const {
        const std::size_t luma = std::size_t(width_) * height_;
        if (mono_) return luma;
        if (half_) return luma + 2 * std::size_t((width_ + 1) / 2) * std::size_t(height_);
        if (kind_ == InputPicture::Kind::yuv444) return 3 * luma;
        return luma + 2 * std::size_t((width_ + 1) / 2) * ((height_ + 1) / 2);
    }

    // One line without its newline; false at the end of the stream or past maxHeaderLine.
    bool readLine(std::string& line) {
        line.clear();
        for (int c; (c = std::fgetc(file_)) != EOF;) {
            if (c == '\n') return true;
            if (line.size() == maxHeaderLine) return false;
            line.push_back(static_cast<char>(c));
        }
        return false;
    }

    bool fail(const std::string& what, std::string& message) const {
        message = name_ + ": " + what;
        return false;
    }

    std::string name_;
    std::FILE* file_ = nullptr;
    int width_ = 0;
    int height_ = 0;
    std::optional<int> fps_;
    std::optional<std::size_t> count_;
    bool fullRange_ = false;
    bool mono_ = false;
    bool half_ = false; // 4:2:2, read into 4:4:4
    InputPicture::Kind kind_ = InputPicture::Kind::yuv420;
    std::array<std::uint8_t, 256> lumaMap_{};
    std::array<std::uint8_t, 256> chromaMap_{};
    std::vector<std::uint8_t> planes_;
    std::size_t frames_ = 0;
};

} // namespace

std::unique_ptr<PictureSource> openY4mStream(std::FILE* file, const std::string& shownName,
                                             std::string& message) {
    auto source = std::make_unique<Y4mSource>();
    if (!source->open(file, shownName, message)) return nullptr;
    return source;
}

std::unique_ptr<PictureSource> openY4mSource(const std::string& name, std::string& message,
                                             const std::string& shownName) {
    auto source = std::make_unique<Y4mSource>();
    if (!source->open(name, shownName, message)) return nullptr;
    return source;
}

} // namespace qztool
