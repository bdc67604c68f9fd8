// Queries against a prepared surface (the facet under a point, the points
// where a segment meets the surface, classification by rays through the
// grid), the facet octree, and sections by planes, against exact answers
// for boxes and brute force over all facets.

#include "boolean/solid_fixtures.h"
#include "mesh/mesh_check.h"

#include "Geometry/boolean/G3BCPointWriter.h"
#include "Geometry/boolean/G3BooleanCalculator.h"
#include "Geometry/boolean/G3QuadraSurfaceTree.h"
#include "Geometry/foundation/GRandom.h"
#include "Geometry/math/GEnvelope.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <random>
#include <set>

namespace {

using namespace fixtures;

const P kLo = {0, 0, 0};
const P kHi = {1, 2, 1};

bool OnBoxSurface(const P& p)
{
    bool inside = true;
    bool onFace = false;
    for (int d = 0; d < 3; ++d) {
        inside = inside && p[d] >= kLo[d] - 1e-12 && p[d] <= kHi[d] + 1e-12;
        onFace = onFace || std::fabs(p[d] - kLo[d]) < 1e-12 || std::fabs(p[d] - kHi[d]) < 1e-12;
    }
    return inside && onFace;
}

// The parameters t0 <= t1 where the segment p..q enters and leaves the
// closed box lo..hi (slab test); t0 > t1 when it misses.
std::pair<double, double> Slabs(const P& p, const P& q, const double* lo, const double* hi)
{
    double t0 = 0.0;
    double t1 = 1.0;
    for (int d = 0; d < 3; ++d) {
        const double dir = q[d] - p[d];
        if (dir == 0.0) {
            if (p[d] < lo[d] || p[d] > hi[d])
                return {1.0, 0.0};
            continue;
        }
        const double a = (lo[d] - p[d]) / dir;
        const double b = (hi[d] - p[d]) / dir;
        t0 = std::max(t0, std::min(a, b));
        t1 = std::min(t1, std::max(a, b));
    }
    return {t0, t1};
}

// The points where the segment meets the box's boundary, except its end q
// (a segment ending on the surface reports nothing there). The segment must
// not lie in a face plane.
std::vector<P> ExactMeetings(const P& p, const P& q)
{
    const auto [t0, t1] = Slabs(p, q, kLo.data(), kHi.data());
    std::vector<P> out;
    for (double t : {t0, t1}) {
        const P x = {p[0] + t * (q[0] - p[0]), p[1] + t * (q[1] - p[1]), p[2] + t * (q[2] - p[2])};
        if (t0 <= t1 + 1e-12 && OnBoxSurface(x) && Distance(x.data(), q.data()) > 1e-9 &&
            (out.empty() || Distance(x.data(), out[0].data()) > 1e-9))
            out.push_back(x);
    }
    return out;
}

// Collects reported points, one per place (within 1e-6).
class Points : public G3BCPointWriter {
public:
    void WritePoint(const double* p, G3Facet*) override
    {
        for (const P& known : points)
            if (Distance(known.data(), p) < 1e-6)
                return;
        points.push_back({p[0], p[1], p[2]});
    }
    std::vector<P> points;
};

bool SamePlaces(std::vector<P> a, std::vector<P> b)
{
    if (a.size() != b.size())
        return false;
    for (const P& x : a)
        if (std::none_of(
                b.begin(), b.end(), [&x](const P& y) { return Distance(x.data(), y.data()) < 1e-6; }))
            return false;
    return true;
}

// A point on a quarter grid around the box (faces, edges and corners
// included), or anywhere near it.
P Sample(std::mt19937& rng)
{
    std::uniform_int_distribution<int> grid(-1, 9);
    std::uniform_real_distribution<double> u(-0.3, 2.3);
    P p;
    const bool snap = rng() % 3 != 0;
    for (int d = 0; d < 3; ++d)
        p[d] = snap ? 0.25 * grid(rng) : u(rng);
    return p;
}

TEST(SurfaceQuery, FacetsMeetingsAndClassesMatchTheBox)
{
    for (bool split : {false, true}) {
        SurfacePtr box = Box(kLo, kHi, split);
        G3BooleanCalculator c;
        ASSERT_TRUE(c.OpenFindIntersection(box.get()));
        std::mt19937 rng(split ? 99 : 98);
        GSRand(7);
        int met = 0;
        for (int trial = 0; trial < 3000; ++trial) {
            const P p = Sample(rng);
            const P q = Sample(rng);
            G3Facet* f = c.FindFacet(p.data());
            ASSERT_EQ(OnBoxSurface(p), f != nullptr) << p[0] << " " << p[1] << " " << p[2];
            if (f) {
                const double* pl = f->GetPlane();
                EXPECT_NEAR(0.0, pl[0] * p[0] + pl[1] * p[1] + pl[2] * p[2] + pl[3], 1e-12);
            }
            bool strictly = true;
            for (int d = 0; d < 3; ++d)
                strictly = strictly && p[d] > kLo[d] && p[d] < kHi[d];
            const SURF_CLASSIFY expected = f ? SC_ON : (strictly ? SC_INSIDE : SC_OUTSIDE);
            if (trial % 2) {
                EXPECT_EQ(expected, c.FindVertexClassify(p.data())) << trial;
                if (expected != SC_ON) {
                    EXPECT_EQ(expected, c.FindRayClassify(p.data(), q.data(), nullptr)) << trial;
                }
            }
            bool inFacePlane = Distance(p.data(), q.data()) < 1e-9;
            for (int d = 0; d < 3; ++d)
                for (double bound : {kLo[d], kHi[d]})
                    inFacePlane = inFacePlane || (p[d] == bound && q[d] == bound);
            if (inFacePlane)
                continue;
            Points w;
            c.FindIntersections(p.data(), q.data(), &w);
            const std::vector<P> exact = ExactMeetings(p, q);
            met += !exact.empty();
            ASSERT_TRUE(SamePlaces(exact, w.points))
                << trial << ": " << exact.size() << " vs " << w.points.size() << " from " << p[0] << " "
                << p[1] << " " << p[2] << " to " << q[0] << " " << q[1] << " " << q[2];
        }
        EXPECT_GT(met, 500);
        // Along the bottom face, inside it: the line y = 1 crosses the
        // face's sides x = 0 and x = 1 (and the diagonal of a split face).
        const double a[3] = {0.25, 1.0, 0.0}, b[3] = {0.75, 1.0, 0.0};
        Points w;
        c.FindIntersections(a, b, &w);
        EXPECT_TRUE(split || SamePlaces({{0, 1, 0}, {1, 1, 0}}, w.points));
        EXPECT_TRUE(c.CloseFindIntersection(box.get()));
        EXPECT_EQ(nullptr, box->GetExDataProvider());
        EXPECT_EQ("", MeshCheck(box.get()));
    }
}

TEST(SurfaceQuery, QueriesOutsideAQueryPeriodAndUnusablePoints)
{
    // After a period: the grid is gone.
    G3BooleanCalculator c;
    SurfacePtr cube = Box({0, 0, 0}, {1, 1, 1});
    ASSERT_TRUE(c.OpenFindIntersection(cube.get()));
    EXPECT_TRUE(c.CloseFindIntersection(cube.get()));
    const double p[3] = {0, 0, 0};
    const double nan[3] = {std::numeric_limits<double>::quiet_NaN(), 0, 0};
    Points w;
    EXPECT_EQ(nullptr, c.FindFacet(p));
    EXPECT_EQ(0, c.FindIntersections(p, p, &w));
    EXPECT_EQ(SC_UNKNOWN, c.FindVertexClassify(p));
    EXPECT_EQ(SC_UNKNOWN, c.FindRayClassify(p, p, nullptr));
    EXPECT_FALSE(c.OpenFindIntersection(nullptr));
    EXPECT_FALSE(c.CloseFindIntersection(cube.get()));
    ASSERT_TRUE(c.OpenFindIntersection(cube.get()));
    EXPECT_EQ(nullptr, c.FindFacet(nan));
    EXPECT_EQ(0, c.FindIntersections(nan, p, &w));
    EXPECT_EQ(SC_UNKNOWN, c.FindVertexClassify(nan));
    c.CloseFindIntersection(cube.get());
}

// Rays into a half-space from points well away from the surface's box
// (farther than its diagonal), aimed at the box: the surface's rays were
// twice the diagonal long, so one could end inside the solid and an outside
// point came out inside. Points inside the box keep their answers.
TEST(SurfaceQuery, HalfSpaceRaysFromFarPointsReachPastTheSolid)
{
    std::mt19937 rng(31);
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    SurfacePtr box = Box(kLo, kHi, true);
    G3BooleanCalculator c;
    ASSERT_TRUE(c.OpenFindIntersection(box.get()));
    GSRand(5);
    const P centre = {0.5, 1.0, 0.5};
    for (int k = 0; k < 400; ++k) {
        const bool in = k % 4 == 0;
        P d = {unit(rng), unit(rng), unit(rng)};
        const double l = std::hypot(d[0], d[1], d[2]) / (in ? 0.4 : 4 + 2 * unit(rng));
        const P p = {centre[0] + d[0] / l, centre[1] + d[1] / l, centre[2] + d[2] / l};
        const SURF_CLASSIFY got = c.FindRayClassify(p.data(), in ? p.data() : centre.data(), nullptr);
        if (got != SC_UNKNOWN) {
            ASSERT_EQ(in ? SC_INSIDE : SC_OUTSIDE, got) << "point " << k;
        }
    }
    EXPECT_TRUE(c.CloseFindIntersection(box.get()));
}

// ------------------------------------------------------------ octree

// A soup of small triangles in [0, 10]^3, a few large ones, and boxes
// whose faces share vertices.
SurfacePtr Soup(std::mt19937& rng, int count)
{
    SurfacePtr s(new G3Surface());
    std::uniform_real_distribution<double> u(0.0, 10.0);
    std::uniform_real_distribution<double> small(-0.3, 0.3);
    for (int k = 0; k < count; ++k) {
        const P c = {u(rng), u(rng), u(rng)};
        const double r = k % 50 == 0 ? 15.0 : 1.0;
        Face(s.get(), {s->AddVertex(c[0] + r * small(rng), c[1] + r * small(rng), c[2], 0),
                       s->AddVertex(c[0] + r * small(rng), c[1], c[2] + r * small(rng), 0),
                       s->AddVertex(c[0], c[1] + r * small(rng), c[2] + r * small(rng), 0)});
    }
    AddBox(s.get(), {2, 2, 2}, {4, 4, 4}, true);
    AddBox(s.get(), {4, 2, 2}, {5, 4, 4});
    return s;
}

TEST(QuadraSurfaceTree, SearchesFindEveryFacetWhoseBoxTheyMeetOnceAlsoInACopy)
{
    std::mt19937 rng(31);
    SurfacePtr s = Soup(rng, 1500);
    auto tree = std::make_unique<G3QuadraSurfaceTree>(s.get());
    GArrayCollection out;
    const double origin[3] = {0, 0, 0};
    EXPECT_FALSE(tree->FindIntersection(origin, origin, &out));
    ASSERT_TRUE(tree->MakeTree());
    ASSERT_NE(nullptr, tree->GetRoot());
    EXPECT_NE(nullptr, tree->GetRoot()->children[0]); // more than 200 facets: split
    // A copy searches on its own once the original is gone (assignment
    // shares the copy's road).
    G3QuadraSurfaceTree copy(*tree);
    tree.reset();
    EXPECT_FALSE(G3QuadraSurfaceTree(nullptr).MakeTree());

    std::vector<GEnvelope> boxes(static_cast<std::size_t>(s->GetFacetCount()));
    for (int k = 0; k < s->GetFacetCount(); ++k)
        s->GetFacet(k)->FormEnvelope(&boxes[static_cast<std::size_t>(k)]);
    std::uniform_real_distribution<double> u(-1.0, 11.0);
    std::uniform_int_distribution<int> pick(0, s->GetVertexCount() - 1);
    auto vertex = [&](int k) {
        const double* x = s->GetVertex(k)->GetXYZ();
        return P{x[0], x[1], x[2]};
    };
    for (int trial = 0; trial < 300; ++trial) {
        // Random segments, and segments between vertices of the surface
        // (through facet corners and along box edges).
        const P p = trial % 2 ? vertex(pick(rng)) : P{u(rng), u(rng), u(rng)};
        const P q = trial % 3 ? vertex(pick(rng)) : P{u(rng), u(rng), u(rng)};
        for (double aperture : {-1.0, 0.0, 0.5}) {
            out.clear();
            if (aperture < 0)
                ASSERT_TRUE(copy.FindIntersection(p.data(), q.data(), &out));
            else
                ASSERT_TRUE(copy.FindIntersectionInApertura(p.data(), q.data(), aperture, &out));
            std::set<GObj*> found(out.toArray(), out.toArray() + out.size());
            ASSERT_EQ(static_cast<std::size_t>(out.size()), found.size()) << "reported twice";
            for (int k = 0; k < s->GetFacetCount(); ++k) {
                ASSERT_FALSE(s->GetFacet(k)->GetMark());
                const auto [t0, t1] = Slabs(p, q, boxes[k].min, boxes[k].max);
                if (t0 <= t1) {
                    ASSERT_TRUE(found.count(s->GetFacet(k)))
                        << trial << " facet " << k << " aperture " << aperture;
                }
            }
        }
    }
}

// ------------------------------------------------------------ sections

// Area of the plane's section of the convex hull of `corners` (the eight
// corners of a box): the plane (of unit normal) meets the twelve edges in a
// convex polygon, whose points are put in angular order about their
// centroid.
double ExactBoxSection(const std::vector<P>& corners, const double* plane)
{
    const int edges[12][2] = {{0, 1}, {2, 3}, {4, 5}, {6, 7}, {0, 2}, {1, 3},
                              {4, 6}, {5, 7}, {0, 4}, {1, 5}, {2, 6}, {3, 7}};
    auto value = [&](const P& p) { return plane[0] * p[0] + plane[1] * p[1] + plane[2] * p[2] + plane[3]; };
    std::vector<P> pts;
    for (const auto& e : edges) {
        const P& a = corners[static_cast<std::size_t>(e[0])];
        const P& b = corners[static_cast<std::size_t>(e[1])];
        const double da = value(a);
        const double db = value(b);
        if (std::fabs(da) < 1e-12)
            pts.push_back(a);
        if (std::fabs(db) < 1e-12)
            pts.push_back(b);
        if ((da > 1e-12 && db < -1e-12) || (da < -1e-12 && db > 1e-12)) {
            const double t = da / (da - db);
            pts.push_back({a[0] + t * (b[0] - a[0]), a[1] + t * (b[1] - a[1]), a[2] + t * (b[2] - a[2])});
        }
    }
    if (pts.size() < 3)
        return 0.0;
    P c = {0, 0, 0};
    for (const P& p : pts)
        for (int d = 0; d < 3; ++d)
            c[d] += p[d] / static_cast<double>(pts.size());
    // About the centroid: the angle from the first point, and twice the
    // signed area of the triangle to the next point, along the normal.
    auto turn = [&](const P& p, const P& q) {
        const P u = {p[0] - c[0], p[1] - c[1], p[2] - c[2]}, v = {q[0] - c[0], q[1] - c[1], q[2] - c[2]};
        const P x = {u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2], u[0] * v[1] - u[1] * v[0]};
        return std::make_pair(
            x[0] * plane[0] + x[1] * plane[1] + x[2] * plane[2], u[0] * v[0] + u[1] * v[1] + u[2] * v[2]);
    };
    const P first = pts[0];
    std::sort(pts.begin(), pts.end(), [&](const P& p, const P& q) {
        return std::atan2(turn(first, p).first, turn(first, p).second) <
               std::atan2(turn(first, q).first, turn(first, q).second);
    });
    double area = 0.0;
    for (std::size_t k = 0; k < pts.size(); ++k)
        area += turn(pts[k], pts[(k + 1) % pts.size()]).first;
    return 0.5 * std::fabs(area);
}

