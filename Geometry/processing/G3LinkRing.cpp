// The ring a parent contour is kept in while holes are joined to it; see
// G3LinkRing.h for the invariants and the one place where it rounds.

#include "Geometry/processing/G3LinkRing.h"

#include "Geometry/mesh/G3Edge.h"
#include "Geometry/mesh/G3Vertex.h"
#include "Geometry/processing/G3EdgeList.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <tuple>

namespace {

// Labels lie below 2^62: every aligned range up to the whole label space
// is a power of two, and sums of two labels stay in range.
constexpr int kLabelBits = 62;
constexpr std::uint64_t kLabelEnd = std::uint64_t(1) << kLabelBits;

// A grid finer than this fraction of the coordinates' size could place a
// point a visible part of a cell away from its true cell.
constexpr double kFinestCell = 1e-7;
// The part of a cell the nearest-first search keeps clear of its border.
constexpr double kBorderSlack = 1e-6;
// Cells are this many times as wide (along the first axis) and as many
// times less tall as square ones of the same area: the parity test's ray
// runs along a row of cells, and a thinner row holds fewer edges.
constexpr double kWide = 2.0;
constexpr double kMostCells = 4096.0; // along one axis
// A ring that never holds more edges than this is scanned whole: its
// index would cost more to build than the scans it saves.
constexpr int kFlat = 48;

} // namespace

G3LinkRing::G3LinkRing(G3EdgeList* list, int i, int j, const double lo[2], const double hi[2], int expected)
    : list(list), ax{i, j}, flat(expected <= kFlat), low{lo[0], lo[1]}, high{hi[0], hi[1]}
{
    const int n = list->size();
    nodes.reserve(static_cast<std::size_t>(std::max(n, expected)));

    // About one vertex a cell once every hole is in.
    const double extent[2] = {high[0] - low[0], high[1] - low[1]};
    const double size = std::max({std::fabs(low[0]), std::fabs(low[1]), std::fabs(high[0]), std::fabs(high[1])});
    const double target = std::max(1.0, static_cast<double>(expected));
    double side = 0.0;
    if (extent[0] > 0.0 && extent[1] > 0.0)
        side = std::sqrt(extent[0] * extent[1] / target);
    else
        side = std::max(extent[0], extent[1]) / target;
    for (int a = 0; a < 2 && !flat; ++a) {
        count[a] = 1;
        if (std::isfinite(extent[a]) && extent[a] > 0.0 && side > 0.0 && std::isfinite(size))
            count[a] = static_cast<int>(
                std::min(kMostCells, std::max(1.0, std::ceil(extent[a] / (a == 0 ? side * kWide : side / kWide)))));
        if (count[a] > 1 && !(extent[a] / count[a] > kFinestCell * size))
            count[a] = 1;
        scale[a] = count[a] > 1 ? count[a] / extent[a] : 0.0;
    }
    double finest = std::numeric_limits<double>::infinity();
    for (int a = 0; a < 2; ++a)
        if (count[a] > 1)
            finest = std::min(finest, extent[a] / count[a]);
    slack = std::isfinite(finest) ? kBorderSlack * finest : 0.0;
    vertexCells.assign(CellAt(0, count[1]), std::vector<int>());
    edgeCells.assign(CellAt(0, count[1]), std::vector<Entry>());

    const std::uint64_t step = kLabelEnd / static_cast<std::uint64_t>(std::max(n, 1));
    for (int k = 0; k < n; ++k) {
        nodes.push_back({list->GetEdge(k), (k + 1) % n, (k + n - 1) % n, -1, step * static_cast<std::uint64_t>(k), 0});
        Index(k);
    }
}

bool G3LinkRing::InRoom(const double* xyz) const
{
    for (int a = 0; a < 2; ++a)
        if (!(xyz[ax[a]] >= low[a] && xyz[ax[a]] <= high[a]))
            return false;
    return true;
}

int G3LinkRing::Cell(int a, double x) const
{
    const double q = (x - low[a]) * scale[a];
    return !(q > 0.0) ? 0 : q >= count[a] - 1 ? count[a] - 1 : static_cast<int>(q);
}

