#include "engine/lines.h"

#include "engine/edges.h"
#include "engine/feature_extraction.h"
#include "engine/regions.h"

#include "numeric/random.h"
#include "numeric/rounding.h"
#include "numeric/vectors.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <type_traits>

namespace {

// Direction bytes: the line's angle plus a quarter turn, times 81.1 (so 0..254). They are read
// back with the double in the accumulator and the float in the fit.
constexpr double kQuarterTurn = 1.5707964897155762; // the float 1.5707965, as a double
constexpr float kQuarterTurnF = 1.5707965f;
constexpr float kHalfTurnF = 3.141593f;
constexpr float kDirectionScale = 81.1f;
constexpr double kDirectionStep = 0.012330456226880395; // 1 / 81.1
constexpr float kDirectionStepF = 0.012330457f;
constexpr int kLargestDirection = 254;
constexpr double kMagnitudeScale = 0.025;

constexpr int kHoughDegrees = 180;
constexpr double kDegreesPerRadian = 57.29577357044915;
constexpr double kRadiansPerDegree = 0.017453294330173067;
constexpr double kLevelDegrees = 90.0;

constexpr int kSupportWindow = 5;
constexpr int kLargestFactor = 64;
constexpr int kClusterRounds = 20;

// The level line through the middle of an image of `rows` rows: the answer wherever no line can
// be fitted, so that callers always receive finite values.
void LevelLine(uint16_t rows, float* slope, float* intercept) {
    *slope = 0.0f;
    *intercept = (static_cast<float>(rows) - 1.0f) / 2.0f;
}

// A one-based vector of the numerical routines (v[1..n]) that releases itself; like every
// allocation of those routines, a failure ends the process through numeric_error.
template <class T> class OneBased {
public:
    explicit OneBased(int n) : m_n(n), m_v(Allocate(n)) {}
    ~OneBased() { Release(m_v, m_n); }
    OneBased(const OneBased&) = delete;
    OneBased& operator=(const OneBased&) = delete;
    T& operator[](int i) const { return m_v[i]; }
    T* get() const { return m_v; }

private:
    static T* Allocate(int n) {
        if constexpr (std::is_same_v<T, float>) {
            return numeric::vector(1, n);
        } else {
            return numeric::ivector(1, n);
        }
    }
    static void Release(T* v, int n) {
        if constexpr (std::is_same_v<T, float>) {
            numeric::release_vector(v, 1, n);
        } else {
            numeric::release_ivector(v, 1, n);
        }
    }
    int m_n;
    T* m_v;
};

// The magnitude byte of a kept pixel: never 0 (that would read as no edge) and never wrapped.
uint8_t MagnitudeByte(float squaredMagnitude) {
    const double scaled = kMagnitudeScale * static_cast<double>(squaredMagnitude);
    return static_cast<uint8_t>(std::clamp(std::trunc(scaled), 1.0, 255.0));
}

// The direction byte of a gradient: the angle of the line across it, folded into a half turn.
uint8_t DirectionByte(float gx, float gy) {
    const float phi0 = std::atan2(gy, gx) + kQuarterTurnF;
    double folded;
    if (static_cast<double>(phi0) <= kQuarterTurn) {
        folded = (phi0 + kQuarterTurn) * kDirectionScale;
    } else {
        folded = ((phi0 - kHalfTurnF) + kQuarterTurn) * kDirectionScale;
    }
    return static_cast<uint8_t>(std::clamp(std::trunc(folded), 0.0, double{kLargestDirection}));
}

enum class KeptMagnitude { Scaled, Full };

void SuppressWithDirection(float* const* gx, float* const* gy, int cols, int prevSlot,
                           int centreSlot, int nextSlot, int window, uint8_t* magnitudeRow,
                           uint8_t* directionRow, double threshold, KeptMagnitude kept,
                           bool eager) {
    if (cols <= 0) {
        return;
    }
    const double limit = threshold * threshold;
    const float* cx = gx[centreSlot];
    const float* cy = gy[centreSlot];
    magnitudeRow[0] = magnitudeRow[cols - 1] = 0;
    directionRow[0] = directionRow[cols - 1] = 0;
    for (int x = 1; x < cols - 1; ++x) {
        magnitudeRow[x] = 0;
        directionRow[x] = 0;
        const float gxc = cx[x];
        const float gyc = cy[x];
        if (std::fabs(gxc) < 0.01f && std::fabs(gyc) < 0.01f) {
            continue;
        }
        const float m2 = gxc * gxc + gyc * gyc;
        if (static_cast<double>(m2) <= limit) {
            continue;
        }
        bool peak;
        if (eager) {
            const float side0 = GradientNeighbour(gx, gy, prevSlot, centreSlot, nextSlot, x, 0);
            const float side1 = GradientNeighbour(gx, gy, prevSlot, centreSlot, nextSlot, x, 1);
            peak = m2 > side0 && m2 > side1;
        } else {
            peak = m2 > GradientNeighbour(gx, gy, prevSlot, centreSlot, nextSlot, x, 0) &&
                   m2 > GradientNeighbour(gx, gy, prevSlot, centreSlot, nextSlot, x, 1);
        }
        if (!peak) {
            continue;
        }
        magnitudeRow[x] = kept == KeptMagnitude::Full ? 255 : MagnitudeByte(m2);
        directionRow[x] = DirectionByte(gxc, gyc);
    }
    const size_t margin = static_cast<size_t>(std::min(std::max(window, 0) / 2, cols));
    std::memset(magnitudeRow, 0, margin);
    std::memset(magnitudeRow + cols - margin, 0, margin);
    std::memset(directionRow, 0, margin);
    std::memset(directionRow + cols - margin, 0, margin);
}

struct DirectionEdgesContext {
    IMAGE2D magnitude;
    IMAGE2D direction;
    double threshold;
};

void SuppressIntoImages(void* context, const EDGE_GRADIENT_ROWS& rows) {
    const auto* edges = static_cast<const DirectionEdgesContext*>(context);
    SuppressNonMaximaWithDirection(rows.gx, rows.gy, rows.window + 1, rows.cols, rows.prevSlot,
                                   rows.centreSlot, rows.nextSlot, rows.window,
                                   edges->magnitude[rows.outputRow],
                                   edges->direction[rows.outputRow], edges->threshold);
}

// A float value as an int when it is one within range, else false: the guard of every
// conversion from the floating point values of the fits and the votes.
bool TruncatesToInt(double value, int64_t* out) {
    constexpr double kLimit = 2147483648.0; // 2^31
    if (!(value > -kLimit - 1.0 && value < kLimit)) {
        return false;
    }
    *out = static_cast<int64_t>(value);
    return true;
}

// The reduced image and the thinned, masked edges of it, as the detectors all begin.
struct EdgeFrontEnd {
    uint16_t rows = 0;
    uint16_t cols = 0;
    RowImage mask;
    RowImage magnitude;
    RowImage direction;
};

// 1 when the edges were found (or the reduced image is empty: rows or cols 0), 0 when memory ran
// out.
int FindDirectedEdges(IMAGE2D image, uint16_t rows, uint16_t cols, int window, int threshold,
                      int factor, EdgeFrontEnd* edges) {
    if (factor < 1 || factor > kLargestFactor) {
        std::exit(1);
    }
    if (factor != 1) {
        const size_t entries = static_cast<size_t>(factor) * factor * 256;
        HeapBlock<uint8_t> divide = ZeroedBlock<uint8_t>(entries);
        if (!divide) {
            return 0;
        }
        const size_t cells = static_cast<size_t>(factor) * factor;
        for (size_t i = 0; i < entries; ++i) {
            divide.get()[i] = static_cast<uint8_t>(i / cells);
        }
        ReduceImage(image, rows, cols, factor, divide.get());
    }
    edges->rows = static_cast<uint16_t>(rows / factor);
    edges->cols = static_cast<uint16_t>(cols / factor);
    const uint16_t r = edges->rows;
    const uint16_t c = edges->cols;
    if (r == 0 || c == 0) {
        return 1;
    }
    edges->mask = RowImage(r, c);
    edges->magnitude = RowImage(r, c);
    edges->direction = RowImage(r, c);
    if (!edges->mask || !edges->magnitude || !edges->direction) {
        return 0;
    }
    ErodeBinary(image, edges->mask.get(), r, c, kSupportWindow);
    if (DetectEdgesWithDirection(image, r, c, window, threshold, edges->magnitude.get(),
                                 edges->direction.get()) == 0) {
        return 0;
    }
    int percent = 0;
    ThinEdgeImage(edges->magnitude.get(), r, c, &percent);
    ThinEdgeImage(edges->direction.get(), r, c, &percent);
    MaskImage(edges->magnitude.get(), edges->mask.get(), r, c);
    MaskImage(edges->direction.get(), edges->mask.get(), r, c);
    return 1;
}

// A rows x 180 accumulator of 32-bit cells that releases itself.
class HoughAccumulator {
public:
    explicit HoughAccumulator(uint16_t rows)
        : m_rows(rows), m_cells(AllocArray2DInt(rows, kHoughDegrees)) {}
    ~HoughAccumulator() { FreeArray2DInt(m_cells, m_rows); }
    HoughAccumulator(const HoughAccumulator&) = delete;
    HoughAccumulator& operator=(const HoughAccumulator&) = delete;
    int32_t** get() const { return m_cells; }

private:
    uint16_t m_rows;
    int32_t** m_cells;
};

// Steps 2 to 6 of the pair detectors: the binary edges (magnitude set and at least the moment
// threshold) into `binary`, their votes, the two clusters of occupied cells and the lines they
// stand for, intercepts moved from the centre column to column 0.
int LinesFromVotes(const EdgeFrontEnd& edges, RowImage* binary, float* a1, float* b1, float* a2,
                   float* b2) {
    const uint16_t r = edges.rows;
    const uint16_t c = edges.cols;
    int32_t threshold = 0;
    ComputeMomentThreshold(edges.magnitude.get(), r, c, &threshold);
    *binary = RowImage(r, c);
    HoughAccumulator votes(r);
    if (!*binary || votes.get() == nullptr) {
        return 0;
    }
    // A threshold of 0 would make every pixel an edge; only pixels with a magnitude count.
    ThresholdToImage(edges.magnitude.get(), r, c, threshold, binary->get());
    MaskImage(binary->get(), edges.magnitude.get(), r, c);
    AccumulateHoughLines(binary->get(), edges.direction.get(), r, c, votes.get());

    // At most rows x 180 occupied cells, which an int holds.
    int occupied = 0;
    for (int y = 0; y < r; ++y) {
        occupied += static_cast<int>(std::count_if(votes.get()[y], votes.get()[y] + kHoughDegrees,
                                                   [](int32_t v) { return v != 0; }));
    }
    OneBased<float> rowsList(occupied);
    OneBased<float> degreesList(occupied);
    int n = 0;
    for (int y = 0; y < r; ++y) {
        for (int d = 0; d < kHoughDegrees; ++d) {
            if (votes.get()[y][d] != 0) {
                ++n;
                rowsList[n] = static_cast<float>(y);
                degreesList[n] = static_cast<float>(d);
            }
        }
    }
    float d1 = 0.0f;
    float d2 = 0.0f;
    ClusterTwoMedians(rowsList.get(), degreesList.get(), n, b1, &d1, b2, &d2);
    *a1 = static_cast<float>(std::tan((d1 - kLevelDegrees) * kRadiansPerDegree));
    *a2 = static_cast<float>(std::tan((d2 - kLevelDegrees) * kRadiansPerDegree));
    *b1 = static_cast<float>(*b1 - c * static_cast<double>(*a1) * 0.5);
    *b2 = static_cast<float>(*b2 - c * static_cast<double>(*a2) * 0.5);
    return 1;
}

// Vertical distance of the row y (counted from the bottom) from the line at column x, the line's
// row truncated as a whole number would be; a line no number can hold is infinitely far.
double RowDistance(int y, int x, float slope, float intercept) {
    const double row = std::trunc(x * static_cast<double>(slope) + intercept);
    return std::isfinite(row) ? std::fabs(y - row) : std::numeric_limits<double>::infinity();
}

// One centre of a class from its one-based values[1..count]; nothing is written for an empty
// class, which keeps its centre.
using CentreOf = void (*)(float* values, int count, float* centre);

void MedianCentre(float* values, int count, float* centre) {
    numeric::median_by_sort(values, count, centre);
}

void MeanCentre(float* values, int count, float* centre) {
    if (count <= 0) {
        return;
    }
    double sum = 0.0;
    for (int i = 1; i <= count; ++i) {
        sum += values[i];
    }
    *centre = static_cast<float>(sum / count);
}

int ClusterTwo(const float* xs, const float* ys, int n, float* x1, float* y1, float* x2, float* y2,
               CentreOf centreOf) {
    *x1 = *y1 = *x2 = *y2 = 0.0f;
    n = std::max(n, 0);
    OneBased<int32_t> classes(n);
    OneBased<float> work(n);
    int32_t seed = -1;
    for (int i = 1; i <= n; ++i) {
        // A draw of exactly 1.0 would give class 3.
        const double u = numeric::RAN1(&seed);
        const int k = 1 - static_cast<int>(-2.0 * u);
        classes[i] = std::clamp(k, 1, 2);
    }
    auto centreOfClass = [&](int which, const float* coordinate, float* centre) {
        int count = 0;
        for (int i = 1; i <= n; ++i) {
            if (classes[i] == which) {
                work[++count] = coordinate[i];
            }
        }
        centreOf(work.get(), count, centre);
    };
    float previous[4] = {100.0f, 100.0f, 100.0f, 100.0f};
    auto settledOn = [&] {
        return *x1 == previous[0] && *y1 == previous[1] && *x2 == previous[2] && *y2 == previous[3];
    };
    int settled = 0;
    for (int round = 0; round < kClusterRounds && !settledOn(); ++round) {
        previous[0] = *x1;
        previous[1] = *y1;
        previous[2] = *x2;
        previous[3] = *y2;
        centreOfClass(1, xs, x1);
        centreOfClass(1, ys, y1);
        centreOfClass(2, xs, x2);
        centreOfClass(2, ys, y2);
        for (int i = 1; i <= n; ++i) {
            const double d1 = std::hypot(double{xs[i]} - *x1, double{ys[i]} - *y1);
            const double d2 = std::hypot(double{xs[i]} - *x2, double{ys[i]} - *y2);
            classes[i] = d2 > d1 ? 1 : 2;
        }
        if (settledOn()) {
            settled = 1;
        }
    }
    return settled;
}

} // namespace

