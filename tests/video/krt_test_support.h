// Helpers for the KRT decoder tests: a context that owns its pictures, and hand-built key and
// delta frame payloads.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "video/krt/krt_decoder.h"

namespace krttest {

using ByteList = std::vector<BYTE>;

inline void putU16(ByteList& bytes, std::size_t at, unsigned value) {
    bytes[at] = static_cast<BYTE>(value & 0xFF);
    bytes[at + 1] = static_cast<BYTE>((value >> 8) & 0xFF);
}

// An LZ77 stream: the 5-byte header (flags 0x10, no extra bytes, unpacked size), then commands.
inline ByteList lzStream(const ByteList& commands, unsigned size = 0) {
    ByteList bytes{0x10, 0xFB, BYTE(size >> 16), BYTE(size >> 8), BYTE(size)};
    bytes.insert(bytes.end(), commands.begin(), commands.end());
    return bytes;
}

inline ByteList keyPayload(unsigned width, unsigned height, const ByteList& palette,
                           const ByteList& stream) {
    ByteList bytes(12, 0);
    putU16(bytes, 0, width);
    putU16(bytes, 2, height);
    putU16(bytes, 6, static_cast<unsigned>(palette.size() / 3));
    bytes.insert(bytes.end(), palette.begin(), palette.end());
    bytes.insert(bytes.end(), stream.begin(), stream.end());
    return bytes;
}

// Appends values of width bits, least significant bit first, padded to whole bytes.
inline void appendBits(ByteList& bytes, const std::vector<unsigned>& values, int width) {
    std::size_t bit = 0;
    const std::size_t start = bytes.size();
    bytes.resize(start + (values.size() * std::size_t(width) + 7) / 8, 0);
    for (unsigned v : values)
        for (int b = 0; b < width; ++b, ++bit)
            if ((v >> b) & 1) bytes[start + bit / 8] |= BYTE(1u << (bit % 8));
}

struct Vector {
    int dx;
    int dy;
};

struct TwoBitBlock {
    BYTE colours[4];
    std::uint32_t mask;
};

inline ByteList deltaPayload(const std::vector<Vector>& vectors,
                             const std::vector<ByteList>& fullBlocks,
                             const std::vector<TwoBitBlock>& twoBitBlocks, int indexBits,
                             const std::vector<unsigned>& indices) {
    ByteList bytes(12, 0);
    putU16(bytes, 0, unsigned(vectors.size()));
    putU16(bytes, 2, unsigned(fullBlocks.size()));
    putU16(bytes, 4, unsigned(twoBitBlocks.size()));
    putU16(bytes, 6, unsigned(indexBits));
    std::vector<unsigned> values;
    for (const Vector& v : vectors) {
        values.push_back(unsigned(v.dx) & 0x3FF);
        values.push_back(unsigned(v.dy) & 0x3FF);
    }
    appendBits(bytes, values, 10);
    bytes.resize(12 + 4 * ((20 * vectors.size() + 31) / 32), 0);
    for (const ByteList& block : fullBlocks) bytes.insert(bytes.end(), block.begin(), block.end());
    for (const TwoBitBlock& block : twoBitBlocks) {
        bytes.insert(bytes.end(), block.colours, block.colours + 4);
        for (int i = 0; i < 4; ++i) bytes.push_back(BYTE(block.mask >> (8 * i)));
    }
    appendBits(bytes, indices, indexBits);
    return bytes;
}

// A decoder state for decoding straight into memory, with its own palette; frees the pictures
// at the end.
struct KrtDecoder {
    BYTE paletteRgb[768]{};
    DWORD paletteLookup[256]{};
    VideoState ctx{};

    explicit KrtDecoder(LONG depth = 8, DWORD flags = 0) {
        ctx.output.flags = flags;
        ctx.output.pixelFormat.depth = depth;
        ctx.output.paletteRgb = paletteRgb;
        ctx.output.paletteLookup = paletteLookup;
    }
    ~KrtDecoder() { releaseVideoState(ctx); }
    KrtDecoder(const KrtDecoder&) = delete;
    KrtDecoder& operator=(const KrtDecoder&) = delete;

    // The payload is copied to a buffer of its exact size, so that a read past it is caught.
    int key(const ByteList& payload) {
        std::vector<BYTE> exact(payload);
        ctx.frameDataEnd = exact.data() + exact.size();
        return decodeKrtKeyFrame(&ctx, exact.data());
    }
    int delta(const ByteList& payload) {
        std::vector<BYTE> exact(payload);
        ctx.frameDataEnd = exact.data() + exact.size();
        return decodeKrtDeltaFrame(&ctx, exact.data());
    }
    ByteList picture() const {
        return ByteList(ctx.krt.picture,
                        ctx.krt.picture + std::size_t(ctx.krt.width) * std::size_t(ctx.krt.height));
    }
    BYTE at(int x, int y) const { return ctx.krt.picture[y * ctx.krt.width + x]; }
};

// A key frame whose picture is the given bytes, stored as literal runs.
inline ByteList literalKeyFrame(unsigned width, unsigned height, const ByteList& pixels,
                                const ByteList& palette = {}) {
    ByteList commands;
    std::size_t i = 0;
    while (pixels.size() - i >= 4) {
        const std::size_t run = std::min<std::size_t>(112, (pixels.size() - i) & ~std::size_t{3});
        commands.push_back(BYTE(0xE0 + run / 4 - 1));
        commands.insert(commands.end(), pixels.begin() + std::ptrdiff_t(i),
                        pixels.begin() + std::ptrdiff_t(i + run));
        i += run;
    }
    commands.push_back(BYTE(0xFC + (pixels.size() - i)));
    commands.insert(commands.end(), pixels.begin() + std::ptrdiff_t(i), pixels.end());
    return keyPayload(width, height, palette, lzStream(commands, unsigned(pixels.size())));
}

} // namespace krttest
