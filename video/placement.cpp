#include "video/placement.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>

namespace {

using Wide = long long;

Wide floorDiv(Wide a, Wide b) {
    const Wide q = a / b;
    return (a % b != 0 && a < 0) ? q - 1 : q;
}

Wide ceilDiv(Wide a, Wide b) {
    return -floorDiv(-a, b);
}

} // namespace

LONG displayPixelBytes(LONG depth) {
    if (depth == 8) return 1;
    return (depth == 15 || depth == 16) ? 2 : 4;
}

BYTE* placeDecoderTarget(VideoState* video, const TargetArea& area, LONG offsetRows,
                         LONG offsetBytes, LONG rowStep, LONG columnBytes) {
    const Wide width = video->width;
    const Wide height = video->height;
    const Wide ox = offsetBytes;
    const Wide oy = offsetRows;
    // Column c covers bytes ox + c * columnBytes up to the next column; row r is target row
    // oy + r * rowStep.
    const Wide left = std::max<Wide>(0, ceilDiv(-ox, columnBytes));
    const Wide right = std::min<Wide>(width, floorDiv(Wide{area.rowBytes} - ox, columnBytes));
    const Wide top = std::max<Wide>(0, ceilDiv(-oy, rowStep));
    const Wide bottom = std::min<Wide>(height, floorDiv(Wide{area.rows} - 1 - oy, rowStep) + 1);
    if (area.base == nullptr || left >= right || top >= bottom) {
        video->clipLeft = video->clipTop = video->clipRight = video->clipBottom = 0;
        return nullptr;
    }
    video->clipLeft = static_cast<LONG>(left);
    video->clipRight = static_cast<LONG>(right);
    video->clipTop = static_cast<LONG>(top);
    video->clipBottom = static_cast<LONG>(bottom);
    // Computed on the address, since the pointer may lie before the area when the picture
    // starts left of or above it; the box keeps every write inside.
    const Wide offset = oy * area.pitch + ox;
    return reinterpret_cast<BYTE*>(reinterpret_cast<std::uintptr_t>(area.base) +
                                   static_cast<std::uintptr_t>(offset));
}

BYTE* packedDecoderTarget(const VideoState* video, BYTE* placed, LONG pixelBytes) {
    // Column c is written at placed + pixelBytes * (clipLeft + c), at or after its doubled
    // place's start (placed + 2 * pixelBytes * clipLeft): inside the area, and never past
    // where the doubled column c ends.
    const Wide shift = Wide{pixelBytes} * video->clipLeft;
    return reinterpret_cast<BYTE*>(reinterpret_cast<std::uintptr_t>(placed) +
                                   static_cast<std::uintptr_t>(shift));
}

namespace {

// Doubles count packed pixels of N bytes that start at row into 2 x count pixels there.
template <int N> void spreadRow(BYTE* row, LONG count) {
    // From the right: every packed pixel is read before a doubled one covers it.
    for (LONG i = count - 1; i >= 0; --i) {
        BYTE pixel[N];
        std::memcpy(pixel, row + std::ptrdiff_t{N} * i, N);
        std::memcpy(row + std::ptrdiff_t{2 * N} * i, pixel, N);
        std::memcpy(row + std::ptrdiff_t{2 * N} * i + N, pixel, N);
    }
}

// Packs 2 x count doubled pixels of N bytes that start at row into count pixels there.
template <int N> void packRow(BYTE* row, LONG count) {
    // From the left: pixel i comes from 2i, which no earlier step has written over.
    for (LONG i = 1; i < count; ++i)
        std::memmove(row + std::ptrdiff_t{N} * i, row + std::ptrdiff_t{2 * N} * i, N);
}

// Runs step on the first visible doubled column of every written row of the clip box.
template <class Step>
void forEachDoubledRow(const VideoState* video, const TargetArea& area, LONG offsetRows,
                       LONG offsetBytes, LONG rowStep, LONG pixelBytes, LONG rowsWritten,
                       Step&& step) {
    const LONG left = video->clipLeft;
    const LONG right = video->clipRight;
    const LONG bottom = std::min(video->clipBottom, rowsWritten);
    if (area.base == nullptr || left >= right || (pixelBytes != 2 && pixelBytes != 4)) return;
    for (LONG r = video->clipTop; r < bottom; ++r) {
        // The packed columns start where the first visible doubled column does.
        const Wide rowStart = (Wide{offsetRows} + Wide{r} * rowStep) * area.pitch + offsetBytes;
        step(area.base + (rowStart + Wide{2} * pixelBytes * left), right - left);
    }
}

} // namespace

void packColumns(const VideoState* video, const TargetArea& area, LONG offsetRows, LONG offsetBytes,
                 LONG rowStep, LONG pixelBytes, LONG rowsWritten) {
    forEachDoubledRow(video, area, offsetRows, offsetBytes, rowStep, pixelBytes, rowsWritten,
                      [&](BYTE* row, LONG count) {
                          if (pixelBytes == 2)
                              packRow<2>(row, count);
                          else
                              packRow<4>(row, count);
                      });
}

void spreadColumns(const VideoState* video, const TargetArea& area, LONG offsetRows,
                   LONG offsetBytes, LONG rowStep, LONG pixelBytes, LONG rowsWritten) {
    forEachDoubledRow(video, area, offsetRows, offsetBytes, rowStep, pixelBytes, rowsWritten,
                      [&](BYTE* row, LONG count) {
                          if (pixelBytes == 2)
                              spreadRow<2>(row, count);
                          else
                              spreadRow<4>(row, count);
                      });
}

void repeatRows(const VideoState* video, const TargetArea& area, LONG offsetRows, LONG offsetBytes,
                LONG columnBytes, LONG rowsWritten) {
    const LONG left = video->clipLeft;
    const LONG right = video->clipRight;
    const LONG bottom = std::min(video->clipBottom, rowsWritten);
    if (area.base == nullptr || left >= right) return;
    const Wide first = Wide{offsetBytes} + Wide{columnBytes} * left;
    const auto bytes = static_cast<std::size_t>(Wide{columnBytes} * (right - left));
    for (LONG r = video->clipTop; r < bottom; ++r) {
        const Wide y = Wide{offsetRows} + 2 * Wide{r};
        if (y + 1 >= area.rows) break;
        BYTE* row = area.base + y * area.pitch + first;
        std::memcpy(row + area.pitch, row, bytes);
    }
}
