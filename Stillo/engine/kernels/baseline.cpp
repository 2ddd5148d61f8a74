// The kernels for baseline x86-64 (or the target's baseline), which every processor runs.
#include "engine/kernels/form.h"

extern const KERNEL_FORM kBaselineKernels;
constexpr KERNEL_FORM kBaselineKernels = ThisForm();
