#include "Geometry/boolean/G3LineSegmentIntersector.h"

#include "Geometry/boolean/G3IntersectionPointLoader.h"
#include "Geometry/math/GTolerance.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>

namespace {

using GTolerance::kPointEqual;

bool AxisPair(int u, int v) { return u >= 0 && u <= 2 && v >= 0 && v <= 2 && u != v; }

// Length of (du, dv) without overflowing on large finite coordinates.
double PlaneLength(double du, double dv)
{
    const double len = std::sqrt(du * du + dv * dv);
    return std::isfinite(len) ? len : std::hypot(du, dv);
}

// A distance below kPlaneSide in magnitude counts as lying on the line.
double Snap(double d) { return std::fabs(d) < GTolerance::kPlaneSide ? 0.0 : d; }

int Sign(double d) { return d > 0 ? 1 : (d < 0 ? -1 : 0); }

// The caller's parameter: a segment stored with its ends exchanged counts
// from its other end.
double CallerParam(bool reversed, double t) { return reversed ? 1.0 - t : t; }

// (v, pos) pairs sorted by v and then pos (a strict order: the positions
// are distinct, so std::sort is safe); an insertion sort up to 256 pairs,
// which are nearly in order when they come from the buckets.
struct StartKey {
    double v;
    std::uint32_t pos;
};

bool StartLess(const StartKey& x, const StartKey& y) { return x.v < y.v || (x.v == y.v && x.pos < y.pos); }

void SortStarts(StartKey* a, std::size_t n)
{
    if (n > 256) {
        std::sort(a, a + n, StartLess);
        return;
    }
    for (std::size_t i = 1; i < n; ++i) {
        const StartKey x = a[i];
        std::size_t j = i;
        for (; j > 0 && StartLess(x, a[j - 1]); --j)
            a[j] = a[j - 1];
        a[j] = x;
    }
}

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
    if (length > GTolerance::kZeroLength && std::isfinite(length)) {
        a = dv / length;
        b = -du / length;
        c = -(a * p1[axisU] + b * p1[axisV]);
        if (std::fabs(dv) > std::fabs(du))
            dominantAxis = axisV;
    }
}

// --------------------------------------------------- G3LineSegmentIntersector

namespace {

// How far ahead in sweep order the records are fetched.
constexpr int kLookAhead = 16;

inline void PrefetchLine(const void* p)
{
#if defined(__GNUC__)
    __builtin_prefetch(p);
#else
    (void)p;
#endif
}

// Appends with a doubling capacity: the collection's own fixed increment
// would copy the whole array every thousand segments.
inline void Append(GArrayCollection& c, GObj* obj)
{
    const int cap = c.GetCapacity();
    if (c.size() >= cap && cap >= c.GetIncrement() && cap <= INT_MAX / 2) {
        GArrayCollection grown(2 * cap, c.GetIncrement());
        grown.add(c.size(), c.toArray());
        c = grown;
    }
    c.GArrayCollection::add(obj);
}

// Whether the point (qu, qv) lies on the segment's dominant axis more than
// 1e-6 inside both its ends.
template <class R> bool StrictlyInside(const R& seg, double qu, double qv, int dominantV)
{
    if (seg.flags & dominantV)
        return qv > seg.v1 + kPointEqual && qv < seg.v2 - kPointEqual;
    return qu > std::min(seg.u1, seg.u2) + kPointEqual && qu < std::max(seg.u1, seg.u2) - kPointEqual;
}

// Parameter of (qu, qv) (a reported point, on seg within the tolerance)
// from seg's stored p1: the point projected onto seg. Where the two lines
// cross is no measure of it: for nearly parallel segments that crossing lies
// far from the point, and at large coordinates the distances it is computed
// from are mostly rounding. (-b, a) is seg's unit direction, so the
// denominator is seg's length, never 0 for a kept segment.
template <class R> double Param(const R& seg, double qu, double qv)
{
    const double along = (qu - seg.u1) * -seg.b + (qv - seg.v1) * seg.a;
    const double length = (seg.u2 - seg.u1) * -seg.b + (seg.v2 - seg.v1) * seg.a;
    const double t = along / length;
    return t > 0 ? (t < 1 ? t : 1.0) : 0.0;
}

} // namespace

