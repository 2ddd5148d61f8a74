// The clipped-window means of one row of column sums, or the source row normalised by them
// (ByteWindowMeans in engine/window_means.h), kIntLanes positions a step.
#pragma once

#include "engine/kernels/lanes.h"
#include "engine/window_means.h"

namespace {

// A stretch of positions of one row that treat the window alike: whether a column enters the
// window at each step (i + half inside the row), whether one leaves it (i - half - 1 inside),
// and the window's columns at the first position, changing by `step` a position.
struct Stretch {
    int32_t first;
    int32_t end;
    int32_t columns;
    int32_t step;
};

struct MeansRow {
    const int32_t* colSums;
    int32_t half;
    int32_t count;
    const uint8_t* src; // null: the means themselves
    uint8_t* out;
};

inline uint8_t FloatMean(int32_t s, int32_t d) {
    return static_cast<uint8_t>(
        static_cast<int32_t>(static_cast<float>(s) / static_cast<float>(d)));
}

// The positions that do not fill the lanes, one by one.
template <bool kEnter, bool kLeave>
void StretchOneByOne(const MeansRow& a, const Stretch& st, int32_t first, int32_t& s) {
    for (int32_t i = first; i < st.end; ++i) {
        if (kEnter) {
            s += a.colSums[i + a.half];
        }
        if (kLeave) {
            s -= a.colSums[i - a.half - 1];
        }
        const uint8_t mean = FloatMean(s, (st.columns + (i - st.first) * st.step) * a.count);
        a.out[i] = a.src == nullptr ? mean : NormalisedPixel(a.src[i], mean);
    }
}

// The window sums of a step's positions are the running sum before them plus the running sums
// of what enters and leaves across the lanes; the running sum goes on from the last lane. The
// quotients are those of NormalisedPixel and FloatMean, lane by lane: integers held exactly in
// single precision (see kExactMeanDivisors), each quotient at least 255 when it clips.
template <bool kEnter, bool kLeave>
int32_t StretchOnLanes(const MeansRow& a, const Stretch& st, int32_t& s) {
    LaneInts carry = LaneInts{} + s;
    const float stepDivisor = static_cast<float>(st.step * a.count);
    LaneFloats divisor = static_cast<float>(st.columns * a.count) + stepDivisor * LaneIndices();
    const float stepLanes = static_cast<float>(kIntLanes) * stepDivisor;
    int32_t i = st.first;
    for (; i + kIntLanes <= st.end; i += kIntLanes) {
        LaneInts change{};
        if (kEnter) {
            change = LoadInts(a.colSums + i + a.half);
        }
        if (kLeave) {
            change -= LoadInts(a.colSums + i - a.half - 1);
        }
        const LaneInts sums = PrefixSums(change) + carry;
        carry = LastEverywhere(sums);
        LaneInts value = Truncated(ToFloats(sums) / divisor);
        divisor += stepLanes;
        if (a.src != nullptr) {
            // 128 src / mean, a mean of 0 taken as 1 and its pixel set to 255 or more.
            const LaneInts zeroMean = value == 0;
            const LaneFloats pixels = 128.0f * ToFloats(WidenBytes(a.src + i));
            value = Truncated(pixels / ToFloats(value - zeroMean)) | (zeroMean & 255);
        }
        StoreClippedBytes(value, a.out + i);
    }
    s = carry[0];
    return i;
}

template <bool kEnter, bool kLeave>
void RunStretch(const MeansRow& a, const Stretch& st, int32_t& s) {
    if (st.first >= st.end) {
        return;
    }
    const int32_t i = StretchOnLanes<kEnter, kLeave>(a, st, s);
    StretchOneByOne<kEnter, kLeave>(a, st, i, s);
}

void ByteMeansRow(const int32_t* colSums, int32_t n, int32_t window, int32_t count,
                  const uint8_t* src, uint8_t* out) {
    if (n < 1) {
        return;
    }
    const int32_t half = window / 2;
    const MeansRow a{colSums, half, count, src, out};
    int32_t s = 0;
    for (int32_t i = 0; i < Least(half, n); ++i) {
        s += colSums[i];
    }
    // Position i takes in column i + half while that lies in the row (i < n - half) and lets
    // go of column i - half - 1 once that does (i > half).
    const int32_t entersUntil = Most(0, n - half);
    const int32_t leavesFrom = Least(half + 1, n);
    if (leavesFrom <= entersUntil) {
        // Clipped on the left, whole windows, clipped on the right.
        RunStretch<true, false>(a, {0, leavesFrom, half + 1, 1}, s);
        RunStretch<true, true>(a, {leavesFrom, entersUntil, 2 * half + 1, 0}, s);
        RunStretch<false, true>(a, {entersUntil, n, n - entersUntil + half, -1}, s);
    } else {
        // A row shorter than the window: clipped on the left, the whole row, on the right.
        RunStretch<true, false>(a, {0, entersUntil, half + 1, 1}, s);
        RunStretch<false, false>(a, {entersUntil, leavesFrom, n, 0}, s);
        RunStretch<false, true>(a, {leavesFrom, n, n - leavesFrom + half, -1}, s);
    }
}

} // namespace
