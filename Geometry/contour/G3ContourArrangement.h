#pragma once
// The working state of a G3ContourIntersector between LoadBegin and
// DoIntersect: the loaded segments and regions, and the computation of the
// arrangement's contours for one operation. Internal to the intersector.

#include "Geometry/contour/G3ContourCover.h"

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
    void AddSegment(const double* a, const double* b, int flags);
    // Splits the segments at their crossings and welds their ends: fills
    // the graph's vertices and `pieces`.
    void FormPieces(G3Surface* graph);
    // Walks the contours of the edges kept for `op` out of the graph into
    // `out`, each oriented and typed.
    void FormContours(int op, G3Surface* graph, GArrayCollection* out);
    // Piece index of the graph edge between vertices with ids a and b.
    int PieceOf(int a, int b) const;
    double SignedArea(G3EdgeList* c) const;

    int xCoo = 0;
    int yCoo = 1;
    int zCoo = 2;
    bool valid = false;
    bool ended = false;

    std::vector<Segment> segments;
    G3ContourCover cover;
    // The open contour: its points (projected) and where it started.
    bool open = false;
    std::vector<double> contourXY;
    double start[3] = {0, 0, 0};
    double last[3] = {0, 0, 0};

    std::vector<Piece> pieces;
    // Sorted (min id, max id, piece) triples for PieceOf.
    std::vector<long long> pieceKeys;
};
