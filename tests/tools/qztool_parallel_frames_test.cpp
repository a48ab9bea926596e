// qztool frames on several threads: every codec family, every output and pixel format gives the
// bytes one thread gives, including skipped type-3 macroblocks over other frames' pictures,
// DOR pictures' unwritten last row, damaged payloads, short key-frame groups and KRT key frames
// that set only part of the palette.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <sstream>

#include "encoder/dor_encoder.h"
#include "encoder/krt_encoder.h"
#include "encoder/movie_writer.h"
#include "encoder/type3_encoder.h"
#include "encoder/type4_encoder.h"
#include "format/byte_source.h"
#include "tests/support/test_support.h"
#include "tools/demo_dor.h"
#include "tools/demo_krt.h"
#include "tools/demo_movie.h"
#include "tools/frame_export.h"
#include "tools/image_writers.h"
#include "tools/parallel_frames.h"
#include "tools/picture_slab.h"
#include "tools/thread_start.h"

#if defined(__linux__)
#include <sched.h>
#endif

namespace {

constexpr int width = 48, height = 32;

// A picture with a moving bright square on a gradient; squareAt < 0 leaves the square out.
RgbPicture rgbPicture(int seed, int squareAt, int w = width, int h = height) {
    RgbPicture p{w, h, std::vector<std::uint8_t>(std::size_t(w) * h * 3)};
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            std::uint8_t* px = p.rgb.data() + (std::size_t(y) * w + x) * 3;
            const bool square =
                squareAt >= 0 && x >= squareAt && x < squareAt + 12 && y >= 8 && y < 20;
            px[0] = static_cast<std::uint8_t>(square ? 250 : 30 + (x * 3 + seed * 20) % 180);
            px[1] = static_cast<std::uint8_t>(square ? 240 : 30 + (y * 5 + seed * 40) % 180);
            px[2] = static_cast<std::uint8_t>(square ? 20 : ((x / 8 + y / 8) & 1) * 150 + 40);
        }
    return p;
}

YuvPicture yuv(const RgbPicture& p) {
    return rgbToYuv420(p.rgb.data(), p.width, p.height);
}

std::string writeMovie(const std::string& name, std::vector<MovieVideoChunk> video) {
    Movie movie;
    movie.video = std::move(video);
    return qztest::writeScratchFile(name, movieBytes(movie));
}

// Type 4, type 3 frames that skip what did not change (over a type-4, a DOR and a KRT
// picture), a short DOR group and a KRT group, all of size w x h.
std::vector<MovieVideoChunk> mixedChunks(int w = width, int h = height) {
    const auto rgbPicture = [w, h](int seed, int squareAt) {
        return ::rgbPicture(seed, squareAt, w, h);
    };
    std::vector<MovieVideoChunk> v;
    DorEncoder dor;
    KrtEncoder krt;
    // Three rounds, so that the workers meet each case in several orders.
    for (int round = 0; round < 3; ++round) {
        // The type-3 frame codes the bottom-left macroblock anew and skips the bottom-right
        // one, so the last row the DOR frames leave is one no single decoded frame has.
        RgbPicture corner = rgbPicture(round, 20);
        for (int y = 16; y < h; ++y)
            for (int x = 0; x < 16; ++x) {
                std::uint8_t* px = corner.rgb.data() + (std::size_t(y) * w + x) * 3;
                px[0] = 200, px[1] = static_cast<std::uint8_t>(round * 60), px[2] = 200;
            }
        const YuvPicture a = yuv(rgbPicture(round, 0)), b = yuv(corner);
        v.push_back({chunkId("QZ2f"), encodeType4Frame(a, 80)});
        v.push_back({chunkId("MQZf"), encodeType3Frame(b, 80, &a)});
        const DorFrameKind kinds[] = {DorFrameKind::key, DorFrameKind::motion,
                                      DorFrameKind::nonReference};
        for (int k = 0; k < 3; ++k)
            v.push_back(
                {dorChunkId(kinds[k]), dor.encode(yuv(rgbPicture(round + 1, 4 * k)), kinds[k])});
        const YuvPicture c = yuv(rgbPicture(round + 2, 30));
        v.push_back({chunkId("MQZf"), encodeType3Frame(c, 80, &b)});
        v.push_back(krt.keyFrame(rgbPicture(round + 3, 2)));
        v.push_back(krt.deltaFrame(rgbPicture(round + 3, 6)));
        v.push_back({chunkId("MQZf"), encodeType3Frame(yuv(rgbPicture(round + 2, 34)), 80, &c)});
        v.push_back({chunkId("QZ2f"), encodeType4Frame(b, 60, false)});
    }
    return v;
}

