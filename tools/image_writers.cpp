#include "tools/image_writers.h"
#include "encoder/rounding.h"
#include "video/dct/simd_switch.h"

#if QZ_HAVE_PNG
#include <png.h>
#endif

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstring>

namespace qztool {

namespace {

std::uint8_t clampByte(double v) {
    return static_cast<std::uint8_t>(std::clamp(roundHalfAway(v), 0L, 255L));
}

// A 5- or 6-bit channel widened to 8 bits with its top bits repeated below.
std::uint8_t widen(std::uint32_t value, int bits) {
    return static_cast<std::uint8_t>((value << (8 - bits)) | (value >> (2 * bits - 8)));
}

void rgbOfPixel(FrameFormat format, const BYTE* p, const BYTE* palette, std::uint8_t* rgb) {
    switch (format) {
    case FrameFormat::pal8:
        std::memcpy(rgb, palette + 3 * p[0], 3);
        return;
    case FrameFormat::rgb555: {
        const std::uint32_t v = p[0] | (p[1] << 8);
        rgb[0] = widen((v >> 10) & 31, 5);
        rgb[1] = widen((v >> 5) & 31, 5);
        rgb[2] = widen(v & 31, 5);
        return;
    }
    case FrameFormat::rgb565: {
        const std::uint32_t v = p[0] | (p[1] << 8);
        rgb[0] = widen((v >> 11) & 31, 5);
        rgb[1] = widen((v >> 5) & 63, 6);
        rgb[2] = widen(v & 31, 5);
        return;
    }
    default: // xrgb8888: bytes B, G, R, x
        rgb[0] = p[2];
        rgb[1] = p[1];
        rgb[2] = p[0];
        return;
    }
}

std::uint8_t limitedLuma(std::uint8_t full) {
    return clampByte(16 + full * 219.0 / 255);
}

std::uint8_t limitedChroma(std::uint8_t full) {
    return clampByte(128 + (full - 128.0) * 224.0 / 255);
}

// A function of one byte as a table of its 256 values.
struct ByteTable {
    std::uint8_t value[256];
    explicit ByteTable(std::uint8_t (*f)(std::uint8_t)) {
        for (int i = 0; i < 256; ++i) value[i] = f(static_cast<std::uint8_t>(i));
    }
};

// The chroma bytes (U, V) of the YUY2 pair holding pixel x of a row of width pixels; a lone
// last pixel of an odd width has no V byte and counts as neutral.
void yuy2Chroma(const BYTE* row, int x, int width, std::uint8_t& u, std::uint8_t& v) {
    const int quad = (x & ~1) * 2;
    u = row[quad + 1];
    v = (x | 1) < width ? row[quad + 3] : 0x80;
}

// A chroma plane of width x height samples halved in height, and in width too when both: every
// output sample is the rounded mean of the samples its 2x2 (or 1x2) block holds within the plane.
void halveChroma(const BYTE* in, int width, int height, bool both, BYTE* out) {
    const int ow = both ? (width + 1) / 2 : width, oh = (height + 1) / 2;
    const int step = both ? 2 : 1;
    for (int oy = 0; oy < oh; ++oy)
        for (int ox = 0; ox < ow; ++ox) {
            int sum = 0, n = 0;
            for (int y = 2 * oy; y < std::min(2 * oy + 2, height); ++y)
                for (int x = step * ox; x < std::min(step * ox + step, width); ++x) {
                    sum += in[std::size_t(y) * width + x];
                    ++n;
                }
            out[std::size_t(oy) * ow + ox] = static_cast<BYTE>((sum + n / 2) / n);
        }
}

// Row y of the frame as R, G, B bytes into out (3 x width bytes).
void rowToRgb(const ExportedFrame& frame, int y, std::uint8_t* out) {
    const int w = frame.width;
    const int pixelBytes = framePixelBytes(frame.format);
    if (frame.black) {
        std::memset(out, 0, std::size_t(w) * 3);
        return;
    }
    const BYTE* row = frame.pixels + std::size_t(y) * w * pixelBytes;
    for (int x = 0; x < w; ++x) {
        if (frame.format != FrameFormat::yuy2) {
            rgbOfPixel(frame.format, row + x * pixelBytes, frame.palette, out + 3 * x);
            continue;
        }
        std::uint8_t u, v;
        yuy2Chroma(row, x, w, u, v);
        const double luma = row[2 * x];
        out[3 * x] = clampByte(luma + 1.402 * (v - 128.0));
        out[3 * x + 1] = clampByte(luma - 0.344136 * (u - 128.0) - 0.714136 * (v - 128.0));
        out[3 * x + 2] = clampByte(luma + 1.772 * (u - 128.0));
    }
}

} // namespace

void limitedYcc(const std::uint8_t* rgb, std::uint8_t& y, std::uint8_t& cb, std::uint8_t& cr) {
    const double r = rgb[0], g = rgb[1], b = rgb[2];
    y = clampByte(16 + (65.481 * r + 128.553 * g + 24.966 * b) / 255);
    cb = clampByte(128 + (-37.797 * r - 74.203 * g + 112.0 * b) / 255);
    cr = clampByte(128 + (112.0 * r - 93.786 * g - 18.214 * b) / 255);
}

void limitedYccRowPlain(const std::uint8_t* rgb, int n, BYTE* y, BYTE* cb, BYTE* cr) {
    // Every factor is a whole number of thousandths, so each sum is exact in 255000ths: a value
    // that is no half rounds as the doubles round it (their error is far below 1/255000), and a
    // half, where the doubles' error decides, takes the doubles' way. No value needs clamping.
    constexpr int scale = 255 * 1000, half = scale / 2;
    for (int i = 0; i < n; ++i, rgb += 3) {
        const int r = rgb[0], g = rgb[1], b = rgb[2];
        const int sy = 65481 * r + 128553 * g + 24966 * b + 16 * scale + half;
        const int scb = -37797 * r - 74203 * g + 112000 * b + 128 * scale + half;
        const int scr = 112000 * r - 93786 * g - 18214 * b + 128 * scale + half;
        if (sy % scale == 0 || scb % scale == 0 || scr % scale == 0) {
            limitedYcc(rgb, y[i], cb[i], cr[i]);
            continue;
        }
        y[i] = static_cast<BYTE>(sy / scale);
        cb[i] = static_cast<BYTE>(scb / scale);
        cr[i] = static_cast<BYTE>(scr / scale);
    }
}

void limitedYccXrgbRowPlain(const BYTE* bgrx, int n, BYTE* y, BYTE* cb, BYTE* cr) {
    constexpr int run = 64; // pixels made R, G, B bytes at a time
    std::uint8_t rgb[3 * run];
    for (int i = 0; i < n; i += run) {
        const int count = std::min(run, n - i);
        for (int k = 0; k < count; ++k)
            rgbOfPixel(FrameFormat::xrgb8888, bgrx + 4 * (i + k), nullptr, rgb + 3 * k);
        limitedYccRowPlain(rgb, count, y + i, cb + i, cr + i);
    }
}

#if !QZ_X86_SIMD
void limitedYccRowAvx2(const std::uint8_t* rgb, int n, BYTE* y, BYTE* cb, BYTE* cr) {
    limitedYccRowPlain(rgb, n, y, cb, cr);
}

void limitedYccXrgbRowAvx2(const BYTE* bgrx, int n, BYTE* y, BYTE* cb, BYTE* cr) {
    limitedYccXrgbRowPlain(bgrx, n, y, cb, cr);
}
#endif

void limitedYccRow(const std::uint8_t* rgb, int n, BYTE* y, BYTE* cb, BYTE* cr) {
    if (simdLevel() != SimdLevel::none)
        limitedYccRowAvx2(rgb, n, y, cb, cr);
    else
        limitedYccRowPlain(rgb, n, y, cb, cr);
}

void limitedYccXrgbRow(const BYTE* bgrx, int n, BYTE* y, BYTE* cb, BYTE* cr) {
    if (simdLevel() != SimdLevel::none)
        limitedYccXrgbRowAvx2(bgrx, n, y, cb, cr);
    else
        limitedYccXrgbRowPlain(bgrx, n, y, cb, cr);
}

std::size_t framePictureBytes(const ExportedFrame& frame) {
    return std::size_t(frame.width) * std::size_t(frame.height) * framePixelBytes(frame.format);
}

Bytes blackPicture(FrameFormat format, int width, int height) {
    Bytes out(std::size_t(width) * height * framePixelBytes(format), 0);
    if (format == FrameFormat::yuy2) {
        for (std::size_t i = 1; i < out.size(); i += 2) out[i] = 0x80;
    }
    return out;
}

Bytes frameToRgb(const ExportedFrame& frame) {
    Bytes rgb(std::size_t(frame.width) * frame.height * 3, 0);
    for (int y = 0; y < frame.height; ++y)
        rowToRgb(frame, y, rgb.data() + std::size_t(y) * frame.width * 3);
    return rgb;
}

#if QZ_HAVE_PNG
namespace {

// Writes a PNG the simplified interface describes from pixels (and colormap, for a palette PNG).
bool writeImage(const std::string& path, png_image& image, const void* pixels, int rowBytes,
                const void* colormap, std::string& message) {
    OutputFile file;
    if (!file.open(path, message)) return false;
    errno = 0;
    if (!png_image_write_to_stdio(&image, file.stream(), 0, pixels, rowBytes, colormap)) {
        // A failed write leaves its reason in errno; otherwise the library's own message.
        if (std::ferror(file.stream()) == 0 || errno == 0) {
            message = "cannot write " + path + ": " + image.message;
            png_image_free(&image);
            return false;
        }
        png_image_free(&image);
        return file.failed(message);
    }
    return file.commit(message);
}

} // namespace

bool writePng(const std::string& path, const Bytes& rgb, int width, int height,
              std::string& message) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(width);
    image.height = static_cast<png_uint_32>(height);
    image.format = PNG_FORMAT_RGB;
    return writeImage(path, image, rgb.data(), width * 3, nullptr, message);
}

