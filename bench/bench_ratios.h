// What the decode benches share: the picture sizes they run at, the peer's benchmark, the
// counters, and the report of our speed as a multiple of the JPEG peer's.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace benchmark {
class State;
}

namespace qzbench {

struct Size {
    int width;
    int height;
};

inline constexpr Size benchSizes[] = {{320, 240}, {640, 480}};

// "WIDTHxHEIGHT", as the benchmark names carry it.
std::string sizeName(Size s);

struct JpegPicture;

// Sets the counters of a decode case: frames/s and Mpx/s (per processor second) and the coded
// frame's bits per pixel.
void setFrameCounters(benchmark::State& state, Size size, double bitsPerPixel);

// Decodes the peer's JPEG iteration after iteration; an error when there is no peer.
void peerDecode(benchmark::State& state, const std::optional<JpegPicture>& jpeg, Size size);

// One of our cases and the peer case it is measured against, by benchmark name.
struct RatioPair {
    std::string ours;
    std::string peer;
};

// Runs the registered benchmarks, then prints under heading each pair's speed of ours as a
// multiple of its peer's (above 1.0: we are faster), from processor time (the machine may be
// shared, so wall time says less): the median when runs are repeated.
void runWithRatios(const std::vector<RatioPair>& pairs, const char* heading);

} // namespace qzbench
