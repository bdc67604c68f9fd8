#include "Geometry/mesh/G3Facet.h"

#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/foundation/GInlineVector.h"
#include "Geometry/foundation/GTrace.h"
#include "Geometry/math/G3Math.h"
#include "Geometry/math/GEnvelope.h"
#include "Geometry/math/GTolerance.h"
#include "Geometry/mesh/G3Edge.h"
#include "Geometry/mesh/G3FacetIterators.h"
#include "Geometry/mesh/G3Vertex.h"

#include <cmath>
#include <cstdint>
#include <utility>
#include <vector>

G_DEFINE_POOL(G3Facet, "G3Facet", 65536)

void G3Facet::Copy(GObj* source)
{
    G3Obj::Copy(source);
    const G3Facet* f = dynamic_cast<const G3Facet*>(source);
    if (!f || f == this)
        return;
    firstEdge = f->firstEdge;
    lastEdge = f->lastEdge;
    surface = f->surface;
    SetPlane(f->plane);
}

// ------------------------------------------------------------------ chain

namespace {

// The end at which the walk along f's contours enters e; null when e is not
// in the chain.
G3Vertex* WalkEntry(const G3Facet* f, const G3Edge* e)
{
    G3ContourWalker w(f);
    while (w.Next())
        if (w.GetEdge() == e)
            return w.GetEntry();
    return nullptr;
}

} // namespace

bool G3Facet::FindEdge(const G3Edge* e, G3Edge** pred) const
{
    G3Edge* prev = nullptr;
    for (G3Edge* cur = firstEdge; cur; cur = cur->GetFacetEdge(this)) {
        if (cur == e) {
            *pred = prev;
            return true;
        }
        prev = cur;
    }
    *pred = nullptr;
    return false;
}

void G3Facet::LinkAfter(G3Edge* from, G3Edge* to)
{
    if (from)
        from->SetFacetEdge(this, to);
    else
        firstEdge = to;
}

void G3Facet::AddEdge(G3Edge* e)
{
    // An edge that does not name this facet would be linked on its side 2,
    // another facet's chain. One already in the chain (the tail, or one
    // linked onwards) would close the chain into a loop.
    if (!e || !e->HasFacet(this) || e == lastEdge || e->GetFacetEdge(this))
        return;
    if (!lastEdge)
        firstEdge = e;
    else
        lastEdge->SetFacetEdge(this, e);
    lastEdge = e;
}

bool G3Facet::RemoveEdge(G3Edge* e)
{
    G3Edge* pred = nullptr;
    if (!e || !FindEdge(e, &pred))
        return false;
    LinkAfter(pred, e->GetFacetEdge(this));
    if (lastEdge == e)
        lastEdge = pred;
    if (e->GetFacetSide(this) == 1) {
        e->SetFacet1(nullptr);
        e->SetFacet1Edge(nullptr);
    } else {
        e->SetFacet2(nullptr);
        e->SetFacet2Edge(nullptr);
    }
    return true;
}

void G3Facet::RemoveEdges()
{
    G3Edge* e = firstEdge;
    while (e) {
        G3Edge* following = e->GetFacetEdge(this);
        if (e->GetFacetSide(this) == 1) {
            e->SetFacet1(nullptr);
            e->SetFacet1Edge(nullptr);
        } else {
            e->SetFacet2(nullptr);
            e->SetFacet2Edge(nullptr);
        }
        if (!e->GetFacet1() && !e->GetFacet2()) {
            if (G3Vertex* v = e->GetVertex1())
                v->RemoveEdge(e);
            if (G3Vertex* v = e->GetVertex2())
                v->RemoveEdge(e);
        }
        e = following;
    }
    firstEdge = nullptr;
    lastEdge = nullptr;
}

bool G3Facet::ChangeEdges(G3Edge* oldEdge, G3Edge* newEdge)
{
    // The new edge takes the old one's place in a contour: it must join the
    // same two vertices, or the contour would no longer close.
    G3Edge* pred = nullptr;
    if (!oldEdge || !newEdge || !newEdge->IsVertexEquals(oldEdge) || !FindEdge(oldEdge, &pred))
        return false;
    return ChangeEdgesAfter(pred, oldEdge, newEdge);
}