G3LineSegmentIntersector::G3LineSegmentIntersector(int u, int v)
    : axisU(u), axisV(v), axisW(AxisPair(u, v) ? 3 - u - v : -1), validAxes(AxisPair(u, v))
{
    // One cell and one bucket until a sweep sizes them, so that the
    // protected steps stay in bounds whenever they are called.
    cellSlots.assign(kCellSlots, Entry{0, 0, -HUGE_VAL, 0, 0, 0});
    overflow.resize(1);
    endHead.assign(1, -1);
}

// The segment records go with the arena; they own nothing. The working
// vectors go with the intersector.
G3LineSegmentIntersector::~G3LineSegmentIntersector() = default;

G3LineSegmentIntersector::Rec G3LineSegmentIntersector::MakeRec(const G3Segment& s) const
{
    Rec r;
    r.u1 = s.p1[axisU];
    r.v1 = s.p1[axisV];
    r.u2 = s.p2[axisU];
    r.v2 = s.p2[axisV];
    r.a = s.a;
    r.b = s.b;
    r.c = s.c;
    r.flags = (s.dominantAxis == axisV ? kDominantV : 0) | (s.IsReversed() ? kReversed : 0);
    r.unused = 0;
    return r;
}

G3LineSegmentIntersector::Cold G3LineSegmentIntersector::MakeCold(const G3Segment& s) const
{
    return Cold{s.data, s.p1[axisW], s.p2[axisW]};
}

bool G3LineSegmentIntersector::AddSegment(const double* p1, const double* p2, void* data)
{
    if (!validAxes || !p1 || !p2 || segments.size() == INT_MAX)
        return false;
    for (int k = 0; k < 3; ++k)
        if (!std::isfinite(p1[k]) || !std::isfinite(p2[k]))
            return false;
    const double len = PlaneLength(p2[axisU] - p1[axisU], p2[axisV] - p1[axisV]);
    if (!(len > GTolerance::kZeroLength) || !std::isfinite(len))
        return false;
    if (recs.size() != static_cast<std::size_t>(segments.size()) && !RebuildRecords())
        return false;
    if (!Room())
        return false;
    G3Segment* s = new (&allocator) G3Segment(p1, p2, data, axisU, axisV);
    s->order = segments.size();
    Keep(s);
    Append(segments, s);
    return true;
}

bool G3LineSegmentIntersector::Room()
{
    const std::size_t want = recs.size() + 1;
    return recs.reserve(want) && cold.reserve(want) && byAddition.reserve(want) && keys.reserve(want);
}

void G3LineSegmentIntersector::Keep(G3Segment* s)
{
    const Rec r = MakeRec(*s);
    if (recs.empty()) {
        boundU0 = s->min[axisU];
        boundU1 = s->max[axisU];
        boundV0 = boundStart1 = r.v1;
        boundV1 = r.v2;
    } else {
        boundU0 = std::min(boundU0, s->min[axisU]);
        boundU1 = std::max(boundU1, s->max[axisU]);
        boundV0 = std::min(boundV0, r.v1);
        boundStart1 = std::max(boundStart1, r.v1);
        boundV1 = std::max(boundV1, r.v2);
    }
    keys.push_back(Key{r.v1, 0, 0});
    recs.push_back(r);
    cold.push_back(MakeCold(*s));
    byAddition.push_back(s);
}

// The collection back in order of addition, then its records anew.
bool G3LineSegmentIntersector::RebuildRecords()
{
    GObj** items = segments.toArray();
    const int n = segments.size();
    std::stable_sort(items, items + n, [](GObj* x, GObj* y) {
        return static_cast<const G3Segment*>(x)->order < static_cast<const G3Segment*>(y)->order;
    });
    recs.clear();
    cold.clear();
    byAddition.clear();
    keys.clear();
    for (int i = 0; i < n; ++i) {
        if (!Room()) {
            recs.clear();
            cold.clear();
            byAddition.clear();
            keys.clear();
            return false;
        }
        Keep(GetSegment(i));
    }
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
    sweepCount = 0;
    pendingBase = 0;
    if (segments.size() == 0)
        return false;
    if (recs.size() != static_cast<std::size_t>(segments.size()) && !RebuildRecords())
        return false;
    OrderSegments();
    sweepCount = segments.size();
    return true;
}

