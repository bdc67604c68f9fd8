// Edge lists as contours: crossing tests and splitting, the resolution of an
// edge soup into simple contours through the contour graph, and the test of
// one contour lying in another (the nesting of many lists is counted in
// G3EdgeListNesting.cpp).

#include "Geometry/processing/G3EdgeList.h"

#include "Geometry/boolean/G3IntersectionPointLoader.h"
#include "Geometry/boolean/G3LineSegmentIntersector.h"
#include "Geometry/math/G3Math.h"
#include "Geometry/math/GTolerance.h"
#include "Geometry/mesh/G3Edge.h"
#include "Geometry/mesh/G3EdgeListVertexIterator.h"
#include "Geometry/mesh/G3Facet.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/mesh/G3TexCoo.h"
#include "Geometry/mesh/G3Vertex.h"
#include "Geometry/processing/G3ContourGraph.h"
#include "Geometry/processing/G3SimpleCycle.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <functional>
#include <unordered_map>
#include <vector>

namespace {

bool ValidPair(int i, int j) { return i >= 0 && i <= 2 && j >= 0 && j <= 2 && i != j; }

void* IndexData(int k) { return reinterpret_cast<void*>(static_cast<std::intptr_t>(k)); }
int DataIndex(void* d) { return static_cast<int>(reinterpret_cast<std::intptr_t>(d)); }

struct SplitPoint {
    double xyz[3];
    // The vertex to split at: an end of the other edge when the point is
    // one (a T), else the vertex made for the crossing.
    G3Vertex* vertex;
};

// Collects, per list edge, the points where other edges cross or touch it.
// A point at one of the edge's own ends is not kept: splitting there would
// only make a piece of no length. A touch at an end of the other edge splits
// at that very vertex, and a proper crossing makes one vertex (in s) that
// both edges share, so the pieces meet in one vertex and no duplicate is
// left beside a vertex the contour already has.
class SplitPointCollector : public G3IntersectionPointLoader {
public:
    SplitPointCollector(G3EdgeList* l, G3Surface* s) : list(l), surface(s), points(static_cast<size_t>(l->size())) {}

    void LoadPoint(const double* point, void* data1, void* data2, double, double) override
    {
        const int i = DataIndex(data1);
        const int j = DataIndex(data2);
        if (i < 0 || i >= list->size() || j < 0 || j >= list->size())
            return;
        G3Vertex* at = EndAt(j, point);
        if (!at)
            at = EndAt(i, point);
        const bool inI = !EndAt(i, point);
        const bool inJ = !EndAt(j, point);
        if (!inI && !inJ)
            return;
        if (!at)
            at = surface->AddVertex(point, 0);
        if (!at)
            return;
        if (inI)
            Record(i, at);
        if (inJ)
            Record(j, at);
    }