bool G3Facet::ChangeEdgesAfter(G3Edge* pred, G3Edge* oldEdge, G3Edge* newEdge)
{
    if (!oldEdge || !newEdge || !newEdge->IsVertexEquals(oldEdge) ||
        (pred ? !pred->HasFacet(this) || pred->GetFacetEdge(this) != oldEdge : firstEdge != oldEdge))
        return false;
    G3Edge* succ = oldEdge->GetFacetEdge(this);

    // This facet's corners on the old edge, kept with their vertices.
    G3Normal* n1 = nullptr;
    G3Normal* n2 = nullptr;
    G3TexCoo* t1 = nullptr;
    G3TexCoo* t2 = nullptr;
    oldEdge->GetNormals(this, &n1, &t1, &n2, &t2);
    if (newEdge->GetVertex1() != oldEdge->GetVertex1()) {
        std::swap(n1, n2);
        std::swap(t1, t2);
    }

    // The new edge takes this facet on its free side. An edge that already
    // borders this facet, or that has no free side, is refused: either would
    // tie one edge twice into a chain or cut another facet's chain.
    int side;
    if (newEdge->GetFacet1()) {
        if (newEdge->GetFacet1() == this || newEdge->GetFacet2()) {
            GTrace("bad Change Facet to 2");
            return false;
        }
        side = 2;
    } else {
        if (newEdge->GetFacet2() == this) {
            GTrace("bad Change Facet to 1");
            return false;
        }
        side = 1;
    }
    const int oldSide = oldEdge->GetFacetSide(this);
    if (side == 2) {
        newEdge->SetFacet2(this);
        newEdge->SetFacet2Edge(succ);
    } else {
        newEdge->SetFacet1(this);
        newEdge->SetFacet1Edge(succ);
    }
    newEdge->SetCorner(side, 1, n1, t1);
    newEdge->SetCorner(side, 2, n2, t2);

    LinkAfter(pred, newEdge);
    if (lastEdge == oldEdge)
        lastEdge = newEdge;

    if (oldSide == 1) {
        oldEdge->SetFacet1(nullptr);
        oldEdge->SetFacet1Edge(nullptr);
    } else {
        oldEdge->SetFacet2(nullptr);
        oldEdge->SetFacet2Edge(nullptr);
    }
    newEdge->SetFlags(newEdge->GetFlags() | oldEdge->GetFlags());
    return true;
}

bool G3Facet::DivideEdge(G3Edge* e, int n, G3Edge** parts)
{
    G3Edge* pred = nullptr;
    if (!e || n < 1 || !parts || !FindEdge(e, &pred))
        return false;
    for (int i = 0; i < n; ++i)
        if (!parts[i] || !parts[i]->HasFacet(this) || parts[i] == e)
            return false;
    G3Edge* succ = e->GetFacetEdge(this);

    // The parts run from the end at which the contour enters e. The chain
    // neighbours cannot tell: the predecessor of a hole's first edge is the
    // previous contour's last edge, which touches neither part (or, when the
    // hole touches that contour, the wrong one).
    G3Vertex* entry = WalkEntry(this, e);
    const bool reversed = entry && !parts[0]->HasVertex(entry) && parts[n - 1]->HasVertex(entry);

    G3Edge* prev = pred;
    for (int k = 0; k < n; ++k) {
        G3Edge* part = parts[reversed ? n - 1 - k : k];
        LinkAfter(prev, part);
        prev = part;
    }
    prev->SetFacetEdge(this, succ);
    if (lastEdge == e)
        lastEdge = prev;
    return true;
}

bool G3Facet::DivideEdge(G3Edge* e, G3Edge* a, G3Edge* b)
{
    G3Edge* parts[2] = {a, b};
    return DivideEdge(e, 2, parts);
}

void G3Facet::RotateEdges()
{
    // In-place reversal: the same chain as collecting the edges and appending
    // them again from last to first, with the new last edge's link cleared.
    G3Edge* prev = nullptr;
    G3Edge* cur = firstEdge;
    while (cur) {
        G3Edge* following = cur->GetFacetEdge(this);
        cur->SetFacetEdge(this, prev);
        prev = cur;
        cur = following;
    }
    std::swap(firstEdge, lastEdge);
}

void G3Facet::NegPlane()
{
    RotateEdges();
    for (double& v : plane)
        v = -v;
}

// ------------------------------------------------------------------ plane

// A null plane leaves the facet's own as it is.
void G3Facet::SetPlane(const double* abcd)
{
    if (!abcd)
        return;
    for (int k = 0; k < 4; ++k)
        plane[k] = abcd[k];
}

bool G3Facet::IsPlaneZero() const
{
    return plane[0] == 0.0 && plane[1] == 0.0 && plane[2] == 0.0 && plane[3] == 0.0;
}

