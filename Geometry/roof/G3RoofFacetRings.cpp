// The facet rings of the sweep as compact nodes, and the index of their
// level edges. Invariants: every ring is closed (next and prev inverse),
// every level edge of every ring (ends within 2 kPlaneSide of each other in
// z) has exactly one index entry, and a ring's vertices all carry the edge
// data of its `data` vertex. A ring is its nodes with their chains spread
// out between them (G3RoofFacetChains.cpp). Choices (which ring, which
// edge, for a section or an overhang strip) and the final cleaning are
// those of the walk over G3RoofVertex rings, step for step, so the rings
// handed back are the same bit for bit. Rounding: none; points are copied,
// and the tests are those of the vertex rings.
#include "Geometry/roof/G3RoofFacetRings.h"

#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/math/G3Math.h"
#include "Geometry/math/GTolerance.h"
#include "Geometry/roof/G3RoofBoxGrid.h"
#include "Geometry/roof/G3RoofVertex.h"

#include <cmath>
#include <cstring>

using GTolerance::kPlaneSide;

bool G3RoofSectionFits(const double* px, const double* py, const double* pd, const double* pc, double z0)
{
    const bool level = std::fabs(px[2] - z0) <= kPlaneSide && std::fabs(py[2] - z0) <= kPlaneSide;
    const bool along = (py[0] - px[0]) * (pc[0] - pd[0]) + (py[1] - px[1]) * (pc[1] - pd[1]) > 0.0;
    if (!level || !along)
        return false;
    // Most sections rest on the upper edge of the one below, bit for bit.
    // PtOnSegment takes a segment's own ends exactly when the segment is
    // long enough to have a direction, so both of its tests then come to
    // one, on either side of the ||.
    if (std::memcmp(px, pd, 3 * sizeof *px) == 0 && std::memcmp(py, pc, 3 * sizeof *py) == 0)
        return PtOnSegment(pd, px, py);
    return (PtOnSegment(pd, px, py) && PtOnSegment(pc, px, py)) ||
           (PtOnSegment(px, pd, pc) && PtOnSegment(py, pd, pc));
}

namespace {

// Level edges are kept by the height of their start (buckets of 4
// kPlaneSide) and, within a bucket, by their extent along the pitch's level
// lines (the direction u across the plane's slope).
long long Key(double z)
{
    const double k = std::floor(z / (4.0 * kPlaneSide));
    return static_cast<long long>(G3RoofGreater(-4e18, G3RoofLesser(4e18, k)));
}

// The eave pd -> pc lies on the level edge px -> py at z0, the same way.
bool EaveFits(const double* px, const double* py, const double* pd, const double* pc, double z0)
{
    return std::fabs(px[2] - z0) <= kPlaneSide && std::fabs(py[2] - z0) <= kPlaneSide &&
           (py[0] - px[0]) * (pc[0] - pd[0]) + (py[1] - px[1]) * (pc[1] - pd[1]) > 0.0 && PtOnSegment(pd, px, py) &&
           PtOnSegment(pc, px, py);
}

// The signed area of the quad p[0] .. p[3] seen from above (positive
// counter-clockwise, as the roof's facets run).
double PlanArea(const double* const* p)
{
    return 0.5 * (G3Math::GetArea2(p[0], p[1], p[2], 0, 1) + G3Math::GetArea2(p[0], p[2], p[3], 0, 1));
}

void Extent(const double* u, const double* p, const double* q, double* lo, double* hi)
{
    const double tp = p[0] * u[0] + p[1] * u[1];
    const double tq = q[0] * u[0] + q[1] * u[1];
    *lo = G3RoofLesser(tp, tq);
    *hi = G3RoofGreater(tp, tq);
}

} // namespace

bool G3RoofSpliceIndex::Level(const double* p, const double* q)
{
    return std::fabs(p[2] - q[2]) <= 2.0 * kPlaneSide;
}

