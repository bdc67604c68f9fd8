#pragma once
// What the contour tests share: a path receiver that records every call as
// text and the contours it carried, and an exact cover-area oracle.

#include "Geometry/contour/GPathLoader.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

struct XY {
    double x, y;
};
using Ring = std::vector<XY>;
using Region = std::vector<Ring>;

// Coordinates as text, rounded to 1e-9 so computed crossings compare exactly.
inline std::string Fmt(const double* p, int n)
{
    std::string s;
    char buf[32];
    for (int i = 0; i < n; ++i) {
        std::snprintf(buf, sizeof buf, "%s%g", i ? " " : "", std::round(p[i] * 1e9) / 1e9 + 0.0);
        s += buf;
    }
    return s;
}

// A contour is one text: "Contour <n> type <t>: <start>", then per segment
// " > " (visible) or " ~ " (invisible), "?" for a segment type other than a
// line, and the segment's points.
class PathRecorder : public GPathLoader {
public:
    struct Contour {
        int type, declared;
        Ring pts; // the start, then every segment's first point
        std::vector<int> vis;
    };
    std::vector<std::string> calls;
    std::vector<Contour> contours;

    void PathBegin(int n) override { calls.push_back("Begin " + std::to_string(n)); }
    void PathSetPreferPlane(int i, int j) override
    {
        calls.push_back("Plane " + std::to_string(i) + " " + std::to_string(j));
    }
    void PathContourBegin(double* p, int n, CONTOUR_TYPE t) override
    {
        calls.push_back("Contour " + std::to_string(n) + " type " + std::to_string(t) + ": " + Fmt(p, 3));
        contours.push_back({t, n, {{p[0], p[1]}}, {}});
    }
    void PathContourSegmentTo(SEGMENT_TYPE t, SEGMENT_VISIBILITY v, int n, double* p) override
    {
        calls.back() += std::string(v ? " > " : " ~ ") + (t == SEGMENT_TYPE_LINE ? "" : "?") + Fmt(p, 3 * n);
        if (!contours.empty()) {
            contours.back().pts.push_back({p[0], p[1]});
            contours.back().vis.push_back(v);
        }
    }
    void PathContourEnd() override { calls.push_back("ContourEnd"); }
    void PathEnd() override { calls.push_back("End"); }
};

inline double SignedArea(const Ring& p)
{
    double twice = 0.0;
    for (size_t k = 0; k < p.size(); ++k)
        twice += p[k].x * p[(k + 1) % p.size()].y - p[(k + 1) % p.size()].x * p[k].y;
    return 0.5 * twice;
}

// The exact area covered by at least `minCover` regions, each region read by
// even-odd over its rings. Vertical slabs cut at every corner and crossing
// hold no crossing, so the sides spanning a slab stack up from the bottom and
// each gap between neighbours is a trapezoid of one cover.
inline double CoverArea(const std::vector<Region>& regions, int minCover)
{
    struct Side {
        XY a, b;
        double region;
    };
    std::vector<Side> sides;
    for (size_t r = 0; r < regions.size(); ++r)
        for (const Ring& ring : regions[r])
            for (size_t k = 0; k < ring.size(); ++k)
                sides.push_back({ring[k], ring[(k + 1) % ring.size()], double(r)});
    std::vector<double> xs;
    for (size_t i = 0; i < sides.size(); ++i) {
        const XY a1 = sides[i].a, a2 = sides[i].b;
        xs.push_back(a1.x);
        for (size_t j = i + 1; j < sides.size(); ++j) {
            const XY b1 = sides[j].a, b2 = sides[j].b;
            const double den = (a2.x - a1.x) * (b2.y - b1.y) - (a2.y - a1.y) * (b2.x - b1.x);
            if (den == 0)
                continue;
            const double t = ((b1.x - a1.x) * (b2.y - b1.y) - (b1.y - a1.y) * (b2.x - b1.x)) / den;
            const double u = ((b1.x - a1.x) * (a2.y - a1.y) - (b1.y - a1.y) * (a2.x - a1.x)) / den;
            if (t > 0 && t < 1 && u > 0 && u < 1)
                xs.push_back(a1.x + t * (a2.x - a1.x));
        }
    }
    std::sort(xs.begin(), xs.end());
    double area = 0.0;
    for (size_t s = 0; s + 1 < xs.size(); ++s) {
        const double x0 = xs[s], x1 = xs[s + 1];
        if (x1 <= x0)
            continue;
        std::vector<std::array<double, 4>> spans; // y at the middle, at x0, at x1; region
        for (const Side& q : sides) {
            if (std::min(q.a.x, q.b.x) > x0 || std::max(q.a.x, q.b.x) < x1 || q.a.x == q.b.x)
                continue;
            auto at = [&](double x) { return q.a.y + (x - q.a.x) * (q.b.y - q.a.y) / (q.b.x - q.a.x); };
            spans.push_back({at(0.5 * (x0 + x1)), at(x0), at(x1), q.region});
        }
        std::sort(spans.begin(), spans.end());
        std::vector<int> inside(regions.size(), 0);
        int cover = 0;
        for (size_t k = 0; k + 1 < spans.size(); ++k) {
            int& in = inside[static_cast<size_t>(spans[k][3])];
            cover += in ? -1 : 1;
            in ^= 1;
            if (cover >= minCover)
                area += 0.5 * ((spans[k + 1][1] - spans[k][1]) + (spans[k + 1][2] - spans[k][2])) * (x1 - x0);
        }
    }
    return area;
}

