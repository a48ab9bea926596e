// qztool frames: every pixel format against a direct decode through the decoders, the
// persistent target, unshowable frames, the PNG and Y4M files, and the demo's pictures.
#include <gtest/gtest.h>

#include <png.h>

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <filesystem>
#include <sstream>

#include "encoder/krt_encoder.h"
#include "encoder/movie_writer.h"
#include "encoder/type3_encoder.h"
#include "encoder/type4_encoder.h"
#include "tests/support/test_support.h"
#include "tests/video/dct_test_support.h"
#include "tools/demo_krt.h"
#include "tools/demo_movie.h"
#include "tools/frame_export.h"
#include "tools/image_writers.h"
#include "video/dct/simd_switch.h"

namespace {

using dcttest::Variant;

// Sides that are not whole macroblocks: the target is 48x32, the export 40x24.
constexpr int width = 40, height = 24;
constexpr int paddedWidth = 48, paddedHeight = 32;

YuvPicture colourPicture(int seed) {
    std::vector<std::uint8_t> rgb(std::size_t(width) * height * 3);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            std::uint8_t* p = rgb.data() + (std::size_t(y) * width + x) * 3;
            p[0] = static_cast<std::uint8_t>(40 + (x * 4 + seed * 30) % 170);
            p[1] = static_cast<std::uint8_t>(40 + (y * 7 + seed * 50) % 170);
            p[2] = static_cast<std::uint8_t>(((x / 8 + y / 8 + seed) & 1) ? 200 : 50);
        }
    return rgbToYuv420(rgb.data(), width, height);
}

struct Frame {
    int type;
    Bytes payload;
};

Frame type3(const YuvPicture& p, const YuvPicture* previous = nullptr) {
    return {3, encodeType3Frame(p, 80, previous)};
}
Frame type4(const YuvPicture& p) {
    return {4, encodeType4Frame(p, 80)};
}

std::string movieFile(const std::vector<Frame>& frames, const std::string& name) {
    Movie movie;
    for (const Frame& f : frames)
        movie.video.push_back({chunkId(f.type == 3 ? "MQZf" : "QZ2f"), f.payload});
    return qztest::writeScratchFile(name, movieBytes(movie));
}

struct Export {
    int code = -1;
    std::string out;
    std::string err;
    Bytes raw;
};

Export exportRaw(const std::string& movie, const std::string& format, int gamma = 100,
                 bool allowBlack = false) {
    qztool::FrameExportOptions options;
    options.movie = movie;
    options.pixelFormat = format;
    options.gamma = gamma;
    options.allowBlack = allowBlack;
    options.rawPath = qztest::scratchPath((format.empty() ? "default" : format) + ".raw");
    std::filesystem::remove(options.rawPath);
    std::ostringstream out, err;
    Export result;
    result.code = qztool::runFrames(options, out, err);
    result.out = out.str();
    result.err = err.str();
    result.raw = qztest::readFileBytes(options.rawPath);
    return result;
}

