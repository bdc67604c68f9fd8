// Cutting surfaces along each other: the segments two facets share, the
// intersection of two surfaces, the splitting of facets along their
// segments, and the repair of a surface's self-intersections. Oracles are
// the analytic intersection curves of boxes, area preserved by splitting,
// and a brute-force search for facets that still cross.

#include "boolean/solid_fixtures.h"
#include "mesh/mesh_check.h"

#include "Geometry/boolean/G3BooleanCalculator.h"
#include "Geometry/boolean/G3BooleanData.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

namespace {

using namespace fixtures;

// The calculator's protected steps, for driving the passes one by one.
class Cutter : public G3BooleanCalculator {
public:
    using G3BooleanCalculator::CloseBoolean;
    using G3BooleanCalculator::IntersectFacetProcessor;
    using G3BooleanCalculator::MergeSurfaceAndIntersectionTree;
    using G3BooleanCalculator::OpenBoolean;

    // Opens both surfaces and cuts facet 0 of a against facet 0 of b.
    void CutPair(G3Surface* a, G3Surface* b)
    {
        OpenBoolean(a);
        OpenBoolean(b);
        candidates->clear();
        candidates->add(b->GetFacet(0));
        IntersectFacetProcessor(a->GetFacet(0));
    }
    // Cuts a and b along each other and splits both, as a boolean does.
    bool CutAndSplit(G3Surface* a, G3Surface* b)
    {
        A = a;
        B = b;
        if (!OpenBoolean())
            return false;
        Divide();
        MergeSurfaceAndIntersectionTree(a, &envA);
        MergeSurfaceAndIntersectionTree(b, &envB);
        return true;
    }
    const GEnvelope& All() const { return envAll; }
};

G3IntervalList* SegmentsOf(G3Facet* f) { return G3BooleanFacetData::Of(f)->segments; }

// Facets still holding segments (any) and vertices classified on.
int FacetsWithSegments(G3Surface* s)
{
    int n = 0;
    for (int k = 0; k < s->GetFacetCount(); ++k)
        n += SegmentsOf(s->GetFacet(k)) && SegmentsOf(s->GetFacet(k))->GetIntervalCount() > 0;
    return n;
}

int VerticesOn(G3Surface* s)
{
    int n = 0;
    for (int k = 0; k < s->GetVertexCount(); ++k)
        n += G3BooleanVertexData::Of(s->GetVertex(k))->classify == SC_ON;
    return n;
}

// Every end point of the segments is shared by an even number of segment
// ends: the segments close into loops.
bool ClosesIntoLoops(G3IntervalList* l)
{
    std::vector<const double*> ends;
    for (int k = 0; k < l->GetIntervalCount(); ++k) {
        ends.push_back(l->GetInterval(k)->GetXYZ1());
        ends.push_back(l->GetInterval(k)->GetXYZ2());
    }
    for (const double* e : ends)
        if (std::count_if(ends.begin(), ends.end(), [e](const double* o) { return Distance(e, o) < 1e-3; }) %
            2)
            return false;
    return true;
}

// A facet through the corners (x, y, z) given as one flat list.
SurfacePtr Quad(std::vector<double> c)
{
    SurfacePtr s(new G3Surface());
    std::vector<G3Vertex*> v;
    for (std::size_t k = 0; k + 2 < c.size(); k += 3)
        v.push_back(s->AddVertex(c[k], c[k + 1], c[k + 2], 0));
    Face(s.get(), v);
    s->FormPlaneEquation();
    return s;
}

SurfacePtr Square() { return Quad({0, 0, 0, 2, 0, 0, 2, 2, 0, 0, 2, 0}); }

// ------------------------------------------------------------ facet pairs

TEST(FacetPair, CoplanarOrTouchingFacetsRecordTheSharedPartOnBoth)
{
    // Overlapping coplanar squares share [1,2]^2 (two sides from each
    // square's edges); one standing upright on the edge x = 2 over y in
    // [1, 3] shares y in [1, 2] of that edge.
    const std::pair<std::vector<double>, double> cases[] = {
        {{1, 1, 0, 3, 1, 0, 3, 3, 0, 1, 3, 0}, 4.0},
        {{2, 1, 0, 2, 3, 0, 2, 3, 1, 2, 1, 1}, 1.0},
    };
    for (const auto& [corners, length] : cases) {
        SurfacePtr a = Square();
        SurfacePtr b = Quad(corners);
        Cutter c;
        c.CutPair(a.get(), b.get());
        for (G3Surface* s : {a.get(), b.get()}) {
            ASSERT_NE(nullptr, SegmentsOf(s->GetFacet(0)));
            EXPECT_NEAR(length, Length(SegmentsOf(s->GetFacet(0))), 1e-9);
            G3BooleanCalculator::CloseBoolean(s);
        }
    }
}

// ------------------------------------------------------------ two surfaces

// Length of the curve where the boundaries of two axis-aligned boxes cross,
// in general position (no two faces in one plane): every pair of
// perpendicular faces meets along an axis-parallel line, clipped to both.
double BoxCurveLength(const P& alo, const P& ahi, const P& blo, const P& bhi)
{
    double sum = 0.0;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
            const int k = 3 - i - j;
            for (double ca : {alo[i], ahi[i]})
                for (double cb : {blo[j], bhi[j]})
                    // Face of a at x_i = ca, face of b at x_j = cb.
                    if (i != j && ca >= blo[i] && ca <= bhi[i] && cb >= alo[j] && cb <= ahi[j])
                        sum += std::max(0.0, std::min(ahi[k], bhi[k]) - std::max(alo[k], blo[k]));
        }
    return sum;
}

