#include "Geometry/mesh/G3Vertex.h"

#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/mesh/G3Edge.h"
#include "Geometry/mesh/G3Facet.h"

#include <cmath>
#include <limits>

G_DEFINE_POOL(G3Vertex, "G3Vertex", 65536)

void G3Vertex::Copy(G3Obj* source)
{
    G3Point::Copy(source);
    const G3Vertex* v = dynamic_cast<const G3Vertex*>(source);
    if (v && v != this) {
        firstEdge = v->firstEdge;
        lastEdge = v->lastEdge;
    }
}

void G3Vertex::RealTransformation(double m[4][4])
{
    const double x = xyz[0], y = xyz[1], z = xyz[2];
    xyz[0] = x * m[0][0] + y * m[1][0] + z * m[2][0] + m[3][0];
    xyz[1] = x * m[0][1] + y * m[1][1] + z * m[2][1] + m[3][1];
    xyz[2] = x * m[0][2] + y * m[1][2] + z * m[2][2] + m[3][2];
}

// No other vertex is no distance: +infinity, so that no tolerance test takes
// a missing vertex for a coincident one.
double G3Vertex::Distance(const G3Vertex* other) const
{
    if (!other)
        return std::numeric_limits<double>::infinity();
    const double dx = xyz[0] - other->xyz[0];
    const double dy = xyz[1] - other->xyz[1];
    const double dz = xyz[2] - other->xyz[2];
    return std::sqrt(dx * dx + dy * dy + dz * dz);
}

void G3Vertex::AddEdge(G3Edge* e)
{
    // An edge without this end would be walked on by its other end's link
    // (another ring's). One already in the ring (the tail, or one linked
    // onwards) would close the ring into a loop.
    if (!e || !e->HasVertex(this) || e == lastEdge || e->GetVertexEdge(this))
        return;
    if (!lastEdge)
        firstEdge = e;
    else
        lastEdge->SetVertexEdge(this, e);
    lastEdge = e;
}

bool G3Vertex::RemoveEdge(G3Edge* e)
{
    if (!e)
        return false;
    G3Edge* prev = nullptr;
    G3Edge* cur = firstEdge;
    while (cur && cur != e) {
        prev = cur;
        cur = cur->GetVertexEdge(this);
    }
    if (!cur)
        return false;
    G3Edge* after = e->GetVertexEdge(this);
    if (prev)
        prev->SetVertexEdge(this, after);
    else
        firstEdge = after;
    if (lastEdge == e)
        lastEdge = prev;
    e->SetVertexEdge(this, nullptr);
    return true;
}

int G3Vertex::GetEdgeCount() const
{
    int n = 0;
    for (const G3Edge* e = firstEdge; e; e = e->GetVertexEdge(this))
        ++n;
    return n;
}

// A null `out` only counts; a null collection below is left alone.
int G3Vertex::GetEdges(G3Edge** out) const
{
    int n = 0;
    for (G3Edge* e = firstEdge; e; e = e->GetVertexEdge(this), ++n)
        if (out)
            out[n] = e;
    return n;
}

void G3Vertex::GetEdges(const G3Vertex* other, GArrayCollection* out) const
{
    if (!out)
        return;
    out->clear();
    for (G3Edge* e = firstEdge; e; e = e->GetVertexEdge(this))
        if (e->GetOtherVertex(this) == other)
            out->add(e);
}

int G3Vertex::GetEdgeCount(const G3Vertex* other) const
{
    int n = 0;
    for (const G3Edge* e = firstEdge; e; e = e->GetVertexEdge(this)) {
        if (e->GetOtherVertex(this) != other)
            continue;
        if (e->GetFacet1())
            ++n;
        if (e->GetFacet2())
            ++n;
    }
    return n;
}

int G3Vertex::GetEdgeCount2(const G3Vertex* other) const
{
    int n = 0;
    for (const G3Edge* e = firstEdge; e; e = e->GetVertexEdge(this)) {
        if (e->GetOtherVertex(this) != other)
            continue;
        if (const G3Facet* f = e->GetFacet1())
            n += f->GetDoubleSided() ? 2 : 1;
        if (const G3Facet* f = e->GetFacet2())
            n += f->GetDoubleSided() ? 2 : 1;
    }
    return n;
}

int G3Vertex::GetEdgeCount(const G3Vertex* other, const G3Facet* f) const
{
    int n = 0;
    for (const G3Edge* e = firstEdge; e; e = e->GetVertexEdge(this)) {
        if (e->GetOtherVertex(this) != other)
            continue;
        if (e->GetFacet1() == f)
            ++n;
        if (e->GetFacet2() == f)
            ++n;
    }
    return n;
}

void G3Vertex::SetNormal(const G3Facet* f, G3Normal* n, G3TexCoo* t)
{
    if (!f)
        return;
    for (G3Edge* e = firstEdge; e; e = e->GetVertexEdge(this)) {
        const int end = e->GetVertex1() == this ? 1 : 2;
        if (e->GetFacet1() == f)
            e->SetCorner(1, end, n, t);
        if (e->GetFacet2() == f)
            e->SetCorner(2, end, n, t);
    }
}

void G3Vertex::SetNormal(G3Normal* n, G3TexCoo* t)
{
    for (G3Edge* e = firstEdge; e; e = e->GetVertexEdge(this)) {
        const int end = e->GetVertex1() == this ? 1 : 2;
        if (e->GetFacet1())
            e->SetCorner(1, end, n, t);
        if (e->GetFacet2())
            e->SetCorner(2, end, n, t);
    }
}

G3Normal* G3Vertex::GetNormal(const G3Facet* f, G3TexCoo** t) const
{
    for (const G3Edge* e = f ? firstEdge : nullptr; e; e = e->GetVertexEdge(this)) {
        if (!e->HasGeometry())
            continue;
        const int end = e->GetVertex1() == this ? 1 : 2;
        if (e->GetFacet1() == f)
            return e->GetCorner(1, end, t);
        if (e->GetFacet2() == f)
            return e->GetCorner(2, end, t);
    }
    if (t)
        *t = nullptr;
    return nullptr;
}

// ------------------------------------------------------------- iterators

G3VertexEdgeIterator::G3VertexEdgeIterator(G3Vertex* v)
    : current(v ? v->GetFirstEdge() : nullptr), vertex(v)
{
}

GObj* G3VertexEdgeIterator::next()
{
    G3Edge* e = current;
    if (e)
        current = e->GetVertexEdge(vertex);
    return e;
}

GObj* G3VertexVertexIterator::next()
{
    G3Edge* e = static_cast<G3Edge*>(G3VertexEdgeIterator::next());
    if (!e)
        return nullptr;
    return e->GetVertex1() != vertex ? e->GetVertex1() : e->GetVertex2();
}
