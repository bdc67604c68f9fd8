// Working data of the boolean engine and the classification of points by
// random rays: crossing counts over facet lists, the coplanar side test,
// picking along a ray, and a randomized comparison with solids whose inside
// is known exactly.

#include "common/builders.h"
#include "mesh/mesh_check.h"

#include "Geometry/boolean/G3BooleanCalculator.h"
#include "Geometry/boolean/G3BooleanData.h"
#include "Geometry/boolean/G3IntervalList.h"
#include "Geometry/boolean/G3RayTraceResult.h"
#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/foundation/GRandom.h"
#include "Geometry/foundation/GTrace.h"
#include "Geometry/mesh/G3Edge.h"
#include "Geometry/mesh/G3Facet.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/mesh/G3Vertex.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

using P = std::array<double, 3>;
using SurfacePtr = std::unique_ptr<G3Surface>;

// ------------------------------------------------------------ building

G3Facet* Face(G3Surface* s, const std::vector<G3Vertex*>& v)
{
    std::vector<G3Vertex*> copy(v);
    return s->AddFacet(static_cast<int>(copy.size()), copy.data(), 1, nullptr, nullptr);
}

// A quad a-b-c-d, or the two triangles a-b-c and a-c-d.
void Quad(G3Surface* s, G3Vertex* a, G3Vertex* b, G3Vertex* c, G3Vertex* d, bool split)
{
    if (split) {
        Face(s, {a, b, c});
        Face(s, {a, c, d});
    } else {
        Face(s, {a, b, c, d});
    }
}

SurfacePtr Box(P lo, P hi, bool split = false)
{
    SurfacePtr s(new G3Surface());
    testmesh::AddBox(*s, lo, hi, split);
    return s;
}

SurfacePtr UnitCube() { return Box({0, 0, 0}, {1, 1, 1}); }

// The L-shaped prism over (0,0) (2,0) (2,1) (1,1) (1,2) (0,2), scaled by
// `size`, from z = 0 to `height`, moved by `at`. Top and bottom are concave
// hexagons, or four triangles each with `split`.
void AddLPrism(G3Surface* s, double size, double height, P at, bool split)
{
    const double xy[6][2] = {{0, 0}, {2, 0}, {2, 1}, {1, 1}, {1, 2}, {0, 2}};
    G3Vertex* lo[6];
    G3Vertex* hi[6];
    for (int k = 0; k < 6; ++k) {
        lo[k] = s->AddVertex(at[0] + size * xy[k][0], at[1] + size * xy[k][1], at[2], 0);
        hi[k] = s->AddVertex(at[0] + size * xy[k][0], at[1] + size * xy[k][1], at[2] + height, 0);
    }
    if (split) {
        for (int k = 1; k < 5; ++k) {
            Face(s, {hi[0], hi[k], hi[k + 1]});
            Face(s, {lo[0], lo[k + 1], lo[k]});
        }
    } else {
        Face(s, {hi[0], hi[1], hi[2], hi[3], hi[4], hi[5]});
        Face(s, {lo[5], lo[4], lo[3], lo[2], lo[1], lo[0]});
    }
    for (int k = 0; k < 6; ++k) {
        const int n = (k + 1) % 6;
        Quad(s, lo[k], lo[n], hi[n], hi[k], split);
    }
}

// ------------------------------------------------------------ checks

// No mark (and, with `links`, no scratch link) on any vertex, edge or
// facet.
std::string MarkCheck(G3Surface* s, bool links = false)
{
    auto clean = [links](GArrayCollection* c, const char* name) -> std::string {
        for (int k = 0; c && k < c->size(); ++k) {
            const G3Obj* o = static_cast<const G3Obj*>(c->get(k));
            if (links && o->GetExData())
                return std::string(name) + " keeps a scratch link";
            if (o->GetMark() || o->GetMark2())
                return std::string(name) + " keeps a mark";
        }
        return "";
    };
    for (auto r : {clean(s->GetVertexList(), "vertex"), clean(s->GetEdgeList(), "edge"),
                   clean(s->GetFacetList(), "facet")})
        if (!r.empty())
            return r;
    return "";
}

// No provider, no scratch link, no mark anywhere in the surface.
std::string ScratchCheck(G3Surface* s)
{
    if (s->GetExDataProvider())
        return "provider left attached";
    return MarkCheck(s, true);
}

// Opens the working data for the scope and checks on leaving it that
// closing left nothing behind.
class Session {
public:
    explicit Session(G3Surface* surface) : s(surface)
    {
        EXPECT_TRUE(G3BooleanCalculator::OpenBoolean(s));
        EXPECT_EQ("", MeshCheck(s));
    }
    ~Session()
    {
        EXPECT_TRUE(G3BooleanCalculator::CloseBoolean(s));
        EXPECT_EQ("", MeshCheck(s));
        EXPECT_EQ("", ScratchCheck(s));
    }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

private:
    G3Surface* s;
};

// The calculator's protected classifiers, with operands and ray length set
// by hand (the operations that set them belong to the full boolean).
class Probe : public G3BooleanCalculator {
public:
    Probe(G3Surface* a, G3Surface* b, double rayLength)
    {
        A = a;
        B = b;
        radius = rayLength;
    }
    using G3BooleanCalculator::ClassifyVertex;
    using G3BooleanCalculator::TestOnOpposite;
};

