#include "Geometry/mesh/G3Surface.h"

#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/foundation/GTrace.h"
#include "Geometry/mesh/G3Edge.h"
#include "Geometry/mesh/G3EdgeCopy.h"
#include "Geometry/mesh/G3Facet.h"
#include "Geometry/mesh/G3HitDataExDataProvider.h"
#include "Geometry/mesh/G3PassCheck.h"
#include "Geometry/mesh/G3Point.h"
#include "Geometry/mesh/G3PolyEdge.h"
#include "Geometry/mesh/G3TexCoo.h"
#include "Geometry/mesh/G3Vertex.h"
#include "Geometry/processing/G3EdgeList.h"

#include <algorithm>
#include <climits>
#include <utility>
#include <vector>

G_DEFINE_POOL(G3Surface, "G3Surface", 8192)

namespace {

// The 32-bit flags of the interfaces, put into the long flags word without
// sign extension.
long FlagsOf(int f) { return static_cast<long>(static_cast<unsigned int>(f)); }

int Capacity(int n) { return n > 0 ? n : 0; }
int TwiceCapacity(int n) { return n > 0 ? (n > INT_MAX / 2 ? INT_MAX : 2 * n) : 0; }

template <class T>
T* At(const GArrayCollection* c, long i)
{
    if (!c || i < 0 || i >= c->size())
        return nullptr;
    return static_cast<T*>(c->get(static_cast<int>(i)));
}

// The entity of `target` that stands for `source`'s entity `e`: the one at
// e's id plus `offset`. Null for null, and for an entity that is not where
// its id says in `source` (such a link cannot be mapped).
template <class T>
T* Mapped(const GArrayCollection* source, const GArrayCollection* target, const T* e, int offset)
{
    if (!e || At<T>(source, e->GetId()) != e)
        return nullptr;
    return At<T>(target, e->GetId() + offset);
}

// Whether the edges of f's chain reach a third vertex: a facet needs at
// least three distinct vertices.
bool HasThreeVertices(const G3Facet* f)
{
    const G3Edge* first = f->GetFirstEdge();
    if (!first)
        return false;
    const G3Vertex* a = first->GetVertex1();
    const G3Vertex* b = first->GetVertex2();
    for (const G3Edge* e = first; e; e = e->GetFacetEdge(f))
        if (!e->HasVertex(a) || !e->HasVertex(b))
            return true;
    return false;
}

// Whether the copies run end to start into closed contours: each edge
// starts where the one before it ended, and a contour may end, and the next
// begin anywhere, only where the walk is back at the contour's first vertex.
bool RunsIntoClosedContours(const G3EdgeCopy* copies, int n)
{
    const G3Vertex* contourStart = nullptr;
    const G3Vertex* at = nullptr;
    for (int i = 0; i < n; ++i) {
        const G3EdgeCopy& e = copies[i];
        if (!contourStart)
            contourStart = e.v1;
        else if (e.v1 != at)
            return false;
        at = e.v2;
        if (at == contourStart)
            contourStart = nullptr;
    }
    return contourStart == nullptr;
}

bool InChain(const G3Facet* f, const G3Edge* e)
{
    for (const G3Edge* x = f->GetFirstEdge(); x; x = x->GetFacetEdge(f))
        if (x == e)
            return true;
    return false;
}

// Whether `o` is one of the entities of `list`: the slot its id names holds
// it (the invariant between passes), or, for a pass that numbers entities
// its own way, a search finds it. An entity of another surface, or one
// removed from this one, is not.
bool Lists(const GArrayCollection* list, const G3Obj* o)
{
    if (!list || !o)
        return false;
    const long id = o->GetId();
    if (id >= 0 && id < list->size() && list->get(static_cast<int>(id)) == o)
        return true;
    return list->index(const_cast<G3Obj*>(o)) >= 0;
}

bool ListsVertex(const GArrayCollection* list, const G3Vertex* v) { return Lists(list, v); }

// A corner's normal or texture coordinate is either absent or one this
// surface owns: one of another surface would be left dangling when that
// surface goes, and copies could not map it.
bool OwnOrNone(const GArrayCollection* list, const G3Obj* o) { return !o || Lists(list, o); }

// Whether every end and corner of the copies is s's own (corners may be absent).
bool OwnsCopies(const G3Surface* s, const G3EdgeCopy* copies, int n)
{
    for (int k = 0; k < n; ++k) {
        const G3EdgeCopy& c = copies[k];
        if (!ListsVertex(s->GetVertexList(), c.v1) || !ListsVertex(s->GetVertexList(), c.v2) ||
            !OwnOrNone(s->GetNormalList(), c.n1) || !OwnOrNone(s->GetNormalList(), c.n2) ||
            !OwnOrNone(s->GetTexCooList(), c.t1) || !OwnOrNone(s->GetTexCooList(), c.t2))
            return false;
    }
    return true;
}

// The edge for f that copies `c` (ends, flags, corners on f's side); null
// when AddEdge refuses it. The copy's flags become the surface's current
// edge flags, as for every edge AddEdge makes.
G3Edge* AddEdgeCopy(G3Surface* s, const G3EdgeCopy& c, G3Facet* f)
{
    s->SetEdgeFlags(c.flags);
    G3Edge* e = s->AddEdge(c.v1, c.v2, f);
    if (e)
        e->SetNormals(f, c.v1, c.n1, c.t1, c.v2, c.n2, c.t2);
    return e;
}

} // namespace

