// Welding passes of G3Surface: coincident vertices, normals and texture
// coordinates become one entity, edges are split at vertices lying on them,
// and one vertex can be replaced by another.
//
// Points are equal when strictly closer than 1e-6. A welded duplicate's
// exData names its representative, an earlier equal entity whose own link is
// null; RemoveUnused (called by the composite passes) deletes the duplicates
// once nothing refers to them.

#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/foundation/GTrace.h"
#include "Geometry/math/GEnvelope.h"
#include "Geometry/math/GTolerance.h"
#include "Geometry/mesh/G3Edge.h"
#include "Geometry/mesh/G3Facet.h"
#include "Geometry/mesh/G3FacetIterators.h"
#include "Geometry/mesh/G3PassCheck.h"
#include "Geometry/mesh/G3Point.h"
#include "Geometry/mesh/G3PointHash.h"
#include "Geometry/mesh/G3SparsePointHash.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/mesh/G3TexCoo.h"
#include "Geometry/mesh/G3Vertex.h"
#include "Geometry/processing/G3EdgeList.h"
#include "Geometry/processing/G3SurfacePiece.h"
#include "Geometry/processing/G3Weld.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <unordered_set>
#include <vector>

namespace {

using GTolerance::kWeld;

// Cells per axis of a welding hash holding `count` points in the box
// min..max. The hash answers the same for any cell counts; they only set the
// chain lengths. A fixed grid fills up as meshes grow (a surface mesh meets
// only about q^2 of the q^3 cells), so the grid grows with the count, at
// about one cell per point (8 bytes of cell array per point; finer grids
// cost more in fresh pages than they save in chain walks), and follows the
// box's shape: a flat mesh gets one layer of cells across its thin side
// rather than a cube of which it would fill one or two layers.
void WeldGrid3(int count, const double* min, const double* max, int perAxis[3])
{
    G3PointHash::SizeGrid(count, min, max, kWeld, perAxis);
}

// A welding hash over min..max that will hold about `count` points: cells
// sized by WeldGrid3, points closer than kWeld are one.
std::unique_ptr<G3PointHash> NewWeldHash(int count, const double* min, const double* max)
{
    int grid[3];
    WeldGrid3(count, min, max, grid);
    return std::make_unique<G3PointHash>(grid, min, max, kWeld);
}

// Edges that cross more cells than this on average (one cell per point)
// are long for the grid: finer cells would only lengthen their walks.
constexpr double kShortEdgeCells = 4.0;

// The welding hash over the vertices of s, in its box. The tube walks of
// DivideEdgesByVertex read every point of each cell along an edge, and on
// a surface one cell per point leaves a few dozen points in each cell met;
// eight cells per point (up to 4M cells more, 32 MiB) quarter that, where
// the edges are short. Long edges through empty cells (the spikes of a
// star, a long wall beside fine detail) mostly walk empty cells, and
// finer cells double each walk: they keep one cell per point.
// The cells cover the bulk of the vertices (G3PointHash::BulkBox): a few
// vertices far off would otherwise stretch them over the whole mesh, and
// every edge's walk would read it all.
std::unique_ptr<G3PointHash> NewVertexWeldHash(G3Surface* s)
{
    const long count = s->GetVertexCount();
    std::vector<double> xyz;
    xyz.reserve(3 * static_cast<std::size_t>(count));
    for (long i = 0; i < count; ++i) {
        const G3Vertex* v = s->GetVertex(static_cast<int>(i));
        if (v)
            xyz.insert(xyz.end(), v->GetXYZ(), v->GetXYZ() + 3);
    }
    double lo[3], hi[3];
    G3PointHash::BulkBox(xyz, lo, hi);
    int grid[3];
    WeldGrid3(static_cast<int>(count), lo, hi, grid);
    double perSide[3];
    for (int a = 0; a < 3; ++a) {
        const double extent = hi[a] - lo[a];
        perSide[a] = extent > 0.0 ? grid[a] / extent : 0.0;
    }
    // Edges to the vertices outside walk the border cells only: their
    // share is measured inside the box.
    const auto inBox = [&](double c, int a) { return std::min(hi[a], std::max(lo[a], c)); };
    double cells = 0.0;
    const int edges = s->GetEdgeCount();
    for (int k = 0; k < edges; ++k) {
        const G3Edge* e = s->GetEdge(k);
        if (!e || !e->GetVertex1() || !e->GetVertex2())
            continue;
        const double* p = e->GetVertex1()->GetXYZ();
        const double* q = e->GetVertex2()->GetXYZ();
        for (int a = 0; a < 3; ++a)
            cells += std::fabs(inBox(q[a], a) - inBox(p[a], a)) * perSide[a];
    }
    const bool shortEdges = std::isfinite(cells) && cells <= kShortEdgeCells * edges;
    const long extra = shortEdges ? std::min(7 * count, 1L << 22) : 0;
    return NewWeldHash(static_cast<int>(count + extra), lo, hi);
}

// A sparse welding hash over the vertices of s, for the welds that only
// add and look up (no tube walks along edges): its cells follow the points,
// so vertices in a few far-apart clusters keep short chains, where the
// dense grid over their box would put each cluster in a handful of cells.
// It answers as the dense hash does (the newest stored equal point).
std::unique_ptr<G3SparsePointHash> NewSparseVertexWeldHash(G3Surface* s)
{
    const int count = s->GetVertexCount();
    double lo[3] = {0.0, 0.0, 0.0}, hi[3] = {0.0, 0.0, 0.0};
    bool any = false;
    for (int i = 0; i < count; ++i) {
        const G3Vertex* v = s->GetVertex(i);
        if (!v)
            continue;
        const double* p = v->GetXYZ();
        for (int a = 0; a < 3; ++a) {
            if (!std::isfinite(p[a]))
                continue;
            lo[a] = any ? std::min(lo[a], p[a]) : p[a];
            hi[a] = any ? std::max(hi[a], p[a]) : p[a];
        }
        any = true;
    }
    return std::make_unique<G3SparsePointHash>(static_cast<long>(count), lo, hi, kWeld);
}

// The entity at `obj`'s id in `c` is `obj` itself (it belongs to that
// collection).
inline bool Listed(const GArrayCollection* c, const G3Obj* obj)
{
    if (!c || !obj)
        return false;
    const long id = obj->GetId();
    return id >= 0 && id < c->size() && c->get(static_cast<int>(id)) == obj;
}

// Listed, or found by a search: a host may call a public edit while its ids
// are its own numbering. A vertex of another surface, or one never listed,
// is neither.
inline bool ListedOrFound(const GArrayCollection* c, const G3Obj* obj)
{
    return Listed(c, obj) || (c && obj && c->index(const_cast<G3Obj*>(obj)) >= 0);
}

// The vertex that `v` stands for: its representative when its exData names
// a vertex of the shell, else itself.
inline G3Vertex* Representative(const GArrayCollection* vertices, G3Vertex* v)
{
    G3Vertex* r = static_cast<G3Vertex*>(v->GetExData());
    return r && Listed(vertices, r) ? r : v;
}

// Moves end `end` (1 or 2) of e from its vertex to `to`: out of the old
// ring, onto `to`, at the tail of to's ring.
void MoveEnd(G3Edge* e, int end, G3Vertex* to)
{
    G3Vertex* from = end == 1 ? e->GetVertex1() : e->GetVertex2();
    if (from)
        from->RemoveEdge(e);
    if (end == 1) {
        e->SetVertex1(to);
        e->SetVertex1Edge(nullptr);
    } else {
        e->SetVertex2(to);
        e->SetVertex2Edge(nullptr);
    }
    to->AddEdge(e);
}

// The interior test of a candidate point c against the edge p1 -> p2:
// along `axis` within [lo, hi] (the edge's extent shrunk by kWeld at both
// ends), and no farther than kWeld from the line through p1 and p2.
inline double LineDistance(const double* p1, const double* d, double dLength, const double* c)
{
    const double w[3] = {p1[0] - c[0], p1[1] - c[1], p1[2] - c[2]};
    const double x = d[1] * w[2] - d[2] * w[1];
    const double y = d[2] * w[0] - d[0] * w[2];
    const double z = d[0] * w[1] - d[1] * w[0];
    return std::sqrt(x * x + y * y + z * z) / dLength;
}

struct EdgeProbe {
    const double* p1 = nullptr;
    double d[3] = {0.0, 0.0, 0.0};
    double dLength = 0.0;
    int axis = 0;
    double lo = 0.0; // first admissible coordinate along axis
    double hi = 0.0; // last admissible coordinate along axis
    double farBeyond = 0.0;

