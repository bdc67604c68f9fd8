// Constraint insertion: a segment between two triangulation vertices is made
// a chain of edges. Existing edges along it are marked; where the segment
// crosses edges, the crossed edges are flipped away (each flip only where its
// quadrilateral is strictly convex, the others later), and the triangles
// around the new edge are then made Delaunay again by flipping, never across
// a constrained edge. A constraint that meets another constrained edge stops
// there: the part before it stays inserted.

#include "Geometry/terrain/triangulation/G3TriEngine.h"

#include <deque>
#include <utility>

namespace g3tri {

namespace {
const int kPlus1[3] = {1, 2, 0};
const int kMinus1[3] = {2, 0, 1};
// Longest chain of existing collinear edges that the path search follows.
const int kPathLevels = 101;
} // namespace

class Inserter {
public:
    explicit Inserter(G3TriEngine& engine)
        : E(engine), P(engine.nodes), T(engine.tris), S(engine.sides), NT(engine.nodeTri), NM(engine.nodeMark),
          S_(engine.insertScratch), path(engine.insertScratch.path)
    {
        path.clear();
        S_.next.clear();
        E.BuildNodeTriangles();
        if (NM.size() != P.size())
            NM.assign(P.size(), 0);
        if (E.sideBits.size() != T.size()) {
            E.sideBits.assign(T.size(), 0);
            for (const auto& side : S)
                SetSideBit(side.first, true);
        }
    }

    bool Insert(G3TVertex* sv, G3TVertex* ev, G3TEdge* record)
    {
        if (T.empty())
            return false;
        if (record != nullptr)
            record->flags &= ~G3TEDGE_INSERTED;
        const int s = Locate(sv, -1);
        if (s < 0)
            return false;
        const int e = Locate(ev, NT[static_cast<std::size_t>(s)]);
        if (e < 0 || e == s)
            return false;
        start = s;
        end = e;

        // Already a chain of edges?
        E.PrepareInsertion();
        path.clear();
        path.push_back(s);
        if (PathSearch(s, 0)) {
            for (std::size_t i = 0; i + 1 < path.size(); ++i)
                if (!MarkEdge(path[i], path[i + 1], record))
                    return false;
            if (record != nullptr)
                record->flags |= G3TEDGE_INSERTED;
            return true;
        }

        int cur = s;
        int guard = static_cast<int>(P.size()) + 1;
        while (cur != e) {
            if (--guard < 0)
                return false;
            int onLine = -1, wedge = -1;
            const int found = Look(cur, onLine, wedge);
            if (found == kEdge) {
                if (!MarkEdge(cur, e, record))
                    return false;
                cur = e;
            } else if (found == kOnLine) {
                if (!MarkEdge(cur, onLine, record))
                    return false;
                cur = onLine;
            } else if (found == kWedge) {
                int target = -1;
                std::deque<G3TriEngine::EdgeRef>& crossing = S_.crossing;
                crossing.clear();
                if (!Collect(cur, wedge, target, crossing))
                    return false;
                std::vector<G3TriEngine::EdgeRef>& fresh = S_.fresh;
                fresh.clear();
                if (!FlipOut(cur, target, crossing, fresh))
                    return false;
                if (!MarkEdge(cur, target, record))
                    return false;
                Restore(fresh);
                cur = target;
            } else {
                return false;
            }
        }
        if (record != nullptr)
            record->flags |= G3TEDGE_INSERTED;
        return true;
    }

private:
    enum { kNone, kEdge, kOnLine, kWedge };

    const Node& N(int v) const { return P[static_cast<std::size_t>(v)]; }
    // The handle of edge a-b: `hint` when its side still runs from a to b
    // (the side FindEdgeHandle would name), else the fan search. A flip
    // reuses the triangles it rewires, so a hint taken before later flips
    // may point elsewhere; checking it keeps the answer the search's.
    int Handle(int a, int b, int hint) const
    {
        if (hint >= 0) {
            const Tri& tr = T[static_cast<std::size_t>(hint >> 2)];
            const int k = hint & 3;
            if (tr.v[kPlus1[k]] == a && tr.v[kMinus1[k]] == b)
                return hint;
        }
        return E.FindEdgeHandle(a, b);
    }
    Tri& Tr(int t) { return T[static_cast<std::size_t>(t)]; }