// ------------------------------------------------------------ construction

G3Surface::G3Surface()
{
    facets = new GArrayCollection();
    edges = new GArrayCollection();
    normals = new GArrayCollection();
    texCoos = new GArrayCollection();
    ProviderOpenExData(this);
}

G3Surface::G3Surface(int a, int b) : G3Shell(Capacity(a))
{
    facets = new GArrayCollection();
    edges = new GArrayCollection(TwiceCapacity(a), 1024);
    normals = new GArrayCollection(Capacity(b), 1024);
    texCoos = new GArrayCollection(256, 1024);
    ProviderOpenExData(this);
}

G3Surface::G3Surface(int a, int b, int c) : G3Shell(Capacity(b))
{
    facets = new GArrayCollection(Capacity(c), 1024);
    edges = new GArrayCollection(TwiceCapacity(a), 1024);
    normals = new GArrayCollection(Capacity(b), 1024);
    texCoos = new GArrayCollection(256, 1024);
    ProviderOpenExData(this);
}

G3Surface::~G3Surface() = default;

bool G3Surface::MoveContentsFrom(G3Surface& built)
{
    if (&built == this || GetVertexCount() || GetEdgeCount() || GetFacetCount() || GetNormalCount() ||
        GetTexCooCount() || GetPolyEdgeCount())
        return false;
    G3_CHECK_PASS(this, "MoveContentsFrom");
    SwapCollections(built);
    for (int i = 0; i < GetFacetCount(); ++i)
        GetFacet(i)->SetParentSurface(this);
    return true;
}

// ------------------------------------------------------------ collections

namespace {

// Whether o is listed in c at its id already.
bool ListedAtId(const GArrayCollection* c, const G3Obj* o)
{
    return o->GetId() >= 0 && o->GetId() < c->size() && c->get(static_cast<int>(o->GetId())) == o;
}

// Whether a facet on either side of e belongs to a surface other than s.
bool BordersOtherSurface(const G3Edge* e, const G3Surface* s)
{
    for (const G3Facet* f : {e->GetFacet1(), e->GetFacet2()})
        if (f && f->GetParentSurface() && f->GetParentSurface() != s)
            return true;
    return false;
}

} // namespace

G3Edge* G3Surface::AddEdgeToCollection(G3Edge* e)
{
    if (!e || !edges || ListedAtId(edges, e) || BordersOtherSurface(e, this))
        return nullptr;
    e->SetId(edges->size());
    edges->add(e);
    OpenExDataEdge(e);
    return e;
}

G3Facet* G3Surface::AddFacetToCollection(G3Facet* f)
{
    if (!f || !facets || ListedAtId(facets, f) || (f->GetParentSurface() && f->GetParentSurface() != this))
        return nullptr;
    f->SetId(facets->size());
    facets->add(f);
    f->SetParentSurface(this);
    OpenExDataFacet(f);
    f->GetExtendedData() = extendedDataFacetDefault;
    return f;
}

// ------------------------------------------------------------ edges

// Puts facet f on a free side of e: 1 when it took one, -1 when the only
// free side faces f's other side already (f needs a new edge), 0 when both
// sides are taken.
int G3Surface::TakeSide(G3Edge* e, G3Facet* f)
{
    if (!e->GetFacet1()) {
        if (e->GetFacet2() == f)
            return -1;
        e->SetFacet1(f);
    } else if (!e->GetFacet2()) {
        if (e->GetFacet1() == f)
            return -1;
        e->SetFacet2(f);
    } else {
        return 0;
    }
    f->AddEdge(e);
    e->flags |= FlagsOf(edgeFlags);
    return 1;
}

