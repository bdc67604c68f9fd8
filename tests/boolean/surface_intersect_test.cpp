// Cutting surfaces along each other: the segments two facets share, the
// intersection of two surfaces, the splitting of facets along their
// segments, and the repair of a surface's self-intersections. Oracles are
// the analytic intersection curves of boxes, area preserved by splitting,
// and a brute-force search for facets that still cross.

#include "boolean/solid_fixtures.h"
#include "mesh/mesh_check.h"

#include "Geometry/boolean/G3BooleanCalculator.h"
#include "Geometry/boolean/G3BooleanData.h"
#include "Geometry/foundation/GTrace.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>

namespace {

using namespace fixtures;

// The calculator's protected steps, for driving the passes one by one.
class Cutter : public G3BooleanCalculator {
public:
    using G3BooleanCalculator::CloseBoolean;
    using G3BooleanCalculator::Divide;
    using G3BooleanCalculator::DivideSelf;
    using G3BooleanCalculator::IntersectFacetProcessor;
    using G3BooleanCalculator::MergeSurfaceAndIntersectionTree;
    using G3BooleanCalculator::OpenBoolean;

    void Operands(G3Surface* a, G3Surface* b)
    {
        A = a;
        B = b;
    }
    GArrayCollection* Candidates() { return candidates; }
    const GEnvelope& All() const { return envAll; }
    GEnvelope* BoxA() { return &envA; }
    GEnvelope* BoxB() { return &envB; }
};

G3Facet* FacetAt(G3Surface* s, int k) { return static_cast<G3Facet*>(s->GetFacetList()->get(k)); }

G3IntervalList* SegmentsOf(G3Facet* f)
{
    G3BooleanFacetData* r = G3BooleanFacetData::Of(f);
    return r ? r->segments : nullptr;
}

int FacetsWithSegments(G3Surface* s)
{
    int n = 0;
    for (int k = 0; k < s->GetFacetCount(); ++k)
        if (G3IntervalList* l = SegmentsOf(FacetAt(s, k)))
            n += l->GetIntervalCount() > 0;
    return n;
}

int VerticesOn(G3Surface* s)
{
    int n = 0;
    GArrayCollection* v = s->GetVertexList();
    for (int k = 0; k < v->size(); ++k) {
        G3BooleanVertexData* d = G3BooleanVertexData::Of(static_cast<G3Vertex*>(v->get(k)));
        n += d && d->classify == SC_ON;
    }
    return n;
}

// Counts the trace messages equal to `watched` while alive.
class TraceCounter {
public:
    explicit TraceCounter(const char* w)
    {
        watched = w;
        count = 0;
        previous = GSetTraceSink([](const char* m) { count += std::strcmp(m, watched) == 0; });
    }
    ~TraceCounter() { GSetTraceSink(previous); }
    int Count() const { return count; }

private:
    static const char* watched;
    static int count;
    GTraceSink previous;
};
const char* TraceCounter::watched = nullptr;
int TraceCounter::count = 0;

// Every end point of the segments is shared by an even number of segment
// ends: the segments close into loops.
bool ClosesIntoLoops(G3IntervalList* l)
{
    std::vector<P> ends;
    for (int k = 0; k < l->GetIntervalCount(); ++k)
        for (const double* x : {l->GetInterval(k)->GetXYZ1(), l->GetInterval(k)->GetXYZ2()})
            ends.push_back({x[0], x[1], x[2]});
    for (const P& e : ends) {
        int same = 0;
        for (const P& o : ends)
            same += Distance(e.data(), o.data()) < 1e-3;
        if (same % 2)
            return false;
    }
    return true;
}

// ------------------------------------------------------------ facet pairs

// A square [lo, hi] in the plane z = 0 (counter-clockwise from above).
SurfacePtr Square(double lo0, double lo1, double hi0, double hi1)
{
    SurfacePtr s(new G3Surface());
    Face(s.get(), {s->AddVertex(lo0, lo1, 0, 0), s->AddVertex(hi0, lo1, 0, 0), s->AddVertex(hi0, hi1, 0, 0),
                   s->AddVertex(lo0, hi1, 0, 0)});
    s->FormPlaneEquation();
    return s;
}

// A unit-high square upright in the plane x = 2 over y in [y0, y1].
SurfacePtr Upright(double y0, double y1)
{
    SurfacePtr s(new G3Surface());
    Face(s.get(), {s->AddVertex(2, y0, 0, 0), s->AddVertex(2, y1, 0, 0), s->AddVertex(2, y1, 1, 0),
                   s->AddVertex(2, y0, 1, 0)});
    s->FormPlaneEquation();
    return s;
}

// Opens both surfaces, cuts facet 0 of a against facet 0 of b.
void CutPair(Cutter& c, G3Surface* a, G3Surface* b)
{
    G3BooleanCalculator::OpenBoolean(a);
    G3BooleanCalculator::OpenBoolean(b);
    c.Candidates()->clear();
    c.Candidates()->add(FacetAt(b, 0));
    c.IntersectFacetProcessor(FacetAt(a, 0));
}

TEST(FacetPair, CoplanarFacetsTraceLieAndRecordTheOverlapOnBoth)
{
    SurfacePtr a = Square(0, 0, 2, 2);
    SurfacePtr b = Square(1, 1, 3, 3);
    Cutter c;
    TraceCounter lie("Lie");
    CutPair(c, a.get(), b.get());
    EXPECT_EQ(1, lie.Count());
    // The overlap [1,2]^2: two sides from each square's edges.
    ASSERT_NE(nullptr, SegmentsOf(FacetAt(a.get(), 0)));
    ASSERT_NE(nullptr, SegmentsOf(FacetAt(b.get(), 0)));
    EXPECT_NEAR(4.0, Length(SegmentsOf(FacetAt(a.get(), 0))), 1e-9);
    EXPECT_NEAR(4.0, Length(SegmentsOf(FacetAt(b.get(), 0))), 1e-9);
    G3BooleanCalculator::CloseBoolean(a.get());
    G3BooleanCalculator::CloseBoolean(b.get());
}

TEST(FacetPair, TouchingFacetsRecordTheSharedStretch)
{
    // b stands upright on a's edge x = 2 over y in [1, 3]: they share y in
    // [1, 2] of that edge.
    SurfacePtr a = Square(0, 0, 2, 2);
    SurfacePtr b = Upright(1, 3);
    Cutter c;
    CutPair(c, a.get(), b.get());
    for (G3Surface* s : {a.get(), b.get()}) {
        G3IntervalList* l = SegmentsOf(FacetAt(s, 0));
        ASSERT_NE(nullptr, l);
        ASSERT_EQ(1, l->GetIntervalCount());
        EXPECT_NEAR(1.0, Length(l), 1e-12);
        EXPECT_NEAR(2.0, l->GetInterval(0)->GetXYZ1(0), 1e-12);
    }
    G3BooleanCalculator::CloseBoolean(a.get());
    G3BooleanCalculator::CloseBoolean(b.get());
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
            if (i == j)
                continue;
            const int k = 3 - i - j;
            for (double ca : {alo[i], ahi[i]})
                for (double cb : {blo[j], bhi[j]}) {
                    // Face of a at x_i = ca, face of b at x_j = cb.
                    if (ca < blo[i] || ca > bhi[i] || cb < alo[j] || cb > ahi[j])
                        continue;
                    const double lo = std::max(alo[k], blo[k]);
                    const double hi = std::min(ahi[k], bhi[k]);
                    sum += std::max(0.0, hi - lo);
                }
        }
    return sum;
}

