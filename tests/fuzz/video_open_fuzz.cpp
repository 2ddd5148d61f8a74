// The video opener: the input is a file, opened at full and at half size, with a few frames
// grabbed and stepped to. Nothing may crash, leak, overflow or hang; a grab outside the file
// delivers nothing, and a step announced as delivering does deliver.
#include "VideoGrabber.h"
#include "tests/fuzz/fuzz_input.h"

#include <cstdio>

namespace {

void Exercise(CVideoGrabber& g, const std::string& path, int half) {
    int w = 0, h = 0;
    const bool hadFile = g.HasFile();
    const int32_t count = g.Open(path.c_str(), &w, &h, 1, half);
    if (count <= 0) {
        fuzz::Expect(g.HasFile() == hadFile && (hadFile || g.GrabFrame(0, 1.0f, 1, 1) == 0),
                     "a refused file leaves the source as it was");
        return;
    }
    g.m_nFrameCount = count;
    fuzz::Expect(w > 0 && h > 0, "an opened file has a picture size");
    const float scale = CVideoGrabber::PreviewScale(w, h);
    for (const int32_t n : {0, count - 1, count / 2, count, -1}) {
        const int delivered = g.GrabFrame(n, scale, 1, 1);
        fuzz::Expect(!delivered || (n >= 0 && n < g.m_nFrameCount),
                     "nothing is delivered outside the file");
    }
    g.m_nCurrentFrame = 0;
    g.m_nStep = 1;
    for (int i = 0; i < 3; ++i) {
        const bool next = g.NextStepDelivers();
        fuzz::Expect(g.StepFrame() != 0 || !next, "a step announced as delivering delivers");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The opener prints its progress; thousands of inputs a second would drown the output.
    static const bool quiet = std::freopen("/dev/null", "w", stdout) != nullptr;
    (void)quiet;
    static const std::string path = fuzz::ScratchFile("video");
    if (!fuzz::WriteFile(path, data, size)) {
        return 0;
    }
    CVideoGrabber grabber(nullptr, nullptr, 4);
    Exercise(grabber, path, 0);
    Exercise(grabber, path, 1);
    std::remove(path.c_str());
    return 0;
}
