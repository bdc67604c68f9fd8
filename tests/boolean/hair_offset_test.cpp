// Booleans of grid boxes whose second operand has faces drawn a hair off
// the first's grid lines (0.3 to 0.99 of the weld distance, either way), at
// the origin and at 5e5: the result must be the one of the faces drawn in
// place (volume within the weld distance times the area), closed, without
// an edge shorter than the weld distance, and sliceable across where the
// hair step would stand. And booleans of turned boxes touching along a
// face whose second operand has that face tipped 1e-10 to 1e-7 radians off
// the first's, or whose corners are both rounded to 1e-7 or 1e-8 (faces
// flat only to that): within the weld distance of each other's planes, yet
// crossing at shallow angles for the cut. And turned walls with a window,
// each face given as a facet per cell and rounded, against a box filling
// the window, a slab under the wall and a lintel inside it flush with its
// faces: the faces of a wall bend where its facets meet. And storeys of
// such walls, each boolean's result the next one's operand. Every result
// is held to the exact volume and must not keep two facets on one another
// (a window's face left over a cavity, a wall kept between butting walls).

#include "solid_fixtures.h"

#include "Geometry/boolean/G3BooleanCalculator.h"
#include "Geometry/math/GTolerance.h"
#include "Geometry/mesh/G3MeshCheck.h"
#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/mesh/G3Point.h"
#include "Geometry/mesh/G3SurfaceMeasure.h"
#include "Geometry/processing/G3SurfaceEdit.h"
#include "common/merge_solids.h"
#include "tests/mesh/mesh_check.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <vector>

