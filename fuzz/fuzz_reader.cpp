// The player's own chunk reader over a whole file: it loads the movie (probe, prefill), then
// refills as the play loop does until the end, looping once when asked, while this target stands in
// for the play loop and the feeder: every queued frame is decoded through the frame dispatch into
// guarded memory and every queued audio block is read. The reader must reach the end in a bounded
// number of refills, whatever the bytes.
//
// Input: byte 0 picks the pixel format (modulo 5) and the row padding (the byte divided by 5);
// byte 1 the track (low 2 bits, 0 for the default) and looping (bit 2); the movie is the rest.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "api/shared.h"
#include "engine/context.h"
#include "engine/reader.h"
#include "fuzz/fuzz_input.h"
#include "fuzz/guarded_memory.h"
#include "video/frame_decoder.h"

namespace {

constexpr FrameFormat formats[] = {FrameFormat::pal8, FrameFormat::rgb555, FrameFormat::rgb565,
                                   FrameFormat::xrgb8888, FrameFormat::yuy2};
constexpr int targetWidth = 160;
constexpr int targetHeight = 120;

// The file the reader opens, rewritten for every input (in memory-backed /dev/shm when there is
// one).
const std::string& scratchPath() {
    static const std::string path = [] {
        const char* dir = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        return std::string(dir) + "/qz_fuzz_reader_" + std::to_string(getpid()) + ".qz";
    }();
    return path;
}

bool writeScratch(const std::uint8_t* data, std::size_t size) {
    std::FILE* file = std::fopen(scratchPath().c_str(), "wb");
    if (file == nullptr) return false;
    const bool written = std::fwrite(data, 1, size, file) == size;
    return std::fclose(file) == 0 && written;
}

struct Consumer {
    PlayerContext* ctx;
    VideoDecoder decoder;
    GuardedMemory& memory;
    PictureMemory target;
    int laps = 0; // laps begun, as the play loop learns of them from the frames

    // Takes every queued frame and audio block, as the play loop and the feeder would.
    void drain() {
        while (sharedLoad(ctx->framesBuffered) > 0) {
            FrameEntry& entry = ctx->frameTable[ctx->frameReadIndex % queueSlots];
            const BYTE* payload = sharedLoad(entry.payload);
            if (payload == nullptr) __builtin_trap();
            // A lap whose first chunk is a frame hands its start to that frame.
            if (entry.lapStart != 0) ++laps;
            const auto picture = videoPictureSize(entry.type, payload, entry.payloadBytes);
            if (!picture ||
                !pictureTooLargeToFuzz(picture->width, picture->height, fuzzMoviePixels)) {
                decoder.decode(entry.type, payload, entry.payloadBytes, target);
                memory.check();
            }
            InterlockedIncrement(&ctx->frameReadIndex);
            InterlockedDecrement(&ctx->framesBuffered);
            entry.payloadBytes = 0;
            sharedStore(entry.payload, static_cast<BYTE*>(nullptr));
        }
        while (sharedLoad(ctx->audioBuffered) > 0) {
            AudioEntry& slot = ctx->audioTable[ctx->audioReadIndex % queueSlots];
            const BYTE* samples = sharedLoad(slot.samples);
            if (samples == nullptr || slot.bytes < 0) __builtin_trap();
            // Touch the block's first and last bytes: they must lie inside the audio ring.
            volatile BYTE sum = 0;
            if (slot.bytes > 0) sum = static_cast<BYTE>(samples[0] + samples[slot.bytes - 1]);
            (void)sum;
            InterlockedIncrement(&ctx->audioReadIndex);
            InterlockedDecrement(&ctx->audioBuffered);
            sharedStore(slot.samples, static_cast<BYTE*>(nullptr));
        }
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput input(data, size);
    const std::uint8_t select = input.byte();
    const std::uint8_t play = input.byte();
    if (!writeScratch(input.rest(), input.restSize())) return 0;

    const FrameFormat format = formats[select % 5];
    const std::size_t rowBytes = std::size_t{targetWidth} * framePixelBytes(format);
    GuardedMemory memory(rowBytes, targetHeight, rowBytes + select / 5);

    auto config = std::make_unique<PlayerConfig>();
    auto ctx = std::make_unique<PlayerContext>();
    ctx->config = config.get();
    config->track = play & 3;
    config->flags = (config->track != 0 ? trackGiven : 0) | ((play & 4) != 0 ? loopPlay : 0);
    if (readerLoad(scratchPath().c_str(), ctx.get()) != 0) return 0;

    Consumer consumer{ctx.get(), VideoDecoder(format, 100), memory,
                      PictureMemory{memory.pixels(), static_cast<std::ptrdiff_t>(memory.pitch()),
                                    targetWidth, targetHeight}};
    consumer.drain();
    // The play loop's refill reads at least one chunk header a call (the target drains the
    // queues, so they never hold it back), so a lap of a file of n bytes ends within n / 8
    // calls; looping movies stop after their second lap here.
    const std::size_t callLimit = 2 * (input.restSize() / 8 + 2) + 64;
    for (std::size_t calls = 0; ctx->lastRead != readEnd; ++calls) {
        if (calls > callLimit) __builtin_trap();
        refill(ctx.get());
        // A lap begun on an audio chunk or at the file's top is still pending here.
        if (ctx->lapPending != 0) {
            ctx->lapPending = 0;
            ++consumer.laps;
        }
        consumer.drain();
        if (consumer.laps >= 2) break;
    }
    readerRelease(ctx.get());
    return 0;
}
