#include "Geometry/contour/G3ContourIntersector.h"

#include "contour/contour_support.h"

#include <gtest/gtest.h>

#include <limits>
#include <random>

namespace {

// Sum of signed areas; checks on the way what every delivery must keep:
// contours close, carry the declared number of segments, and turn the way
// their type says.
double CheckedArea(const PathRecorder& r)
{
    double sum = 0.0;
    for (const PathRecorder::Contour& d : r.contours) {
        EXPECT_EQ(static_cast<size_t>(d.declared) + 1, d.pts.size());
        EXPECT_GE(d.declared, 3);
        EXPECT_TRUE(d.pts.front().x == d.pts.back().x && d.pts.front().y == d.pts.back().y);
        const double a = SignedArea(d.pts);
        EXPECT_EQ(d.type == CONTOUR_TYPE_HOLE, a < 0.0) << a;
        sum += a;
    }
    return sum;
}

void Contour(G3ContourIntersector& ci, const Ring& pts, int flags = 1)
{
    double p[3] = {pts[0].x, pts[0].y, 0};
    ci.ContourBeginLoad(p);
    for (size_t k = 1; k < pts.size(); ++k) {
        double q[3] = {pts[k].x, pts[k].y, 0};
        ci.ContourLoadSegment(q, SEGMENT_TYPE_LINE, flags);
    }
    ci.ContourEndLoad(SEGMENT_TYPE_LINE, flags);
}

// Runs one operation on triangles and contours (the contours' flags given).
PathRecorder RunOn(BOOLEAN_OPERATION op, const std::vector<Ring>& tris,
                   const std::vector<Ring>& contours = {}, const std::vector<int>& flags = {})
{
    PathRecorder r;
    G3ContourIntersector ci;
    ci.SetPathLoader(&r);
    ci.LoadBegin(0, 1);
    for (const Ring& t : tris) {
        double p[3] = {t[0].x, t[0].y, 0}, q[3] = {t[1].x, t[1].y, 0}, w[3] = {t[2].x, t[2].y, 0};
        ci.TriangleLoad(p, q, w, 1, 1, 1);
    }
    for (size_t k = 0; k < contours.size(); ++k)
        Contour(ci, contours[k], flags.empty() ? 1 : flags[k]);
    ci.LoadEnd();
    const bool sent = ci.DoIntersect(op);
    EXPECT_EQ(sent, !r.calls.empty());
    return r;
}

TEST(ContourIntersector, OutOfProtocolCallsAndNonFinitePointsDoNothing)
{
    PathRecorder r;
    G3ContourIntersector ci;
    ci.SetPathLoader(&r);
    double a[3] = {0, 0, 0}, b[3] = {1, 0, 0}, c[3] = {0, 1, 0};
    // Before LoadBegin.
    ci.TriangleLoad(a, b, c, 1, 1, 1);
    Contour(ci, {{0, 0}, {1, 0}, {1, 1}});
    ci.LoadEnd();
    EXPECT_FALSE(ci.DoIntersect(BOOLEAN_OPERATION_UNION));
    // An axis pair other than x-y: x is dropped, the turn is read from y
    // towards z, invisible sides stay so.
    ci.LoadBegin(1, 2);
    double d[3] = {7, 0, 0}, e[3] = {1, 0, 4}, f[3] = {-3, 4, 0};
    ci.TriangleLoad(d, e, f, 0, 0, 0);
    EXPECT_TRUE(ci.DoIntersect(BOOLEAN_OPERATION_UNION));
    const std::vector<std::string> yz = {
        "Begin 1", "Plane 1 2", "Contour 3 type 2: 0 0 0 ~ 0 4 0 ~ 0 0 4 ~ 0 0 0", "ContourEnd", "End"};
    EXPECT_EQ(yz, r.calls);
    r.calls.clear();
    r.contours.clear();
    // Loading after LoadEnd is ignored; DoIntersect forgets the load.
    ci.LoadBegin(0, 1);
    ci.LoadEnd();
    ci.TriangleLoad(a, b, c, 1, 1, 1);
    EXPECT_FALSE(ci.DoIntersect(BOOLEAN_OPERATION_UNION));
    ci.LoadBegin(0, 1);
    ci.TriangleLoad(a, b, c, 1, 1, 1);
    EXPECT_FALSE(ci.DoIntersect(static_cast<BOOLEAN_OPERATION>(7)));
    EXPECT_FALSE(ci.DoIntersect(BOOLEAN_OPERATION_UNION));
    EXPECT_TRUE(r.calls.empty());
    // Without a receiver nothing is sent.
    G3ContourIntersector none;
    none.LoadBegin(0, 1);
    none.TriangleLoad(a, b, c, 1, 1, 1);
    EXPECT_FALSE(none.DoIntersect(BOOLEAN_OPERATION_UNION));

    // A contour starting at a non-finite point is not opened, a segment to
    // one, or to a point whose products would overflow, is skipped.
    const double nan = std::numeric_limits<double>::quiet_NaN(),
                 inf = std::numeric_limits<double>::infinity();
    double far[3] = {2, inf, 0};
    ci.LoadBegin(0, 1);
    ci.ContourBeginLoad(far);
    ci.ContourLoadSegment(c, SEGMENT_TYPE_LINE, 1);
    Contour(ci, {{0, 0}, {4, 0}, {nan, 0}, {4, 4}, {2, inf}, {-1e300, 1e300}, {0, 4}});
    ci.LoadEnd();
    EXPECT_TRUE(ci.DoIntersect(BOOLEAN_OPERATION_UNION));
    ASSERT_EQ(1u, r.contours.size());
    EXPECT_DOUBLE_EQ(16.0, CheckedArea(r));
}

TEST(ContourIntersector, ContourWithHoleDeliversBoth)
{
    const Ring outer = {{0, 0}, {4, 0}, {4, 4}, {0, 4}};
    const Ring hole = {{1, 1}, {3, 1}, {3, 3}, {1, 3}}; // same turn as the outer, invisible
    // Pieces: the ring as its outline and its hole, the hole's sides as
    // loaded (invisible).
    PathRecorder r = RunOn(BOOLEAN_OPERATION_PIECES, {}, {outer, hole}, {1, 0});
    EXPECT_DOUBLE_EQ(12.0, CheckedArea(r));
    ASSERT_EQ(2u, r.contours.size());
    EXPECT_EQ((std::vector<int>(4, SEGMENT_INVISIBLE)), r.contours[1].vis);
    // A triangle sharing two sides with the hole is an island: the pieces
    // tell the ring's hole from the island.
    EXPECT_DOUBLE_EQ(14.0,
                     CheckedArea(RunOn(BOOLEAN_OPERATION_PIECES, {{{1, 1}, {3, 1}, {1, 3}}}, {outer, hole})));
}

// Triangle pairs on a half-unit grid placed to share a vertex, a side, the
// whole triangle, a vertex on a side or a side along a side's line.
TEST(ContourIntersector, RandomTrianglePairsMatchExactCover)
{
    for (unsigned seed : {1u, 2u, 3u}) {
        std::mt19937 rng(seed);
        auto pt = [&]() { return XY{(rng() % 13) * 0.5, (rng() % 13) * 0.5}; };
        int tested = 0;
        for (int iter = 0; iter < 150; ++iter) {
            const Ring t1 = {pt(), pt(), pt()};
            Ring t2 = {pt(), pt(), pt()};
            switch (rng() % 6) {
            case 0: // a shared vertex
                t2[0] = t1[1];
                break;
            case 1: // a shared side, the other triangle on either side
                t2[0] = t1[0];
                t2[1] = t1[1];
                break;
            case 2:
                t2 = t1;
                break;
            case 3: // a vertex in the middle of a side
                t2[0] = {0.5 * (t1[0].x + t1[2].x), 0.5 * (t1[0].y + t1[2].y)};
                break;
            case 4: // a side along a side's line
                t2[0] = {2 * t1[1].x - t1[0].x, 2 * t1[1].y - t1[0].y};
                t2[1] = {0.5 * (t1[0].x + t1[1].x), 0.5 * (t1[0].y + t1[1].y)};
                break;
            }
            if (std::fabs(SignedArea(t1)) < 0.25 || std::fabs(SignedArea(t2)) < 0.25)
                continue;
            ++tested;
            SCOPED_TRACE("seed " + std::to_string(seed) + " iter " + std::to_string(iter));
            const double all = CoverArea({{t1}, {t2}}, 1), common = CoverArea({{t1}, {t2}}, 2);
            EXPECT_NEAR(all, CheckedArea(RunOn(BOOLEAN_OPERATION_UNION, {t1, t2})), 1e-9);
            PathRecorder p = RunOn(BOOLEAN_OPERATION_PIECES, {t1, t2});
            EXPECT_NEAR(all, CheckedArea(p), 1e-9);
            // Two triangles make at most 3 + 3 + 1 faces (each less the
            // other falls in at most three, as in a six-pointed star).
            EXPECT_LE(p.contours.size(), 7u);
            EXPECT_NEAR(common, CheckedArea(RunOn(BOOLEAN_OPERATION_COMMON, {t1, t2})), 1e-9);
        }
        EXPECT_GT(tested, 60);
    }
}

// Rectangles on an integer grid, now and then one nested inside the last,
// touching it or not (holes and islands): loaded as contours (even-odd,
// each with a random turn) and as two triangles each (union cover, their
// diagonals sides inside).
TEST(ContourIntersector, RandomRectanglesMatchExactCover)
{
    for (unsigned seed = 11; seed < 31; ++seed) {
        std::mt19937 rng(seed);
        Region rects;
        for (size_t n = 2 + rng() % 6; rects.size() < n;) {
            const double x0 = rng() % 9, x1 = rng() % 9, y0 = rng() % 9, y1 = rng() % 9;
            if (x0 == x1 || y0 == y1)
                continue;
            const XY lo = {std::min(x0, x1), std::min(y0, y1)}, hi = {std::max(x0, x1), std::max(y0, y1)};
            rects.push_back({lo, {hi.x, lo.y}, hi, {lo.x, hi.y}});
            if (rng() % 3 == 0 && hi.x - lo.x >= 2 && hi.y - lo.y >= 2) {
                const double inset = rng() % 2 ? 0.5 : 0.0;
                const XY in0 = {lo.x + 0.5, lo.y + inset}, in1 = {hi.x - 0.5, hi.y - 0.5};
                rects.push_back({in0, {in1.x, in0.y}, in1, {in0.x, in1.y}});
            }
        }
        std::vector<Ring> turned, tris;
        std::vector<Region> each;
        for (Ring q : rects) {
            tris.push_back({q[0], q[1], q[2]});
            tris.push_back({q[0], q[2], q[3]});
            each.push_back({q});
            if (rng() % 2)
                std::reverse(q.begin(), q.end());
            turned.push_back(q);
        }
        for (BOOLEAN_OPERATION op : {BOOLEAN_OPERATION_UNION, BOOLEAN_OPERATION_PIECES}) {
            SCOPED_TRACE("seed " + std::to_string(seed) + " op " + std::to_string(op));
            const PathRecorder r = RunOn(op, {}, turned);
            EXPECT_NEAR(CoverArea({rects}, 1), CheckedArea(r), 1e-9);
            for (const PathRecorder::Contour& d : r.contours) // the union joins holes to their outlines
                EXPECT_TRUE(op == BOOLEAN_OPERATION_PIECES || d.type != CONTOUR_TYPE_HOLE);
            EXPECT_NEAR(CoverArea(each, 1), CheckedArea(RunOn(op, tris)), 1e-9);
        }
    }
}

// Centimetre rectangles (a 1/64 grid) at site coordinates, each a region
// of its own: every delivered contour turns as its type says and the
// signed areas, taken about the site's origin, add up to the exact cover.
// Loops of a few centimetres at 5e6 were turned and typed by an area
// summed from products of the coordinates themselves.
TEST(ContourIntersector, CentimetreRectanglesAtSiteCoordinatesKeepTheirTypes)
{
    const double origin = 5e6, unit = 1.0 / 64;
    for (unsigned seed = 1; seed <= 40; ++seed) {
        std::mt19937 rng(seed);
        std::vector<Region> each;
        for (size_t n = 2 + rng() % 4; each.size() < n;) {
            const double x0 = rng() % 6, y0 = rng() % 6, x1 = x0 + 1 + rng() % 3, y1 = y0 + 1 + rng() % 3;
            each.push_back({{{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}}});
        }
        for (BOOLEAN_OPERATION op : {BOOLEAN_OPERATION_UNION, BOOLEAN_OPERATION_PIECES, BOOLEAN_OPERATION_COMMON}) {
            SCOPED_TRACE("seed " + std::to_string(seed) + " op " + std::to_string(op));
            PathRecorder r;
            G3ContourIntersector ci;
            ci.SetPathLoader(&r);
            ci.LoadBegin(0, 1);
            for (const Region& g : each) {
                Ring q = g[0];
                for (XY& p : q)
                    p = {origin + p.x * unit, origin + p.y * unit};
                if (rng() % 2)
                    std::reverse(q.begin(), q.end());
                ci.NextContourRegion();
                Contour(ci, q);
            }
            ci.DoIntersect(op);
            double sum = 0.0;
            for (PathRecorder::Contour d : r.contours) {
                for (XY& p : d.pts)
                    p = {(p.x - origin) / unit, (p.y - origin) / unit};
                const double a = SignedArea(d.pts);
                EXPECT_EQ(d.type == CONTOUR_TYPE_HOLE, a < 0.0) << a;
                sum += a;
            }
            EXPECT_EQ(CoverArea(each, op == BOOLEAN_OPERATION_COMMON ? 2 : 1), sum);
        }
    }
}

// Thin triangles along one line, each as wide as 2e-6 to 2e-4 and crossing
// the other at a shallow angle, so that many faces of the arrangement are
// thinner than 1e-5; the pair of the report first. Union, pieces and common
// part against the exact cover, the pieces' count against its faces.
TEST(ContourIntersector, RandomSliversMatchExactCover)
{
    std::mt19937 rng(5);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    const Ring reported[2] = {{{1.5030215649057839, 4.990847817494994}, {5.9442698193763448, 5.6165015486964691},
                               {3.7236257449617125, 5.3038162795908228}},
                              {{4.407271040741767, 6.0416967296529789}, {8.3955234539416566, 4.7767779740399696},
                               {6.4014421280766154, 5.4093788595112873}}};
    int tested = 0;
    for (int iter = 0; iter < 300; ++iter) {
        Ring t1 = reported[0], t2 = reported[1];
        if (iter > 0) {
            const double angle = unit(rng) * M_PI, tilt = (unit(rng) - 0.5) * 1e-3;
            auto along = [&](double t, double off, double turn) {
                return XY{5 + t * std::cos(angle + turn) - off * std::sin(angle + turn),
                          5 + t * std::sin(angle + turn) + off * std::cos(angle + turn)};
            };
            auto width = [&]() { return (unit(rng) < 0.5 ? -1 : 1) * std::pow(10.0, -5.7 + 2 * unit(rng)); };
            const double a = -4 * unit(rng), b = 4 * unit(rng), c = a + (b - a) * unit(rng), d = c + 4 * unit(rng);
            const double shift = (unit(rng) - 0.5) * 1e-4;
            t1 = {along(a, 0, 0), along(b, 0, 0), along(0.5 * (a + b), width(), 0)};
            t2 = {along(c, shift, tilt), along(d, shift, tilt), along(0.5 * (c + d), shift + width(), tilt)};
        }
        // The split and the weld join points closer than 1e-5 by design:
        // keep every corner clear of the other triangle's sides.
        bool clear = true;
        for (const Ring* r : {&t1, &t2})
            for (const XY& p : *r)
                for (size_t k = 0; k < 3; ++k) {
                    const Ring& o = r == &t1 ? t2 : t1;
                    const XY a = o[k], b = o[(k + 1) % 3];
                    const double len2 = (b.x - a.x) * (b.x - a.x) + (b.y - a.y) * (b.y - a.y);
                    const double t = std::clamp(((p.x - a.x) * (b.x - a.x) + (p.y - a.y) * (b.y - a.y)) / len2, 0.0, 1.0);
                    clear = clear && std::hypot(a.x + t * (b.x - a.x) - p.x, a.y + t * (b.y - a.y) - p.y) > 2e-5;
                }
        if (!clear)
            continue;
        ++tested;
        SCOPED_TRACE("iter " + std::to_string(iter));
        const std::vector<Region> each = {{t1}, {t2}};
        const double all = CoverArea(each, 1), both = CoverArea(each, 2);
        const double tol = 1e-9 * all + 1e-14;
        EXPECT_NEAR(all, CheckedArea(RunOn(BOOLEAN_OPERATION_UNION, {t1, t2})), tol);
        EXPECT_NEAR(both, CheckedArea(RunOn(BOOLEAN_OPERATION_COMMON, {t1, t2})), tol);
        const PathRecorder p = RunOn(BOOLEAN_OPERATION_PIECES, {t1, t2});
        EXPECT_NEAR(all, CheckedArea(p), tol);
        int outlines = 0;
        for (const PathRecorder::Contour& c : p.contours)
            outlines += c.type != CONTOUR_TYPE_HOLE;
        EXPECT_EQ(CoverParts(each, 1, true), outlines);
    }
    EXPECT_GT(tested, 200);
}

// Contours each loaded as a region of its own (rectangles on a grid that
// nest, touch, share sides or cross, and random quadrilaterals): the union
// is where any lies, the common part where two or more do, each delivered
// outline one connected part.
TEST(ContourIntersector, ContourRegionsMatchExactCover)
{
    for (unsigned seed = 40; seed < 100; ++seed) {
        std::mt19937 rng(seed);
        std::vector<Region> each;
        for (size_t n = 2 + rng() % 4; each.size() < n;) {
            Ring r;
            if (seed % 3 == 0) {
                for (int k = 0; k < 4; ++k)
                    r.push_back({(rng() % 1000) * 0.01, (rng() % 1000) * 0.01});
            } else {
                const double x0 = rng() % 6, y0 = rng() % 6, x1 = x0 + 1 + rng() % 4, y1 = y0 + 1 + rng() % 4;
                r = {{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}};
            }
            if (rng() % 2)
                std::reverse(r.begin(), r.end());
            each.push_back({r});
        }
        PathRecorder out[3];
        for (int op = 0; op < 3; ++op) {
            G3ContourIntersector ci;
            ci.SetPathLoader(&out[op]);
            ci.LoadBegin(0, 1);
            for (const Region& r : each) {
                ci.NextContourRegion();
                Contour(ci, r[0]);
            }
            ci.DoIntersect(static_cast<BOOLEAN_OPERATION>(op + 1));
        }
        SCOPED_TRACE("seed " + std::to_string(seed));
        const int minCover[3] = {1, 1, 2};
        for (int op = 0; op < 3; ++op) {
            EXPECT_NEAR(CoverArea(each, minCover[op]), CheckedArea(out[op]), 1e-9) << "op " << op + 1;
            int outlines = 0;
            for (const PathRecorder::Contour& c : out[op].contours)
                outlines += c.type != CONTOUR_TYPE_HOLE;
            EXPECT_EQ(CoverParts(each, minCover[op], op == 1), outlines) << "op " << op + 1;
        }
    }
}

} // namespace
