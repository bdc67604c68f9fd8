#include "Geometry/mesh/G3PolyEdge.h"

G_DEFINE_POOL(G3PolyEdge, "G3PolyEdge", 8192)

void G3PolyEdge::Copy(GObj* source)
{
    G3Obj::Copy(source);
    const G3PolyEdge* p = dynamic_cast<const G3PolyEdge*>(source);
    if (!p || p == this)
        return;
    vertexCount = p->vertexCount;
    firstIndex = p->firstIndex;
}

G3PolyEdge* G3PolyEdge::Duplicate()
{
    G3PolyEdge* copy = new G3PolyEdge();
    copy->Copy(this);
    return copy;
}

void G3PolyEdge::GetEdge(G3Vertex** vertexArray, int i, G3Vertex** a, G3Vertex** b) const
{
    G3Vertex* ra = nullptr;
    G3Vertex* rb = nullptr;
    if (vertexArray && vertexCount > 0 && i >= 0 && i < vertexCount) {
        ra = vertexArray[firstIndex + i];
        rb = vertexArray[firstIndex + (i + 1) % vertexCount];
    }
    if (a)
        *a = ra;
    if (b)
        *b = rb;
}