TEST(SurfaceSurfaceIntersect, BoxPairsGiveClosedLoopsOfTheAnalyticCurvesLength)
{
    // First through one face, through a corner (a skew hexagon), through two
    // opposite faces (two loops); then random pairs.
    const P fixed[3][2] = {{{0.5, 0.2, 0.3}, {1.5, 0.7, 0.8}},
                           {{0.5, 0.5, 0.5}, {1.5, 1.5, 1.5}},
                           {{-0.5, 0.2, 0.3}, {1.5, 0.7, 0.8}}};
    std::mt19937 rng(2112);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    for (int trial = 0; trial < 60; ++trial) {
        P alo = {0, 0, 0}, ahi = {1, 1, 1}, blo, bhi;
        for (int d = 0; d < 3; ++d) {
            if (trial < 3) {
                blo = fixed[trial][0];
                bhi = fixed[trial][1];
                continue;
            }
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
}

TEST(SurfaceSurfaceIntersect, DisjointOrRefusedOperands)
{
    SurfacePtr a = Box({0, 0, 0}, {1, 1, 1});
    SurfacePtr b = Box({3, 0, 0}, {4, 1, 1});
    G3IntervalList out;
    G3BooleanCalculator c;
    EXPECT_TRUE(c.SurfaceSurfaceIntersect(a.get(), b.get(), &out));
    EXPECT_TRUE(out.IsEmpty());
    EXPECT_EQ(0, a->GetFacetCount());
    EXPECT_EQ(0, b->GetFacetCount());

    SurfacePtr empty(new G3Surface());
    SurfacePtr d = Box({0, 0, 0}, {1, 1, 1});
    EXPECT_TRUE(c.SurfaceSurfaceIntersect(empty.get(), Box({0, 0, 0}, {1, 1, 1}).get(), &out));
    EXPECT_TRUE(out.IsEmpty());
    EXPECT_FALSE(c.SurfaceSurfaceIntersect(d.get(), nullptr, &out));
    EXPECT_FALSE(c.SurfaceSurfaceIntersect(d.get(), d.get(), &out));
    EXPECT_EQ(6, d->GetFacetCount());
    // Without an output list the surfaces are still consumed.
    SurfacePtr e = Box({0.5, 0.5, 0.5}, {2, 2, 2});
    EXPECT_TRUE(c.SurfaceSurfaceIntersect(d.get(), e.get(), nullptr));
    EXPECT_EQ(0, d->GetFacetCount());
}

// ------------------------------------------------------------ preparation

TEST(Preparation, RaysReachAcrossTheWholeBoxOfBothOperands)
{
    SurfacePtr a = Box({0, 0, 0}, {1, 1, 1});
    SurfacePtr b = Box({2, 2, 2}, {3, 3, 3});
    Cutter c;
    c.Operands(a.get(), b.get());
    ASSERT_TRUE(c.OpenBoolean());
    const GEnvelope& all = c.All();
    const double diagonal =
        std::sqrt(all.XSize() * all.XSize() + all.YSize() * all.YSize() + all.ZSize() * all.ZSize());
    // A ray from one corner of the box must leave it at the opposite one.
    EXPECT_GE(c.GetRadius(), diagonal);
    EXPECT_NEAR(3000.0 * std::sqrt(3.0), diagonal, 1e-2);
    c.CloseBoolean();
    EXPECT_EQ(nullptr, a->GetExDataProvider());

    Cutter none;
    none.Operands(a.get(), nullptr);
    EXPECT_FALSE(none.OpenBoolean());
}

// ------------------------------------------------------------ splitting

// Cuts a and b along each other and splits both, as a boolean does.
void CutAndSplit(Cutter& c, G3Surface* a, G3Surface* b)
{
    c.Operands(a, b);
    ASSERT_TRUE(c.OpenBoolean());
    c.Divide();
    c.MergeSurfaceAndIntersectionTree(a, c.BoxA());
    c.MergeSurfaceAndIntersectionTree(b, c.BoxB());
}

TEST(Split, RandomPlacementsIncludingCoplanarAndTouchingFacesKeepAreaAndLeaveNoCrossing)
{
    // A facet with segments may move into the slot of one just split: each
    // must still be split (none keeps segments, none crosses the other).
    std::mt19937 rng(77);
    int crossed = 0;
    std::uniform_int_distribution<int> grid(0, 8);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    for (int trial = 0; trial < 80; ++trial) {
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
        SurfacePtr a = Box(alo, ahi, trial % 2 == 0);
        SurfacePtr b = Box(blo, bhi, trial % 3 == 0, turn);
        const double areaA = Area(a.get());
        const double areaB = Area(b.get());
        const bool crossing = FirstCrossing(a.get(), b.get(), 1e-6) != "";
        crossed += crossing;
        Cutter c;
        CutAndSplit(c, a.get(), b.get());
        // The cut runs through vertices marked as on the other surface.
        if (crossing) {
            EXPECT_GT(VerticesOn(a.get()), 2) << trial;
            EXPECT_GT(VerticesOn(b.get()), 2) << trial;
        }
        EXPECT_EQ("", MeshCheck(a.get())) << trial;
        EXPECT_EQ("", MeshCheck(b.get())) << trial;
        EXPECT_EQ(0, FacetsWithSegments(a.get())) << trial;
        EXPECT_EQ(0, FacetsWithSegments(b.get())) << trial;
        EXPECT_NEAR(areaA * 1e6, Area(a.get()), 1e-6 * areaA * 1e6) << trial;
        EXPECT_NEAR(areaB * 1e6, Area(b.get()), 1e-6 * areaB * 1e6) << trial;
        EXPECT_EQ("", FirstCrossing(a.get(), b.get(), 1e-3)) << trial;
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
        SurfacePtr a = GridSoup(rng, 1 + trial % 7);
        SurfacePtr b = GridSoup(rng, 1 + trial % 5);
        const double areaA = Area(a.get()) * 1e6;
        const double areaB = Area(b.get()) * 1e6;
        Cutter c;
        CutAndSplit(c, a.get(), b.get());
        c.CloseBoolean();
        EXPECT_EQ("", MeshCheck(a.get())) << trial;
        EXPECT_EQ("", MeshCheck(b.get())) << trial;
        EXPECT_NEAR(areaA, Area(a.get()), 1e-6 * (1.0 + areaA)) << trial;
        EXPECT_NEAR(areaB, Area(b.get()), 1e-6 * (1.0 + areaB)) << trial;

        SurfacePtr self = GridSoup(rng, 2 + trial % 9);
        G3BooleanCalculator repair;
        EXPECT_TRUE(repair.RemoveSelfIntersection(self.get()));
        EXPECT_EQ("", MeshCheck(self.get())) << trial;
    }
}

TEST(Split, FacetsTakeTheirSourcesExtendedDataAndCornerNormals)
{
    SurfacePtr a = Box({0, 0, 0}, {1, 1, 1}, true);
    SurfacePtr b = Box({0.5, 0.5, 0.5}, {1.5, 1.5, 1.5});
    a->AssignNormalsByPlane();
    for (int k = 0; k < a->GetFacetCount(); ++k)
        FacetAt(a.get(), k)->SetSurface(10 + k / 2);
    Cutter c;
    CutAndSplit(c, a.get(), b.get());
    // Three of the six faces (merged back from their triangle pairs) are
    // cut in two.
    EXPECT_EQ(9, a->GetFacetCount());
    for (int k = 0; k < a->GetFacetCount(); ++k) {
        G3Facet* f = FacetAt(a.get(), k);
        // Each piece keeps the sub-surface of the face it came from, and
        // every corner has a normal along the face's plane.
        const int face = f->GetSurface() - 10;
        ASSERT_GE(face, 0);
        ASSERT_LT(face, 6);
        G3Vertex* v[64];
        const int n = f->GetVertices(v);
        for (int i = 0; i < n; ++i) {
            G3Normal* nn = f->GetNormal(v[i], nullptr);
            ASSERT_NE(nullptr, nn);
            const double dot = nn->GetXYZ()[0] * f->GetPlaneA() + nn->GetXYZ()[1] * f->GetPlaneB() +
                               nn->GetXYZ()[2] * f->GetPlaneC();
            EXPECT_NEAR(1.0, dot, 1e-9);
        }
    }
    c.CloseBoolean();
}

TEST(Split, ACutAlongAFacetsWholeEdgeKeepsTheFacetAndPutsTheEdgeOn)
{
    // b stands on a's whole edge x = 2.
    SurfacePtr a = Square(0, 0, 2, 2);
    SurfacePtr b = Upright(0, 2);
    Cutter c;
    CutPair(c, a.get(), b.get());
    G3Facet* before = FacetAt(a.get(), 0);
    c.MergeSurfaceAndIntersectionTree(a.get(), nullptr);
    ASSERT_EQ(1, a->GetFacetCount());
    EXPECT_EQ(before, FacetAt(a.get(), 0));
    EXPECT_EQ(2, VerticesOn(a.get()));
    G3BooleanCalculator::CloseBoolean(a.get());
    G3BooleanCalculator::CloseBoolean(b.get());
}

TEST(Split, AFacetWhoseSegmentsCloseNoContourIsKept)
{
    // A sliver whose three vertices lie on one line has no inside for the
    // segments to divide.
    SurfacePtr s(new G3Surface());
    Face(s.get(), {s->AddVertex(0, 0, 0, 0), s->AddVertex(1, 0, 0, 0), s->AddVertex(2, 0, 0, 0)});
    ASSERT_EQ(1, s->GetFacetCount());
    G3BooleanCalculator::OpenBoolean(s.get());
    G3BooleanFacetData* r = G3BooleanFacetData::Of(FacetAt(s.get(), 0));
    r->segments = new G3IntervalList();
    const double p[3] = {0.5, 0, 0};
    const double q[3] = {1.5, 0, 0};
    r->segments->AddInterval(p, q);
    Cutter c;
    c.MergeSurfaceAndIntersectionTree(s.get(), nullptr);
    EXPECT_EQ(1, s->GetFacetCount());
    EXPECT_EQ("", MeshCheck(s.get()));
    G3BooleanCalculator::CloseBoolean(s.get());
}

// ------------------------------------------------------------ self-intersection

TEST(RemoveSelfIntersection, InterpenetratingBoxesInOneSurfaceNoLongerCross)
{
    for (bool split : {false, true}) {
        SurfacePtr s = Box({0, 0, 0}, {1, 1, 1}, split);
        AddBox(s.get(), {0.5, 0.25, 0.25}, {1.5, 0.75, 1.5}, !split);
        ASSERT_NE("", FirstCrossing(s.get(), s.get(), 1e-6));
        const double area = Area(s.get());
        G3BooleanCalculator c;
        ASSERT_TRUE(c.RemoveSelfIntersection(s.get()));
        EXPECT_EQ("", MeshCheck(s.get()));
        EXPECT_EQ("", FirstCrossing(s.get(), s.get(), 1e-6)) << split;
        EXPECT_NEAR(area, Area(s.get()), 1e-9);
        EXPECT_EQ(nullptr, s->GetExDataProvider());
    }
}

TEST(RemoveSelfIntersection, SurfacesWithoutNormalsOrWithoutAnythingAreHandled)
{
    G3BooleanCalculator c;
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
    EXPECT_NEAR(6.0, Area(box.get()), 1e-12);
}

} // namespace
