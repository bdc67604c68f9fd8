// The facet tree: built top down by splitting each node's items where the
// children's box areas weighted by their counts sum least (binned box
// centres), down to leaves of at most kLeafSize items. Invariants: every node's box holds the
// boxes of all items below it; every item sits in exactly one leaf. A
// segment meets a box when the parameter intervals of its three slabs,
// clipped to [0, 1], overlap (the parameters as products with the
// direction's reciprocals); that test is the one place where rounding
// enters, and the margin the boxes are widened by when added covers it.

#include "Geometry/mesh/G3FacetTree.h"

#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/math/GEnvelope.h"
#include "Geometry/mesh/G3Facet.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace {
constexpr int kLeafSize = 4;
} // namespace

void G3FacetTree::Add(G3Facet* f, const GEnvelope& box, double margin)
{
    Box b;
    for (int k = 0; k < 3; ++k) {
        b.lo[k] = box.min[k] - margin;
        b.hi[k] = box.max[k] + margin;
    }
    facets.push_back(f);
    boxes.push_back(b);
}

namespace {

// x as a float no greater (lower) or no smaller (upper) than x.
float Below(double x)
{
    float f = static_cast<float>(x);
    if (static_cast<double>(f) > x)
        f = std::nextafter(f, -HUGE_VALF);
    return f;
}

float Above(double x)
{
    float f = static_cast<float>(x);
    if (static_cast<double>(f) < x)
        f = std::nextafter(f, HUGE_VALF);
    return f;
}

} // namespace

double G3FacetTree::Centre(int item, int axis) const
{
    const Box& b = boxes[static_cast<std::size_t>(item)];
    return b.lo[axis] + b.hi[axis];
}

int G3FacetTree::SplitItems(int* first, int count)
{
    // Binned surface-area split: of the planes between kBins bins of the
    // box centres on each axis, the one with the least sum of child box
    // area times child count. Rays pierce a box about in proportion to its
    // area, so this is what a ray pays below the node.
    constexpr int kBins = 16;
    double lo[3], hi[3];
    for (int a = 0; a < 3; ++a) {
        lo[a] = HUGE_VAL;
        hi[a] = -HUGE_VAL;
    }
    for (int k = 0; k < count; ++k)
        for (int a = 0; a < 3; ++a) {
            const double c = Centre(first[k], a);
            lo[a] = c < lo[a] ? c : lo[a];
            hi[a] = c > hi[a] ? c : hi[a];
        }
    // Clamped before the conversion: a box that is not finite gives no
    // number, and such a centre goes to the first bin.
    auto binOf = [&](int item, int a) {
        const double q = kBins * (Centre(item, a) - lo[a]) / (hi[a] - lo[a]);
        return !(q > 0.0) ? 0 : (q >= kBins - 1 ? kBins - 1 : static_cast<int>(q));
    };
    auto area = [](const Box& b) {
        const double x = b.hi[0] - b.lo[0], y = b.hi[1] - b.lo[1], z = b.hi[2] - b.lo[2];
        return x * y + y * z + z * x;
    };
    auto grow = [](Box& into, const Box& b) {
        for (int a = 0; a < 3; ++a) {
            into.lo[a] = b.lo[a] < into.lo[a] ? b.lo[a] : into.lo[a];
            into.hi[a] = b.hi[a] > into.hi[a] ? b.hi[a] : into.hi[a];
        }
    };
    const Box empty = {{HUGE_VAL, HUGE_VAL, HUGE_VAL}, {-HUGE_VAL, -HUGE_VAL, -HUGE_VAL}};
    double best = HUGE_VAL;
    int bestAxis = -1;
    int bestPlane = 0;
    for (int a = 0; a < 3; ++a) {
        if (!(hi[a] > lo[a]))
            continue;
        Box bin[kBins];
        int n[kBins] = {};
        for (Box& b : bin)
            b = empty;
        for (int k = 0; k < count; ++k) {
            const int b = binOf(first[k], a);
            grow(bin[b], boxes[static_cast<std::size_t>(first[k])]);
            ++n[b];
        }
        // Costs of the left parts swept from the left, then the right parts.
        double leftCost[kBins];
        Box acc = empty;
        int m = 0;
        for (int b = 0; b < kBins - 1; ++b) {
            grow(acc, bin[b]);
            m += n[b];
            leftCost[b] = m ? area(acc) * m : 0.0;
        }
        acc = empty;
        m = 0;
        for (int b = kBins - 1; b > 0; --b) {
            grow(acc, bin[b]);
            m += n[b];
            const double cost = leftCost[b - 1] + (m ? area(acc) * m : 0.0);
            if (m < count && m > 0 && cost < best) {
                best = cost;
                bestAxis = a;
                bestPlane = b;
            }
        }
    }
    if (bestAxis >= 0) {
        int* middle = std::partition(first, first + count, [&](int item) { return binOf(item, bestAxis) < bestPlane; });
        const int left = static_cast<int>(middle - first);
        if (left > 0 && left < count)
            return left;
    }
    // Every centre in one place: halve the list as it stands.
    return count / 2;
}

