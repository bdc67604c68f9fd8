// Separate_Surface against the whole rounds it shortcuts (each piece a
// copy of the whole rest, the rest updated after each), on random piece
// sets: every piece and the surface left behind the same to the last bit.

#include "common/piece_set.h"
#include "mesh/mesh_check.h"

#include "Geometry/boolean/G3BooleanCalculator.h"
#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/processing/G3Weld.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>

namespace {

using namespace testmesh;

// The rounds as Separate_Surface once ran every one of them; `apart` tells
// whether the rest after the first came out with its pieces apart, and
// `moving` whether the next update would still move one of its normals.
int SeparateByWholeRounds(G3Surface* s, GArrayCollection* pieces, bool* apart, bool* moving)
{
    const long m = G3Obj::FLAG_MARK4;
    s->ChangeEdgeFlags(m | G3Obj::FLAG_MARK3, false);
    s->ChangeFacetFlags(m | G3Obj::FLAG_MARK3, false);
    std::set<const G3Facet*> single;  // facets given single-sided
    for (int k = 0; k < s->GetFacetCount(); ++k)
        if (!s->GetFacet(k)->GetDoubleSided())
            single.insert(s->GetFacet(k));
    for (bool first = true; s->GetEdgeCount() > 0; first = false) {
        const int before = s->GetEdgeCount();
        if (s->GetEdge(0)->GetMark4())
            break;
        std::vector<G3Edge*> queue{s->GetEdge(0)};
        queue[0]->SetMark4();
        for (std::size_t head = 0; head < queue.size(); ++head)
            for (G3Facet* f : {queue[head]->GetFacet1(), queue[head]->GetFacet2()})
                if (f && !f->GetMark4()) {
                    f->SetMark4();
                    for (G3Edge* e = f->GetFirstEdge(); e; e = e->GetFacetEdge(f))
                        if (!e->GetMark4()) {
                            e->SetMark4();
                            queue.push_back(e);
                        }
                }
        // The piece's facets leave with the sides they came with.
        for (int k = 0; k < s->GetFacetCount(); ++k)
            if (s->GetFacet(k)->GetMark4() && single.erase(s->GetFacet(k)))
                s->GetFacet(k)->ClearDoubleSided();
        G3Surface* piece = new G3Surface();
        piece->Copy(s);
        for (int k = s->GetFacetCount() - 1; k >= 0; --k) {
            G3Facet* f = s->GetFacet(k);
            G3Facet* g = piece->GetFacet(k);
            if (f->GetMark4())
                s->RemoveFacet(f);
            if (!g->GetMark4())
                piece->RemoveFacet(g);
            else
                g->ClearMark4();
        }
        for (int k = s->GetEdgeCount() - 1; k >= 0; --k) {
            if (s->GetEdge(k)->GetMark4() && !s->GetEdge(k)->GetFacet1() && !s->GetEdge(k)->GetFacet2())
                s->GetEdge(k)->ClearMark4();
            piece->GetEdge(k)->ClearMark4();
        }
        s->RemoveUnused();
        if (piece->GetFacetCount() < 4) {
            delete piece;
        } else {
            piece->RemoveUnused();
            piece->RemoveNonManifoldEdges();
            piece->Update(CHECK_LEVEL_WELD);
            pieces->add(piece);
        }
        s->Update(CHECK_LEVEL_WELD);
        if (s->GetEdgeCount() >= before)
            break;
        if (first) {
            G3Surface* rest = s->Duplicate();
            *apart = rest->PiecesComeApart();
            for (int k = 0; k < rest->GetNormalCount(); ++k) {
                double unit[3];
                const double* xyz = rest->G3Shell::GetNormal(k)->GetXYZ();
                G3UnitNormal(xyz, unit);
                *moving = *moving || unit[0] != xyz[0] || unit[1] != xyz[1] || unit[2] != xyz[2];
            }
            delete rest;
        }
    }
    s->ChangeEdgeFlags(m | G3Obj::FLAG_MARK3, false);
    s->ChangeFacetFlags(m | G3Obj::FLAG_MARK3, false);
    return pieces->size();
}

// Boxes on a 4 x 4 x 4 grid, some stacked, either way round, some split
// into triangles, some holding a box (either way round), some repeated,
// touching another at a corner or along an edge; stray triangles, fans of
// three quads on one edge, open sheets; facets in random order. Corners
// carry, by set, no normals, face normals shared by all facets facing one
// way (or each facet's own, some against the facet), or random ones (not
// all unit to the last bit after one division), on every facet or some,
// and some unused ones; texture coordinates likewise shared, own or none.
void AddBoxesAndStrays(G3Surface& s, std::mt19937& g)
{
    using Q = std::array<double, 3>;
    std::vector<std::vector<Q>> faces;
    auto box = [&](Q lo, double size, bool in, bool split) {
        const int q[6][4] = {{0, 2, 3, 1}, {4, 5, 7, 6}, {0, 1, 5, 4}, {2, 6, 7, 3}, {0, 4, 6, 2}, {1, 3, 7, 5}};
        for (const auto& f : q) {
            std::vector<Q> c;
            for (int i : f)
                c.push_back({lo[0] + size * (i & 1), lo[1] + size * ((i >> 1) & 1), lo[2] + size * ((i >> 2) & 1)});
            if (in)
                std::reverse(c.begin(), c.end());
            if (split) {
                faces.push_back({c[0], c[1], c[2]});
                faces.push_back({c[0], c[2], c[3]});
            } else {
                faces.push_back(c);
            }
        }
    };
    const int n = static_cast<int>(g() % 14);
    const bool plain = g() % 2; // boxes and stray triangles only
    for (int k = 0; k < n; ++k) {
        const unsigned cell = g() % 64;
        const Q lo{3.0 * (cell % 4), 3.0 * (cell / 4 % 4), 3.0 * (cell / 16)};
        const unsigned kind = !plain ? g() % 16 : g() % 8 ? g() % 10 : 12;
        box(lo, kind == 15 ? 2.0 : 1.0, kind % 7 == 1, kind % 5 == 2);
        if (kind == 15) // a hollow box
            box({lo[0] + 0.5, lo[1] + 0.5, lo[2] + 0.5}, 1.0, g() % 2, false);
        else if (kind == 14) // the same box again
            box(lo, 1.0, false, false);
        else if (kind == 13) // touching at a corner or along an edge
            box({lo[0] + 1, lo[1] + 1, lo[2] + (g() % 2)}, 1.0, false, false);
        else if (kind == 12) // a stray triangle
            faces.push_back({{lo[0], lo[1], lo[2] + 2}, {lo[0] + 1, lo[1], lo[2] + 2}, {lo[0], lo[1] + 1, lo[2] + 2}});
        else if (kind == 11) // three quads on one edge, or an open sheet
            for (int w = 0; w < 3; ++w)
                faces.push_back({{lo[0], lo[1], lo[2] + 2}, {lo[0] + 1, lo[1], lo[2] + 2},
                                 {lo[0] + 1, lo[1] + (w == 1 ? 0.0 : 1.0), lo[2] + 2 + (w == 2) + (w == 1)},
                                 {lo[0], lo[1] + (w == 1 ? 0.0 : 1.0), lo[2] + 2 + (w == 2) + (w == 1)}});
    }
    std::shuffle(faces.begin(), faces.end(), g);
    const bool bare = g() % 2;
    const unsigned normals = bare ? 0 : g() % 5, texCoos = bare ? 0 : g() % 3, some = g() % 4 == 0;
    std::map<Q, G3Normal*> facing;
    std::map<std::pair<double, double>, G3TexCoo*> uvs;
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    std::map<Q, G3Vertex*> at;
    for (const std::vector<Q>& f : faces) {
        std::vector<G3Vertex*> v;
        std::vector<G3Normal*> n;
        std::vector<G3TexCoo*> t;
        const bool with = !some || g() % 2;
        const Q& a = f[0];
        const Q& b = f[1];
        const Q& c = f[2];
        const double side = normals == 2 && g() % 8 == 0 ? -1.0 : 1.0;
        const Q face{side * ((b[1] - a[1]) * (c[2] - a[2]) - (b[2] - a[2]) * (c[1] - a[1])),
                     side * ((b[2] - a[2]) * (c[0] - a[0]) - (b[0] - a[0]) * (c[2] - a[2])),
                     side * ((b[0] - a[0]) * (c[1] - a[1]) - (b[1] - a[1]) * (c[0] - a[0]))};
        for (std::size_t k = 0; k < f.size(); ++k) {
            const Q& p = f[k];
            if (!at.count(p) || g() % 9 == 0)
                at[p] = s.AddVertex(p[0], p[1], p[2], 0);
            v.push_back(at[p]);
            if (with && normals == 1 && !facing.count(face))
                facing[face] = s.AddNormal(face[0], face[1], face[2]);
            const Q r{unit(g), unit(g), unit(g)};
            n.push_back(!with || !normals ? nullptr
                        : normals == 1    ? facing[face]
                        : normals == 2    ? s.AddNormal(face[0], face[1], face[2])
                                          : s.AddNormal(face[0] + r[0], face[1] + r[1], face[2] + r[2]));
            const std::pair<double, double> uv{texCoos == 1 ? k % 2 : unit(g), texCoos == 1 ? k / 2 : unit(g)};
            if (with && texCoos && !uvs.count(uv))
                uvs[uv] = s.AddTexCoo(uv.first, uv.second);
            t.push_back(with && texCoos ? uvs[uv] : nullptr);
        }
        if (normals == 4 && g() % 4 == 0)
            s.AddNormal(0.5, 0.5, 1.0);
        s.AddFacet(static_cast<int>(v.size()), v.data(), 1, n.data(), t.data());
    }
    s.FormPlaneEquation();
}

TEST(SeparateOracle, PiecesOfRandomSetsAreTheWholeRoundsPieces)
{
    int apartCount = 0;
    int cornered[2] = {0, 0}; // sets with corners, by road
    int moved = 0;            // sets whose normals the shortcut moves along
    for (unsigned seed = 1; seed <= 600; ++seed) {
        SCOPED_TRACE(seed);
        std::mt19937 g1(seed), g2(seed);
        G3Surface a, b;
        if (seed % 5 == 0) {
            AddRandomPieces(a, g1);
            AddRandomPieces(b, g2);
        } else {
            AddBoxesAndStrays(a, g1);
            AddBoxesAndStrays(b, g2);
        }
        const bool corners = a.GetNormalCount() + a.GetTexCooCount() > 0;
        GArrayCollection pa, pb;
        bool apart = false, moving = false;
        const int n = SeparateByWholeRounds(&a, &pa, &apart, &moving);
        apartCount += apart;
        moved += apart && moving;
        cornered[apart] += corners;
        ASSERT_EQ(n, G3BooleanCalculator::Separate_Surface(&b, &pb));
        EXPECT_EQ(FullText(&a), FullText(&b));
        for (int k = 0; k < n; ++k) {
            G3Surface* piece = static_cast<G3Surface*>(pb.get(k));
            ASSERT_EQ(FullText(static_cast<G3Surface*>(pa.get(k))), FullText(piece)) << "piece " << k;
            EXPECT_EQ("", MeshCheck(piece)) << "piece " << k;
            delete piece;
            delete static_cast<G3Surface*>(pa.get(k));
        }
    }
    // Both roads are taken: the shortcut for a good share of the sets.
    EXPECT_GT(apartCount, 120);
    EXPECT_LT(apartCount, 480);
    EXPECT_GT(cornered[0], 40);
    EXPECT_GT(cornered[1], 40);
    EXPECT_GT(moved, 20);
}

} // namespace
