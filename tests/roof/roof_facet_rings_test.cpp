// The compact facet rings against the walk over vertex rings they replace.
// Overhang strips (first edge holding the eave in ring and walk order, else
// a ring of its own last; then the cleaning), on random rings of one pitch
// z = y: heads anywhere, corners and repeats on the eave (y = 0, run
// backwards), rings that go round twice, empty slots, eaves held by several
// rings or by none. Sections of random sweeps (each vertex the level point
// of its two planes, or a hair off it; planes that change by a hair on the
// way; levels closer than the level-edge band), whose corners the index
// keeps as chains of heights.
#include "Geometry/math/G3Math.h"
#include "Geometry/math/GTolerance.h"
#include "Geometry/roof/G3RoofFacetRings.h"
#include "Geometry/roof/G3RoofGenerator.h"
#include "Geometry/roof/G3RoofPlanes.h"
#include "Geometry/roof/G3RoofVertex.h"

#include <cmath>
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

TEST(RoofFacetRings, SectionsGoWhereTheVertexRingWalkPutsThem)
{
    const double side = GTolerance::kPlaneSide;
    G3RoofGenerator walker(nullptr, 0.0, 0.0, 0.0);
    for (unsigned seed = 1; seed <= 300; ++seed) {
        std::mt19937 rng(seed);
        auto unit = [&] { return static_cast<double>(rng() % 1000) / 1000.0; };
        // A convex outline, each edge with a pitch leaning inwards.
        const int n = 3 + static_cast<int>(rng() % 6);
        std::vector<double> t(static_cast<std::size_t>(n));
        for (double& a : t)
            a = 6.283185307179586 * unit();
        std::sort(t.begin(), t.end());
        t.erase(std::unique(t.begin(), t.end()), t.end());
        if (t.size() < 3)
            continue;
        GArrayCollection pitches, walks;
        G3RoofVertex* ring = nullptr;
        for (std::size_t i = 0; i < t.size(); ++i) {
            const double* a = &t[(i + t.size() - 1) % t.size()];
            const double p[3] = {10 * std::cos(*a), 10 * std::sin(*a), 0}, q[3] = {10 * std::cos(t[i]), 10 * std::sin(t[i]), 0};
            const double len = std::hypot(q[0] - p[0], q[1] - p[1]), slope = 0.3 + unit();
            G3RoofVertex* v = new G3RoofVertex(q, nullptr);
            v->plane[0] = (q[1] - p[1]) / len, v->plane[1] = (p[0] - q[0]) / len, v->plane[2] = slope;
            v->plane[3] = -(v->plane[0] * q[0] + v->plane[1] * q[1]);
            v->pitchIndex = static_cast<int>(i);
            for (GArrayCollection* list : {&pitches, &walks}) {
                G3RoofPitch* pitch = new G3RoofPitch(v->plane, slope);
                pitch->facetRings.add(G3RoofRing::Append(new G3RoofVertex(p, v), new G3RoofVertex(q, v)));
                list->add(pitch);
            }
            ring = G3RoofRing::Append(ring, v);
        }
        std::vector<G3RoofVertex*> levels = {ring};
        {
            G3RoofSpliceIndex index(pitches);
            double h = 0.0;
            for (int level = 0, count = 2 + static_cast<int>(rng() % 40); level < count; ++level) {
                const unsigned kind = rng() % 8;
                h += kind == 0 ? 1.5 * side : kind == 1 ? 1e-3 * unit() + 3 * side : 0.2 * unit() + 3 * side;
                G3RoofVertex *lower = levels.back(), *up = nullptr;
                G3RoofVertex* v = lower;
                do {
                    G3RoofVertex* w = new G3RoofVertex(v->point.GetXYZ(), v);
                    if (rng() % 16 == 0)
                        w->plane[rng() % 2] += 1e-9 * (1 + rng() % 100);  // a bend too slight to see
                    double x[3] = {0.0, 0.0, h};
                    G3RoofLevelPoint(w->plane, v->next->plane, h, x);
                    if (rng() % 16 == 0)
                        x[rng() % 2] += 1e-12 * (1 + rng() % 1000);  // off its planes
                    w->point.Set(x);
                    w->lower = v;
                    up = G3RoofRing::Append(up, w);
                    v = v->next;
                } while (v != lower);
                levels.push_back(up);
                index.BeginLevel();
                v = up;
                do {
                    index.AddSection(v->pitchIndex, v);
                    walker.AddFacetToRoofPitch(static_cast<G3RoofPitch*>(walks.get(v->pitchIndex)), v);
                    v = v->next;
                } while (v != up);
            }
            index.GiveBack(pitches);
        }
        for (int i = 0; i < pitches.size(); ++i) {
            G3RoofPitch* walked = static_cast<G3RoofPitch*>(walks.get(i));
            G3RoofVertex* want = G3RoofRing::Clean(static_cast<G3RoofVertex*>(walked->facetRings.get(0)), true);
            walked->facetRings.put(0, want);
            G3RoofVertex* got = static_cast<G3RoofVertex*>(static_cast<G3RoofPitch*>(pitches.get(i))->facetRings.get(0));
            ASSERT_EQ(G3RoofRing::Size(want), G3RoofRing::Size(got)) << seed << " pitch " << i;
            for (int k = G3RoofRing::Size(want); k > 0; --k, want = want->next, got = got->next)
                ASSERT_EQ(0, std::memcmp(want->point.GetXYZ(), got->point.GetXYZ(), 24)) << seed << " pitch " << i;
        }
        for (G3RoofVertex* r : levels)
            G3RoofRing::Release(r);
        for (GArrayCollection* list : {&pitches, &walks})
            for (int i = 0; i < list->size(); ++i)
                delete static_cast<G3RoofPitch*>(list->get(i));
    }
}
