// Working data of the boolean engine and the classification of points:
// crossing counts over facet lists, picking along a ray, a randomized
// comparison with solids whose inside is known exactly, the ray grid against
// the whole facet list, and the flood fill of vertex classes against a
// recursive reference. The side test of shared faces is left to the box
// booleans, which rest on it.

#include "boolean/solid_fixtures.h"
#include "mesh/mesh_check.h"

#include "Geometry/boolean/G3BooleanCalculator.h"
#include "Geometry/boolean/G3BooleanData.h"
#include "Geometry/boolean/G3RayTraceResult.h"
#include "Geometry/foundation/GRandom.h"
#include "Geometry/math/GTolerance.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

namespace {

using namespace fixtures;

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
        if (split) {
            Face(s, {lo[k], lo[n], hi[n]});
            Face(s, {lo[k], hi[n], hi[k]});
        } else {
            Face(s, {lo[k], lo[n], hi[n], hi[k]});
        }
    }
}

// No mark (and, with `links`, no scratch link) on any vertex, edge or
// facet; with `links` also no provider.
std::string MarkCheck(G3Surface* s, bool links = false)
{
    if (links && s->GetExDataProvider())
        return "provider left attached";
    for (GArrayCollection* c : {s->GetVertexList(), s->GetEdgeList(), s->GetFacetList()})
        for (int k = 0; k < c->size(); ++k) {
            const G3Obj* o = static_cast<const G3Obj*>(c->get(k));
            if ((links && o->GetExData()) || o->GetMark() || o->GetMark2())
                return "entity " + std::to_string(k) + " keeps a mark or a scratch link";
        }
    return "";
}