G3Edge* G3Surface::AddEdge(G3Vertex* start, G3Vertex* end, G3Facet* f)
{
    // An end that is not a vertex of this surface would thread the edge
    // into another mesh's rings (or a freed vertex's).
    if (!start || !end || !edges || !ListsVertex(vertices, start) || !ListsVertex(vertices, end))
        return nullptr;
    // Another surface's facet would be threaded into this surface's edges.
    // A facet not yet in any surface is one being built here (its parent is
    // set when it is listed).
    if (f && f->GetParentSurface() && f->GetParentSurface() != this)
        return nullptr;
    if (start == end) {
        GTrace("Not inserted equals vertex in AddEdge. Skip.");
        return nullptr;
    }
    if (!f) {
        G3Edge* e = new G3Edge(start, end);
        start->AddEdge(e);
        end->AddEdge(e);
        e->SetFlags(FlagsOf(edgeFlags));
        return AddEdgeToCollection(e);
    }
    // Two facets along one vertex pair share an edge; a facet never takes
    // both sides of one edge, so a third facet (or the same facet again)
    // gets a new parallel edge. The first edge of start's ring joining the
    // pair decides. The ring of end is walked alongside: when it ends first
    // it has shown every edge joining the pair, and with at most one such
    // edge that one decides at once. So a vertex with a huge fan (a
    // triangulation's hub) costs the degree of its neighbour per edge, not
    // its own.
    G3Edge* e = nullptr;
    G3Edge* walk = start->GetFirstEdge();
    G3Edge* across = end->GetFirstEdge();
    G3Edge* joining = nullptr;
    int joined = 0;
    while (walk) {
        G3Edge* next = walk->GetVertexEdge(start);
        if (walk->GetOtherVertex(start) == end && walk->HasVertex(start)) {
            const int taken = TakeSide(walk, f);
            if (taken > 0)
                return walk;
            if (taken < 0)
                break;
        }
        walk = next;
        if (joined >= 2)
            continue; // parallel edges: start's ring order decides
        if (across) {
            if (across->GetOtherVertex(end) == start && across->HasVertex(end)) {
                joining = across;
                ++joined;
            }
            across = across->GetVertexEdge(end);
        } else {
            if (joined == 1 && TakeSide(joining, f) > 0)
                return joining;
            break;
        }
    }
    e = new G3Edge(start, end);
    e->SetFacet1(f);
    start->AddEdge(e);
    end->AddEdge(e);
    f->AddEdge(e);
    e->SetFlags(FlagsOf(edgeFlags));
    return AddEdgeToCollection(e);
}

// ------------------------------------------------------------ facets

G3Facet* G3Surface::_AddFacet(int n, G3Vertex** v, int* flagsOfEdges, G3Normal** cornerNormals,
                              G3TexCoo** cornerTexCoos)
{
    G3Facet* facet = new G3Facet();
    facet->SetSurface(surface);
    int made = 0;
    for (int i = 0; i < n; ++i) {
        const int j = (i + 1) % n;
        if (flagsOfEdges)
            edgeFlags = flagsOfEdges[i];
        G3Edge* e = AddEdge(v[i], v[j], facet);
        if (!e)
            continue;
        ++made;
        if (cornerNormals)
            e->SetNormals(facet, v[i], cornerNormals[i], cornerTexCoos ? cornerTexCoos[i] : nullptr, v[j],
                          cornerNormals[j], cornerTexCoos ? cornerTexCoos[j] : nullptr);
    }
    // Two vertices walked back and forth make edges but no polygon.
    if (made < 3 || !HasThreeVertices(facet)) {
        facet->RemoveEdges();
        delete facet;
        return nullptr;
    }
    return AddFacetToCollection(facet);
}

G3Facet* G3Surface::AddFacet(int n, G3Vertex** v, int* flagsOfEdges, G3Normal** cornerNormals,
                             G3TexCoo** cornerTexCoos)
{
    if (n < 3 || !v || !facets || !edges)
        return nullptr;
    // AddEdge refuses a missing or foreign corner and _AddFacet would go on
    // past it, leaving a contour with a gap: refuse the facet instead, as
    // the id forms refuse a bad id.
    for (int i = 0; i < n; ++i)
        if (!ListsVertex(vertices, v[i]) || (cornerNormals && !OwnOrNone(normals, cornerNormals[i])) ||
            (cornerNormals && cornerTexCoos && !OwnOrNone(texCoos, cornerTexCoos[i])))
            return nullptr;
    G3Facet* f = _AddFacet(n, v, flagsOfEdges, cornerNormals, cornerTexCoos);
    if (!f)
        return nullptr;
    f->FormPlaneEquation();
    // Between BeginComplexFacet and EndComplexFacet the scratch link holds
    // the collection of the facets being fused.
    if (GArrayCollection* complex = dynamic_cast<GArrayCollection*>(exData))
        complex->add(f);
    return f;
}

G3Facet* G3Surface::AddFacet(int n, G3Vertex** v, int flagsOfEdges, G3Normal** cornerNormals,
                             G3TexCoo** cornerTexCoos)
{
    if (n < 3 || !v)
        return nullptr;
    std::vector<int> all(static_cast<std::size_t>(n), flagsOfEdges);
    return AddFacet(n, v, all.data(), cornerNormals, cornerTexCoos);
}

