// G3HoleMaker: openings projected through two layers of a surface.
//
// Invariants: every pierced facet is rebuilt exactly once per MakeHoles,
// with all the openings that pierce it, however they pair with other
// facets; a facet is removed only after its replacement is made, and the
// records never read a facet after its removal. Provider state is set only
// while a facet's replacement is made (FacetMadeFrom) and is empty when the
// walls are made. Rounding: hits along a ray are told apart when their
// distances differ by more than kPointEqual; an outline point on a facet's
// boundary (kInFacet) is no hit of that facet, and an outline segment
// touching or crossing a facet edge on the facet's projection pair, or
// enclosing a contour of the facet, leaves the facet.

#include "Geometry/contour/G3HoleMaker.h"

#include "Geometry/boolean/G3BooleanCalculator.h"
#include "Geometry/boolean/G3RayTraceResult.h"
#include "Geometry/math/G3Math.h"
#include "Geometry/math/G3SegmentTest.h"
#include "Geometry/math/GEnvelope.h"
#include "Geometry/math/GTolerance.h"
#include "Geometry/mesh/G3Edge.h"
#include "Geometry/mesh/G3Facet.h"
#include "Geometry/mesh/G3Point.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/mesh/G3Vertex.h"
#include "Geometry/processing/G3EdgeList.h"
#include "Geometry/processing/G3FacetContourIterator.h"
#include "Geometry/processing/G3FacetMadeFrom.h"
#include "Geometry/processing/G3SurfaceEdit.h"

#include <array>
#include <cmath>
#include <vector>

