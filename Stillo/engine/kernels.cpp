#include "engine/kernels.h"

#include <atomic>

// Defined by engine/kernels/baseline.cpp and, where it is built, engine/kernels/avx2.cpp.
extern const KERNEL_FORM kBaselineKernels;
#if STILLO_AVX2_FORM
extern const KERNEL_FORM kAvx2Kernels;
#endif

namespace {

bool ProcessorHasAvx2() {
#if STILLO_AVX2_FORM
    static const bool has = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("popcnt");
    }();
    return has;
#else
    return false;
#endif
}

std::atomic<bool> g_allowWide{true};

} // namespace

bool UseAvx2() {
    return ProcessorHasAvx2() && g_allowWide.load(std::memory_order_relaxed);
}

void AllowWideInstructions(bool allow) {
    g_allowWide.store(allow, std::memory_order_relaxed);
}

const KERNEL_FORM& Kernels() {
#if STILLO_AVX2_FORM
    if (UseAvx2()) {
        return kAvx2Kernels;
    }
#endif
    return kBaselineKernels;
}
