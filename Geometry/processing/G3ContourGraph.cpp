// The contour graph: an edge list loaded into a planar graph (points closer
// than kPointEqual share a vertex), its doubled edges resolved, and closed
// contours walked out of it.
//
// Invariants: the walk removes edges, never vertices, and no vertex gains an
// edge once walking starts, so the set of vertices with edges only shrinks;
// Walk hands out what a loop of RemoveTailVertex, FindLegalEdge and
// RemoveContour would. No position is made here but the two side probes of
// a doubled edge (kSideStep off its midpoint).

#include "Geometry/processing/G3ContourGraph.h"

#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/foundation/GTrace.h"
#include "Geometry/math/G3Math.h"
#include "Geometry/math/GTolerance.h"
#include "Geometry/mesh/G3Edge.h"
#include "Geometry/mesh/G3Facet.h"
#include "Geometry/mesh/G3FacetIterators.h"
#include "Geometry/mesh/G3PointHash.h"
#include "Geometry/mesh/G3Vertex.h"

#include <algorithm>
#include <cmath>
#include <set>
#include <utility>
#include <vector>

namespace {

using GTolerance::kPointEqual;
// Half the offset of the two side probes of a doubled edge: half of the
// double just below 1e-5, so each probe stays clear of the 1e-6 boundary
// band of the point-in-polygon test.
constexpr double kSideStep = 0.5 * GTolerance::kBoxMargin;

// Graphs with at most this many edge ends get a cube grid of their own.
constexpr long kSmallGraphEnds = 24L * 24 * 24;

constexpr long kWalkMarks = G3Obj::FLAG_MARK | G3Obj::FLAG_MARK2;

bool ValidPair(int i, int j) { return i >= 0 && i <= 2 && j >= 0 && j <= 2 && i != j; }

// The list vertex a graph vertex stands for; a vertex of a plain surface
// (no exData) stands for itself.
G3Vertex* SourceOf(G3Vertex* graphVertex)
{
    if (G3Vertex* s = dynamic_cast<G3Vertex*>(graphVertex->GetExData()))
        return s;
    return graphVertex;
}

// The ring edges of `a` that join it to `b`, in ring order.
void EdgesBetween(G3Vertex* a, const G3Vertex* b, std::vector<G3Edge*>* out)
{
    out->clear();
    for (G3Edge* e = a->GetFirstEdge(); e; e = e->GetVertexEdge(a))
        if (e->GetOtherVertex(a) == b && e->HasVertex(a))
            out->push_back(e);
}

} // namespace

// ------------------------------------------------------------ G3ContourGraph

G3ContourGraph::G3ContourGraph(G3EdgeList* list, int i, int j)
    : G3Surface(list ? list->size() + 1 : 1, 1), source(list), xCoo(i), yCoo(j)
{
}

G3ContourGraph::~G3ContourGraph() { delete hash; }

G3Vertex* G3ContourGraph::MapVertex(G3Vertex* v)
{
    if (G3Point* known = hash->Exists(v->GetXYZ()))
        return static_cast<G3Vertex*>(known);
    G3Vertex* g = AddVertex(v->GetXYZ(), 0);
    g->SetExData(v);
    hash->AddWithoutTest(g);
    return g;
}

void G3ContourGraph::Load(UNION_EDGE_ALG alg)
{
    if (!source || source->size() == 0)
        return;
    // The bounds of the list as it is now (its stored envelope may be
    // stale): the hash only needs them for its cell layout.
    GEnvelope box;
    bool first = true;
    for (int k = 0; k < source->size(); ++k) {
        const G3Edge* e = source->GetEdge(k);
        const G3Vertex* ends[2] = {e->GetVertex1(), e->GetVertex2()};
        for (const G3Vertex* v : ends) {
            if (!v)
                continue;
            if (first)
                box.Init(v->GetXYZ());
            else
                box.Add(v->GetXYZ());
            first = false;
        }
    }
    // About a cell per edge end. A small graph (two facets merged in a
    // plane) gets at most 24 per axis, since clearing a big grid for each of
    // thousands of such merges was most of their time; a region merged from
    // many facets hands over hundreds of thousands of ends, which get a grid
    // shaped to their box (SizeGrid). Lookups find the same points with any
    // cell count.
    const long ends = 2L * source->size();
    int perAxis[3];
    if (ends <= kSmallGraphEnds) {
        const int n = std::max(1, std::min(24, static_cast<int>(std::cbrt(static_cast<double>(ends)))));
        perAxis[0] = perAxis[1] = perAxis[2] = n;
    } else {
        G3PointHash::SizeGrid(ends, box.GetMin(), box.GetMax(), kPointEqual, perAxis);
    }
    delete hash;
    hash = new G3PointHash(perAxis, box.GetMin(), box.GetMax(), kPointEqual);

    for (int k = 0; k < source->size(); ++k) {
        const G3Edge* e = source->GetEdge(k);
        if (!e->GetVertex1() || !e->GetVertex2())
            continue;
        G3Vertex* a = MapVertex(e->GetVertex1());
        G3Vertex* b = MapVertex(e->GetVertex2());
        if (a == b)
            continue; // shorter than the point tolerance
        AddGraphEdge(a, b, e, alg);
    }
    if (alg == UNION_EDGE_BY_SIDES)
        ResolveDuplicates();
}