    EdgeProbe(const G3Edge* e, int a)
    {
        p1 = e->GetVertex1()->GetXYZ();
        const double* p2 = e->GetVertex2()->GetXYZ();
        for (int k = 0; k < 3; ++k)
            d[k] = p2[k] - p1[k];
        dLength = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
        axis = a;
        const double lower = p1[a] < p2[a] ? p1[a] : p2[a];
        const double upper = p1[a] < p2[a] ? p2[a] : p1[a];
        lo = lower + kWeld;
        hi = upper - kWeld;
        const double reach = 2.0 * kWeld * dLength;
        farBeyond = reach * reach;
    }
    // A squared cross product above (2 kWeld |d|)^2 puts the point more
    // than kWeld off the line whatever the rounding of the exact test, so
    // most points of a tube walk are refused without its root and
    // division. NaN and overflow fall through to the exact test.
    bool OnLine(const double* c) const
    {
        const double w[3] = {p1[0] - c[0], p1[1] - c[1], p1[2] - c[2]};
        const double x = d[1] * w[2] - d[2] * w[1];
        const double y = d[2] * w[0] - d[0] * w[2];
        const double z = d[0] * w[1] - d[1] * w[0];
        if (x * x + y * y + z * z > farBeyond)
            return false;
        return LineDistance(p1, d, dLength, c) <= kWeld;
    }
    bool Admits(const double* c) const { return c[axis] >= lo && c[axis] <= hi && OnLine(c); }
};

int CompareAlongAxis(const void* a, const void* b, const void* context)
{
    const int axis = *static_cast<const int*>(context);
    const G3Vertex* u = *static_cast<G3Vertex* const*>(a);
    const G3Vertex* v = *static_cast<G3Vertex* const*>(b);
    const double cu = u->GetXYZ()[axis];
    const double cv = v->GetXYZ()[axis];
    if (cu < cv)
        return -1;
    if (cu > cv)
        return 1;
    // Equal coordinates: creation order decides, never the heap.
    return u->GetId() < v->GetId() ? -1 : (u->GetId() > v->GetId() ? 1 : 0);
}

// Whether some edge of v's ring borders f1 or f2.
bool TouchesFacets(const G3Vertex* v, const G3Facet* f1, const G3Facet* f2)
{
    for (const G3Edge* x = v->GetFirstEdge(); x; x = x->GetVertexEdge(v))
        if (x->HasFacet(f1) || x->HasFacet(f2))
            return true;
    return false;
}

// v is a corner of f only in contours other than the one e runs in: a hole
// of f touching e's contour at v, or e's contour touching a hole. The facet
// beyond e (a side wall) has to be split there as well, or the solid opens
// once f is triangulated, since f's triangles split e at v. A corner of e's
// own contour lying on e is a fold of that contour and is left alone.
// Contours are counted as closed loops: once welded, a hole whose first
// corner is the corner at which the outline starts and ends goes on from
// the vertex the walk stands on, so the walker reads both as one contour;
// the loop closes where the walk is back at the contour's start.
bool InOtherContoursOnly(const G3Vertex* v, const G3Facet* f, const G3Edge* e)
{
    if (!f)
        return true;
    int contour = -1;
    int ofEdge = -1;
    int lastOfVertex = -1;
    bool sharesContour = false;
    bool backAtStart = false;
    for (G3ContourWalker w(f); w.Next();) {
        if (w.Opens() || backAtStart)
            ++contour;
        backAtStart = w.GetExit() == w.GetContourStart();
        if (w.GetEdge() == e)
            ofEdge = contour;
        if (w.GetEntry() == v || w.GetExit() == v)
            lastOfVertex = contour;
        if (ofEdge == contour && lastOfVertex == contour)
            sharesContour = true;
    }
    return ofEdge >= 0 && !sharesContour;
}

// Collects, from the hash cells along an edge, the listed vertices that the
// edge's interior test admits (each once). With `out` null it only finds
// out whether there is any (listed or not), and stops looking once it has.
struct TubeGather {
    const EdgeProbe* probe;
    const GArrayCollection* vertices;
    GArrayCollection* out;
    bool any;
};

void GatherOnEdge(G3PointHashItem* head, void* context)
{
    TubeGather* g = static_cast<TubeGather*>(context);
    if (!g->out && g->any)
        return;
    for (G3PointHashItem* it = head; it; it = it->next) {
        G3Vertex* v = static_cast<G3Vertex*>(it->object);
        if (!g->probe->Admits(v->GetXYZ()))
            continue;
        if (!g->out) {
            g->any = true;
            return;
        }
        if (!Listed(g->vertices, v))
            continue;
        bool seen = false;
        for (int k = 0; k < g->out->size() && !seen; ++k)
            seen = g->out->get(k) == v;
        if (!seen)
            g->out->add(v);
    }
}

} // namespace