void G3LinkRing::Index(int node)
{
    Node& n = nodes[static_cast<std::size_t>(node)];
    const double* a = n.edge->GetVertex1()->GetXYZ();
    const double* b = n.edge->GetVertex2()->GetXYZ();
    Entry e;
    for (int c = 0; c < 3; ++c) {
        e.a[c] = a[c];
        e.b[c] = b[c];
    }
    e.node = node;
    if (flat) {
        strays.push_back(node);
        wide.push_back(e);
        return;
    }
    if (InRoom(a))
        vertexCells[CellAt(Cell(0, a[ax[0]]), Cell(1, a[ax[1]]))].push_back(node);
    else
        strays.push_back(node);
    int& last = arrivingAt[n.edge->GetVertex2()];
    n.sameEnd = last - 1;
    last = node + 1;

    const int x0 = Cell(0, std::fmin(a[ax[0]], b[ax[0]]));
    const int x1 = Cell(0, std::fmax(a[ax[0]], b[ax[0]]));
    const int y0 = Cell(1, std::fmin(a[ax[1]], b[ax[1]]));
    const int y1 = Cell(1, std::fmax(a[ax[1]], b[ax[1]]));
    if (static_cast<long>(x1 - x0 + 1) * (y1 - y0 + 1) > 2L * (count[0] + count[1])) {
        wide.push_back(e);
        return;
    }
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x)
            edgeCells[CellAt(x, y)].push_back(e);
}

void G3LinkRing::InsertAfter(int at, const std::vector<G3Edge*>& run)
{
    if (run.empty())
        return;
    const int after = nodes[static_cast<std::size_t>(at)].next;
    const int first = Size();
    const int k = static_cast<int>(run.size());
    for (int m = 0; m < k; ++m)
        nodes.push_back({run[static_cast<std::size_t>(m)], first + m + 1, m == 0 ? at : first + m - 1, -1, 0, 0});
    const int last = first + k - 1;
    nodes[static_cast<std::size_t>(last)].next = after;
    nodes[static_cast<std::size_t>(after)].prev = last;
    nodes[static_cast<std::size_t>(at)].next = first;

    const std::uint64_t la = Label(at);
    const std::uint64_t lb = after == 0 ? kLabelEnd : Label(after);
    const std::uint64_t gap = (lb - la) / static_cast<std::uint64_t>(k + 1);
    if (gap > 0) {
        for (int m = 0; m < k; ++m)
            nodes[static_cast<std::size_t>(first + m)].label = la + gap * static_cast<std::uint64_t>(m + 1);
    } else {
        Relabel(at, last);
    }
    for (int m = first; m <= last; ++m)
        Index(m);
}

// Spreads the labels of the smallest aligned range around `at` that holds
// few enough nodes; the new nodes from the one after `at` to `last` have no
// labels yet and count as members.
void G3LinkRing::Relabel(int at, int last)
{
    int from = at;
    int to = last;
    std::uint64_t members = 1;
    for (int m = nodes[static_cast<std::size_t>(at)].next; m != last; m = nodes[static_cast<std::size_t>(m)].next)
        ++members;
    ++members;
    for (int bits = 1; bits <= kLabelBits; ++bits) {
        const std::uint64_t width = std::uint64_t(1) << bits;
        const std::uint64_t lo = Label(at) & ~(width - 1);
        const std::uint64_t hi = lo + width;
        while (from != 0 && Label(nodes[static_cast<std::size_t>(from)].prev) >= lo) {
            from = nodes[static_cast<std::size_t>(from)].prev;
            ++members;
        }
        while (nodes[static_cast<std::size_t>(to)].next != 0 && Label(nodes[static_cast<std::size_t>(to)].next) < hi) {
            to = nodes[static_cast<std::size_t>(to)].next;
            ++members;
        }
        // Sparse enough: at most sqrt(width) members.
        if (members > (std::uint64_t(1) << (bits / 2)))
            continue;
        const std::uint64_t gap = width / members;
        std::uint64_t label = lo;
        for (int m = from;; m = nodes[static_cast<std::size_t>(m)].next) {
            nodes[static_cast<std::size_t>(m)].label = label;
            label += gap;
            if (m == to)
                break;
        }
        return;
    }
}

void G3LinkRing::Arriving(const G3Vertex* v, std::vector<int>& out) const
{
    out.clear();
    if (flat) {
        int m = 0;
        do {
            if (Edge(m)->GetVertex2() == v)
                out.push_back(m);
            m = Next(m);
        } while (m != 0);
        return;
    }
    const auto it = arrivingAt.find(v);
    if (it == arrivingAt.end())
        return;
    for (int m = it->second - 1; m >= 0; m = nodes[static_cast<std::size_t>(m)].sameEnd)
        out.push_back(m);
    std::sort(out.begin(), out.end(), [this](int a, int b) { return Before(a, b); });
}