void ErodeBinary(IMAGE2D src, IMAGE2D dst, uint16_t rows, uint16_t cols, int size) {
    // An even window has no centre: it would span size + 1 pixels a side.
    RequireOdd(size);
    const int h = size / 2;
    if (!(h < rows - h)) {
        return;
    }
    for (int y = h; y < rows - h; ++y) {
        uint8_t* out = dst[y];
        for (int x = h; x < cols - h; ++x) {
            bool whole = true;
            for (int dy = -h; dy <= h && whole; ++dy) {
                const uint8_t* in = src[y + dy];
                for (int dx = -h; dx <= h; ++dx) {
                    if (in[x + dx] == 0) {
                        whole = false;
                        break;
                    }
                }
            }
            out[x] = whole ? 255 : 0;
        }
    }
}

void MaskImage(IMAGE2D image, IMAGE2D mask, uint16_t rows, uint16_t cols) {
    for (int y = 0; y < rows; ++y) {
        uint8_t* row = image[y];
        const uint8_t* keep = mask[y];
        for (int x = 0; x < cols; ++x) {
            if (keep[x] == 0) {
                row[x] = 0;
            }
        }
    }
}

int DetectEdgesWithDirection(IMAGE2D image, uint16_t rows, uint16_t cols, int window,
                             double threshold, IMAGE2D magnitude, IMAGE2D direction) {
    DirectionEdgesContext context{magnitude, direction, threshold};
    return StreamSmoothedGradient(image, rows, cols, window, SuppressIntoImages, &context);
}

