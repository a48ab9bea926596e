// Decoders that record what the dispatch hands them and fill every pixel of the clip box they
// are given, so that a box reaching outside the target shows up under the sanitizers and in
// the surfaces' row padding.
#pragma once

#include <cstring>
#include <string>
#include <vector>

#include "video/decoder_table.h"

namespace recording {

struct Call {
    std::string decoder;
    BYTE* target = nullptr;
    BYTE* second = nullptr;
    LONG pitch = 0;
    LONG clipLeft = 0, clipTop = 0, clipRight = 0, clipBottom = 0;
    LONG quality = -1;
};

inline std::vector<Call>& calls() {
    static std::vector<Call> recorded;
    return recorded;
}

inline constexpr BYTE fillByte = 0x5A;

inline void fillClip(const VideoState* ctx, BYTE* target, LONG pitch, LONG columnBytes) {
    for (LONG row = ctx->clipTop; row < ctx->clipBottom; ++row)
        for (LONG column = ctx->clipLeft; column < ctx->clipRight; ++column)
            std::memset(target + std::ptrdiff_t(row) * pitch + std::ptrdiff_t(column) * columnBytes,
                        fillByte, std::size_t(columnBytes));
}

inline void record(const char* name, VideoState* ctx, BYTE* target, BYTE* second, LONG pitch,
                   LONG columnBytes) {
    calls().push_back(Call{name, target, second, pitch, ctx->clipLeft, ctx->clipTop, ctx->clipRight,
                           ctx->clipBottom, ctx->quality});
    if (columnBytes > 0) fillClip(ctx, target, pitch, columnBytes);
}

template <LONG columnBytes> struct Dct {
    template <const char* name>
    static void decode(VideoState* ctx, const BYTE*, BYTE* target, BYTE* second, LONG pitch) {
        record(name, ctx, target, second, pitch, columnBytes);
    }
};

inline constexpr char type3Decode32[] = "type3Decode32";
inline constexpr char type3Decode16[] = "type3Decode16";
inline constexpr char type4Decode32[] = "type4Decode32";
inline constexpr char type4Decode16[] = "type4Decode16";
inline constexpr char type4DecodeYuv[] = "type4DecodeYuv";

// Installs the recorders for the life of the object, then puts the real table back.
class Install {
  public:
    Install() {
        calls().clear();
        DecoderEntryPoints table = defaultDecoderEntryPoints();
        table.krtKeyFrame = [](VideoState* ctx, const BYTE*) {
            calls().push_back(Call{"krtKeyFrame", nullptr, nullptr, 0, 0, 0, 0, 0, ctx->quality});
        };
        table.krtDeltaFrame = [](VideoState* ctx, const BYTE*) {
            calls().push_back(Call{"krtDeltaFrame", nullptr, nullptr, 0, 0, 0, 0, 0, ctx->quality});
        };
        table.krtColourLookup = [](VideoState* ctx) {
            calls().push_back(
                Call{"krtColourLookup", nullptr, nullptr, 0, 0, 0, 0, 0, ctx->quality});
        };
        table.krtOutput = [](VideoState* ctx, BYTE* base, BYTE* second, LONG pitch) {
            record("krtOutput", ctx, base, second, pitch, 0);
        };
        table.type3Decode32 = Dct<4>::decode<type3Decode32>;
        table.type3Decode16 = Dct<2>::decode<type3Decode16>;
        table.type4Decode32 = Dct<4>::decode<type4Decode32>;
        table.type4Decode16 = Dct<2>::decode<type4Decode16>;
        table.type4DecodeYuv = Dct<2>::decode<type4DecodeYuv>;
        table.dorFrame = [](VideoState* ctx, const BYTE*, BYTE* base, LONG pitch, LONG) {
            record("dorFrame", ctx, base, base, pitch, 2);
        };
        decoderEntryPoints = table;
    }
    ~Install() { decoderEntryPoints = defaultDecoderEntryPoints(); }
    Install(const Install&) = delete;
    Install& operator=(const Install&) = delete;
};

inline std::vector<std::string> names() {
    std::vector<std::string> out;
    for (const Call& call : calls()) out.push_back(call.decoder);
    return out;
}

} // namespace recording