// ---------------------------------------------------------------- vertices

namespace {

// Points each vertex's exData at its representative (null for none) through
// `hash` (a G3PointHash or a G3SparsePointHash: both answer the newest
// stored point equal to the probe), in list order; returns the number of
// duplicates.
template <class Hash>
int MarkDuplicates(G3Surface* s, Hash* hash)
{
    const GArrayCollection* vertices = s->GetVertexList();
    int duplicates = 0;
    const int count = s->GetVertexCount();
    for (int i = 0; i < count; ++i) {
        G3Vertex* v = s->GetVertex(i);
        G3Point* q = hash->Add(v);
        // A representative is an earlier vertex of this shell that is not a
        // duplicate itself. With a fresh hash every answer is one; a hash
        // the caller filled beforehand may answer otherwise, and such an
        // answer is not taken.
        G3Vertex* r = static_cast<G3Vertex*>(q);
        if (q && (q == v || !Listed(vertices, r) || r->GetId() >= i || r->GetExData()))
            r = nullptr;
        v->SetExData(r);
        if (r)
            ++duplicates;
    }
    return duplicates;
}

// Drops the edges that collapse onto one representative, and the facets
// left with fewer than three edges; returns the number of facets removed.
int DropCollapsed(G3Surface* s)
{
    int removedFacets = 0;
    for (int i = 0; i < s->GetFacetCount();) {
        G3Facet* f = s->GetFacet(i);
        if (f->RemoveSmallEdges()) {
            s->RemoveFacet(f);
            ++removedFacets;
        } else {
            ++i;
        }
    }
    return removedFacets;
}

// Which listed vertices the listed edges name, by place in the vertex list,
// as the edge walk of MoveOntoRepresentatives leaves them. `complete` goes
// false when an edge names a vertex that is not where its id says.
struct NamedVertices {
    std::vector<char> at;
    bool complete = true;
};

// Removes the edges left without a facet and moves every other edge's ends
// onto their representatives; returns the number of ends moved. With
// `named`, records the vertices the remaining edges name.
int MoveOntoRepresentatives(G3Surface* s, NamedVertices* named)
{
    const GArrayCollection* vertices = s->GetVertexList();
    if (named)
        named->at.assign(static_cast<std::size_t>(s->GetVertexCount()), 0);
    int moves = 0;
    for (int i = 0; i < s->GetEdgeCount();) {
        G3Edge* e = s->GetEdge(i);
        if (!e->GetFacet1() && !e->GetFacet2()) {
            // RemoveEdge takes it out of whatever rings still hold it.
            s->RemoveEdge(e);
            continue;
        }
        for (int end = 1; end <= 2; ++end) {
            G3Vertex* v = end == 1 ? e->GetVertex1() : e->GetVertex2();
            if (!v)
                continue;
            G3Vertex* r = Representative(vertices, v);
            if (r != v) {
                MoveEnd(e, end, r);
                ++moves;
            }
            if (!named)
                continue;
            if (Listed(vertices, r))
                named->at[static_cast<std::size_t>(r->GetId())] = 1;
            else
                named->complete = false;
        }
        ++i;
    }
    return moves;
}

} // namespace