SURF_CLASSIFY PointTest(G3Surface* s, P p, P q, unsigned int* count = nullptr)
{
    return G3BooleanCalculator::TestPointAndFacetList(p.data(), q.data(), s->GetFacetList(), count);
}

SURF_CLASSIFY RayTest(G3Surface* s, P p, P q)
{
    return G3BooleanCalculator::TestRayAndFacetList(p.data(), q.data(), s->GetFacetList());
}

std::vector<std::string>& Traces()
{
    static std::vector<std::string> t;
    return t;
}

// ------------------------------------------------------------ working data

TEST(BooleanWorkingData, RecordsFollowEntitiesInAndOut)
{
    SurfacePtr s = Box({0, 0, 0}, {1, 2, 3}, true);
    {
        Session open(s.get());
        for (int k = 0; k < s->GetVertexCount(); ++k) {
            G3BooleanVertexData* r = G3BooleanVertexData::Of(s->GetVertex(k));
            ASSERT_NE(nullptr, r);
            EXPECT_EQ(SC_UNKNOWN, r->classify);
        }
        for (int k = 0; k < s->GetFacetCount(); ++k) {
            G3Facet* f = s->GetFacet(k);
            G3BooleanFacetData* r = G3BooleanFacetData::Of(f);
            ASSERT_NE(nullptr, r);
            EXPECT_EQ(SC_UNKNOWN, r->classify);
            EXPECT_EQ(nullptr, r->segments);
            GEnvelope box;
            f->FormEnvelope(&box);
            for (int c = 0; c < 3; ++c) {
                EXPECT_EQ(box.min[c] - 9.999999999999999e-6, r->min[c]);
                EXPECT_EQ(box.max[c] + 9.999999999999999e-6, r->max[c]);
            }
            r->segments = new G3IntervalList();
        }
        // Entities made while the data is open get records; a facet that
        // leaves takes its segment list with it.
        G3Vertex* v = s->AddVertex(5, 5, 5, 0);
        EXPECT_NE(nullptr, G3BooleanVertexData::Of(v));
        G3Facet* f = Face(s.get(), {s->GetVertex(0), s->GetVertex(1), v});
        ASSERT_NE(nullptr, G3BooleanFacetData::Of(f));
        EXPECT_EQ(5 + 9.999999999999999e-6, G3BooleanFacetData::Of(f)->max[0]);
        G3BooleanFacetData::Of(f)->segments = new G3IntervalList();
        EXPECT_TRUE(s->RemoveFacet(f));
        EXPECT_EQ("", MeshCheck(s.get()));
        // Opening again starts afresh (and frees the lists held so far).
        EXPECT_TRUE(G3BooleanCalculator::OpenBoolean(s.get()));
        EXPECT_EQ(nullptr, G3BooleanFacetData::Of(s->GetFacet(0))->segments);
    }
    // Closed: a second close, a null surface and a foreign provider are
    // refused.
    EXPECT_FALSE(G3BooleanCalculator::CloseBoolean(s.get()));
    EXPECT_FALSE(G3BooleanCalculator::CloseBoolean(nullptr));
    EXPECT_FALSE(G3BooleanCalculator::OpenBoolean(nullptr));
    s->SetExDataProvider(new G3ShellExDataProvider());
    EXPECT_FALSE(G3BooleanCalculator::CloseBoolean(s.get()));
    EXPECT_NE(nullptr, s->GetExDataProvider());
    s->RemoveExDataProvider();
    EXPECT_EQ("", ScratchCheck(s.get()));
}

TEST(BooleanWorkingData, SurfaceDeletedWhileOpenFreesSegmentLists)
{
    // The sanitizer build reports the lists if the provider loses them.
    G3Surface* s = UnitCube().release();
    ASSERT_TRUE(G3BooleanCalculator::OpenBoolean(s));
    for (int k = 0; k < s->GetFacetCount(); ++k)
        G3BooleanFacetData::Of(s->GetFacet(k))->segments = new G3IntervalList();
    delete s;
}

TEST(BooleanWorkingData, EmptySurfaceAndFacetWithoutEdges)
{
    SurfacePtr empty(new G3Surface());
    {
        Session open(empty.get());
        unsigned int count = 7;
        EXPECT_EQ(SC_OUTSIDE, PointTest(empty.get(), {0, 0, 0}, {1, 1, 1}, &count));
        EXPECT_EQ(0u, count);
        Probe probe(empty.get(), empty.get(), 10);
        const double p[3] = {0, 0, 0};
        EXPECT_EQ(SC_OUTSIDE, probe.ClassifyVertex(p, empty->GetFacetList()));
    }
    // A facet without edges that claims a plane: it meets nothing, with its
    // record and without one.
    SurfacePtr s = UnitCube();
    G3Facet* bare = s->AddFacetToCollection(new G3Facet());
    const double plane[4] = {0, 0, 1, -0.5};
    bare->SetPlane(plane);
    EXPECT_EQ(SC_INSIDE, PointTest(s.get(), {0.3, 0.4, 0.2}, {0.3, 0.4, 7}));
    {
        Session open(s.get());
        EXPECT_EQ(SC_INSIDE, PointTest(s.get(), {0.3, 0.4, 0.2}, {0.3, 0.4, 7}));
        EXPECT_TRUE(G3BooleanFacetData::Of(bare)->IsDefault());
    }
    EXPECT_TRUE(s->RemoveFacet(bare));
    EXPECT_EQ("", MeshCheck(s.get()));
}

