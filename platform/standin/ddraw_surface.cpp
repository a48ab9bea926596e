// Surfaces of the stand-in device: memory with padded rows, locking, flip chains, lost and
// restored surfaces, descriptions, colour keys and palettes.
#include <algorithm>
#include <cstring>

#include "platform/standin/ddraw_internal.h"

namespace qzplat::detail {

namespace {

// Fill of row padding (checked by surfacePaddingIntact) and of restored surfaces' pixels,
// whose contents the platform leaves undefined.
constexpr BYTE paddingFill = 0xCD;
constexpr BYTE restoredFill = 0xA5;

DWORD rowBytes(const Surface& s) {
    DWORD columns = s.layout.fourCC != 0 ? (s.width + 1) & ~1u : s.width;
    return columns * s.layout.bytes;
}

void fillPixels(Surface& s, BYTE value) {
    DWORD used = rowBytes(s);
    for (DWORD y = 0; y < s.height; ++y) {
        std::memset(s.pixels.data() + std::size_t(y) * DWORD(s.pitch), value, used);
    }
}

} // namespace

Surface* makeSurface(Device* device, SurfaceKind kind, DWORD caps, DWORD width, DWORD height,
                     const PixelLayout& layout) {
    auto* s = new Surface;
    s->device = device;
    s->kind = kind;
    s->caps = caps;
    s->width = width;
    s->height = height;
    s->layout = layout;
    DWORD used = rowBytes(*s);
    s->pitch = LONG((used + device->profile.pitchPadding + 7) & ~7u);
    s->pixels.assign(std::size_t(s->pitch) * height, paddingFill);
    fillPixels(*s, 0);
    s->modeSerial = device->modeSerial;
    device->surfaces.push_back(s);
    return s;
}

bool paddingIntact(const Surface& s) {
    DWORD used = rowBytes(s);
    for (DWORD y = 0; y < s.height; ++y) {
        const BYTE* row = s.pixels.data() + std::size_t(y) * DWORD(s.pitch);
        if (!std::all_of(row + used, row + s.pitch, [](BYTE b) { return b == paddingFill; }))
            return false;
    }
    return true;
}

bool Surface::visible() const {
    if (dead || device == nullptr || state().screenDevice != device || root != this) return false;
    if (kind == SurfaceKind::primary) return device->primary == this;
    return kind == SurfaceKind::overlay && overlay.visible;
}

HRESULT Surface::QueryInterface(REFIID riid, void** object) {
    if (object == nullptr) return E_POINTER;
    std::lock_guard lock(state().mutex);
    if (riid == IID_IDirectDrawSurface) {
        *object = static_cast<IDirectDrawSurface*>(this);
    } else if (riid == IID_IDirectDrawSurface2) {
        *object = static_cast<IDirectDrawSurface2*>(this);
    } else {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ++refs;
    return S_OK;
}

ULONG Surface::AddRef() {
    std::lock_guard lock(state().mutex);
    return ++refs;
}

ULONG Surface::Release() {
    std::lock_guard lock(state().mutex);
    if (refs == 0) return 0; // a release too many: the chain still owns this back buffer
    ULONG left = --refs;
    if (left != 0) return left;
    if (dead) {
        auto& list = state().deadSurfaces;
        list.erase(std::remove(list.begin(), list.end(), this), list.end());
        delete this;
    } else if (root == this) {
        destroyChain(this);
    }
    // A back buffer with no references left lives on with its chain.
    return 0;
}

HRESULT Surface::Lock(LPRECT rect, LPDDSURFACEDESC desc, DWORD, HANDLE) {
    if (desc == nullptr || desc->dwSize != sizeof(DDSURFACEDESC)) return DDERR_INVALIDPARAMS;
    std::lock_guard lock(state().mutex);
    if (dead) return DDERR_INVALIDOBJECT;
    if (lost) return DDERR_SURFACELOST;
    HRESULT code;
    if (takeFault(state().lock, code)) return code;
    if (locked) return DDERR_SURFACEBUSY;
    std::size_t offset = 0;
    if (rect != nullptr) {
        if (!rectInside(*rect, width, height)) return DDERR_INVALIDRECT;
        offset = std::size_t(rect->top) * DWORD(pitch) + std::size_t(rect->left) * layout.bytes;
    }
    locked = true;
    *desc = DDSURFACEDESC{};
    desc->dwSize = sizeof(DDSURFACEDESC);
    desc->dwFlags =
        DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH | DDSD_PITCH | DDSD_PIXELFORMAT | DDSD_LPSURFACE;
    desc->dwWidth = width;
    desc->dwHeight = height;
    desc->lPitch = pitch;
    desc->lpSurface = pixels.data() + offset;
    desc->ddpfPixelFormat = describeLayout(layout);
    desc->ddsCaps.dwCaps = caps;
    return DD_OK;
}

HRESULT Surface::Unlock(LPVOID) {
    std::lock_guard lock(state().mutex);
    if (dead) return DDERR_INVALIDOBJECT;
    if (!locked) return DDERR_NOTLOCKED;
    locked = false;
    if (visible()) presentScreen(device, true);
    return DD_OK;
}

HRESULT Surface::flip(Surface* target, DWORD) {
    if (dead) return DDERR_INVALIDOBJECT;
    if (root != this || chain.size() < 2) return DDERR_NOTFLIPPABLE;
    HRESULT code;
    if (takeFault(state().flip, code)) return code;
    std::size_t steps = 1;
    if (target != nullptr) {
        auto found = std::find(chain.begin() + 1, chain.end(), target);
        if (found == chain.end()) return DDERR_INVALIDPARAMS;
        steps = std::size_t(found - chain.begin());
    }
    for (Surface* m : chain) {
        if (m->lost) return DDERR_SURFACELOST;
        if (m->locked) return DDERR_SURFACEBUSY;
    }
    // The buffers move along the chain; the interfaces keep their roles.
    for (std::size_t step = 0; step < steps; ++step) {
        for (std::size_t i = 0; i + 1 < chain.size(); ++i) {
            std::swap(chain[i]->pixels, chain[i + 1]->pixels);
        }
    }
    noteFlip(this);
    presentScreen(device, true);
    return DD_OK;
}

HRESULT Surface::getAttached(LPDDSCAPS wanted, Surface*& attached) {
    attached = nullptr;
    if (wanted == nullptr) return DDERR_INVALIDPARAMS;
    if (dead) return DDERR_INVALIDOBJECT;
    const auto& members = root->chain;
    auto self = std::find(members.begin(), members.end(), this);
    std::size_t start = std::size_t(self - members.begin());
    for (std::size_t i = 1; i < members.size(); ++i) {
        Surface* candidate = members[(start + i) % members.size()];
        if ((candidate->caps & wanted->dwCaps) == wanted->dwCaps) {
            ++candidate->refs;
            attached = candidate;
            return DD_OK;
        }
    }
    return DDERR_NOTFOUND;
}

HRESULT Surface::IsLost() {
    std::lock_guard lock(state().mutex);
    if (dead) return DDERR_INVALIDOBJECT;
    return lost ? DDERR_SURFACELOST : DD_OK;
}

HRESULT Surface::Restore() {
    std::lock_guard lock(state().mutex);
    if (dead) return DDERR_INVALIDOBJECT;
    // A flip chain is lost and restored as a whole, from any of its members.
    Surface* front = root;
    bool anyLost = std::any_of(front->chain.begin(), front->chain.end(),
                               [](const Surface* m) { return m->lost; });
    if (!anyLost) return DD_OK;
    if (front->failingRestores > 0) {
        --front->failingRestores;
        return front->restoreError;
    }
    if (front->kind == SurfaceKind::primary && front->modeSerial != device->modeSerial)
        return DDERR_WRONGMODE;
    for (Surface* m : front->chain) {
        m->lost = false;
        fillPixels(*m, restoredFill);
    }
    return DD_OK;
}

HRESULT Surface::GetSurfaceDesc(LPDDSURFACEDESC desc) {
    if (desc == nullptr || desc->dwSize != sizeof(DDSURFACEDESC)) return DDERR_INVALIDPARAMS;
    std::lock_guard lock(state().mutex);
    if (dead) return DDERR_INVALIDOBJECT;
    *desc = DDSURFACEDESC{};
    desc->dwSize = sizeof(DDSURFACEDESC);
    desc->dwFlags = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH | DDSD_PITCH | DDSD_PIXELFORMAT;
    desc->dwWidth = width;
    desc->dwHeight = height;
    desc->lPitch = pitch;
    desc->ddpfPixelFormat = describeLayout(layout);
    desc->ddsCaps.dwCaps = caps;
    if (root == this && backBufferCount != 0) {
        desc->dwFlags |= DDSD_BACKBUFFERCOUNT;
        desc->dwBackBufferCount = backBufferCount;
    }
    if (hasDestOverlayKey) {
        desc->dwFlags |= DDSD_CKDESTOVERLAY;
        desc->ddckCKDestOverlay = destOverlayKey;
    }
    return DD_OK;
}

HRESULT Surface::GetPixelFormat(LPDDPIXELFORMAT format) {
    if (format == nullptr || format->dwSize != sizeof(DDPIXELFORMAT)) return DDERR_INVALIDPARAMS;
    std::lock_guard lock(state().mutex);
    if (dead) return DDERR_INVALIDOBJECT;
    *format = describeLayout(layout);
    return DD_OK;
}

HRESULT Surface::GetCaps(LPDDSCAPS out) {
    if (out == nullptr) return DDERR_INVALIDPARAMS;
    std::lock_guard lock(state().mutex);
    if (dead) return DDERR_INVALIDOBJECT;
    out->dwCaps = caps;
    return DD_OK;
}

HRESULT Surface::SetColorKey(DWORD flags, LPDDCOLORKEY key) {
    std::lock_guard lock(state().mutex);
    if (dead) return DDERR_INVALIDOBJECT;
    DWORD kinds = flags & ~DWORD(DDCKEY_COLORSPACE);
    if (kinds != DDCKEY_DESTOVERLAY && kinds != DDCKEY_DESTBLT && kinds != DDCKEY_SRCBLT &&
        kinds != DDCKEY_SRCOVERLAY)
        return DDERR_INVALIDPARAMS;
    // Only the destination overlay key has a use here; the others are accepted and unused.
    if (kinds == DDCKEY_DESTOVERLAY) {
        hasDestOverlayKey = key != nullptr;
        destOverlayKey = key ? *key : DDCOLORKEY{};
    }
    return DD_OK;
}

HRESULT Surface::GetColorKey(DWORD flags, LPDDCOLORKEY key) {
    if (key == nullptr) return DDERR_INVALIDPARAMS;
    std::lock_guard lock(state().mutex);
    if (dead) return DDERR_INVALIDOBJECT;
    if (flags != DDCKEY_DESTOVERLAY || !hasDestOverlayKey) return DDERR_NOCOLORKEY;
    *key = destOverlayKey;
    return DD_OK;
}

HRESULT Surface::SetPalette(LPDIRECTDRAWPALETTE newPalette) {
    std::lock_guard lock(state().mutex);
    if (dead) return DDERR_INVALIDOBJECT;
    if (!layout.palettised) return DDERR_NOTPALETTIZED;
    auto* attach = static_cast<Palette*>(newPalette);
    if (attach != nullptr && attach->dead) return DDERR_INVALIDOBJECT;
    // A flip chain shares one palette, kept on its front surface.
    Surface* front = root;
    if (attach != nullptr) ++attach->refs;
    if (front->palette != nullptr) releasePalette(front->palette);
    front->palette = attach;
    if (front->visible()) presentScreen(device, false);
    return DD_OK;
}

HRESULT Surface::GetPalette(LPDIRECTDRAWPALETTE* out) {
    if (out == nullptr) return DDERR_INVALIDPARAMS;
    std::lock_guard lock(state().mutex);
    *out = nullptr;
    if (dead) return DDERR_INVALIDOBJECT;
    if (root->palette == nullptr) return DDERR_NOPALETTEATTACHED;
    ++root->palette->refs;
    *out = root->palette;
    return DD_OK;
}

HRESULT Surface::GetDDInterface(LPVOID* out) {
    if (out == nullptr) return DDERR_INVALIDPARAMS;
    std::lock_guard lock(state().mutex);
    *out = nullptr;
    if (dead) return DDERR_INVALIDOBJECT;
    ++device->refs;
    *out = static_cast<IDirectDraw*>(device);
    return DD_OK;
}

HRESULT Surface::PageLock(DWORD) {
    return DD_OK;
}
HRESULT Surface::PageUnlock(DWORD) {
    return DD_OK;
}

// The two interface versions share one body per call.
HRESULT Surface::Blt(LPRECT destRect, LPDIRECTDRAWSURFACE source, LPRECT sourceRect, DWORD flags,
                     LPDDBLTFX effects) {
    std::lock_guard lock(state().mutex);
    return blt(destRect, static_cast<Surface*>(source), sourceRect, flags, effects);
}
HRESULT Surface::Blt(LPRECT destRect, LPDIRECTDRAWSURFACE2 source, LPRECT sourceRect, DWORD flags,
                     LPDDBLTFX effects) {
    std::lock_guard lock(state().mutex);
    return blt(destRect, static_cast<Surface*>(source), sourceRect, flags, effects);
}
HRESULT Surface::Flip(LPDIRECTDRAWSURFACE target, DWORD flags) {
    std::unique_lock lock(state().mutex);
    if (HRESULT waited = awaitFlip(this, lock, flags); FAILED(waited)) return waited;
    return flip(static_cast<Surface*>(target), flags);
}
HRESULT Surface::Flip(LPDIRECTDRAWSURFACE2 target, DWORD flags) {
    std::unique_lock lock(state().mutex);
    if (HRESULT waited = awaitFlip(this, lock, flags); FAILED(waited)) return waited;
    return flip(static_cast<Surface*>(target), flags);
}
HRESULT Surface::GetAttachedSurface(LPDDSCAPS caps, LPDIRECTDRAWSURFACE* attached) {
    if (attached == nullptr) return DDERR_INVALIDPARAMS;
    std::lock_guard lock(state().mutex);
    Surface* found;
    HRESULT result = getAttached(caps, found);
    *attached = found;
    return result;
}
HRESULT Surface::GetAttachedSurface(LPDDSCAPS caps, LPDIRECTDRAWSURFACE2* attached) {
    if (attached == nullptr) return DDERR_INVALIDPARAMS;
    std::lock_guard lock(state().mutex);
    Surface* found;
    HRESULT result = getAttached(caps, found);
    *attached = found;
    return result;
}
HRESULT Surface::UpdateOverlay(LPRECT sourceRect, LPDIRECTDRAWSURFACE dest, LPRECT destRect,
                               DWORD flags, LPDDOVERLAYFX effects) {
    std::lock_guard lock(state().mutex);
    return updateOverlay(sourceRect, static_cast<Surface*>(dest), destRect, flags, effects);
}
HRESULT Surface::UpdateOverlay(LPRECT sourceRect, LPDIRECTDRAWSURFACE2 dest, LPRECT destRect,
                               DWORD flags, LPDDOVERLAYFX effects) {
    std::lock_guard lock(state().mutex);
    return updateOverlay(sourceRect, static_cast<Surface*>(dest), destRect, flags, effects);
}

// Calls the player never makes.
HRESULT Surface::AddAttachedSurface(LPDIRECTDRAWSURFACE) {
    return DDERR_UNSUPPORTED;
}
HRESULT Surface::AddAttachedSurface(LPDIRECTDRAWSURFACE2) {
    return DDERR_UNSUPPORTED;
}
HRESULT Surface::BltFast(DWORD, DWORD, LPDIRECTDRAWSURFACE, LPRECT, DWORD) {
    return DDERR_UNSUPPORTED;
}
HRESULT Surface::BltFast(DWORD, DWORD, LPDIRECTDRAWSURFACE2, LPRECT, DWORD) {
    return DDERR_UNSUPPORTED;
}
HRESULT Surface::DeleteAttachedSurface(DWORD, LPDIRECTDRAWSURFACE) {
    return DDERR_UNSUPPORTED;
}
HRESULT Surface::DeleteAttachedSurface(DWORD, LPDIRECTDRAWSURFACE2) {
    return DDERR_UNSUPPORTED;
}
HRESULT Surface::UpdateOverlayZOrder(DWORD, LPDIRECTDRAWSURFACE) {
    return DDERR_UNSUPPORTED;
}
HRESULT Surface::UpdateOverlayZOrder(DWORD, LPDIRECTDRAWSURFACE2) {
    return DDERR_UNSUPPORTED;
}
HRESULT Surface::AddOverlayDirtyRect(LPRECT) {
    return DDERR_UNSUPPORTED;
}
HRESULT Surface::BltBatch(LPDDBLTBATCH, DWORD, DWORD) {
    return DDERR_UNSUPPORTED;
}
HRESULT Surface::EnumAttachedSurfaces(LPVOID, LPDDENUMSURFACESCALLBACK) {
    return DDERR_UNSUPPORTED;
}
HRESULT Surface::EnumOverlayZOrders(DWORD, LPVOID, LPDDENUMSURFACESCALLBACK) {
    return DDERR_UNSUPPORTED;
}
HRESULT Surface::GetBltStatus(DWORD) {
    return DD_OK;
}
HRESULT Surface::GetClipper(LPDIRECTDRAWCLIPPER* clipper) {
    if (clipper) *clipper = nullptr;
    return DDERR_NOCLIPPERATTACHED;
}
HRESULT Surface::GetDC(HDC* dc) {
    if (dc) *dc = nullptr;
    return DDERR_UNSUPPORTED;
}
HRESULT Surface::GetFlipStatus(DWORD) {
    return DD_OK;
}
HRESULT Surface::GetOverlayPosition(LPLONG, LPLONG) {
    return DDERR_UNSUPPORTED;
}
HRESULT Surface::Initialize(LPDIRECTDRAW, LPDDSURFACEDESC) {
    return DDERR_ALREADYINITIALIZED;
}
HRESULT Surface::ReleaseDC(HDC) {
    return DDERR_UNSUPPORTED;
}
HRESULT Surface::SetClipper(LPDIRECTDRAWCLIPPER) {
    return DDERR_UNSUPPORTED;
}
HRESULT Surface::SetOverlayPosition(LONG, LONG) {
    return DDERR_UNSUPPORTED;
}
HRESULT Surface::UpdateOverlayDisplay(DWORD) {
    return DDERR_UNSUPPORTED;
}

} // namespace qzplat::detail
