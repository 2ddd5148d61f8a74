#include "numeric/insertion_sort.h"

#include <cstdint>

namespace numeric {

void insertion_sort(int n, float* arr) {
    for (int j = 2; j <= n; ++j) {
        const float a = arr[j];
        int i = j - 1;
        while (i > 0 && a < arr[i]) {
            arr[i + 1] = arr[i];
            --i;
        }
        arr[i + 1] = a;
    }
}

void insertion_sort_pair(int n, float* arr, float* brr) {
    for (int j = 2; j <= n; ++j) {
        const float a = arr[j];
        const float b = brr[j];
        int i = j - 1;
        while (i > 0 && a < arr[i]) {
            arr[i + 1] = arr[i];
            brr[i + 1] = brr[i];
            --i;
        }
        arr[i + 1] = a;
        brr[i + 1] = b;
    }
}

void locate_from_guess(const float* xx, int n, double x, int* jlo) {
    if (n < 1) {
        *jlo = 0;
        return;
    }
    const bool ascnd = xx[n] > xx[1];
    // In 64 bits: the doubling steps may pass n, and n + inc must not wrap.
    int64_t lo = *jlo;
    int64_t hi = 0;
    if (lo < 1 || lo > n) {
        lo = 0;
        hi = int64_t{n} + 1;
    } else {
        int64_t inc = 1;
        if ((x >= xx[lo]) == ascnd) {
            // Hunt upward.
            if (lo == n) {
                return;
            }
            hi = lo + 1;
            while ((x >= xx[hi]) == ascnd) {
                inc *= 2;
                lo = hi;
                hi += inc;
                if (hi > n) {
                    hi = int64_t{n} + 1;
                    break;
                }
            }
        } else {
            // Hunt downward.
            if (lo == 1) {
                *jlo = 0;
                return;
            }
            hi = lo;
            --lo;
            while ((x < xx[lo]) == ascnd) {
                hi = lo;
                inc *= 2;
                lo = hi - inc;
                if (lo < 1) {
                    lo = 0;
                    break;
                }
            }
        }
    }
    while (hi - lo != 1) {
        const int64_t jm = (hi + lo) >> 1;
        if ((x > xx[jm]) == ascnd) {
            lo = jm;
        } else {
            hi = jm;
        }
    }
    *jlo = static_cast<int>(lo);
}

} // namespace numeric
