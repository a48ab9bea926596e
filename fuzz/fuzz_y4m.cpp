// qztool encode's YUV4MPEG2 reader over arbitrary bytes: the header, then frames until the
// stream ends or fails. Every picture handed out must have the planes its kind and size call for.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "tools/picture_input.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0; // fmemopen takes no empty buffer
    std::FILE* file = fmemopen(const_cast<std::uint8_t*>(data), size, "rb");
    if (file == nullptr) return 0;
    std::string message;
    const auto source = qztool::openY4mStream(file, "fuzz.y4m", message);
    if (!source) {
        if (message.empty()) __builtin_trap();
        return 0;
    }
    qztool::InputPicture picture;
    for (int n = 0; n < 16 && source->next(picture, message); ++n) {
        const std::size_t pixels = std::size_t(picture.width) * std::size_t(picture.height);
        if (picture.width < 1 || picture.height < 1 || picture.yuv.y.size() != pixels)
            __builtin_trap();
        if (picture.kind == qztool::InputPicture::Kind::yuv444 &&
            (picture.cb444.size() != pixels || picture.cr444.size() != pixels))
            __builtin_trap();
    }
    return 0;
}
