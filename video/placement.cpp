#include "video/placement.h"

#include <algorithm>
#include <cstdint>
#include <limits>

namespace {

using Wide = long long;

LONG saturate(Wide value) {
    return static_cast<LONG>(std::clamp<Wide>(value, std::numeric_limits<LONG>::min(),
                                              std::numeric_limits<LONG>::max()));
}

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

void placePicture(PlayerContext* ctx) {
    const PlayerConfig* config = ctx->config;
    const DWORD flags = config->flags;
    Wide width = config->movieWidth;
    Wide height = config->movieHeight;
    if (flags & doubleX) width *= 2;
    if (flags & (doubleY | skipY)) height *= 2;
    Wide x = 0;
    Wide y = 0;
    // Arithmetic shift: a picture wider than the screen gets a negative offset.
    if (flags & centreX) x = (Wide{ctx->screenWidth} - width) >> 1;
    if (flags & centreY) y = (Wide{ctx->screenHeight} - height) >> 1;
    if (flags & offsetX) x += config->posX;
    if (flags & offsetY) y += config->posY;
    // Centring uses the unstretched size; presentation scales to the stretched one.
    if (flags & stretchX) width = config->stretchWidth;
    if (flags & stretchY) height = config->stretchHeight;
    ctx->destX = saturate(x);
    ctx->destY = saturate(y);
    ctx->destWidth = saturate(width);
    ctx->destHeight = saturate(height);
}

BYTE* placeDecoderTarget(PlayerContext* ctx, const TargetArea& area, LONG offsetRows,
                         LONG offsetBytes, LONG rowStep, LONG columnBytes) {
    const Wide width = ctx->config->movieWidth;
    const Wide height = ctx->config->movieHeight;
    const Wide ox = offsetBytes;
    const Wide oy = offsetRows;
    // Column c covers bytes ox + c * columnBytes up to the next column; row r is target row
    // oy + r * rowStep.
    const Wide left = std::max<Wide>(0, ceilDiv(-ox, columnBytes));
    const Wide right = std::min<Wide>(width, floorDiv(Wide{area.rowBytes} - ox, columnBytes));
    const Wide top = std::max<Wide>(0, ceilDiv(-oy, rowStep));
    const Wide bottom = std::min<Wide>(height, floorDiv(Wide{area.rows} - 1 - oy, rowStep) + 1);
    if (area.base == nullptr || left >= right || top >= bottom) {
        ctx->clipLeft = ctx->clipTop = ctx->clipRight = ctx->clipBottom = 0;
        return nullptr;
    }
    ctx->clipLeft = static_cast<LONG>(left);
    ctx->clipRight = static_cast<LONG>(right);
    ctx->clipTop = static_cast<LONG>(top);
    ctx->clipBottom = static_cast<LONG>(bottom);
    // Computed on the address, since the pointer may lie before the area when the picture
    // starts left of or above it; the box keeps every write inside.
    const Wide offset = oy * area.pitch + ox;
    return reinterpret_cast<BYTE*>(reinterpret_cast<std::uintptr_t>(area.base) +
                                   static_cast<std::uintptr_t>(offset));
}