void G3Surface::RemoveEqualsVertex()
{
    G3_CHECK_PASS(this, "RemoveEqualsVertex");
    if (!vertices) {
        RemoveUnused();
        return;
    }
    const std::unique_ptr<G3SparsePointHash> hash = NewSparseVertexWeldHash(this);
    const int duplicates = MarkDuplicates(this, hash.get());
    const int removedFacets = DropCollapsed(this);
    NamedVertices named;
    const int moves = MoveOntoRepresentatives(this, &named);
    GTrace("qF=%d  qE=%d", removedFacets, moves);
    GTrace("qV=%d", duplicates);
    // RemoveUnused, less the passes the weld has made needless: no listed
    // edge is left without a facet, no facet with fewer than three edges,
    // and the edge walk has seen which vertices the edges name.
    if (named.complete)
        RemoveBareVertices(named.at);
    else
        RemoveUnusedVertex();
    RemoveUnusedNormal();
    RemoveUnusedTexCoo();
}

std::vector<int> G3WeldRepresentatives(G3Surface* s)
{
    std::vector<int> out;
    if (!s || !s->GetVertexList())
        return out;
    // MarkDuplicates' rule, with the answers kept by place instead of in
    // the vertices' scratch links.
    const std::unique_ptr<G3SparsePointHash> hash = NewSparseVertexWeldHash(s);
    const GArrayCollection* vertices = s->GetVertexList();
    const int count = s->GetVertexCount();
    out.assign(static_cast<std::size_t>(count), -1);
    for (int i = 0; i < count; ++i) {
        G3Vertex* v = s->GetVertex(i);
        G3Point* q = hash->Add(v);
        G3Vertex* r = static_cast<G3Vertex*>(q);
        if (q && (q == v || !Listed(vertices, r) || r->GetId() >= i || out[static_cast<std::size_t>(r->GetId())] >= 0))
            r = nullptr;
        out[static_cast<std::size_t>(i)] = r ? static_cast<int>(r->GetId()) : -1;
    }
    return out;
}

namespace {

// Keeps the entities of `c` that `keep` approves, deleting the others with
// `drop`, in the order the removal walk over the whole list leaves them:
// entity i of `c` stands at place at[i] of the whole list.
template <class T, class Keep, class Drop>
void KeepAsTheWholeWalks(GArrayCollection* c, const std::vector<int>& at, Keep keep, Drop drop)
{
    std::vector<int> kept;
    std::vector<T*> keptEntities;
    std::vector<T*> dropped;
    for (int i = 0; i < c->size(); ++i) {
        T* e = static_cast<T*>(c->get(i));
        if (keep(e, i)) {
            kept.push_back(at[static_cast<std::size_t>(i)]);
            keptEntities.push_back(e);
        } else {
            dropped.push_back(e);
        }
    }
    if (dropped.empty() && std::is_sorted(kept.begin(), kept.end()) &&
        (kept.empty() || kept.back() < static_cast<int>(kept.size())))
        return;
    const std::vector<int> order = G3OrderAfterRemovals(kept);
    c->clear();
    for (std::size_t j = 0; j < order.size(); ++j) {
        T* e = keptEntities[static_cast<std::size_t>(order[j])];
        e->SetId(static_cast<long>(j));
        c->add(e);
    }
    for (T* e : dropped)
        drop(e);
}

// The corners' marks of RemoveUnusedNormal / RemoveUnusedTexCoo.
void MarkCornersOf(G3Surface* s, bool normalsWanted)
{
    for (int i = 0; i < s->GetEdgeCount(); ++i)
        s->GetEdge(i)->ForEachCorner([&](G3Normal* n, G3TexCoo* t) {
            G3Obj* used = normalsWanted ? static_cast<G3Obj*>(n) : static_cast<G3Obj*>(t);
            if (used)
                used->SetFlags(used->GetFlags() | G3Shell::FLAG_USED);
        });
}

} // namespace

void G3Surface::RemoveEqualsVertexOfPiece(const G3PiecePlaces& places)
{
    G3_CHECK_PASS(this, "RemoveEqualsVertex");
    // The piece's facets stand as in the whole copy, so the walk drops the
    // same ones the same way.
    DropCollapsed(this);
    // The whole edge walk meets the kept edges in their final order: a kept
    // edge is passed once, at its final slot. Those without a facet go
    // (out of their rings) before the walk, the rest take that order, and
    // the walk then finds nothing to remove.
    KeepAsTheWholeWalks<G3Edge>(
        edges, places.edgeAt, [](G3Edge* e, int) { return e->GetFacet1() || e->GetFacet2(); },
        [](G3Edge* e) {
            if (G3Vertex* v = e->GetVertex1())
                v->RemoveEdge(e);
            if (G3Vertex* v = e->GetVertex2())
                v->RemoveEdge(e);
            delete e;
        });
    NamedVertices named;
    MoveOntoRepresentatives(this, &named);
    KeepAsTheWholeWalks<G3Vertex>(
        vertices, places.vertexAt,
        [&named](G3Vertex* v, int i) { return v->HasEdges() || named.at[static_cast<std::size_t>(i)]; },
        [](G3Vertex* v) { delete v; });
    // FLAG_USED marks the corners' entities while the passes run and is
    // clear on every one left.
    ChangeNormalFlags(FLAG_USED, false);
    MarkCornersOf(this, true);
    KeepAsTheWholeWalks<G3Normal>(
        normals, places.normalAt, [](G3Normal* n, int) { return (n->GetFlags() & FLAG_USED) != 0; },
        [](G3Normal* n) { delete n; });
    ChangeNormalFlags(FLAG_USED, false);
    ChangeTexCooFlags(FLAG_USED, false);
    MarkCornersOf(this, false);
    KeepAsTheWholeWalks<G3TexCoo>(
        texCoos, places.texCooAt, [](G3TexCoo* t, int) { return (t->GetFlags() & FLAG_USED) != 0; },
        [](G3TexCoo* t) { delete t; });
    ChangeTexCooFlags(FLAG_USED, false);
}