G3RoofSpliceIndex::G3RoofSpliceIndex(GArrayCollection& list)
{
    pitches_.resize(static_cast<std::size_t>(list.size()));
    for (int i = 0; i < list.size(); ++i) {
        G3RoofPitch* pitch = static_cast<G3RoofPitch*>(list.get(i));
        Pitch& pi = pitches_[static_cast<std::size_t>(i)];
        const double len = std::hypot(pitch->plane[0], pitch->plane[1]);
        if (len > 0.0) {
            pi.u[0] = pitch->plane[1] / len;
            pi.u[1] = -pitch->plane[0] / len;
        }
        pi.rings.resize(static_cast<std::size_t>(pitch->facetRings.size()));
        for (int k = 0; k < pitch->facetRings.size(); ++k) {
            G3RoofVertex* head = static_cast<G3RoofVertex*>(pitch->facetRings.get(k));
            Ring& r = pi.rings[static_cast<std::size_t>(k)];
            if (head == nullptr) {
                if (pi.firstEmpty < 0)
                    pi.firstEmpty = k;
                continue;
            }
            r.data = new G3RoofVertex(head->point.GetXYZ(), head);
            G3RoofVertex* v = head;
            do {
                const int nv = NewNode(v->point.GetXYZ());
                if (r.head < 0)
                    r.head = nv;
                else
                    InsertAfter(N(r.head).prev, nv);
                v = v->next;
            } while (v != head);
            AddRing(pi, r.head, r.head, k);
            G3RoofRing::Release(head);
            pitch->facetRings.put(k, nullptr);
        }
    }
}

G3RoofSpliceIndex::~G3RoofSpliceIndex()
{
    for (Pitch& pi : pitches_)
        for (Ring& r : pi.rings)
            delete r.data;
}

int G3RoofSpliceIndex::NewNode(const double* p)
{
    const int i = count_++;
    if ((static_cast<std::size_t>(i) >> kChunkBits) >= chunks_.size())
        chunks_.emplace_back(new Node[static_cast<std::size_t>(1) << kChunkBits]);
    Node& n = N(i);
    n.p[0] = p[0], n.p[1] = p[1], n.p[2] = p[2];
    n.next = n.prev = i;
    n.path = n.level = n.chain = -1;
    return i;
}

void G3RoofSpliceIndex::InsertAfter(int at, int nv)
{
    Node& a = N(at);
    Node& v = N(nv);
    v.prev = at;
    v.next = a.next;
    N(a.next).prev = nv;
    a.next = nv;
}

// A new ring of copies of `path`'s points, headed by the first.
int G3RoofSpliceIndex::NewRing(const double* const* path, int count)
{
    int head = -1;
    for (int c = 0; c < count; ++c) {
        const int nv = NewNode(path[c]);
        if (head < 0)
            head = nv;
        else
            InsertAfter(N(head).prev, nv);
    }
    return head;
}

// x -> path... -> y, leaving out points that coincide with the one before
// or, the last, with y (a section: a collapsed upper edge, a section ending
// where the facet's edge ends; a strip: an eave end on the edge's end).
void G3RoofSpliceIndex::Splice(int x, const double* const* path, int count)
{
    const int y = N(x).next;
    int at = x;
    for (int c = 0; c < count; ++c) {
        const double* p = path[c];
        if (G3RoofSamePoint(N(at).p, p) || (c == count - 1 && G3RoofSamePoint(N(y).p, p)))
            continue;
        const int nv = NewNode(p);
        InsertAfter(at, nv);
        at = nv;
    }
}

void G3RoofSpliceIndex::Add(Pitch& pi, int x, int ring)
{
    const Node& nx = N(x);
    const double* p = nx.p;
    const double* q = N(nx.next).p;
    if (nx.next == x || nx.chain >= 0 || !Level(p, q))
        return;
    double lo = 0.0, hi = 0.0;
    Extent(pi.u, p, q, &lo, &hi);
    pi.edges.Add(Key(p[2]), lo, G3RoofLevelEdges::Entry{x, ring, hi});
}

// The edges from `from` up to (not including) `to`.
void G3RoofSpliceIndex::AddRing(Pitch& pi, int from, int to, int ring)
{
    int v = from;
    do {
        Add(pi, v, ring);
        v = N(v).next;
    } while (v != to);
}

