// Runs a test once in each instruction form of the engine's fast paths: the baseline x86-64
// form and the AVX2 form (on a processor without AVX2, the baseline form again).
#pragma once

#include "engine/cpu_dispatch.h"

#include <gtest/gtest.h>

#include <string>

namespace stillo_test {

class InstructionForms : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override { AllowWideInstructions(GetParam()); }
    void TearDown() override { AllowWideInstructions(true); }
};

inline std::string InstructionFormName(const ::testing::TestParamInfo<bool>& info) {
    return info.param ? "Wide" : "Baseline";
}

} // namespace stillo_test

#define STILLO_INSTRUCTION_FORMS(fixture)                                                          \
    INSTANTIATE_TEST_SUITE_P(InstructionForms, fixture, ::testing::Values(false, true),            \
                             stillo_test::InstructionFormName)
