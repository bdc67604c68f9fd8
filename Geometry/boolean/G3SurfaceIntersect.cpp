// The pairing pass: facet pairs whose widened boxes meet are cut against
// each other's planes, and each facet of a pair records the segments the
// two share. Invariants:
// - a pair is tested only when both facets have records, non-zero planes
//   and meeting boxes; a facet is never paired with itself;
// - a segment is recorded on both facets of its pair, or on neither;
// - candidates are taken in facet index order, so what a facet records,
//   and in which order, does not depend on the grid's cell count;
// - the grid lives only for the pass (the calculator's grid is null after).
// Rounding: the crossing points of the plane cuts (IntersectByPlaneConcave)
// are the only computed coordinates.
#include "Geometry/boolean/G3BooleanCalculator.h"

#include "Geometry/boolean/G3BooleanData.h"
#include "Geometry/boolean/G3IntervalList.h"
#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/foundation/GTrace.h"
#include "Geometry/math/GTolerance.h"
#include "Geometry/mesh/G3Facet.h"
#include "Geometry/mesh/G3Grid.h"
#include "Geometry/mesh/G3Surface.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

// The pairing grid holds about kFacetsPerCell facets per occupied cell of a
// surface spread over the box: a surface of N facets occupies about n^2 of
// the n^3 cells, so n grows as the square root of N / kFacetsPerCell. The
// cap keeps the cell array (n^3 pointers) small. The n^3 cells are shaped
// to the box (a storey gets flat ones).
constexpr double kFacetsPerCell = 4.0;
constexpr int kMaxPairingCells = 128;

int PairingCells(int facets)
{
    const double n = std::ceil(std::sqrt(std::max(1, facets) / kFacetsPerCell));
    return static_cast<int>(std::min<double>(kMaxPairingCells, std::max(1.0, n)));
}

void Record(G3Facet* f, G3IntervalList* list)
{
    G3BooleanFacetData* r = G3BooleanFacetData::Of(f);
    if (!r)
        return;
    if (!r->segments)
        r->segments = new G3IntervalList();
    r->segments->Merge(list);
}

// The number of facets of s whose records meet `box`.
int CountInBox(G3Surface* s, const GEnvelope* box)
{
    int n = 0;
    GArrayCollection* facets = s->GetFacetList();
    for (int k = 0; facets && k < facets->size(); ++k) {
        const G3BooleanFacetData* r = G3BooleanFacetData::Of(static_cast<G3Facet*>(facets->get(k)));
        if (r && r->IsIntersectXYZ(box))
            ++n;
    }
    return n;
}

void FillGrid(G3Grid* grid, G3Surface* s, const GEnvelope* box)
{
    GArrayCollection* facets = s->GetFacetList();
    for (int k = 0; facets && k < facets->size(); ++k) {
        G3Facet* f = static_cast<G3Facet*>(facets->get(k));
        G3BooleanFacetData* r = G3BooleanFacetData::Of(f);
        if (r && r->IsIntersectXYZ(box))
            grid->AddFacet(f, r);
    }
}

} // namespace

void G3BooleanCalculator::SortByFacetId(GArrayCollection* facets)
{
    if (!facets)
        return;
    // Ids are unique within a surface, so the order is total.
    std::vector<GObj*> items(facets->toArray(), facets->toArray() + facets->size());
    std::sort(items.begin(), items.end(), [](GObj* a, GObj* b) {
        return static_cast<G3Facet*>(a)->GetId() < static_cast<G3Facet*>(b)->GetId();
    });
    for (int k = 0; k < facets->size(); ++k)
        facets->put(k, items[static_cast<std::size_t>(k)]);
}