// Opens the working data for the scope and checks on leaving it that
// closing left nothing behind.
class Session {
public:
    explicit Session(G3Surface* surface) : s(surface) { EXPECT_TRUE(G3BooleanCalculator::OpenBoolean(s)); }
    ~Session()
    {
        EXPECT_TRUE(G3BooleanCalculator::CloseBoolean(s));
        EXPECT_EQ("", MeshCheck(s));
        EXPECT_EQ("", MarkCheck(s, true));
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
    using G3BooleanCalculator::SetClassify;
    int Depth() const { return depth; }
    int StackSize() const { return edgeStack->size(); }
};

SURF_CLASSIFY PointTest(G3Surface* s, P p, P q, unsigned int* count = nullptr)
{
    return G3BooleanCalculator::TestPointAndFacetList(p.data(), q.data(), s->GetFacetList(), count);
}

// ------------------------------------------------------------ working data

TEST(BooleanWorkingData, RecordsFollowEntitiesInAndOut)
{
    SurfacePtr s = Box({0, 0, 0}, {1, 2, 3}, true);
    {
        Session open(s.get());
        for (int k = 0; k < s->GetFacetCount(); ++k)
            G3BooleanFacetData::Of(s->GetFacet(k))->segments = new G3IntervalList();
        // Entities made while the data is open get records; a facet that
        // leaves takes its segment list with it.
        G3Vertex* v = s->AddVertex(5, 5, 5, 0);
        EXPECT_NE(nullptr, G3BooleanVertexData::Of(v));
        G3Facet* f = Face(s.get(), {s->GetVertex(0), s->GetVertex(1), v});
        ASSERT_NE(nullptr, G3BooleanFacetData::Of(f));
        G3BooleanFacetData::Of(f)->segments = new G3IntervalList();
        EXPECT_TRUE(s->RemoveFacet(f));
        // Opening again starts afresh (and frees the lists held so far).
        EXPECT_TRUE(G3BooleanCalculator::OpenBoolean(s.get()));
        EXPECT_EQ(nullptr, G3BooleanFacetData::Of(s->GetFacet(0))->segments);
    }
    // Closed: a second close, a null surface and a foreign provider are
    // refused.
    EXPECT_FALSE(G3BooleanCalculator::CloseBoolean(s.get()));
    EXPECT_FALSE(G3BooleanCalculator::OpenBoolean(nullptr));
    EXPECT_FALSE(G3BooleanCalculator::CloseBoolean(nullptr));
    s->SetExDataProvider(new G3ShellExDataProvider());
    EXPECT_FALSE(G3BooleanCalculator::CloseBoolean(s.get()));
    s->RemoveExDataProvider();

    // Deleted while open: the sanitizer build reports the segment lists if
    // the provider loses them.
    G3Surface* d = UnitCube().release();
    ASSERT_TRUE(G3BooleanCalculator::OpenBoolean(d));
    for (int k = 0; k < d->GetFacetCount(); ++k)
        G3BooleanFacetData::Of(d->GetFacet(k))->segments = new G3IntervalList();
    delete d;

    // A facet without edges that claims a plane meets nothing, with its
    // record and without one.
    SurfacePtr c = UnitCube();
    G3Facet* bare = c->AddFacetToCollection(new G3Facet());
    const double plane[4] = {0, 0, 1, -0.5};
    bare->SetPlane(plane);
    EXPECT_EQ(SC_INSIDE, PointTest(c.get(), {0.3, 0.4, 0.2}, {0.3, 0.4, 7}));
    {
        Session open(c.get());
        EXPECT_EQ(SC_INSIDE, PointTest(c.get(), {0.3, 0.4, 0.2}, {0.3, 0.4, 7}));
    }
    EXPECT_TRUE(c->RemoveFacet(bare));
}

// ------------------------------------------------------------ random rays

TEST(BooleanRandomRay, HalfSpaceForms)
{
    // Rays of length 10 into one side of the plane z = 0, also from below
    // it (a mirrored draw that stays there is not taken), or into the
    // half-space of a normal. No side of a zero plane can be reached; a zero
    // normal allows any direction; null arguments draw nothing.
    GSRand(7);
    const double origin[3] = {0, 0, 0}, below[3] = {0, 0, -5};
    const double plane[4] = {0, 0, 1, 0}, zero[4] = {0, 0, 0, 0};
    double end[3];
    int taken = 0;
    for (int k = 0; k < 200; ++k) {
        ASSERT_TRUE(G3BooleanCalculator::GenerateRandomRay(origin, end, plane, -1, 10));
        EXPECT_LT(end[2], -9.999999999999999e-6);
        if (G3BooleanCalculator::GenerateRandomRay(below, end, plane, 1, 10)) {
            EXPECT_GT(end[2], 9.999999999999999e-6);
            ++taken;
        }
        G3BooleanCalculator::GenerateRandomRay(origin, end, k % 2 ? plane : zero, 10);
        EXPECT_GE(end[2], k % 2 ? 0.0 : -10.0);
        EXPECT_NEAR(10.0, std::hypot(end[0], end[1], end[2]), 1e-9);
    }
    EXPECT_GT(taken, 0);
    EXPECT_FALSE(G3BooleanCalculator::GenerateRandomRay(origin, end, zero, 1, 10));
    EXPECT_TRUE(std::isfinite(end[0]) && std::isfinite(end[1]) && std::isfinite(end[2]));
    G3BooleanCalculator::GenerateRandomRay(nullptr, end, 2.0);
    G3BooleanCalculator::GenerateRandomRay(origin, nullptr, 2.0);
}

// ------------------------------------------------------------ crossing counts

TEST(BooleanRayClassify, UnitCubeCrossingsAndUnusableInput)
{
    // The point test counts crossings of the segment p..q; the ray test
    // (`ray`) also counts a face the start lies on and refuses a far end
    // in a facet. count -1: not read.
    struct Case {
        const char* name;
        bool ray;
        P p, q;
        SURF_CLASSIFY want;
        int count;
    };
    const Case cases[] = {
        {"two crossings", false, {0.3, 0.4, -2}, {0.3, 0.4, 9}, SC_OUTSIDE, 2},
        {"within the band of a face", false, {0.5, 0.5, 1 + 1e-7}, {3, 4, 5}, SC_ON, -1},
        {"all in a face's plane", false, {2, 0.5, 1}, {-3, 0.5, 1}, SC_UNKNOWN, -1},
        {"far end in a facet", false, {0.5, 0.5, 0.5}, {0.4, 0.6, 1}, SC_INSIDE, 1},
        {"ray: far end in a facet", true, {0.5, 0.5, 0.5}, {0.4, 0.6, 1}, SC_UNKNOWN, -1},
        {"ray: exit through an edge", true, {0.5, 0.5, 0.5}, {1.5, 0.5, 1.5}, SC_UNKNOWN, -1},
        {"ray: from a face, outward", true, {0.5, 0.5, 1}, {0.3, 0.6, 4}, SC_INSIDE, -1},
        {"ray: from a face, inward", true, {0.5, 0.5, 1}, {0.5, 0.5, -4}, SC_OUTSIDE, -1},
    };
    SurfacePtr cube = UnitCube();
    Session open(cube.get());
    GArrayCollection* facets = cube->GetFacetList();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        unsigned int count = 99;
        EXPECT_EQ(c.want, c.ray ? G3BooleanCalculator::TestRayAndFacetList(c.p.data(), c.q.data(), facets)
                                : PointTest(cube.get(), c.p, c.q, &count));
        if (c.count >= 0) {
            EXPECT_EQ(static_cast<unsigned>(c.count), count);
        }
    }
    // No ray length, unusable points and lists.
    const double inside[3] = {0.5, 0.5, 0.5}, outside[3] = {2, 2, 2};
    EXPECT_EQ(SC_UNKNOWN, Probe(cube.get(), nullptr, 0).ClassifyVertex(inside, facets));
    unsigned int count = 5;
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
}

