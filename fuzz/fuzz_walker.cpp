// The container walker over arbitrary bytes: every step must move forward and stay inside the
// file, and the movie scan, the leading track headers and the audio chunk list built on it must
// hold together.
#include <cstddef>
#include <cstdint>
#include <string>

#include "format/chunk_walker.h"
#include "format/movie_scan.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The header step alone, on the first 0 to 8 bytes.
    stepChunkHeader(data, static_cast<LONG>(size < 8 ? size : 8));

    const Bytes file(data, data + size);
    std::size_t offset = 0;
    while (offset < size) {
        const ChunkSpan span = walkChunkAt(file.data(), size, offset);
        if (span.offset != offset || span.next <= offset) __builtin_trap();
        if (span.payloadBytes > size - offset) __builtin_trap();
        if (span.step.action == ChunkAction::end || span.step.action == ChunkAction::cutHeader)
            break;
        offset = span.next;
    }

    const MovieScan scan = scanMovie(file);
    for (const ScannedChunk& chunk : scan.chunks)
        if (chunk.offset >= size || chunk.payloadBytes > size - chunk.offset) __builtin_trap();
    for (const ScanDamage& damage : scan.damage)
        if (damageLine(damage).empty()) __builtin_trap();
    const std::vector<TrackHeader> tracks = leadingTrackHeaders(scan, file);
    for (const AudioChunkRef& ref : audioChunks(scan, file, tracks))
        if (ref.chunk >= scan.chunks.size() || ref.track < 1) __builtin_trap();
    return 0;
}
