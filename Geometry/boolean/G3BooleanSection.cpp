// Sections of a surface by planes: the segments where the planes cut the
// facets, and the planar faces those segments bound. Invariants:
// - a plane takes part only with a finite, non-zero normal; it is used
//   normalised, so its 1e-6 side band is a distance;
// - a facet lying in a plane gives its edges as they are; a facet crossing
//   or touching it gives the paired crossings of its boundary;
// - the section surface is built from fresh vertices and never shares an
//   entity with the sectioned surface, which is left unchanged.
// Rounding: the crossing points of the plane cut, and the contour graph's
// splits where section segments cross.
#include "Geometry/boolean/G3BooleanCalculator.h"

#include "Geometry/boolean/G3Interval.h"
#include "Geometry/boolean/G3IntervalList.h"
#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/math/GTolerance.h"
#include "Geometry/mesh/G3Edge.h"
#include "Geometry/mesh/G3Facet.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/mesh/G3Vertex.h"
#include "Geometry/processing/G3EdgeList.h"

#include <cmath>
#include <functional>

namespace {

using GTolerance::kZeroNormal;

// Facet cut results of IntersectByPlaneConcave.
constexpr int kCutNone = 0;
constexpr int kCutInPlane = 3;
// Flags of the section's edges and facets, and the sub-surface number.
constexpr int kSectionFlags = 1;

// Plane k of `planes`, normalised; false for a non-finite or zero normal.
bool UnitPlane(const double* planes, int k, double* out)
{
    const double* p = planes + 4 * k;
    for (int c = 0; c < 4; ++c)
        if (!std::isfinite(p[c]))
            return false;
    const double len = std::sqrt(p[0] * p[0] + p[1] * p[1] + p[2] * p[2]);
    if (!(len > kZeroNormal))
        return false;
    for (int c = 0; c < 4; ++c)
        out[c] = p[c] / len;
    return true;
}

// Calls `emit` with the ends of every piece facet f gives in `plane`: its
// edges when it lies in the plane, else its paired boundary crossings (last
// to first).
void CutPieces(G3Facet* f, const double* plane, G3IntervalList* cut,
               const std::function<void(const double*, const double*)>& emit)
{
    cut->Clear();
    const int r = f->IntersectByPlaneConcave(plane, cut);
    if (r == kCutNone)
        return;
    if (r == kCutInPlane) {
        GArrayCollection edges;
        f->GetEdges(&edges);
        for (int k = 0; k < edges.size(); ++k) {
            G3Edge* e = static_cast<G3Edge*>(edges.get(k));
            emit(e->GetVertex1()->GetXYZ(), e->GetVertex2()->GetXYZ());
        }
        return;
    }
    cut->BuildIntervals();
    for (int k = cut->GetIntervalCount() - 1; k >= 0; --k) {
        G3Interval* iv = cut->GetInterval(k);
        if (iv && iv->GetPoint1() && iv->GetPoint2())
            emit(iv->GetXYZ1(), iv->GetXYZ2());
    }
}

} // namespace

bool G3BooleanCalculator::Divide(G3Surface* s, int n, const double* planes, G3IntervalList* out)
{
    if (!s || !planes || n <= 0 || !out || !s->GetFacetList())
        return false;
    GArrayCollection* facets = s->GetFacetList();
    G3IntervalList cut;
    for (int k = 0; k < n; ++k) {
        double plane[4];
        if (!UnitPlane(planes, k, plane))
            continue;
        for (int i = facets->size() - 1; i >= 0; --i) {
            G3Facet* f = static_cast<G3Facet*>(facets->get(i));
            CutPieces(f, plane, &cut, [out](const double* a, const double* b) { out->AddInterval(a, b); });
        }
    }
    return !out->IsEmpty();
}

bool G3BooleanCalculator::Divide(G3Surface* s, int n, const double* planes, G3Surface** out)
{
    if (!out)
        return false;
    *out = nullptr;
    if (!s || !planes || n <= 0 || !s->GetFacetList())
        return false;
    G3Surface* section = new G3Surface();
    GArrayCollection* facets = s->GetFacetList();
    G3IntervalList cut;
    for (int k = 0; k < n; ++k) {
        double plane[4];
        if (!UnitPlane(planes, k, plane))
            continue;
        GArrayCollection pieces;
        for (int i = facets->size() - 1; i >= 0; --i) {
            G3Facet* f = static_cast<G3Facet*>(facets->get(i));
            if (f->GetDoubleSided())
                continue;
            CutPieces(f, plane, &cut, [&](const double* a, const double* b) {
                G3Edge* e = new G3Edge(section->AddVertex(a, 0), section->AddVertex(b, 0));
                e->SetFlags(kSectionFlags);
                pieces.add(e);
            });
        }
        if (pieces.size() > 0) {
            G3EdgeList* list = new G3EdgeList(&pieces, kSectionFlags, kSectionFlags);
            list->SetPlane(plane);
            GArrayCollection contours;
            list->RemoveSelfIntersections(&contours, section, false, UNION_EDGE_KEEP_TWO, 0);
            section->GetExtendedDataFacetDefault() = s->GetExtendedDataFacetDefault();
            section->AddFacets(&contours);
            delete list;
        }
        for (int i = 0; i < pieces.size(); ++i)
            delete pieces.get(i);
    }
    if (section->GetFacetCount() == 0) {
        delete section;
        return false;
    }
    section->RemoveUnused();
    section->ReallocByRealSize();
    *out = section;
    return true;
}
