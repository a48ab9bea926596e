// The video side of the frame dispatch: reads a frame's header, places the decoder pointer in
// the target the caller describes and calls the decoder for the frame's type.
#include "video/frame_decode.h"

#include <algorithm>
#include <cstdint>
#include <limits>

#include "video/decoder_table.h"

namespace {

constexpr LONG krtPaletteOffset = 12;
constexpr LONG dctHeaderBytes = 8;
constexpr LONG dorHeaderBytes = 12;
constexpr LONG paletteColours = 256;

LONG readU16(const BYTE* p) {
    return static_cast<LONG>(p[0] | (p[1] << 8));
}

LONG readS16(const BYTE* p) {
    return static_cast<LONG>(static_cast<short>(readU16(p)));
}

// Copies n palette entries, each byte scaled by gamma percent and limited to 255. Entries past
// the 256 the palette holds are not stored.
void storePalette(const VideoOutput& output, const BYTE* entries, LONG n) {
    const auto gamma = static_cast<std::uint32_t>(output.gamma);
    const LONG bytes = 3 * std::min(n, paletteColours);
    for (LONG i = 0; i < bytes; ++i) {
        const std::uint32_t scaled = entries[i] * gamma / 100;
        output.paletteRgb[i] = static_cast<BYTE>(std::min<std::uint32_t>(scaled, 255));
    }
}

// How a decoder's picture lies on a placed target.
struct Output {
    LONG screenPixelBytes; // bytes of one display pixel, for the x placement
    LONG pixelBytes;       // bytes the decoder writes a picture pixel
    bool spread;           // the dispatch doubles each written pixel afterwards (doubleX)
    LONG rowsWritten;      // picture rows the decoder writes
};

LONG clampedBytes(LONG pixels, LONG pixelBytes) {
    const long long bytes = static_cast<long long>(pixels) * pixelBytes;
    return static_cast<LONG>(std::clamp<long long>(bytes, std::numeric_limits<LONG>::min(),
                                                   std::numeric_limits<LONG>::max()));
}

// Runs write(target, pitch) with the picture at (x, y) of the target, rows twice apart with
// doubleY or skipY, then doubles the columns a decoder wrote once with doubleX and, with
// doubleY, repeats every decoded row in the row below. With always, write also runs when
// nothing is visible (the clip box is then empty), so that a decoder's own pictures advance.
template <class Write>
void decodePlaced(VideoState& video, const FrameTarget& target, const Output& out, bool always,
                  Write&& write) {
    const TargetArea& area = target.area;
    const DWORD flags = video.output.flags;
    const LONG rowStep = (flags & (doubleY | skipY)) ? 2 : 1;
    const LONG columnBytes = out.pixelBytes * (out.spread ? 2 : 1);
    const LONG offsetBytes = clampedBytes(target.x, out.screenPixelBytes);
    BYTE* placed = placeDecoderTarget(&video, area, target.y, offsetBytes, rowStep, columnBytes);
    if (placed == nullptr) {
        if (always) write(area.base, area.pitch * rowStep);
        return;
    }
    if (out.spread) {
        // Skipped macroblocks keep what the decoder finds there: the last picture, packed.
        packColumns(&video, area, target.y, offsetBytes, rowStep, out.pixelBytes, out.rowsWritten);
        placed = packedDecoderTarget(&video, placed, out.pixelBytes);
    }
    write(placed, area.pitch * rowStep);
    if (out.spread)
        spreadColumns(&video, area, target.y, offsetBytes, rowStep, out.pixelBytes,
                      out.rowsWritten);
    if ((flags & doubleY) && (flags & skipY) == 0)
        repeatRows(&video, area, target.y, offsetBytes, columnBytes, out.rowsWritten);
}

// Calls a DCT decoder placed at (x, y) of the target.
void callPlaced(VideoState& video, const FrameTarget& target, FrameDecoder decoder,
                const BYTE* data, const Output& out) {
    decodePlaced(video, target, out, false, [&](BYTE* placed, LONG pitch) {
        decoder(&video, data, placed, target.area.second, pitch);
    });
}

// Calls a decoder whose picture starts at the target's first byte with the plain pitch.
void callUnplaced(VideoState& video, const TargetArea& area, FrameDecoder decoder, const BYTE* data,
                  LONG columnBytes) {
    if (placeDecoderTarget(&video, area, 0, 0, 1, columnBytes) != nullptr)
        decoder(&video, data, area.base, area.second, area.pitch);
}

void decodeKrt(VideoState& video, const BYTE* payload, const FrameTarget& target) {
    const DecoderEntryPoints& d = decoderEntryPoints;
    const TargetArea& area = target.area;
    const LONG depth = video.output.pixelFormat.depth;
    const bool twice = (video.output.flags & doubleX) != 0;
    if (video.frameType == 1) {
        d.krtKeyFrame(&video, payload);
        if (depth != 8) d.krtColourLookup(&video);
    } else {
        d.krtDeltaFrame(&video, payload);
    }
    // The output doubles the columns itself.
    const LONG pixelBytes = displayPixelBytes(depth);
    const LONG columnBytes = pixelBytes * (twice ? 2 : 1);
    const auto write = [&](BYTE* placed, LONG pitch) {
        d.krtOutput(&video, placed, area.second, pitch);
    };
    // The output runs even when nothing of it is visible: the key and delta pictures advance.
    if (target.placement == PicturePlacement::placed) {
        decodePlaced(video, target, {pixelBytes, columnBytes, false, video.height}, true, write);
    } else {
        placeDecoderTarget(&video, area, 0, 0, 1, columnBytes);
        write(area.base, area.pitch);
    }
}

void decodeDor(VideoState& video, const BYTE* payload, const FrameTarget& target) {
    const DecoderEntryPoints& d = decoderEntryPoints;
    const TargetArea& area = target.area;
    // DOR pictures are 16-bit pixels on the 16-bit family and 32-bit pixels on deeper
    // displays; their last row is not written.
    const LONG pixelBytes = std::max<LONG>(2, displayPixelBytes(video.output.pixelFormat.depth));
    const auto write = [&](BYTE* placed, LONG pitch) {
        d.dorFrame(&video, payload, placed, pitch, video.frameType);
    };
    if (target.placement == PicturePlacement::placed) {
        const bool twice = (video.output.flags & doubleX) != 0;
        decodePlaced(video, target, {pixelBytes, pixelBytes, twice, video.height - 1}, true, write);
    } else {
        placeDecoderTarget(&video, area, 0, 0, 1, pixelBytes);
        write(area.base, area.pitch);
    }
}

} // namespace