    G3EdgeList* list;
    G3Surface* surface;
    std::vector<std::vector<SplitPoint>> points;

private:
    // The end of edge k lying at p, or null.
    G3Vertex* EndAt(int k, const double* p) const
    {
        const G3Edge* e = list->GetEdge(k);
        if (G3Point::Equals(p, e->GetVertex1()->GetXYZ()))
            return e->GetVertex1();
        if (G3Point::Equals(p, e->GetVertex2()->GetXYZ()))
            return e->GetVertex2();
        return nullptr;
    }
    void Record(int k, G3Vertex* v)
    {
        SplitPoint s;
        for (int c = 0; c < 3; ++c)
            s.xyz[c] = v->GetXYZ()[c];
        s.vertex = v;
        points[static_cast<size_t>(k)].push_back(s);
    }
};

// Whether e joins two vertices, and its ends in address order (a key only:
// no order of results depends on it).
bool Joins(const G3Edge* e) { return e->GetVertex1() && e->GetVertex2() && e->GetVertex1() != e->GetVertex2(); }
const G3Vertex* LowEnd(const G3Edge* e)
{
    return std::min(e->GetVertex1(), e->GetVertex2(), std::less<const G3Vertex*>());
}
const G3Vertex* HighEnd(const G3Edge* e)
{
    return std::max(e->GetVertex1(), e->GetVertex2(), std::less<const G3Vertex*>());
}

// The edges that pair cancellation removes whatever the sweep finds: of
// the edges joining the same two vertices (either way round), all but the
// last of an odd count, taken in list order. Merging coplanar facets hands
// over every inner edge twice, once from each side; sweeping those pairs
// would only split both halves alike and cancel the pieces, at a cost that
// grows with the region (collinear inner edges pile into the same cells).
// Another edge crossing such a pair is then not split at the crossing:
// the point lies inside the merged region, so no contour changes shape.
std::vector<char> CancellingPairs(G3EdgeList* list)
{
    const int n = list->size();
    std::vector<char> idle(static_cast<size_t>(n), 0);
    if (n <= kPairScanEdges) {
        std::array<G3EdgeEnds, kPairScanEdges> ends{};
        for (int k = 0; k < n; ++k)
            ends[static_cast<size_t>(k)] = {list->GetEdge(k)->GetVertex1(), list->GetEdge(k)->GetVertex2()};
        G3CancelPairs(ends.data(), n, idle.data());
        return idle;
    }
    // The earlier edges joining lo and hi, in list order.
    std::unordered_map<const G3Vertex*, std::vector<int>> at; // looked up only: order comes from the list
    at.reserve(static_cast<size_t>(n));
    for (int k = 0; k < n; ++k)
        if (Joins(list->GetEdge(k)))
            at[LowEnd(list->GetEdge(k))].push_back(k);
    for (int k = 0; k < n; ++k) {
        const G3Edge* e = list->GetEdge(k);
        if (!Joins(e))
            continue;
        const G3Vertex* lo = LowEnd(e);
        const G3Vertex* hi = HighEnd(e);
        int partner = -1;
        for (int m : at[lo]) {
            if (m >= k)
                break;
            const G3Edge* o = list->GetEdge(m);
            if (!idle[static_cast<size_t>(m)] && LowEnd(o) == lo && HighEnd(o) == hi)
                partner = m;
        }
        if (partner >= 0) {
            idle[static_cast<size_t>(partner)] = 1;
            idle[static_cast<size_t>(k)] = 1;
        }
    }
    return idle;
}

} // namespace

bool G3EdgeList::EnsureAxes()
{
    if (ValidPair(xCoo, yCoo))
        return true;
    if (std::fabs(plane[0]) + std::fabs(plane[1]) + std::fabs(plane[2]) > GTolerance::kZeroNormal) {
        G3Math::GetMaxCoo(plane, &xCoo, &yCoo);
    } else {
        G3EdgeListVertexIterator it(this);
        double scratch[4] = {0.0, 0.0, 0.0, 0.0};
        int i = -1;
        int j = -1;
        G3Math::FormMaxPlaneCoo(&it, &i, &j, scratch);
        if (ValidPair(i, j)) {
            xCoo = i;
            yCoo = j;
        }
    }
    if (!ValidPair(xCoo, yCoo)) {
        xCoo = 0;
        yCoo = 1;
    }
    return true;
}

// ------------------------------------------------------------ nesting

bool G3EdgeList::IsIn(G3EdgeList* o)
{
    if (!o || o == this || size() == 0 || o->size() == 0)
        return false;
    EnsureAxes();
    for (int k = 0; k < size(); ++k) {
        const G3Vertex* v = GetEdge(k)->GetVertex1();
        if (!v)
            continue;
        G3EdgeListVertexIterator it(o);
        G3Vertex* onA = nullptr;
        G3Vertex* onB = nullptr;
        if (!G3Facet::PointInFacet(xCoo, yCoo, v->GetXYZ(), &it, &onA, &onB, GTolerance::kInFacet))
            return false;
        if (!onA)
            return true;
    }
    // Every vertex lies on o's boundary: a point inside this contour
    // decides.
    GArrayCollection ring(size(), 16);
    for (int k = 0; k < size(); ++k)
        if (G3Vertex* v = GetEdge(k)->GetVertex1())
            ring.add(v);
    double p[3];
    if (!G3Facet::GeneratePointInFacetConcave(xCoo, yCoo, p, &ring))
        return false;
    G3EdgeListVertexIterator it(o);
    return G3Facet::PointInFacet(xCoo, yCoo, p, &it, nullptr, nullptr, GTolerance::kInFacet);
}

