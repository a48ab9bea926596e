// The KRT writer's frames: key frames with a fresh palette, and delta frames whose 4 x 4 blocks
// are displaced copies of the previous picture, two-bit blocks or full blocks.
#include "encoder/krt_encoder.h"

#include <algorithm>
#include <stdexcept>

#include "encoder/krt_blocks.h"

namespace {

constexpr int maxTableBlocks = 4096; // block indices are at most 12 bits wide

void put16(Bytes& bytes, std::size_t at, unsigned value) {
    bytes[at] = std::uint8_t(value);
    bytes[at + 1] = std::uint8_t(value >> 8);
}

// Appends values of width bits, least significant bit first, padded to whole bytes.
void appendBits(Bytes& bytes, const std::vector<unsigned>& values, int width) {
    const std::size_t start = bytes.size();
    bytes.resize(start + (values.size() * std::size_t(width) + 7) / 8, 0);
    std::size_t bit = 0;
    for (unsigned v : values)
        for (int b = 0; b < width; ++b, ++bit)
            if ((v >> b) & 1) bytes[start + bit / 8] |= std::uint8_t(1u << (bit % 8));
}

void checkSize(const RgbPicture& picture) {
    if (picture.width <= 0 || picture.height <= 0 || picture.width % 4 != 0 ||
        picture.height % 4 != 0 || picture.width > 65535 || picture.height > 65535 ||
        picture.rgb.size() != std::size_t(picture.width) * std::size_t(picture.height) * 3)
        throw std::invalid_argument("KRT pictures are whole 4 x 4 blocks of RGB pixels");
}

} // namespace

void KrtEncoder::setPalette(std::vector<KrtColour> palette) {
    palette_ = std::move(palette);
    nearest_.clear();
    distance_.assign(256 * 256, 0);
    for (std::size_t a = 0; a < palette_.size(); ++a)
        for (std::size_t b = 0; b < palette_.size(); ++b) {
            int d = 0;
            for (int c = 0; c < 3; ++c) {
                const int diff = int(palette_[a][c]) - int(palette_[b][c]);
                d += diff * diff;
            }
            distance_[a * 256 + b] = d;
        }
}

std::vector<std::uint8_t> KrtEncoder::mapToPalette(const RgbPicture& picture) {
    std::vector<std::uint8_t> indices(std::size_t(picture.width) * std::size_t(picture.height));
    for (std::size_t i = 0; i < indices.size(); ++i) {
        const std::uint8_t* p = picture.rgb.data() + 3 * i;
        const std::uint32_t key = (std::uint32_t{p[0]} << 16) | (p[1] << 8) | p[2];
        auto found = nearest_.find(key);
        if (found == nearest_.end())
            found = nearest_.emplace(key, nearestKrtColour(palette_, p[0], p[1], p[2])).first;
        indices[i] = found->second;
    }
    return indices;
}

MovieVideoChunk KrtEncoder::keyFrame(const RgbPicture& picture) {
    checkSize(picture);
    width_ = picture.width;
    height_ = picture.height;
    setPalette(medianCutPalette(picture));
    picture_ = mapToPalette(picture);
    return {chunkId("KRTk"), krtKeyFramePayload(width_, height_, palette_, picture_)};
}

MovieVideoChunk KrtEncoder::deltaFrame(const RgbPicture& picture) {
    checkSize(picture);
    if (picture_.empty() || picture.width != width_ || picture.height != height_)
        return keyFrame(picture);
    const std::vector<std::uint8_t> target = mapToPalette(picture);
    KrtBlockSearch search{width_, height_, options_.searchRange, options_.blockError};
    const KrtBlockPlan plan = planKrtBlocks(search, picture_, target, distance_);
    if (plan.vectors.size() + plan.newBlocks.size() > std::size_t(maxTableBlocks))
        return keyFrame(picture);

    // Table indices: vectors first, then full blocks, then two-bit blocks.
    std::vector<ByteBlock> full, twoBit;
    std::vector<std::size_t> tableIndex(plan.newBlocks.size());
    for (std::size_t i = 0; i < plan.newBlocks.size(); ++i) {
        auto& list = plan.newBlocks[i].twoBit ? twoBit : full;
        tableIndex[i] = list.size();
        list.push_back(plan.newBlocks[i].bytes);
    }
    const std::size_t m = plan.vectors.size();
    const std::size_t total = m + full.size() + twoBit.size();
    int bits = 1;
    while ((std::size_t{1} << bits) < total) ++bits;

    Bytes payload(12, 0);
    put16(payload, 0, unsigned(m));
    put16(payload, 2, unsigned(full.size()));
    put16(payload, 4, unsigned(twoBit.size()));
    put16(payload, 6, unsigned(bits));
    std::vector<unsigned> values;
    for (const KrtVector& v : plan.vectors) {
        values.push_back(unsigned(v.dx) & 0x3FF);
        values.push_back(unsigned(v.dy) & 0x3FF);
    }
    appendBits(payload, values, 10);
    payload.resize(12 + 4 * ((20 * m + 31) / 32), 0);
    for (const ByteBlock& b : full) payload.insert(payload.end(), b.begin(), b.begin() + 16);
    for (const ByteBlock& b : twoBit) payload.insert(payload.end(), b.begin(), b.begin() + 8);
    std::vector<unsigned> indices;
    for (const KrtBlockChoice& choice : plan.choices) {
        if (choice.newBlock < 0) {
            indices.push_back(unsigned(choice.vector));
        } else {
            const auto k = std::size_t(choice.newBlock);
            indices.push_back(
                unsigned(m + tableIndex[k] + (plan.newBlocks[k].twoBit ? full.size() : 0)));
        }
    }
    appendBits(payload, indices, bits);
    picture_ = plan.result;
    return {chunkId("KRTf"), std::move(payload)};
}

RgbPicture KrtEncoder::decodedRgb() const {
    RgbPicture out{width_, height_, {}};
    out.rgb.reserve(picture_.size() * 3);
    for (std::uint8_t index : picture_) {
        const KrtColour& c = palette_[index < palette_.size() ? index : 0];
        out.rgb.insert(out.rgb.end(), c.begin(), c.end());
    }
    return out;
}
