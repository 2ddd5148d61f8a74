#include "numeric/lu.h"

#include <cmath>
#include <utility>

namespace numeric {

void LUDCMP(one_based_matrix<float> a, int32_t n, one_based_vector<int32_t> pivot_rows, float* d) {
    refuse_negative_count("LUDCMP", n);
    float* row_scale = vector(1, n);
    *d = 1.0f;
    for (int32_t i = 1; i <= n; ++i) {
        double best = 0.0;
        for (int32_t j = 1; j <= n; ++j) {
            const double magnitude = std::fabs(a[i][j]);
            if (magnitude > best) {
                best = magnitude;
            }
        }
        if (best == 0.0) {
            numeric_error("Singular matrix in routine LUDCMP");
        }
        row_scale[i] = static_cast<float>(1.0 / best);
    }
    for (int32_t j = 1; j <= n; ++j) {
        for (int32_t i = 1; i < j; ++i) {
            double sum = a[i][j];
            for (int32_t k = 1; k < i; ++k) {
                sum -= double{a[i][k]} * a[k][j];
            }
            a[i][j] = static_cast<float>(sum);
        }
        // When every candidate's score is NaN none passes the comparison; the row then stays
        // where it is rather than being swapped with a row that was never chosen.
        int32_t pivot = j;
        double best = 0.0;
        for (int32_t i = j; i <= n; ++i) {
            double sum = a[i][j];
            for (int32_t k = 1; k < j; ++k) {
                sum -= double{a[i][k]} * a[k][j];
            }
            a[i][j] = static_cast<float>(sum);
            const double score = double{row_scale[i]} * std::fabs(a[i][j]);
            if (score >= best) {
                best = score;
                pivot = i;
            }
        }
        if (pivot != j) {
            for (int32_t k = 1; k <= n; ++k) {
                std::swap(a[pivot][k], a[j][k]);
            }
            *d = -*d;
            row_scale[pivot] = row_scale[j];
        }
        pivot_rows[j] = pivot;
        if (a[j][j] == 0.0f) {
            a[j][j] = 1.0e-20f;
        }
        if (j < n) {
            const double reciprocal = 1.0 / a[j][j];
            for (int32_t i = j + 1; i <= n; ++i) {
                a[i][j] = static_cast<float>(a[i][j] * reciprocal);
            }
        }
    }
    release_vector(row_scale, 1, n);
}

void lu_back_substitute(one_based_matrix<float> a, int32_t n, const int32_t* pivot_rows,
                        one_based_vector<float> b) {
    int32_t first_nonzero = 0;
    for (int32_t i = 1; i <= n; ++i) {
        const int32_t row = pivot_rows[i];
        double sum = b[row];
        b[row] = b[i];
        if (first_nonzero != 0) {
            for (int32_t j = first_nonzero; j < i; ++j) {
                sum -= double{a[i][j]} * b[j];
            }
        } else if (sum != 0.0) {
            first_nonzero = i;
        }
        b[i] = static_cast<float>(sum);
    }
    for (int32_t i = n; i >= 1; --i) {
        double sum = b[i];
        for (int32_t j = i + 1; j <= n; ++j) {
            sum -= double{a[i][j]} * b[j];
        }
        b[i] = static_cast<float>(sum / a[i][i]);
    }
}

} // namespace numeric
