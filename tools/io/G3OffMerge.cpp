// Building a parsed OFF text into a surface: as written (a vertex per
// vertex line), or merged for a repair that welds first (a vertex per
// group of lines the welding pass would make one, edges shared).
//
// The merged build must give the surface the plain build becomes once the
// welding pass has run, down to the coordinates and the order of the
// vertices, so that the passes after it make the same of both. The
// welding pass takes the vertex lines in order and makes each one the
// duplicate of an earlier survivor closer than the welding distance. The
// merged build groups the lines into clusters: the sets of points linked
// by steps no longer than twice the welding distance. A cluster is the
// weld's own group when every point of it lies within the welding
// distance of its first line (tested with the weld's own comparison, so
// that no rounding can differ): that line then survives, and every later
// line finds it and nothing else, since other clusters are farther than
// twice the distance. A cluster that fails this (a chain of near points,
// whose weld depends on the order) falls back to the plain build, as do
// a face with two corners in one cluster, parallel edges, and a point
// within twice the welding distance of an edge it does not end (the weld
// would split the edge there). The one place it rounds is the distance
// test of the clusters and of the edges, and the factor two puts that
// rounding on the safe side: a near case falls back.

#include "tools/io/G3MeshIOInternal.h"

#include "Geometry/math/GTolerance.h"
#include "Geometry/mesh/G3Point.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/mesh/G3Vertex.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace g3io {
namespace detail {

namespace {

constexpr double kNear = 2.0 * GTolerance::kWeld;

// Points sorted by the cell of a uniform grid, each cell found through an
// open-addressed table of the cells in use, with a copy of the coordinates
// in that order (a cell's points side by side) and the cells looked up
// last remembered (neighbouring queries meet the same cells).
class PointGrid {
public:
    PointGrid(const std::vector<double>& xyz, double cellSide) : points(xyz)
    {
        const std::size_t n = xyz.size() / 3;
        for (int k = 0; k < 3; ++k) {
            lo[k] = n ? xyz[static_cast<std::size_t>(k)] : 0.0;
            for (std::size_t i = 0; i < n; ++i)
                lo[k] = std::min(lo[k], xyz[3 * i + static_cast<std::size_t>(k)]);
        }
        double extent = 0.0;
        for (std::size_t i = 0; i < n; ++i)
            for (int k = 0; k < 3; ++k)
                extent = std::max(extent, xyz[3 * i + static_cast<std::size_t>(k)] - lo[k]);
        // At most 2^20 cells along an axis, so that a cell's three indexes
        // pack into one key.
        side = std::max(cellSide, std::max(4.0 * kNear, extent / double(1 << 20)));
        std::vector<std::uint64_t> key(n);
        for (std::size_t i = 0; i < n; ++i)
            key[i] = Key(Cell(&xyz[3 * i], 0), Cell(&xyz[3 * i], 1), Cell(&xyz[3 * i], 2));
        order.resize(n);
        for (std::size_t i = 0; i < n; ++i)
            order[i] = static_cast<std::uint32_t>(i);
        std::sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
            return key[a] != key[b] ? key[a] < key[b] : a < b;
        });
        sorted.resize(3 * n);
        for (std::size_t i = 0; i < n; ++i)
            std::memcpy(&sorted[3 * i], &xyz[3 * static_cast<std::size_t>(order[i])], 3 * sizeof(double));
        std::size_t cells = 0;
        for (std::size_t i = 0; i < n; ++i)
            if (i == 0 || key[order[i]] != key[order[i - 1]])
                ++cells;
        std::size_t size = 16;
        while (size < 2 * cells)
            size *= 2;
        table.assign(size, Slot{kNone, 0, 0});
        for (Recent& r : recent)
            r = Recent{kNone, nullptr};
        for (std::size_t i = 0; i < n;) {
            std::size_t j = i + 1;
            while (j < n && key[order[j]] == key[order[i]])
                ++j;
            std::size_t s = Hash(key[order[i]]) & (size - 1);
            while (table[s].key != kNone)
                s = (s + 1) & (size - 1);
            table[s] = Slot{key[order[i]], static_cast<std::uint32_t>(i), static_cast<std::uint32_t>(j)};
            i = j;
        }
    }

