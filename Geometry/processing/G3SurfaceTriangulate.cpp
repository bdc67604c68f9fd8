// Triangulation of facets through GLU, the complex-facet bracket and two
// small builders (the boundary loop of an open surface, one facet from a
// vertex array).

#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/math/G3Math.h"
#include "Geometry/mesh/G3Edge.h"
#include "Geometry/mesh/G3Facet.h"
#include "Geometry/mesh/G3FacetIterators.h"
#include "Geometry/mesh/G3PassCheck.h"
#include "Geometry/mesh/G3Point.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/mesh/G3TexCoo.h"
#include "Geometry/mesh/G3Vertex.h"
#include "Geometry/processing/G3EdgeList.h"
#include "Geometry/processing/G3FacetMadeFrom.h"
#include "Geometry/processing/GTessellator.h"

#include <cmath>
#include <unordered_set>
#include <vector>

namespace {

// Whether `mode` selects f (which has n >= 4 edges).
bool Selected(G3Facet* f, int n, int mode)
{
    if (mode & 4)
        return true;
    if ((mode & 8) && n > 4)
        return true;
    if ((mode & 2) && !f->IsFlat())
        return true;
    if (mode & 1) {
        int i = 0;
        int j = 1;
        f->GetMaxCoo(&i, &j);
        G3FacetVertexIterator it(f);
        if (G3Math::ConvexTest(&it, i, j) == 2)
            return true;
    }
    return false;
}

// The flags of the first edge joining a and b, or `otherwise` when none.
int SideFlags(G3Vertex* a, G3Vertex* b, int otherwise, GArrayCollection& scratch)
{
    a->GetEdges(b, &scratch);
    if (scratch.size() > 0)
        return static_cast<int>(static_cast<G3Edge*>(scratch.get(0))->GetFlags());
    return otherwise;
}

} // namespace

bool G3Surface::TriangulateFacet(G3Facet* f, int newEdgeFlags)
{
    G3EdgeList list(f);
    const int n = list.size();
    if (n < 3)
        return false;
    for (int k = 0; k < n; ++k) {
        const G3Edge* e = list.GetEdge(k);
        if (!e || !e->GetVertex1() || !e->GetVertex2())
            return false;
        const double* p = e->GetVertex1()->GetXYZ();
        // GLU's sweep has no answer for coordinates that are not numbers.
        if (!std::isfinite(p[0]) || !std::isfinite(p[1]) || !std::isfinite(p[2]))
            return false;
    }

    G3FacetTessellator tess;
    if (!tess.IsValid())
        return false;
    int i = 0;
    int j = 1;
    f->GetMaxCoo(&i, &j);
    tess.Begin(i, j);
    // Contours follow one another in the chain: each goes to GLU as a
    // contour of its own (a keyhole contour with its bridges is one). The
    // list is normalised, so each edge's vertex1 is where its contour's walk
    // enters it. A walk that comes back to its start and goes on (a hole
    // that starts where the contour before it closed) goes to GLU as one
    // loop per pass: GLU's sweep covers the wrong region when one contour
    // passes through its start vertex again.
    G3ContourWalker w(&list);
    G3Vertex* loopStart = nullptr;
    while (w.Next()) {
        if (w.Opens() && w.GetIndex() > 0)
            tess.NextContour();
        if (w.Opens())
            loopStart = w.GetEntry();
        tess.AddVertex(w.GetEdge()->GetVertex1(), w.GetEdge());
        if (w.GetExit() == loopStart && !w.Closes())
            tess.NextContour();
    }
    tess.EndPolygon();
    // A facet GLU could not take whole (a crossing would need new vertices)
    // keeps its area untriangulated rather than losing part of it.
    const int count = tess.GetTriangleCount();
    if (tess.HasError() || count < 1)
        return false;

    // Side flags are read while f's own edges still exist: sides that are
    // edges keep theirs, new diagonals get newEdgeFlags.
    struct Tri {
        G3Edge* e[3];
        int flags[3];
    };
    std::vector<Tri> tris;
    tris.reserve(static_cast<std::size_t>(count));
    GArrayCollection scratch;
    for (int t = 0; t < count; ++t) {
        Tri tri;
        for (int c = 0; c < 3; ++c)
            tri.e[c] = static_cast<G3Edge*>(static_cast<void*>(tess.triangles.get(3 * t + c)));
        G3Vertex* a = tri.e[0]->GetVertex1();
        G3Vertex* b = tri.e[1]->GetVertex1();
        G3Vertex* c = tri.e[2]->GetVertex1();
        // A keyhole's two passages through one vertex are one point to GLU;
        // a triangle folding onto itself there adds nothing.
        if (a == b || b == c || c == a)
            continue;
        tri.flags[0] = SideFlags(a, b, newEdgeFlags, scratch);
        tri.flags[1] = SideFlags(b, c, newEdgeFlags, scratch);
        tri.flags[2] = SideFlags(c, a, newEdgeFlags, scratch);
        tris.push_back(tri);
    }
    if (tris.empty())
        return false;

    const FacetMadeFrom source(this, f);
    RemoveFacet(f);

    const long facetFlags = static_cast<long>(static_cast<unsigned int>(list.GetFacetFlags()));
    for (Tri& tri : tris) {
        G3Vertex* v[3];
        G3Normal* normals[3];
        G3TexCoo* texCoos[3];
        for (int c = 0; c < 3; ++c) {
            v[c] = tri.e[c]->GetVertex1();
            texCoos[c] = nullptr;
            normals[c] = tri.e[c]->GetFacet1V1(&texCoos[c]);
        }
        G3Facet* made = AddFacet(3, v, tri.flags, normals, texCoos);
        if (!made)
            continue;
        made->SetSurface(list.GetFacetSurface());
        made->SetFlags(facetFlags);
    }
    return true;
}

