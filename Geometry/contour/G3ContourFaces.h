#pragma once
// The faces of a planar graph given by its vertices' positions and its
// edges, and what sits on each side of an edge.
//
// Every edge e (a -> b) gives two half-edges: 2e runs a -> b, 2e + 1 runs
// b -> a. A face is a cycle of half-edges, each with the face on its left:
// after a half-edge arriving at v comes the half-edge leaving v next
// clockwise from the way back. Bounded faces run counter-clockwise, the
// outer face around each connected part clockwise. The cycles follow from
// the order of the edges around each vertex alone, so every half-edge lies
// on exactly one closed face whatever the coordinates.
//
// Labels: given for each edge how much a value grows from its right side to
// its left (delta), Label assigns each face a value: 0 far away, changed by
// the deltas of the edges crossed. The outer face of each connected part
// takes the sum met on the way up from below to its lowest vertex, read off
// the other parts' edges: the value of the face above the first edge met
// going down, whose part, lower, is labelled before; the other faces follow
// across edges.
//
// The graph must be planar as given: edges meet only at shared vertices.
// Vertices without edges take no part. Results are deterministic: ties in
// direction are broken by index.

#include <vector>

class G3ContourFaces {
public:
    struct Edge {
        int a;
        int b;
    };

    // xy holds (x, y) per vertex; edges join distinct vertices, at most one
    // edge per vertex pair. Both are read, not copied: they must outlive
    // the faces.
    G3ContourFaces(const std::vector<double>& xy, const std::vector<Edge>& edges);

    int GetFaceCount() const { return faceCount; }
    // The face on the left of half-edge h.
    int GetFace(int h) const { return face[static_cast<std::size_t>(h)]; }
    // The half-edge after h around its face.
    int GetNext(int h) const { return next[static_cast<std::size_t>(h)]; }
    int GetFrom(int h) const;
    int GetTo(int h) const { return GetFrom(h ^ 1); }

    // Per face, the value described above for the given per-edge deltas.
    std::vector<long long> Label(const std::vector<int>& delta) const;

    // Cuts the half-edges marked in `keep` into closed loops: after a kept
    // half-edge arriving at v comes the first kept half-edge leaving v
    // clockwise from the way back. Where a kept region's border touches
    // itself at a vertex, the region is thus split there. Each loop lists
    // its half-edges in order. False (loops unusable) when the kept set is
    // not the border of a set of faces, each kept half-edge with a kept face
    // on its left and a left-out one on its right, or a bridge of one face.
    bool Loops(const std::vector<char>& keep, std::vector<std::vector<int>>& loops) const;

    // For the even-odd region bounded by the given edges: per edge, whether
    // its left side is inside.
    static std::vector<char> EvenOddLeftInside(const std::vector<double>& xy, const std::vector<Edge>& edges);

private:
    // Half-edges leaving each vertex, counter-clockwise from the +x axis.
    void SortAround();
    // The lowest (then leftmost) vertex with edges of each connected part.
    void FindParts();
    // The parts in order of their lowest vertex, and for each the edge of
    // another part met first going down from that vertex (-1 none, -2 an
    // edge whose part does not come first).
    void FindBelow();
    // Whether edge e crosses the ray down from just right of v and belongs
    // to another part than v.
    bool CountsBelow(int e, int v) const;
    double X(int v) const { return xy[2 * static_cast<std::size_t>(v)]; }
    double Y(int v) const { return xy[2 * static_cast<std::size_t>(v) + 1]; }

    const std::vector<double>& xy;
    const std::vector<Edge>& edges;
    // Per vertex, its outgoing half-edges in turn order (offsets into out).
    std::vector<int> firstOut;
    std::vector<int> out;
    // Per half-edge, its position in its origin's turn order.
    std::vector<int> slot;
    std::vector<int> next;
    std::vector<int> face;
    int faceCount = 0;
    // Per vertex its part; per part its lowest vertex.
    std::vector<int> part;
    std::vector<int> partLow;
    std::vector<int> partOrder;
    std::vector<int> partBelow;
};
