// Type-3 frames in sequence at 16 and 32 bits into guarded memory (fuzz/frame_harness.h).
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
    while (input.frame(selector, payload, length)) harness.decode(3, payload, length);
    return 0;
}
