// Volume and area of a surface from its facet contours.
//
// Invariants: nothing is written (entities, flags and scratch links stay as
// they are); each contour is walked as G3ContourWalker splits the chain, at
// most as many steps as the surface has edges, so a broken chain cannot
// loop. Coordinates are taken relative to the centre of the vertices' box
// before any product, which keeps the cone volumes of a model far from the
// origin small. The one place where it rounds beyond the products is the
// sum of the cones, kept with a compensated (Neumaier) sum so that many
// small cones of opposite sign do not lose the result.

#include "Geometry/mesh/G3SurfaceMeasure.h"

#include "Geometry/mesh/G3Edge.h"
#include "Geometry/mesh/G3Facet.h"
#include "Geometry/mesh/G3FacetIterators.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/mesh/G3Vertex.h"

#include <cmath>
#include <vector>

namespace {

struct CompensatedSum {
    double sum = 0.0;
    double carry = 0.0;
    void Add(double x)
    {
        const double t = sum + x;
        if (std::fabs(sum) >= std::fabs(x))
            carry += (sum - t) + x;
        else
            carry += (x - t) + sum;
        sum = t;
    }
    double Value() const { return sum + carry; }
};

// Six times the signed volume of the cone from the origin over the polygon
// (corners relative to the reference point), as a fan from its first corner.
void AddCones(const std::vector<const double*>& corners, const double* c, CompensatedSum& total)
{
    const std::size_t n = corners.size();
    if (n < 3)
        return;
    const double a[3] = {corners[0][0] - c[0], corners[0][1] - c[1], corners[0][2] - c[2]};
    for (std::size_t i = 1; i + 1 < n; ++i) {
        const double b[3] = {corners[i][0] - c[0], corners[i][1] - c[1], corners[i][2] - c[2]};
        const double d[3] = {corners[i + 1][0] - c[0], corners[i + 1][1] - c[1], corners[i + 1][2] - c[2]};
        const double cross[3] = {b[1] * d[2] - b[2] * d[1], b[2] * d[0] - b[0] * d[2], b[0] * d[1] - b[1] * d[0]};
        total.Add(a[0] * cross[0] + a[1] * cross[1] + a[2] * cross[2]);
    }
}

// Calls `take` with each contour of f in turn in `corners`, walking at
// most `limit` steps (a broken chain cannot loop).
template <typename Take>
void ForEachContour(const G3Facet* f, long limit, std::vector<const double*>& corners, Take take)
{
    corners.clear();
    G3ContourWalker w(f);
    for (long steps = 0; steps < limit && w.Next(); ++steps) {
        if (w.Opens()) {
            take();
            corners.clear();
        }
        if (const G3Vertex* v = w.GetEntry())
            corners.push_back(v->GetXYZ());
    }
    take();
}

// Twice the vector area of the polygon, as a fan from its first corner
// (products about that corner, so that a polygon far from the origin keeps
// its small area), added to `sum`.
void AddVectorArea(const std::vector<const double*>& corners, double* sum)
{
    const std::size_t n = corners.size();
    if (n < 3)
        return;
    const double* a = corners[0];
    for (std::size_t i = 1; i + 1 < n; ++i) {
        const double b[3] = {corners[i][0] - a[0], corners[i][1] - a[1], corners[i][2] - a[2]};
        const double d[3] = {corners[i + 1][0] - a[0], corners[i + 1][1] - a[1], corners[i + 1][2] - a[2]};
        sum[0] += b[1] * d[2] - b[2] * d[1];
        sum[1] += b[2] * d[0] - b[0] * d[2];
        sum[2] += b[0] * d[1] - b[1] * d[0];
    }
}

} // namespace

double G3SurfaceArea(const G3Surface* s)
{
    if (!s)
        return 0.0;
    double total = 0.0;
    std::vector<const double*> corners;
    const long limit = s->GetEdgeCount();
    for (int i = 0; i < s->GetFacetCount(); ++i) {
        const G3Facet* f = s->GetFacet(i);
        if (!f)
            continue;
        // The contours' vector areas add up: holes run the other way.
        double sum[3] = {0.0, 0.0, 0.0};
        ForEachContour(f, limit, corners, [&] { AddVectorArea(corners, sum); });
        total += 0.5 * std::sqrt(sum[0] * sum[0] + sum[1] * sum[1] + sum[2] * sum[2]);
    }
    return total;
}

double G3SurfaceVolume(const G3Surface* s)
{
    if (!s || s->GetFacetCount() == 0 || s->GetVertexCount() == 0)
        return 0.0;
    double lo[3], hi[3];
    for (int k = 0; k < 3; ++k) {
        lo[k] = HUGE_VAL;
        hi[k] = -HUGE_VAL;
    }
    for (int i = 0; i < s->GetVertexCount(); ++i) {
        const G3Vertex* v = s->GetVertex(i);
        if (!v)
            continue;
        const double* p = v->GetXYZ();
        for (int k = 0; k < 3; ++k) {
            lo[k] = p[k] < lo[k] ? p[k] : lo[k];
            hi[k] = p[k] > hi[k] ? p[k] : hi[k];
        }
    }
    double centre[3];
    for (int k = 0; k < 3; ++k)
        centre[k] = lo[k] <= hi[k] ? lo[k] + 0.5 * (hi[k] - lo[k]) : 0.0;

    CompensatedSum total;
    std::vector<const double*> corners;
    const long limit = s->GetEdgeCount();
    for (int i = 0; i < s->GetFacetCount(); ++i) {
        const G3Facet* f = s->GetFacet(i);
        if (!f)
            continue;
        ForEachContour(f, limit, corners, [&] { AddCones(corners, centre, total); });
    }
    return total.Value() / 6.0;
}

bool G3SurfaceWatertight(const G3Surface* s)
{
    if (!s)
        return true;
    for (int i = 0; i < s->GetEdgeCount(); ++i) {
        const G3Edge* e = s->GetEdge(i);
        if ((e->GetFacet1() != nullptr) != (e->GetFacet2() != nullptr))
            return false;
    }
    return true;
}
