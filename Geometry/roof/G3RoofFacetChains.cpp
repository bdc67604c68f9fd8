// The chains of the facet rings: the corners a vertex leaves on its way up,
// one per level, kept as a count of levels on the ring edge they lie in
// instead of as nodes. Invariants: a chain lies on a node edge none of
// whose corners run level (so no section ever goes into it and the index
// holds none of it), never next to a ring's head, and holds only corners
// that are, bit for bit, the level points of its planes at the heights of
// consecutive levels (each level knows the one it grew from). Rounding:
// none; a corner is recomputed by the very call that made it, and checked
// equal to it when it joins a chain.
#include "Geometry/roof/G3RoofFacetRings.h"

#include "Geometry/math/GTolerance.h"
#include "Geometry/roof/G3RoofPlanes.h"
#include "Geometry/roof/G3RoofVertex.h"

#include <algorithm>
#include <cmath>
#include <cstring>

using GTolerance::kPlaneSide;

// The planes p, q when x is, bit for bit, their level point at its height;
// -1 otherwise.
int G3RoofSpliceIndex::PathOf(const double* p, const double* q, const double* x)
{
    double y[3];
    if (!G3RoofLevelPoint(p, q, x[2], y) || std::memcmp(y, x, sizeof y) != 0)
        return -1;
    Path path;
    std::memcpy(path.p, p, sizeof path.p);
    std::memcpy(path.q, q, sizeof path.q);
    paths_.push_back(path);
    return static_cast<int>(paths_.size()) - 1;
}

void G3RoofSpliceIndex::Name(int v, const double* p, const double* q)
{
    Node& n = N(v);
    n.path = PathOf(p, q, n.p);
    n.level = n.path >= 0 ? LevelAt(n.p[2]) : -1;
}

bool G3RoofSpliceIndex::SamePath(int path, const double* p, const double* q) const
{
    const Path& a = paths_[static_cast<std::size_t>(path)];
    return std::memcmp(a.p, p, sizeof a.p) == 0 && std::memcmp(a.q, q, sizeof a.q) == 0;
}

void G3RoofSpliceIndex::BeginLevel() { levels_.emplace_back(); }

int G3RoofSpliceIndex::LevelAt(double z)
{
    if (levels_.empty())
        return -1;
    LevelRecord& l = levels_.back();
    if (!l.known) {
        l.z = z;
        l.known = true;
    }
    return std::memcmp(&l.z, &z, sizeof z) == 0 ? static_cast<int>(levels_.size()) - 1 : -1;
}

// x's old point joins the chain on the edge into x (up: x is the top of a
// chain climbing in ring order) or out of x (down: x tops a chain that
// runs down in ring order), and x takes the point `to`. Only when x's old
// point and `to` are both level points of p and q at consecutive levels,
// and neither the edge from x's old point to `to` nor the one from x's old
// point to its neighbour across the chain runs level: those edges would
// otherwise have been index entries. A ring's head has no path (it is an
// eave corner or the lower corner of the section that started the ring),
// so it never moves.
bool G3RoofSpliceIndex::Demote(int x, const double* to, const double* p, const double* q, bool up)
{
    Node& nx = N(x);
    if (nx.path < 0 || nx.level < 0 || Level(nx.p, to))
        return false;
    double y[3];
    if (!G3RoofLevelPoint(p, q, to[2], y) || std::memcmp(y, to, sizeof y) != 0 || !SamePath(nx.path, p, q))
        return false;
    const int level = LevelAt(to[2]);
    if (level < 0)
        return false;
    int& parent = levels_[static_cast<std::size_t>(level)].parent;
    if (parent >= 0 && parent != nx.level)
        return false;
    const int holder = up ? nx.prev : x;
    const int chain = N(holder).chain;
    if (chain >= 0) {
        const Chain& c = chains_[static_cast<std::size_t>(chain)];
        const double below = levels_[static_cast<std::size_t>(c.last)].z;
        if (c.front == up || levels_[static_cast<std::size_t>(nx.level)].parent != c.last ||
            std::fabs(below - nx.p[2]) <= 2.0 * kPlaneSide)
            return false;
    } else {
        const int across = up ? nx.prev : nx.next;
        if (across == x || Level(N(across).p, nx.p))
            return false;
    }
    parent = nx.level;
    if (chain >= 0) {
        Chain& c = chains_[static_cast<std::size_t>(chain)];
        c.last = nx.level;
        ++c.count;
    } else {
        chains_.push_back(Chain{nx.path, !up, nx.level, 1});
        N(holder).chain = static_cast<int>(chains_.size()) - 1;
    }
    nx.p[0] = to[0], nx.p[1] = to[1], nx.p[2] = to[2];
    nx.level = level;
    return true;
}

// Splice(x, path, 4), except that A (path[1]) going in right after x, or B
// (path[2]) right before x's old successor y, moves that node up its
// vertex's path when Demote allows, instead of adding a node.
void G3RoofSpliceIndex::SpliceSection(int x, const double* const* path, const double* const* planes)
{
    const int y = N(x).next;
    int take[4];
    int count = 0;
    const double* last = N(x).p;
    for (int c = 0; c < 4; ++c) {
        const double* p = path[c];
        if (G3RoofSamePoint(last, p) || (c == 3 && G3RoofSamePoint(N(y).p, p)))
            continue;
        take[count++] = c;
        last = p;
    }
    int from = 0;
    if (count > 0 && take[0] == 1 && Demote(x, path[1], planes[0], planes[1], true))
        from = 1;
    if (count > from && take[count - 1] == 2 && Demote(y, path[2], planes[2], planes[3], false))
        --count;
    int at = x;
    for (int t = from; t < count; ++t) {
        const int c = take[t];
        const int nv = NewNode(path[c]);
        if (c == 1 || c == 2)
            Name(nv, planes[2 * c - 2], planes[2 * c - 1]);
        InsertAfter(at, nv);
        at = nv;
    }
}

void G3RoofSpliceIndex::Expand(int head)
{
    cp_.clear();
    int v = head;
    do {
        const Node& nv = N(v);
        cp_.insert(cp_.end(), nv.p, nv.p + 3);
        if (nv.chain >= 0) {
            const Chain& c = chains_[static_cast<std::size_t>(nv.chain)];
            const Path& path = paths_[static_cast<std::size_t>(c.path)];
            heights_.clear();
            for (int l = c.last, k = 0; k < c.count; ++k, l = levels_[static_cast<std::size_t>(l)].parent)
                heights_.push_back(levels_[static_cast<std::size_t>(l)].z);
            if (!c.front)
                std::reverse(heights_.begin(), heights_.end());
            for (const double z : heights_) {
                double p[3];
                G3RoofLevelPoint(path.p, path.q, z, p);
                cp_.insert(cp_.end(), p, p + 3);
            }
        }
        v = nv.next;
    } while (v != head);
    const int n = static_cast<int>(cp_.size() / 3);
    cnext_.resize(static_cast<std::size_t>(n));
    cprev_.resize(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
        cnext_[static_cast<std::size_t>(i)] = i + 1 < n ? i + 1 : 0;
        cprev_[static_cast<std::size_t>(i)] = i > 0 ? i - 1 : n - 1;
    }
}
