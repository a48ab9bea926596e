#include "video/dct/simd_switch.h"

#include <atomic>

namespace {

bool probeAvx2() {
#if QZ_X86_SIMD
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
#else
    return false;
#endif
}

std::atomic<bool>& enabledFlag() {
    static std::atomic<bool> flag{simdAvailable()};
    return flag;
}

} // namespace

bool simdAvailable() {
    static const bool available = probeAvx2();
    return available;
}

bool simdEnabled() {
    return enabledFlag().load(std::memory_order_relaxed);
}

void setSimdEnabled(bool on) {
    enabledFlag().store(on && simdAvailable(), std::memory_order_relaxed);
}