void SuppressNonMaximaWithDirection(float* const* gx, float* const* gy, int /*ringSize*/, int cols,
                                    int prevSlot, int centreSlot, int nextSlot, int window,
                                    uint8_t* magnitudeRow, uint8_t* directionRow,
                                    double threshold) {
    SuppressWithDirection(gx, gy, cols, prevSlot, centreSlot, nextSlot, window, magnitudeRow,
                          directionRow, threshold, KeptMagnitude::Scaled, false);
}

void SuppressNonMaximaDirection255(float* const* gx, float* const* gy, int /*ringSize*/, int cols,
                                   int prevSlot, int centreSlot, int nextSlot, int window,
                                   uint8_t* magnitudeRow, uint8_t* directionRow, double threshold) {
    SuppressWithDirection(gx, gy, cols, prevSlot, centreSlot, nextSlot, window, magnitudeRow,
                          directionRow, threshold, KeptMagnitude::Full, false);
}

void SuppressNonMaximaDirectionEager(float* const* gx, float* const* gy, int /*ringSize*/, int cols,
                                     int prevSlot, int centreSlot, int nextSlot, int window,
                                     uint8_t* magnitudeRow, uint8_t* directionRow,
                                     double threshold) {
    SuppressWithDirection(gx, gy, cols, prevSlot, centreSlot, nextSlot, window, magnitudeRow,
                          directionRow, threshold, KeptMagnitude::Full, true);
}