std::size_t count(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

// The frames decoded straight through the decoders into one persistent padded target, each
// cropped to the picture. Frames the variant's format cannot show come out as black.
Bytes directDecode(const std::vector<Frame>& frames, const PixelFormat& format, Variant v3,
                   Variant v4, LONG gamma = 100) {
    const int bytes = dcttest::pixelBytes(v4);
    dcttest::Decoder decoder(format, gamma);
    decoder.clip(0, 0, paddedWidth, paddedHeight);
    dcttest::Target target(paddedWidth * bytes, paddedHeight);
    std::fill(target.origin(), target.origin() + target.pitch * paddedHeight, 0);
    Bytes out;
    for (const Frame& f : frames) {
        const bool yuv = v4 == Variant::type4Yuy2;
        if (f.type == 3 && yuv) {
            const Bytes black = qztool::blackPicture(FrameFormat::yuy2, width, height);
            out.insert(out.end(), black.begin(), black.end());
            continue;
        }
        decoder.decode(f.payload, f.type == 3 ? v3 : v4, target);
        for (int y = 0; y < height; ++y) {
            const BYTE* row = target.origin() + y * target.pitch;
            out.insert(out.end(), row, row + width * bytes);
        }
    }
    return out;
}

TEST(QztoolFrames, EveryFormatMatchesTheDecodersByteForByte) {
    const std::vector<Frame> frames = {type3(colourPicture(0)), type4(colourPicture(1)),
                                       type3(colourPicture(2)), type4(colourPicture(3))};
    const std::string movie = movieFile(frames, "mixed.qz");
    struct Case {
        const char* name;
        PixelFormat format;
        Variant v3, v4;
    };
    const Case cases[] = {
        {"rgb555", dcttest::rgb555, Variant::type3Rgb16, Variant::type4Rgb16},
        {"rgb565", dcttest::rgb565, Variant::type3Rgb16, Variant::type4Rgb16},
        {"xrgb8888", dcttest::xrgb8888, Variant::type3Rgb32, Variant::type4Rgb32},
        {"yuy2", dcttest::xrgb8888, Variant::type4Yuy2, Variant::type4Yuy2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Export e = exportRaw(movie, c.name, 100, true);
        ASSERT_EQ(e.code, 0) << e.err;
        EXPECT_EQ(e.raw, directDecode(frames, c.format, c.v3, c.v4));
        // yuy2 cannot show the type-3 frames: one message for both.
        EXPECT_EQ(count(e.err, "cannot show"), std::string(c.name) == "yuy2" ? 1u : 0u) << e.err;
    }
    // The DCT decoders write RGB only: in pal8 every frame is black, with one message.
    const Export pal = exportRaw(movie, "pal8", 100, true);
    ASSERT_EQ(pal.code, 0) << pal.err;
    EXPECT_EQ(pal.raw, Bytes(std::size_t(width) * height * frames.size(), 0));
    EXPECT_EQ(count(pal.err, "cannot show"), 1u) << pal.err;
    EXPECT_NE(pal.out.find("4 black"), std::string::npos) << pal.out;
    // Without --allow-black such an export fails, names the first such frame and writes nothing;
    // the default format shows every frame.
    for (const char* format : {"pal8", "yuy2"}) {
        const Export refused = exportRaw(movie, format);
        EXPECT_EQ(refused.code, 1) << format;
        EXPECT_TRUE(refused.raw.empty()) << format;
        EXPECT_NE(refused.err.find(std::string("qztool: ") + movie + ": frame 1 is of type 3"),
                  std::string::npos)
            << refused.err;
    }
    const Export byDefault = exportRaw(movie, "");
    ASSERT_EQ(byDefault.code, 0) << byDefault.err;
    EXPECT_EQ(byDefault.raw,
              directDecode(frames, dcttest::xrgb8888, Variant::type3Rgb32, Variant::type4Rgb32));
}

// --gamma brightens the type-3 frames as well as the type-4 ones, exactly as the decoders do.
TEST(QztoolFrames, GammaReachesEveryKindOfFrame) {
    const std::vector<Frame> frames = {type3(colourPicture(0)), type4(colourPicture(1))};
    const std::string movie = movieFile(frames, "gamma.qz");
    const std::size_t frameBytes = std::size_t(width) * height * 4;
    const Export neutral = exportRaw(movie, "xrgb8888");
    const Export bright = exportRaw(movie, "xrgb8888", 150);
    ASSERT_EQ(bright.code, 0) << bright.err;
    EXPECT_EQ(bright.raw, directDecode(frames, dcttest::xrgb8888, Variant::type3Rgb32,
                                       Variant::type4Rgb32, 150));
    ASSERT_EQ(neutral.raw.size(), 2 * frameBytes);
    ASSERT_EQ(bright.raw.size(), 2 * frameBytes);
    for (std::size_t frame = 0; frame < 2; ++frame) {
        double sums[2] = {0, 0};
        for (std::size_t i = frame * frameBytes; i < (frame + 1) * frameBytes; ++i)
            if (i % 4 != 3) sums[0] += neutral.raw[i], sums[1] += bright.raw[i];
        EXPECT_GT(sums[1], sums[0] * 1.2) << "frame " << frame;
    }
    const Export bright16 = exportRaw(movie, "rgb565", 150);
    ASSERT_EQ(bright16.code, 0) << bright16.err;
    EXPECT_EQ(bright16.raw,
              directDecode(frames, dcttest::rgb565, Variant::type3Rgb16, Variant::type4Rgb16, 150));
}

TEST(QztoolFrames, PaletteFramesGiveTheirIndicesInPal8Only) {
    KrtEncoder encoder;
    Movie movie;
    Bytes expected;
    for (int frame = 0; frame < 3; ++frame) {
        RgbPicture picture{width, height,
                           std::vector<std::uint8_t>(std::size_t(width) * height * 3)};
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                std::uint8_t* p = picture.rgb.data() + (std::size_t(y) * width + x) * 3;
                p[0] = static_cast<std::uint8_t>((x + frame * 4) * 6);
                p[1] = static_cast<std::uint8_t>(y * 10);
                p[2] = static_cast<std::uint8_t>(x < 20 + frame * 4 ? 200 : 30);
            }
        movie.video.push_back(frame == 0 ? encoder.keyFrame(picture) : encoder.deltaFrame(picture));
        expected.insert(expected.end(), encoder.picture().begin(), encoder.picture().end());
    }
    const std::string path = qztest::writeScratchFile("krt.qz", movieBytes(movie));
    const Export pal = exportRaw(path, "pal8");
    ASSERT_EQ(pal.code, 0) << pal.err;
    EXPECT_EQ(pal.raw, expected);
    EXPECT_EQ(count(pal.err, "cannot show"), 0u) << pal.err;
    // The default format shows them through the palette.
    const Export shown = exportRaw(path, "");
    ASSERT_EQ(shown.code, 0) << shown.err;
    ASSERT_EQ(shown.raw.size(), expected.size() * 4);
    EXPECT_NE(shown.raw, Bytes(shown.raw.size(), 0));
    EXPECT_EQ(shown.err, "");
    // No YUV output for palette frames: black, with one message, when black is allowed.
    EXPECT_EQ(exportRaw(path, "yuy2").code, 1);
    const Export yuv = exportRaw(path, "yuy2", 100, true);
    ASSERT_EQ(yuv.code, 0) << yuv.err;
    Bytes black;
    for (int frame = 0; frame < 3; ++frame) {
        const Bytes one = qztool::blackPicture(FrameFormat::yuy2, width, height);
        black.insert(black.end(), one.begin(), one.end());
    }
    EXPECT_EQ(yuv.raw, black);
    EXPECT_EQ(count(yuv.err, "cannot show"), 1u) << yuv.err;
}

// A palette PNG read with libpng's own reader: its indices row after row and its PLTE.
struct PalettePng {
    bool ok = false;
    Bytes indices;
    Bytes palette;
};

PalettePng readPalettePng(const std::string& path) {
    PalettePng result;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return result;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png)) == 0) {
        png_init_io(png, file);
        png_read_info(png, info);
        png_colorp colours = nullptr;
        int count = 0;
        if (png_get_color_type(png, info) == PNG_COLOR_TYPE_PALETTE &&
            png_get_bit_depth(png, info) == 8 && png_get_PLTE(png, info, &colours, &count)) {
            for (int i = 0; i < count; ++i)
                result.palette.insert(result.palette.end(),
                                      {colours[i].red, colours[i].green, colours[i].blue});
            const png_uint_32 w = png_get_image_width(png, info),
                              h = png_get_image_height(png, info);
            result.indices.resize(std::size_t(w) * h);
            for (png_uint_32 y = 0; y < h; ++y)
                png_read_row(png, result.indices.data() + y * w, nullptr);
            result.ok = true;
        }
    }
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(file);
    return result;
}

