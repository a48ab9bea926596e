// Decode speed of our frame types against the JPEG peer, as a ratio that holds on a shared
// machine: batches of our decodes and the peer's alternate in one loop, and each case reports the
// median of the pairs' ratios (the peer's time a frame over ours: above 1, we are faster) with
// its quartiles and extremes, and both sides' frames a second. The decoders' vector level can be
// pinned, so figures from different processors or levels can be told apart.
//
//   decode_ratio_bench [--level=scalar|avx2|avx512|vbmi] [--pairs=N] [--batch-ms=MS]
//                      [--clock=processor|wall] [--filter=TEXT]
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "bench/bench_ratios.h"
#include "bench/decode_cases.h"
#include "bench/jpeg_peer.h"
#include "bench/pair_timing.h"
#include "bench/simd_level_option.h"
#include "video/dct/simd_switch.h"

namespace {

using qzbench::Output;
using qzbench::Size;

struct Options {
    SimdLevel level = simdAvailable();
    qzbench::PairTimingOptions timing;
    std::string filter; // only the cases whose name holds it
};

void usage() {
    std::fprintf(stderr,
                 "usage: decode_ratio_bench [--level=scalar|avx2|avx512|vbmi] [--pairs=N]\n"
                 "                          [--batch-ms=MS] [--clock=processor|wall] "
                 "[--filter=TEXT]\n"
                 "  --level     the decoders' vector level (default: the best this processor has)\n"
                 "  --pairs     pairs of batches a case (default 101)\n"
                 "  --batch-ms  length of a batch of frame decodes (default 4)\n"
                 "  --clock     this thread's processor time (default) or wall (steady clock)\n"
                 "  --filter    only the cases whose name holds TEXT\n");
}

// The value of "--name=value" in arg, or none.
std::optional<std::string> optionValue(const char* arg, const char* name) {
    const std::size_t length = std::strlen(name);
    if (std::strncmp(arg, name, length) != 0 || arg[length] != '=') return std::nullopt;
    return std::string(arg + length + 1);
}

// A number in [low, high], or none.
std::optional<double> numberIn(const std::string& text, double low, double high) {
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !(value >= low && value <= high)) return std::nullopt;
    return value;
}

// The options, or none (after saying why) when one is wrong.
std::optional<Options> parseOptions(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (auto v = optionValue(arg, "--level")) {
            const std::optional<SimdLevel> level = qzbench::levelOfName(*v);
            if (!level) {
                std::fprintf(stderr, "unknown level '%s'\n", v->c_str());
                return std::nullopt;
            }
            options.level = *level;
            if (options.level > simdAvailable()) {
                std::fprintf(stderr, "level %s is beyond this processor (it has %s)\n", v->c_str(),
                             qzbench::levelName(simdAvailable()));
                return std::nullopt;
            }
        } else if (auto v = optionValue(arg, "--pairs")) {
            const auto n = numberIn(*v, 1, 100000);
            if (!n || *n != double(int(*n))) {
                std::fprintf(stderr, "--pairs takes a whole number from 1 to 100000\n");
                return std::nullopt;
            }
            options.timing.pairs = int(*n);
        } else if (auto v = optionValue(arg, "--batch-ms")) {
            const auto ms = numberIn(*v, 0.01, 10000);
            if (!ms) {
                std::fprintf(stderr, "--batch-ms takes a number from 0.01 to 10000\n");
                return std::nullopt;
            }
            options.timing.batchSeconds = *ms / 1000;
        } else if (auto v = optionValue(arg, "--clock")) {
            if (*v == "wall")
                options.timing.clock = qzbench::Clock::wall;
            else if (*v == "processor")
                options.timing.clock = qzbench::Clock::processor;
            else {
                std::fprintf(stderr, "--clock is wall or processor\n");
                return std::nullopt;
            }
        } else if (auto v = optionValue(arg, "--filter")) {
            options.filter = *v;
        } else {
            if (std::strcmp(arg, "--help") != 0) std::fprintf(stderr, "unknown option %s\n", arg);
            return std::nullopt;
        }
    }
    return options;
}

// The first line of a system file whose line starts with key, after the colon; or the whole
// first line when key is empty. Empty where there is no such file (other systems).
std::string systemLine(const char* path, const char* key) {
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        if (*key == '\0') return line;
        if (line.rfind(key, 0) == 0) {
            const std::size_t colon = line.find(':');
            return colon == std::string::npos
                       ? line
                       : line.substr(line.find_first_not_of(" \t", colon + 1));
        }
    }
    return {};
}

// The load average (1, 5 and 15 minutes), where the system tells it.
std::string loadAverage() {
    const std::string line = systemLine("/proc/loadavg", "");
    int spaces = 0;
    for (std::size_t i = 0; i < line.size(); ++i)
        if (line[i] == ' ' && ++spaces == 3) return line.substr(0, i);
    return line.empty() ? "unknown" : line;
}

class Runner {
  public:
    explicit Runner(const Options& options) : options_(options) {}

    // Whether the filter lets the case run (checked before its frames are made: the KRT
    // encoder takes seconds).
    bool wanted(const std::string& name) const {
        return options_.filter.empty() || name.find(options_.filter) != std::string::npos;
    }

