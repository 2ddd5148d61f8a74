#include "numeric/sort.h"

namespace numeric {

void heap_sort(int n, float* keys) {
    if (n < 2) {
        return;
    }
    int l = n / 2 + 1;
    int last = n;
    for (;;) {
        float taken;
        if (l > 1) {
            // Still building the heap.
            taken = keys[--l];
        } else {
            // Move the largest to the end of the shrinking heap.
            taken = keys[last];
            keys[last] = keys[1];
            if (--last == 1) {
                keys[1] = taken;
                return;
            }
        }
        int i = l;
        int j = l + l;
        while (j <= last) {
            if (j < last && keys[j] < keys[j + 1]) {
                ++j;
            }
            if (taken < keys[j]) {
                keys[i] = keys[j];
                i = j;
                j += j;
            } else {
                j = last + 1;
            }
        }
        keys[i] = taken;
    }
}

} // namespace numeric