// KRT frames at pal8 become palette PNGs: the indices of the raw export, and a PLTE that gives
// each pixel the colour the default (xrgb8888) export shows; any number of writers writes the
// same files.
TEST(QztoolFrames, Pal8PngsArePalettePngs) {
    const std::string movie = qztest::scratchPath("krt_png.qz");
    std::string message;
    ASSERT_TRUE(qztool::writeKrtDemoMovie(movie, message)) << message;
    const std::string dir = qztest::scratchPath("pal_png");
    std::filesystem::create_directories(dir);
    // One writer and three write the same files.
    for (const std::string threads : {"1", "3"}) {
        const auto r = qztest::runProgram(QZ_QZTOOL_PATH,
                                          {"frames", movie, "--pixel-format", "pal8", "--png",
                                           dir + "/p" + threads + "_%d.png", "--threads", threads});
        ASSERT_EQ(r.exitCode, 0) << r.err;
    }
    const Export raw = exportRaw(movie, "pal8");
    const Export rgb = exportRaw(movie, "");
    ASSERT_EQ(raw.code, 0);
    ASSERT_EQ(rgb.code, 0);
    const std::size_t pixels = 320 * 240;
    ASSERT_EQ(raw.raw.size() % pixels, 0u);
    const std::size_t frames = raw.raw.size() / pixels;
    ASSERT_GT(frames, 1u);
    for (std::size_t f = 1; f <= frames; ++f) {
        const std::string name = "_" + std::to_string(f) + ".png";
        ASSERT_EQ(qztest::readFileBytes(dir + "/p1" + name),
                  qztest::readFileBytes(dir + "/p3" + name))
            << f;
    }
    ASSERT_EQ(rgb.raw.size(), 4 * raw.raw.size());
    for (std::size_t f = 0; f < frames; f += frames - 1) {
        const PalettePng png = readPalettePng(dir + "/p1_" + std::to_string(f + 1) + ".png");
        ASSERT_TRUE(png.ok) << f;
        ASSERT_EQ(png.palette.size(), 768u);
        ASSERT_EQ(png.indices,
                  Bytes(raw.raw.begin() + f * pixels, raw.raw.begin() + (f + 1) * pixels));
        for (std::size_t i = 0; i < pixels; ++i) {
            const BYTE* colour = png.palette.data() + 3 * png.indices[i];
            const BYTE* shown = rgb.raw.data() + 4 * (f * pixels + i);
            ASSERT_EQ(Bytes(colour, colour + 3), Bytes({shown[2], shown[1], shown[0]}))
                << f << " " << i;
        }
    }
}