// The section of s by the planes; null when it is refused.
SurfacePtr Cut(G3Surface* s, std::vector<double> planes)
{
    G3Surface* out = reinterpret_cast<G3Surface*>(1);
    const bool ok = G3BooleanCalculator().Divide(s, static_cast<int>(planes.size() / 4), planes.data(), &out);
    EXPECT_EQ(ok, out != nullptr);
    return SurfacePtr(ok ? out : nullptr);
}

TEST(Section, RandomBoxesAndPlanesMatchTheExactSectionArea)
{
    std::mt19937 rng(4321);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    int met = 0;
    for (int trial = 0; trial < 150; ++trial) {
        SCOPED_TRACE(trial);
        const P hi = {0.5 + std::fabs(u(rng)), 0.5 + std::fabs(u(rng)), 0.5 + std::fabs(u(rng))};
        Motion m;
        if (trial % 3) {
            P axis = {u(rng), u(rng), u(rng) + 2.0};
            const double l = std::sqrt(axis[0] * axis[0] + axis[1] * axis[1] + axis[2] * axis[2]);
            m = Motion::Turn({axis[0] / l, axis[1] / l, axis[2] / l}, 3.0 * u(rng), {u(rng), u(rng), u(rng)});
        }
        std::vector<P> corners;
        for (int k = 0; k < 8; ++k)
            corners.push_back(m.Apply({(k & 1) ? hi[0] : 0, (k & 2) ? hi[1] : 0, (k & 4) ? hi[2] : 0}));
        double plane[4] = {u(rng), u(rng), u(rng), 0.0};
        // Every fifth plane is a face plane of the box (the face is taken
        // once), every fifth a plane through a corner (often touching the
        // box only there or along an edge: no section, false and null); the
        // others pass near the centre.
        P through = corners[static_cast<std::size_t>(trial % 8)];
        if (trial % 5 == 1) {
            for (int d = 0; d < 3; ++d)
                plane[d] = m.r[d][2];  // the turned normal of the face z = 0
            through = corners[0];
        } else if (trial % 5 != 2) {
            for (int d = 0; d < 3; ++d)
                through[d] = 0.5 * (corners[0][d] + corners[7][d]) + 0.3 * u(rng);
        }
        const double l = std::sqrt(plane[0] * plane[0] + plane[1] * plane[1] + plane[2] * plane[2]);
        for (int d = 0; d < 3; ++d)
            plane[d] /= l;
        plane[3] = -(plane[0] * through[0] + plane[1] * through[1] + plane[2] * through[2]);
        const double exact = ExactBoxSection(corners, plane);
        // Every other plane is given at twice its length: the same plane.
        const double f = trial % 2 ? 2.0 : 1.0;
        SurfacePtr box = Box({0, 0, 0}, hi, trial % 2 == 0, m);
        SurfacePtr s = Cut(box.get(), {f * plane[0], f * plane[1], f * plane[2], f * plane[3]});
        EXPECT_EQ(6 * (trial % 2 ? 1 : 2), box->GetFacetCount());  // the sectioned surface is left whole
        if (exact < 1e-9) {
            EXPECT_EQ(nullptr, s);
            continue;
        }
        ++met;
        ASSERT_TRUE(s);
        EXPECT_NEAR(exact, Area(s.get()), 1e-9);
        EXPECT_EQ("", MeshCheck(s.get()));
        // The faces point along the plane's normal.
        for (int k = 0; k < s->GetFacetCount(); ++k)
            EXPECT_NEAR(1.0, s->GetFacet(k)->GetPlaneA() * plane[0] + s->GetFacet(k)->GetPlaneB() * plane[1] +
                                 s->GetFacet(k)->GetPlaneC() * plane[2], 1e-9);
    }
    EXPECT_GT(met, 100);
}

