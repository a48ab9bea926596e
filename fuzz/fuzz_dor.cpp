// DOR key, motion and non-reference frames (the selector modulo 3) in sequence, so motion frames
// predict from what earlier frames left, into guarded memory (fuzz/frame_harness.h).
#include <cstddef>
#include <cstdint>
#include <iterator>

#include "fuzz/frame_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static constexpr FrameFormat formats[] = {FrameFormat::rgb555, FrameFormat::rgb565,
                                              FrameFormat::xrgb8888};
    FuzzInput input(data, size);
    FrameHarness harness(input, formats, static_cast<int>(std::size(formats)));
    std::uint8_t selector = 0;
    const std::uint8_t* payload = nullptr;
    std::size_t length = 0;
    while (input.frame(selector, payload, length))
        harness.decode(5 + selector % 3, payload, length);
    return 0;
}