bool writePalettePng(const std::string& path, const BYTE* indices, const BYTE* palette, int width,
                     int height, std::string& message) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(width);
    image.height = static_cast<png_uint_32>(height);
    image.format = PNG_FORMAT_RGB_COLORMAP;
    image.colormap_entries = 256;
    return writeImage(path, image, indices, width, palette, message);
}
#else
// Builds without libpng (the Windows cross build has none) export raw pixels and Y4M only.
bool writePng(const std::string& path, const Bytes&, int, int, std::string& message) {
    message =
        "cannot write " + path + ": this build of qztool has no PNG support (use --y4m or --raw)";
    return false;
}

bool writePalettePng(const std::string& path, const BYTE*, const BYTE*, int, int,
                     std::string& message) {
    return writePng(path, {}, 0, 0, message);
}
#endif

bool writeFramePng(const std::string& path, const ExportedFrame& frame, std::string& message) {
    if (frame.format == FrameFormat::pal8 && !frame.black)
        return writePalettePng(path, frame.pixels, frame.palette, frame.width, frame.height,
                               message);
    return writePng(path, frameToRgb(frame), frame.width, frame.height, message);
}

bool checkFramePattern(const std::string& pattern, std::string& message) {
    int conversions = 0;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] != '%') continue;
        ++i;
        if (i < pattern.size() && pattern[i] == '%') continue;
        if (i < pattern.size() && pattern[i] == '0') ++i;
        std::size_t digits = 0, width = 0;
        while (i < pattern.size() && std::isdigit(static_cast<unsigned char>(pattern[i]))) {
            width = width * 10 + static_cast<std::size_t>(pattern[i++] - '0');
            ++digits;
        }
        if (i >= pattern.size() || digits > 2 || width > 20 ||
            std::string_view("diu").find(pattern[i]) == std::string_view::npos) {
            message = "the pattern " + pattern + " may hold only one %d (e.g. out%04d.png)";
            return false;
        }
        ++conversions;
    }
    if (conversions != 1) {
        message = "the pattern " + pattern + " needs exactly one %d (e.g. out%04d.png)";
        return false;
    }
    return true;
}

