// The splits of the roof sweep: a level that touches itself (a vertex on
// an edge it does not end, or on a vertex that is not its neighbour) is
// cut at its first contact into rings that grow on alone. Invariants: the
// parts are made of the level's own vertices, relinked (a vertex on an
// edge gets a second vertex for the second part), and the contact taken
// is the one the walk over every pair finds first (first vertex from the
// head, then first edge). The contact search tries a level's vertex with
// an edge the level took over whole only when the split search found the
// vertex's path near the edge's sweep (the level lies within both), and a
// split's part only where the split or a cleaning made a vertex or an
// edge anew: the pairs it passes over are the same. Nothing rounds here:
// points are compared and copied.
#include "Geometry/roof/G3RoofGenerator.h"

#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/math/G3SegmentTest.h"
#include "Geometry/math/GTolerance.h"
#include "Geometry/roof/G3RoofBoxGrid.h"
#include "Geometry/roof/G3RoofSweepScratch.h"
#include "Geometry/roof/G3RoofVertex.h"

#include <algorithm>
#include <cmath>
#include <vector>

using GTolerance::kPlaneSide;
using G3RoofSweepParts::PlanLength;
using G3RoofSweepParts::SameXY;
using G3RoofSweepParts::SegmentDistance2;
using G3RoofSweepParts::Vertices;

namespace {

// p lies within the reach of segment s (ax, ay, bx, by, reach) in the
// plane, with a share of room for the rounding of the distance: a cheap
// test that passes every point the segment test below can take (the grid
// files the edges by the same reach), so that the long edges whose boxes
// hold the vertex without coming near it skip that test.
bool WithinReach(const double* p, const double* s)
{
    const double r = 2.0 * s[4];
    return !(SegmentDistance2(p, s) > r * r);
}

// The reach of the level edge a -> b (ax, ay, bx, by, reach): a vertex
// touches it within PtOnSegment's band (1e-6 across, a 1e-6 share of the
// length along) and the rounding of the corners, with room to spare: the
// grid may file the edge along it that far.
void EdgeReach(const double* a, const double* b, double* sg)
{
    sg[0] = a[0], sg[1] = a[1], sg[2] = b[0], sg[3] = b[1];
    sg[4] = 4.0 * kPlaneSide + 4e-6 * PlanLength(b[0] - a[0], b[1] - a[1]) +
            1e-8 * G3RoofGreater(G3RoofGreater(std::fabs(a[0]), std::fabs(a[1])),
                                 G3RoofGreater(std::fabs(b[0]), std::fabs(b[1])));
}

// How vertex p touches the level edge a -> b once its box and reach hold
// p: 1 on a (in the plan), 2 on the edge away from both ends, 0 not.
enum { kApart = 0, kOnVertex = 1, kOnEdge = 2 };
int Touch(const double* p, const double* a, const double* b)
{
    if (SameXY(p, a))
        return kOnVertex;
    return !SameXY(p, b) && G3PtOnSegmentXY(p, a, b) ? kOnEdge : kApart;
}

// Touch behind the filters of the grid search (the edge's box holds p, p
// lies within its reach): the pairs the search over the grid would take.
// The grid hands back every edge whose reach holds p, which every touching
// pair passes, so the outcome does not depend on the grid.
int TouchFiltered(const double* p, const double* a, const double* b)
{
    const G3RoofBox box(a, b);
    if (!box.Valid() || !box.Holds(p))
        return kApart;
    double sg[5];
    EdgeReach(a, b, sg);
    return WithinReach(p, sg) ? Touch(p, a, b) : kApart;
}

} // namespace

