// Queries against a prepared surface (the facet under a point, the points
// where a segment meets the surface, classification by rays through the
// grid) and the facet octree, against exact answers for boxes and brute
// force over all facets.

#include "boolean/solid_fixtures.h"
#include "mesh/mesh_check.h"

#include "Geometry/boolean/G3BCPointWriter.h"
#include "Geometry/boolean/G3BooleanCalculator.h"
#include "Geometry/boolean/G3QuadraSurfaceTree.h"
#include "Geometry/foundation/GRandom.h"
#include "Geometry/math/GEnvelope.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
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

bool StrictlyInBox(const P& p)
{
    for (int d = 0; d < 3; ++d)
        if (!(p[d] > kLo[d] && p[d] < kHi[d]))
            return false;
    return true;
}

// The points where the segment meets the box's boundary, except its end q
// (a segment ending on the surface reports nothing there). The segment must
// not lie in a face plane.
std::vector<P> ExactMeetings(const P& p, const P& q)
{
    double t0 = 0.0;
    double t1 = 1.0;
    for (int d = 0; d < 3; ++d) {
        const double dir = q[d] - p[d];
        if (dir == 0.0) {
            if (p[d] < kLo[d] || p[d] > kHi[d])
                return {};
            continue;
        }
        double a = (kLo[d] - p[d]) / dir;
        double b = (kHi[d] - p[d]) / dir;
        if (a > b)
            std::swap(a, b);
        t0 = std::max(t0, a);
        t1 = std::min(t1, b);
    }
    if (t0 > t1 + 1e-12)
        return {};
    std::vector<P> out;
    for (double t : {t0, t1}) {
        const P x = {p[0] + t * (q[0] - p[0]), p[1] + t * (q[1] - p[1]), p[2] + t * (q[2] - p[2])};
        if (OnBoxSurface(x) && Distance(x.data(), q.data()) > 1e-9 &&
            (out.empty() || Distance(x.data(), out[0].data()) > 1e-9))
            out.push_back(x);
    }
    return out;
}

// Collects reported points, one per place (within 1e-6).
class Points : public G3BCPointWriter {
public:
    void WritePoint(const double* p, G3Facet* f) override
    {
        ++reports;
        facets.insert(f);
        for (const P& known : points)
            if (Distance(known.data(), p) < 1e-6)
                return;
        points.push_back({p[0], p[1], p[2]});
    }
    std::vector<P> points;
    std::set<G3Facet*> facets;
    int reports = 0;
};

