#include "numeric/vectors.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>
#include <unistd.h>

namespace numeric {

namespace {

// The block of [lo, hi] holds hi - lo + 1 elements. The count is formed in 64 bits, so no
// range of 32-bit bounds can wrap it; a negative count or a size no block can have is treated
// as the allocation failure it would otherwise become.
template <class T> T* AllocateBlock(int32_t lo, int32_t hi, const char* failure) {
    const int64_t count = int64_t{hi} - int64_t{lo} + 1;
    if (count < 0 ||
        static_cast<uint64_t>(count) >
            static_cast<uint64_t>(std::numeric_limits<std::ptrdiff_t>::max()) / sizeof(T)) {
        numeric_error(failure);
    }
    const size_t bytes = static_cast<size_t>(count) * sizeof(T);
    void* block = std::malloc(bytes);
    // A zero-byte request may legitimately give null; it is offset and released all the same.
    if (block == nullptr && bytes != 0) {
        numeric_error(failure);
    }
    return static_cast<T*>(block);
}

// p - lo elements and p + lo elements. Plain pointer arithmetic would leave the block for any
// lo other than 0, which the language does not allow; integer arithmetic on the address gives
// the same value without that.
template <class T> T* Shift(T* p, int64_t elements) {
    const uintptr_t address = reinterpret_cast<uintptr_t>(p);
    return reinterpret_cast<T*>(address + static_cast<uintptr_t>(elements) * sizeof(T));
}

template <class T> T* OffsetBlock(T* block, int32_t lo) {
    return Shift(block, -int64_t{lo});
}

template <class T> void ReleaseBlock(T* v, int32_t lo) {
    std::free(Shift(v, int64_t{lo}));
}

template <class T>
T** AllocateMatrix(int32_t row_lo, int32_t row_hi, int32_t col_lo, int32_t col_hi,
                   const char* pointerFailure, const char* rowFailure) {
    T** m = OffsetBlock(AllocateBlock<T*>(row_lo, row_hi, pointerFailure), row_lo);
    // Rows made before a failing one are not released: the process ends there.
    for (int64_t i = row_lo; i <= row_hi; ++i) {
        *Shift(m, i) = OffsetBlock(AllocateBlock<T>(col_lo, col_hi, rowFailure), col_lo);
    }
    return m;
}

template <class T> void ReleaseMatrix(T** m, int32_t row_lo, int32_t row_hi, int32_t col_lo) {
    for (int64_t i = row_hi; i >= row_lo; --i) {
        ReleaseBlock(*Shift(m, i), col_lo);
    }
    ReleaseBlock(m, row_lo);
}

} // namespace

void numeric_error(const char* text) {
    std::fprintf(stderr, "Numerical routines run-time error...\n");
    std::fprintf(stderr, "%s\n", text);
    std::fprintf(stderr, "...now exiting to system...\n");
    // Every stream, so what a routine printed before failing is not lost; then no static
    // destructors: the caller may be a worker thread beside a live window.
    std::fflush(nullptr);
    _exit(1);
}

void refuse_negative_count(const char* routine, int64_t n) {
    if (n < 0) {
        numeric_error((std::string(routine) + ": the count n must not be negative").c_str());
    }
}

one_based_vector<float> vector(int32_t lo, int32_t hi) {
    return OffsetBlock(AllocateBlock<float>(lo, hi, "allocation failure in vector()"), lo);
}

one_based_vector<int32_t> ivector(int32_t lo, int32_t hi) {
    return OffsetBlock(AllocateBlock<int32_t>(lo, hi, "allocation failure in ivector()"), lo);
}

one_based_vector<double> dvector(int32_t lo, int32_t hi) {
    return OffsetBlock(AllocateBlock<double>(lo, hi, "allocation failure in dvector()"), lo);
}

one_based_matrix<float> matrix(int32_t row_lo, int32_t row_hi, int32_t col_lo, int32_t col_hi) {
    return AllocateMatrix<float>(row_lo, row_hi, col_lo, col_hi, "allocation failure 1 in matrix()",
                                 "allocation failure 2 in matrix()");
}

one_based_matrix<double> dmatrix(int32_t row_lo, int32_t row_hi, int32_t col_lo, int32_t col_hi) {
    return AllocateMatrix<double>(row_lo, row_hi, col_lo, col_hi,
                                  "allocation failure 1 in dmatrix()",
                                  "allocation failure 2 in dmatrix()");
}

one_based_matrix<int32_t> imatrix(int32_t row_lo, int32_t row_hi, int32_t col_lo, int32_t col_hi) {
    return AllocateMatrix<int32_t>(row_lo, row_hi, col_lo, col_hi,
                                   "allocation failure 1 in imatrix()",
                                   "allocation failure 2 in imatrix()");
}

one_based_matrix<float> submatrix(one_based_matrix<float> a, int32_t src_row_lo, int32_t src_row_hi,
                                  int32_t src_col_lo, int32_t /*src_col_hi*/, int32_t dst_row_lo,
                                  int32_t dst_col_lo) {
    const int64_t rows = int64_t{src_row_hi} - src_row_lo + 1;
    const int64_t last = int64_t{dst_row_lo} + rows - 1;
    if (rows < 0 || last > std::numeric_limits<int32_t>::max()) {
        numeric_error("allocation failure in submatrix()");
    }
    float** view = OffsetBlock(AllocateBlock<float*>(dst_row_lo, static_cast<int32_t>(last),
                                                     "allocation failure in submatrix()"),
                               dst_row_lo);
    const int64_t columnShift = int64_t{src_col_lo} - dst_col_lo;
    for (int64_t k = 0; k < rows; ++k) {
        *Shift(view, dst_row_lo + k) = Shift(*Shift(a, src_row_lo + k), columnShift);
    }
    return view;
}

one_based_matrix<float> convert_matrix(float* a, int32_t row_lo, int32_t row_hi, int32_t col_lo,
                                       int32_t col_hi) {
    float** view = OffsetBlock(
        AllocateBlock<float*>(row_lo, row_hi, "allocation failure in convert_matrix()"), row_lo);
    const int64_t rows = int64_t{row_hi} - row_lo + 1;
    const int64_t cols = int64_t{col_hi} - col_lo + 1;
    for (int64_t j = 0; j < rows; ++j) {
        *Shift(view, row_lo + j) = Shift(a, j * cols - col_lo);
    }
    return view;
}

void release_vector(one_based_vector<float> v, int32_t lo, int32_t /*hi*/) {
    ReleaseBlock(v, lo);
}

void release_ivector(one_based_vector<int32_t> v, int32_t lo, int32_t /*hi*/) {
    ReleaseBlock(v, lo);
}

void release_dvector(one_based_vector<double> v, int32_t lo, int32_t /*hi*/) {
    ReleaseBlock(v, lo);
}

void release_matrix(one_based_matrix<float> m, int32_t row_lo, int32_t row_hi, int32_t col_lo,
                    int32_t /*col_hi*/) {
    ReleaseMatrix(m, row_lo, row_hi, col_lo);
}

void release_dmatrix(one_based_matrix<double> m, int32_t row_lo, int32_t row_hi, int32_t col_lo,
                     int32_t /*col_hi*/) {
    ReleaseMatrix(m, row_lo, row_hi, col_lo);
}

void release_imatrix(one_based_matrix<int32_t> m, int32_t row_lo, int32_t row_hi, int32_t col_lo,
                     int32_t /*col_hi*/) {
    ReleaseMatrix(m, row_lo, row_hi, col_lo);
}

void release_submatrix(one_based_matrix<float> b, int32_t row_lo, int32_t /*row_hi*/,
                       int32_t /*col_lo*/, int32_t /*col_hi*/) {
    ReleaseBlock(b, row_lo);
}

void release_convert_matrix(one_based_matrix<float> b, int32_t row_lo, int32_t /*row_hi*/,
                            int32_t /*col_lo*/, int32_t /*col_hi*/) {
    ReleaseBlock(b, row_lo);
}

} // namespace numeric
