// The trackbar as the user sees and works it: clicks on the track it draws, and which of its
// explicit ticks it draws.
#include "platform/ui/controls.h"

#include <QImage>
#include <QTest>
#include <gtest/gtest.h>

#include <cstdlib>
#include <set>
#include <vector>

using ui::Trackbar;

namespace {

// The frame slider's size on the work form (212 x 24 dialog units) and its range for a video
// of 100 frames.
void MakeFrameSlider(Trackbar& tb) {
    tb.resize(318, 39);
    tb.setRange(1, 99);
    for (int t : {0, 9, 19, 29, 39, 49, 59, 69, 79, 89}) {
        tb.SetTic(t);
    }
}

QImage Picture(Trackbar& tb) {
    return tb.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

bool IsTickColumn(const Trackbar& tb, int x) {
    for (int t : tb.Tics()) {
        if (std::abs(tb.TicX(t) - x) <= 1) {
            return true;
        }
    }
    return false;
}

// Rows of column x that the slider painted, against a picture of the same slider with no
// track: its background.
std::vector<int> PaintedRows(const QImage& img, int x) {
    std::vector<int> rows;
    const QRgb background = img.pixel(x, 0);
    for (int y = 0; y < img.height(); ++y) {
        if (img.pixel(x, y) != background) {
            rows.push_back(y);
        }
    }
    return rows;
}

} // namespace

// A page is a fifth of the range, taken again each time the range is set. A click anywhere on
// the track as drawn pages the slider towards the click; the rows above and below the track do
// nothing.
TEST(Trackbar, ClickOnTheDrawnTrackPagesTowardsTheClick) {
    Trackbar tb;
    EXPECT_EQ(tb.pageStep(), 20); // 0 to 100
    const struct {
        int min, max, page;
    } ranges[] = {{1, 479, 95}, {-7, 12, 3}, {5, 8, 1}, {3, 3, 1}};
    for (const auto& r : ranges) {
        tb.setRange(r.min, r.max);
        EXPECT_EQ(tb.pageStep(), r.page) << r.min << ".." << r.max;
    }
    MakeFrameSlider(tb);
    ASSERT_EQ(tb.pageStep(), 19);
    const struct {
        int from, x, to;
    } cases[] = {
        {1, 240, 20},  // right of the handle: one page up
        {80, 80, 61},  // left of it: one page down
        {90, 300, 99}, // a page beyond the end stops at the end
    };
    for (const auto& c : cases) {
        tb.setValue(c.from);
        const QImage img = Picture(tb);
        // A column of the track between two ticks, away from the handle.
        int x = c.x;
        while (IsTickColumn(tb, x)) {
            ++x;
        }
        const std::vector<int> rows = PaintedRows(img, x);
        ASSERT_GE(rows.size(), 3u) << "no track drawn at x " << x;
        for (int y : rows) {
            tb.setValue(c.from);
            QTest::mouseClick(&tb, Qt::LeftButton, {}, QPoint(x, y));
            EXPECT_EQ(tb.value(), c.to) << "click at " << x << "," << y;
        }
        // Well above the drawn track: nothing.
        tb.setValue(c.from);
        QTest::mouseClick(&tb, Qt::LeftButton, {}, QPoint(x, rows.front() - 6));
        EXPECT_EQ(tb.value(), c.from);
    }
}

// Only ticks inside the range are drawn: the tick at 0 of a slider that starts at 1 is kept in
// the list but not shown, and one past the end neither. Each case compares the slider with one
// more tick against the slider with the tick at 50 alone.
TEST(Trackbar, TicksOutsideTheRangeAreNotDrawn) {
    auto picture = [](const std::vector<int>& tics, Trackbar& tb) {
        tb.resize(318, 39);
        tb.setRange(1, 99);
        for (int t : tics) {
            tb.SetTic(t);
        }
        return Picture(tb);
    };
    Trackbar reference;
    const QImage alone = picture({50}, reference);
    const struct {
        int extra;
        bool shown;
    } cases[] = {{0, false}, {100, false}, {-5, false}, {1, true}, {99, true}, {20, true}};
    for (const auto& c : cases) {
        Trackbar tb;
        const QImage img = picture({50, c.extra}, tb);
        EXPECT_EQ(tb.Tics(), (std::vector<int>{50, c.extra}));
        std::set<int> changed;
        for (int x = 0; x < img.width(); ++x) {
            for (int y = 0; y < img.height(); ++y) {
                if (img.pixel(x, y) != alone.pixel(x, y)) {
                    changed.insert(x);
                    break;
                }
            }
        }
        const std::set<int> expected = c.shown ? std::set<int>{tb.TicX(c.extra)} : std::set<int>{};
        EXPECT_EQ(changed, expected) << "extra tick " << c.extra;
    }
}
