#include "video/dct/simd_switch.h"

namespace {

SimdLevel probe() {
#if QZ_X86_SIMD
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx512f")) {
        const bool bytePermutes =
            __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vbmi");
        return bytePermutes ? SimdLevel::avx512vbmi : SimdLevel::avx512;
    }
    if (__builtin_cpu_supports("avx2")) return SimdLevel::avx2;
#endif
    return SimdLevel::none;
}

} // namespace

SimdLevel simdAvailable() {
    static const SimdLevel available = probe();
    return available;
}
