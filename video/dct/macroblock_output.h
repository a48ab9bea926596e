// Writing one decoded 16×16 macroblock into the target through the decoder clip box: wholly
// visible macroblocks are written in place, partly visible ones through a scratch block of
// which only the visible part is copied, and invisible ones not at all.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "video/video_state.h"

// Decoded samples of one macroblock: 16×16 luma, 8×8 Cb and 8×8 Cr.
struct MacroblockPlanes {
    LONG luma[256];
    LONG cb[64];
    LONG cr[64];
};

// The writable part of the target, in picture columns and decoder rows (see VideoState).
struct ClipBox {
    LONG left;
    LONG top;
    LONG right;
    LONG bottom;
};

inline ClipBox videoClipBox(const VideoState* video) {
    return {video->clipLeft, video->clipTop, video->clipRight, video->clipBottom};
}

// True when no pixel of the macroblock at picture column x, decoder row y is visible.
inline bool macroblockHidden(const ClipBox& clip, std::int64_t x, std::int64_t y) {
    return x + 16 <= clip.left || x >= clip.right || y + 16 <= clip.top || y >= clip.bottom ||
           clip.left >= clip.right || clip.top >= clip.bottom;
}

// Places the macroblock at picture column x and decoder row y. write(dest, pitch) must write
// 16 rows of 16 pixels of pixelBytes bytes each, rows pitch bytes apart.
template <class Write>
void placeMacroblock(const ClipBox& clip, BYTE* target, LONG pitch, int pixelBytes, std::int64_t x,
                     std::int64_t y, Write&& write) {
    if (macroblockHidden(clip, x, y)) return;
    if (x >= clip.left && x + 16 <= clip.right && y >= clip.top && y + 16 <= clip.bottom) {
        write(target + y * pitch + x * pixelBytes, pitch);
        return;
    }
    constexpr LONG scratchPitch = 64;
    alignas(16) BYTE scratch[16 * scratchPitch];
    write(scratch, scratchPitch);
    const std::int64_t r0 = std::max<std::int64_t>(0, clip.top - y);
    const std::int64_t r1 = std::min<std::int64_t>(16, clip.bottom - y);
    const std::int64_t c0 = std::max<std::int64_t>(0, clip.left - x);
    const std::int64_t c1 = std::min<std::int64_t>(16, clip.right - x);
    for (std::int64_t r = r0; r < r1; ++r) {
        std::memcpy(target + (y + r) * pitch + (x + c0) * pixelBytes,
                    scratch + r * scratchPitch + c0 * pixelBytes,
                    static_cast<std::size_t>((c1 - c0) * pixelBytes));
    }
}

// Number of macroblocks along a picture side; a side that is not positive has none.
inline LONG macroblockCount(LONG side) {
    return side > 0 ? side / 16 + (side % 16 != 0) : 0;
}
