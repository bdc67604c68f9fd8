// The planar arrangement behind G3ContourIntersector.
//
// The loaded segments are split where they cross (the edge lists' crossing
// search), their ends welded with a point hash of tolerance kContourMerge
// sized by the point count, and each welded piece labelled with the cover
// (G3ContourCover) just left and right of its middle. An operation keeps
// a piece once per side it wants as a face: the union and the common part
// keep the pieces that separate inside from outside, the pieces mode keeps
// each piece once for every inside side. The contour graph's walk
// (RemoveContour, which turns at each vertex onto the edge next clockwise
// from the way back) then takes out one closed loop at a time, each the
// border of the region on its left, until no edge is left.
//
// Invariants: every loop delivered is closed and is taken from the graph
// edges of its operation, each graph edge in at most one loop; outlines run
// counter-clockwise on (xCoo, yCoo) and holes clockwise. The one rounding
// is in the split: crossing points come from the segment sweep, and the
// weld moves every point by less than kContourMerge.

#include "Geometry/contour/G3ContourArrangement.h"

#include "Geometry/contour/G3ContourIntersector.h"
#include "Geometry/contour/GPathLoader.h"
#include "Geometry/foundation/GArrayCollection.h"
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

// The cover probes sit this far from a piece's middle, on either side: half
// the merge distance, well clear of the 1e-6 band in which the split moves
// points onto segments, and inside the faces of anything the weld keeps.
constexpr double kProbeOffset = 0.5 * GTolerance::kContourMerge;

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

void G3ContourArrangement::AddSegment(const double* a, const double* b, int flags)
{
    Segment s;
    for (int d = 0; d < 3; ++d) {
        s.a[d] = a[d];
        s.b[d] = b[d];
    }
    s.flags = flags;
    segments.push_back(s);
}

void G3ContourArrangement::AddTriangle(const double* p1, const double* p2, const double* p3, int f1, int f2, int f3)
{
    double a[3], b[3], c[3];
    Project(p1, a);
    Project(p2, b);
    Project(p3, c);
    AddSegment(a, b, f1);
    AddSegment(b, c, f2);
    AddSegment(c, a, f3);
    const double xy[6] = {a[xCoo], a[yCoo], b[xCoo], b[yCoo], c[xCoo], c[yCoo]};
    cover.AddTriangle(xy, xy + 2, xy + 4);
}

void G3ContourArrangement::BeginContour(const double* p)
{
    if (open)
        CloseContour(0);
    Project(p, start);
    Project(p, last);
    contourXY.assign({start[xCoo], start[yCoo]});
    open = true;
}

void G3ContourArrangement::ContourPoint(const double* p, int flags)
{
    if (!open)
        return;
    double q[3];
    Project(p, q);
    if (q[xCoo] == last[xCoo] && q[yCoo] == last[yCoo])
        return;
    AddSegment(last, q, flags);
    for (int d = 0; d < 3; ++d)
        last[d] = q[d];
    contourXY.push_back(q[xCoo]);
    contourXY.push_back(q[yCoo]);
}

void G3ContourArrangement::CloseContour(int flags)
{
    if (!open)
        return;
    open = false;
    const int n = static_cast<int>(contourXY.size() / 2);
    if (n < 2)
        return;
    if (last[xCoo] != start[xCoo] || last[yCoo] != start[yCoo])
        AddSegment(last, start, flags);
    cover.AddContour(contourXY.data(), n);
}

