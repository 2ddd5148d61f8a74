#include "numeric/elimination.h"

#include <cmath>
#include <utility>

namespace numeric {

void GAUSSJ(one_based_matrix<float> a, int32_t n, one_based_matrix<float> b, int32_t m) {
    refuse_negative_count("GAUSSJ", n);
    if (n == 0) {
        return;
    }
    int32_t* pivot_column = ivector(1, n);
    int32_t* pivot_row = ivector(1, n);
    int32_t* column_count = ivector(1, n);
    for (int32_t j = 1; j <= n; ++j) {
        column_count[j] = 0;
    }
    for (int32_t i = 1; i <= n; ++i) {
        float big = 0.0f;
        // Zero until a candidate is chosen: a search over elements that are all NaN chooses
        // none, and there is then no pivot to eliminate with.
        int32_t irow = 0;
        int32_t icol = 0;
        for (int32_t j = 1; j <= n; ++j) {
            if (column_count[j] == 1) {
                continue;
            }
            for (int32_t k = 1; k <= n; ++k) {
                if (column_count[k] == 0) {
                    if (std::fabs(a[j][k]) >= big) {
                        big = std::fabs(a[j][k]);
                        irow = j;
                        icol = k;
                    }
                } else if (column_count[k] > 1) {
                    numeric_error("GAUSSJ: Singular Matrix-1");
                }
            }
        }
        if (icol == 0) {
            numeric_error("GAUSSJ: Singular Matrix-1");
        }
        ++column_count[icol];
        if (irow != icol) {
            for (int32_t l = 1; l <= n; ++l) {
                std::swap(a[irow][l], a[icol][l]);
            }
            for (int32_t l = 1; l <= m; ++l) {
                std::swap(b[irow][l], b[icol][l]);
            }
        }
        pivot_row[i] = irow;
        pivot_column[i] = icol;
        if (a[icol][icol] == 0.0f) {
            numeric_error("GAUSSJ: Singular Matrix-2");
        }
        const float pivinv = static_cast<float>(1.0 / a[icol][icol]);
        a[icol][icol] = 1.0f;
        for (int32_t l = 1; l <= n; ++l) {
            a[icol][l] = static_cast<float>(double{a[icol][l]} * pivinv);
        }
        for (int32_t l = 1; l <= m; ++l) {
            b[icol][l] = static_cast<float>(double{b[icol][l]} * pivinv);
        }
        for (int32_t ll = 1; ll <= n; ++ll) {
            if (ll == icol) {
                continue;
            }
            const double dum = a[ll][icol];
            a[ll][icol] = 0.0f;
            for (int32_t l = 1; l <= n; ++l) {
                a[ll][l] = static_cast<float>(a[ll][l] - a[icol][l] * dum);
            }
            for (int32_t l = 1; l <= m; ++l) {
                b[ll][l] = static_cast<float>(b[ll][l] - b[icol][l] * dum);
            }
        }
    }
    for (int32_t l = n; l >= 1; --l) {
        if (pivot_row[l] != pivot_column[l]) {
            for (int32_t k = 1; k <= n; ++k) {
                std::swap(a[k][pivot_row[l]], a[k][pivot_column[l]]);
            }
        }
    }
    release_ivector(column_count, 1, n);
    release_ivector(pivot_row, 1, n);
    release_ivector(pivot_column, 1, n);
}

template <class T> void choldc(one_based_matrix<T> a, int32_t n, one_based_vector<T> p) {
    for (int32_t i = 1; i <= n; ++i) {
        for (int32_t j = i; j <= n; ++j) {
            double sum = a[i][j];
            for (int32_t k = i - 1; k >= 1; --k) {
                sum -= double{a[i][k]} * a[j][k];
            }
            if (j == i) {
                if (!(sum > 0.0)) {
                    numeric_error("choldc failed");
                }
                p[i] = static_cast<T>(std::sqrt(sum));
            } else {
                a[j][i] = static_cast<T>(sum / p[i]);
            }
        }
    }
}

template <class T>
void cholesky_solve(one_based_matrix<T> a, int32_t n, const T* p, const T* b,
                    one_based_vector<T> x) {
    for (int32_t i = 1; i <= n; ++i) {
        double sum = b[i];
        for (int32_t k = i - 1; k >= 1; --k) {
            sum -= double{a[i][k]} * x[k];
        }
        x[i] = static_cast<T>(sum / p[i]);
    }
    for (int32_t i = n; i >= 1; --i) {
        double sum = x[i];
        for (int32_t k = i + 1; k <= n; ++k) {
            sum -= double{a[k][i]} * x[k];
        }
        x[i] = static_cast<T>(sum / p[i]);
    }
}

template void choldc<float>(one_based_matrix<float>, int32_t, one_based_vector<float>);
template void choldc<double>(one_based_matrix<double>, int32_t, one_based_vector<double>);
template void cholesky_solve<float>(one_based_matrix<float>, int32_t, const float*, const float*,
                                    one_based_vector<float>);
template void cholesky_solve<double>(one_based_matrix<double>, int32_t, const double*,
                                     const double*, one_based_vector<double>);

} // namespace numeric