TEST(Section, SeveralPlanesHolesTouchingSolidsSegmentsAndRefusals)
{
    // Two planes at once through a box: two faces.
    SurfacePtr cube = Box({0, 0, 0}, {2, 3, 1}, true);
    SurfacePtr two = Cut(cube.get(), {0, 0, 1, -0.5, 1, 0, 0, -1});
    ASSERT_TRUE(two);
    EXPECT_EQ(2, two->GetFacetCount());
    EXPECT_NEAR(6.0 + 3.0, Area(two.get()), 1e-12);

    // A square frame of four boxes touching along their ends: one region
    // with its hole open.
    SurfacePtr frame(new G3Surface());
    AddBox(frame.get(), {0, 0, 0}, {1, 3, 1});
    AddBox(frame.get(), {2, 0, 0}, {3, 3, 1});
    AddBox(frame.get(), {1, 0, 0}, {2, 1, 1}, true);
    AddBox(frame.get(), {1, 2, 0}, {2, 3, 1});
    SurfacePtr s = Cut(frame.get(), {0, 0, 1, -0.5});
    ASSERT_TRUE(s);
    EXPECT_NEAR(8.0, Area(s.get()), 1e-9);
    EXPECT_EQ("", MeshCheck(s.get()));

    // The segments of the cut.
    G3BooleanCalculator c;
    G3IntervalList out, none;
    const double mid[4] = {0, 0, 1, -0.5}, miss[4] = {0, 0, 1, -2};
    ASSERT_TRUE(c.Divide(cube.get(), 1, mid, &out));
    EXPECT_NEAR(10.0, Length(&out), 1e-12);
    EXPECT_FALSE(c.Divide(cube.get(), 1, miss, &none));
    EXPECT_TRUE(none.IsEmpty());
    // Refused arguments.
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(nullptr, Cut(cube.get(), {0, 0, 0, 1, nan, 0, 1, 0}));
    EXPECT_EQ(nullptr, Cut(nullptr, {0, 0, 1, -0.5}));
    EXPECT_EQ(nullptr, Cut(cube.get(), {}));
    EXPECT_FALSE(c.Divide(cube.get(), 1, mid, static_cast<G3Surface**>(nullptr)));
    EXPECT_FALSE(c.Divide(cube.get(), 1, mid, static_cast<G3IntervalList*>(nullptr)));
}

} // namespace
