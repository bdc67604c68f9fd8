// First-order smoothing: per-vertex slope records (a G3Normal holding
// (Sx/Sz, Sy/Sz, 1), S the sum of the unit normals of the facets around
// the vertex) drive cubic edge midpoints (SmoothSurface) or raised
// centroids (SmoothSurfaceEx); LandscapeSmoothing iterates a step on a
// duplicate. Invariants: the caller's surface keeps its geometry; the
// records live in the input's vertex scratch links only during a step and
// are released before it returns; a step's result has its planes formed
// and no scratch link set. The one place it rounds is the slope division
// (G3VertexSlope: 0 among vertical facets).

#include "Geometry/terrain/G3LandscapeHandler.h"

#include "Geometry/math/GTolerance.h"
#include "Geometry/mesh/G3Facet.h"
#include "Geometry/mesh/G3FacetIterators.h"
#include "Geometry/mesh/G3PassCheck.h"
#include "Geometry/mesh/G3Point.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/mesh/G3Vertex.h"
#include "Geometry/terrain/G3LandscapeSlopes.h"

#include <cmath>
#include <map>
#include <utility>
#include <vector>

namespace {

// The first three corners of a facet with more than two.
bool FirstThree(G3Facet* f, G3Vertex* out[3])
{
    if (f == nullptr || f->GetVertexCount() < 3)
        return false;
    G3FacetVertexIterator it(f);
    for (int k = 0; k < 3; ++k) {
        out[k] = it.NextVertex();
        if (out[k] == nullptr)
            return false;
    }
    return true;
}

// Whatever a vertex carries in its scratch link is replaced by this step's
// own record: a record of another step (a G3Derivative after mode 4) would
// be read with the wrong layout.
void BuildRecords(G3Surface* s)
{
    s->FormPlaneEquation();
    G3LandscapeHandler::ReleaseRecords(s);
    for (int i = 0; i < s->GetVertexCount(); ++i) {
        G3Vertex* v = s->GetVertex(i);
        const G3VertexSlope slope = G3ComputeVertexSlope(v);
        if (slope.facets > 0)
            v->SetExData(new G3Normal(-slope.SlopeX(), -slope.SlopeY(), 1.0));
    }
}

const G3Normal* Record(const G3Vertex* v) { return static_cast<const G3Normal*>(v->GetExData()); }

// The height gained along (ex, ey) by the tangent plane of record d.
double Rise(const G3Normal* d, double ex, double ey)
{
    return d ? -(d->GetX() * ex + d->GetY() * ey) / d->GetZ() : 0.0;
}

// Cubic Hermite midpoint of P-Q with the end slopes of their records, held
// at z = 0 or above as the centroids are: the terrain stands on z = 0, and
// the cover's bottom there crossed a midpoint that the curve took below it.
void Midpoint(const G3Vertex* p, const G3Vertex* q, double* out)
{
    const double ex = q->GetX() - p->GetX();
    const double ey = q->GetY() - p->GetY();
    const double sp = Rise(Record(p), ex, ey);
    const double sq = Rise(Record(q), ex, ey);
    out[0] = (p->GetX() + q->GetX()) / 2.0;
    out[1] = (p->GetY() + q->GetY()) / 2.0;
    out[2] = (p->GetZ() + q->GetZ()) / 2.0 + (sp - sq) / 8.0;
    if (out[2] < 0.0)
        out[2] = 0.0;
}

} // namespace

G3Surface* G3LandscapeHandler::SmoothSurface(G3Surface* surface)
{
    if (surface == nullptr)
        return nullptr;
    G3Surface* result = new G3Surface();
    BuildRecords(surface);
    // Corners and edge midpoints are made once and shared by the facets
    // around them: the weld then has nothing left to merge but coinciding
    // input vertices, and leaves no merged-away copies behind (it keeps
    // those while the surface has polyedges).
    std::vector<G3Vertex*> corner(static_cast<std::size_t>(surface->GetVertexCount()), nullptr);
    auto cornerOf = [&](G3Vertex* v) {
        G3Vertex*& r = corner[static_cast<std::size_t>(v->GetId())];
        if (r == nullptr)
            r = result->AddVertex(v->GetXYZ(), 0);
        return r;
    };
    std::map<std::pair<long, long>, G3Vertex*> middle;
    auto middleOf = [&](G3Vertex* p, G3Vertex* q) {
        const bool swap = p->GetId() > q->GetId();
        G3Vertex*& r = middle[swap ? std::make_pair(q->GetId(), p->GetId()) : std::make_pair(p->GetId(), q->GetId())];
        if (r == nullptr) {
            double m[3];
            Midpoint(swap ? q : p, swap ? p : q, m);
            r = result->AddVertex(m, 0);
        }
        return r;
    };
    for (int i = 0; i < surface->GetVertexCount(); ++i) {
        G3Vertex* v = surface->GetVertex(i);
        const G3Normal* d = Record(v);
        if (d == nullptr)
            continue;
        G3Vertex* ends[2] = {cornerOf(v),
                             result->AddVertex(v->GetX() + d->GetX(), v->GetY() + d->GetY(), v->GetZ() + d->GetZ(), 0)};
        result->AddPolyEdge(2, ends);
    }
    for (int i = 0; i < surface->GetFacetCount(); ++i) {
        G3Vertex* c[3];
        if (!FirstThree(surface->GetFacet(i), c))
            continue;
        G3Vertex* a = cornerOf(c[0]);
        G3Vertex* b = cornerOf(c[1]);
        G3Vertex* cc = cornerOf(c[2]);
        G3Vertex* ab = middleOf(c[0], c[1]);
        G3Vertex* ac = middleOf(c[0], c[2]);
        G3Vertex* bc = middleOf(c[1], c[2]);
        G3Vertex* t0[3] = {a, ab, ac};
        G3Vertex* t1[3] = {ab, bc, ac};
        G3Vertex* t2[3] = {bc, cc, ac};
        G3Vertex* t3[3] = {ab, b, bc};
        result->AddFacet(3, t0, 1, nullptr, nullptr);
        result->AddFacet(3, t1, 1, nullptr, nullptr);
        result->AddFacet(3, t2, 1, nullptr, nullptr);
        result->AddFacet(3, t3, 1, nullptr, nullptr);
    }
    ReleaseRecords(surface);
    result->RemoveEqualsVertex();
    // Copies the weld could not remove keep its link to their survivor.
    for (int i = 0; i < result->GetVertexCount(); ++i)
        result->GetVertex(i)->SetExData(nullptr);
    result->AverageNormalsByPlanes(nullptr);
    return result;
}