void G3ContourArrangement::FormPieces(G3Surface* graph)
{
    // The split needs vertices and an edge list; both live only here.
    std::unique_ptr<G3Surface> store(new G3Surface());
    G3EdgeList list(1, 1);
    double plane[4] = {0.0, 0.0, 0.0, 0.0};
    plane[zCoo] = 1.0;
    list.SetPlane(plane);
    for (const Segment& s : segments) {
        G3Vertex* a = store->AddVertex(s.a, 0);
        G3Vertex* b = store->AddVertex(s.b, 0);
        if (a && b)
            list.AddEdge(a, b, nullptr, nullptr, nullptr, nullptr, s.flags);
    }
    list.FindSelfIntersections(store.get());

    // Weld the pieces' ends into graph vertices.
    const int n = store->GetVertexCount();
    double lo[3] = {0, 0, 0}, hi[3] = {0, 0, 0};
    for (int k = 0; k < n; ++k) {
        const double* p = store->GetVertex(k)->GetXYZ();
        for (int d = 0; d < 3; ++d) {
            lo[d] = k == 0 ? p[d] : std::min(lo[d], p[d]);
            hi[d] = k == 0 ? p[d] : std::max(hi[d], p[d]);
        }
    }
    int perAxis[3] = {1, 1, 1};
    G3PointHash::SizeGrid(n, lo, hi, GTolerance::kContourMerge, perAxis);
    G3PointHash hash(perAxis, lo, hi, GTolerance::kContourMerge);
    for (int k = 0; k < n; ++k) {
        G3Vertex* v = store->GetVertex(k);
        G3Vertex* at = static_cast<G3Vertex*>(hash.Exists(v->GetXYZ()));
        if (!at) {
            at = graph->AddVertex(v->GetXYZ(), 0);
            // The walk writes loops with the vertices the graph names: here
            // the graph's own.
            at->SetExData(at);
            hash.AddWithoutTest(at);
        }
        v->SetExData(at);
    }

    pieces.clear();
    pieceKeys.clear();
    std::vector<long long> seen;
    for (int k = 0; k < list.size(); ++k) {
        const G3Edge* e = list.GetEdge(k);
        const G3Vertex* a = static_cast<const G3Vertex*>(e->GetVertex1()->GetExData());
        const G3Vertex* b = static_cast<const G3Vertex*>(e->GetVertex2()->GetExData());
        if (a == b)
            continue;
        Piece p{static_cast<int>(a->GetId()), static_cast<int>(b->GetId()), static_cast<int>(e->GetFlags()), 0, 0};
        pieces.push_back(p);
        pieceKeys.push_back(PairKey(p.a, p.b));
    }
    for (int k = 0; k < n; ++k)
        store->GetVertex(k)->SetExData(nullptr);

    // One piece per vertex pair; a visible copy makes it visible.
    std::vector<int> order(pieces.size());
    for (std::size_t k = 0; k < order.size(); ++k)
        order[k] = static_cast<int>(k);
    std::stable_sort(order.begin(), order.end(), [this](int p, int q) {
        return pieceKeys[static_cast<std::size_t>(p)] < pieceKeys[static_cast<std::size_t>(q)];
    });
    std::vector<Piece> unique;
    std::vector<long long> keys;
    for (std::size_t m = 0; m < order.size(); ++m) {
        const Piece& p = pieces[static_cast<std::size_t>(order[m])];
        const long long key = pieceKeys[static_cast<std::size_t>(order[m])];
        if (!keys.empty() && keys.back() == key) {
            unique.back().flags |= p.flags & kVisible;
            continue;
        }
        unique.push_back(p);
        keys.push_back(key);
    }
    pieces.swap(unique);
    pieceKeys.swap(keys);

    cover.Index();
    for (Piece& p : pieces) {
        const double* a = graph->GetVertex(p.a)->GetXYZ();
        const double* b = graph->GetVertex(p.b)->GetXYZ();
        const double dx = b[xCoo] - a[xCoo];
        const double dy = b[yCoo] - a[yCoo];
        const double len = std::hypot(dx, dy);
        const double nx = -dy / len * kProbeOffset;
        const double ny = dx / len * kProbeOffset;
        const double mx = 0.5 * (a[xCoo] + b[xCoo]);
        const double my = 0.5 * (a[yCoo] + b[yCoo]);
        const double left[2] = {mx + nx, my + ny};
        const double right[2] = {mx - nx, my - ny};
        p.leftCover = cover.Count(left);
        p.rightCover = cover.Count(right);
    }
}

int G3ContourArrangement::PieceOf(int a, int b) const
{
    const long long key = PairKey(a, b);
    const auto it = std::lower_bound(pieceKeys.begin(), pieceKeys.end(), key);
    if (it == pieceKeys.end() || *it != key)
        return -1;
    return static_cast<int>(it - pieceKeys.begin());
}

double G3ContourArrangement::SignedArea(G3EdgeList* c) const
{
    double twice = 0.0;
    for (int k = 0; k < c->size(); ++k) {
        const double* p = c->GetEdge(k)->GetVertex1()->GetXYZ();
        const double* q = c->GetEdge(k)->GetVertex2()->GetXYZ();
        twice += p[xCoo] * q[yCoo] - q[xCoo] * p[yCoo];
    }
    return 0.5 * twice;
}

