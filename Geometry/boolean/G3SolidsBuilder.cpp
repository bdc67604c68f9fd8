// Boxes, spheres and shells built from scratch. Invariants: every surface
// returned is built through G3Surface's own calls (entities from their
// pools, ids equal to indexes) and passes the mesh check; the source of a
// shell is only read (the marks that hold its kept planes are cleared
// before returning); no index read from a facet is trusted without a range
// check. The one place that rounds is the corner of a shell, solved from
// three moved planes by Cramer's rule; a corner whose planes' unit normals
// have a triple product below kZeroNormal is dropped rather than solved (two
// of them are parallel up to rounding: coplanar triangles of one face give
// 1e-17 there, and solving would put the corner far away).
#include "Geometry/boolean/G3SolidsBuilder.h"

#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/math/GMatrix.h"
#include "Geometry/math/GTolerance.h"
#include "Geometry/mesh/CExData.h"
#include "Geometry/mesh/G3Edge.h"
#include "Geometry/mesh/G3Facet.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/mesh/G3Vertex.h"

#include <cmath>
#include <cstdint>
#include <vector>

namespace {

constexpr double kPi = 3.14159265358979323846;

G3Facet* OtherFacet(const G3Edge* e, const G3Facet* f)
{
    return e->GetFacet1() == f ? e->GetFacet2() : e->GetFacet1();
}

} // namespace

G3Surface* G3SolidsBuilder::BuildBox(double (*m)[4], double size, CExDataProvider* provider)
{
    if (!std::isfinite(size) || size <= 0.0)
        return nullptr;
    const double s = size;
    const double p[8][3] = {{-s, -s, 0}, {s, -s, 0}, {s, s, 0}, {-s, s, 0},
                            {-s, -s, 2 * s}, {s, -s, 2 * s}, {s, s, 2 * s}, {-s, s, 2 * s}};
    static const int faces[6][4] = {{0, 1, 2, 3}, {4, 5, 6, 7}, {0, 1, 5, 4},
                                    {1, 2, 6, 5}, {2, 3, 7, 6}, {3, 0, 4, 7}};
    G3Surface* box = new G3Surface();
    box->GetExtendedDataFacetDefault() = provider;
    for (const auto& q : p)
        box->AddVertex(q, 0);
    for (const auto& face : faces) {
        int ids[4] = {face[0], face[1], face[2], face[3]};
        box->AddFacet(4, ids, 1, nullptr, nullptr);
    }
    box->FormPlaneEquation();
    box->OrientNormals2(false);
    if (m)
        box->RealTransformation(m);
    return box;
}

G3Surface* G3SolidsBuilder::BuildSphere(const double* center, double radius, int n)
{
    if (!center)
        return nullptr;
    G3Surface* out = new G3Surface();
    if (n % 2 != 0 && n < INT32_MAX)
        ++n;
    if (!(radius > GTolerance::kZeroLength) || !std::isfinite(radius) || n < 4 || !std::isfinite(center[0]) ||
        !std::isfinite(center[1]) || !std::isfinite(center[2]))
        return out;
    const int rings = n / 2 + 1;
    // Rings times meridians must stay an index.
    if (static_cast<long long>(rings) * n > INT32_MAX / 2)
        return out;
    for (int k = 0; k < rings; ++k) {
        const double theta = 2.0 * kPi * k / n;
        for (int j = 0; j < n; ++j) {
            const double phi = 2.0 * kPi * j / n;
            out->AddVertex(center[0] + radius * std::cos(phi) * std::sin(theta),
                           center[1] + radius * std::sin(phi) * std::sin(theta), center[2] + radius * std::cos(theta),
                           0);
        }
    }
    for (int k = 0; k + 1 < rings; ++k)
        for (int j = 0; j < n; ++j) {
            const int jn = (j + 1) % n;
            // Counter-clockwise seen from outside: the sphere is a solid.
            int ids[4] = {k * n + j, (k + 1) * n + j, (k + 1) * n + jn, k * n + jn};
            out->AddFacet(4, ids, 2, nullptr, nullptr);
        }
    out->FormPlaneEquation();
    out->RemoveEqualsVertex();
    out->FormPlaneEquation();
    return out;
}

void G3SolidsBuilder::CalcNewPlaneEquation(G3Facet* f, double thickness, double* plane)
{
    const double* p = f->GetPlane();
    for (int k = 0; k < 4; ++k)
        plane[k] = p[k];
    if (!f->GetMark())
        plane[3] -= thickness;
}

