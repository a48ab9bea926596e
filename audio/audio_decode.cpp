#include "audio/audio_decode.h"

#include <cstdint>

#include "audio/ima_tables.h"

namespace {

constexpr LONG blockAdpcmHeadBytes = 12;
constexpr LONG blockAdpcmFrames = 28;
constexpr LONG monoBlockBytes = 15;
constexpr LONG stereoBlockBytes = 30;
// The most frames whose byte count still fits a LONG.
constexpr std::int64_t maxFrames = 0x7FFFFFFF / 4;

bool isStereo(const AudioFormat& format) {
    return format.channels == 2;
}

LONG readLe16(const BYTE* p) {
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(p[0] | (p[1] << 8)));
}

std::uint32_t readLe32(const BYTE* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

void writeFrame(BYTE* out, LONG left, LONG right) {
    out[0] = static_cast<BYTE>(left);
    out[1] = static_cast<BYTE>(left >> 8);
    out[2] = static_cast<BYTE>(right);
    out[3] = static_cast<BYTE>(right >> 8);
}

// Frames the payload's own layout holds, before any output limit.
std::int64_t payloadFrames(const AudioFormat& format, const BYTE* payload, LONG length) {
    if (length <= 0) return 0;
    switch (format.codec) {
    case audioCodecPcm: {
        if (length < 4) return 0;
        std::int64_t present = (length - 4) / (isStereo(format) ? 4 : 2);
        std::int64_t declared = readLe32(payload);
        return declared < present ? declared : present;
    }
    case audioCodecBlockAdpcm:
        if (length < blockAdpcmHeadBytes) return 0;
        return std::int64_t{blockAdpcmFrames} *
               ((length - blockAdpcmHeadBytes) /
                (isStereo(format) ? stereoBlockBytes : monoBlockBytes));
    case audioCodecIma:
        return length;
    default:
        return 0;
    }
}

void decodePcm(bool stereo, const BYTE* samples, LONG frames, BYTE* out) {
    for (LONG f = 0; f < frames; ++f, out += 4) {
        if (stereo) {
            for (int i = 0; i < 4; ++i) out[i] = samples[4 * f + i];
        } else {
            out[0] = out[2] = samples[2 * f];
            out[1] = out[3] = samples[2 * f + 1];
        }
    }
}

struct BlockChannel {
    LONG c1, c2, shift;
    LONG current, previous;

    void setup(unsigned index, unsigned s) {
        // Indexes past the table fall back to the plain (no prediction) pair.
        if (index >= blockAdpcmCoefficientCount) index = 0;
        c1 = blockAdpcmCoefficients[index][0];
        c2 = blockAdpcmCoefficients[index][1];
        shift = static_cast<LONG>(s);
    }
    LONG step(unsigned nibble) {
        LONG d = static_cast<LONG>(nibble ^ 8u) - 8;
        LONG sample = blockAdpcmSample(d, shift, c1 * current + c2 * previous);
        previous = current;
        current = sample;
        return sample;
    }
};

void decodeBlockAdpcm(bool stereo, const BYTE* payload, LONG frames, LONG history[4], BYTE* out) {
    BlockChannel left{0, 0, 0, history[0], history[1]};
    BlockChannel right{0, 0, 0, history[2], history[3]};
    const BYTE* block = payload + blockAdpcmHeadBytes;
    for (LONG done = 0; done < frames; block += stereo ? stereoBlockBytes : monoBlockBytes) {
        LONG count = frames - done < blockAdpcmFrames ? frames - done : blockAdpcmFrames;
        if (stereo) {
            left.setup(block[0] >> 4, block[1] >> 4);
            right.setup(block[0] & 15, block[1] & 15);
            for (LONG i = 0; i < count; ++i, out += 4) {
                BYTE b = block[2 + i];
                LONG l = left.step(b >> 4);
                writeFrame(out, l, right.step(b & 15));
            }
        } else {
            left.setup(block[0] >> 4, block[0] & 15);
            for (LONG i = 0; i < count; ++i, out += 4) {
                BYTE b = block[1 + i / 2];
                LONG s = left.step(i % 2 == 0 ? b >> 4 : b & 15);
                writeFrame(out, s, s);
            }
        }
        done += count;
    }
    history[0] = left.current;
    history[1] = left.previous;
    history[2] = right.current;
    history[3] = right.previous;
}

void decodeIma(const BYTE* payload, LONG frames, ImaChannel state[2], BYTE* out) {
    imaSanitize(state[0]);
    imaSanitize(state[1]);
    for (LONG f = 0; f < frames; ++f, out += 4) {
        LONG left = imaStep(state[0], payload[f] >> 4);
        writeFrame(out, left, imaStep(state[1], payload[f] & 15));
    }
}

} // namespace

void advanceImaState(const BYTE* payload, LONG length, ImaChannel imaState[2]) {
    imaSanitize(imaState[0]);
    imaSanitize(imaState[1]);
    for (LONG f = 0; f < length; ++f) {
        imaStep(imaState[0], payload[f] >> 4);
        imaStep(imaState[1], payload[f] & 15);
    }
}

LONG audioDecodedBytes(const AudioFormat& format, const BYTE* payload, LONG length) {
    std::int64_t frames = payloadFrames(format, payload, length);
    return static_cast<LONG>(4 * (frames < maxFrames ? frames : maxFrames));
}

LONG decodeAudioPayload(const AudioFormat& format, const BYTE* payload, LONG length,
                        LONG adpcmHistory[4], ImaChannel imaState[2], BYTE* out, LONG outCapacity) {
    if (length <= 0 || outCapacity <= 0) return 0;
    std::int64_t frames = payloadFrames(format, payload, length);
    if (frames > outCapacity / 4) frames = outCapacity / 4;
    auto n = static_cast<LONG>(frames);
    switch (format.codec) {
    case audioCodecPcm:
        decodePcm(isStereo(format), payload + 4, n, out);
        break;
    case audioCodecBlockAdpcm:
        if (length < blockAdpcmHeadBytes) return 0;
        for (int i = 0; i < 4; ++i) adpcmHistory[i] = readLe16(payload + 4 + 2 * i);
        decodeBlockAdpcm(isStereo(format), payload, n, adpcmHistory, out);
        break;
    case audioCodecIma:
        decodeIma(payload, n, imaState, out);
        break;
    default:
        return 0;
    }
    return 4 * n;
}