// The contacts of the level NextLevel made from the ring `vs` (`size`
// vertices from `level` on, sc.levelIdx[i] the place of vertex i there, -1
// when it was dropped), kept for SplitSimple. A vertex of the level touches
// an edge only where its path from the ring came near the edge's sweep
// (the sweep holds the edge at every height up to the split search's
// first height, the path the vertex): the split search tried exactly those
// pairs, so they are the only ones tried here. The vertices the level
// moved off their paths (onto a collapse point) or whose path had no box,
// the edges without a sweep box and the edges the level does not take
// over whole go unnamed: SplitSimple tries them with the whole level.
void G3RoofSweepParts::RecordLevelContacts(const std::vector<G3RoofVertex*>& vs, G3RoofVertex* level, int size, G3RoofSweepScratch& sc)
{
    const int n = static_cast<int>(vs.size());
    G3RoofSweepScratch::Contacts c;
    if (!sc.spareContacts.empty()) {
        c = std::move(sc.spareContacts.back());
        sc.spareContacts.pop_back();
    }
    c.idVertex.assign(static_cast<std::size_t>(size), nullptr);
    c.idNext.assign(static_cast<std::size_t>(size), -2);
    c.recBegin.assign(static_cast<std::size_t>(size), 0);
    c.recEnd.assign(static_cast<std::size_t>(size), 0);
    c.recs.clear();
    // NextLevel leaves the level's vertices in sc.ringVs, in ring order
    // from `level`.
    const std::vector<G3RoofVertex*>& ws = sc.ringVs;
    const std::vector<int>& at = sc.levelIdx;
    const std::vector<double>& pos = sc.pos;
    for (int i = 0; i < n; ++i) {
        const int j = at[static_cast<std::size_t>(i)];
        if (j < 0 || sc.anyVertex[static_cast<std::size_t>(i)])
            continue;
        G3RoofVertex* w = ws[static_cast<std::size_t>(j)];
        w->contactId = j;
        c.idVertex[static_cast<std::size_t>(j)] = w;
        // Edge i+1 (from vertex i to vertex i+1) grown whole.
        const int i1 = (i + 1) % n;
        const int j1 = at[static_cast<std::size_t>(i1)];
        if (j1 >= 0 && j1 == (j + 1) % size && !sc.anyEdge[static_cast<std::size_t>(i1)])
            c.idNext[static_cast<std::size_t>(j)] = j1;
    }
    // The pairs come in order of the vertex; edge e runs from e-1 to e.
    const std::vector<std::pair<int, int>>& pairs = sc.nearPairs;
    for (std::size_t p = 0; p < pairs.size();) {
        const int k = pairs[p].first;
        const int jk = at[static_cast<std::size_t>(k)];
        const bool named = jk >= 0 && c.idVertex[static_cast<std::size_t>(jk)] != nullptr;
        if (named)
            c.recBegin[static_cast<std::size_t>(jk)] = static_cast<int>(c.recs.size());
        for (; p < pairs.size() && pairs[p].first == k; ++p) {
            if (!named)
                continue;
            const int e = pairs[p].second, e0 = (e + n - 1) % n;
            const int je0 = at[static_cast<std::size_t>(e0)];
            if (e == k || e0 == k || je0 < 0 || c.idVertex[static_cast<std::size_t>(je0)] == nullptr ||
                c.idNext[static_cast<std::size_t>(je0)] < 0)
                continue;  // an edge of k, or one tried with every vertex
            // The level's points are those of sc.pos, where NextLevel made
            // them from (the end of edge e0 + 1 = e is vertex e's): read
            // there, in one array, rather than in vertices lying apart.
            const int touch = TouchFiltered(&pos[3 * static_cast<std::size_t>(k)], &pos[3 * static_cast<std::size_t>(e0)],
                                            &pos[3 * static_cast<std::size_t>(e)]);
            if (touch != kApart)
                c.recs.emplace_back(je0, touch);
        }
        if (named)
            c.recEnd[static_cast<std::size_t>(jk)] = static_cast<int>(c.recs.size());
    }
    sc.levelContacts[level] = std::move(c);
}

