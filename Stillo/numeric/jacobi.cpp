#include "numeric/jacobi.h"

#include <cmath>
#include <type_traits>

namespace numeric {

namespace {

constexpr int kMaxSweeps = 50;

template <class T> one_based_vector<T> WorkVector(int32_t n) {
    if constexpr (std::is_same_v<T, float>) {
        return vector(1, n);
    } else {
        return dvector(1, n);
    }
}

template <class T> void ReleaseWorkVector(one_based_vector<T> w, int32_t n) {
    if constexpr (std::is_same_v<T, float>) {
        release_vector(w, 1, n);
    } else {
        release_dvector(w, 1, n);
    }
}

// One element pair of a rotation by s and tau. g and the results are of the element type;
// the arithmetic is in double.
template <class T> void Rotate(T& first, T& second, T s, T tau) {
    const T g = first;
    const double h = second;
    first = static_cast<T>(g - double{s} * (h + double{g} * tau));
    second = static_cast<T>(h + double{s} * (g - h * tau));
}

} // namespace

template <class T>
void JACOBI(one_based_matrix<T> a, int32_t n, one_based_vector<T> d, one_based_matrix<T> v,
            int32_t* nrot) {
    refuse_negative_count("JACOBI", n);
    // A value that is not a number makes the off-diagonal sum one too, which would pass for a
    // diagonal matrix; with an infinite one the rotations hand back infinite eigenvalues beside
    // vectors that mean nothing. Only the part that is read is looked at.
    for (int32_t p = 1; p <= n; ++p) {
        for (int32_t q = p; q <= n; ++q) {
            if (!std::isfinite(a[p][q])) {
                numeric_error("JACOBI: the matrix holds a value that is not a finite number");
            }
        }
    }
    T* b = WorkVector<T>(n);
    T* z = WorkVector<T>(n);
    for (int32_t p = 1; p <= n; ++p) {
        for (int32_t q = 1; q <= n; ++q) {
            v[p][q] = p == q ? T{1} : T{0};
        }
        b[p] = d[p] = a[p][p];
        z[p] = T{0};
    }
    *nrot = 0;
    for (int sweep = 1; sweep <= kMaxSweeps; ++sweep) {
        double sm = 0.0;
        for (int32_t p = 1; p < n; ++p) {
            for (int32_t q = p + 1; q <= n; ++q) {
                sm += std::fabs(a[p][q]);
            }
        }
        if (sm == 0.0 || std::isnan(sm)) {
            ReleaseWorkVector(z, n);
            ReleaseWorkVector(b, n);
            return;
        }
        const double tresh = sweep < 4 ? 0.2 * sm / (static_cast<double>(n) * n) : 0.0;
        for (int32_t p = 1; p < n; ++p) {
            for (int32_t q = p + 1; q <= n; ++q) {
                const T g = static_cast<T>(100.0 * std::fabs(a[p][q]));
                // The sums are compared unrounded, in double, in both forms.
                if (sweep > 4 && std::fabs(d[p]) + double{g} == std::fabs(d[p]) &&
                    std::fabs(d[q]) + double{g} == std::fabs(d[q])) {
                    a[p][q] = T{0};
                    continue;
                }
                if (!(std::fabs(a[p][q]) > tresh)) {
                    continue;
                }
                double h = double{d[q]} - d[p];
                double t;
                if (std::fabs(h) + double{g} == std::fabs(h)) {
                    t = a[p][q] / h;
                } else {
                    const T theta = static_cast<T>(0.5 * h / a[p][q]);
                    t = 1.0 / (std::fabs(theta) + std::sqrt(1.0 + double{theta} * theta));
                    if (theta < 0) {
                        t = -t;
                    }
                }
                const double c = 1.0 / std::sqrt(1.0 + t * t);
                const T s = static_cast<T>(t * c);
                const T tau = static_cast<T>(s / (1.0 + c));
                h = t * a[p][q];
                z[p] = static_cast<T>(z[p] - h);
                z[q] = static_cast<T>(z[q] + h);
                d[p] = static_cast<T>(d[p] - h);
                d[q] = static_cast<T>(d[q] + h);
                a[p][q] = T{0};
                for (int32_t j = 1; j < p; ++j) {
                    Rotate(a[j][p], a[j][q], s, tau);
                }
                for (int32_t j = p + 1; j < q; ++j) {
                    Rotate(a[p][j], a[j][q], s, tau);
                }
                for (int32_t j = q + 1; j <= n; ++j) {
                    Rotate(a[p][j], a[q][j], s, tau);
                }
                for (int32_t j = 1; j <= n; ++j) {
                    Rotate(v[j][p], v[j][q], s, tau);
                }
                ++*nrot;
            }
        }
        for (int32_t p = 1; p <= n; ++p) {
            b[p] = static_cast<T>(double{b[p]} + z[p]);
            d[p] = b[p];
            z[p] = T{0};
        }
    }
    // The work vectors are not released: the process ends here.
    numeric_error("Too many iterations in routine JACOBI");
}

template void JACOBI<float>(one_based_matrix<float>, int32_t, one_based_vector<float>,
                            one_based_matrix<float>, int32_t*);
template void JACOBI<double>(one_based_matrix<double>, int32_t, one_based_vector<double>,
                             one_based_matrix<double>, int32_t*);

} // namespace numeric
