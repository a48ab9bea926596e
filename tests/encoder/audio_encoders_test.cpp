#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "audio/audio_decode.h"
#include "encoder/audio_encoders.h"

namespace {

using Samples = std::vector<std::int16_t>;
constexpr double pi = 3.14159265358979323846;
constexpr int rate = 22050;

// A sine whose frequency glides from f0 to f1 over n samples.
Samples sweep(int n, double f0, double f1, double amplitude) {
    Samples s(n);
    double phase = 0;
    for (int i = 0; i < n; ++i) {
        s[i] = static_cast<std::int16_t>(std::lround(amplitude * std::sin(phase)));
        phase += 2 * pi * (f0 + (f1 - f0) * i / n) / rate;
    }
    return s;
}

// A minor chord with a bass note, near full scale.
Samples chord(int n) {
    Samples s(n);
    for (int i = 0; i < n; ++i) {
        double t = double(i) / rate;
        double v = 9000 * std::sin(2 * pi * 220 * t) + 8000 * std::sin(2 * pi * 261.6 * t) +
                   7000 * std::sin(2 * pi * 329.6 * t) + 6000 * std::sin(2 * pi * 55 * t);
        s[i] = static_cast<std::int16_t>(std::lround(v));
    }
    return s;
}

Samples interleave(const Samples& left, const Samples& right) {
    Samples s;
    for (std::size_t i = 0; i < left.size(); ++i) {
        s.push_back(left[i]);
        s.push_back(right[i]);
    }
    return s;
}

struct DecoderState {
    LONG history[4] = {};
    ImaChannel ima[2] = {};
};

// Decodes a payload to interleaved stereo samples.
Samples decode(LONG channels, LONG codec, const Bytes& payload, DecoderState& state) {
    AudioFormat format{channels, rate, 16, codec};
    LONG length = static_cast<LONG>(payload.size());
    std::vector<BYTE> out(
        static_cast<std::size_t>(audioDecodedBytes(format, payload.data(), length)));
    LONG n = decodeAudioPayload(format, payload.data(), length, state.history, state.ima,
                                out.data(), static_cast<LONG>(out.size()));
    EXPECT_EQ(n, static_cast<LONG>(out.size()));
    Samples s(out.size() / 2);
    for (std::size_t i = 0; i < s.size(); ++i)
        s[i] = static_cast<std::int16_t>(out[2 * i] | (out[2 * i + 1] << 8));
    return s;
}

// Interleaved stereo as the source would be heard: mono duplicated to both channels.
Samples asStereo(const Samples& source, int channels) {
    return channels == 2 ? source : interleave(source, source);
}

// Signal-to-noise ratio in dB of decoded against source, over the source's length.
double snr(const Samples& source, const Samples& decoded) {
    EXPECT_GE(decoded.size(), source.size());
    double signal = 0, noise = 0;
    for (std::size_t i = 0; i < source.size() && i < decoded.size(); ++i) {
        signal += double(source[i]) * source[i];
        noise += (double(source[i]) - decoded[i]) * (double(source[i]) - decoded[i]);
    }
    return noise == 0 ? 200 : 10 * std::log10(signal / noise);
}

TEST(PcmEncoder, RoundTripsExactly) {
    Samples mono = sweep(1001, 100, 9000, 32767);
    DecoderState st;
    EXPECT_EQ(decode(1, audioCodecPcm, encodePcmPayload(mono, 1), st), asStereo(mono, 1));
    Samples stereo = interleave(mono, chord(1001));
    EXPECT_EQ(decode(2, audioCodecPcm, encodePcmPayload(stereo, 2), st), stereo);
    Bytes odd = encodePcmPayload({1, 2, 3}, 2);
    EXPECT_EQ(odd, (Bytes{1, 0, 0, 0, 1, 0, 2, 0}));
}

TEST(BlockAdpcmEncoder, SweepsAndChordsKeepTheirShape) {
    const int n = 5000; // not a whole number of blocks
    Samples sweepMono = sweep(n, 50, 5000, 14000);
    Samples chordMono = chord(n);
    struct Case {
        Samples source;
        int channels;
        double floorDb;
    } cases[] = {{sweepMono, 1, 26}, {chordMono, 1, 50}, {interleave(sweepMono, chordMono), 2, 30}};
    for (const Case& c : cases) {
        DecoderState st;
        Bytes payload = encodeBlockAdpcmPayload(c.source, c.channels);
        Samples out = decode(c.channels, audioCodecBlockAdpcm, payload, st);
        EXPECT_EQ(out.size(), 2u * 28 * ((n + 27) / 28));
        EXPECT_GT(snr(asStereo(c.source, c.channels), out), c.floorDb) << c.channels;
    }
}

TEST(BlockAdpcmEncoder, ChunksStartFromThePrecedingSamples) {
    Samples source = interleave(sweep(28 * 60, 300, 3000, 20000), chord(28 * 60));
    const std::size_t chunk = 2 * 28 * 15;
    Samples decoded;
    for (std::size_t at = 0; at < source.size(); at += chunk) {
        Samples piece(source.begin() + at, source.begin() + at + chunk);
        Samples before(source.begin(), source.begin() + at);
        DecoderState st; // each chunk decodes on its own
        Samples out =
            decode(2, audioCodecBlockAdpcm, encodeBlockAdpcmPayload(piece, 2, before), st);
        decoded.insert(decoded.end(), out.begin(), out.end());
        if (at > 0) {
            EXPECT_NEAR(out[0], piece[0], 400) << at;
            EXPECT_NEAR(out[1], piece[1], 400) << at;
        }
    }
    EXPECT_GT(snr(source, decoded), 38);
}

TEST(BlockAdpcmEncoder, FullScaleSquareWaveSurvivesClamping) {
    Samples square(28 * 8);
    for (std::size_t i = 0; i < square.size(); ++i) square[i] = (i / 7) % 2 ? 32767 : -32768;
    DecoderState st;
    Samples out = decode(1, audioCodecBlockAdpcm, encodeBlockAdpcmPayload(square, 1), st);
    EXPECT_GT(snr(asStereo(square, 1), out), 18);
    // Padding repeats the last value; an empty input is only the head.
    out = decode(1, audioCodecBlockAdpcm, encodeBlockAdpcmPayload({5000, 5000, 5000}, 1), st);
    ASSERT_EQ(out.size(), 56u);
    EXPECT_NEAR(out[54], 5000, 256);
    EXPECT_EQ(encodeBlockAdpcmPayload({}, 2).size(), 12u);
}

TEST(ImaEncoder, StateCarriesAcrossChunksInStepWithTheDecoder) {
    const int n = 8000;
    Samples source = interleave(sweep(n, 60, 6000, 16000), chord(n));
    ImaChannel encState[2] = {};
    DecoderState st;
    Samples decoded;
    for (int at = 0; at < n; at += 1000) {
        Samples piece(source.begin() + 2 * at, source.begin() + 2 * (at + 1000));
        Bytes payload = encodeImaPayload(piece, encState);
        ASSERT_EQ(payload.size(), 1000u);
        Samples out = decode(2, audioCodecIma, payload, st);
        decoded.insert(decoded.end(), out.begin(), out.end());
        for (int c = 0; c < 2; ++c) {
            EXPECT_EQ(encState[c].predictor, st.ima[c].predictor);
            EXPECT_EQ(encState[c].stepIndex, st.ima[c].stepIndex);
        }
    }
    EXPECT_GT(snr(source, decoded), 21);
}

TEST(ImaEncoder, MonoFeedsBothChannelsAndClampsAtFullScale) {
    Samples mono = chord(3000);
    for (std::size_t i = 2000; i < mono.size(); ++i) mono[i] = (i / 20) % 2 ? 32767 : -32768;
    ImaChannel encState[2] = {};
    DecoderState st;
    Samples out = decode(1, audioCodecIma, encodeImaPayload(mono, 1, encState), st);
    Samples expected = asStereo(mono, 1);
    for (std::size_t i = 0; i < out.size(); i += 2) ASSERT_EQ(out[i], out[i + 1]) << i;
    EXPECT_GT(snr(Samples(expected.begin(), expected.begin() + 4000), out), 24);
    EXPECT_GT(snr(expected, out), 6);
}

} // namespace