void G3LineSegmentIntersector::EndSweep()
{
    active.clear();
    pending.clear();
    candidateCount = 0;
    nodes.clear();
    freeNodes.clear();
    activeNodes.clear();
    std::fill(cellSlots.begin(), cellSlots.end(), Entry{0, 0, -HUGE_VAL, 0, 0, 0});
    for (std::vector<Entry>& c : overflow)
        c.clear();
    longList.clear();
    removedBelow = -DBL_MAX;
    std::fill(endHead.begin(), endHead.end(), -1);
    endCursor = 0;
}

// Sweep order into keys[].bySweep: the order of addition of the segment at
// each place. The starts are dealt by height into buckets (a monotone map,
// so the buckets come in sweep order), about eight to a bucket and at most
// kMaxBuckets of them: a counting pass, then each key's index written to its
// bucket's next free `spare`. Each bucket's keys are then gathered, sorted
// by (start, order of addition) and written out. The passes read and write
// the keys array only, with no chain of dependent loads, and nothing of the
// input's size is allocated; evenly spread starts cost a few passes, any
// spread at most a comparison sort.
void G3LineSegmentIntersector::SortKeys()
{
    constexpr std::size_t kMaxBuckets = 4096;
    constexpr std::size_t kLocal = 256;
    const std::size_t n = keys.size();
    Key* key = keys.data();
    const double lo = boundV0, hi = boundStart1;
    std::size_t buckets = std::min(n / 8, kMaxBuckets);
    double scale = hi > lo ? static_cast<double>(buckets) / (hi - lo) : 0.0;
    if (buckets < 2 || !std::isfinite(scale) || !(scale > 0)) {
        buckets = 1;
        scale = 0;
    }
    auto bucketOf = [&](double v) {
        const double x = (v - lo) * scale;
        return x >= static_cast<double>(buckets - 1) ? buckets - 1 : (x > 0 ? static_cast<std::size_t>(x) : 0);
    };
    std::uint32_t start[kMaxBuckets + 1];
    std::uint32_t fill[kMaxBuckets];
    std::fill(start, start + buckets + 1, 0u);
    for (std::size_t i = 0; i < n; ++i)
        ++start[bucketOf(key[i].v) + 1];
    for (std::size_t b = 0; b < buckets; ++b) {
        start[b + 1] += start[b];
        fill[b] = start[b];
    }
    for (std::size_t i = 0; i < n; ++i)
        key[fill[bucketOf(key[i].v)]++].spare = static_cast<std::uint32_t>(i);
    // Within a bucket the keys are dealt once more, by their place inside
    // it, so that the insertion sort that settles them meets few keys out
    // of order.
    StartKey gathered[kLocal], local[kLocal];
    std::uint32_t sub[2 * kLocal + 1];
    std::vector<StartKey> large;
    for (std::size_t b = 0; b < buckets; ++b) {
        const std::size_t first = start[b], m = start[b + 1] - first;
        if (m > kLocal) {
            large.resize(m);
            for (std::size_t j = 0; j < m; ++j) {
                const std::uint32_t pos = key[first + j].spare;
                large[j] = StartKey{key[pos].v, pos};
            }
            SortStarts(large.data(), m);
            for (std::size_t j = 0; j < m; ++j)
                key[first + j].bySweep = large[j].pos;
            continue;
        }
        if (m == 1) {
            key[first].bySweep = key[first].spare;
            continue;
        }
        for (std::size_t j = 0; j < m; ++j) {
            const std::uint32_t pos = key[first + j].spare;
            gathered[j] = StartKey{key[pos].v, pos};
        }
        // Twice as many parts as keys, so that few keys share one.
        const std::size_t parts = 2 * m;
        const double base = static_cast<double>(b);
        const double fine = static_cast<double>(parts);
        auto subOf = [&](double v) {
            const double x = ((v - lo) * scale - base) * fine;
            return x >= fine - 1 ? parts - 1 : (x > 0 ? static_cast<std::size_t>(x) : 0);
        };
        std::fill(sub, sub + parts + 1, 0u);
        for (std::size_t j = 0; j < m; ++j)
            ++sub[subOf(gathered[j].v) + 1];
        for (std::size_t j = 0; j < parts; ++j)
            sub[j + 1] += sub[j];
        for (std::size_t j = 0; j < m; ++j)
            local[sub[subOf(gathered[j].v)]++] = gathered[j];
        SortStarts(local, m);
        for (std::size_t j = 0; j < m; ++j)
            key[first + j].bySweep = local[j].pos;
    }
}