    // The node of a constraint end: its own node when it took part in the
    // run, else a triangulation vertex at its position (found by walking).
    int Locate(const G3TVertex* v, int hint)
    {
        if (!E.Owns(v))
            return -1;
        const int node = E.NodeOf(v);
        if (node >= 0)
            return NT[static_cast<std::size_t>(node)] >= 0 ? node : -1;
        const Node p{v->x, v->y, -1};
        return FindCoinciding(p, hint >= 0 ? hint : 0);
    }

    int CoincidingCorner(int t, const Node& p) const
    {
        const Tri& tr = T[static_cast<std::size_t>(t)];
        for (int k = 0; k < 3; ++k) {
            const Node& c = P[static_cast<std::size_t>(tr.v[k])];
            if (TolEqual(c.x, p.x) && TolEqual(c.y, p.y))
                return tr.v[k];
        }
        return -1;
    }

    int FindCoinciding(const Node& p, int t)
    {
        if (E.triMark.size() != T.size())
            E.triMark.assign(T.size(), 0);
        E.PrepareInsertion();
        const int stamp = E.stamp;
        int guard = static_cast<int>(T.size()) + 1;
        while (guard-- > 0) {
            int& mark = E.triMark[static_cast<std::size_t>(t)];
            if (mark == stamp)
                break; // the walk came back: search every node instead
            mark = stamp;
            const int hit = CoincidingCorner(t, p);
            if (hit >= 0)
                return hit;
            const Tri& tr = Tr(t);
            int next = -2;
            for (int k = 0; k < 3; ++k) {
                if (OrientSign(N(tr.v[kPlus1[k]]), N(tr.v[kMinus1[k]]), p) < 0) {
                    next = tr.n[k];
                    if (next >= 0)
                        break;
                }
            }
            if (next == -2 || next == -1) {
                // Inside this triangle, or outside the hull: only the corners
                // of the neighbours can still coincide.
                for (int k = 0; k < 3; ++k)
                    if (tr.n[k] >= 0) {
                        const int h = CoincidingCorner(tr.n[k] >> 2, p);
                        if (h >= 0)
                            return h;
                    }
                return -1;
            }
            t = next >> 2;
        }
        for (std::size_t i = 0; i < P.size(); ++i)
            if (NT[i] >= 0 && TolEqual(P[i].x, p.x) && TolEqual(P[i].y, p.y))
                return static_cast<int>(i);
        return -1;
    }

    // Calls f(triangle, corner index of c) for each triangle around node c
    // until f returns true.
    template <class F>
    bool AroundNode(int c, F f)
    {
        const int t0 = NT[static_cast<std::size_t>(c)];
        if (t0 < 0)
            return false;
        int guard = static_cast<int>(T.size()) + 1;
        for (int pass = 0; pass < 2; ++pass) {
            int t = t0;
            bool first = true;
            while (guard-- > 0) {
                const Tri& tr = Tr(t);
                int i = 0;
                while (i < 3 && tr.v[i] != c)
                    ++i;
                if (i == 3)
                    return false;
                if ((pass == 0 || !first) && f(t, i))
                    return true;
                first = false;
                const int h = pass == 0 ? tr.n[kPlus1[i]] : tr.n[kMinus1[i]];
                if (h < 0)
                    break;
                t = h >> 2;
                if (t == t0)
                    return false;
            }
        }
        return false;
    }

    // w lies on the constraint's segment, beyond c towards its end.
    bool Ahead(int c, int w) const
    {
        const Node& s = N(start);
        const Node& e = N(end);
        if (OrientSign(s, e, N(w)) != 0)
            return false;
        const double dx = e.x - s.x, dy = e.y - s.y;
        const double pw = (N(w).x - s.x) * dx + (N(w).y - s.y) * dy;
        const double pc = (N(c).x - s.x) * dx + (N(c).y - s.y) * dy;
        return pw > pc + kPlanarTriangulation && pw < dx * dx + dy * dy - kPlanarTriangulation;
    }