// The number of connected parts of the area covered by at least `minCover`
// regions (even-odd per region), cut into the same slabs as CoverArea. Parts
// meeting at a point only are apart. With `faces`, every side parts what it
// separates (the faces of the arrangement); without, only a change across
// minCover does.
inline int CoverParts(const std::vector<Region>& regions, int minCover, bool faces)
{
    struct Side {
        XY a, b;
        int region;
    };
    std::vector<Side> sides;
    std::vector<double> xs;
    for (size_t r = 0; r < regions.size(); ++r)
        for (const Ring& ring : regions[r])
            for (size_t k = 0; k < ring.size(); ++k)
                sides.push_back({ring[k], ring[(k + 1) % ring.size()], int(r)});
    for (size_t i = 0; i < sides.size(); ++i) {
        xs.push_back(sides[i].a.x);
        for (size_t j = i + 1; j < sides.size(); ++j) {
            const XY a1 = sides[i].a, a2 = sides[i].b, b1 = sides[j].a, b2 = sides[j].b;
            const double den = (a2.x - a1.x) * (b2.y - b1.y) - (a2.y - a1.y) * (b2.x - b1.x);
            const double t = ((b1.x - a1.x) * (b2.y - b1.y) - (b1.y - a1.y) * (b2.x - b1.x)) / den;
            const double u = ((b1.x - a1.x) * (a2.y - a1.y) - (b1.y - a1.y) * (a2.x - a1.x)) / den;
            if (den != 0 && t > 0 && t < 1 && u > 0 && u < 1)
                xs.push_back(a1.x + t * (a2.x - a1.x));
        }
    }
    std::sort(xs.begin(), xs.end());
    xs.erase(std::unique(xs.begin(), xs.end()), xs.end());
    struct Trap {
        double lo0, lo1, hi0, hi1; // lower and upper side at the slab's left and right
    };
    std::vector<std::vector<Trap>> slabs(xs.size());
    std::vector<std::vector<int>> ids(xs.size());
    std::vector<int> parent;
    auto find = [&](int v) {
        while (parent[v] != v)
            v = parent[v] = parent[parent[v]];
        return v;
    };
    for (size_t s = 0; s + 1 < xs.size(); ++s) {
        const double x0 = xs[s], x1 = xs[s + 1];
        std::vector<std::array<double, 4>> spans;
        for (const Side& q : sides) {
            if (std::min(q.a.x, q.b.x) > x0 || std::max(q.a.x, q.b.x) < x1 || q.a.x == q.b.x)
                continue;
            auto at = [&](double x) { return q.a.y + (x - q.a.x) * (q.b.y - q.a.y) / (q.b.x - q.a.x); };
            spans.push_back({at(0.5 * (x0 + x1)), at(x0), at(x1), double(q.region)});
        }
        std::sort(spans.begin(), spans.end());
        std::vector<int> inside(regions.size(), 0);
        int cover = 0, last = -1; // the trapezoid just below, while nothing parts it from the next
        for (size_t k = 0; k + 1 < spans.size(); ++k) {
            int& in = inside[static_cast<size_t>(spans[k][3])];
            cover += in ? -1 : 1;
            in ^= 1;
            if (spans[k + 1][0] - spans[k][0] <= 1e-12)
                continue;
            if (cover < minCover || (faces && last >= 0)) {
                last = -1;
                if (cover < minCover)
                    continue;
            }
            const int id = static_cast<int>(parent.size());
            parent.push_back(id);
            slabs[s].push_back({spans[k][1], spans[k][2], spans[k + 1][1], spans[k + 1][2]});
            ids[s].push_back(id);
            if (last >= 0)
                parent[find(id)] = find(last);
            last = id;
        }
    }
    for (size_t s = 0; s + 2 < xs.size(); ++s) {
        std::vector<std::pair<double, double>> walls; // vertical sides on the shared line
        for (const Side& q : sides)
            if (faces && q.a.x == xs[s + 1] && q.b.x == xs[s + 1])
                walls.push_back({std::min(q.a.y, q.b.y), std::max(q.a.y, q.b.y)});
        for (size_t i = 0; i < slabs[s].size(); ++i)
            for (size_t j = 0; j < slabs[s + 1].size(); ++j) {
                const Trap &a = slabs[s][i], &b = slabs[s + 1][j];
                const double lo = std::max(a.lo1, b.lo0), hi = std::min(a.hi1, b.hi0);
                double open = hi - lo;
                for (const auto& w : walls)
                    open -= std::max(0.0, std::min(hi, w.second) - std::max(lo, w.first));
                if (open > 1e-12)
                    parent[find(ids[s][i])] = find(ids[s + 1][j]);
            }
    }
    int parts = 0;
    for (size_t v = 0; v < parent.size(); ++v)
        parts += find(static_cast<int>(v)) == static_cast<int>(v);
    return parts;
}

// Even-odd: whether p lies inside the ring.
inline bool InRing(const Ring& r, XY p)
{
    bool in = false;
    for (size_t k = 0, m = r.size() - 1; k < r.size(); m = k++)
        if ((r[k].y > p.y) != (r[m].y > p.y) &&
            p.x < r[k].x + (p.y - r[k].y) * (r[m].x - r[k].x) / (r[m].y - r[k].y))
            in = !in;
    return in;
}
