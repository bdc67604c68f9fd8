// Second-order smoothing: per-vertex G3Derivative records (slopes from the
// facet normals, second derivatives carried along) give Taylor estimates
// for inserted points, which are re-triangulated (SecondOrderSmoothSurface)
// or subdivided recursively (SecondOrderSmoothSurfaceEx). Invariants: the
// input's geometry is unchanged and its vertices keep the records attached
// to them; every record handed to the triangulation is a copy, so each
// output vertex owns its record and no record is shared or lost; estimates
// below 0 are 0 (the terrain stands on z = 0). The one place it rounds is
// the slope division (G3VertexSlope: 0 among vertical facets).

#include "Geometry/terrain/G3LandscapeHandler.h"

#include "Geometry/math/GTolerance.h"
#include "Geometry/mesh/G3Edge.h"
#include "Geometry/mesh/G3Facet.h"
#include "Geometry/mesh/G3FacetIterators.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/mesh/G3Vertex.h"
#include "Geometry/terrain/G3LandscapeSlopes.h"
#include "Geometry/terrain/triangulation/G3TVertex.h"

#include <cmath>
#include <memory>
#include <vector>

namespace {

// A border vertex keeps a slope pair it already has from above this.
constexpr double kKeptSlope = 1e-5;

G3Derivative* Rec(const G3Vertex* v) { return static_cast<G3Derivative*>(v->GetExData()); }

// Every vertex gets a G3Derivative; anything else in the slot is released
// first (a first-order record would be read with the wrong layout).
void AttachRecords(G3Surface* s)
{
    for (int i = 0; i < s->GetVertexCount(); ++i) {
        G3Vertex* v = s->GetVertex(i);
        if (v->GetExData() && dynamic_cast<G3Derivative*>(v->GetExData()) == nullptr) {
            delete v->GetExData();
            v->SetExData(nullptr);
        }
        if (v->GetExData() == nullptr)
            v->SetExData(new G3Derivative());
    }
}

void GradientPass(G3Surface* s)
{
    for (int i = 0; i < s->GetVertexCount(); ++i) {
        G3Vertex* v = s->GetVertex(i);
        G3Derivative* d = Rec(v);
        const G3VertexSlope slope = G3ComputeVertexSlope(v);
        if (slope.facets == 0 || d == nullptr)
            continue;
        const bool border = slope.borderEdges >= 2;
        if (border && (std::fabs(d->zx) >= kKeptSlope || std::fabs(d->zy) >= kKeptSlope))
            continue;
        d->zx = slope.SlopeX();
        d->zy = slope.SlopeY();
    }
}

double NonNegative(double z) { return z < 0.0 ? 0.0 : z; }

// Midpoint of p-q: the two Taylor estimates averaged, with the averaged
// record (new, the caller's).
G3Derivative* Mid(const G3Vertex* p, const G3Vertex* q, double* out)
{
    out[0] = (p->GetX() + q->GetX()) / 2.0;
    out[1] = (p->GetY() + q->GetY()) / 2.0;
    out[2] = NonNegative((Rec(p)->Estimate(p->GetXYZ(), out[0], out[1]) +
                          Rec(q)->Estimate(q->GetXYZ(), out[0], out[1])) / 2.0);
    return G3Derivative::Average(Rec(p), Rec(q));
}

G3Derivative* Centroid(G3Vertex* const c[3], double* out)
{
    out[0] = (c[0]->GetX() + c[1]->GetX() + c[2]->GetX()) / 3.0;
    out[1] = (c[0]->GetY() + c[1]->GetY() + c[2]->GetY()) / 3.0;
    double z = 0.0;
    for (int k = 0; k < 3; ++k)
        z += Rec(c[k])->Estimate(c[k]->GetXYZ(), out[0], out[1]);
    out[2] = NonNegative(z / 3.0);
    return G3Derivative::Average(Rec(c[0]), Rec(c[1]), Rec(c[2]));
}

bool DistinctThree(G3Facet* f, G3Vertex* c[3])
{
    if (f == nullptr || f->GetVertexCount() < 3)
        return false;
    G3FacetVertexIterator it(f);
    for (int k = 0; k < 3; ++k)
        if ((c[k] = it.NextVertex()) == nullptr)
            return false;
    return !c[0]->Equals(c[1]) && !c[0]->Equals(c[2]) && !c[1]->Equals(c[2]);
}

// Adds a point with its record (owned by `records` until handed over).
void AddPoint(G3LandscapeHandler& h, std::vector<G3Derivative*>& records, const double* p, G3Derivative* d)
{
    G3TVertex* t = h.AddVertex(p);
    records.push_back(d);
    if (t)
        t->SetUserData(d);
}

// Records, triangulation input and the run, steps shared by both forms.
bool Prepare(G3LandscapeHandler& h, G3Surface* surface, int mode, std::vector<G3Derivative*>& records)
{
    surface->FormPlaneEquation();
    AttachRecords(surface);
    GradientPass(surface);
    for (int i = 0; i < surface->GetVertexCount(); ++i) {
        G3Vertex* v = surface->GetVertex(i);
        AddPoint(h, records, v->GetXYZ(), new G3Derivative(*Rec(v)));
    }
    for (int i = 0; i < surface->GetFacetCount() && (mode == 3 || mode == 4); ++i) {
        G3Vertex* c[3];
        if (!DistinctThree(surface->GetFacet(i), c))
            continue;
        double p[3];
        if (mode == 3) {
            G3Derivative* d = Centroid(c, p);
            AddPoint(h, records, p, d);
            continue;
        }
        const int pairs[3][2] = {{0, 1}, {0, 2}, {1, 2}};
        for (const auto& pr : pairs) {
            G3Derivative* d = Mid(c[pr[0]], c[pr[1]], p);
            AddPoint(h, records, p, d);
        }
    }
    for (int i = 0; i < surface->GetEdgeCount(); ++i) {
        G3Edge* e = surface->GetEdge(i);
        if (e->GetFacet1() && e->GetFacet2())
            continue;
        double p[3];
        G3Derivative* d = Mid(e->GetVertex1(), e->GetVertex2(), p);
        AddPoint(h, records, p, d);
    }
    return h.MakeTriangulation(G3TriInterface::TRI_BASIC_DEFAULT);
}

// After CopyExtData: the records no output vertex took are released.
void ReleaseUnclaimed(G3LandscapeHandler& h, std::vector<G3Derivative*>& records)
{
    std::vector<bool> claimed(records.size(), false);
    for (int i = 0; i < h.GetVertexCount(); ++i) {
        const G3TVertex* t = h.GetVertex(i);
        const G3Vertex* v = t->GetOutputVertex();
        if (v && v->GetExData() == t->GetUserData())
            claimed[static_cast<std::size_t>(i)] = true;
    }
    for (std::size_t i = 0; i < records.size(); ++i)
        if (!claimed[i])
            delete records[i];
    records.clear();
}

} // namespace