TEST(BooleanRayClassify, DoubleSidedFacetAndFacetWithHole)
{
    SurfacePtr s(new G3Surface());
    G3Facet* f =
        Face(s.get(), {s->AddVertex(0, 0, 0, 0), s->AddVertex(1, 0, 0, 0), s->AddVertex(0, 1, 0, 0)});
    f->SetDoubleSided();
    {
        Session open(s.get());
        Probe probe(s.get(), nullptr, 10);
        GSRand(11);
        unsigned int count = 0;
        EXPECT_EQ(SC_OUTSIDE, PointTest(s.get(), {0.2, 0.2, 1}, {0.2, 0.2, -1}, &count));
        EXPECT_EQ(2u, count);
        const double p[3] = {0.25, 0.25, -0.5};
        EXPECT_EQ(SC_OUTSIDE, probe.ClassifyVertex(p, s->GetFacetList()));
    }
    // A frame: the crossing in its hole is no crossing; the point test runs
    // each contour on its own, so the bridge between them is no edge.
    SurfacePtr frame(new G3Surface());
    G3Facet* g = Face(frame.get(), {frame->AddVertex(0, 0, 0, 0), frame->AddVertex(4, 0, 0, 0),
                                    frame->AddVertex(4, 4, 0, 0), frame->AddVertex(0, 4, 0, 0)});
    const double hole[4][2] = {{1, 1}, {1, 3}, {3, 3}, {3, 1}};
    G3Vertex* h[4];
    for (int k = 0; k < 4; ++k)
        h[k] = frame->AddVertex(hole[k][0], hole[k][1], 0, 0);
    for (int k = 0; k < 4; ++k)
        ASSERT_NE(nullptr, frame->AddEdge(h[k], h[(k + 1) % 4], g));
    Session open(frame.get());
    unsigned int count = 9;
    EXPECT_EQ(SC_OUTSIDE, PointTest(frame.get(), {2, 2, 1}, {2.1, 2.2, -1}, &count));
    EXPECT_EQ(0u, count);
    // On the lines from the outer contour's last vertex to the hole's first
    // and from the hole's last back to the outer contour's first.
    EXPECT_EQ(SC_INSIDE, PointTest(frame.get(), {0.5, 2.5, 1}, {0.5, 2.5, -1}));
    EXPECT_EQ(SC_INSIDE, PointTest(frame.get(), {1.5, 0.5, 1}, {1.5, 0.5, -1}));
    EXPECT_EQ(SC_UNKNOWN, PointTest(frame.get(), {1, 2, 1}, {1, 2, -1}));
}

// ------------------------------------------------------------ picking

// Records every report.
class Recorder : public G3RayTraceResult {
public:
    bool SetEyePosition(double, double, double) override { return true; }
    bool FindFacet(const double*, const double*, const double*, const double*, G3Facet* f) override
    {
        facets.push_back(f);
        return true;
    }
    bool FindObject(const double*, const double*, const double*, const double*, void*, void*) override
    {
        return true;
    }
    bool FindEdge(const double*, const double* n, G3Edge* e) override
    {
        edges.push_back(e);
        normals.push_back({n[0], n[1], n[2]});
        return true;
    }
    bool FindVertex(const double*, const double* n, G3Vertex* v) override
    {
        vertices.push_back(v);
        normals.push_back({n[0], n[1], n[2]});
        return true;
    }
    std::vector<G3Facet*> facets;
    std::vector<G3Edge*> edges;
    std::vector<G3Vertex*> vertices;
    std::vector<P> normals;
};

void ExpectNear(const P& want, const P& got)
{
    for (int k = 0; k < 3; ++k)
        EXPECT_NEAR(want[k], got[k], 1e-12);
}

