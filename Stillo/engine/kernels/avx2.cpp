// The kernels for processors with AVX2 and the population-count instruction: this file alone is
// built with them (engine/CMakeLists.txt).
#include "engine/kernels/form.h"

static_assert(ThisForm().avx2, "engine/kernels/avx2.cpp is built without AVX2");

extern const KERNEL_FORM kAvx2Kernels;
constexpr KERNEL_FORM kAvx2Kernels = ThisForm();
