#include "tools/audio_export.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <ostream>

#include "format/limits.h"
#include "tools/file_checks.h"
#include "tools/movie_file.h"
#include "tools/output_file.h"

namespace qztool {

namespace {

// Bytes of the RIFF header of a 16-bit stereo PCM WAV file, up to the samples.
constexpr std::size_t wavHeaderBytes = 44;

// Stores value little-endian in bytes bytes at at.
void putLe(std::uint8_t* at, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

} // namespace

bool writeWav(const std::string& path, const std::vector<std::uint8_t>& pcm, LONG rate,
              std::string& message) {
    // A RIFF chunk size is 32 bits: at most 4 GiB less the header and an odd byte's pad.
    constexpr std::size_t maxData = 0xFFFFFFFFu - 36 - 1;
    if (rate <= 0) {
        message = "cannot write WAV at a rate of " + std::to_string(rate) + " Hz";
        return false;
    }
    if (pcm.size() > maxData) {
        message = "cannot write " + path + ": the track is too long for a WAV file";
        return false;
    }
    const auto dataBytes = static_cast<std::uint32_t>(pcm.size() & ~std::size_t{3});
    std::array<std::uint8_t, wavHeaderBytes> head{'R', 'I', 'F', 'F', 0,   0,   0,   0,
                                                  'W', 'A', 'V', 'E', 'f', 'm', 't', ' '};
    putLe(&head[4], 36 + dataBytes, 4);
    putLe(&head[16], 16, 4);                                   // format block bytes
    putLe(&head[20], 1, 2);                                    // integer PCM
    putLe(&head[22], 2, 2);                                    // channels
    putLe(&head[24], static_cast<std::uint32_t>(rate), 4);     // frames a second
    putLe(&head[28], static_cast<std::uint32_t>(rate) * 4, 4); // bytes a second
    putLe(&head[32], 4, 2);                                    // bytes a frame
    putLe(&head[34], 16, 2);                                   // bits a sample
    const std::uint8_t data[4] = {'d', 'a', 't', 'a'};
    std::copy(data, data + 4, &head[36]);
    putLe(&head[40], dataBytes, 4);
    return writeOutputFile(path, head.data(), head.size(), pcm.data(), dataBytes, message);
}

bool writeRaw(const std::string& path, const std::vector<std::uint8_t>& pcm, std::string& message) {
    return writeOutputFile(path, nullptr, 0, pcm.data(), pcm.size(), message);
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
    if (!checkIsMovie(path, scan, message)) {
        err << "qztool: " << message << "\n";
        return 1;
    }
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
    warnDamage(path, scan, "the audio written is what the player plays", err);
    return 0;
}

} // namespace qztool
