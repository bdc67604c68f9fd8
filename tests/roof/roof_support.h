#pragma once
// Runs the roof generator on plain outlines and measures what it wrote with
// oracles of their own: shoelace areas, distances to the outline's edges.

#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/mesh/G3Facet.h"
#include "Geometry/mesh/G3Point.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/mesh/G3Vertex.h"
#include "Geometry/roof/G3RoofGenerator.h"
#include "common/builders.h"
#include "mesh/mesh_check.h"

#include <gtest/gtest.h>

#include <cmath>
#include <utility>
#include <vector>

namespace roof {

constexpr double kPi = 3.14159265358979323846;
inline double Deg(double d) { return d * kPi / 180.0; }

struct Pt {
    double x, y;
};

// The 10 x 6 rectangle most chosen-outline tests start from.
const std::vector<Pt> kRect = {{0, 0}, {10, 0}, {10, 6}, {0, 6}};

// An outline handed to Regen, owning its points and angles.
struct Outline {
    std::vector<G3Point> objs;
    std::vector<double> angles;
    GArrayCollection points, angleList;

    Outline(const std::vector<Pt>& p, const std::vector<double>& a) : angles(a)
    {
        for (const Pt& q : p)
            objs.emplace_back(q.x, q.y, 0.0);
        for (G3Point& q : objs)
            points.add(&q);
        for (double& v : angles)
            angleList.add(G3RoofGenerator::AngleEntry(&v));
    }
    Outline(const Outline&) = delete;
    Outline& operator=(const Outline&) = delete;
};

inline bool Build(G3Surface* s, const std::vector<Pt>& pts, const std::vector<double>& angles,
                  double thickness = 0.0, double overhang = 0.0)
{
    Outline o(pts, angles);
    G3RoofGenerator gen(s, 0.0, thickness, overhang);
    return gen.Regen(&o.points, &o.angleList);
}

inline double PolygonArea(const std::vector<Pt>& p)
{
    double a = 0.0;
    for (std::size_t i = 0; i < p.size(); ++i) {
        a += p[i].x * p[(i + 1) % p.size()].y - p[(i + 1) % p.size()].x * p[i].y;
    }
    return 0.5 * a;
}

using testmesh::Corners;

// Signed area of the facet's projection on z = 0 (positive: counter-clockwise
// seen from above).
inline double ProjectedArea(G3Facet* f)
{
    std::vector<Pt> p;
    for (G3Vertex* v : Corners(f))
        p.push_back({v->GetXYZ()[0], v->GetXYZ()[1]});
    return PolygonArea(p);
}

// Sum of the projected areas of the facets of `type`.
inline double RoofArea(G3Surface* s, ROOF_FACET_TYPE type)
{
    double a = 0.0;
    for (int i = 0; i < s->GetFacetCount(); ++i)
        if (G3RoofGenerator::GetFacetType(s->GetFacet(i)) == type)
            a += ProjectedArea(s->GetFacet(i));
    return a;
}

// The number of facets of each type, indexed by ROOF_FACET_TYPE.
inline std::vector<int> TypeCounts(G3Surface* s)
{
    std::vector<int> n(5, 0);
    for (int i = 0; i < s->GetFacetCount(); ++i)
        ++n.at(static_cast<std::size_t>(G3RoofGenerator::GetFacetType(s->GetFacet(i))));
    return n;
}

// Distance from q to the outline (its nearest edge).
inline double OutlineDistance(const double* q, const std::vector<Pt>& p)
{
    double d = 1e300;
    for (std::size_t i = 0; i < p.size(); ++i) {
        const Pt& a = p[i];
        const double dx = p[(i + 1) % p.size()].x - a.x, dy = p[(i + 1) % p.size()].y - a.y;
        const double t =
            std::fmax(0.0, std::fmin(1.0, ((q[0] - a.x) * dx + (q[1] - a.y) * dy) / (dx * dx + dy * dy)));
        d = std::fmin(d, std::hypot(q[0] - a.x - t * dx, q[1] - a.y - t * dy));
    }
    return d;
}

// The height of edge e's pitch plane (edge from point e-1 to point e) over q.
inline double PlaneHeight(const double* q, const std::vector<Pt>& p, const std::vector<double>& a, int e)
{
    const Pt& u = p[(static_cast<std::size_t>(e) + p.size() - 1) % p.size()];
    const Pt& w = p[static_cast<std::size_t>(e)];
    const double dx = w.x - u.x, dy = w.y - u.y;
    const double distance = std::fabs((q[0] - u.x) * dy - (q[1] - u.y) * dx) / std::hypot(dx, dy);
    return std::tan(a[static_cast<std::size_t>(e)]) * distance;
}

// Removes corners that turn by less than 0.01 rad (with the angle of the
// edge ending there): random outlines keep clear of nearly straight
// corners, whose events crowd together.
inline void DropFlatCorners(std::vector<Pt>& p, std::vector<double>& a)
{
    for (std::size_t i = 0; p.size() > 3 && i < p.size();) {
        const Pt& u = p[(i + p.size() - 1) % p.size()];
        const Pt& w = p[(i + 1) % p.size()];
        const double cross = (p[i].x - u.x) * (w.y - p[i].y) - (p[i].y - u.y) * (w.x - p[i].x);
        const double dot = (p[i].x - u.x) * (w.x - p[i].x) + (p[i].y - u.y) * (w.y - p[i].y);
        if (std::fabs(std::atan2(cross, dot)) < 0.01) {
            p.erase(p.begin() + static_cast<long>(i));
            a.erase(a.begin() + static_cast<long>(i));
            i = 0;
        } else {
            ++i;
        }
    }
}

// The lowest and highest z of the surface's vertices.
inline std::pair<double, double> ZRange(G3Surface* s)
{
    std::pair<double, double> z = {1e300, -1e300};
    for (int i = 0; i < s->GetVertexCount(); ++i) {
        z.first = std::fmin(z.first, s->GetVertex(i)->GetXYZ()[2]);
        z.second = std::fmax(z.second, s->GetVertex(i)->GetXYZ()[2]);
    }
    return z;
}

// Every facet of s is consistent, lies in the pitch plane of its own edge
// (indices of the outline as given), and the roof facets' projections tile
// the outline. With `cone`, no vertex rises above tan(a[0]) times its
// distance to the outline (equality over convex parts; near a reflex corner
// the roof stays below that cone): the case of one pitch. `slack` is the
// height tolerance, and relative to the outline's area the area's.
inline void ExpectRoofInPlanes(G3Surface* s, const std::vector<Pt>& p, const std::vector<double>& a,
                               bool cone, double slack = 1e-9)
{
    EXPECT_EQ("", MeshCheck(s));
    for (int i = 0; i < s->GetFacetCount(); ++i) {
        G3Facet* f = s->GetFacet(i);
        const long e = G3RoofGenerator::GetFacetIndex(f) - 1;
        ASSERT_TRUE(e >= 0 && e < static_cast<long>(p.size())) << e;
        EXPECT_GT(ProjectedArea(f), -1e-12);
        for (G3Vertex* v : Corners(f)) {
            const double* q = v->GetXYZ();
            ASSERT_NEAR(q[2], PlaneHeight(q, p, a, static_cast<int>(e)), slack) << "facet " << i;
            if (cone) {
                ASSERT_LE(q[2], std::tan(a[0]) * OutlineDistance(q, p) + slack) << "facet " << i;
            }
        }
    }
    EXPECT_NEAR(std::fabs(PolygonArea(p)), RoofArea(s, ROOF_FACET_ROOF), slack * std::fabs(PolygonArea(p)));
}

} // namespace roof