TEST(QztoolFrames, TheTargetStartsZeroAndKeepsSkippedMacroblocks) {
    const YuvPicture first = colourPicture(0);
    YuvPicture second = first;
    for (int y = 0; y < 16; ++y)
        for (int x = 16; x < 32; ++x) second.y[std::size_t(y) * width + x] = 235;
    // A frame whose every macroblock is skipped shows the zero-filled target.
    const Bytes empty = dcttest::framePayload(width, height, 80, 0, Bytes(6, 0));
    const std::vector<Frame> frames = {{3, empty}, type3(first), type3(second, &first)};
    ASSERT_LT(frames[2].payload.size(), frames[1].payload.size() / 2); // mostly skips

    const Export e = exportRaw(movieFile(frames, "skips.qz"), "xrgb8888");
    ASSERT_EQ(e.code, 0) << e.err;
    const std::size_t frameBytes = std::size_t(width) * height * 4;
    ASSERT_EQ(e.raw.size(), 3 * frameBytes);
    EXPECT_EQ(Bytes(e.raw.begin(), e.raw.begin() + frameBytes), Bytes(frameBytes, 0));
    EXPECT_EQ(e.raw,
              directDecode(frames, dcttest::xrgb8888, Variant::type3Rgb32, Variant::type4Rgb32));
    // Outside the changed macroblock the third frame still holds the second's pixels.
    for (int y = 16; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const std::size_t at = (std::size_t(y) * width + x) * 4;
            ASSERT_EQ(e.raw[2 * frameBytes + at], e.raw[frameBytes + at]) << x << "," << y;
        }
}

