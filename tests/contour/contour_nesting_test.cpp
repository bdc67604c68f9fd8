#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/processing/G3EdgeList.h"

#include <gtest/gtest.h>

#include <array>
#include <random>

namespace {

// 150 rectangles, each inside or apart from every other (sides may touch),
// narrow or wide: every list's nesting count is the number holding it.
TEST(ContourNesting, RandomLaminarRectanglesCountTheirContainers)
{
    using Box = std::array<double, 4>; // x0 y0 x1 y1
    auto in = [](const Box& r, const Box& q) { return r[0] > q[0] && r[1] > q[1] && r[2] < q[2] && r[3] < q[3]; };
    for (unsigned seed = 1; seed <= 6; ++seed) {
        std::mt19937 rng(seed);
        std::vector<Box> kept;
        while (kept.size() < 150) {
            const double x0 = rng() % 60, y0 = rng() % 60;
            const Box r = {x0, y0, x0 + 1 + rng() % (seed % 2 ? 8 : 40), y0 + 1 + rng() % 8};
            bool fits = true;
            for (const Box& q : kept)
                fits = fits && (r[2] <= q[0] || q[2] <= r[0] || r[3] <= q[1] || q[3] <= r[1] || in(r, q) || in(q, r));
            if (fits)
                kept.push_back(r);
        }
        G3Surface store;
        GArrayCollection lists;
        for (const Box& r : kept) {
            G3Vertex* v[4] = {store.AddVertex(r[0], r[1], 0, 0), store.AddVertex(r[2], r[1], 0, 0),
                              store.AddVertex(r[2], r[3], 0, 0), store.AddVertex(r[0], r[3], 0, 0)};
            lists.add(new G3EdgeList(4, v, nullptr, nullptr, nullptr, 1, 1));
        }
        G3EdgeList::FormContourTypes(&lists);
        for (size_t a = 0; a < kept.size(); ++a) {
            int holders = 0;
            for (const Box& q : kept)
                holders += in(kept[a], q);
            G3EdgeList* c = static_cast<G3EdgeList*>(lists.get(static_cast<int>(a)));
            EXPECT_EQ(holders % 2 ? CONTOUR_TYPE_HOLE : CONTOUR_TYPE_OUTER, c->GetContourType()) << seed << " " << a;
            EXPECT_EQ(holders, c->GetInCount()) << seed << " " << a;
            delete c;
        }
    }
}

} // namespace