G3Facet* G3Surface::AddFacet(int n, int* vertexIds, int* flagsOfEdges, int* normalIds, int* texCooIds)
{
    if (n < 3 || !vertexIds)
        return nullptr;
    const std::size_t count = static_cast<std::size_t>(n);
    std::vector<G3Vertex*> v(count);
    std::vector<G3Normal*> ns(normalIds ? count : 0);
    std::vector<G3TexCoo*> ts(texCooIds ? count : 0);
    for (std::size_t i = 0; i < count; ++i) {
        v[i] = GetVertex(vertexIds[i]);
        if (!v[i])
            return nullptr;
        if (normalIds && !(ns[i] = G3Shell::GetNormal(normalIds[i])))
            return nullptr;
        if (texCooIds && !(ts[i] = GetTexCoo(texCooIds[i])))
            return nullptr;
    }
    return AddFacet(n, v.data(), flagsOfEdges, normalIds ? ns.data() : nullptr, texCooIds ? ts.data() : nullptr);
}

G3Facet* G3Surface::AddFacet(int n, int* vertexIds, int flagsOfEdges, int* normalIds, int* texCooIds)
{
    if (n < 3 || !vertexIds)
        return nullptr;
    std::vector<int> all(static_cast<std::size_t>(n), flagsOfEdges);
    return AddFacet(n, vertexIds, all.data(), normalIds, texCooIds);
}

G3Facet* G3Surface::AddFacet(GArrayCollection* edgeList, int facetFlags, int facetSurface)
{
    G3_CHECK_PASS(this, "AddFacet(edge list)");
    if (!edgeList || edgeList->size() < 3)
        return nullptr;
    std::vector<G3EdgeCopy> copies;
    copies.reserve(static_cast<std::size_t>(edgeList->size()));
    G3ForEachEdgeCopy(edgeList, nullptr, [&](const G3EdgeCopy& c) { copies.push_back(c); });
    return AddFacetOfCopies(copies.data(), static_cast<int>(copies.size()), facetFlags, facetSurface);
}

namespace {

// Gives `facet` (without edges) the flags, surface number and chain of
// `copies`, and its plane; false, the facet left without edges, when the
// chain does not make a facet.
bool FillWithCopies(G3Surface* s, G3Facet* facet, const G3EdgeCopy* copies, int n, int facetFlags,
                    int facetSurface)
{
    facet->SetFlags(FlagsOf(facetFlags));
    facet->SetSurface(facetSurface);
    int made = 0;
    for (int k = 0; k < n; ++k)
        if (AddEdgeCopy(s, copies[k], facet))
            ++made;
    if (made < 3 || !HasThreeVertices(facet)) {
        facet->RemoveEdges();
        return false;
    }
    facet->FormPlaneEquation();
    return true;
}

} // namespace

G3Facet* G3Surface::AddFacetOfCopies(const G3EdgeCopy* copies, int n, int facetFlags, int facetSurface)
{
    G3_CHECK_PASS(this, "AddFacetOfCopies");
    if (!copies || n < 1 || !facets || !edges)
        return nullptr;
    // The chain is built in list order: a list out of walk order would give
    // a facet whose contours do not close.
    if (!RunsIntoClosedContours(copies, n))
        return nullptr;
    if (!OwnsCopies(this, copies, n))
        return nullptr;
    G3Facet* facet = new G3Facet();
    if (!FillWithCopies(this, facet, copies, n, facetFlags, facetSurface)) {
        delete facet;
        return nullptr;
    }
    return AddFacetToCollection(facet);
}

bool G3Surface::RemakeFacetOfCopies(G3Facet* f, const G3EdgeCopy* copies, int n, int facetFlags, int facetSurface)
{
    if (!f || f->HasEdges() || !copies || n < 1 || !facets || !edges || !RunsIntoClosedContours(copies, n))
        return false;
    // What a new facet holds that the old one may not.
    f->SetTag(0);
    f->SetExData(nullptr);
    f->RemoveExData();
    if (!FillWithCopies(this, f, copies, n, facetFlags, facetSurface))
        return false;
    f->GetExtendedData() = extendedDataFacetDefault;
    return true;
}

G3Facet* G3Surface::AddFacetEdges(G3Facet* f, G3EdgeList* list)
{
    G3_CHECK_PASS(this, "AddFacetEdges");
    if (!f || !list)
        return f;
    // Only a facet of this surface takes a contour: another surface's (or
    // an unlisted one) would be tied to this surface's edges.
    if (f->GetParentSurface() != this)
        return nullptr;
    std::vector<G3EdgeCopy> copies;
    G3ForEachEdgeCopy(list, nullptr, [&](const G3EdgeCopy& c) { copies.push_back(c); });
    // A contour through another surface's entities is not added at all
    // (a skipped edge would leave a gap in it).
    if (!OwnsCopies(this, copies.data(), static_cast<int>(copies.size())))
        return f;
    for (const G3EdgeCopy& c : copies)
        AddEdgeCopy(this, c, f);
    return f;
}

// ------------------------------------------------------------ splitting

bool G3Surface::SplitEdge(G3Edge* e, G3Vertex* v) { return SplitEdge(e, 1, &v, false); }

