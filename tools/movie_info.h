// qztool info: what a movie file holds, gathered from one pass over its chunks, and printed as
// text or JSON.
#pragma once

#include <array>
#include <iosfwd>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "tools/movie_file.h"

namespace qztool {

struct PayloadStats {
    std::size_t count = 0;
    std::size_t min = 0;
    std::size_t max = 0;
    std::size_t total = 0;
};

struct TrackInfo {
    TrackHeader header;
    std::size_t chunks = 0;
    std::size_t skippedChunks = 0; // payload above maxAudioPayload
    std::size_t frames = 0;        // decoded stereo sample frames
    double seconds = 0;            // frames over the rate each chunk was decoded at
};

struct MovieInfo {
    std::string file;
    MovieScan scan;
    std::vector<TrackInfo> tracks;
    std::size_t laterHeaders = 0;
    std::map<ChunkKind, std::size_t> kinds;
    std::map<std::string, std::size_t> ids; // id text -> chunks
    std::size_t videoChunks = 0;
    std::array<std::size_t, 8> videoTypes{}; // by frame type 1..7
    std::map<std::pair<int, int>, std::size_t> pictureSizes;
    std::size_t shortVideoHeaders = 0; // payload too short for the size fields
    std::map<ChunkKind, PayloadStats> payloads;
    std::size_t audioChunksNoTrack = 0; // audio data in a movie without leading headers
    double durationSeconds = 0;         // track 1's decoded audio
};

// Reads the chunk headers, and of the payloads the stream headers, the audio and the size
// fields of the video frames.
MovieInfo gatherMovieInfo(const std::string& name, ByteSource& file);
MovieInfo gatherMovieInfo(const std::string& name, const Bytes& file);

// Text report; with listChunks every chunk on a line of its own first.
void printMovieInfo(const MovieInfo& info, bool listChunks, std::ostream& out);

// The name and version of the JSON report's layout (docs/info-schema.md); the version goes up
// whenever a field is removed or changes meaning.
inline constexpr const char* infoJsonSchema = "qztool-info/1";

// JSON report, one object:
// {"schema", "file", "fileSize", "chunkCount",
//  "tracks": [{"track", "channels", "rate", "bits", "codec", "codecName", "oversizedHeader",
//              "chunks", "skippedChunks", "frames", "seconds"}],
//  "laterHeaders", "kinds": {kind name: count}, "ids": {id text: count},
//  "video": {"chunks", "types": {"1".."7": count}, "sizes": [{"width", "height", "frames"}],
//            "shortHeaders"},
//  "payloads": {kind name: {"count", "min", "max", "total", "mean"}},
//  "durationSeconds", "endOfData": offset or null, "trailingBytes",
//  "error": null or the first damage {"offset", "message"},
//  "damage": [{"offset", "skipped", "message"}] (only for a damaged movie),
//  "chunks": [{"offset", "id", "size", "kind", "type"}] (only with listChunks)}
void printMovieInfoJson(const MovieInfo& info, bool listChunks, std::ostream& out);

// The info command: reads the file and prints the report. 0, or 1 when the file cannot be read
// or is damaged (the report, which lists every damaged place, comes first; the count and the
// first place on err).
int runInfo(const std::string& path, bool json, bool listChunks, std::ostream& out,
            std::ostream& err);

} // namespace qztool
