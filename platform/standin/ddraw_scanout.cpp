// Scan-out of the stand-in display: overlays and the screen composed from the primary surface,
// its palette and the shown YUY2 overlays, handed to the headless sink and any other sink.
#include <algorithm>

#include "platform/standin/ddraw_internal.h"

namespace qzplat::detail {

namespace {

// Keeps the last composed screen and counts presents; what tests read.
class HeadlessSink final : public ScanoutSink {
  public:
    void present(const ScreenImage& screen, bool counted) override {
        last = screen;
        if (counted) ++presents;
    }
    ScreenImage last;
    long presents = 0;
};

HeadlessSink headless;
ScreenImage composed;

DWORD keyBits(const PixelLayout& layout) {
    return layout.palettised ? 0xFFu : layout.red | layout.green | layout.blue;
}

// Every value a pixel of the primary can hold, as 0x00RRGGBB: the palette's colours, or each
// 16-bit value once, so that a present costs one lookup a pixel.
std::vector<std::uint32_t> colours;
PixelLayout coloursLayout;

void buildColours(const Surface& primary) {
    const PixelLayout& layout = primary.layout;
    if (layout.palettised) {
        colours.assign(256, 0);
        if (primary.palette == nullptr) return;
        for (int i = 0; i < 256; ++i) {
            const PALETTEENTRY& e = primary.palette->entries[i];
            colours[i] = std::uint32_t(e.peRed) << 16 | std::uint32_t(e.peGreen) << 8 | e.peBlue;
        }
    } else if (layout.bytes == 2 &&
               !(sameLayout(layout, coloursLayout) && colours.size() == 65536)) {
        colours.resize(65536);
        for (DWORD v = 0; v < 65536; ++v) colours[v] = pixelToRgb(layout, v);
        coloursLayout = layout;
    }
}

void composePrimary(const Surface& primary) {
    buildColours(primary);
    const PixelLayout& layout = primary.layout;
    bool lookup = layout.palettised || layout.bytes == 2;
    bool direct = sameLayout(layout, layoutOf(DisplayFormat::rgb888));
    DWORD width = std::min(composed.width, primary.width);
    DWORD height = std::min(composed.height, primary.height);
    for (DWORD y = 0; y < height; ++y) {
        const BYTE* row = primary.pixels.data() + std::size_t(y) * DWORD(primary.pitch);
        std::uint32_t* out = composed.pixels.data() + std::size_t(y) * composed.width;
        for (DWORD x = 0; x < width; ++x) {
            DWORD raw = readPixel(row, LONG(x), layout.bytes);
            out[x] = lookup ? colours[raw] : direct ? raw & 0xFFFFFF : pixelToRgb(layout, raw);
        }
    }
}

// Draws a shown overlay into its destination rectangle, clipped to the screen and, when keyed,
// only where the primary holds the key colour.
void composeOverlay(const Surface& overlay, const Surface& primary) {
    const OverlayState& o = overlay.overlay;
    std::int64_t sourceWidth = o.source.right - o.source.left;
    std::int64_t sourceHeight = o.source.bottom - o.source.top;
    // Destination coordinates may be anything a caller passed: reckon them in 64 bits.
    std::int64_t left = o.dest.left, top = o.dest.top;
    std::int64_t destWidth = o.dest.right - left;
    std::int64_t destHeight = o.dest.bottom - top;
    LONG right = LONG(std::min<std::int64_t>(o.dest.right, composed.width));
    LONG bottom = LONG(std::min<std::int64_t>(o.dest.bottom, composed.height));
    DWORD mask = keyBits(primary.layout);
    for (LONG y = std::max<LONG>(o.dest.top, 0); y < bottom; ++y) {
        LONG sy = o.source.top + LONG((y - top) * sourceHeight / destHeight);
        const BYTE* sourceRow = overlay.pixels.data() + std::size_t(sy) * DWORD(overlay.pitch);
        bool primaryHasRow = DWORD(y) < primary.height;
        const BYTE* primaryRow =
            primaryHasRow ? primary.pixels.data() + std::size_t(y) * DWORD(primary.pitch) : nullptr;
        for (LONG x = std::max<LONG>(o.dest.left, 0); x < right; ++x) {
            if (o.keyed) {
                if (!primaryHasRow || DWORD(x) >= primary.width) continue;
                DWORD raw = readPixel(primaryRow, x, primary.layout.bytes) & mask;
                if (raw < (o.key.dwColorSpaceLowValue & mask) ||
                    raw > (o.key.dwColorSpaceHighValue & mask))
                    continue;
            }
            LONG sx = o.source.left + LONG((x - left) * sourceWidth / destWidth);
            composed.pixels[std::size_t(y) * composed.width + DWORD(x)] =
                yuy2PixelToRgb(sourceRow, sx);
        }
    }
}

std::vector<const Surface*> shownOverlays(const Device& device) {
    std::vector<const Surface*> shown;
    for (const Surface* s : device.surfaces) {
        if (s->kind == SurfaceKind::overlay && s->root == s && s->overlay.visible &&
            s->overlay.destSurface == device.primary && device.primary != nullptr)
            shown.push_back(s);
    }
    return shown;
}

} // namespace

void presentScreen(Device* device, bool counted) {
    State& st = state();
    if (device == nullptr || device != st.screenDevice) return;
    const Surface* primary = device->primary;
    std::vector<const Surface*> overlays = shownOverlays(*device);
    // A surface being written on another thread is not read: the screen keeps its last picture.
    bool busy =
        (primary && primary->locked) ||
        std::any_of(overlays.begin(), overlays.end(), [](const Surface* s) { return s->locked; });
    if (!busy) {
        composed.width = device->modeWidth;
        composed.height = device->modeHeight;
        composed.pixels.assign(std::size_t(composed.width) * composed.height, 0);
        if (primary != nullptr) {
            composePrimary(*primary);
            for (const Surface* overlay : overlays) composeOverlay(*overlay, *primary);
        }
    }
    dumpScreen(composed);
    headless.present(composed, counted);
    if (st.extraSink != nullptr) st.extraSink->present(composed, counted);
}

void resetScreen() {
    headless = HeadlessSink{};
    composed = ScreenImage{};
    colours.clear();
}

HRESULT Surface::updateOverlay(LPRECT sourceRect, Surface* dest, LPRECT destRect, DWORD flags,
                               LPDDOVERLAYFX effects) {
    if (dead) return DDERR_INVALIDOBJECT;
    if (kind != SurfaceKind::overlay) return DDERR_NOTAOVERLAYSURFACE;
    HRESULT code;
    if (takeFault(state().updateOverlay, code)) return code;
    if ((flags & DDOVER_SHOW) && (flags & DDOVER_HIDE)) return DDERR_INVALIDPARAMS;
    bool needsEffects = flags & (DDOVER_DDFX | DDOVER_KEYDESTOVERRIDE | DDOVER_KEYSRCOVERRIDE);
    if (needsEffects && (effects == nullptr || effects->dwSize != sizeof(DDOVERLAYFX)))
        return DDERR_INVALIDPARAMS;
    OverlayState& o = root->overlay;
    if (flags & DDOVER_HIDE) {
        o.visible = false;
        presentScreen(device, true);
        return DD_OK;
    }
    if (lost) return DDERR_SURFACELOST;
    if (dest == nullptr || dest->dead || dest->device != device ||
        !(dest->caps & DDSCAPS_PRIMARYSURFACE))
        return DDERR_INVALIDPARAMS;
    if (dest->lost) return DDERR_SURFACELOST;
    RECT from = sourceRect ? *sourceRect : RECT{0, 0, LONG(width), LONG(height)};
    if (!rectInside(from, width, height)) return DDERR_INVALIDRECT;
    // The destination may reach past the screen; scan-out clips it.
    RECT to = destRect ? *destRect : RECT{0, 0, LONG(dest->width), LONG(dest->height)};
    if (to.left >= to.right || to.top >= to.bottom) return DDERR_INVALIDRECT;
    bool stretched = from.right - from.left != std::int64_t(to.right) - to.left ||
                     from.bottom - from.top != std::int64_t(to.bottom) - to.top;
    if (stretched && !(device->profile.caps & DDCAPS_OVERLAYSTRETCH)) return DDERR_NOSTRETCHHW;
    bool keyed = false;
    DDCOLORKEY key{};
    if (flags & DDOVER_KEYDESTOVERRIDE) {
        keyed = true;
        key = effects->dckDestColorkey;
    } else if (flags & DDOVER_KEYDEST) {
        // The destination's key; drivers also take the one set on the overlay itself.
        const Surface* holder = dest->hasDestOverlayKey   ? dest
                                : root->hasDestOverlayKey ? root
                                                          : nullptr;
        if (holder == nullptr) return DDERR_NOCOLORKEY;
        keyed = true;
        key = holder->destOverlayKey;
    }
    if (flags & DDOVER_SHOW) o.visible = true;
    o.source = from;
    o.dest = to;
    o.destSurface = dest->root;
    o.keyed = keyed;
    o.key = key;
    presentScreen(device, true);
    return DD_OK;
}

} // namespace qzplat::detail

namespace qzplat {

ScreenImage screenSnapshot() {
    std::lock_guard lock(detail::state().mutex);
    return detail::headless.last;
}

long presentCount() {
    std::lock_guard lock(detail::state().mutex);
    return detail::headless.presents;
}

void setScanoutSink(ScanoutSink* sink) {
    std::lock_guard lock(detail::state().mutex);
    detail::state().extraSink = sink;
}

} // namespace qzplat
