#include "encoder/movie_writer.h"

#include <algorithm>

#include "encoder/audio_encoders.h"

namespace {

// Sample frames in one block ADPCM block.
constexpr std::size_t blockAdpcmFrames = 28;

// Encodes one chunk's samples in the track's codec; before holds the source samples that precede
// the chunk (block ADPCM history), imaState runs on across the track's chunks.
Bytes encodeChunk(LONG codec, int channels, const std::vector<std::int16_t>& samples,
                  const std::vector<std::int16_t>& before, ImaChannel imaState[2]) {
    switch (codec) {
    case audioCodecBlockAdpcm:
        return encodeBlockAdpcmPayload(samples, channels, before);
    case audioCodecIma:
        return encodeImaPayload(samples, channels, imaState);
    default:
        return encodePcmPayload(samples, channels);
    }
}

int channelsOf(const MovieTrack& track) {
    return track.format.channels == 2 ? 2 : 1;
}

std::size_t framesOf(const MovieTrack& track) {
    return track.samples.size() / static_cast<std::size_t>(channelsOf(track));
}

} // namespace

int movieSamplesPerSlot(const MovieOptions& options, const MovieTrack& track) {
    if (options.samplesPerSlot > 0) return options.samplesPerSlot;
    int slots = options.slotsPerSecond > 0 ? options.slotsPerSecond : 15;
    return std::max(1, static_cast<int>(track.format.rate / slots));
}

std::size_t movieAudioSlots(const Movie& movie) {
    std::size_t slots = 0;
    for (const MovieTrack& track : movie.tracks) {
        auto perSlot = static_cast<std::size_t>(movieSamplesPerSlot(movie.options, track));
        slots = std::max(slots, (framesOf(track) + perSlot - 1) / perSlot);
    }
    return slots;
}

std::vector<Bytes> encodeTrackPayloads(const Movie& movie, std::size_t track) {
    const MovieTrack& t = movie.tracks.at(track);
    auto channels = static_cast<std::size_t>(channelsOf(t));
    auto perSlot = static_cast<std::size_t>(movieSamplesPerSlot(movie.options, t));
    std::size_t frames = framesOf(t);
    std::size_t slots = movieAudioSlots(movie);
    // Where slot s starts. Block ADPCM chunks start on whole blocks, so that only the track's
    // last chunk pads a partial block; the slots still keep time within one block.
    auto slotStart = [&](std::size_t s) {
        std::size_t at = s * perSlot;
        return t.format.codec == audioCodecBlockAdpcm ? at - at % blockAdpcmFrames : at;
    };
    ImaChannel imaState[2] = {};
    std::vector<Bytes> payloads;
    for (std::size_t slot = 0; slot < slots; ++slot) {
        std::size_t first = slotStart(slot);
        std::size_t last = slot + 1 == slots ? frames : std::min(frames, slotStart(slot + 1));
        std::vector<std::int16_t> chunk;
        std::vector<std::int16_t> before;
        if (first > 0 && first <= frames) {
            std::size_t from = first >= 2 ? first - 2 : 0;
            before.assign(t.samples.begin() + static_cast<std::ptrdiff_t>(from * channels),
                          t.samples.begin() + static_cast<std::ptrdiff_t>(first * channels));
        }
        if (first < frames) {
            chunk.assign(t.samples.begin() + static_cast<std::ptrdiff_t>(first * channels),
                         t.samples.begin() + static_cast<std::ptrdiff_t>(last * channels));
        } else {
            // Past the end of a shorter track: silence keeps the later tracks in their places.
            chunk.assign(perSlot * channels, 0);
        }
        payloads.push_back(encodeChunk(t.format.codec, channelsOf(t), chunk, before, imaState));
    }
    return payloads;
}

bool writeMovieChunks(const Movie& movie, std::size_t videoCount,
                      const std::function<const MovieVideoChunk&(std::size_t)>& video,
                      const std::function<bool(std::uint32_t, const Bytes&)>& put) {
    for (const MovieTrack& track : movie.tracks)
        if (!put(movie.options.headerId, streamHeaderPayload(track.format))) return false;
    std::vector<std::vector<Bytes>> audio;
    for (std::size_t t = 0; t < movie.tracks.size(); ++t)
        audio.push_back(encodeTrackPayloads(movie, t));
    const std::size_t audioSlots = movieAudioSlots(movie);
    const std::size_t slots = std::max(audioSlots, videoCount);
    auto writeAudio = [&](std::size_t slot) {
        if (slot < audioSlots)
            for (const std::vector<Bytes>& track : audio)
                if (!put(movie.options.dataId, track[slot])) return false;
        return true;
    };
    for (std::size_t slot = 0; slot < slots; ++slot) {
        if (movie.options.audioFirst && !writeAudio(slot)) return false;
        if (slot < videoCount) {
            const MovieVideoChunk& chunk = video(slot);
            if (!put(chunk.id, chunk.payload)) return false;
        }
        if (!movie.options.audioFirst && !writeAudio(slot)) return false;
    }
    return !movie.options.writeEnd || put(movie.options.endId, {});
}

void writeMovie(const Movie& movie, ChunkWriter& writer) {
    writeMovieChunks(
        movie, movie.video.size(),
        [&](std::size_t i) -> const MovieVideoChunk& { return movie.video[i]; },
        [&](std::uint32_t id, const Bytes& payload) {
            writer.chunkWithId(id, payload);
            return true;
        });
}

std::size_t movieLapStartFrame(const Movie& movie) {
    return movie.options.audioFirst || movie.tracks.empty() || movieAudioSlots(movie) == 0 ? 0 : 1;
}

Bytes movieBytes(const Movie& movie) {
    ChunkWriter writer;
    writeMovie(movie, writer);
    return writer.bytes();
}