    // Calls visit(point, its coordinates) for every point of the cells that
    // the box lo..hi meets; stops when visit returns true, and returns whether it did.
    // Every cell and point looked at is charged to the budget; once it is
    // spent, the answer is true (the caller's cautious answer): a crowded
    // or stretched point set falls back rather than taking quadratic time.
    template <class Visit>
    bool InBox(const double* boxLo, const double* boxHi, Visit visit)
    {
        int a[3], b[3];
        for (int k = 0; k < 3; ++k) {
            a[k] = Cell(boxLo, k);
            b[k] = Cell(boxHi, k);
        }
        for (int z = a[2]; z <= b[2]; ++z)
            for (int y = a[1]; y <= b[1]; ++y)
                for (int x = a[0]; x <= b[0]; ++x) {
                    if (--budget < 0)
                        return true;
                    const Slot* s = Find(Key(x, y, z));
                    if (!s)
                        continue;
                    budget -= s->end - s->begin;
                    for (std::uint32_t i = s->begin; i < s->end; ++i)
                        if (visit(order[i], &sorted[3 * static_cast<std::size_t>(i)]))
                            return true;
                }
        return false;
    }
    void SetBudget(long long work) { budget = work; }
    bool Spent() const { return budget < 0; }
    double Side() const { return side; }
    // The points cell by cell: a walk in this order reads the grid in order.
    const std::vector<std::uint32_t>& Order() const { return order; }
    const double* Point(std::uint32_t i) const { return &points[3 * static_cast<std::size_t>(i)]; }
    // The point at place `at` of Order().
    const double* PointAt(std::uint32_t at) const { return &sorted[3 * static_cast<std::size_t>(at)]; }

private:
    static constexpr std::uint64_t kNone = ~std::uint64_t(0);
    struct Slot {
        std::uint64_t key;
        std::uint32_t begin, end;
    };
    int Cell(const double* p, int k) const
    {
        // Not a number (an infinite offset over an infinite side) counts
        // as cell 0.
        const double q = std::floor((p[k] - lo[k]) / side);
        return !(q >= 0.0) ? 0 : (q > double((1 << 20) - 1) ? (1 << 20) - 1 : static_cast<int>(q));
    }
    static std::uint64_t Key(int x, int y, int z)
    {
        return static_cast<std::uint64_t>(x) | static_cast<std::uint64_t>(y) << 21 | static_cast<std::uint64_t>(z) << 42;
    }
    static std::size_t Hash(std::uint64_t k)
    {
        k ^= k >> 33;
        k *= 0xFF51AFD7ED558CCDull;
        k ^= k >> 33;
        return static_cast<std::size_t>(k);
    }
    const Slot* Find(std::uint64_t k)
    {
        const std::size_t h = Hash(k);
        Recent& r = recent[(h >> 40) & (kRecent - 1)];
        if (r.key == k)
            return r.slot;
        const std::size_t mask = table.size() - 1;
        const Slot* found = nullptr;
        for (std::size_t s = h & mask;; s = (s + 1) & mask) {
            if (table[s].key == k) {
                found = &table[s];
                break;
            }
            if (table[s].key == kNone)
                break;
        }
        r = Recent{k, found};
        return found;
    }

    const std::vector<double>& points;
    double lo[3] = {0.0, 0.0, 0.0};
    double side = 1.0;
    std::vector<std::uint32_t> order;
    std::vector<Slot> table;
    std::vector<double> sorted;
    static constexpr std::size_t kRecent = 256;
    struct Recent {
        std::uint64_t key;
        const Slot* slot;
    };
    Recent recent[kRecent] = {};
    long long budget = 0;
};