    double Progress(int w) const
    {
        const Node& s = N(start);
        const Node& e = N(end);
        return (N(w).x - s.x) * (e.x - s.x) + (N(w).y - s.y) * (e.y - s.y);
    }

    // Follows existing edges along the segment, at most kPathLevels deep.
    bool PathSearch(int c, int level)
    {
        NM[static_cast<std::size_t>(c)] = E.stamp;
        // This level's candidates sit at the top of the shared stack from
        // `base` on; deeper levels push above them and cut back to theirs.
        std::vector<int>& next = S_.next;
        const std::size_t base = next.size();
        bool direct = false;
        AroundNode(c, [&](int t, int i) {
            const Tri& tr = Tr(t);
            for (int w : {tr.v[kPlus1[i]], tr.v[kMinus1[i]]}) {
                if (w == end) {
                    direct = true;
                    return true;
                }
                if (NM[static_cast<std::size_t>(w)] != E.stamp && Ahead(c, w))
                    next.push_back(w);
            }
            return false;
        });
        if (direct) {
            next.resize(base);
            path.push_back(end);
            return true;
        }
        if (level + 1 < kPathLevels) {
            for (std::size_t k = base; k < next.size(); ++k) {
                const int w = next[k];
                if (NM[static_cast<std::size_t>(w)] == E.stamp)
                    continue;
                path.push_back(w);
                if (PathSearch(w, level + 1)) {
                    next.resize(base);
                    return true;
                }
                path.pop_back();
            }
        }
        next.resize(base);
        return false;
    }

    // What the segment meets on leaving c: an edge to the end, a vertex on
    // the segment, or a triangle whose opposite edge it crosses.
    int Look(int c, int& onLine, int& wedge)
    {
        bool edge = false;
        double best = 0.0;
        const Node& e = N(end);
        AroundNode(c, [&](int t, int i) {
            const Tri& tr = Tr(t);
            const int a = tr.v[kPlus1[i]], b = tr.v[kMinus1[i]];
            if (a == end || b == end) {
                edge = true;
                return true;
            }
            for (int w : {a, b}) {
                if (Ahead(c, w)) {
                    const double pr = Progress(w);
                    if (onLine < 0 || pr < best) {
                        onLine = w;
                        best = pr;
                    }
                }
            }
            if (wedge < 0 && OrientSign(N(c), N(a), e) > 0 && OrientSign(N(c), N(b), e) < 0)
                wedge = t * 4 + i;
            return false;
        });
        if (edge)
            return kEdge;
        if (onLine >= 0)
            return kOnLine;
        return wedge >= 0 ? kWedge : kNone;
    }

    // Walks from the wedge at c along the segment and lists the crossed edges
    // as (right, left) node pairs, up to the end or to the first vertex on the
    // segment (the target). False when a crossed edge is constrained or the
    // walk leaves the triangulation.
    bool Collect(int c, int wedge, int& target, std::deque<G3TriEngine::EdgeRef>& crossing)
    {
        int t = wedge >> 2, k = wedge & 3;
        int right = Tr(t).v[kPlus1[k]], left = Tr(t).v[kMinus1[k]];
        int guard = static_cast<int>(T.size()) + 1;
        while (guard-- > 0) {
            if (Side(t, k) != nullptr)
                return false; // another constraint is in the way
            const int h = Tr(t).n[k];
            if (h < 0)
                return false;
            crossing.push_back({right, left, t * 4 + k});
            const int t2 = h >> 2, k2 = h & 3;
            const int x = Tr(t2).v[k2];
            if (x == end) {
                target = end;
                return true;
            }
            const int o = OrientSign(N(c), N(end), N(x));
            if (o == 0) {
                if (!Ahead(c, x))
                    return false;
                target = x;
                return true;
            }
            if (o > 0) {
                k = kPlus1[k2];
                left = x;
            } else {
                k = kMinus1[k2];
                right = x;
            }
            t = t2;
        }
        return false;
    }

    bool Crosses(int c, int target, int p, int q) const
    {
        return OrientSign(N(c), N(target), N(p)) * OrientSign(N(c), N(target), N(q)) < 0;
    }

