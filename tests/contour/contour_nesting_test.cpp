#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/processing/G3EdgeList.h"

#include "contour/contour_support.h"

#include <gtest/gtest.h>

#include <random>

namespace {

// Many rectangles, each either inside or apart from every other (touching
// sides allowed), some sharing a band of height with many others, some
// large: every list's nesting count is the number of rectangles holding it.
TEST(ContourNesting, RandomLaminarRectanglesCountTheirContainers)
{
    for (unsigned seed = 1; seed <= 6; ++seed) {
        std::mt19937 rng(seed);
        std::vector<std::array<double, 4>> kept; // x0 y0 x1 y1
        while (kept.size() < 150) {
            const double x0 = rng() % 60, y0 = rng() % 60;
            const std::array<double, 4> r = {x0, y0, x0 + 1 + rng() % (seed % 2 ? 8 : 40), y0 + 1 + rng() % 8};
            bool fits = true;
            for (const auto& q : kept) {
                const bool apart = r[2] <= q[0] || q[2] <= r[0] || r[3] <= q[1] || q[3] <= r[1];
                const bool in = r[0] > q[0] && r[1] > q[1] && r[2] < q[2] && r[3] < q[3];
                const bool around = q[0] > r[0] && q[1] > r[1] && q[2] < r[2] && q[3] < r[3];
                fits = fits && (apart || in || around);
            }
            if (fits)
                kept.push_back(r);
        }
        G3Surface store;
        GArrayCollection lists;
        for (const auto& r : kept) {
            G3EdgeList* c = new G3EdgeList(1, 1);
            const double xy[4][2] = {{r[0], r[1]}, {r[2], r[1]}, {r[2], r[3]}, {r[0], r[3]}};
            G3Vertex* v[4];
            for (int k = 0; k < 4; ++k)
                v[k] = store.AddVertex(xy[k][0], xy[k][1], 0.0, 0);
            for (int k = 0; k < 4; ++k)
                c->AddEdge(v[k], v[(k + 1) % 4], nullptr, nullptr, nullptr, nullptr, 1);
            lists.add(c);
        }
        G3EdgeList::FormContourTypes(&lists);
        for (size_t a = 0; a < kept.size(); ++a) {
            int holders = 0;
            for (const auto& q : kept)
                holders += kept[a][0] > q[0] && kept[a][1] > q[1] && kept[a][2] < q[2] && kept[a][3] < q[3];
            G3EdgeList* c = static_cast<G3EdgeList*>(lists.get(static_cast<int>(a)));
            EXPECT_EQ(holders % 2 ? CONTOUR_TYPE_HOLE : CONTOUR_TYPE_OUTER, c->GetContourType()) << seed << " " << a;
            EXPECT_EQ(holders, c->GetInCount()) << seed << " " << a;
        }
        for (int k = 0; k < lists.size(); ++k)
            delete static_cast<G3EdgeList*>(lists.get(k));
    }
}

} // namespace
