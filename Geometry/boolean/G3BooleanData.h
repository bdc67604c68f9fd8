#pragma once
// The boolean engine's working data: while a surface takes part in a
// boolean or a classification, every facet and every vertex carries a
// record in its scratch link (G3Obj::exData). The records come from the
// arena of a shell provider attached to the surface, which creates them as
// entities enter the shell and takes them away as entities leave it.
// G3BooleanCalculator::OpenBoolean attaches the provider and opens every
// existing entity; CloseBoolean closes them all and removes it, leaving
// every scratch link clear.
//
// Edges, normals, texture coordinates and polyedges get no record.

#include "Geometry/boolean/G3SurfClassify.h"
#include "Geometry/foundation/GMemoryAllocator.h"
#include "Geometry/math/GEnvelope.h"
#include "Geometry/mesh/G3ShellExDataProvider.h"

#include <memory>
#include <unordered_map>
#include <vector>

class GArrayCollection;
class G3Facet;
class G3IntervalList;
class G3FacetLocator;
class G3Vertex;

// A facet's record: the facet's box widened by 9.999999999999999e-6 on
// every side (empty for a facet without edges), its classification, and
// the segments found on it (null until the first one; owned, deleted when
// the facet is closed).
class G3BooleanFacetData final : public GEnvelope {
public:
    G3BooleanFacetData() = default;
    G3BooleanFacetData(const G3BooleanFacetData&) = delete;
    G3BooleanFacetData& operator=(const G3BooleanFacetData&) = delete;

    // The record in f's scratch link, or null when f has none (no provider
    // opened it, or the link holds something else).
    static G3BooleanFacetData* Of(const G3Facet* f);

    SURF_CLASSIFY classify = SC_UNKNOWN;
    G3IntervalList* segments = nullptr;
    // The facet's boundary held for the rays' point-in-facet tests (facets
    // with many contours only); deleted with the segments.
    G3FacetLocator* locator = nullptr;
};

// The box the engine's open-bordered grids over the records of `facets`
// are sized to: G3Grid::BulkBox of the corners of the records that meet
// `within` (every non-empty record when within is null), inside within.
// A few facets far off (a marker at the origin, a part left a kilometre
// away) would otherwise stretch a grid's cells over the whole model.
void G3RecordsBulkBox(GArrayCollection* facets, const GEnvelope* within, GEnvelope* out);

// A vertex's record: its classification.
class G3BooleanVertexData final : public GObj {
public:
    // The record in v's scratch link, or null.
    static G3BooleanVertexData* Of(const G3Vertex* v);

    SURF_CLASSIFY classify = SC_UNKNOWN;
};

// The shell provider behind the records. Opening a facet or vertex puts a
// fresh record in its scratch link; closing it deletes a facet's segment
// list and clears the link (only when the link still holds this provider's
// record). The destructor deletes the segment lists of facets that were
// never closed (deleted while the provider was attached) and frees every
// record with the arena.
class G3BooleanDataProvider final : public G3ShellExDataProvider {
public:
    // With formPlanes, each facet opened forms its plane too, in the walk
    // that forms its box, until FormPlanes(false).
    explicit G3BooleanDataProvider(bool formPlanes = false) : formPlanes(formPlanes) {}
    G3BooleanDataProvider(const G3BooleanDataProvider&) = delete;
    G3BooleanDataProvider& operator=(const G3BooleanDataProvider&) = delete;
    ~G3BooleanDataProvider() override;

    void OpenExDataVertex(G3Vertex* v) override;
    void CloseExDataVertex(G3Vertex* v) override;
    void OpenExDataFacet(G3Facet* f) override;
    void CloseExDataFacet(G3Facet* f) override;
    bool IsExDataVertex() override { return true; }
    bool IsExDataFacet() override { return true; }
    void FormPlanes(bool on) { formPlanes = on; }

private:
    GMemoryAllocator arena;
    bool formPlanes = false;
    // Every facet record made, in order of opening, so that segment lists
    // of facets that were deleted without being closed are not lost.
    std::vector<G3BooleanFacetData*> facetRecords;
};

// A locator for f when it has many contours (64 edges or more, 8 contours
// or more: below that one walk of its chain costs less than the locator's
// box tests), else null. The caller owns it.
G3FacetLocator* NewLocatorForLargeFacet(const G3Facet* f);

// Locators of large facets held outside a boolean, where no record can
// carry them (a section's pieces): f's locator, or null.
class G3HeldFacets {
public:
    G3HeldFacets();
    ~G3HeldFacets();
    G3HeldFacets(const G3HeldFacets&) = delete;
    G3HeldFacets& operator=(const G3HeldFacets&) = delete;
    // Holds f when it is large.
    void Hold(const G3Facet* f);
    const G3FacetLocator* Of(const G3Facet* f) const;

private:
    std::unordered_map<const G3Facet*, std::unique_ptr<G3FacetLocator>> locators;
};