bool SamePlaces(std::vector<P> a, std::vector<P> b)
{
    if (a.size() != b.size())
        return false;
    for (const P& x : a) {
        bool found = false;
        for (const P& y : b)
            found = found || Distance(x.data(), y.data()) < 1e-6;
        if (!found)
            return false;
    }
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

TEST(SurfaceQuery, FacetUnderAPointAndMeetingsOfSegmentsMatchTheBox)
{
    for (bool split : {false, true}) {
        SurfacePtr box = Box(kLo, kHi, split);
        G3BooleanCalculator c;
        ASSERT_TRUE(c.OpenFindIntersection(box.get()));
        std::mt19937 rng(split ? 99 : 98);
        for (int trial = 0; trial < 3000; ++trial) {
            const P p = Sample(rng);
            G3Facet* f = c.FindFacet(p.data());
            ASSERT_EQ(OnBoxSurface(p), f != nullptr) << p[0] << " " << p[1] << " " << p[2];
            if (f) {
                const double* pl = f->GetPlane();
                EXPECT_NEAR(0.0, pl[0] * p[0] + pl[1] * p[1] + pl[2] * p[2] + pl[3], 1e-12);
            }
        }
        int met = 0;
        for (int trial = 0; trial < 3000; ++trial) {
            const P p = Sample(rng);
            const P q = Sample(rng);
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
                << trial << ": " << exact.size() << " vs " << w.points.size() << " from " << p[0] << " " << p[1]
                << " " << p[2] << " to " << q[0] << " " << q[1] << " " << q[2];
        }
        EXPECT_GT(met, 500);
        EXPECT_TRUE(c.CloseFindIntersection(box.get()));
        EXPECT_EQ(nullptr, box->GetExDataProvider());
        EXPECT_EQ("", MeshCheck(box.get()));
    }
}

TEST(SurfaceQuery, ASegmentInAFacePlaneReportsWhereItsLineCrossesTheBoundary)
{
    SurfacePtr box = Box(kLo, kHi);
    G3BooleanCalculator c;
    ASSERT_TRUE(c.OpenFindIntersection(box.get()));
    // Along the bottom face, inside it: the line y = 1 crosses the face's
    // sides x = 0 and x = 1.
    const double p[3] = {0.25, 1.0, 0.0};
    const double q[3] = {0.75, 1.0, 0.0};
    Points w;
    c.FindIntersections(p, q, &w);
    EXPECT_TRUE(SamePlaces({{0, 1, 0}, {1, 1, 0}}, w.points));
    c.CloseFindIntersection(box.get());
}

TEST(SurfaceQuery, ClassificationThroughTheGridMatchesTheBox)
{
    SurfacePtr box = Box(kLo, kHi, true);
    G3BooleanCalculator c;
    ASSERT_TRUE(c.OpenFindIntersection(box.get()));
    GSRand(7);
    std::mt19937 rng(5);
    for (int trial = 0; trial < 1500; ++trial) {
        const P p = Sample(rng);
        const SURF_CLASSIFY expected = OnBoxSurface(p) ? SC_ON : (StrictlyInBox(p) ? SC_INSIDE : SC_OUTSIDE);
        EXPECT_EQ(expected, c.FindVertexClassify(p.data())) << trial;
        if (expected != SC_ON) {
            const P toward = Sample(rng);
            EXPECT_EQ(expected, c.FindRayClassify(p.data(), toward.data(), nullptr)) << trial;
        }
    }
    c.CloseFindIntersection(box.get());
    // Rays reach across the box from any point of it, along its diagonal
    // too (longer than 1.5 times a cube's side).
    SurfacePtr cube = Box({0, 0, 0}, {1, 1, 1});
    ASSERT_TRUE(c.OpenFindIntersection(cube.get()));
    EXPECT_GE(c.GetRadius(), std::sqrt(3.0));
    c.CloseFindIntersection(cube.get());
}

TEST(SurfaceQuery, OutsideAQueryPeriodNothingIsFound)
{
    G3BooleanCalculator c;
    const double p[3] = {0, 0, 0};
    Points w;
    EXPECT_EQ(nullptr, c.FindFacet(p));
    EXPECT_EQ(0, c.FindIntersections(p, p, &w));
    EXPECT_EQ(SC_UNKNOWN, c.FindVertexClassify(p));
    EXPECT_EQ(SC_UNKNOWN, c.FindRayClassify(p, p, nullptr));
    EXPECT_FALSE(c.OpenFindIntersection(nullptr));
    SurfacePtr box = Box(kLo, kHi);
    EXPECT_FALSE(c.CloseFindIntersection(box.get()));
    ASSERT_TRUE(c.OpenFindIntersection(box.get()));
    const double nan[3] = {std::numeric_limits<double>::quiet_NaN(), 0, 0};
    EXPECT_EQ(nullptr, c.FindFacet(nan));
    EXPECT_EQ(0, c.FindIntersections(nan, p, &w));
    EXPECT_EQ(SC_UNKNOWN, c.FindVertexClassify(nan));
    c.CloseFindIntersection(box.get());
}

// ------------------------------------------------------------ octree

// Whether the segment meets the closed box (slab test).
bool SegmentMeetsBox(const P& p, const P& q, const GEnvelope& e)
{
    double t0 = 0.0;
    double t1 = 1.0;
    for (int d = 0; d < 3; ++d) {
        const double dir = q[d] - p[d];
        if (dir == 0.0) {
            if (p[d] < e.min[d] || p[d] > e.max[d])
                return false;
            continue;
        }
        double a = (e.min[d] - p[d]) / dir;
        double b = (e.max[d] - p[d]) / dir;
        if (a > b)
            std::swap(a, b);
        t0 = std::max(t0, a);
        t1 = std::min(t1, b);
    }
    return t0 <= t1;
}

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

TEST(QuadraSurfaceTree, SearchesFindEveryFacetWhoseBoxTheyMeetOnce)
{
    std::mt19937 rng(31);
    SurfacePtr s = Soup(rng, 1500);
    G3QuadraSurfaceTree tree(s.get());
    GArrayCollection out;
    const double origin[3] = {0, 0, 0};
    EXPECT_FALSE(tree.FindIntersection(origin, origin, &out));
    ASSERT_TRUE(tree.MakeTree());
    ASSERT_NE(nullptr, tree.GetRoot());
    EXPECT_NE(nullptr, tree.GetRoot()->children[0]); // more than 200 facets: split

    std::vector<GEnvelope> boxes(static_cast<std::size_t>(s->GetFacetCount()));
    for (int k = 0; k < s->GetFacetCount(); ++k)
        static_cast<G3Facet*>(s->GetFacetList()->get(k))->FormEnvelope(&boxes[static_cast<std::size_t>(k)]);
    std::uniform_real_distribution<double> u(-1.0, 11.0);
    std::uniform_int_distribution<int> pick(0, s->GetVertexList()->size() - 1);
    auto vertex = [&](int k) {
        const double* x = static_cast<G3Vertex*>(s->GetVertexList()->get(k))->GetXYZ();
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
                ASSERT_TRUE(tree.FindIntersection(p.data(), q.data(), &out));
            else
                ASSERT_TRUE(tree.FindIntersectionInApertura(p.data(), q.data(), aperture, &out));
            std::set<GObj*> found(out.toArray(), out.toArray() + out.size());
            ASSERT_EQ(static_cast<std::size_t>(out.size()), found.size()) << "reported twice";
            for (int k = 0; k < s->GetFacetCount(); ++k) {
                G3Facet* f = static_cast<G3Facet*>(s->GetFacetList()->get(k));
                ASSERT_FALSE(f->GetMark());
                if (SegmentMeetsBox(p, q, boxes[static_cast<std::size_t>(k)])) {
                    ASSERT_TRUE(found.count(f)) << trial << " facet " << k << " aperture " << aperture;
                }
            }
        }
    }
}

TEST(QuadraSurfaceTree, CopiesSearchOnTheirOwn)
{
    std::mt19937 rng(8);
    SurfacePtr s = Soup(rng, 600);
    std::unique_ptr<G3QuadraSurfaceTree> tree(new G3QuadraSurfaceTree(s.get()));
    ASSERT_TRUE(tree->MakeTree());
    G3QuadraSurfaceTree copy(*tree);
    G3QuadraSurfaceTree assigned(nullptr);
    assigned = *tree;
    const double p[3] = {1, 1, 1};
    const double q[3] = {9, 8, 7};
    GArrayCollection a;
    tree->FindIntersection(p, q, &a);
    tree.reset();
    for (G3QuadraSurfaceTree* t : {&copy, &assigned}) {
        GArrayCollection b;
        ASSERT_TRUE(t->FindIntersection(p, q, &b));
        ASSERT_EQ(a.size(), b.size());
        for (int k = 0; k < a.size(); ++k)
            EXPECT_EQ(a.get(k), b.get(k));
    }
    G3QuadraSurfaceTree none(nullptr);
    EXPECT_FALSE(none.MakeTree());
}

} // namespace
