// The contour divider's resolution of contours that cross one another.
//
// The divider resolves each loaded contour on its own, so two results may
// still cross or overlap, and their nesting would then be read from
// whichever vertex happens to come first. Here all results are split at
// their mutual crossings and their ends welded (kPointEqual); the faces of
// that arrangement (G3ContourFaces) tell, for every face, how many results
// hold it and what the results' nesting types make of it. When the types
// make the even-odd region everywhere and the faces just inside every
// result lie in as many results as its nesting says, nothing changes
// (results that nest, touch or share sides). Otherwise the results are replaced by the borders
// of the even-odd region: every border keeps the region on its left, and a
// border touching itself at a vertex is split there. A border that runs
// through exactly the corners of a result is that result, kept with its own
// order, tags and flags.
//
// Invariants: the results leave in the order their borders are found; every
// result list that is not kept is deleted; vertices made at crossings go to
// the divider's surface with tag 0. No rounding beyond the split's crossing
// points.

#include "Geometry/contour/G3ContourDivider.h"

#include "Geometry/contour/G3ContourFaces.h"
#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/math/G3Math.h"
#include "Geometry/math/GTolerance.h"
#include "Geometry/mesh/G3Edge.h"
#include "Geometry/mesh/G3PointHash.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/mesh/G3Vertex.h"
#include "Geometry/processing/G3EdgeList.h"

#include <algorithm>
#include <map>
#include <unordered_map>
#include <vector>

namespace {

// Whether the cyclic sequences a and b are equal, in either direction.
bool SameCycle(const std::vector<int>& a, const std::vector<int>& b)
{
    const std::size_t n = a.size();
    if (n != b.size() || n == 0)
        return false;
    for (std::size_t s = 0; s < n; ++s) {
        if (b[s] != a[0])
            continue;
        bool forward = true, backward = true;
        for (std::size_t k = 0; k < n && (forward || backward); ++k) {
            forward = forward && a[k] == b[(s + k) % n];
            backward = backward && a[k] == b[(s + n - k) % n];
        }
        if (forward || backward)
            return true;
    }
    return false;
}

} // namespace