std::string textOf(const Bytes& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

std::uint32_t bigEndian(const Bytes& b, std::size_t at) {
    return std::uint32_t(b[at]) << 24 | b[at + 1] << 16 | b[at + 2] << 8 | b[at + 3];
}

#define Y4M_TAGS " XCOLORRANGE=LIMITED XCOLORMATRIX=BT601\n"

TEST(QztoolFrames, PngAndY4mFilesFromTheProgram) {
    const std::vector<Frame> frames = {type4(colourPicture(0)), type3(colourPicture(1))};
    const std::string movie = movieFile(frames, "two.qz");
    const std::string dir = qztest::scratchPath("png");
    std::filesystem::create_directories(dir);
    auto r = qztest::runProgram(
        QZ_QZTOOL_PATH, {"frames", movie, "--pixel-format", "rgb565", "--png", dir + "/f%03d.png"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    for (const char* name : {"/f001.png", "/f002.png"}) {
        const Bytes png = qztest::readFileBytes(dir + name);
        ASSERT_GT(png.size(), 33u) << name;
        EXPECT_EQ(textOf(Bytes(png.begin() + 1, png.begin() + 4)), "PNG");
        EXPECT_EQ(textOf(Bytes(png.begin() + 12, png.begin() + 16)), "IHDR");
        EXPECT_EQ(bigEndian(png, 16), std::uint32_t(width));
        EXPECT_EQ(bigEndian(png, 20), std::uint32_t(height));
        EXPECT_EQ(png[24], 8); // bits per channel
        EXPECT_EQ(png[25], 2); // RGB
    }
    EXPECT_FALSE(std::filesystem::exists(dir + "/f003.png"));

    struct Y4m {
        const char* format;
        const char* header;
        std::size_t frameBytes;
    };
    for (const Y4m& y : {Y4m{"xrgb8888", "YUV4MPEG2 W40 H24 F15:1 Ip A1:1 C444" Y4M_TAGS, 3 * 960},
                         Y4m{"yuy2", "YUV4MPEG2 W40 H24 F15:1 Ip A1:1 C422" Y4M_TAGS, 2 * 960}}) {
        const std::string path = qztest::scratchPath(std::string(y.format) + ".y4m");
        r = qztest::runProgram(QZ_QZTOOL_PATH, {"frames", movie, "--pixel-format", y.format,
                                                "--allow-black", "--y4m", path});
        ASSERT_EQ(r.exitCode, 0) << r.err;
        const std::string text = textOf(qztest::readFileBytes(path));
        const std::size_t header = std::strlen(y.header);
        EXPECT_EQ(text.substr(0, header), y.header);
        EXPECT_EQ(text.size(), header + 2 * (6 + y.frameBytes));
        EXPECT_EQ(text.substr(header, 6), "FRAME\n");
        EXPECT_EQ(text.substr(header + 6 + y.frameBytes, 6), "FRAME\n");
    }

    // Bad requests fail with a message and write nothing.
    const std::vector<std::vector<std::string>> bad = {
        {"frames", movie, "--pixel-format", "rgb24", "--raw", dir + "/x.raw"},
        {"frames", movie, "--pixel-format", "rgb565"},
        {"frames", movie, "--pixel-format", "rgb565", "--png", dir + "/%s%d.png"},
        {"frames", movie, "--pixel-format", "rgb565", "--png", dir + "/plain.png"},
        {"frames", movie, "--pixel-format", "rgb565", "--track", "2", "--raw", dir + "/x.raw"},
        {"frames", "/nonexistent.qz", "--pixel-format", "rgb565", "--raw", dir + "/x.raw"},
    };
    for (const auto& args : bad) {
        r = qztest::runProgram(QZ_QZTOOL_PATH, args);
        EXPECT_NE(r.exitCode, 0) << args.back();
        EXPECT_FALSE(r.err.empty());
    }
    EXPECT_FALSE(std::filesystem::exists(dir + "/x.raw"));
}

// The Y4M rate is the slot rate as an exact fraction (150 frames over 8 s of sound: 75/4), and
// 4:2:0 chroma is the mean of each 2x2 block of the 4:4:4 chroma.
TEST(QztoolFrames, Y4mRateIsExactAnd420AveragesTheChroma) {
    Movie movie;
    movie.options.samplesPerSlot = 22050 * 8 / 150;
    movie.tracks.push_back({defaultAudioFormat, std::vector<std::int16_t>(22050 * 8 * 2, 0)});
    ASSERT_EQ(movie.tracks[0].format.rate, 22050);
    const Frame frame = type4(colourPicture(0));
    for (int i = 0; i < 150; ++i) movie.video.push_back({chunkId("QZ2f"), frame.payload});
    const std::string path = qztest::writeScratchFile("rate.qz", movieBytes(movie));
    std::string y4m[2];
    for (int i = 0; i < 2; ++i) {
        const std::string out = qztest::scratchPath(i ? "420.y4m" : "444.y4m");
        std::vector<std::string> args = {"frames", path, "--y4m", out};
        if (i) args.push_back("--y4m-420");
        const auto r = qztest::runProgram(QZ_QZTOOL_PATH, args);
        ASSERT_EQ(r.exitCode, 0) << r.err;
        y4m[i] = textOf(qztest::readFileBytes(out));
    }
    const std::string header420 = "YUV4MPEG2 W40 H24 F75:4 Ip A1:1 C420jpeg" Y4M_TAGS;
    const std::string header444 = "YUV4MPEG2 W40 H24 F75:4 Ip A1:1 C444" Y4M_TAGS;
    ASSERT_EQ(y4m[0].substr(0, header444.size()), header444);
    ASSERT_EQ(y4m[1].substr(0, header420.size()), header420);
    const std::size_t luma = 960, quarter = 240;
    ASSERT_EQ(y4m[0].size(), header444.size() + 150 * (6 + 3 * luma));
    ASSERT_EQ(y4m[1].size(), header420.size() + 150 * (6 + luma + 2 * quarter));
    const char* full = y4m[0].data() + header444.size() + 6;
    const char* half = y4m[1].data() + header420.size() + 6;
    EXPECT_EQ(std::string(full, luma), std::string(half, luma));
    for (int plane = 0; plane < 2; ++plane)
        for (int y = 0; y < height / 2; ++y)
            for (int x = 0; x < width / 2; ++x) {
                const auto at = [&](int xx, int yy) {
                    return int(std::uint8_t(full[luma * (1 + plane) + yy * width + xx]));
                };
                const int sum = at(2 * x, 2 * y) + at(2 * x + 1, 2 * y) + at(2 * x, 2 * y + 1) +
                                at(2 * x + 1, 2 * y + 1);
                ASSERT_EQ(int(std::uint8_t(half[luma + plane * quarter + y * width / 2 + x])),
                          (sum + 2) / 4)
                    << plane << " " << x << "," << y;
            }
}

// The Y4M writer's integer conversions, plain and AVX2 (where the processor has it), from R, G,
// B bytes and from xrgb8888 pixels, give the bytes of the plain one in doubles for every colour,
// the exact halves (where the doubles' error decides) included. Each row goes in two calls split
// at a place that moves from row to row, so that the groups of eight start at every offset and
// the pixels left over are of every count.
TEST(QztoolFrames, Y4mConversionByIntegersMatchesTheDoublesForEveryColour) {
    using Form = void (*)(const std::uint8_t*, int, BYTE*, BYTE*, BYTE*);
    // Each form with the bytes a pixel of its input takes.
    std::vector<std::pair<Form, int>> forms = {{qztool::limitedYccRowPlain, 3},
                                               {qztool::limitedYccXrgbRowPlain, 4}};
    if (simdAvailable() != SimdLevel::none) {
        forms.emplace_back(qztool::limitedYccRowAvx2, 3);
        forms.emplace_back(qztool::limitedYccXrgbRowAvx2, 4);
    }
    const int n = 256 * 256;
    std::vector<std::uint8_t> rgb(3 * std::size_t(n)), bgrx(4 * std::size_t(n));
    std::vector<BYTE> planes(3 * std::size_t(n)), expected(3 * std::size_t(n));
    for (int r = 0; r < 256; ++r) {
        for (int i = 0; i < n; ++i) {
            rgb[3 * i] = bgrx[4 * i + 2] = std::uint8_t(r);
            rgb[3 * i + 1] = bgrx[4 * i + 1] = std::uint8_t(i >> 8);
            rgb[3 * i + 2] = bgrx[4 * i] = std::uint8_t(i);
            bgrx[4 * i + 3] = std::uint8_t(i * 7); // the unused byte, which nothing may read
            qztool::limitedYcc(rgb.data() + 3 * i, expected[i], expected[n + i],
                               expected[2 * n + i]);
        }
        const int split = r % 19;
        for (std::size_t f = 0; f < forms.size(); ++f) {
            const auto [form, pixelBytes] = forms[f];
            const std::uint8_t* in = pixelBytes == 3 ? rgb.data() : bgrx.data();
            for (const auto& [from, to] : {std::pair{0, split}, std::pair{split, n}})
                form(in + pixelBytes * from, to - from, planes.data() + from,
                     planes.data() + n + from, planes.data() + 2 * n + from);
            if (planes == expected) continue;
            const std::size_t at =
                std::size_t(std::mismatch(planes.begin(), planes.end(), expected.begin()).first -
                            planes.begin());
            FAIL() << "form " << f << ": R " << r << " G " << (at % n >> 8) << " B "
                   << (at % n & 255) << " plane " << at / n;
        }
    }
}

TEST(QztoolFrames, FramePatternsAreFilledWithoutPrintf) {
    std::string message;
    EXPECT_EQ(qztool::framePatternPath("out%04d.png", 7), "out0007.png");
    EXPECT_EQ(qztool::framePatternPath("100%%-%d.png", 12), "100%-12.png");
    EXPECT_EQ(qztool::framePatternPath("f%3d", 5), "f  5");
    EXPECT_TRUE(qztool::checkFramePattern("a%%b%05u", message));
    for (const char* bad : {"out.png", "%d%d", "%n", "%s", "%999d", "%-4d", "%", "%.2d"})
        EXPECT_FALSE(qztool::checkFramePattern(bad, message)) << bad;
}

// Channel means over a square of a decoded RGB picture.
std::array<double, 3> meanColour(const Bytes& rgb, int x0, int y0, int side) {
    std::array<double, 3> sum{};
    for (int y = y0; y < y0 + side; ++y)
        for (int x = x0; x < x0 + side; ++x)
            for (int k = 0; k < 3; ++k)
                sum[k] += rgb[(std::size_t(y) * qztool::demoWidth + x) * 3 + k];
    for (double& s : sum) s /= side * side;
    return sum;
}

TEST(QztoolFrames, TheDemoDecodesToItsTestPicture) {
    const std::string movie = qztest::writeScratchFile("demo.qz", movieBytes(qztool::demoMovie()));
    const Export e = exportRaw(movie, "xrgb8888");
    ASSERT_EQ(e.code, 0) << e.err;
    const std::size_t frameBytes = std::size_t(qztool::demoWidth) * qztool::demoHeight * 4;
    ASSERT_EQ(e.raw.size(), frameBytes * qztool::demoFrames);
    for (int frame : {0, 9, 20, 77, 149}) {
        SCOPED_TRACE(frame);
        const Bytes pixels(e.raw.begin() + frame * frameBytes,
                           e.raw.begin() + (frame + 1) * frameBytes);
        const Bytes rgb = qztool::frameToRgb(
            {FrameFormat::xrgb8888, qztool::demoWidth, qztool::demoHeight, pixels.data(), nullptr});
        const std::vector<std::uint8_t> source = qztool::demoPicture(frame);
        double error = 0;
        for (std::size_t i = 0; i < rgb.size(); ++i) error += std::pow(rgb[i] - source[i], 2.0);
        EXPECT_GT(dcttest::psnr(error, double(rgb.size())), 24.0);
        // The binary frame counter reads back: lit cells bright, unlit ones dark.
        for (int bit = 0; bit < 8; ++bit) {
            const bool lit = (frame >> (7 - bit)) & 1;
            const double red = meanColour(rgb, bit * 32 + 12, 222, 8)[0];
            EXPECT_EQ(red > 150, lit) << "bit " << bit << " red " << red;
        }
    }
}

} // namespace
