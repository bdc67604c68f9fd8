#pragma once
// The faces into which a set of edges lying in one plane divides it: the
// engine's way of rebuilding a facet cut by segments, and of closing the
// pieces of a planar section into faces.
//
// Edges come in two kinds. A boundary edge bounds material on its left only
// (seen from the front of the plane, walking from its first vertex to its
// second): the contours of a facet. A cut edge has material on both sides:
// segments drawn across a facet, or the pieces of a section. Resolve()
// splits the edges where they cross or touch (new vertices are added to the
// surface, with corner data interpolated along the split edge), merges
// coincident ones and drops edges with a free end. GetFaces() then walks the
// faces whose every side is material, each an outer contour (anticlockwise
// about the front normal) with the holes that lie in it (clockwise).
//
// Points closer than 1e-6 are one point; a point within 1e-6 of an edge
// lies on it (both measured in the projection on the plane's two dominant
// axes).

#include <unordered_map>
#include <utility>
#include <vector>

class GArrayCollection;
class G3Normal;
class G3PointHash;
class G3Surface;
class G3TexCoo;
class G3Vertex;

class G3PlanarFaces {
public:
    // Faces of a plane with unit normal (nx, ny, nz), seen from its front.
    // New vertices, normals and texture coordinates go to s; `made` (may
    // be null) holds vertices made earlier for other faces, which points
    // at the same place reuse (new vertices are added to it).
    G3PlanarFaces(G3Surface* s, G3PointHash* made, const double* normal);
    G3PlanarFaces(const G3PlanarFaces&) = delete;
    G3PlanarFaces& operator=(const G3PlanarFaces&) = delete;

    // An edge between two vertices of s (a boundary edge runs with material
    // on its left), with the corners at its two ends (any may be null) and
    // the flags its mesh edge will get. An edge whose ends are one point is
    // ignored.
    void AddEdge(G3Vertex* a, G3Vertex* b, G3Normal* na, G3TexCoo* ta, G3Normal* nb, G3TexCoo* tb, long flags,
                 bool cut);
    // The same between two points: the vertices are found among those
    // already known at the points, or made.
    void AddEdge(const double* a, const double* b, G3Normal* na, G3TexCoo* ta, G3Normal* nb, G3TexCoo* tb,
                 long flags, bool cut);

    void Resolve();

    // After Resolve(): takes out the cut edges with one face on both sides
    // (a cut from one contour of a facet to another, or a stub tying a
    // loop to a contour). Such an edge divides nothing, and a face walked
    // round it runs out along it and back. Edges left with a free end go
    // too. Returns how many bridges went.
    int DropBridges();

    // One face: its contours, each a run of half-edges.
    struct HalfEdge {
        G3Vertex* from;
        G3Vertex* to;
        G3Normal* normalFrom;
        G3TexCoo* texFrom;
        G3Normal* normalTo;
        G3TexCoo* texTo;
        long flags;
    };
    using Contour = std::vector<HalfEdge>;
    struct Face {
        std::vector<Contour> contours; // outer first
        double area = 0.0;             // of the outer contour, in projection
    };
    // The material faces after Resolve(); a face without a material side
    // all round (outside every boundary) is not one.
    std::vector<Face> GetFaces();

    // After GetFaces(): keeps the union of the faces whose flag in `keep` is
    // set (one flag per face returned, in order) and nothing else. An edge
    // with a kept face on one side becomes a boundary edge with that face
    // on its left; an edge with kept faces on both sides or on neither goes.
    // The next GetFaces() returns the regions of the union, one face per
    // region with its holes.
    void KeepFaces(const std::vector<char>& keep);

    // Whether the point (in the plane) lies inside an odd number of the
    // loops the live edges form: the even-odd rule over the arrangement,
    // for edge sets without material sides (sections).
    bool Encloses(const double* xyz) const;

    // Number of edges alive after Resolve().
    int GetEdgeCount() const;
    // How many live edges are cuts with material on both sides (a cut
    // across the inside, not along a boundary).
    int GetInnerCutCount() const;
    // The vertices at the ends of live edges that come from cuts.
    void GetCutVertices(std::vector<G3Vertex*>* out) const;

    // Appends to `out` one new G3Edge per half-edge of the face, contour
    // after contour (vertex1 -> vertex2 along the walk, the corners on side
    // 1): the form G3Surface::AddFacet(GArrayCollection*, ...) reads. The
    // caller deletes the edges.
    static void MakeEdges(const Face& face, GArrayCollection* out);

private:
    struct Node {
        double xyz[3];
        double u, v;
        G3Vertex* vertex;
    };
    struct Edge {
        int a, b;
        G3Normal* na;
        G3TexCoo* ta;
        G3Normal* nb;
        G3TexCoo* tb;
        long flags;
        bool cut;
        bool alive;
        // A cut made it, or merged into it.
        bool fromCut;
    };
    struct Split {
        int edge;
        double t;
        int node;
    };

    int NodeAt(const double* p, G3Vertex* v);
    // For every live half-edge (2k along edge k, 2k + 1 against it), the
    // half-edge that follows it round the face on its left; -1 for dead
    // edges.
    std::vector<int> NextHalves() const;
    long long CellKey(long long x, long long y, long long z) const;
    void SplitAll(const std::vector<Split>& splits);
    // The candidate pairs of Resolve's sweep into `pairs`, as positions in
    // `order` (the edges by ascending lo, their u ranges lo..hi),
    // ascending: found through a grid over the edges' boxes. False (pairs
    // unusable) when an edge's box is not finite.
    bool SweepPairs(const std::vector<int>& order, const std::vector<double>& lo, const std::vector<double>& hi,
                    std::vector<std::pair<int, int>>& pairs) const;
    void Merge();
    void Prune();
    G3Normal* LerpNormal(G3Normal* a, G3Normal* b, double t);
    G3TexCoo* LerpTex(G3TexCoo* a, G3TexCoo* b, double t);

    G3Surface* surface;
    G3PointHash* made;
    int iAxis = 0;
    int jAxis = 1;
    std::vector<Node> nodes;
    std::vector<Edge> edges;
    std::unordered_map<long long, std::vector<int>> cells;
    // The half-edges round each face of the last GetFaces(), in its order.
    std::vector<std::vector<int>> faceHalves;
};