namespace {

// Closes the run vs[from], vs[from+1], ... vs[to] (cyclically) of a ring
// into a ring of its own, vs[from] first. The vertices keep their points,
// edge data and links down, as copies of them would.
G3RoofVertex* CloseRun(const std::vector<G3RoofVertex*>& vs, int from, int to)
{
    vs[static_cast<std::size_t>(to)]->next = vs[static_cast<std::size_t>(from)];
    vs[static_cast<std::size_t>(from)]->prev = vs[static_cast<std::size_t>(to)];
    return vs[static_cast<std::size_t>(from)];
}

// Names every vertex of `ring` and records, for each, the edges of the
// ring it touches (the walk over the grid, for every vertex): the contacts
// of the ring and of the parts a split makes of it, which keep its
// vertices and most of its edges.
void RecordContacts(G3RoofVertex* ring, G3RoofSweepScratch& sc)
{
    std::vector<G3RoofVertex*>& vs = sc.ringVs;
    Vertices(ring, vs);
    const int n = static_cast<int>(vs.size());
    const int base = static_cast<int>(sc.idVertex.size());
    for (int i = 0; i < n; ++i) {
        vs[static_cast<std::size_t>(i)]->contactId = base + i;
        sc.idVertex.push_back(vs[static_cast<std::size_t>(i)]);
        sc.idNext.push_back(base + (i + 1) % n);
    }
    std::vector<G3RoofBox>& boxes = sc.boxes;
    boxes.clear();
    boxes.reserve(static_cast<std::size_t>(n));
    std::vector<double>& segments = sc.segments;
    segments.assign(5 * static_cast<std::size_t>(n), 0.0);
    for (int m = 0; m < n; ++m) {
        const double* a = vs[static_cast<std::size_t>(m)]->point.GetXYZ();
        const double* b = vs[static_cast<std::size_t>((m + 1) % n)]->point.GetXYZ();
        boxes.emplace_back(a, b);
        EdgeReach(a, b, &segments[5 * static_cast<std::size_t>(m)]);
    }
    G3RoofBoxGrid& grid = sc.grid;
    grid.Build(boxes, &segments);
    std::vector<int>& near = sc.near;
    for (int k = 0; k < n; ++k) {
        const double* pk = vs[static_cast<std::size_t>(k)]->point.GetXYZ();
        sc.recBegin.push_back(static_cast<int>(sc.recs.size()));
        grid.Query(G3RoofBox(pk, pk, 0.0), near, false);
        for (int m : near) {
            const int m1 = (m + 1) % n;
            if (m == k || m1 == k || !boxes[static_cast<std::size_t>(m)].Holds(pk) ||
                !WithinReach(pk, &segments[5 * static_cast<std::size_t>(m)]))
                continue;
            const int touch = Touch(pk, vs[static_cast<std::size_t>(m)]->point.GetXYZ(),
                                    vs[static_cast<std::size_t>(m1)]->point.GetXYZ());
            if (touch != kApart)
                sc.recs.emplace_back(base + m, touch);
        }
        sc.recEnd.push_back(static_cast<int>(sc.recs.size()));
    }
}

// The recorded name of v, -1 when it has none (a vertex made since).
inline int ContactId(const G3RoofVertex* v, const G3RoofSweepScratch& sc)
{
    const int id = v->contactId;
    return id >= 0 && static_cast<std::size_t>(id) < sc.idVertex.size() && sc.idVertex[static_cast<std::size_t>(id)] == v
               ? id
               : -1;
}

// A ring with more new vertices and edges than this (4 a vertex, 1 an
// edge; met by a split, a collapse or a cleaning since the records were
// taken) is recorded afresh: each new vertex is tried with every edge, each
// new edge with every vertex, which would then cost more than the grid.
constexpr int kMaxUnrecorded = 96;

// The first self-contact of `ring` (in sc.ringVs, walked from the ring's
// head): vertex *k on the edge *m -> *m + 1 (*touch kOnEdge) or on vertex
// *m (kOnVertex), the first vertex that touches anything and, for it, the
// first edge, as the walk over every pair finds them. 0 when the ring has
// none, -1 when its records do not cover it (too much of it is new).
int FirstContact(G3RoofVertex* ring, G3RoofSweepScratch& sc, int* k, int* m, int* touch)
{
    std::vector<G3RoofVertex*>& vs = sc.ringVs;
    Vertices(ring, vs);
    const int n = static_cast<int>(vs.size());
    if (++sc.stamp == 0) {
        std::fill(sc.idStamp.begin(), sc.idStamp.end(), 0u);
        sc.stamp = 1;
    }
    sc.idStamp.resize(sc.idVertex.size(), 0u);
    sc.idPos.resize(sc.idVertex.size(), 0);
    // ids[i]: the name of vertex i; fresh: the vertices and edges whose
    // contacts were not recorded (an edge whose start has no name or whose
    // end is not the one recorded).
    std::vector<int>& ids = sc.ids;
    std::vector<int>& newVertices = sc.newVertices;
    std::vector<int>& newEdges = sc.newEdges;
    ids.resize(static_cast<std::size_t>(n));
    newVertices.clear();
    newEdges.clear();
    for (int i = 0; i < n; ++i) {
        const int id = ContactId(vs[static_cast<std::size_t>(i)], sc);
        ids[static_cast<std::size_t>(i)] = id;
        if (id < 0) {
            newVertices.push_back(i);
            continue;
        }
        sc.idStamp[static_cast<std::size_t>(id)] = sc.stamp;
        sc.idPos[static_cast<std::size_t>(id)] = i;
    }
    for (int i = 0; i < n; ++i) {
        const int id = ids[static_cast<std::size_t>(i)], next = ids[static_cast<std::size_t>((i + 1) % n)];
        if (id < 0 || next < 0 || sc.idNext[static_cast<std::size_t>(id)] != next)
            newEdges.push_back(i);
    }
    if (n > 16 && static_cast<int>(4 * newVertices.size() + newEdges.size()) > kMaxUnrecorded)
        return -1;
    // The boxes of the new edges, the first filter of every vertex's try.
    std::vector<G3RoofBox>& newBoxes = sc.newBoxes;
    newBoxes.clear();
    for (int e : newEdges)
        newBoxes.emplace_back(vs[static_cast<std::size_t>(e)]->point.GetXYZ(),
                              vs[static_cast<std::size_t>((e + 1) % n)]->point.GetXYZ());
    std::vector<std::pair<int, int>>& found = sc.found;
    for (int kk = 0; kk < n; ++kk) {
        const double* pk = vs[static_cast<std::size_t>(kk)]->point.GetXYZ();
        const int id = ids[static_cast<std::size_t>(kk)];
        found.clear();
        auto test = [&](int e) {
            const int e1 = (e + 1) % n;
            if (e == kk || e1 == kk)
                return;
            const int t = TouchFiltered(pk, vs[static_cast<std::size_t>(e)]->point.GetXYZ(),
                                        vs[static_cast<std::size_t>(e1)]->point.GetXYZ());
            if (t != kApart)
                found.emplace_back(e, t);
        };
        if (id < 0) {
            for (int e = 0; e < n; ++e)
                test(e);
        } else {
            for (int r = sc.recBegin[static_cast<std::size_t>(id)]; r < sc.recEnd[static_cast<std::size_t>(id)]; ++r) {
                const int eid = sc.recs[static_cast<std::size_t>(r)].first;
                if (sc.idStamp[static_cast<std::size_t>(eid)] != sc.stamp)
                    continue;  // its edge left the ring
                const int e = sc.idPos[static_cast<std::size_t>(eid)];
                const int e1 = (e + 1) % n;
                if (ids[static_cast<std::size_t>(e1)] != sc.idNext[static_cast<std::size_t>(eid)] || e == kk || e1 == kk)
                    continue;  // a new edge, tried below
                found.emplace_back(e, sc.recs[static_cast<std::size_t>(r)].second);
            }
            for (std::size_t j = 0; j < newEdges.size(); ++j)
                if (newBoxes[j].Holds(pk))
                    test(newEdges[j]);
        }
        if (found.size() > 1)
            std::sort(found.begin(), found.end());
        for (const auto& f : found) {
            if (f.second == kOnVertex && ((kk + 1) % n == f.first || (f.first + 1) % n == kk))
                continue;
            *k = kk;
            *m = f.first;
            *touch = f.second;
            return 1;
        }
    }
    return 0;
}

// Splits the ring in sc.ringVs at the contact FirstContact found into two
// rings made of its own vertices (plus one new one for a vertex on an
// edge). A vertex k on the edge m -> m+1 gives (k .. m) and (k', m+1 ..
// k-1), k' a second vertex at k with k's edge data; a vertex k on vertex m
// gives (k .. m-1) and (m .. k-1). The first vertex of each part takes the
// edge data of the edge that now ends there.
void SplitAt(const std::vector<G3RoofVertex*>& vs, int k, int m, int touch, G3RoofVertex** a, G3RoofVertex** b)
{
    const int n = static_cast<int>(vs.size());
    if (touch == kOnVertex) {
        // k and m swap their edge data.
        G3RoofVertex kData;
        kData.CopyEdgeData(vs[static_cast<std::size_t>(k)]);
        vs[static_cast<std::size_t>(k)]->CopyEdgeData(vs[static_cast<std::size_t>(m)]);
        vs[static_cast<std::size_t>(m)]->CopyEdgeData(&kData);
        *a = CloseRun(vs, k, (m + n - 1) % n);
        *b = CloseRun(vs, m, (k + n - 1) % n);
        return;
    }
    const int m1 = (m + 1) % n;
    G3RoofVertex* kc = new G3RoofVertex(vs[static_cast<std::size_t>(k)]->point.GetXYZ(), vs[static_cast<std::size_t>(k)]);
    kc->lower = vs[static_cast<std::size_t>(k)]->lower;
    vs[static_cast<std::size_t>(k)]->CopyEdgeData(vs[static_cast<std::size_t>(m1)]);
    *a = CloseRun(vs, k, m);
    // kc goes first: the ring runs kc, m+1, ..., k-1.
    G3RoofVertex* second = CloseRun(vs, m1, (k + n - 1) % n);
    G3RoofRing::Append(second, kc);
    *b = kc;
}

} // namespace

