#include "tools/audio_export.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <ostream>

#include "format/limits.h"
#include "tools/file_checks.h"
#include "tools/movie_file.h"
#include "tools/output_file.h"
#include "tools/progress.h"

namespace qztool {

namespace {

// Bytes of the RIFF header of a 16-bit stereo PCM WAV file, up to the samples.
constexpr std::size_t wavHeaderBytes = 44;

// Stores value little-endian in bytes bytes at at.
void putLe(std::uint8_t* at, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

using WavHeader = std::array<std::uint8_t, wavHeaderBytes>;

// The header for pcmBytes of samples at rate (an odd last 1 to 3 bytes are left out); false
// with a message when no WAV file can hold them.
bool wavHeader(const std::string& path, std::size_t pcmBytes, LONG rate, WavHeader& head,
               std::string& message) {
    // A RIFF chunk size is 32 bits: at most 4 GiB less the header and an odd byte's pad.
    constexpr std::size_t maxData = 0xFFFFFFFFu - 36 - 1;
    if (rate <= 0) {
        message = "cannot write WAV at a rate of " + std::to_string(rate) + " Hz";
        return false;
    }
    if (pcmBytes > maxData) {
        message = "cannot write " + path + ": the track is too long for a WAV file";
        return false;
    }
    const auto dataBytes = static_cast<std::uint32_t>(pcmBytes & ~std::size_t{3});
    head = WavHeader{'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' '};
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
    return true;
}

// Decodes the track again into output, a block at a time, writing its first limit bytes.
bool writeDecodedTrack(const MovieScan& scan, ByteSource& movie, int track, std::size_t limit,
                       OutputFile& output, std::size_t progressTotal, std::ostream& err,
                       std::string& message) {
    DecodedTrack decoded;
    std::string unused;
    std::size_t done = 0;
    const PcmSink put = [&](const std::uint8_t* pcm, std::size_t bytes) {
        const std::size_t n = std::min(bytes, limit);
        limit -= n;
        if (progressTotal != 0) drawProgress(err, std::min(++done, progressTotal), progressTotal);
        return output.write(pcm, n, message);
    };
    return decodeTrack(scan, movie, track, decoded, put, unused);
}

} // namespace

bool writeWav(const std::string& path, const std::vector<std::uint8_t>& pcm, LONG rate,
              std::string& message) {
    WavHeader head;
    return wavHeader(path, pcm.size(), rate, head, message) &&
           writeOutputFile(path, head.data(), head.size(), pcm.data(), pcm.size() & ~std::size_t{3},
                           message);
}

bool writeRaw(const std::string& path, const std::vector<std::uint8_t>& pcm, std::string& message) {
    return writeOutputFile(path, nullptr, 0, pcm.data(), pcm.size(), message);
}

int runAudio(const std::string& path, int track, const std::string& wavPath,
             const std::string& rawPath, bool progress, std::ostream& out, std::ostream& err) {
    std::string message;
    const std::unique_ptr<ByteSource> file = openMovie(path, message);
    if (!file) {
        err << "qztool: " << message << "\n";
        return 1;
    }
    auto readFailed = [&] {
        err << "qztool: " << readFailedMessage(path) << "\n";
        return 1;
    };
    MovieScan scan = scanMovie(*file);
    if (file->failed()) return readFailed();
    if (!checkIsMovie(path, scan, message)) {
        err << "qztool: " << message << "\n";
        return 1;
    }
    // A first pass counts what the track decodes to, for the WAV header; the second decodes it
    // again into the file, so the sound is never held whole.
    DecodedTrack decoded;
    const bool decodable = decodeTrack(scan, *file, track, decoded, nullptr, message);
    if (file->failed()) return readFailed();
    if (!decodable) {
        err << "qztool: " << path << ": " << message << "\n";
        return 1;
    }
    const bool wav = !wavPath.empty();
    WavHeader head;
    OutputFile output;
    const bool ok =
        (!wav || wavHeader(wavPath, decoded.pcmBytes, decoded.rate, head, message)) &&
        output.open(wav ? wavPath : rawPath, message) &&
        (!wav || output.write(head.data(), head.size(), message)) &&
        writeDecodedTrack(
            scan, *file, track, wav ? decoded.pcmBytes & ~std::size_t{3} : decoded.pcmBytes, output,
            progress && decoded.chunks >= progressMinSteps ? decoded.chunks : 0, err, message);
    // A file that could not be read leaves no output behind.
    if (ok && file->failed()) return readFailed();
    if (!ok || !output.commit(message)) {
        err << "qztool: " << message << "\n";
        return 1;
    }
    std::size_t frames = decoded.pcmBytes / 4;
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
