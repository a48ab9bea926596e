// Lifetimes of the stand-in's objects: the process-wide device list, palettes, and what goes
// when a flip chain or a device is released. Objects the platform would have freed while a
// caller still held references stay behind as dead objects that answer DDERR_INVALIDOBJECT,
// so a late call is an error rather than a use of freed memory.
#include <algorithm>

#include "platform/standin/ddraw_internal.h"

namespace qzplat::detail {

namespace {

template <typename T> void eraseFrom(std::vector<T*>& list, T* item) {
    list.erase(std::remove(list.begin(), list.end(), item), list.end());
}

// Frees a surface, or leaves it dead when references remain.
void retireSurface(Surface* s) {
    if (s->refs == 0) {
        delete s;
        return;
    }
    s->dead = true;
    s->device = nullptr;
    s->locked = false;
    std::vector<BYTE>().swap(s->pixels);
    s->root = s;
    s->chain.clear();
    s->overlay = OverlayState{};
    state().deadSurfaces.push_back(s);
}

} // namespace

State& state() {
    static State instance;
    return instance;
}

void releasePalette(Palette* palette) {
    if (palette->refs == 0 || --palette->refs != 0) return;
    if (palette->dead) {
        eraseFrom(state().deadPalettes, palette);
    } else {
        eraseFrom(palette->device->palettes, palette);
    }
    delete palette;
}

void destroyChain(Surface* root) {
    Device* device = root->device;
    bool wasShown = root->visible();
    std::vector<Surface*> members = root->chain;
    for (Surface* m : members) {
        for (Surface* other : device->surfaces) {
            if (other->overlay.destSurface == m) other->overlay = OverlayState{};
        }
        if (m->palette != nullptr) releasePalette(m->palette);
        m->palette = nullptr;
        eraseFrom(device->surfaces, m);
        if (device->primary == m) device->primary = nullptr;
    }
    // The front surface goes with its last reference; back buffers go with the front.
    for (Surface* m : members) retireSurface(m);
    if (wasShown) presentScreen(device, false);
}

void destroyDevice(Device* device) {
    State& st = state();
    eraseFrom(st.devices, device);
    if (st.screenDevice == device) st.screenDevice = nullptr;
    std::vector<Surface*> surfaces = device->surfaces;
    for (Surface* s : surfaces) {
        if (s->palette != nullptr) releasePalette(s->palette);
        s->palette = nullptr;
    }
    for (Surface* s : surfaces) retireSurface(s);
    for (Palette* p : device->palettes) {
        p->dead = true;
        p->device = nullptr;
        st.deadPalettes.push_back(p);
    }
    delete device;
}

HRESULT Palette::QueryInterface(REFIID riid, void** object) {
    if (object == nullptr) return E_POINTER;
    std::lock_guard lock(state().mutex);
    if (!(riid == IID_IDirectDrawPalette)) {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    *object = static_cast<IDirectDrawPalette*>(this);
    ++refs;
    return S_OK;
}

ULONG Palette::AddRef() {
    std::lock_guard lock(state().mutex);
    return ++refs;
}

ULONG Palette::Release() {
    std::lock_guard lock(state().mutex);
    ULONG left = refs == 0 ? 0 : refs - 1;
    releasePalette(this);
    return left;
}

HRESULT Palette::GetCaps(LPDWORD out) {
    if (out == nullptr) return DDERR_INVALIDPARAMS;
    std::lock_guard lock(state().mutex);
    if (dead) return DDERR_INVALIDOBJECT;
    *out = caps;
    return DD_OK;
}

HRESULT Palette::GetEntries(DWORD, DWORD base, DWORD count, LPPALETTEENTRY out) {
    if (out == nullptr || base > 256 || count > 256 - base) return DDERR_INVALIDPARAMS;
    std::lock_guard lock(state().mutex);
    if (dead) return DDERR_INVALIDOBJECT;
    std::copy(entries + base, entries + base + count, out);
    return DD_OK;
}

HRESULT Palette::SetEntries(DWORD, DWORD start, DWORD count, LPPALETTEENTRY in) {
    if (in == nullptr || start > 256 || count > 256 - start) return DDERR_INVALIDPARAMS;
    std::lock_guard lock(state().mutex);
    if (dead) return DDERR_INVALIDOBJECT;
    std::copy(in, in + count, entries + start);
    Surface* primary = device->primary;
    // The screen changes colour at once; that is not a present of a new picture.
    if (primary != nullptr && primary->palette == this) presentScreen(device, false);
    return DD_OK;
}

HRESULT Palette::Initialize(LPDIRECTDRAW, DWORD, LPPALETTEENTRY) {
    return DDERR_ALREADYINITIALIZED;
}

} // namespace qzplat::detail
