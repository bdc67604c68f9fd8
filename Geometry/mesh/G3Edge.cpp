#include "Geometry/mesh/G3Edge.h"

#include "Geometry/math/GEnvelope.h"
#include "Geometry/mesh/G3Facet.h"
#include "Geometry/mesh/G3Vertex.h"

#include <cmath>
#include <utility>

G_DEFINE_POOL(G3Edge, "G3Edge", 65536)

G3Edge::G3Edge() { flags = FLAG_VISIBLE; }

G3Edge::G3Edge(G3Vertex* start, G3Vertex* end) : vertex1(start), vertex2(end) { flags = FLAG_VISIBLE; }

G3Edge::G3Edge(const G3Edge& other)
    : G3Obj(other), vertex1(other.vertex1), vertex2(other.vertex2), vertex1Edge(other.vertex1Edge),
      vertex2Edge(other.vertex2Edge), facet1(other.facet1), facet2(other.facet2),
      facet1Edge(other.facet1Edge), facet2Edge(other.facet2Edge),
      geometry(other.geometry ? other.geometry->Duplicate() : nullptr)
{
}

G3Edge& G3Edge::operator=(const G3Edge& other)
{
    if (this != &other) {
        G3Obj::operator=(other);
        vertex1 = other.vertex1;
        vertex2 = other.vertex2;
        vertex1Edge = other.vertex1Edge;
        vertex2Edge = other.vertex2Edge;
        facet1 = other.facet1;
        facet2 = other.facet2;
        facet1Edge = other.facet1Edge;
        facet2Edge = other.facet2Edge;
        SetGeometry(other.geometry);
    }
    return *this;
}

G3Edge::~G3Edge() { delete geometry; }

void G3Edge::Copy(GObj* source)
{
    G3Obj::Copy(source);
    const G3Edge* e = dynamic_cast<const G3Edge*>(source);
    if (!e || e == this)
        return;
    vertex1 = e->vertex1;
    vertex2 = e->vertex2;
    vertex1Edge = e->vertex1Edge;
    vertex2Edge = e->vertex2Edge;
    facet1 = e->facet1;
    facet2 = e->facet2;
    facet1Edge = e->facet1Edge;
    facet2Edge = e->facet2Edge;
    SetGeometry(e->geometry);
}

G3Edge* G3Edge::Duplicate()
{
    G3Edge* copy = new G3Edge();
    copy->Copy(this);
    return copy;
}

// ------------------------------------------------------------ corner data

bool G3Edge::HasGeometry(const G3Facet* f) const
{
    return geometry != nullptr && OnASide(f) && GetCorner(GetFacetSide(f), 1, nullptr) != nullptr;
}

G3Normal* G3Edge::GetCorner(int side, int end, G3TexCoo** t) const
{
    if (!geometry) {
        if (t)
            *t = nullptr;
        return nullptr;
    }
    return geometry->Get(side == 1 ? 0 : 1, end == 1 ? 0 : 1, t);
}

void G3Edge::SetCorner(int side, int end, G3Normal* n, G3TexCoo* t)
{
    if (!geometry) {
        if (!n && !t)
            return;
        geometry = new G3EdgeGeometry();
    }
    geometry->Set(side == 1 ? 0 : 1, end == 1 ? 0 : 1, n, t);
}

// A facet on neither side would be taken for side 2: its reads would
// hand out the corners of the facet that is there, its writes overwrite
// them.
bool G3Edge::OnASide(const G3Facet* f) const { return f != nullptr && (f == facet1 || f == facet2); }

G3Normal* G3Edge::GetCorner(const G3Facet* f, const G3Vertex* v, G3TexCoo** t) const
{
    if (!OnASide(f)) {
        if (t)
            *t = nullptr;
        return nullptr;
    }
    return GetCorner(GetFacetSide(f), v == vertex1 ? 1 : 2, t);
}

void G3Edge::SetCorner(const G3Facet* f, const G3Vertex* v, G3Normal* n, G3TexCoo* t)
{
    if (!OnASide(f))
        return;
    SetCorner(GetFacetSide(f), v == vertex1 ? 1 : 2, n, t);
}

void G3Edge::SetGeometry(G3EdgeGeometry* g)
{
    if (!g) {
        delete geometry;
        geometry = nullptr;
        return;
    }
    if (g == geometry)
        return;
    if (!geometry)
        geometry = new G3EdgeGeometry();
    geometry->Copy(g);
}

bool G3Edge::GetNormals(const G3Facet* f, G3Normal** normalV1, G3TexCoo** texV1, G3Normal** normalV2,
                        G3TexCoo** texV2) const
{
    if (!OnASide(f)) {
        for (G3TexCoo** t : {texV1, texV2})
            if (t)
                *t = nullptr;
        if (normalV1)
            *normalV1 = nullptr;
        if (normalV2)
            *normalV2 = nullptr;
        return false;
    }
    return GetNormals(normalV1, texV1, normalV2, texV2, GetFacetSide(f));
}

