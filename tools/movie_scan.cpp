#include "tools/movie_scan.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>

#include "audio/audio_decode.h"
#include "engine/reader.h"

namespace qztool {

namespace {

std::uint32_t readU32(const Bytes& file, std::size_t offset) {
    return static_cast<std::uint32_t>(file[offset]) |
           static_cast<std::uint32_t>(file[offset + 1]) << 8 |
           static_cast<std::uint32_t>(file[offset + 2]) << 16 |
           static_cast<std::uint32_t>(file[offset + 3]) << 24;
}

bool isLeadingHeaderId(std::uint32_t id) {
    return id == chunkId("SCHl") || id == chunkId("1SNh") || id == chunkId("SKOD");
}

bool isHeaderKind(ChunkKind kind) {
    return kind == ChunkKind::streamHeader || kind == ChunkKind::fixedHeader;
}

// The format a header chunk sets, as the player reads it; nullopt for an oversized payload,
// which the player skips without touching the format.
std::optional<AudioFormat> headerFormat(const ScannedChunk& chunk, const Bytes& file) {
    if (chunk.kind == ChunkKind::fixedHeader) return fixedAudioFormat;
    if (chunk.payloadSize() > maxAudioPayload) return std::nullopt;
    AudioFormat format = defaultAudioFormat;
    parseStreamHeader(file.data() + chunk.payloadOffset(), static_cast<LONG>(chunk.payloadSize()),
                      &format);
    return format;
}

} // namespace

bool loadFile(const std::string& path, Bytes& bytes, std::string& message) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        message = "cannot open " + path + ": " + std::strerror(errno);
        return false;
    }
    bytes.assign(std::istreambuf_iterator<char>(in), {});
    if (in.bad()) {
        message = "cannot read " + path;
        return false;
    }
    return true;
}

MovieScan scanMovie(const Bytes& file) {
    MovieScan scan;
    scan.fileSize = file.size();
    std::size_t offset = 0;
    while (offset < file.size()) {
        std::size_t left = file.size() - offset;
        if (left < chunkHeaderBytes) {
            scan.errorOffset = offset;
            scan.error = "chunk header cut short (" + std::to_string(left) + " of 8 bytes)";
            return scan;
        }
        ScannedChunk chunk;
        chunk.offset = offset;
        chunk.id = readU32(file, offset);
        chunk.size = readU32(file, offset + 4);
        ChunkClass cls = classifyChunkId(chunk.id);
        chunk.kind = cls.kind;
        chunk.frameType = cls.frameType;
        char text[5];
        chunkIdText(chunk.id, text);
        if (chunk.kind == ChunkKind::unknown) {
            scan.errorOffset = offset;
            scan.error = std::string("unknown chunk id \"") + text + "\"";
            return scan;
        }
        if (chunk.size < chunkHeaderBytes) {
            scan.errorOffset = offset;
            scan.error = std::string("chunk \"") + text + "\" has size " +
                         std::to_string(chunk.size) + ", below the 8 header bytes";
            return scan;
        }
        if (chunk.size > left) {
            scan.errorOffset = offset;
            scan.error = std::string("chunk \"") + text + "\" of " + std::to_string(chunk.size) +
                         " bytes runs past the end of the file (" + std::to_string(left) +
                         " bytes left)";
            return scan;
        }
        scan.chunks.push_back(chunk);
        offset += chunk.size;
        if (chunk.kind == ChunkKind::endOfData) {
            scan.endOffset = chunk.offset;
            scan.trailingBytes = file.size() - offset;
            return scan;
        }
    }
    return scan;
}

std::vector<TrackHeader> leadingTrackHeaders(const MovieScan& scan, const Bytes& file) {
    std::vector<TrackHeader> tracks;
    for (const ScannedChunk& chunk : scan.chunks) {
        if (!isLeadingHeaderId(chunk.id)) break;
        TrackHeader header;
        header.id = chunk.id;
        std::optional<AudioFormat> format = headerFormat(chunk, file);
        header.oversized = !format.has_value();
        if (format) header.format = *format;
        tracks.push_back(header);
    }
    return tracks;
}

std::vector<AudioChunkRef> audioChunks(const MovieScan& scan, const Bytes& file,
                                       const std::vector<TrackHeader>& tracks) {
    std::vector<AudioChunkRef> refs;
    if (tracks.empty()) return refs;
    auto trackCount = static_cast<LONG>(tracks.size());
    std::optional<AudioFormat> later;
    LONG run = 0;
    for (std::size_t i = 0; i < scan.chunks.size(); ++i) {
        const ScannedChunk& chunk = scan.chunks[i];
        if (chunk.kind != ChunkKind::audioData) {
            run = 0;
            if (i >= tracks.size() && isHeaderKind(chunk.kind)) {
                std::optional<AudioFormat> format = headerFormat(chunk, file);
                if (format) later = format;
            }
            continue;
        }
        ++run;
        AudioChunkRef ref;
        ref.chunk = i;
        ref.track = static_cast<int>(trackOfRunChunk(run, trackCount));
        ref.format = later ? *later : tracks[static_cast<std::size_t>(ref.track - 1)].format;
        ref.oversized = chunk.payloadSize() > maxAudioPayload;
        refs.push_back(ref);
    }
    return refs;
}

const char* codecName(LONG codec) {
    switch (codec) {
    case audioCodecPcm:
        return "PCM";
    case audioCodecBlockAdpcm:
        return "block ADPCM";
    case audioCodecIma:
        return "IMA ADPCM";
    default:
        return "unknown";
    }
}

} // namespace qztool
