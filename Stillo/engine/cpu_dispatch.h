// The build targets baseline x86-64, which every processor of the family runs. The hottest
// loops are compiled a second time for AVX2 and chosen at run time from what the processor
// reports, so the same program is fast where it can be and still runs everywhere. Both forms
// give the same bits: they differ only in how many lanes do the same arithmetic.
#pragma once

#if defined(__GNUC__) && defined(__x86_64__)
#define STILLO_X86_DISPATCH 1
// The wider form of a function: AVX2 and the population-count instruction, both checked at run
// time. Never FMA: no product may be fused into a sum.
#define STILLO_TARGET_AVX2 __attribute__((target("avx2,popcnt")))
#else
#define STILLO_X86_DISPATCH 0
#define STILLO_TARGET_AVX2
#endif

// True when the AVX2 forms may run: the processor has them and they are not switched off.
bool UseAvx2();

// Switches the wider forms off (false) or back to what the processor allows (true). Tests use
// it to check the baseline forms on a machine that has the wider ones.
void AllowWideInstructions(bool allow);

// Defines `void name params` running `name##Body args`, an always-inlined body of plain loops,
// compiled twice: for baseline x86-64 and for AVX2, where the compiler puts the same loops on
// wider lanes. The form is chosen per call.
#if STILLO_X86_DISPATCH
#define STILLO_DISPATCHED(name, params, args)                                                      \
    void name##Baseline params {                                                                   \
        name##Body args;                                                                           \
    }                                                                                              \
    STILLO_TARGET_AVX2 void name##Avx2 params {                                                    \
        name##Body args;                                                                           \
    }                                                                                              \
    void name params {                                                                             \
        if (UseAvx2()) {                                                                           \
            name##Avx2 args;                                                                       \
        } else {                                                                                   \
            name##Baseline args;                                                                   \
        }                                                                                          \
    }
#else
#define STILLO_DISPATCHED(name, params, args)                                                      \
    void name params {                                                                             \
        name##Body args;                                                                           \
    }
#endif