bool G3Surface::SplitEdge(G3Edge* e, int n, G3Vertex** vs, bool reverse)
{
    G3_CHECK_PASS(this, "SplitEdge");
    if (!e || n < 1 || !vs || At<G3Edge>(edges, e->GetId()) != e)
        return false;
    G3Vertex* v1 = e->GetVertex1();
    G3Vertex* v2 = e->GetVertex2();
    if (!v1 || !v2)
        return false;
    if (reverse)
        std::reverse(vs, vs + n);

    // Split vertices that repeat, or that are the edge's own ends, would
    // make zero-length edges (or fold the edge back on itself); one that is
    // not a vertex of this surface would thread the pieces into another
    // mesh's rings.
    std::vector<G3Vertex*> points;
    points.reserve(static_cast<std::size_t>(n) + 2);
    points.push_back(v1);
    for (int i = 0; i < n; ++i) {
        G3Vertex* v = vs[i];
        if (!v || v == v1 || v == v2 || !ListsVertex(vertices, v) ||
            std::find(points.begin(), points.end(), v) != points.end())
            continue;
        points.push_back(v);
    }
    const int inserted = static_cast<int>(points.size()) - 1;
    if (inserted < 1)
        return false;
    points.push_back(v2);

    G3Facet* f1 = e->GetFacet1();
    G3Facet* f2 = e->GetFacet2();
    // The pieces take e's place in its facets' chains; an edge missing from
    // a chain that names it cannot be replaced there.
    if ((f1 && !InChain(f1, e)) || (f2 && !InChain(f2, e)))
        return false;
    const int pieces = inserted + 1;
    std::vector<G3Edge*> parts(static_cast<std::size_t>(pieces));
    for (int k = 0; k < pieces; ++k) {
        G3Edge* p = new G3Edge(points[static_cast<std::size_t>(k)], points[static_cast<std::size_t>(k) + 1]);
        p->SetFacet1(f1);
        p->SetFacet2(f2);
        p->SetFlags(e->GetFlags());
        parts[static_cast<std::size_t>(k)] = p;
    }
    if (e->HasGeometry()) {
        for (int side = 1; side <= 2; ++side) {
            G3TexCoo* t = nullptr;
            G3Normal* n1 = e->GetCorner(side, 1, &t);
            parts.front()->SetCorner(side, 1, n1, t);
            G3Normal* n2 = e->GetCorner(side, 2, &t);
            parts.back()->SetCorner(side, 2, n2, t);
        }
    }
    // A vertex that is already a corner of f1 or f2 (a hole touching the
    // side there) keeps that facet's data at the corner on the pieces: the
    // facet has one value there, exact where the one along e would be
    // interpolated.
    struct Corner {
        G3Normal* n = nullptr;
        G3TexCoo* t = nullptr;
    };
    std::vector<Corner> before;
    if (e->HasGeometry()) {
        before.resize(2 * points.size());
        for (int k = 1; k <= inserted; ++k) {
            G3Vertex* v = points[static_cast<std::size_t>(k)];
            Corner* c = &before[static_cast<std::size_t>(2 * k)];
            if (f1)
                c[0].n = f1->GetNormal(v, &c[0].t);
            if (f2)
                c[1].n = f2->GetNormal(v, &c[1].t);
        }
    }
    if (f1)
        f1->DivideEdge(e, pieces, parts.data());
    if (f2 && f2 != f1)
        f2->DivideEdge(e, pieces, parts.data());
    for (int k = pieces - 1; k >= 0; --k) {
        G3Edge* p = parts[static_cast<std::size_t>(k)];
        AddEdgeToCollection(p);
        p->GetVertex1()->AddEdge(p);
        p->GetVertex2()->AddEdge(p);
    }
    if (e->HasGeometry()) {
        G3Facet* sides[2] = {f1, f2};
        for (int k = inserted; k >= 1; --k) {
            G3Vertex* v = points[static_cast<std::size_t>(k)];
            for (G3Facet* f : sides) {
                if (!f)
                    continue;
                G3Normal* n = nullptr;
                G3TexCoo* t = nullptr;
                const Corner& had = before[static_cast<std::size_t>(2 * k + (f == f2 && f != f1 ? 1 : 0))];
                if (had.n) {
                    parts[static_cast<std::size_t>(k) - 1]->SetCorner(f, v, had.n, had.t);
                    parts[static_cast<std::size_t>(k)]->SetCorner(f, v, had.n, had.t);
                    continue;
                }
                if (f->Interpolate(e, v->GetXYZ(), &n, &t))
                    f->SetNormal(v, AddNormal(n), AddTexCoo(t), false);
                delete n;
                delete t;
            }
        }
    }
    v1->RemoveEdge(e);
    v2->RemoveEdge(e);
    e->SetFacet1(nullptr);
    e->SetFacet2(nullptr);
    e->SetFacet1Edge(nullptr);
    e->SetFacet2Edge(nullptr);
    RemoveEdge(e);
    return true;
}

