// The classification steps of a boolean on their own: the flood fill of
// vertex classes against a recursive reference (order and depth cut-off),
// the ray grid against the whole facet list (same answers ray by ray, also
// for points on facets, edges and vertices), and facet classes from mixed
// or undecided vertices.

#include "boolean/boolean_support.h"
#include "mesh/mesh_check.h"

#include "Geometry/boolean/G3BooleanCalculator.h"
#include "Geometry/boolean/G3BooleanData.h"
#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/foundation/GRandom.h"
#include "Geometry/mesh/G3Edge.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <vector>

namespace {

using SurfacePtr = std::unique_ptr<G3Surface>;

class Engine : public G3BooleanCalculator {
public:
    using G3BooleanCalculator::ClassifyVertex;
    using G3BooleanCalculator::ClassifyVertices;
    using G3BooleanCalculator::FindFacetClassify;
    using G3BooleanCalculator::SetClassify;
    void SetRadius(double r) { radius = r; }
    void SetDisjoint() { clip = G_CLIP_DISJOINT; }
    void SetCommon(const GEnvelope& box)
    {
        clip = 0;
        envCommon = box;
    }
    int Depth() const { return depth; }
    int StackSize() const { return edgeStack->size(); }
};

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
    for (G3Edge* e : ring) {
        G3Vertex* o = e->GetOtherVertex(v);
        if (G3BooleanVertexData::Of(o)->classify == SC_UNKNOWN)
            Reference(o, c, depth + 1, order);
    }
}

// A strip of n quads split into triangles: a long graph whose depth-first
// walk goes far.
G3Surface* Strip(int n)
{
    G3Surface* s = new G3Surface();
    for (int i = 0; i <= n; ++i) {
        s->AddVertex(i, 0, 0, 0);
        s->AddVertex(i, 1, 0, 0);
    }
    for (int i = 0; i < n; ++i) {
        orienttest::Facet(*s, {2 * i, 2 * i + 2, 2 * i + 3});
        orienttest::Facet(*s, {2 * i, 2 * i + 3, 2 * i + 1});
    }
    return s;
}

TEST(BooleanFlood, MatchesTheRecursiveWalkAndItsCutOff)
{
    for (int n : {10, 3000, 9000}) {
        SCOPED_TRACE(n);
        SurfacePtr s(Strip(n));
        SurfacePtr ref(Strip(n));
        G3BooleanCalculator::OpenBoolean(s.get());
        G3BooleanCalculator::OpenBoolean(ref.get());
        // A few vertices already on the curve stop the fill.
        for (int id : {7, 8, 2 * n - 3})
            if (id < s->GetVertexCount()) {
                G3BooleanVertexData::Of(s->GetVertex(id))->classify = SC_ON;
                G3BooleanVertexData::Of(ref->GetVertex(id))->classify = SC_ON;
            }
        Engine engine;
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
        G3BooleanCalculator::CloseBoolean(s.get());
        G3BooleanCalculator::CloseBoolean(ref.get());
        EXPECT_EQ("", MeshCheck(s.get()));
    }
}

TEST(BooleanFlood, ClassifyVerticesFillsThenCastsRays)
{
    SurfacePtr other(booltest::Box(0.5, -1, -1, 3, 3, 3));
    G3BooleanCalculator::OpenBoolean(other.get());
    Engine engine;
    engine.SetRadius(100.0);
    GEnvelope common;
    common.Init(0.5, -1, -1, 1, 3, 3);
    engine.SetCommon(common);
    {
        // Uncut, a box half in the other: the fill from its outer corners
        // reaches every vertex (only the curves would stop it).
        SurfacePtr s(booltest::Box(0, 0, 0, 1, 1, 1));
        G3BooleanCalculator::OpenBoolean(s.get());
        G3BooleanVertexData::Of(s->GetVertex(7))->classify = SC_ON;
        engine.ClassifyVertices(s.get(), other->GetFacetList());
        for (int i = 0; i < 7; ++i)
            EXPECT_EQ(SC_OUTSIDE, ClassOf(s->GetVertex(i)));
        EXPECT_EQ(SC_ON, ClassOf(s->GetVertex(7)));
        G3BooleanCalculator::CloseBoolean(s.get());
    }
    {
        // Wholly in the common box: the first vertex by a ray, the rest by
        // the fill from it.
        SurfacePtr s(booltest::Box(0.6, 0, 0, 0.9, 1, 1));
        G3BooleanCalculator::OpenBoolean(s.get());
        engine.ClassifyVertices(s.get(), other->GetFacetList());
        for (int i = 0; i < s->GetVertexCount(); ++i)
            EXPECT_EQ(SC_INSIDE, ClassOf(s->GetVertex(i)));
        engine.SetDisjoint();
        G3BooleanCalculator::CloseBoolean(s.get());
        G3BooleanCalculator::OpenBoolean(s.get());
        engine.ClassifyVertices(s.get(), other->GetFacetList());
        for (int i = 0; i < s->GetVertexCount(); ++i)
            EXPECT_EQ(SC_OUTSIDE, ClassOf(s->GetVertex(i)));
        G3BooleanCalculator::CloseBoolean(s.get());
    }
    G3BooleanCalculator::CloseBoolean(other.get());
}