namespace {

using fixtures::P;
using GTolerance::kWeld;

struct Box3 {
    P lo, hi;
};

double Overlap(const Box3& a, const Box3& b)
{
    double v = 1.0;
    for (int d = 0; d < 3; ++d)
        v *= std::max(0.0, std::min(a.hi[d], b.hi[d]) - std::max(a.lo[d], b.lo[d]));
    return v;
}

double Volume(const Box3& a) { return Overlap(a, a); }

G3Surface* Build(const Box3& b, const P& o)
{
    P lo, hi;
    for (int d = 0; d < 3; ++d) {
        lo[d] = b.lo[d] + o[d];
        hi[d] = b.hi[d] + o[d];
    }
    return fixtures::Box(lo, hi).release();
}

double ShortestEdge(G3Surface* s)
{
    double shortest = HUGE_VAL;
    for (int k = 0; k < s->GetEdgeCount(); ++k)
        shortest = std::min(shortest, fixtures::Distance(s->GetEdge(k)->GetVertex1()->GetXYZ(),
                                                         s->GetEdge(k)->GetVertex2()->GetXYZ()));
    return shortest;
}

TEST(BooleanHairOffsets, FacesDrawnAHairOffAGridCutAsDrawnInPlace)
{
    std::mt19937 rng(20261210);
    auto uniform = [&](double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(rng); };
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    for (int round = 0; round < 120; ++round) {
        const P o = round % 2 ? P{5e5, 5e5 - 3, 5e5 + 7} : P{0, 0, 0};
        const int op = round / 2 % 3;
        Box3 a, b0;
        for (int d = 0; d < 3; ++d) {
            a.lo[d] = 0.5 * pick(0, 2);
            a.hi[d] = a.lo[d] + 0.5 * pick(1, 3);
            // b's sides on a's grid lines, a half beyond them or halfway.
            const double lines[5] = {a.lo[d], a.hi[d], a.lo[d] - 0.5, a.hi[d] + 0.5, 0.5 * (a.lo[d] + a.hi[d])};
            double x = lines[pick(0, 4)], y = lines[pick(0, 4)];
            if (x > y)
                std::swap(x, y);
            b0.lo[d] = x;
            b0.hi[d] = y - x < 0.25 ? x + 0.5 : y;
        }
        Box3 b = b0;
        for (int d = 0; d < 3; ++d)
            for (double* side : {&b.lo[d], &b.hi[d]})
                if (pick(0, 1))
                    *side += (pick(0, 1) ? 1 : -1) * uniform(0.3, 0.99) * kWeld;
        const double inter = Overlap(a, b0);
        const double exact = op == 0 ? Volume(a) + Volume(b0) - inter : op == 1 ? Volume(a) - inter : inter;
        G3BooleanCalculator calc;
        G3Surface* A = Build(a, o);
        G3Surface* B = Build(b, o);
        fixtures::SurfacePtr r(op == 0 ? calc.Add(A, B) : op == 1 ? calc.Sub(A, B) : calc.Common(A, B));
        SCOPED_TRACE(testing::Message() << "round " << round << " op " << op);
        if (!r) {
            EXPECT_EQ(0.0, exact);
            EXPECT_EQ("", calc.GetFailureReason());
            continue;
        }
        EXPECT_EQ("", MeshCheck(r.get()));
        EXPECT_EQ("", G3ClosedCheck(r.get()));
        EXPECT_NEAR(exact, G3SurfaceVolume(r.get()), kWeld * fixtures::Area(r.get()));
        EXPECT_LE(kWeld, ShortestEdge(r.get()));
        // Across the hair step: halfway between a moved side and its line.
        const int d = pick(0, 2);
        const bool high = pick(0, 1) != 0;
        double plane[4] = {0, 0, 0, 0};
        plane[d] = 1.0;
        plane[3] = o[d] + 0.5 * ((high ? b.hi[d] : b.lo[d]) + (high ? b0.hi[d] : b0.lo[d]));
        G3Surface* below = nullptr;
        G3Surface* above = nullptr;
        G3Surface* cut = r->Duplicate();
        const bool both = calc.Slice(cut, plane, true, &below, &above, false);
        fixtures::SurfacePtr keepBelow(below), keepAbove(above);
        if (!both && !below)
            delete cut;
        EXPECT_TRUE(both || below) << calc.GetFailureReason();
        for (G3Surface* part : {below, above})
            if (part) {
                EXPECT_EQ("", MeshCheck(part));
                EXPECT_EQ("", G3ClosedCheck(part));
            }
    }
}

TEST(BooleanHairOffsets, FacesTippedOrRoundedWithinTheWeldCutAsIfInPlane)
{
    std::mt19937 rng(20261211);
    auto uniform = [&](double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(rng); };
    auto axis = [&] {
        std::normal_distribution<double> g;
        P u = {g(rng), g(rng), g(rng)};
        const double len = std::sqrt(u[0] * u[0] + u[1] * u[1] + u[2] * u[2]);
        return P{u[0] / len, u[1] / len, u[2] / len};
    };
    for (int round = 0; round < 240; ++round) {
        const double far = round % 2 ? 5e5 : 0.0;
        const fixtures::Motion m = fixtures::Motion::Turn(axis(), uniform(0, 6.3), {far, far - 3, uniform(-1, 1)});
        const Box3 a{{0, 0, 0}, {uniform(1, 4), uniform(0.2, 1), uniform(1, 3)}};
        // b on a's top, against its right side, or inside it flush with its top.
        const int where = round / 2 % 3;
        Box3 b;
        if (where == 1)
            b.lo = {a.hi[0], uniform(-0.5, a.hi[1]), uniform(-0.5, a.hi[2])};
        else
            b.lo = {uniform(-1, a.hi[0]), uniform(-0.5, a.hi[1]), where == 0 ? a.hi[2] : uniform(0.1, a.hi[2] - 0.05)};
        b.hi = {b.lo[0] + uniform(0.3, 2), b.lo[1] + uniform(0.2, 1), where == 2 ? a.hi[2] : b.lo[2] + uniform(0.3, 2)};
        const P pivot = {where == 1 ? a.hi[0] : b.lo[0], b.lo[1], where == 1 ? b.lo[2] : a.hi[2]};
        const bool rounded = round / 6 % 2 != 0;
        // b tipped about the pivot, then both turned (and rounded).
        fixtures::Motion tip = fixtures::Motion::Turn(axis(), rounded ? 0.0 : std::pow(10.0, uniform(-10, -7)), {});
        const P tipped = tip.Apply(pivot);
        for (int d = 0; d < 3; ++d)
            tip.t[d] = pivot[d] - tipped[d];
        const double grid = round / 12 % 2 ? 1e-7 : 1e-8;
        auto build = [&](const Box3& x, const fixtures::Motion& at) {
            G3Surface* s = fixtures::Box(x.lo, x.hi, false, at).release();
            for (int k = 0; k < s->GetVertexCount(); ++k) {
                double* v = s->GetVertex(k)->GetXYZ();
                const P y = m.Apply({v[0], v[1], v[2]});
                for (int d = 0; d < 3; ++d)
                    v[d] = rounded ? std::round(y[d] / grid) * grid : y[d];
            }
            s->FormPlaneEquation();
            return s;
        };
        const double inter = where == 2 ? Overlap(a, b) : 0.0;
        for (int op = 0; op < 3; ++op) {
            const double exact = op == 0 ? Volume(a) + Volume(b) - inter : op == 1 ? Volume(a) - inter : inter;
            G3BooleanCalculator calc;
            G3Surface* A = build(a, fixtures::Motion());
            G3Surface* B = build(b, tip);
            fixtures::SurfacePtr r(op == 0 ? calc.Add(A, B) : op == 1 ? calc.Sub(A, B) : calc.Common(A, B));
            SCOPED_TRACE(testing::Message() << "round " << round << " op " << op);
            EXPECT_EQ("", calc.GetFailureReason());
            if (!r) {
                EXPECT_GT(kWeld * (Volume(a) + Volume(b)), exact);
                continue;
            }
            EXPECT_EQ("", MeshCheck(r.get()));
            EXPECT_EQ("", G3ClosedCheck(r.get()));
            EXPECT_NEAR(exact, G3SurfaceVolume(r.get()), kWeld * fixtures::Area(r.get()));
        }
    }
}

// Every corner of s rounded to `grid`, its planes formed again.
void RoundCorners(G3Surface* s, double grid)
{
    for (int k = 0; k < s->GetVertexCount(); ++k)
        for (int d = 0; d < 3; ++d)
            s->GetVertex(k)->GetXYZ()[d] = std::round(s->GetVertex(k)->GetXYZ()[d] / grid) * grid;
    s->FormPlaneEquation();
}

// Round r's site (the origin, 5e5 and 5e6 in turn) and the grid its
// corners are rounded to (1e-8 and 1e-7, every three rounds).
double SiteOf(int round) { return round % 3 == 0 ? 0.0 : round % 3 == 1 ? 5e5 : 5e6; }
double GridOf(int round) { return round / 3 % 2 ? 1e-7 : 1e-8; }

// A turn about a random axis by a random angle, then a move to the site
// (far, 0.7 far).
fixtures::Motion RandomTurn(std::mt19937& rng, double far)
{
    std::normal_distribution<double> g;
    P u = {g(rng), g(rng), g(rng)};
    const double len = std::sqrt(u[0] * u[0] + u[1] * u[1] + u[2] * u[2]);
    for (double& c : u)
        c /= len;
    const double angle = std::uniform_real_distribution<double>(0, 6.3)(rng);
    return fixtures::Motion::Turn(u, angle, {far, 0.7 * far, std::uniform_real_distribution<double>(-1, 1)(rng)});
}

// The wall x in [0, xs[3]], y in [0, ys[3]], z in [0, t] with the window
// (xs[1], xs[2]) x (ys[1], ys[2]) through it, a quad per cell on each
// face, moved by m and rounded to `grid`.
G3Surface* WallWithWindow(const double* xs, const double* ys, double t, const fixtures::Motion& m, double grid)
{
    G3Surface* s = new G3Surface();
    testmesh::AddSlab(*s, {"###", "#.#", "###"});
    for (int k = 0; k < s->GetVertexCount(); ++k) {
        double* v = s->GetVertex(k)->GetXYZ();
        const P y = m.Apply({xs[static_cast<int>(v[0])], ys[static_cast<int>(v[1])], v[2] * t});
        std::copy(y.begin(), y.end(), v);
    }
    RoundCorners(s, grid);
    return s;
}

TEST(BooleanHairOffsets, RoundedWallsWithAWindowCutWithFillsSlabsAndLintels)
{
    std::mt19937 rng(20261212);
    auto uniform = [&](double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(rng); };
    for (int round = 0; round < 72; ++round) {
        const double far = SiteOf(round), grid = GridOf(round);
        const int mode = round / 6 % 3;  // fill, slab, lintel
        const fixtures::Motion m = RandomTurn(rng, far);
        const double length = uniform(2, 6), t = uniform(0.2, 0.5);
        const double x0 = uniform(0.3, length / 2), x1 = x0 + uniform(0.5, length / 2 - 0.3);
        const double y0 = uniform(0.3, 1.0), y1 = y0 + uniform(0.8, 1.4);
        const double xs[4] = {0, x0, x1, length}, ys[4] = {0, y0, y1, y1 + uniform(0.5, 1.0)};
        const double window = (x1 - x0) * (y1 - y0) * t, wall = length * ys[3] * t - window;
        Box3 b;
        if (mode == 0)
            b = {{x0, y0, 0}, {x1, y1, t}};
        else if (mode == 1)
            b = {{-0.5, -0.3, -0.5}, {length + 0.5, 0, t + 0.5}};
        else
            b = {{x0 - 0.2, y1, 0}, {x1 + 0.2, y1 + 0.3, t}};
        const double vb = Volume(b), inter = mode == 2 ? vb : 0.0;
        for (int op = 0; op < 3; ++op) {
            const double exact = op == 0 ? wall + vb - inter : op == 1 ? wall - inter : inter;
            G3Surface* B = fixtures::Box(b.lo, b.hi, false, m).release();
            RoundCorners(B, grid);
            G3BooleanCalculator calc;
            G3Surface* A = WallWithWindow(xs, ys, t, m, grid);
            fixtures::SurfacePtr r(op == 0 ? calc.Add(A, B) : op == 1 ? calc.Sub(A, B) : calc.Common(A, B));
            SCOPED_TRACE(testing::Message() << "round " << round << " op " << op);
            EXPECT_EQ("", calc.GetFailureReason());
            if (!r) {
                EXPECT_EQ(0.0, exact);
                continue;
            }
            EXPECT_EQ("", MeshCheck(r.get()));
            EXPECT_EQ("", G3ClosedCheck(r.get()));
            EXPECT_EQ("", G3OverlapCheck(r.get()));
            EXPECT_NEAR(exact, G3SurfaceVolume(r.get()), 2 * kWeld * fixtures::Area(r.get()));
        }
    }
}

// The volume of the boxes each added (add) or taken away in turn, on the
// grid of their coordinates.
struct Step {
    Box3 box;
    bool add;
};
double ExactVolume(const std::vector<Step>& steps)
{
    std::vector<double> c[3];
    for (const Step& s : steps)
        for (int d = 0; d < 3; ++d) {
            c[d].push_back(s.box.lo[d]);
            c[d].push_back(s.box.hi[d]);
        }
    for (auto& axis : c) {
        std::sort(axis.begin(), axis.end());
        axis.erase(std::unique(axis.begin(), axis.end()), axis.end());
    }
    double v = 0.0;
    for (std::size_t i = 0; i + 1 < c[0].size(); ++i)
        for (std::size_t j = 0; j + 1 < c[1].size(); ++j)
            for (std::size_t k = 0; k + 1 < c[2].size(); ++k) {
                const P m = {(c[0][i] + c[0][i + 1]) / 2, (c[1][j] + c[1][j + 1]) / 2, (c[2][k] + c[2][k + 1]) / 2};
                bool solid = false;
                for (const Step& s : steps)
                    if (m[0] > s.box.lo[0] && m[0] < s.box.hi[0] &&
                        m[1] > s.box.lo[1] && m[1] < s.box.hi[1] && m[2] > s.box.lo[2] && m[2] < s.box.hi[2])
                        solid = s.add;
                if (solid)
                    v += (c[0][i + 1] - c[0][i]) * (c[1][j + 1] - c[1][j]) * (c[2][k + 1] - c[2][k]);
            }
    return v;
}

TEST(BooleanHairOffsets, RoundedStoreysBuiltWallByWall)
{
    std::mt19937 rng(20261213);
    auto uniform = [&](double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(rng); };
    for (int round = 0; round < 24; ++round) {
        const double far = SiteOf(round), grid = GridOf(round);
        const fixtures::Motion m = RandomTurn(rng, far);
        const double w = uniform(4, 10), d = uniform(3, 8), t = uniform(0.2, 0.4), h = uniform(2.5, 3.2);
        const double cx = uniform(1.5, w - 1.5), x0 = uniform(0.5, w - 2), z0 = uniform(0.2, 1);
        // Four walls lapping at the corners (or the left one butting), an
        // inner wall butting both, a window through the front, a slab.
        std::vector<Step> steps = {{{{0, 0, 0}, {w, t, h}}, true},
                                   {{{0, d - t, 0}, {w, d, h}}, true},
                                   {{{0, round % 2 ? t : 0, 0}, {t, round % 2 ? d - t : d, h}}, true},
                                   {{{w - t, 0, 0}, {w, d, h}}, true},
                                   {{{cx - t / 2, t, 0}, {cx + t / 2, d - t, h}}, true},
                                   {{{x0, round % 4 < 2 ? 0 : -0.3, z0}, {x0 + 1.2, t, z0 + 1.2}}, false},
                                   {{{-0.2, -0.2, -0.3}, {w + 0.2, d + 0.2, 0}}, true}};
        auto make = [&](const Box3& b) {
            G3Surface* s = fixtures::Box(b.lo, b.hi, false, m).release();
            RoundCorners(s, grid);
            return s;
        };
        fixtures::SurfacePtr storey(make(steps[0].box));
        for (std::size_t k = 1; k < steps.size() && storey; ++k) {
            G3BooleanCalculator calc;
            G3Surface* b = make(steps[k].box);
            storey.reset(steps[k].add ? calc.Add(storey.release(), b) : calc.Sub(storey.release(), b));
            SCOPED_TRACE(testing::Message() << "round " << round << " step " << k);
            EXPECT_EQ("", calc.GetFailureReason());
            if (!storey)
                break;
            EXPECT_EQ("", MeshCheck(storey.get()));
            EXPECT_EQ("", G3ClosedCheck(storey.get()));
            EXPECT_EQ("", G3OverlapCheck(storey.get()));
            const std::vector<Step> done(steps.begin(), steps.begin() + static_cast<long>(k) + 1);
            EXPECT_NEAR(ExactVolume(done), G3SurfaceVolume(storey.get()), 2 * kWeld * fixtures::Area(storey.get()));
        }
        if (!storey)
            continue;
        // An opening 0.8 square pushed through the back wall from its outer
        // face, clear of the walls butting it, as an editor cuts one into
        // the built storey: the volume drops by its prism, the cap opens
        // onto the wall's inner face.
        SCOPED_TRACE(testing::Message() << "round " << round << " opening");
        const double left = cx - t / 2 - 0.1 - (t + 0.1), right = w - t - 0.1 - (cx + t / 2 + 0.1);
        const double x1 = left > right ? uniform(t + 0.1, cx - t / 2 - 0.9) : uniform(cx + t / 2 + 0.1, w - t - 0.9);
        const double z1 = uniform(0.3, 1.4);
        std::vector<std::unique_ptr<G3Point>> corners;
        GArrayCollection contour;
        for (const P& c : {P{x1, d, z1}, P{x1 + 0.8, d, z1}, P{x1 + 0.8, d, z1 + 0.8}, P{x1, d, z1 + 0.8}}) {
            P y = m.Apply(c);
            for (double& q : y)
                q = grid > 0 ? std::round(q / grid) * grid : q;
            corners.push_back(std::make_unique<G3Point>(y[0], y[1], y[2]));
            contour.add(corners.back().get());
        }
        const P o = m.Apply({0, 0, 0}), in = m.Apply({0, -1, 0});
        G3Point inward(in[0] - o[0], in[1] - o[1], in[2] - o[2]);
        const double before = G3SurfaceVolume(storey.get());
        G3SurfaceEdit(storey.get()).InsertFacet(&contour, &inward, t, nullptr);
        EXPECT_EQ("", MeshCheck(storey.get()) + G3ClosedCheck(storey.get()) + G3OverlapCheck(storey.get()));
        EXPECT_NEAR(before - 0.64 * t, G3SurfaceVolume(storey.get()), 2 * kWeld * fixtures::Area(storey.get()));
    }
}

}  // namespace

