// Includes planted for the layering check (tests/layering/CMakeLists.txt); never compiled.
// Line by line as planted: the test names the lines.
// clang-format off
#include "tiler2/SaverApp.h"

#include "engine/mosaic_params.h"
#include "engine/pixel444.h"

#include <jpeglib.h>
#include <sys/stat.h>

#include "engine/records.h"        // the saving library reads two engine headers, no more
#include <libavformat/avformat.h>  // and knows nothing of video
