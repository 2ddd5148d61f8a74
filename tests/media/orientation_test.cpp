// Display matrices as FFmpeg builds them, read into an orientation, and the stored picture
// turned by it, against each stored pixel carried to where the matrix puts it.
#include "platform/media/orientation.h"

extern "C" {
#include <libavutil/display.h>
}

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

namespace {

constexpr uint8_t kUntouched = 0xAB;

struct MatrixCase {
    const char* name;
    double clockwise; // degrees, as av_display_rotation_set takes them
    bool hflip;
    bool vflip;
    int scale; // the 2 x 2 part multiplied by it; 0 zeroes it
    // The quarter-turn matrix the picture is turned by: stored (p, q) goes to
    // (a p + c q, b p + d q), rows counted downwards.
    int a, b, c, d;
};

// The upright picture by carrying every stored pixel to where the matrix puts it, the result
// shifted so that its corner lies at (0, 0).
std::vector<uint8_t> Carried(const std::vector<uint8_t>& stored, int w, int h, const MatrixCase& m,
                             int* outW, int* outH) {
    const int minX = std::min(0, m.a * (w - 1)) + std::min(0, m.c * (h - 1));
    const int minY = std::min(0, m.b * (w - 1)) + std::min(0, m.d * (h - 1));
    *outW = m.a != 0 ? w : h;
    *outH = m.a != 0 ? h : w;
    std::vector<uint8_t> out(stored.size());
    for (int q = 0; q < h; ++q) {
        for (int p = 0; p < w; ++p) {
            const int x = m.a * p + m.c * q - minX, y = m.b * p + m.d * q - minY;
            std::memcpy(out.data() + 3 * (static_cast<size_t>(y) * *outW + x),
                        stored.data() + 3 * (static_cast<size_t>(q) * w + p), 3);
        }
    }
    return out;
}

TEST(Orientation, PicturesTurnWhereTheDisplayMatrixPutsThem) {
    const MatrixCase cases[] = {
        {"none", 0, false, false, 1, 1, 0, 0, 1},
        {"quarter clockwise", 90, false, false, 1, 0, 1, -1, 0},
        {"half", 180, false, false, 1, -1, 0, 0, -1},
        {"quarter counter-clockwise", 270, false, false, 1, 0, -1, 1, 0},
        {"minus a quarter", -90, false, false, 1, 0, -1, 1, 0},
        {"mirror", 0, true, false, 1, -1, 0, 0, 1},
        {"upside down mirror", 0, false, true, 1, 1, 0, 0, -1},
        {"quarter and mirror", 90, true, false, 1, 0, 1, 1, 0},
        {"three quarters and mirror", 270, true, false, 1, 0, -1, -1, 0},
        {"scaled quarter", 90, false, false, 3, 0, 1, -1, 0},
        // Between quarter turns: the nearest one.
        {"nearly a quarter", 88.6, false, false, 1, 0, 1, -1, 0},
        {"past an eighth", 45.5, false, false, 1, 0, 1, -1, 0},
        {"short of an eighth", 30, false, false, 1, 1, 0, 0, 1},
        {"nearly half", 150, false, false, 1, -1, 0, 0, -1},
        // Nothing to go by: as stored.
        {"zero", 0, false, false, 0, 1, 0, 0, 1},
    };
    // Matrices that fold both axes onto one line turn nothing.
    const int32_t ontoX[9] = {65536, 0, 0, 65536, 0, 0, 0, 0, 1 << 30};
    const int32_t ontoY[9] = {0, 65536, 0, 0, -65536, 0, 0, 0, 1 << 30};
    EXPECT_TRUE(media::OrientationOf(ontoX).Upright());
    EXPECT_TRUE(media::OrientationOf(ontoY).Upright());
    const std::pair<int, int> sizes[] = {{1, 1}, {5, 1}, {1, 4}, {7, 3}, {64, 32}, {70, 35}};
    uint32_t seed = 1;
    for (const MatrixCase& m : cases) {
        // The matrix as a file would carry it.
        int32_t matrix[9];
        av_display_rotation_set(matrix, m.clockwise);
        av_display_matrix_flip(matrix, m.hflip, m.vflip);
        for (int i : {0, 1, 3, 4}) {
            matrix[i] *= m.scale;
        }
        const media::Orientation o = media::OrientationOf(matrix);
        for (auto [w, h] : sizes) {
            SCOPED_TRACE(testing::Message() << m.name << " " << w << "x" << h);
            std::vector<uint8_t> stored(static_cast<size_t>(3) * w * h);
            std::mt19937 rng(seed++);
            std::generate(stored.begin(), stored.end(), [&] { return uint8_t(rng()); });
            int uw = 0, uh = 0;
            const std::vector<uint8_t> want = Carried(stored, w, h, m, &uw, &uh);
            ASSERT_EQ(media::UprightWidth(o, w, h), uw);
            ASSERT_EQ(media::UprightHeight(o, w, h), uh);
            // Stored and upright rows either way up in memory; padding after each upright row
            // that must stay as it was.
            for (int way = 0; way < 4; ++way) {
                const bool storedUp = (way & 1) != 0, outUp = (way & 2) != 0;
                const ptrdiff_t sp = 3 * w, op = 3 * uw + 5;
                std::vector<uint8_t> src(stored.size());
                for (int q = 0; q < h; ++q) {
                    std::memcpy(src.data() + sp * (storedUp ? h - 1 - q : q),
                                stored.data() + sp * q, sp);
                }
                std::vector<uint8_t> out(static_cast<size_t>(op) * uh, kUntouched);
                media::TurnUpright(src.data() + (storedUp ? sp * (h - 1) : 0), storedUp ? -sp : sp,
                                   w, h, o, out.data() + (outUp ? op * (uh - 1) : 0),
                                   outUp ? -op : op);
                for (int y = 0; y < uh; ++y) {
                    const uint8_t* row = out.data() + op * (outUp ? uh - 1 - y : y);
                    ASSERT_EQ(std::memcmp(row, want.data() + 3 * static_cast<size_t>(uw) * y,
                                          3 * static_cast<size_t>(uw)),
                              0)
                        << "row " << y << (storedUp ? " stored bottom-up" : "")
                        << (outUp ? " written bottom-up" : "");
                    ASSERT_TRUE(std::all_of(row + 3 * uw, row + op,
                                            [](uint8_t v) { return v == kUntouched; }))
                        << "padding of row " << y;
                }
            }
        }
    }
}

} // namespace
