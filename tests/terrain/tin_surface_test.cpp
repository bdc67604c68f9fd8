// The triangulation front end read back as a mesh: facets, heights and
// planes, the weld (and the skipped weld, which must leave exactly what the
// weld would have left), the output links of the engine vertices, options
// and reruns.

#include "tin_check.h"

#include "mesh/mesh_check.h"

#include "Geometry/foundation/GTrace.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/mesh/G3Vertex.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <limits>
#include <memory>
#include <random>
#include <set>
#include <type_traits>
#include <unordered_map>
#include <vector>

namespace {

using Pts = std::vector<std::array<double, 3>>;

struct Input {
    Pts points;
    std::vector<std::pair<int, int>> constraints;
    const double* u = nullptr;
    const double* v = nullptr;
};

// Adds the input and triangulates; the engine vertices in input order.
std::vector<G3TVertex*> Build(G3TriInterface& tin, const Input& in)
{
    if (in.u)
        tin.Set2DPlane(in.u, in.v);
    std::vector<G3TVertex*> tv;
    for (const auto& p : in.points)
        tv.push_back(tin.AddVertex(p.data()));
    for (const auto& c : in.constraints)
        tin.AddEdge(tv[static_cast<std::size_t>(c.first)], tv[static_cast<std::size_t>(c.second)]);
    tin.MakeTriangulation(G3TriInterface::TRI_BASIC_DEFAULT);
    return tv;
}

Input RandomInput(unsigned seed, int n, int constraints)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> c(-50.0, 150.0);
    Input in;
    for (int i = 0; i < n; ++i)
        in.points.push_back({c(rng), c(rng), c(rng) * 0.05});
    for (int i = 0; i < constraints; ++i)
        in.constraints.emplace_back(static_cast<int>(rng() % n), static_cast<int>(rng() % n));
    return in;
}

// Counts the weld's own reports: a GetSurface that skipped the weld gives
// none.
int g_weldReports = 0;
void CountWeld(const char* message)
{
    if (std::strncmp(message, "qV=", 3) == 0)
        ++g_weldReports;
}

struct WeldWatch {
    GTraceSink previous;
    WeldWatch() : previous(GSetTraceSink(CountWeld)) { g_weldReports = 0; }
    ~WeldWatch() { GSetTraceSink(previous); }
    bool Welded() const { return g_weldReports > 0; }
};

// Everything a weld decides, as numbers: list sizes and order, ids, flags,
// the bits of coordinates and planes, every ring and chain link and every
// engine vertex's output link as a list slot.
std::vector<long long> Signature(G3Surface* s, const G3TriInterface& tin)
{
    std::unordered_map<const void*, long long> slot = {{nullptr, -1}};
    for (GArrayCollection* c : {s->GetVertexList(), s->GetEdgeList(), s->GetFacetList()})
        for (int i = 0; i < c->size(); ++i)
            slot[c->get(i)] = i;
    std::vector<long long> out = {s->GetVertexCount(),  s->GetEdgeCount(),    s->GetFacetCount(),
                                  s->GetNormalCount(), s->GetTexCooCount(), s->GetPolyEdgeCount()};
    auto bits = [&out](const double* p, int n) {
        for (int k = 0; k < n; ++k) {
            long long b;
            std::memcpy(&b, p + k, sizeof b);
            out.push_back(b);
        }
    };
    for (int i = 0; i < s->GetVertexCount(); ++i) {
        const G3Vertex* v = s->GetVertex(i);
        bits(v->GetXYZ(), 3);
        out.insert(out.end(), {v->GetId(), v->GetFlags(), slot.at(v->GetFirstEdge()),
                               slot.at(v->GetLastEdge()), v->GetExData() != nullptr});
    }
    for (int i = 0; i < s->GetEdgeCount(); ++i) {
        const G3Edge* e = s->GetEdge(i);
        out.insert(out.end(),
                   {slot.at(e->GetVertex1()), slot.at(e->GetVertex2()), slot.at(e->GetFacet1()),
                    slot.at(e->GetFacet2()), slot.at(e->GetVertex1Edge()), slot.at(e->GetVertex2Edge()),
                    slot.at(e->GetFacet1Edge()), slot.at(e->GetFacet2Edge()), e->GetId(), e->GetFlags()});
    }
    for (int i = 0; i < s->GetFacetCount(); ++i) {
        const G3Facet* f = s->GetFacet(i);
        bits(f->GetPlane(), 4);
        out.insert(out.end(),
                   {f->GetId(), f->GetFlags(), slot.at(f->GetFirstEdge()), slot.at(f->GetLastEdge())});
    }
    for (int i = 0; i < tin.GetVertexCount(); ++i)
        out.push_back(slot.at(tin.GetVertex(i)->GetOutputVertex()));
    return out;
}

