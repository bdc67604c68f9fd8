// Uniform facet grid: clipped segment walks, box ranges, facet collection.

#include "mesh_builder.h"

#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/math/GEnvelope.h"
#include "Geometry/mesh/G3Grid.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <set>

namespace {

// A 4x4x4 grid over [0, 4]^3 with one facet of its own in every cell.
struct CellGrid {
    CellGrid() : grid(&box(), 4)
    {
        for (int k = 0; k < 4; ++k)
            for (int j = 0; j < 4; ++j)
                for (int i = 0; i < 4; ++i) {
                    facets.emplace_back(new G3Facet());
                    grid.Add(i, j, k, facets.back().get());
                }
    }
    static const GEnvelope& box()
    {
        static GEnvelope b;
        b.Init(0, 0, 0, 4, 4, 4);
        return b;
    }
    G3Facet* At(int i, int j, int k) { return facets[(k * 4 + j) * 4 + i].get(); }
    G3Facet* At(const double* p)
    {
        int i, j, k;
        grid.GetIndexes(p, &i, &j, &k);
        return At(i, j, k);
    }
    bool NoneMarked() const
    {
        for (auto& f : facets)
            if (f->GetMark())
                return false;
        return true;
    }

    G3Grid grid;
    std::vector<std::unique_ptr<G3Facet>> facets;
};

std::set<GObj*> AsSet(const GArrayCollection& c)
{
    std::set<GObj*> s;
    for (int i = 0; i < c.size(); ++i)
        s.insert(c.get(i));
    return s;
}

}  // namespace

TEST(G3GridTest, SegmentsMissingTheBoxAddNothing)
{
    CellGrid g;
    GArrayCollection out;
    out.add(g.At(0, 0, 0));
    const double a[3] = {10, -1, 2}, b[3] = {-1, 10, 2};  // passes the corner (4, 4) outside
    g.grid.GetFacetByLine(a, b, &out);
    const double c[3] = {5, 5, 5}, d[3] = {9, 6, 5};
    g.grid.GetFacetByLine(c, d, &out);
    const double nan[3] = {std::numeric_limits<double>::quiet_NaN(), 1, 1}, inf[3] = {HUGE_VAL, 1, 1};
    g.grid.GetFacetByLine(nan, c, &out);
    g.grid.GetFacetByLine(d, inf, &out);
    EXPECT_EQ(out.size(), 1);
    EXPECT_TRUE(g.NoneMarked());
}

// Every cell the segment passes through contributes its facet, once; a
// segment reaching in from outside is clipped first; one along a cell edge
// stays in one column of cells; results accumulate.
TEST(G3GridTest, SegmentWalkCoversItsCells)
{
    CellGrid g;
    const double edge = g.grid.GetMin()[0] + g.grid.GetCellSize()[0];
    const struct {
        double a[3], b[3];
        int most;
    } segments[] = {{{-3.0, 0.5, -1.2}, {3.9, 2.5, 3.7}, 30}, {{edge, edge, 0.5}, {edge, edge, 3.5}, 4}};
    for (const auto& seg : segments) {
        const double *a = seg.a, *b = seg.b;
        GArrayCollection out;
        g.grid.GetFacetByLine(a, b, &out);
        const std::set<GObj*> got = AsSet(out);
        EXPECT_EQ(got.size(), static_cast<size_t>(out.size()));
        EXPECT_LE(out.size(), seg.most);
        for (int n = 0; n <= 20000; ++n) {
            const double t = n / 20000.0;
            double p[3];
            for (int k = 0; k < 3; ++k)
                p[k] = a[k] + t * (b[k] - a[k]);
            if (g.box().ClipCode(p) == 0) {
                ASSERT_TRUE(got.count(g.At(p))) << "t = " << t;
            }
        }
        EXPECT_TRUE(g.NoneMarked());
        const int first = out.size();
        g.grid.GetFacetByLine(b, b, &out); // a point: its own cell, appended again
        ASSERT_EQ(out.size(), first + 1);
        EXPECT_EQ(out.get(first), g.At(b));
    }
}

TEST(G3GridTest, BoxRangesClampAndEmptyOutside)
{
    G3Grid grid(&CellGrid::box(), 4);
    int i[2], j[2], k[2];
    GEnvelope box;
    box.Init(5, 1, -3, 7, 2.5, 1.5);
    grid.GetIndexes(&box, i, j, k);
    EXPECT_GT(i[0], i[1]);  // beyond max along x: nothing
    EXPECT_EQ((std::vector<int>{j[0], j[1], k[0], k[1]}), (std::vector<int>{1, 2, 0, 1}));
    // A NaN gives cell 0; huge values clamp.
    const double wild[3] = {std::numeric_limits<double>::quiet_NaN(), -1e300, 1e300};
    grid.GetIndexes(wild, &i[0], &j[0], &k[0]);
    EXPECT_EQ((std::vector<int>{i[0], j[0], k[0]}), (std::vector<int>{0, 0, 3}));

    G3Facet f;
    grid.AddFacet(&f, &box); // outside along x: no cell receives it
    for (int n = 0; n < 64; ++n)
        EXPECT_EQ(grid.Get(n % 4, n / 4 % 4, n / 16), nullptr) << n;
}

// Facets without edges are skipped; each facet is reported once and its
// mark left clear; the facet searched for is returned itself.
TEST(G3GridTest, FacetsByFacetTakesFacetsWithEdgesOnce)
{
    G3Grid grid(&CellGrid::box(), 4);
    MeshBuilder mb;
    G3Facet* wide = mb.F({mb.V(0, 0), mb.V(3, 0), mb.V(0, 3)});
    G3Facet* small = mb.F({mb.V(3.5, 3.5), mb.V(3.9, 3.5), mb.V(3.5, 3.9)});
    G3Facet* bare = mb.F(); // no edges
    GEnvelope wb, sb, probe;
    wb.Init(0, 0, 0, 3, 3, 0);
    sb.Init(3.5, 3.5, 0, 3.9, 3.9, 0);
    grid.AddFacet(wide, &wb);
    grid.AddFacet(bare, &wb);
    grid.AddFacet(small, &sb);

    GArrayCollection out;
    out.add(small); // cleared first
    probe.Init(0.5, 0.5, 0, 2.5, 2.5, 0.5);
    grid.GetFacetsByFacet(wide, &probe, &out);
    EXPECT_EQ(AsSet(out), std::set<GObj*>{wide});
    probe.Init(0, 0, 0, 4, 4, 4);
    grid.GetFacetsByFacet(nullptr, &probe, &out);
    EXPECT_EQ(AsSet(out), (std::set<GObj*>{wide, small}));
    EXPECT_EQ(out.size(), 2);
    EXPECT_FALSE(wide->GetMark() || small->GetMark() || bare->GetMark());
}