void ThinEdgeImage(IMAGE2D image, uint16_t rows, uint16_t cols, int* percentRemoved) {
    int pixelCount = 0;
    ThinEdges(image, rows, cols, percentRemoved, &pixelCount);
}

void AccumulateHoughLines(IMAGE2D edges, IMAGE2D direction, uint16_t rows, uint16_t cols,
                          int32_t** accumulator) {
    const int centre = cols >> 1;
    for (int y = 0; y < rows; ++y) {
        const int y0 = rows - 1 - y;
        for (int x = 0; x < cols; ++x) {
            if (edges[y][x] == 0) {
                continue;
            }
            const double theta = direction[y][x] * kDirectionStep - kQuarterTurn;
            const double t = std::tan(theta);
            int64_t b = 0;
            if (!TruncatesToInt(y0 - x * t + centre * t, &b) || b < 0 || b >= rows) {
                continue;
            }
            const int degree = std::clamp(
                static_cast<int>((theta + kQuarterTurn) * kDegreesPerRadian), 0, kHoughDegrees - 1);
            int32_t& cell = accumulator[b][degree];
            if (cell < std::numeric_limits<int32_t>::max()) {
                ++cell;
            }
        }
    }
}

int ClusterTwoMedians(const float* xs, const float* ys, int n, float* x1, float* y1, float* x2,
                      float* y2) {
    return ClusterTwo(xs, ys, n, x1, y1, x2, y2, MedianCentre);
}