void G3LinkRing::Unload()
{
    list->clear();
    int m = 0;
    do {
        list->add(nodes[static_cast<std::size_t>(m)].edge);
        m = nodes[static_cast<std::size_t>(m)].next;
    } while (m != 0);
}

// The coordinate where cell c begins on axis a.
double G3LinkRing::Border(int a, int c) const { return low[a] + c / scale[a]; }

// The square of how far p lies inside the block of cells within r of
// (cx, cy), less the slack; infinite when the block covers the grid,
// negative when nothing is certain yet.
double G3LinkRing::Reach2(const double* p, int cx, int cy, int r) const
{
    double reach = std::numeric_limits<double>::infinity();
    const int c[2] = {cx, cy};
    for (int a = 0; a < 2; ++a) {
        if (c[a] - r > 0)
            reach = std::min(reach, p[ax[a]] - Border(a, c[a] - r));
        if (c[a] + r < count[a] - 1)
            reach = std::min(reach, Border(a, c[a] + r + 1) - p[ax[a]]);
    }
    if (std::isinf(reach))
        return reach;
    reach -= slack;
    return reach > 0.0 ? reach * reach : -1.0;
}

bool G3LinkRing::Nearest(const double* p, const std::function<double(const double*)>& distance2,
                         const std::function<bool(int, double)>& take)
{
    using Candidate = std::tuple<double, std::uint64_t, int>;
    heap.clear();
    auto offer = [&](int m) {
        heap.emplace_back(distance2(Edge(m)->GetVertex1()->GetXYZ()), Label(m), m);
        std::push_heap(heap.begin(), heap.end(), std::greater<Candidate>());
    };
    // Outside the room the cells say nothing: every vertex at once.
    const bool inRoom = InRoom(p);
    const int cx = inRoom ? Cell(0, p[ax[0]]) : 0;
    const int cy = inRoom ? Cell(1, p[ax[1]]) : 0;
    const int reachAll = std::max(count[0], count[1]);
    int r = inRoom ? 0 : reachAll;
    if (inRoom) {
        for (int m : strays)
            offer(m);
        for (int m : vertexCells[CellAt(cx, cy)])
            offer(m);
    } else {
        for (int m = 0; m < Size(); ++m)
            offer(m);
    }
    for (;;) {
        const bool all = r >= reachAll;
        const double reach2 = all ? std::numeric_limits<double>::infinity() : Reach2(p, cx, cy, r);
        while (!heap.empty() && (all || std::get<0>(heap.front()) < reach2)) {
            std::pop_heap(heap.begin(), heap.end(), std::greater<Candidate>());
            const Candidate c = heap.back();
            heap.pop_back();
            if (take(std::get<2>(c), std::get<0>(c)))
                return true;
        }
        if (all)
            return false;
        ++r;
        // The cells at distance r from (cx, cy), each once.
        auto cell = [&](int x, int y) {
            for (int m : vertexCells[CellAt(x, y)])
                offer(m);
        };
        for (int y = std::max(0, cy - r); y <= std::min(count[1] - 1, cy + r); ++y) {
            if (y == cy - r || y == cy + r) {
                for (int x = std::max(0, cx - r); x <= std::min(count[0] - 1, cx + r); ++x)
                    cell(x, y);
                continue;
            }
            if (cx - r >= 0)
                cell(cx - r, y);
            if (cx + r < count[0])
                cell(cx + r, y);
        }
    }
}

void G3LinkRing::EdgesNear(const double lo[2], const double hi[2],
                           const std::function<void(int, const double*, const double*)>& f)
{
    ++stamp;
    auto visit = [&](const Entry& e) {
        for (int c = 0; c < 2; ++c)
            if (std::fmax(e.a[ax[c]], e.b[ax[c]]) < lo[c] || std::fmin(e.a[ax[c]], e.b[ax[c]]) > hi[c])
                return;
        Node& n = nodes[static_cast<std::size_t>(e.node)];
        if (n.stamp == stamp)
            return;
        n.stamp = stamp;
        f(e.node, e.a, e.b);
    };
    for (const Entry& e : wide)
        visit(e);
    const int x0 = Cell(0, lo[0]);
    const int x1 = Cell(0, hi[0]);
    const int y0 = Cell(1, lo[1]);
    const int y1 = Cell(1, hi[1]);
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x)
            for (const Entry& e : edgeCells[CellAt(x, y)])
                visit(e);
}
