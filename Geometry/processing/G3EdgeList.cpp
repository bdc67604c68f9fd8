#include "Geometry/processing/G3EdgeList.h"

#include "Geometry/math/G3Math.h"
#include "Geometry/mesh/G3Edge.h"
#include "Geometry/mesh/G3EdgeCopy.h"
#include "Geometry/mesh/G3EdgeListVertexIterator.h"
#include "Geometry/mesh/G3Facet.h"
#include "Geometry/mesh/G3FacetIterators.h"
#include "Geometry/mesh/G3Vertex.h"

#include <atomic>

G_DEFINE_POOL(G3EdgeList, "G3EdgeList", 16384)

unsigned long long G3EdgeList::NextSerial()
{
    static std::atomic<unsigned long long> counter{0};
    return counter.fetch_add(1, std::memory_order_relaxed) + 1;
}

G3EdgeList::G3EdgeList(int flags, int surface) : facetFlags(flags), facetSurface(surface) {}

G3EdgeList::G3EdgeList(G3Facet* f)
{
    if (!f)
        return;
    facetFlags = static_cast<int>(f->GetFlags());
    facetSurface = f->GetSurface();
    SetPlane(f->GetPlane());
    AddEdges(f);
    Normalize();
}

G3EdgeList::G3EdgeList(int n, G3Vertex** v, int* edgeFlags, G3Normal** normals, G3TexCoo** texCoos, int flags,
                       int surface)
    : facetFlags(flags), facetSurface(surface)
{
    if (!v || n < 1)
        return;
    for (int k = 0; k < n; ++k) {
        const int l = (k + 1) % n;
        if (!v[k] || !v[l] || v[k] == v[l])
            continue;
        AddEdge(v[k], v[l], normals ? normals[k] : nullptr, normals ? normals[l] : nullptr,
                texCoos ? texCoos[k] : nullptr, texCoos ? texCoos[l] : nullptr, edgeFlags ? edgeFlags[k] : 1);
    }
}

G3EdgeList::G3EdgeList(GArrayCollection* edgeList) : G3EdgeList(edgeList, 1, 1) {}

G3EdgeList::G3EdgeList(GArrayCollection* edgeList, int flags, int surface) : facetFlags(flags), facetSurface(surface)
{
    AddEdges(edgeList, nullptr);
    Normalize();
}

G3EdgeList::G3EdgeList(const G3EdgeList& other) : GArrayCollection(other.size() > 0 ? other.size() : 1, 1024)
{
    Assign(other);
}

G3EdgeList& G3EdgeList::operator=(const G3EdgeList& other)
{
    if (this != &other)
        Assign(other);
    return *this;
}

G3EdgeList::~G3EdgeList() { clear(true); }

void G3EdgeList::Assign(const G3EdgeList& other)
{
    clear(true);
    envelope = other.envelope;
    contourType = other.contourType;
    facetFlags = other.facetFlags;
    facetSurface = other.facetSurface;
    SetPlane(other.plane);
    xCoo = other.xCoo;
    yCoo = other.yCoo;
    inCount = other.inCount;
    for (int i = 0; i < other.size(); ++i)
        add(other.GetEdge(i)->Duplicate());
}

G3EdgeList* G3EdgeList::Duplicate()
{
    G3EdgeList* copy = new G3EdgeList(facetFlags, facetSurface);
    copy->contourType = contourType;
    for (int i = 0; i < size(); ++i) {
        G3Edge* e = new G3Edge();
        e->Copy(GetEdge(i));
        copy->add(e);
    }
    return copy;
}


void G3EdgeList::SetPlane(const double* abcd)
{
    if (!abcd)
        return;
    for (int k = 0; k < 4; ++k)
        plane[k] = abcd[k];
}

G3Edge* G3EdgeList::AddEdge(G3Vertex* a, G3Vertex* b, G3Normal* na, G3Normal* nb, G3TexCoo* ta, G3TexCoo* tb,
                            int flags)
{
    G3Edge* e = new G3Edge(a, b);
    e->SetFlags(static_cast<long>(static_cast<unsigned int>(flags)));
    e->SetFacet1V1(na, ta);
    e->SetFacet1V2(nb, tb);
    e->SetFacet2V1(na, ta);
    e->SetFacet2V2(nb, tb);
    add(e);
    return e;
}

void G3EdgeList::AddCopy(const G3EdgeCopy& c) { AddEdge(c.v1, c.v2, c.n1, c.n2, c.t1, c.t2, c.flags); }

void G3EdgeList::AddEdges(G3Facet* f)
{
    if (!f)
        return;
    for (G3Edge* e = f->GetFirstEdge(); e; e = e->GetFacetEdge(f))
        AddCopy(G3EdgeCopyOf(e, e->GetFacetSide(f)));
}

void G3EdgeList::AddEdges(GArrayCollection* edgeList, G3Facet* f)
{
    G3ForEachEdgeCopy(edgeList, f, [this](const G3EdgeCopy& c) { AddCopy(c); });
}

void G3EdgeList::Normalize()
{
    if (size() < 2)
        return;
    // Each edge is turned to run from the vertex at which its contour's walk
    // enters it. The walker stands on vertices, not on edge ends, so turning
    // the edge it has just passed does not disturb it.
    G3ContourWalker w(this);
    while (w.Next()) {
        G3Edge* e = w.GetEdge();
        if (w.GetEntry() && e->GetVertex1() != w.GetEntry())
            e->SwapVertex();
    }
}

void G3EdgeList::FormEnvelope()
{
    envelope.Init();
    bool first = true;
    for (int i = 0; i < size(); ++i) {
        const G3Edge* e = GetEdge(i);
        const G3Vertex* ends[2] = {e->GetVertex1(), e->GetVertex2()};
        for (const G3Vertex* v : ends) {
            if (!v)
                continue;
            if (first)
                envelope.Init(v->GetXYZ());
            else
                envelope.Add(v->GetXYZ());
            first = false;
        }
    }
}

bool G3EdgeList::FormMaxPlaneCoo()
{
    G3EdgeListVertexIterator it(this);
    return G3Math::FormMaxPlaneCoo(&it, &xCoo, &yCoo, plane);
}

bool G3EdgeList::Equals(G3EdgeList* o)
{
    if (!o || o->size() != size())
        return false;
    const int n = size();
    if (n == 0)
        return true;
    const G3Edge* first = o->GetEdge(0);
    int anchor = -1;
    for (int i = 0; i < n && anchor < 0; ++i) {
        const G3Edge* e = GetEdge(i);
        if (e->GetVertex1() == first->GetVertex1() && e->GetVertex2() == first->GetVertex2())
            anchor = i;
    }
    if (anchor < 0)
        return false;
    for (int k = 0; k < n; ++k) {
        const G3Edge* a = GetEdge((anchor + k) % n);
        const G3Edge* b = o->GetEdge(k);
        if (a->GetVertex1() != b->GetVertex1() || a->GetVertex2() != b->GetVertex2())
            return false;
    }
    return true;
}
