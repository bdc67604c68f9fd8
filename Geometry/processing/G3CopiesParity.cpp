// Keep-or-remove choices for groups of equal facets, solved over the facet
// sides they leave along each pair of vertices (two values: even or odd).
// Invariants: a choice replaces the given one only when it leaves every
// pair of its set even; the second round only takes copies away, and only
// of inner walls (ChooseInnerWalls). The one rounding is the seam test of
// that round: corners within kPlaneSide of a facet's plane are on it.

#include "Geometry/processing/G3CopiesParity.h"

#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/math/GTolerance.h"
#include "Geometry/mesh/G3Edge.h"
#include "Geometry/mesh/G3Facet.h"
#include "Geometry/mesh/G3Vertex.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <iterator>
#include <set>
#include <unordered_map>
#include <utility>
#include <vector>

namespace {

// The largest set of groups of copies solved by dense elimination over two
// values (its cost grows with the cube of the set); larger sets are solved
// by sparse elimination (SolveSparse).
constexpr int kMaxGroupsSolvedTogether = 1024;

// One pair of vertices along the first facet of a group of copies, with
// the facet sides along it: `plain` from facets without copies, and for
// each group (its index) how many sides its first facet has there.
struct CopiesAlong {
    int plain = 0;
    std::vector<std::pair<int, int>> groups;
    G3Facet* aPlain = nullptr; // one of the facets without copies, if any
};

// One equation over two values: the unknowns it adds (each once) and its
// right-hand side.
struct ParityRow {
    std::vector<int> vars;
    int rhs = 0;
};

// The rows of a set of groups: for each pair, the groups (their place in
// `members`) whose first facet has an odd number of sides along it, equal
// to the parity of the sides of facets without copies and of the groups
// outside `members` that `keep` keeps.
std::vector<ParityRow> RowsOf(const std::vector<int>& members, const std::vector<const CopiesAlong*>& pairs,
                              const std::vector<char>& keep)
{
    std::unordered_map<int, int> column;
    for (int k = 0; k < static_cast<int>(members.size()); ++k)
        column.emplace(members[static_cast<std::size_t>(k)], k);
    std::vector<ParityRow> rows;
    rows.reserve(pairs.size());
    for (const CopiesAlong* pair : pairs) {
        ParityRow row;
        row.rhs = pair->plain % 2;
        for (const std::pair<int, int>& g : pair->groups) {
            if (g.second % 2 == 0)
                continue;
            const auto it = column.find(g.first);
            if (it != column.end())
                row.vars.push_back(it->second);
            else
                row.rhs ^= keep[static_cast<std::size_t>(g.first)];
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

// Solves `rows` over the unknowns 0 .. n-1 by elimination in column
// order; unknowns left free are `freeValue`. False when no choice
// satisfies them.
bool SolveDense(int n, const std::vector<ParityRow>& given, std::vector<int>& value, int freeValue)
{
    const int words = n / 64 + 1; // the last bit of the last word is spare: the right-hand side sits at bit n
    std::vector<std::vector<std::uint64_t>> rows;
    rows.reserve(given.size());
    for (const ParityRow& g : given) {
        std::vector<std::uint64_t> row(static_cast<std::size_t>(words), 0);
        auto flip = [&](int bit) { row[static_cast<std::size_t>(bit / 64)] ^= std::uint64_t{1} << (bit % 64); };
        if (g.rhs)
            flip(n);
        for (int v : g.vars)
            flip(v);
        rows.push_back(std::move(row));
    }
    auto bit = [](const std::vector<std::uint64_t>& row, int b) {
        return (row[static_cast<std::size_t>(b / 64)] >> (b % 64)) & 1;
    };
    std::vector<int> pivotOf(static_cast<std::size_t>(n), -1);
    int rank = 0;
    for (int c = 0; c < n; ++c) {
        int r = rank;
        while (r < static_cast<int>(rows.size()) && !bit(rows[static_cast<std::size_t>(r)], c))
            ++r;
        if (r == static_cast<int>(rows.size()))
            continue;
        std::swap(rows[static_cast<std::size_t>(r)], rows[static_cast<std::size_t>(rank)]);
        const std::vector<std::uint64_t>& p = rows[static_cast<std::size_t>(rank)];
        for (int o = 0; o < static_cast<int>(rows.size()); ++o)
            if (o != rank && bit(rows[static_cast<std::size_t>(o)], c))
                for (int w = 0; w < words; ++w)
                    rows[static_cast<std::size_t>(o)][static_cast<std::size_t>(w)] ^= p[static_cast<std::size_t>(w)];
        pivotOf[static_cast<std::size_t>(c)] = rank++;
    }
    // A row left without a variable but with a right-hand side: no choice.
    for (int r = rank; r < static_cast<int>(rows.size()); ++r)
        if (bit(rows[static_cast<std::size_t>(r)], n))
            return false;
    value.assign(static_cast<std::size_t>(n), freeValue);
    for (int c = 0; c < n; ++c) {
        const int r = pivotOf[static_cast<std::size_t>(c)];
        if (r < 0)
            continue;
        int v = static_cast<int>(bit(rows[static_cast<std::size_t>(r)], n));
        for (int o = 0; o < n; ++o)
            if (o != c && pivotOf[static_cast<std::size_t>(o)] < 0 && bit(rows[static_cast<std::size_t>(r)], o))
                v ^= freeValue;
        value[static_cast<std::size_t>(c)] = v;
    }
    return true;
}

// Solves `rows` over the unknowns 0 .. n-1 for sets too large for the
// dense elimination, by sparse elimination: each step takes the unknown
// met in the fewest equations (the lowest first among equals) and the
// shortest equation holding it, and adds that equation to the others
// holding it. Equations of one unknown thus fix it and those of two tie
// one to the other before anything fills in; the rows of a mesh's pairs
// stay short. False when no choice satisfies the
// rows, or when the elimination has read kWorkLimit times the equations'
// first size (a block of cells takes about ten).
// Unknowns left free keep their value in `value` (the choices the roles
// made).
constexpr std::size_t kWorkLimit = 64;
bool SolveSparse(int n, std::vector<ParityRow> rows, std::vector<int>& value)
{
    std::size_t size = 0;
    std::vector<std::vector<int>> rowsWith(static_cast<std::size_t>(n));
    std::vector<int> count(static_cast<std::size_t>(n), 0);
    for (int r = 0; r < static_cast<int>(rows.size()); ++r) {
        std::vector<int>& vars = rows[static_cast<std::size_t>(r)].vars;
        std::sort(vars.begin(), vars.end());
        size += vars.size();
        for (int v : vars) {
            rowsWith[static_cast<std::size_t>(v)].push_back(r);
            ++count[static_cast<std::size_t>(v)];
        }
    }
    const std::size_t limit = kWorkLimit * (size + static_cast<std::size_t>(n));
    std::size_t work = 0;
    std::set<std::pair<int, int>> next;
    for (int v = 0; v < n; ++v)
        if (count[static_cast<std::size_t>(v)] > 0)
            next.insert({count[static_cast<std::size_t>(v)], v});
    auto recount = [&](int v, int by) {
        int& c = count[static_cast<std::size_t>(v)];
        if (c > 0)
            next.erase({c, v});
        c += by;
        if (c > 0)
            next.insert({c, v});
    };
    auto holds = [&](int r, int v) {
        const std::vector<int>& vars = rows[static_cast<std::size_t>(r)].vars;
        return std::binary_search(vars.begin(), vars.end(), v);
    };
    std::vector<char> open(rows.size(), 1);
    std::vector<std::pair<int, int>> pivots; // (unknown, its equation), in elimination order
    std::vector<int> sum;
    while (!next.empty()) {
        const int v = next.begin()->second;
        int best = -1;
        for (int r : rowsWith[static_cast<std::size_t>(v)])
            if (open[static_cast<std::size_t>(r)] && holds(r, v) &&
                (best < 0 || rows[static_cast<std::size_t>(r)].vars.size() < rows[static_cast<std::size_t>(best)].vars.size()))
                best = r;
        open[static_cast<std::size_t>(best)] = 0;
        pivots.emplace_back(v, best);
        const ParityRow& pivot = rows[static_cast<std::size_t>(best)];
        for (int u : pivot.vars)
            recount(u, -1);
        const std::vector<int> others = std::move(rowsWith[static_cast<std::size_t>(v)]);
        rowsWith[static_cast<std::size_t>(v)].clear();
        for (int r : others) {
            if (!open[static_cast<std::size_t>(r)] || !holds(r, v))
                continue;
            ParityRow& row = rows[static_cast<std::size_t>(r)];
            sum.clear();
            std::set_symmetric_difference(row.vars.begin(), row.vars.end(), pivot.vars.begin(), pivot.vars.end(),
                                          std::back_inserter(sum));
            for (int u : row.vars)
                if (!std::binary_search(sum.begin(), sum.end(), u))
                    recount(u, -1);
            for (int u : sum)
                if (!std::binary_search(row.vars.begin(), row.vars.end(), u)) {
                    recount(u, 1);
                    rowsWith[static_cast<std::size_t>(u)].push_back(r);
                }
            work += row.vars.size() + pivot.vars.size();
            row.vars.swap(sum);
            row.rhs ^= pivot.rhs;
            if (row.vars.empty()) {
                open[static_cast<std::size_t>(r)] = 0;
                if (row.rhs)
                    return false;
            }
        }
        if (work > limit)
            return false;
    }
    for (auto it = pivots.rbegin(); it != pivots.rend(); ++it) {
        const ParityRow& row = rows[static_cast<std::size_t>(it->second)];
        int v = row.rhs;
        for (int u : row.vars)
            if (u != it->first)
                v ^= value[static_cast<std::size_t>(u)];
        value[static_cast<std::size_t>(it->first)] = v;
    }
    return true;
}

// Whether each group keeps one copy (1) or none (0), solved so that every
// pair in `pairs` ends with an even number of facet sides, for the groups
// `members` (indices into `keep`; the other groups along the pairs keep
// their choice); false when no choice does. Where the choice is open
// (groups that only meet one another), copies are kept, or with `drop`
// taken away (the members then all keep a copy on entry, so the choice
// only takes copies away).
bool SolveKeptCopies(const std::vector<int>& members, const std::vector<const CopiesAlong*>& pairs,
                     std::vector<char>& keep, bool drop = false)
{
    const int n = static_cast<int>(members.size());
    const std::vector<ParityRow> rows = RowsOf(members, pairs, keep);
    std::vector<int> value;
    for (int k = 0; k < n; ++k)
        value.push_back(drop ? 0 : keep[static_cast<std::size_t>(members[static_cast<std::size_t>(k)])]);
    if (!(n > kMaxGroupsSolvedTogether ? SolveSparse(n, rows, value) : SolveDense(n, rows, value, drop ? 0 : 1)))
        return false;
    // Every equation holds (the sparse elimination's bookkeeping is not trusted blind).
    for (const ParityRow& row : rows) {
        int sum = row.rhs;
        for (int v : row.vars)
            sum ^= value[static_cast<std::size_t>(v)];
        if (sum)
            return false;
    }
    for (int k = 0; k < n; ++k)
        keep[static_cast<std::size_t>(members[static_cast<std::size_t>(k)])] = static_cast<char>(value[static_cast<std::size_t>(k)]);
    return true;
}

// Whether facet h lies in the plane of facet f: every corner of h within
// kPlaneSide of it (f's normal by Newell's sums over its corners).
bool InPlaneOf(G3Facet* f, G3Facet* h, GArrayCollection& corners)
{
    f->GetVertices(&corners);
    const int n = corners.size();
    if (n < 3)
        return false;
    double normal[3] = {0.0, 0.0, 0.0};
    const double* o = static_cast<const G3Vertex*>(corners.get(0))->GetXYZ();
    for (int k = 0; k < n; ++k) {
        const double* p = static_cast<const G3Vertex*>(corners.get(k))->GetXYZ();
        const double* q = static_cast<const G3Vertex*>(corners.get((k + 1) % n))->GetXYZ();
        normal[0] += (p[1] - q[1]) * (p[2] + q[2]);
        normal[1] += (p[2] - q[2]) * (p[0] + q[0]);
        normal[2] += (p[0] - q[0]) * (p[1] + q[1]);
    }
    const double length = std::sqrt(normal[0] * normal[0] + normal[1] * normal[1] + normal[2] * normal[2]);
    if (!(length >= GTolerance::kZeroNormal))
        return false;
    h->GetVertices(&corners);
    for (int k = 0; k < corners.size(); ++k) {
        const double* p = static_cast<const G3Vertex*>(corners.get(k))->GetXYZ();
        const double side = (normal[0] * (p[0] - o[0]) + normal[1] * (p[1] - o[1]) + normal[2] * (p[2] - o[2])) / length;
        if (!(std::fabs(side) < GTolerance::kPlaneSide))
            return false;
    }
    return true;
}

} // namespace

bool G3SettleKeptCopies(const std::vector<std::vector<G3Facet*>>& groups,
                        const std::function<int(const G3Facet*)>& groupOf, std::vector<char>& keep)
{
    const int count = static_cast<int>(groups.size());
    std::vector<CopiesAlong> pairs;
    // The pairs already looked at, by their lower end: the other end and
    // the pair's place in `pairs` (-1 where one group alone lies on it).
    std::unordered_map<const G3Vertex*, std::vector<std::pair<const G3Vertex*, int>>> seen;
    // Whether a group may be an inner wall: copies in pairs, and along each
    // pair of its facet two other facets or groups at least (the walls and
    // faces about an edge of the cells), or one in its plane (the other
    // triangle of a face given as two).
    std::vector<char> inner(static_cast<std::size_t>(count), 0);
    GArrayCollection along;
    GArrayCollection corners;
    for (int i = 0; i < count; ++i) {
        if (groups[static_cast<std::size_t>(i)].empty())
            continue;
        G3Facet* f = groups[static_cast<std::size_t>(i)].front();
        bool wall = groups[static_cast<std::size_t>(i)].size() % 2 == 0;
        for (G3Edge* e = f->GetFirstEdge(); e; e = e->GetFacetEdge(f)) {
            G3Vertex* a = e->GetVertex1();
            G3Vertex* b = e->GetVertex2();
            if (!a || !b)
                continue;
            if (std::less<const G3Vertex*>()(b, a))
                std::swap(a, b);
            std::vector<std::pair<const G3Vertex*, int>>& known = seen[a];
            auto at = std::find_if(known.begin(), known.end(),
                                   [&](const std::pair<const G3Vertex*, int>& q) { return q.first == b; });
            int index = at == known.end() ? -1 : at->second;
            if (at == known.end()) {
                CopiesAlong pair;
                a->GetEdges(b, &along);
                for (int k = 0; k < along.size(); ++k) {
                    const G3Edge* x = static_cast<const G3Edge*>(along.get(k));
                    for (G3Facet* h : {x->GetFacet1(), x->GetFacet2()}) {
                        if (!h)
                            continue;
                        const int g = groupOf(h);
                        if (g < 0) {
                            ++pair.plain;
                            pair.aPlain = h;
                            continue;
                        }
                        if (h != groups[static_cast<std::size_t>(g)].front())
                            continue;
                        auto it = std::find_if(pair.groups.begin(), pair.groups.end(),
                                               [&](const std::pair<int, int>& q) { return q.first == g; });
                        if (it == pair.groups.end())
                            pair.groups.push_back({g, 1});
                        else
                            ++it->second;
                    }
                }
                if (pair.plain > 0 || pair.groups.size() > 1) {
                    index = static_cast<int>(pairs.size());
                    pairs.push_back(std::move(pair));
                }
                known.push_back({b, index});
            }
            if (!wall)
                continue;
            if (index < 0) {
                wall = false;
                continue;
            }
            const CopiesAlong& pair = pairs[static_cast<std::size_t>(index)];
            const int others = pair.plain + static_cast<int>(pair.groups.size()) - 1;
            if (others == 1) {
                G3Facet* h = pair.aPlain;
                for (const std::pair<int, int>& g : pair.groups)
                    if (g.first != i)
                        h = groups[static_cast<std::size_t>(g.first)].front();
                wall = InPlaneOf(f, h, corners);
            } else {
                wall = others >= 2;
            }
        }
        inner[static_cast<std::size_t>(i)] = static_cast<char>(wall);
    }
    if (pairs.empty())
        return false;
    // The groups linked through shared pairs.
    std::vector<int> parent(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i)
        parent[static_cast<std::size_t>(i)] = i;
    auto root = [&](int i) {
        while (parent[static_cast<std::size_t>(i)] != i)
            i = parent[static_cast<std::size_t>(i)] = parent[static_cast<std::size_t>(parent[static_cast<std::size_t>(i)])];
        return i;
    };
    for (const CopiesAlong& pair : pairs)
        for (const std::pair<int, int>& g : pair.groups) {
            const int a = root(pair.groups.front().first), b = root(g.first);
            parent[static_cast<std::size_t>(std::max(a, b))] = std::min(a, b);
        }
    std::vector<std::vector<const CopiesAlong*>> pairsOf(static_cast<std::size_t>(count));
    for (const CopiesAlong& pair : pairs)
        pairsOf[static_cast<std::size_t>(root(pair.groups.front().first))].push_back(&pair);
    // First round: the sets where `keep` leaves a pair odd are solved.
    std::vector<char> odd(static_cast<std::size_t>(count), 0);
    for (const CopiesAlong& pair : pairs) {
        int sides = pair.plain;
        for (const std::pair<int, int>& g : pair.groups)
            sides += keep[static_cast<std::size_t>(g.first)] * g.second;
        if (sides % 2)
            odd[static_cast<std::size_t>(root(pair.groups.front().first))] = 1;
    }
    std::vector<std::vector<int>> members(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i)
        if (!groups[static_cast<std::size_t>(i)].empty() && odd[static_cast<std::size_t>(root(i))])
            members[static_cast<std::size_t>(root(i))].push_back(i);
    const std::vector<char> given(keep);
    for (int r = 0; r < count; ++r) {
        const std::vector<int>& m = members[static_cast<std::size_t>(r)];
        if (m.empty())
            continue;
        std::vector<char> solved(keep);
        if (SolveKeptCopies(m, pairsOf[static_cast<std::size_t>(r)], solved))
            keep.swap(solved);
    }
    // Second round: where inner walls keep copies, every pair is as even
    // with a closed family of them gone as with it kept (the walls about a
    // cell of a block three deep, each listed by both its cells and wound
    // at random); in each set that keeps any, the kept inner walls are
    // solved again, the rest held, taking copies away where the choice is
    // free. A set still left odd keeps its choice.
    for (std::vector<int>& m : members)
        m.clear();
    for (int i = 0; i < count; ++i)
        if (inner[static_cast<std::size_t>(i)] && keep[static_cast<std::size_t>(i)])
            members[static_cast<std::size_t>(root(i))].push_back(i);
    for (int r = 0; r < count; ++r) {
        const std::vector<int>& m = members[static_cast<std::size_t>(r)];
        if (m.empty())
            continue;
        std::vector<char> solved(keep);
        if (SolveKeptCopies(m, pairsOf[static_cast<std::size_t>(r)], solved, true))
            keep.swap(solved);
    }
    return keep != given;
}
