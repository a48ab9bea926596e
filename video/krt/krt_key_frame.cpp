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

void freePictures(VideoState* video) {
    freeBuffer(video->krt.picture);
    freeBuffer(video->krt.previous);
    freeBuffer(video->krt.rowOffsets);
    freeBuffer(video->krt.indices);
    video->krt.width = video->krt.height = video->krt.pictureBytes = 0;
}

// Makes zero-filled pictures and tables for a width x height picture; false when one could not
// be made (the others are freed again).
bool makePictures(VideoState* video, LONG width, LONG height) {
    const std::size_t bytes = (std::size_t(width) * std::size_t(height) + 15) & ~std::size_t{15};
    if (bytes > krtMaxPictureBytes) return false;
    // Zero-filled, so a stream that unpacks to less than the picture leaves black, and a delta
    // frame sent without indices finds defined ones.
    // An empty picture still gets buffers, so that "no picture" means only "no key frame".
    const std::size_t pictureBytes = bytes > 0 ? bytes : 16;
    video->krt.picture = static_cast<BYTE*>(std::calloc(pictureBytes, 1));
    video->krt.previous = static_cast<BYTE*>(std::calloc(pictureBytes, 1));
    video->krt.rowOffsets = static_cast<LONG*>(std::calloc(2 * std::size_t(height), sizeof(LONG)));
    video->krt.indices = static_cast<LONG*>(std::calloc(bytes / 16, sizeof(LONG)));
    if (video->krt.picture == nullptr || video->krt.previous == nullptr ||
        (height > 0 && video->krt.rowOffsets == nullptr) ||
        (bytes > 0 && video->krt.indices == nullptr)) {
        freePictures(video);
        return false;
    }
    for (LONG i = 0; i < 2 * height; ++i) video->krt.rowOffsets[i] = (i - height) * width;
    video->krt.width = width;
    video->krt.height = height;
    video->krt.pictureBytes = static_cast<LONG>(bytes);
    return true;
}

} // namespace

int decodeKrtKeyFrame(VideoState* video, const BYTE* payload) {
    const std::ptrdiff_t available = video->frameDataEnd - payload;
    if (available < static_cast<std::ptrdiff_t>(headerBytes)) return 0;
    const LONG width = payload[0] | (payload[1] << 8);
    const LONG height = payload[2] | (payload[3] << 8);
    const std::size_t colours = payload[6] | (payload[7] << 8);
    if (width == video->krt.width && height == video->krt.height && video->krt.picture != nullptr) {
        // Same size: the buffers are kept, the picture starts black again.
        std::memset(video->krt.picture, 0, static_cast<std::size_t>(video->krt.pictureBytes));
    } else {
        freePictures(video);
        if (!makePictures(video, width, height)) return 0;
    }
    // Indices of earlier delta frames mean nothing for the new picture.
    video->krt.indexCount = 0;
    const std::size_t streamStart = headerBytes + 3 * colours;
    if (static_cast<std::size_t>(available) > streamStart)
        unpackKrtLz77(payload + streamStart, static_cast<std::size_t>(available) - streamStart,
                      video->krt.picture, std::size_t(width) * std::size_t(height));
    return 1;
}

void releaseKrtState(VideoState* video) {
    freePictures(video);
    freeBuffer(video->krt.vectors);
    freeBuffer(video->krt.vectorOffsets);
    freeBuffer(video->krt.blocks);
    video->krt.vectorCapacity = 0;
    video->krt.blockCapacity = 0;
    video->krt.indexCount = 0;
}