int ClusterTwoMeans(const float* xs, const float* ys, int n, float* x1, float* y1, float* x2,
                    float* y2) {
    return ClusterTwo(xs, ys, n, x1, y1, x2, y2, MeanCentre);
}

void SplitEdgesBetweenLines(IMAGE2D edges, uint16_t rows, uint16_t cols, float slope1,
                            float intercept1, float slope2, float intercept2, IMAGE2D first,
                            IMAGE2D second) {
    for (int y = 0; y < rows; ++y) {
        const int yUp = rows - 1 - y;
        for (int x = 0; x < cols; ++x) {
            if (edges[y][x] == 0) {
                continue;
            }
            const bool nearerFirst =
                RowDistance(yUp, x, slope1, intercept1) < RowDistance(yUp, x, slope2, intercept2);
            (nearerFirst ? first : second)[y][x] = 255;
        }
    }
}

namespace {

// The edge pixels of a magnitude image in row-major order: row, column and the angle their
// direction byte stands for, in one-based lists.
struct EdgePixels {
    explicit EdgePixels(int n) : count(n), ys(n), xs(n), theta(n) {}
    int count;
    OneBased<int32_t> ys;
    OneBased<int32_t> xs;
    OneBased<float> theta;
};

int64_t CountEdgePixels(IMAGE2D magnitude, uint16_t rows, uint16_t cols) {
    int64_t pixels = 0;
    for (int y = 0; y < rows; ++y) {
        pixels +=
            std::count_if(magnitude[y], magnitude[y] + cols, [](uint8_t v) { return v != 0; });
    }
    return pixels;
}

void CollectEdgePixels(IMAGE2D magnitude, IMAGE2D direction, uint16_t rows, uint16_t cols,
                       EdgePixels* pixels) {
    int i = 0;
    for (int y = 0; y < rows; ++y) {
        for (int x = 0; x < cols; ++x) {
            if (magnitude[y][x] != 0) {
                ++i;
                pixels->ys[i] = y;
                pixels->xs[i] = x;
                pixels->theta[i] =
                    static_cast<float>(direction[y][x]) * kDirectionStepF - kQuarterTurnF;
            }
        }
    }
}

// The median angle, and the median distance of the angles from it.
void MedianAndDeviation(const EdgePixels& pixels, float* median, float* mad) {
    const int n = pixels.count;
    OneBased<float> work(n);
    std::copy(pixels.theta.get() + 1, pixels.theta.get() + n + 1, work.get() + 1);
    numeric::median_by_sort(work.get(), n, median);
    for (int k = 1; k <= n; ++k) {
        work[k] = std::fabs(*median - pixels.theta[k]);
    }
    numeric::median_by_sort(work.get(), n, mad);
}

// The least-squares line through the pixels whose angle lies within mad of the median, rows
// counted from the bottom; false when it is undetermined or beyond a float.
bool FitSelected(const EdgePixels& pixels, uint16_t rows, uint16_t cols, float median, float mad,
                 float* slope, float* intercept) {
    // Sums in 64 bits, the normal equations in double: squares of columns pass 32 bits on large
    // images.
    int64_t k = 0;
    int64_t sx = 0;
    int64_t sy = 0;
    double sxx = 0.0;
    double sxy = 0.0;
    int minX = cols;
    int maxX = -1;
    for (int p = 1; p <= pixels.count; ++p) {
        if (!(std::fabs(median - pixels.theta[p]) <= mad)) {
            continue;
        }
        const int64_t x = pixels.xs[p];
        const int64_t yUp = rows - pixels.ys[p] - 1;
        ++k;
        sx += x;
        sy += yUp;
        sxx += static_cast<double>(x * x);
        sxy += static_cast<double>(x * yUp);
        minX = std::min(minX, pixels.xs[p]);
        maxX = std::max(maxX, pixels.xs[p]);
    }
    // Fewer than two distinct columns leave the line undetermined (D = 0).
    if (k == 0 || minX == maxX) {
        return false;
    }
    const double kd = static_cast<double>(k);
    const double sxd = static_cast<double>(sx);
    const double syd = static_cast<double>(sy);
    const double d = kd * sxx - sxd * sxd;
    const double a = (sxy * kd - syd * sxd) / d;
    const double b = (syd * sxx - sxy * sxd) / d;
    constexpr double kFloatMax = std::numeric_limits<float>::max();
    if (!(d > 0.0 && std::fabs(a) <= kFloatMax && std::fabs(b) <= kFloatMax)) {
        return false;
    }
    *slope = static_cast<float>(a);
    *intercept = static_cast<float>(b);
    return true;
}

} // namespace

