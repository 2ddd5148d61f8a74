// Includes planted for the layering check (tests/layering/CMakeLists.txt); never compiled.
// Line by line as planted: the test names the lines.
// clang-format off
#pragma once

#include "engine/records.h"
#include "numeric/rounding.h"

#include <immintrin.h>
#  include <vector>

#include "Mosaicer.h"        // the program lies above the engine
#include "../Mosaicer.h"     // the same, by a path of its own
#include "engine/../Mosaicer.h"
#include "tiler2/SaverApp.h" // the saving library is no layer of the engine
#include <QString>           // nor is Qt
#include <jpeglib.h>         // nor the saving library's JPEG writer