TEST(BooleanPicking, VertexAndEdgeReportedOnceWithTheirFacetsNormal)
{
    // A closed hexagonal pyramid: six triangles meeting at the apex
    // (0, 0, 1) over the hexagon of radius 1 in z = 0, listed in any order.
    SurfacePtr s(new G3Surface());
    G3Vertex* apex = s->AddVertex(0, 0, 1, 0);
    std::vector<G3Vertex*> ring;
    for (int k = 0; k < 6; ++k)
        ring.push_back(s->AddVertex(std::cos(k * kPi / 3), std::sin(k * kPi / 3), 0, 0));
    for (int k = 0; k < 6; ++k)
        Face(s.get(), {apex, ring[k], ring[(k + 1) % 6]});
    Face(s.get(), {ring[5], ring[4], ring[3], ring[2], ring[1], ring[0]});
    Session open(s.get());
    const double from[3] = {0, 0, 3}, to[3] = {0, 0, -3};
    std::vector<int> order = {0, 1, 2, 3, 4, 5, 6};
    for (int round = 0; round < 4; ++round) {
        std::mt19937 rng(round);
        std::shuffle(order.begin(), order.end(), rng);
        GArrayCollection list;
        for (int k : order)
            list.add(s->GetFacet(k));
        Recorder r;
        EXPECT_EQ(2, G3BooleanCalculator::TestRayAndFacetList(from, to, &list, &r));
        EXPECT_EQ(std::vector<G3Vertex*>{apex}, r.vertices);
        EXPECT_TRUE(r.edges.empty());
        EXPECT_EQ(std::vector<G3Facet*>{s->GetFacet(6)}, r.facets);
        ExpectNear({0, 0, 1}, r.normals.at(0));  // the mean of its facets' normals
        EXPECT_EQ("", MarkCheck(s.get()));
    }

    // Through the middle of the cube's edge x = 1, z = 1 and out through the
    // face x = 0.
    SurfacePtr cube = UnitCube();
    Session openCube(cube.get());
    const double a[3] = {2, 0.5, 1.5}, b[3] = {-1, 0.5, 0};
    Recorder r;
    EXPECT_EQ(2, G3BooleanCalculator::TestRayAndFacetList(a, b, cube->GetFacetList(), &r));
    ASSERT_EQ(1u, r.edges.size());
    EXPECT_EQ(1.0, r.edges[0]->GetVertex1()->GetX());
    EXPECT_EQ(1.0, r.edges[0]->GetVertex2()->GetZ());
    ExpectNear({std::sqrt(0.5), 0, std::sqrt(0.5)}, r.normals.at(0));
    ASSERT_EQ(1u, r.facets.size());
    EXPECT_EQ(-1.0, r.facets[0]->GetPlaneA());
    // A ray ending in a face's plane meets nothing there; no list, nothing.
    Recorder none;
    const double onFace[3] = {0.5, 0.5, 1}, above[3] = {0.5, 0.5, 3};
    EXPECT_EQ(0, G3BooleanCalculator::TestRayAndFacetList(above, onFace, cube->GetFacetList(), &none));
    EXPECT_EQ(0, G3BooleanCalculator::TestRayAndFacetList(above, onFace, nullptr, &none));
    EXPECT_TRUE(none.facets.empty() && none.edges.empty() && none.vertices.empty());
    // An edge without facets has no normal.
    G3Vertex* v = cube->AddVertex(5, 0, 0, 0);
    G3Vertex* w = cube->AddVertex(6, 0, 0, 0);
    G3Edge* loose = new G3Edge(v, w);
    v->AddEdge(loose);
    w->AddEdge(loose);
    cube->AddEdgeToCollection(loose);
    const double mid[3] = {5.5, 0, 0};
    GArrayCollection marked;
    EXPECT_EQ(1, G3BooleanCalculator::EdgeFilter(&none, mid, v, w, &marked));
    EXPECT_EQ(P({0, 0, 0}), none.normals.at(0));
    EXPECT_EQ(0, G3BooleanCalculator::EdgeFilter(&none, mid, w, v, &marked));
    loose->ClearMark();
    EXPECT_EQ(0, G3BooleanCalculator::VertexFilter(nullptr, mid, v, &marked, &marked));
    EXPECT_EQ(0, G3BooleanCalculator::FacetFilter(&none, mid, nullptr, nullptr, nullptr));
    EXPECT_EQ("", MarkCheck(cube.get()));
}

TEST(BooleanPicking, MetricResultKeepsTheNearestAndOrdersHits)
{
    SurfacePtr cube = UnitCube();
    G3Facet* f1 = cube->GetFacet(1);
    G3Facet* f2 = cube->GetFacet(2);
    const double eye[3] = {0, 0, 10};
    G3RayTraceMetricResult m(eye);
    // Points at distances 5, 3, 3 and 1 from the eye; only a nearer one is
    // taken, every one is listed, ties after the earlier.
    const double n[3] = {0, 0, 1};
    const double d5[3] = {0, 0, 5}, d3[3] = {0, 0, 7}, d3b[3] = {0, 3, 10}, d1[3] = {0, 0, 9};
    EXPECT_TRUE(m.FindFacet(d5, n, nullptr, nullptr, f1));
    EXPECT_TRUE(m.FindFacet(d3b, n, nullptr, nullptr, f2));
    EXPECT_FALSE(m.FindVertex(d5, n, cube->GetVertex(0)));
    int token = 0;
    EXPECT_TRUE(m.FindObject(d1, n, nullptr, nullptr, &token, &token));
    EXPECT_EQ(&token, m.GetModelerData());
    EXPECT_FALSE(m.FindFacet(d3, n, nullptr, nullptr, f1));
    EXPECT_FALSE(m.FindFacet(nullptr, n, nullptr, nullptr, f1));
    std::vector<std::pair<double, G3Facet*>> listed;
    for (const G3RayTraceMetricResult::Hit* h = m.GetHits(); h; h = h->next)
        listed.push_back({h->distance, h->facet});
    const std::vector<std::pair<double, G3Facet*>> expected = {
        {1.0, nullptr}, {3.0, f2}, {3.0, f1}, {5.0, f1}};
    EXPECT_EQ(expected, listed);

    // Picking into a metric result finds the nearest face of a cube.
    Session open(cube.get());
    G3RayTraceMetricResult pick;
    pick.SetEyePosition(0.3, 0.6, 4);
    const double from[3] = {0.3, 0.6, 4}, to[3] = {0.3, 0.6, -4};
    EXPECT_EQ(2, G3BooleanCalculator::TestRayAndFacetList(from, to, cube->GetFacetList(), &pick));
    EXPECT_EQ(3.0, pick.GetDistance());
    EXPECT_EQ(1.0, pick.GetHitFacet()->GetPlaneC());
}

