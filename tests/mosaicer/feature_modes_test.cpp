// The feature mode the user interface hands over, and the edge windows Edges mode accepts.
#include "Mosaicer.h"
#include "tests/support/frame_buffer.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

using stillo_test::FrameBuffer;
using stillo_test::MakeFrame;
using stillo_test::Rgb;

FrameBuffer Squares() {
    return MakeFrame(96, 80, [](int x, int y) {
        return (x / 12 + y / 10) % 2 == 0 ? Rgb{200, 180, 160} : Rgb{40, 60, 80};
    });
}

// One frame through an owner in the given mode with the given edge (smoothing) window.
int AddOneFrame(int mode, int window) {
    const FrameBuffer frame = Squares();
    CMosaicer m;
    m.SetFeatureMode(mode);
    if (m.Init("c:", 96, 80, 2, 77, 2, 93, 10, 0) != 1) {
        return -1;
    }
    m.m_settings.nSmoothWindow = window;
    return m.AddFrame(frame.bytes.data(), frame.bytes.size());
}

} // namespace

TEST(FeatureModes, OnlyTheModesThatExistAreTaken) {
    CMosaicer m;
    EXPECT_EQ(m.GetFeatureMode(), kFeatureRegions);
    m.SetFeatureMode(kFeatureEdges);
    EXPECT_EQ(m.GetFeatureMode(), kFeatureEdges);
    for (int unknown : {2, -1, 3, 255, INT_MIN, INT_MAX}) {
        m.SetFeatureMode(unknown);
        EXPECT_EQ(m.GetFeatureMode(), kFeatureEdges) << unknown;
    }
    // The mode taken is the one the run extracts with.
    const FrameBuffer frame = Squares();
    ASSERT_EQ(m.Init("c:", 96, 80, 2, 77, 2, 93, 10, 0), 1);
    ASSERT_EQ(m.AddFrame(frame.bytes.data(), frame.bytes.size()), 1);
    EXPECT_EQ(m.m_settings.nFeatureMode, kFeatureEdges);
    EXPECT_GT(m.m_frame.nCurEdgeCount, 0);
    m.SetFeatureMode(kFeatureRegions);
    m.SetFeatureMode(7);
    m.NextFrame();
    ASSERT_EQ(m.AddFrame(frame.bytes.data(), frame.bytes.size()), 1);
    EXPECT_EQ(m.m_settings.nFeatureMode, kFeatureRegions);
}

TEST(FeatureModesDeathTest, EdgesModeRefusesEdgeWindowsOutsideItsLimits) {
    for (int window : {-1, 0, 1, 2, 64, 65}) {
        EXPECT_EXIT(AddOneFrame(kFeatureEdges, window), testing::ExitedWithCode(1), "")
            << "window " << window;
    }
    // The limits themselves run, and Regions mode takes windows Edges mode refuses.
    EXPECT_EQ(AddOneFrame(kFeatureEdges, 3), 1);
    EXPECT_EQ(AddOneFrame(kFeatureEdges, 63), 1);
    EXPECT_EQ(AddOneFrame(kFeatureRegions, 1), 1);
    EXPECT_EQ(AddOneFrame(kFeatureRegions, 65), 1);
}