void G3ContourGraph::AddGraphEdge(G3Vertex* a, G3Vertex* b, const G3Edge* from, UNION_EDGE_ALG alg)
{
    if (alg == UNION_EDGE_KEEP_TWO || alg == UNION_EDGE_CANCEL_PAIRS) {
        std::vector<G3Edge*> parallel;
        EdgesBetween(a, b, &parallel);
        if (alg == UNION_EDGE_CANCEL_PAIRS && !parallel.empty()) {
            RemoveEdge(parallel.front());
            return;
        }
        if (alg == UNION_EDGE_KEEP_TWO && parallel.size() >= 2) {
            for (G3Edge* p : parallel)
                RemoveEdge(p);
        }
    }
    G3Edge* e = AddEdge(a, b, nullptr);
    if (!e)
        return;
    e->SetFlags(from->GetFlags() & ~kWalkMarks);
    e->SetGeometry(from->GetGeometry());
}

void G3ContourGraph::FormSourceContours()
{
    if (sourceContoursFormed)
        return;
    sourceContoursFormed = true;
    std::vector<GObj*> ring;
    G3ContourWalker w(source);
    while (w.Next()) {
        if (G3Vertex* at = w.GetEntry())
            ring.push_back(at);
        if (w.Closes() && !ring.empty()) {
            sourceContours.push_back(ring);
            ring.clear();
        }
    }
}

bool G3ContourGraph::PointInSource(const double* p)
{
    FormSourceContours();
    bool inside = false;
    for (std::vector<GObj*>& ring : sourceContours) {
        GObjArrayIterator it(static_cast<int>(ring.size()), ring.data());
        G3Vertex* onA = nullptr;
        G3Vertex* onB = nullptr;
        const bool in = G3Facet::PointInFacet(xCoo, yCoo, p, &it, &onA, &onB, GTolerance::kInFacet);
        if (in && onA)
            return true;
        if (in)
            inside = !inside;
    }
    return inside;
}

void G3ContourGraph::ResolveDuplicates()
{
    std::vector<G3Edge*> copies;
    for (int k = 0; k < GetEdgeCount(); ++k) {
        G3Edge* e = GetEdge(k);
        G3Vertex* a = e->GetVertex1();
        G3Vertex* b = e->GetVertex2();
        EdgesBetween(a, b, &copies);
        if (copies.size() < 2)
            continue;
        bool keepOne = true;
        if (copies.size() % 2 == 0) {
            const double* pa = a->GetXYZ();
            const double* pb = b->GetXYZ();
            const double di = pb[xCoo] - pa[xCoo];
            const double dj = pb[yCoo] - pa[yCoo];
            const double len = std::sqrt(di * di + dj * dj);
            if (len > 0.0) {
                double mid[3];
                G3Edge::CalcCentrePoint(a, b, mid);
                double left[3] = {mid[0], mid[1], mid[2]};
                double right[3] = {mid[0], mid[1], mid[2]};
                left[xCoo] -= kSideStep * dj / len;
                left[yCoo] += kSideStep * di / len;
                right[xCoo] += kSideStep * dj / len;
                right[yCoo] -= kSideStep * di / len;
                // Both sides alike: the copies are a slit or a seam, not a
                // boundary.
                keepOne = PointInSource(left) != PointInSource(right);
            }
        } else {
            GTrace("Remove by not even");
        }
        if (!keepOne) {
            for (G3Edge* c : copies)
                RemoveEdge(c);
            --k; // the edge moved into slot k has not been seen
            continue;
        }
        bool visible = false;
        for (G3Edge* c : copies) {
            if (c == e)
                continue;
            visible = visible || c->GetVisible();
            RemoveEdge(c);
        }
        if (visible)
            e->SetVisible();
    }
}

// ------------------------------------------------- walking the graph

