// Includes planted for the layering check (tests/layering/CMakeLists.txt); never compiled.
// Line by line as planted: the test names the lines.
// clang-format off
#include "numeric/gamma.h"

#include <cmath>
#include <unistd.h>

#include "engine/records.h" // the engine lies above the numerical routines
