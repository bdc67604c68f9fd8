// The planar arrangement behind G3ContourIntersector.
//
// The loaded segments are split where they cross (the edge lists' crossing
// search) and their ends welded with a point hash of tolerance
// kContourMerge sized by the point count; segments that weld onto the same
// two points become one piece. Every region is read by the even-odd rule of
// its own sides: a triangle's sides, or the contours of one contour region.
// Which side of a piece is inside a region comes from the faces of that
// region's own border (G3ContourFaces), and the cover of each face of the
// whole arrangement from the faces' labels: crossing a piece changes the
// cover by what its regions gain or lose there. No point is sampled near a
// piece, so faces of any width are read alike.
//
// An operation keeps each half-edge whose left face it wants and whose
// right face it does not (the pieces mode: whose left face it wants, unless
// the same face lies on both sides); the kept half-edges are cut into loops
// at each vertex by the first turn clockwise, so every kept half-edge lies
// on exactly one closed loop.
//
// Invariants: outlines run counter-clockwise on (xCoo, yCoo) and holes
// clockwise. The one rounding is in the split: crossing points come from
// the segment sweep, and the weld moves every point by less than
// kContourMerge.

#include "Geometry/contour/G3ContourArrangement.h"

#include "Geometry/contour/G3ContourIntersector.h"
#include "Geometry/contour/G3ContourFaces.h"
#include "Geometry/contour/GPathLoader.h"
#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/math/G3Math.h"
#include "Geometry/math/GTolerance.h"
#include "Geometry/mesh/G3Edge.h"
#include "Geometry/mesh/G3PointHash.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/mesh/G3Vertex.h"
#include "Geometry/processing/G3EdgeList.h"

#include <algorithm>
#include <cmath>
#include <memory>

namespace {

constexpr int kVisible = 0x1;

long long PairKey(int a, int b)
{
    const long long lo = std::min(a, b);
    const long long hi = std::max(a, b);
    return (hi << 31) | lo;
}

bool Inside(int op, int cover) { return op == BOOLEAN_OPERATION_COMMON ? cover >= 2 : cover >= 1; }

} // namespace

G3ContourArrangement::G3ContourArrangement(int x, int y) : xCoo(x), yCoo(y)
{
    valid = x >= 0 && x <= 2 && y >= 0 && y <= 2 && x != y;
    zCoo = valid ? 3 - x - y : 2;
}

G3ContourArrangement::~G3ContourArrangement() = default;

void G3ContourArrangement::Project(const double* p, double* out) const
{
    out[0] = out[1] = out[2] = 0.0;
    out[xCoo] = p[xCoo];
    out[yCoo] = p[yCoo];
}

void G3ContourArrangement::AddSegment(const double* a, const double* b, int flags, int triangleSide, int inRegion)
{
    Segment s;
    for (int d = 0; d < 3; ++d) {
        s.a[d] = a[d];
        s.b[d] = b[d];
    }
    s.flags = flags;
    s.triangleSide = triangleSide;
    s.region = inRegion;
    segments.push_back(s);
}

void G3ContourArrangement::AddTriangle(const double* p1, const double* p2, const double* p3, int f1, int f2, int f3)
{
    double a[3], b[3], c[3];
    Project(p1, a);
    Project(p2, b);
    Project(p3, c);
    const double turn = (b[xCoo] - a[xCoo]) * (c[yCoo] - a[yCoo]) - (b[yCoo] - a[yCoo]) * (c[xCoo] - a[xCoo]);
    const int side = turn > 0.0 ? 1 : turn < 0.0 ? -1 : 0;
    AddSegment(a, b, f1, side, -1);
    AddSegment(b, c, f2, side, -1);
    AddSegment(c, a, f3, side, -1);
}

void G3ContourArrangement::BeginContour(const double* p)
{
    if (open)
        CloseContour(0);
    Project(p, start);
    Project(p, last);
    contourPoints = 1;
    open = true;
    regionUsed = true;
}

void G3ContourArrangement::ContourPoint(const double* p, int flags)
{
    if (!open)
        return;
    double q[3];
    Project(p, q);
    if (q[xCoo] == last[xCoo] && q[yCoo] == last[yCoo])
        return;
    AddSegment(last, q, flags, -1, region);
    for (int d = 0; d < 3; ++d)
        last[d] = q[d];
    ++contourPoints;
}

