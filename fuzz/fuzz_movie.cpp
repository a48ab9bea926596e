// A whole movie file as the player reads it: the reader's walk (format/movie_scan.h), every
// video chunk it takes through one VideoDecoder into guarded caller memory, and the audio of
// the first two tracks. The first input byte picks the pixel format (modulo 5) and the row
// padding (the byte divided by 5, 0 to 51 bytes); the movie is the rest.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "audio/track_audio.h"
#include "format/movie_scan.h"
#include "fuzz/fuzz_input.h"
#include "fuzz/guarded_memory.h"
#include "video/frame_decoder.h"

namespace {

constexpr FrameFormat formats[] = {FrameFormat::pal8, FrameFormat::rgb555, FrameFormat::rgb565,
                                   FrameFormat::xrgb8888, FrameFormat::yuy2};
constexpr int targetWidth = 320;
constexpr int targetHeight = 240;
constexpr int tracksDecoded = 2;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput input(data, size);
    const std::uint8_t select = input.byte();
    const FrameFormat format = formats[select % 5];
    const std::size_t rowBytes = std::size_t{targetWidth} * framePixelBytes(format);
    GuardedMemory memory(rowBytes, targetHeight, rowBytes + select / 5);
    const PictureMemory target{memory.pixels(), static_cast<std::ptrdiff_t>(memory.pitch()),
                               targetWidth, targetHeight};

    const Bytes file(input.rest(), input.rest() + input.restSize());
    const MovieScan scan = scanMovie(file);
    VideoDecoder decoder(format, 100);
    for (const ScannedChunk& chunk : scan.chunks) {
        if (chunk.kind != ChunkKind::video || !chunk.payloadTaken()) continue;
        const BYTE* payload = file.data() + chunk.payloadOffset();
        const auto picture = videoPictureSize(chunk.frameType, payload, chunk.payloadSize());
        if (picture && pictureTooLargeToFuzz(picture->width, picture->height, fuzzMoviePixels))
            continue;
        decoder.decode(chunk.frameType, payload, chunk.payloadSize(), target);
        memory.check();
    }

    const std::vector<TrackHeader> tracks = leadingTrackHeaders(scan, file);
    for (int track = 1; track <= tracksDecoded && track <= static_cast<int>(tracks.size());
         ++track) {
        DecodedTrack decoded;
        std::string message;
        decodeTrack(scan, file, track, decoded, message);
    }
    return 0;
}
