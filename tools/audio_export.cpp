#include "tools/audio_export.h"

#include <cstdio>
#include <ostream>
#include <sndfile.h>

#include "audio/audio_decode.h"

namespace qztool {

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
        LONG bytes = audioDecodedBytes(ref.format, payload, length);
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

bool writeWav(const std::string& path, const std::vector<std::uint8_t>& pcm, LONG rate,
              std::string& message) {
    if (rate <= 0) {
        message = "cannot write WAV at a rate of " + std::to_string(rate) + " Hz";
        return false;
    }
    SF_INFO sfInfo{};
    sfInfo.samplerate = static_cast<int>(rate);
    sfInfo.channels = 2;
    sfInfo.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* sf = sf_open(path.c_str(), SFM_WRITE, &sfInfo);
    if (sf == nullptr) {
        message = "cannot write " + path + ": " + sf_strerror(nullptr);
        return false;
    }
    std::vector<short> samples(pcm.size() / 2);
    for (std::size_t i = 0; i < samples.size(); ++i)
        samples[i] = static_cast<short>(pcm[2 * i] | pcm[2 * i + 1] << 8);
    auto frames = static_cast<sf_count_t>(samples.size() / 2);
    bool ok = sf_writef_short(sf, samples.data(), frames) == frames;
    if (!ok) message = "cannot write " + path + ": " + sf_strerror(sf);
    if (sf_close(sf) != 0 && ok) {
        message = "cannot finish " + path;
        ok = false;
    }
    return ok;
}

bool writeRaw(const std::string& path, const std::vector<std::uint8_t>& pcm, std::string& message) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) {
        message = "cannot write " + path;
        return false;
    }
    bool ok = std::fwrite(pcm.data(), 1, pcm.size(), f) == pcm.size();
    if (std::fclose(f) != 0) ok = false;
    if (!ok) message = "cannot write " + path;
    return ok;
}

int runAudio(const std::string& path, int track, const std::string& wavPath,
             const std::string& rawPath, std::ostream& out, std::ostream& err) {
    Bytes file;
    std::string message;
    if (!loadFile(path, file, message)) {
        err << "qztool: " << message << "\n";
        return 1;
    }
    MovieScan scan = scanMovie(file);
    DecodedTrack decoded;
    if (!decodeTrack(scan, file, track, decoded, message)) {
        err << "qztool: " << path << ": " << message << "\n";
        return 1;
    }
    bool ok = wavPath.empty() ? writeRaw(rawPath, decoded.pcm, message)
                              : writeWav(wavPath, decoded.pcm, decoded.rate, message);
    if (!ok) {
        err << "qztool: " << message << "\n";
        return 1;
    }
    std::size_t frames = decoded.pcm.size() / 4;
    out << "track " << track << ": " << decoded.chunks << " chunks, " << frames
        << " stereo frames at " << decoded.rate << " Hz written to "
        << (wavPath.empty() ? rawPath : wavPath) << "\n";
    if (decoded.skippedChunks > 0)
        err << "qztool: warning: " << decoded.skippedChunks << " chunks above " << maxAudioPayload
            << " bytes skipped\n";
    if (decoded.rateChanged)
        err << "qztool: warning: the rate changes within the track; all of it is written at "
            << decoded.rate << " Hz\n";
    if (scan.errorOffset) {
        err << "qztool: " << path << ": stops making sense at offset " << *scan.errorOffset << ": "
            << scan.error << "; the audio before it was written\n";
        return 1;
    }
    return 0;
}

} // namespace qztool
