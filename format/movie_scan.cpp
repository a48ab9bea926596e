#include "format/movie_scan.h"

#include <array>
#include <cstdio>

#include "format/limits.h"
#include "format/stream_header.h"

namespace {

bool isHeaderKind(ChunkKind kind) {
    return kind == ChunkKind::streamHeader || kind == ChunkKind::fixedHeader;
}

bool isResync(ChunkDamage damage) {
    return damage == ChunkDamage::sizeBelowHeader || damage == ChunkDamage::sizeTooLarge ||
           damage == ChunkDamage::unknownId;
}

std::string idText(std::uint32_t id) {
    char text[5];
    chunkIdText(id, text);
    return text;
}

// The damage of one step, worded for a listing.
ScanDamage describeDamage(const ChunkSpan& span, std::size_t fileSize) {
    const ChunkStep& step = span.step;
    ScanDamage damage;
    damage.offset = span.offset;
    damage.what = step.damage;
    damage.skipped = static_cast<std::size_t>(step.advance);
    const std::string chunk = "chunk \"" + idText(step.header.id) + "\"";
    const std::size_t left = fileSize - span.offset;
    switch (step.damage) {
    case ChunkDamage::cutHeader:
        damage.message = "chunk header cut short (" + std::to_string(left) + " of 8 bytes)";
        break;
    case ChunkDamage::sizeBelowHeader:
        damage.message =
            chunk + " has size " + std::to_string(step.header.size) + ", below the 8 header bytes";
        break;
    case ChunkDamage::sizeTooLarge:
        damage.message = chunk + " has size " + std::to_string(step.header.size) + ", above " +
                         std::to_string(maxChunkSize);
        break;
    case ChunkDamage::unknownId:
        damage.message = "unknown chunk id \"" + idText(step.header.id) + "\"";
        break;
    case ChunkDamage::payloadCut:
        damage.skipped = 0;
        damage.message = chunk + " of " + std::to_string(step.header.size) +
                         " bytes runs past the end of the file (" + std::to_string(left) +
                         " bytes left)";
        if (step.action == ChunkAction::skip)
            damage.message += "; its payload is passed over";
        else if (span.payloadBytes == 0)
            damage.message += "; nothing of its payload is there: the data ends";
        else
            damage.message +=
                "; the " + std::to_string(span.payloadBytes) + " payload bytes there are read";
        break;
    case ChunkDamage::none:
        break;
    }
    return damage;
}

// The format a header chunk sets, as the player reads it; nullopt for a payload the player
// skips or cannot read, which leaves the format as it was.
std::optional<AudioFormat> headerFormat(const ScannedChunk& chunk, ByteSource& file,
                                        Bytes& buffer) {
    if (!chunk.payloadTaken()) return std::nullopt;
    if (chunk.kind == ChunkKind::fixedHeader) return fixedAudioFormat;
    AudioFormat format = defaultAudioFormat;
    parseStreamHeader(readPayload(file, chunk, buffer), static_cast<LONG>(chunk.payloadSize()),
                      &format);
    return format;
}

} // namespace

MovieScan scanMovie(ByteSource& file) {
    MovieScan scan;
    scan.fileSize = file.size();
    std::size_t offset = 0;
    bool afterDamage = false;
    while (offset < file.size()) {
        const ChunkSpan span = walkChunkAt(file, offset);
        const ChunkStep& step = span.step;
        if (step.damage != ChunkDamage::none) {
            // Headers passed over one after another are one damaged place.
            if (step.action == ChunkAction::resync && !scan.damage.empty() &&
                isResync(scan.damage.back().what) &&
                scan.damage.back().offset + scan.damage.back().skipped == offset) {
                scan.damage.back().skipped += static_cast<std::size_t>(step.advance);
                ++scan.damage.back().headers;
            } else {
                scan.damage.push_back(describeDamage(span, file.size()));
            }
        }
        if (step.action == ChunkAction::cutHeader) break;
        offset = span.next;
        if (step.action == ChunkAction::resync) {
            afterDamage = true;
            continue;
        }
        ScannedChunk chunk;
        chunk.offset = span.offset;
        chunk.id = step.header.id;
        chunk.size = step.header.size;
        chunk.kind = step.cls.kind;
        chunk.frameType = step.cls.frameType;
        chunk.action = step.action;
        // What the file holds of the payload, read or not.
        const std::size_t payloadLeft = file.size() - span.offset - chunkHeaderBytes;
        const auto payloadLength = static_cast<std::size_t>(step.payloadLength);
        chunk.payloadBytes = payloadLength < payloadLeft ? payloadLength : payloadLeft;
        chunk.afterDamage = afterDamage;
        afterDamage = false;
        // The header's read left these bytes in the file's window.
        if (chunk.headSize() != 0)
            file.read(chunk.payloadOffset(), chunk.headSize(), chunk.head.data());
        scan.chunks.push_back(chunk);
        if (step.action == ChunkAction::end) {
            const std::size_t end = span.offset + chunk.size;
            scan.endOffset = span.offset;
            scan.trailingBytes = end < file.size() ? file.size() - end : 0;
            break;
        }
    }
    for (ScanDamage& damage : scan.damage)
        if (damage.headers > 1)
            damage.message += "; then " + std::to_string(damage.headers - 1) +
                              " more unusable chunk headers in a row";
    return scan;
}

