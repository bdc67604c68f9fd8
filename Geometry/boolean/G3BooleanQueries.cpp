// Point and segment queries against one prepared surface. Invariants:
// - between OpenFindIntersection and CloseFindIntersection the surface
//   carries the working data and every facet sits in the query tree under
//   its record's box (and in the grid, built by the first query that reads
//   it); outside that period every query answers "nothing";
// - the facets a query tests are taken from the tree or the grid in facet
//   index order, so answers do not depend on the tree's shape or the
//   grid's cells;
// - the rays are twice the diagonal of the surface's widened box long, so
//   they always end outside it.
// Rounding: only the crossing point of a segment with a facet's plane.
#include "Geometry/boolean/G3BooleanCalculator.h"

#include "Geometry/boolean/G3BCPointWriter.h"
#include "Geometry/boolean/G3BooleanData.h"
#include "Geometry/boolean/G3IntervalList.h"
#include "Geometry/boolean/G3BooleanGeometry.h"
#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/math/GTolerance.h"
#include "Geometry/mesh/G3Facet.h"
#include "Geometry/mesh/G3FacetTree.h"
#include "Geometry/mesh/G3Grid.h"
#include "Geometry/mesh/G3Point.h"
#include "Geometry/mesh/G3Surface.h"

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

namespace {

using G3BooleanGeometry::Finite3;
using G3BooleanGeometry::PlaneSide;
using G3BooleanGeometry::PlaneValue;

using GTolerance::kBoxMargin;
using GTolerance::kInFacet;
using GTolerance::kPlaneSide;
using GTolerance::kZeroNormal;

// Cells per axis of the query grid: kQueryCellsPerCubeRoot times the cube
// root of the facet count, within kMinQueryCells..kMaxQueryCells. A fixed
// count left a large mesh's cells holding many facets each, all of them
// tested by every ray through the cell; answers do not depend on the count.
constexpr double kQueryCellsPerCubeRoot = 2.0;
constexpr int kMinQueryCells = 32;
constexpr int kMaxQueryCells = 256;

int QueryCells(int facets)
{
    const int cells = static_cast<int>(kQueryCellsPerCubeRoot * std::cbrt(static_cast<double>(facets)));
    return cells < kMinQueryCells ? kMinQueryCells : cells > kMaxQueryCells ? kMaxQueryCells : cells;
}
// Rays drawn before a classifier gives up.
constexpr int kMaxRays = 100;

bool InFacet(const G3Facet* f, const double* p)
{
    int i = 0;
    int j = 1;
    f->GetMaxCoo(&i, &j);
    return f->PointInFacet(i, j, p, nullptr, nullptr, kInFacet);
}

// The box of p and q widened by the engine's margin.
GEnvelope SegmentBox(const double* p, const double* q)
{
    GEnvelope box;
    box.Init(p, q);
    box.Extend(kBoxMargin);
    return box;
}

// The fraction of p + t d, 0 <= t <= 1, that lies in the box (0 when the
// segment misses it).
double FractionIn(const GEnvelope& box, const double* p, const double* d)
{
    double t0 = 0.0;
    double t1 = 1.0;
    for (int a = 0; a < 3; ++a) {
        if (d[a] == 0.0) {
            if (p[a] < box.min[a] || p[a] > box.max[a])
                return 0.0;
            continue;
        }
        double u = (box.min[a] - p[a]) / d[a];
        double v = (box.max[a] - p[a]) / d[a];
        if (u > v)
            std::swap(u, v);
        t0 = std::fmax(t0, u);
        t1 = std::fmin(t1, v);
    }
    return t1 > t0 ? t1 - t0 : 0.0;
}

// The distance from p to the box (0 inside it).
double DistanceToBox(const GEnvelope& box, const double* p)
{
    double d2 = 0.0;
    for (int a = 0; a < 3; ++a) {
        const double off = p[a] < box.min[a] ? box.min[a] - p[a] : p[a] > box.max[a] ? p[a] - box.max[a] : 0.0;
        d2 += off * off;
    }
    return std::sqrt(d2);
}

bool RecordMeets(const G3Facet* f, const GEnvelope& box)
{
    const G3BooleanFacetData* r = G3BooleanFacetData::Of(f);
    return !r || r->IsIntersectXYZ(&box);
}

} // namespace