void G3ContourArrangement::FormContours(int op, G3Surface* graph, GArrayCollection* out)
{
    // Sides still to be taken as faces, per piece: [0] left of a -> b,
    // [1] right of it.
    std::vector<int> quota(pieces.size() * 2, 0);
    for (std::size_t k = 0; k < pieces.size(); ++k) {
        const Piece& p = pieces[k];
        const bool left = Inside(op, p.leftCover);
        const bool right = Inside(op, p.rightCover);
        if (op == BOOLEAN_OPERATION_PIECES) {
            quota[2 * k] = left;
            quota[2 * k + 1] = right;
        } else if (left != right) {
            quota[2 * k] = left;
            quota[2 * k + 1] = right;
        }
        const int copies = quota[2 * k] + quota[2 * k + 1];
        for (int m = 0; m < copies; ++m) {
            // Copies run the same way, so the walk never takes one for the
            // way back along the other.
            G3Edge* e = graph->AddEdge(graph->GetVertex(p.a), graph->GetVertex(p.b), nullptr);
            if (e)
                e->SetFlags(p.flags & kVisible);
        }
    }

    // Loops start at the lowest vertex (then leftmost) that still has
    // edges, along its edge turned furthest clockwise: the region left of
    // that edge is a face of what is left, never the outside, so the walk
    // takes out one face at a time. Vertices only lose edges, so one pass
    // over them in that order finds every start.
    G3EdgeList::RemoveTailVertex(graph);
    std::vector<G3Vertex*> byHeight;
    for (int k = 0; k < graph->GetVertexCount(); ++k)
        byHeight.push_back(graph->GetVertex(k));
    const int x = xCoo;
    const int y = yCoo;
    std::stable_sort(byHeight.begin(), byHeight.end(), [x, y](const G3Vertex* p, const G3Vertex* q) {
        if (p->GetXYZ(y) != q->GetXYZ(y))
            return p->GetXYZ(y) < q->GetXYZ(y);
        return p->GetXYZ(x) < q->GetXYZ(x);
    });
    std::size_t cursor = 0;
    for (;;) {
        while (cursor < byHeight.size() && !byHeight[cursor]->GetFirstEdge())
            ++cursor;
        if (cursor == byHeight.size())
            break;
        G3Vertex* low = byHeight[cursor];
        G3Edge* first = nullptr;
        double best = 0.0;
        for (G3Edge* e = low->GetFirstEdge(); e; e = e->GetVertexEdge(low)) {
            const G3Vertex* o = e->GetOtherVertex(low);
            const double angle = std::atan2(o->GetXYZ(y) - low->GetXYZ(y), o->GetXYZ(x) - low->GetXYZ(x));
            if (!first || angle < best) {
                first = e;
                best = angle;
            }
        }
        G3EdgeList* c = G3EdgeList::RemoveContour(graph, first, first->GetOtherVertex(low), xCoo, yCoo, 1, 1);
        if (!c)
            continue;
        // The region inside the loop lies left of each edge walked forward
        // when the loop turns counter-clockwise. The loop is that region's
        // outline when the region's sides are what its pieces still owe;
        // otherwise it is the hole of the face around it (a ring of pieces
        // that are inside on both sides gives two equal loops, one each).
        const bool ccw = SignedArea(c) > 0.0;
        int owedIn = 0;
        int owedOut = 0;
        std::vector<int> sideIn(static_cast<std::size_t>(c->size()), -1);
        for (int k = 0; k < c->size(); ++k) {
            const G3Edge* e = c->GetEdge(k);
            const int piece =
                PieceOf(static_cast<int>(e->GetVertex1()->GetId()), static_cast<int>(e->GetVertex2()->GetId()));
            if (piece < 0)
                continue;
            const bool forward = pieces[static_cast<std::size_t>(piece)].a == e->GetVertex1()->GetId();
            const int in = 2 * piece + (forward == ccw ? 0 : 1);
            sideIn[static_cast<std::size_t>(k)] = in;
            owedIn += quota[static_cast<std::size_t>(in)] > 0;
            owedOut += quota[static_cast<std::size_t>(in ^ 1)] > 0;
        }
        const bool outline = owedIn >= owedOut;
        for (int in : sideIn)
            if (in >= 0) {
                int& q = quota[static_cast<std::size_t>(outline ? in : in ^ 1)];
                q = q > 0 ? q - 1 : 0;
            }
        c->SetContourType(outline ? CONTOUR_TYPE_OUTER : CONTOUR_TYPE_HOLE);
        c->FormEnvelope();
        out->add(c);
    }

    if (op != BOOLEAN_OPERATION_PIECES && out->size() >= 2)
        G3EdgeList::RemeshContours(nullptr, out, true, 1);
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
    FormContours(op, &graph, &contours);

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