MovieScan scanMovie(const Bytes& file) {
    MemorySource source(file.data(), file.size());
    return scanMovie(source);
}

std::string damageLine(const ScanDamage& damage) {
    char where[64];
    std::snprintf(where, sizeof where, "at offset %zu (0x%zx): ", damage.offset, damage.offset);
    if (damage.skipped == 0) return std::string("cut short ") + where + damage.message;
    return "skipped " + std::to_string(damage.skipped) +
           (damage.skipped == 1 ? " byte " : " bytes ") + where + damage.message;
}

std::vector<TrackHeader> leadingTrackHeaders(const MovieScan& scan, ByteSource& file) {
    std::vector<TrackHeader> tracks;
    Bytes buffer;
    for (const ScannedChunk& chunk : scan.chunks) {
        if (!isTrackHeaderId(chunk.id) || chunk.afterDamage) break;
        TrackHeader header;
        header.id = chunk.id;
        header.oversized = chunk.action == ChunkAction::skip;
        if (std::optional<AudioFormat> format = headerFormat(chunk, file, buffer))
            header.format = *format;
        tracks.push_back(header);
    }
    return tracks;
}

std::vector<TrackHeader> leadingTrackHeaders(const MovieScan& scan, const Bytes& file) {
    MemorySource source(file.data(), file.size());
    return leadingTrackHeaders(scan, source);
}

std::vector<AudioChunkRef> audioChunks(const MovieScan& scan, ByteSource& file,
                                       const std::vector<TrackHeader>& tracks) {
    std::vector<AudioChunkRef> refs;
    Bytes buffer;
    // Without a leading header the reader passes audio data over uncounted.
    if (tracks.empty()) return refs;
    const auto trackCount = static_cast<LONG>(tracks.size());
    // The reader's own bookkeeping: headers read in a row from the top (-1 once anything else
    // was read), the formats they gave, the last format any header gave, the run's count.
    LONG leading = 0;
    std::array<AudioFormat, maxTrackFormats> formats;
    formats.fill(defaultAudioFormat);
    AudioFormat last = defaultAudioFormat;
    LONG run = 0;
    for (std::size_t i = 0; i < scan.chunks.size(); ++i) {
        const ScannedChunk& chunk = scan.chunks[i];
        if (chunk.afterDamage) {
            run = 0;
            leading = -1;
        }
        if (!isHeaderKind(chunk.kind)) leading = -1;
        // A read that gets nothing of a payload is the end of the data.
        if (chunk.kind == ChunkKind::endOfData ||
            (chunk.action == ChunkAction::read && !chunk.payloadTaken()))
            break;
        if (isHeaderKind(chunk.kind)) {
            run = 0;
            const std::optional<AudioFormat> format = headerFormat(chunk, file, buffer);
            if (leading >= 0) {
                const LONG n = ++leading;
                if (format && n <= maxTrackFormats)
                    formats[static_cast<std::size_t>(n - 1)] = *format;
            } else if (format) {
                formats.fill(*format);
            }
            if (format) last = *format;
            continue;
        }
        if (chunk.kind != ChunkKind::audioData) {
            run = 0;
            continue;
        }
        ++run;
        AudioChunkRef ref;
        ref.chunk = i;
        ref.track = static_cast<int>(trackOfRunChunk(run, trackCount));
        ref.format =
            ref.track <= maxTrackFormats ? formats[static_cast<std::size_t>(ref.track - 1)] : last;
        ref.oversized = chunk.action == ChunkAction::skip;
        refs.push_back(ref);
    }
    return refs;
}

std::vector<AudioChunkRef> audioChunks(const MovieScan& scan, const Bytes& file,
                                       const std::vector<TrackHeader>& tracks) {
    MemorySource source(file.data(), file.size());
    return audioChunks(scan, source, tracks);
}

const BYTE* readPayload(ByteSource& file, const ScannedChunk& chunk, Bytes& buffer,
                        std::size_t count) {
    const std::size_t bytes = count < chunk.payloadSize() ? count : chunk.payloadSize();
    // An empty payload still gets a valid pointer, as one inside a file in memory would be.
    static const BYTE nothing[1] = {0};
    buffer.resize(bytes);
    if (bytes == 0) return nothing;
    file.read(chunk.payloadOffset(), bytes, buffer.data());
    return buffer.data();
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