void G3Surface::RemoveEqualsVertex(G3PointHash* hash)
{
    G3_CHECK_PASS(this, "RemoveEqualsVertex");
    if (!hash || !vertices)
        return;
    const int duplicates = MarkDuplicates(this, hash);
    RemoveEqualsVertex2(hash);
    GTrace("qV=%d", duplicates);
}

void G3Surface::RemoveEqualsVertex2(G3PointHash* /*hash*/)
{
    G3_CHECK_PASS(this, "RemoveEqualsVertex2");
    const int removedFacets = DropCollapsed(this);
    const int moves = MoveOntoRepresentatives(this, nullptr);
    GTrace("qF=%d  qE=%d", removedFacets, moves);
}

namespace {
int DivideSnapshot(G3Surface* s, G3PointHash* hash);
} // namespace

void G3Surface::RemoveEqualsVertexAndDivideEdges()
{
    G3WeldAndDivide(this);
}

int G3WeldAndDivide(G3Surface* s)
{
    if (!s)
        return 0;
    G3_CHECK_PASS(s, "RemoveEqualsVertexAndDivideEdges");
    GTrace("RemoveEqualsVertexAndDivideEdges");
    const std::unique_ptr<G3PointHash> hash = NewVertexWeldHash(s);
    s->RemoveEqualsVertex(hash.get());
    const int splits = DivideSnapshot(s, hash.get());
    s->RemoveUnused();
    GTrace("RemoveEqualsVertexAndDivideEdges Ok");
    return splits;
}

// ---------------------------------------------------------------- T-junctions

namespace {

// The tube radius around an edge: it reaches past every vertex within kWeld
// of the edge whatever the hash's tolerance, since each stored point sits at
// least in its own cell.
double TubeRadius(const G3PointHash* hash)
{
    const double t = hash->GetTolerance();
    return (t > kWeld ? t : kWeld) + 2.0 * kWeld;
}

// Whether any hashed point passes e's interior test.
bool AnyOnEdge(const G3PointHash* hash, const G3Edge* e, double radius)
{
    GEnvelope box;
    e->FormEnvelope(&box);
    const EdgeProbe probe(e, box.GetMaxCoo());
    if (!(probe.lo <= probe.hi))
        return false;
    TubeGather gather{&probe, nullptr, nullptr, false};
    hash->VisitSegmentCells(e->GetVertex1()->GetXYZ(), e->GetVertex2()->GetXYZ(), radius, GatherOnEdge, &gather);
    return gather.any;
}

// First pass over a snapshot of the surface's own edge list (ids equal
// positions): need[i] = 0 when edge i has no point on its interior, which
// no split made during the walk can change (the hash and the edge's ends
// stay as they are). Parallel edges (a welded soup has two per shared pair)
// ask once: each pair is looked at from the ring of its end with the
// smaller id. Edges the rings do not reach keep need = 1.
void FindEdgesToExamine(G3Surface* s, const G3PointHash* hash, double radius, std::vector<unsigned char>& need)
{
    GArrayCollection* edges = s->GetEdgeList();
    struct Pair {
        const G3Vertex* other;
        bool any;
    };
    std::vector<Pair> pairs;
    // Each edge's answer depends on the edge alone, so the vertices may be
    // taken in any order: cell by cell, the tube walks of neighbouring
    // edges read the same cells and points while they are still at hand.
    std::vector<std::pair<int, int>> byCell(static_cast<std::size_t>(s->GetVertexCount()));
    for (int i = 0; i < s->GetVertexCount(); ++i)
        byCell[static_cast<std::size_t>(i)] = {hash->GetHashCode(s->GetVertex(i)->GetXYZ()), i};
    std::sort(byCell.begin(), byCell.end());
    for (const std::pair<int, int>& cell : byCell) {
        const G3Vertex* v = s->GetVertex(cell.second);
        pairs.clear();
        for (const G3Edge* e = v->GetFirstEdge(); e; e = e->GetVertexEdge(v)) {
            const G3Vertex* w = e->GetOtherVertex(v);
            if (!w || w == v || !e->GetVertex1() || !e->GetVertex2())
                continue;
            if (w->GetId() < v->GetId() || (w->GetId() == v->GetId() && e->GetVertex1() != v))
                continue;
            if (!Listed(edges, e) || static_cast<std::size_t>(e->GetId()) >= need.size())
                continue;
            int known = -1;
            for (std::size_t k = 0; k < pairs.size() && known < 0; ++k)
                if (pairs[k].other == w)
                    known = static_cast<int>(k);
            bool any;
            if (known >= 0) {
                any = pairs[static_cast<std::size_t>(known)].any;
            } else {
                any = AnyOnEdge(hash, e, radius);
                pairs.push_back({w, any});
            }
            need[static_cast<std::size_t>(e->GetId())] = any ? 1 : 0;
        }
    }
}

// The DivideEdgesByVertex walk over `list`. `checked` entries come from a
// caller and are verified (an edge of this surface, not split earlier in the
// walk); a snapshot of the surface's own edge list needs no check and is
// screened by FindEdgesToExamine first. Returns the number of edges split.
int DivideEdges(G3Surface* s, GArrayCollection* list, G3PointHash* hash, bool checked)
{
    GArrayCollection* edges = s->GetEdgeList();
    GArrayCollection* vertices = s->GetVertexList();
    GArrayCollection candidates;
    std::unordered_set<const GObj*> split;
    const double radius = TubeRadius(hash);
    int splits = 0;
    std::vector<unsigned char> need(static_cast<std::size_t>(list->size()), 1);
    if (!checked)
        FindEdgesToExamine(s, hash, radius, need);
    for (int i = 0; i < list->size(); ++i) {
        if (!need[static_cast<std::size_t>(i)])
            continue;
        GObj* entry = list->get(i);
        if (checked) {
            if (!entry || split.count(entry))
                continue;
            G3Edge* x = dynamic_cast<G3Edge*>(entry);
            if (!x || !Listed(edges, x))
                continue;
        }
        G3Edge* e = static_cast<G3Edge*>(entry);
        if (!e->GetVertex1() || !e->GetVertex2())
            continue;
        GEnvelope box;
        e->FormEnvelope(&box);
        const EdgeProbe probe(e, box.GetMaxCoo());
        if (!(probe.lo <= probe.hi))
            continue; // no interior left (or a non-finite end)
        candidates.clear();
        TubeGather gather{&probe, vertices, &candidates, false};
        hash->VisitSegmentCells(e->GetVertex1()->GetXYZ(), e->GetVertex2()->GetXYZ(), radius, GatherOnEdge,
                                &gather);
        if (candidates.size() == 0)
            continue;
        if (!s->DivideEdgeByVertex(e, &box, &candidates))
            continue;
        ++splits;
        if (checked)
            split.insert(e);
    }
    return splits;
}

// DivideEdges over a snapshot of the surface's edges: the edges that
// splitting creates are not examined again.
int DivideSnapshot(G3Surface* s, G3PointHash* hash)
{
    if (!hash || !s->GetEdgeList())
        return 0;
    GArrayCollection snapshot(*s->GetEdgeList());
    const int splits = DivideEdges(s, &snapshot, hash, false);
    GTrace("qDiv=%d", 0);
    return splits;
}

} // namespace