TEST(SurfaceSurfaceIntersect, BoxPairsGiveClosedLoopsOfTheAnalyticCurvesLength)
{
    // Random pairs in general position (no two faces in one plane): one box
    // through a face, an edge or a corner of the other, or through two
    // opposite faces (two loops).
    std::mt19937 rng(2112);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    for (int trial = 0; trial < 60; ++trial) {
        P alo, ahi, blo, bhi;
        for (int d = 0; d < 3; ++d) {
            alo[d] = u(rng);
            ahi[d] = alo[d] + 0.2 + u(rng);
            blo[d] = u(rng);
            bhi[d] = blo[d] + 0.2 + u(rng);
        }
        SurfacePtr a = Box(alo, ahi, trial % 2 == 0);
        SurfacePtr b = Box(blo, bhi, trial % 3 == 0);
        G3IntervalList out;
        G3BooleanCalculator c;
        ASSERT_TRUE(c.SurfaceSurfaceIntersect(a.get(), b.get(), &out));
        EXPECT_NEAR(1000.0 * BoxCurveLength(alo, ahi, blo, bhi), Length(&out), 1e-6) << trial;
        EXPECT_TRUE(ClosesIntoLoops(&out)) << trial;
        EXPECT_EQ(0, a->GetFacetCount());
        EXPECT_EQ(nullptr, a->GetExDataProvider());
    }

    // Disjoint, empty, missing or repeated operands; no output list.
    G3IntervalList out;
    G3BooleanCalculator c;
    SurfacePtr a = Box({0, 0, 0}, {1, 1, 1});
    EXPECT_TRUE(c.SurfaceSurfaceIntersect(a.get(), Box({3, 0, 0}, {4, 1, 1}).get(), &out));
    EXPECT_TRUE(out.IsEmpty());
    EXPECT_EQ(0, a->GetFacetCount());
    SurfacePtr d = Box({0, 0, 0}, {1, 1, 1});
    EXPECT_FALSE(c.SurfaceSurfaceIntersect(d.get(), nullptr, &out));
    EXPECT_FALSE(c.SurfaceSurfaceIntersect(d.get(), d.get(), &out));
    EXPECT_EQ(6, d->GetFacetCount());
    EXPECT_TRUE(c.SurfaceSurfaceIntersect(d.get(), Box({0.5, 0.5, 0.5}, {2, 2, 2}).get(), nullptr));
    EXPECT_EQ(0, d->GetFacetCount());
}

TEST(SurfaceSurfaceIntersect, RaysReachAcrossTheWholeBoxOfBothOperands)
{
    // A ray from one corner of the box must leave it at the opposite one.
    SurfacePtr a = Box({0, 0, 0}, {1, 1, 1});
    SurfacePtr b = Box({2, 2, 2}, {3, 3, 3});
    Cutter c;
    ASSERT_TRUE(c.CutAndSplit(a.get(), b.get()));
    const GEnvelope& all = c.All();
    const double diagonal =
        std::sqrt(all.XSize() * all.XSize() + all.YSize() * all.YSize() + all.ZSize() * all.ZSize());
    EXPECT_GE(c.GetRadius(), diagonal);
    EXPECT_NEAR(3000.0 * std::sqrt(3.0), diagonal, 1e-2);
    c.CloseBoolean();
    EXPECT_EQ(nullptr, a->GetExDataProvider());
    EXPECT_FALSE(Cutter().CutAndSplit(a.get(), nullptr));
}

// ------------------------------------------------------------ splitting