// ------------------------------------------------------------ polyedges

G3PolyEdge* G3Surface::AddPolyEdge(int n, G3Vertex** vs)
{
    if (n < 2 || !vs)
        return nullptr;
    // A vertex of another surface (or none) would be left behind in the run
    // when its own surface removes or deletes it.
    for (int i = 0; i < n; ++i)
        if (!ListsVertex(vertices, vs[i]))
            return nullptr;
    if (!polyEdges) {
        polyEdges = new GArrayCollection();
        polyEdgeVertices = new GArrayCollection();
    }
    const int first = polyEdgeVertices->size();
    for (int i = 0; i < n; ++i)
        polyEdgeVertices->add(vs[i]);
    return AddPolyEdgeToCollection(new G3PolyEdge(n, first));
}

G3PolyEdge* G3Surface::AddPolyEdge(int n, int* vertexIds)
{
    if (n < 2 || !vertexIds)
        return nullptr;
    std::vector<G3Vertex*> v(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i)
        if (!(v[static_cast<std::size_t>(i)] = GetVertex(vertexIds[i])))
            return nullptr;
    return AddPolyEdge(n, v.data());
}

namespace {
// Whether polyedge p's run lies inside the vertex array.
bool RunInside(const G3PolyEdge* p, const GArrayCollection* run)
{
    return p && run && p->GetVertexCount() > 0 && p->GetFirstIndex() >= 0 &&
           p->GetFirstIndex() <= run->size() - p->GetVertexCount();
}
} // namespace

bool G3Surface::GetPolyEdge(int index, int i, G3Vertex** a, G3Vertex** b)
{
    G3Vertex* ra = nullptr;
    G3Vertex* rb = nullptr;
    const G3PolyEdge* p = G3Shell::GetPolyEdge(index);
    if (RunInside(p, polyEdgeVertices))
        p->GetEdge(reinterpret_cast<G3Vertex**>(polyEdgeVertices->toArray()), i, &ra, &rb);
    if (a)
        *a = ra;
    if (b)
        *b = rb;
    return ra != nullptr;
}

bool G3Surface::GetPolyEdge(int index, int* n, G3Vertex*** vs)
{
    const G3PolyEdge* p = G3Shell::GetPolyEdge(index);
    const bool ok = RunInside(p, polyEdgeVertices);
    if (n)
        *n = ok ? p->GetVertexCount() : 0;
    if (vs)
        *vs = ok ? p->GetEdges(reinterpret_cast<G3Vertex**>(polyEdgeVertices->toArray())) : nullptr;
    return ok;
}

// ------------------------------------------------------------ queries

bool G3Surface::GetClosed() { return GetClosed(0, GetEdgeCount()); }

bool G3Surface::GetClosed(int begin, int end)
{
    begin = begin < 0 ? 0 : begin;
    end = end > GetEdgeCount() ? GetEdgeCount() : end;
    for (int i = begin; i < end; ++i) {
        const G3Edge* e = GetEdge(i);
        if (e->GetVertex1() && e->GetVertex2() && e->GetVertex1()->GetEdgeCount2(e->GetVertex2()) % 2 != 0)
            return false;
    }
    return true;
}

bool G3Surface::HasGeometry() { return GetFacetCount() > 0 && GetFacet(0)->HasGeometry(); }

void G3Surface::FormPlaneEquation()
{
    for (int i = 0; i < GetFacetCount(); ++i)
        GetFacet(i)->FormPlaneEquation();
}

void G3Surface::NegPlane()
{
    for (int i = 0; i < GetFacetCount(); ++i)
        GetFacet(i)->NegPlane();
}

void G3Surface::NegNormals()
{
    ReverseNormals();
    NegPlane();
}

void G3Surface::AssignNormalsByPlane()
{
    for (int i = 0; i < GetFacetCount(); ++i) {
        G3Facet* f = GetFacet(i);
        if (!G3Facet::HasGeometry(f))
            f->AssignNormalsByPlane(this);
    }
}

void G3Surface::SetExtAcisHitData(void* a, void* b)
{
    G3HitDataExDataProvider* p = G3HitDataExDataProvider::Get();
    p->SetCurrent(a, b);
    // This surface keeps the pair too, so that it reads back what was set
    // on it (an empty pair leaves it reading the current one).
    if (a || b)
        p->OpenRecord(this);
    else
        RemoveExData(p);
}

void G3Surface::GetExtAcisHitData(void** a, void** b)
{
    if (G3HitDataExDataProvider* p = G3HitDataExDataProvider::Find()) {
        p->GetData(this, a, b);
        return;
    }
    if (a)
        *a = nullptr;
    if (b)
        *b = nullptr;
}

// ------------------------------------------------------------ transformation

void G3Surface::RealTransformation(double m[4][4])
{
    G3Shell::RealTransformation(m);
    FormPlaneEquation();
}

