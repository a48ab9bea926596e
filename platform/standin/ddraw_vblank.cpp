// Vertical blank timing of the stand-in display: blanks fall on whole refresh periods since a
// fixed start, so WaitForVerticalBlank and a page flip with DDFLIP_WAIT wait for the next one
// as display hardware does. A display with no refresh rate (the headless default) has no
// timing: its waits return at once.
#include <thread>

#include "platform/standin/ddraw_internal.h"

namespace qzplat::detail {

namespace {

using Clock = std::chrono::steady_clock;
using Nanoseconds = std::chrono::nanoseconds;
constexpr std::int64_t nanosecondsPerSecond = 1000000000;

Clock::time_point epoch() {
    static const Clock::time_point start = Clock::now();
    return start;
}

} // namespace

std::uint64_t blankNumber(Clock::time_point when, DWORD rate) {
    if (rate == 0 || when < epoch()) return 0;
    std::int64_t since = std::chrono::duration_cast<Nanoseconds>(when - epoch()).count();
    return std::uint64_t(since / nanosecondsPerSecond * rate +
                         since % nanosecondsPerSecond * rate / nanosecondsPerSecond);
}

Clock::time_point nextVerticalBlank(Clock::time_point when, DWORD rate) {
    if (rate == 0) return when;
    std::uint64_t next = blankNumber(when, rate) + 1;
    // Rounded up, so that the blank number at the returned time is next.
    std::int64_t at = std::int64_t(next / rate) * nanosecondsPerSecond +
                      (std::int64_t(next % rate) * nanosecondsPerSecond + rate - 1) / rate;
    return epoch() + Nanoseconds(at);
}

HRESULT awaitFlip(Surface* surface, std::unique_lock<std::mutex>& lock, DWORD flags) {
    // Only the screen's own flip chain is shown at a blank; overlays flip at once.
    Device* device = surface->device;
    if (surface->dead || device == nullptr || surface->kind != SurfaceKind::primary) return DD_OK;
    Clock::time_point shown = device->flipShown;
    if (device->profile.refreshRate == 0 || Clock::now() >= shown) return DD_OK;
    if (!(flags & DDFLIP_WAIT)) return DDERR_WASSTILLDRAWING;
    // The device stays usable by other threads while this one waits.
    lock.unlock();
    std::this_thread::sleep_until(shown);
    lock.lock();
    return DD_OK;
}

void noteFlip(Surface* surface) {
    Device* device = surface->device;
    if (device == nullptr || surface->kind != SurfaceKind::primary) return;
    device->flipShown = nextVerticalBlank(Clock::now(), device->profile.refreshRate);
}

} // namespace qzplat::detail

namespace qzplat {

std::uint64_t verticalBlankNumber() {
    DWORD rate = 0;
    {
        std::lock_guard lock(detail::state().mutex);
        if (const detail::Device* device = detail::state().screenDevice)
            rate = device->profile.refreshRate;
    }
    return detail::blankNumber(std::chrono::steady_clock::now(), rate);
}

} // namespace qzplat
