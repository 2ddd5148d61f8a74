// The engine through its owner: frame size, trim window, run length, pixel format, modes and
// the frame buffers' lengths all come from the input, then Init and a short run of AddFrame,
// NextFrame and Compose over panning frames. A refused Init leaves nothing usable; a buffer
// shorter than a frame is never read.
#include "Mosaicer.h"
#include "engine/records.h"
#include "tests/fuzz/fuzz_input.h"

#include <algorithm>
#include <vector>

namespace {

// A window edge: usually near the frame, sometimes any number at all.
int Edge(fuzz::Input& in, int size) {
    return in.Range(0, 7) == 0 ? in.I32() : in.Range(-2, size + 1);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Input in(data, size);
    const int w = in.Range(1, 80);
    const int h = in.Range(1, 80);
    const int rowStart = Edge(in, h), rowEnd = Edge(in, h);
    const int colStart = Edge(in, w), colEnd = Edge(in, w);
    const int frameCount = in.Flag() ? in.Range(-3, 20) : in.I32();
    const int format = in.Range(0, 3);
    CMosaicer m;
    m.m_settings.nFeatureMode = in.Flag() ? kFeatureEdges : kFeatureRegions;
    m.m_settings.bBlend = in.Flag() ? 1 : 0;
    m.m_settings.bThickBrush = in.Flag() ? 1 : 0;
    if (!m.Init("c:", w, h, rowStart, rowEnd, colStart, colEnd, frameCount, format)) {
        std::vector<uint8_t> any(16, 0);
        fuzz::Expect(!m.IsReady() && m.AddFrame(any.data(), any.size()) == 0,
                     "a refused Init leaves the engine unusable");
        return 0;
    }
    const size_t need = m.RequiredFrameBytes();
    const int frames = in.Range(1, 6);
    const int dx = in.Range(-6, 6);
    const std::vector<uint8_t> texture = in.Rest();
    for (int f = 0; f < frames; ++f) {
        // The picture pans dx pixels a frame over the input's own bytes.
        std::vector<uint8_t> frame(need);
        for (size_t i = 0; i < frame.size(); ++i) {
            const size_t at = i + static_cast<size_t>(f * dx * 3 + 1000000);
            frame[i] =
                texture.empty() ? static_cast<uint8_t>(at * 37) : texture[at % texture.size()];
        }
        // Now and then a buffer short of the frame.
        const size_t length = (f == 1 && !texture.empty() && texture[0] < 16) ? need / 2 : need;
        int added = 0;
        if (f == 0) {
            added = m.AddFrame(frame.data(), length);
        } else {
            m.NextFrame();
            added = m.AddFrame(frame.data(), length);
            m.Compose(f, f == frames - 1);
        }
        fuzz::Expect(!added || length >= need, "a buffer short of a frame is refused");
    }
    return 0;
}
