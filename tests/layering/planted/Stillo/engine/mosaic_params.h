// Includes planted for the layering check (tests/layering/CMakeLists.txt); never compiled.
// Line by line as planted: the test names the lines.
// clang-format off
#pragma once

#include <cstdint>

#include "engine/image.h" // the saving library reads this header without the engine