// a comes before b on their ring walked from head.
bool G3RoofSpliceIndex::Before(int head, int a, int b)
{
    if (a == head || b == head)
        return a == head;
    // Both walks forward, step by step: the first to meet the other vertex
    // or the head decides, after the shorter of the two walks.
    int pa = a, pb = b;
    for (;;) {
        pa = N(pa).next;
        if (pa == b)
            return true;
        if (pa == head)
            return false;
        pb = N(pb).next;
        if (pb == a)
            return false;
        if (pb == head)
            return true;
    }
}

bool G3RoofSpliceIndex::Find(Pitch& pi, const double* pd, const double* pc, double z0, bool eave, int* x, int* k)
{
    double lo = 0.0, hi = 0.0;
    Extent(pi.u, pd, pc, &lo, &hi);
    *x = -1;
    *k = -1;
    pi.edges.Near(Key(z0 - kPlaneSide), Key(z0 + kPlaneSide), lo, hi, [&](const G3RoofLevelEdges::Entry& e) {
        if (*x >= 0 && e.ring > *k)
            return false;
        const double* px = N(e.x).p;
        const double* py = N(N(e.x).next).p;
        if (eave ? !EaveFits(px, py, pd, pc, z0) : !G3RoofSectionFits(px, py, pd, pc, z0))
            return false;
        if (*x >= 0 && e.ring == *k && !Before(pi.rings[static_cast<std::size_t>(e.ring)].head, e.x, *x))
            return false;
        *x = e.x;
        *k = e.ring;
        return true;
    });
    return *x >= 0;
}

void G3RoofSpliceIndex::StartRing(Pitch& pi, int k, const double* const* path, const double* const* planes,
                                  const G3RoofVertex* ring)
{
    Ring& r = pi.rings[static_cast<std::size_t>(k)];
    r.head = NewRing(path, 4);
    r.data = new G3RoofVertex(ring->point.GetXYZ(), ring);
    const int a = N(r.head).next, b = N(a).next;
    Name(a, planes[0], planes[1]);
    Name(b, planes[2], planes[3]);
    AddRing(pi, r.head, r.head, k);
}

void G3RoofSpliceIndex::AddSection(int pitchIndex, const G3RoofVertex* ring)
{
    if (ring == nullptr || !ring->lower || !ring->prev->lower || pitchIndex < 0 ||
        pitchIndex >= static_cast<int>(pitches_.size()))
        return;
    Pitch& pi = pitches_[static_cast<std::size_t>(pitchIndex)];
    // The section: upper edge A -> B, lower edge D -> C, in ring order; A
    // and B are level points of their vertex's plane and its successor's.
    const double* path[4] = {ring->prev->lower->point.GetXYZ(), ring->prev->point.GetXYZ(), ring->point.GetXYZ(),
                             ring->lower->point.GetXYZ()};
    const double* planes[4] = {ring->prev->plane, ring->plane, ring->plane, ring->next->plane};
    int x = -1, k = -1;
    const bool found = Find(pi, path[0], path[3], path[3][2], false, &x, &k);
    if (pi.firstEmpty >= 0 && (!found || pi.firstEmpty < k)) {
        // An empty facet ring before any that fits starts afresh.
        StartRing(pi, pi.firstEmpty, path, planes, ring);
        const int size = static_cast<int>(pi.rings.size());
        while (++pi.firstEmpty < size && pi.rings[static_cast<std::size_t>(pi.firstEmpty)].head >= 0)
            ;
        if (pi.firstEmpty >= size)
            pi.firstEmpty = -1;
        return;
    }
    if (!found) {
        // No level edge holds the lower edge, nor lies on it: the lower edge
        // runs over the ends of two facet rings of the pitch (collinear
        // eaves whose rings met when what stood between them collapsed). A
        // ring of its own keeps the roof whole, as a facet beside them in
        // their plane. Sections turned over or without plan area (slivers
        // of rounding, upright gables) are left out as before.
        if (PlanArea(path) > GTolerance::kZeroArea) {
            pi.rings.emplace_back();
            StartRing(pi, static_cast<int>(pi.rings.size()) - 1, path, planes, ring);
        }
        return;
    }
    const int y = N(x).next;
    pi.edges.Remove();
    SpliceSection(x, path, planes);
    AddRing(pi, x, y, k);
}

