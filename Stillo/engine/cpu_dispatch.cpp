#include "engine/cpu_dispatch.h"

#include <atomic>

namespace {

bool Detect() {
#if STILLO_X86_DISPATCH
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("popcnt");
#else
    return false;
#endif
}

bool ProcessorHasAvx2() {
    static const bool has = Detect();
    return has;
}

std::atomic<bool> g_allowWide{true};

} // namespace

bool UseAvx2() {
    return ProcessorHasAvx2() && g_allowWide.load(std::memory_order_relaxed);
}

void AllowWideInstructions(bool allow) {
    g_allowWide.store(allow, std::memory_order_relaxed);
}
