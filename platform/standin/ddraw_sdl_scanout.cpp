// The stand-in display on SDL: one device profile per SDL display, and a scan-out sink that
// takes each composed screen from the presenting thread and shows it in the program's window
// through a streaming texture, scaled to the window with its aspect ratio kept. The window
// thread draws each screen as it arrives (its sleeps wait for screens), not only when it pumps
// messages.
#include <SDL.h>
#include <algorithm>
#include <condition_variable>
#include <mutex>

#include "platform/standin/ddraw_internal.h"
#include "platform/standin/window_sdl.h"

namespace qzplat::detail {

namespace {

// Hands screens from the presenting thread to the window thread: present() only copies.
class SdlScanout final : public ScanoutSink {
  public:
    void present(const ScreenImage& screen, bool) override {
        // Runs with the device lock held, so the screen device's profile can be read here.
        int display = 0;
        if (const Device* device = state().screenDevice) {
            const auto& profiles = state().profiles;
            for (std::size_t i = 1; i < profiles.size(); ++i) {
                if (profiles[i].guid == device->profile.guid) display = int(i);
            }
        }
        std::lock_guard lock(mutex);
        pending.width = screen.width;
        pending.height = screen.height;
        pending.pixels.assign(screen.pixels.begin(), screen.pixels.end());
        pendingDisplay = display;
        fresh = true;
        ++received;
        arrived.notify_all();
    }

    // Waits until a screen not yet taken is there or deadline has passed; true when one is.
    bool waitForScreen(std::chrono::steady_clock::time_point deadline) {
        std::unique_lock lock(mutex);
        return arrived.wait_until(lock, deadline, [this] { return fresh; });
    }

    void countDrawn() {
        std::lock_guard lock(mutex);
        ++drawn;
    }

    ScanoutCounts counts() {
        std::lock_guard lock(mutex);
        return {received, drawn};
    }

    void reset() {
        std::lock_guard lock(mutex);
        pending = ScreenImage{};
        fresh = false;
        received = drawn = 0;
    }

    // Moves a new screen into shown; false when there is none.
    bool take(ScreenImage& shown, int& display) {
        std::lock_guard lock(mutex);
        if (!fresh) return false;
        std::swap(shown, pending);
        display = pendingDisplay;
        fresh = false;
        return true;
    }

