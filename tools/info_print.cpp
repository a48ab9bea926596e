// The info command's two report formats.
#include <cstdio>
#include <ostream>
#include <string>

#include "tools/movie_info.h"

namespace qztool {

namespace {

const char* frameTypeName(std::size_t type) {
    static const char* const names[] = {"",        "KRT key", "KRT delta",  "WNB/QZ",
                                        "PLW/QZ2", "DOR key", "DOR motion", "DOR non-reference"};
    return type < 8 ? names[type] : "";
}

std::string format(const char* pattern, auto... values) {
    char line[256];
    std::snprintf(line, sizeof line, pattern, values...);
    return line;
}

std::string idText(std::uint32_t id) {
    char text[5];
    chunkIdText(id, text);
    return text;
}

std::string channelsText(LONG channels) {
    if (channels == 1) return "mono";
    if (channels == 2) return "stereo";
    return std::to_string(channels) + " channels";
}

double mean(const PayloadStats& stats) {
    return stats.count == 0 ? 0.0 : static_cast<double>(stats.total) / stats.count;
}

// A JSON string literal: quotes, backslashes and control characters escaped.
std::string jsonString(const std::string& text) {
    std::string quoted = "\"";
    for (char c : text) {
        auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            quoted += '\\';
            quoted += c;
        } else if (byte < 0x20 || byte == 0x7F) {
            quoted += format("\\u%04x", byte);
        } else {
            quoted += c;
        }
    }
    return quoted + "\"";
}

std::string jsonNumber(double value) {
    return format("%.6f", value);
}

} // namespace

void printMovieInfo(const MovieInfo& info, bool listChunks, std::ostream& out) {
    const MovieScan& scan = info.scan;
    out << info.file << ": " << scan.fileSize << " bytes, " << scan.chunks.size() << " chunks\n";
    if (listChunks) {
        out << format("  %10s  %-4s  %10s  %-20s  %s\n", "offset", "id", "size", "kind", "type");
        for (const ScannedChunk& chunk : scan.chunks)
            out << format("  %10zu  %-4s  %10u  %-20s  %ld\n", chunk.offset,
                          idText(chunk.id).c_str(), chunk.size, chunkKindName(chunk.kind),
                          static_cast<long>(chunk.frameType));
    }
    out << "tracks: " << info.tracks.size() << "\n";
    for (std::size_t t = 0; t < info.tracks.size(); ++t) {
        const TrackInfo& track = info.tracks[t];
        const AudioFormat& f = track.header.format;
        out << "  track " << t + 1 << " (" << idText(track.header.id)
            << "): " << channelsText(f.channels) << ", " << f.rate << " Hz, " << f.bits << " bits, "
            << codecName(f.codec) << " (codec " << f.codec << ")"
            << (track.header.oversized ? ", header too large to read" : "") << "; " << track.chunks
            << " data chunks, " << track.frames << " frames, " << format("%.3f s", track.seconds);
        if (track.skippedChunks > 0) out << ", " << track.skippedChunks << " oversized skipped";
        out << "\n";
    }
    if (info.laterHeaders > 0)
        out << "later stream headers (apply to every track): " << info.laterHeaders << "\n";
    if (info.audioChunksNoTrack > 0)
        out << "audio data chunks without a leading stream header (not played): "
            << info.audioChunksNoTrack << "\n";
    out << "chunks by kind:\n";
    for (const auto& [kind, count] : info.kinds)
        out << format("  %-20s %zu\n", chunkKindName(kind), count);
    out << "chunks by id:\n";
    for (const auto& [id, count] : info.ids) out << format("  %-4s %zu\n", id.c_str(), count);
    out << "video: " << info.videoChunks << " chunks\n";
    for (std::size_t type = 1; type < 8; ++type)
        if (info.videoTypes[type] > 0)
            out << format("  type %zu (%s): %zu\n", type, frameTypeName(type),
                          info.videoTypes[type]);
    for (const auto& [size, count] : info.pictureSizes)
        out << format("  picture %dx%d: %zu frames\n", size.first, size.second, count);
    if (info.shortVideoHeaders > 0)
        out << "  frames too short for their header: " << info.shortVideoHeaders << "\n";
    out << "payload bytes:\n";
    for (const auto& [kind, stats] : info.payloads)
        out << format("  %-20s %zu chunks, min %zu, max %zu, mean %.1f, total %zu\n",
                      chunkKindName(kind), stats.count, stats.min, stats.max, mean(stats),
                      stats.total);
    out << format("duration: %.3f s of track 1 audio, %zu video chunks\n", info.durationSeconds,
                  info.videoChunks);
    if (scan.endOffset) {
        out << "end of data at offset " << *scan.endOffset;
        if (scan.trailingBytes > 0) out << ", followed by " << scan.trailingBytes << " bytes";
        out << "\n";
    } else {
        out << "no end-of-data chunk: the data ends with the file\n";
    }
    if (!scan.damage.empty()) {
        const std::size_t n = scan.damage.size();
        out << "damage passed over as the player does: " << n << (n == 1 ? " place" : " places")
            << "\n";
        for (const ScanDamage& damage : scan.damage) out << "  " << damageLine(damage) << "\n";
    }
}

