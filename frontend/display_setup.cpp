// Display device list, full-screen mode set-up with a flip chain, the window's primary surface,
// surface clears and teardown.
#include <cstdio>
#include <cstring>
#include <deque>

#include "frontend/devices.h"

namespace {

// Entries point into themselves (guidPointer), so they must never move: a deque keeps them put.
std::deque<DeviceEntry> deviceList;
int deviceCount = 0;
// Time a restored display mode is given to settle before the device goes.
constexpr DWORD restoreSettleMs = 100;

// Copies text into a field of size bytes, cut to fit and always terminated.
void copyField(char* field, std::size_t size, const char* text) {
    std::size_t length = text != nullptr ? std::strlen(text) : 0;
    if (length > size - 1) length = size - 1;
    if (length != 0) std::memcpy(field, text, length);
    field[length] = '\0';
}

const DeviceEntry* chosenDevice(const FrontendSettings& settings) {
    if (settings.deviceNumber < 1 || settings.deviceNumber > deviceCount) return nullptr;
    return &deviceList[std::size_t(settings.deviceNumber - 1)];
}

// DirectDrawCreate on the chosen device and its IDirectDraw2; false leaves both null.
bool createDevice(const FrontendSettings& settings, DisplayObjects* display) {
    const DeviceEntry* entry = chosenDevice(settings);
    if (entry == nullptr) return false;
    if (FAILED(DirectDrawCreate(entry->guidPointer, &display->directDraw, nullptr)) ||
        display->directDraw == nullptr) {
        display->directDraw = nullptr;
        return false;
    }
    void* second = nullptr;
    HRESULT queried = display->directDraw->QueryInterface(IID_IDirectDraw2, &second);
    // The device lives on through IDirectDraw2; the first pointer is still handed on.
    display->directDraw->Release();
    if (FAILED(queried) || second == nullptr) {
        display->directDraw = nullptr;
        return false;
    }
    display->directDraw2 = static_cast<IDirectDraw2*>(second);
    return true;
}

IDirectDrawSurface2* secondInterface(IDirectDrawSurface* surface) {
    void* second = nullptr;
    if (FAILED(surface->QueryInterface(IID_IDirectDrawSurface2, &second))) return nullptr;
    return static_cast<IDirectDrawSurface2*>(second);
}

template <class T> void releaseObject(T*& object) {
    if (object != nullptr) object->Release();
    object = nullptr;
}

} // namespace

BOOL WINAPI addDisplayDevice(GUID* guid, LPSTR description, LPSTR name, LPVOID) {
    DeviceEntry& entry = deviceList.emplace_back();
    if (guid == nullptr) {
        entry.guidPointer = nullptr;
        entry.guid = GUID{};
    } else {
        std::memcpy(&entry.guid, guid, sizeof(GUID));
        entry.guidPointer = &entry.guid;
    }
    copyField(entry.description, sizeof entry.description, description);
    copyField(entry.driverName, sizeof entry.driverName, name);
    ++deviceCount;
    return 1;
}

int listDisplayDevices() {
    deviceList.clear();
    deviceCount = 0;
    DirectDrawEnumerateA(addDisplayDevice, nullptr);
    return deviceCount;
}

int displayDeviceCount() {
    return deviceCount;
}

const DeviceEntry& displayDevice(int index) {
    return deviceList.at(std::size_t(index));
}

int chooseModeDepth(const FrontendSettings& settings) {
    if (settings.modeDepth != 8) return settings.modeDepth;
    const char* file = settings.movieFile.c_str();
    const LONG type = playerFirstFrameType(file);
    if (type <= 0 || type == 1 || type == 2) return settings.modeDepth;
    std::fprintf(stderr, "playqz: -8 shows KRT movies only; playing %s at 16 bits\n", file);
    return 16;
}