std::string framePatternPath(const std::string& pattern, long number) {
    std::string out;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] != '%') {
            out += pattern[i];
            continue;
        }
        ++i;
        if (pattern[i] == '%') {
            out += '%';
            continue;
        }
        const bool zeros = pattern[i] == '0';
        if (zeros) ++i;
        std::size_t width = 0;
        while (std::isdigit(static_cast<unsigned char>(pattern[i])))
            width = width * 10 + static_cast<std::size_t>(pattern[i++] - '0');
        std::string digits = std::to_string(number < 0 ? -number : number);
        const std::string sign = number < 0 ? "-" : "";
        const std::size_t used = digits.size() + sign.size();
        const std::size_t pad = width > used ? width - used : 0;
        out +=
            zeros ? sign + std::string(pad, '0') + digits : std::string(pad, ' ') + sign + digits;
    }
    return out;
}

bool Y4mWriter::open(const std::string& path, FrameFormat format, int width, int height,
                     FrameRate fps, bool chroma420, std::string& message) {
    if (!file_.open(path, message)) return false;
    chroma420_ = chroma420;
    const bool yuy2 = format == FrameFormat::yuy2;
    const char* chroma = chroma420 ? (yuy2 ? "420mpeg2" : "420jpeg") : yuy2 ? "422" : "444";
    errno = 0;
    if (std::fprintf(
            file_.stream(),
            "YUV4MPEG2 W%d H%d F%d:%d Ip A1:1 C%s XCOLORRANGE=LIMITED XCOLORMATRIX=BT601\n", width,
            height, fps.num, fps.den, chroma) < 0)
        return file_.failed(message);
    return true;
}