double Distance2(const double* a, const double* b)
{
    const double x = a[0] - b[0], y = a[1] - b[1], z = a[2] - b[2];
    return x * x + y * y + z * z;
}

// Squared distance from c to the segment p..q (d = q - p, dd = |d|^2).
double SegmentDistance2(const double* p, const double* d, double dd, const double* c)
{
    const double w[3] = {c[0] - p[0], c[1] - p[1], c[2] - p[2]};
    double t = dd > 0.0 ? (w[0] * d[0] + w[1] * d[1] + w[2] * d[2]) / dd : 0.0;
    t = t < 0.0 ? 0.0 : (t > 1.0 ? 1.0 : t);
    const double x = w[0] - t * d[0], y = w[1] - t * d[1], z = w[2] - t * d[2];
    return x * x + y * y + z * z;
}

// Whether some point outside the clusters of the edge's ends lies within
// kNear of the segment between the points at grid places a and b
// (clusterOf gives each point's cluster). A long edge is looked at slab by slab along its
// dominant axis, so that it reads the cells near it rather than those of
// its whole box.
bool PointNearEdge(PointGrid& grid, const std::vector<std::uint32_t>& clusterOf, std::uint32_t a, std::uint32_t b)
{
    const double* p = grid.PointAt(a);
    const double* q = grid.PointAt(b);
    const double d[3] = {q[0] - p[0], q[1] - p[1], q[2] - p[2]};
    const double dd = d[0] * d[0] + d[1] * d[1] + d[2] * d[2];
    int axis = 0;
    for (int k = 1; k < 3; ++k)
        if (std::fabs(d[k]) > std::fabs(d[axis]))
            axis = k;
    const double length = std::fabs(d[axis]);
    const int slabs = std::max(1, static_cast<int>(std::ceil(length / grid.Side())));
    const std::uint32_t ca = clusterOf[grid.Order()[a]], cb = clusterOf[grid.Order()[b]];
    auto near = [&](std::uint32_t i, const double* c) {
        if (clusterOf[i] == ca || clusterOf[i] == cb)
            return false;
        return !(SegmentDistance2(p, d, dd, c) > kNear * kNear);
    };
    for (int s = 0; s < slabs; ++s) {
        // The part of the segment with parameter in [t0, t1], boxed and
        // widened.
        const double t0 = static_cast<double>(s) / slabs;
        const double t1 = static_cast<double>(s + 1) / slabs;
        double boxLo[3], boxHi[3];
        for (int k = 0; k < 3; ++k) {
            const double u = p[k] + t0 * d[k], v = s + 1 == slabs ? q[k] : p[k] + t1 * d[k];
            boxLo[k] = std::min(u, v) - 2.0 * kNear;
            boxHi[k] = std::max(u, v) + 2.0 * kNear;
        }
        if (grid.InBox(boxLo, boxHi, near))
            return true;
    }
    return false;
}

// The average length of the faces' sides, the grid's cell side, from at
// most about 65,536 faces spread evenly over the file: the side sets only
// how much the checks read (their answers hold for any side), and the
// sides of a large soup lie anywhere in memory.
double MeanSideLength(const ParsedOff& off)
{
    double sum = 0.0;
    std::size_t sides = 0;
    const std::size_t faces = off.faceStart.size() ? off.faceStart.size() - 1 : 0;
    const std::size_t step = faces / 65536 + 1;
    for (std::size_t f = 0; f < faces; f += step) {
        const std::uint32_t b = off.faceStart[f], e = off.faceStart[f + 1];
        for (std::uint32_t k = b; k < e; ++k) {
            const std::size_t g = off.lineGroup[off.corners[k]];
            const std::size_t h = off.lineGroup[off.corners[k + 1 < e ? k + 1 : b]];
            sum += std::sqrt(Distance2(&off.groupXyz[3 * g], &off.groupXyz[3 * h]));
            ++sides;
        }
    }
    return sides ? sum / static_cast<double>(sides) : 0.0;
}

