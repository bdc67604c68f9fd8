// ApplyFlatRegion: each stored contour (a building pad) widened by
// flatOffset, the terrain cut away inside the widened contour by the
// boolean engine (a difference with a prism standing on it), and the hole
// re-triangulated between the cut's rim and the contour's own points, so
// that the pad takes the contour's heights. Invariants: the caller's
// surface is untouched (the work runs on a duplicate); terrain outside the
// widened contours keeps its vertices; the fill's triangles lie inside the
// widened contour and face the way the terrain faces. The one place it
// rounds is the boolean's scale round trip: the rim is read from the cut
// surface itself, on the widened contour within kPlaneSide.

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
            const double m[2] = {(a[0] + b[0]) / 2.0, (a[1] + b[1]) / 2.0};
            if (!OnContour(&o, a) || !OnContour(&o, b) || !OnContour(&o, m))
                continue;
            const std::size_t ia = point(e->GetVertex1());
            borderEdges.emplace_back(ia, point(e->GetVertex2()));
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
        if (!PointInOneContour(&o, cx, cy) || AlongOneSegment(&o, c))
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
