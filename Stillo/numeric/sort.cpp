#include "numeric/sort.h"

#include "numeric/vectors.h"

#include <cmath>
#include <utility>

namespace numeric {

namespace {

// The heap-sort steps over positions 1..n of `items`, which tells what an item at a position
// is (Get), where one goes (Put) and how two compare (Less). Every heap sort here is this one
// procedure over a different kind of item.
template <class Items> void HeapSortSteps(int n, Items& items) {
    if (n < 2) {
        return;
    }
    int l = n / 2 + 1;
    int last = n;
    for (;;) {
        typename Items::Item taken;
        if (l > 1) {
            // Still building the heap.
            taken = items.Get(--l);
        } else {
            // Move the largest to the end of the shrinking heap.
            taken = items.Get(last);
            items.Put(last, items.Get(1));
            if (--last == 1) {
                items.Put(1, taken);
                return;
            }
        }
        int i = l;
        int j = l + l;
        while (j <= last) {
            // On equal children the left one is taken.
            if (j < last && items.Less(items.Get(j), items.Get(j + 1))) {
                ++j;
            }
            if (items.Less(taken, items.Get(j))) {
                items.Put(i, items.Get(j));
                i = j;
                j += j;
            } else {
                j = last + 1;
            }
        }
        items.Put(i, taken);
    }
}

struct Keys {
    using Item = float;
    float* keys;
    Item Get(int i) const { return keys[i]; }
    void Put(int i, Item v) const { keys[i] = v; }
    static bool Less(Item a, Item b) { return a < b; }
};

// A key with its companion from a second array; only keys are compared.
struct PairedKeys {
    using Item = std::pair<float, float>;
    float* keys;
    float* second;
    Item Get(int i) const { return {keys[i], second[i]}; }
    void Put(int i, const Item& v) const {
        keys[i] = v.first;
        second[i] = v.second;
    }
    static bool Less(const Item& a, const Item& b) { return a.first < b.first; }
};

// Positions into keys, compared by the keys they point at.
struct IndexedKeys {
    using Item = int32_t;
    const float* keys;
    int32_t* index;
    Item Get(int i) const { return index[i]; }
    void Put(int i, Item v) const { index[i] = v; }
    bool Less(Item a, Item b) const { return keys[a] < keys[b]; }
};

} // namespace

void heap_sort(int n, float* keys) {
    Keys items{keys};
    HeapSortSteps(n, items);
}

void heap_sort_paired(int n, float* keys, float* second) {
    PairedKeys items{keys, second};
    HeapSortSteps(n, items);
}

void index_table(int n, const float* keys, int32_t* index) {
    for (int j = 1; j <= n; ++j) {
        index[j] = j;
    }
    IndexedKeys items{keys, index};
    HeapSortSteps(n, items);
}

void sort_three_by_first(int n, float* keys, float* second, float* third) {
    refuse_negative_count("sort_three_by_first", n);
    int32_t* order = ivector(1, n);
    float* work = vector(1, n);
    index_table(n, keys, order);
    for (float* array : {keys, second, third}) {
        for (int j = 1; j <= n; ++j) {
            work[j] = array[j];
        }
        for (int j = 1; j <= n; ++j) {
            array[j] = work[order[j]];
        }
    }
    release_vector(work, 1, n);
    release_ivector(order, 1, n);
}

void rank_table(int n, const int32_t* index, int32_t* rank) {
    for (int j = 1; j <= n; ++j) {
        rank[index[j]] = j;
    }
}

void shell_sort(int n, float* values) {
    // ln 0 is -infinity, which no int can hold: there is nothing to sort below two values.
    if (n < 2) {
        return;
    }
    // The whole part of log2(n), guarded against a logarithm a hair below a whole number.
    const int passes = static_cast<int>(std::log(static_cast<double>(n)) * 1.442695022 + 1e-5);
    int m = n;
    for (int pass = 0; pass < passes; ++pass) {
        m /= 2;
        for (int j = m + 1; j <= n; ++j) {
            const float t = values[j];
            int i = j - m;
            while (i >= 1 && values[i] > t) {
                values[i + m] = values[i];
                i -= m;
            }
            values[i + m] = t;
        }
    }
}

} // namespace numeric
