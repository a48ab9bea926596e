// KRT delta frames: 4 x 4 blocks of the new picture copied from the previous picture at a
// displacement, or taken from the frame's table of full and two-bit blocks.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "video/krt/krt_decoder.h"

namespace {

constexpr std::size_t headerBytes = 12;
constexpr LONG maxIndexBits = 24; // widths the index reader takes (the format uses 1 to 12)

LONG readU16(const BYTE* p) {
    return p[0] | (p[1] << 8);
}

// Value k of width bits from a least-significant-bit-first field; the field must hold it.
std::uint32_t readBits(const BYTE* field, std::size_t k, LONG bits) {
    const std::size_t bit = k * std::size_t(bits);
    const std::size_t last = (bit + std::size_t(bits) - 1) >> 3;
    std::uint32_t word = 0;
    for (std::size_t b = bit >> 3, shift = 0; b <= last; ++b, shift += 8)
        word |= std::uint32_t{field[b]} << shift;
    return (word >> (bit & 7)) & ((std::uint32_t{1} << bits) - 1);
}

// Grows the vector and block tables to hold the frame's; false when one could not be made.
bool growTables(VideoState* video, LONG vectors, LONG blocks) {
    if (vectors > 0) {
        if (vectors > video->krt.vectorCapacity) {
            std::free(video->krt.vectors);
            std::free(video->krt.vectorOffsets);
            video->krt.vectors = nullptr;
            video->krt.vectorOffsets = nullptr;
            video->krt.vectorCapacity = 0;
            video->krt.vectors = static_cast<LONG*>(std::malloc(2 * sizeof(LONG) * vectors));
            video->krt.vectorOffsets = static_cast<LONG*>(std::malloc(sizeof(LONG) * vectors));
            if (video->krt.vectors == nullptr || video->krt.vectorOffsets == nullptr) return false;
            video->krt.vectorCapacity = vectors;
        }
    }
    if (blocks > 0 && blocks > video->krt.blockCapacity) {
        std::free(video->krt.blocks);
        video->krt.blockCapacity = 0;
        video->krt.blocks = static_cast<BYTE*>(std::malloc(16 * std::size_t(blocks)));
        if (video->krt.blocks == nullptr) return false;
        video->krt.blockCapacity = blocks;
    }
    return true;
}

void unpackVectors(VideoState* video, const BYTE* field, LONG count) {
    const LONG height = video->krt.height;
    for (LONG i = 0; i < count; ++i) {
        // Sign-extend the 10-bit values.
        const LONG dx =
            static_cast<LONG>((readBits(field, 2 * std::size_t(i), 10) ^ 0x200)) - 0x200;
        const LONG dy =
            static_cast<LONG>((readBits(field, 2 * std::size_t(i) + 1, 10) ^ 0x200)) - 0x200;
        video->krt.vectors[2 * i] = dx;
        video->krt.vectors[2 * i + 1] = dy;
        const LONG row = height + dy;
        video->krt.vectorOffsets[i] =
            (row >= 0 && row < 2 * height) ? video->krt.rowOffsets[row] + dx : krtNoOffset;
    }
}

void unpackBlocks(VideoState* video, const BYTE* full, LONG fullCount, const BYTE* twoBit,
                  LONG twoBitCount) {
    if (fullCount > 0) std::memcpy(video->krt.blocks, full, 16 * std::size_t(fullCount));
    BYTE* out = video->krt.blocks + 16 * std::size_t(fullCount);
    for (LONG b = 0; b < twoBitCount; ++b, twoBit += 8, out += 16) {
        const std::uint32_t mask =
            twoBit[4] | (twoBit[5] << 8) | (twoBit[6] << 16) | (std::uint32_t{twoBit[7]} << 24);
        // The first pixel's selector is the mask's top two bits.
        for (int j = 0; j < 16; ++j) out[j] = twoBit[(mask >> (30 - 2 * j)) & 3];
    }
}

void copyBlock(BYTE* to, const BYTE* from, LONG stride) {
    for (int row = 0; row < 4; ++row) std::memcpy(to + row * stride, from + row * stride, 4);
}

// Builds the picture from the previous one and the indices. An index past the tables, or a
// displacement that leaves the previous picture, copies the block from its own place there.
void assemble(VideoState* video) {
    const LONG width = video->krt.width;
    const LONG vectors = video->krt.vectorCount;
    const LONG tableBlocks = vectors + video->krt.fullCount + video->krt.twoBitCount;
    const std::int64_t pictureBytes = std::int64_t{width} * video->krt.height;
    const std::int64_t lastStart = pictureBytes - 3 * std::int64_t{width} - 4;
    const LONG* index = video->krt.indices;
    for (LONG top = 0; top + 4 <= video->krt.height; top += 4) {
        for (LONG left = 0; left + 4 <= width; left += 4) {
            const LONG v = *index++;
            const LONG at = top * width + left;
            BYTE* to = video->krt.picture + at;
            if (v >= vectors && v < tableBlocks) {
                const BYTE* block = video->krt.blocks + 16 * std::size_t(v - vectors);
                for (int row = 0; row < 4; ++row) std::memcpy(to + row * width, block + 4 * row, 4);
                continue;
            }
            std::int64_t from = at;
            if (v >= 0 && v < vectors && video->krt.vectorOffsets[v] != krtNoOffset) {
                from += video->krt.vectorOffsets[v];
                if (from < 0 || from > lastStart) from = at;
            }
            copyBlock(to, video->krt.previous + from, width);
        }
    }
}

} // namespace

