// ApplyFlatRegion: each stored contour (a building pad) widened by
// flatOffset, the terrain cut away inside the widened contour by the
// boolean engine (a difference with a prism standing on it), and the hole
// re-triangulated between the cut's rim and the contour's own points, so
// that the pad takes the contour's heights. Invariants: the caller's
// surface is untouched (the work runs on a duplicate); terrain outside the
// widened contours keeps its vertices; the fill's triangles lie inside the
// widened contour and inside the terrain's border, and face the way the
// terrain faces. A pad must lie inside the border; its widened contour may
// reach past it. The one place it rounds is the boolean's scale round
// trip: the rim is read from the cut surface itself, on the widened
// contour within kPlaneSide.

#include "Geometry/terrain/G3LandscapeHandler.h"

#include "Geometry/boolean/G3BooleanCalculator.h"
#include "Geometry/math/G3Math.h"
#include "Geometry/math/GEnvelope.h"
#include "Geometry/math/GTolerance.h"
#include "Geometry/mesh/G3Edge.h"
#include "Geometry/mesh/G3Facet.h"
#include "Geometry/mesh/G3Point.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/mesh/G3Vertex.h"
#include "Geometry/terrain/triangulation/G3TVertex.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <unordered_map>
#include <utility>
#include <vector>

namespace {

// Contour segments shorter than this are kept as they are (one point).
constexpr double kMinResampleLength = 0.001;
// At most this many points from one segment: a pad many times longer than
// the terrain's edges would otherwise fill memory.
constexpr int kMaxSegmentPoints = 1 << 16;

const double* At(GArrayCollection* c, int i) { return static_cast<G3Point*>(c->get(i))->GetXYZ(); }

// The plan distance from p to the segment a-b.
double PlanDistance(const double* p, const double* a, const double* b)
{
    const double dx = b[0] - a[0];
    const double dy = b[1] - a[1];
    const double len2 = dx * dx + dy * dy;
    double t = len2 > 0.0 ? ((p[0] - a[0]) * dx + (p[1] - a[1]) * dy) / len2 : 0.0;
    t = std::clamp(t, 0.0, 1.0);
    const double ex = a[0] + t * dx - p[0];
    const double ey = a[1] + t * dy - p[1];
    return std::sqrt(ex * ex + ey * ey);
}

bool OnContour(GArrayCollection* c, const double* p)
{
    for (int i = 0; i + 1 < c->size(); ++i)
        if (PlanDistance(p, At(c, i), At(c, i + 1)) < GTolerance::kPlaneSide)
            return true;
    return false;
}

// All three corners lie on one segment of the contour: a triangle no wider
// than the rim's tolerance, along the rim and not in the band. The rim's
// points come back from the boolean a few units in the last place off the
// widened side, so a side's row of points is concave here and there; where
// the row lies on the fill's hull, the triangulation closes those dents
// with such slivers, which then lay a second facet over the rim edges.
bool AlongOneSegment(GArrayCollection* c, G3TVertex* const* t)
{
    for (int i = 0; i + 1 < c->size(); ++i) {
        bool all = true;
        for (int k = 0; k < 3 && all; ++k) {
            const double p[2] = {t[k]->x, t[k]->y};
            all = PlanDistance(p, At(c, i), At(c, i + 1)) < GTolerance::kPlaneSide;
        }
        if (all)
            return true;
    }
    return false;
}

// A plan segment of the terrain's border, with its ends' heights.
struct BorderEdge {
    const G3Vertex* v[2];
    double a[3];
    double b[3];
};

// The point at t along a-b (height too).
std::array<double, 3> Along(const double* a, const double* b, double t)
{
    return {a[0] + t * (b[0] - a[0]), a[1] + t * (b[1] - a[1]), a[2] + t * (b[2] - a[2])};
}

// Inside the terrain's border (its open edges, holes included): the crossing
// rule of PointInOneContour, over edges in any order.
bool InsideBorder(const std::vector<BorderEdge>& border, double x, double y)
{
    bool inside = false;
    for (const BorderEdge& e : border)
        inside = inside != G3LandscapeHandler::CrossesRayUp(e.a, e.b, x, y);
    return inside;
}

// The plan segments a-b and c-d cross or come within kPlaneSide.
bool SegmentsMeet(const double* a, const double* b, const double* c, const double* d)
{
    if (PlanDistance(a, c, d) < GTolerance::kPlaneSide || PlanDistance(b, c, d) < GTolerance::kPlaneSide ||
        PlanDistance(c, a, b) < GTolerance::kPlaneSide || PlanDistance(d, a, b) < GTolerance::kPlaneSide)
        return true;
    const auto side = [](const double* p, const double* q, const double* r) {
        return (q[0] - p[0]) * (r[1] - p[1]) - (q[1] - p[1]) * (r[0] - p[0]);
    };
    const double s1 = side(a, b, c);
    const double s2 = side(a, b, d);
    const double s3 = side(c, d, a);
    const double s4 = side(c, d, b);
    return ((s1 < 0.0 && s2 > 0.0) || (s1 > 0.0 && s2 < 0.0)) && ((s3 < 0.0 && s4 > 0.0) || (s3 > 0.0 && s4 < 0.0));
}

// Where along a-b (0..1) it crosses the line through c-d within c-d; false
// when the two are parallel or miss.
bool Crossing(const double* a, const double* b, const double* c, const double* d, double* t)
{
    const double ux = b[0] - a[0];
    const double uy = b[1] - a[1];
    const double vx = d[0] - c[0];
    const double vy = d[1] - c[1];
    const double den = ux * vy - uy * vx;
    const double lu = std::sqrt(ux * ux + uy * uy);
    const double lv = std::sqrt(vx * vx + vy * vy);
    if (!(std::fabs(den) > GTolerance::kLineParallel * lu * lv))
        return false;
    const double wx = c[0] - a[0];
    const double wy = c[1] - a[1];
    const double s = (wx * vy - wy * vx) / den;
    const double u = (wx * uy - wy * ux) / den;
    const double su = GTolerance::kPlaneSide / lu;
    const double sv = GTolerance::kPlaneSide / lv;
    if (s < -su || s > 1.0 + su || u < -sv || u > 1.0 + sv)
        return false;
    *t = std::clamp(s, 0.0, 1.0);
    return true;
}

// The plan box of a closed contour, widened by kPlaneSide.
struct PlanRect {
    double lo[2];
    double hi[2];
    bool Meets(const double* a, const double* b) const
    {
        return std::max(a[0], b[0]) >= lo[0] && std::min(a[0], b[0]) <= hi[0] && std::max(a[1], b[1]) >= lo[1] &&
               std::min(a[1], b[1]) <= hi[1];
    }
};

PlanRect PlanBox(GArrayCollection* c)
{
    constexpr double kFar = std::numeric_limits<double>::infinity();
    PlanRect box = {{kFar, kFar}, {-kFar, -kFar}};
    for (int i = 0; i < c->size(); ++i)
        for (int k = 0; k < 2; ++k) {
            box.lo[k] = std::min(box.lo[k], At(c, i)[k] - GTolerance::kPlaneSide);
            box.hi[k] = std::max(box.hi[k], At(c, i)[k] + GTolerance::kPlaneSide);
        }
    return box;
}

// The pad's contour touches, crosses or lies beyond the terrain's border.
bool PadLeavesTerrain(GArrayCollection* c, const std::vector<BorderEdge>& border)
{
    if (c->size() == 0 || !InsideBorder(border, At(c, 0)[0], At(c, 0)[1]))
        return true;
    const PlanRect box = PlanBox(c);
    for (const BorderEdge& e : border) {
        if (!box.Meets(e.a, e.b))
            continue;
        for (int i = 0; i + 1 < c->size(); ++i)
            if (SegmentsMeet(At(c, i), At(c, i + 1), e.a, e.b))
                return true;
    }
    return false;
}

// The height the pad's slope gives a plan point p whose ground lies at g:
// the pad's height at the nearest point of its contour, going over to the
// ground at the offset's distance from it (where the widened contour runs).
double SlopeHeight(GArrayCollection* c, const double* p, double g, double offset)
{
    double best = -1.0;
    double z = g;
    for (int i = 0; i + 1 < c->size(); ++i) {
        const double* a = At(c, i);
        const double* b = At(c, i + 1);
        const double dx = b[0] - a[0];
        const double dy = b[1] - a[1];
        const double len2 = dx * dx + dy * dy;
        double t = len2 > 0.0 ? ((p[0] - a[0]) * dx + (p[1] - a[1]) * dy) / len2 : 0.0;
        t = std::clamp(t, 0.0, 1.0);
        const double d = std::hypot(a[0] + t * dx - p[0], a[1] + t * dy - p[1]);
        if (best < 0.0 || d < best) {
            best = d;
            z = a[2] + t * (b[2] - a[2]);
        }
    }
    if (best < 0.0)
        return g;
    const double s = std::min(1.0, best / offset);
    return z + (g - z) * s;
}

// A closed prism from zlow to zhigh over the contour (repeat last).
G3Surface* Prism(GArrayCollection* o, double zlow, double zhigh)
{
    G3Surface* p = new G3Surface();
    const int n = o->size() - 1;
    std::vector<G3Vertex*> low, high;
    for (int i = 0; i < n; ++i) {
        low.push_back(p->AddVertex(At(o, i)[0], At(o, i)[1], zlow, 0));
        high.push_back(p->AddVertex(At(o, i)[0], At(o, i)[1], zhigh, 0));
    }
    for (int i = 0; i < n; ++i) {
        const int j = (i + 1) % n;
        G3Vertex* wall[4] = {low[i], high[i], high[j], low[j]};
        p->AddFacet(4, wall, 1, nullptr, nullptr);
    }
    p->AddFacet(n, high.data(), 1, nullptr, nullptr);
    p->AddFacet(n, low.data(), 1, nullptr, nullptr);
    p->Update(CHECK_LEVEL_WELD);
    return p;
}

// Most of the terrain's facets face down (the update's orientation may
// turn an open terrain over).
bool FacesDown(G3Surface* s)
{
    int down = 0;
    int up = 0;
    for (int i = 0; i < s->GetFacetCount(); ++i) {
        const double c = s->GetFacet(i)->GetPlaneC();
        if (c < -GTolerance::kZeroNormal)
            ++down;
        else if (c > GTolerance::kZeroNormal)
            ++up;
    }
    return down > up;
}

} // namespace

