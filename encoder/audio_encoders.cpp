#include "encoder/audio_encoders.h"

#include <array>
#include <cstdlib>

#include "audio/ima_tables.h"

namespace {

constexpr int blockFrames = 28;
constexpr int maxBlockShift = 12;

void putLe16(Bytes& out, LONG v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(static_cast<std::uint32_t>(v) >> 8));
}

int channelCount(int channels) {
    return channels == 2 ? 2 : 1;
}

// One channel of one block: the chosen coefficient index, shift and nibbles, and the history
// the decoder will hold after it.
struct BlockChoice {
    int index = 0;
    int shift = 0;
    std::array<std::uint8_t, blockFrames> nibbles{};
    LONG current = 0;
    LONG previous = 0;
};

// Encodes target with one (index, shift) pair, picking for each sample the nibble whose decoded
// value is nearest; stops early once the error reaches limit. Returns the squared error.
std::int64_t trialBlock(const std::array<LONG, blockFrames>& target, int index, int shift,
                        std::int64_t limit, BlockChoice& choice) {
    LONG c1 = blockAdpcmCoefficients[index][0];
    LONG c2 = blockAdpcmCoefficients[index][1];
    LONG q = LONG{1} << (20 - shift);
    std::int64_t error = 0;
    for (int i = 0; i < blockFrames && error < limit; ++i) {
        LONG prediction = c1 * choice.current + c2 * choice.previous;
        // The decoded value rises with d: d0 gives at most target and d0 + 1 at least target.
        std::int64_t num = std::int64_t{target[i]} * 256 - prediction - 128;
        std::int64_t d0 = num >= 0 ? num / q : -((-num + q - 1) / q);
        LONG bestD = 0;
        LONG bestSample = 0;
        std::int64_t bestErr = -1;
        for (std::int64_t d = d0; d <= d0 + 1; ++d) {
            auto dc = static_cast<LONG>(d < -8 ? -8 : (d > 7 ? 7 : d));
            LONG sample = blockAdpcmSample(dc, shift, prediction);
            std::int64_t e = std::int64_t{sample - target[i]} * (sample - target[i]);
            if (bestErr < 0 || e < bestErr) {
                bestErr = e;
                bestD = dc;
                bestSample = sample;
            }
        }
        error += bestErr;
        choice.nibbles[i] = static_cast<std::uint8_t>(bestD & 15);
        choice.previous = choice.current;
        choice.current = bestSample;
    }
    return error;
}

BlockChoice chooseBlock(const std::array<LONG, blockFrames>& target, LONG current, LONG previous) {
    BlockChoice best;
    std::int64_t bestError = -1;
    for (int index = 0; index < blockAdpcmCoefficientCount; ++index) {
        for (int shift = 0; shift <= maxBlockShift; ++shift) {
            BlockChoice trial;
            trial.index = index;
            trial.shift = shift;
            trial.current = current;
            trial.previous = previous;
            std::int64_t limit = bestError < 0 ? INT64_MAX : bestError;
            std::int64_t error = trialBlock(target, index, shift, limit, trial);
            if (bestError < 0 || error < bestError) {
                bestError = error;
                best = trial;
            }
        }
    }
    return best;
}

// The IMA nibble whose decoded value is nearest to target; ties go to the smaller step.
unsigned nearestImaNibble(const ImaChannel& ch, LONG target) {
    unsigned best = 0;
    LONG bestErr = -1;
    for (unsigned magnitude = 0; magnitude < 8; ++magnitude) {
        for (unsigned sign : {0u, 8u}) {
            ImaChannel trial = ch;
            LONG err = std::abs(imaStep(trial, magnitude | sign) - target);
            if (bestErr < 0 || err < bestErr) {
                bestErr = err;
                best = magnitude | sign;
            }
        }
    }
    return best;
}

} // namespace

Bytes encodePcmPayload(const std::vector<std::int16_t>& samples, int channels) {
    int ch = channelCount(channels);
    auto frames = static_cast<std::uint32_t>(samples.size() / ch);
    Bytes out;
    out.reserve(4 + 2 * std::size_t{frames} * ch);
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(frames >> (8 * i)));
    for (std::size_t i = 0; i < std::size_t{frames} * ch; ++i) putLe16(out, samples[i]);
    return out;
}

Bytes encodeBlockAdpcmPayload(const std::vector<std::int16_t>& samples, int channels) {
    return encodeBlockAdpcmPayload(samples, channels, {});
}

Bytes encodeBlockAdpcmPayload(const std::vector<std::int16_t>& samples, int channels,
                              const std::vector<std::int16_t>& before) {
    int ch = channelCount(channels);
    std::size_t frames = samples.size() / ch;
    std::size_t beforeFrames = before.size() / ch;
    // Per channel: current and previous as the decoder will hold them.
    LONG history[2][2] = {};
    for (int c = 0; c < ch; ++c) {
        if (beforeFrames >= 1) history[c][0] = before[(beforeFrames - 1) * ch + c];
        if (beforeFrames >= 2) history[c][1] = before[(beforeFrames - 2) * ch + c];
    }
    Bytes out = {0, 0, 0, 0};
    putLe16(out, history[0][0]);
    putLe16(out, history[0][1]);
    putLe16(out, history[1][0]);
    putLe16(out, history[1][1]);

    std::size_t blocks = (frames + blockFrames - 1) / blockFrames;
    for (std::size_t b = 0; b < blocks; ++b) {
        BlockChoice choice[2];
        for (int c = 0; c < ch; ++c) {
            std::array<LONG, blockFrames> target{};
            for (int i = 0; i < blockFrames; ++i) {
                std::size_t f = b * blockFrames + i;
                if (f >= frames) f = frames - 1; // pad with the last value
                target[i] = samples[f * ch + c];
            }
            choice[c] = chooseBlock(target, history[c][0], history[c][1]);
            history[c][0] = choice[c].current;
            history[c][1] = choice[c].previous;
        }
        if (ch == 2) {
            out.push_back(static_cast<std::uint8_t>(choice[0].index << 4 | choice[1].index));
            out.push_back(static_cast<std::uint8_t>(choice[0].shift << 4 | choice[1].shift));
            for (int i = 0; i < blockFrames; ++i)
                out.push_back(
                    static_cast<std::uint8_t>(choice[0].nibbles[i] << 4 | choice[1].nibbles[i]));
        } else {
            out.push_back(static_cast<std::uint8_t>(choice[0].index << 4 | choice[0].shift));
            for (int i = 0; i < blockFrames; i += 2)
                out.push_back(static_cast<std::uint8_t>(choice[0].nibbles[i] << 4 |
                                                        choice[0].nibbles[i + 1]));
        }
    }
    return out;
}

Bytes encodeImaPayload(const std::vector<std::int16_t>& stereoSamples, ImaChannel state[2]) {
    return encodeImaPayload(stereoSamples, 2, state);
}

Bytes encodeImaPayload(const std::vector<std::int16_t>& samples, int channels,
                       ImaChannel state[2]) {
    int ch = channelCount(channels);
    std::size_t frames = samples.size() / ch;
    imaSanitize(state[0]);
    imaSanitize(state[1]);
    Bytes out;
    out.reserve(frames);
    for (std::size_t f = 0; f < frames; ++f) {
        LONG left = samples[f * ch];
        LONG right = samples[f * ch + ch - 1];
        unsigned hi = nearestImaNibble(state[0], left);
        imaStep(state[0], hi);
        unsigned lo = nearestImaNibble(state[1], right);
        imaStep(state[1], lo);
        out.push_back(static_cast<std::uint8_t>(hi << 4 | lo));
    }
    return out;
}
