// The boolean engine's per-entity records. Invariants:
// - while the provider is attached, every opened vertex and facet has its
//   record in its scratch link, and a facet record's box covers the facet's
//   vertices as they were when it was opened, widened by the engine's box
//   margin;
// - a segment list (and a locator) belongs to exactly one record and is
//   deleted once: by closing the facet (which nulls it) or, for a facet
//   never closed, by the provider's destructor;
// - closing an entity leaves its scratch link clear.
#include "Geometry/boolean/G3BooleanData.h"

#include "Geometry/boolean/G3IntervalList.h"
#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/math/GTolerance.h"
#include "Geometry/mesh/G3Facet.h"
#include "Geometry/mesh/G3FacetLocator.h"
#include "Geometry/mesh/G3Grid.h"
#include "Geometry/mesh/G3Edge.h"
#include "Geometry/mesh/G3Vertex.h"

#include <typeinfo>

namespace {

using GTolerance::kBoxMargin;

// The link's object when it is exactly of type T. The records are final,
// so an exact type match is the whole test, and it is cheaper than a
// dynamic_cast in the classification loops.
template <class T>
T* RecordIn(GObj* link)
{
    if (!link || typeid(*link) != typeid(T))
        return nullptr;
    return static_cast<T*>(link);
}

} // namespace

G3BooleanFacetData* G3BooleanFacetData::Of(const G3Facet* f)
{
    return f ? RecordIn<G3BooleanFacetData>(f->GetExData()) : nullptr;
}

G3BooleanVertexData* G3BooleanVertexData::Of(const G3Vertex* v)
{
    return v ? RecordIn<G3BooleanVertexData>(v->GetExData()) : nullptr;
}

G3BooleanDataProvider::~G3BooleanDataProvider()
{
    for (G3BooleanFacetData* r : facetRecords) {
        delete r->segments;
        r->segments = nullptr;
        delete r->locator;
        r->locator = nullptr;
    }
}

void G3BooleanDataProvider::OpenExDataVertex(G3Vertex* v)
{
    if (v)
        v->SetExData(new (&arena) G3BooleanVertexData());
}

void G3BooleanDataProvider::CloseExDataVertex(G3Vertex* v)
{
    if (G3BooleanVertexData::Of(v))
        v->SetExData(nullptr);
}

void G3BooleanDataProvider::OpenExDataFacet(G3Facet* f)
{
    if (!f)
        return;
    G3BooleanFacetData* r = new (&arena) G3BooleanFacetData();
    if (f->HasEdges()) {
        if (formPlanes)
            f->FormPlaneEquation(r);
        else
            f->FormEnvelope(r);
        r->Extend(kBoxMargin);
    } else {
        if (formPlanes)
            f->FormPlaneEquation();
        GEnvelope::InitDefault(r); // meets no segment
    }
    facetRecords.push_back(r);
    f->SetExData(r);
}

void G3BooleanDataProvider::CloseExDataFacet(G3Facet* f)
{
    G3BooleanFacetData* r = G3BooleanFacetData::Of(f);
    if (!r)
        return;
    delete r->segments;
    r->segments = nullptr;
    delete r->locator;
    r->locator = nullptr;
    f->SetExData(nullptr);
}

// ---- large facets

namespace {

constexpr int kHeldFacetEdges = 64;
constexpr int kHeldFacetContours = 8;

bool ChainReaches(const G3Facet* f, int edges)
{
    int n = 0;
    for (const G3Edge* e = f->GetFirstEdge(); e && n < edges; e = e->GetFacetEdge(f))
        ++n;
    return n >= edges;
}

} // namespace

G3FacetLocator* NewLocatorForLargeFacet(const G3Facet* f)
{
    if (!f || !ChainReaches(f, kHeldFacetEdges))
        return nullptr;
    int i = 0;
    int j = 1;
    f->GetMaxCoo(&i, &j);
    auto held = std::make_unique<G3FacetLocator>(f, i, j);
    return held->GetContourCount() >= kHeldFacetContours ? held.release() : nullptr;
}

G3HeldFacets::G3HeldFacets() = default;

G3HeldFacets::~G3HeldFacets() = default;

void G3HeldFacets::Hold(const G3Facet* f)
{
    if (G3FacetLocator* held = NewLocatorForLargeFacet(f))
        locators[f].reset(held);
}

const G3FacetLocator* G3HeldFacets::Of(const G3Facet* f) const
{
    if (locators.empty())
        return nullptr;
    const auto it = locators.find(f);
    return it == locators.end() ? nullptr : it->second.get();
}

void G3RecordsBulkBox(GArrayCollection* facets, const GEnvelope* within, GEnvelope* out)
{
    std::vector<double> corners;
    for (int k = 0; facets && k < facets->size(); ++k) {
        const G3BooleanFacetData* r = G3BooleanFacetData::Of(static_cast<const G3Facet*>(facets->get(k)));
        if (!r || r->IsDefault() || (within && !r->IsIntersectXYZ(within)))
            continue;
        corners.insert(corners.end(), r->min, r->min + 3);
        corners.insert(corners.end(), r->max, r->max + 3);
    }
    G3Grid::BulkBox(corners, within, out);
}