void G3ContourDivider::SeparateOverlaps(GArrayCollection* result)
{
    if (!surface || result->size() < 2)
        return;
    G3EdgeList* first = static_cast<G3EdgeList*>(result->get(0));
    const int i = first->GetXCoo();
    const int j = first->GetYCoo();
    if (i < 0 || j < 0)
        return;

    // Copies of every result edge, split where they meet. The split leaves
    // an edge's pieces in its place, the last one ending at the edge's own
    // last vertex.
    G3EdgeList all(1, 1);
    all.SetPlane(first->GetPlane());
    all.SetAxes(i, j);
    std::vector<int> owner;
    std::vector<const G3Vertex*> lastVertex;
    for (int c = 0; c < result->size(); ++c) {
        G3EdgeList* list = static_cast<G3EdgeList*>(result->get(c));
        for (int k = 0; k < list->size(); ++k) {
            G3Edge* e = list->GetEdge(k);
            all.AddEdge(e->GetVertex1(), e->GetVertex2(), nullptr, nullptr, nullptr, nullptr,
                        static_cast<int>(e->GetFlags()));
            owner.push_back(c);
            lastVertex.push_back(e->GetVertex2());
        }
    }
    all.FindSelfIntersections(surface);

    // Weld: one id per point; the first vertex met stands for it. The
    // cells cover the bulk of the ends: a contour far off would stretch
    // them over every other one.
    std::vector<double> ends;
    ends.reserve(6 * static_cast<std::size_t>(all.size()));
    for (int k = 0; k < all.size(); ++k) {
        const G3Edge* e = all.GetEdge(k);
        for (const G3Vertex* v : {e->GetVertex1(), e->GetVertex2()})
            ends.insert(ends.end(), v->GetXYZ(), v->GetXYZ() + 3);
    }
    int perAxis[3] = {1, 1, 1};
    double lo[3], hi[3];
    G3PointHash::BulkBox(ends, lo, hi);
    G3PointHash::SizeGrid(2L * all.size(), lo, hi, GTolerance::kPointEqual, perAxis);
    G3PointHash hash(perAxis, lo, hi, GTolerance::kPointEqual);
    // The welded id of each vertex: by its place in the surface (vertices
    // are only ever added there), a map for any other.
    const int stored = surface->GetVertexCount();
    std::vector<int> idAt(static_cast<std::size_t>(stored), -1);
    std::unordered_map<const G3Vertex*, int> idElse;
    auto idOf = [&](const G3Vertex* v) -> int& {
        const long k = v->GetId();
        if (k >= 0 && k < stored && surface->GetVertex(static_cast<int>(k)) == v)
            return idAt[static_cast<std::size_t>(k)];
        return idElse.emplace(v, -1).first->second;
    };
    std::vector<G3Vertex*> stand;
    std::vector<double> xy;
    auto weld = [&](G3Vertex* v) {
        int& known = idOf(v);
        if (known >= 0)
            return known;
        G3Vertex* at = static_cast<G3Vertex*>(hash.Exists(v->GetXYZ()));
        int w;
        if (at) {
            w = idOf(at);
        } else {
            w = static_cast<int>(stand.size());
            stand.push_back(v);
            xy.push_back(v->GetXYZ(i));
            xy.push_back(v->GetXYZ(j));
            hash.AddWithoutTest(v);
        }
        idOf(v) = w;
        return w;
    };

    // What each result claims: its inside (the left of its edges when it
    // turns counter-clockwise) counted once for the depth, and with its
    // type's sign for the region its type says it makes.
    G3EdgeList::FormContourTypes(result);
    std::vector<int> turn(static_cast<std::size_t>(result->size()));
    for (int c = 0; c < result->size(); ++c) {
        G3EdgeList* list = static_cast<G3EdgeList*>(result->get(c));
        // About the first corner: products of site coordinates turned
        // results of a few centimetres the wrong way.
        double twice = 0.0;
        const double* o = list->size() > 0 ? list->GetEdge(0)->GetVertex1()->GetXYZ() : nullptr;
        for (int k = 0; k < list->size(); ++k) {
            const G3Edge* e = list->GetEdge(k);
            twice += G3Math::GetArea2(o, e->GetVertex1()->GetXYZ(), e->GetVertex2()->GetXYZ(), i, j);
        }
        turn[static_cast<std::size_t>(c)] = twice > 0.0 ? 1 : twice < 0.0 ? -1 : 0;
    }

    // Pieces by welded pair, each with how the depth and the claimed region
    // grow from its right to its left, and its copy count.
    struct Part {
        int lo, hi, a, b, flags, owner;
    };
    std::vector<Part> parts;
    std::size_t cursor = 0;
    for (int k = 0; k < all.size() && cursor < owner.size(); ++k) {
        G3Edge* e = all.GetEdge(k);
        const int c = owner[cursor];
        if (e->GetVertex2() == lastVertex[cursor])
            ++cursor;
        const int a = weld(e->GetVertex1());
        const int b = weld(e->GetVertex2());
        if (a != b)
            parts.push_back(Part{std::min(a, b), std::max(a, b), a, b, static_cast<int>(e->GetFlags()), c});
    }
    std::stable_sort(parts.begin(), parts.end(),
                     [](const Part& p, const Part& q) { return p.lo != q.lo ? p.lo < q.lo : p.hi < q.hi; });
    std::vector<G3ContourFaces::Edge> pieces;
    std::vector<int> flags, depthDelta, claimDelta;
    std::vector<std::size_t> groupStart;
    for (std::size_t m = 0; m < parts.size();) {
        groupStart.push_back(m);
        std::size_t end = m;
        int depth = 0, claim = 0;
        for (; end < parts.size() && parts[end].lo == parts[m].lo && parts[end].hi == parts[m].hi; ++end) {
            const Part& p = parts[end];
            const int d = (p.a == parts[m].a ? 1 : -1) * turn[static_cast<std::size_t>(p.owner)];
            const bool hole = static_cast<G3EdgeList*>(result->get(p.owner))->GetContourType() == CONTOUR_TYPE_HOLE;
            depth += d;
            claim += hole ? -d : d;
        }
        pieces.push_back(G3ContourFaces::Edge{parts[m].a, parts[m].b});
        flags.push_back(parts[m].flags);
        depthDelta.push_back(depth);
        claimDelta.push_back(claim);
        m = end;
    }

    // Where the claims make the even-odd region everywhere, the results
    // stand as they are.
    const G3ContourFaces faces(xy, pieces);
    const std::vector<long long> depth = faces.Label(depthDelta);
    const std::vector<long long> claim = faces.Label(claimDelta);
    bool agree = true;
    for (int f = 0; f < faces.GetFaceCount() && agree; ++f)
        agree = claim[static_cast<std::size_t>(f)] == (depth[static_cast<std::size_t>(f)] & 1);
    // Crossing results can balance their claims (a hole reaching out of its
    // outer contour into another outer one), so the nesting is checked
    // too: just inside a result, at every piece of it, lie the result, the
    // results around it and those nested in it that share the piece with
    // the inside on the same side.
    const std::size_t groups = groupStart.size();
    groupStart.push_back(parts.size());
    for (std::size_t g = 0; g < groups && agree; ++g) {
        const std::size_t from = groupStart[g], to = groupStart[g + 1];
        auto insideHalf = [&](const Part& p) {
            const bool along = p.a == parts[from].a;
            const bool left = turn[static_cast<std::size_t>(p.owner)] > 0;
            return static_cast<int>(2 * g + (along == left ? 0 : 1));
        };
        auto inCount = [&](const Part& p) { return static_cast<G3EdgeList*>(result->get(p.owner))->GetInCount(); };
        for (std::size_t k = from; k < to && agree; ++k) {
            const Part& p = parts[k];
            if (turn[static_cast<std::size_t>(p.owner)] == 0)
                continue;
            const int half = insideHalf(p);
            long long want = inCount(p) + 1;
            for (std::size_t q = from; q < to; ++q)
                if (q != k && turn[static_cast<std::size_t>(parts[q].owner)] != 0 && insideHalf(parts[q]) == half &&
                    inCount(parts[q]) > inCount(p))
                    ++want;
            agree = depth[static_cast<std::size_t>(faces.GetFace(half))] == want;
        }
    }
    if (agree)
        return;

    auto inside = [&](int h) { return (depth[static_cast<std::size_t>(faces.GetFace(h))] & 1) != 0; };
    std::vector<char> keep(2 * pieces.size(), 0);
    for (std::size_t h = 0; h < keep.size(); ++h)
        keep[h] = inside(static_cast<int>(h)) && !inside(static_cast<int>(h ^ 1));
    std::vector<std::vector<int>> loops;
    if (!faces.Loops(keep, loops))
        return;

    // The results by their smallest welded corner, to find the unchanged.
    std::multimap<int, int> byCorner;
    std::vector<std::vector<int>> corners(static_cast<std::size_t>(result->size()));
    for (int c = 0; c < result->size(); ++c) {
        G3EdgeList* list = static_cast<G3EdgeList*>(result->get(c));
        for (int k = 0; k < list->size(); ++k)
            corners[static_cast<std::size_t>(c)].push_back(weld(list->GetEdge(k)->GetVertex1()));
        if (!corners[static_cast<std::size_t>(c)].empty())
            byCorner.emplace(*std::min_element(corners[static_cast<std::size_t>(c)].begin(),
                                               corners[static_cast<std::size_t>(c)].end()),
                             c);
    }
    std::vector<int> match(loops.size(), -1);
    std::vector<char> taken(static_cast<std::size_t>(result->size()), 0);
    int unchanged = 0;
    for (std::size_t l = 0; l < loops.size(); ++l) {
        std::vector<int> seq;
        for (int h : loops[l])
            seq.push_back(faces.GetFrom(h));
        const auto range = byCorner.equal_range(*std::min_element(seq.begin(), seq.end()));
        for (auto it = range.first; it != range.second; ++it)
            if (!taken[static_cast<std::size_t>(it->second)] &&
                SameCycle(seq, corners[static_cast<std::size_t>(it->second)])) {
                match[l] = it->second;
                taken[static_cast<std::size_t>(it->second)] = 1;
                ++unchanged;
                break;
            }
    }
    if (unchanged == result->size() && unchanged == static_cast<int>(loops.size()))
        return;

    GArrayCollection borders;
    for (std::size_t l = 0; l < loops.size(); ++l) {
        if (match[l] >= 0) {
            borders.add(result->get(match[l]));
            continue;
        }
        G3EdgeList* c = new G3EdgeList(1, 1);
        c->SetPlane(first->GetPlane());
        c->SetAxes(i, j);
        for (int h : loops[l])
            c->AddEdge(stand[static_cast<std::size_t>(faces.GetFrom(h))], stand[static_cast<std::size_t>(faces.GetTo(h))],
                       nullptr, nullptr, nullptr, nullptr, flags[static_cast<std::size_t>(h >> 1)]);
        c->FormEnvelope();
        borders.add(c);
    }
    for (int c = 0; c < result->size(); ++c)
        if (!taken[static_cast<std::size_t>(c)])
            delete static_cast<G3EdgeList*>(result->get(c));
    result->clear();
    for (int k = 0; k < borders.size(); ++k)
        result->add(borders.get(k));
}