void G3SolidsBuilder::ShellFacet(G3Facet* f, G3Surface* out, double thickness)
{
    GArrayCollection all;
    f->GetEdges(&all);
    // The outer contour only: it runs until an edge shares no vertex with
    // the one before it (the first hole starts there).
    std::vector<G3Edge*> edges;
    for (int k = 0; k < all.size(); ++k) {
        G3Edge* e = static_cast<G3Edge*>(all.get(k));
        if (!edges.empty()) {
            const G3Edge* prev = edges.back();
            const bool joined = e->GetVertex1() == prev->GetVertex1() || e->GetVertex1() == prev->GetVertex2() ||
                                e->GetVertex2() == prev->GetVertex1() || e->GetVertex2() == prev->GetVertex2();
            if (!joined)
                break;
        }
        edges.push_back(e);
    }
    const int n = static_cast<int>(edges.size());
    if (n < 3)
        return;
    double P[4];
    CalcNewPlaneEquation(f, thickness, P);
    const double minDet = GTolerance::kZeroNormal;
    std::vector<G3Vertex*> corners;
    for (int k = 0; k < n; ++k) {
        G3Facet* g1 = OtherFacet(edges[k], f);
        G3Facet* g2 = OtherFacet(edges[(k + 1) % n], f);
        if (!g1 || !g2)
            continue;
        double Q[4];
        double R[4];
        CalcNewPlaneEquation(g1, thickness, Q);
        CalcNewPlaneEquation(g2, thickness, R);
        const double det = Det3x3(P[0], Q[0], R[0], P[1], Q[1], R[1], P[2], Q[2], R[2]);
        if (!(std::fabs(det) >= minDet))
            continue;
        const double x = Det3x3(-P[3], -Q[3], -R[3], P[1], Q[1], R[1], P[2], Q[2], R[2]) / det;
        const double y = Det3x3(P[0], Q[0], R[0], -P[3], -Q[3], -R[3], P[2], Q[2], R[2]) / det;
        const double z = Det3x3(P[0], Q[0], R[0], P[1], Q[1], R[1], -P[3], -Q[3], -R[3]) / det;
        if (!std::isfinite(x) || !std::isfinite(y) || !std::isfinite(z))
            continue;
        corners.push_back(out->AddVertex(x, y, z, 0));
    }
    if (corners.size() < 3)
        return;
    G3Facet* g = out->AddFacet(static_cast<int>(corners.size()), corners.data(), 1, nullptr, nullptr);
    if (!g)
        return;
    const long scratch = G3Obj::FLAG_MARK | G3Obj::FLAG_MARK2 | G3Obj::FLAG_MARK3 | G3Obj::FLAG_MARK4;
    g->SetFlags(f->GetFlags() & ~scratch);
    g->SetSurface(static_cast<int>(f->GetId()));
}

bool G3SolidsBuilder::Shell(G3Surface* s, G3Surface** out, double thickness, GArrayCollection* keep)
{
    if (out)
        *out = nullptr;
    if (!s || !out || !std::isfinite(thickness))
        return false;
    s->AssignFacetIds();
    GArrayCollection* facets = s->GetFacetList();
    const int count = s->GetFacetCount();
    // Only facets of s are marked, each once, so that clearing them again
    // touches nothing else.
    std::vector<G3Facet*> kept;
    if (keep)
        for (int k = 0; k < keep->size(); ++k) {
            G3Facet* f = dynamic_cast<G3Facet*>(keep->get(k));
            if (!f)
                continue;
            if (f->GetId() < 0 || f->GetId() >= count || facets->get(static_cast<int>(f->GetId())) != f ||
                f->GetMark())
                continue;
            f->SetMark();
            kept.push_back(f);
        }
    G3Surface* R = new G3Surface();
    for (int k = 0; k < count; ++k)
        ShellFacet(static_cast<G3Facet*>(facets->get(k)), R, thickness);
    for (G3Facet* f : kept)
        f->ClearMark();
    R->RemoveEqualsVertex();
    R->RemoveNonManifoldEdges();
    R->RemoveSelfIntersections();
    R->FormPlaneEquation();
    // A facet whose rebuilt plane turned against the facet it was made
    // from (an inward shell thicker than the solid allows) goes.
    RemoveTurned(R, s);
    R->RemoveUnused();
    R->AssignIds();
    *out = R;
    return true;
}

void G3SolidsBuilder::RemoveTurned(G3Surface* shell, G3Surface* source)
{
    if (!shell || !source)
        return;
    GArrayCollection* facets = source->GetFacetList();
    const int count = source->GetFacetCount();
    GArrayCollection turned;
    for (int k = 0; k < shell->GetFacetCount(); ++k) {
        G3Facet* g = shell->GetFacet(k);
        if (g->GetMark2())
            continue;
        const int src = g->GetSurface();
        if (src < 0 || src >= count)
            continue;
        const double* a = g->GetPlane();
        const double* b = static_cast<G3Facet*>(facets->get(src))->GetPlane();
        if (a[0] * b[0] + a[1] * b[1] + a[2] * b[2] < GTolerance::kZeroLength)
            turned.add(g);
    }
    for (int k = 0; k < turned.size(); ++k)
        shell->RemoveFacet(static_cast<G3Facet*>(turned.get(k)));
}