// The order ScanCmp defines: the keys sorted by (v, pos), pos being the
// order of addition. The records stay in order of addition; the sweep
// reaches them through the keys and fetches them ahead of use, so nothing of
// the input's size is allocated or moved here (a large buffer touched for
// the first time costs more than the sweep itself).
void G3LineSegmentIntersector::OrderSegments()
{
    const int n = segments.size();
    const std::size_t count = static_cast<std::size_t>(n);
    Key* key = keys.data();
    SortKeys();
    GObj** items = segments.toArray();
    G3Segment* const* add = byAddition.data();
    constexpr std::size_t ahead = 16;
    for (std::size_t i = 0; i < count; ++i) {
        if (i + ahead < count)
            PrefetchLine(add + key[i + ahead].bySweep);
        items[i] = add[key[i].bySweep];
    }

    // Cells about as wide as the median extent (of an even sample), at most
    // 2n of them.
    const int samples = std::min(n, 255);
    double extent[255];
    for (int k = 0; k < samples; ++k) {
        const Rec& r = recs[key[static_cast<std::size_t>(static_cast<long long>(k) * n / samples)].bySweep];
        extent[k] = std::max(r.u1, r.u2) - std::min(r.u1, r.u2);
    }
    std::nth_element(extent, extent + samples / 2, extent + samples);
    const double range = boundU1 - boundU0;
    const double width = std::max(extent[samples / 2], range / (2.0 * n));
    gridU0 = boundU0;
    gridScale = 1;
    gridCells = 1;
    if (std::isfinite(range) && range > 0 && width > 0 && std::isfinite(1 / width)) {
        gridScale = 1 / width;
        gridCells = static_cast<int>(std::min(range / width, std::min(2.0 * n, INT_MAX / 2.0))) + 1;
    }
    cellSlots.assign(static_cast<std::size_t>(gridCells) * kCellSlots, Entry{0, 0, -HUGE_VAL, 0, 0, 0});
    if (overflow.size() > static_cast<std::size_t>(gridCells))
        overflow.resize(static_cast<std::size_t>(gridCells));
    for (std::vector<Entry>& c : overflow)
        c.clear();
    overflow.resize(static_cast<std::size_t>(gridCells));

    // Room for as many active segments as evenly spread ones of median
    // length would make, so that a small sweep does not regrow its arrays.
    const std::size_t expect = static_cast<std::size_t>(2 * std::sqrt(static_cast<double>(n))) + 16;
    nodes.reserve(expect);
    activeNodes.reserve(expect);
    freeNodes.reserve(expect);
    if (candidates.size() < 64)
        candidates.resize(64);

    // n buckets of ends, on a ring of at most 4096 lists.
    const double height = boundV1 - boundV0;
    endV0 = boundV0;
    endScale = 1;
    endBuckets = 1;
    if (std::isfinite(height) && height / n > 0 && std::isfinite(n / height)) {
        endScale = n / height;
        endBuckets = n;
    }
    std::size_t ring = 1;
    while (ring < static_cast<std::size_t>(endBuckets) && ring < 4096)
        ring *= 2;
    endHead.assign(ring, -1);
    endCursor = 0;
}

// A sweep in progress, ended however it is left: a loader's exception (an
// allocation failure, say) propagates through the sweep, and the
// intersector must still answer the next call.
class G3LineSegmentIntersector::SweepScope {
public:
    explicit SweepScope(G3LineSegmentIntersector* x) : self(x) { self->sweeping = true; }
    ~SweepScope()
    {
        self->EndSweep();
        self->sweeping = false;
    }
    SweepScope(const SweepScope&) = delete;
    SweepScope& operator=(const SweepScope&) = delete;

private:
    G3LineSegmentIntersector* self;
};

void G3LineSegmentIntersector::FindIntersections(G3IntersectionPointLoader* loader)
{
    if (!loader || sweeping)
        return;
    SweepScope scope(this);
    if (!BeginSweep())
        return;
    while (GetNextInsertionPoint()) {
        _FindIntersections(loader);
        RemoveOldSegments();
    }
}

bool G3LineSegmentIntersector::IntersectionExists()
{
    if (sweeping)
        return false;
    SweepScope scope(this);
    if (!BeginSweep())
        return false;
    bool found = false;
    while (!found && GetNextInsertionPoint()) {
        found = _IntersectionExists();
        if (!found)
            RemoveOldSegments();
    }
    return found;
}

