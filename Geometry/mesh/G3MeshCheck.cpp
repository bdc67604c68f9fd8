// The walks below never trust a link: a ring or chain that does not end
// within (edge count + 1) steps is reported as a loop, and every pointer is
// checked to be a listed entity (the entity its id names) before anything
// is read through it, so the check runs safely on any mesh whose entities
// are all alive.

#include "Geometry/mesh/G3MeshCheck.h"

#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/mesh/G3Edge.h"
#include "Geometry/mesh/G3Facet.h"
#include "Geometry/mesh/G3FacetIterators.h"
#include "Geometry/mesh/G3Shell.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/mesh/G3Vertex.h"

#include <cmath>
#include <cstring>
#include <map>
#include <utility>
#include <vector>

namespace {

std::string Fault(const std::string& what, long a, long b = -1)
{
    return what + " (" + std::to_string(a) + (b >= 0 ? ", " + std::to_string(b) : std::string()) + ")";
}

// ids equal indexes, no null entries.
std::string CheckIds(const GArrayCollection* c, const char* name)
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

bool Listed(const GArrayCollection* c, const G3Obj* o)
{
    return c && o && o->GetId() >= 0 && o->GetId() < c->size() && c->get(static_cast<int>(o->GetId())) == o;
}

// Every contour of f's chain, as the kernel's contour walker splits it,
// ends back at its own start and has at least two edges.
std::string CheckContours(const G3Facet* f)
{
    G3ContourWalker w(f);
    int length = 0;
    while (w.Next()) {
        if (w.Opens())
            length = 0;
        ++length;
        if (w.Closes() && (w.GetExit() != w.GetContourStart() || length < 2))
            return Fault("facet: open contour", f->GetId(), length);
    }
    return "";
}

bool PlaneFinite(const G3Facet* f)
{
    const double* p = f->GetPlane();
    return std::isfinite(p[0]) && std::isfinite(p[1]) && std::isfinite(p[2]) && std::isfinite(p[3]);
}

std::string CheckAllIds(const G3Shell* s)
{
    std::string r;
    if (!(r = CheckIds(s->GetVertexList(), "vertex")).empty() || !(r = CheckIds(s->GetEdgeList(), "edge")).empty() ||
        !(r = CheckIds(s->GetFacetList(), "facet")).empty() || !(r = CheckIds(s->GetNormalList(), "normal")).empty() ||
        !(r = CheckIds(s->GetTexCooList(), "texcoo")).empty())
        return r;
    return CheckIds(s->GetPolyEdgeList(), "polyedge");
}

using RingCount = std::map<std::pair<const G3Edge*, const G3Vertex*>, int>;
using ChainCount = std::map<std::pair<const G3Edge*, const G3Facet*>, int>;

// Counts how often each edge appears in the ring of each vertex.
std::string CheckRings(const G3Shell* s, RingCount& inRing)
{
    const GArrayCollection* edges = s->GetEdgeList();
    const int edgeCount = s->GetEdgeCount();
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
    return "";
}

// Counts how often each edge appears in the chain of each facet.
std::string CheckChains(G3Shell* s, ChainCount& inChain)
{
    const GArrayCollection* edges = s->GetEdgeList();
    const int edgeCount = s->GetEdgeCount();
    G3Surface* surface = dynamic_cast<G3Surface*>(s);
    for (int i = 0; i < s->GetFacetCount(); ++i) {
        const G3Facet* f = s->GetFacet(i);
        if (surface && f->GetParentSurface() != surface)
            return Fault("facet: parent is not this surface", i);
        if (!PlaneFinite(f))
            return Fault("facet: plane not finite", i);
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
        const std::string fault = CheckContours(f);
        if (!fault.empty())
            return fault;
    }
    return "";
}

std::string CheckEdges(const G3Shell* s, RingCount& inRing, ChainCount& inChain)
{
    for (int i = 0; i < s->GetEdgeCount(); ++i) {
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

} // namespace

std::string G3MeshCheck(G3Shell* s)
{
    if (!s)
        return "null shell";
    std::string r;
    if (!(r = CheckAllIds(s)).empty())
        return r;
    RingCount inRing;
    if (!(r = CheckRings(s, inRing)).empty())
        return r;
    ChainCount inChain;
    if (!(r = CheckChains(s, inChain)).empty())
        return r;
    return CheckEdges(s, inRing, inChain);
}

namespace {

constexpr long kScratchMarks = G3Obj::FLAG_MARK | G3Obj::FLAG_MARK2 | G3Obj::FLAG_MARK3 | G3Obj::FLAG_MARK4;

std::string CheckMarks(const GArrayCollection* c, const char* name)
{
    for (int i = 0; c && i < c->size(); ++i) {
        const G3Obj* o = static_cast<const G3Obj*>(c->get(i));
        if (o && (o->GetFlags() & kScratchMarks))
            return Fault(std::string(name) + ": mark left set", i, o->GetFlags() & kScratchMarks);
    }
    return "";
}

} // namespace

std::string G3MeshMarksCheck(G3Shell* s)
{
    if (!s)
        return "null shell";
    std::string r;
    if (!(r = CheckMarks(s->GetVertexList(), "vertex")).empty() || !(r = CheckMarks(s->GetEdgeList(), "edge")).empty())
        return r;
    return CheckMarks(s->GetFacetList(), "facet");
}

std::string G3StalePlanesCheck(G3Shell* s)
{
    if (!s)
        return "null shell";
    for (int i = 0; i < s->GetFacetCount(); ++i) {
        G3Facet* f = s->GetFacet(i);
        double kept[4];
        std::memcpy(kept, f->GetPlane(), sizeof kept);
        f->FormPlaneEquation();
        const bool same = std::memcmp(kept, f->GetPlane(), sizeof kept) == 0;
        f->SetPlane(kept);
        if (!same)
            return Fault("facet: plane not formed from its corners", i);
    }
    return "";
}

std::string G3ClosedCheck(G3Shell* s)
{
    if (!s)
        return std::string();
    const int nE = s->GetEdgeCount();
    for (int i = 0; i < nE; ++i)
        if (s->GetEdge(i)->GetId() != i)
            return Fault("edge: id differs from index", i);
    // run[e]: facets running along e from its vertex1 to its vertex2, less
    // those running back.
    std::vector<int> run(static_cast<std::size_t>(nE), 0);
    for (int i = 0; i < s->GetFacetCount(); ++i) {
        const G3Facet* f = s->GetFacet(i);
        if (f->GetDoubleSided())
            continue;
        G3ContourWalker w(f);
        while (w.Next()) {
            const G3Edge* e = w.GetEdge();
            run[static_cast<std::size_t>(e->GetId())] += w.GetEntry() == e->GetVertex1() ? 1 : -1;
        }
    }
    for (int i = 0; i < nE; ++i) {
        const G3Edge* e = s->GetEdge(i);
        if ((e->GetFacet1() != nullptr) != (e->GetFacet2() != nullptr))
            return Fault("edge: one facet side only", i);
    }
    for (int i = 0; i < nE; ++i) {
        // An edge whose own sides cancel needs no look at its pair: only
        // where parallel edges share a pair can they cancel each other.
        if (run[static_cast<std::size_t>(i)] == 0)
            continue;
        const G3Edge* e = s->GetEdge(i);
        const G3Vertex* a = e->GetVertex1();
        const G3Vertex* b = e->GetVertex2();
        int surplus = 0;
        for (const G3Edge* o = a->GetFirstEdge(); o; o = o->GetVertexEdge(a)) {
            if (o->GetOtherVertex(a) != b)
                continue;
            const int r = run[static_cast<std::size_t>(o->GetId())];
            surplus += o->GetVertex1() == a ? r : -r;
        }
        if (surplus != 0)
            return Fault("edge: facet sides do not pair up", i, surplus < 0 ? -surplus : surplus);
    }
    return std::string();
}