void Y4mWriter::convert(const ExportedFrame& frame, Bytes& out) const {
    static const char frameHeader[] = "FRAME\n";
    constexpr std::size_t headerBytes = sizeof frameHeader - 1;
    const int w = frame.width, h = frame.height;
    const std::size_t lumaSize = std::size_t(w) * h;
    const bool yuy2 = frame.format == FrameFormat::yuy2;
    const int cw = yuy2 ? (w + 1) / 2 : w; // chroma samples a row before any halving
    const std::size_t chromaSize = std::size_t(cw) * h;
    const int ow = chroma420_ && !yuy2 ? (cw + 1) / 2 : cw;
    const std::size_t outSize = chroma420_ ? std::size_t(ow) * ((h + 1) / 2) : chromaSize;
    const std::size_t streamBytes = headerBytes + lumaSize + 2 * outSize;
    // Chroma to be halved is made whole past the stream's bytes first, in the same buffer, so
    // that a reused buffer needs no memory of its own.
    out.resize(streamBytes + (chroma420_ ? 2 * chromaSize : 0));
    std::memcpy(out.data(), frameHeader, headerBytes);
    BYTE* luma = out.data() + headerBytes;
    BYTE* chroma = chroma420_ ? out.data() + streamBytes : luma + lumaSize;
    if (yuy2) {
        static const ByteTable lumaTable(limitedLuma), chromaTable(limitedChroma);
        for (int y = 0; y < h; ++y) {
            const BYTE* row = frame.pixels + std::size_t(y) * w * 2;
            for (int x = 0; x < w; ++x) {
                luma[std::size_t(y) * w + x] = lumaTable.value[row[2 * x]];
                if (x & 1) continue;
                std::uint8_t u, v;
                yuy2Chroma(row, x, w, u, v);
                chroma[std::size_t(y) * cw + x / 2] = chromaTable.value[u];
                chroma[chromaSize + std::size_t(y) * cw + x / 2] = chromaTable.value[v];
            }
        }
    } else if (frame.format == FrameFormat::xrgb8888 && !frame.black) {
        for (int y = 0; y < h; ++y) {
            const std::size_t at = std::size_t(y) * w;
            limitedYccXrgbRow(frame.pixels + 4 * at, w, luma + at, chroma + at,
                              chroma + chromaSize + at);
        }
    } else {
        Bytes rgb(std::size_t(w) * 3);
        for (int y = 0; y < h; ++y) {
            rowToRgb(frame, y, rgb.data());
            const std::size_t at = std::size_t(y) * w;
            limitedYccRow(rgb.data(), w, luma + at, chroma + at, chroma + chromaSize + at);
        }
    }
    for (int plane = 0; chroma420_ && plane < 2; ++plane)
        halveChroma(chroma + plane * chromaSize, cw, h, !yuy2, luma + lumaSize + plane * outSize);
    out.resize(streamBytes);
}

bool Y4mWriter::write(const Bytes& converted, std::string& message) {
    return file_.write(converted.data(), converted.size(), message);
}

bool Y4mWriter::close(std::string& message) {
    return file_.commit(message);
}

} // namespace qztool
