// The owner's AddFrame: the trim window's features end in the packed map, in either mode.
#include "Mosaicer.h"
#include "tests/support/frame_buffer.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>

TEST(MosaicerFeatures, AddFrameEndsWithThePackedMapOrReportsTheFailure) {
    using stillo_test::MakeFrame;
    using stillo_test::Rgb;
    auto frame = MakeFrame(96, 80, [](int x, int y) {
        const bool inside = x >= 30 && x < 60 && y >= 20 && y < 50;
        return inside ? Rgb{200, 200, 200} : Rgb{50, 50, 50};
    });
    CMosaicer m;
    ASSERT_EQ(m.Init("strip", 96, 80, 2, 77, 2, 93, 10, 0), 1);
    ASSERT_EQ(m.AddFrame(frame.bytes.data(), frame.bytes.size()), 1);
    uint32_t total = 0;
    for (int r = 0; r < m.m_nWorkRows; ++r) {
        const auto* words = reinterpret_cast<const uint16_t*>(m.m_frame.ppCurMask[r]);
        unsigned bits = 0;
        for (int w = 0; w < (m.m_nWorkCols + 15) / 16; ++w) {
            bits += static_cast<unsigned>(std::popcount(words[w]));
        }
        ASSERT_EQ(m.m_frame.pCurCounts[r], bits);
        total += bits;
    }
    EXPECT_GT(total, 100u); // the square's outline
    EXPECT_EQ(m.m_frame.nMaskWords, m.m_nWorkCols >> 4);

    m.SetFeatureMode(kFeatureEdges);
    ASSERT_EQ(m.NextFrame(), 1);
    ASSERT_EQ(m.AddFrame(frame.bytes.data(), frame.bytes.size()), 1);
    EXPECT_GT(m.m_frame.nCurEdgeCount, 100); // the square's edges
}