// The grid's facets along p-q into candidates, ascending id.
void G3BooleanCalculator::FacetsAlong(const double* p, const double* q)
{
    candidates->clear();
    grid->GetFacetByLine(p, q, candidates);
    SortByFacetId(candidates);
}

bool G3BooleanCalculator::QueryGrid()
{
    if (grid)
        return true;
    if (!queryTree || !A)
        return false;
    GArrayCollection* facets = A->GetFacetList();
    const double cells = QueryCells(facets ? facets->size() : 0);
    // Over the bulk of the facets, the border cells holding the few far off.
    GEnvelope bulk;
    G3RecordsBulkBox(facets, &envCommon, &bulk);
    int perAxis[3];
    G3Grid::SizeCells(&bulk, cells * cells * cells, perAxis);
    grid = new G3Grid(&bulk, perAxis, true);
    for (int k = facets ? facets->size() - 1 : -1; k >= 0; --k) {
        G3Facet* f = static_cast<G3Facet*>(facets->get(k));
        if (G3BooleanFacetData* r = G3BooleanFacetData::Of(f))
            grid->AddFacet(f, r);
    }
    return true;
}

bool G3BooleanCalculator::OpenFindIntersection(G3Surface* s)
{
    if (!s || !OpenBoolean(s))
        return false;
    s->FormEnvelope(&envCommon);
    envCommon.Extend(kBoxMargin);
    delete grid;
    grid = nullptr;
    // The rays of FindVertexClassify ask the tree, the same facets in the
    // order the grid's answers are sorted into. A facet whose box a ray
    // misses is one the ray neither crosses nor starts on; the grid's
    // cells also hand over those, and the tests then rule them out.
    GArrayCollection* facets = s->GetFacetList();
    std::vector<G3Facet*> byId;
    for (int k = 0; facets && k < facets->size(); ++k) {
        G3Facet* f = static_cast<G3Facet*>(facets->get(k));
        if (G3BooleanFacetData::Of(f))
            byId.push_back(f);
    }
    std::sort(byId.begin(), byId.end(), [](const G3Facet* a, const G3Facet* b) { return a->GetId() < b->GetId(); });
    delete queryTree;
    queryTree = new G3FacetTree();
    for (G3Facet* f : byId)
        queryTree->Add(f, *G3BooleanFacetData::Of(f), kBoxMargin);
    queryTree->Build();
    A = s;
    AimRays(envCommon);
    return true;
}

bool G3BooleanCalculator::CloseFindIntersection(G3Surface* s)
{
    delete grid;
    grid = nullptr;
    delete queryTree;
    queryTree = nullptr;
    if (A == s)
        A = nullptr;
    return CloseBoolean(s);
}

G3Facet* G3BooleanCalculator::FindFacet(const double* p)
{
    if (!QueryGrid() || !Finite3(p))
        return nullptr;
    FacetsAlong(p, p);
    const GEnvelope box = SegmentBox(p, p);
    for (int k = candidates->size() - 1; k >= 0; --k) {
        G3Facet* f = static_cast<G3Facet*>(candidates->get(k));
        if (f->IsPlaneZero() || !RecordMeets(f, box))
            continue;
        if (std::fabs(PlaneValue(f->GetPlane(), p)) < kPlaneSide && InFacet(f, p))
            return f;
    }
    return nullptr;
}