// ------------------------------------------------------------ random rays

TEST(BooleanRandomRay, DrawsFromTheKernelSequence)
{
    GSRand(1);
    const double origin[3] = {1, 2, 3};
    double end[3];
    G3BooleanCalculator::GenerateRandomRay(origin, end, 2.0);
    const double z = 2.0 * 41 / 32767 - 1.0;
    const double phi = 18467 * 6.283185307179586 / 32767;
    const double s = std::sqrt(1 - z * z);
    EXPECT_NEAR(1 + 2 * std::cos(phi) * s, end[0], 1e-12);
    EXPECT_NEAR(2 + 2 * std::sin(phi) * s, end[1], 1e-12);
    EXPECT_NEAR(3 + 2 * z, end[2], 1e-12);

    // Reseeding repeats the draws; null arguments draw nothing.
    G3BooleanCalculator::GenerateRandomRay(nullptr, end, 2.0);
    G3BooleanCalculator::GenerateRandomRay(origin, nullptr, 2.0);
    double again[3];
    GSRand(1);
    G3BooleanCalculator::GenerateRandomRay(origin, again, 2.0);
    EXPECT_EQ(std::vector<double>(end, end + 3), std::vector<double>(again, again + 3));
}

TEST(BooleanRandomRay, HalfSpaceForms)
{
    GSRand(7);
    const double origin[3] = {0, 0, 0};
    const double plane[4] = {0, 0, 1, 0};
    const double normal[3] = {0, 0, 1};
    const double zero[4] = {0, 0, 0, 0};
    for (int k = 0; k < 200; ++k) {
        double end[3];
        ASSERT_TRUE(G3BooleanCalculator::GenerateRandomRay(origin, end, plane, 1, 10));
        EXPECT_GT(end[2], 9.999999999999999e-6);
        ASSERT_TRUE(G3BooleanCalculator::GenerateRandomRay(origin, end, plane, -1, 10));
        EXPECT_LT(end[2], -9.999999999999999e-6);
        G3BooleanCalculator::GenerateRandomRay(origin, end, normal, 10);
        EXPECT_GE(end[2], 0.0);
        EXPECT_NEAR(10.0, std::sqrt(end[0] * end[0] + end[1] * end[1] + end[2] * end[2]), 1e-9);
    }
    // No side of a zero plane can be reached; a zero normal allows any
    // direction. Neither divides by its length.
    double end[3];
    EXPECT_FALSE(G3BooleanCalculator::GenerateRandomRay(origin, end, zero, 1, 10));
    EXPECT_TRUE(std::isfinite(end[0]) && std::isfinite(end[1]) && std::isfinite(end[2]));
    G3BooleanCalculator::GenerateRandomRay(origin, end, zero, 10);
    EXPECT_NEAR(10.0, std::sqrt(end[0] * end[0] + end[1] * end[1] + end[2] * end[2]), 1e-9);
    // From a point off the plane on the wrong side, a mirrored draw that
    // stays on the wrong side is not taken.
    const double below[3] = {0, 0, -5};
    int taken = 0;
    for (int k = 0; k < 50; ++k) {
        if (G3BooleanCalculator::GenerateRandomRay(below, end, plane, 1, 10)) {
            EXPECT_GT(end[2], 9.999999999999999e-6);
            ++taken;
        }
    }
    EXPECT_GT(taken, 0);
}

// ------------------------------------------------------------ crossing counts