void G3BooleanCalculator::IntersectFacetProcessor(G3Facet* F)
{
    const G3BooleanFacetData* rf = G3BooleanFacetData::Of(F);
    if (!rf || F->IsPlaneZero() || !candidates)
        return;
    G3IntervalList lf;
    G3IntervalList lg;
    for (int k = 0; k < candidates->size(); ++k) {
        G3Facet* G = dynamic_cast<G3Facet*>(candidates->get(k));
        const G3BooleanFacetData* rg = G3BooleanFacetData::Of(G);
        if (!G || G == F || !rg || !rg->IsIntersectXYZ(rf) || G->IsPlaneZero())
            continue;
        // Whether the two lie in one plane is asked both ways: a face
        // leaning by a hair against a flush face lies in the other's band
        // one way round only (its far corners are nearer), and the pair
        // cut as crossing there left the overlap's outline uncut in one of
        // them.
        const int cutG = G->IntersectByPlaneConcave(F->GetPlane(), &lg);
        if (cutG == 0)
            continue;
        const int cutF = cutG == 3 ? 3 : F->IntersectByPlaneConcave(G->GetPlane(), &lf);
        if (cutF == 0)
            continue;
        if (cutG == 3 || cutF == 3) {
            GTrace("Lie");
            G3IntervalList overlap;
            if (F->FindFacetsIntersection(G, &overlap)) {
                Record(F, &overlap);
                Record(G, &overlap);
            }
            continue;
        }
        lf.BuildIntervals();
        lg.SetMaxCoo(&lf);
        lg.BuildIntervals();
        if (lf.GetIntersectionType(&lg) != INTERVAL_LIST_INTERSECT)
            continue;
        G3IntervalList* shared = lf.Intersect(&lg);
        if (shared && !shared->IsEmpty()) {
            Record(F, shared);
            Record(G, shared);
        }
        delete shared;
    }
}

void G3BooleanCalculator::PairWithGrid(G3Surface* other)
{
    delete grid;
    const double cells = PairingCells(CountInBox(other, &envCommon));
    int perAxis[3];
    G3Grid::SizeCells(&envCommon, cells * cells * cells, perAxis);
    grid = new G3Grid(&envCommon, perAxis);
    FillGrid(grid, other, &envCommon);
    GArrayCollection* facets = A->GetFacetList();
    for (int k = 0; k < facets->size(); ++k) {
        G3Facet* f = static_cast<G3Facet*>(facets->get(k));
        G3BooleanFacetData* r = G3BooleanFacetData::Of(f);
        if (!r || !r->IsIntersectXYZ(&envCommon))
            continue;
        grid->GetFacetsByFacet(f, r, candidates);
        if (other == A) {
            // Each pair once, from its lower index: the processor records
            // what it finds on both facets.
            int kept = 0;
            for (int c = 0; c < candidates->size(); ++c) {
                G3Facet* g = static_cast<G3Facet*>(candidates->get(c));
                if (g->GetId() > f->GetId())
                    candidates->put(kept++, g);
            }
            candidates->size(kept);
        }
        SortByFacetId(candidates);
        IntersectFacetProcessor(f);
    }
    candidates->clear();
    delete grid;
    grid = nullptr;
}

void G3BooleanCalculator::Divide()
{
    if (clip != G_CLIP_DISJOINT && A && B && A->GetFacetList() && B->GetFacetList())
        PairWithGrid(B);
}

void G3BooleanCalculator::DivideSelf()
{
    if (A && A->GetFacetList())
        PairWithGrid(A);
}

bool G3BooleanCalculator::SurfaceSurfaceIntersect(G3Surface* a, G3Surface* b, G3IntervalList* out)
{
    A = a;
    B = b;
    if (!a || !b || a == b || !OpenBoolean()) {
        A = B = nullptr;
        return false;
    }
    Divide();
    GArrayCollection* facets = B->GetFacetList();
    for (int k = 0; out && facets && k < facets->size(); ++k) {
        const G3BooleanFacetData* r = G3BooleanFacetData::Of(static_cast<G3Facet*>(facets->get(k)));
        if (r && r->segments)
            out->Merge(r->segments);
    }
    for (G3Surface* s : {A, B}) {
        GArrayCollection* list = s->GetFacetList();
        while (list && list->size() > 0)
            s->RemoveFacet(static_cast<G3Facet*>(list->getLast()));
    }
    CloseBoolean();
    A = B = nullptr;
    return true;
}
