// The info command's two report formats.
#include <cmath>
#include <cstdio>
#include <ostream>
#include <string>

#include <nlohmann/json.hpp>

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

// Seconds and means to the microsecond: sums of many chunk durations carry rounding noise that a
// report should not show.
double micro(double value) {
    return std::round(value * 1e6) / 1e6;
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
    using Json = nlohmann::ordered_json;
    const MovieScan& scan = info.scan;
    Json doc = {{"schema", infoJsonSchema},
                {"file", info.file},
                {"fileSize", scan.fileSize},
                {"chunkCount", scan.chunks.size()}};
    Json tracks = Json::array();
    for (std::size_t t = 0; t < info.tracks.size(); ++t) {
        const TrackInfo& track = info.tracks[t];
        const AudioFormat& f = track.header.format;
        tracks.push_back({{"track", t + 1},
                          {"channels", f.channels},
                          {"rate", f.rate},
                          {"bits", f.bits},
                          {"codec", f.codec},
                          {"codecName", codecName(f.codec)},
                          {"oversizedHeader", track.header.oversized},
                          {"chunks", track.chunks},
                          {"skippedChunks", track.skippedChunks},
                          {"frames", track.frames},
                          {"seconds", micro(track.seconds)}});
    }
    doc["tracks"] = std::move(tracks);
    doc["laterHeaders"] = info.laterHeaders;
    Json kinds = Json::object();
    for (const auto& [kind, count] : info.kinds) kinds[chunkKindName(kind)] = count;
    doc["kinds"] = std::move(kinds);
    Json ids = Json::object();
    for (const auto& [id, count] : info.ids) ids[id] = count;
    doc["ids"] = std::move(ids);
    Json types = Json::object();
    for (std::size_t type = 1; type < 8; ++type)
        types[std::to_string(type)] = info.videoTypes[type];
    Json sizes = Json::array();
    for (const auto& [size, count] : info.pictureSizes)
        sizes.push_back({{"width", size.first}, {"height", size.second}, {"frames", count}});
    doc["video"] = {{"chunks", info.videoChunks},
                    {"types", std::move(types)},
                    {"sizes", std::move(sizes)},
                    {"shortHeaders", info.shortVideoHeaders}};
    Json payloads = Json::object();
    for (const auto& [kind, stats] : info.payloads)
        payloads[chunkKindName(kind)] = {{"count", stats.count},
                                         {"min", stats.min},
                                         {"max", stats.max},
                                         {"total", stats.total},
                                         {"mean", micro(mean(stats))}};
    doc["payloads"] = std::move(payloads);
    doc["durationSeconds"] = micro(info.durationSeconds);
    doc["endOfData"] = scan.endOffset ? Json(*scan.endOffset) : Json(nullptr);
    doc["trailingBytes"] = scan.trailingBytes;
    doc["error"] = scan.damage.empty() ? Json(nullptr)
                                       : Json{{"offset", scan.damage.front().offset},
                                              {"message", scan.damage.front().message}};
    if (!scan.damage.empty()) {
        Json damage = Json::array();
        for (const ScanDamage& d : scan.damage)
            damage.push_back(
                {{"offset", d.offset}, {"skipped", d.skipped}, {"message", d.message}});
        doc["damage"] = std::move(damage);
    }
    // File names and chunk ids are bytes, not always UTF-8: what is not is written as U+FFFD.
    const auto text = [](const Json& json) {
        return json.dump(2, ' ', false, Json::error_handler_t::replace);
    };
    if (!listChunks || scan.chunks.empty()) {
        if (listChunks) doc["chunks"] = Json::array();
        out << text(doc) << "\n";
        return;
    }
    // The chunk list is written one chunk at a time, as the whole document would print it: as a
    // document it took hundreds of bytes a chunk (78 MB for a 200 MB movie).
    std::string head = text(doc);
    head.resize(head.size() - 2); // the closing "\n}"
    out << head << ",\n  \"chunks\": [";
    const char* separator = "\n";
    for (const ScannedChunk& chunk : scan.chunks) {
        const std::string item = text(Json{{"offset", chunk.offset},
                                           {"id", idText(chunk.id)},
                                           {"size", chunk.size},
                                           {"kind", chunkKindName(chunk.kind)},
                                           {"type", chunk.frameType}});
        std::string indented = separator;
        indented += "    ";
        for (char c : item) {
            indented += c;
            if (c == '\n') indented += "    ";
        }
        out << indented;
        separator = ",\n";
    }
    out << "\n  ]\n}\n";
}

} // namespace qztool
