// A/V sync of the whole player on the headless stand-ins: a 60-second 320x240 movie of type-3
// frames at 15 a second with IMA ADPCM stereo sound, authored with our own encoders, played in
// full screen. Every presented frame carries its slot number as ten squares in its top row;
// the headless scan-out reads it back at the present, and the headless loudspeaker's record
// tells when that slot's sound began to be heard. Prints frames presented and dropped, the
// largest and 99th-percentile distance between a frame's present and its sound, and the CPU
// time the process spent per second of movie.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <mutex>
#include <thread>
#include <vector>

#include "audio/audio_decode.h"
#include "encoder/movie_writer.h"
#include "encoder/type3_encoder.h"
#include "engine/context.h"
#include "engine/player.h"
#include "api/shared.h"

namespace {

constexpr int width = 320;
constexpr int height = 240;
constexpr int slotsPerSecond = 15;
constexpr int seconds = 60;
constexpr int slots = slotsPerSecond * seconds;
constexpr int rate = 22050;
constexpr int slotBytes = rate / slotsPerSecond * 4;
constexpr int square = 24;   // side of one code square
constexpr int codeBits = 10; // squares after the always-white marker

// A moving gradient, with the slot number in the top row of squares.
YuvPicture framePicture(int slot) {
    YuvPicture picture = makeYuvPicture(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            int luma = 40 + ((x + 3 * slot) % 160) / 2 + y / 4;
            if (y < square) {
                const int bit = x / square;
                const bool white = bit == 0 || (bit <= codeBits && ((slot >> (bit - 1)) & 1) != 0);
                luma = white ? 235 : 16;
            }
            picture.y[std::size_t(y) * width + x] = std::uint8_t(luma);
        }
    std::fill(picture.cb.begin(), picture.cb.end(), std::uint8_t(128));
    std::fill(picture.cr.begin(), picture.cr.end(), std::uint8_t(128));
    return picture;
}

Movie authorMovie() {
    Movie movie;
    movie.options.slotsPerSecond = slotsPerSecond;
    MovieTrack track;
    track.format = {2, rate, 16, audioCodecIma};
    // A tone away from zero, so the feeder's silence is told apart from the movie's sound.
    for (int i = 0; i < rate * seconds; ++i) {
        const double phase = 2 * 3.14159265358979 * 440.0 * i / rate;
        const auto v = std::int16_t(6000 + 3000 * std::sin(phase));
        track.samples.push_back(v);
        track.samples.push_back(v);
    }
    movie.tracks.push_back(std::move(track));
    for (int slot = 0; slot < slots; ++slot)
        movie.video.push_back({chunkId("MQZf"), encodeType3Frame(framePicture(slot), 90)});
    return movie;
}

// The movie's sound as the player decodes it.
std::vector<BYTE> decodedSound(const Movie& movie) {
    std::vector<BYTE> out;
    LONG history[4] = {};
    ImaChannel ima[2] = {};
    for (const Bytes& payload : encodeTrackPayloads(movie, 0)) {
        std::vector<BYTE> block(std::size_t(slotBytes) * 2);
        const LONG n =
            decodeAudioPayload(movie.tracks[0].format, payload.data(), LONG(payload.size()),
                               history, ima, block.data(), LONG(block.size()));
        out.insert(out.end(), block.begin(), block.begin() + n);
    }
    return out;
}

struct Present {
    int slot;
    std::int64_t ns;
    std::uint64_t heardBytes; // bytes the sound cursor had passed at the present
};

// Reads the slot number off every presented screen, at the centred picture's place.
class SyncSink final : public qzplat::ScanoutSink {
  public:
    void present(const qzplat::ScreenImage& screen, bool counted) override {
        if (!counted || screen.width < DWORD(width) || screen.height < DWORD(height)) return;
        const std::int64_t ns = std::chrono::duration_cast<std::chrono::nanoseconds>(
                                    std::chrono::steady_clock::now().time_since_epoch())
                                    .count();
        const std::uint64_t heard = qzplat::soundBytesHeardNow();
        const DWORD left = (screen.width - width) / 2;
        const DWORD top = (screen.height - height) / 2;
        auto white = [&](int i) {
            const std::uint32_t rgb =
                screen.at(left + DWORD(i * square + square / 2), top + square / 2);
            return ((rgb >> 8) & 0xFF) > 128;
        };
        if (!white(0)) return;
        int slot = 0;
        for (int bit = 1; bit <= codeBits; ++bit)
            if (white(bit)) slot |= 1 << (bit - 1);
        presents.push_back({slot, ns, heard});
    }
    std::vector<Present> presents;
};

double percentile(std::vector<double> values, double p) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const auto at = std::size_t(std::ceil(p * double(values.size())) - 1);
    return values[std::min(at, values.size() - 1)];
}

double cpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

} // namespace