// ------------------------------------------------------------ copies

G3Surface* G3Surface::Duplicate()
{
    G3Surface* copy = new G3Surface(GetVertexCount(), GetNormalCount(), GetFacetCount());
    copy->Copy(this);
    return copy;
}

namespace {

// Moves every entity of `from` to the end of `to` in order, renumbering it,
// and empties `from`. What Copy gives a copy afresh is given anew: tag 0,
// no outside data (no provider is registered to copy any), coordinates
// sanitised; `also` does the rest for the kind.
template <class T, class Also>
void MoveAll(GArrayCollection* from, GArrayCollection* to, Also also)
{
    for (int i = 0; i < from->size(); ++i) {
        T* e = static_cast<T*>(from->get(i));
        e->SetId(to->size());
        to->add(e);
        e->SetTag(0);
        e->RemoveExData();
        also(e);
    }
    from->clear();
}

void SanitizeXYZ(G3Point* p)
{
    double* xyz = p->GetXYZ();
    for (int c = 0; c < 3; ++c)
        xyz[c] = G3Point::Sanitize(xyz[c]);
}

} // namespace

bool G3Surface::AppendMoving(G3Surface* src)
{
    if (!src || src == this || GetExDataProvider() || src->GetExDataProvider() || src->GetPolyEdgeCount() > 0 ||
        G3Obj::GetProviderList()->size() > 0 || !vertices || !edges || !facets || !normals || !texCoos ||
        !src->vertices || !src->edges || !src->facets || !src->normals || !src->texCoos)
        return false;
    G3_CHECK_PASS_KEEPING_MARKS(this, "AppendMoving");
    GObj* const ownLink = exData;
    G3Obj::Copy(src);
    exData = ownLink;
    const int S0 = nextSurface;
    MoveAll<G3Vertex>(src->vertices, vertices, SanitizeXYZ);
    MoveAll<G3Normal>(src->normals, normals, SanitizeXYZ);
    MoveAll<G3TexCoo>(src->texCoos, texCoos, [](G3TexCoo*) {});
    MoveAll<G3Edge>(src->edges, edges, [](G3Edge*) {});
    MoveAll<G3Facet>(src->facets, facets, [this, S0](G3Facet* f) {
        f->SetParentSurface(this);
        f->SetSurface(f->GetSurface() + S0);
    });
    nextSurface = src->nextSurface + S0;
    materialFacetsCount += src->materialFacetsCount;
    selectedFacetsCount = src->selectedFacetsCount;
    src->materialFacetsCount = 0;
    src->selectedFacetsCount = 0;
    return true;
}

