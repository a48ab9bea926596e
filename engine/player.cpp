// Opening, starting and closing a movie, and the play thread's body.
#include <algorithm>
#include <new>

#include "engine/sound_output.h"
#include "display/display.h"
#include "video/colour_tables.h"
#include "engine/play_loop.h"
#include "engine/player_access.h"
#include "engine/reader.h"
#include "api/shared.h"

namespace {

constexpr DWORD startPollMs = 20;
constexpr LONG defaultGamma = 100;

void __cdecl playThreadMain(void* arg) {
    playerRun(static_cast<PlayerConfig*>(arg));
}

} // namespace

PlayerConfig* playerOpen(const char* fileName, HWND window, PlayerConfig* config) {
    return playerOpenAt(fileName, window, config, 0);
}

PlayerConfig* playerOpenAt(const char* fileName, HWND window, PlayerConfig* config, LONG startMs) {
    if (playerCreate(fileName, window, config) == nullptr) return nullptr;
    sharedStore(config->context->autoClose, LONG{1});
    // The seek is taken before the loop's first pass shows anything, so the movie's first
    // picture never shows when playing starts further on.
    PlayerTimeline timeline{};
    if (startMs > 0 && playerTimeline(config, &timeline) == 0 && timeline.slots > 0) {
        const long long slot = static_cast<long long>(startMs) * timeline.slotRateMilli / 1000000;
        playerSeek(config, static_cast<LONG>(std::min<long long>(slot, timeline.slots - 1)));
    }
    const int started = playerStart(config);
    if (started == 0) return config;
    // A movie that could not be started is closed again, so that a null result never leaves
    // anything open behind the caller's back. (One played synchronously has closed itself.)
    if (started < 0) closeMovie(config);
    return nullptr;
}

PlayerConfig* playerCreate(const char* fileName, HWND window, PlayerConfig* config) {
    auto* ctx = new (std::nothrow) PlayerContext{};
    if (ctx == nullptr) return nullptr;
    ctx->config = config;
    ctx->display.config = config;
    config->window = window;
    if ((config->flags & gammaGiven) == 0) config->gamma = defaultGamma;
    if (readerLoad(fileName, ctx) != 0) {
        delete ctx;
        return nullptr;
    }
    sharedStore(config->context, ctx);
    audioSetup(ctx);
    displaySetup(&ctx->display);
    // The decoders' conversion tables follow the display's pixel format.
    if (ctx->display.displayReady) buildColourTables(config->pixelFormat, config->gamma);
    InterlockedExchange(&config->state, stateOpen);
    return config;
}

int playerStart(PlayerConfig* config) {
    if ((config->flags & ownThread) == 0) {
        playerRun(config);
        return 1;
    }
    const std::uintptr_t thread = _beginthread(playThreadMain, 0, config);
    if (thread == static_cast<std::uintptr_t>(-1)) return -1;
    config->thread = thread;
    // Marks the start unless the loop has already moved the state on; then waits for the
    // loop to be under way. A state the loop has written is never overwritten here.
    compareExchangeState(config, stateOpen, stateStarting);
    for (;;) {
        const LONG state = sharedLoad(config->state);
        if (state != stateOpen && state != stateStarting) break;
        Sleep(startPollMs);
    }
    return 0;
}

void playerRun(PlayerConfig* config) {
    const bool threaded = (config->flags & ownThread) != 0;
    // Read before the loop: once the loop has ended, a caller may free the context.
    const bool autoClose = sharedLoad(config->context->autoClose) != 0;
    playLoop(config);
    if (autoClose) closeMovie(config);
    if (threaded) _endthread();
}

int playerClose(PlayerConfig* config) {
    const LONG autoClose = movieAutoClose(config);
    if (autoClose < 0) return 0;
    const LONG state = sharedLoad(config->state);
    // A movie that closes itself is only asked to stop; its play thread does the close.
    if (autoClose != 0 && state != stateOpen) return playerStop(config);
    // Closing under a running loop would pull the buffers from under it: stop it first.
    if (state >= stateStarting && state <= stateStopping) playerStop(config);
    closeMovie(config);
    return 0;
}