namespace {

void DeletePoints(GArrayCollection* list)
{
    if (!list)
        return;
    for (int k = 0; k < list->size(); ++k)
        delete list->get(k);
    list->clear(false);
}

void DeletePointLists(GArrayCollection& lists)
{
    for (int k = 0; k < lists.size(); ++k) {
        GArrayCollection* c = static_cast<GArrayCollection*>(lists.get(k));
        DeletePoints(c);
        delete c;
    }
    lists.clear(false);
}

// p on the projection pair (i, j), in the plane z = 0.
void Flat(int i, int j, const double* p, double* out)
{
    out[0] = p[i];
    out[1] = p[j];
    out[2] = 0.0;
}

const double* PointAt(const GArrayCollection* points, int k)
{
    return static_cast<const G3Point*>(points->get(k))->GetXYZ();
}

// Whether x lies inside the closed polygon `poly` on the projection pair
// (i, j) (even-odd; for points off its sides).
bool InsideOutline(int i, int j, const double* x, const GArrayCollection* poly)
{
    bool in = false;
    const int count = poly->size();
    for (int k = 0; k < count; ++k) {
        const double* u = PointAt(poly, k);
        const double* v = PointAt(poly, (k + 1) % count);
        if ((u[j] > x[j]) != (v[j] > x[j]) && x[i] < u[i] + (x[j] - u[j]) * (v[i] - u[i]) / (v[j] - u[j]))
            in = !in;
    }
    return in;
}

// Whether the closed polygon `points` leaves f on f's projection pair: a
// segment of it touches or crosses an edge of f, or, none doing so, a
// contour of f lies inside it. The latter is an opening cut before (or any
// hole of f) that the outline encloses: rebuilt with both, the enclosed
// contour came back as an island of facet inside the new opening, closed
// by the old walls into a loose plug.
bool LeavesFacet(G3Facet* f, const GArrayCollection* points)
{
    int i = 0, j = 1;
    f->GetMaxCoo(&i, &j);
    const int n = points->size();
    for (int k = 0; k < n; ++k) {
        double a[3], b[3];
        Flat(i, j, PointAt(points, k), a);
        Flat(i, j, PointAt(points, (k + 1) % n), b);
        for (G3Edge* e = f->GetFirstEdge(); e; e = e->GetFacetEdge(f)) {
            double c[3], d[3];
            Flat(i, j, e->GetVertex1()->GetXYZ(), c);
            Flat(i, j, e->GetVertex2()->GetXYZ(), d);
            if (G3SegmentTest(a, b, c, d))
                return true;
        }
    }
    for (G3Edge* e = f->GetFirstEdge(); e; e = e->GetFacetEdge(f))
        if (InsideOutline(i, j, e->GetVertex1()->GetXYZ(), points))
            return true;
    return false;
}

// Whether the closed polygons a and b (outlines on f) share a point on f's
// projection pair: a side of one touches or crosses a side of the other,
// or one lies inside the other (told by its first corner, off the other's
// sides once no sides meet).
bool OpeningsMeet(G3Facet* f, const GArrayCollection* a, const GArrayCollection* b)
{
    int i = 0, j = 1;
    f->GetMaxCoo(&i, &j);
    const int n = a->size();
    const int m = b->size();
    for (int k = 0; k < n; ++k) {
        double p[3], q[3];
        Flat(i, j, PointAt(a, k), p);
        Flat(i, j, PointAt(a, (k + 1) % n), q);
        for (int l = 0; l < m; ++l) {
            double c[3], d[3];
            Flat(i, j, PointAt(b, l), c);
            Flat(i, j, PointAt(b, (l + 1) % m), d);
            if (G3SegmentTest(p, q, c, d))
                return true;
        }
    }
    return (n > 0 && InsideOutline(i, j, PointAt(a, 0), b)) || (m > 0 && InsideOutline(i, j, PointAt(b, 0), a));
}

// Whether the closed polygon `points` (an outline on f) bounds an area on
// f's projection pair without touching itself: its corners, repeats left
// out, enclose more than kZeroArea and no two sides that do not follow one
// another meet. A bow-tie would be cut as two loops turning opposite ways,
// and an outline without area makes walls of no thickness.
bool SimpleOutline(G3Facet* f, const GArrayCollection* points)
{
    int i = 0, j = 1;
    f->GetMaxCoo(&i, &j);
    std::vector<std::array<double, 3>> p;
    for (int k = 0; k < points->size(); ++k) {
        double q[3];
        Flat(i, j, PointAt(points, k), q);
        if (p.empty() || !G3Point::Equals(p.back().data(), q))
            p.push_back({q[0], q[1], q[2]});
    }
    while (p.size() > 1 && G3Point::Equals(p.back().data(), p.front().data()))
        p.pop_back();
    const std::size_t n = p.size();
    double area = 0.0;
    for (std::size_t k = 1; k + 1 < n; ++k)
        area += G3Math::GetArea2(p[0].data(), p[k].data(), p[k + 1].data(), 0, 1);
    if (n < 3 || !(std::fabs(area) / 2 > GTolerance::kZeroArea))
        return false;
    for (std::size_t k = 0; k < n; ++k)
        for (std::size_t l = k + 2; l < n; ++l)
            if ((l + 1) % n != k && G3SegmentTest(p[k].data(), p[(k + 1) % n].data(), p[l].data(), p[(l + 1) % n].data()))
                return false;
    return true;
}

// The first two facet hits of a ray: the nearest, and the nearest beyond it
// by more than kPointEqual.
struct RayHits {
    const G3RayTraceMetricResult::Hit* first = nullptr;
    const G3RayTraceMetricResult::Hit* second = nullptr;
};

RayHits FirstTwo(const G3RayTraceMetricResult& r)
{
    RayHits out;
    for (const G3RayTraceMetricResult::Hit* h = r.GetHits(); h; h = h->next) {
        if (!h->facet)
            continue;
        if (!out.first) {
            if (h->distance > -1.0 + GTolerance::kPointEqual)
                out.first = h;
        } else if (h->distance > out.first->distance + GTolerance::kPointEqual) {
            out.second = h;
            break;
        }
    }
    return out;
}

} // namespace

G3HoleMaker::HoleRecord::~HoleRecord()
{
    DeletePointLists(contours1);
    DeletePointLists(contours2);
}

G3HoleMaker::G3HoleMaker(G3Surface* s) : surface(s) {}

G3HoleMaker::~G3HoleMaker()
{
    DeletePointLists(holeContours);
    DeletePoints(&holeDirections);
    ReleaseHoleData();
}

void G3HoleMaker::ReleaseHoleData()
{
    for (int k = 0; k < holeData.size(); ++k)
        delete holeData.get(k);
    holeData.clear(false);
}

bool G3HoleMaker::AddHoleContour(GArrayCollection* outline, G3Point* direction)
{
    if (!outline || !direction)
        return false;
    GArrayCollection* copy = new GArrayCollection();
    for (int k = 0; k < outline->size(); ++k) {
        const G3Point* p = dynamic_cast<const G3Point*>(outline->get(k));
        if (!p) {
            DeletePoints(copy);
            delete copy;
            return false;
        }
        copy->add(new G3Point(p->GetXYZ()));
    }
    holeContours.add(copy);
    holeDirections.add(new G3Point(direction->GetXYZ()));
    made.push_back(0);
    return false;
}

