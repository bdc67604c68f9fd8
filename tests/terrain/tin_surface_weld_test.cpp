// Reading a triangulation back without welding: when the run shows that no
// two output vertices can come within the weld tolerance, GetSurface skips
// the weld. The surface and the output links must then be exactly what the
// weld would have left, and every input that can weld must still be welded.

#include "tin_check.h"

#include "mesh/mesh_check.h"

#include "Geometry/foundation/GTrace.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/mesh/G3Vertex.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <unordered_map>
#include <vector>

namespace {

using Pts = std::vector<std::array<double, 3>>;

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

// Index of every entity of a surface's lists, -1 for null.
struct Slots {
    std::unordered_map<const void*, long> at;
    explicit Slots(G3Surface* s)
    {
        for (GArrayCollection* c : {s->GetVertexList(), s->GetEdgeList(), s->GetFacetList()})
            for (int i = 0; i < c->size(); ++i)
                at[c->get(i)] = i;
    }
    long operator()(const void* p) const
    {
        if (!p)
            return -1;
        const auto it = at.find(p);
        return it == at.end() ? -2 : it->second;
    }
};

bool SameBits(const double* a, const double* b, int n) { return std::memcmp(a, b, sizeof(double) * n) == 0; }

// The first difference between two surfaces: list sizes and order, ids,
// flags, bit-identical coordinates and planes, every ring and chain link.
std::string Difference(G3Surface* a, G3Surface* b)
{
    if (a->GetVertexCount() != b->GetVertexCount() || a->GetEdgeCount() != b->GetEdgeCount() ||
        a->GetFacetCount() != b->GetFacetCount() || a->GetNormalCount() != b->GetNormalCount() ||
        a->GetTexCooCount() != b->GetTexCooCount() || a->GetPolyEdgeCount() != b->GetPolyEdgeCount())
        return "counts";
    const Slots sa(a), sb(b);
    for (int i = 0; i < a->GetVertexCount(); ++i) {
        const G3Vertex* u = a->GetVertex(i);
        const G3Vertex* v = b->GetVertex(i);
        if (!SameBits(u->GetXYZ(), v->GetXYZ(), 3) || u->GetId() != v->GetId() || u->GetFlags() != v->GetFlags() ||
            sa(u->GetFirstEdge()) != sb(v->GetFirstEdge()) || sa(u->GetLastEdge()) != sb(v->GetLastEdge()) ||
            u->GetExData() != nullptr || v->GetExData() != nullptr)
            return "vertex " + std::to_string(i);
    }
    for (int i = 0; i < a->GetEdgeCount(); ++i) {
        const G3Edge* e = a->GetEdge(i);
        const G3Edge* f = b->GetEdge(i);
        const long x[] = {sa(e->GetVertex1()),     sa(e->GetVertex2()),     sa(e->GetFacet1()),
                          sa(e->GetFacet2()),      sa(e->GetVertex1Edge()), sa(e->GetVertex2Edge()),
                          sa(e->GetFacet1Edge()),  sa(e->GetFacet2Edge()),  e->GetId(),
                          e->GetFlags()};
        const long y[] = {sb(f->GetVertex1()),     sb(f->GetVertex2()),     sb(f->GetFacet1()),
                          sb(f->GetFacet2()),      sb(f->GetVertex1Edge()), sb(f->GetVertex2Edge()),
                          sb(f->GetFacet1Edge()),  sb(f->GetFacet2Edge()),  f->GetId(),
                          f->GetFlags()};
        if (std::memcmp(x, y, sizeof x) != 0)
            return "edge " + std::to_string(i);
    }
    for (int i = 0; i < a->GetFacetCount(); ++i) {
        const G3Facet* f = a->GetFacet(i);
        const G3Facet* g = b->GetFacet(i);
        if (!SameBits(f->GetPlane(), g->GetPlane(), 4) || f->GetId() != g->GetId() || f->GetFlags() != g->GetFlags() ||
            sa(f->GetFirstEdge()) != sb(g->GetFirstEdge()) || sa(f->GetLastEdge()) != sb(g->GetLastEdge()))
            return "facet " + std::to_string(i);
    }
    return "";
}

// Output links of two interfaces built from the same input, as list slots.
std::string LinkDifference(const G3TriInterface& ta, G3Surface* a, const G3TriInterface& tb, G3Surface* b)
{
    const Slots sa(a), sb(b);
    if (ta.GetVertexCount() != tb.GetVertexCount())
        return "vertex counts";
    for (int i = 0; i < ta.GetVertexCount(); ++i)
        if (sa(ta.GetVertex(i)->GetOutputVertex()) != sb(tb.GetVertex(i)->GetOutputVertex()))
            return "link " + std::to_string(i);
    return "";
}

struct Input {
    Pts points;
    std::vector<std::pair<int, int>> constraints;
    const double* u = nullptr;
    const double* v = nullptr;
};

void Build(G3TriInterface& tin, const Input& in)
{
    if (in.u)
        tin.Set2DPlane(in.u, in.v);
    std::vector<G3TVertex*> tv;
    for (const auto& p : in.points)
        tv.push_back(tin.AddVertex(p.data()));
    for (const auto& c : in.constraints)
        tin.AddEdge(tv[static_cast<std::size_t>(c.first)], tv[static_cast<std::size_t>(c.second)]);
    tin.MakeTriangulation(G3TriInterface::TRI_BASIC_DEFAULT);
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
    bool welded = false;
    {
        WeldWatch watch;
        fast.GetSurface(&a);
        welded = watch.Welded();
    }
    {
        WeldWatch watch;
        slow.GetSurface(&b);
        EXPECT_TRUE(watch.Welded());
    }
    EXPECT_EQ(b.GetNormalCount(), 0);
    EXPECT_EQ("", Difference(&a, &b));
    EXPECT_EQ("", LinkDifference(fast, &a, slow, &b));
    EXPECT_EQ("", MeshCheck(&a));
    return welded;
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

// Random inputs (constrained, on a rotated plane whose axes are
// orthonormal only to rounding) skip the weld. Companions placed next to
// random points, closer than the weld tolerance (some at another height) or
// a little farther, must be seen by the run's separation: the weld runs
// and gives what it always gave.
TEST(TinSurfaceWeldSkip, RandomInputsGiveTheWeldedSurface)
{
    const double u[3] = {1.0 / 3, 2.0 / 3, 2.0 / 3}, v[3] = {2.0 / 3, 1.0 / 3, -2.0 / 3};
    std::mt19937 rng(21);
    std::uniform_real_distribution<double> turn(0.0, 6.283185307179586);
    for (int round = 0; round < 5; ++round) {
        SCOPED_TRACE(round);
        Input in = round < 3 ? RandomInput(11 + round, 4000, round == 1 ? 60 : 0) : RandomInput(29, 3000, 40);
        if (round == 2) {
            in.u = u;
            in.v = v;
        }
        const double reach = round == 3 ? 9e-7 : 3.5e-6;
        for (int i = 0; round >= 3 && i < 300; ++i) {
            const auto& p = in.points[static_cast<std::size_t>(i * 7)];
            const double a = turn(rng), r = reach * (0.1 + 0.9 * (i % 10) / 9.0);
            in.points.push_back({p[0] + r * std::cos(a), p[1] + r * std::sin(a), p[2] + (i % 3 == 0 ? 1.0 : 0.0)});
        }
        EXPECT_EQ(round >= 3, ExpectSameAsWelded(in)); // whether the weld ran
    }
}

// The skipped weld against a surface built by hand from the triangles and
// welded by the surface's own pass.
TEST(TinSurfaceWeldSkip, MatchesHandBuiltWeldedSurface)
{
    const Input in = RandomInput(5, 3000, 0);
    G3TriInterface tin;
    Build(tin, in);
    G3Surface out;
    tin.GetSurface(&out);

    G3Surface hand;
    std::vector<G3Vertex*> vs;
    std::unordered_map<const G3TVertex*, G3Vertex*> of;
    for (int i = 0; i < tin.GetVertexCount(); ++i) {
        double p[3];
        tin.GetPosition(tin.GetVertex(i), p);
        of[tin.GetVertex(i)] = hand.AddVertex(p, 0);
    }
    int flags[3] = {1, 1, 1};
    for (int i = 0; i < tin.GetTriangleCount(); ++i) {
        G3TVertex* c[3];
        ASSERT_TRUE(tin.GetTriangle(i, c));
        G3Vertex* corners[3] = {of[c[0]], of[c[1]], of[c[2]]};
        ASSERT_NE(hand.AddFacet(3, corners, flags, nullptr, nullptr), nullptr);
    }
    hand.RemoveEqualsVertex();
    EXPECT_EQ("", Difference(&out, &hand));
    for (int i = 0; i < tin.GetVertexCount(); ++i)
        ASSERT_EQ(tin.GetVertex(i)->GetOutputVertex(), out.GetVertex(i)); // nothing moved
}

// Inputs on which the weld has work still get it.
TEST(TinSurfaceWeldSkip, CloseVerticesStillWeld)
{
    const Pts square = {{0, 0, 1}, {10, 0, 1}, {10, 10, 1}, {0, 10, 1}, {5, 5, 1}};
    // Plan gaps: below the engine's merge distance in neither axis, below
    // the weld tolerance, and above it but inside the margin.
    for (const double gap : {2e-8, 5e-7, 3e-6}) {
        SCOPED_TRACE(gap);
        Input in;
        in.points = square;
        in.points.push_back({5 + gap, 5, 1});
        G3TriInterface tin;
        Build(tin, in);
        ASSERT_EQ(tin.GetEngine()->GetMergedCount(), 0);
        WeldWatch watch;
        std::unique_ptr<G3Surface> s(tin.GetSurface());
        EXPECT_TRUE(watch.Welded());
        const bool joined = gap < 1e-6;
        EXPECT_EQ(s->GetVertexCount(), joined ? 5 : 6);
        EXPECT_EQ(tin.GetVertex(5)->GetOutputVertex() == tin.GetVertex(4)->GetOutputVertex(), joined);
        EXPECT_NE(tin.GetVertex(4)->GetOutputVertex(), nullptr);
        EXPECT_EQ("", MeshCheck(s.get()));
    }
    {
        // Far apart in the plane but close in space: the plane's second axis
        // is shortened to 1e-3, so plan distance 5e-4 maps to 5e-7.
        const double u[3] = {1, 0, 0}, v[3] = {0, 1e-3, 0};
        Input in;
        in.u = u;
        in.v = v;
        in.points = {{0, 0, 0}, {10, 0, 0}, {10, 10, 0}, {0, 10, 0}, {5, 5, 0}, {5, 5.5, 0}};
        G3TriInterface tin;
        Build(tin, in);
        EXPECT_GT(tin.GetEngine()->GetNodeSeparation(), 1e-4);
        std::unique_ptr<G3Surface> s(tin.GetSurface());
        EXPECT_EQ(s->GetVertexCount(), 5);
        EXPECT_EQ(tin.GetVertex(5)->GetOutputVertex(), tin.GetVertex(4)->GetOutputVertex());
        EXPECT_EQ("", MeshCheck(s.get()));
    }
}

// A point the run merged away at another height, a point the run never saw
// (added after it) and one without a finite position take no part in any
// facet: their vertices go and their links are cleared, as the weld leaves
// them. A repeated point shares its twin's vertex.
TEST(TinSurfaceWeldSkip, PointsOutsideTheRunLoseTheirVertices)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (int kind = 0; kind < 4; ++kind) {
        SCOPED_TRACE(kind);
        Input in = RandomInput(3, 200, 0);
        if (kind == 0 || kind == 3) // the same point again, or at another height
            in.points.push_back({in.points[7][0], in.points[7][1], in.points[7][2] + (kind == 3 ? 1.0 : 0.0)});
        if (kind == 1)
            in.points.push_back({nan, 1.0, 2.0});
        G3TriInterface tin;
        Build(tin, in);
        const double late[3] = {1.5, 2.5, 3.5};
        if (kind == 2)
            tin.AddVertex(late);
        std::unique_ptr<G3Surface> s(tin.GetSurface());
        EXPECT_EQ(s->GetVertexCount(), 200);
        EXPECT_EQ(tin.GetVertex(200)->GetOutputVertex(), kind == 0 ? tin.GetVertex(7)->GetOutputVertex() : nullptr);
        EXPECT_EQ("", MeshCheck(s.get()));
    }
}

} // namespace