void G3RoofSpliceIndex::AddStrip(int pitchIndex, const std::vector<const double*>& chain, double z0,
                                 const G3RoofVertex* data)
{
    if (chain.size() < 2 || pitchIndex < 0 || pitchIndex >= static_cast<int>(pitches_.size()))
        return;
    Pitch& pi = pitches_[static_cast<std::size_t>(pitchIndex)];
    const int count = static_cast<int>(chain.size());
    int x = -1, k = -1;
    if (Find(pi, chain.front(), chain.back(), z0, true, &x, &k)) {
        const int y = N(x).next;
        pi.edges.Remove();
        Splice(x, chain.data(), count);
        AddRing(pi, x, y, k);
        return;
    }
    // After the sweep no ring is left empty for it: a new one goes last.
    Ring r;
    r.head = NewRing(chain.data(), count);
    r.data = new G3RoofVertex(chain.front(), data);
    pi.rings.push_back(r);
    AddRing(pi, r.head, r.head, static_cast<int>(pi.rings.size()) - 1);
}

// G3RoofRing::Clean(ring, true) on the spread ring, from its first corner:
// every ring's vertices carry the same edge data, so the spike rule's
// hand-over of data changes nothing.
int G3RoofSpliceIndex::Clean()
{
    int n = static_cast<int>(cnext_.size());
    const auto P = [this](int i) { return &cp_[3 * static_cast<std::size_t>(i)]; };
    int v = 0;
    int quiet = 0;
    while (n >= 3 && quiet < n) {
        const int next = cnext_[static_cast<std::size_t>(v)], prev = cprev_[static_cast<std::size_t>(v)];
        if (G3RoofSamePoint(P(next), P(v))) {
            const int after = cnext_[static_cast<std::size_t>(next)];
            cnext_[static_cast<std::size_t>(v)] = after;
            cprev_[static_cast<std::size_t>(after)] = v;
            --n;
            quiet = 0;
        } else if (G3RoofRing::StraightByDistance(P(prev), P(v), P(next))) {
            cnext_[static_cast<std::size_t>(prev)] = next;
            cprev_[static_cast<std::size_t>(next)] = prev;
            --n;
            quiet = 0;
            v = prev;
        } else {
            ++quiet;
            v = next;
        }
    }
    return n < 3 ? -1 : v;
}

void G3RoofSpliceIndex::GiveBack(GArrayCollection& list)
{
    for (int i = 0; i < list.size() && i < static_cast<int>(pitches_.size()); ++i) {
        G3RoofPitch* pitch = static_cast<G3RoofPitch*>(list.get(i));
        Pitch& pi = pitches_[static_cast<std::size_t>(i)];
        // Rings past the pitch's own count are those sections and strips
        // started when nothing held them, added in turn.
        for (int k = 0; k < static_cast<int>(pi.rings.size()); ++k) {
            Ring& r = pi.rings[static_cast<std::size_t>(k)];
            G3RoofVertex* out = nullptr;
            if (r.head >= 0) {
                Expand(r.head);
                const int head = Clean();
                if (head >= 0) {
                    int v = head;
                    do {
                        out = G3RoofRing::Append(out, new G3RoofVertex(&cp_[3 * static_cast<std::size_t>(v)], r.data));
                        v = cnext_[static_cast<std::size_t>(v)];
                    } while (v != head);
                }
            }
            if (k < pitch->facetRings.size())
                pitch->facetRings.put(k, out);
            else
                pitch->facetRings.add(out);
            r.head = -1;
        }
        pi.edges.Clear();
    }
    chunks_.clear();
    paths_.clear();
    chains_.clear();
    levels_.clear();
    count_ = 0;
}
