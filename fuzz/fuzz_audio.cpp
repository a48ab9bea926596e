// Audio: a stream header parsed from the front of the input, then the rest decoded as one data
// payload in the parsed format and in each of the three codecs, into output of a capacity the
// input picks, followed by guard bytes. Layout: header length (16 bits), the header, a
// capacity selector byte, the data payload.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "audio/audio_decode.h"
#include "format/limits.h"
#include "format/stream_header.h"
#include "fuzz/fuzz_input.h"

namespace {

constexpr std::size_t guardBytes = 64;
constexpr BYTE guardValue = 0xA5;

void decodeGuarded(const AudioFormat& format, const BYTE* payload, LONG length,
                   std::uint8_t capacitySelect, LONG history[4], ImaChannel ima[2]) {
    const LONG needed = audioDecodedBytes(format, payload, length);
    if (needed < 0) __builtin_trap();
    // Full capacity, or a cut one (the reader's ring), never above the reader's block.
    LONG capacity = needed < maxAudioBlockBytes ? needed : maxAudioBlockBytes;
    if (capacitySelect & 1) capacity = capacity * (capacitySelect >> 1) / 128;
    std::vector<BYTE> out(static_cast<std::size_t>(capacity) + guardBytes, guardValue);
    const LONG written =
        decodeAudioPayload(format, payload, length, history, ima, out.data(), capacity);
    if (written < 0 || written > capacity) __builtin_trap();
    for (std::size_t i = static_cast<std::size_t>(capacity); i < out.size(); ++i)
        if (out[i] != guardValue) __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput input(data, size);
    std::size_t headerLength = input.u16();
    if (headerLength > input.restSize()) headerLength = input.restSize();
    if (headerLength > static_cast<std::size_t>(maxAudioPayload)) headerLength = maxAudioPayload;
    // The header in a buffer of its own, so that reading past its end is seen.
    const std::vector<BYTE> header(input.rest(), input.rest() + headerLength);
    AudioFormat format = defaultAudioFormat;
    parseStreamHeader(header.data(), static_cast<LONG>(header.size()), &format);
    const std::uint8_t* afterHeader = input.rest() + headerLength;
    std::size_t left = input.restSize() - headerLength;
    const std::uint8_t capacitySelect = left > 0 ? afterHeader[0] : 0;
    if (left > 0) {
        ++afterHeader;
        --left;
    }
    if (left > static_cast<std::size_t>(maxAudioPayload)) left = maxAudioPayload;
    const std::vector<BYTE> payload(afterHeader, afterHeader + left);
    const LONG length = static_cast<LONG>(payload.size());

    LONG history[4] = {};
    ImaChannel ima[2] = {};
    decodeGuarded(format, payload.data(), length, capacitySelect, history, ima);
    for (LONG codec : {audioCodecPcm, audioCodecBlockAdpcm, audioCodecIma}) {
        for (LONG bits : {8L, 16L}) {
            AudioFormat forced = format;
            forced.codec = codec;
            forced.bits = bits;
            decodeGuarded(forced, payload.data(), length, capacitySelect, history, ima);
        }
    }
    return 0;
}