  private:
    std::mutex mutex;
    std::condition_variable arrived;
    ScreenImage pending;
    int pendingDisplay = 0;
    bool fresh = false;
    long received = 0;
    long drawn = 0;
};

SdlScanout sink;
// Vertical blanks a second of a display that does not say.
constexpr DWORD defaultRefreshRate = 60;
// Window-thread state: what the window shows.
ScreenImage shown;
int shownDisplay = 0;
SDL_Texture* texture = nullptr;
SDL_Renderer* textureOwner = nullptr;
int textureWidth = 0, textureHeight = 0;
// The part of the screen the window shows (a window fitted to the picture); empty: all of it.
RECT source{};

DisplayFormat formatOf(Uint32 pixelFormat) {
    switch (pixelFormat) {
    case SDL_PIXELFORMAT_RGB565:
        return DisplayFormat::rgb565;
    case SDL_PIXELFORMAT_RGB555:
        return DisplayFormat::rgb555;
    case SDL_PIXELFORMAT_INDEX8:
        return DisplayFormat::palette8;
    default:
        return DisplayFormat::rgb888;
    }
}

// The window covers the display whose device composed the screen.
void followDisplay(SDL_Window* window, int display) {
    if (SDL_GetNumVideoDisplays() < 2 || SDL_GetWindowDisplayIndex(window) == display) return;
    SDL_Rect bounds;
    if (SDL_GetDisplayBounds(display, &bounds) != 0) return;
    SDL_SetWindowPosition(window, bounds.x, bounds.y);
    SDL_SetWindowSize(window, bounds.w, bounds.h);
}

bool readyTexture(SDL_Renderer* renderer) {
    int width = int(shown.width), height = int(shown.height);
    if (texture != nullptr && textureOwner == renderer && textureWidth == width &&
        textureHeight == height)
        return true;
    if (texture != nullptr && textureOwner != nullptr) SDL_DestroyTexture(texture);
    texture = SDL_CreateTexture(renderer, SDL_PIXELFORMAT_RGB888, SDL_TEXTUREACCESS_STREAMING,
                                width, height);
    textureOwner = texture != nullptr ? renderer : nullptr;
    textureWidth = width;
    textureHeight = height;
    return texture != nullptr;
}

} // namespace

void drawScanout(SDL_Window* window, bool redraw) {
    bool fresh = sink.take(shown, shownDisplay);
    if (!fresh && !redraw) return;
    SDL_Renderer* renderer = SDL_GetRenderer(window);
    if (renderer == nullptr) return;
    if (textureOwner != renderer) {
        texture = nullptr; // it went with its renderer
        textureOwner = nullptr;
    }
    bool part = source.right > source.left && source.bottom > source.top &&
                DWORD(source.right) <= shown.width && DWORD(source.bottom) <= shown.height;
    if (source.right <= source.left) followDisplay(window, shownDisplay);
    SDL_SetRenderDrawColor(renderer, 0, 0, 0, 255);
    SDL_RenderClear(renderer);
    if (shown.width != 0 && shown.height != 0 && readyTexture(renderer)) {
        if (fresh) SDL_UpdateTexture(texture, nullptr, shown.pixels.data(), int(shown.width * 4));
        int outWidth = 0, outHeight = 0;
        SDL_GetRendererOutputSize(renderer, &outWidth, &outHeight);
        SDL_Rect from{0, 0, int(shown.width), int(shown.height)};
        if (part)
            from = SDL_Rect{int(source.left), int(source.top), int(source.right - source.left),
                            int(source.bottom - source.top)};
        // The largest rectangle of the shown part's shape that fits, centred.
        std::int64_t width = outWidth;
        std::int64_t height = width * from.h / from.w;
        if (height > outHeight) {
            height = outHeight;
            width = height * from.w / from.h;
        }
        SDL_Rect dest{int((outWidth - width) / 2), int((outHeight - height) / 2), int(width),
                      int(height)};
        SDL_RenderCopy(renderer, texture, &from, &dest);
    }
    SDL_RenderPresent(renderer);
    if (fresh) sink.countDrawn();
}

bool waitForScreen(std::chrono::steady_clock::time_point deadline) {
    return sink.waitForScreen(deadline);
}

void setScanoutSource(const RECT* part) {
    source = part != nullptr ? *part : RECT{};
}

void startSdlScanout() {
    std::vector<DeviceProfile> profiles;
    const char* driver = SDL_GetCurrentVideoDriver();
    for (int i = 0; i < SDL_GetNumVideoDisplays(); ++i) {
        DeviceProfile profile;
        SDL_DisplayMode mode;
        if (SDL_GetDesktopDisplayMode(i, &mode) == 0) {
            profile.width = DWORD(std::max(mode.w, 1));
            profile.height = DWORD(std::max(mode.h, 1));
            profile.format = formatOf(mode.format);
            if (mode.refresh_rate > 0) profile.refreshRate = DWORD(mode.refresh_rate);
        }
        if (profile.refreshRate == 0) profile.refreshRate = defaultRefreshRate;
        // The stand-in converts and stretches YUY2 in software, for overlays and blits alike.
        profile.caps = capsOverlayYuv | capsBltYuv;
        profile.fourCCs = {fourCCYuy2};
        profile.driverName = i == 0 ? "display" : "display" + std::to_string(i + 1);
        const char* name = SDL_GetDisplayName(i);
        profile.description =
            std::string(name ? name : "Display") + " (" + (driver ? driver : "SDL") + ")";
        if (i > 0)
            profile.guid =
                GUID{0x51D2A000u + DWORD(i), 0x7A3C, 0x11D0, {0x8F, 0x2E, 0, 0, 0, 0, 0, BYTE(i)}};
        profiles.push_back(profile);
    }
    setDeviceProfiles(profiles);
    sink.reset();
    setScanoutSink(&sink);
}

void stopSdlScanout() {
    setScanoutSink(nullptr);
    texture = nullptr;
    textureOwner = nullptr;
    shown = ScreenImage{};
    source = RECT{};
}

} // namespace qzplat::detail

namespace qzplat {

ScanoutCounts sdlScanoutCounts() {
    return detail::sink.counts();
}

} // namespace qzplat
