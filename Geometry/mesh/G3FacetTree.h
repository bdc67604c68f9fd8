#pragma once
// A bounding-box tree over facets for segment queries: which facets' boxes
// a segment meets. A grid hands a long ray every facet of every cell it
// passes; the tree hands it only the facets whose boxes it pierces, after
// visiting about log n nodes per facet found.
//
// Facets are reported in the order they were added, each once, whatever
// the tree's shape: callers that need a deterministic order add them in it.
// Queries keep scratch in the tree, so one query runs at a time.

#include <vector>

class G3Facet;
class GArrayCollection;
class GEnvelope;

class G3FacetTree {
public:
    // Adds f with its box, widened by `margin` on every side.
    void Add(G3Facet* f, const GEnvelope& box, double margin);
    // Builds the tree over everything added (added facets stay; a later Add
    // needs another Build).
    void Build();
    // Appends to out every added facet whose box the segment p-q meets, in
    // the order of adding. Nothing before Build.
    void FacetsAlong(const double* p, const double* q, GArrayCollection* out) const;
    // The same as positions in the order of adding (0 for the first added),
    // ascending, in place of out's old contents. Facets may be added as
    // null where only their boxes are asked after.
    void ItemsAlong(const double* p, const double* q, std::vector<int>& out) const;
    int GetFacetCount() const { return static_cast<int>(facets.size()); }

private:
    struct Box {
        double lo[3];
        double hi[3];
    };
    // A leaf holds items[first .. first + count); an inner node (count 0)
    // has its children at `first` and `second`. Its box is in floats,
    // rounded outwards: half the bytes to bring in per node visited.
    struct Node {
        float lo[3];
        float hi[3];
        int first;
        int count;
        int second;
    };
    // A segment p + t d, 0 <= t <= 1, as the box test reads it: the
    // reciprocals of d's components and which of them are zero.
    struct Ray {
        double p[3];
        double inv[3];
        bool flat[3];
    };
    template <class T>
    static bool Meets(const T* lo, const T* hi, const Ray& r);
    // Twice the centre of an item's box on one axis.
    double Centre(int item, int axis) const;
    // Reorders the items first[0 .. count) into the two children's and
    // returns how many go to the first (between 1 and count - 1).
    int SplitItems(int* first, int count);

    std::vector<G3Facet*> facets;
    // Boxes in the order of adding until Build, then in the leaves' order
    // (items[k] is the adding index of the facet with boxes[k]).
    std::vector<Box> boxes;
    std::vector<int> items;
    std::vector<Node> nodes;
    mutable std::vector<int> stack;
    mutable std::vector<int> found;
};