// A box poking into another's corner, its top flush with the other's and
// tipped 3e-8 rad, at 5e6 rounded to 1e-6 (stored): the intersection came
// back empty as a success, and the union kept the part inside as a wall
// folding over itself. Each operation must hold the identities.
TEST(BooleanHairOffsets, BoxPokingFlushIntoACornerKeepsItsPartInside)
{
    G3Surface a, b;
    const std::string dir = std::string(G3_TEST_DATA_DIR) + "/boolean/data/";
    ASSERT_TRUE(a.Load((dir + "flush_poke_a.dump").c_str()) && b.Load((dir + "flush_poke_b.dump").c_str()));
    a.FormPlaneEquation();
    b.FormPlaneEquation();
    const double va = G3SurfaceVolume(&a), vb = G3SurfaceVolume(&b);
    double v[3];
    for (int op = 0; op < 3; ++op) {
        G3BooleanCalculator calc;
        fixtures::SurfacePtr r(op == 0   ? calc.Add(a.Duplicate(), b.Duplicate())
                               : op == 1 ? calc.Common(a.Duplicate(), b.Duplicate())
                                         : calc.Sub(a.Duplicate(), b.Duplicate()));
        ASSERT_TRUE(r) << op << ": " << calc.GetFailureReason();
        EXPECT_EQ("", MeshCheck(r.get()) + G3ClosedCheck(r.get()) + G3OverlapCheck(r.get()) + G3FoldCheck(r.get()));
        v[op] = G3SurfaceVolume(r.get());
    }
    const double slack = 4 * GTolerance::kWeld * (fixtures::Area(&a) + fixtures::Area(&b));
    EXPECT_GT(v[1], 0.1);
    EXPECT_NEAR(va + vb, v[0] + v[1], slack);
    EXPECT_NEAR(va, v[2] + v[1], slack);
}