void G3ContourArrangement::CloseContour(int flags)
{
    if (!open)
        return;
    open = false;
    if (contourPoints >= 2 && (last[xCoo] != start[xCoo] || last[yCoo] != start[yCoo]))
        AddSegment(last, start, flags, -1, region);
}

void G3ContourArrangement::NextRegion()
{
    if (open)
        CloseContour(0);
    if (regionUsed) {
        ++region;
        regionUsed = false;
    }
}

void G3ContourArrangement::FormPieces(G3Surface* graph)
{
    // The split needs vertices and an edge list; both live only here. Each
    // segment has end vertices of its own, so its pieces, which the split
    // leaves in its place in the list, run from its first vertex to its
    // last.
    std::unique_ptr<G3Surface> store(new G3Surface());
    G3EdgeList list(1, 1);
    double plane[4] = {0.0, 0.0, 0.0, 0.0};
    plane[zCoo] = 1.0;
    list.SetPlane(plane);
    std::vector<int> source;
    std::vector<const G3Vertex*> lastVertex;
    for (std::size_t k = 0; k < segments.size(); ++k) {
        const Segment& s = segments[k];
        G3Vertex* a = store->AddVertex(s.a, 0);
        G3Vertex* b = store->AddVertex(s.b, 0);
        if (a && b) {
            list.AddEdge(a, b, nullptr, nullptr, nullptr, nullptr, s.flags);
            source.push_back(static_cast<int>(k));
            lastVertex.push_back(b);
        }
    }
    list.FindSelfIntersections(store.get());

    // Weld the pieces' ends into graph vertices, in a hash over the bulk of
    // them: a contour far off would stretch its cells over all the others.
    const int n = store->GetVertexCount();
    std::vector<double> ends;
    ends.reserve(3 * static_cast<std::size_t>(n));
    for (int k = 0; k < n; ++k)
        ends.insert(ends.end(), store->GetVertex(k)->GetXYZ(), store->GetVertex(k)->GetXYZ() + 3);
    double lo[3], hi[3];
    G3PointHash::BulkBox(ends, lo, hi);
    int perAxis[3] = {1, 1, 1};
    G3PointHash::SizeGrid(n, lo, hi, GTolerance::kContourMerge, perAxis);
    G3PointHash hash(perAxis, lo, hi, GTolerance::kContourMerge);
    xy.clear();
    for (int k = 0; k < n; ++k) {
        G3Vertex* v = store->GetVertex(k);
        G3Vertex* at = static_cast<G3Vertex*>(hash.Exists(v->GetXYZ()));
        if (!at) {
            at = graph->AddVertex(v->GetXYZ(), 0);
            hash.AddWithoutTest(at);
            xy.push_back(v->GetXYZ(xCoo));
            xy.push_back(v->GetXYZ(yCoo));
        }
        v->SetExData(at);
    }

    // Every split piece as (welded pair, segment), grouped by pair.
    struct Part {
        long long key;
        int a;
        int b;
        int segment;
    };
    std::vector<Part> parts;
    std::size_t cursor = 0;
    for (int k = 0; k < list.size() && cursor < source.size(); ++k) {
        const G3Edge* e = list.GetEdge(k);
        const int seg = source[cursor];
        if (e->GetVertex2() == lastVertex[cursor])
            ++cursor;
        const int a = static_cast<int>(static_cast<const G3Vertex*>(e->GetVertex1()->GetExData())->GetId());
        const int b = static_cast<int>(static_cast<const G3Vertex*>(e->GetVertex2()->GetExData())->GetId());
        if (a != b)
            parts.push_back(Part{PairKey(a, b), a, b, seg});
    }
    for (int k = 0; k < n; ++k)
        store->GetVertex(k)->SetExData(nullptr);
    std::stable_sort(parts.begin(), parts.end(), [](const Part& p, const Part& q) { return p.key < q.key; });

    // One piece per pair: a visible copy makes it visible; triangles add
    // their sides' turns; contour regions list the pieces they hold an odd
    // number of times.
    pieces.clear();
    std::vector<int> delta;
    std::vector<std::pair<int, int>> regionPieces; // (region, piece)
    for (std::size_t m = 0; m < parts.size();) {
        const Part& first = parts[m];
        const int index = static_cast<int>(pieces.size());
        Piece piece{first.a, first.b, 0, 0, 0};
        int d = 0;
        std::size_t end = m;
        for (; end < parts.size() && parts[end].key == first.key; ++end) {
            const Segment& s = segments[static_cast<std::size_t>(parts[end].segment)];
            piece.flags = end == m ? s.flags : piece.flags | (s.flags & kVisible);
            if (s.region < 0)
                d += parts[end].a == first.a ? s.triangleSide : -s.triangleSide;
            else
                regionPieces.emplace_back(s.region, index);
        }
        pieces.push_back(piece);
        delta.push_back(d);
        m = end;
    }
    std::sort(regionPieces.begin(), regionPieces.end());

    // Each contour region: the side of each of its border pieces that lies
    // inside it gains it.
    std::vector<G3ContourFaces::Edge> border;
    std::vector<int> borderPiece;
    for (std::size_t m = 0; m < regionPieces.size();) {
        const int r = regionPieces[m].first;
        border.clear();
        borderPiece.clear();
        while (m < regionPieces.size() && regionPieces[m].first == r) {
            std::size_t end = m;
            while (end < regionPieces.size() && regionPieces[end] == regionPieces[m])
                ++end;
            if ((end - m) % 2 == 1) {
                const Piece& p = pieces[static_cast<std::size_t>(regionPieces[m].second)];
                border.push_back(G3ContourFaces::Edge{p.a, p.b});
                borderPiece.push_back(regionPieces[m].second);
            }
            m = end;
        }
        const std::vector<char> left = G3ContourFaces::EvenOddLeftInside(xy, border);
        for (std::size_t k = 0; k < border.size(); ++k)
            delta[static_cast<std::size_t>(borderPiece[k])] += left[k] ? 1 : -1;
    }

    std::vector<G3ContourFaces::Edge> all;
    all.reserve(pieces.size());
    for (const Piece& p : pieces)
        all.push_back(G3ContourFaces::Edge{p.a, p.b});
    const G3ContourFaces faces(xy, all);
    const std::vector<long long> cover = faces.Label(delta);
    for (std::size_t k = 0; k < pieces.size(); ++k) {
        pieces[k].leftCover = static_cast<int>(cover[static_cast<std::size_t>(faces.GetFace(static_cast<int>(2 * k)))]);
        pieces[k].rightCover =
            static_cast<int>(cover[static_cast<std::size_t>(faces.GetFace(static_cast<int>(2 * k + 1)))]);
    }
}

