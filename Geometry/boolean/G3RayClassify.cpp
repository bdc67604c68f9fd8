// Classification of points against closed surfaces by counting ray
// crossings, and picking along a ray. Invariants:
// - a facet takes part only with a non-zero plane; its working record's box
//   (when it has one) only ever rules a facet out, never in, so a list of
//   facets without records gives the same answers, more slowly;
// - sides of a plane are decided with 1e-6 and points in facets by the
//   facet's own contours (holes included) on its projection pair, so a
//   crossing within 1e-6 of a boundary is never counted as a clean one;
// - no answer depends on addresses: facets are visited in list order,
//   boundary vertices come back by id, and the only randomness is GRand;
// - picking marks only what it reports and clears every mark it set.
#include "Geometry/boolean/G3BooleanCalculator.h"

#include "Geometry/boolean/G3BooleanData.h"
#include "Geometry/boolean/G3RayTraceResult.h"
#include "Geometry/boolean/G3BooleanGeometry.h"
#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/foundation/GRandom.h"
#include "Geometry/foundation/GTrace.h"
#include "Geometry/math/GTolerance.h"
#include "Geometry/mesh/G3Edge.h"
#include "Geometry/mesh/G3Facet.h"
#include "Geometry/mesh/G3FacetLocator.h"
#include "Geometry/mesh/G3Grid.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/mesh/G3Vertex.h"

#include <cmath>
#include <typeinfo>

namespace {

using G3BooleanGeometry::Finite3;
using G3BooleanGeometry::PlaneSide;
using G3BooleanGeometry::PlaneValue;

// A segment's box is widened by kBoxMargin, and a ray end must be that far
// off a plane to be on one side of it. A unit ray is in a normal's
// half-space when their dot product exceeds kPlaneSide (its end is off the
// plane through its origin).
using GTolerance::kBoxMargin;
using GTolerance::kInFacet;
using GTolerance::kPlaneSide;
using GTolerance::kZeroNormal;
// Rays drawn before a classifier gives up.
constexpr int kMaxRays = 100;
constexpr double kTwoPi = 6.283185307179586;
// A classification ray in a flat scene leaves the flat axis by at most
// atan(kFlatLean), about 27 degrees.
constexpr double kFlatLean = 0.5;

double NormalLength(const double* n) { return std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]); }

// A unit direction from two draws of the kernel's sequence, uniform on the
// sphere: z uniform in [-1, 1], the angle about z uniform.
void RandomDirection(double* d)
{
    const int r1 = GRand();
    const int r2 = GRand();
    const double z = 2.0 * r1 / G_RAND_MAX - 1.0;
    const double phi = r2 * kTwoPi / G_RAND_MAX;
    const double s = std::sqrt(std::fmax(0.0, 1.0 - z * z));
    d[0] = std::cos(phi) * s;
    d[1] = std::sin(phi) * s;
    d[2] = z;
}

void Along(const double* origin, const double* d, double length, double* end)
{
    for (int k = 0; k < 3; ++k)
        end[k] = origin[k] + length * d[k];
}

// The item as a facet, or null. Collections of facets hold plain facets,
// for which the exact type test is enough.
G3Facet* AsFacet(GObj* item)
{
    if (!item)
        return nullptr;
    if (typeid(*item) == typeid(G3Facet))
        return static_cast<G3Facet*>(item);
    return dynamic_cast<G3Facet*>(item);
}

// The segment p-q as the facet loop sees it: its widened box and, per
// facet, the signed distances and sides of its two ends.
struct Segment {
    Segment(const double* start, const double* end) : p(start), q(end)
    {
        box.Init(p, q);
        box.Extend(kBoxMargin);
    }

    // Whether facet f can meet the segment; if so, fills the ends' values.
    bool Meets(const G3Facet* f)
    {
        if (const G3BooleanFacetData* r = G3BooleanFacetData::Of(f))
            for (int k = 0; k < 3; ++k)
                if (r->min[k] > box.max[k] || r->max[k] < box.min[k])
                    return false;
        if (f->IsPlaneZero())
            return false;
        const double* plane = f->GetPlane();
        dp = PlaneValue(plane, p);
        dq = PlaneValue(plane, q);
        sp = PlaneSide(dp);
        sq = PlaneSide(dq);
        return true;
    }

