// Union, difference and intersection of closed solids: boxes in every kind
// of contact (apart, overlapping, sharing a face, an edge or a corner, one
// inside the other, flush openings), far from the origin, spheres against
// the analytic lens, volume identities on random pairs, what the operands
// hand to the result (extended data, the object returned, intersection
// segments), determinism, and refused or damaged input.

#include "boolean/boolean_support.h"
#include "mesh/mesh_check.h"

#include "Geometry/boolean/G3BooleanCalculator.h"
#include "Geometry/boolean/G3Interval.h"
#include "Geometry/boolean/G3IntervalList.h"
#include "Geometry/foundation/GRandom.h"
#include "Geometry/mesh/G3SurfaceVolume.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <unistd.h>

namespace {

using booltest::Box;
using booltest::Volume;
using SurfacePtr = std::unique_ptr<G3Surface>;

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(undefined_behavior_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

enum class Op { Union, Difference, Intersection };

G3Surface* Apply(Op op, G3Surface* a, G3Surface* b)
{
    G3BooleanCalculator engine;
    switch (op) {
    case Op::Union:
        return engine.Add(a, b);
    case Op::Difference:
        return engine.Sub(a, b);
    case Op::Intersection:
        return engine.Common(a, b);
    }
    return nullptr;
}

// The operation on copies, so that the operands can be used again.
SurfacePtr On(Op op, G3Surface* a, G3Surface* b)
{
    return SurfacePtr(Apply(op, a->Duplicate(), b->Duplicate()));
}

void ExpectClosedSolid(G3Surface* s)
{
    ASSERT_NE(s, nullptr);
    EXPECT_EQ("", MeshCheck(s));
    EXPECT_TRUE(s->GetClosed());
}

// ------------------------------------------------------------ boxes in contact

TEST(BooleanBoxes, DisjointCubesStayWholeOrVanish)
{
    SurfacePtr a(Box(0, 0, 0, 1, 1, 1));
    SurfacePtr b(Box(3, 0, 0, 4, 1, 1));

    SurfacePtr u = On(Op::Union, a.get(), b.get());
    ExpectClosedSolid(u.get());
    EXPECT_EQ(12, u->GetFacetCount());
    EXPECT_NEAR(2.0, Volume(u.get()), 1e-12);

    EXPECT_EQ(nullptr, On(Op::Intersection, a.get(), b.get()));

    SurfacePtr d = On(Op::Difference, a.get(), b.get());
    ExpectClosedSolid(d.get());
    EXPECT_EQ(6, d->GetFacetCount());
    double lo[3], hi[3];
    booltest::Bounds(d.get(), lo, hi);
    for (int k = 0; k < 3; ++k) {
        EXPECT_DOUBLE_EQ(0.0, lo[k]);
        EXPECT_DOUBLE_EQ(1.0, hi[k]);
    }
    EXPECT_NEAR(1.0, Volume(d.get()), 1e-12);
}

TEST(BooleanBoxes, HalfOverlappingCubes)
{
    SurfacePtr a(Box(0, 0, 0, 1, 1, 1));
    SurfacePtr b(Box(0.5, 0, 0, 1.5, 1, 1));

    SurfacePtr u = On(Op::Union, a.get(), b.get());
    ExpectClosedSolid(u.get());
    EXPECT_EQ(6, u->GetFacetCount());
    EXPECT_NEAR(1.5, Volume(u.get()), 1e-9);
    double lo[3], hi[3];
    booltest::Bounds(u.get(), lo, hi);
    EXPECT_NEAR(1.5, hi[0] - lo[0], 1e-12);

    SurfacePtr i = On(Op::Intersection, a.get(), b.get());
    ExpectClosedSolid(i.get());
    EXPECT_NEAR(0.5, Volume(i.get()), 1e-9);

    SurfacePtr d = On(Op::Difference, a.get(), b.get());
    ExpectClosedSolid(d.get());
    EXPECT_NEAR(0.5, Volume(d.get()), 1e-9);
    booltest::Bounds(d.get(), lo, hi);
    EXPECT_NEAR(0.5, hi[0], 1e-12);
}

TEST(BooleanBoxes, SharedFaceEdgeOrCorner)
{
    SurfacePtr a(Box(0, 0, 0, 1, 1, 1));
    SurfacePtr face(Box(1, 0, 0, 2, 1, 1));
    EXPECT_EQ(nullptr, On(Op::Intersection, a.get(), face.get()));
    EXPECT_EQ(nullptr, On(Op::Intersection, face.get(), a.get()));
    SurfacePtr u = On(Op::Union, a.get(), face.get());
    ExpectClosedSolid(u.get());
    EXPECT_EQ(6, u->GetFacetCount());
    EXPECT_NEAR(2.0, Volume(u.get()), 1e-9);
    SurfacePtr d = On(Op::Difference, a.get(), face.get());
    ExpectClosedSolid(d.get());
    EXPECT_NEAR(1.0, Volume(d.get()), 1e-9);

    // Only an edge, only a corner: both kept whole.
    for (bool corner : {false, true}) {
        SurfacePtr other(corner ? Box(1, 1, 1, 2, 2, 2) : Box(1, 1, 0, 2, 2, 1));
        SurfacePtr both = On(Op::Union, a.get(), other.get());
        ExpectClosedSolid(both.get());
        EXPECT_NEAR(2.0, Volume(both.get()), 1e-9);
        EXPECT_EQ(nullptr, On(Op::Intersection, a.get(), other.get()));
    }
}

TEST(BooleanBoxes, CubeMinusInnerCubeLeavesInwardCavity)
{
    SurfacePtr a(Box(0, 0, 0, 1, 1, 1));
    SurfacePtr b(Box(0.25, 0.25, 0.25, 0.75, 0.75, 0.75));
    SurfacePtr d = On(Op::Difference, a.get(), b.get());
    ExpectClosedSolid(d.get());
    EXPECT_NEAR(0.875, Volume(d.get()), 1e-9);
    int cavity = 0;
    for (int k = 0; k < d->GetFacetCount(); ++k) {
        G3Facet* f = d->GetFacet(k);
        const double* p = f->GetFirstEdge()->GetVertex1()->GetXYZ();
        if (p[0] < 0.2 || p[0] > 0.8 || p[1] < 0.2 || p[1] > 0.8 || p[2] < 0.2 || p[2] > 0.8)
            continue;
        ++cavity;
        // The plane's normal points to the cavity's centre.
        const double* n = f->GetPlane();
        EXPECT_GT(n[0] * (0.5 - p[0]) + n[1] * (0.5 - p[1]) + n[2] * (0.5 - p[2]), 0.2);
    }
    EXPECT_GE(cavity, 6);
}

TEST(BooleanBoxes, WallMinusFlushAndProtrudingOpening)
{
    for (bool protruding : {false, true}) {
        SCOPED_TRACE(protruding ? "protruding" : "flush");
        G3Surface* wall = Box(0, 0, 0, 4, 0.3, 3);
        G3Surface* opening = protruding ? Box(1, -0.5, 0.5, 2, 0.8, 2.5) : Box(1, 0, 0.5, 2, 0.3, 2.5);
        G3BooleanCalculator engine;
        SurfacePtr r(engine.Sub(wall, opening));
        ExpectClosedSolid(r.get());
        EXPECT_NEAR(3.6 - 0.6, Volume(r.get()), 1e-9);
        EXPECT_EQ(1, booltest::Genus(r.get()));
        EXPECT_GE(booltest::SmallestFacetArea(r.get()), 1e-9);
    }
}

TEST(BooleanBoxes, FarFromTheOriginAsAtIt)
{
    const double o = 1e6;
    SurfacePtr a(Box(o, o, o, o + 1, o + 1, o + 1));
    SurfacePtr b(Box(o + 1, o, o, o + 2, o + 1, o + 1));
    SurfacePtr u = On(Op::Union, a.get(), b.get());
    ExpectClosedSolid(u.get());
    EXPECT_EQ(6, u->GetFacetCount());
    EXPECT_NEAR(2.0, G3SurfaceVolume(u.get()), 1e-6);
    EXPECT_EQ(nullptr, On(Op::Intersection, a.get(), b.get()));

    SurfacePtr c(Box(o + 0.5, o, o, o + 1.5, o + 1, o + 1));
    SurfacePtr i = On(Op::Intersection, a.get(), c.get());
    ExpectClosedSolid(i.get());
    EXPECT_NEAR(0.5, G3SurfaceVolume(i.get()), 1e-6);
}

// ------------------------------------------------------------ spheres

TEST(BooleanSpheres, LensVolumesAtTwoThousandTriangles)
{
    // 2 * 44 * 23 = 2024 triangles each.
    SurfacePtr a(booltest::Sphere(0, 0, 0, 1, 24, 44));
    SurfacePtr b(booltest::Sphere(1.5, 0.1, 0.05, 1, 24, 44));
    const double d = std::sqrt(1.5 * 1.5 + 0.1 * 0.1 + 0.05 * 0.05);
    const double ball = 4.0 / 3.0 * booltest::kPi;
    const double lens = booltest::kPi * (4.0 + d) * (2.0 - d) * (2.0 - d) / 12.0;
    const double va = Volume(a.get());
    const double vb = Volume(b.get());

    SurfacePtr u = On(Op::Union, a.get(), b.get());
    SurfacePtr i = On(Op::Intersection, a.get(), b.get());
    SurfacePtr s = On(Op::Difference, a.get(), b.get());
    for (G3Surface* r : {u.get(), i.get(), s.get()})
        ExpectClosedSolid(r);
    EXPECT_NEAR(1.0, Volume(u.get()) / (2 * ball - lens), 0.02);
    EXPECT_NEAR(1.0, Volume(i.get()) / lens, 0.02);
    EXPECT_NEAR(1.0, Volume(s.get()) / (ball - lens), 0.02);
    EXPECT_NEAR(va + vb, Volume(u.get()) + Volume(i.get()), 1e-6 * (va + vb));
    EXPECT_NEAR(va - Volume(i.get()), Volume(s.get()), 1e-6 * va);
}

// ------------------------------------------------------------ random pairs

// A random solid: a box turned about z (sometimes not), snapped to a
// quarter grid often enough that faces coincide and touch, or a small
// sphere.
G3Surface* RandomSolid(std::mt19937& rng)
{
    std::uniform_int_distribution<int> kind(0, 5);
    std::uniform_int_distribution<int> quarter(-4, 4);
    std::uniform_real_distribution<double> real(-1.0, 1.0);
    const int k = kind(rng);
    if (k == 5) {
        const double r = 0.3 + 0.3 * (real(rng) + 1.0);
        return booltest::Sphere(0.5 * real(rng), 0.5 * real(rng), 0.5 * real(rng), r, 6, 8);
    }
    double lo[3], hi[3];
    for (int a = 0; a < 3; ++a) {
        if (k <= 2) {
            // Grid-snapped: coplanar faces, shared edges and corners.
            int q0 = quarter(rng);
            int q1 = quarter(rng);
            if (q0 == q1)
                q1 = q0 + 2;
            lo[a] = 0.25 * std::min(q0, q1);
            hi[a] = 0.25 * std::max(q0, q1);
        } else {
            const double c = real(rng);
            const double h = 0.2 + 0.5 * (real(rng) + 1.0);
            lo[a] = c - h;
            hi[a] = c + h;
        }
    }
    const double angle = k == 4 ? booltest::kPi * real(rng) : (k == 3 ? booltest::kPi / 2 : 0.0);
    return booltest::TurnedBox(lo[0], lo[1], lo[2], hi[0], hi[1], hi[2], angle, 0.0, 0.0);
}

TEST(BooleanRandom, VolumeIdentitiesOnRandomPairs)
{
    const int pairs = kSanitized ? 40 : 200;
    std::mt19937 rng(20261206);
    int overlapping = 0;
    for (int n = 0; n < pairs; ++n) {
        SCOPED_TRACE("pair " + std::to_string(n));
        SurfacePtr a(RandomSolid(rng));
        SurfacePtr b(RandomSolid(rng));
        const double va = Volume(a.get());
        const double vb = Volume(b.get());
        SurfacePtr u = On(Op::Union, a.get(), b.get());
        SurfacePtr i = On(Op::Intersection, a.get(), b.get());
        SurfacePtr d = On(Op::Difference, a.get(), b.get());
        ASSERT_TRUE(u);
        ExpectClosedSolid(u.get());
        if (i) {
            ExpectClosedSolid(i.get());
            ++overlapping;
        }
        if (d)
            ExpectClosedSolid(d.get());
        const double vu = Volume(u.get());
        const double vi = Volume(i.get());
        const double vd = Volume(d.get());
        EXPECT_NEAR(va + vb, vu + vi, 1e-6 * (va + vb));
        EXPECT_NEAR(va - vi, vd, 1e-6 * (va + vb));
    }
    EXPECT_GT(overlapping, pairs / 4);
}

// ------------------------------------------------------------ what the operands hand over

TEST(BooleanResult, AddReturnsTheOperandWithMoreFacets)
{
    G3Surface* a = Box(0, 0, 0, 1, 1, 1);
    G3Surface* b = booltest::Sphere(1, 0.5, 0.5, 0.4, 6, 8);
    G3BooleanCalculator engine;
    G3Surface* r = engine.Add(a, b);  // a is deleted
    EXPECT_EQ(b, r);
    ExpectClosedSolid(r);
    delete r;
}

TEST(BooleanResult, IntersectionListInScaledCoordinates)
{
    G3IntervalList list;
    G3BooleanCalculator engine;
    engine.SetIntersectionList(&list);
    SurfacePtr r(engine.Add(Box(0, 0, 0, 1, 1, 1), Box(0.5, 0.5, 0.5, 1.5, 1.5, 1.5)));
    ExpectClosedSolid(r.get());
    ASSERT_GT(list.GetIntervalCount(), 0);
    // The curve runs on the faces x, y, z = 1 of the first cube and 0.5 of
    // the second: scaled, every coordinate lies in [500, 1000].
    for (int k = 0; k < list.GetIntervalCount(); ++k) {
        G3Interval* iv = list.GetInterval(k);
        for (G3Point* p : {iv->GetPoint1(), iv->GetPoint2()})
            for (int c = 0; c < 3; ++c) {
                EXPECT_GE(p->GetXYZ(c), 500.0 - 1e-6);
                EXPECT_LE(p->GetXYZ(c), 1000.0 + 1e-6);
            }
    }
}

TEST(BooleanResult, FacetsKeepTheirOperandsMaterial)
{
    static int material1 = 1;
    static int material2 = 2;
    const char* key = "ZUNO_G3FACE_MATERIAL_INDEX";
    for (Op op : {Op::Union, Op::Difference, Op::Intersection}) {
        SCOPED_TRACE(static_cast<int>(op));
        G3Surface* a = new G3Surface();
        a->GetExtendedDataFacetDefault().Add(key, &material1);
        G3Surface* b = new G3Surface();
        b->GetExtendedDataFacetDefault().Add(key, &material2);
        // The operands are built after the defaults are set, so every facet
        // carries its operand's index.
        SurfacePtr ba(Box(0, 0, 0, 1, 1, 1));
        SurfacePtr bb(Box(0.5, 0.25, 0.25, 1.5, 0.75, 0.75));
        a->Copy(ba.get());
        b->Copy(bb.get());
        for (int k = 0; k < a->GetFacetCount(); ++k)
            a->GetFacet(k)->GetExtendedData().Add(key, &material1);
        for (int k = 0; k < b->GetFacetCount(); ++k)
            b->GetFacet(k)->GetExtendedData().Add(key, &material2);
        SurfacePtr r(Apply(op, a, b));
        ExpectClosedSolid(r.get());
        for (int k = 0; k < r->GetFacetCount(); ++k) {
            G3Facet* f = r->GetFacet(k);
            void* m = f->GetExtendedData().GetData(key);
            // A facet lies on a face of the operand it came from.
            const double* n = f->GetPlane();
            const double* p = f->GetFirstEdge()->GetVertex1()->GetXYZ();
            const bool onA = (std::fabs(n[0]) > 0.99 && (std::fabs(p[0]) < 1e-9 || std::fabs(p[0] - 1) < 1e-9)) ||
                             (std::fabs(n[1]) > 0.99 && (std::fabs(p[1]) < 1e-9 || std::fabs(p[1] - 1) < 1e-9)) ||
                             (std::fabs(n[2]) > 0.99 && (std::fabs(p[2]) < 1e-9 || std::fabs(p[2] - 1) < 1e-9));
            EXPECT_EQ(onA ? static_cast<void*>(&material1) : static_cast<void*>(&material2), m) << "facet " << k;
        }
    }
}

std::string Dump(G3Surface* s)
{
    const std::string path = (std::filesystem::temp_directory_path() /
                              ("g3-bool-" + std::to_string(::getpid()) + ".txt"))
                                 .string();
    EXPECT_TRUE(s->Save(path.c_str()));
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    std::remove(path.c_str());
    return ss.str();
}

TEST(BooleanResult, SameOperationTwiceGivesTheSameDump)
{
    SurfacePtr a(booltest::Sphere(0, 0, 0, 1, 8, 12));
    SurfacePtr b(Box(0, -0.5, -0.5, 2, 0.5, 0.5));
    for (Op op : {Op::Union, Op::Difference, Op::Intersection}) {
        GSRand(1);
        SurfacePtr r1 = On(op, a.get(), b.get());
        GSRand(977);  // another ray sequence: the answers must not depend on it
        SurfacePtr r2 = On(op, a.get(), b.get());
        ASSERT_TRUE(r1 && r2);
        EXPECT_EQ(Dump(r1.get()), Dump(r2.get()));
    }
}

// ------------------------------------------------------------ degenerate calls and damaged input

TEST(BooleanInput, NullEmptyAndRepeatedOperands)
{
    G3BooleanCalculator engine;
    G3Surface* a = Box(0, 0, 0, 1, 1, 1);
    EXPECT_EQ(a, engine.Add(a, nullptr));
    EXPECT_EQ(a, engine.Add(nullptr, a));
    EXPECT_EQ(a, engine.Sub(a, nullptr));
    EXPECT_EQ(a, engine.Add(a, new G3Surface()));  // the empty one is deleted
    EXPECT_EQ(nullptr, engine.Sub(nullptr, Box(0, 0, 0, 1, 1, 1)));
    EXPECT_EQ(nullptr, engine.Common(nullptr, Box(0, 0, 0, 1, 1, 1)));
    EXPECT_EQ(nullptr, engine.Add(nullptr, nullptr));
    ExpectClosedSolid(a);
    EXPECT_NEAR(1.0, Volume(a), 1e-12);

    // One surface as both operands: two equal solids.
    G3Surface* r = engine.Add(a, a);
    ExpectClosedSolid(r);
    EXPECT_NEAR(1.0, Volume(r), 1e-9);
    r = engine.Common(r, r);
    ExpectClosedSolid(r);
    EXPECT_NEAR(1.0, Volume(r), 1e-9);
    EXPECT_EQ(nullptr, engine.Sub(r, r));  // r is deleted
    EXPECT_EQ(nullptr, engine.Common(Box(0, 0, 0, 1, 1, 1), nullptr));
}

TEST(BooleanInput, NonFiniteOrHugeCoordinatesAreRefused)
{
    for (double bad : {std::numeric_limits<double>::quiet_NaN(), HUGE_VAL, 1e306}) {
        G3BooleanCalculator engine;
        G3Surface* b = Box(0, 0, 0, 1, 1, 1);
        b->GetVertex(3)->GetXYZ()[1] = bad;
        b->FormPlaneEquation();
        EXPECT_EQ(nullptr, engine.Add(Box(0.5, 0, 0, 1.5, 1, 1), b));
    }
}

TEST(BooleanInput, OpenOrSelfIntersectingOperandsEndInBoundedTime)
{
    // An open box (its top taken away) against a cube: the result is
    // whatever the classification gives, consistent, and marked not solid
    // when open.
    G3Surface* open = Box(0, 0, 0, 1, 1, 1);
    open->RemoveFacet(open->GetFacet(1));
    open->RemoveUnused();
    G3BooleanCalculator engine;
    G3Surface* cube = Box(0.5, 0.5, 0.5, 1.5, 1.5, 1.5);
    cube->SetSolid();
    SurfacePtr r(engine.Add(cube, open));
    ASSERT_TRUE(r);
    EXPECT_EQ("", MeshCheck(r.get()));
    EXPECT_FALSE(r->GetClosed());
    EXPECT_FALSE(r->GetSolid());

    // Two cubes overlapping in one surface, against a third.
    G3Surface* twice = Box(0, 0, 0, 1, 1, 1);
    SurfacePtr second(Box(0.5, 0.5, 0, 1.5, 1.5, 1));
    twice->Copy(second.get());
    SurfacePtr r2(engine.Sub(twice, Box(0.25, 0.25, 0.25, 0.75, 0.75, 2)));
    if (r2) {
        EXPECT_EQ("", MeshCheck(r2.get()));
    }
}

// ------------------------------------------------------------ update levels

G3Surface* OpenBox()
{
    G3Surface* s = Box(0, 0, 0, 1, 1, 1);
    s->RemoveFacet(s->GetFacet(1));
    s->RemoveUnused();
    return s;
}

TEST(SurfaceUpdate, OpenSurfacesEndDoubleSided)
{
    for (int level : {1001, 1002, 1003, 0, 7}) {
        SCOPED_TRACE(level);
        SurfacePtr s(OpenBox());
        s->Update(static_cast<CHECK_LEVEL>(level));
        EXPECT_EQ("", MeshCheck(s.get()));
        ASSERT_GT(s->GetFacetCount(), 0);
        for (int k = 0; k < s->GetFacetCount(); ++k)
            EXPECT_TRUE(s->GetFacet(k)->GetDoubleSided()) << "facet " << k;
    }
}

TEST(SurfaceUpdate, OtherLevelsOnlyTrim)
{
    SurfacePtr s(Box(0, 0, 0, 1, 1, 1));
    // A duplicate corner that level 1001 would weld.
    s->AddVertex(0, 0, 0, 0);
    const int vertices = s->GetVertexCount();
    s->Update(static_cast<CHECK_LEVEL>(1000));
    EXPECT_EQ(vertices, s->GetVertexCount());
    EXPECT_EQ(6, s->GetFacetCount());
    for (int k = 0; k < s->GetFacetCount(); ++k)
        EXPECT_FALSE(s->GetFacet(k)->GetDoubleSided());
    s->Update(CHECK_LEVEL_WELD);
    EXPECT_EQ(8, s->GetVertexCount());
    EXPECT_EQ("", MeshCheck(s.get()));
    EXPECT_TRUE(s->GetClosed());
}

TEST(SurfaceUpdate, SelfIntersectionLevelCutsCrossingSheets)
{
    // Two closed cubes overlapping in one surface: level 1003 cuts them
    // along each other, so the surface gains the curve's vertices.
    SurfacePtr s(Box(0, 0, 0, 1, 1, 1));
    SurfacePtr other(Box(0.5, 0.5, 0.5, 1.5, 1.5, 1.5));
    s->Copy(other.get());
    s->FormPlaneEquation();
    s->Update(CHECK_LEVEL_INTERSECTIONS);
    EXPECT_EQ("", MeshCheck(s.get()));
    EXPECT_GT(s->GetVertexCount(), 16);
}

}  // namespace