namespace {

// Prunes from the given vertices, each vertex whose edges are removed
// passing its neighbours on. A vertex with one edge loses it; a vertex whose
// only two edges both lead to the same vertex loses both. The edges that
// survive do not depend on the order in which vertices are examined
// (removing an edge never protects another), so only the neighbours of a
// removed edge need a second look.
bool PruneFrom(G3Surface* graph, std::vector<G3Vertex*>& pending)
{
    bool changed = false;
    auto examine = [&](G3Vertex* u) {
        G3Edge* first = u->GetFirstEdge();
        if (!first)
            return;
        G3Edge* second = first->GetVertexEdge(u);
        if (!second) {
            G3Vertex* w = first->GetOtherVertex(u);
            graph->RemoveEdge(first);
            pending.push_back(w);
            changed = true;
            return;
        }
        if (second->GetVertexEdge(u))
            return; // three or more
        G3Vertex* w = first->GetOtherVertex(u);
        if (second->GetOtherVertex(u) != w)
            return;
        graph->RemoveEdge(first);
        graph->RemoveEdge(second);
        pending.push_back(w);
        changed = true;
    };
    while (!pending.empty()) {
        G3Vertex* u = pending.back();
        pending.pop_back();
        examine(u);
    }
    return changed;
}

// The edge a contour starts with at the extreme vertex, chosen by
// direction; *v is its other end.
G3Edge* LegalEdgeAt(G3Vertex* extreme, int i, int j, G3Vertex** v)
{
    G3Edge* best = nullptr;
    double bestScore = 0.0;
    for (G3Edge* e = extreme->GetFirstEdge(); e; e = e->GetVertexEdge(extreme)) {
        const G3Vertex* other = e->GetOtherVertex(extreme);
        const double di = other->GetXYZ(i) - extreme->GetXYZ(i);
        const double dj = other->GetXYZ(j) - extreme->GetXYZ(j);
        double score;
        if (std::fabs(dj) >= kPointEqual) {
            score = di / dj;
        } else if (di < 0.0) {
            best = e;
            break;
        } else {
            score = -1e+308;
        }
        if (!best || score > bestScore) {
            best = e;
            bestScore = score;
        }
    }
    if (best && v)
        *v = best->GetOtherVertex(extreme);
    return best;
}

// One step of the scan for the extreme vertex: whether u replaces the
// extreme found so far.
bool Replaces(const G3Vertex* u, const G3Vertex* extreme, int i, int j)
{
    const double dj = u->GetXYZ(j) - extreme->GetXYZ(j);
    return dj < -kPointEqual || (std::fabs(dj) <= kPointEqual && u->GetXYZ(i) < extreme->GetXYZ(i) - kPointEqual);
}

} // namespace

bool G3EdgeList::RemoveTailVertex(G3Surface* graph)
{
    if (!graph)
        return false;
    bool changed = false;
    std::vector<G3Vertex*> pending;
    for (int k = graph->GetVertexCount() - 1; k >= 0; --k) {
        pending.push_back(graph->GetVertex(k));
        changed = PruneFrom(graph, pending) || changed;
    }
    return changed;
}

G3Edge* G3EdgeList::FindLegalEdge(G3Surface* graph, int i, int j, G3Vertex** v)
{
    if (v)
        *v = nullptr;
    if (!graph || !ValidPair(i, j))
        return nullptr;
    G3Vertex* extreme = nullptr;
    for (int k = 0; k < graph->GetVertexCount(); ++k) {
        G3Vertex* u = graph->GetVertex(k);
        if (!u->HasEdges())
            continue;
        if (!extreme || Replaces(u, extreme, i, j))
            extreme = u;
    }
    return extreme ? LegalEdgeAt(extreme, i, j, v) : nullptr;
}

G3EdgeList* G3EdgeList::RemoveContour(G3Surface* graph, G3Edge* e, G3Vertex* v, int i, int j, int facetFlags,
                                      int facetSurface)
{
    return RemoveContour(graph, e, v, i, j, facetFlags, facetSurface, nullptr);
}