std::string mixedMovie() {
    return writeMovie("mixed.qz", mixedChunks());
}

// The mixed movie at a size of part macroblocks both ways: the workers' pictures are cropped.
std::string croppedMovie() {
    return writeMovie("cropped.qz", mixedChunks(40, 24));
}

// The mixed movie with payloads cut short or overwritten past their headers: a type-3 frame
// whose data ends early leaves its last macroblocks unwritten.
std::string damagedMovie() {
    std::vector<MovieVideoChunk> v = mixedChunks();
    for (std::size_t i = 0; i < v.size(); ++i) {
        Bytes& p = v[i].payload;
        // A key frame cut into its palette would not fit its header: left whole.
        if (i % 3 == 1 && v[i].id != chunkId("KRTk")) p.resize(16 + p.size() / 3);
        if (i % 3 == 2)
            for (std::size_t k = 16; k < p.size(); k += 7) p[k] = static_cast<BYTE>(p[k] * 31 + k);
    }
    return writeMovie("damaged.qz", std::move(v));
}

// A key frame with n colours (a ramp with a seed) over a picture that uses every index, so
// entries the frame does not set show the palette earlier key frames left.
MovieVideoChunk partialKey(int n, int seed) {
    std::vector<KrtColour> palette;
    for (int i = 0; i < n; ++i)
        palette.push_back({static_cast<std::uint8_t>(i * 7 + seed),
                           static_cast<std::uint8_t>(255 - i),
                           static_cast<std::uint8_t>(i * 3 + seed * 5)});
    std::vector<std::uint8_t> indices(std::size_t(width) * height);
    for (std::size_t i = 0; i < indices.size(); ++i)
        indices[i] = static_cast<std::uint8_t>(i * 5 + seed);
    return {chunkId("KRTk"), krtKeyFramePayload(width, height, palette, indices)};
}

// KRT key frames of 256, 4 and 16 colours with delta frames between them.
std::string paletteMovie() {
    KrtEncoder krt;
    return writeMovie("palettes.qz", {krt.keyFrame(rgbPicture(0, 0)), partialKey(256, 1),
                                      krt.deltaFrame(rgbPicture(0, 4)), partialKey(4, 2),
                                      krt.deltaFrame(rgbPicture(0, 8)), partialKey(16, 3),
                                      krt.deltaFrame(rgbPicture(0, 12))});
}

// DOR groups of one to four frames, then (with longGroup) groups of twelve and three: runs too
// long for the caller to decode while it waits.
std::string dorGroupsMovie(bool longGroup = false) {
    std::vector<DorFrameKind> kinds = {
        DorFrameKind::key,    DorFrameKind::motion,       DorFrameKind::key,
        DorFrameKind::key,    DorFrameKind::nonReference, DorFrameKind::motion,
        DorFrameKind::motion, DorFrameKind::key,          DorFrameKind::nonReference};
    if (longGroup) {
        kinds.push_back(DorFrameKind::key);
        kinds.insert(kinds.end(), 11, DorFrameKind::motion);
        kinds.insert(kinds.end(), {DorFrameKind::key, DorFrameKind::motion, DorFrameKind::motion});
    }
    DorEncoder dor;
    std::vector<MovieVideoChunk> v;
    int frame = 0;
    for (DorFrameKind kind : kinds)
        v.push_back({dorChunkId(kind), dor.encode(yuv(rgbPicture(frame, 2 * frame % 36)), kind)}),
            ++frame;
    return writeMovie(longGroup ? "dor_long.qz" : "dor_groups.qz", std::move(v));
}

enum class Output { raw, y4m, png };

