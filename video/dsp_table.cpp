#include "video/dsp_table.h"

#include <algorithm>
#include <atomic>

namespace {

constexpr SimdLevel levels[] = {SimdLevel::none, SimdLevel::avx2, SimdLevel::avx512,
                                SimdLevel::avx512vbmi};

// One record for every level, each capped at the available one, built on first use.
struct Records {
    VideoDsp at[std::size(levels)];
    Records() {
        for (SimdLevel level : levels)
            initVideoDsp(at[int(level)], std::min(level, simdAvailable()));
    }
};

const Records& records() {
    static const Records built;
    return built;
}

// The record in use; switching it is a pointer store, so a decoder reading it never sees a
// record half filled.
std::atomic<const VideoDsp*>& inUse() {
    static std::atomic<const VideoDsp*> record{&records().at[int(simdAvailable())]};
    return record;
}

} // namespace

void initVideoDsp(VideoDsp& dsp, SimdLevel level) {
    dsp = {};
    for (SimdLevel step : levels) {
        if (step > level) break;
        dsp.level = step;
        addIdctForms(dsp, step);
        addType3Forms(dsp, step);
        addType4Forms(dsp, step);
        addDorForms(dsp, step);
    }
}

const VideoDsp& videoDspAt(SimdLevel level) {
    return records().at[int(std::min(level, simdAvailable()))];
}

const VideoDsp& videoDsp() {
    return *inUse().load(std::memory_order_acquire);
}

SimdLevel simdLevel() {
    return videoDsp().level;
}

bool simdEnabled() {
    return simdLevel() != SimdLevel::none;
}

void setSimdLevel(SimdLevel level) {
    inUse().store(&videoDspAt(level), std::memory_order_release);
}