void G3RoofGenerator::SplitSimple(G3RoofVertex* ring, GArrayCollection* out)
{
    G3RoofSweepScratch local;
    G3RoofSweepScratch& sc = sweepScratch ? *sweepScratch : local;
    // The contacts are recorded once for the level and tried again only
    // where a split or a cleaning changed a part.
    const auto waiting = sc.levelContacts.find(ring);
    if (waiting != sc.levelContacts.end()) {
        G3RoofSweepScratch::Contacts& c = waiting->second;
        sc.idVertex.swap(c.idVertex);
        sc.idNext.swap(c.idNext);
        sc.recBegin.swap(c.recBegin);
        sc.recEnd.swap(c.recEnd);
        sc.recs.swap(c.recs);
        if (sc.spareContacts.size() < 16)
            sc.spareContacts.push_back(std::move(c));
        sc.levelContacts.erase(waiting);
    } else {
        sc.idVertex.clear();
        sc.idNext.clear();
        sc.recBegin.clear();
        sc.recEnd.clear();
        sc.recs.clear();
    }
    std::vector<G3RoofVertex*> stack;
    stack.push_back(ring);
    // Every split leaves two rings of fewer vertices each, so the number of
    // splits is bounded by the ring's size.
    while (!stack.empty()) {
        G3RoofVertex* r = G3RoofRing::Clean(stack.back(), true);
        stack.pop_back();
        if (r == nullptr)
            continue;
        int k = 0, m = 0, touch = kApart;
        // A ring of new vertices (the level itself) is recorded first.
        const bool unnamed = ContactId(r, sc) < 0 && ContactId(r->next, sc) < 0;
        int contact = unnamed && G3RoofRing::Size(r) > 16 ? -1 : FirstContact(r, sc, &k, &m, &touch);
        if (contact < 0) {
            RecordContacts(r, sc);
            contact = FirstContact(r, sc, &k, &m, &touch);
        }
        if (contact > 0) {
            G3RoofVertex* a = nullptr;
            G3RoofVertex* b = nullptr;
            SplitAt(sc.ringVs, k, m, touch, &a, &b);
            stack.push_back(b);
            stack.push_back(a);
            continue;
        }
        out->add(r);
    }
}