// Appends a deep copy of `source`. Every entity is added in source order, so
// source entity i becomes entity i + (this surface's old count); links are
// mapped through ids, which is why the source's ids are restored first.
// Scratch links are copied as the entities hold them outside a preview
// (GetOwnExData): a preview open on the source stays its own, and one open
// on this surface tracks the copied entities like any it saw added.
void G3Surface::Copy(GObj* source)
{
    G3_CHECK_PASS_KEEPING_MARKS(this, "Copy");
    G3Surface* src = dynamic_cast<G3Surface*>(source);
    if (!src)
        return;
    if (src == this) {
        // Appending a surface to itself: copy from a snapshot, since the
        // collections grow while they are walked.
        G3Surface* snapshot = Duplicate();
        Copy(snapshot);
        delete snapshot;
        return;
    }
    src->AssignIds();
    // This surface's scratch link is its own working state (an open
    // complex-facet bracket owns it): it is never taken from the source,
    // whose bracket would then collect this surface's facets.
    GObj* const ownLink = exData;
    G3Obj::Copy(source);
    exData = ownLink;
    const int V0 = GetVertexCount();
    const int N0 = GetNormalCount();
    const int T0 = GetTexCooCount();
    const int E0 = GetEdgeCount();
    const int F0 = GetFacetCount();
    const int S0 = nextSurface;

    for (int i = 0; i < src->GetVertexCount(); ++i) {
        const G3Vertex* sv = src->GetVertex(i);
        if (G3Vertex* v = AddVertex(sv->GetXYZ(), 0)) {
            v->SetFlags(sv->GetFlags());
            SetOwnExData(v, src->GetOwnExData(sv));
            v->GetExtendedData() = sv->GetExtendedData();
        }
    }
    for (int i = 0; i < src->GetNormalCount(); ++i) {
        const G3Normal* sn = src->G3Shell::GetNormal(i);
        if (G3Normal* n = AddNormal(sn)) {
            n->SetFlags(sn->GetFlags());
            SetOwnExData(n, src->GetOwnExData(sn));
            n->GetExtendedData() = sn->GetExtendedData();
        }
    }
    for (int i = 0; i < src->GetTexCooCount(); ++i) {
        const G3TexCoo* st = src->GetTexCoo(i);
        if (G3TexCoo* t = AddTexCoo(st)) {
            t->SetFlags(st->GetFlags());
            t->SetExData(st->GetExData());
            t->GetExtendedData() = st->GetExtendedData();
        }
    }

    // Providers copy the outside data of a source object with outside data;
    // for one without, the surface is locked so that they store nothing.
    const bool wasLocked = IsExDataProviderLocked();
    auto beginProviders = [&](G3Obj* from) {
        if (from->IsOutExDataExist())
            ProviderSetExData(from);
        else
            LockExDataProvider();
    };
    auto endProviders = [&](G3Obj* from) {
        if (from->IsOutExDataExist())
            ProviderSetExData(nullptr);
        else if (!wasLocked)
            UnLockExDataProvider();
    };

    for (int i = 0; i < src->GetPolyEdgeCount(); ++i) {
        G3Vertex** run = nullptr;
        int n = 0;
        if (!src->GetPolyEdge(i, &n, &run))
            continue;
        std::vector<G3Vertex*> mapped(static_cast<std::size_t>(n));
        bool ok = true;
        for (int k = 0; k < n && ok; ++k)
            ok = (mapped[static_cast<std::size_t>(k)] = Mapped(src->vertices, vertices, run[k], V0)) != nullptr;
        if (!ok)
            continue;
        G3PolyEdge* sp = src->G3Shell::GetPolyEdge(i);
        beginProviders(sp);
        G3PolyEdge* p = AddPolyEdge(n, mapped.data());
        endProviders(sp);
        if (p) {
            p->SetFlags(sp->GetFlags());
            p->SetExData(sp->GetExData());
            p->GetExtendedData() = sp->GetExtendedData();
        }
    }

    for (int i = 0; i < src->GetEdgeCount(); ++i) {
        const G3Edge* se = src->GetEdge(i);
        G3Edge* e = new G3Edge(Mapped(src->vertices, vertices, se->GetVertex1(), V0),
                               Mapped(src->vertices, vertices, se->GetVertex2(), V0));
        AddEdgeToCollection(e);
        e->SetFlags(se->GetFlags());
        e->SetExData(se->GetExData());
        e->GetExtendedData() = se->GetExtendedData();
        if (se->HasGeometry()) {
            for (int side = 1; side <= 2; ++side)
                for (int end = 1; end <= 2; ++end) {
                    G3TexCoo* t = nullptr;
                    G3Normal* n = se->GetCorner(side, end, &t);
                    e->SetCorner(side, end, Mapped(src->normals, normals, n, N0),
                                 Mapped(src->texCoos, texCoos, t, T0));
                }
        }
    }

    for (int i = 0; i < src->GetFacetCount(); ++i) {
        G3Facet* sf = src->GetFacet(i);
        G3Facet* f = new G3Facet();
        f->SetFirstEdge(Mapped(src->edges, edges, sf->GetFirstEdge(), E0));
        f->SetLastEdge(Mapped(src->edges, edges, sf->GetLastEdge(), E0));
        const CExData savedDefault = extendedDataFacetDefault;
        extendedDataFacetDefault = sf->GetExtendedData();
        beginProviders(sf);
        AddFacetToCollection(f);
        endProviders(sf);
        extendedDataFacetDefault = savedDefault;
        f->SetSurface(sf->GetSurface() + S0);
        SetOwnExData(f, src->GetOwnExData(sf));
        f->SetFlags(sf->GetFlags());
        f->SetPlane(sf->GetPlane());
    }

    for (int i = 0; i < src->GetEdgeCount(); ++i) {
        const G3Edge* se = src->GetEdge(i);
        G3Edge* e = GetEdge(E0 + i);
        e->SetFacet1(Mapped(src->facets, facets, se->GetFacet1(), F0));
        e->SetFacet2(Mapped(src->facets, facets, se->GetFacet2(), F0));
        e->SetFacet1Edge(Mapped(src->edges, edges, se->GetFacet1Edge(), E0));
        e->SetFacet2Edge(Mapped(src->edges, edges, se->GetFacet2Edge(), E0));
        e->SetVertex1Edge(Mapped(src->edges, edges, se->GetVertex1Edge(), E0));
        e->SetVertex2Edge(Mapped(src->edges, edges, se->GetVertex2Edge(), E0));
    }
    for (int i = 0; i < src->GetVertexCount(); ++i) {
        const G3Vertex* sv = src->GetVertex(i);
        G3Vertex* v = GetVertex(V0 + i);
        v->SetFirstEdge(Mapped(src->edges, edges, sv->GetFirstEdge(), E0));
        v->SetLastEdge(Mapped(src->edges, edges, sv->GetLastEdge(), E0));
    }

    ProviderSetExData(src);
    ProviderOpenExData(this);
    ProviderSetExData(nullptr);

    nextSurface = src->nextSurface + S0;
    materialFacetsCount += src->materialFacetsCount;
    selectedFacetsCount = src->selectedFacetsCount;
}
