// A caller thread may look into the context (for autoClose) while the play thread closes the
// movie. Readers announce themselves in a process-wide count before they load the pointer; a
// closer clears the pointer first and frees only once the count is back to zero. With both
// sides sequentially consistent, a reader either sees the null or is waited for.
#include "engine/player_access.h"

#include <atomic>

#include "engine/sound_output.h"
#include "display/display.h"
#include "engine/reader.h"
#include "api/shared.h"

namespace {

constexpr DWORD closePollMs = 1;

LONG contextReaders = 0;

LONG readAutoClose(PlayerConfig* config) {
    InterlockedIncrement(&contextReaders);
    const PlayerContext* ctx = sharedLoad(config->context);
    const LONG autoClose = ctx != nullptr ? sharedLoad(ctx->autoClose) : -1;
    InterlockedDecrement(&contextReaders);
    return autoClose;
}

} // namespace

bool compareExchangeState(PlayerConfig* config, LONG expected, LONG desired) {
    return std::atomic_ref<LONG>(config->state).compare_exchange_strong(expected, desired);
}

LONG movieAutoClose(PlayerConfig* config) {
    for (;;) {
        const LONG autoClose = readAutoClose(config);
        if (autoClose >= 0) return autoClose;
        // No context while the state still reads 5: a close is under way and ends with 6.
        if (sharedLoad(config->state) != stateStopped) return -1;
        Sleep(closePollMs);
    }
}

bool withOpenContext(PlayerConfig* config, const std::function<void(PlayerContext*)>& use) {
    InterlockedIncrement(&contextReaders);
    PlayerContext* ctx = sharedLoad(config->context);
    if (ctx != nullptr) use(ctx);
    InterlockedDecrement(&contextReaders);
    return ctx != nullptr;
}

void closeMovie(PlayerConfig* config) {
    PlayerContext* ctx = std::atomic_ref<PlayerContext*>(config->context).exchange(nullptr);
    if (ctx == nullptr) return;
    config->elapsedMs = ctx->endTick - ctx->startTick;
    readerRelease(ctx);
    audioTeardown(ctx);
    displayRelease(&ctx->display);
    releaseVideoState(ctx->video);
    while (sharedLoad(contextReaders) != 0) Sleep(0);
    delete ctx;
    // A caller that sees 6 may reuse the record at once.
    InterlockedExchange(&config->state, stateClosed);
}