// ------------------------------------------------------------ randomized

// A solid made of closed boxes, minus the open inside of cavity boxes: the
// exact answer for a point is outside when it is not in the closed set,
// inside when a small neighbourhood is, on otherwise.
struct Solid {
    std::vector<std::pair<P, P>> boxes, cavities;
    std::vector<double> features[3];  // coordinates of faces, per axis

    void Add(P lo, P hi, bool cavity)
    {
        (cavity ? cavities : boxes).push_back({lo, hi});
        for (int k = 0; k < 3; ++k) {
            features[k].push_back(lo[k]);
            features[k].push_back(hi[k]);
        }
    }
    bool InClosed(const P& p) const
    {
        auto within = [&](const std::pair<P, P>& b, bool open) {
            for (int k = 0; k < 3; ++k)
                if (open ? !(p[k] > b.first[k] && p[k] < b.second[k])
                         : !(p[k] >= b.first[k] && p[k] <= b.second[k]))
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
    auto uniform = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    int checked = 0, on = 0, inside = 0, grazing = 0;
    for (int round = 0; round < 24; ++round) {
        // A box, an L-shaped prism or a box with a box-shaped cavity, with
        // quad or triangle faces, placed far from the origin.
        const int kind = round % 3;
        const bool split = (round / 3) % 2 == 1;
        const P at = {
            uniform(-100000, 100000) * 1.0, uniform(-100000, 100000) * 1.0, uniform(-1000, 1000) * 1.0};
        auto moved = [&at](P x) { return P{x[0] + at[0], x[1] + at[1], x[2] + at[2]}; };
        Solid solid;
        SurfacePtr s(new G3Surface());
        if (kind == 1) {
            const double size = dyadic(8, 32);
            const double height = dyadic(4, 48);
            solid.Add({0, 0, 0}, {2 * size, size, height}, false);
            solid.Add({0, 0, 0}, {size, 2 * size, height}, false);
            for (int k = 0; k < 2; ++k)
                solid.features[k].push_back(size);
            AddLPrism(s.get(), size, height, at, split);
        } else {
            const P hi = kind == 0 ? P{dyadic(4, 64), dyadic(4, 64), dyadic(4, 64)}
                                   : P{dyadic(48, 96), dyadic(48, 96), dyadic(48, 96)};
            solid.Add({0, 0, 0}, hi, false);
            AddBox(s.get(), at, moved(hi), split);
            if (kind == 2) {
                const P clo = {dyadic(8, 16), dyadic(8, 16), dyadic(8, 16)};
                const P chi = {hi[0] - dyadic(8, 16), hi[1] - dyadic(8, 16), hi[2] - dyadic(8, 16)};
                solid.Add(clo, chi, true);
                AddBox(s.get(), moved(clo), moved(chi), !split, Motion(), true);
            }
        }
        ASSERT_EQ("", MeshCheck(s.get()));
        P extent = {0, 0, 0};
        for (const auto& b : solid.boxes)
            for (int k = 0; k < 3; ++k)
                extent[k] = std::max(extent[k], b.second[k]);
        const double diagonal = std::hypot(extent[0], extent[1], extent[2]);
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
                if (uniform(0, 9) < 3) {
                    local[k] = f[std::uniform_int_distribution<size_t>(0, f.size() - 1)(rng)];
                    continue;
                }
                double x;
                do {
                    x = std::uniform_real_distribution<double>(-0.1, 1.1)(rng) * extent[k];
                } while (!std::all_of(f.begin(), f.end(), [&](double c) { return std::fabs(x - c) > 1e-4; }));
                local[k] = x;
            }
            const SURF_CLASSIFY expected = solid.Expected(local);
            const P p = moved(local);
            ASSERT_EQ(expected, probe.ClassifyVertex(p.data(), s->GetFacetList()))
                << "round " << round << " point " << local[0] << " " << local[1] << " " << local[2];
            // Rays aimed through a vertex or a point of an edge: no answer,
            // or the right one.
            const G3Edge* e = s->GetEdge(uniform(0, s->GetEdgeCount() - 1));
            const double t = uniform(0, 4) / 4.0;
            P end;
            for (int k = 0; k < 3; ++k)
                end[k] = e->GetVertex1()->GetXYZ()[k] * (1 - t) + e->GetVertex2()->GetXYZ()[k] * t - p[k];
            const double d = std::hypot(end[0], end[1], end[2]);
            if (d > 1e-3) {
                for (int k = 0; k < 3; ++k)
                    end[k] = p[k] + end[k] * 3 * diagonal / d;
                const SURF_CLASSIFY c = PointTest(s.get(), p, end);
                grazing += c == SC_UNKNOWN;
                if (c != SC_UNKNOWN) {
                    ASSERT_EQ(expected, c) << "round " << round << " aimed at edge " << e->GetId();
                }
            }
            ++checked;
            on += expected == SC_ON;
            inside += expected == SC_INSIDE;
        }
    }
    // The placements reached every answer in good numbers, and most aimed
    // rays met a boundary.
    EXPECT_GT(on, checked / 10);
    EXPECT_GT(inside, checked / 10);
    EXPECT_GT(checked - on - inside, checked / 10);
    EXPECT_GT(grazing, checked / 2);
}