double G3ContourArrangement::SignedArea(G3EdgeList* c) const
{
    // Taken about the first corner: products of site coordinates (5e6)
    // carry an error of 1e-3 each, which turned loops of a few centimetres
    // the wrong way and typed outlines as holes.
    if (c->size() == 0)
        return 0.0;
    const double* o = c->GetEdge(0)->GetVertex1()->GetXYZ();
    double twice = 0.0;
    for (int k = 0; k < c->size(); ++k) {
        const double* p = c->GetEdge(k)->GetVertex1()->GetXYZ();
        const double* q = c->GetEdge(k)->GetVertex2()->GetXYZ();
        twice += G3Math::GetArea2(o, p, q, xCoo, yCoo);
    }
    return 0.5 * twice;
}

bool G3ContourArrangement::FormContours(int op, G3Surface* graph, GArrayCollection* out)
{
    std::vector<G3ContourFaces::Edge> all;
    all.reserve(pieces.size());
    for (const Piece& p : pieces)
        all.push_back(G3ContourFaces::Edge{p.a, p.b});
    const G3ContourFaces faces(xy, all);
    std::vector<char> keep(2 * pieces.size(), 0);
    for (std::size_t k = 0; k < pieces.size(); ++k) {
        const bool left = Inside(op, pieces[k].leftCover);
        const bool right = Inside(op, pieces[k].rightCover);
        if (op == BOOLEAN_OPERATION_PIECES) {
            // A piece with one face on both sides borders nothing.
            const bool border = faces.GetFace(static_cast<int>(2 * k)) != faces.GetFace(static_cast<int>(2 * k + 1));
            keep[2 * k] = border && left;
            keep[2 * k + 1] = border && right;
        } else {
            keep[2 * k] = left && !right;
            keep[2 * k + 1] = right && !left;
        }
    }
    std::vector<std::vector<int>> loops;
    if (!faces.Loops(keep, loops))
        return false;
    for (const std::vector<int>& loop : loops) {
        // Each loop starts at its lowest (then leftmost) corner.
        std::size_t first = 0;
        for (std::size_t k = 1; k < loop.size(); ++k) {
            const int v = faces.GetFrom(loop[k]), w = faces.GetFrom(loop[first]);
            const double vy = xy[2 * static_cast<std::size_t>(v) + 1], wy = xy[2 * static_cast<std::size_t>(w) + 1];
            if (vy < wy || (vy == wy && xy[2 * static_cast<std::size_t>(v)] < xy[2 * static_cast<std::size_t>(w)]))
                first = k;
        }
        G3EdgeList* c = new G3EdgeList(1, 1);
        c->SetAxes(xCoo, yCoo);
        for (std::size_t m = 0; m < loop.size(); ++m) {
            const int h = loop[(first + m) % loop.size()];
            const Piece& p = pieces[static_cast<std::size_t>(h >> 1)];
            c->AddEdge(graph->GetVertex(faces.GetFrom(h)), graph->GetVertex(faces.GetTo(h)), nullptr, nullptr, nullptr,
                       nullptr, p.flags & kVisible);
        }
        // Borders turn with the kept side on their left: outlines
        // counter-clockwise, holes clockwise.
        c->SetContourType(SignedArea(c) > 0.0 ? CONTOUR_TYPE_OUTER : CONTOUR_TYPE_HOLE);
        c->FormEnvelope();
        out->add(c);
    }
    if (op != BOOLEAN_OPERATION_PIECES && out->size() >= 2)
        G3EdgeList::RemeshContours(nullptr, out, true, 1);
    return true;
}

