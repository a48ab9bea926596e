#include "format/stream_header.h"

#include <cstdint>

namespace {

// Big-endian tag value of L bytes: 1..3 sign-extended, 4 as is, longer keeps the last four.
LONG tagValue(const BYTE* p, LONG length) {
    std::uint32_t value = 0;
    for (LONG i = 0; i < length; ++i) value = (value << 8) | p[i];
    if (length >= 1 && length <= 3) {
        std::uint32_t sign = 1u << (8 * length - 1);
        value = (value ^ sign) - sign;
    }
    return static_cast<LONG>(value);
}

} // namespace

void parseStreamHeader(const BYTE* payload, LONG length, AudioFormat* format) {
    *format = defaultAudioFormat;
    LONG pos = streamHeaderLeadBytes;
    // Records before the start marker are stepped over whole.
    for (;;) {
        if (pos >= length) return;
        if (payload[pos] == streamTagStart) break;
        if (pos + 1 >= length) return;
        pos += 2 + payload[pos + 1];
    }
    ++pos;
    while (pos < length && payload[pos] != streamTagEnd) {
        if (pos + 1 >= length) return;
        BYTE tag = payload[pos];
        LONG size = payload[pos + 1];
        // A record cut off by the payload end is not applied.
        if (size > length - pos - 2) return;
        LONG value = tagValue(payload + pos + 2, size);
        switch (tag) {
        case streamTagChannels:
            format->channels = value;
            break;
        case streamTagCodec:
            format->codec = value;
            break;
        case streamTagRate:
            format->rate = value;
            break;
        case streamTagBits:
            format->bits = value;
            break;
        default:
            break;
        }
        pos += 2 + size;
    }
}