bool readFrameHeader(VideoState& video, LONG type, const BYTE* payload, LONG bytes) {
    video.frameType = type;
    bytes = std::max<LONG>(bytes, 0);
    video.frameDataEnd = payload + bytes;
    switch (type) {
    case 1: {
        if (bytes < krtPaletteOffset) return false;
        const LONG n = readU16(payload + 6);
        if (bytes - krtPaletteOffset < 3 * n) return false;
        video.width = readU16(payload);
        video.height = readU16(payload + 2);
        video.krt.paletteCount = n;
        storePalette(video.output, payload + krtPaletteOffset, n);
        return true;
    }
    case 3:
    case 4:
        if (bytes < dctHeaderBytes) return false;
        video.width = readS16(payload);
        video.height = readS16(payload + 2);
        video.quality = payload[4];
        if (type == 4) {
            video.dct.componentColour = (payload[7] >> 1) & 1;
            video.dct.spareOption = payload[7] & 1;
        }
        return true;
    case 5:
    case 6:
    case 7:
        if (bytes < dorHeaderBytes) return false;
        video.width = readS16(payload + 8);
        video.height = readS16(payload + 10);
        return true;
    default:
        return true;
    }
}

void decodeFrame(VideoState& video, const BYTE* payload, const FrameTarget& target) {
    const DecoderEntryPoints& d = decoderEntryPoints;
    const TargetArea& area = target.area;
    const DWORD flags = video.output.flags;
    const LONG depth = video.output.pixelFormat.depth;
    const bool wide = (flags & doubleX) != 0 || depth > 16;
    const bool sixteen = depth == 15 || depth == 16;
    // Display pixels are 2 bytes on the 16-bit family (also when doubleX doubles them).
    const LONG screenPixelBytes = sixteen ? 2 : (wide ? 4 : 2);
    // The 4-byte decoders write one 32-bit word a picture pixel: two display pixels on the
    // 16-bit family, one on 32-bit displays, where doubleX then spreads it to two.
    const Output out{screenPixelBytes, wide ? 4 : 2, (flags & doubleX) != 0 && depth > 16,
                     video.height};
    const BYTE* data = payload + dctHeaderBytes;
    // A picture-only target holds the picture alone, from its first byte, row after row;
    // presentation puts it in place (and doubles or skips rows) when it blits.
    const bool unplaced = target.placement == PicturePlacement::pictureOnly;
    switch (video.frameType) {
    case 1:
    case 2:
        decodeKrt(video, payload, target);
        break;
    case 3: {
        d.type3Quant(&video, video.quality);
        const FrameDecoder decoder = wide ? d.type3Decode32 : d.type3Decode16;
        if (unplaced)
            callUnplaced(video, area, decoder, data, wide ? 4 : 2);
        else
            callPlaced(video, target, decoder, data, out);
        break;
    }
    case 4:
        d.type4Quant(&video, video.quality);
        if (target.yuv)
            callUnplaced(video, area, d.type4DecodeYuv, data, 2);
        else if (unplaced)
            callUnplaced(video, area, wide ? d.type4Decode32 : d.type4Decode16, data, wide ? 4 : 2);
        else
            callPlaced(video, target, wide ? d.type4Decode32 : d.type4Decode16, data, out);
        break;
    case 5:
    case 6:
    case 7:
        decodeDor(video, payload, target);
        break;
    default:
        break;
    }
}