    // Flips the crossed edges until none crosses c-target. New edges that do
    // not cross go to `fresh`.
    bool FlipOut(int c, int target, std::deque<G3TriEngine::EdgeRef>& crossing,
                 std::vector<G3TriEngine::EdgeRef>& fresh)
    {
        std::size_t idle = 0;
        long guard = 16L * static_cast<long>(crossing.size()) * static_cast<long>(crossing.size()) + 64;
        while (!crossing.empty()) {
            if (--guard < 0)
                return false;
            const G3TriEngine::EdgeRef edge = crossing.front();
            crossing.pop_front();
            const int h = Handle(edge.a, edge.b, edge.hint);
            if (h < 0)
                return false;
            const int t1 = h >> 2, k1 = h & 3;
            const int h2 = Tr(t1).n[k1];
            if (h2 < 0)
                return false;
            const int cc = Tr(t1).v[k1], a = Tr(t1).v[kPlus1[k1]], b = Tr(t1).v[kMinus1[k1]];
            const int d = Tr(h2 >> 2).v[h2 & 3];
            if (!(OrientSign(N(cc), N(a), N(d)) > 0 && OrientSign(N(d), N(b), N(cc)) > 0)) {
                crossing.push_back(edge);
                if (++idle >= crossing.size())
                    return false; // no crossed edge can be flipped
                continue;
            }
            idle = 0;
            Flip(h);
            // The new diagonal runs from cc to d in the flip's second triangle.
            const int h2n = Tr(t1).n[kPlus1[k1]];
            if (Crosses(c, target, cc, d))
                crossing.push_back({cc, d, h2n});
            else
                fresh.push_back({cc, d, h2n});
        }
        return true;
    }

    // Makes the edges around the new constraint locally Delaunay again.
    void Restore(std::vector<G3TriEngine::EdgeRef>& stack)
    {
        long guard = 64L * static_cast<long>(T.size()) + 1024;
        while (!stack.empty() && --guard > 0) {
            const G3TriEngine::EdgeRef edge = stack.back();
            stack.pop_back();
            const int h = Handle(edge.a, edge.b, edge.hint);
            if (h < 0)
                continue;
            const int t1 = h >> 2, k1 = h & 3;
            if (Side(t1, k1) != nullptr)
                continue;
            const int h2 = Tr(t1).n[k1];
            if (h2 < 0)
                continue;
            const int c = Tr(t1).v[k1], a = Tr(t1).v[kPlus1[k1]], b = Tr(t1).v[kMinus1[k1]];
            const int d = Tr(h2 >> 2).v[h2 & 3];
            if (InCircleInside(N(c), N(a), N(b), N(d)) && OrientSign(N(c), N(a), N(d)) > 0 &&
                OrientSign(N(d), N(b), N(c)) > 0) {
                Flip(h);
                // After the flip (c, a, d) is triangle t1 from corner k1 on
                // and (d, b, c) its neighbour from the matching corner.
                const int h2n = Tr(t1).n[kPlus1[k1]];
                const int t2 = h2n >> 2, k2 = kMinus1[h2n & 3];
                stack.push_back({c, a, t1 * 4 + kMinus1[k1]});
                stack.push_back({a, d, t1 * 4 + k1});
                stack.push_back({d, b, t2 * 4 + kMinus1[k2]});
                stack.push_back({b, c, t2 * 4 + k2});
            }
        }
    }

    void SetSideBit(int h, bool on)
    {
        unsigned char& bits = E.sideBits[static_cast<std::size_t>(h >> 2)];
        bits = static_cast<unsigned char>(on ? bits | (1u << (h & 3)) : bits & ~(1u << (h & 3)));
    }

    G3TEdge* Side(int t, int k) const
    {
        if (S.empty() || !(E.sideBits[static_cast<std::size_t>(t)] & (1u << k)))
            return nullptr;
        const auto it = S.find(t * 4 + k);
        return it == S.end() ? nullptr : it->second;
    }

    // Removes and returns the record on side k of t (null when none).
    G3TEdge* TakeSide(int t, int k)
    {
        if (S.empty() || !(E.sideBits[static_cast<std::size_t>(t)] & (1u << k)))
            return nullptr;
        const auto it = S.find(t * 4 + k);
        if (it == S.end())
            return nullptr;
        G3TEdge* e = it->second;
        S.erase(it);
        SetSideBit(t * 4 + k, false);
        return e;
    }

