// The decoder targets' loop: a guarded picture memory and a decoder state set up from the
// input's first bytes, then frames decoded one after another straight through the frame
// dispatch (video/frame_decode.h), the guards checked after each.
//
// Setup bytes, in order: format selector (low bits pick one of the target's formats, bits 4-6
// the doubleX, doubleY and skipY flags), placement and gamma selector, target width and height
// in pixels (16 bits each, 1 to 512), row padding in bytes (0 to 255, so any pitch), and the
// picture's x and y on the target (signed 16 bits, -1024 to 1023: partly or wholly outside).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "fuzz/fuzz_input.h"
#include "fuzz/guarded_memory.h"
#include "video/frame_decode.h"
#include "video/frame_decoder.h"

class FrameHarness {
  public:
    FrameHarness(FuzzInput& input, const FrameFormat* formats, int formatCount);
    ~FrameHarness();
    FrameHarness(const FrameHarness&) = delete;
    FrameHarness& operator=(const FrameHarness&) = delete;

    // Decodes one frame of the type (1 to 7) when the format shows it and its header fits,
    // then traps if a guard byte changed.
    void decode(LONG type, const std::uint8_t* payload, std::size_t size);

  private:
    FrameFormat format_;
    LONG gamma_;
    PicturePlacement placement_;
    LONG x_ = 0;
    LONG y_ = 0;
    LONG rowBytes_ = 0;
    LONG rows_ = 0;
    std::unique_ptr<GuardedMemory> memory_;
    VideoState video_{};
    BYTE paletteRgb_[768]{};
    DWORD paletteLookup_[256]{};
    std::vector<BYTE> payload_;
};