TEST(BooleanRayClassify, UnitCube)
{
    SurfacePtr cube = UnitCube();
    Session open(cube.get());
    Probe probe(cube.get(), nullptr, 10);
    GArrayCollection* facets = cube->GetFacetList();
    GSRand(3);
    const double inside[3] = {0.5, 0.5, 0.5};
    const double outside[3] = {2, 2, 2};
    const double onTop[3] = {0.5, 0.5, 1 + 1e-7};
    const double offTop[3] = {0.5, 0.5, 1 + 2e-6};
    EXPECT_EQ(SC_INSIDE, probe.ClassifyVertex(inside, facets));
    EXPECT_EQ(SC_OUTSIDE, probe.ClassifyVertex(outside, facets));
    EXPECT_EQ(SC_ON, probe.ClassifyVertex(onTop, facets));
    EXPECT_EQ(SC_OUTSIDE, probe.ClassifyVertex(offTop, facets));
    EXPECT_EQ(SC_ON, PointTest(cube.get(), {0.5, 0.5, 1 + 1e-7}, {3, 4, 5}));

    unsigned int count = 0;
    EXPECT_EQ(SC_INSIDE, PointTest(cube.get(), {0.5, 0.5, 0.5}, {0.7, 0.2, 9}, &count));
    EXPECT_EQ(1u, count);
    EXPECT_EQ(SC_OUTSIDE, PointTest(cube.get(), {0.3, 0.4, -2}, {0.3, 0.4, 9}, &count));
    EXPECT_EQ(2u, count);
    // Rays through an edge or a vertex give no answer; the classifier
    // draws again.
    EXPECT_EQ(SC_UNKNOWN, PointTest(cube.get(), {0.5, 0.5, 0.5}, {1.5, 1.5, 0.5}));
    EXPECT_EQ(SC_UNKNOWN, PointTest(cube.get(), {0.5, 0.5, 0.5}, {1.5, 1.5, 1.5}));
    EXPECT_EQ(SC_UNKNOWN, RayTest(cube.get(), {0.5, 0.5, 0.5}, {1.5, 1.5, 0.5}));
    // A start in a face's plane beside the face: the face is passed by,
    // unless the whole ray runs in the plane.
    EXPECT_EQ(SC_OUTSIDE, PointTest(cube.get(), {2, 0.5, 1}, {2, 0.5, -5}));
    EXPECT_EQ(SC_UNKNOWN, PointTest(cube.get(), {2, 0.5, 1}, {-3, 0.5, 1}));
    // Unusable points and lists.
    EXPECT_EQ(SC_UNKNOWN, G3BooleanCalculator::TestPointAndFacetList(nullptr, outside, facets, &count));
    const double nan[3] = {std::nan(""), 0, 0};
    EXPECT_EQ(SC_UNKNOWN, G3BooleanCalculator::TestPointAndFacetList(nan, outside, facets, nullptr));
    EXPECT_EQ(SC_UNKNOWN, G3BooleanCalculator::TestRayAndFacetList(inside, nan, facets));
    EXPECT_EQ(SC_OUTSIDE, G3BooleanCalculator::TestPointAndFacetList(inside, outside, nullptr, &count));
    EXPECT_EQ(0u, count);
    GArrayCollection mixed;
    mixed.add(cube->GetVertex(0));
    mixed.add(nullptr);
    mixed.add(cube->GetFacet(1));
    const double up[3] = {0.6, 0.7, 3};
    EXPECT_EQ(SC_INSIDE, G3BooleanCalculator::TestPointAndFacetList(inside, up, &mixed, nullptr));
    // No ray length, no answer.
    Probe unopened(cube.get(), nullptr, 0);
    EXPECT_EQ(SC_UNKNOWN, unopened.ClassifyVertex(inside, facets));
    EXPECT_EQ("", MeshCheck(cube.get()));
}

TEST(BooleanRayClassify, DoubleSidedFacetCountsTwice)
{
    SurfacePtr s(new G3Surface());
    G3Vertex* a = s->AddVertex(0, 0, 0, 0);
    G3Vertex* b = s->AddVertex(1, 0, 0, 0);
    G3Vertex* c = s->AddVertex(0, 1, 0, 0);
    G3Facet* f = Face(s.get(), {a, b, c});
    f->SetDoubleSided();
    Session open(s.get());
    Probe probe(s.get(), nullptr, 10);
    GSRand(11);
    unsigned int count = 0;
    EXPECT_EQ(SC_OUTSIDE, PointTest(s.get(), {0.2, 0.2, 1}, {0.2, 0.2, -1}, &count));
    EXPECT_EQ(2u, count);
    for (double z : {-0.5, 0.5, 2.0}) {
        const double p[3] = {0.25, 0.25, z};
        EXPECT_EQ(SC_OUTSIDE, probe.ClassifyVertex(p, s->GetFacetList()));
    }
    f->ClearDoubleSided();
    EXPECT_EQ(SC_INSIDE, PointTest(s.get(), {0.2, 0.2, 1}, {0.2, 0.2, -1}, &count));
    EXPECT_EQ(1u, count);
}

TEST(BooleanRayClassify, FarEndInAFacet)
{
    SurfacePtr cube = UnitCube();
    Session open(cube.get());
    Traces().clear();
    GTraceSink previous = GSetTraceSink([](const char* m) { Traces().push_back(m); });
    // The ray ends on the top face: the point test counts that crossing, the
    // ray test refuses to decide.
    unsigned int count = 0;
    EXPECT_EQ(SC_INSIDE, PointTest(cube.get(), {0.5, 0.5, 0.5}, {0.4, 0.6, 1}, &count));
    EXPECT_EQ(1u, count);
    EXPECT_EQ(SC_UNKNOWN, RayTest(cube.get(), {0.5, 0.5, 0.5}, {0.4, 0.6, 1}));
    // A ray test from a point on a face counts that face, and an exit
    // through a boundary is traced.
    EXPECT_EQ(SC_INSIDE, RayTest(cube.get(), {0.5, 0.5, 1}, {0.3, 0.6, 4}));
    EXPECT_EQ(SC_OUTSIDE, RayTest(cube.get(), {0.5, 0.5, 1}, {0.5, 0.5, -4}));
    EXPECT_TRUE(Traces().empty());
    EXPECT_EQ(SC_UNKNOWN, RayTest(cube.get(), {0.5, 0.5, 0.5}, {1.5, 0.5, 1.5}));
    EXPECT_EQ(std::vector<std::string>{"return unknown."}, Traces());
    GSetTraceSink(previous);
}