    static void Repoint(G3TEdge* rec, int from, int to)
    {
        if (rec == nullptr)
            return;
        if (rec->tri[0] == from)
            rec->tri[0] = to;
        else if (rec->tri[1] == from)
            rec->tri[1] = to;
    }

    // Flips edge h of triangle (c, a, b) with its neighbour (d, b, a) into
    // (c, a, d) and (d, b, c). The caller checked convexity and that the edge
    // is not constrained.
    void Flip(int h)
    {
        const int t1 = h >> 2, k1 = h & 3;
        const int h2 = Tr(t1).n[k1];
        const int t2 = h2 >> 2, k2 = h2 & 3;
        Tri& A = Tr(t1);
        Tri& B = Tr(t2);
        const int c = A.v[k1], a = A.v[kPlus1[k1]], b = A.v[kMinus1[k1]];
        const int d = B.v[k2];
        const int nbc = A.n[kPlus1[k1]];
        G3TEdge* sbc = TakeSide(t1, kPlus1[k1]);
        const int nad = B.n[kPlus1[k2]];
        G3TEdge* sad = TakeSide(t2, kPlus1[k2]);

        A.v[kMinus1[k1]] = d;
        B.v[kMinus1[k2]] = c;

        A.n[k1] = nad;
        if (nad >= 0)
            Tr(nad >> 2).n[nad & 3] = t1 * 4 + k1;
        if (sad != nullptr) {
            S[t1 * 4 + k1] = sad;
            SetSideBit(t1 * 4 + k1, true);
            Repoint(sad, t2, t1);
        }

        B.n[k2] = nbc;
        if (nbc >= 0)
            Tr(nbc >> 2).n[nbc & 3] = t2 * 4 + k2;
        if (sbc != nullptr) {
            S[t2 * 4 + k2] = sbc;
            SetSideBit(t2 * 4 + k2, true);
            Repoint(sbc, t1, t2);
        }

        // The new diagonal is unconstrained (the flipped edge was too).
        A.n[kPlus1[k1]] = t2 * 4 + kPlus1[k2];
        B.n[kPlus1[k2]] = t1 * 4 + kPlus1[k1];

        NT[static_cast<std::size_t>(a)] = t1;
        NT[static_cast<std::size_t>(c)] = t1;
        NT[static_cast<std::size_t>(b)] = t2;
        NT[static_cast<std::size_t>(d)] = t2;
    }

    // Attaches a constrained-edge record to both sides of edge u-w.
    bool MarkEdge(int u, int w, G3TEdge* record)
    {
        const int h = E.FindEdgeHandle(u, w);
        if (h < 0)
            return false;
        const int t1 = h >> 2, k1 = h & 3;
        if (Side(t1, k1) != nullptr)
            return true;
        G3TEdge* piece = E.NewEdge(E.VertexAt(N(u).vertex), E.VertexAt(N(w).vertex));
        piece->flags = G3TEDGE_PIECE;
        piece->link[0] = record;
        piece->tri[0] = t1;
        S[t1 * 4 + k1] = piece;
        SetSideBit(t1 * 4 + k1, true);
        const int h2 = Tr(t1).n[k1];
        if (h2 >= 0) {
            S[h2] = piece;
            SetSideBit(h2, true);
            piece->tri[1] = h2 >> 2;
        }
        return true;
    }

    G3TriEngine& E;
    LargeArray<Node>& P;
    LargeArray<Tri>& T;
    std::unordered_map<int, G3TEdge*>& S;
    LargeArray<int>& NT;
    LargeArray<int>& NM;
    // Scratch kept by the engine from one insertion to the next, so that
    // forcing in many constraints allocates nothing per constraint.
    G3TriEngine::InsertScratch& S_;
    std::vector<int>& path;
    int start = -1;
    int end = -1;
};

bool G3TriEngine::InsertConstraint(G3TVertex* s, G3TVertex* e, G3TEdge* record)
{
    Inserter inserter(*this);
    return inserter.Insert(s, e, record);
}

} // namespace g3tri
