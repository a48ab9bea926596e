// The stand-in DirectDraw's control calls: device profiles, fault injection, lost surfaces
// and what tests observe.
#include <algorithm>

#include "platform/standin/ddraw_internal.h"

namespace qzplat {

using namespace detail;

namespace {

// Frees every object, referenced or not, and clears faults and counters (lock held).
void resetLocked() {
    State& st = state();
    for (Device* device : st.devices) {
        for (Surface* s : device->surfaces) delete s;
        for (Palette* p : device->palettes) delete p;
        delete device;
    }
    for (Surface* s : st.deadSurfaces) delete s;
    for (Palette* p : st.deadPalettes) delete p;
    st.devices.clear();
    st.deadSurfaces.clear();
    st.deadPalettes.clear();
    for (Fault& fault : st.createSurface) fault = Fault{};
    st.directDrawCreate = st.cooperativeLevel = st.getCaps = st.fourCCCodes = Fault{};
    st.lock = st.flip = st.updateOverlay = st.sourceBlt = Fault{};
    std::fill(std::begin(st.created), std::end(st.created), 0);
    st.verticalBlankWaits = 0;
    st.screenDevice = nullptr;
    st.extraSink = nullptr;
    resetScreen();
}

void arm(Fault& fault, HRESULT code, int count) {
    std::lock_guard lock(state().mutex);
    fault.code = code;
    fault.count = std::max(count, 0);
}

void loseChain(Surface* surface, int failingRestores, HRESULT restoreError) {
    if (surface == nullptr || surface->dead) return;
    Surface* front = surface->root;
    for (Surface* m : front->chain) m->lost = true;
    front->failingRestores = failingRestores;
    front->restoreError = restoreError;
}

} // namespace

void setDeviceProfiles(const std::vector<DeviceProfile>& profiles) {
    std::lock_guard lock(state().mutex);
    resetLocked();
    state().profiles = profiles.empty() ? std::vector<DeviceProfile>{DeviceProfile{}} : profiles;
}

void resetDirectDraw() {
    std::lock_guard lock(state().mutex);
    resetLocked();
    state().profiles = {DeviceProfile{}};
}

void failNextCreateSurface(SurfaceKind kind, HRESULT code, int count) {
    arm(state().createSurface[int(kind)], code, count);
}
void failNextDirectDrawCreate(HRESULT code, int count) {
    arm(state().directDrawCreate, code, count);
}
void failNextSetCooperativeLevel(HRESULT code, int count) {
    arm(state().cooperativeLevel, code, count);
}
void failNextGetCaps(HRESULT code, int count) {
    arm(state().getCaps, code, count);
}
void failNextGetFourCCCodes(HRESULT code, int count) {
    arm(state().fourCCCodes, code, count);
}
void failNextLocks(int count, HRESULT code) {
    arm(state().lock, code, count);
}
void failNextFlips(HRESULT code, int count) {
    arm(state().flip, code, count);
}
void failNextUpdateOverlay(HRESULT code, int count) {
    arm(state().updateOverlay, code, count);
}
void failNextSourceBlts(HRESULT code, int count) {
    arm(state().sourceBlt, code, count);
}

void loseSurface(IDirectDrawSurface2* surface, int failingRestores, HRESULT restoreError) {
    std::lock_guard lock(state().mutex);
    loseChain(static_cast<Surface*>(surface), failingRestores, restoreError);
}

void loseAllSurfaces(int failingRestores, HRESULT restoreError) {
    std::lock_guard lock(state().mutex);
    for (Device* device : state().devices) {
        for (Surface* s : device->surfaces) {
            if (s->root == s) loseChain(s, failingRestores, restoreError);
        }
    }
}

long verticalBlankWaits() {
    std::lock_guard lock(state().mutex);
    return state().verticalBlankWaits;
}

long surfacesCreated(SurfaceKind kind) {
    std::lock_guard lock(state().mutex);
    return state().created[int(kind)];
}

LiveObjects liveObjects() {
    std::lock_guard lock(state().mutex);
    const State& st = state();
    LiveObjects live;
    live.devices = int(st.devices.size());
    live.surfaces = int(st.deadSurfaces.size());
    live.palettes = int(st.deadPalettes.size());
    for (const Device* device : st.devices) {
        live.surfaces += int(device->surfaces.size());
        live.palettes += int(device->palettes.size());
    }
    return live;
}

DisplayState displayState() {
    std::lock_guard lock(state().mutex);
    const Device* device = state().screenDevice;
    if (device == nullptr) return {};
    return {device->modeWidth, device->modeHeight, bitsPerPixel(device->modeLayout),
            (device->cooperativeFlags & DDSCL_EXCLUSIVE) != 0};
}

bool surfacePaddingIntact(IDirectDrawSurface2* surface) {
    std::lock_guard lock(state().mutex);
    auto* s = static_cast<Surface*>(surface);
    if (s == nullptr || s->dead) return false;
    const auto& members = s->root->chain;
    return std::all_of(members.begin(), members.end(),
                       [](const Surface* m) { return paddingIntact(*m); });
}

} // namespace qzplat