TEST(BooleanRayClassify, FacetWithHoleCountsOnlyItsMaterial)
{
    // A frame: the crossing in its hole is no crossing; the point test runs
    // each contour on its own, so the bridge between them is no edge.
    SurfacePtr s(new G3Surface());
    G3Vertex* o[4] = {s->AddVertex(0, 0, 0, 0), s->AddVertex(4, 0, 0, 0), s->AddVertex(4, 4, 0, 0),
                      s->AddVertex(0, 4, 0, 0)};
    G3Vertex* h[4] = {s->AddVertex(1, 1, 0, 0), s->AddVertex(1, 3, 0, 0), s->AddVertex(3, 3, 0, 0),
                      s->AddVertex(3, 1, 0, 0)};
    G3Facet* f = Face(s.get(), {o[0], o[1], o[2], o[3]});
    for (int k = 0; k < 4; ++k) {
        G3Edge* e = s->AddEdge(h[k], h[(k + 1) % 4], f);
        ASSERT_NE(nullptr, e);
    }
    ASSERT_EQ("", MeshCheck(s.get()));
    Session open(s.get());
    unsigned int count = 9;
    EXPECT_EQ(SC_OUTSIDE, PointTest(s.get(), {2, 2, 1}, {2.1, 2.2, -1}, &count));
    EXPECT_EQ(0u, count);
    EXPECT_EQ(SC_INSIDE, PointTest(s.get(), {0.5, 2, 1}, {0.5, 2.2, -1}, &count));
    EXPECT_EQ(1u, count);
    // On the lines from the outer contour's last vertex to the hole's first
    // and from the hole's last back to the outer contour's first.
    EXPECT_EQ(SC_INSIDE, PointTest(s.get(), {0.5, 2.5, 1}, {0.5, 2.5, -1}));
    EXPECT_EQ(SC_INSIDE, PointTest(s.get(), {1.5, 0.5, 1}, {1.5, 0.5, -1}));
    EXPECT_EQ(SC_UNKNOWN, PointTest(s.get(), {1, 2, 1}, {1, 2, -1}));
}

// ------------------------------------------------------------ coplanar sides

TEST(BooleanRayClassify, TestOnOppositeComparesSidesOfASharedFace)
{
    for (bool split : {false, true}) {
        SurfacePtr a = Box({0, 0, 0}, {1, 1, 1}, split);
        SurfacePtr same = Box({0, 0, 0}, {1, 1, 1}, !split);
        SurfacePtr shifted = Box({0.5, 0, 0}, {1.5, 1, 1}, split);
        SurfacePtr below = Box({0, 0, -1}, {1, 1, 0}, split);
        Session sa(a.get());
        Session ss(same.get());
        Session sh(shifted.get());
        Session sb(below.get());
        // A point inside a's bottom face, off every diagonal; its plane
        // faces down, out of a.
        const double p[3] = {0.7, 0.4, 0};
        const double bottom[4] = {0, 0, -1, 0};
        GSRand(5);
        EXPECT_EQ(SC_ON_SAME, Probe(a.get(), same.get(), 10).TestOnOpposite(p, bottom));
        EXPECT_EQ(SC_ON_SAME, Probe(a.get(), shifted.get(), 10).TestOnOpposite(p, bottom));
        EXPECT_EQ(SC_ON_OPPOSITE, Probe(a.get(), below.get(), 10).TestOnOpposite(p, bottom));
        // Seen from the other cube: its top face, facing up.
        const double top[4] = {0, 0, 1, 0};
        EXPECT_EQ(SC_ON_OPPOSITE, Probe(below.get(), a.get(), 10).TestOnOpposite(p, top));
        // Without the second operand, a zero plane or a ray length there is
        // no answer.
        const double zero[4] = {0, 0, 0, 0};
        EXPECT_EQ(SC_UNKNOWN, Probe(a.get(), nullptr, 10).TestOnOpposite(p, bottom));
        EXPECT_EQ(SC_UNKNOWN, Probe(a.get(), below.get(), 10).TestOnOpposite(p, zero));
        EXPECT_EQ(SC_UNKNOWN, Probe(a.get(), below.get(), 0).TestOnOpposite(p, bottom));
        EXPECT_EQ(SC_UNKNOWN, Probe(a.get(), below.get(), 10).TestOnOpposite(nullptr, bottom));
    }
}

// ------------------------------------------------------------ picking

// Records every report.
class Recorder : public G3RayTraceResult {
public:
    bool SetEyePosition(double, double, double) override { return true; }
    bool FindFacet(const double* p, const double*, const double*, const double*, G3Facet* f) override
    {
        facets.push_back(f);
        points.push_back({p[0], p[1], p[2]});
        return true;
    }
    bool FindObject(const double*, const double*, const double*, const double*, void*, void*) override
    {
        return true;
    }
    bool FindEdge(const double* p, const double* n, G3Edge* e) override
    {
        edges.push_back(e);
        edgeNormals.push_back({n[0], n[1], n[2]});
        points.push_back({p[0], p[1], p[2]});
        return true;
    }
    bool FindVertex(const double* p, const double* n, G3Vertex* v) override
    {
        vertices.push_back(v);
        vertexNormals.push_back({n[0], n[1], n[2]});
        points.push_back({p[0], p[1], p[2]});
        return true;
    }
    std::vector<G3Facet*> facets;
    std::vector<G3Edge*> edges;
    std::vector<G3Vertex*> vertices;
    std::vector<P> edgeNormals, vertexNormals, points;
};

// A closed hexagonal pyramid: six triangles meeting at the apex (0, 0, 1),
// the hexagon of radius 1 in z = 0 as its base.
SurfacePtr Pyramid()
{
    SurfacePtr s(new G3Surface());
    G3Vertex* apex = s->AddVertex(0, 0, 1, 0);
    std::vector<G3Vertex*> ring;
    for (int k = 0; k < 6; ++k)
        ring.push_back(s->AddVertex(std::cos(k * M_PI / 3), std::sin(k * M_PI / 3), 0, 0));
    for (int k = 0; k < 6; ++k)
        Face(s.get(), {apex, ring[k], ring[(k + 1) % 6]});
    Face(s.get(), {ring[5], ring[4], ring[3], ring[2], ring[1], ring[0]});
    return s;
}

