#pragma once
// G3HoleMaker cuts openings (chimneys, roof windows) through a surface with
// two faces lying one behind the other along a direction, such as the two
// layers of a thick roof. Each registered outline is projected along its
// direction onto the surface; the two facets the projection passes through
// are rebuilt with the projected outlines as holes, and each opening is
// closed by one wall quad per outline edge. A rebuilt facet carries the
// extended data and object-provider records (the roof's (index, type)) of
// the facet it replaces; the walls carry none.
//
// Defined in Geometry/contour/G3HoleMaker.cpp. The surface is not owned; a
// short-lived tool, used by one thread.

#include "Geometry/foundation/GArrayCollection.h"

#include <vector>

class G3Facet;
class G3Point;
class G3Surface;

class G3HoleMaker {
public:
    explicit G3HoleMaker(G3Surface* surface);
    // Releases the registered outlines, directions and hole records (never
    // the surface).
    ~G3HoleMaker();
    // The outlines and records belong to one hole maker: a copy would
    // release them twice.
    G3HoleMaker(const G3HoleMaker&) = delete;
    G3HoleMaker& operator=(const G3HoleMaker&) = delete;

    // Registers a copy of `outline` (G3Points, each once, the first not
    // repeated) and of `direction`. Returns false in every case; a null
    // argument or an entry that is not a G3Point registers nothing.
    bool AddHoleContour(GArrayCollection* outline, G3Point* direction);
    // Cuts every registered hole not cut by an earlier call: the records
    // are built anew from them (FillHoleDataList), every pierced facet is
    // rebuilt once with all its openings, the walls are added, then the
    // surface is welded (with edge division), trivial facets go and
    // Update(CHECK_LEVEL_FACETS) runs. A hole whose projection misses,
    // pierces other facets at some outline point, leaves a facet (an
    // outline point on or across a facet edge), or meets an opening taken
    // before it on either facet (crossing, touching or holding it) is
    // skipped. Nothing at all happens when no hole is cut.
    void MakeHoles();

    // How many holes the last MakeHoles cut.
    int GetMadeCount() const { return madeCount; }

protected:
    // The openings through one pair of facets: entry i of contours1 and
    // contours2 is the i-th opening's outline projected onto facet1 and
    // facet2 (G3Point lists, owned, in outline order). The facets are
    // cleared once MakeHoles has replaced them.
    struct HoleRecord : public GObj {
        HoleRecord(G3Facet* f1, G3Facet* f2) : facet1(f1), facet2(f2) {}
        ~HoleRecord() override;
        G3Facet* facet1;
        G3Facet* facet2;
        GArrayCollection contours1;
        GArrayCollection contours2;
        std::vector<int> holes;  // the registered hole of each entry
    };

    // Releases the records, then makes one per pair of pierced facets from
    // the holes not cut yet.
    void FillHoleDataList();
    // Projects `outline` along `direction`: the two facets pierced (the
    // nearest hit and the next one more than kPointEqual farther along
    // every point's ray) and the outline's points on each, as new lists
    // handed to the caller. False, nothing handed over, on any failure.
    bool SurfaceGetFacetForHole(GArrayCollection* outline, G3Point* direction, G3Facet*& facet1, G3Facet*& facet2,
                                GArrayCollection** contour1, GArrayCollection** contour2);
    // A facet over new vertices at the points (flags 0); null when none
    // could be made.
    G3Facet* AddFacet(GArrayCollection* points);
    // One facet (flags 0) over the vertices of each contour of `facet`
    // (its own vertices), so that openings cut earlier stay holes; the
    // first, or null.
    G3Facet* AddFacet(G3Facet* facet);
    // One wall quad (c1[i], c1[j], c2[j], c2[i]) per outline edge, j = i + 1
    // (0 after the last).
    void AddFacets(GArrayCollection* contour1, GArrayCollection* contour2);
    void ReleaseHoleData();

    G3Surface* surface;
    GArrayCollection holeContours;
    GArrayCollection holeDirections;
    GArrayCollection holeData;
    std::vector<char> made;  // per registered hole: cut by an earlier call
    int madeCount = 0;
};