void G3FacetTree::Build()
{
    nodes.clear();
    if (!items.empty()) {
        // Built before: put the boxes back in the order of adding (those
        // added since are in it already).
        std::vector<Box> added(boxes);
        for (std::size_t k = 0; k < items.size(); ++k)
            added[static_cast<std::size_t>(items[k])] = boxes[k];
        boxes.swap(added);
    }
    items.resize(facets.size());
    for (std::size_t k = 0; k < items.size(); ++k)
        items[k] = static_cast<int>(k);
    if (items.empty())
        return;
    nodes.reserve(2 * items.size() / kLeafSize + 1);
    // (node, first, count) still to be split.
    struct Job {
        int node, first, count;
    };
    std::vector<Job> jobs;
    nodes.push_back(Node{});
    jobs.push_back({0, 0, static_cast<int>(items.size())});
    while (!jobs.empty()) {
        const Job job = jobs.back();
        jobs.pop_back();
        Box box = boxes[static_cast<std::size_t>(items[static_cast<std::size_t>(job.first)])];
        for (int k = job.first + 1; k < job.first + job.count; ++k) {
            const Box& b = boxes[static_cast<std::size_t>(items[static_cast<std::size_t>(k)])];
            for (int a = 0; a < 3; ++a) {
                box.lo[a] = std::fmin(box.lo[a], b.lo[a]);
                box.hi[a] = std::fmax(box.hi[a], b.hi[a]);
            }
        }
        Node& node = nodes[static_cast<std::size_t>(job.node)];
        for (int a = 0; a < 3; ++a) {
            node.lo[a] = Below(box.lo[a]);
            node.hi[a] = Above(box.hi[a]);
        }
        if (job.count <= kLeafSize) {
            node.first = job.first;
            node.count = job.count;
            node.second = -1;
            continue;
        }
        auto begin = items.begin() + job.first;
        const int half = SplitItems(&*begin, job.count);
        // The two children side by side; `node` is not used past here, as
        // growing the array may move it.
        const int left = static_cast<int>(nodes.size());
        node.first = left;
        node.count = 0;
        node.second = left + 1;
        nodes.push_back(Node{});
        nodes.push_back(Node{});
        jobs.push_back({left + 1, job.first + half, job.count - half});
        jobs.push_back({left, job.first, half});
    }
    // The leaves read their boxes in a row.
    std::vector<Box> ordered(boxes.size());
    for (std::size_t k = 0; k < items.size(); ++k)
        ordered[k] = boxes[static_cast<std::size_t>(items[k])];
    boxes.swap(ordered);
}

template <class T>
bool G3FacetTree::Meets(const T* lo, const T* hi, const Ray& r)
{
    double t0 = 0.0;
    double t1 = 1.0;
    for (int a = 0; a < 3; ++a) {
        if (r.flat[a]) {
            if (r.p[a] < lo[a] || r.p[a] > hi[a])
                return false;
            continue;
        }
        // Entering and leaving the slab, in the order the ray meets them.
        const double u = ((r.inv[a] < 0.0 ? hi[a] : lo[a]) - r.p[a]) * r.inv[a];
        const double v = ((r.inv[a] < 0.0 ? lo[a] : hi[a]) - r.p[a]) * r.inv[a];
        t0 = u > t0 ? u : t0;
        t1 = v < t1 ? v : t1;
        if (!(t0 <= t1))
            return false;
    }
    return true;
}

void G3FacetTree::FacetsAlong(const double* p, const double* q, GArrayCollection* out) const
{
    if (!out)
        return;
    ItemsAlong(p, q, found);
    for (int item : found)
        out->add(facets[static_cast<std::size_t>(item)]);
}

void G3FacetTree::ItemsAlong(const double* p, const double* q, std::vector<int>& out) const
{
    out.clear();
    if (!p || !q || nodes.empty())
        return;
    Ray r;
    for (int a = 0; a < 3; ++a) {
        const double d = q[a] - p[a];
        r.p[a] = p[a];
        r.flat[a] = d == 0.0;
        r.inv[a] = d == 0.0 ? 0.0 : 1.0 / d;
    }
    stack.clear();
    stack.push_back(0);
    while (!stack.empty()) {
        const Node& n = nodes[static_cast<std::size_t>(stack.back())];
        stack.pop_back();
        if (!Meets(n.lo, n.hi, r))
            continue;
        if (n.count == 0) {
            stack.push_back(n.second);
            stack.push_back(n.first);
            continue;
        }
        for (int k = n.first; k < n.first + n.count; ++k) {
            const Box& b = boxes[static_cast<std::size_t>(k)];
            if (Meets(b.lo, b.hi, r))
                out.push_back(items[static_cast<std::size_t>(k)]);
        }
    }
    std::sort(out.begin(), out.end());
}