// Points on the edges of turned cubes (any axis, at the origin and at site
// coordinates), a few millionths from a corner: in the projection the
// edge's end lies within the tolerance of the probe ray's line while the
// point does not lie within it of the end, and the step was read as a
// vertex beside the point ("outside"). They are on the surface, and a ray
// aimed at one answers the right class or none.
TEST(BooleanRayClassifyRandom, EdgePointsNearCornersOfTurnedCubesAreOn)
{
    std::mt19937 rng(77);
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    for (int round = 0; round < 120; ++round) {
        P u = {unit(rng), unit(rng), unit(rng)};
        const double l = std::hypot(u[0], u[1], u[2]);
        u = {u[0] / l, u[1] / l, u[2] / l};
        const double far = round % 2 ? 512345.0 : 0.0;
        const Motion m = Motion::Turn(u, 3 * unit(rng), {far, -far, 0.5 * far});
        SurfacePtr s = Box({0, 0, 0}, {1, 1, 1}, round % 4 >= 2, m);
        Session open(s.get());
        Probe probe(s.get(), nullptr, 10.0);
        GSRand(static_cast<unsigned int>(round + 1));
        for (int k = 0; k < 12; ++k) {
            const int c = static_cast<int>(rng() % 8), axis = static_cast<int>(rng() % 3);
            P local = {double(c & 1), double((c >> 1) & 1), double((c >> 2) & 1)};
            const double d = 1e-6 * (1.2 + 9.0 * (unit(rng) + 1.0) / 2.0);
            local[axis] += local[axis] == 0 ? d : -d;
            const P p = m.Apply(local);
            ASSERT_EQ(SC_ON, probe.ClassifyVertex(p.data(), s->GetFacetList()))
                << "round " << round << " corner " << c << " axis " << axis << " d " << d;
            // A ray from a clear point inside or outside, aimed at it.
            const bool in = k % 2;
            const P from = m.Apply(in ? P{0.5, 0.4, 0.6} : P{0.5 + unit(rng), 0.5 + unit(rng), 2.5});
            P end;
            for (int i = 0; i < 3; ++i)
                end[i] = from[i] + 10 * (p[i] - from[i]) / std::hypot(p[0] - from[0], p[1] - from[1], p[2] - from[2]);
            const SURF_CLASSIFY got = PointTest(s.get(), from, end);
            if (got != SC_UNKNOWN) {
                EXPECT_EQ(in ? SC_INSIDE : SC_OUTSIDE, got) << "round " << round << " aimed at corner " << c;
            }
        }
    }
}

// Points beside the edges of turned cubes, closer to the edge than the
// in-facet band but off both faces' planes and contours by a few tenths of
// it: on the surface. The band was measured along the probe ray, so an
// edge seen a few degrees off the ray's direction had almost none, and
// such points came out inside or outside.
TEST(BooleanRayClassifyRandom, PointsBesideEdgesOfTurnedCubesAreOn)
{
    std::mt19937 rng(4242);
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    for (int round = 0; round < 60; ++round) {
        P u = {unit(rng), unit(rng), unit(rng)};
        const double l = std::hypot(u[0], u[1], u[2]);
        u = {u[0] / l, u[1] / l, u[2] / l};
        const double far = round % 2 ? 5e6 : 0.0;
        const Motion m = Motion::Turn(u, 3 * unit(rng), {far, far, 0});
        SurfacePtr s = Box({0, 0, 0}, {1, 1, 1}, round % 4 >= 2, m);
        Session open(s.get());
        Probe probe(s.get(), nullptr, 10.0);
        GSRand(static_cast<unsigned int>(round + 1));
        for (int k = 0; k < 20; ++k) {
            // The edge along `axis` at the corners b, c of the other two
            // axes; the point leaves it by 0.2 to 0.6 of the band across
            // each of them, out of the cube or into it.
            const int axis = static_cast<int>(rng() % 3), b = (axis + 1) % 3, c = (axis + 2) % 3;
            P local;
            local[axis] = 0.1 + 0.8 * (unit(rng) + 1) / 2;
            local[b] = static_cast<double>(rng() % 2);
            local[c] = static_cast<double>(rng() % 2);
            const double out = rng() % 2 ? 1.0 : -1.0;
            for (int a : {b, c})
                local[a] += out * (local[a] == 0 ? -1 : 1) * GTolerance::kInFacet * (0.4 + 0.2 * unit(rng));
            const P p = m.Apply(local);
            ASSERT_EQ(SC_ON, probe.ClassifyVertex(p.data(), s->GetFacetList()))
                << "round " << round << " point " << k;
        }
    }
}

