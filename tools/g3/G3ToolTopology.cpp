// `g3 info`'s global shape of a mesh: connected pieces, orientability,
// enclosed volume and genus.
//
// Facets are joined across edge objects that carry two different facets
// (an unstitched pair of edges along one vertex pair does not join). Along
// such an edge the two facets agree in orientation when they run it in
// opposite directions; a walk over each piece gives every facet a parity
// (turned or not) and finds a contradiction when the piece is not
// orientable. Integers only, except the volume, which the kernel computes.

#include "tools/g3/G3Tool.h"

#include "Geometry/mesh/G3Edge.h"
#include "Geometry/mesh/G3Facet.h"
#include "Geometry/mesh/G3FacetIterators.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/mesh/G3SurfaceMeasure.h"
#include "Geometry/mesh/G3Vertex.h"

#include <vector>

namespace g3tool {

namespace {

// How a facet runs one of its edges: forwards is vertex1 to vertex2.
struct Side {
    int facet = -1;
    bool forwards = false;
};

struct Link {
    int other;
    bool flip;  // the two facets run the shared edge the same way
};

}  // namespace

void ComputeTopology(G3Surface& s, MeshStats& st)
{
    const int nF = s.GetFacetCount();
    const int nE = s.GetEdgeCount();
    // The direction in which each facet side runs its edge, and the
    // contours of each facet.
    std::vector<Side> side1(static_cast<std::size_t>(nE)), side2(static_cast<std::size_t>(nE));
    std::vector<int> contours(static_cast<std::size_t>(nF), 0);
    for (int i = 0; i < nF; ++i) {
        G3Facet* f = s.GetFacet(i);
        G3ContourWalker w(f);
        for (int steps = 0; steps < nE && w.Next(); ++steps) {
            G3Edge* e = w.GetEdge();
            if (w.Opens())
                ++contours[static_cast<std::size_t>(i)];
            const long id = e->GetId();
            if (id < 0 || id >= nE || e->GetFacet1() == e->GetFacet2())
                continue;
            Side& side = (e->GetFacet1() == f ? side1 : side2)[static_cast<std::size_t>(id)];
            side.facet = i;
            side.forwards = w.GetEntry() == e->GetVertex1();
        }
    }

    std::vector<std::vector<Link>> links(static_cast<std::size_t>(nF));
    for (int k = 0; k < nE; ++k) {
        const Side& a = side1[static_cast<std::size_t>(k)];
        const Side& b = side2[static_cast<std::size_t>(k)];
        if (a.facet < 0 || b.facet < 0 || a.facet == b.facet)
            continue;
        const bool flip = a.forwards == b.forwards;
        links[static_cast<std::size_t>(a.facet)].push_back({b.facet, flip});
        links[static_cast<std::size_t>(b.facet)].push_back({a.facet, flip});
    }

    // Pieces by a walk from each facet not yet reached; parity[i] says
    // whether facet i must be turned to agree with its piece's first facet.
    std::vector<int> piece(static_cast<std::size_t>(nF), -1);
    std::vector<char> parity(static_cast<std::size_t>(nF), 0);
    std::vector<int> stack;
    st.pieces = 0;
    st.orientable = true;
    st.oriented = true;
    for (int start = 0; start < nF; ++start) {
        if (piece[static_cast<std::size_t>(start)] >= 0)
            continue;
        piece[static_cast<std::size_t>(start)] = st.pieces;
        stack.assign(1, start);
        while (!stack.empty()) {
            const int f = stack.back();
            stack.pop_back();
            for (const Link& l : links[static_cast<std::size_t>(f)]) {
                const char want = static_cast<char>(parity[static_cast<std::size_t>(f)] ^ (l.flip ? 1 : 0));
                if (l.flip)
                    st.oriented = false;
                if (piece[static_cast<std::size_t>(l.other)] < 0) {
                    piece[static_cast<std::size_t>(l.other)] = st.pieces;
                    parity[static_cast<std::size_t>(l.other)] = want;
                    stack.push_back(l.other);
                } else if (parity[static_cast<std::size_t>(l.other)] != want) {
                    st.orientable = false;
                }
            }
        }
        ++st.pieces;
    }
    st.oriented = st.oriented && st.orientable;
    st.volume = G3SurfaceVolume(&s);

    // V - E + F per piece: the vertices and edges its facets use.
    st.genus = -1;
    if (!st.closed || !st.orientable || st.nonManifoldEdges > 0 || st.nonManifoldVertices > 0)
        return;
    const std::size_t nP = static_cast<std::size_t>(st.pieces);
    std::vector<long> euler(nP, 0);
    for (int i = 0; i < nF; ++i)
        euler[static_cast<std::size_t>(piece[static_cast<std::size_t>(i)])] += 2 - contours[static_cast<std::size_t>(i)];
    std::vector<int> vertexPiece(static_cast<std::size_t>(s.GetVertexCount()), -1);
    for (int k = 0; k < nE; ++k) {
        G3Edge* e = s.GetEdge(k);
        const G3Facet* f = e->GetFacet1() ? e->GetFacet1() : e->GetFacet2();
        if (!f || f->GetId() < 0 || f->GetId() >= nF)
            continue;
        const int p = piece[static_cast<std::size_t>(f->GetId())];
        euler[static_cast<std::size_t>(p)] -= 1;
        for (G3Vertex* v : {e->GetVertex1(), e->GetVertex2()}) {
            if (!v || v->GetId() < 0 || v->GetId() >= s.GetVertexCount())
                continue;
            int& seen = vertexPiece[static_cast<std::size_t>(v->GetId())];
            if (seen != p) {
                // A manifold vertex lies in one piece only.
                seen = p;
                euler[static_cast<std::size_t>(p)] += 1;
            }
        }
    }
    int genus = 0;
    for (long chi : euler) {
        if (chi > 2 || (2 - chi) % 2 != 0)
            return;
        genus += static_cast<int>((2 - chi) / 2);
    }
    st.genus = genus;
}

}  // namespace g3tool