    // Whether the start lies within the band of the last facet's plane
    // and the segment runs away from the plane (both values of one sign).
    bool StartLeaves() const { return sp == 0 && dp * dq > 0.0; }

    // Where the segment crosses the plane of the last facet tested; the
    // ends are on opposite sides or one of them is on it, so dp != dq.
    void Crossing(double* x) const
    {
        const double t = std::fabs(dp / (dp - dq));
        for (int k = 0; k < 3; ++k)
            x[k] = p[k] + t * (q[k] - p[k]);
    }

    const double* p;
    const double* q;
    GEnvelope box;
    double dp = 0.0;
    double dq = 0.0;
    int sp = 0;
    int sq = 0;
};

enum class Where { Outside, Inside, Boundary };

// Where x lies against f's contours on f's projection pair; on the
// boundary, *a is the vertex it is on (*b null) or *a, *b the ends of the
// edge it is on. Read through the locator held for f (its record's, or
// one of `held`) when there is one, else by walking f's boundary.
Where Locate(const G3Facet* f, const double* x, G3Vertex** a, G3Vertex** b, const G3HeldFacets* held)
{
    *a = *b = nullptr;
    int i = 0;
    int j = 1;
    f->GetMaxCoo(&i, &j);
    const G3BooleanFacetData* r = G3BooleanFacetData::Of(f);
    // A ray crossing a facet's plane mostly does so beside the facet: a
    // point off the facet's box on a projection axis by more than twice the
    // tolerance (corner offsets are rounded differences) is off every
    // contour, and no contour need be walked.
    if (r) {
        const double wide = 2.0 * kInFacet;
        if (x[i] < r->min[i] - wide || x[i] > r->max[i] + wide || x[j] < r->min[j] - wide || x[j] > r->max[j] + wide)
            return Where::Outside;
    }
    const G3FacetLocator* locator = r && r->locator ? r->locator : held ? held->Of(f) : nullptr;
    if (locator) {
        if (!locator->PointInFacet(x, a, b, kInFacet))
            return Where::Outside;
        return *a ? Where::Boundary : Where::Inside;
    }
    if (!f->PointInFacet(i, j, x, a, b, kInFacet))
        return Where::Outside;
    return *a ? Where::Boundary : Where::Inside;
}

Where Locate(const G3Facet* f, const double* x, const G3HeldFacets* held)
{
    G3Vertex* a = nullptr;
    G3Vertex* b = nullptr;
    return Locate(f, x, &a, &b, held);
}

unsigned int CrossingsOf(const G3Facet* f) { return f->GetDoubleSided() ? 2u : 1u; }

SURF_CLASSIFY Parity(unsigned int n) { return (n & 1u) ? SC_INSIDE : SC_OUTSIDE; }

void AddPlaneNormal(double* sum, const G3Facet* f)
{
    if (!f)
        return;
    for (int k = 0; k < 3; ++k)
        sum[k] += f->GetPlane()[k];
}

// Unit length, or zero when there is no direction to keep.
void Normalize(double* n)
{
    const double len = NormalLength(n);
    for (int k = 0; k < 3; ++k)
        n[k] = len > kZeroNormal ? n[k] / len : 0.0;
}

void ClearMarks(GArrayCollection& objects)
{
    for (int k = 0; k < objects.size(); ++k)
        static_cast<G3Obj*>(objects.get(k))->ClearMark();
}

} // namespace

// ------------------------------------------------------------ random rays

void G3BooleanCalculator::ClassificationRay(const double* origin, double* end, int attempt)
{
    double d[3];
    RandomDirection(d);
    if (flatAxis >= 0 && flatAxis < 3 && attempt < kLeanedRays) {
        // Within atan(kFlatLean) of the flat axis, on the side the draw
        // chose: the tilt keeps the direction continuous (no ray runs along
        // the scene's walls but by chance).
        const int a = flatAxis;
        for (int k = 0; k < 3; ++k)
            d[k] = k == a ? (d[k] < 0.0 ? -1.0 - std::fabs(d[k]) : 1.0 + d[k]) : kFlatLean * d[k];
        const double length = NormalLength(d);
        for (double& c : d)
            c /= length;
    }
    Along(origin, d, radius, end);
}