void FitLineRobust(IMAGE2D magnitude, IMAGE2D direction, uint16_t rows, uint16_t cols, float* slope,
                   float* intercept) {
    const int64_t pixels = CountEdgePixels(magnitude, rows, cols);
    // The lists are indexed by int: more pixels than that is more than a list can be given.
    if (pixels > std::numeric_limits<int32_t>::max()) {
        numeric::numeric_error("allocation failure in vector()");
    }
    if (pixels == 0) {
        LevelLine(rows, slope, intercept);
        return;
    }
    EdgePixels edges(static_cast<int>(pixels));
    CollectEdgePixels(magnitude, direction, rows, cols, &edges);
    float median = 0.0f;
    float mad = 0.0f;
    MedianAndDeviation(edges, &median, &mad);
    if (!FitSelected(edges, rows, cols, median, mad, slope, intercept)) {
        LevelLine(rows, slope, intercept);
    }
}

int DetectDominantLine(IMAGE2D image, uint16_t rows, uint16_t cols, int window, int threshold,
                       int factor, float* slope, float* intercept) {
    EdgeFrontEnd edges;
    const int found = FindDirectedEdges(image, rows, cols, window, threshold, factor, &edges);
    LevelLine(edges.rows, slope, intercept);
    if (found == 0 || edges.rows == 0 || edges.cols == 0) {
        return found;
    }
    FitLineRobust(edges.magnitude.get(), edges.direction.get(), edges.rows, edges.cols, slope,
                  intercept);
    return 1;
}

