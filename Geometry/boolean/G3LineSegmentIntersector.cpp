#include "Geometry/boolean/G3LineSegmentIntersector.h"

#include "Geometry/boolean/G3IntersectionPointLoader.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <functional>
#include <limits>

namespace {

constexpr double kEps = 1e-6;
constexpr double kNone = -std::numeric_limits<double>::infinity();

bool AxisPair(int u, int v) { return u >= 0 && u <= 2 && v >= 0 && v <= 2 && u != v; }

// Length of (du, dv) without overflowing on large finite coordinates.
double PlaneLength(double du, double dv)
{
    const double len = std::sqrt(du * du + dv * dv);
    return std::isfinite(len) ? len : std::hypot(du, dv);
}

// A distance below 1e-6 in magnitude counts as lying on the line.
double Snap(double d) { return std::fabs(d) < kEps ? 0.0 : d; }

int Sign(double d) { return d > 0 ? 1 : (d < 0 ? -1 : 0); }

// Appends with a doubling capacity: the collection's own fixed increment
// would copy the whole array every thousand segments.
void Append(GArrayCollection& c, GObj* obj)
{
    const int cap = c.GetCapacity();
    if (c.size() >= cap && cap >= c.GetIncrement() && cap <= INT_MAX / 2) {
        GArrayCollection grown(2 * cap, c.GetIncrement());
        grown.add(c.size(), c.toArray());
        c = grown;
    }
    c.add(obj);
}

// Whether q lies on seg's dominant axis more than 1e-6 inside both ends.
bool StrictlyInside(const G3Segment* seg, const double* q)
{
    const int k = seg->dominantAxis;
    return q[k] > seg->min[k] + kEps && q[k] < seg->max[k] - kEps;
}

// Parameter of q (a point on seg) from seg's stored p1: from the distances
// of seg's ends to the other segment's line, or, when those barely differ
// (the two lines are parallel), from q's place along the dominant axis.
double Param(const G3Segment* seg, const double* q, double dist1, double dist2)
{
    if (std::fabs(dist1 - dist2) >= kEps)
        return std::fabs(dist1 / (dist1 - dist2));
    const int k = seg->dominantAxis;
    const double span = seg->p2[k] - seg->p1[k];
    return span != 0 ? (q[k] - seg->p1[k]) / span : 0.0;
}

// The caller's parameter: a segment stored with its ends exchanged counts
// from its other end.
double CallerParam(const G3Segment* seg, double t) { return seg->IsReversed() ? 1.0 - t : t; }

} // namespace

// ------------------------------------------------------------------ G3Segment

G3Segment::G3Segment() = default;

G3Segment::G3Segment(const double* q1, const double* q2, void* userData, int axisU, int axisV) : data(userData)
{
    if (!q1 || !q2 || !AxisPair(axisU, axisV))
        return;
    reversed = q2[axisV] < q1[axisV];
    const double* lo = reversed ? q2 : q1;
    const double* hi = reversed ? q1 : q2;
    for (int k = 0; k < 3; ++k) {
        p1[k] = lo[k];
        p2[k] = hi[k];
        min[k] = std::min(lo[k], hi[k]);
        max[k] = std::max(lo[k], hi[k]);
    }
    const double du = p2[axisU] - p1[axisU];
    const double dv = p2[axisV] - p1[axisV];
    length = PlaneLength(du, dv);
    dominantAxis = axisU;
    if (length > kEps && std::isfinite(length)) {
        a = dv / length;
        b = -du / length;
        c = -(a * p1[axisU] + b * p1[axisV]);
        if (std::fabs(dv) > std::fabs(du))
            dominantAxis = axisV;
    }
}

// --------------------------------------------------- G3LineSegmentIntersector

G3LineSegmentIntersector::G3LineSegmentIntersector(int u, int v)
    : axisU(u), axisV(v), axisW(AxisPair(u, v) ? 3 - u - v : -1), validAxes(AxisPair(u, v))
{
}

// The segment records go with the arena; they own nothing.
G3LineSegmentIntersector::~G3LineSegmentIntersector() = default;

bool G3LineSegmentIntersector::AddSegment(const double* p1, const double* p2, void* data)
{
    if (!validAxes || !p1 || !p2)
        return false;
    for (int k = 0; k < 3; ++k)
        if (!std::isfinite(p1[k]) || !std::isfinite(p2[k]))
            return false;
    const double len = PlaneLength(p2[axisU] - p1[axisU], p2[axisV] - p1[axisV]);
    if (!(len > kEps) || !std::isfinite(len))
        return false;
    G3Segment* s = new (&allocator) G3Segment(p1, p2, data, axisU, axisV);
    s->order = segments.size();
    Append(segments, s);
    return true;
}