namespace {

// The corner (a, b, c) spans a plane: the test G3Math::FormMaxPlaneCoo puts
// to every corner before it falls back to a plane through a line.
bool CornerSpansPlane(const double* a, const double* b, const double* c)
{
    const double* corner[3] = {a, b, c};
    double t[4];
    return G3Math::PlaneOfPolygon(corner, 3, t);
}

// Whether f's corners (the one walk over its chain) lie on one line: there
// are three or more, no corner spans a plane, and the whole walk has no area
// either. Exactly the facets that FormPlaneEquation gives the fallback plane
// through a line. The first corner usually decides.
bool CornersOnOneLine(G3Facet* f)
{
    const double* head[2] = {nullptr, nullptr};
    const double* prev[2] = {nullptr, nullptr};
    int n = 0;
    G3FacetVertexIterator it(f);
    while (it.hasNext()) {
        const G3Vertex* v = it.NextVertex();
        if (!v)
            continue;
        const double* p = v->GetXYZ();
        if (n < 2)
            head[n] = p;
        if (n >= 2 && CornerSpansPlane(prev[0], prev[1], p))
            return false;
        prev[0] = prev[1];
        prev[1] = p;
        ++n;
    }
    if (n < 3 || CornerSpansPlane(prev[0], prev[1], head[0]) || CornerSpansPlane(prev[1], head[0], head[1]))
        return false;
    // No corner spans a plane; a walk that doubles back over separate lines
    // may still enclose area.
    std::vector<const double*> pts;
    pts.reserve(static_cast<std::size_t>(n));
    G3FacetVertexIterator again(f);
    while (again.hasNext())
        if (const G3Vertex* v = again.NextVertex())
            pts.push_back(v->GetXYZ());
    double t[4];
    return !G3Math::PlaneOfPolygon(pts.data(), static_cast<int>(pts.size()), t);
}

using FacetCorners = GInlineVector<const double*, 16>;
using ContourStarts = GInlineVector<int, 4>;

// f's corners in chain order (the concrete walker: no virtual call, no
// type check per vertex) and the index of each contour's first corner.
// Edges without their ends are passed over; a contour they open starts at
// its next corner.
void GatherContours(const G3Facet* f, FacetCorners& corners, ContourStarts& starts)
{
    bool opening = false;
    G3ContourWalker it(f);
    while (it.Next()) {
        opening = opening || it.Opens();
        const G3Vertex* v = it.GetEntry();
        if (!v)
            continue;
        if (opening)
            starts.push_back(static_cast<int>(corners.size()));
        opening = false;
        corners.push_back(v->GetXYZ());
    }
}

} // namespace

bool G3Facet::IsTrivial() const
{
    // A facet on one line keeps a plane through that line (projection needs
    // one), so the plane alone does not tell: it has no area wherever the
    // line lies.
    return IsPlaneZero() || CornersOnOneLine(const_cast<G3Facet*>(this));
}

bool G3Facet::FormPlaneEquation() { return FormPlaneEquation(nullptr); }

bool G3Facet::FormPlaneEquation(GEnvelope* box)
{
    // Every AddFacet forms a plane, so this runs once per facet of a built
    // mesh: the corners go into inline buffers, and only facets of many
    // corners or contours allocate. Each contour is closed on itself
    // (ContoursPlane's plane, the polygon plane for one contour): the jumps
    // between the contours of a holed facet would add area that can turn
    // its normal. The box is the one FormEnvelope gives.
    FacetCorners corners;
    ContourStarts starts;
    GatherContours(this, corners, starts);
    const int n = static_cast<int>(corners.size());
    const double* const* all = corners.data();
    if (starts.size() <= 1)
        G3Math::PlaneOfPolygon(all, n, plane);
    else
        G3Math::PlaneOfContours(all, n, starts.data(), static_cast<int>(starts.size()), plane);
    if (IsPlaneZero()) {
        G3FacetVertexIterator again(this);
        int i = 0, j = 1;
        G3Math::FormMaxPlaneCoo(&again, &i, &j, plane);
    }
    if (box) {
        if (n == 0) {
            box->Init();
        } else {
            box->Init(all[0]);
            for (int k = 1; k < n; ++k)
                box->Add(all[k]);
        }
    }
    return true;
}

bool G3Facet::ContoursPlane(double* plane) const
{
    FacetCorners corners;
    ContourStarts starts;
    GatherContours(this, corners, starts);
    return G3Math::PlaneOfContours(corners.data(), static_cast<int>(corners.size()), starts.data(),
                                   static_cast<int>(starts.size()), plane);
}