bool G3Edge::GetNormals(G3Normal** normalV1, G3TexCoo** texV1, G3Normal** normalV2, G3TexCoo** texV2,
                        int side) const
{
    const int s = side == 1 ? 1 : 2;
    G3Normal* n1 = GetCorner(s, 1, texV1);
    G3Normal* n2 = GetCorner(s, 2, texV2);
    if (normalV1)
        *normalV1 = n1;
    if (normalV2)
        *normalV2 = n2;
    return n1 != nullptr;
}

void G3Edge::SetNormals(const G3Facet* f, const G3Vertex* va, G3Normal* na, G3TexCoo* ta, const G3Vertex*,
                        G3Normal* nb, G3TexCoo* tb)
{
    if (!OnASide(f))
        return;
    if (va != vertex1) {
        std::swap(na, nb);
        std::swap(ta, tb);
    }
    const int side = GetFacetSide(f);
    SetCorner(side, 1, na, ta);
    SetCorner(side, 2, nb, tb);
}

void G3Edge::SwapVertex()
{
    std::swap(vertex1, vertex2);
    std::swap(vertex1Edge, vertex2Edge);
    if (geometry)
        geometry->SwapVertex();
}

// -------------------------------------------------------------- relations

bool G3Edge::IsLink(const G3Edge* e) const
{
    return e != nullptr && (HasVertex(e->vertex1) || HasVertex(e->vertex2));
}

bool G3Edge::IsVertexEquals(const G3Edge* e) const
{
    return e != nullptr && ((vertex1 == e->vertex1 && vertex2 == e->vertex2) ||
                            (vertex1 == e->vertex2 && vertex2 == e->vertex1));
}

// ------------------------------------------------------------------ sizes

double G3Edge::GetSizeXYZ() const
{
    if (!vertex1 || !vertex2)
        return 0.0;
    return GetSizeXYZ(vertex1->GetXYZ(), vertex2->GetXYZ());
}

double G3Edge::GetSizeXYZ(const double* a, const double* b)
{
    const double dx = b[0] - a[0];
    const double dy = b[1] - a[1];
    const double dz = b[2] - a[2];
    return std::sqrt(dx * dx + dy * dy + dz * dz);
}

double G3Edge::GetSizeXY() const { return GetSize(0, 1); }

double G3Edge::GetSize(int i, int j) const
{
    if (!vertex1 || !vertex2 || i < 0 || i > 2 || j < 0 || j > 2)
        return 0.0;
    const double* a = vertex1->GetXYZ();
    const double* b = vertex2->GetXYZ();
    const double di = b[i] - a[i];
    const double dj = b[j] - a[j];
    return std::sqrt(di * di + dj * dj);
}

// A missing end or output leaves `out` as it was.
void G3Edge::CalcCentrePoint(const G3Vertex* a, const G3Vertex* b, double* out)
{
    if (!a || !b || !out)
        return;
    for (int k = 0; k < 3; ++k)
        out[k] = (a->GetXYZ(k) + b->GetXYZ(k)) * 0.5;
}

GEnvelope* G3Edge::FormEnvelope(GEnvelope* env) const
{
    if (!vertex1 || !vertex2)
        return env;
    return GEnvelope::FormEnvelope(env, vertex1->GetXYZ(), vertex2->GetXYZ());
}

// ------------------------------------------------------------ mesh status

bool G3Edge::IsEdgeOnMesh() const
{
    if (GetVisible())
        return true;
    if (!GetFormMaking())
        return false;
    const bool one = (facet1 != nullptr) != (facet2 != nullptr);
    if (!one)
        return true;
    if (!vertex1 || !vertex2)
        return false;
    return (vertex1->GetEdgeCount(vertex2) & 1) != 0;
}

bool G3Edge::IsLegalForMerge() const
{
    if (!facet1 || !facet2)
        return false;
    return IsLegalForMerge(facet1, facet1, facet2) && IsLegalForMerge(facet2, facet1, facet2);
}

bool G3Edge::IsLegalForMerge(const G3Facet* chain, const G3Facet* a, const G3Facet* b) const
{
    const G3Edge* first = chain->GetFirstEdge();
    if (!first)
        return false;
    const bool firstShared = first->FacetEqu(a, b);
    bool prevShared = firstShared;
    int changes = 0;
    for (const G3Edge* e = first->GetFacetEdge(chain); e; e = e->GetFacetEdge(chain)) {
        const bool shared = e->FacetEqu(a, b);
        if (shared != prevShared)
            ++changes;
        prevShared = shared;
    }
    if (prevShared != firstShared) // closing step, last edge back to the first
        ++changes;
    return changes == 2;
}