bool G3ContourArrangement::Deliver(int op, GPathLoader* loader)
{
    if (!valid || !loader || segments.size() < 2)
        return false;
    if (op != BOOLEAN_OPERATION_UNION && op != BOOLEAN_OPERATION_PIECES && op != BOOLEAN_OPERATION_COMMON)
        return false;
    G3Surface graph;
    FormPieces(&graph);
    GArrayCollection contours;
    // Borders that do not close would lose a face: nothing is delivered.
    const bool closed = FormContours(op, &graph, &contours);

    // Outlines counter-clockwise, holes clockwise: a host reads the sides
    // from the turn alone.
    int count = 0;
    for (int k = 0; k < contours.size(); ++k) {
        G3EdgeList* c = static_cast<G3EdgeList*>(contours.get(k));
        const bool hole = c->GetContourType() == CONTOUR_TYPE_HOLE;
        if ((SignedArea(c) < 0.0) != hole) {
            c->Rotate();
            c->Normalize();
        }
        if (c->size() > 0)
            ++count;
    }
    if (!closed)
        count = 0;
    if (count > 0) {
        loader->PathBegin(count);
        loader->PathSetPreferPlane(xCoo, yCoo);
        for (int k = 0; k < contours.size(); ++k) {
            G3EdgeList* c = static_cast<G3EdgeList*>(contours.get(k));
            if (c->size() == 0)
                continue;
            double p[3];
            const double* first = c->GetEdge(0)->GetVertex1()->GetXYZ();
            for (int d = 0; d < 3; ++d)
                p[d] = first[d];
            loader->PathContourBegin(p, c->size(), c->GetContourType());
            for (int m = 0; m < c->size(); ++m) {
                const G3Edge* e = c->GetEdge(m);
                const double* q = e->GetVertex2()->GetXYZ();
                for (int d = 0; d < 3; ++d)
                    p[d] = q[d];
                loader->PathContourSegmentTo(SEGMENT_TYPE_LINE,
                                             (e->GetFlags() & kVisible) ? SEGMENT_VISIBLE : SEGMENT_INVISIBLE, 1, p);
            }
            loader->PathContourEnd();
        }
        loader->PathEnd();
    }
    for (int k = 0; k < contours.size(); ++k)
        delete static_cast<G3EdgeList*>(contours.get(k));
    contours.clear();
    return count > 0;
}