void G3Facet::TurnToContours(double* plane) const
{
    double own[4];
    if (ContoursPlane(own) && own[0] * plane[0] + own[1] * plane[1] + own[2] * plane[2] < 0.0)
        for (int k = 0; k < 4; ++k)
            plane[k] = -plane[k];
}

double G3Facet::CalcRealSquareOfTriangle(const double* p1, const double* p2, const double* p3, double* out)
{
    if (!p1 || !p2 || !p3) {
        if (out)
            out[0] = out[1] = out[2] = out[3] = 0.0;
        return 0.0;
    }
    const double u[3] = {p2[0] - p1[0], p2[1] - p1[1], p2[2] - p1[2]};
    const double v[3] = {p3[0] - p1[0], p3[1] - p1[1], p3[2] - p1[2]};
    const double n[3] = {u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2], u[0] * v[1] - u[1] * v[0]};
    const double len = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
    if (len < GTolerance::kZeroNormal) {
        if (out)
            out[0] = out[1] = out[2] = out[3] = 0.0;
        return 0.0;
    }
    if (out) {
        out[0] = n[0] / len;
        out[1] = n[1] / len;
        out[2] = n[2] / len;
        const double c[3] = {(p1[0] + p2[0] + p3[0]) / 3.0, (p1[1] + p2[1] + p3[1]) / 3.0,
                             (p1[2] + p2[2] + p3[2]) / 3.0};
        out[3] = -(out[0] * c[0] + out[1] * c[1] + out[2] * c[2]);
    }
    return len * 0.5;
}

// ------------------------------------------------------------- direction

bool G3Facet::GetMoveDirection(const G3Edge* e) const
{
    if (!e)
        return false;
    // Judged along e's own contour: the chain's next edge may already be the
    // next contour's first.
    const G3Vertex* entry = WalkEntry(this, e);
    return entry && entry == e->GetVertex1();
}

// ------------------------------------------------------- counts and lists

bool G3Facet::HasEdgesAtLeast(int n) const
{
    int k = 0;
    for (const G3Edge* e = firstEdge; e && k < n; e = e->GetFacetEdge(this))
        ++k;
    return k >= n;
}

int G3Facet::GetEdgeCount() const
{
    int n = 0;
    for (const G3Edge* e = firstEdge; e; e = e->GetFacetEdge(this))
        ++n;
    return n;
}

// The array forms count what they would write, so a null `out` asks for the
// count alone; the collection forms leave a null collection alone.
int G3Facet::GetEdges(G3Edge** out) const
{
    int n = 0;
    for (G3Edge* e = firstEdge; e; e = e->GetFacetEdge(this), ++n)
        if (out)
            out[n] = e;
    return n;
}

int G3Facet::GetVertices(G3Vertex** out) const
{
    int n = 0;
    G3FacetVertexIterator it(const_cast<G3Facet*>(this));
    for (; it.hasNext(); ++n) {
        G3Vertex* v = static_cast<G3Vertex*>(it.next());
        if (out)
            out[n] = v;
    }
    return n;
}

void G3Facet::GetEdges(GArrayCollection* out)
{
    if (!out)
        return;
    out->clear();
    G3FacetEdgeIterator it(this);
    out->addIterator(&it);
}

void G3Facet::GetVertices(GArrayCollection* out)
{
    if (!out)
        return;
    out->clear();
    G3FacetVertexIterator it(this);
    out->addIterator(&it);
}

void G3Facet::GetVerticesIds(GArrayCollection* out, int offset)
{
    if (!out)
        return;
    out->clear();
    G3FacetVertexIterator it(this);
    while (it.hasNext()) {
        const G3Vertex* v = static_cast<G3Vertex*>(it.next());
        const std::intptr_t value = static_cast<std::intptr_t>(v->GetId()) + offset;
        out->add(reinterpret_cast<GObj*>(value));
    }
}

bool G3Facet::ContainsVertex(const G3Vertex* v) const
{
    if (!v)
        return false;
    G3FacetVertexIterator it(const_cast<G3Facet*>(this));
    while (it.hasNext())
        if (it.next() == v)
            return true;
    return false;
}

bool G3Facet::HasEdge(const G3Vertex* a, const G3Vertex* b) const { return ContainsVertex(a) && ContainsVertex(b); }

bool G3Facet::HasGeometry() const { return firstEdge && firstEdge->HasGeometry(); }

bool G3Facet::HasGeometry(const G3Facet* f)
{
    return f && f->firstEdge && f->firstEdge->HasGeometry(f);
}
