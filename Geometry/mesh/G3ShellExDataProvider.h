#pragma once
// The provider a shell may carry: told when each kind of entity enters
// (Open...) and leaves (Close...) the shell, for the kinds whose IsExData...
// query answers true. The base class does nothing and accepts no kind.

class G3Edge;
class G3PolyEdge;
class G3Vertex;
class G3Normal;
class G3TexCoo;
class G3Facet;

class G3ShellExDataProvider {
public:
    virtual ~G3ShellExDataProvider() = default;
    virtual void OpenExDataEdge(G3Edge*) {}
    virtual void OpenExDataPolyEdge(G3PolyEdge*) {}
    virtual void CloseExDataEdge(G3Edge*) {}
    virtual void CloseExDataPolyEdge(G3PolyEdge*) {}
    virtual void OpenExDataVertex(G3Vertex*) {}
    virtual void CloseExDataVertex(G3Vertex*) {}
    virtual void OpenExDataNormal(G3Normal*) {}
    virtual void CloseExDataNormal(G3Normal*) {}
    virtual void OpenExDataTexCoo(G3TexCoo*) {}
    virtual void CloseExDataTexCoo(G3TexCoo*) {}
    virtual void OpenExDataFacet(G3Facet*) {}
    virtual void CloseExDataFacet(G3Facet*) {}
    virtual bool IsExDataEdge() { return false; }
    virtual bool IsExDataVertex() { return false; }
    virtual bool IsExDataNormal() { return false; }
    virtual bool IsExDataTexCoo() { return false; }
    virtual bool IsExDataFacet() { return false; }
    virtual bool IsExDataPolyEdge() { return false; }
};