void G3LandscapeHandler::ResampleContours(double spacing)
{
    for (int c = 0; c < contours.size(); ++c) {
        GArrayCollection* old = static_cast<GArrayCollection*>(contours.get(c));
        GArrayCollection* fresh = new GArrayCollection();
        for (int i = 0; i + 1 < old->size(); ++i) {
            const double* a = At(old, i);
            const double* b = At(old, i + 1);
            const double d[3] = {b[0] - a[0], b[1] - a[1], b[2] - a[2]};
            const double len = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
            if (!(len >= kMinResampleLength)) {
                fresh->add(new G3Point(a, 0));
                continue;
            }
            const double want = std::ceil(len / spacing);
            const int k = want < kMaxSegmentPoints ? std::max(1, static_cast<int>(want)) : kMaxSegmentPoints;
            const double step = k > 1 ? len / k : 0.0;
            for (int j = 0; j < k; ++j)
                fresh->add(new G3Point(a[0] + d[0] / len * step * j, a[1] + d[1] / len * step * j,
                                       a[2] + d[2] / len * step * j, 0));
        }
        if (fresh->size() > 0)
            fresh->add(new G3Point(At(fresh, 0), 0));
        contours.put(c, fresh);
        ReleaseContour(old);
    }
}

bool G3LandscapeHandler::CutRegion(G3Surface** result, GArrayCollection* contour)
{
    GEnvelope box;
    (*result)->FormEnvelope(&box);
    const double zlow = box.GetMin()[2] - 1.0;
    const double zhigh = box.GetMax()[2] + 1.0;
    GArrayCollection o;
    if (!OffsetContour(contour, &o, flatOffset) || o.size() < 4) {
        o.clear(true);
        return true; // this contour is skipped
    }
    // Where a notch is narrower than twice the offset, its moved sides pass
    // each other and the widened contour loops back over itself. The cut
    // and the inside test count the overlap as outside: terrain stays in
    // the notch, and where it reaches the notch's sides it gives the pad
    // its heights. No widened outline is made for that here; it fails.
    if (CrossesItself(&o)) {
        o.clear(true);
        delete *result;
        *result = nullptr;
        return false;
    }
    // The terrain's border edges along the widened contour: where it runs
    // on the border, the cut leaves no open edge there (no terrain lies
    // beyond), so the rim alone misses those points, and a corner of the
    // widened contour on a corner of the terrain reaches the fill from
    // neither side: the fill spanned only the rim and the pad, and left a
    // hole between them and the border. Their heights are the ground's, as
    // the rim's are; they are read before the cut removes them.
    std::vector<std::array<double, 3>> border;
    std::vector<std::pair<std::size_t, std::size_t>> borderEdges;
    std::vector<BorderEdge> outline;
    // The border edges beside the widened contour's plan box in x: the
    // upward rays of the inside test from points within it cross no other.
    std::vector<BorderEdge> column;
    bool reaches = false;
    {
        std::unordered_map<const G3Vertex*, std::size_t> index;
        auto point = [&](const G3Vertex* v) {
            auto it = index.find(v);
            if (it != index.end())
                return it->second;
            border.push_back({v->GetX(), v->GetY(), v->GetZ()});
            return index[v] = border.size() - 1;
        };
        G3Surface* t = *result;
        for (int i = 0; i < t->GetEdgeCount(); ++i) {
            G3Edge* e = t->GetEdge(i);
            if ((e->GetFacet1() != nullptr) == (e->GetFacet2() != nullptr))
                continue;
            const double* a = e->GetVertex1()->GetXYZ();
            const double* b = e->GetVertex2()->GetXYZ();
            outline.push_back({{e->GetVertex1(), e->GetVertex2()}, {a[0], a[1], a[2]}, {b[0], b[1], b[2]}});
            const double m[2] = {(a[0] + b[0]) / 2.0, (a[1] + b[1]) / 2.0};
            if (!OnContour(&o, a) || !OnContour(&o, b) || !OnContour(&o, m))
                continue;
            const std::size_t ia = point(e->GetVertex1());
            borderEdges.emplace_back(ia, point(e->GetVertex2()));
        }
        // A pad reaching onto or past the border would need its own outline
        // clipped to the terrain, and a pad off the terrain would add its
        // fill beside the ground: neither is made, the cut fails.
        if (!outline.empty() && PadLeavesTerrain(contour, outline)) {
            o.clear(true);
            delete *result;
            *result = nullptr;
            return false;
        }
        // Where the widened contour reaches past the border, the border
        // inside it goes with the cut and nothing beyond it gives the fill a
        // rim: the fill spanned only the rim and the pad and left a hole
        // between them and the border. The border's pieces inside the
        // widened contour join the fill as constraints, each point at the
        // height the pad's slope gives it over the ground there (the
        // ground's own where the border crosses the widened contour), and
        // fill triangles beyond the border are dropped.
        std::unordered_map<const G3Vertex*, std::size_t> inner;
        const auto slope = [&](const std::array<double, 3>& p) {
            border.push_back({p[0], p[1], SlopeHeight(contour, p.data(), p[2], flatOffset)});
            return border.size() - 1;
        };
        const PlanRect ob = PlanBox(&o);
        for (const BorderEdge& e : outline) {
            if (std::max(e.a[0], e.b[0]) >= ob.lo[0] && std::min(e.a[0], e.b[0]) <= ob.hi[0])
                column.push_back(e);
            if (!ob.Meets(e.a, e.b))
                continue;
            std::vector<double> ts = {0.0, 1.0};
            for (int j = 0; j + 1 < o.size(); ++j) {
                double t = 0.0;
                if (Crossing(e.a, e.b, At(&o, j), At(&o, j + 1), &t))
                    ts.push_back(t);
            }
            if (ts.size() == 2 && !PointInOneContour(&o, e.a[0], e.a[1]))
                continue;
            std::sort(ts.begin(), ts.end());
            // Crossings within kPlaneSide of each other or of an end are one.
            std::vector<double> cuts;
            for (double t : ts) {
                const std::array<double, 3> p = Along(e.a, e.b, t);
                if (cuts.empty()) {
                    cuts.push_back(t);
                    continue;
                }
                const std::array<double, 3> q = Along(e.a, e.b, cuts.back());
                if (std::hypot(p[0] - q[0], p[1] - q[1]) >= GTolerance::kPlaneSide)
                    cuts.push_back(t);
                else if (t == 1.0)
                    cuts.back() = 1.0;
            }
            std::vector<std::size_t> at(cuts.size(), 0);
            std::vector<bool> made(cuts.size(), false);
            const auto index = [&](std::size_t k) {
                if (made[k])
                    return at[k];
                made[k] = true;
                const std::array<double, 3> p = Along(e.a, e.b, cuts[k]);
                const bool onRim = OnContour(&o, p.data());
                const int end = cuts[k] == 0.0 ? 0 : cuts[k] == 1.0 ? 1 : -1;
                if (end >= 0 && onRim)
                    return at[k] = point(e.v[end]);
                if (onRim) {
                    border.push_back(p);
                    return at[k] = border.size() - 1;
                }
                if (end < 0)
                    return at[k] = slope(p);
                auto it = inner.find(e.v[end]);
                if (it != inner.end())
                    return at[k] = it->second;
                return at[k] = inner[e.v[end]] = slope(p);
            };
            for (std::size_t k = 0; k + 1 < cuts.size(); ++k) {
                const std::array<double, 3> m = Along(e.a, e.b, 0.5 * (cuts[k] + cuts[k + 1]));
                if (OnContour(&o, m.data()) || !PointInOneContour(&o, m[0], m[1]))
                    continue;
                const std::size_t ia = index(k);
                borderEdges.emplace_back(ia, index(k + 1));
                reaches = true;
            }
        }
    }
    G3BooleanCalculator engine;
    *result = engine.Sub(*result, Prism(&o, zlow, zhigh));
    if (*result == nullptr) {
        o.clear(true);
        return false;
    }
    G3Surface* s = *result;
    s->FormPlaneEquation();
    const bool down = FacesDown(s);

    // The fill: the rim of the cut (open edges on the widened contour), the
    // terrain's border along it and the contour's own segments, as
    // constraints.
    G3TriInterface tri;
    std::unordered_map<const G3Vertex*, G3TVertex*> rimPoint;
    auto rim = [&](G3Vertex* v) {
        auto it = rimPoint.find(v);
        if (it != rimPoint.end())
            return it->second;
        return rimPoint[v] = tri.AddVertex(v->GetXYZ());
    };
    for (int i = 0; i < s->GetEdgeCount(); ++i) {
        G3Edge* e = s->GetEdge(i);
        if ((e->GetFacet1() && e->GetFacet2()) || !OnContour(&o, e->GetVertex1()->GetXYZ()) ||
            !OnContour(&o, e->GetVertex2()->GetXYZ()))
            continue;
        tri.AddEdge(rim(e->GetVertex1()), rim(e->GetVertex2()));
    }
    const int n = contour->size() - 1;
    std::vector<G3TVertex*> pad;
    for (int i = 0; i < n; ++i)
        pad.push_back(tri.AddVertex(At(contour, i)));
    for (int i = 0; i < n; ++i)
        tri.AddEdge(pad[static_cast<std::size_t>(i)], pad[static_cast<std::size_t>((i + 1) % n)]);
    // A rim's end on the border is a border point too; the triangulation
    // merges the two (the cut may have moved it by the boolean's rounding,
    // far inside the weld below).
    std::vector<G3TVertex*> borderPoint;
    for (const auto& p : border)
        borderPoint.push_back(tri.AddVertex(p.data()));
    for (const auto& e : borderEdges)
        tri.AddEdge(borderPoint[e.first], borderPoint[e.second]);
    if (!tri.MakeTriangulation(G3TriInterface::TRI_BASIC_DEFAULT)) {
        o.clear(true);
        return false; // the cut terrain is the result
    }

    // Only triangles inside the widened contour: the triangulation covers
    // the hull of its points, which overlaps the terrain at a concave pad.
    std::unordered_map<const G3TVertex*, G3Vertex*> made;
    Notify(1);
    for (int i = 0; i < tri.GetTriangleCount(); ++i) {
        G3TVertex* c[3];
        if (!tri.GetTriangle(i, c) || !c[0] || !c[1] || !c[2])
            continue;
        const double cx = (c[0]->x + c[1]->x + c[2]->x) / 3.0;
        const double cy = (c[0]->y + c[1]->y + c[2]->y) / 3.0;
        if (!PointInOneContour(&o, cx, cy) || AlongOneSegment(&o, c) || (reaches && !InsideBorder(column, cx, cy)))
            continue;
        G3Vertex* v[3];
        for (int k = 0; k < 3; ++k) {
            G3Vertex*& m = made[c[k]];
            if (m == nullptr) {
                double p[3];
                tri.GetPosition(c[k], p);
                m = s->AddVertex(p, 0);
            }
            v[down ? 2 - k : k] = m;
        }
        s->AddFacet(3, v, 1, nullptr, nullptr);
    }
    Notify(0);
    // Where the widened contour passes through a terrain edge's point, the
    // cut splits the facet it crossed there but not the one across the
    // edge: split such edges at the vertices on them before stitching.
    s->RemoveEqualsVertexAndDivideEdges();
    s->RemoveNonManifoldEdges();
    s->FormPlaneEquation();
    o.clear(true);
    return true;
}

G3Surface* G3LandscapeHandler::ApplyFlatRegion(G3Surface* surface)
{
    // A negative offset moves the contour inwards: the cut would lie inside
    // the pad, and the fill, kept inside the cut, would never reach the
    // pad's points (the terrain came back re-triangulated, without a pad).
    if (surface == nullptr || contours.size() == 0 || !(flatOffset >= kMinFlatOffset))
        return nullptr;
    G3Surface* result = surface->Duplicate();
    result->Update(CHECK_LEVEL_WELD);
    const int edges = result->GetEdgeCount();
    if (edges == 0) {
        delete result;
        return nullptr;
    }
    double sum = 0.0;
    for (int i = 0; i < edges; ++i)
        sum += result->GetEdge(i)->GetSize(0, 1);
    const double spacing = sum / edges;
    // Points closer than the triangulation's merge distance would be one.
    if (spacing >= GTolerance::kPlanarTriangulation)
        ResampleContours(spacing);
    for (int c = 0; c < contours.size(); ++c) {
        GArrayCollection* contour = static_cast<GArrayCollection*>(contours.get(c));
        if (contour->size() < 4)
            continue;
        if (!CutRegion(&result, contour))
            return result; // null when the cut failed
    }
    return result;
}