bool G3Surface::Triangulate(int mode, int newEdgeFlags)
{
    G3_CHECK_PASS(this, "Triangulate");
    if (!facets)
        return false;
    // Triangles are appended and removed facets give their slot to the
    // last one: walk a snapshot.
    GArrayCollection snapshot(*facets);
    bool any = false;
    for (int k = 0; k < snapshot.size(); ++k) {
        G3Facet* f = static_cast<G3Facet*>(snapshot.get(k));
        if (!f)
            continue;
        const int n = f->GetEdgeCount();
        if (n < 4 || !Selected(f, n, mode))
            continue;
        if (TriangulateFacet(f, newEdgeFlags))
            any = true;
    }
    if (any)
        RemoveUnused();
    return any;
}

// ------------------------------------------------------------ complex facets

void G3Surface::BeginComplexFacet()
{
    // Brackets do not nest: a second Begin keeps collecting into the open
    // bracket's collection rather than dropping it.
    if (dynamic_cast<GArrayCollection*>(exData))
        return;
    exData = new GArrayCollection();
}

void G3Surface::EndComplexFacet()
{
    G3_CHECK_PASS(this, "EndComplexFacet");
    GArrayCollection* collected = dynamic_cast<GArrayCollection*>(exData);
    if (!collected)
        return;
    // The facets made below are the result, not further pieces to fuse.
    exData = nullptr;
    if (collected->size() > 0) {
        G3Facet* head = static_cast<G3Facet*>(collected->get(0));
        // The fused facets are made from the first one collected.
        const FacetMadeFrom source(this, head);
        G3EdgeList list(head);
        if (head)
            RemoveFacet(head);
        list.FormMaxPlaneCoo();
        for (int k = 1; k < collected->size(); ++k) {
            G3Facet* f = static_cast<G3Facet*>(collected->get(k));
            if (!f)
                continue;
            list.AddEdges(f);
            RemoveFacet(f);
        }
        GArrayCollection out;
        list.RemoveSelfIntersections(&out, this, true, 2, 0);
        AddFacets(&out);
    }
    delete collected;
}

void G3Surface::AddFacets(GArrayCollection* lists)
{
    G3_CHECK_PASS(this, "AddFacets");
    if (!lists)
        return;
    for (int k = 0; k < lists->size(); ++k) {
        G3EdgeList* list = dynamic_cast<G3EdgeList*>(lists->get(k));
        if (!list)
            continue;
        AddFacet(list, list->GetFacetFlags(), list->GetFacetSurface());
        delete list;
    }
    lists->clear(false);
}

void G3Surface::AddFacetsEx(GArrayCollection* lists, G3Facet*, int) { AddFacets(lists); }

// ------------------------------------------------------------ builders

bool G3Surface::GetContour(GArrayCollection& out)
{
    G3_CHECK_PASS(this, "GetContour");
    if (!vertices || GetClosed())
        return false;
    RemoveEqualsVertexAndDivideEdges();

    auto isBoundary = [](const G3Edge* e) { return !e->GetFacet1() || !e->GetFacet2(); };

    G3Vertex* start = nullptr;
    G3Vertex* next = nullptr;
    for (int k = 0; k < vertices->size() && !start; ++k) {
        G3Vertex* v = static_cast<G3Vertex*>(vertices->get(k));
        for (G3Edge* e = v ? v->GetFirstEdge() : nullptr; e; e = e->GetVertexEdge(v)) {
            if (isBoundary(e)) {
                start = v;
                next = e->GetOtherVertex(v);
                break;
            }
        }
    }
    if (!start)
        return false;

    const int before = out.size();
    auto fail = [&]() {
        out.size(before);
        return false;
    };
    std::unordered_set<const GObj*> seen;
    for (int k = 0; k < before; ++k)
        seen.insert(out.get(k));
    out.add(start);
    seen.insert(start);
    G3Vertex* prev = start;
    G3Vertex* cur = next;
    while (cur != start) {
        if (!cur || seen.count(cur))
            return fail();
        out.add(cur);
        seen.insert(cur);
        next = nullptr;
        for (G3Edge* e = cur->GetFirstEdge(); e; e = e->GetVertexEdge(cur)) {
            if (isBoundary(e) && e->GetOtherVertex(cur) != prev) {
                next = e->GetOtherVertex(cur);
                break;
            }
        }
        // A vertex without a further boundary edge ends no loop.
        if (!next)
            return fail();
        prev = cur;
        cur = next;
    }

    // One simple loop uses every boundary edge of the surface.
    int boundaryEdges = 0;
    for (int k = 0; edges && k < edges->size(); ++k) {
        const G3Edge* e = static_cast<G3Edge*>(edges->get(k));
        if (e && (e->GetFacet1() || e->GetFacet2()) && isBoundary(e))
            ++boundaryEdges;
    }
    if (boundaryEdges != out.size() - before)
        return fail();
    return true;
}

int G3Surface::AddOneFacetFromVertices(G3Vertex* vertexArray, int count)
{
    G3_CHECK_PASS(this, "AddOneFacetFromVertices");
    if (!vertices || !vertexArray || count < 0)
        return vertices ? vertices->size() : 0;
    const int before = vertices->size();
    std::vector<int> ids;
    ids.reserve(static_cast<std::size_t>(count));
    for (int k = 0; k < count; ++k) {
        G3Vertex* v = AddVertex(vertexArray[k].GetXYZ(), 0);
        if (v)
            ids.push_back(static_cast<int>(v->GetId()));
    }
    if (count <= 2)
        return before;
    if (static_cast<int>(ids.size()) != count || !AddFacet(count, ids.data(), 1, nullptr, nullptr))
        return 0;
    return vertices->size();
}