void printMovieInfoJson(const MovieInfo& info, bool listChunks, std::ostream& out) {
    const MovieScan& scan = info.scan;
    out << "{\n  \"file\": " << jsonString(info.file) << ",\n  \"fileSize\": " << scan.fileSize
        << ",\n  \"chunkCount\": " << scan.chunks.size() << ",\n  \"tracks\": [";
    for (std::size_t t = 0; t < info.tracks.size(); ++t) {
        const TrackInfo& track = info.tracks[t];
        const AudioFormat& f = track.header.format;
        out << (t == 0 ? "\n" : ",\n") << "    {\"track\": " << t + 1
            << ", \"channels\": " << f.channels << ", \"rate\": " << f.rate
            << ", \"bits\": " << f.bits << ", \"codec\": " << f.codec
            << ", \"codecName\": " << jsonString(codecName(f.codec))
            << ", \"oversizedHeader\": " << (track.header.oversized ? "true" : "false")
            << ", \"chunks\": " << track.chunks << ", \"skippedChunks\": " << track.skippedChunks
            << ", \"frames\": " << track.frames << ", \"seconds\": " << jsonNumber(track.seconds)
            << "}";
    }
    out << (info.tracks.empty() ? "]" : "\n  ]") << ",\n  \"laterHeaders\": " << info.laterHeaders
        << ",\n  \"kinds\": {";
    const char* separator = "";
    for (const auto& [kind, count] : info.kinds) {
        out << separator << jsonString(chunkKindName(kind)) << ": " << count;
        separator = ", ";
    }
    out << "},\n  \"ids\": {";
    separator = "";
    for (const auto& [id, count] : info.ids) {
        out << separator << jsonString(id) << ": " << count;
        separator = ", ";
    }
    out << "},\n  \"video\": {\"chunks\": " << info.videoChunks << ", \"types\": {";
    separator = "";
    for (std::size_t type = 1; type < 8; ++type) {
        out << separator << "\"" << type << "\": " << info.videoTypes[type];
        separator = ", ";
    }
    out << "}, \"sizes\": [";
    separator = "";
    for (const auto& [size, count] : info.pictureSizes) {
        out << separator << "{\"width\": " << size.first << ", \"height\": " << size.second
            << ", \"frames\": " << count << "}";
        separator = ", ";
    }
    out << "], \"shortHeaders\": " << info.shortVideoHeaders << "},\n  \"payloads\": {";
    separator = "";
    for (const auto& [kind, stats] : info.payloads) {
        out << separator << jsonString(chunkKindName(kind)) << ": {\"count\": " << stats.count
            << ", \"min\": " << stats.min << ", \"max\": " << stats.max
            << ", \"total\": " << stats.total << ", \"mean\": " << jsonNumber(mean(stats)) << "}";
        separator = ", ";
    }
    out << "},\n  \"durationSeconds\": " << jsonNumber(info.durationSeconds)
        << ",\n  \"endOfData\": ";
    if (scan.endOffset)
        out << *scan.endOffset;
    else
        out << "null";
    out << ",\n  \"trailingBytes\": " << scan.trailingBytes << ",\n  \"error\": ";
    if (!scan.damage.empty())
        out << "{\"offset\": " << scan.damage.front().offset
            << ", \"message\": " << jsonString(scan.damage.front().message) << "}";
    else
        out << "null";
    if (!scan.damage.empty()) {
        out << ",\n  \"damage\": [";
        separator = "\n";
        for (const ScanDamage& damage : scan.damage) {
            out << separator << "    {\"offset\": " << damage.offset
                << ", \"skipped\": " << damage.skipped
                << ", \"message\": " << jsonString(damage.message) << "}";
            separator = ",\n";
        }
        out << "\n  ]";
    }
    if (listChunks) {
        out << ",\n  \"chunks\": [";
        separator = "\n";
        for (const ScannedChunk& chunk : scan.chunks) {
            out << separator << "    {\"offset\": " << chunk.offset
                << ", \"id\": " << jsonString(idText(chunk.id)) << ", \"size\": " << chunk.size
                << ", \"kind\": " << jsonString(chunkKindName(chunk.kind))
                << ", \"type\": " << chunk.frameType << "}";
            separator = ",\n";
        }
        out << (scan.chunks.empty() ? "]" : "\n  ]");
    }
    out << "\n}\n";
}

} // namespace qztool
