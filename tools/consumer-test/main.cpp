// Builds a tetrahedron as a triangle soup through the installed headers and
// library, welds it and checks the counts: proof that the package carries
// everything a host needs to compile, link and run.
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/mesh/G3Vertex.h"

#include <cstdio>

int main()
{
    static const double p[4][3] = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    static const int tri[4][3] = {{0, 2, 1}, {0, 1, 3}, {1, 2, 3}, {0, 3, 2}};
    G3Surface* s = new G3Surface();
    for (const auto& t : tri) {
        G3Vertex* v[3];
        for (int k = 0; k < 3; ++k)
            v[k] = s->AddVertex(p[t[k]], 0);
        s->AddFacet(3, v, 1, nullptr, nullptr);
    }
    const int soupVertices = s->GetVertexCount();
    s->RemoveEqualsVertexAndDivideEdges();
    s->RemoveNonManifoldEdges();
    const bool ok = soupVertices == 12 && s->GetVertexCount() == 4 && s->GetEdgeCount() == 6 &&
                    s->GetFacetCount() == 4 && s->GetClosed();
    std::printf("consumer: %d -> %d vertices, %d edges, %d facets, %s\n", soupVertices, s->GetVertexCount(),
                s->GetEdgeCount(), s->GetFacetCount(), s->GetClosed() ? "closed" : "open");
    delete s;
    return ok ? 0 : 1;
}
