// Pictures of one size for the frames in flight between decoding workers and the writer, in one
// block of memory that asks the system for huge pages where it has them. The first write to a
// fresh small page costs a fault of its own, and on virtual machines the faults of a picture
// cost as much as decoding it several times over; a block of huge pages takes one fault in 512.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "platform/win32.h"

namespace qztool {

class PictureSlab {
  public:
    // count pictures of pictureBytes each, zero-filled.
    PictureSlab(std::size_t pictureBytes, std::size_t count);
    ~PictureSlab();
    PictureSlab(const PictureSlab&) = delete;
    PictureSlab& operator=(const PictureSlab&) = delete;

    // A picture no one holds, with what its last holder left in it; one more, zero-filled and
    // outside the block, when every one is held (or there is no block: see the constructor).
    // Not thread-safe: callers lock.
    BYTE* take();
    // Gives back a picture take() returned.
    void give(BYTE* picture);

  private:
    std::size_t pictureBytes_;
    BYTE* block_ = nullptr;   // the pictures, or none: every picture is an extra one
    void* mapping_ = nullptr; // the mapping block_ lies in
    std::size_t mappedBytes_ = 0;
    std::vector<BYTE*> free_;
    std::vector<std::unique_ptr<BYTE[]>> extra_;
};

} // namespace qztool
