#pragma once
// The working state of a G3ContourIntersector between LoadBegin and
// DoIntersect: the loaded segments and regions, and the computation of the
// arrangement's contours for one operation. Internal to the intersector.

#include <vector>

class GArrayCollection;
class GPathLoader;
class G3EdgeList;
class G3Surface;

class G3ContourArrangement {
public:
    // (xCoo, yCoo) must be distinct axes 0..2 (see Valid).
    G3ContourArrangement(int xCoo, int yCoo);
    ~G3ContourArrangement();
    G3ContourArrangement(const G3ContourArrangement&) = delete;
    G3ContourArrangement& operator=(const G3ContourArrangement&) = delete;

    bool Valid() const { return valid; }
    int GetXCoo() const { return xCoo; }
    int GetYCoo() const { return yCoo; }

    // Loading; points must be finite (the intersector checks).
    void AddTriangle(const double* p1, const double* p2, const double* p3, int f1, int f2, int f3);
    void BeginContour(const double* p);
    void ContourPoint(const double* p, int flags);
    void CloseContour(int flags);
    // Contours after this call form a region of their own (nothing happens
    // while the current region has no contour).
    void NextRegion();
    bool ContourOpen() const { return open; }
    void End() { ended = true; }
    bool Ended() const { return ended; }
    int GetSegmentCount() const { return static_cast<int>(segments.size()); }

    // Computes the contours of `op` (a BOOLEAN_OPERATION value) and sends
    // them to `loader`; whether anything was sent.
    bool Deliver(int op, GPathLoader* loader);

private:
    struct Segment {
        double a[3];
        double b[3];
        int flags;
        // A triangle's side: +1 when the triangle lies on its left, -1 on
        // its right, 0 for a triangle without area. -1 for a contour's.
        int triangleSide;
        // The contour region of a contour's segment; -1 for a triangle's.
        int region;
    };
    // An edge of the welded arrangement, a -> b as first met, and the cover
    // on its two sides.
    struct Piece {
        int a;
        int b;
        int flags;
        int leftCover;
        int rightCover;
    };

    void Project(const double* p, double* out) const;
    void AddSegment(const double* a, const double* b, int flags, int triangleSide, int region);
    // Splits the segments at their crossings, welds their ends into the
    // graph's vertices and fills `pieces` with one entry per welded vertex
    // pair, its covers read off the faces of the arrangement.
    void FormPieces(G3Surface* graph);
    // Cuts the borders of what `op` keeps into contours in `out`, each typed
    // by its turn. False when they cannot be made into closed loops.
    bool FormContours(int op, G3Surface* graph, GArrayCollection* out);
    double SignedArea(G3EdgeList* c) const;

    int xCoo = 0;
    int yCoo = 1;
    int zCoo = 2;
    bool valid = false;
    bool ended = false;

    std::vector<Segment> segments;
    // The contour region being loaded, and whether it has a contour yet.
    int region = 0;
    bool regionUsed = false;
    // The open contour: where it started and its last point (projected),
    // and its point count.
    bool open = false;
    int contourPoints = 0;
    double start[3] = {0, 0, 0};
    double last[3] = {0, 0, 0};

    std::vector<Piece> pieces;
    // The welded points as (x, y) pairs, by graph vertex id.
    std::vector<double> xy;
};