// ------------------------------------------------------------ crossings

bool G3EdgeList::TestSelfIntersections()
{
    EnsureAxes();
    G3LineSegmentIntersector sweep(xCoo, yCoo);
    for (int k = 0; k < size(); ++k) {
        const G3Edge* e = GetEdge(k);
        if (e->GetVertex1() && e->GetVertex2())
            sweep.AddSegment(e->GetVertex1()->GetXYZ(), e->GetVertex2()->GetXYZ(), IndexData(k));
    }
    return sweep.IntersectionExists();
}

namespace {

// One pass of a contour through a point: the directions back along the edge
// that arrives and on along the edge that leaves, in the projection plane.
struct CornerPass {
    double at[2];
    double in[2], out[2];
};

inline double Cross2(const double* a, const double* b) { return a[0] * b[1] - a[1] * b[0]; }

// d lies strictly inside the turn from a counter-clockwise to b (a and b
// not the same direction); 0 inside, 1 outside, -1 along a or b.
int SideOfTurn(const double* a, const double* b, const double* d)
{
    const double ad = Cross2(a, d), db = Cross2(d, b), ab = Cross2(a, b);
    const double dotA = a[0] * d[0] + a[1] * d[1], dotB = b[0] * d[0] + b[1] * d[1];
    if ((ad == 0.0 && dotA > 0.0) || (db == 0.0 && dotB > 0.0))
        return -1;
    const bool inside = ab > 0.0 ? (ad > 0.0 && db > 0.0) : !(ad <= 0.0 && db <= 0.0);
    return inside ? 0 : 1;
}

} // namespace

bool G3EdgeList::TestCrossingsAtCorners()
{
    EnsureAxes();
    std::vector<CornerPass> passes;
    passes.reserve(static_cast<size_t>(size()));
    int first = 0;
    for (int k = 0; k < size(); ++k) {
        const G3Edge* e = GetEdge(k);
        const bool last = k + 1 == size() || GetEdge(k + 1)->GetVertex1() != e->GetVertex2();
        const G3Edge* next = last ? GetEdge(first) : GetEdge(k + 1);
        if (last)
            first = k + 1;
        if (!e->GetVertex1() || !e->GetVertex2() || !next->GetVertex2())
            continue;
        const double* a = e->GetVertex1()->GetXYZ();
        const double* p = e->GetVertex2()->GetXYZ();
        const double* b = next->GetVertex2()->GetXYZ();
        passes.push_back({{p[xCoo], p[yCoo]}, {a[xCoo] - p[xCoo], a[yCoo] - p[yCoo]}, {b[xCoo] - p[xCoo], b[yCoo] - p[yCoo]}});
    }
    std::sort(passes.begin(), passes.end(), [](const CornerPass& u, const CornerPass& v) {
        return u.at[0] != v.at[0] ? u.at[0] < v.at[0] : u.at[1] < v.at[1];
    });
    for (size_t i = 0; i < passes.size(); ++i) {
        for (size_t j = i + 1; j < passes.size(); ++j) {
            const CornerPass& u = passes[i];
            const CornerPass& v = passes[j];
            if (v.at[0] - u.at[0] > GTolerance::kPointEqual)
                break;
            if (std::hypot(v.at[0] - u.at[0], v.at[1] - u.at[1]) > GTolerance::kPointEqual)
                continue;
            // A pass that turns back on itself has no sides.
            if (Cross2(u.in, u.out) == 0.0 && u.in[0] * u.out[0] + u.in[1] * u.out[1] >= 0.0)
                continue;
            const int sIn = SideOfTurn(u.in, u.out, v.in), sOut = SideOfTurn(u.in, u.out, v.out);
            if (sIn >= 0 && sOut >= 0 && sIn != sOut)
                return true;
        }
    }
    return false;
}

