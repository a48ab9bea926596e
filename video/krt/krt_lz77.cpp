// The LZ77 unpacker of KRT key frames.
#include <algorithm>
#include <cstring>

#include "video/krt/krt_decoder.h"

namespace {

// One command: L literal bytes follow it, then C bytes are copied from D bytes back.
struct Command {
    std::size_t size; // bytes of the command itself
    std::size_t literals;
    std::size_t copy;
    std::size_t distance;
    bool end;
};

// Decodes the command at in; false when its bytes run past the input.
bool readCommand(const BYTE* in, std::size_t available, Command* c) {
    const unsigned b0 = in[0];
    *c = Command{1, 0, 0, 0, false};
    if (b0 < 0x80) {
        if (available < 2) return false;
        *c = {2, b0 & 3u, ((b0 >> 2) & 7u) + 3, ((b0 & 0x60u) << 3) + in[1] + 1u, false};
    } else if (b0 < 0xC0) {
        if (available < 3) return false;
        const unsigned b1 = in[1];
        *c = {3, b1 >> 6, (b0 & 0x3Fu) + 4, ((b1 & 0x3Fu) << 8) + in[2] + 1u, false};
    } else if (b0 < 0xE0) {
        if (available < 4) return false;
        *c = {4, b0 & 3u, (((b0 >> 2) & 3u) << 8) + in[3] + 5u,
              ((b0 & 0x10u) << 12) + (unsigned{in[1]} << 8) + in[2] + 1u, false};
    } else if (b0 < 0xFC) {
        c->literals = ((b0 & 0x1Fu) + 1) * 4;
    } else {
        c->literals = b0 & 3u;
        c->end = true;
    }
    return true;
}

} // namespace

std::size_t unpackKrtLz77(const BYTE* input, std::size_t inputBytes, BYTE* output,
                          std::size_t outputBytes) {
    // Header: flags, a second byte, three more bytes when flags bit 0 is set, then the unpacked
    // size in three bytes (not needed: the picture size bounds the output).
    if (inputBytes < 2) return 0;
    std::size_t in = ((input[0] & 1) ? 5 : 2) + 3;
    std::size_t out = 0;
    while (in < inputBytes) {
        Command c;
        if (!readCommand(input + in, inputBytes - in, &c)) break;
        in += c.size;
        // Literals: as many as both sides hold, then stop if any were missing.
        const std::size_t literals =
            std::min(c.literals, std::min(inputBytes - in, outputBytes - out));
        if (literals > 0) std::memcpy(output + out, input + in, literals);
        in += literals;
        out += literals;
        if (literals < c.literals || c.end) break;
        if (c.distance > out || c.copy > outputBytes - out) break;
        BYTE* to = output + out;
        const BYTE* from = to - c.distance;
        if (c.distance >= c.copy) {
            std::memcpy(to, from, c.copy);
        } else {
            // A copy closer than its length repeats the bytes it has just written.
            for (std::size_t i = 0; i < c.copy; ++i) to[i] = from[i];
        }
        out += c.copy;
    }
    return out;
}
