#include <gtest/gtest.h>

#include <cmath>
#include <sndfile.h>

#include "audio/audio_decode.h"
#include "encoder/movie_writer.h"
#include "tests/support/test_support.h"
#include "tools/audio_export.h"

namespace {

MovieTrack tone(int channels, LONG codec, int frames, double hz, LONG rate = 22050) {
    MovieTrack track;
    track.format = {channels, rate, 16, codec};
    for (int i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c)
            track.samples.push_back(static_cast<std::int16_t>(
                std::lround(8000 * std::sin(2 * 3.14159265 * hz * (c + 1) * i / rate))));
    return track;
}

// What the player's decoders make of the track's payloads, decoded in order.
Bytes expectedPcm(const Movie& movie, std::size_t track) {
    const AudioFormat& format = movie.tracks[track].format;
    LONG history[4] = {};
    ImaChannel ima[2] = {};
    Bytes pcm;
    for (const Bytes& p : encodeTrackPayloads(movie, track)) {
        auto length = static_cast<LONG>(p.size());
        LONG bytes = audioDecodedBytes(format, p.data(), length);
        std::size_t at = pcm.size();
        pcm.resize(at + static_cast<std::size_t>(bytes));
        decodeAudioPayload(format, p.data(), length, history, ima, pcm.data() + at, bytes);
    }
    return pcm;
}

bool decode(const Bytes& file, int track, DecodedTrack& decoded, std::string& message) {
    return decodeTrack(scanMovie(file), file, track, decoded, message);
}

TEST(QztoolAudio, EveryTrackDecodesBitExactForEachCodecAndLayout) {
    for (LONG codec : {audioCodecPcm, audioCodecBlockAdpcm, audioCodecIma}) {
        for (int channels : {1, 2}) {
            for (int trackCount = 1; trackCount <= 3; ++trackCount) {
                Movie movie;
                for (int t = 0; t < trackCount; ++t)
                    movie.tracks.push_back(
                        tone(channels, codec, 1470 * 3 + 100 * t, 200.0 + 150 * t));
                // Video chunks between the runs: track counting restarts after each.
                movie.video = {{chunkId("KRTk"), Bytes{64, 0, 48, 0, 0, 0, 0, 0}},
                               {chunkId("KRTf"), Bytes(4)}};
                Bytes file = movieBytes(movie);
                for (int t = 1; t <= trackCount; ++t) {
                    SCOPED_TRACE("codec " + std::to_string(codec) + ", channels " +
                                 std::to_string(channels) + ", track " + std::to_string(t) +
                                 " of " + std::to_string(trackCount));
                    DecodedTrack decoded;
                    std::string message;
                    ASSERT_TRUE(decode(file, t, decoded, message)) << message;
                    EXPECT_EQ(decoded.pcm, expectedPcm(movie, static_cast<std::size_t>(t - 1)));
                    EXPECT_EQ(decoded.chunks, movieAudioSlots(movie));
                }
            }
        }
    }
}

TEST(QztoolAudio, EachTrackUsesItsOwnHeaderUntilALaterHeaderAppliesToAll) {
    Movie movie;
    movie.tracks = {tone(2, audioCodecIma, 1470, 440), tone(1, audioCodecPcm, 735, 330, 11025)};
    Bytes file = movieBytes(movie);
    DecodedTrack decoded;
    std::string message;
    ASSERT_TRUE(decode(file, 2, decoded, message)) << message;
    EXPECT_EQ(decoded.rate, 11025);
    EXPECT_EQ(decoded.pcm, expectedPcm(movie, 1));

    // A later PCM-stereo header: both tracks' next chunks decode as PCM stereo.
    ChunkWriter writer;
    writer.raw(Bytes(file.begin(), file.end() - 8)); // without "SEND"
    AudioFormat later{2, 22050, 16, audioCodecPcm};
    writer.chunk("SCHl", streamHeaderPayload(later));
    Bytes pcm = {2, 0, 0, 0, 1, 0, 2, 0, 3, 0, 4, 0};
    writer.chunk("SCDl", pcm);
    writer.chunk("SCDl", pcm);
    for (int t = 1; t <= 2; ++t) {
        ASSERT_TRUE(decode(writer.bytes(), t, decoded, message));
        Bytes tail(decoded.pcm.end() - 8, decoded.pcm.end());
        EXPECT_EQ(tail, Bytes(pcm.begin() + 4, pcm.end())) << "track " << t;
    }
}

TEST(QztoolAudio, OversizedPayloadIsSkippedButKeepsItsPlaceInTheRun) {
    AudioFormat pcmMono{1, 22050, 16, audioCodecPcm};
    ChunkWriter writer;
    writer.chunk("SCHl", streamHeaderPayload(pcmMono));
    writer.chunk("SCHl", streamHeaderPayload(pcmMono));
    Bytes big(49153, 0);
    big[0] = 0x00;
    big[1] = 0x60; // 24576 samples, filling the payload
    writer.chunk("SCDl", big);
    writer.chunk("SCDl", Bytes{1, 0, 0, 0, 0x34, 0x12});
    writer.chunk("SEND", {});
    DecodedTrack decoded;
    std::string message;
    ASSERT_TRUE(decode(writer.bytes(), 1, decoded, message));
    EXPECT_TRUE(decoded.pcm.empty());
    EXPECT_EQ(decoded.skippedChunks, 1u);
    ASSERT_TRUE(decode(writer.bytes(), 2, decoded, message));
    EXPECT_EQ(decoded.pcm, (Bytes{0x34, 0x12, 0x34, 0x12}));
}

TEST(QztoolAudio, RawAndWavOutputsFromTheProgram) {
    Movie movie;
    movie.tracks = {tone(1, audioCodecBlockAdpcm, 2000, 300), tone(2, audioCodecIma, 2000, 500),
                    tone(2, audioCodecPcm, 2000, 700)};
    std::string path = qztest::writeScratchFile("three.qz", movieBytes(movie));

    std::string raw = qztest::scratchPath("track1.pcm");
    auto result = qztest::runProgram(QZ_QZTOOL_PATH, {"audio", path, "--raw", raw});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(qztest::readFileBytes(raw), expectedPcm(movie, 0));

    std::string wav = qztest::scratchPath("track2.wav");
    result = qztest::runProgram(QZ_QZTOOL_PATH, {"audio", path, "--track", "2", "-o", wav});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    SF_INFO info{};
    SNDFILE* sf = sf_open(wav.c_str(), SFM_READ, &info);
    ASSERT_NE(sf, nullptr);
    EXPECT_EQ(info.channels, 2);
    EXPECT_EQ(info.samplerate, 22050);
    EXPECT_EQ(info.format, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    std::vector<short> samples(static_cast<std::size_t>(info.frames) * 2);
    EXPECT_EQ(sf_readf_short(sf, samples.data(), info.frames), info.frames);
    sf_close(sf);
    Bytes expected = expectedPcm(movie, 1);
    ASSERT_EQ(samples.size() * 2, expected.size());
    for (std::size_t i = 0; i < samples.size(); ++i)
        ASSERT_EQ(samples[i], static_cast<std::int16_t>(expected[2 * i] | expected[2 * i + 1] << 8))
            << "sample " << i;
}

TEST(QztoolAudio, MissingTrackOrNoAudioFails) {
    Movie movie;
    movie.tracks = {tone(1, audioCodecPcm, 100, 300), tone(1, audioCodecPcm, 100, 300)};
    std::string path = qztest::writeScratchFile("two.qz", movieBytes(movie));
    std::string out = qztest::scratchPath("out.pcm");
    for (const char* track : {"0", "3", "-1"}) {
        auto result =
            qztest::runProgram(QZ_QZTOOL_PATH, {"audio", path, "--track", track, "--raw", out});
        EXPECT_EQ(result.exitCode, 1) << track;
        EXPECT_NE(result.err.find("no track"), std::string::npos) << result.err;
    }
    Movie videoOnly;
    videoOnly.video = {{chunkId("KRTf"), Bytes(4)}};
    path = qztest::writeScratchFile("video.qz", movieBytes(videoOnly));
    auto result = qztest::runProgram(QZ_QZTOOL_PATH, {"audio", path, "--raw", out});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.err.find("no audio"), std::string::npos) << result.err;
    result = qztest::runProgram(QZ_QZTOOL_PATH, {"audio", path});
    EXPECT_EQ(result.exitCode, 1);
}

} // namespace