// The records of the segment at `pos` in sweep order, fetched ahead of use.
void G3LineSegmentIntersector::Prefetch(int pos) const
{
    const std::uint32_t add = keys[static_cast<std::size_t>(pos)].bySweep;
    PrefetchLine(&recs[add]);
    // A report record may straddle two lines.
    PrefetchLine(&cold[add]);
    PrefetchLine(reinterpret_cast<const char*>(&cold[add]) + sizeof(Cold) - 1);
}

bool G3LineSegmentIntersector::GetNextInsertionPoint()
{
    const int n = std::min(sweepCount, segments.size());
    if (next >= n)
        return false;
    sweepPos = StartAt(next);
    pendingBase = next - pending.size();
    while (next < n) {
        if (!(StartAt(next) <= sweepPos + kPointEqual))
            break;
        Append(pending, segments.get(next));
        if (next + kLookAhead < n)
            Prefetch(next + kLookAhead);
        ++next;
    }
    return true;
}

// Position of s in the current sweep: `hint` when it holds s, else found by
// a search (only when a derived class hands over segments of its own
// choosing); -1 when s takes no part in the sweep.
int G3LineSegmentIntersector::Locate(const G3Segment* s, int hint) const
{
    const int n = std::min(sweepCount, segments.size());
    if (hint >= 0 && hint < n && segments.get(hint) == s)
        return hint;
    for (int i = 0; i < n; ++i)
        if (segments.get(i) == s)
            return i;
    return -1;
}

int G3LineSegmentIntersector::PopPending()
{
    while (!pending.isEmpty()) {
        auto* s = static_cast<G3Segment*>(pending.getLast());
        pending.removeLast();
        const int pos = Locate(s, pendingBase + pending.size());
        if (pos >= 0)
            return pos;
    }
    return -1;
}

void G3LineSegmentIntersector::_FindIntersections(G3IntersectionPointLoader* loader)
{
    for (int pos; (pos = PopPending()) >= 0;) {
        FindAt(loader, pos);
        ActivateAt(pos);
    }
}

bool G3LineSegmentIntersector::_IntersectionExists()
{
    for (int pos; (pos = PopPending()) >= 0;) {
        if (FindAt(nullptr, pos))
            return true;
        ActivateAt(pos);
    }
    return false;
}

bool G3LineSegmentIntersector::FindIntersection(G3IntersectionPointLoader* loader, G3Segment* s)
{
    if (!s)
        return false;
    const int pos = Locate(s, -1);
    return pos >= 0 && FindAt(loader, pos);
}

void G3LineSegmentIntersector::RemoveOldSegments()
{
    // Every segment ending that low was reached already (its start lies
    // lower still), and every active one ends in the cursor's bucket or
    // above, so the buckets from the cursor to the limit's hold all of them.
    const double limit = sweepPos - kPointEqual;
    removedBelow = std::max(removedBelow, limit);
    const long long last = EndBucketOf(limit);
    const long long ring = static_cast<long long>(endHead.size());
    const long long from = last - endCursor + 1 >= ring ? last - ring + 1 : endCursor;
    for (long long bucket = from; bucket <= last; ++bucket) {
        int* link = &endHead[static_cast<std::size_t>(bucket & (ring - 1))];
        while (*link >= 0) {
            const int t = *link;
            Node& nd = nodes[static_cast<std::size_t>(t)];
            if (nd.rec.v2 < limit) {
                *link = nd.endNext;
                Deactivate(t);
            } else {
                link = &nd.endNext;
            }
        }
    }
    // The bucket holding the limit may still gain and lose segments.
    endCursor = last;
}