// Every engine vertex's output vertex is a live vertex of s, or null exactly
// when the vertex took no part in a facet (the sanitizer build reads
// through the links).
void ExpectLinksLive(const G3TriInterface& tin, G3Surface* s)
{
    for (int t = 0; t < tin.GetTriangleCount(); ++t) {
        G3TVertex* c[3];
        ASSERT_TRUE(tin.GetTriangle(t, c));
        EXPECT_TRUE(c[0]->GetOutputVertex() && c[1]->GetOutputVertex() && c[2]->GetOutputVertex()) << t;
    }
    std::set<const G3Vertex*> used;
    for (int i = 0; i < s->GetFacetCount(); ++i)
        for (G3FacetVertexIterator it(s->GetFacet(i)); it.hasNext();)
            used.insert(static_cast<G3Vertex*>(it.next()));
    for (int i = 0; i < tin.GetVertexCount(); ++i) {
        G3Vertex* out = tin.GetVertex(i)->GetOutputVertex();
        EXPECT_TRUE(out == nullptr || meshcheck::Listed(s->GetVertexList(), out)) << "vertex " << i;
        EXPECT_TRUE(out == nullptr || s->GetPolyEdgeCount() != 0 || used.count(out)) << "vertex " << i;
        if (out)
            out->SetExData(nullptr); // written through, as the terrain code does
    }
}

// GetSurface into an empty target, and into a target holding one unused
// normal: the normal keeps the weld running (the target is not empty) and
// is the only thing it removes, so both surfaces must come out the same.
// Returns whether the first call welded.
bool ExpectSameAsWelded(const Input& in)
{
    G3TriInterface fast, slow;
    Build(fast, in);
    Build(slow, in);
    G3Surface a, b;
    b.AddNormal(0.0, 0.0, 1.0);
    WeldWatch watch;
    fast.GetSurface(&a);
    const bool welded = watch.Welded();
    slow.GetSurface(&b);
    EXPECT_TRUE(watch.Welded());
    EXPECT_EQ(b.GetNormalCount(), 0);
    EXPECT_TRUE(Signature(&a, fast) == Signature(&b, slow));
    EXPECT_EQ("", MeshCheck(&a));
    ExpectLinksLive(fast, &a);
    return welded;
}

TEST(TinSurface, WallPlaneTriangulatesAndReturnsInputPositions)
{
    G3TriInterface tin;
    const double u[3] = {0, 1, 0}, v[3] = {0, 0, 1};
    const Pts pts = {{4, 0, 0}, {4, 10, 0}, {4, 10, 3}, {4, 0, 3}, {4, 5, 4}};
    const auto tv = Build(tin, {pts, {}, u, v});
    EXPECT_TRUE(CheckTin(tin).Valid());
    std::unique_ptr<G3Surface> s(tin.GetSurface());
    EXPECT_EQ(s->GetVertexCount(), 5);
    EXPECT_EQ(s->GetFacetCount(), 3);
    EXPECT_EQ("", MeshCheck(s.get()));
    // Counter-clockwise in the plane's axes: every facet faces along u x v.
    for (int i = 0; i < 3; ++i)
        EXPECT_GT(s->GetFacet(i)->GetPlane()[0], 0.9) << i;
    for (int i = 0; i < 5; ++i) {
        double back[3];
        tin.GetPosition(tv[i], back);
        ASSERT_NE(tv[i]->GetOutputVertex(), nullptr);
        for (int k = 0; k < 3; ++k) {
            EXPECT_DOUBLE_EQ(back[k], pts[i][k]);
            EXPECT_DOUBLE_EQ(tv[i]->GetOutputVertex()->GetXYZ()[k], pts[i][k]);
        }
    }
}