// Whether the faces' sides are much longer than the points are apart (the
// spacing of nG points over the two widest extents of their box), as in a
// polygon of many corners with long spikes. The grid, its cells sized by
// the mean side, then holds hundreds of points a cell, and the edge check
// would read them all for every side until its budget ran out: such a
// file is read plain and welded, which costs what a successful merged
// read of it would.
bool SidesFarApart(const ParsedOff& off, double mean)
{
    const std::size_t nG = off.groupXyz.size() / 3;
    if (nG == 0)
        return false;
    double lo[3], hi[3];
    for (int k = 0; k < 3; ++k)
        lo[k] = hi[k] = off.groupXyz[static_cast<std::size_t>(k)];
    for (std::size_t i = 0; i < 3 * nG; i += 3)
        for (int k = 0; k < 3; ++k) {
            lo[k] = std::min(lo[k], off.groupXyz[i + static_cast<std::size_t>(k)]);
            hi[k] = std::max(hi[k], off.groupXyz[i + static_cast<std::size_t>(k)]);
        }
    double extent[3] = {hi[0] - lo[0], hi[1] - lo[1], hi[2] - lo[2]};
    std::sort(extent, extent + 3);
    const double spacing = std::sqrt(extent[2] * extent[1] / static_cast<double>(nG));
    // Sides up to this many spacings long are a sound mesh's.
    constexpr double kLongSides = 8.0;
    return mean > kLongSides * spacing;
}

// The clusters of the file comment over the groups of equal lines (every
// group: one no face uses is welded too). clusterOf gets each group's
// cluster, numbered in the order of their first lines, and first each
// cluster's first group (groups are numbered in the order of their first
// lines, so that is the smallest). False when a cluster is not the weld's
// group or the grid's budget ran out.
bool FindClusters(PointGrid& grid, std::size_t nG, std::vector<std::uint32_t>& clusterOf,
                  std::vector<std::uint32_t>& first)
{
    // Union by the smaller group: a root is its cluster's first group.
    std::vector<std::uint32_t> parent(nG);
    for (std::size_t g = 0; g < nG; ++g)
        parent[g] = static_cast<std::uint32_t>(g);
    auto root = [&](std::uint32_t x) {
        while (parent[x] != x) {
            parent[x] = parent[parent[x]];
            x = parent[x];
        }
        return x;
    };
    for (std::uint32_t g : grid.Order()) {
        const double* p = grid.Point(g);
        const double boxLo[3] = {p[0] - kNear, p[1] - kNear, p[2] - kNear};
        const double boxHi[3] = {p[0] + kNear, p[1] + kNear, p[2] + kNear};
        grid.InBox(boxLo, boxHi, [&](std::uint32_t i, const double* q) {
            if (i > g && !(Distance2(p, q) > kNear * kNear)) {
                const std::uint32_t a = root(g), b = root(i);
                parent[std::max(a, b)] = std::min(a, b);
            }
            return false;
        });
        if (grid.Spent())
            return false;
    }
    clusterOf.resize(nG);
    first.clear();
    for (std::size_t g = 0; g < nG; ++g) {
        const std::uint32_t r = root(static_cast<std::uint32_t>(g));
        if (r == g) {
            clusterOf[g] = static_cast<std::uint32_t>(first.size());
            first.push_back(r);
            continue;
        }
        clusterOf[g] = clusterOf[r];
        // The weld's comparison, survivor first, as its hash makes it.
        if (!G3Point::Equals(grid.Point(r), grid.Point(static_cast<std::uint32_t>(g)), GTolerance::kWeld))
            return false;
    }
    return true;
}