// Everything an export writes: the file, or the PNG files one after another.
Bytes exportBytes(const std::string& movie, Output output, const std::string& format, int gamma,
                  int threads) {
    qztool::FrameExportOptions options;
    options.movie = movie;
    options.pixelFormat = format;
    options.gamma = gamma;
    options.threads = threads;
    options.allowBlack = true;
    const std::string folder = qztest::scratchPath("out_" + std::to_string(threads));
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    if (output == Output::raw) options.rawPath = folder + "/out.raw";
    if (output == Output::y4m) options.y4mPath = folder + "/out.y4m";
    if (output == Output::png) options.pngPattern = folder + "/f%03d.png";
    std::ostringstream out, err;
    EXPECT_EQ(qztool::runFrames(options, out, err), 0) << err.str();
    if (output != Output::png)
        return qztest::readFileBytes(output == Output::raw ? options.rawPath : options.y4mPath);
    Bytes all;
    for (int n = 1; std::filesystem::exists(qztool::framePatternPath(options.pngPattern, n)); ++n) {
        const Bytes file = qztest::readFileBytes(qztool::framePatternPath(options.pngPattern, n));
        all.insert(all.end(), file.begin(), file.end());
    }
    return all;
}

void expectSameOnEveryThreadCount(const std::string& movie, Output output,
                                  const std::string& format, int gamma = 100) {
    const Bytes one = exportBytes(movie, output, format, gamma, 1);
    ASSERT_FALSE(one.empty());
    for (int threads : {2, 5})
        EXPECT_TRUE(exportBytes(movie, output, format, gamma, threads) == one)
            << movie << " as " << format << " output " << int(output) << " gamma " << gamma
            << " on " << threads << " threads";
}

TEST(QztoolParallelFrames, EveryCodecOutputAndFormatMatchesOneThread) {
    for (const std::string& movie : {mixedMovie(), croppedMovie(), damagedMovie(), paletteMovie(),
                                     dorGroupsMovie(), dorGroupsMovie(true)})
        for (Output output : {Output::raw, Output::y4m, Output::png}) {
            expectSameOnEveryThreadCount(movie, output, "xrgb8888");
            // The sanitizer builds, many times slower, take the other formats through raw only.
            if (QZ_TEST_SANITIZED && output != Output::raw) continue;
            expectSameOnEveryThreadCount(movie, output, "pal8");
            expectSameOnEveryThreadCount(movie, output, "yuy2");
            expectSameOnEveryThreadCount(movie, output, "rgb555", 150);
        }
    // The demo movies of every family, longer and at a real size.
    const std::string demo = writeMovie("demo.qz", qztool::demoMovie().video);
    expectSameOnEveryThreadCount(demo, Output::raw, "rgb565");
    expectSameOnEveryThreadCount(demo, Output::y4m, "yuy2");
    // Encoding the KRT and DOR demos takes most of a minute in the sanitizer builds.
    if (QZ_TEST_SANITIZED) return;
    std::string message;
    const std::string krt = qztest::scratchPath("krt_demo.qz");
    const std::string dor = qztest::scratchPath("dor_demo.qz");
    ASSERT_TRUE(qztool::writeKrtDemoMovie(krt, message)) << message;
    ASSERT_TRUE(qztool::writeDorDemoMovie(dor, message)) << message;
    expectSameOnEveryThreadCount(krt, Output::raw, "pal8");
    expectSameOnEveryThreadCount(krt, Output::y4m, "xrgb8888", 70);
    expectSameOnEveryThreadCount(dor, Output::raw, "xrgb8888");
}