void G3EdgeList::FindSelfIntersections(G3Surface* s) { FindSelfIntersections(s, std::vector<char>()); }

void G3EdgeList::FindSelfIntersections(G3Surface* s, const std::vector<char>& idle)
{
    if (!s || size() < 2)
        return;
    EnsureAxes();
    SplitPointCollector found(this, s);
    {
        G3LineSegmentIntersector sweep(xCoo, yCoo);
        for (int k = 0; k < size(); ++k) {
            const G3Edge* e = GetEdge(k);
            if (k < static_cast<int>(idle.size()) && idle[static_cast<size_t>(k)])
                continue;
            if (e->GetVertex1() && e->GetVertex2())
                sweep.AddSegment(e->GetVertex1()->GetXYZ(), e->GetVertex2()->GetXYZ(), IndexData(k));
        }
        sweep.FindIntersections(&found);
    }

    bool any = false;
    for (const std::vector<SplitPoint>& p : found.points)
        any = any || !p.empty();
    if (!any)
        return;

    std::vector<GObj*> rebuilt;
    rebuilt.reserve(static_cast<size_t>(size()) * 2);
    std::vector<G3Vertex*> cuts;
    std::vector<G3Edge*> pieces;
    for (int k = 0; k < size(); ++k) {
        G3Edge* e = GetEdge(k);
        std::vector<SplitPoint>& pts = found.points[static_cast<size_t>(k)];
        if (pts.empty()) {
            rebuilt.push_back(e);
            continue;
        }
        // Order the points from vertex1 to vertex2 along the axis in which
        // the edge is longer.
        const double* a = e->GetVertex1()->GetXYZ();
        const double* b = e->GetVertex2()->GetXYZ();
        const int axis = std::fabs(b[xCoo] - a[xCoo]) > std::fabs(b[yCoo] - a[yCoo]) ? xCoo : yCoo;
        const bool upward = b[axis] > a[axis];
        std::stable_sort(pts.begin(), pts.end(), [axis, upward](const SplitPoint& p, const SplitPoint& q) {
            return upward ? p.xyz[axis] < q.xyz[axis] : p.xyz[axis] > q.xyz[axis];
        });
        cuts.clear();
        const double* last = nullptr;
        for (const SplitPoint& p : pts) {
            // One crossing reported by several segments gives one vertex.
            if (last && G3Point::Equals(last, p.xyz))
                continue;
            last = p.xyz;
            cuts.push_back(p.vertex);
        }
        pieces.assign(cuts.size() + 1, nullptr);
        const int made = SplitEdge(s, e, static_cast<int>(cuts.size()), cuts.data(), pieces.data());
        if (made == 0) {
            rebuilt.push_back(e);
            continue;
        }
        for (int m = 0; m < made; ++m)
            rebuilt.push_back(pieces[static_cast<size_t>(m)]);
        delete e;
    }
    clear();
    for (GObj* o : rebuilt)
        add(o);
}

namespace {

// The corner data of e's facet1 side at point p of the edge, as new objects
// owned by s. A texture coordinate is carried even without normals.
void InterpolateCorner(G3Surface* s, const G3Edge* e, const double* p, G3Normal** n, G3TexCoo** t)
{
    *n = nullptr;
    *t = nullptr;
    G3TexCoo* t1 = nullptr;
    G3TexCoo* t2 = nullptr;
    const G3Normal* n1 = e->GetFacet1V1(&t1);
    const G3Normal* n2 = e->GetFacet1V2(&t2);
    const bool normals = n1 && n2;
    if (!normals && !(t1 && t2))
        return;
    // The interpolation needs a normal at both ends to run at all.
    const G3Normal stand(0.0, 0.0, 0.0);
    G3Normal* newNormal = nullptr;
    G3TexCoo* newTex = nullptr;
    G3Edge::Interpolate(e->GetVertex1(), normals ? n1 : &stand, t1, e->GetVertex2(), normals ? n2 : &stand, t2, p,
                        &newNormal, &newTex);
    if (normals && newNormal)
        *n = s->AddNormalToCollection(newNormal);
    else
        delete newNormal;
    if (newTex)
        *t = s->AddTexCooToCollection(newTex);
}

} // namespace

