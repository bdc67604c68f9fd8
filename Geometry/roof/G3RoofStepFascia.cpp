// Step fascia. Invariants: an edge's pieces lie in the vertical plane
// through it and tile the part of its band (from the edge up by the
// thickness) that no band of the other side covers; an edge without such a
// neighbour keeps the quad it always had, bit for bit. Along an edge the
// work is done in its own coordinates (s along the edge in plan, z): the
// breakpoints are the ends of both sides' edges and the points where the
// gap between the two edges is 0 or the thickness, so between two of them
// every bound is one of the two edges or one raised by the thickness.
// Rounding happens where the breakpoints are found and where s is taken
// back to x and y.
#include "Geometry/roof/G3RoofStepFascia.h"

#include "Geometry/math/GTolerance.h"
#include "Geometry/roof/G3RoofBoxGrid.h"

#include <algorithm>
#include <cmath>

using GTolerance::kPlaneSide;
using GTolerance::kZeroLength;

namespace {

// A piece of edge along the one being cut, in its coordinates.
struct Beside {
    double s0, z0, s1, z1;
    double At(double s) const { return s1 > s0 ? z0 + (z1 - z0) * (s - s0) / (s1 - s0) : z0; }
};

// An (s, z) point of a piece.
struct SZ {
    double s, z;
};

// The vertical gap between the two edges of a piece, at one end of an
// interval, as the bounds of the part the edge keeps.
struct Bounds {
    double bottom, top;
};

class EdgeCut {
public:
    EdgeCut(const G3RoofFasciaEdge& e, double thickness) : e(e), t(thickness)
    {
        dx = e.b[0] - e.a[0];
        dy = e.b[1] - e.a[1];
        length = std::hypot(dx, dy);
    }

    double Length() const { return length; }

    // Edge o as a piece beside this one: on the other side of the same
    // vertical plane and sharing some of its length; false otherwise.
    bool Take(const G3RoofFasciaEdge& o, Beside& out) const
    {
        const double ux = dx / length, uy = dy / length;
        auto across = [&](const double* p) { return (p[1] - e.a[1]) * ux - (p[0] - e.a[0]) * uy; };
        auto along = [&](const double* p) { return (p[0] - e.a[0]) * ux + (p[1] - e.a[1]) * uy; };
        // The shorter edge's ends against the longer one's line: a short
        // edge's own direction, turned by the rounding of its ends, would
        // swing far off at the other's far end.
        const double ox = o.b[0] - o.a[0], oy = o.b[1] - o.a[1], olength = std::hypot(ox, oy);
        if (olength > length) {
            auto off = [&](const double* p) { return ((p[1] - o.a[1]) * ox - (p[0] - o.a[0]) * oy) / olength; };
            if (!(std::fabs(off(e.a)) < kPlaneSide && std::fabs(off(e.b)) < kPlaneSide))
                return false;
        } else if (!(std::fabs(across(o.a)) < kPlaneSide && std::fabs(across(o.b)) < kPlaneSide)) {
            return false;
        }
        const double s0 = along(o.a), s1 = along(o.b);
        // The other edge's face side, seen along this edge's direction.
        const int side = s1 > s0 ? o.side : -o.side;
        if (e.side == 0 || side != -e.side)
            return false;
        out = s0 <= s1 ? Beside{s0, o.a[2], s1, o.b[2]} : Beside{s1, o.b[2], s0, o.a[2]};
        return std::fmin(out.s1, length) - std::fmax(out.s0, 0.0) > kZeroLength;
    }

    // The pieces of this edge's band left by the bands of `beside`; empty
    // with `whole` set when none of them comes within the thickness.
    std::vector<std::vector<double>> Cut(const std::vector<Beside>& beside, bool& whole) const
    {
        std::vector<double> at = {0.0, length};
        for (const Beside& p : beside) {
            const double lo = std::fmax(p.s0, 0.0), hi = std::fmin(p.s1, length);
            for (double s : {p.s0, p.s1})
                if (s > 0.0 && s < length)
                    at.push_back(s);
            // Where the gap zf - z is 0 or +-t: it is linear over lo..hi.
            const double g0 = p.At(lo) - Z(lo), g1 = p.At(hi) - Z(hi);
            for (double c : {-t, 0.0, t})
                if ((g0 - c) * (g1 - c) < 0.0)
                    at.push_back(lo + (hi - lo) * (c - g0) / (g1 - g0));
        }
        // Breakpoints closer than kZeroLength are one (the other side's
        // edge ending an ulp short of this one's end leaves no interval).
        std::sort(at.begin(), at.end());
        std::vector<double> cuts = {0.0};
        for (double s : at)
            if (s - cuts.back() >= kZeroLength && length - s >= kZeroLength)
                cuts.push_back(s);
        cuts.push_back(length);
        at.swap(cuts);
        whole = true;
        std::vector<std::vector<double>> out;
        std::vector<SZ> bottom, top;
        auto close = [&]() {
            Emit(bottom, top, out);
            bottom.clear();
            top.clear();
        };
        for (std::size_t k = 0; k + 1 < at.size(); ++k) {
            const double s0 = at[k], s1 = at[k + 1];
            // The other side's edge over this interval: the one holding its
            // middle, else one that ends within kZeroLength of it.
            const Beside* p = nullptr;
            const double mid = 0.5 * (s0 + s1);
            for (double slack : {0.0, kZeroLength})
                for (const Beside& q : beside)
                    if (!p && q.s0 - slack <= mid && mid <= q.s1 + slack)
                        p = &q;
            const Bounds b0 = Keep(p, s0, mid), b1 = Keep(p, s1, mid);
            if (b0.bottom != Z(s0) || b0.top != Z(s0) + t || b1.bottom != Z(s1) || b1.top != Z(s1) + t)
                whole = false;
            if (!(b0.top - b0.bottom > kZeroLength) && !(b1.top - b1.bottom > kZeroLength)) {
                close();
                continue;
            }
            if (!(b0.top - b0.bottom > kZeroLength))
                close();
            Add(bottom, {s0, b0.bottom});
            Add(bottom, {s1, b1.bottom});
            Add(top, {s0, b0.top});
            Add(top, {s1, b1.top});
        }
        close();
        if (whole)
            out.clear();
        return out;
    }

private:
    const G3RoofFasciaEdge& e;
    double t;
    double dx = 0.0, dy = 0.0, length = 0.0;