int G3LineSegmentIntersector::ScanCmp(const void* s1, const void* s2, const void* context)
{
    const auto* self = static_cast<const G3LineSegmentIntersector*>(context);
    const auto* a = static_cast<const G3Segment*>(*static_cast<GObj* const*>(s1));
    const auto* b = static_cast<const G3Segment*>(*static_cast<GObj* const*>(s2));
    const double va = a->p1[self->axisV];
    const double vb = b->p1[self->axisV];
    if (va < vb)
        return -1;
    if (va > vb)
        return 1;
    // Equal starts in the order of addition: a total order keeps the
    // quicksort from degrading when many segments start together.
    return a->order < b->order ? -1 : 1;
}

bool G3LineSegmentIntersector::BeginSweep()
{
    const int n = segments.size();
    active.clear();
    pending.clear();
    next = 0;
    sweepPos = 0;
    stampCounter = 0;
    ends.clear();
    candidates.clear();
    if (n == 0)
        return false;
    segments.qsortex(ScanCmp, this);

    // Ranks by min[axisU] (exact, ties by sweep order).
    std::vector<std::pair<double, int>> keys(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
        G3Segment* s = GetSegment(i);
        s->sweepIndex = i;
        s->stamp = -1;
        s->slot = -1;
        keys[static_cast<std::size_t>(i)] = {s->min[axisU], i};
    }
    std::sort(keys.begin(), keys.end());
    byRank.resize(static_cast<std::size_t>(n));
    rankMinU.resize(static_cast<std::size_t>(n));
    for (int r = 0; r < n; ++r) {
        G3Segment* s = GetSegment(keys[static_cast<std::size_t>(r)].second);
        s->rank = r;
        byRank[static_cast<std::size_t>(r)] = s;
        rankMinU[static_cast<std::size_t>(r)] = keys[static_cast<std::size_t>(r)].first;
    }
    leafCount = 1;
    while (leafCount < n)
        leafCount *= 2;
    tree.assign(2 * static_cast<std::size_t>(leafCount), kNone);
    return true;
}

void G3LineSegmentIntersector::EndSweep()
{
    active.clear();
    pending.clear();
    ends.clear();
    candidates.clear();
}

void G3LineSegmentIntersector::FindIntersections(G3IntersectionPointLoader* loader)
{
    if (!loader || !BeginSweep())
        return;
    while (GetNextInsertionPoint()) {
        _FindIntersections(loader);
        RemoveOldSegments();
    }
    EndSweep();
}

bool G3LineSegmentIntersector::IntersectionExists()
{
    if (!BeginSweep())
        return false;
    bool found = false;
    while (!found && GetNextInsertionPoint()) {
        found = _IntersectionExists();
        if (!found)
            RemoveOldSegments();
    }
    EndSweep();
    return found;
}

bool G3LineSegmentIntersector::GetNextInsertionPoint()
{
    const int n = segments.size();
    if (next >= n)
        return false;
    sweepPos = GetSegment(next)->p1[axisV];
    while (next < n && GetSegment(next)->p1[axisV] <= sweepPos + kEps)
        Append(pending, GetSegment(next++));
    return true;
}

void G3LineSegmentIntersector::_FindIntersections(G3IntersectionPointLoader* loader)
{
    while (!pending.isEmpty()) {
        auto* s = static_cast<G3Segment*>(pending.getLast());
        pending.removeLast();
        FindIntersection(loader, s);
        Activate(s);
    }
}

bool G3LineSegmentIntersector::_IntersectionExists()
{
    while (!pending.isEmpty()) {
        auto* s = static_cast<G3Segment*>(pending.getLast());
        pending.removeLast();
        if (FindIntersection(nullptr, s))
            return true;
        Activate(s);
    }
    return false;
}

void G3LineSegmentIntersector::RemoveOldSegments()
{
    // Every segment ending that low was reached already (its start lies
    // lower still), so the heap holds all of them.
    const double limit = sweepPos - kEps;
    const auto later = std::greater<std::pair<double, int>>();
    while (!ends.empty() && ends.front().first < limit) {
        std::pop_heap(ends.begin(), ends.end(), later);
        const int index = ends.back().second;
        ends.pop_back();
        Deactivate(GetSegment(index));
    }
}

void G3LineSegmentIntersector::Activate(G3Segment* s)
{
    s->stamp = stampCounter++;
    s->slot = active.size();
    Append(active, s);
    SetLeaf(s->rank, s->max[axisU]);
    ends.emplace_back(s->p2[axisV], s->sweepIndex);
    std::push_heap(ends.begin(), ends.end(), std::greater<std::pair<double, int>>());
}

