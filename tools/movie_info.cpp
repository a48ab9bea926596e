#include "tools/movie_info.h"

#include <algorithm>
#include <ostream>

#include "audio/audio_decode.h"
#include "audio/track_audio.h"
#include "tools/file_checks.h"

namespace qztool {

namespace {

int s16At(const BYTE* bytes) {
    return static_cast<std::int16_t>(bytes[0] | bytes[1] << 8);
}

int u16At(const BYTE* bytes) {
    return bytes[0] | bytes[1] << 8;
}

// The picture size a video frame's header gives, by frame type; false when the type carries
// none (KRT delta frames) or the payload is too short to hold it.
bool pictureSize(const ScannedChunk& chunk, std::pair<int, int>& size, bool& tooShort) {
    tooShort = false;
    std::size_t need = 0;
    switch (chunk.frameType) {
    case 1:
    case 3:
    case 4:
        need = 4;
        break;
    case 5:
    case 6:
    case 7:
        need = 12;
        break;
    default:
        return false;
    }
    if (chunk.payloadSize() < need) {
        tooShort = true;
        return false;
    }
    const BYTE* header = chunk.head.data(); // the scan kept the size fields
    if (chunk.frameType == 1)
        size = {u16At(header), u16At(header + 2)};
    else if (chunk.frameType <= 4)
        size = {s16At(header), s16At(header + 2)};
    else
        size = {s16At(header + 8), s16At(header + 10)};
    return true;
}

void addPayload(PayloadStats& stats, std::size_t size) {
    stats.min = stats.count == 0 ? size : std::min(stats.min, size);
    stats.max = std::max(stats.max, size);
    stats.total += size;
    ++stats.count;
}

} // namespace

MovieInfo gatherMovieInfo(const std::string& name, ByteSource& file) {
    MovieInfo info;
    info.file = name;
    info.scan = scanMovie(file);
    std::vector<TrackHeader> headers = leadingTrackHeaders(info.scan, file);
    for (const TrackHeader& header : headers) {
        TrackInfo track;
        track.header = header;
        info.tracks.push_back(track);
    }

    for (std::size_t i = 0; i < info.scan.chunks.size(); ++i) {
        const ScannedChunk& chunk = info.scan.chunks[i];
        char text[5];
        chunkIdText(chunk.id, text);
        ++info.kinds[chunk.kind];
        ++info.ids[text];
        addPayload(info.payloads[chunk.kind], chunk.payloadSize());
        if (i >= headers.size() &&
            (chunk.kind == ChunkKind::streamHeader || chunk.kind == ChunkKind::fixedHeader))
            ++info.laterHeaders;
        if (chunk.kind == ChunkKind::audioData && headers.empty()) ++info.audioChunksNoTrack;
        if (chunk.kind != ChunkKind::video) continue;
        ++info.videoChunks;
        ++info.videoTypes[static_cast<std::size_t>(chunk.frameType)];
        std::pair<int, int> size;
        bool tooShort = false;
        if (pictureSize(chunk, size, tooShort)) ++info.pictureSizes[size];
        if (tooShort) ++info.shortVideoHeaders;
    }

    Bytes payload;
    for (const AudioChunkRef& ref : audioChunks(info.scan, file, headers)) {
        TrackInfo& track = info.tracks[static_cast<std::size_t>(ref.track - 1)];
        ++track.chunks;
        if (ref.oversized) {
            ++track.skippedChunks;
            continue;
        }
        const ScannedChunk& chunk = info.scan.chunks[ref.chunk];
        LONG bytes = playedAudioBytes(ref.format, readPayload(file, chunk, payload),
                                      static_cast<LONG>(chunk.payloadSize()));
        auto frames = static_cast<std::size_t>(std::max<LONG>(bytes, 0) / 4);
        track.frames += frames;
        if (ref.format.rate > 0) track.seconds += static_cast<double>(frames) / ref.format.rate;
    }
    if (!info.tracks.empty()) info.durationSeconds = info.tracks[0].seconds;
    return info;
}

MovieInfo gatherMovieInfo(const std::string& name, const Bytes& file) {
    MemorySource source(file.data(), file.size());
    return gatherMovieInfo(name, source);
}

int runInfo(const std::string& path, bool json, bool listChunks, std::ostream& out,
            std::ostream& err) {
    std::string message;
    const std::unique_ptr<ByteSource> file = openMovie(path, message);
    if (!file) {
        err << "qztool: " << message << "\n";
        return 1;
    }
    MovieInfo info = gatherMovieInfo(path, *file);
    if (file->failed()) {
        err << "qztool: " << readFailedMessage(path) << "\n";
        return 1;
    }
    if (!checkIsMovie(path, info.scan, message)) {
        err << "qztool: " << message << "\n";
        return 1;
    }
    if (json)
        printMovieInfoJson(info, listChunks, out);
    else
        printMovieInfo(info, listChunks, out);
    out.flush();
    if (!info.scan.damage.empty()) {
        const std::size_t n = info.scan.damage.size();
        err << "qztool: " << path << ": " << n << (n == 1 ? " damaged place" : " damaged places")
            << ", the first " << damageLine(info.scan.damage.front()) << "\n";
        return 1;
    }
    return 0;
}

} // namespace qztool