    // The edge's height at s, its ends exact.
    double Z(double s) const
    {
        if (s <= 0.0)
            return e.a[2];
        if (s >= length)
            return e.b[2];
        return e.a[2] + (e.b[2] - e.a[2]) * (s / length);
    }

    // What this edge's band keeps at s of an interval whose middle is mid
    // (which of the bounds binds is read there, where no tie can be).
    Bounds Keep(const Beside* p, double s, double mid) const
    {
        const double z = Z(s);
        if (p == nullptr)
            return {z, z + t};
        if (Z(mid) <= p->At(mid))  // the other edge above: it cuts the top
            return {z, p->At(mid) < Z(mid) + t ? p->At(s) : z + t};
        // The other edge below: its band cuts the bottom.
        return {p->At(mid) + t > Z(mid) ? p->At(s) + t : z, z + t};
    }

    static void Add(std::vector<SZ>& chain, SZ q)
    {
        if (chain.empty() || std::hypot(chain.back().s - q.s, chain.back().z - q.z) >= kZeroLength)
            chain.push_back(q);
    }

    // The polygon of a bottom and a top chain over the same s (bottom
    // forward, top back, as the quad a, b, b + t, a + t runs), in x, y, z.
    void Emit(const std::vector<SZ>& bottom, const std::vector<SZ>& top, std::vector<std::vector<double>>& out) const
    {
        std::vector<SZ> ring = bottom;
        for (std::size_t k = top.size(); k-- > 0;)
            Add(ring, top[k]);
        while (ring.size() > 1 && std::hypot(ring.back().s - ring[0].s, ring.back().z - ring[0].z) < kZeroLength)
            ring.pop_back();
        if (ring.size() < 3)
            return;
        double area = 0.0;
        for (std::size_t k = 0; k < ring.size(); ++k) {
            const SZ& p = ring[k];
            const SZ& q = ring[(k + 1) % ring.size()];
            area += p.s * q.z - q.s * p.z;
        }
        if (!(std::fabs(area) > kZeroLength * kZeroLength))
            return;
        std::vector<double> xyz;
        for (const SZ& p : ring) {
            if (p.s <= 0.0)
                xyz.insert(xyz.end(), {e.a[0], e.a[1], p.z});
            else if (p.s >= length)
                xyz.insert(xyz.end(), {e.b[0], e.b[1], p.z});
            else
                xyz.insert(xyz.end(), {e.a[0] + dx * (p.s / length), e.a[1] + dy * (p.s / length), p.z});
        }
        out.push_back(std::move(xyz));
    }
};

std::vector<double> Quad(const G3RoofFasciaEdge& e, double t)
{
    return {e.a[0], e.a[1], e.a[2], e.b[0], e.b[1], e.b[2], e.b[0], e.b[1], e.b[2] + t, e.a[0], e.a[1], e.a[2] + t};
}

} // namespace

G3RoofStepFascia::G3RoofStepFascia(const std::vector<G3RoofFasciaEdge>& edges, double thickness)
{
    std::vector<G3RoofBox> boxes;
    for (const G3RoofFasciaEdge& e : edges)
        boxes.emplace_back(e.a, e.b);
    G3RoofBoxGrid grid(boxes);
    pieces.resize(edges.size());
    std::vector<int> near;
    std::vector<Beside> beside;
    for (std::size_t i = 0; i < edges.size(); ++i) {
        const EdgeCut cut(edges[i], thickness);
        beside.clear();
        if (cut.Length() >= kZeroLength) {
            grid.Query(boxes[i], near);
            for (int j : near) {
                Beside p{};
                if (static_cast<std::size_t>(j) != i && cut.Take(edges[static_cast<std::size_t>(j)], p))
                    beside.push_back(p);
            }
        }
        bool whole = true;
        if (!beside.empty())
            pieces[i] = cut.Cut(beside, whole);
        if (whole)
            pieces[i] = {Quad(edges[i], thickness)};
    }
}