bool G3HoleMaker::SurfaceGetFacetForHole(GArrayCollection* outline, G3Point* direction, G3Facet*& facet1,
                                         G3Facet*& facet2, GArrayCollection** contour1, GArrayCollection** contour2)
{
    facet1 = facet2 = nullptr;
    if (!surface || surface->GetFacetCount() == 0 || !outline || outline->size() < 3 || !direction)
        return false;
    const double* d0 = direction->GetXYZ();
    const double len = std::sqrt(d0[0] * d0[0] + d0[1] * d0[1] + d0[2] * d0[2]);
    if (!(len > GTolerance::kZeroLength) || !std::isfinite(len))
        return false;
    const double dir[3] = {d0[0] / len, d0[1] / len, d0[2] / len};
    GEnvelope box;
    surface->FormEnvelope(&box);
    for (int k = 0; k < outline->size(); ++k)
        box.Add(static_cast<G3Point*>(outline->get(k))->GetXYZ());
    const double L = std::sqrt(box.XSize() * box.XSize() + box.YSize() * box.YSize() + box.ZSize() * box.ZSize());
    if (!(L > 0.0) || !std::isfinite(L))
        return false;

    GArrayCollection* c1 = new GArrayCollection();
    GArrayCollection* c2 = new GArrayCollection();
    bool ok = true;
    for (int k = 0; k < outline->size() && ok; ++k) {
        const double* p = static_cast<G3Point*>(outline->get(k))->GetXYZ();
        const double s[3] = {p[0] - L * dir[0], p[1] - L * dir[1], p[2] - L * dir[2]};
        const double e[3] = {s[0] + 2 * L * dir[0], s[1] + 2 * L * dir[1], s[2] + 2 * L * dir[2]};
        G3RayTraceMetricResult hits(s);
        G3BooleanCalculator::TestRayAndFacetList(s, e, surface->GetFacetList(), &hits);
        const RayHits two = FirstTwo(hits);
        if (!two.first || !two.second) {
            ok = false;
            break;
        }
        if (k == 0) {
            facet1 = two.first->facet;
            facet2 = two.second->facet;
        }
        if (two.first->facet != facet1 || two.second->facet != facet2 || facet1 == facet2) {
            ok = false;
            break;
        }
        c1->add(new G3Point(two.first->point));
        c2->add(new G3Point(two.second->point));
    }
    if (ok && (LeavesFacet(facet1, c1) || LeavesFacet(facet2, c2)))
        ok = false;
    if (!ok) {
        DeletePoints(c1);
        DeletePoints(c2);
        delete c1;
        delete c2;
        facet1 = facet2 = nullptr;
        return false;
    }
    *contour1 = c1;
    *contour2 = c2;
    return true;
}

void G3HoleMaker::FillHoleDataList()
{
    ReleaseHoleData();
    for (int i = 0; i < holeContours.size(); ++i) {
        if (made[static_cast<std::size_t>(i)])
            continue;
        G3Facet* f1 = nullptr;
        G3Facet* f2 = nullptr;
        GArrayCollection* c1 = nullptr;
        GArrayCollection* c2 = nullptr;
        if (!SurfaceGetFacetForHole(static_cast<GArrayCollection*>(holeContours.get(i)),
                                    static_cast<G3Point*>(holeDirections.get(i)), f1, f2, &c1, &c2))
            continue;
        // An opening meeting one taken before it on the same facet would
        // be rebuilt into that facet with the shared part taken back as
        // facet (contours cancel where they overlap), and its walls would
        // hang into the other opening: it is skipped, as is an outline
        // crossing itself or without area.
        bool meets = !SimpleOutline(f1, c1);
        for (int k = 0; k < holeData.size() && !meets; ++k) {
            const HoleRecord* r = static_cast<HoleRecord*>(holeData.get(k));
            for (int q = 0; q < r->contours1.size() && !meets; ++q) {
                const GArrayCollection* other1 = static_cast<GArrayCollection*>(r->contours1.get(q));
                const GArrayCollection* other2 = static_cast<GArrayCollection*>(r->contours2.get(q));
                for (G3Facet* f : {f1, f2}) {
                    GArrayCollection* own = f == f1 ? c1 : c2;
                    meets = meets || (r->facet1 == f && OpeningsMeet(f, own, other1)) ||
                            (r->facet2 == f && OpeningsMeet(f, own, other2));
                }
            }
        }
        if (meets) {
            DeletePoints(c1);
            DeletePoints(c2);
            delete c1;
            delete c2;
            continue;
        }
        HoleRecord* record = nullptr;
        for (int k = 0; k < holeData.size() && !record; ++k) {
            HoleRecord* r = static_cast<HoleRecord*>(holeData.get(k));
            if (r->facet1 == f1 && r->facet2 == f2)
                record = r;
        }
        if (!record) {
            record = new HoleRecord(f1, f2);
            holeData.add(record);
        }
        record->contours1.add(c1);
        record->contours2.add(c2);
        record->holes.push_back(i);
    }
}