TEST(TinSurface, AppendsToTargetAndWeldsToItsVertices)
{
    // The target holds one triangle standing on two of the points.
    G3Surface target;
    G3Vertex* tri[3] = {target.AddVertex(0.0, 0.0, 0.0, 0), target.AddVertex(4.0, 0.0, 0.0, 0),
                        target.AddVertex(2.0, 0.0, 5.0, 0)};
    G3Facet* f = target.AddFacet(3, tri, 1, nullptr, nullptr);
    ASSERT_NE(f, nullptr);

    G3TriInterface tin;
    const auto tv = Build(tin, {{{0, 0, 0}, {4, 0, 0}, {4, 4, 0}, {0, 4, 0}}, {}});
    EXPECT_EQ(tin.GetSurface(&target), &target);
    EXPECT_EQ(target.GetVertexCount(), 5);
    EXPECT_EQ(target.GetFacetCount(), 3);
    EXPECT_TRUE(meshcheck::Listed(target.GetFacetList(), f)); // the old facet stays
    EXPECT_EQ("", MeshCheck(&target));
    // The points on the target's vertices were welded into those vertices.
    EXPECT_EQ(tv[0]->GetOutputVertex(), tri[0]);
    EXPECT_EQ(tv[1]->GetOutputVertex(), tri[1]);
    ExpectLinksLive(tin, &target);
}

static_assert(!std::is_copy_constructible<G3TriInterface>::value, "copies would share the engine");
static_assert(!std::is_copy_assignable<G3TriInterface>::value, "copies would share the engine");

TEST(TinSurface, NullInputsEmptyResultsAndReruns)
{
    G3TriInterface tin;
    EXPECT_EQ(tin.AddVertex(nullptr), nullptr);
    tin.Set2DPlane(nullptr, nullptr);
    EXPECT_EQ(tin.GetAxisU()[0], 1.0);
    G3TVertex* c[3];
    EXPECT_FALSE(tin.GetTriangle(0, c));
    EXPECT_EQ(tin.GetVertex(0), nullptr);
    EXPECT_EQ(tin.GetConstraint(0), nullptr);
    EXPECT_EQ(tin.GetSurface(nullptr), nullptr);
    tin.MakeTriangulation(G3TriInterface::TRI_BASIC_DEFAULT);
    std::unique_ptr<G3Surface> s(tin.GetSurface());
    ASSERT_TRUE(s);
    EXPECT_EQ(s->GetVertexCount(), 0);

    // A point added after a run is not part of it until the next run.
    Build(tin, {{{0, 0, 1}, {1, 0, 2}, {0, 1, 3}}, {}});
    const double p[3] = {1, 1, 4};
    G3TVertex* late = tin.AddVertex(p);
    EXPECT_EQ(tin.GetTriangleCount(), 1);
    EXPECT_EQ(tin.GetKeptVertex(late), nullptr);
    tin.MakeTriangulation(G3TriInterface::TRI_BASIC_DEFAULT);
    EXPECT_EQ(tin.GetTriangleCount(), 2);
    EXPECT_EQ(tin.GetKeptVertex(late), late);
}