void G3Surface::DivideEdgesByVertex(G3PointHash* hash)
{
    G3_CHECK_PASS(this, "DivideEdgesByVertex");
    DivideSnapshot(this, hash);
}

void G3Surface::DivideEdgesByVertex(GArrayCollection* list, G3PointHash* hash)
{
    G3_CHECK_PASS(this, "DivideEdgesByVertex");
    if (!list || !hash || !edges)
        return;
    DivideEdges(this, list, hash, true);
    GTrace("qDiv=%d", 0);
}

bool G3Surface::DivideEdgeByVertex(G3Edge* e, GEnvelope* box, GArrayCollection* candidates)
{
    G3_CHECK_PASS(this, "DivideEdgeByVertex");
    if (!e || !candidates || candidates->size() == 0)
        return false;
    if (!Listed(edges, e) || !e->GetVertex1() || !e->GetVertex2())
        return false;
    // Only vertices of this surface can be inserted.
    int kept = 0;
    for (int k = 0; k < candidates->size(); ++k) {
        G3Vertex* v = dynamic_cast<G3Vertex*>(candidates->get(k));
        if (v && Listed(vertices, v))
            candidates->put(kept++, v);
    }
    candidates->size(kept);
    if (kept == 0)
        return false;

    GEnvelope own;
    if (!box)
        box = e->FormEnvelope(&own);
    int axis = box->GetMaxCoo();
    candidates->qsortex(CompareAlongAxis, &axis);

    const EdgeProbe probe(e, axis);
    const bool reversed = probe.d[axis] < 0.0;
    // The first candidate at or above the lower end of the open range.
    int lo = 0;
    int hi = candidates->size();
    while (lo < hi) {
        const int mid = lo + (hi - lo) / 2;
        if (static_cast<G3Vertex*>(candidates->get(mid))->GetXYZ()[axis] < probe.lo)
            lo = mid + 1;
        else
            hi = mid;
    }
    if (lo >= candidates->size())
        return false;

    G3Facet* f1 = e->GetFacet1();
    G3Facet* f2 = e->GetFacet2();
    std::vector<G3Vertex*> on;
    for (int k = lo; k < candidates->size(); ++k) {
        G3Vertex* c = static_cast<G3Vertex*>(candidates->get(k));
        if (!(c->GetXYZ()[axis] <= probe.hi))
            break;
        if (!probe.OnLine(c->GetXYZ()))
            continue;
        // A vertex of the facets that e bounds goes into e only where it is a
        // corner of another contour (a touching hole).
        if (TouchesFacets(c, f1, f2) && !(InOtherContoursOnly(c, f1, e) && InOtherContoursOnly(c, f2, e)))
            continue;
        on.push_back(c);
    }
    if (on.empty())
        return false;
    return SplitEdge(e, static_cast<int>(on.size()), on.data(), reversed);
}

// ---------------------------------------------------------------- normals

