// Corner data of facets: reading, storing and interpolating the normal and
// texture coordinate a facet has at one of its vertices.

#include "Geometry/math/GTolerance.h"
#include "Geometry/mesh/G3Edge.h"
#include "Geometry/mesh/G3Facet.h"
#include "Geometry/mesh/G3Point.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/mesh/G3TexCoo.h"
#include "Geometry/mesh/G3Vertex.h"

#include <cmath>

void G3Facet::SetNormal(G3Vertex* v, G3Normal* n, G3TexCoo* t, bool force)
{
    if (!v || (!n && !t && !force))
        return;
    for (G3Edge* e = v->GetFirstEdge(); e; e = e->GetVertexEdge(v))
        if (e->HasFacet(this))
            e->SetCorner(this, v, n, t);
}

G3Normal* G3Facet::GetNormal(G3Vertex* v, G3TexCoo** t) const
{
    for (const G3Edge* e = v ? v->GetFirstEdge() : nullptr; e; e = e->GetVertexEdge(v)) {
        if (!e->HasFacet(this))
            continue;
        G3TexCoo* tc = nullptr;
        if (G3Normal* n = e->GetCorner(this, v, &tc)) {
            if (t)
                *t = tc;
            return n;
        }
    }
    if (t)
        *t = nullptr;
    return nullptr;
}

void G3Facet::AssignNormalsByPlane(G3Surface* s)
{
    if (!s)
        return;
    G3Normal* n = s->AddNormal(plane[0], plane[1], plane[2]);
    if (!n)
        return;
    for (G3Edge* e = firstEdge; e; e = e->GetFacetEdge(this)) {
        const int side = e->GetFacetSide(this);
        e->SetCorner(side, 1, n, nullptr);
        e->SetCorner(side, 2, n, nullptr);
    }
}

bool G3Facet::Interpolate(G3Edge* e, const double* p, G3Normal** n, G3TexCoo** t) const
{
    G3Normal* resultN = nullptr;
    G3TexCoo* resultT = nullptr;
    G3Normal* n1 = nullptr;
    G3Normal* n2 = nullptr;
    G3TexCoo* t1 = nullptr;
    G3TexCoo* t2 = nullptr;
    if (e && p && e->GetNormals(this, &n1, &t1, &n2, &t2))
        G3Edge::Interpolate(e->GetVertex1(), n1, t1, e->GetVertex2(), n2, t2, p, &resultN, &resultT);
    if (n)
        *n = resultN;
    else
        delete resultN;
    if (t)
        *t = resultT;
    else
        delete resultT;
    return resultN != nullptr;
}

namespace {
// Component k of the value at p: linear in p's parameter along coordinate
// `axis`, held to the edge's ends. The points interpolated at are the
// edge's own (T-junction vertices within kPointEqual of it): along a
// coordinate in which the edge is only a few millionths long, that offset
// alone moved the parameter far outside 0 .. 1, and a split vertex got a
// normal or texture coordinate well beyond both ends' (a normal component
// reversed). Where the edge has no extent along `axis` (a wall's upright
// side for u, which follows x in a wall along y, and for v, which follows
// y) the parameter is taken along the coordinate of the edge's largest
// extent: a's value there gave every split vertex of the side one end's
// texture coordinate. Values equal at both ends come out unchanged either
// way; nothing is interpolated along an edge shorter than kZeroLength in
// every coordinate.
double Lerp(double a, double b, const double* va, const double* vb, const double* p, int axis)
{
    if (std::fabs(vb[axis] - va[axis]) < GTolerance::kZeroLength) {
        int longest = 0;
        for (int k = 1; k < 3; ++k)
            if (std::fabs(vb[k] - va[k]) > std::fabs(vb[longest] - va[longest]))
                longest = k;
        axis = longest;
    }
    const double delta = vb[axis] - va[axis];
    if (std::fabs(delta) < GTolerance::kZeroLength)
        return a;
    double s = (p[axis] - va[axis]) / delta;
    s = s < 0.0 ? 0.0 : (s > 1.0 ? 1.0 : s);
    return a + (b - a) * s;
}
} // namespace

void G3Edge::Interpolate(const G3Vertex* va, const G3Normal* na, const G3TexCoo* ta, const G3Vertex* vb,
                         const G3Normal* nb, const G3TexCoo* tb, const double* p, G3Normal** n, G3TexCoo** t)
{
    if (n)
        *n = nullptr;
    if (t)
        *t = nullptr;
    if (!va || !vb || !na || !nb || !p)
        return;
    const double* a = va->GetXYZ();
    const double* b = vb->GetXYZ();
    if (n) {
        double xyz[3];
        for (int k = 2; k >= 0; --k)
            xyz[k] = Lerp(na->GetXYZ()[k], nb->GetXYZ()[k], a, b, p, k);
        G3Normal* out = new G3Normal();
        out->Set(xyz);
        *n = out;
    }
    if (t && ta && tb) {
        G3TexCoo* out = new G3TexCoo();
        out->SetU(Lerp(ta->GetU(), tb->GetU(), a, b, p, 0));
        out->SetV(Lerp(ta->GetV(), tb->GetV(), a, b, p, 1));
        *t = out;
    }
}