TEST(QztoolParallelFrames, RunsStartWhereNothingEarlierShowsAndCarryThePalette) {
    const auto plan = [](const std::string& path, FrameFormat format) {
        const Bytes bytes = qztest::readFileBytes(path);
        MemorySource file(bytes.data(), bytes.size());
        const MovieScan scan = scanMovie(file);
        std::vector<const ScannedChunk*> chunks;
        for (const ScannedChunk& c : scan.chunks)
            if (c.kind == ChunkKind::video) chunks.push_back(&c);
        return qztool::planFrameRuns(chunks, format, {width, height});
    };
    // Key frames of 4 and 16 colours start runs that first decode the 256-colour key frame.
    const auto palettes = plan(paletteMovie(), FrameFormat::pal8);
    ASSERT_TRUE(palettes.has_value());
    ASSERT_EQ(palettes->size(), 4u);
    EXPECT_EQ((*palettes)[2].frames, (std::vector<std::size_t>{3, 4}));
    EXPECT_EQ((*palettes)[2].primes, (std::vector<std::size_t>{1}));
    EXPECT_EQ((*palettes)[3].primes, (std::vector<std::size_t>{1}));
    EXPECT_TRUE((*palettes)[1].primes.empty());
    // Frames the format cannot show do not break a group; every frame starts one in xrgb8888.
    const std::string mixed = mixedMovie();
    EXPECT_EQ(plan(mixed, FrameFormat::xrgb8888)->size(), 21u);
    EXPECT_EQ(plan(mixed, FrameFormat::yuy2)->size(), 6u);
    EXPECT_EQ(plan(damagedMovie(), FrameFormat::xrgb8888)->size(), 21u);
    // A frame of another size could show what an earlier run left: one straight run.
    KrtEncoder krt;
    RgbPicture small = rgbPicture(0, 0);
    small.width = 16;
    small.height = 8;
    small.rgb.resize(16 * 8 * 3);
    const std::string sizes =
        writeMovie("sizes.qz", {krt.keyFrame(rgbPicture(0, 0)), krt.keyFrame(small)});
    EXPECT_FALSE(plan(sizes, FrameFormat::xrgb8888).has_value());
    expectSameOnEveryThreadCount(sizes, Output::raw, "xrgb8888");
    // A DOR frame cut inside its header: the scan keeps the bytes the file holds, which give
    // no picture size, so the movie goes the straight way.
    std::vector<MovieVideoChunk> cut = mixedChunks();
    cut[2].payload.resize(10);
    const std::string shortHead = writeMovie("short_head.qz", cut);
    std::vector<ScannedChunk> video;
    for (const ScannedChunk& c : scanMovie(qztest::readFileBytes(shortHead)).chunks)
        if (c.kind == ChunkKind::video) video.push_back(c);
    ASSERT_EQ(video.size(), cut.size());
    EXPECT_EQ(video[2].headSize(), 10u);
    EXPECT_TRUE(std::equal(cut[2].payload.begin(), cut[2].payload.end(), video[2].head.begin()));
    EXPECT_TRUE(std::equal(video[3].head.begin(), video[3].head.end(), cut[3].payload.begin()));
    EXPECT_FALSE(plan(shortHead, FrameFormat::xrgb8888).has_value());
    expectSameOnEveryThreadCount(shortHead, Output::raw, "xrgb8888");
}

TEST(QztoolParallelFrames, SlabHandsOutEachPictureOnceAndMoreWhenAllAreHeld) {
    qztool::PictureSlab slab(1000, 3);
    std::vector<BYTE*> held;
    for (int i = 0; i < 4; ++i) {
        BYTE* p = slab.take();
        ASSERT_NE(p, nullptr);
        const auto at = reinterpret_cast<std::uintptr_t>(p);
        for (BYTE* q : held) {
            const auto other = reinterpret_cast<std::uintptr_t>(q);
            EXPECT_TRUE(at >= other + 1000 || other >= at + 1000) << "pictures overlap";
        }
        EXPECT_EQ(std::count(p, p + 1000, 0), 1000) << "a fresh picture is zero-filled";
        std::fill(p, p + 1000, BYTE(i + 1));
        held.push_back(p);
    }
    slab.give(held[1]);
    EXPECT_EQ(slab.take(), held[1]);
    for (BYTE* p : held) slab.give(p);
}

// A worker starts away from its creator's core and is then free to run on every core: held to
// the other cores for good, it could not run on its creator's core when that one is free.
TEST(QztoolParallelFrames, AWorkerStartedElsewhereRunsAndEndsFreeToRunAnywhere) {
    bool ran = false;
#if defined(__linux__)
    cpu_set_t process, worker;
    ASSERT_EQ(sched_getaffinity(0, sizeof process, &process), 0);
    CPU_ZERO(&worker);
#endif
    std::thread t = qztool::startThreadElsewhere([&] {
        ran = true;
#if defined(__linux__)
        sched_getaffinity(0, sizeof worker, &worker);
#endif
    });
    t.join();
    EXPECT_TRUE(ran);
#if defined(__linux__)
    EXPECT_TRUE(CPU_EQUAL(&process, &worker));
#endif
}

} // namespace