TEST(BooleanPicking, VertexOfSixFacetsReportedOnce)
{
    SurfacePtr s = Pyramid();
    Session open(s.get());
    G3Vertex* apex = s->GetVertex(0);
    const double from[3] = {0, 0, 3};
    const double to[3] = {0, 0, -3};
    std::vector<int> order = {0, 1, 2, 3, 4, 5, 6};
    for (int round = 0; round < 4; ++round) {
        std::mt19937 rng(round);
        std::shuffle(order.begin(), order.end(), rng);
        GArrayCollection list;
        for (int k : order)
            list.add(s->GetFacet(k));
        Recorder r;
        EXPECT_EQ(2, G3BooleanCalculator::TestRayAndFacetList(from, to, &list, &r));
        ASSERT_EQ(1u, r.vertices.size());
        EXPECT_EQ(apex, r.vertices[0]);
        EXPECT_TRUE(r.edges.empty());
        ASSERT_EQ(1u, r.facets.size());
        EXPECT_EQ(s->GetFacet(6), r.facets[0]);
        // The apex's normal is the mean direction of its facets: up.
        EXPECT_NEAR(0.0, r.vertexNormals[0][0], 1e-12);
        EXPECT_NEAR(0.0, r.vertexNormals[0][1], 1e-12);
        EXPECT_NEAR(1.0, r.vertexNormals[0][2], 1e-12);
        EXPECT_EQ("", MarkCheck(s.get()));
    }
}

TEST(BooleanPicking, EdgeReportedOnceWithItsFacetsNormal)
{
    SurfacePtr cube = UnitCube();
    Session open(cube.get());
    // Through the middle of the edge x = 1, z = 1 and out through the face
    // x = 0; the segment ends in the bottom face's plane.
    const double from[3] = {2, 0.5, 1.5};
    const double to[3] = {-1, 0.5, 0};
    Recorder r;
    EXPECT_EQ(2, G3BooleanCalculator::TestRayAndFacetList(from, to, cube->GetFacetList(), &r));
    ASSERT_EQ(1u, r.edges.size());
    EXPECT_EQ(1.0, r.edges[0]->GetVertex1()->GetX());
    EXPECT_EQ(1.0, r.edges[0]->GetVertex2()->GetZ());
    EXPECT_NEAR(std::sqrt(0.5), r.edgeNormals[0][0], 1e-12);
    EXPECT_NEAR(0.0, r.edgeNormals[0][1], 1e-12);
    EXPECT_NEAR(std::sqrt(0.5), r.edgeNormals[0][2], 1e-12);
    ASSERT_EQ(1u, r.facets.size());
    EXPECT_EQ(-1.0, r.facets[0]->GetPlaneA());
    // A ray ending in a face's plane meets nothing there; refused inputs
    // report nothing.
    Recorder none;
    const double onFace[3] = {0.5, 0.5, 1};
    const double above[3] = {0.5, 0.5, 3};
    EXPECT_EQ(0, G3BooleanCalculator::TestRayAndFacetList(above, onFace, cube->GetFacetList(), &none));
    EXPECT_EQ(0, G3BooleanCalculator::TestRayAndFacetList(above, onFace, cube->GetFacetList(), nullptr));
    EXPECT_EQ(0, G3BooleanCalculator::TestRayAndFacetList(above, onFace, nullptr, &none));
    EXPECT_TRUE(none.facets.empty() && none.edges.empty() && none.vertices.empty());
    // An edge without facets has no normal.
    G3Vertex* a = cube->AddVertex(5, 0, 0, 0);
    G3Vertex* b = cube->AddVertex(6, 0, 0, 0);
    G3Edge* loose = new G3Edge(a, b);
    a->AddEdge(loose);
    b->AddEdge(loose);
    cube->AddEdgeToCollection(loose);
    const double mid[3] = {5.5, 0, 0};
    GArrayCollection marked;
    EXPECT_EQ(1, G3BooleanCalculator::EdgeFilter(&none, mid, a, b, &marked));
    EXPECT_EQ(P({0, 0, 0}), none.edgeNormals.at(0));
    EXPECT_EQ(0, G3BooleanCalculator::EdgeFilter(&none, mid, b, a, &marked));
    loose->ClearMark();
    EXPECT_EQ(0, G3BooleanCalculator::VertexFilter(nullptr, mid, a, &marked, &marked));
    EXPECT_EQ(0, G3BooleanCalculator::FacetFilter(&none, mid, nullptr, nullptr, nullptr));
    EXPECT_EQ("", MarkCheck(cube.get()));
}

