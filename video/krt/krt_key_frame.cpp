// KRT key frames: the pictures and tables for the frame's size, and the unpacked picture.
#include <cstdlib>
#include <cstring>

#include "video/krt/krt_decoder.h"

namespace {

constexpr std::size_t headerBytes = 12;

template <class T> void freeBuffer(T*& buffer) {
    std::free(buffer);
    buffer = nullptr;
}

void freePictures(PlayerContext* ctx) {
    freeBuffer(ctx->krtPicture);
    freeBuffer(ctx->krtPrevious);
    freeBuffer(ctx->krtRowOffsets);
    freeBuffer(ctx->krtIndices);
    ctx->krtWidth = ctx->krtHeight = ctx->krtPictureBytes = 0;
}

// Makes zero-filled pictures and tables for a width x height picture; false when one could not
// be made (the others are freed again).
bool makePictures(PlayerContext* ctx, LONG width, LONG height) {
    const std::size_t bytes = (std::size_t(width) * std::size_t(height) + 15) & ~std::size_t{15};
    if (bytes > krtMaxPictureBytes) return false;
    // Zero-filled, so a stream that unpacks to less than the picture leaves black, and a delta
    // frame sent without indices finds defined ones.
    // An empty picture still gets buffers, so that "no picture" means only "no key frame".
    const std::size_t pictureBytes = bytes > 0 ? bytes : 16;
    ctx->krtPicture = static_cast<BYTE*>(std::calloc(pictureBytes, 1));
    ctx->krtPrevious = static_cast<BYTE*>(std::calloc(pictureBytes, 1));
    ctx->krtRowOffsets = static_cast<LONG*>(std::calloc(2 * std::size_t(height), sizeof(LONG)));
    ctx->krtIndices = static_cast<LONG*>(std::calloc(bytes / 16, sizeof(LONG)));
    if (ctx->krtPicture == nullptr || ctx->krtPrevious == nullptr ||
        (height > 0 && ctx->krtRowOffsets == nullptr) ||
        (bytes > 0 && ctx->krtIndices == nullptr)) {
        freePictures(ctx);
        return false;
    }
    for (LONG i = 0; i < 2 * height; ++i) ctx->krtRowOffsets[i] = (i - height) * width;
    ctx->krtWidth = width;
    ctx->krtHeight = height;
    ctx->krtPictureBytes = static_cast<LONG>(bytes);
    return true;
}

} // namespace

int decodeKrtKeyFrame(PlayerContext* ctx, const BYTE* payload) {
    const std::ptrdiff_t available = ctx->frameDataEnd - payload;
    if (available < static_cast<std::ptrdiff_t>(headerBytes)) return 0;
    const LONG width = payload[0] | (payload[1] << 8);
    const LONG height = payload[2] | (payload[3] << 8);
    const std::size_t colours = payload[6] | (payload[7] << 8);
    if (width == ctx->krtWidth && height == ctx->krtHeight && ctx->krtPicture != nullptr) {
        // Same size: the buffers are kept, the picture starts black again.
        std::memset(ctx->krtPicture, 0, static_cast<std::size_t>(ctx->krtPictureBytes));
    } else {
        freePictures(ctx);
        if (!makePictures(ctx, width, height)) return 0;
    }
    // Indices of earlier delta frames mean nothing for the new picture.
    ctx->krtIndexCount = 0;
    const std::size_t streamStart = headerBytes + 3 * colours;
    if (static_cast<std::size_t>(available) > streamStart)
        unpackKrtLz77(payload + streamStart, static_cast<std::size_t>(available) - streamStart,
                      ctx->krtPicture, std::size_t(width) * std::size_t(height));
    return 1;
}

void releaseKrtState(PlayerContext* ctx) {
    freePictures(ctx);
    freeBuffer(ctx->krtVectors);
    freeBuffer(ctx->krtVectorOffsets);
    freeBuffer(ctx->krtBlocks);
    ctx->krtVectorCapacity = 0;
    ctx->krtBlockCapacity = 0;
    ctx->krtIndexCount = 0;
}
