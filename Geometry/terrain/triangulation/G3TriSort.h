#pragma once
// Sorting and median selection of triangulation nodes. Every scan is bounded
// by the range, so even a comparison that is not a strict weak ordering could
// only misplace elements, never leave the array. Pivots are chosen by a fixed rule (median
// of first, middle and last), so equal input gives equal output; ranges that
// keep partitioning badly fall back to a heap sort, which bounds the time.

#include "Geometry/terrain/triangulation/G3TriPredicates.h"

#include <cmath>
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

namespace sortdetail {

// Floyd and Rivest's selection on a[left, right] (inclusive). On a large
// range it first selects within a block of about n^(2/3) elements around k,
// so that the element landing at k is a pivot close to the k-th one; a
// single partition pass around it then leaves a range of a few thousand
// elements. That takes about 1.5 n comparisons for a median, where a
// median-of-three quickselect needs about 2.75 n. The block is a fixed
// range, so the same input gives the same steps.
template <class Less>
void SelectRange(Node* a, int left, int right, int k, Less less, int depth)
{
    while (right - left > 16) {
        if (depth-- <= 0) {
            HeapSort(a + left, right - left + 1, less);
            return;
        }
        if (right - left > 600) {
            const double n = right - left + 1;
            const double i = k - left + 1;
            const double z = std::log(n);
            const double s = 0.5 * std::exp(2.0 * z / 3.0);
            const double sd = 0.5 * std::sqrt(z * s * (n - s) / n) * (i < n / 2 ? -1.0 : 1.0);
            const double lo = k - i * s / n + sd;
            const double hi = k + (n - i) * s / n + sd;
            const int blockLeft = lo > left ? static_cast<int>(lo) : left;
            const int blockRight = hi < right ? static_cast<int>(hi) : right;
            if (blockLeft <= k && k <= blockRight)
                SelectRange(a, blockLeft, blockRight, k, less, depth);
        }
        // Partition around t = a[k], with t and an element on its far side
        // at the two ends so that each scan meets one; the scans are
        // bounded by the range as well.
        const Node t = a[k];
        std::swap(a[left], a[k]);
        if (less(t, a[right]))
            std::swap(a[right], a[left]);
        int i = left, j = right;
        while (i < j) {
            std::swap(a[i], a[j]);
            ++i;
            --j;
            while (i < right && less(a[i], t))
                ++i;
            while (j > left && less(t, a[j]))
                --j;
        }
        if (!less(a[left], t) && !less(t, a[left])) {
            std::swap(a[left], a[j]);
        } else {
            ++j;
            std::swap(a[j], a[right]);
        }
        if (j <= k)
            left = j + 1;
        if (k <= j)
            right = j - 1;
    }
    if (left < right)
        InsertionSort(a, left, right + 1, less);
}

} // namespace sortdetail

// Rearranges a[0, n) so that a[k] holds the element a sort would put there,
// with no element before it that compares after it, and none after it that
// compares before it.
template <class Less>
void SelectNode(Node* a, int n, int k, Less less)
{
    if (k < 0 || k >= n)
        return;
    sortdetail::SelectRange(a, 0, n - 1, k, less, sortdetail::DepthLimit(n));
}

} // namespace g3tri
