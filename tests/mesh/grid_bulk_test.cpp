// The facet grid with open borders, sized over part of its facets: those
// outside, the triangles far off and the slivers reaching from the bulk to
// them, are still found by every box and segment query whose region meets
// their boxes, checked against brute force over random meshes and segments.
// Without the strays, segments from far off are cut down to the facets'
// reach: they still find every facet, and one that passes beyond the reach
// finds none.

#include "mesh_builder.h"

#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/math/GEnvelope.h"
#include "Geometry/math/GTolerance.h"
#include "Geometry/mesh/G3Facet.h"
#include "Geometry/mesh/G3Grid.h"

#include <gtest/gtest.h>

#include <random>
#include <set>
#include <vector>

namespace {

double Uniform(std::mt19937& gen, double lo, double hi) { return lo + (hi - lo) * (gen() / 4294967296.0); }

// A point of one of three kinds: in the unit cube, just outside it, or a
// million units off on some axes.
void RandomPoint(std::mt19937& gen, double* p)
{
    const unsigned kind = gen() % 3;
    for (int a = 0; a < 3; ++a) {
        p[a] = kind == 0 ? Uniform(gen, 0, 1) : Uniform(gen, -1, 2);
        if (kind == 2 && gen() % 2)
            p[a] = (gen() % 2 ? 1e6 : -1e6) * Uniform(gen, 0.5, 1);
    }
}

}  // namespace

TEST(G3GridBulkTest, OpenBordersFindWhatBruteForceFinds)
{
    for (unsigned seed : {11u, 12u, 13u, 14u, 15u}) {
        std::mt19937 gen(seed);
        const bool strays = seed <= 13u;
        MeshBuilder m;
        std::vector<GEnvelope> boxes;
        for (int n = 0; n < 400; ++n) {
            // Small triangles in the unit cube; every 50th far off or a
            // sliver from the cube to far off.
            double c[3][3];
            for (int a = 0; a < 3; ++a)
                c[0][a] = Uniform(gen, 0, 1);
            if (strays && n % 50 == 7)
                RandomPoint(gen, c[0]);
            for (int v = 1; v < 3; ++v)
                for (int a = 0; a < 3; ++a)
                    c[v][a] = c[0][a] + Uniform(gen, -0.05, 0.05);
            if (strays && n % 50 == 21)
                RandomPoint(gen, c[2]);
            G3Facet* f = m.F({m.V(c[0][0], c[0][1], c[0][2]), m.V(c[1][0], c[1][1], c[1][2]),
                              m.V(c[2][0], c[2][1], c[2][2])});
            GEnvelope box;
            f->FormEnvelope(&box);
            box.Extend(GTolerance::kBoxMargin);
            boxes.push_back(box);
        }
        // The grid covers part of the cube only, as a bulk box leaves out
        // the outermost facets as well as the strays.
        GEnvelope bulk;
        bulk.Init(Uniform(gen, 0, 0.3), Uniform(gen, 0, 0.3), Uniform(gen, 0, 0.3), Uniform(gen, 0.7, 1),
                  Uniform(gen, 0.7, 1), Uniform(gen, 0.7, 1));
        int perAxis[3];
        G3Grid::SizeCells(&bulk, 4000, perAxis);
        G3Grid grid(&bulk, perAxis, true);
        for (std::size_t k = 0; k < boxes.size(); ++k)
            grid.AddFacet(m.facets[k], &boxes[k]);

        // Each facet's box query holds every facet whose box meets it.
        int missedByBox = 0;
        GArrayCollection out;
        for (std::size_t k = 0; k < boxes.size(); ++k) {
            grid.GetFacetsByFacet(m.facets[k], &boxes[k], &out);
            std::set<GObj*> got;
            for (int i = 0; i < out.size(); ++i)
                got.insert(out.get(i));
            for (std::size_t g = 0; g < boxes.size(); ++g)
                missedByBox += boxes[k].IsIntersectXYZ(&boxes[g]) && !got.count(m.facets[g]);
        }
        EXPECT_EQ(missedByBox, 0) << "seed " << seed;

        // Each segment, ends inside, near or far, holds every facet whose
        // box (shrunk by the margin against rounding) it meets, once.
        int missedBySegment = 0, repeated = 0, marked = 0;
        for (int s = 0; s < 300; ++s) {
            double a[3], b[3];
            RandomPoint(gen, a);
            RandomPoint(gen, b);
            out.clear();
            grid.GetFacetByLine(a, b, &out);
            std::set<GObj*> got;
            for (int i = 0; i < out.size(); ++i)
                got.insert(out.get(i));
            repeated += static_cast<int>(out.size() - got.size());
            for (std::size_t g = 0; g < boxes.size(); ++g) {
                GEnvelope inner(boxes[g]);
                inner.Extend(-GTolerance::kBoxMargin);
                double p[3] = {a[0], a[1], a[2]}, q[3] = {b[0], b[1], b[2]};
                missedBySegment += inner.ClipTest(p, q) == 0 && !got.count(m.facets[g]);
                marked += m.facets[g]->GetMark() ? 1 : 0;
            }
        }
        EXPECT_EQ(missedBySegment, 0) << "seed " << seed;
        if (!strays) {
            // Past every box and more than a cell away: nothing.
            const double a[3] = {-1e6, 3.0, 0.5}, b[3] = {1e6, 3.0, 0.5};
            out.clear();
            grid.GetFacetByLine(a, b, &out);
            EXPECT_EQ(out.size(), 0) << "seed " << seed;
        }
        EXPECT_EQ(repeated, 0) << "seed " << seed;
        EXPECT_EQ(marked, 0) << "seed " << seed;
    }
}