// A rigid motion by quarter turns (a signed permutation of the axes, so
// every grid coordinate stays exact) and a shift to site coordinates.
Motion QuarterTurns(std::mt19937& rng, P shift)
{
    int axes[3] = {0, 1, 2};
    std::shuffle(axes, axes + 3, rng);
    Motion m;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            m.r[i][j] = j == axes[i] ? (rng() % 2 ? 1.0 : -1.0) : 0.0;
    m.t = shift;
    return m;
}

// Points beside an edge of a cube, off the solid by 1.6 to 3 times the
// band, and within the band of the plane of a face that ends at that edge.
// A ray that leaves that plane crosses nothing in it; the meeting of its
// line with the plane, behind the start, was mirrored forwards, so a ray
// grazing the face found a "crossing" inside it and the count flipped.
// Every decided answer of a ray must be the exact one.
TEST(BooleanRayClassifyRandom, RaysLeavingTheBandOfAFacesPlaneCrossNothingThere)
{
    std::mt19937 rng(2024);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    const double band = GTolerance::kPlaneSide;
    const P shifts[3] = {{0, 0, 0}, {5e5, -5e5, 3}, {5e6, 5e6, 120}};
    int decided = 0;
    int wrong = 0;
    for (int round = 0; round < 24; ++round) {
        const Motion m = QuarterTurns(rng, shifts[round % 3]);
        SurfacePtr s = Box({0, 0, 0}, {1, 1, 1}, round % 2, m);
        for (int k = 0; k < 200; ++k) {
            // The face's plane across axis a, its edge at the end of axis b.
            const int a = static_cast<int>(rng() % 3);
            const int b = (a + 1 + static_cast<int>(rng() % 2)) % 3;
            const int c = 3 - a - b;
            P local;
            local[a] = static_cast<double>(rng() % 2) + (rng() % 2 ? 0.95 : -0.95) * band * unit(rng);
            local[b] = rng() % 2 ? 1.0 + (1.6 + 1.4 * unit(rng)) * band : -(1.6 + 1.4 * unit(rng)) * band;
            local[c] = 0.1 + 0.8 * unit(rng);
            // A ray close to the face's plane: at most a tenth across it.
            const double turn = 6.283185307179586 * unit(rng);
            P dir;
            dir[a] = 0.2 * unit(rng) - 0.1;
            dir[b] = std::cos(turn);
            dir[c] = std::sin(turn);
            const P far = {local[0] + 10 * dir[0], local[1] + 10 * dir[1], local[2] + 10 * dir[2]};
            const SURF_CLASSIFY got = PointTest(s.get(), m.Apply(local), m.Apply(far));
            decided += got != SC_UNKNOWN;
            wrong += got != SC_UNKNOWN && got != SC_OUTSIDE;
        }
        EXPECT_EQ("", MeshCheck(s.get()));
    }
    EXPECT_EQ(0, wrong);
    EXPECT_GT(decided, 2400);
}

// A wall (its box four times longer than thick, so rays lean across it)
// whose faces are triangle pairs, and points 1.6 to 3 times the band off a
// face over a diagonal: every leaned ray crosses the face within the band
// of the diagonal, so all rays were undecided and the point "unknown".
TEST(BooleanRayClassifyRandom, PointsBesideTheInnerEdgesOfAWallAreDecided)
{
    std::mt19937 rng(515);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    const double band = GTolerance::kPlaneSide;
    const P hi = {8, 0.5, 3};
    const P shifts[3] = {{0, 0, 0}, {5e5, -5e5, 3}, {5e6, 5e6, 120}};
    for (int round = 0; round < 6; ++round) {
        const Motion m = QuarterTurns(rng, shifts[round % 3]);
        SurfacePtr s = Box({0, 0, 0}, hi, true, m);
        G3BooleanCalculator c;
        ASSERT_TRUE(c.OpenFindIntersection(s.get()));
        GSRand(static_cast<unsigned int>(round + 3));
        int wrong = 0;
        for (int k = 0; k < 40; ++k) {
            // Over the diagonal of the face y = 0 or y = hi, into the wall
            // or out of it.
            const double t = 0.1 + 0.8 * unit(rng);
            const bool back = rng() % 2;
            const bool in = rng() % 2;
            const double off = (1.6 + 1.4 * unit(rng)) * band;
            const P local = {t * hi[0], back ? hi[1] + (in ? -off : off) : (in ? off : -off), t * hi[2]};
            wrong += c.FindVertexClassify(m.Apply(local).data()) != (in ? SC_INSIDE : SC_OUTSIDE);
        }
        EXPECT_EQ(0, wrong) << "round " << round;
        EXPECT_TRUE(c.CloseFindIntersection(s.get()));
        EXPECT_EQ("", MeshCheck(s.get()));
    }
}

// ------------------------------------------------------------ ray grid and flood fill

