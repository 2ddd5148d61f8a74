// The process-wide canvas mutex. Canvas growth holds it while it replaces buffers and moves
// extents; the mosaic-view renderer only tries it (zero time-out) and skips a render when it
// is held. Recursive: the holding thread may take it again. Made once for the process.
#pragma once

#include <mutex>

extern std::recursive_mutex g_hCanvasMutex;
