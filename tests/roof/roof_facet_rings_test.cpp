// Overhang strips in the compact facet rings against the walk over vertex
// rings they replace (first edge holding the eave in ring and walk order,
// else a ring of its own last; then the cleaning), on random rings of one
// pitch z = y: heads anywhere, corners and repeats on the eave (y = 0, run
// backwards), rings that go round twice, empty slots, eaves held by
// several rings or by none.
#include "Geometry/math/G3Math.h"
#include "Geometry/roof/G3RoofFacetRings.h"
#include "Geometry/roof/G3RoofVertex.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>

TEST(RoofFacetRings, StripsGoWhereTheVertexRingWalkPutsThem)
{
    for (unsigned seed = 1; seed <= 300; ++seed) {
        std::mt19937 rng(seed);
        auto coin = [&](unsigned n) { return static_cast<double>(rng() % n); };
        G3RoofVertex* data[2] = {new G3RoofVertex(), new G3RoofVertex()};
        data[1]->edgeIndex = 1;
        auto ring = [&](const double* p, std::size_t n, const G3RoofVertex* d, G3RoofVertex* r = nullptr) {
            for (std::size_t i = 0; i < n; ++i)
                r = G3RoofRing::Append(r, new G3RoofVertex(p + 3 * i, d));
            return r;
        };
        const double plane[4] = {0, 1, -1, 0};
        G3RoofPitch* pitch = new G3RoofPitch(plane, 0.5);
        std::vector<G3RoofVertex*> walk;
        for (int k = 0, rings = 1 + static_cast<int>(coin(4)); k < rings; ++k) {
            const double a = coin(6) + coin(2) / 2, b = a + 1 + coin(6), h = 1 + coin(3);
            std::vector<double> xs = {a, b, a + (b - a) * coin(5) / 4, a + (b - a) * coin(5) / 4}, r;
            std::sort(xs.rbegin(), xs.rend());
            for (double x : xs)
                r.insert(r.end(), {x, 0, 0});
            r.insert(r.end(), {a, h, h, b, h, h, b, h / 2, h / 2});
            std::rotate(r.begin(), r.begin() + 3 * static_cast<long>(coin(7)), r.end());
            if (coin(3) == 0)
                r.insert(r.end(), r.begin(), r.end());
            const std::size_t n = coin(6) ? r.size() / 3 : 0;
            walk.push_back(ring(r.data(), n, data[0]));
            pitch->facetRings.add(ring(r.data(), n, data[0]));
        }
        GArrayCollection pitches;
        pitches.add(pitch);
        G3RoofSpliceIndex index(pitches);
        for (int s = 0, strips = 1 + static_cast<int>(coin(5)); s < strips; ++s) {
            const double a = coin(16) / 2, b = a + 0.5 + coin(8) / 2, d = 0.5 + coin(2);
            const double c[12] = {b, 0, 0, b + d, -d, -d, a - d, -d, -d, a, 0, 0};
            index.AddStrip(0, {c, c + 3, c + 6, c + 9}, 0.0, data[1]);
            G3RoofVertex *x = nullptr, *head = nullptr;
            for (std::size_t k = 0; k < walk.size() && !x; ++k)
                for (G3RoofVertex* v = head = walk[k]; v && !x; v = v->next == head ? nullptr : v->next) {
                    const double *p = v->point.GetXYZ(), *q = v->next->point.GetXYZ();
                    if (p[2] == 0 && q[2] == 0 && q[0] < p[0] && PtOnSegment(c, p, q) && PtOnSegment(c + 9, p, q))
                        x = v;
                }
            if (x == nullptr)
                walk.push_back(ring(c, 4, data[1]));
            for (int i = 0; x && i < 4; ++i) // x -> chain -> y, repeats left out
                if (!x->point.Equals(c + 3 * i) && !(i == 3 && x->next->point.Equals(c + 9)))
                    x = ring(c + 3 * i, 1, head, x->next)->prev;
        }
        index.GiveBack(pitches);
        ASSERT_EQ(static_cast<int>(walk.size()), pitch->facetRings.size()) << seed;
        for (std::size_t k = 0; k < walk.size(); ++k) {
            G3RoofVertex* want = G3RoofRing::Clean(walk[k], true);
            G3RoofVertex* got = static_cast<G3RoofVertex*>(pitch->facetRings.get(static_cast<int>(k)));
            ASSERT_EQ(G3RoofRing::Size(want), G3RoofRing::Size(got)) << seed << " ring " << k;
            for (int i = G3RoofRing::Size(want); i > 0; --i, want = want->next, got = got->next)
                EXPECT_TRUE(!std::memcmp(want->point.GetXYZ(), got->point.GetXYZ(), 24) &&
                            want->edgeIndex == got->edgeIndex) << seed << " ring " << k;
            G3RoofRing::Release(want);
        }
        delete pitch;
        delete data[0];
        delete data[1];
    }
}