    // Times one case against the peer's JPEG and prints its line; ours decodes oursFrames frames
    // a call.
    void run(const std::string& name, double bitsPerPixel,
             const std::optional<qzbench::JpegPicture>& jpeg, const std::function<void()>& ours,
             int oursFrames = 1) {
        if (!wanted(name)) return;
        if (!jpeg) {
            std::printf("%-26s no JPEG peer (libturbojpeg not found)\n", name.c_str());
            return;
        }
        qzbench::JpegDecoder decoder;
        std::vector<std::uint8_t> out;
        bool failed = false;
        auto peer = [&] { failed = !decoder.decode(*jpeg, out) || failed; };
        const qzbench::PairTiming t = qzbench::timePairs(ours, oursFrames, peer, options_.timing);
        if (failed) {
            std::printf("%-26s the JPEG peer failed to decode\n", name.c_str());
            return;
        }
        std::printf("%-26s %5.2f %3d %5.2f %8.0f %8.0f %6.3f %6.3f-%-6.3f %6.3f-%-6.3f %4d %4d\n",
                    name.c_str(), bitsPerPixel, jpeg->quality, jpeg->bitsPerPixel,
                    1 / t.oursSeconds, 1 / t.peerSeconds, t.ratio.median, t.ratio.lowQuartile,
                    t.ratio.highQuartile, t.ratio.min, t.ratio.max, t.oursBatch, t.peerBatch);
        std::fflush(stdout);
    }

  private:
    const Options& options_;
};

double bitsPerPixel(std::size_t bytes, Size size) {
    return double(bytes) * 8 / (double(size.width) * size.height);
}

void runAll(Runner& runner) {
    for (Size size : qzbench::benchSizes) {
        const std::string at = "/" + qzbench::sizeName(size) + "/";
        for (int type : {3, 4})
            for (Output output : {Output::rgb565, Output::xrgb8888, Output::yuy2}) {
                const std::string name =
                    "type" + std::to_string(type) + at + qzbench::outputName(output);
                // Type 3 has no YUV output.
                if ((type == 3 && output == Output::yuy2) || !runner.wanted(name)) continue;
                const qzbench::DctFrame& frame = qzbench::dctFrame(type, size);
                qzbench::DctFrameDecoder ours(type, size, output);
                runner.run(name, frame.bitsPerPixel, frame.jpeg, [&] { ours.decode(); });
            }
        for (bool motion : {false, true}) {
            const std::string name = std::string(motion ? "dor-motion" : "dor-key") + at + "rgb565";
            if (!runner.wanted(name)) continue;
            qzbench::DorFrameDecoder ours(size, motion);
            runner.run(name, bitsPerPixel(ours.frameBytes(), size), qzbench::dorFrames(size).jpeg,
                       [&] { ours.decode(); });
        }
        if (const std::string name = "krt-key" + at + "rgb565"; runner.wanted(name)) {
            const qzbench::KrtSequence& krt = qzbench::krtSequence(size);
            qzbench::KrtPlayer ours(qzbench::formatRgb565, size);
            runner.run(name, bitsPerPixel(krt.key.size(), size), krt.jpeg,
                       [&] { ours.key(krt.key); });
        }
        if (const std::string name = "krt-delta" + at + "rgb565"; runner.wanted(name)) {
            const qzbench::KrtSequence& krt = qzbench::krtSequence(size);
            qzbench::KrtPlayer ours(qzbench::formatRgb565, size);
            ours.key(krt.key);
            std::size_t bytes = 0;
            for (const Bytes& d : krt.deltas) bytes += d.size();
            // A call decodes the whole round of deltas, which goes on from the picture it leaves
            // (the same work as in order), so every batch does the same work.
            runner.run(
                name, bitsPerPixel(bytes / krt.deltas.size(), size), krt.jpeg,
                [&] {
                    for (const Bytes& d : krt.deltas) ours.delta(d);
                },
                int(krt.deltas.size()));
        }
    }
}

} // namespace

int main(int argc, char** argv) {
    const std::optional<Options> options = parseOptions(argc, argv);
    if (!options) {
        usage();
        return 2;
    }
    setSimdLevel(options->level);
    const std::string model = systemLine("/proc/cpuinfo", "model name");
    std::printf("Decode speed against the JPEG peer, batches interleaved\n");
    std::printf("processor: %s; vector level %s (available: %s)\n",
                model.empty() ? "unknown" : model.c_str(), qzbench::levelName(simdLevel()),
                qzbench::levelName(simdAvailable()));
    std::printf("clock: %s; %d pairs a case, batches of about %.2f ms\n",
                qzbench::clockName(options->timing.clock), options->timing.pairs,
                options->timing.batchSeconds * 1000);
    std::printf("load average at the start: %s\n\n", loadAverage().c_str());
    std::printf("%-26s %5s %3s %5s %8s %8s %6s %-13s %-13s %4s %4s\n", "case", "bpp", "q", "jbpp",
                "ours f/s", "peer f/s", "ratio", "quartiles", "min-max", "nO", "nP");
    Runner runner(*options);
    runAll(runner);
    std::printf("\nratio: the peer's time a frame over ours, median of the pairs (above 1: we are "
                "faster)\nq, jbpp: the JPEG's quality and bits per pixel; nO, nP: calls a batch "
                "(a krt-delta call decodes its round of 8 deltas)\n");
    std::printf("load average at the end: %s\n", loadAverage().c_str());
    return 0;
}