TEST(BooleanPicking, MetricResultKeepsTheNearestAndOrdersHits)
{
    const double eye[3] = {0, 0, 10};
    G3RayTraceMetricResult m(eye);
    EXPECT_EQ(-1.0, m.GetDistance());
    EXPECT_EQ(G3RayTraceMetricResult::HIT_NONE, m.GetHitKind());
    SurfacePtr pyramid = Pyramid();
    G3Facet* f1 = pyramid->GetFacet(1);
    G3Facet* f2 = pyramid->GetFacet(2);
    const double n[3] = {0, 0, 1};
    const double axis[3] = {1, 0, 0};
    // Points at distances 5, 3, 3 and 1 from the eye.
    const double d5[3] = {0, 0, 5};
    const double d3[3] = {0, 0, 7};
    const double d3b[3] = {0, 3, 10};
    const double d1[3] = {0, 0, 9};
    EXPECT_TRUE(m.FindFacet(d5, n, axis, nullptr, f1));
    EXPECT_EQ(5.0, m.GetDistance());
    EXPECT_EQ(f1, m.GetHitFacet());
    EXPECT_EQ(1.0, m.HitCurvAxis1GetX());
    EXPECT_TRUE(m.FindEdge(d3, n, pyramid->GetEdge(0)));
    EXPECT_EQ(G3RayTraceMetricResult::HIT_EDGE, m.GetHitKind());
    EXPECT_EQ(pyramid->GetEdge(0), m.GetHitEdge());
    EXPECT_EQ(nullptr, m.GetHitFacet());
    EXPECT_EQ(0.0, m.HitCurvAxis1GetX());
    // Not nearer: listed, not taken.
    EXPECT_FALSE(m.FindFacet(d3b, n, nullptr, nullptr, f2));
    EXPECT_FALSE(m.FindVertex(d5, n, pyramid->GetVertex(0)));
    int token = 0;
    EXPECT_TRUE(m.FindObject(d1, n, nullptr, nullptr, &token, &token));
    EXPECT_EQ(1.0, m.GetDistance());
    EXPECT_EQ(&token, m.GetModelerData());
    EXPECT_EQ(nullptr, m.GetHitEdge());
    EXPECT_EQ(9.0, m.HitPointGetZ());
    EXPECT_FALSE(m.FindFacet(d3, n, nullptr, nullptr, f1)); // equal distance: after f2
    EXPECT_FALSE(m.FindFacet(nullptr, n, nullptr, nullptr, f1));
    std::vector<std::pair<double, G3Facet*>> listed;
    for (const G3RayTraceMetricResult::Hit* h = m.GetHits(); h; h = h->next)
        listed.push_back({h->distance, h->facet});
    const std::vector<std::pair<double, G3Facet*>> expected = {{1.0, nullptr}, {3.0, f2}, {3.0, f1}, {5.0, f1}};
    EXPECT_EQ(expected, listed);

    // Picking into a metric result finds the nearest face of a cube.
    SurfacePtr cube = UnitCube();
    Session open(cube.get());
    G3RayTraceMetricResult pick;
    pick.SetEyePosition(0.3, 0.6, 4);
    const double from[3] = {0.3, 0.6, 4};
    const double to[3] = {0.3, 0.6, -4};
    EXPECT_EQ(2, G3BooleanCalculator::TestRayAndFacetList(from, to, cube->GetFacetList(), &pick));
    EXPECT_EQ(3.0, pick.GetDistance());
    EXPECT_EQ(1.0, pick.GetHitFacet()->GetPlaneC());
    EXPECT_EQ(1.0, pick.HitPointNormalGetZ());
}

// ------------------------------------------------------------ randomized

// A solid made of closed boxes, minus the open inside of cavity boxes: the
// exact answer for a point is outside when it is not in the closed set,
// inside when a small neighbourhood is, on otherwise.
struct Solid {
    std::vector<std::pair<P, P>> boxes;
    std::vector<std::pair<P, P>> cavities;
    std::vector<double> features[3]; // coordinates of faces, per axis

    bool InClosed(const P& p) const
    {
        auto within = [&](const std::pair<P, P>& b, bool open) {
            for (int k = 0; k < 3; ++k)
                if (open ? !(p[k] > b.first[k] && p[k] < b.second[k]) : !(p[k] >= b.first[k] && p[k] <= b.second[k]))
                    return false;
            return true;
        };
        bool in = false;
        for (const auto& b : boxes)
            in = in || within(b, false);
        for (const auto& c : cavities)
            in = in && !within(c, true);
        return in;
    }
    // Points are at least 1e-4 from every feature they do not lie on.
    SURF_CLASSIFY Expected(const P& p) const
    {
        if (!InClosed(p))
            return SC_OUTSIDE;
        const double e = 1e-5;
        for (int dx = -1; dx <= 1; ++dx)
            for (int dy = -1; dy <= 1; ++dy)
                for (int dz = -1; dz <= 1; ++dz)
                    if (!InClosed({p[0] + dx * e, p[1] + dy * e, p[2] + dz * e}))
                        return SC_ON;
        return SC_INSIDE;
    }
};