void G3BooleanCalculator::GenerateRandomRay(const double* origin, double* end, double length)
{
    if (!origin || !end)
        return;
    double d[3];
    RandomDirection(d);
    Along(origin, d, length, end);
}

bool G3BooleanCalculator::GenerateRandomRay(const double* origin, double* end, const double* plane, int side,
                                            double length)
{
    if (!origin || !end || !plane)
        return false;
    double d[3];
    if (!(NormalLength(plane) > kZeroNormal)) {
        RandomDirection(d);
        Along(origin, d, length, end);
        return false;
    }
    for (int attempt = 0; attempt < kMaxRays; ++attempt) {
        RandomDirection(d);
        Along(origin, d, length, end);
        if (PlaneValue(plane, end) * side > kBoxMargin)
            return true;
        // The opposite direction, unless it grazes as well (or, from an
        // origin off the plane, does not reach the wanted side either).
        double mirrored[3];
        Along(origin, d, -length, mirrored);
        if (PlaneValue(plane, mirrored) * side > kBoxMargin) {
            for (int k = 0; k < 3; ++k)
                end[k] = mirrored[k];
            return true;
        }
    }
    return false;
}

void G3BooleanCalculator::GenerateRandomRay(const double* origin, double* end, const double* normal, double length)
{
    if (!origin || !end)
        return;
    double d[3];
    RandomDirection(d);
    const double dot = normal ? length * (d[0] * normal[0] + d[1] * normal[1] + d[2] * normal[2]) : 0.0;
    Along(origin, d, dot > kPlaneSide ? length : -length, end);
}

// ------------------------------------------------------------ crossing counts

SURF_CLASSIFY G3BooleanCalculator::TestPointAndFacetList(const double* point, const double* end,
                                                         GArrayCollection* facets, unsigned int* count,
                                                         const G3HeldFacets* held)
{
    if (count)
        *count = 0;
    if (!Finite3(point) || !Finite3(end))
        return SC_UNKNOWN;
    Segment s(point, end);
    unsigned int n = 0;
    const int size = facets ? facets->size() : 0;
    for (int k = 0; k < size; ++k) {
        G3Facet* f = AsFacet(facets->get(k));
        if (!f || !s.Meets(f))
            continue;
        if (count)
            *count = n;
        if (s.sp == 0) {
            if (Locate(f, point, held) != Where::Outside)
                return SC_ON;
            if (s.sq == 0)
                return SC_UNKNOWN; // the whole ray may run in the plane
        }
        if (s.sp == s.sq)
            continue;
        // A start within the plane's band but off the facet, on the same
        // side as the end: the ray's line met the plane behind the start,
        // so the ray crosses nothing here. Mirroring that meeting forwards
        // put a grazing ray's "crossing" several millionths along, inside a
        // facet beside the start, and flipped the count.
        if (s.StartLeaves())
            continue;
        double x[3];
        s.Crossing(x);
        const Where w = Locate(f, x, held);
        if (w == Where::Boundary)
            return SC_UNKNOWN;
        if (w == Where::Inside)
            n += CrossingsOf(f);
    }
    if (count)
        *count = n;
    return Parity(n);
}

SURF_CLASSIFY G3BooleanCalculator::TestRayAndFacetList(const double* start, const double* end,
                                                       GArrayCollection* facets)
{
    if (!Finite3(start) || !Finite3(end))
        return SC_UNKNOWN;
    Segment s(start, end);
    unsigned int n = 0;
    const int size = facets ? facets->size() : 0;
    for (int k = 0; k < size; ++k) {
        G3Facet* f = AsFacet(facets->get(k));
        if (!f || !s.Meets(f))
            continue;
        if (s.sq == 0)
            return SC_UNKNOWN; // an end in a plane, or the segment in it
        if (s.sp == s.sq)
            continue;
        double x[3];
        if (s.sp == 0)
            for (int c = 0; c < 3; ++c)
                x[c] = start[c];
        else
            s.Crossing(x);
        const Where w = Locate(f, x, nullptr);
        if (w == Where::Boundary) {
            GTrace("return unknown.");
            return SC_UNKNOWN;
        }
        if (w == Where::Inside)
            n += CrossingsOf(f);
    }
    return Parity(n);
}