// Random inputs (constrained, on a rotated plane whose axes are orthonormal
// only to rounding) skip the weld. Companions placed next to random points,
// closer than the weld tolerance (some at another height) or a little
// farther, and exact repeats (same or other height) must be seen by the
// run: the weld runs and gives what it always gave.
TEST(TinSurface, RandomInputsGiveTheWeldedSurface)
{
    const double u[3] = {1.0 / 3, 2.0 / 3, 2.0 / 3}, v[3] = {2.0 / 3, 1.0 / 3, -2.0 / 3};
    std::mt19937 rng(21);
    std::uniform_real_distribution<double> turn(0.0, 6.283185307179586);
    for (int round = 0; round < 6; ++round) {
        SCOPED_TRACE(round);
        Input in = round < 3 ? RandomInput(11 + round, 4000, round == 1 ? 60 : 0) : RandomInput(29, 3000, 40);
        if (round == 2) {
            in.u = u;
            in.v = v;
        }
        const double reach = round == 3 ? 9e-7 : round == 4 ? 3.5e-6 : 0.0;
        for (int i = 0; round >= 3 && i < 300; ++i) {
            const auto& p = in.points[static_cast<std::size_t>(i * 7)];
            const double a = turn(rng), r = reach * (0.1 + 0.9 * (i % 10) / 9.0);
            in.points.push_back(
                {p[0] + r * std::cos(a), p[1] + r * std::sin(a), p[2] + (i % 3 == 0 ? 1.0 : 0.0)});
        }
        EXPECT_EQ(round >= 3, ExpectSameAsWelded(in)); // whether the weld ran
    }
}

// Inputs on which the weld has work still get it: a pair closer than the
// run's merge distance in neither axis, one closer than the weld tolerance,
// one farther but inside the skip's margin, and (gap -1) a pair far apart
// in the plane but close in space: the plane's second axis is shortened to
// 1e-3, so plan distance 5e-4 maps to 5e-7.
TEST(TinSurface, CloseVerticesStillWeld)
{
    const double u[3] = {1, 0, 0}, v[3] = {0, 1e-3, 0};
    for (const double gap : {2e-8, 5e-7, 3e-6, -1.0}) {
        SCOPED_TRACE(gap);
        Input in = {{{0, 0, 1}, {10, 0, 1}, {10, 10, 1}, {0, 10, 1}, {5, 5, 1}, {5 + gap, 5, 1}}, {}};
        if (gap < 0) {
            in = {{{0, 0, 0}, {10, 0, 0}, {10, 10, 0}, {0, 10, 0}, {5, 5, 0}, {5, 5.5, 0}}, {}, u, v};
        }
        G3TriInterface tin;
        Build(tin, in);
        WeldWatch watch;
        std::unique_ptr<G3Surface> s(tin.GetSurface());
        EXPECT_TRUE(watch.Welded());
        EXPECT_EQ(tin.GetVertex(5)->GetOutputVertex() == tin.GetVertex(4)->GetOutputVertex(), gap < 1e-6);
        EXPECT_EQ("", MeshCheck(s.get()));
    }
}

// A point the run merged away at another height, a point the run never saw
// (added after it) and one without a finite position take no part in any
// facet: their vertices go and their links are cleared, as the weld leaves
// them. A repeated point shares its twin's vertex.
TEST(TinSurface, PointsOutsideTheRunLoseTheirVertices)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (int kind = 0; kind < 4; ++kind) {
        SCOPED_TRACE(kind);
        Input in = RandomInput(3, 200, 0);
        if (kind == 0 || kind == 3) // the same point again, or at another height
            in.points.push_back(
                {in.points[7][0], in.points[7][1], in.points[7][2] + (kind == 3 ? 1.0 : 0.0)});
        if (kind == 1)
            in.points.push_back({nan, 1.0, 2.0});
        G3TriInterface tin;
        Build(tin, in);
        const double late[3] = {1.5, 2.5, 3.5};
        if (kind == 2)
            tin.AddVertex(late);
        std::unique_ptr<G3Surface> s(tin.GetSurface());
        EXPECT_EQ(s->GetVertexCount(), 200);
        EXPECT_EQ(tin.GetVertex(200)->GetOutputVertex(),
                  kind == 0 ? tin.GetVertex(7)->GetOutputVertex() : nullptr);
        EXPECT_EQ("", MeshCheck(s.get()));
        ExpectLinksLive(tin, s.get());
    }
}

} // namespace