void G3LineSegmentIntersector::Deactivate(G3Segment* s)
{
    if (s->slot < 0)
        return;
    auto* last = static_cast<G3Segment*>(active.getLast());
    active.put(s->slot, last);
    last->slot = s->slot;
    active.removeLast();
    s->slot = -1;
    s->stamp = -1;
    SetLeaf(s->rank, kNone);
}

void G3LineSegmentIntersector::SetLeaf(int r, double value)
{
    std::size_t i = static_cast<std::size_t>(leafCount) + static_cast<std::size_t>(r);
    tree[i] = value;
    for (i >>= 1; i >= 1; i >>= 1) {
        const double m = std::max(tree[2 * i], tree[2 * i + 1]);
        if (tree[i] == m)
            break; // the ancestors are unchanged too
        tree[i] = m;
    }
}

void G3LineSegmentIntersector::Collect(int node, int nodeLo, int nodeSize, int limit, double lo)
{
    if (nodeLo >= limit || tree[static_cast<std::size_t>(node)] < lo)
        return;
    if (nodeSize == 1) {
        candidates.push_back(byRank[static_cast<std::size_t>(nodeLo)]);
        return;
    }
    const int half = nodeSize / 2;
    Collect(2 * node, nodeLo, half, limit, lo);
    Collect(2 * node + 1, nodeLo + half, half, limit, lo);
}

bool G3LineSegmentIntersector::FindIntersection(G3IntersectionPointLoader* loader, G3Segment* s)
{
    if (!s || tree.empty())
        return false;
    // Active segments o with o.min <= s.max + 1e-6 (a prefix of the ranks)
    // and o.max >= s.min - 1e-6 (found through the max-tree).
    const double hi = s->max[axisU] + kEps;
    const double lo = s->min[axisU] - kEps;
    const int limit = static_cast<int>(std::upper_bound(rankMinU.begin(), rankMinU.end(), hi) - rankMinU.begin());
    candidates.clear();
    if (limit > 0)
        Collect(1, 0, leafCount, limit, lo);
    // Oldest first, as a list of the active segments in arrival order would
    // give them.
    if (candidates.size() > 1)
        std::sort(candidates.begin(), candidates.end(),
                  [](const G3Segment* x, const G3Segment* y) { return x->stamp < y->stamp; });
    bool found = false;
    for (G3Segment* o : candidates) {
        if (TestPair(loader, s, o)) {
            found = true;
            if (!loader)
                return true;
        }
    }
    return found;
}

bool G3LineSegmentIntersector::TestPair(G3IntersectionPointLoader* loader, G3Segment* s, G3Segment* o) const
{
    const double d1 = Snap(s->Distance(o->p1, axisU, axisV));
    const double d2 = Snap(s->Distance(o->p2, axisU, axisV));
    const double e1 = Snap(o->Distance(s->p1, axisU, axisV));
    const double e2 = Snap(o->Distance(s->p2, axisU, axisV));
    // Each segment must touch or cross the other's line.
    if (d1 != 0 && Sign(d1) == Sign(d2))
        return false;
    if (e1 != 0 && Sign(e1) == Sign(e2))
        return false;

    bool found = false;
    auto report = [&](const double* point, double ts, double to) {
        found = true;
        if (loader)
            loader->LoadPoint(point, s->data, o->data, CallerParam(s, ts), CallerParam(o, to));
    };
    // An end of one segment lying inside the other (a T, or the ends of a
    // collinear overlap). Ends shared by both are inside neither.
    if (e1 == 0 && StrictlyInside(o, s->p1)) {
        report(s->p1, 0.0, Param(o, s->p1, d1, d2));
        if (!loader)
            return true;
    }
    if (e2 == 0 && StrictlyInside(o, s->p2)) {
        report(s->p2, 1.0, Param(o, s->p2, d1, d2));
        if (!loader)
            return true;
    }
    if (d1 == 0 && StrictlyInside(s, o->p1)) {
        report(o->p1, Param(s, o->p1, e1, e2), 0.0);
        if (!loader)
            return true;
    }
    if (d2 == 0 && StrictlyInside(s, o->p2)) {
        report(o->p2, Param(s, o->p2, e1, e2), 1.0);
        if (!loader)
            return true;
    }
    // A proper crossing: both pairs of ends strictly on opposite sides.
    if (d1 != 0 && d2 != 0 && e1 != 0 && e2 != 0) {
        const double ts = std::fabs(e1 / (e1 - e2));
        const double to = std::fabs(d1 / (d1 - d2));
        double x[3];
        for (int k = 0; k < 3; ++k)
            x[k] = s->p1[k] + ts * (s->p2[k] - s->p1[k]);
        report(x, ts, to);
    }
    return found;
}
