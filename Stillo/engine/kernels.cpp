#include "engine/kernels.h"

#include <atomic>

// Defined by engine/kernels/baseline.cpp and, where it is built, engine/kernels/avx2.cpp.
extern const KERNEL_FORM kBaselineKernels;
#if STILLO_AVX2_FORM
extern const KERNEL_FORM kAvx2Kernels;
#endif

namespace {

std::atomic<bool> g_allowWide{true};

} // namespace

void AllowWideInstructions(bool allow) {
    g_allowWide.store(allow, std::memory_order_relaxed);
}

const KERNEL_FORM& Kernels() {
#if STILLO_AVX2_FORM
    static const bool processorHasAvx2 = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("popcnt");
    }();
    if (processorHasAvx2 && g_allowWide.load(std::memory_order_relaxed)) {
        return kAvx2Kernels;
    }
#endif
    return kBaselineKernels;
}
