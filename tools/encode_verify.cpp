#include "tools/encode_verify.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ostream>

#include "audio/track_audio.h"
#include "tools/movie_file.h"
#include "tools/video_coder.h"
#include "video/frame_decoder.h"

namespace qztool {

namespace {

std::string decibels(double db) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f dB", db);
    return text;
}

} // namespace

double soundPsnr(const std::vector<std::int16_t>& source, int channels,
                 const std::vector<std::int16_t>& decodedStereo) {
    const std::size_t frames = source.size() / std::size_t(channels);
    double sum = 0;
    for (std::size_t f = 0; f < frames; ++f)
        for (int c = 0; c < 2; ++c) {
            const double a = source[f * channels + (channels == 2 ? c : 0)];
            const double b = 2 * f + c < decodedStereo.size() ? decodedStereo[2 * f + c] : 0;
            sum += (a - b) * (a - b);
        }
    if (sum == 0 || frames == 0) return 99;
    const double mse = sum / double(2 * frames);
    return std::min(99.0, 10 * std::log10(32767.0 * 32767.0 / mse));
}

std::uint64_t digestBytes(const std::vector<std::uint8_t>& bytes) {
    std::uint64_t h = 14695981039346656037ull;
    for (std::uint8_t b : bytes) h = (h ^ b) * 1099511628211ull;
    return h;
}

RgbPicture decodedPicture(const VideoDecoder& decoder) {
    const PictureView view = decoder.picture();
    RgbPicture out{view.width, view.height, {}};
    out.rgb.resize(std::size_t(view.width) * view.height * 3);
    const bool pal8 = decoder.format() == FrameFormat::pal8;
    for (int y = 0; y < view.height; ++y) {
        const BYTE* row = view.pixels + view.pitch * y;
        std::uint8_t* p = out.rgb.data() + std::size_t(y) * view.width * 3;
        for (int x = 0; x < view.width; ++x, p += 3) {
            if (pal8) {
                const BYTE* c = decoder.paletteRgb() + 3 * row[x];
                p[0] = c[0], p[1] = c[1], p[2] = c[2];
            } else {
                // X8R8G8B8 stored little-endian: blue, green, red, unused.
                p[0] = row[4 * x + 2], p[1] = row[4 * x + 1], p[2] = row[4 * x];
            }
        }
    }
    return out;
}

VideoCheck::VideoCheck(bool palettised)
    : palettised_(palettised), decoder_(std::make_unique<VideoDecoder>(
                                   palettised ? FrameFormat::pal8 : FrameFormat::xrgb8888, 100)) {}

VideoCheck::~VideoCheck() = default;

void VideoCheck::add(const MovieVideoChunk& chunk, const InputPicture& source) {
    decoder_->decode(videoFrameType(chunk.id), chunk.payload.data(), chunk.payload.size());
    const RgbPicture decoded = decodedPicture(*decoder_);
    digests_.push_back(digestBytes(decoded.rgb));
    psnr_.push_back(rgbPsnr(toRgb(source), decoded));
}

bool VideoCheck::checkWritten(const std::string& path, const std::vector<SoundTrack>& sources,
                              std::ostream& out, std::ostream& err) {
    auto fail = [&](const std::string& what) {
        err << "qztool: verify: " << path << ": " << what << "\n";
        return false;
    };
    std::string message;
    const std::unique_ptr<ByteSource> file = openMovie(path, message);
    if (!file) return fail(message);
    const MovieScan scan = scanMovie(*file);
    if (file->failed()) return fail(readFailedMessage(path));
    if (!scan.damage.empty()) return fail("the movie written is damaged");

    VideoDecoder decoder(palettised_ ? FrameFormat::pal8 : FrameFormat::xrgb8888, 100);
    std::size_t frame = 0;
    Bytes payload;
    for (const ScannedChunk& c : scan.chunks) {
        if (c.kind != ChunkKind::video || !c.payloadTaken() || c.payloadSize() == 0) continue;
        const BYTE* bytes = readPayload(*file, c, payload);
        if (decoder.decode(c.frameType, bytes, c.payloadSize()) != DecodeStatus::decoded ||
            frame >= digests_.size() || digestBytes(decodedPicture(decoder).rgb) != digests_[frame])
            return fail("frame " + std::to_string(frame + 1) +
                        " does not decode to the picture coded");
        ++frame;
    }
    if (frame != digests_.size())
        return fail(std::to_string(frame) + " frames read back of " +
                    std::to_string(digests_.size()) + " coded");
    if (!psnr_.empty()) {
        double sum = 0;
        for (double p : psnr_) sum += p;
        const auto worst = std::min_element(psnr_.begin(), psnr_.end());
        out << "video: PSNR average " << decibels(sum / double(psnr_.size())) << ", worst "
            << decibels(*worst) << " (frame " << (worst - psnr_.begin()) + 1 << ")\n";
    }
    for (std::size_t t = 0; t < sources.size(); ++t) {
        std::vector<std::int16_t> stereo;
        DecodedTrack kept;
        const bool ok = decodeTrack(
            scan, *file, int(t + 1), kept,
            [&](const std::uint8_t* pcm, std::size_t bytes) {
                for (std::size_t i = 0; i + 1 < bytes; i += 2)
                    stereo.push_back(std::int16_t(pcm[i] | pcm[i + 1] << 8));
                return true;
            },
            message);
        if (!ok) return fail(message);
        const SoundTrack& s = sources[t];
        out << "track " << t + 1 << " (" << s.name << "): PSNR "
            << decibels(soundPsnr(s.samples, s.channels, stereo)) << "\n";
    }
    return true;
}

} // namespace qztool