int main() {
    std::printf("authoring %d s of %dx%d type-3 frames at %d fps with IMA ADPCM sound...\n",
                seconds, width, height, slotsPerSecond);
    const Movie movie = authorMovie();
    const std::vector<BYTE> sound = decodedSound(movie);
    const char* path = "/tmp/qz_av_sync_bench.qz";
    ChunkWriter writer;
    writeMovie(movie, writer);
    if (!writer.save(path)) {
        std::fprintf(stderr, "cannot write %s\n", path);
        return 1;
    }

    IDirectDraw* directDraw = nullptr;
    DirectDrawCreate(nullptr, &directDraw, nullptr);
    directDraw->SetCooperativeLevel(reinterpret_cast<HWND>(std::uintptr_t{0x1000}),
                                    DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN);
    DDSURFACEDESC desc{};
    desc.dwSize = sizeof(desc);
    desc.dwFlags = DDSD_CAPS | DDSD_BACKBUFFERCOUNT;
    desc.dwBackBufferCount = 1;
    desc.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP | DDSCAPS_COMPLEX;
    IDirectDrawSurface* first = nullptr;
    if (directDraw->CreateSurface(&desc, &first, nullptr) != DD_OK) return 1;
    void* surface = nullptr;
    first->QueryInterface(IID_IDirectDrawSurface2, &surface);
    first->Release();
    auto* primary = static_cast<IDirectDrawSurface2*>(surface);
    IDirectDrawSurface2* back = nullptr;
    DDSCAPS caps{DDSCAPS_BACKBUFFER};
    primary->GetAttachedSurface(&caps, &back);

    SyncSink sink;
    sink.presents.reserve(slots * 2);
    qzplat::setScanoutSink(&sink);
    static PlayerConfig config{};
    config.flags = 0x71140C | fullScreen | pageFlip | reservedFlag1000000 | audioOn;
    config.allowedModes = 1;
    config.directDraw = directDraw;
    config.primarySurface = primary;
    config.backSurface = back;
    if (playerCreate(path, reinterpret_cast<HWND>(std::uintptr_t{0x1000}), &config) == nullptr)
        return 1;
    std::printf("playing...\n");
    const double cpuBefore = cpuSeconds();
    const auto wallBefore = std::chrono::steady_clock::now();
    if (playerStart(&config) != 0) return 1;
    playerWait(&config);
    const double cpu = cpuSeconds() - cpuBefore;
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - wallBefore).count();
    const LONG dropped = config.context->audioChunksDropped;
    playerClose(&config);
    qzplat::setScanoutSink(nullptr);

    // Where each slot's sound begins in what was heard: the decoded sound in order, with the
    // feeder's silence (zero frames) wherever it had nothing to play.
    const std::vector<qzplat::HeardSound> heardAll = qzplat::heardSounds();
    if (heardAll.empty()) {
        std::fprintf(stderr, "no sound was heard\n");
        return 1;
    }
    const qzplat::HeardSound& heard = heardAll.back();
    std::vector<std::int64_t> slotStart(slots, -1);
    std::size_t j = 0;
    long mismatched = 0;
    long silentFrames = 0;
    bool started = false;
    for (std::size_t i = 0; i + 4 <= heard.bytes.size() && j + 4 <= sound.size(); i += 4) {
        if (std::equal(sound.begin() + std::ptrdiff_t(j), sound.begin() + std::ptrdiff_t(j + 4),
                       heard.bytes.begin() + std::ptrdiff_t(i))) {
            if (j % slotBytes == 0) slotStart[j / slotBytes] = std::int64_t(i);
            j += 4;
            started = true;
        } else if ((heard.bytes[i] | heard.bytes[i + 1] | heard.bytes[i + 2] |
                    heard.bytes[i + 3]) == 0) {
            if (started) ++silentFrames;
        } else {
            ++mismatched;
        }
    }

    std::vector<bool> shown(slots, false);
    std::vector<double> distance;
    std::vector<double> signedMs;
    std::vector<double> byCursorMs;
    for (const Present& p : sink.presents) {
        if (p.slot < 0 || p.slot >= slots || slotStart[std::size_t(p.slot)] < 0) continue;
        shown[std::size_t(p.slot)] = true;
        const auto start = std::uint64_t(slotStart[std::size_t(p.slot)]);
        const double ms = double(p.ns - heard.timeOf(start)) / 1e6;
        distance.push_back(std::abs(ms));
        signedMs.push_back(ms);
        byCursorMs.push_back((double(p.heardBytes) - double(start)) * 1000.0 / (rate * 4.0));
    }
    if (std::getenv("QZ_AV_DETAIL") != nullptr) {
        std::vector<std::size_t> order(signedMs.size());
        for (std::size_t k = 0; k < order.size(); ++k) order[k] = k;
        std::sort(order.begin(), order.end(),
                  [&](std::size_t a, std::size_t b) { return distance[a] > distance[b]; });
        for (std::size_t k = 0; k < std::min<std::size_t>(order.size(), 12); ++k)
            std::printf("  slot %d: %+.2f ms\n", sink.presents[order[k]].slot, signedMs[order[k]]);
    }
    const long presented = long(std::count(shown.begin(), shown.end(), true));
    double mean = 0;
    for (double v : signedMs) mean += v;
    mean = signedMs.empty() ? 0 : mean / double(signedMs.size());
    double meanCursor = 0;
    for (double v : byCursorMs) meanCursor += v;
    meanCursor = byCursorMs.empty() ? 0 : meanCursor / double(byCursorMs.size());

    std::printf("frames presented:            %ld of %d (%zu presents)\n", presented, slots,
                sink.presents.size());
    std::printf("frames dropped:              %ld\n", long(slots) - presented);
    std::printf("present - sound heard:       max %.2f ms, 99th percentile %.2f ms\n",
                distance.empty() ? 0.0 : *std::max_element(distance.begin(), distance.end()),
                percentile(distance, 0.99));
    std::printf(
        "                             mean %+.2f ms (by the cursor at the present %+.2f ms)\n",
        mean, meanCursor);
    std::printf("sound: %zu of %zu decoded bytes heard in order, %ld silent frames between, "
                "%ld frames unlike the decoded sound, %d blocks dropped\n",
                j, sound.size(), silentFrames, mismatched, int(dropped));
    std::printf("CPU time:                    %.3f s over %.1f s played: %.2f%% of one core per "
                "second of movie\n",
                cpu, wall, 100.0 * cpu / seconds);

    back->Release();
    primary->Release();
    directDraw->Release();
    std::remove(path);
    return 0;
}
