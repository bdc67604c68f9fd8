#pragma once
// An octree of a surface's facets for segment and aperture searches. A
// facet sits in every leaf whose box its envelope meets; a facet larger
// than a node with children (its envelope's largest size exceeds the
// node's) stays in that node. Leaves split into eight octants above 200
// facets, down to level 4 (the root is level 1).
//
// The tree reads its surface when MakeTree runs and is valid until the
// surface changes. Searches use the facets' mark flag to report each facet
// once and clear the marks of what they report; they expect the surface's
// facet marks clear.

#include "Geometry/foundation/GHeap.h"
#include "Geometry/foundation/GObj.h"

class GArrayCollection;
class GEnvelope;
class G3Facet;
class G3Surface;

class G3QuadraSurfaceTreeNode : public GObj {
    G_DECLARE_POOL(G3QuadraSurfaceTreeNode)
public:
    // A leaf over `box` (not owned) at `level`.
    G3QuadraSurfaceTreeNode(GEnvelope* box, int level);
    // A deep copy of `other` and its children over `box` (not owned).
    G3QuadraSurfaceTreeNode(const G3QuadraSurfaceTreeNode& other, GEnvelope* box);
    G3QuadraSurfaceTreeNode(const G3QuadraSurfaceTreeNode&) = delete;
    G3QuadraSurfaceTreeNode& operator=(const G3QuadraSurfaceTreeNode&) = delete;
    // Deletes the children, their boxes and the facet collection.
    ~G3QuadraSurfaceTreeNode() override;
    void print() override {}

    // Inserts f, whose envelope is e; whether this node or a child took it.
    bool Insert(G3Facet* f, const GEnvelope* e);
    // Compacts the facet collections of this node and its children.
    void Compact();

    GEnvelope* box = nullptr;
    G3QuadraSurfaceTreeNode* children[8] = {};
    GEnvelope* childBoxes[8] = {};
    int level = 1;
    GArrayCollection* facets = nullptr;

private:
    // Makes the eight octant children and offers them this node's unmarked
    // facets; a facet a child took leaves this node.
    void Split();
};

class G3QuadraSurfaceTree : public GObj {
public:
    // A tree of s (not owned), empty until MakeTree.
    explicit G3QuadraSurfaceTree(G3Surface* s);
    // Deep copies: the copy has its own box and nodes over the same surface.
    G3QuadraSurfaceTree(const G3QuadraSurfaceTree& other);
    G3QuadraSurfaceTree& operator=(const G3QuadraSurfaceTree& other);
    // Deletes the nodes and the box.
    ~G3QuadraSurfaceTree() override;
    void print() override {}

    // Builds the tree anew from the surface's facets (every facet with a
    // finite, non-empty envelope) and clears all facet marks. False without
    // a surface.
    bool MakeTree();
    // Appends to out, once each, the facets of every node whose box the
    // segment p-q meets (children before their parent). False, nothing
    // appended, before MakeTree or for a non-finite end.
    bool FindIntersection(const double* p, const double* q, GArrayCollection* out);
    // The same for the nodes whose boxes meet the prism around p-q: up to
    // aperture / 2 across the segment, from p to q along it.
    bool FindIntersectionInApertura(const double* p, const double* q, double aperture, GArrayCollection* out);

    G3QuadraSurfaceTreeNode* GetRoot() const { return root; }

private:
    void Assign(const G3QuadraSurfaceTree& other);

    G3QuadraSurfaceTreeNode* root = nullptr;
    G3Surface* surface = nullptr;
    GEnvelope* box = nullptr;
};