G3Facet* G3HoleMaker::AddFacet(GArrayCollection* points)
{
    if (!surface || !points)
        return nullptr;
    std::vector<G3Vertex*> v;
    for (int k = 0; k < points->size(); ++k)
        v.push_back(surface->AddVertex(static_cast<G3Point*>(points->get(k))->GetXYZ(), 0));
    G3Facet* f = surface->AddFacet(static_cast<int>(v.size()), v.data(), 1, nullptr, nullptr);
    if (f)
        f->SetFlags(0);
    return f;
}

G3Facet* G3HoleMaker::AddFacet(G3Facet* facet)
{
    return surface ? G3AddContourCopies(surface, facet) : nullptr;
}

void G3HoleMaker::AddFacets(GArrayCollection* contour1, GArrayCollection* contour2)
{
    if (!contour1 || !contour2 || contour1->size() != contour2->size())
        return;
    const int n = contour1->size();
    for (int i = 0; i < n; ++i) {
        const int j = i + 1 < n ? i + 1 : 0;
        GArrayCollection quad;
        quad.add(contour1->get(i));
        quad.add(contour1->get(j));
        quad.add(contour2->get(j));
        quad.add(contour2->get(i));
        AddFacet(&quad);
    }
}

void G3HoleMaker::MakeHoles()
{
    madeCount = 0;
    if (!surface)
        return;
    FillHoleDataList();
    if (holeData.size() == 0)
        return;
    // Facets added with flags of their own leave them as the surface's edge
    // flags: given back at the end.
    const int edgeFlags = surface->GetEdgeFlags();
    // Every pierced facet once, in the order the records name them, with
    // the openings of every record that pierces it.
    struct Pierced {
        G3Facet* facet;
        std::vector<GArrayCollection*> openings;
    };
    std::vector<Pierced> pierced;
    auto openingsOf = [&pierced](G3Facet* f) -> std::vector<GArrayCollection*>& {
        for (Pierced& p : pierced)
            if (p.facet == f)
                return p.openings;
        pierced.push_back({f, {}});
        return pierced.back().openings;
    };
    for (int k = 0; k < holeData.size(); ++k) {
        HoleRecord* r = static_cast<HoleRecord*>(holeData.get(k));
        for (int i = 0; i < r->contours1.size(); ++i)
            openingsOf(r->facet1).push_back(static_cast<GArrayCollection*>(r->contours1.get(i)));
        for (int i = 0; i < r->contours2.size(); ++i)
            openingsOf(r->facet2).push_back(static_cast<GArrayCollection*>(r->contours2.get(i)));
    }
    for (const Pierced& p : pierced) {
        surface->BeginComplexFacet();
        {
            // The copy of the facet comes first: the rebuilt facet is made
            // from it and takes its data and records.
            const FacetMadeFrom source(surface, p.facet);
            AddFacet(p.facet);
        }
        for (GArrayCollection* opening : p.openings)
            AddFacet(opening);
        surface->EndComplexFacet();
        surface->RemoveFacet(p.facet);
    }
    G3Obj::ProviderSetExData(nullptr);
    for (int k = 0; k < holeData.size(); ++k) {
        HoleRecord* r = static_cast<HoleRecord*>(holeData.get(k));
        r->facet1 = r->facet2 = nullptr;  // removed above
        for (int i = 0; i < r->contours1.size(); ++i)
            AddFacets(static_cast<GArrayCollection*>(r->contours1.get(i)),
                      static_cast<GArrayCollection*>(r->contours2.get(i)));
        for (int hole : r->holes)
            made[static_cast<std::size_t>(hole)] = 1;
        madeCount += static_cast<int>(r->holes.size());
    }
    surface->RemoveEqualsVertexAndDivideEdges();
    surface->RemoveTrivialFacets();
    surface->Update(CHECK_LEVEL_FACETS);
    surface->SetEdgeFlags(edgeFlags);
}