void G3LineSegmentIntersector::ActivateAt(int pos)
{
    int t;
    if (!freeNodes.empty()) {
        t = freeNodes.back();
        freeNodes.pop_back();
    } else {
        t = static_cast<int>(nodes.size());
        nodes.emplace_back();
    }
    Node& nd = nodes[static_cast<std::size_t>(t)];
    const std::uint32_t add = keys[static_cast<std::size_t>(pos)].bySweep;
    nd.rec = recs[add];
    nd.cold = cold[add];
    nd.pos = pos;
    nd.stamp = stampCounter++;
    nd.slot = active.size();
    Append(active, segments.get(pos));
    activeNodes.push_back(t);
    Entry e;
    e.minU = std::min(nd.rec.u1, nd.rec.u2);
    e.maxU = std::max(nd.rec.u1, nd.rec.u2);
    e.endV = nd.rec.v2;
    e.key = (static_cast<std::uint64_t>(nd.stamp) << 32) | static_cast<std::uint32_t>(t);
    const int c0 = CellOf(e.minU);
    const int c1 = CellOf(e.maxU);
    e.cell0 = c0;
    e.unused = 0;
    if (c1 - c0 < kMaxCells) {
        for (int c = c0; c <= c1; ++c)
            AddEntry(c, e);
    } else {
        longList.push_back(e);
    }
    const long long ring = static_cast<long long>(endHead.size());
    int& head = endHead[static_cast<std::size_t>(EndBucketOf(nd.rec.v2) & (ring - 1))];
    nd.endNext = head;
    head = t;
}

// Out of the active set; its entries are left for their slots to be reused.
void G3LineSegmentIntersector::Deactivate(int t)
{
    const int slot = nodes[static_cast<std::size_t>(t)].slot;
    const int lastNode = activeNodes.back();
    active.put(slot, active.getLast());
    active.removeLast();
    activeNodes[static_cast<std::size_t>(slot)] = lastNode;
    activeNodes.pop_back();
    nodes[static_cast<std::size_t>(lastNode)].slot = slot;
    freeNodes.push_back(t);
}

void G3LineSegmentIntersector::SearchCell(int cell, int firstCell, double lo, double hi)
{
    // Search writes a slot for every entry it reads.
    const std::vector<Entry>& more = overflow[static_cast<std::size_t>(cell)];
    const std::size_t room = candidateCount + kCellSlots + more.size();
    if (candidates.size() < room)
        candidates.resize(std::max(2 * candidates.size(), room));
    Search<true>(&cellSlots[static_cast<std::size_t>(cell) * kCellSlots], kCellSlots, cell, firstCell, lo, hi);
    if (!more.empty())
        Search<true>(more.data(), more.size(), cell, firstCell, lo, hi);
}

// Into the cell's first slot that is empty or holds a removed segment, else
// its overflow list (cleared of removed segments when it is to grow).
void G3LineSegmentIntersector::AddEntry(int cell, const Entry& e)
{
    Entry* slot = &cellSlots[static_cast<std::size_t>(cell) * kCellSlots];
    unsigned free = 0;
    for (int k = 0; k < kCellSlots; ++k)
        free |= static_cast<unsigned>(!Live(slot[k])) << k;
    if (free) {
#if defined(__GNUC__)
        const int k = __builtin_ctz(free);
#else
        int k = 0;
        while (!(free & (1u << k)))
            ++k;
#endif
        slot[k] = e;
        return;
    }
    std::vector<Entry>& more = overflow[static_cast<std::size_t>(cell)];
    if (more.size() == more.capacity())
        Compact(more);
    more.push_back(e);
}

void G3LineSegmentIntersector::Compact(std::vector<Entry>& list) const
{
    list.erase(std::remove_if(list.begin(), list.end(), [this](const Entry& x) { return !Live(x); }), list.end());
}

bool G3LineSegmentIntersector::FindAt(G3IntersectionPointLoader* loader, int pos)
{
    // Copies: a loader may add segments, which can move the records.
    const std::uint32_t add = keys[static_cast<std::size_t>(pos)].bySweep;
    const Rec s = recs[add];
    const Cold sc = cold[add];
    const double lo = std::min(s.u1, s.u2) - kPointEqual;
    const double hi = std::max(s.u1, s.u2) + kPointEqual;
    candidateCount = 0;
    const int c0 = CellOf(lo);
    const int c1 = CellOf(hi);
    if (static_cast<std::size_t>(c1 - c0) >= activeNodes.size()) {
        if (candidates.size() < activeNodes.size())
            candidates.resize(activeNodes.size());
        for (int t : activeNodes) {
            const Rec& o = nodes[static_cast<std::size_t>(t)].rec;
            if (std::min(o.u1, o.u2) <= hi && std::max(o.u1, o.u2) >= lo)
                candidates[candidateCount++] = (static_cast<std::uint64_t>(nodes[static_cast<std::size_t>(t)].stamp) << 32) |
                                               static_cast<std::uint32_t>(t);
        }
    } else {
        for (int c = c0; c <= c1; ++c)
            SearchCell(c, c0, lo, hi);
        if (!longList.empty()) {
            Compact(longList);
            if (candidates.size() < candidateCount + longList.size())
                candidates.resize(std::max(2 * candidates.size(), candidateCount + longList.size()));
            Search<false>(longList.data(), longList.size(), -1, c0, lo, hi);
        }
    }
    // Oldest first, as a list of the active segments in arrival order would
    // give them (the stamps are distinct, so this is a strict order).
    const std::size_t found = candidateCount;
    std::uint64_t* c = candidates.data();
    if (found > 16)
        std::sort(c, c + found);
    else
        for (std::size_t i = 1; i < found; ++i) {
            const std::uint64_t x = c[i];
            std::size_t j = i;
            for (; j > 0 && x < c[j - 1]; --j)
                c[j] = c[j - 1];
            c[j] = x;
        }
    bool any = false;
    for (std::size_t i = 0; i < found; ++i) {
        const Node& o = nodes[static_cast<std::size_t>(c[i] & 0xFFFFFFFFu)];
        if (PairTest(loader, s, sc, o.rec, o.cold)) {
            any = true;
            if (!loader)
                return true;
        }
    }
    return any;
}