void G3UnitNormal(const double* xyz, double* out)
{
    const double length = std::sqrt(xyz[0] * xyz[0] + xyz[1] * xyz[1] + xyz[2] * xyz[2]);
    for (int k = 0; k < 3; ++k)
        out[k] = length > GTolerance::kZeroLength ? xyz[k] / length : xyz[k];
}

void G3Surface::RemoveEqualsNormal()
{
    G3_CHECK_PASS(this, "RemoveEqualsNormal");
    const int normalCount = GetNormalCount();
    if (normalCount == 0)
        return;
    // Unit normals lie on the sphere, and those of a terrain or a large
    // flat part crowd onto a small cap of it: a dense grid over their box
    // would meet only a thin layer of cells, each holding many. The sparse
    // hash sizes its cells for a surface-like set.
    double lo[3] = {0.0, 0.0, 0.0};
    double hi[3] = {0.0, 0.0, 0.0};
    for (int i = 0; i < normalCount; ++i) {
        double* xyz = G3Shell::GetNormal(i)->GetXYZ();
        G3UnitNormal(xyz, xyz);
        for (int k = 0; k < 3; ++k) {
            lo[k] = i == 0 ? xyz[k] : std::min(lo[k], xyz[k]);
            hi[k] = i == 0 ? xyz[k] : std::max(hi[k], xyz[k]);
        }
    }
    G3SparsePointHash normalHash(normalCount, lo, hi, kWeld);
    for (int i = 0; i < normalCount; ++i) {
        G3Normal* n = G3Shell::GetNormal(i);
        n->SetExData(normalHash.Add(n));
    }

    // Texture coordinates as points (u, v, 0) in the same sparse hash: a
    // square grid over their box gave the long thin boxes of a roof's or a
    // wall's coordinates (metres along, a few up) cells holding thousands.
    const int texCount = GetTexCooCount();
    if (texCount > 0) {
        GEnvelope env;
        FormTexCooEnvelope(&env);
        const double lo[3] = {env.min[0], env.min[1], 0.0}, hi[3] = {env.max[0], env.max[1], 0.0};
        G3SparsePointHash texHash(texCount, lo, hi, kWeld);
        for (int i = 0; i < texCount; ++i) {
            G3TexCoo* t = GetTexCoo(i);
            const double uv[3] = {t->GetUV()[0], t->GetUV()[1], 0.0};
            const int same = texHash.Add(i, uv);
            t->SetExData(same >= 0 ? GetTexCoo(same) : nullptr);
        }
    }

    for (int i = 0; i < GetEdgeCount(); ++i) {
        G3Edge* e = GetEdge(i);
        if (!e->HasGeometry())
            continue;
        for (int side = 1; side <= 2; ++side) {
            for (int end = 1; end <= 2; ++end) {
                G3TexCoo* t = nullptr;
                G3Normal* n = e->GetCorner(side, end, &t);
                G3Normal* rn = n && Listed(normals, n) ? static_cast<G3Normal*>(n->GetExData()) : nullptr;
                G3TexCoo* rt = t && Listed(texCoos, t) ? static_cast<G3TexCoo*>(t->GetExData()) : nullptr;
                if (rn || rt)
                    e->SetCorner(side, end, rn ? rn : n, rt ? rt : t);
            }
        }
    }

    for (int i = 0; i < GetNormalCount();) {
        G3Normal* n = G3Shell::GetNormal(i);
        if (n->GetExData())
            RemoveNormal(n);
        else
            ++i;
    }
    for (int i = 0; i < GetTexCooCount();) {
        G3TexCoo* t = GetTexCoo(i);
        if (t->GetExData())
            RemoveTexCoo(t);
        else
            ++i;
    }
}

// ---------------------------------------------------------------- replacing a vertex

int G3Surface::GetCountEdges(G3Vertex* a, G3Vertex* b, GArrayCollection* out)
{
    if (out)
        out->clear();
    if (!a || !out)
        return 0;
    a->GetEdges(b, out);
    int sides = 0;
    for (int i = 0; i < out->size(); ++i) {
        const G3Edge* e = static_cast<const G3Edge*>(out->get(i));
        if (const G3Facet* f = e->GetFacet1())
            sides += f->GetDoubleSided() ? 2 : 1;
        if (const G3Facet* f = e->GetFacet2())
            sides += f->GetDoubleSided() ? 2 : 1;
    }
    return sides;
}

bool G3Surface::ChangeVertex(G3Vertex* oldVertex, G3Vertex* newVertex)
{
    G3_CHECK_PASS(this, "ChangeVertex");
    // Another surface's vertex on either side would rebuild this surface's
    // facets through it (AddFacetEdges then drops them) or thread the other
    // surface's edges into these rings.
    if (!ListedOrFound(vertices, oldVertex) || !ListedOrFound(vertices, newVertex))
        return false;
    if (oldVertex == newVertex)
        return true;
    std::vector<G3Edge*> ring(static_cast<std::size_t>(oldVertex->GetEdgeCount()));
    oldVertex->GetEdges(ring.data());
    for (std::size_t k = ring.size(); k-- > 0;)
        ChangeVertexInEdge(ring[k], oldVertex, newVertex);
    return true;
}

void G3Surface::ChangeVertexInEdge(G3Edge* e, G3Vertex* oldVertex, G3Vertex* newVertex)
{
    if (!e)
        return;
    for (int side = 1; side <= 2; ++side) {
        G3Facet* f = side == 1 ? e->GetFacet1() : e->GetFacet2();
        if (!f)
            continue;
        G3EdgeList list(f);
        f->RemoveEdges();
        ChangeVertexInEdgeList(&list, oldVertex, newVertex);
        if (list.size() > 2)
            AddFacetEdges(f, &list);
    }
}

