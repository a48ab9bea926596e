// The frame export's decoding on one core and on every core, inside one process: each movie is
// opened and scanned once, then its frames are decoded through the export's frame stream, one
// thread (held to core 0) and every core taking turns, round after round, as an export to
// /dev/null decodes them (no pixel is read). frames_export.sh times the whole command; this
// leaves out what a process does once (starting, loading its libraries, scanning the movie,
// ending), so the two together tell the decoding's own speed-up from that serial part.
//
// Each round also decodes the movie once on every core at the same time, one thread a core held
// to it ("machine": what the cores give together at the time, the most any sharing of the work
// can gain; "of it": the share of that the all-core decode reaches). The processor time columns
// tell work from waiting: "cpu" is the all-core decode's processor time over the one-core
// decode's, "cpu alone" the same for the separate decodes; above 1, the same decoding took more
// processor time with both cores busy (caches, memory and the host shared).
//
//   frame_stream_bench [--rounds=N] [--threads=N] [--pixel-format=rgb565|xrgb8888|yuy2] MOVIE...
#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "bench/pair_timing.h"
#include "tools/frame_stream.h"
#include "tools/movie_file.h"

namespace {

struct Movie {
    std::string path;
    std::unique_ptr<ByteSource> file;
    MovieScan scan;
    std::vector<const ScannedChunk*> chunks; // the video chunks the export decodes
    PictureSize size{};
};

bool openMovie(const std::string& path, Movie& movie) {
    std::string message;
    movie.path = path;
    movie.file = qztool::openMovie(path, message);
    if (!movie.file) {
        std::fprintf(stderr, "frame_stream_bench: %s\n", message.c_str());
        return false;
    }
    movie.scan = scanMovie(*movie.file);
    movie.chunks = qztool::exportedVideoChunks(movie.scan);
    if (const auto size = qztool::firstPictureSize(movie.chunks)) {
        movie.size = *size;
        return true;
    }
    std::fprintf(stderr, "frame_stream_bench: %s has no pictures\n", path.c_str());
    return false;
}

// Holds the calling thread to one core, or (core < 0) lets it run on every core again.
void holdToCore(int core) {
    cpu_set_t set;
    CPU_ZERO(&set);
    const int cores = int(std::thread::hardware_concurrency());
    for (int c = 0; c < cores; ++c)
        if (core < 0 || c == core) CPU_SET(c, &set);
    pthread_setaffinity_np(pthread_self(), sizeof set, &set);
}

// Decodes every frame of the movie through a stream of threads threads reading file; with
// hashed, the FNV-1a hash of every 64th byte of the shown pictures (0 when a read failed).
std::uint64_t decodeAll(const Movie& movie, ByteSource& file, FrameFormat format, int threads,
                        bool hashed = false) {
    const auto stream =
        qztool::openFrameStream(file, movie.chunks, format, 100, movie.size, threads);
    const std::size_t bytes = std::size_t(movie.size.width) * std::size_t(movie.size.height) *
                              std::size_t(framePixelBytes(format));
    std::uint64_t hash = 14695981039346656037ull;
    for (std::size_t i = 0; i < movie.chunks.size(); ++i) {
        qztool::StreamFrame frame;
        if (!stream->next(frame)) return 0;
        if (!frame.shown || !hashed) continue;
        for (std::size_t k = 0; k < bytes; k += 64)
            hash = (hash ^ frame.pixels[k]) * 1099511628211ull;
    }
    return hash;
}

// The process's processor time (every thread, user and system) in seconds.
double processSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) { return double(t.tv_sec) + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

struct Timed {
    double wall = 0;
    double processor = 0;
};

Timed timed(const std::function<void()>& work) {
    const double wall = qzbench::clockSeconds(qzbench::Clock::wall);
    const double processor = processSeconds();
    work();
    return {qzbench::clockSeconds(qzbench::Clock::wall) - wall, processSeconds() - processor};
}

// The movie decoded once on each core at the same time, on a thread of its own held to it.
Timed everyCore(const Movie& movie, FrameFormat format, int cores) {
    std::vector<std::unique_ptr<ByteSource>> files;
    for (int c = 0; c < cores; ++c) {
        std::string message;
        files.push_back(qztool::openMovie(movie.path, message));
    }
    return timed([&] {
        std::vector<std::thread> threads;
        for (int c = 0; c < cores; ++c)
            threads.emplace_back([&, c] {
                holdToCore(c);
                decodeAll(movie, *files[std::size_t(c)], format, 1);
            });
        for (std::thread& t : threads) t.join();
    });
}

double median(const std::vector<double>& values) {
    return qzbench::spreadOf(values).median;
}

int usage() {
    std::fprintf(stderr, "usage: frame_stream_bench [--rounds=N] [--threads=N] "
                         "[--pixel-format=rgb565|xrgb8888|yuy2] MOVIE...\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    int rounds = 15;
    const int cores = int(std::thread::hardware_concurrency());
    int threads = std::max(2, cores);
    FrameFormat format = FrameFormat::xrgb8888;
    std::vector<std::string> paths;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg.rfind("--rounds=", 0) == 0) {
            rounds = std::max(1, std::atoi(arg.c_str() + 9));
        } else if (arg.rfind("--threads=", 0) == 0) {
            threads = std::max(2, std::atoi(arg.c_str() + 10));
        } else if (arg.rfind("--pixel-format=", 0) == 0) {
            const auto named = parseFrameFormat(arg.substr(15));
            if (!named || *named == FrameFormat::pal8 || *named == FrameFormat::rgb555)
                return usage();
            format = *named;
        } else if (arg.rfind("--", 0) == 0) {
            return usage();
        } else {
            paths.push_back(arg);
        }
    }
    if (paths.empty()) return usage();
    std::printf("in one process, %s, %d threads on %d cores, median of %d rounds\n",
                frameFormatName(format), threads, cores, rounds);
    std::printf("%-12s %6s %17s %17s %8s %11s %5s %8s %6s %9s %5s\n", "movie", "frames", "1 core",
                "all cores", "speed-up", "min-max", "cpu", "machine", "of it", "cpu alone",
                "bytes");
    for (const std::string& path : paths) {
        Movie movie;
        if (!openMovie(path, movie)) return 1;
        const std::uint64_t oneHash = decodeAll(movie, *movie.file, format, 1, true);
        const std::uint64_t allHash = decodeAll(movie, *movie.file, format, threads, true);
        std::vector<double> one, all, every, ratios, oneCpu, allCpu, everyCpu;
        for (int r = 0; r < rounds; ++r) {
            holdToCore(0);
            const Timed a = timed([&] { decodeAll(movie, *movie.file, format, 1); });
            holdToCore(-1);
            const Timed b = timed([&] { decodeAll(movie, *movie.file, format, threads); });
            const Timed e = everyCore(movie, format, cores);
            one.push_back(a.wall);
            all.push_back(b.wall);
            every.push_back(e.wall);
            ratios.push_back(a.wall / b.wall);
            oneCpu.push_back(a.processor);
            allCpu.push_back(b.processor);
            everyCpu.push_back(e.processor / cores);
        }
        const double a = median(one), b = median(all), e = median(every);
        const qzbench::Spread ratio = qzbench::spreadOf(ratios);
        const double frames = double(movie.chunks.size());
        const std::string name = path.substr(path.find_last_of('/') + 1);
        std::printf("%-12s %6.0f %6.3f s %5.0f f/s %6.3f s %5.0f f/s %7.2fx %5.2f-%-5.2f %5.2f "
                    "%7.2fx %5.0f%% %9.2f %5s\n",
                    name.c_str(), frames, a, frames / a, b, frames / b, a / b, ratio.min, ratio.max,
                    median(allCpu) / median(oneCpu), cores * a / e, 100 * e / (cores * b),
                    median(everyCpu) / median(oneCpu),
                    oneHash != 0 && oneHash == allHash ? "same" : "DIFF");
    }
    return 0;
}