int DetectLinePair(IMAGE2D image, uint16_t rows, uint16_t cols, int window, int threshold,
                   int factor, float* slope1, float* intercept1, float* slope2, float* intercept2) {
    EdgeFrontEnd edges;
    const int found = FindDirectedEdges(image, rows, cols, window, threshold, factor, &edges);
    const uint16_t r = edges.rows;
    const uint16_t c = edges.cols;
    LevelLine(r, slope1, intercept1);
    LevelLine(r, slope2, intercept2);
    if (found == 0 || r == 0 || c == 0) {
        return found;
    }
    RowImage binary;
    float a1 = 0.0f;
    float b1 = 0.0f;
    float a2 = 0.0f;
    float b2 = 0.0f;
    if (LinesFromVotes(edges, &binary, &a1, &b1, &a2, &b2) == 0) {
        return 0;
    }
    // Each edge pixel goes to the nearer line, and each share is fitted.
    RowImage first(r, c);
    RowImage second(r, c);
    if (!first || !second) {
        return 0;
    }
    SplitEdgesBetweenLines(binary.get(), r, c, a1, b1, a2, b2, first.get(), second.get());
    FitLineRobust(first.get(), edges.direction.get(), r, c, slope1, intercept1);
    FitLineRobust(second.get(), edges.direction.get(), r, c, slope2, intercept2);
    return 1;
}

int DetectLinePairByAccumulator(IMAGE2D image, uint16_t rows, uint16_t cols, int window,
                                int threshold, int factor, float* slope1, float* intercept1,
                                float* slope2, float* intercept2) {
    EdgeFrontEnd edges;
    const int found = FindDirectedEdges(image, rows, cols, window, threshold, factor, &edges);
    LevelLine(edges.rows, slope1, intercept1);
    LevelLine(edges.rows, slope2, intercept2);
    if (found == 0 || edges.rows == 0 || edges.cols == 0) {
        return found;
    }
    RowImage binary;
    return LinesFromVotes(edges, &binary, slope1, intercept1, slope2, intercept2);
}
