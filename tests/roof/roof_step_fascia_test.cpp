// The fascia cut where border edges face each other across a vertical
// plane, against an oracle of its own: random chains of edges on both
// sides of random planes (turned, at the origin or at site coordinates,
// meeting at their start or not, crossing or not, some with short edges
// beside long ones and corners a rounding's width off the plane), sampled
// at random points of the plane. A point must lie in exactly one piece
// when exactly one side's band (from its edge up by the thickness) holds
// it, else in none.
#include "Geometry/roof/G3RoofStepFascia.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

namespace {

// A chain's height over s, by its corners (s ascending).
double ChainZ(const std::vector<double>& s, const std::vector<double>& z, double at)
{
    for (std::size_t k = 0; k + 1 < s.size(); ++k)
        if (at <= s[k + 1])
            return z[k] + (z[k + 1] - z[k]) * (at - s[k]) / (s[k + 1] - s[k]);
    return z.back();
}

// Even-odd test of (s, z) against a piece given in x, y, z.
bool InPiece(const std::vector<double>& xyz, const double* o, const double* d, double s, double z)
{
    bool in = false;
    const std::size_t n = xyz.size() / 3;
    for (std::size_t i = 0, j = n - 1; i < n; j = i++) {
        const double si = (xyz[3 * i] - o[0]) * d[0] + (xyz[3 * i + 1] - o[1]) * d[1], zi = xyz[3 * i + 2];
        const double sj = (xyz[3 * j] - o[0]) * d[0] + (xyz[3 * j + 1] - o[1]) * d[1], zj = xyz[3 * j + 2];
        if ((zi > z) != (zj > z) && s < si + (z - zi) * (sj - si) / (zj - zi))
            in = !in;
    }
    return in;
}

} // namespace

TEST(RoofStepFascia, PiecesCoverWhereExactlyOneSidesBandDoes)
{
    std::mt19937 gen(11);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    int cut = 0;
    for (int round = 0; round < 200; ++round) {
        SCOPED_TRACE(round);
        const double angle = 6.283185307179586 * unit(gen), at = round % 3 == 0 ? 5e5 : 0.0;
        const double o[2] = {at + 10.0 * unit(gen), at + 10.0 * unit(gen)};
        const double d[2] = {std::cos(angle), std::sin(angle)};
        const double t = 0.05 + 0.5 * unit(gen), length = 1.0 + 4.0 * unit(gen);
        std::vector<G3RoofFasciaEdge> edges;
        std::vector<double> cs[2], cz[2];
        for (int side = 0; side < 2; ++side) {
            // Corners at random places along the plane; both chains start
            // together at the eave in most rounds.
            cs[side] = {0.0, length};
            for (int k = static_cast<int>(gen() % 4); k > 0; --k)
                cs[side].push_back(length * unit(gen));
            // Every fifth round a short edge beside the other side's long
            // ones, and every corner a rounding's width off the plane: the
            // short edge's own direction swings far off along the others.
            const bool rough = round % 5 == 4;
            if (rough)
                cs[side].push_back(std::fmin(length, cs[side][gen() % cs[side].size()] + 0.02 + 0.08 * unit(gen)));
            std::sort(cs[side].begin(), cs[side].end());
            for (std::size_t k = 0; k < cs[side].size(); ++k)
                cz[side].push_back(k == 0 && round % 4 != 3 ? 0.0 : 1.5 * unit(gen));
            for (std::size_t k = 0; k + 1 < cs[side].size(); ++k) {
                const bool back = gen() % 2 == 1;
                const std::size_t a = back ? k + 1 : k, b = back ? k : k + 1;
                const double off[2] = {rough ? 8e-7 * (unit(gen) - 0.5) : 0.0, rough ? 8e-7 * (unit(gen) - 0.5) : 0.0};
                G3RoofFasciaEdge e{{o[0] + cs[side][a] * d[0] - off[0] * d[1], o[1] + cs[side][a] * d[1] + off[0] * d[0],
                                    cz[side][a]},
                                   {o[0] + cs[side][b] * d[0] - off[1] * d[1], o[1] + cs[side][b] * d[1] + off[1] * d[0],
                                    cz[side][b]},
                                   (side == 0) != back ? 1 : -1};
                edges.push_back(e);
            }
        }
        // An edge elsewhere keeps its quad.
        edges.push_back({{o[0] + 20.0, o[1], 0.0}, {o[0] + 21.0, o[1] + 1.0, 0.5}, 1});
        const G3RoofStepFascia fascia(edges, t);
        const std::vector<std::vector<double>>& far = fascia.Pieces(edges.size() - 1);
        ASSERT_EQ(1u, far.size());
        EXPECT_EQ((std::vector<double>{o[0] + 20.0, o[1], 0.0, o[0] + 21.0, o[1] + 1.0, 0.5, o[0] + 21.0,
                                       o[1] + 1.0, 0.5 + t, o[0] + 20.0, o[1], t}),
                  far[0]);
        int wrong = 0;
        for (int k = 0; k < 400; ++k) {
            const double s = length * unit(gen), z = -0.1 + 2.2 * unit(gen);
            const double z0 = ChainZ(cs[0], cz[0], s), z1 = ChainZ(cs[1], cz[1], s);
            // Points within a hair of a bound or of a corner's s are left out.
            bool near = false;
            for (double b : {z0, z0 + t, z1, z1 + t})
                near |= std::fabs(z - b) < 1e-6;
            for (int side = 0; side < 2; ++side)
                for (double c : cs[side])
                    near |= std::fabs(s - c) < 1e-6;
            if (near)
                continue;
            const bool in0 = z0 < z && z < z0 + t, in1 = z1 < z && z < z1 + t;
            int count = 0;
            for (std::size_t i = 0; i + 1 < edges.size(); ++i)
                for (const std::vector<double>& piece : fascia.Pieces(i))
                    count += InPiece(piece, o, d, s, z) ? 1 : 0;
            wrong += count != (in0 != in1 ? 1 : 0);
            cut += in0 && in1;
        }
        EXPECT_EQ(0, wrong);
    }
    EXPECT_GT(cut, 1000);
}