// Whether the faces' sides make edges the weld leaves alone: no vertex
// pair is the side of more than two faces (a third would get an edge of
// its own beside the first, two faces already using its sides; a face
// never has a cluster twice here, so never a pair twice either), and no
// point lies within kNear of an edge it does not end. The sides are taken
// as pairs of grid places of their clusters' first groups, smaller place
// first, in order: edges one after another from the points cell by cell,
// so that the grid is read in order, and equal pairs side by side.
// `edges` gets the number of distinct pairs, the edges the faces make.
bool EdgesAreClear(PointGrid& grid, const ParsedOff& off, const std::vector<std::uint32_t>& clusterOf,
                   const std::vector<std::uint32_t>& placeOfCluster, std::size_t& edges)
{
    edges = 0;
    // The sides by their smaller place (a counting sort: the places are
    // below the point count), each place's few larger ends then sorted in
    // place.
    const std::size_t places = grid.Order().size();
    std::vector<std::uint32_t> start(places + 1, 0);
    std::vector<std::uint32_t> other(off.corners.size());
    const std::size_t faces = off.faceStart.size() - 1;
    auto eachSide = [&](auto take) {
        for (std::size_t f = 0; f < faces; ++f) {
            const std::uint32_t b = off.faceStart[f], e = off.faceStart[f + 1];
            for (std::uint32_t k = b; k < e; ++k) {
                const std::uint32_t u = placeOfCluster[clusterOf[off.lineGroup[off.corners[k]]]];
                const std::uint32_t w = placeOfCluster[clusterOf[off.lineGroup[off.corners[k + 1 < e ? k + 1 : b]]]];
                take(std::min(u, w), std::max(u, w));
            }
        }
    };
    eachSide([&](std::uint32_t u, std::uint32_t) { ++start[u + 1]; });
    for (std::size_t at = 0; at < places; ++at)
        start[at + 1] += start[at];
    {
        std::vector<std::uint32_t> fill(start.begin(), start.end() - 1);
        eachSide([&](std::uint32_t u, std::uint32_t w) { other[fill[u]++] = w; });
    }
    for (std::uint32_t u = 0; u < places; ++u) {
        std::uint32_t* b = other.data() + start[u];
        std::uint32_t* e = other.data() + start[u + 1];
        std::sort(b, e);
        for (std::uint32_t* i = b; i < e;) {
            std::uint32_t* j = i + 1;
            while (j < e && *j == *i)
                ++j;
            if (j - i > 2 || PointNearEdge(grid, clusterOf, u, *i))
                return false;
            ++edges;
            i = j;
        }
    }
    return true;
}

} // namespace

bool BuildPlainOff(const ParsedOff& off, G3Surface& s, long& badLine)
{
    const std::size_t nV = off.lineGroup.size();
    std::vector<G3Vertex*> vertices(nV);
    for (std::size_t i = 0; i < nV; ++i)
        vertices[i] = s.AddVertex(&off.groupXyz[3 * static_cast<std::size_t>(off.lineGroup[i])], 0);
    std::vector<G3Vertex*> v;
    for (std::size_t f = 0; f + 1 < off.faceStart.size(); ++f) {
        v.clear();
        for (std::uint32_t k = off.faceStart[f]; k < off.faceStart[f + 1]; ++k)
            v.push_back(vertices[off.corners[k]]);
        if (!AddPolygon(s, v, nullptr, nullptr)) {
            badLine = off.faceLine[f];
            return false;
        }
    }
    return true;
}