TEST(Split, RandomPlacementsIncludingCoplanarAndTouchingFacesKeepAreaAndLeaveNoCrossing)
{
    // A facet with segments may move into the slot of one just split: each
    // must still be split (none keeps segments, none crosses the other).
    std::mt19937 rng(77);
    int crossed = 0;
    std::uniform_int_distribution<int> grid(0, 8);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    for (int trial = 0; trial < 80; ++trial) {
        SCOPED_TRACE(trial);
        // Corners on a quarter grid: faces often share planes, touch along
        // edges or meet at corners. Every fourth pair is turned instead.
        P alo, ahi, blo, bhi;
        for (int d = 0; d < 3; ++d) {
            alo[d] = 0.25 * grid(rng);
            ahi[d] = alo[d] + 0.25 * (1 + grid(rng) % 4);
            blo[d] = alo[d] + 0.25 * (grid(rng) % 5 - 2);
            bhi[d] = blo[d] + 0.25 * (1 + grid(rng) % 4);
        }
        Motion turn;
        if (trial % 4 == 3) {
            const double ax = u(rng), ay = u(rng), az = u(rng) + 0.1;
            const double l = std::sqrt(ax * ax + ay * ay + az * az);
            turn = Motion::Turn({ax / l, ay / l, az / l}, u(rng), {0.1, 0.2, 0.3});
        }
        SurfacePtr ab[2] = {Box(alo, ahi, trial % 2 == 0), Box(blo, bhi, trial % 3 == 0, turn)};
        const double area[2] = {Area(ab[0].get()), Area(ab[1].get())};
        const bool crossing = FirstCrossing(ab[0].get(), ab[1].get(), 1e-6) != "";
        crossed += crossing;
        Cutter c;
        ASSERT_TRUE(c.CutAndSplit(ab[0].get(), ab[1].get()));
        for (int k = 0; k < 2; ++k) {
            // The cut runs through vertices marked as on the other surface.
            if (crossing) {
                EXPECT_GT(VerticesOn(ab[k].get()), 2);
            }
            EXPECT_EQ("", MeshCheck(ab[k].get()));
            EXPECT_EQ(0, FacetsWithSegments(ab[k].get()));
            EXPECT_NEAR(area[k] * 1e6, Area(ab[k].get()), area[k]);
        }
        EXPECT_EQ("", FirstCrossing(ab[0].get(), ab[1].get(), 1e-3));
        c.CloseBoolean();
    }
    EXPECT_GT(crossed, 15);
}

// Triangles with corners on a coarse grid: shared corners, collinear edges,
// coplanar overlaps and slivers abound.
SurfacePtr GridSoup(std::mt19937& rng, int count)
{
    SurfacePtr s(new G3Surface());
    std::uniform_int_distribution<int> g(0, 4);
    for (int k = 0; k < count; ++k) {
        auto corner = [&] { return s->AddVertex(0.25 * g(rng), 0.25 * g(rng), 0.25 * g(rng), 0); };
        Face(s.get(), {corner(), corner(), corner()});
    }
    s->FormPlaneEquation();
    return s;
}

TEST(Split, RandomSoupsStayConsistentAndKeepTheirArea)
{
    // Open surfaces: a cut may end inside a facet, where it divides nothing
    // and is dropped, so crossings can remain; area and consistency may not
    // suffer.
    std::mt19937 rng(5150);
    for (int trial = 0; trial < 150; ++trial) {
        SCOPED_TRACE(trial);
        SurfacePtr ab[2] = {GridSoup(rng, 1 + trial % 7), GridSoup(rng, 1 + trial % 5)};
        const double area[2] = {Area(ab[0].get()) * 1e6, Area(ab[1].get()) * 1e6};
        Cutter c;
        c.CutAndSplit(ab[0].get(), ab[1].get());
        c.CloseBoolean();
        for (int k = 0; k < 2; ++k) {
            EXPECT_EQ("", MeshCheck(ab[k].get()));
            EXPECT_NEAR(area[k], Area(ab[k].get()), 1e-6 * (1.0 + area[k]));
        }
        SurfacePtr self = GridSoup(rng, 2 + trial % 9);
        EXPECT_TRUE(G3BooleanCalculator().RemoveSelfIntersection(self.get()));
        EXPECT_EQ("", MeshCheck(self.get()));
    }
}

