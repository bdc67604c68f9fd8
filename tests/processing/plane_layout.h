#pragma once
// Plane layouts for the contour tests: planes (the three coordinate planes,
// a tilted one and one far from the origin) that carry plane points into
// space and back, a random source whose sequence the standard fixes, and
// probes for an even-odd oracle.

#include "Geometry/mesh/G3Facet.h"
#include "Geometry/mesh/G3Surface.h"
#include "tests/common/plane2d.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <random>
#include <vector>

namespace planelayout {

using namespace plane2d;

// Draws from mt19937's raw output only: its sequence is fixed by the
// standard, the distributions are not.
class Rng {
public:
    explicit Rng(std::uint32_t seed) : gen(seed) {}
    int Below(int n) { return static_cast<int>(gen() % static_cast<std::uint32_t>(n)); }
    int Pick(int lo, int hi) { return lo + Below(hi - lo + 1); }
    double Uniform(double lo, double hi) { return lo + (hi - lo) * (gen() / 4294967296.0); }
    bool Chance(double p) { return Uniform(0.0, 1.0) < p; }

private:
    std::mt19937 gen;
};

// A plane: origin and two orthonormal axes; (x, y) sits at o + x u + y v.
struct Frame {
    const char* name;
    double o[3];
    double u[3];
    double v[3];

    void Place(const P2& p, double* xyz) const
    {
        for (int c = 0; c < 3; ++c)
            xyz[c] = o[c] + p[0] * u[c] + p[1] * v[c];
    }
    P2 Back(const double* xyz) const
    {
        double d[3];
        for (int c = 0; c < 3; ++c)
            d[c] = xyz[c] - o[c];
        return {d[0] * u[0] + d[1] * u[1] + d[2] * u[2], d[0] * v[0] + d[1] * v[1] + d[2] * v[2]};
    }
    // The plane of the frame, facing u x v.
    void Plane(double* p) const
    {
        p[0] = u[1] * v[2] - u[2] * v[1];
        p[1] = u[2] * v[0] - u[0] * v[2];
        p[2] = u[0] * v[1] - u[1] * v[0];
        p[3] = -(p[0] * o[0] + p[1] * o[1] + p[2] * o[2]);
    }
    bool Far() const { return o[0] > 1000.0; }
};

const Frame kFrames[] = {
    {"xy", {0, 0, 0}, {1, 0, 0}, {0, 1, 0}},
    {"xz", {0, 5, 0}, {1, 0, 0}, {0, 0, 1}},
    {"yz", {-3, 0, 0}, {0, 1, 0}, {0, 0, 1}},
    {"tilted", {1, 2, 3}, {0.6, 0.0, 0.8}, {-0.48, 0.8, 0.36}},
    {"far", {250000.0, -130000.0, 47000.0}, {0.0, 0.8, -0.6}, {0.6, -0.48, -0.64}},
};

// Points spread over the box of rings[0] widened by 1, each kept 1e-3 clear
// of every ring's edges.
inline std::vector<P2> Probes(Rng& rng, const std::vector<Ring>& rings, int count)
{
    double lo[2] = {1e300, 1e300}, hi[2] = {-1e300, -1e300};
    for (const P2& p : rings[0])
        for (int c = 0; c < 2; ++c) {
            lo[c] = std::min(lo[c], p[c]);
            hi[c] = std::max(hi[c], p[c]);
        }
    std::vector<P2> out;
    while (static_cast<int>(out.size()) < count) {
        const P2 p = {rng.Uniform(lo[0] - 1, hi[0] + 1), rng.Uniform(lo[1] - 1, hi[1] + 1)};
        bool clear = true;
        for (const Ring& r : rings)
            for (size_t k = 0; k < r.size() && clear; ++k)
                clear = DistanceToSegment(p, r[k], r[(k + 1) % r.size()]) > 1e-3;
        if (clear)
            out.push_back(p);
    }
    return out;
}

// The rings as loops of vertices: one vertex per distinct point when
// `shared` (the rings share their touching corners), else fresh vertices.
inline std::vector<std::vector<G3Vertex*>> Place(G3Surface& s, const Frame& fr,
                                                 const std::vector<Ring>& rings, bool shared)
{
    std::map<P2, G3Vertex*> known;
    std::vector<std::vector<G3Vertex*>> out;
    for (const Ring& r : rings) {
        out.emplace_back();
        for (const P2& p : r) {
            G3Vertex*& v = known[p];
            if (!shared || !v) {
                double xyz[3];
                fr.Place(p, xyz);
                v = s.AddVertex(xyz[0], xyz[1], xyz[2], 0);
            }
            out.back().push_back(v);
        }
    }
    return out;
}

// How many facets of s hold the frame's point p.
inline int FacetsHolding(G3Surface& s, const Frame& fr, const P2& p)
{
    double xyz[3];
    fr.Place(p, xyz);
    int n = 0;
    for (int k = 0; k < s.GetFacetCount(); ++k) {
        G3Facet* f = s.GetFacet(k);
        int i = 0, j = 1;
        f->GetMaxCoo(&i, &j);
        n += f->PointInFacet(i, j, xyz, nullptr, nullptr, 1e-6) ? 1 : 0;
    }
    return n;
}

// Whether the facets hold exactly the probes inside the rings by an even-odd
// count, each once; reports the first three that do not.
inline void ExpectFacetsMatchEvenOdd(G3Surface& s, const Frame& fr, const std::vector<Ring>& rings,
                                     const std::vector<P2>& probes)
{
    int wrong = 0;
    for (const P2& p : probes) {
        const int expected = InsideEvenOdd(rings, p) ? 1 : 0;
        const int found = FacetsHolding(s, fr, p);
        if (found != expected && ++wrong <= 3)
            ADD_FAILURE() << "probe (" << p[0] << ", " << p[1] << ") lies in " << found
                          << " facets, expected " << expected;
    }
}

} // namespace planelayout