TEST(BooleanRayClassifyRandom, AgreesWithExactSolids)
{
    std::mt19937 rng(20240611);
    auto dyadic = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng) / 16.0; };
    int checked = 0, on = 0, inside = 0, grazing = 0;
    for (int round = 0; round < 24; ++round) {
        // A box, an L-shaped prism or a box with a box-shaped cavity, with
        // quad or triangle faces, placed far from the origin.
        const int kind = round % 3;
        const bool split = (round / 3) % 2 == 1;
        const P at = {std::uniform_int_distribution<int>(-100000, 100000)(rng) * 1.0,
                      std::uniform_int_distribution<int>(-100000, 100000)(rng) * 1.0,
                      std::uniform_int_distribution<int>(-1000, 1000)(rng) * 1.0};
        Solid solid;
        SurfacePtr s(new G3Surface());
        if (kind == 0) {
            const P hi = {dyadic(4, 64), dyadic(4, 64), dyadic(4, 64)};
            solid.boxes.push_back({{0, 0, 0}, hi});
            testmesh::AddBox(*s, at, {at[0] + hi[0], at[1] + hi[1], at[2] + hi[2]}, split);
        } else if (kind == 1) {
            const double size = dyadic(8, 32);
            const double height = dyadic(4, 48);
            solid.boxes.push_back({{0, 0, 0}, {2 * size, size, height}});
            solid.boxes.push_back({{0, 0, 0}, {size, 2 * size, height}});
            AddLPrism(s.get(), size, height, at, split);
        } else {
            const P hi = {dyadic(48, 96), dyadic(48, 96), dyadic(48, 96)};
            const P clo = {dyadic(8, 16), dyadic(8, 16), dyadic(8, 16)};
            const P chi = {hi[0] - dyadic(8, 16), hi[1] - dyadic(8, 16), hi[2] - dyadic(8, 16)};
            solid.boxes.push_back({{0, 0, 0}, hi});
            solid.cavities.push_back({clo, chi});
            testmesh::AddBox(*s, at, {at[0] + hi[0], at[1] + hi[1], at[2] + hi[2]}, split);
            testmesh::AddBox(*s, {at[0] + clo[0], at[1] + clo[1], at[2] + clo[2]},
                   {at[0] + chi[0], at[1] + chi[1], at[2] + chi[2]}, !split, true);
        }
        ASSERT_EQ("", MeshCheck(s.get()));
        P extent = {0, 0, 0};
        for (const auto& b : solid.boxes)
            for (int k = 0; k < 3; ++k) {
                extent[k] = std::max(extent[k], b.second[k]);
                solid.features[k].push_back(b.first[k]);
                solid.features[k].push_back(b.second[k]);
            }
        for (const auto& c : solid.cavities)
            for (int k = 0; k < 3; ++k) {
                solid.features[k].push_back(c.first[k]);
                solid.features[k].push_back(c.second[k]);
            }
        if (kind == 1)
            for (int k = 0; k < 2; ++k)
                solid.features[k].push_back(extent[k] / 2);

        const double diagonal = std::sqrt(extent[0] * extent[0] + extent[1] * extent[1] + extent[2] * extent[2]);
        Session open(s.get());
        Probe probe(s.get(), nullptr, 3 * diagonal);
        GSRand(static_cast<unsigned int>(round + 1));
        for (int n = 0; n < 150; ++n) {
            // Each coordinate on a face's coordinate (so points fall on
            // faces, on the lines of edges, on vertices, in the planes of
            // faces beside them) or anywhere clear of those.
            P local;
            for (int k = 0; k < 3; ++k) {
                const std::vector<double>& f = solid.features[k];
                if (std::uniform_int_distribution<int>(0, 9)(rng) < 3) {
                    local[k] = f[std::uniform_int_distribution<size_t>(0, f.size() - 1)(rng)];
                    continue;
                }
                double x;
                bool clear;
                do {
                    x = std::uniform_real_distribution<double>(-0.1 * extent[k], 1.1 * extent[k])(rng);
                    clear = std::all_of(f.begin(), f.end(), [&](double c) { return std::fabs(x - c) > 1e-4; });
                } while (!clear);
                local[k] = x;
            }
            const SURF_CLASSIFY expected = solid.Expected(local);
            const double p[3] = {local[0] + at[0], local[1] + at[1], local[2] + at[2]};
            ASSERT_EQ(expected, probe.ClassifyVertex(p, s->GetFacetList()))
                << "round " << round << " point " << local[0] << " " << local[1] << " " << local[2];
            // Rays aimed through a vertex or a point of an edge: no answer,
            // or the right one.
            const G3Edge* e = s->GetEdge(std::uniform_int_distribution<int>(0, s->GetEdgeCount() - 1)(rng));
            const double t = std::uniform_int_distribution<int>(0, 4)(rng) / 4.0;
            P target;
            for (int k = 0; k < 3; ++k)
                target[k] = e->GetVertex1()->GetXYZ()[k] * (1 - t) + e->GetVertex2()->GetXYZ()[k] * t;
            const double d = std::hypot(target[0] - p[0], target[1] - p[1], target[2] - p[2]);
            if (d > 1e-3) {
                P end;
                for (int k = 0; k < 3; ++k)
                    end[k] = p[k] + (target[k] - p[k]) * 3 * diagonal / d;
                const SURF_CLASSIFY c = G3BooleanCalculator::TestPointAndFacetList(p, end.data(), s->GetFacetList(), nullptr);
                if (c == SC_UNKNOWN)
                    ++grazing;
                else
                    ASSERT_EQ(expected, c) << "round " << round << " aimed at " << target[0] << " " << target[1];
            }
            ++checked;
            on += expected == SC_ON;
            inside += expected == SC_INSIDE;
        }
        EXPECT_EQ("", MeshCheck(s.get()));
    }
    // The placements reached every answer in good numbers, and most aimed
    // rays met a boundary.
    EXPECT_GT(on, checked / 10);
    EXPECT_GT(inside, checked / 10);
    EXPECT_GT(checked - on - inside, checked / 10);
    EXPECT_GT(grazing, checked / 2);
}

} // namespace