int decodeKrtDeltaFrame(VideoState* video, const BYTE* payload) {
    // Without a key frame's picture, or on one that is not made of whole blocks, there is
    // nothing to build on: the frame is skipped.
    if (video->krt.picture == nullptr || video->krt.width % 4 != 0 || video->krt.height % 4 != 0)
        return 0;
    const std::ptrdiff_t available = video->frameDataEnd - payload;
    if (available < static_cast<std::ptrdiff_t>(headerBytes)) return 0;
    const LONG vectors = readU16(payload);
    const LONG fullCount = readU16(payload + 2);
    const LONG twoBitCount = readU16(payload + 4);
    const LONG indexBits = readU16(payload + 6);
    const std::size_t blockCount =
        std::size_t(video->krt.width) * std::size_t(video->krt.height) >> 4;
    const std::size_t vectorBytes = ((20 * std::size_t(vectors) + 31) >> 3) & ~std::size_t{3};
    const std::size_t fullBytes = 16 * std::size_t(fullCount);
    const std::size_t twoBitBytes = 8 * std::size_t(twoBitCount);
    const std::size_t indexBytes = (std::size_t(indexBits) * blockCount + 7) >> 3;
    if (std::size_t(available) < headerBytes + vectorBytes + fullBytes + twoBitBytes + indexBytes)
        return 0;
    // A frame without indices reuses those of the last delta frame, which must be for this
    // picture; indices too wide for the reader are not taken.
    if (indexBits > maxIndexBits) return 0;
    if (indexBits == 0 && video->krt.indexCount != static_cast<LONG>(blockCount)) return 0;

    std::swap(video->krt.picture, video->krt.previous);
    video->krt.vectorCount = vectors;
    video->krt.fullCount = fullCount;
    video->krt.twoBitCount = twoBitCount;
    video->krt.indexBits = indexBits;
    if (!growTables(video, vectors, fullCount + twoBitCount)) return 0;

    const BYTE* field = payload + headerBytes;
    unpackVectors(video, field, vectors);
    field += vectorBytes;
    unpackBlocks(video, field, fullCount, field + fullBytes, twoBitCount);
    field += fullBytes + twoBitBytes;
    if (indexBits > 0) {
        for (std::size_t k = 0; k < blockCount; ++k)
            video->krt.indices[k] = static_cast<LONG>(readBits(field, k, indexBits));
        video->krt.indexCount = static_cast<LONG>(blockCount);
    }
    assemble(video);
    return 1;
}