// ------------------------------------------------------------ picking

int G3BooleanCalculator::TestRayAndFacetList(const double* start, const double* end, GArrayCollection* facets,
                                             G3RayTraceResult* result)
{
    if (!result || !Finite3(start) || !Finite3(end))
        return 0;
    GArrayCollection vertices;
    GArrayCollection edges;
    Segment s(start, end);
    int reports = 0;
    const int size = facets ? facets->size() : 0;
    for (int k = 0; k < size; ++k) {
        G3Facet* f = AsFacet(facets->get(k));
        if (!f || !s.Meets(f) || s.sq == 0 || s.sp == s.sq)
            continue;
        double x[3];
        if (s.sp == 0)
            for (int c = 0; c < 3; ++c)
                x[c] = start[c];
        else
            s.Crossing(x);
        G3Vertex* a = nullptr;
        G3Vertex* b = nullptr;
        switch (Locate(f, x, &a, &b, nullptr)) {
        case Where::Outside:
            break;
        case Where::Inside:
            reports += FacetFilter(result, x, nullptr, nullptr, f);
            break;
        case Where::Boundary:
            reports += b ? EdgeFilter(result, x, a, b, &edges) : VertexFilter(result, x, a, &edges, &vertices);
            break;
        }
    }
    ClearMarks(vertices);
    ClearMarks(edges);
    return reports;
}

int G3BooleanCalculator::FacetFilter(G3RayTraceResult* result, const double* point, const double* curvAxis1,
                                     const double* curvAxis2, G3Facet* facet)
{
    if (!result || !point || !facet)
        return 0;
    result->FindFacet(point, facet->GetPlane(), curvAxis1, curvAxis2, facet);
    return 1;
}

int G3BooleanCalculator::EdgeFilter(G3RayTraceResult* result, const double* point, G3Vertex* a, G3Vertex* b,
                                    GArrayCollection* edges)
{
    if (!result || !point || !a || !b)
        return 0;
    int reports = 0;
    for (G3Edge* e = a->GetFirstEdge(); e; e = e->GetVertexEdge(a)) {
        if (e->GetOtherVertex(a) != b || e->GetMark())
            continue;
        if (edges) {
            e->SetMark();
            edges->add(e);
        }
        double normal[3] = {0.0, 0.0, 0.0};
        AddPlaneNormal(normal, e->GetFacet1());
        AddPlaneNormal(normal, e->GetFacet2());
        Normalize(normal);
        result->FindEdge(point, normal, e);
        ++reports;
    }
    return reports;
}

int G3BooleanCalculator::VertexFilter(G3RayTraceResult* result, const double* point, G3Vertex* v,
                                      GArrayCollection* edges, GArrayCollection* vertices)
{
    if (!result || !point || !v || v->GetMark())
        return 0;
    if (vertices) {
        v->SetMark();
        vertices->add(v);
    }
    // Every facet at v has two edges in v's ring, so summing over the ring
    // weighs all of them alike. Edges reported earlier still contribute:
    // the normal does not depend on the order of the facets.
    double normal[3] = {0.0, 0.0, 0.0};
    for (G3Edge* e = v->GetFirstEdge(); e; e = e->GetVertexEdge(v)) {
        AddPlaneNormal(normal, e->GetFacet1());
        AddPlaneNormal(normal, e->GetFacet2());
        if (edges && !e->GetMark()) {
            e->SetMark();
            edges->add(e);
        }
    }
    Normalize(normal);
    result->FindVertex(point, normal, v);
    return 1;
}

// ------------------------------------------------------------ classifiers

