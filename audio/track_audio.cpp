#include "audio/track_audio.h"

#include <cstring>

#include "audio/audio_decode.h"
#include "format/limits.h"

LONG playedAudioBytes(const AudioFormat& format, const BYTE* payload, LONG length) {
    const LONG bytes = audioDecodedBytes(format, payload, length);
    return bytes > maxAudioBlockBytes ? maxAudioBlockBytes : bytes;
}

bool decodeTrack(const MovieScan& scan, ByteSource& file, int track, DecodedTrack& decoded,
                 const PcmSink& sink, std::string& message) {
    std::vector<TrackHeader> tracks = leadingTrackHeaders(scan, file);
    if (tracks.empty()) {
        message = "the movie has no audio (no stream header at the start of the file)";
        return false;
    }
    if (track < 1 || static_cast<std::size_t>(track) > tracks.size()) {
        message = "the movie has no track " + std::to_string(track) + " (it has " +
                  std::to_string(tracks.size()) + (tracks.size() == 1 ? " track)" : " tracks)");
        return false;
    }
    decoded = DecodedTrack{};
    decoded.track = track;
    decoded.rate = tracks[static_cast<std::size_t>(track - 1)].format.rate;
    LONG history[4] = {};
    ImaChannel ima[2] = {};
    bool first = true;
    Bytes payload;
    Bytes block;
    for (const AudioChunkRef& ref : audioChunks(scan, file, tracks)) {
        if (ref.track != track) continue;
        if (ref.oversized) {
            ++decoded.skippedChunks;
            continue;
        }
        const ScannedChunk& chunk = scan.chunks[ref.chunk];
        const BYTE* bytesIn = readPayload(file, chunk, payload);
        auto length = static_cast<LONG>(chunk.payloadSize());
        LONG bytes = playedAudioBytes(ref.format, bytesIn, length);
        if (first) decoded.rate = ref.format.rate;
        if (ref.format.rate != decoded.rate) decoded.rateChanged = true;
        first = false;
        ++decoded.chunks;
        if (bytes <= 0) continue;
        block.resize(static_cast<std::size_t>(bytes));
        const LONG written =
            decodeAudioPayload(ref.format, bytesIn, length, history, ima, block.data(), bytes);
        if (written <= 0) continue;
        decoded.pcmBytes += static_cast<std::size_t>(written);
        if (sink && !sink(block.data(), static_cast<std::size_t>(written))) return false;
    }
    return true;
}

bool decodeTrack(const MovieScan& scan, const Bytes& file, int track, DecodedTrack& decoded,
                 std::string& message) {
    MemorySource source(file.data(), file.size());
    std::vector<std::uint8_t> pcm;
    const bool ok = decodeTrack(
        scan, source, track, decoded,
        [&pcm](const std::uint8_t* bytes, std::size_t count) {
            const std::size_t at = pcm.size();
            pcm.resize(at + count);
            std::memcpy(pcm.data() + at, bytes, count);
            return true;
        },
        message);
    if (ok) decoded.pcm = std::move(pcm);
    return ok;
}
