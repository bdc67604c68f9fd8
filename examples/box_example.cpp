// A unit box given as six quads that each bring their own four corners (as
// a file reader hands them over), welded into one closed mesh, triangulated,
// saved as a text dump and read back into a second surface.
#include "Geometry/mesh/G3Surface.h"

#include <cstdio>

int main(int argc, char** argv)
{
    const char* path = argc > 1 ? argv[1] : "box.txt";
    // Corner i sits at (i & 1, (i >> 1) & 1, (i >> 2) & 1); quads wind outwards.
    static const int quads[6][4] = {{0, 2, 3, 1}, {4, 5, 7, 6}, {0, 1, 5, 4},
                                    {2, 6, 7, 3}, {0, 4, 6, 2}, {1, 3, 7, 5}};
    G3Surface box;
    for (const auto& q : quads) {
        G3Vertex* v[4];
        for (int k = 0; k < 4; ++k)
            v[k] = box.AddVertex(q[k] & 1, (q[k] >> 1) & 1, (q[k] >> 2) & 1, 0);
        box.AddFacet(4, v, 1, nullptr, nullptr);  // edge flags 1, no normals or texture coordinates
    }
    const int soup = box.GetVertexCount();
    box.RemoveEqualsVertexAndDivideEdges();  // 24 corners -> 8 vertices
    box.RemoveNonManifoldEdges();            // the two edges left along each side become one
    box.Triangulate(4, 0);                   // every facet of four or more edges; diagonals get flags 0
    if (!box.Save(path))
        return 1;

    G3Surface copy;
    if (!copy.Load(path))
        return 1;
    std::printf("%d corners -> %d vertices, %d edges, %d facets, %s\n", soup, copy.GetVertexCount(),
                copy.GetEdgeCount(), copy.GetFacetCount(), copy.GetClosed() ? "closed" : "open");
    const bool ok = soup == 24 && copy.GetVertexCount() == 8 && copy.GetEdgeCount() == 18 &&
                    copy.GetFacetCount() == 12 && copy.GetClosed();
    return ok ? 0 : 1;
}
