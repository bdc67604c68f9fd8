#pragma once
// Sorting and median selection of triangulation nodes. Every scan is bounded
// by the range, so even a comparison that is not a strict weak ordering could
// only misplace elements, never leave the array. Pivots are chosen by a fixed rule (median
// of first, middle and last), so equal input gives equal output; ranges that
// keep partitioning badly fall back to a heap sort, which bounds the time.

#include "Geometry/terrain/triangulation/G3TriPredicates.h"

#include <utility>

namespace g3tri {

namespace sortdetail {

template <class Less>
void InsertionSort(Node* a, int lo, int hi, Less less)
{
    for (int i = lo + 1; i < hi; ++i) {
        Node x = a[i];
        int j = i;
        while (j > lo && less(x, a[j - 1])) {
            a[j] = a[j - 1];
            --j;
        }
        a[j] = x;
    }
}

template <class Less>
void SiftDown(Node* a, int start, int n, Less less)
{
    int root = start;
    for (;;) {
        int child = 2 * root + 1;
        if (child >= n)
            return;
        if (child + 1 < n && less(a[child], a[child + 1]))
            ++child;
        if (!less(a[root], a[child]))
            return;
        std::swap(a[root], a[child]);
        root = child;
    }
}

template <class Less>
void HeapSort(Node* a, int n, Less less)
{
    for (int i = n / 2 - 1; i >= 0; --i)
        SiftDown(a, i, n, less);
    for (int end = n - 1; end > 0; --end) {
        std::swap(a[0], a[end]);
        SiftDown(a, 0, end, less);
    }
}

// Partitions a[lo, hi) (hi - lo >= 3) around the median of its first, middle
// and last elements; returns the pivot's final index p, with no element of
// [lo, p) after the pivot and no element of (p, hi) before it.
template <class Less>
int Partition(Node* a, int lo, int hi, Less less)
{
    const int mid = lo + (hi - lo) / 2;
    const int last = hi - 1;
    if (less(a[mid], a[lo]))
        std::swap(a[mid], a[lo]);
    if (less(a[last], a[mid])) {
        std::swap(a[last], a[mid]);
        if (less(a[mid], a[lo]))
            std::swap(a[mid], a[lo]);
    }
    std::swap(a[lo], a[mid]);
    const Node pivot = a[lo];
    int i = lo;
    int j = hi;
    for (;;) {
        do
            ++i;
        while (i < hi && less(a[i], pivot));
        do
            --j;
        while (j > lo && less(pivot, a[j]));
        if (i >= j)
            break;
        std::swap(a[i], a[j]);
    }
    std::swap(a[lo], a[j]);
    return j;
}

inline int DepthLimit(int n)
{
    int d = 0;
    while (n > 1) {
        n >>= 1;
        ++d;
    }
    return 2 * d + 4;
}

} // namespace sortdetail

template <class Less>
void SortNodes(Node* a, int n, Less less)
{
    using namespace sortdetail;
    struct Range {
        int lo, hi, depth;
    };
    // The larger side waits on the stack while the loop goes on with the
    // smaller one, so the stack never holds more than log2(n) ranges.
    Range stack[64];
    int top = 0;
    stack[top++] = {0, n, DepthLimit(n)};
    while (top > 0) {
        Range r = stack[--top];
        while (r.hi - r.lo > 16) {
            if (r.depth-- <= 0) {
                HeapSort(a + r.lo, r.hi - r.lo, less);
                r.hi = r.lo;
                break;
            }
            const int p = Partition(a, r.lo, r.hi, less);
            if (p - r.lo < r.hi - p - 1) {
                stack[top++] = {p + 1, r.hi, r.depth};
                r.hi = p;
            } else {
                stack[top++] = {r.lo, p, r.depth};
                r.lo = p + 1;
            }
            if (top == 64) { // cannot happen with the smaller-first rule; stay safe
                HeapSort(a + r.lo, r.hi - r.lo, less);
                r.hi = r.lo;
            }
        }
        InsertionSort(a, r.lo, r.hi, less);
    }
}

// Rearranges a[0, n) so that a[k] holds the element a sort would put there,
// with no element before it that compares after it, and none after it that
// compares before it.
template <class Less>
void SelectNode(Node* a, int n, int k, Less less)
{
    using namespace sortdetail;
    if (k < 0 || k >= n)
        return;
    int lo = 0;
    int hi = n;
    int depth = DepthLimit(n);
    while (hi - lo > 16) {
        if (depth-- <= 0) {
            HeapSort(a + lo, hi - lo, less);
            return;
        }
        const int p = Partition(a, lo, hi, less);
        if (p == k)
            return;
        if (k < p)
            hi = p;
        else
            lo = p + 1;
    }
    InsertionSort(a, lo, hi, less);
}

} // namespace g3tri
