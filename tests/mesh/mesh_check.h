#pragma once
// Consistency check of a whole shell, for tests to run after every
// operation: ids equal indexes in all collections; every vertex ring and
// facet chain ends (no loop), holds only listed edges that name the
// vertex / facet, and ends at lastEdge; an edge with a facet is in the rings
// of both its ends exactly once, an edge without facets in both rings or in
// neither; an edge is in the chain of each of its facets exactly once and in
// no other chain; every contour of every chain is closed; facets know their
// surface.
//
//   EXPECT_EQ("", MeshCheck(surface));

#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/mesh/G3Edge.h"
#include "Geometry/mesh/G3Facet.h"
#include "Geometry/mesh/G3FacetIterators.h"
#include "Geometry/mesh/G3PolyEdge.h"
#include "Geometry/mesh/G3Shell.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/mesh/G3Vertex.h"

#include <map>
#include <string>

namespace meshcheck {

inline std::string Fault(const std::string& what, long a, long b = -1)
{
    return what + " (" + std::to_string(a) + (b >= 0 ? ", " + std::to_string(b) : std::string()) + ")";
}

// ids equal indexes, no null entries.
inline std::string CheckIds(const GArrayCollection* c, const char* name)
{
    for (int i = 0; c && i < c->size(); ++i) {
        const G3Obj* o = static_cast<const G3Obj*>(c->get(i));
        if (!o)
            return Fault(std::string(name) + ": null entry", i);
        if (o->GetId() != i)
            return Fault(std::string(name) + ": id differs from index", i, o->GetId());
    }
    return "";
}

inline bool Listed(const GArrayCollection* c, const G3Obj* o)
{
    return c && o && o->GetId() >= 0 && o->GetId() < c->size() && c->get(static_cast<int>(o->GetId())) == o;
}

// Walks one contour of f's chain starting at `e`; returns the first edge
// after it (null at the end of the chain) or sets `fault`.
inline const G3Edge* WalkContour(const G3Facet* f, const G3Edge* e, std::string& fault)
{
    const G3Edge* following = e->GetFacetEdge(f);
    const G3Vertex* start = G3FacetVertexIterator::ContourStart(e, following);
    const G3Vertex* at = e->GetOtherVertex(start);
    int length = 1;
    while (following && following->HasVertex(at)) {
        at = following->GetOtherVertex(at);
        ++length;
        following = following->GetFacetEdge(f);
    }
    if (at != start || length < 2)
        fault = Fault("facet: open contour", f->GetId(), length);
    return following;
}

} // namespace meshcheck

inline std::string MeshCheck(G3Shell* s)
{
    using namespace meshcheck;
    if (!s)
        return "null shell";
    std::string r;
    if (!(r = CheckIds(s->GetVertexList(), "vertex")).empty() || !(r = CheckIds(s->GetEdgeList(), "edge")).empty() ||
        !(r = CheckIds(s->GetFacetList(), "facet")).empty() || !(r = CheckIds(s->GetNormalList(), "normal")).empty() ||
        !(r = CheckIds(s->GetTexCooList(), "texcoo")).empty() ||
        !(r = CheckIds(s->GetPolyEdgeList(), "polyedge")).empty())
        return r;
    const GArrayCollection* edges = s->GetEdgeList();
    const int edgeCount = s->GetEdgeCount();

    // Rings: how often each edge appears in the ring of each of its ends.
    std::map<std::pair<const G3Edge*, const G3Vertex*>, int> inRing;
    for (int i = 0; i < s->GetVertexCount(); ++i) {
        const G3Vertex* v = s->GetVertex(i);
        const G3Edge* last = nullptr;
        int steps = 0;
        for (const G3Edge* e = v->GetFirstEdge(); e; e = e->GetVertexEdge(v)) {
            if (++steps > edgeCount + 1)
                return Fault("vertex: ring loops", i);
            if (!Listed(edges, e))
                return Fault("vertex: ring holds an unlisted edge", i);
            if (!e->HasVertex(v))
                return Fault("vertex: ring edge does not end here", i, e->GetId());
            ++inRing[{e, v}];
            last = e;
        }
        if (v->GetLastEdge() != last)
            return Fault("vertex: lastEdge is not the ring's end", i);
    }

    // Chains: which facets list each edge, and how often.
    std::map<std::pair<const G3Edge*, const G3Facet*>, int> inChain;
    for (int i = 0; i < s->GetFacetCount(); ++i) {
        const G3Facet* f = s->GetFacet(i);
        if (G3Surface* surface = dynamic_cast<G3Surface*>(s))
            if (f->GetParentSurface() != surface)
                return Fault("facet: parent is not this surface", i);
        const G3Edge* last = nullptr;
        int steps = 0;
        for (const G3Edge* e = f->GetFirstEdge(); e; e = e->GetFacetEdge(f)) {
            if (++steps > edgeCount + 1)
                return Fault("facet: chain loops", i);
            if (!Listed(edges, e))
                return Fault("facet: chain holds an unlisted edge", i);
            if (!e->HasFacet(f))
                return Fault("facet: chain edge does not name the facet", i, e->GetId());
            ++inChain[{e, f}];
            last = e;
        }
        if (f->GetLastEdge() != last)
            return Fault("facet: lastEdge is not the chain's end", i);
        std::string fault;
        for (const G3Edge* e = f->GetFirstEdge(); e && fault.empty();)
            e = WalkContour(f, e, fault);
        if (!fault.empty())
            return fault;
    }

    for (int i = 0; i < edgeCount; ++i) {
        const G3Edge* e = s->GetEdge(i);
        const G3Vertex* a = e->GetVertex1();
        const G3Vertex* b = e->GetVertex2();
        if (!Listed(s->GetVertexList(), a) || !Listed(s->GetVertexList(), b))
            return Fault("edge: an end is not a listed vertex", i);
        if (a == b)
            return Fault("edge: both ends are one vertex", i);
        const G3Facet* f1 = e->GetFacet1();
        const G3Facet* f2 = e->GetFacet2();
        if (f1 && f1 == f2)
            return Fault("edge: one facet on both sides", i);
        const int ra = inRing[{e, a}];
        const int rb = inRing[{e, b}];
        if (f1 || f2) {
            if (ra != 1 || rb != 1)
                return Fault("edge with a facet: not once in each end's ring", i, ra * 10 + rb);
        } else if (ra != rb || ra > 1) {
            return Fault("edge without facets: in one ring only, or twice", i, ra * 10 + rb);
        }
        for (const G3Facet* f : {f1, f2}) {
            if (!f)
                continue;
            if (!Listed(s->GetFacetList(), f))
                return Fault("edge: facet is not listed", i);
            const int c = inChain[{e, f}];
            if (c != 1)
                return Fault("edge: not once in its facet's chain", i, c);
        }
    }
    return "";
}