int G3EdgeList::SplitEdge(G3Surface* s, G3Edge* e, int n, G3Vertex** vs, G3Edge** out)
{
    if (!e || !out || n < 0 || (n > 0 && !vs) || !e->GetVertex1() || !e->GetVertex2())
        return 0;
    for (int k = 0; k < n; ++k)
        if (!vs[k])
            return 0;
    bool corners = false;
    if (s && e->HasGeometry()) {
        G3TexCoo* t1 = nullptr;
        G3TexCoo* t2 = nullptr;
        const G3Normal* n1 = e->GetFacet1V1(&t1);
        const G3Normal* n2 = e->GetFacet1V2(&t2);
        corners = (n1 && n2) || (t1 && t2);
    }
    for (int k = 0; k <= n; ++k) {
        G3Vertex* a = k == 0 ? e->GetVertex1() : vs[k - 1];
        G3Vertex* b = k == n ? e->GetVertex2() : vs[k];
        G3Edge* piece = new G3Edge(a, b);
        piece->SetFacet1(e->GetFacet1());
        piece->SetFacet2(e->GetFacet2());
        piece->SetFlags(e->GetFlags());
        if (corners) {
            G3Normal* na = nullptr;
            G3Normal* nb = nullptr;
            G3TexCoo* ta = nullptr;
            G3TexCoo* tb = nullptr;
            InterpolateCorner(s, e, a->GetXYZ(), &na, &ta);
            InterpolateCorner(s, e, b->GetXYZ(), &nb, &tb);
            piece->SetFacet1V1(na, ta);
            piece->SetFacet1V2(nb, tb);
            piece->SetFacet2V1(na, ta);
            piece->SetFacet2V2(nb, tb);
        }
        out[k] = piece;
    }
    return n + 1;
}

// ------------------------------------------------------------ resolution

void G3EdgeList::RemoveSelfIntersections(GArrayCollection* out, G3Surface* s, bool link, UNION_EDGE_ALG alg, int)
{
    if (!out || size() == 0)
        return;
    EnsureAxes();
    FormEnvelope();
    // Only the contours of this call are linked and turned: out may already
    // hold lists of other planes.
    GArrayCollection fresh;
    const std::vector<char> idle = alg == UNION_EDGE_CANCEL_PAIRS ? CancellingPairs(this) : std::vector<char>();
    if (G3EdgeList* simple = alg == UNION_EDGE_CANCEL_PAIRS ? SimpleContour(idle) : nullptr) {
        simple->SetPlane(GetPlane());
        simple->FormEnvelope();
        fresh.add(simple);
    } else {
        FindSelfIntersections(s, idle);
        G3ContourGraph graph(this, xCoo, yCoo);
        graph.Load(alg);
        graph.Walk(&fresh);
    }
    if (link)
        RemeshContours(s, &fresh, true, 0);
    for (int k = fresh.size() - 1; k >= 0; --k) {
        G3EdgeList* c = static_cast<G3EdgeList*>(fresh.get(k));
        G3EdgeListVertexIterator it(c);
        double p[4] = {0.0, 0.0, 0.0, 0.0};
        G3Math::FormPlaneEquation(&it, p);
        if (p[0] * plane[0] + p[1] * plane[1] + p[2] * plane[2] < 0.0) {
            c->Rotate();
            c->Normalize();
        }
    }
    for (int k = 0; k < fresh.size(); ++k)
        out->add(fresh.get(k));
}

void G3EdgeList::FormContours(GArrayCollection* out)
{
    if (!out || size() == 0)
        return;
    EnsureAxes();
    G3ContourGraph graph(this, xCoo, yCoo);
    graph.Load(UNION_EDGE_CANCEL_PAIRS);
    graph.Walk(out);
}

void G3EdgeList::RemeshContours(G3Surface* s, GArrayCollection* lists, bool link, int flags)
{
    if (!lists || lists->size() == 0)
        return;
    FormContourTypes(lists);
    if (link && lists->size() >= 2)
        Link(lists, s, flags);
}
