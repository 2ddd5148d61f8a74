// The frames of a file, damaged or unusual: what the source says of a file keeps matching what
// it delivers. A frame delivered once is delivered again at once, and again after every frame
// after it; the count never drops below a frame delivered; and asking whether the next step
// delivers tells what that step does, with decoding ahead on and off.
#include "VideoGrabber.h"
#include "tests/fuzz/fuzz_input.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace {

// Enough frames to pass a key interval and the decode-on distance; a backward grab of a stream
// numbered by decode order goes back to a key picture met before, or to the start.
constexpr int32_t kFrames = 24;

void ExpectCountCovers(const CVideoGrabber& g, const std::vector<int32_t>& delivered) {
    // Delivered in rising order: the last is the highest.
    fuzz::Expect(delivered.empty() || g.m_nFrameCount > delivered.back(),
                 "the count never drops below a frame already delivered");
}

bool OpenFile(CVideoGrabber& g, const std::string& path, bool ahead) {
    int w = 0, h = 0;
    g.m_nFrameCount = g.Open(path.c_str(), &w, &h, 1, 0);
    g.SetLookAhead(ahead);
    return g.m_nFrameCount > 0;
}

// The first frames that decoding on from the opening delivers.
std::vector<int32_t> DeliveredOnward(const std::string& path) {
    std::vector<int32_t> delivered;
    CVideoGrabber g(nullptr, nullptr, 4);
    const int32_t frames = OpenFile(g, path, false) ? std::min(g.m_nFrameCount.load(), kFrames) : 0;
    for (int32_t n = 0; n < frames; ++n) {
        if (g.GrabFrame(n, 1.0f, 1, 1)) {
            delivered.push_back(n);
        }
    }
    return delivered;
}

// Forwards, with a jump to the last frame half-way (a seek, which may read on less than
// decoding on did), then backwards; and the frames decoding on delivers once more.
void ForwardThenBackward(CVideoGrabber& g, int32_t frames, const std::vector<int32_t>& onward) {
    std::vector<int32_t> delivered;
    for (int32_t n = 0; n < frames; ++n) {
        if (n == frames / 2) {
            g.GrabFrame(g.m_nFrameCount - 1, 1.0f, 1, 1);
            ExpectCountCovers(g, delivered);
        }
        if (g.GrabFrame(n, 1.0f, 1, 1)) {
            delivered.push_back(n);
            fuzz::Expect(g.GrabFrame(n, 1.0f, 1, 1) == 1,
                         "a frame delivered once is delivered again at once");
        }
        ExpectCountCovers(g, delivered);
    }
    for (auto n = delivered.rbegin(); n != delivered.rend(); ++n) {
        fuzz::Expect(g.GrabFrame(*n, 1.0f, 1, 1) == 1,
                     "every frame delivered forwards is delivered again backwards");
    }
    ExpectCountCovers(g, delivered);
    for (const int32_t n : onward) {
        fuzz::Expect(g.GrabFrame(n, 1.0f, 1, 1) == 1,
                     "every frame decoding on from the opening delivers is reachable after seeks");
    }
}

// A run's steps from frame 0: each answer of NextStepDelivers is what the step after it does.
void Steps(CVideoGrabber& g, int32_t step) {
    g.m_nStep = step;
    g.m_nCurrentFrame = 0;
    if (!g.GrabFrame(0, 1.0f, 1, 1)) {
        return;
    }
    for (int i = 0; i < kFrames / step; ++i) {
        const int32_t target = std::min(g.m_nCurrentFrame + step, g.m_nFrameCount - 1);
        const bool told = g.NextStepDelivers();
        const bool delivered = g.StepFrame() == 1 && g.m_nCurrentFrame == target;
        fuzz::Expect(told == delivered, "NextStepDelivers agrees with the StepFrame that follows");
        if (!told) {
            return;
        }
    }
}

// Pictures are opened by the name their kind gives them, as a user's files are: a name that
// ends in .jpg, .png or .bmp is read as a picture sequence, unlike the same bytes under another.
std::string NameFor(const uint8_t* data, size_t size) {
    const std::pair<std::string, const char*> kinds[] = {
        {"\xFF\xD8\xFF", "frames.jpg"}, {"\x89PNG", "frames.png"}, {"BM", "frames.bmp"}};
    for (const auto& [magic, name] : kinds) {
        if (size >= magic.size() && std::memcmp(magic.data(), data, magic.size()) == 0) {
            return name;
        }
    }
    return "frames";
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The opener prints its progress; thousands of inputs a second would drown the output.
    static const bool quiet = std::freopen("/dev/null", "w", stdout) != nullptr;
    (void)quiet;
    const std::string path = fuzz::ScratchFile(NameFor(data, size).c_str());
    if (!fuzz::WriteFile(path, data, size)) {
        return 0;
    }
    const std::vector<int32_t> onward = DeliveredOnward(path);
    for (const bool ahead : {false, true}) {
        CVideoGrabber g(nullptr, nullptr, 4);
        if (!OpenFile(g, path, ahead)) {
            break;
        }
        if (!ahead) {
            ForwardThenBackward(g, std::min(g.m_nFrameCount.load(), kFrames), onward);
        }
        Steps(g, ahead ? 1 : 3);
    }
    std::remove(path.c_str());
    return 0;
}
