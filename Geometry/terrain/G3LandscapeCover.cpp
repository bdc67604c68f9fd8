// SurfaceCover: the terrain closed into a body standing on z = 0, walls
// hung from its open border and one bottom facet through the wall feet.
// Invariants: terrain vertices keep their positions; each border vertex has
// one foot, shared by its two walls; vertex scratch links are cleared (not
// released: they are not this pass's); the facets are oriented as pieces
// from the geometry, never one by one from corner normals; the rim chain is
// the one a scan of the border edges in list order would give (lowest
// listed edge first at every vertex), found through a map instead of a
// rescan. The one place it rounds: none (feet copy x and y exactly).

#include "Geometry/terrain/G3LandscapeHandler.h"

#include "Geometry/mesh/G3Edge.h"
#include "Geometry/mesh/G3Facet.h"
#include "Geometry/mesh/G3FacetIterators.h"
#include "Geometry/mesh/G3PassCheck.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/mesh/G3SurfaceMeasure.h"
#include "Geometry/mesh/G3Vertex.h"

#include <algorithm>
#include <unordered_map>
#include <vector>

namespace {

std::vector<G3Edge*> BorderEdges(G3Surface* s)
{
    std::vector<G3Edge*> out;
    for (int i = 0; i < s->GetEdgeCount(); ++i) {
        G3Edge* e = s->GetEdge(i);
        if (e->GetFacet1() == nullptr || e->GetFacet2() == nullptr)
            out.push_back(e);
    }
    return out;
}

// The chain from the first border edge: at each end the lowest unused edge
// that continues it. The closing repeat of the start is not kept.
std::vector<G3Vertex*> RimChain(const std::vector<G3Edge*>& border)
{
    std::vector<G3Vertex*> chain;
    if (border.empty())
        return chain;
    std::unordered_map<const G3Vertex*, std::vector<int>> at; // ascending edge indexes
    for (int i = 0; i < static_cast<int>(border.size()); ++i) {
        at[border[i]->GetVertex1()].push_back(i);
        if (border[i]->GetVertex2() != border[i]->GetVertex1())
            at[border[i]->GetVertex2()].push_back(i);
    }
    std::vector<bool> used(border.size(), false);
    std::unordered_map<const G3Vertex*, std::size_t> next; // first index not yet passed over
    used[0] = true;
    chain.push_back(border[0]->GetVertex1());
    G3Vertex* last = border[0]->GetVertex2();
    while (last != chain.front()) {
        chain.push_back(last);
        const std::vector<int>& list = at[last];
        std::size_t& k = next[last];
        while (k < list.size() && used[static_cast<std::size_t>(list[k])])
            ++k;
        if (k == list.size())
            break; // an open rim: the chain ends here
        const int e = list[k];
        used[static_cast<std::size_t>(e)] = true;
        last = border[e]->GetOtherVertex(last);
    }
    return chain;
}

// True when facet f runs from a to b (b right after a in its chain).
bool Runs(G3Facet* f, const G3Vertex* a, const G3Vertex* b)
{
    std::vector<G3Vertex*> corners;
    G3FacetVertexIterator it(f);
    while (G3Vertex* v = it.NextVertex())
        corners.push_back(v);
    for (std::size_t i = 0; i < corners.size(); ++i)
        if (corners[i] == a && corners[(i + 1) % corners.size()] == b)
            return true;
    return false;
}

// The weld update (CHECK_LEVEL_WELD) with the facets oriented from the
// geometry even when they carry corner normals. With normals (a smoothed
// terrain's averaged ones) the update turns each facet alone to agree with
// them, and a steep sliver on the border, whose plane leans far from its
// corners' averages, came out turned against its neighbours, its edges
// split from theirs: the covered body was closed but counted that facet
// inside out (volume off). Terrain and walls are consistent as built, and
// the geometry keeps them so as one piece. Without normals this is the
// update itself.
void WeldAndOrient(G3Surface* s)
{
    if (!s->HasGeometry()) {
        s->Update(CHECK_LEVEL_WELD);
        return;
    }
    s->RemoveEqualsVertex();
    s->RemoveEqualsNormal();
    s->RemoveNonManifoldEdges();
    // The spread stops between single- and double-sided facets (an earlier
    // update left the terrain double-sided, the walls are new): one piece.
    for (int i = 0; i < s->GetFacetCount(); ++i)
        s->GetFacet(i)->ClearDoubleSided();
    s->OrientNormals2(true);
    s->FormPlaneEquation();
    s->ReallocByRealSize();
    if (!s->GetClosed())
        s->ExtendDoubleSidedFacets();
}

} // namespace

