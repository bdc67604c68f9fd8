#pragma once
// Builds small meshes by hand for the entity tests: vertices, edges threaded
// into both vertex rings, facets whose chains take the next free side of
// each edge. Everything is deleted with the builder.

#include "Geometry/mesh/G3Edge.h"
#include "Geometry/mesh/G3Facet.h"
#include "Geometry/mesh/G3Point.h"
#include "Geometry/mesh/G3TexCoo.h"
#include "Geometry/mesh/G3Vertex.h"

#include <initializer_list>
#include <vector>

class MeshBuilder {
public:
    MeshBuilder() = default;
    MeshBuilder(const MeshBuilder&) = delete;
    MeshBuilder& operator=(const MeshBuilder&) = delete;
    ~MeshBuilder()
    {
        for (G3Facet* f : facets)
            delete f;
        for (G3Edge* e : edges)
            delete e;
        for (G3Vertex* v : vertices)
            delete v;
        for (G3Normal* n : normals)
            delete n;
        for (G3TexCoo* t : texCoos)
            delete t;
    }

    G3Vertex* V(double x, double y, double z = 0.0)
    {
        vertices.push_back(new G3Vertex(x, y, z));
        vertices.back()->SetId(static_cast<long>(vertices.size()) - 1);
        return vertices.back();
    }
    G3Normal* N(double x, double y, double z)
    {
        normals.push_back(new G3Normal(x, y, z));
        return normals.back();
    }
    G3TexCoo* T(double u, double v)
    {
        texCoos.push_back(new G3TexCoo(u, v));
        return texCoos.back();
    }
    // A new edge a -> b, appended to both rings.
    G3Edge* E(G3Vertex* a, G3Vertex* b)
    {
        G3Edge* e = new G3Edge(a, b);
        edges.push_back(e);
        a->AddEdge(e);
        b->AddEdge(e);
        return e;
    }
    // The edge joining a and b with a free side, created a -> b when none.
    G3Edge* EdgeFor(G3Vertex* a, G3Vertex* b)
    {
        for (G3Edge* e = a->GetFirstEdge(); e; e = e->GetVertexEdge(a))
            if (e->GetOtherVertex(a) == b && (!e->GetFacet1() || !e->GetFacet2()))
                return e;
        return E(a, b);
    }
    // The first edge of a's ring that joins a and b.
    static G3Edge* Find(G3Vertex* a, G3Vertex* b)
    {
        for (G3Edge* e = a->GetFirstEdge(); e; e = e->GetVertexEdge(a))
            if (e->GetOtherVertex(a) == b)
                return e;
        return nullptr;
    }
    G3Facet* F() { facets.push_back(new G3Facet()); return facets.back(); }
    // Appends the closed contour `loop` to f's chain, taking each edge's
    // free side (facet1 first).
    void AddContour(G3Facet* f, const std::vector<G3Vertex*>& loop)
    {
        for (size_t i = 0; i < loop.size(); ++i)
            Attach(f, EdgeFor(loop[i], loop[(i + 1) % loop.size()]));
    }
    G3Facet* F(std::initializer_list<G3Vertex*> loop)
    {
        G3Facet* f = F();
        AddContour(f, loop);
        return f;
    }
    // Gives `e` to `f` on its free side and appends it to f's chain.
    static void Attach(G3Facet* f, G3Edge* e)
    {
        if (!e->GetFacet1())
            e->SetFacet1(f);
        else
            e->SetFacet2(f);
        f->AddEdge(e);
    }

    static std::vector<G3Edge*> Chain(const G3Facet* f)
    {
        std::vector<G3Edge*> out;
        for (G3Edge* e = f->GetFirstEdge(); e; e = e->GetFacetEdge(f))
            out.push_back(e);
        return out;
    }
    static std::vector<G3Edge*> Ring(const G3Vertex* v)
    {
        std::vector<G3Edge*> out;
        for (G3Edge* e = v->GetFirstEdge(); e; e = e->GetVertexEdge(v))
            out.push_back(e);
        return out;
    }
    template <class It>
    static std::vector<GObj*> Walk(It&& it)
    {
        std::vector<GObj*> out;
        while (it.hasNext())
            out.push_back(it.next());
        return out;
    }

    std::vector<G3Vertex*> vertices;
    std::vector<G3Edge*> edges;
    std::vector<G3Facet*> facets;
    std::vector<G3Normal*> normals;
    std::vector<G3TexCoo*> texCoos;
};