int G3BooleanCalculator::FindIntersections(const double* p, const double* q, G3BCPointWriter* w)
{
    if (!w || !Finite3(p) || !Finite3(q) || !QueryGrid())
        return 0;
    FacetsAlong(p, q);
    const GEnvelope box = SegmentBox(p, q);
    int reported = 0;
    G3IntervalList cut;
    for (int k = candidates->size() - 1; k >= 0; --k) {
        G3Facet* f = static_cast<G3Facet*>(candidates->get(k));
        if (f->IsPlaneZero() || !RecordMeets(f, box))
            continue;
        const double* plane = f->GetPlane();
        const double dp = PlaneValue(plane, p);
        const double dq = PlaneValue(plane, q);
        const int sp = PlaneSide(dp);
        const int sq = PlaneSide(dq);
        if (sp == 0 && sq == 0) {
            // The plane through the segment, upright on the facet.
            const double d[3] = {q[0] - p[0], q[1] - p[1], q[2] - p[2]};
            double n[4] = {plane[1] * d[2] - plane[2] * d[1], plane[2] * d[0] - plane[0] * d[2],
                           plane[0] * d[1] - plane[1] * d[0], 0.0};
            const double len = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
            if (!(len > kZeroNormal))
                continue;
            for (int c = 0; c < 3; ++c)
                n[c] /= len;
            n[3] = -(n[0] * p[0] + n[1] * p[1] + n[2] * p[2]);
            cut.Clear();
            if (f->IntersectByPlaneConcave(n, &cut) == 0)
                continue;
            GArrayCollection* points = cut.GetPointList();
            for (int c = points ? points->size() - 1 : -1; c >= 0; --c) {
                w->WritePoint(static_cast<G3Point*>(points->get(c))->GetXYZ(), f);
                ++reported;
            }
        } else if (sp == 0) {
            if (InFacet(f, p)) {
                w->WritePoint(p, f);
                ++reported;
            }
        } else if (sq != 0 && sp != sq) {
            const double t = std::fabs(dp / (dp - dq));
            const double x[3] = {p[0] + t * (q[0] - p[0]), p[1] + t * (q[1] - p[1]), p[2] + t * (q[2] - p[2])};
            if (InFacet(f, x)) {
                w->WritePoint(x, f);
                ++reported;
            }
        }
    }
    return reported;
}

SURF_CLASSIFY G3BooleanCalculator::FindVertexClassify(const double* point)
{
    if (!queryTree || !Finite3(point) || !(radius > 0.0) || !std::isfinite(radius))
        return SC_UNKNOWN;
    for (int attempt = 0; attempt < kMaxRays; ++attempt) {
        double end[3];
        ClassificationRay(point, end, attempt);
        // A ray and its opposite give the same answer; the one that spends
        // less of its length in the surface's box meets fewer facet boxes
        // (from a point outside the box, often none).
        const double d[3] = {end[0] - point[0], end[1] - point[1], end[2] - point[2]};
        const double back[3] = {-d[0], -d[1], -d[2]};
        if (FractionIn(envCommon, point, back) < FractionIn(envCommon, point, d))
            for (int k = 0; k < 3; ++k)
                end[k] = point[k] + back[k];
        candidates->clear();
        queryTree->FacetsAlong(point, end, candidates);
        const SURF_CLASSIFY c = TestPointAndFacetList(point, end, candidates, nullptr);
        if (c != SC_UNKNOWN)
            return c;
    }
    return SC_UNKNOWN;
}

SURF_CLASSIFY G3BooleanCalculator::FindRayClassify(const double* point, const double* toward, G3Facet*)
{
    if (!Finite3(point) || !Finite3(toward) || !(radius > 0.0) || !std::isfinite(radius) || !QueryGrid())
        return SC_UNKNOWN;
    const double dir[3] = {toward[0] - point[0], toward[1] - point[1], toward[2] - point[2]};
    // The ray length reaches beyond the box from any point of it; from a
    // point outside, the way to the box comes on top, or a ray aimed at the
    // surface ended inside the solid and an outside point came out inside.
    const double length = radius + DistanceToBox(envCommon, point);
    for (int attempt = 0; attempt < kMaxRays; ++attempt) {
        double end[3];
        GenerateRandomRay(point, end, dir, length);
        FacetsAlong(point, end);
        const SURF_CLASSIFY c = TestRayAndFacetList(point, end, candidates);
        if (c != SC_UNKNOWN)
            return c;
    }
    return SC_UNKNOWN;
}
