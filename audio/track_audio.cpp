#include "audio/track_audio.h"

#include "audio/audio_decode.h"
#include "format/limits.h"

LONG playedAudioBytes(const AudioFormat& format, const BYTE* payload, LONG length) {
    const LONG bytes = audioDecodedBytes(format, payload, length);
    return bytes > maxAudioBlockBytes ? maxAudioBlockBytes : bytes;
}

bool decodeTrack(const MovieScan& scan, const Bytes& file, int track, DecodedTrack& decoded,
                 std::string& message) {
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
    for (const AudioChunkRef& ref : audioChunks(scan, file, tracks)) {
        if (ref.track != track) continue;
        if (ref.oversized) {
            ++decoded.skippedChunks;
            continue;
        }
        const ScannedChunk& chunk = scan.chunks[ref.chunk];
        const BYTE* payload = file.data() + chunk.payloadOffset();
        auto length = static_cast<LONG>(chunk.payloadSize());
        LONG bytes = playedAudioBytes(ref.format, payload, length);
        if (first) decoded.rate = ref.format.rate;
        if (ref.format.rate != decoded.rate) decoded.rateChanged = true;
        first = false;
        ++decoded.chunks;
        if (bytes <= 0) continue;
        std::size_t at = decoded.pcm.size();
        decoded.pcm.resize(at + static_cast<std::size_t>(bytes));
        LONG written = decodeAudioPayload(ref.format, payload, length, history, ima,
                                          decoded.pcm.data() + at, bytes);
        decoded.pcm.resize(at + static_cast<std::size_t>(written > 0 ? written : 0));
    }
    return true;
}
