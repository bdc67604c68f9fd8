// Keep-or-remove choices for groups of equal facets, solved over the facet
// sides they leave along each pair of vertices (two values: even or odd).

#include "Geometry/processing/G3CopiesParity.h"

#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/mesh/G3Edge.h"
#include "Geometry/mesh/G3Facet.h"
#include "Geometry/mesh/G3Vertex.h"

#include <algorithm>
#include <cstdint>
#include <unordered_map>
#include <utility>
#include <vector>

namespace {

// The largest set of groups of copies whose keep-or-remove choices are
// solved together (a dense elimination over two values: its cost grows
// with the cube of the set).
constexpr int kMaxGroupsSolvedTogether = 1024;

// One pair of vertices along the first facet of a group of copies, with
// the facet sides along it: `plain` from facets without copies, and for
// each group (its index) how many sides its first facet has there.
struct CopiesAlong {
    int plain = 0;
    std::vector<std::pair<int, int>> groups;
};

// Whether each group keeps one copy (1) or none (0), solved so that every
// pair in `pairs` ends with an even number of facet sides, for the groups
// `members` (indices into `keep`); false when no choice does. Where the
// choice is open (groups that only meet one another), copies are kept.
bool SolveKeptCopies(const std::vector<int>& members, const std::vector<const CopiesAlong*>& pairs,
                     std::vector<char>& keep)
{
    const int n = static_cast<int>(members.size());
    const int words = n / 64 + 1; // the last bit of the last word is spare: the right-hand side sits at bit n
    std::unordered_map<int, int> column;
    for (int k = 0; k < n; ++k)
        column.emplace(members[static_cast<std::size_t>(k)], k);
    std::vector<std::vector<std::uint64_t>> rows;
    for (const CopiesAlong* pair : pairs) {
        std::vector<std::uint64_t> row(static_cast<std::size_t>(words), 0);
        auto flip = [&](int bit) { row[static_cast<std::size_t>(bit / 64)] ^= std::uint64_t{1} << (bit % 64); };
        if (pair->plain % 2)
            flip(n);
        for (const std::pair<int, int>& g : pair->groups)
            if (g.second % 2)
                flip(column.at(g.first));
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
    std::vector<int> value(static_cast<std::size_t>(n), 1);
    for (int c = 0; c < n; ++c) {
        const int r = pivotOf[static_cast<std::size_t>(c)];
        if (r < 0)
            continue;
        int v = static_cast<int>(bit(rows[static_cast<std::size_t>(r)], n));
        for (int o = 0; o < n; ++o)
            if (o != c && pivotOf[static_cast<std::size_t>(o)] < 0 && bit(rows[static_cast<std::size_t>(r)], o))
                v ^= 1;
        value[static_cast<std::size_t>(c)] = v;
    }
    for (int k = 0; k < n; ++k)
        keep[static_cast<std::size_t>(members[static_cast<std::size_t>(k)])] = static_cast<char>(value[static_cast<std::size_t>(k)]);
    return true;
}

} // namespace

bool G3SettleKeptCopies(const std::vector<std::vector<G3Facet*>>& groups,
                        const std::function<int(const G3Facet*)>& groupOf, std::vector<char>& keep)
{
    const int count = static_cast<int>(groups.size());
    std::vector<CopiesAlong> pairs;
    // The pairs already looked at, by their lower end.
    std::unordered_map<const G3Vertex*, std::vector<const G3Vertex*>> seen;
    GArrayCollection along;
    for (int i = 0; i < count; ++i) {
        if (groups[static_cast<std::size_t>(i)].empty())
            continue;
        G3Facet* f = groups[static_cast<std::size_t>(i)].front();
        for (G3Edge* e = f->GetFirstEdge(); e; e = e->GetFacetEdge(f)) {
            G3Vertex* a = e->GetVertex1();
            G3Vertex* b = e->GetVertex2();
            if (!a || !b)
                continue;
            if (std::less<const G3Vertex*>()(b, a))
                std::swap(a, b);
            std::vector<const G3Vertex*>& known = seen[a];
            if (std::find(known.begin(), known.end(), b) != known.end())
                continue;
            known.push_back(b);
            CopiesAlong pair;
            a->GetEdges(b, &along);
            for (int k = 0; k < along.size(); ++k) {
                const G3Edge* x = static_cast<const G3Edge*>(along.get(k));
                for (const G3Facet* h : {x->GetFacet1(), x->GetFacet2()}) {
                    if (!h)
                        continue;
                    const int g = groupOf(h);
                    if (g < 0) {
                        ++pair.plain;
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
            if (pair.plain > 0 || pair.groups.size() > 1)
                pairs.push_back(std::move(pair));
        }
    }
    if (pairs.empty())
        return false;
    // The groups linked through shared pairs, and whether `keep` leaves
    // one of their pairs odd.
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
    std::vector<char> odd(static_cast<std::size_t>(count), 0);
    bool anyOdd = false;
    for (const CopiesAlong& pair : pairs) {
        int sides = pair.plain;
        for (const std::pair<int, int>& g : pair.groups)
            sides += keep[static_cast<std::size_t>(g.first)] * g.second;
        if (sides % 2) {
            odd[static_cast<std::size_t>(root(pair.groups.front().first))] = 1;
            anyOdd = true;
        }
    }
    if (!anyOdd)
        return false;
    std::vector<std::vector<int>> members(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i)
        if (!groups[static_cast<std::size_t>(i)].empty() && odd[static_cast<std::size_t>(root(i))])
            members[static_cast<std::size_t>(root(i))].push_back(i);
    std::vector<std::vector<const CopiesAlong*>> pairsOf(static_cast<std::size_t>(count));
    for (const CopiesAlong& pair : pairs) {
        const int r = root(pair.groups.front().first);
        if (odd[static_cast<std::size_t>(r)])
            pairsOf[static_cast<std::size_t>(r)].push_back(&pair);
    }
    bool changed = false;
    for (int r = 0; r < count; ++r) {
        const std::vector<int>& m = members[static_cast<std::size_t>(r)];
        if (m.empty() || static_cast<int>(m.size()) > kMaxGroupsSolvedTogether)
            continue;
        std::vector<char> solved(keep);
        if (!SolveKeptCopies(m, pairsOf[static_cast<std::size_t>(r)], solved))
            continue;
        for (int i : m)
            changed = changed || solved[static_cast<std::size_t>(i)] != keep[static_cast<std::size_t>(i)];
        keep.swap(solved);
    }
    return changed;
}