G3Surface* G3LandscapeHandler::SecondOrderSmoothSurface(G3Surface* surface, int mode)
{
    if (surface == nullptr)
        return nullptr;
    G3LandscapeHandler aux;
    std::vector<G3Derivative*> records;
    G3Surface* result = nullptr;
    if (Prepare(aux, surface, mode, records)) {
        result = aux.GetSurface();
        if (result)
            aux.CopyExtData();
    }
    if (result)
        ReleaseUnclaimed(aux, records);
    else
        for (G3Derivative* d : records)
            delete d;
    return result;
}

namespace {

struct Subdivision {
    std::vector<std::unique_ptr<G3Vertex>> points; // midpoints, free-standing
    std::vector<std::unique_ptr<G3Derivative>> records;
    std::vector<G3LandscapeTriangle> out;

    G3Vertex* MidVertex(G3Vertex* p, G3Vertex* q)
    {
        double m[3];
        G3Derivative* d = Mid(p, q, m);
        records.emplace_back(d);
        points.emplace_back(new G3Vertex(m, 0));
        points.back()->SetExData(d);
        return points.back().get();
    }

    void Run(G3Vertex* a, G3Vertex* b, G3Vertex* c, int level, int levels)
    {
        G3Vertex* ab = MidVertex(a, b);
        G3Vertex* ac = MidVertex(a, c);
        G3Vertex* bc = MidVertex(b, c);
        const G3LandscapeTriangle children[4] = {
            G3LandscapeTriangle(a, ab, ac), G3LandscapeTriangle(ab, b, bc), G3LandscapeTriangle(ac, bc, c),
            G3LandscapeTriangle(ab, bc, ac)};
        for (const G3LandscapeTriangle& t : children) {
            if (level + 1 < levels)
                Run(t.corners[0], t.corners[1], t.corners[2], level + 1, levels);
            else
                out.push_back(t);
        }
    }
};

} // namespace

G3Surface* G3LandscapeHandler::SecondOrderSmoothSurfaceEx(G3Surface* surface, int levels)
{
    // Each level multiplies the triangles by four: beyond kMaxLevels a
    // call only runs out of memory.
    if (surface == nullptr || levels > kMaxLevels)
        return nullptr;
    G3LandscapeHandler aux;
    std::vector<G3Derivative*> records;
    if (!Prepare(aux, surface, 0, records)) {
        for (G3Derivative* d : records)
            delete d;
        return nullptr;
    }
    std::unique_ptr<G3Surface> t(aux.GetSurface());
    if (!t) {
        for (G3Derivative* d : records)
            delete d;
        return nullptr;
    }
    aux.CopyExtData();
    ReleaseUnclaimed(aux, records);
    Subdivision sub;
    for (int i = 0; i < t->GetFacetCount(); ++i) {
        G3Facet* f = t->GetFacet(i);
        G3Vertex* c[3];
        if (f->GetVertexCount() != 3 || !DistinctThree(f, c) || !Rec(c[0]) || !Rec(c[1]) || !Rec(c[2]))
            continue;
        sub.Run(c[0], c[1], c[2], 0, levels);
    }
    G3Surface* result = new G3Surface();
    for (const G3LandscapeTriangle& tr : sub.out) {
        G3Vertex* v[3];
        for (int k = 0; k < 3; ++k)
            v[k] = result->AddVertex(tr.corners[k]->GetXYZ(), 0);
        result->AddFacet(3, v, 1, nullptr, nullptr);
    }
    result->RemoveEqualsVertex();
    for (auto& p : sub.points)
        p->SetExData(nullptr);
    ReleaseRecords(t.get());
    return result;
}