SURF_CLASSIFY G3BooleanCalculator::ClassifyVertex(const double* point, GArrayCollection* facets)
{
    if (!(radius > 0.0) || !std::isfinite(radius) || !Finite3(point))
        return SC_UNKNOWN;
    for (int attempt = 0; attempt < kMaxRays; ++attempt) {
        double end[3];
        ClassificationRay(point, end, attempt);
        // The facets along the ray, in list order, when a grid covers the
        // list: the count and its first stop come out as over the list.
        if (!rayCandidates)
            rayCandidates = new GArrayCollection();
        GArrayCollection* along = RayCandidates(point, end, facets, rayCandidates) ? rayCandidates : facets;
        const SURF_CLASSIFY c = TestPointAndFacetList(point, end, along, nullptr, heldFacets);
        if (c != SC_UNKNOWN)
            return c;
    }
    return SC_UNKNOWN;
}

SURF_CLASSIFY G3BooleanCalculator::ClassifyVertex(const double* point, GArrayCollection* facets, G3Grid* index)
{
    if (!index)
        return ClassifyVertex(point, facets);
    if (!(radius > 0.0) || !std::isfinite(radius) || !Finite3(point))
        return SC_UNKNOWN;
    if (!rayCandidates)
        rayCandidates = new GArrayCollection();
    for (int attempt = 0; attempt < kMaxRays; ++attempt) {
        double end[3];
        ClassificationRay(point, end, attempt);
        rayCandidates->clear();
        index->GetFacetByLine(point, end, rayCandidates);
        SortByFacetId(rayCandidates);
        const SURF_CLASSIFY c = TestPointAndFacetList(point, end, rayCandidates, nullptr, heldFacets);
        if (c != SC_UNKNOWN)
            return c;
    }
    return SC_UNKNOWN;
}

// The ray leaves the shared plane on the front side. The facet the point
// lies on counts as a crossing for its own surface, and the coplanar facet
// of the other surface counts for that one; so the two counts differ in
// parity exactly when the other solid lies on the far side of the plane.
SURF_CLASSIFY G3BooleanCalculator::TestOnOpposite(const double* point, const double* plane)
{
    if (!A || !B || !Finite3(point) || !plane || !(NormalLength(plane) > kZeroNormal) || !(radius > 0.0) ||
        !std::isfinite(radius))
        return SC_UNKNOWN;
    SURF_CLASSIFY ra = SC_UNKNOWN;
    SURF_CLASSIFY rb = SC_UNKNOWN;
    if (!rayCandidates)
        rayCandidates = new GArrayCollection();
    // A surface's facets along the ray when a grid covers its list: the
    // verdict is unsure when any facet the ray meets makes it so and the
    // parity of the crossings otherwise, whatever the order, so the facets
    // whose boxes the ray misses can be left out. Walls and slabs sharing
    // their tops make a coplanar piece at every joint, and a scan of both
    // whole lists for each made a storey's union grow with the square of
    // its joints.
    const auto along = [&](const double* end, GArrayCollection* facets) {
        return RayCandidates(point, end, facets, rayCandidates) ? rayCandidates : facets;
    };
    for (int attempt = 0; attempt < kMaxRays; ++attempt) {
        double end[3];
        GenerateRandomRay(point, end, plane, 1, radius);
        if (ra == SC_UNKNOWN)
            ra = TestRayAndFacetList(point, end, along(end, A->GetFacetList()));
        if (rb == SC_UNKNOWN)
            rb = TestRayAndFacetList(point, end, along(end, B->GetFacetList()));
        if (ra != SC_UNKNOWN && rb != SC_UNKNOWN)
            return ra == rb ? SC_ON_SAME : SC_ON_OPPOSITE;
    }
    return SC_UNKNOWN;
}

// ------------------------------------------------------------ large facets

void G3BooleanCalculator::HoldLargeFacets(G3Surface* s)
{
    GArrayCollection* facets = s ? s->GetFacetList() : nullptr;
    for (int k = 0; facets && k < facets->size(); ++k) {
        G3Facet* f = static_cast<G3Facet*>(facets->get(k));
        G3BooleanFacetData* r = G3BooleanFacetData::Of(f);
        if (r && !r->locator)
            r->locator = NewLocatorForLargeFacet(f);
    }
}