DisplayStatus setupDisplay(const FrontendSettings& settings, DisplayObjects* display) {
    *display = DisplayObjects{};
    const DeviceEntry* entry = chosenDevice(settings);
    if (entry == nullptr) return DisplayStatus::stoppedEarly;
    if (settings.verbose) {
        std::printf("Number of Direct Draw Devices = %d (using Device %d)\n", deviceCount,
                    settings.deviceNumber);
        std::printf("Direct Draw Device:%s(%s)\n\n", entry->driverName, entry->description);
    }
    if (!createDevice(settings, display)) return DisplayStatus::stoppedEarly;
    if (FAILED(display->directDraw2->SetCooperativeLevel(playerWindow(),
                                                         DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN))) {
        // The screen cannot be had: nothing of the device is kept.
        releaseObject(display->directDraw2);
        display->directDraw = nullptr;
        return DisplayStatus::stoppedEarly;
    }
    display->exclusive = true;
    display->directDraw2->SetDisplayMode(DWORD(settings.modeWidth), DWORD(settings.modeHeight),
                                         DWORD(settings.modeDepth), 0, 0);

    DDSURFACEDESC desc{};
    desc.dwSize = sizeof(desc);
    desc.dwFlags = DDSD_CAPS | DDSD_BACKBUFFERCOUNT;
    desc.dwBackBufferCount = 1;
    desc.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP | DDSCAPS_COMPLEX;
    IDirectDrawSurface* primary = nullptr;
    if (FAILED(display->directDraw2->CreateSurface(&desc, &primary, nullptr))) primary = nullptr;
    IDirectDrawSurface* back = nullptr;
    DDSCAPS backCaps{DDSCAPS_BACKBUFFER};
    if (primary == nullptr || FAILED(primary->GetAttachedSurface(&backCaps, &back)) ||
        back == nullptr) {
        releaseObject(primary);
        return DisplayStatus::noBackBuffer;
    }
    display->primarySurface = secondInterface(primary);
    display->backSurface = secondInterface(back);
    primary->Release();
    back->Release();
    return DisplayStatus::ready;
}

DisplayStatus setupWindowDisplay(const FrontendSettings& settings, DisplayObjects* display) {
    *display = DisplayObjects{};
    if (!createDevice(settings, display)) return DisplayStatus::stoppedEarly;
    DDSURFACEDESC desc{};
    desc.dwSize = sizeof(desc);
    desc.dwFlags = DDSD_CAPS;
    desc.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE;
    IDirectDrawSurface* primary = nullptr;
    if (FAILED(display->directDraw2->SetCooperativeLevel(playerWindow(), DDSCL_NORMAL)) ||
        FAILED(display->directDraw2->CreateSurface(&desc, &primary, nullptr)) ||
        primary == nullptr) {
        releaseObject(display->directDraw2);
        display->directDraw = nullptr;
        return DisplayStatus::stoppedEarly;
    }
    display->primarySurface = secondInterface(primary);
    primary->Release();
    return DisplayStatus::ready;
}

DisplayStatus openDisplay(FrontendSettings& settings, DisplayObjects* display) {
    if (!settings.windowed) {
        settings.modeDepth = chooseModeDepth(settings);
        const DisplayStatus status = setupDisplay(settings, display);
        if (status == DisplayStatus::noBackBuffer) return status;
        if (status == DisplayStatus::stoppedEarly) {
            // No full screen to be had: the movie plays in the window instead.
            if (settings.verbose)
                std::printf("Full screen is not available; playing in the window\n");
            settings.windowed = true;
        } else {
            clearSurface(display->primarySurface);
            clearSurface(display->backSurface);
            // Lets a freshly set display mode settle before the first frame.
            Sleep(200);
        }
    }
    if (settings.windowed && setupWindowDisplay(settings, display) == DisplayStatus::ready)
        clearSurface(display->primarySurface);
    return DisplayStatus::ready;
}

void clearSurface(IDirectDrawSurface2* surface) {
    if (surface == nullptr) return;
    DDBLTFX fx{};
    fx.dwSize = sizeof(fx);
    fx.dwFillColor = 0;
    surface->Blt(nullptr, nullptr, nullptr, DDBLT_COLORFILL | DDBLT_WAIT, &fx);
}

void releaseDisplay(DisplayObjects* display) {
    deviceList.clear();
    deviceCount = 0;
    // The back buffer's reference came from GetAttachedSurface and goes before its chain.
    releaseObject(display->backSurface);
    releaseObject(display->primarySurface);
    if (display->directDraw2 != nullptr && display->exclusive) {
        display->directDraw2->RestoreDisplayMode();
        Sleep(restoreSettleMs);
    }
    releaseObject(display->directDraw2);
    *display = DisplayObjects{};
}