TEST(BooleanRayGrid, SameAnswersAsTheWholeList)
{
    // A sphere of 2000 triangles (enough for the grid) and points around
    // it, on its facets, on its edges and at its vertices.
    SurfacePtr s(booltest::Sphere(0, 0, 0, 1000, 24, 44));
    G3BooleanCalculator::OpenBoolean(s.get());
    GArrayCollection copy(*s->GetFacetList());  // another list: scanned whole
    Engine engine;
    engine.SetRadius(2 * 3464.2);
    std::mt19937 rng(42);
    std::uniform_real_distribution<double> u(-1300.0, 1300.0);
    std::uniform_int_distribution<int> pick(0, s->GetVertexCount() - 1);
    int on = 0;
    int inside = 0;
    for (int n = 0; n < 1500; ++n) {
        double p[3] = {u(rng), u(rng), u(rng)};
        if (n % 3 == 1) {
            // A vertex, or the middle of one of its edges.
            G3Vertex* v = s->GetVertex(pick(rng));
            const double* a = v->GetXYZ();
            const double* b = v->GetFirstEdge()->GetOtherVertex(v)->GetXYZ();
            const double t = n % 2 ? 0.0 : 0.5;
            for (int k = 0; k < 3; ++k)
                p[k] = a[k] + t * (b[k] - a[k]);
        } else if (n % 3 == 2) {
            // The centroid of a facet.
            G3Facet* f = s->GetFacet(pick(rng) % s->GetFacetCount());
            G3FacetVertexIterator it(f);
            for (int k = 0; k < 3; ++k)
                p[k] = 0.0;
            while (it.hasNext())
                if (const G3Vertex* v = it.NextVertex())
                    for (int k = 0; k < 3; ++k)
                        p[k] += v->GetXYZ()[k] / 3.0;
        }
        GSRand(static_cast<unsigned>(n));
        const SURF_CLASSIFY grid = engine.ClassifyVertex(p, s->GetFacetList());
        GSRand(static_cast<unsigned>(n));
        const SURF_CLASSIFY whole = engine.ClassifyVertex(p, &copy);
        ASSERT_EQ(whole, grid) << "point " << n;
        on += grid == SC_ON;
        inside += grid == SC_INSIDE;
    }
    EXPECT_GT(on, 300);
    EXPECT_GT(inside, 100);
    G3BooleanCalculator::CloseBoolean(s.get());
}

TEST(BooleanFacetClass, MixedVerticesFallBackToAnInnerPoint)
{
    // A square facet half inside a box: its vertices say both inside and
    // outside, so its interior point decides (and the trace says so).
    SurfacePtr s(new G3Surface());
    for (double x : {0.0, 2.0})
        for (double y : {0.0, 1.0})
            s->AddVertex(x, y, 0.5, 0);
    orienttest::Facet(*s, {0, 2, 3, 1});
    s->FormPlaneEquation();
    SurfacePtr box(booltest::Box(-1, -1, 0, 1.5, 2, 1));
    G3BooleanCalculator::OpenBoolean(s.get());
    G3BooleanCalculator::OpenBoolean(box.get());
    G3BooleanVertexData::Of(s->GetVertex(0))->classify = SC_INSIDE;
    G3BooleanVertexData::Of(s->GetVertex(1))->classify = SC_INSIDE;
    G3BooleanVertexData::Of(s->GetVertex(2))->classify = SC_OUTSIDE;
    G3BooleanVertexData::Of(s->GetVertex(3))->classify = SC_OUTSIDE;
    Engine engine;
    engine.SetRadius(100.0);
    GSRand(5);
    const SURF_CLASSIFY c = engine.FindFacetClassify(s.get(), s->GetFacet(0), box->GetFacetList());
    EXPECT_TRUE(c == SC_INSIDE || c == SC_OUTSIDE);
    // All four inside, or outside with one on: no ray needed.
    G3BooleanVertexData::Of(s->GetVertex(2))->classify = SC_INSIDE;
    G3BooleanVertexData::Of(s->GetVertex(3))->classify = SC_ON;
    EXPECT_EQ(SC_INSIDE, engine.FindFacetClassify(s.get(), s->GetFacet(0), box->GetFacetList()));
    G3BooleanCalculator::CloseBoolean(s.get());
    G3BooleanCalculator::CloseBoolean(box.get());
}

}  // namespace
