#include "Geometry/boolean/G3LineSegmentIntersector.h"

#include "Geometry/boolean/G3IntersectionPointLoader.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>

namespace {

constexpr double kEps = 1e-6;

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

// Maps a finite double to an unsigned key with the same order (-0 as +0).
std::uint64_t SortableBits(double d)
{
    d += 0.0;
    std::uint64_t b;
    std::memcpy(&b, &d, sizeof b);
    return (b >> 63) ? ~b : (b | (std::uint64_t(1) << 63));
}

constexpr int kLookAhead = 8;

void Prefetch(const G3Segment* s)
{
#if defined(__GNUC__)
    const char* p = reinterpret_cast<const char*>(s);
    __builtin_prefetch(p);
    __builtin_prefetch(p + 64);
    __builtin_prefetch(p + 128);
#else
    (void)s;
#endif
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
    // One cell and one bucket until a sweep sizes them, so that the
    // protected steps stay in bounds whenever they are called.
    cellHead.assign(1, -1);
    endHead.assign(1, -1);
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
    // Equal starts in the order of addition: a total order, so the sweep
    // order does not depend on how it is sorted.
    return a->order < b->order ? -1 : 1;
}

bool G3LineSegmentIntersector::BeginSweep()
{
    EndSweep();
    next = 0;
    sweepPos = 0;
    stampCounter = 0;
    searchMark = 0;
    if (segments.size() == 0)
        return false;
    OrderSegments();
    return true;
}

void G3LineSegmentIntersector::EndSweep()
{
    active.clear();
    pending.clear();
    candidates.clear();
    nodes.clear();
    freeNodes.clear();
    activeNodes.clear();
    std::fill(cellHead.begin(), cellHead.end(), -1);
    longHead = -1;
    std::fill(endHead.begin(), endHead.end(), -1);
    endCursor = 0;
}

// The order ScanCmp defines, by a stable radix sort of the keys taken in
// order of addition. Sorting pointers through a comparison touches the
// scattered records log n times each; this pass reads each record once and
// sorts a compact copy of the keys, in time linear in their number. The same
// pass sizes the grid.
void G3LineSegmentIntersector::OrderSegments()
{
    const int n = segments.size();
    const std::size_t count = static_cast<std::size_t>(n);
    GObj** items = segments.toArray();
    // Back into order of addition (only needed after an earlier sweep).
    for (int i = 0; i < n; ++i) {
        if (GetSegment(i)->order == i)
            continue;
        std::vector<GObj*> byOrder(count);
        for (int k = 0; k < n; ++k)
            byOrder[static_cast<std::size_t>(GetSegment(k)->order)] = items[k];
        for (int k = 0; k < n; ++k)
            items[k] = byOrder[static_cast<std::size_t>(k)];
        break;
    }

    std::unique_ptr<std::uint64_t[]> key(new std::uint64_t[count]);
    std::unique_ptr<std::uint64_t[]> key2(new std::uint64_t[count]);
    std::unique_ptr<std::uint32_t[]> idx(new std::uint32_t[count]);
    std::unique_ptr<std::uint32_t[]> idx2(new std::uint32_t[count]);
    double u0 = 0, u1 = 0, v0 = 0, v1 = 0;
    for (int i = 0; i < n; ++i) {
        const G3Segment* s = GetSegment(i);
        v0 = i == 0 ? s->p1[axisV] : std::min(v0, s->p1[axisV]);
        v1 = i == 0 ? s->p2[axisV] : std::max(v1, s->p2[axisV]);
        key[static_cast<std::size_t>(i)] = SortableBits(s->p1[axisV]);
        idx[static_cast<std::size_t>(i)] = static_cast<std::uint32_t>(i);
        u0 = i == 0 ? s->min[axisU] : std::min(u0, s->min[axisU]);
        u1 = i == 0 ? s->max[axisU] : std::max(u1, s->max[axisU]);
    }
    for (int shift = 0; shift < 64; shift += 8) {
        std::size_t bucket[257] = {};
        for (std::size_t i = 0; i < count; ++i)
            ++bucket[((key[i] >> shift) & 0xFF) + 1];
        if (bucket[((key[0] >> shift) & 0xFF) + 1] == count)
            continue; // every key has this digit
        for (int d = 0; d < 256; ++d)
            bucket[d + 1] += bucket[d];
        for (std::size_t i = 0; i < count; ++i) {
            const std::size_t at = bucket[(key[i] >> shift) & 0xFF]++;
            key2[at] = key[i];
            idx2[at] = idx[i];
        }
        key.swap(key2);
        idx.swap(idx2);
    }
    // The sorted pointers pass through the spare key buffer.
    static_assert(sizeof(std::uintptr_t) <= sizeof(std::uint64_t), "pointers fit the key buffer");
    for (std::size_t i = 0; i < count; ++i)
        key2[i] = reinterpret_cast<std::uintptr_t>(items[idx[i]]);
    for (std::size_t i = 0; i < count; ++i)
        items[i] = reinterpret_cast<GObj*>(static_cast<std::uintptr_t>(key2[i]));

    // Cells about as wide as the median extent (of an even sample), at most
    // 2n of them.
    const int samples = std::min(n, 255);
    double extent[255];
    for (int k = 0; k < samples; ++k) {
        const G3Segment* s = GetSegment(static_cast<int>(static_cast<long long>(k) * n / samples));
        extent[k] = s->max[axisU] - s->min[axisU];
    }
    std::nth_element(extent, extent + samples / 2, extent + samples);
    const double range = u1 - u0;
    const double width = std::max(extent[samples / 2], range / (2.0 * n));
    gridU0 = u0;
    gridWidth = 1;
    gridCells = 1;
    if (std::isfinite(range) && range > 0 && width > 0) {
        gridWidth = width;
        gridCells = static_cast<int>(std::min(range / width, std::min(2.0 * n, INT_MAX / 2.0))) + 1;
    }
    cellHead.assign(static_cast<std::size_t>(gridCells), -1);

    const double height = v1 - v0;
    endV0 = v0;
    endHeight = 1;
    int endBuckets = 1;
    if (std::isfinite(height) && height / n > 0) {
        endHeight = height / n;
        endBuckets = n;
    }
    endHead.assign(static_cast<std::size_t>(endBuckets), -1);
    endCursor = 0;
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
    while (next < n) {
        G3Segment* s = GetSegment(next);
        if (!(s->p1[axisV] <= sweepPos + kEps))
            break;
        Append(pending, s);
        ++next;
        // The records lie in order of addition: fetch the coming ones early.
        if (next + kLookAhead < n)
            Prefetch(GetSegment(next + kLookAhead));
    }
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
    // lower still), so the buckets hold all of them.
    const double limit = sweepPos - kEps;
    const int last = EndBucketOf(limit);
    for (; endCursor <= last; ++endCursor) {
        int t = endHead[static_cast<std::size_t>(endCursor)];
        while (t >= 0) {
            const int after = nodes[static_cast<std::size_t>(t)].endNext;
            if (nodes[static_cast<std::size_t>(t)].endV < limit)
                Deactivate(t);
            t = after;
        }
    }
    // The bucket holding the limit may still gain and lose segments.
    endCursor = last;
}

// Monotone in v, so a bucket below the limit's holds only lower ends.
int G3LineSegmentIntersector::EndBucketOf(double v) const
{
    const double x = (v - endV0) / endHeight;
    const int buckets = static_cast<int>(endHead.size());
    if (!(x > 0))
        return 0;
    if (x >= static_cast<double>(buckets - 1))
        return buckets - 1;
    return static_cast<int>(x);
}

int G3LineSegmentIntersector::CellOf(double u) const
{
    const double x = (u - gridU0) / gridWidth;
    if (!(x > 0))
        return 0;
    if (x >= static_cast<double>(gridCells - 1))
        return gridCells - 1;
    return static_cast<int>(x);
}

void G3LineSegmentIntersector::Link(int entry, int cell)
{
    int& head = Head(cell);
    entryPrev[static_cast<std::size_t>(entry)] = -1;
    entryNext[static_cast<std::size_t>(entry)] = head;
    if (head >= 0)
        entryPrev[static_cast<std::size_t>(head)] = entry;
    head = entry;
}

void G3LineSegmentIntersector::Unlink(int entry, int cell)
{
    const int prev = entryPrev[static_cast<std::size_t>(entry)];
    const int after = entryNext[static_cast<std::size_t>(entry)];
    if (prev >= 0)
        entryNext[static_cast<std::size_t>(prev)] = after;
    else
        Head(cell) = after;
    if (after >= 0)
        entryPrev[static_cast<std::size_t>(after)] = prev;
}

void G3LineSegmentIntersector::Activate(G3Segment* s)
{
    int t;
    if (!freeNodes.empty()) {
        t = freeNodes.back();
        freeNodes.pop_back();
    } else {
        t = static_cast<int>(nodes.size());
        nodes.emplace_back();
        entryNext.resize(nodes.size() * kMaxCells);
        entryPrev.resize(nodes.size() * kMaxCells);
    }
    Node& nd = nodes[static_cast<std::size_t>(t)];
    nd.minU = s->min[axisU];
    nd.maxU = s->max[axisU];
    nd.stamp = stampCounter++;
    nd.slot = active.size();
    nd.seen = -1;
    nd.seg = s;
    Append(active, s);
    activeNodes.push_back(t);
    const int c0 = CellOf(nd.minU);
    const int c1 = CellOf(nd.maxU);
    if (c1 - c0 < kMaxCells) {
        nd.cell0 = c0;
        nd.cellCount = c1 - c0 + 1;
        for (int k = 0; k < nd.cellCount; ++k)
            Link(t * kMaxCells + k, c0 + k);
    } else {
        nd.cell0 = -1;
        nd.cellCount = 1;
        Link(t * kMaxCells, -1);
    }
    nd.endV = s->p2[axisV];
    nd.endBucket = EndBucketOf(nd.endV);
    int& head = endHead[static_cast<std::size_t>(nd.endBucket)];
    nd.endPrev = -1;
    nd.endNext = head;
    if (head >= 0)
        nodes[static_cast<std::size_t>(head)].endPrev = t;
    head = t;
}

void G3LineSegmentIntersector::Deactivate(int t)
{
    Node& nd = nodes[static_cast<std::size_t>(t)];
    for (int k = 0; k < nd.cellCount; ++k)
        Unlink(t * kMaxCells + k, nd.cell0 < 0 ? -1 : nd.cell0 + k);
    if (nd.endPrev >= 0)
        nodes[static_cast<std::size_t>(nd.endPrev)].endNext = nd.endNext;
    else
        endHead[static_cast<std::size_t>(nd.endBucket)] = nd.endNext;
    if (nd.endNext >= 0)
        nodes[static_cast<std::size_t>(nd.endNext)].endPrev = nd.endPrev;
    const int lastNode = activeNodes.back();
    active.put(nd.slot, active.getLast());
    active.removeLast();
    activeNodes[static_cast<std::size_t>(nd.slot)] = lastNode;
    activeNodes.pop_back();
    nodes[static_cast<std::size_t>(lastNode)].slot = nd.slot;
    freeNodes.push_back(t);
}

// Takes node t as a candidate once per search when its range meets [lo, hi].
void G3LineSegmentIntersector::Consider(int t, double lo, double hi)
{
    Node& nd = nodes[static_cast<std::size_t>(t)];
    if (nd.seen == searchMark)
        return;
    nd.seen = searchMark;
    if (nd.minU <= hi && nd.maxU >= lo)
        candidates.push_back(t);
}

bool G3LineSegmentIntersector::FindIntersection(G3IntersectionPointLoader* loader, G3Segment* s)
{
    if (!s)
        return false;
    const double lo = s->min[axisU] - kEps;
    const double hi = s->max[axisU] + kEps;
    candidates.clear();
    ++searchMark;
    const int c0 = CellOf(lo);
    const int c1 = CellOf(hi);
    if (static_cast<std::size_t>(c1 - c0) >= activeNodes.size()) {
        for (int t : activeNodes)
            Consider(t, lo, hi);
    } else {
        for (int c = c0; c <= c1; ++c)
            for (int e = cellHead[static_cast<std::size_t>(c)]; e >= 0; e = entryNext[static_cast<std::size_t>(e)])
                Consider(e / kMaxCells, lo, hi);
        for (int e = longHead; e >= 0; e = entryNext[static_cast<std::size_t>(e)])
            Consider(e / kMaxCells, lo, hi);
    }
    // Oldest first, as a list of the active segments in arrival order would
    // give them.
    if (candidates.size() > 1)
        std::sort(candidates.begin(), candidates.end(), [this](int x, int y) {
            return nodes[static_cast<std::size_t>(x)].stamp < nodes[static_cast<std::size_t>(y)].stamp;
        });
    bool found = false;
    for (int t : candidates) {
        if (TestPair(loader, s, nodes[static_cast<std::size_t>(t)].seg)) {
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
