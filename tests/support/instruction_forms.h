// Runs a test once in each instruction form of the engine's fast paths: the baseline x86-64
// form and the AVX2 form (on a processor without AVX2, the baseline form again).
#pragma once

#include "engine/kernels.h"

#include <gtest/gtest.h>

#include <string>

namespace stillo_test {

// What the processor offers, asked of it directly.
inline bool ProcessorHasWideForms() {
#if defined(__GNUC__) && defined(__x86_64__)
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("popcnt");
#else
    return false;
#endif
}

class InstructionForms : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override {
        AllowWideInstructions(GetParam());
        // Each form is what it says: the wide one exactly when asked for and the processor has it.
        ASSERT_EQ(Kernels().avx2, GetParam() && ProcessorHasWideForms());
    }
    void TearDown() override { AllowWideInstructions(true); }
};

inline std::string InstructionFormName(const ::testing::TestParamInfo<bool>& info) {
    return info.param ? "Wide" : "Baseline";
}

} // namespace stillo_test

#define STILLO_INSTRUCTION_FORMS(fixture)                                                          \
    INSTANTIATE_TEST_SUITE_P(InstructionForms, fixture, ::testing::Values(false, true),            \
                             stillo_test::InstructionFormName)