bool G3LineSegmentIntersector::TestPair(G3IntersectionPointLoader* loader, G3Segment* s, G3Segment* o) const
{
    if (!s || !o || !validAxes)
        return false;
    return PairTest(loader, MakeRec(*s), MakeCold(*s), MakeRec(*o), MakeCold(*o));
}

bool G3LineSegmentIntersector::PairTest(G3IntersectionPointLoader* loader, const Rec& s, const Cold& sc,
                                        const Rec& o, const Cold& oc) const
{
    const double d1 = Snap(s.a * o.u1 + s.b * o.v1 + s.c);
    const double d2 = Snap(s.a * o.u2 + s.b * o.v2 + s.c);
    const double e1 = Snap(o.a * s.u1 + o.b * s.v1 + o.c);
    const double e2 = Snap(o.a * s.u2 + o.b * s.v2 + o.c);
    // Each segment must touch or cross the other's line (one test: most
    // candidates fail it, unpredictably).
    const bool oAside = (d1 != 0) & (Sign(d1) == Sign(d2));
    const bool sAside = (e1 != 0) & (Sign(e1) == Sign(e2));
    if (oAside | sAside)
        return false;

    double x[3];
    bool found = false;
    auto report = [&](double u, double v, double w, double ts, double to) {
        found = true;
        if (!loader)
            return;
        x[axisU] = u;
        x[axisV] = v;
        x[axisW] = w;
        loader->LoadPoint(x, sc.data, oc.data, CallerParam((s.flags & kReversed) != 0, ts),
                          CallerParam((o.flags & kReversed) != 0, to));
    };
    // An end of one segment lying inside the other (a T, or the ends of a
    // collinear overlap). Ends shared by both are inside neither.
    if (e1 == 0 && StrictlyInside(o, s.u1, s.v1, kDominantV)) {
        report(s.u1, s.v1, sc.w1, 0.0, Param(o, s.u1, s.v1));
        if (!loader)
            return true;
    }
    if (e2 == 0 && StrictlyInside(o, s.u2, s.v2, kDominantV)) {
        report(s.u2, s.v2, sc.w2, 1.0, Param(o, s.u2, s.v2));
        if (!loader)
            return true;
    }
    if (d1 == 0 && StrictlyInside(s, o.u1, o.v1, kDominantV)) {
        report(o.u1, o.v1, oc.w1, Param(s, o.u1, o.v1), 0.0);
        if (!loader)
            return true;
    }
    if (d2 == 0 && StrictlyInside(s, o.u2, o.v2, kDominantV)) {
        report(o.u2, o.v2, oc.w2, Param(s, o.u2, o.v2), 1.0);
        if (!loader)
            return true;
    }
    // A proper crossing: both pairs of ends strictly on opposite sides.
    if (d1 != 0 && d2 != 0 && e1 != 0 && e2 != 0) {
        const double ts = std::fabs(e1 / (e1 - e2));
        const double u = s.u1 + ts * (s.u2 - s.u1), v = s.v1 + ts * (s.v2 - s.v1);
        report(u, v, sc.w1 + ts * (sc.w2 - sc.w1), ts, Param(o, u, v));
    }
    return found;
}
