#include "engine/cpu_dispatch.h"

#include <atomic>

namespace {

struct CpuFlags {
    bool avx2 = false;
    bool popcount = false;
};

CpuFlags Detect() {
    CpuFlags flags;
#if STILLO_X86_DISPATCH
    __builtin_cpu_init();
    flags.avx2 = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi2") &&
                 __builtin_cpu_supports("popcnt");
    flags.popcount = __builtin_cpu_supports("popcnt");
#endif
    return flags;
}

const CpuFlags& Flags() {
    static const CpuFlags flags = Detect();
    return flags;
}

std::atomic<bool> g_allowWide{true};

} // namespace

bool UseAvx2() {
    return Flags().avx2 && g_allowWide.load(std::memory_order_relaxed);
}

bool UsePopcount() {
    return Flags().popcount && g_allowWide.load(std::memory_order_relaxed);
}

void AllowWideInstructions(bool allow) {
    g_allowWide.store(allow, std::memory_order_relaxed);
}