TEST(Split, FacetsTakeTheirSourcesExtendedDataAndCornerNormals)
{
    SurfacePtr a = Box({0, 0, 0}, {1, 1, 1}, true);
    SurfacePtr b = Box({0.5, 0.5, 0.5}, {1.5, 1.5, 1.5});
    a->AssignNormalsByPlane();
    for (int k = 0; k < a->GetFacetCount(); ++k)
        a->GetFacet(k)->SetSurface(10 + k / 2);
    Cutter c;
    ASSERT_TRUE(c.CutAndSplit(a.get(), b.get()));
    // Three of the six faces (merged back from their triangle pairs) are
    // cut in two.
    EXPECT_EQ(9, a->GetFacetCount());
    for (int k = 0; k < a->GetFacetCount(); ++k) {
        G3Facet* f = a->GetFacet(k);
        // Each piece keeps the sub-surface of the face it came from, and
        // every corner has a normal along the face's plane.
        EXPECT_TRUE(f->GetSurface() >= 10 && f->GetSurface() < 16);
        for (G3Vertex* v : testmesh::Corners(f)) {
            G3Normal* n = f->GetNormal(v, nullptr);
            ASSERT_NE(nullptr, n);
            const double* x = n->GetXYZ();
            EXPECT_NEAR(1.0, x[0] * f->GetPlaneA() + x[1] * f->GetPlaneB() + x[2] * f->GetPlaneC(), 1e-9);
        }
    }
    c.CloseBoolean();
}

TEST(Split, CutsAlongTheBoundaryOrClosingNoContourKeepTheFacet)
{
    // b stands on a's whole edge x = 2: a keeps its facet, the edge's ends
    // are on.
    SurfacePtr a = Square();
    SurfacePtr b = Quad({2, 0, 0, 2, 2, 0, 2, 2, 1, 2, 0, 1});
    Cutter c;
    c.CutPair(a.get(), b.get());
    G3Facet* before = a->GetFacet(0);
    c.MergeSurfaceAndIntersectionTree(a.get(), nullptr);
    ASSERT_EQ(1, a->GetFacetCount());
    EXPECT_EQ(before, a->GetFacet(0));
    EXPECT_EQ(2, VerticesOn(a.get()));
    G3BooleanCalculator::CloseBoolean(a.get());
    G3BooleanCalculator::CloseBoolean(b.get());

    // A sliver whose three vertices lie on one line has no inside for the
    // segments to divide.
    SurfacePtr s = Quad({0, 0, 0, 1, 0, 0, 2, 0, 0});
    G3BooleanCalculator::OpenBoolean(s.get());
    G3BooleanFacetData::Of(s->GetFacet(0))->segments = new G3IntervalList();
    const double p[3] = {0.5, 0, 0}, q[3] = {1.5, 0, 0};
    SegmentsOf(s->GetFacet(0))->AddInterval(p, q);
    c.MergeSurfaceAndIntersectionTree(s.get(), nullptr);
    EXPECT_EQ(1, s->GetFacetCount());
    EXPECT_EQ("", MeshCheck(s.get()));
    G3BooleanCalculator::CloseBoolean(s.get());
}

// ------------------------------------------------------------ self-intersection

TEST(RemoveSelfIntersection, InterpenetratingBoxesNoLongerCrossLoneOrNoSurfacesAreHandled)
{
    G3BooleanCalculator c;
    for (bool split : {false, true}) {
        SurfacePtr s = Box({0, 0, 0}, {1, 1, 1}, split);
        AddBox(s.get(), {0.5, 0.25, 0.25}, {1.5, 0.75, 1.5}, !split);
        ASSERT_NE("", FirstCrossing(s.get(), s.get(), 1e-6));
        const double area = Area(s.get());
        ASSERT_TRUE(c.RemoveSelfIntersection(s.get()));
        EXPECT_EQ("", MeshCheck(s.get()));
        EXPECT_EQ("", FirstCrossing(s.get(), s.get(), 1e-6)) << split;
        EXPECT_NEAR(area, Area(s.get()), 1e-9);
        EXPECT_EQ(nullptr, s->GetExDataProvider());
    }
    EXPECT_FALSE(c.RemoveSelfIntersection(nullptr));
    SurfacePtr empty(new G3Surface());
    EXPECT_TRUE(c.RemoveSelfIntersection(empty.get()));
    EXPECT_EQ(0, empty->GetFacetCount());
    // A lone box with corner normals is left whole (nothing crosses).
    SurfacePtr box = Box({0, 0, 0}, {1, 1, 1});
    box->AssignNormalsByPlane();
    EXPECT_TRUE(c.RemoveSelfIntersection(box.get()));
    EXPECT_EQ("", MeshCheck(box.get()));
    EXPECT_EQ(6, box->GetFacetCount());
    EXPECT_TRUE(box->GetClosed());
}

} // namespace
