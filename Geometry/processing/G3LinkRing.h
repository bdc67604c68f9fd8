#pragma once
// A parent contour while holes are joined to it (G3EdgeListLink.cpp): its
// edges as a ring in list order, growing by runs spliced in after an edge,
// with what the joining asks of it answered from an index instead of a
// walk round the whole parent.
//
// Invariants it keeps:
// - The ring is the list as the splices would have left it: node 0 is the
//   list's first edge (a splice goes in after an edge, never before the
//   first), Next follows the list order and wraps to node 0.
// - Every node has a label, strictly increasing from node 0 along the
//   ring, so that two nodes compare in list order without a walk. A run
//   that finds no room between its neighbours' labels relabels the
//   smallest aligned label range around it that is sparse enough (at most
//   sqrt(range) nodes), which keeps the relabelling amortised logarithmic.
// - A grid over the room the parent and its holes take up holds every
//   node's vertex (the edge's vertex1) in the cell of its coordinates, and
//   every edge in the cells its box meets (an edge whose box meets too many
//   cells is kept aside and tested by every question). Cells are monotone
//   in the coordinate, so a box that meets an edge's box reaches one of
//   its cells. A ring that never holds more than a few dozen edges has no
//   grid: every question scans it whole.
//
// The one place where it rounds is the nearest-first search: a candidate is
// handed out only while its squared distance lies below the square of the
// distance to the searched block's border, less a millionth of a cell; a
// grid that cells could not resolve that finely is not built (one cell).

#include <cstdint>
#include <functional>
#include <tuple>
#include <unordered_map>
#include <vector>

class G3Edge;
class G3EdgeList;
class G3Vertex;

class G3LinkRing {
public:
    // The edges of `list`, one closed run, on the axes (i, j). All vertices
    // to come lie in the box [lo, hi] (per axis); about `expected` edges
    // will be held.
    G3LinkRing(G3EdgeList* list, int i, int j, const double lo[2], const double hi[2], int expected);

    int Size() const { return static_cast<int>(nodes.size()); }
    G3Edge* Edge(int node) const { return nodes[static_cast<std::size_t>(node)].edge; }
    int Next(int node) const { return nodes[static_cast<std::size_t>(node)].next; }
    // Whether node a comes before node b in the list.
    bool Before(int a, int b) const { return Label(a) < Label(b); }

    // Puts the edges in after node `at`, in their order.
    void InsertAfter(int at, const std::vector<G3Edge*>& run);
    // The nodes whose edge arrives at v, in list order.
    void Arriving(const G3Vertex* v, std::vector<int>& out) const;
    // The list rebuilt from the ring, in ring order from node 0.
    void Unload();

    // Offers every node's vertex to `take(node, d)` nearest first by d =
    // distance2(p, vertex1 of the node), equal d in list order, until take
    // returns true; false when none did.
    bool Nearest(const double* p, const std::function<double(const double*)>& distance2,
                 const std::function<bool(int, double)>& take);
    // Calls f(node, a, b) once for every edge whose box meets the box
    // [lo, hi] (per axis, closed; hi may be infinite), with copies of the
    // coordinates of its vertex1 and vertex2.
    void EdgesNear(const double lo[2], const double hi[2],
                   const std::function<void(int, const double*, const double*)>& f);

private:
    struct Node {
        G3Edge* edge;
        int next;
        int prev;
        int sameEnd; // the next node arriving at the same vertex, -1 at the end
        std::uint64_t label;
        unsigned stamp;
    };

    std::uint64_t Label(int node) const { return nodes[static_cast<std::size_t>(node)].label; }
    void Relabel(int at, int last);
    void Index(int node);
    int Cell(int a, double x) const;
    std::size_t CellAt(int x, int y) const
    {
        return static_cast<std::size_t>(y) * static_cast<std::size_t>(count[0]) + static_cast<std::size_t>(x);
    }
    bool InRoom(const double* xyz) const;
    double Border(int a, int c) const;
    double Reach2(const double* p, int cx, int cy, int r) const;

    G3EdgeList* list;
    int ax[2];
    bool flat; // no cells and no passage map: every question scans all
    std::vector<Node> nodes;
    std::unordered_map<const G3Vertex*, int> arrivingAt; // the last node arriving there
    double low[2];
    double high[2];
    double scale[2] = {0.0, 0.0};
    int count[2] = {1, 1};
    double slack = 0.0;
    std::vector<std::vector<int>> vertexCells;
    // An edge and copies of its ends, where the cells keep it: a question
    // reads no vertex through the edge.
    struct Entry {
        double a[3];
        double b[3];
        int node;
    };
    std::vector<std::vector<Entry>> edgeCells;
    std::vector<int> strays;  // vertices outside the room
    std::vector<Entry> wide;  // edges over too many cells
    unsigned stamp = 0;
    std::vector<std::tuple<double, std::uint64_t, int>> heap; // Nearest's
};