TEST(BooleanRayGrid, SameAnswersAsTheWholeList)
{
    // A sphere of 2000 triangles (enough for the grid) and points around
    // it, at its vertices, the middles of its edges and its facets'
    // centroids.
    SurfacePtr s = Sphere(0, 0, 0, 1000, 24, 44);
    Session open(s.get());
    // Another list of the same facets: the grid serves one list at a time
    // (and only after a few rays), so the two lists' answers come from the
    // grid and from a whole scan, either way round.
    GArrayCollection copy(*s->GetFacetList());
    Probe probe(nullptr, nullptr, 2 * 3464.2);
    std::mt19937 rng(42);
    std::uniform_real_distribution<double> u(-1300.0, 1300.0);
    std::uniform_int_distribution<int> pick(0, s->GetVertexCount() - 1);
    int on = 0, inside = 0;
    for (int n = 0; n < 600; ++n) {
        P p = {u(rng), u(rng), u(rng)};
        if (n % 3 == 1) {
            G3Vertex* v = s->GetVertex(pick(rng));
            const double* a = v->GetXYZ();
            const double* b = v->GetFirstEdge()->GetOtherVertex(v)->GetXYZ();
            const double t = n % 2 ? 0.0 : 0.5;
            for (int k = 0; k < 3; ++k)
                p[k] = a[k] + t * (b[k] - a[k]);
        } else if (n % 3 == 2) {
            p = {0, 0, 0};
            for (G3Vertex* v : testmesh::Corners(s->GetFacet(pick(rng) % s->GetFacetCount())))
                for (int k = 0; k < 3; ++k)
                    p[k] += v->GetXYZ()[k] / 3.0;
        }
        GSRand(static_cast<unsigned>(n));
        const SURF_CLASSIFY grid = probe.ClassifyVertex(p.data(), s->GetFacetList());
        GSRand(static_cast<unsigned>(n));
        ASSERT_EQ(probe.ClassifyVertex(p.data(), &copy), grid) << "point " << n;
        on += grid == SC_ON;
        inside += grid == SC_INSIDE;
    }
    EXPECT_GT(on, 120);
    EXPECT_GT(inside, 40);
}

SURF_CLASSIFY ClassOf(G3Vertex* v) { return G3BooleanVertexData::Of(v)->classify; }

// The fill as a plain recursion: the reference for order and cut-off.
void Reference(G3Vertex* v, SURF_CLASSIFY c, int depth, std::vector<int>& order)
{
    order.push_back(static_cast<int>(v->GetId()));
    G3BooleanVertexData::Of(v)->classify = c;
    if (depth >= 0x1001)
        return;
    std::vector<G3Edge*> ring;
    for (G3Edge* e = v->GetFirstEdge(); e; e = e->GetVertexEdge(v))
        ring.push_back(e);
    for (G3Edge* e : ring)
        if (ClassOf(e->GetOtherVertex(v)) == SC_UNKNOWN)
            Reference(e->GetOtherVertex(v), c, depth + 1, order);
}

TEST(BooleanFlood, MatchesTheRecursiveWalkAndItsCutOff)
{
    for (int n : {10, 3000, 9000}) {
        SCOPED_TRACE(n);
        // A strip of n quads split into triangles: a long graph whose
        // depth-first walk goes far.
        SurfacePtr strips[2];
        for (SurfacePtr& s : strips) {
            s.reset(new G3Surface());
            for (int i = 0; i <= n; ++i) {
                s->AddVertex(i, 0, 0, 0);
                s->AddVertex(i, 1, 0, 0);
            }
            for (int i = 0; i < n; ++i) {
                testmesh::FacetByIds(*s, {2 * i, 2 * i + 2, 2 * i + 3});
                testmesh::FacetByIds(*s, {2 * i, 2 * i + 3, 2 * i + 1});
            }
            G3BooleanCalculator::OpenBoolean(s.get());
            // A few vertices already on the curve stop the fill.
            for (int id : {7, 8, 2 * n - 3})
                if (id < s->GetVertexCount())
                    G3BooleanVertexData::Of(s->GetVertex(id))->classify = SC_ON;
        }
        G3Surface* s = strips[0].get();
        G3Surface* ref = strips[1].get();
        Probe engine(nullptr, nullptr, 0);
        engine.SetClassify(s->GetVertex(n), SC_INSIDE);
        EXPECT_EQ(0, engine.Depth());
        EXPECT_EQ(0, engine.StackSize());
        std::vector<int> order;
        Reference(ref->GetVertex(n), SC_INSIDE, 0, order);
        int reached = 0;
        for (int i = 0; i < s->GetVertexCount(); ++i) {
            EXPECT_EQ(ClassOf(ref->GetVertex(i)), ClassOf(s->GetVertex(i))) << "vertex " << i;
            reached += ClassOf(s->GetVertex(i)) == SC_INSIDE;
        }
        EXPECT_EQ(static_cast<int>(order.size()), reached);
        if (n == 9000) {
            EXPECT_LT(reached, s->GetVertexCount() - 3);  // the cut-off left vertices for the rays
        }
        for (SurfacePtr& t : strips) {
            G3BooleanCalculator::CloseBoolean(t.get());
            EXPECT_EQ("", MeshCheck(t.get()));
        }
    }
}

} // namespace
