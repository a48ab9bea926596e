#include "tools/picture_slab.h"

#include <cstdint>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace qztool {

#if defined(__linux__) && defined(MADV_HUGEPAGE)
namespace {

// The huge page size the block is aligned to and rounded up to.
constexpr std::size_t hugePage = std::size_t{2} << 20;

} // namespace
#endif

PictureSlab::PictureSlab(std::size_t pictureBytes, std::size_t count)
    : pictureBytes_(pictureBytes == 0 ? 1 : pictureBytes) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    const std::size_t bytes = pictureBytes_ * count;
    // Anonymous memory reads as zeros until written, and takes memory only where it is
    // written; the slack before the first whole huge page is what aligning it costs.
    const std::size_t rounded = (bytes + hugePage - 1) / hugePage * hugePage;
    void* mapped = mmap(nullptr, rounded + hugePage, PROT_READ | PROT_WRITE,
                        MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped != MAP_FAILED) {
        mapping_ = mapped;
        mappedBytes_ = rounded + hugePage;
        const auto start = reinterpret_cast<std::uintptr_t>(mapped);
        block_ = reinterpret_cast<BYTE*>((start + hugePage - 1) / hugePage * hugePage);
        madvise(block_, rounded, MADV_HUGEPAGE); // only a wish: small pages work too
    }
#endif
    // Without the block (another system, or no memory to map), pictures are made one at a
    // time as they are first taken.
    if (block_ == nullptr) return;
    free_.reserve(count);
    for (std::size_t i = count; i-- > 0;) free_.push_back(block_ + i * pictureBytes_);
}

PictureSlab::~PictureSlab() {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    if (mapping_ != nullptr) munmap(mapping_, mappedBytes_);
#endif
}

BYTE* PictureSlab::take() {
    if (free_.empty()) {
        extra_.push_back(std::make_unique<BYTE[]>(pictureBytes_));
        return extra_.back().get();
    }
    BYTE* picture = free_.back();
    free_.pop_back();
    return picture;
}

void PictureSlab::give(BYTE* picture) {
    if (picture != nullptr) free_.push_back(picture);
}

} // namespace qztool