G3EdgeList* G3EdgeList::RemoveContour(G3Surface* graph, G3Edge* e, G3Vertex* v, int i, int j, int facetFlags,
                                      int facetSurface, std::vector<G3Vertex*>* touched)
{
    auto remove = [graph, touched](G3Edge* r) {
        if (touched) {
            touched->push_back(r->GetVertex1());
            touched->push_back(r->GetVertex2());
        }
        graph->RemoveEdge(r);
    };
    if (!graph || !e || !e->HasVertex(v) || !ValidPair(i, j))
        return nullptr;
    std::vector<G3Edge*> path;
    std::vector<const G3Vertex*> reached;  // where each path edge was walked to
    // Every step adds an edge not yet on the path, so a walk longer than
    // the graph has gone wrong (marks left by a caller).
    const size_t limit = static_cast<size_t>(graph->GetEdgeCount()) + 1;
    G3Edge* current = e;
    G3Vertex* at = v;
    int loopStart = -1;
    while (path.size() <= limit) {
        if (current->GetMark()) {
            // A visited edge: walk a parallel copy not yet visited instead.
            G3Vertex* from = current->GetOtherVertex(at);
            G3Edge* spare = nullptr;
            for (G3Edge* r = from->GetFirstEdge(); r; r = r->GetVertexEdge(from))
                if (!r->GetMark() && r->GetOtherVertex(from) == at && r->HasVertex(from))
                    spare = r;
            if (spare)
                current = spare;
        }
        current->SetMark();
        current->SetMark2();
        path.push_back(current);
        reached.push_back(at);

        const G3Vertex* back = current->GetOtherVertex(at);
        const double base = G3Math::CalcAngle(at, back, 0.0, i, j);
        G3Edge* next = nullptr;
        double nextAngle = 0.0;
        for (G3Edge* r = at->GetFirstEdge(); r; r = r->GetVertexEdge(at)) {
            if (r == current)
                continue;
            if (r->GetVertex1() == current->GetVertex1() && r->GetVertex2() == current->GetVertex2())
                continue;
            const double angle = G3Math::CalcAngle(at, r->GetOtherVertex(at), base, i, j);
            if (!next || angle > nextAngle) {
                next = r;
                nextAngle = angle;
            }
        }
        if (!next)
            break; // dead end
        if (next->GetMark2()) {
            // The loop runs from where the path left this vertex: along
            // `next` itself, or (when `next` was walked here, a bridge about
            // to be walked back) along the edge after it.
            for (int k = static_cast<int>(path.size()) - 1; k >= 0; --k) {
                if (path[static_cast<size_t>(k)] == next) {
                    loopStart = reached[static_cast<size_t>(k)] == at ? k + 1 : k;
                    break;
                }
            }
            break;
        }
        at = next->GetOtherVertex(at);
        current = next;
    }
    for (G3Edge* p : path)
        p->ClearFlags(kWalkMarks);

    if (loopStart < 0) {
        // The walk dead-ended: the start edge can never close a loop from
        // here, and leaving it would hand it out again at once.
        remove(e);
        return nullptr;
    }
    const std::vector<G3Edge*> loop(path.begin() + loopStart, path.end());
    if (loop.size() < 3) {
        for (G3Edge* p : loop)
            remove(p);
        return nullptr;
    }
    G3EdgeList* list = new G3EdgeList(facetFlags, facetSurface);
    list->SetAxes(i, j);
    for (G3Edge* p : loop) {
        G3TexCoo* t1 = nullptr;
        G3TexCoo* t2 = nullptr;
        G3Normal* n1 = p->GetFacet1V1(&t1);
        G3Normal* n2 = p->GetFacet1V2(&t2);
        list->AddEdge(SourceOf(p->GetVertex1()), SourceOf(p->GetVertex2()), n1, n2, t1, t2,
                      static_cast<int>(p->GetFlags() & ~G3Obj::FLAG_MARK));
        remove(p);
    }
    list->Normalize();
    return list;
}

void G3ContourGraph::Walk(GArrayCollection* out)
{
    // Vertices with edges by height (then place): edges only go from here
    // on, so a vertex found bare leaves for good.
    std::set<std::pair<double, int>> low;
    for (int k = 0; k < GetVertexCount(); ++k)
        if (GetVertex(k)->HasEdges())
            low.emplace(GetVertex(k)->GetXYZ(yCoo), k);
    G3EdgeList::RemoveTailVertex(this);
    std::vector<G3Vertex*> touched;
    std::vector<int> window;
    for (;;) {
        // Only around what the last cut removed can pruning find more.
        PruneFrom(this, touched);
        // The extreme vertex, as FindLegalEdge scans for it: only the
        // lowest vertices, up to the first gap in height wider than the
        // tolerance, can be it, and among them the scan in place order
        // decides; any vertex beyond the gap is replaced by the first of
        // them the scan meets and never replaces one of them.
        window.clear();
        double top = 0.0;
        for (auto it = low.begin(); it != low.end();) {
            const G3Vertex* u = GetVertex(it->second);
            if (!u->HasEdges()) {
                it = low.erase(it);
                continue;
            }
            if (!window.empty() && !(u->GetXYZ(yCoo) - top <= kPointEqual))
                break;
            window.push_back(it->second);
            top = u->GetXYZ(yCoo);
            ++it;
        }
        if (window.empty())
            break;
        std::sort(window.begin(), window.end());
        G3Vertex* extreme = nullptr;
        for (int k : window)
            if (!extreme || Replaces(GetVertex(k), extreme, xCoo, yCoo))
                extreme = GetVertex(k);
        G3Vertex* v = nullptr;
        G3Edge* start = LegalEdgeAt(extreme, xCoo, yCoo, &v);
        if (!start)
            break;
        G3EdgeList* contour = G3EdgeList::RemoveContour(this, start, v, xCoo, yCoo, source->GetFacetFlags(),
                                                        source->GetFacetSurface(), &touched);
        if (!contour)
            continue;
        contour->SetPlane(source->GetPlane());
        contour->FormEnvelope();
        out->add(contour);
    }
}