G3Surface* G3LandscapeHandler::SmoothSurfaceEx(G3Surface* surface)
{
    if (surface == nullptr)
        return nullptr;
    G3TriInterface tri;
    BuildRecords(surface);
    for (int i = 0; i < surface->GetVertexCount(); ++i)
        tri.AddVertex(surface->GetVertex(i)->GetXYZ());
    for (int i = 0; i < surface->GetFacetCount(); ++i) {
        G3Vertex* c[3];
        if (!FirstThree(surface->GetFacet(i), c))
            continue;
        double p[3] = {0.0, 0.0, 0.0};
        p[0] = (c[0]->GetX() + c[1]->GetX() + c[2]->GetX()) / 3.0;
        p[1] = (c[0]->GetY() + c[1]->GetY() + c[2]->GetY()) / 3.0;
        // Each corner's tangent plane carried to the centroid, averaged.
        for (G3Vertex* v : c)
            p[2] += (v->GetZ() + Rise(Record(v), p[0] - v->GetX(), p[1] - v->GetY())) / 3.0;
        if (p[2] < 0.0)
            p[2] = 0.0;
        tri.AddVertex(p);
    }
    ReleaseRecords(surface);
    if (!tri.MakeTriangulation(G3TriInterface::TRI_BASIC_DEFAULT))
        return nullptr;
    G3Surface* result = tri.GetSurface();
    if (result == nullptr)
        return nullptr;
    result->RemoveEqualsVertex();
    result->AverageNormalsByPlanes(nullptr);
    return result;
}

namespace {

// A duplicate whose vertices own what they carry: derivative records are
// copied (a mode-4 result carries over into the next smoothing), anything
// else stays the caller's and is not carried.
G3Surface* OwnDuplicate(G3Surface* surface)
{
    G3Surface* d = surface->Duplicate();
    for (int i = 0; d && i < d->GetVertexCount(); ++i) {
        G3Vertex* v = d->GetVertex(i);
        const G3Derivative* r = dynamic_cast<const G3Derivative*>(v->GetExData());
        v->SetExData(r ? new G3Derivative(*r) : nullptr);
    }
    return d;
}

// Every vertex coordinate finite and within the largest coordinate: the
// slopes and planes of a step multiply two coordinates, which overflow
// beyond it.
bool WithinLargestCoordinate(G3Surface* s)
{
    for (int i = 0; i < s->GetVertexCount(); ++i)
        for (int k = 0; k < 3; ++k)
            if (!(std::fabs(s->GetVertex(i)->GetXYZ()[k]) <= GTolerance::kLargestCoordinate))
                return false;
    return true;
}

} // namespace

G3Surface* G3LandscapeHandler::LandscapeSmoothing(G3Surface* surface, int mode, int iterations)
{
    if (surface == nullptr || !WithinLargestCoordinate(surface))
        return nullptr;
    G3Surface* working = OwnDuplicate(surface);
    if (working == nullptr || mode < 1 || mode > 4) {
        // No step runs: the copied records are nobody's to keep.
        if (working)
            ReleaseRecords(working);
        return working;
    }
    for (int i = 0; i < iterations && working; ++i) {
        G3Surface* next = nullptr;
        switch (mode) {
        case 1: next = SmoothSurface(working); break;
        case 2: next = SmoothSurfaceEx(working); break;
        default: next = SecondOrderSmoothSurface(working, mode); break;
        }
        ReleaseRecords(working);
        delete working;
        working = next;
    }
    // Records of another mode (or of the caller's, copied above) are not this
    // result's: only mode 4 hands its records on.
    if (working && mode != 4)
        ReleaseRecords(working);
    return working;
}