void G3LandscapeHandler::SurfaceCover(G3Surface* surface)
{
    if (surface == nullptr)
        return;
    G3_CHECK_PASS(surface, "SurfaceCover");
    for (int i = 0; i < surface->GetVertexCount(); ++i)
        surface->GetVertex(i)->SetExData(nullptr);
    const std::vector<G3Edge*> border = BorderEdges(surface);
    if (border.empty())
        return;
    Notify(1);
    // One foot per border vertex, shared by the two walls that meet there.
    // Each wall had its own pair and the weld joined them; but the weld
    // clusters by distance, and among border points closer than its
    // tolerance (a smoothed edge between two survey points a micrometre
    // apart) the two copies of one foot went to different neighbours: that
    // vertex's walls no longer met down its height, and the bottom ran
    // through the terrain vertex (its volume off).
    std::unordered_map<const G3Vertex*, G3Vertex*> feet;
    auto footOf = [&](G3Vertex* v) {
        G3Vertex*& f = feet[v];
        if (f == nullptr)
            f = surface->AddVertex(v->GetX(), v->GetY(), 0.0, 0);
        return f;
    };
    for (G3Edge* e : border) {
        // Each wall runs against the terrain facet it hangs from, so that
        // the update has nothing to turn between them.
        G3Facet* terrain = e->GetFacet1() ? e->GetFacet1() : e->GetFacet2();
        const bool along = terrain && Runs(terrain, e->GetVertex1(), e->GetVertex2());
        G3Vertex* v1 = along ? e->GetVertex2() : e->GetVertex1();
        G3Vertex* v2 = along ? e->GetVertex1() : e->GetVertex2();
        G3Vertex* wall[4] = {footOf(v1), v1, v2, footOf(v2)};
        surface->AddFacet(4, wall, 1, nullptr, nullptr);
    }
    Notify(0);
    WeldAndOrient(surface);
    for (int i = 0; i < surface->GetEdgeCount(); ++i) {
        G3Edge* e = surface->GetEdge(i);
        e->ClearFormMaking();
        e->ClearVisible();
        if (e->GetFacet1() == nullptr || e->GetFacet2() == nullptr || facetClassifier == nullptr) {
            e->SetVisible();
            e->SetFormMaking();
            continue;
        }
        const bool generated1 = facetClassifier(e->GetFacet1()) != 0;
        const bool generated2 = facetClassifier(e->GetFacet2()) != 0;
        e->SetFormMaking();
        if (generated1 != generated2)
            e->SetVisible();
    }
    const std::vector<G3Edge*> rim = BorderEdges(surface);
    std::vector<G3Vertex*> chain = RimChain(rim);
    if (chain.size() >= 3) {
        // The bottom runs against its wall along the first rim edge, so the
        // body is oriented one way throughout.
        G3Facet* wall = rim[0]->GetFacet1() ? rim[0]->GetFacet1() : rim[0]->GetFacet2();
        if (wall && Runs(wall, chain[0], chain[1]))
            std::reverse(chain.begin(), chain.end());
        Notify(1);
        surface->AddFacet(static_cast<int>(chain.size()), chain.data(), 1, nullptr, nullptr);
        Notify(0);
        // The update made every facet of the open terrain double-sided;
        // closed, the body is a solid again, turned to face out.
        if (G3SurfaceWatertight(surface)) {
            for (int i = 0; i < surface->GetFacetCount(); ++i)
                surface->GetFacet(i)->ClearDoubleSided();
            if (G3SurfaceVolume(surface) < 0.0)
                surface->NegNormals();
        }
    }
    surface->FormPlaneEquation();
    if (facetClassifier) {
        GArrayCollection terrain;
        for (int i = 0; i < surface->GetFacetCount(); ++i)
            if (facetClassifier(surface->GetFacet(i)) == 0)
                terrain.add(surface->GetFacet(i));
        surface->AverageNormalsByPlanes(&terrain);
    }
}
