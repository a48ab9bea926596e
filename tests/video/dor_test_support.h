// Helpers for the DOR decoder tests: hand-built frames, a decoder context with colour tables,
// payloads copied to exact-size buffers and reads of the packed pictures.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "video/colour_tables.h"
#include "encoder/dor_block_coder.h"
#include "tests/video/dct_test_support.h"
#include "video/dor/dor_decoder.h"

namespace dortest {

// A frame payload: header with the size and q, then the bits.
inline Bytes frame(int width, int height, int q, const DorBitWriter& bits) {
    Bytes out(dorHeaderBytes, 0);
    out[8] = static_cast<std::uint8_t>(width);
    out[9] = static_cast<std::uint8_t>(width >> 8);
    out[10] = static_cast<std::uint8_t>(height);
    out[11] = static_cast<std::uint8_t>(height >> 8);
    out[13] = static_cast<std::uint8_t>(q);
    const Bytes body = bits.bytes();
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

// A flat intra block of DC level dc: the DC byte and the end of block.
inline void flatBlock(DorBitWriter& bits, int dc) {
    bits.put(static_cast<std::uint32_t>(dc) & 0xFF, 8);
    bits.put(dorEndOfBlock);
}

// A macroblock of a motion frame whose six blocks are all predicted with one vector and offset.
inline void predictedMacroblock(DorBitWriter& bits, int dx, int dy, int v) {
    bits.put(1, 1);
    writeDorSmallValue(bits, dx);
    writeDorSmallValue(bits, dy);
    for (int k = 0; k < 6; ++k) writeDorSmallValue(bits, v);
}

struct Decoder {
    std::unique_ptr<VideoState> ctx = std::make_unique<VideoState>();

    explicit Decoder(const PixelFormat& format = dcttest::xrgb8888) {
        ctx->output.pixelFormat = format;
        buildColourTables(format, 100);
    }
    ~Decoder() { releaseVideoState(*ctx); }

    // Decodes a copy of payload of exactly its size into target (may be null), the clip box
    // set to cover the picture unless set before.
    void decode(const Bytes& payload, LONG type, dcttest::Target* target = nullptr,
                bool keepClip = false) {
        const std::size_t size = payload.size();
        std::unique_ptr<BYTE[]> copy(new BYTE[size == 0 ? 1 : size]);
        if (size) std::memcpy(copy.get(), payload.data(), size);
        ctx->frameDataEnd = copy.get() + size;
        if (!keepClip) {
            ctx->clipLeft = ctx->clipTop = 0;
            ctx->clipRight = target ? target->pitch / pixelBytes() : 0;
            ctx->clipBottom = target ? target->rows : 0;
        }
        decodeDorFrame(ctx.get(), copy.get(), target ? target->origin() : nullptr,
                       target ? target->pitch : 0, type);
    }
    LONG pixelBytes() const {
        const LONG depth = ctx->output.pixelFormat.depth;
        return depth == 15 || depth == 16 ? 2 : 4;
    }
    // Luma, U and V picture bytes of a picture pixel.
    int luma(const BYTE* picture, int x, int y) const {
        return picture[y * ctx->dor.width * 2 + (x >> 1) * 4 + 3 - (x & 1)];
    }
    int chroma(const BYTE* picture, int x, int y, int byte) const {
        return picture[y * ctx->dor.width * 2 + (x >> 1) * 4 + byte];
    }
};

} // namespace dortest