bool BuildMergedOff(const ParsedOff& off, G3Surface& target, std::unique_ptr<G3Surface>& built)
{
    std::size_t edges = 0;
    const std::size_t nV = off.lineGroup.size();
    const std::size_t nG = off.groupXyz.size() / 3;
    std::vector<std::uint32_t> clusterOf, first;
    std::vector<char> used;
    {
        // Everything is checked before the surface is built: a fall back
        // then costs no surface, and the check's memory is gone before the
        // surface takes its own.
        const double mean = MeanSideLength(off);
        if (!std::isfinite(mean) || SidesFarApart(off, mean))
            return false;
        PointGrid grid(off.groupXyz, mean);
        if (!std::isfinite(grid.Side()))
            return false;
        // A sound mesh reads a few cells and points per point and per side.
        grid.SetBudget(64 * static_cast<long long>(nG + off.corners.size()) + 4096);
        if (!FindClusters(grid, nG, clusterOf, first))
            return false;
        const std::size_t nC = first.size();
        used.assign(nC, 0);
        std::uint32_t small[8];
        std::vector<std::uint32_t> large;
        for (std::size_t f = 0; f + 1 < off.faceStart.size(); ++f) {
            const std::size_t n = off.faceStart[f + 1] - off.faceStart[f];
            std::uint32_t* c = n <= 8 ? small : (large.resize(n), large.data());
            for (std::size_t k = 0; k < n; ++k)
                c[k] = clusterOf[off.lineGroup[off.corners[off.faceStart[f] + k]]];
            std::sort(c, c + n);
            if (std::adjacent_find(c, c + n) != c + n)
                return false;
            for (std::size_t k = 0; k < n; ++k)
                used[c[k]] = 1;
        }
        std::vector<std::uint32_t> placeOfCluster(nC);
        for (std::size_t at = 0; at < nG; ++at) {
            const std::uint32_t g = grid.Order()[at];
            if (first[clusterOf[g]] == g)
                placeOfCluster[clusterOf[g]] = static_cast<std::uint32_t>(at);
        }
        if (!EdgesAreClear(grid, off, clusterOf, placeOfCluster, edges))
            return false;
    }
    const std::size_t nC = first.size();
    auto clusterOfLine = [&](std::uint32_t line) { return clusterOf[off.lineGroup[line]]; };
    // The welding pass removes, in one walk over the vertex list, every
    // line that is not the first of its cluster and every cluster no face
    // uses; each removal moves the last vertex into the gap.
    std::vector<std::uint32_t> order;
    {
        std::vector<char> seen(nC, 0);
        std::vector<char> doomed(nV);
        for (std::size_t i = 0; i < nV; ++i) {
            const std::uint32_t c = clusterOfLine(static_cast<std::uint32_t>(i));
            doomed[i] = seen[c] || !used[c];
            seen[c] = 1;
        }
        order.resize(nV);
        for (std::size_t i = 0; i < nV; ++i)
            order[i] = static_cast<std::uint32_t>(i);
        for (std::size_t i = 0; i < order.size();) {
            if (!doomed[order[i]]) {
                ++i;
                continue;
            }
            order[i] = order.back();
            order.pop_back();
        }
    }
    // Sized to what it will hold (its lists never grow by copying): the
    // vertices, the edges (each pair of clusters on a side) and the faces.
    const int faces = static_cast<int>(off.faceStart.size() - 1);
    built.reset(new G3Surface(static_cast<int>((edges + 1) / 2), static_cast<int>(order.size()), faces));
    PrepareAside(target, *built);
    G3Surface& s = *built;
    // Each cluster's vertex at its first line's coordinates, which the
    // weld keeps.
    std::vector<std::uint32_t> vertexOf(nC, 0);
    for (std::uint32_t line : order) {
        const std::uint32_t c = clusterOfLine(line);
        vertexOf[c] = static_cast<std::uint32_t>(s.GetVertexCount());
        s.AddVertex(&off.groupXyz[3 * static_cast<std::size_t>(first[c])], 0);
    }
    std::vector<std::uint32_t>().swap(order);
    // The faces' corners as vertex numbers, all built in one call (a face
    // here has no repeated cluster, so none is refused).
    std::vector<std::uint32_t> ids(off.corners.size());
    for (std::size_t k = 0; k < ids.size(); ++k)
        ids[k] = vertexOf[clusterOfLine(off.corners[k])];
    std::vector<std::uint32_t>().swap(vertexOf);
    std::vector<std::uint32_t>().swap(clusterOf);
    return s.AddFacetsByIds(faces, off.faceStart.data(), ids.data(), nullptr) == faces;
}

} // namespace detail
} // namespace g3io
