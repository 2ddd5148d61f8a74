// One-based arrays, the views over existing storage and the fatal error routine.
#include "numeric/elimination.h"
#include "numeric/interpolation.h"
#include "numeric/jacobi.h"
#include "numeric/lu.h"
#include "numeric/sort.h"
#include "numeric/vectors.h"
#include "tests/numeric/test_arrays.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace {

const char* const kFailureLines = "^Numerical routines run-time error\\.\\.\\.\n"
                                  "allocation failure in vector\\(\\)\n"
                                  "\\.\\.\\.now exiting to system\\.\\.\\.\n$";

} // namespace

TEST(OneBasedVectors, EveryIndexOfTheRangeIsItsOwnElement) {
    // Writing each element and reading all back catches a wrong offset or an undersized block
    // (the sanitizer build reports any write outside the block).
    float* v = numeric::vector(1, 10);
    for (int i = 1; i <= 10; ++i) {
        v[i] = static_cast<float>(i * i);
    }
    for (int i = 1; i <= 10; ++i) {
        EXPECT_EQ(v[i], static_cast<float>(i * i));
    }
    numeric::release_vector(v, 1, 10);

    int32_t* iv = numeric::ivector(-3, 3);
    for (int i = -3; i <= 3; ++i) {
        iv[i] = 100 + i;
    }
    EXPECT_EQ(iv[-3], 97);
    EXPECT_EQ(iv[3], 103);
    EXPECT_EQ(&iv[3] - &iv[-3], 6);
    numeric::release_ivector(iv, -3, 3);

    double* dv = numeric::dvector(0, 4);
    for (int i = 0; i <= 4; ++i) {
        dv[i] = 0.5 * i;
    }
    EXPECT_EQ(dv[4], 2.0);
    numeric::release_dvector(dv, 0, 4);

    // An empty range is allocated and released the same way.
    float* empty = numeric::vector(0, -1);
    numeric::release_vector(empty, 0, -1);
}

TEST(OneBasedMatrices, RowsAreSeparateBlocksAddressedByBothRanges) {
    float** m = numeric::matrix(1, 3, 1, 4);
    for (int i = 1; i <= 3; ++i) {
        for (int j = 1; j <= 4; ++j) {
            m[i][j] = static_cast<float>(10 * i + j);
        }
    }
    EXPECT_EQ(m[1][1], 11.0f);
    EXPECT_EQ(m[3][4], 34.0f);
    numeric::release_matrix(m, 1, 3, 1, 4);

    double** d = numeric::dmatrix(-1, 1, 0, 2);
    int32_t** im = numeric::imatrix(5, 6, -2, -1);
    for (int i = -1; i <= 1; ++i) {
        for (int j = 0; j <= 2; ++j) {
            d[i][j] = i * 3.0 + j;
        }
    }
    im[5][-2] = 1;
    im[6][-1] = 2;
    EXPECT_EQ(d[1][2], 5.0);
    EXPECT_EQ(d[-1][0], -3.0);
    EXPECT_EQ(im[5][-2] + im[6][-1], 3);
    numeric::release_dmatrix(d, -1, 1, 0, 2);
    numeric::release_imatrix(im, 5, 6, -2, -1);

    // No rows: only the (empty) pointer array is made and released.
    float** none = numeric::matrix(2, 1, 1, 4);
    numeric::release_matrix(none, 2, 1, 1, 4);
}

TEST(MatrixViews, ShareTheStorageTheyView) {
    float** a = numeric::matrix(1, 4, 1, 5);
    for (int i = 1; i <= 4; ++i) {
        for (int j = 1; j <= 5; ++j) {
            a[i][j] = static_cast<float>(10 * i + j);
        }
    }
    float** b = numeric::submatrix(a, 2, 3, 2, 4, 1, 1);
    EXPECT_EQ(b[1][1], a[2][2]);
    EXPECT_EQ(b[2][3], a[3][4]);
    b[2][1] = -1.0f;
    EXPECT_EQ(a[3][2], -1.0f);
    numeric::release_submatrix(b, 1, 2, 1, 3);
    EXPECT_EQ(a[2][2], 22.0f); // releasing the view leaves the storage alone
    numeric::release_matrix(a, 1, 4, 1, 5);

    float flat[6] = {0, 1, 2, 3, 4, 5};
    float** m = numeric::convert_matrix(flat, 1, 2, 1, 3);
    EXPECT_EQ(m[2][1], flat[3]);
    EXPECT_EQ(m[1][3], flat[2]);
    EXPECT_EQ(m[2][3], flat[5]);
    numeric::release_convert_matrix(m, 1, 2, 1, 3);

    float** shifted = numeric::convert_matrix(flat, 0, 1, -1, 1);
    EXPECT_EQ(shifted[0][-1], flat[0]);
    EXPECT_EQ(shifted[1][0], flat[4]);
    numeric::release_convert_matrix(shifted, 0, 1, -1, 1);
}

TEST(NumericErrorDeathTest, PrintsThreeLinesAndExitsWithStatusOne) {
    EXPECT_EXIT(numeric::numeric_error("allocation failure in vector()"),
                testing::ExitedWithCode(1), kFailureLines);
}

TEST(NumericErrorDeathTest, ImpossibleSizesFailInsteadOfMakingWildPointers) {
    // A negative count ends through the routine's own message rather than handing back a
    // pointer into nothing.
    EXPECT_EXIT(numeric::vector(5, 2), testing::ExitedWithCode(1), kFailureLines);
    EXPECT_EXIT(numeric::dmatrix(1, 2, 4, 2), testing::ExitedWithCode(1),
                "allocation failure 2 in dmatrix\\(\\)");
    EXPECT_EXIT(numeric::imatrix(3, 1, 1, 1), testing::ExitedWithCode(1),
                "allocation failure 1 in imatrix\\(\\)");
}

TEST(NumericErrorDeathTest, ANegativeCountIsNamedByTheRoutineNotTakenForExhaustedMemory) {
    float f[2] = {};
    int32_t i[2] = {};
    const std::string cause = ": the count n must not be negative";
    numeric_test::ExpectRefusals({
        {[&] { numeric::sort_three_by_first(-1, f, f, f); }, "sort_three_by_first" + cause},
        {[&] { numeric::chebyshev_fit(0, 1, f, -1, nullptr); }, "chebyshev_fit" + cause},
        {[&] { numeric::LUDCMP(nullptr, -2, i, f); }, "LUDCMP" + cause},
        {[] { numeric::GAUSSJ(nullptr, -1, nullptr, 0); }, "GAUSSJ" + cause},
        {[&] { numeric::JACOBI<double>(nullptr, -1, nullptr, nullptr, i); }, "JACOBI" + cause},
        {[&] { numeric::interpolate_polynomial(f, f, 0, 0, f, f); },
         "interpolate_polynomial: the count n must be at least 1"},
    });
}