void G3Surface::ChangeVertexInEdgeList(GArrayCollection* list, G3Vertex* oldVertex, G3Vertex* newVertex)
{
    if (!list)
        return;
    int kept = 0;
    for (int i = 0; i < list->size(); ++i) {
        G3Edge* e = dynamic_cast<G3Edge*>(list->get(i));
        if (!e)
            continue;
        if (e->GetVertex1() == oldVertex)
            e->SetVertex1(newVertex);
        if (e->GetVertex2() == oldVertex)
            e->SetVertex2(newVertex);
        if (e->GetVertex1() == e->GetVertex2()) {
            // The list owns its edges (G3EdgeList); a plain collection's
            // entries are the caller's and are only dropped.
            if (dynamic_cast<G3EdgeList*>(list))
                delete e;
            continue;
        }
        list->put(kept++, e);
    }
    list->size(kept);
}

bool G3Surface::ChangeVertex(G3Vertex* oldVertex, G3Vertex* newVertex, GArrayCollection* removed)
{
    // Not checked: the collapsed edges it hands back have both ends on one
    // vertex until the caller removes them.
    if (!removed || !ListedOrFound(vertices, oldVertex) || !ListedOrFound(vertices, newVertex))
        return false;
    removed->clear();
    if (oldVertex == newVertex)
        return true;
    std::vector<G3Edge*> ring(static_cast<std::size_t>(oldVertex->GetEdgeCount()));
    oldVertex->GetEdges(ring.data());
    for (G3Edge* e : ring) {
        if (e->GetVertex1() == oldVertex) {
            if (e->GetVertex2() == newVertex)
                removed->add(e);
            else
                MoveEnd(e, 1, newVertex);
        }
        if (e->GetVertex2() == oldVertex) {
            if (e->GetVertex1() == newVertex)
                removed->add(e);
            else
                MoveEnd(e, 2, newVertex);
        }
    }
    // Which end of each collapsed edge is oldVertex, read while it exists.
    std::vector<int> oldEnd(static_cast<std::size_t>(removed->size()));
    for (int i = 0; i < removed->size(); ++i) {
        G3Edge* e = static_cast<G3Edge*>(removed->get(i));
        if (G3Facet* f = e->GetFacet1())
            f->ChangeEdgeToVertex(e, newVertex);
        if (G3Facet* f = e->GetFacet2())
            f->ChangeEdgeToVertex(e, newVertex);
        oldEnd[static_cast<std::size_t>(i)] = e->GetVertex1() == oldVertex ? 1 : 2;
        if (G3Vertex* v = e->GetVertex1())
            v->RemoveEdge(e);
        if (G3Vertex* v = e->GetVertex2())
            v->RemoveEdge(e);
    }
    // The collapsed edges stay in the edge list for the caller, in no ring.
    // No listed edge may name a vertex that goes (RemoveVertex refuses
    // one), so their oldVertex end is put on newVertex first; it goes back
    // when oldVertex has to stay.
    auto setOldEnds = [&](G3Vertex* to) {
        for (int i = 0; i < removed->size(); ++i) {
            G3Edge* e = static_cast<G3Edge*>(removed->get(i));
            if (oldEnd[static_cast<std::size_t>(i)] == 1)
                e->SetVertex1(to);
            else
                e->SetVertex2(to);
        }
    };
    setOldEnds(newVertex);
    if (!RemoveVertex(oldVertex))
        setOldEnds(oldVertex);
    return true;
}

// ---------------------------------------------------------------- G3Facet

void G3Facet::ChangeEdgeToVertex(G3Edge* e, G3Vertex* v)
{
    // An edge outside the chain would still pull every chain edge at its
    // ends onto v; a vertex the facet's surface does not list would be
    // threaded into rings it does not own.
    if (!e || !v || !e->HasFacet(this))
        return;
    if (parentSurface && !ListedOrFound(parentSurface->GetVertexList(), v))
        return;
    const G3Vertex* a = e->GetVertex1();
    const G3Vertex* b = e->GetVertex2();
    auto stand = [&](G3Vertex* x) { return x == a || x == b ? v : x; };
    struct Step {
        G3Edge* edge;
        G3Vertex* end1;
        G3Vertex* end2;
    };
    std::vector<Step> steps;
    for (G3Edge* x = firstEdge; x; x = x->GetFacetEdge(this))
        steps.push_back({x, stand(x->GetVertex1()), stand(x->GetVertex2())});

    G3Edge* pred = nullptr;
    for (const Step& s : steps) {
        G3Edge* x = s.edge;
        if (s.end1 == s.end2) {
            // Cut out: the chain skips it and it no longer names this
            // facet, wherever it stood in the chain.
            LinkAfter(pred, x->GetFacetEdge(this));
            if (lastEdge == x)
                lastEdge = pred;
            if (x->GetFacetSide(this) == 1) {
                x->SetFacet1(nullptr);
                x->SetFacet1Edge(nullptr);
            } else {
                x->SetFacet2(nullptr);
                x->SetFacet2Edge(nullptr);
            }
            continue;
        }
        if (s.end1 == v) {
            if (x->GetVertex1() != v)
                MoveEnd(x, 1, v);
        } else if (s.end2 == v) {
            if (x->GetVertex2() != v)
                MoveEnd(x, 2, v);
        }
        pred = x;
    }
}
