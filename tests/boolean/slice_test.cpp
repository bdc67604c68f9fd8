// Slicing solids by planes and sheets, and separating surfaces into pieces.
// Random planes through a sphere, an L-shaped prism and a wall with a
// window (axis-parallel ones through the window and along faces, tilted
// ones, the solids also moved to 1e5 and to site coordinates of 1e6): both
// parts closed, volumes adding up to the whole, and for axis-parallel
// planes each part's volume exact from the prism's cells.

#include "solid_fixtures.h"

#include "Geometry/boolean/G3BooleanCalculator.h"
#include "Geometry/boolean/G3SolidsBuilder.h"
#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/foundation/GRandom.h"
#include "Geometry/math/GTolerance.h"
#include "Geometry/mesh/CExData.h"
#include "Geometry/mesh/G3MeshCheck.h"
#include "Geometry/mesh/G3SurfaceMeasure.h"
#include "tests/mesh/mesh_check.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <limits>
#include <map>

namespace {

using fixtures::P;
using fixtures::SurfacePtr;

double Uniform(double lo, double hi) { return lo + (hi - lo) * GRand() / G_RAND_MAX; }

// A prism over the unit cells of a plan (cells[i][j] filled), z0 to z1,
// shifted by o; `cellVolume(x0, x1, y0, y1, z0, z1)` adds up the exact
// volume of the prism inside a box.
struct CellPrism {
    std::vector<std::vector<int>> cells;
    double z0 = 0, z1 = 1;
    P o = {0, 0, 0};
    SurfacePtr Build() const
    {
        SurfacePtr s(new G3Surface());
        const int nx = static_cast<int>(cells.size());
        const int ny = static_cast<int>(cells[0].size());
        auto in = [&](int i, int j) {
            return i >= 0 && j >= 0 && i < nx && j < ny && cells[static_cast<std::size_t>(i)][static_cast<std::size_t>(j)];
        };
        std::vector<G3Vertex*> v;
        for (int k = 0; k < 2; ++k)
            for (int i = 0; i <= nx; ++i)
                for (int j = 0; j <= ny; ++j)
                    v.push_back(s->AddVertex(o[0] + i, o[1] + j, o[2] + (k ? z1 : z0), 0));
        auto at = [&](int k, int i, int j) { return v[static_cast<std::size_t>((k * (nx + 1) + i) * (ny + 1) + j)]; };
        for (int i = 0; i < nx; ++i)
            for (int j = 0; j < ny; ++j) {
                if (!in(i, j))
                    continue;
                fixtures::Face(s.get(), {at(0, i, j), at(0, i, j + 1), at(0, i + 1, j + 1), at(0, i + 1, j)});
                fixtures::Face(s.get(), {at(1, i, j), at(1, i + 1, j), at(1, i + 1, j + 1), at(1, i, j + 1)});
                if (!in(i, j - 1))
                    fixtures::Face(s.get(), {at(0, i, j), at(0, i + 1, j), at(1, i + 1, j), at(1, i, j)});
                if (!in(i, j + 1))
                    fixtures::Face(s.get(), {at(0, i + 1, j + 1), at(0, i, j + 1), at(1, i, j + 1), at(1, i + 1, j + 1)});
                if (!in(i - 1, j))
                    fixtures::Face(s.get(), {at(0, i, j + 1), at(0, i, j), at(1, i, j), at(1, i, j + 1)});
                if (!in(i + 1, j))
                    fixtures::Face(s.get(), {at(0, i + 1, j), at(0, i + 1, j + 1), at(1, i + 1, j + 1), at(1, i + 1, j)});
            }
        s->FormPlaneEquation();
        s->RemoveEqualsVertex();
        s->UnionInPlaneFacets(0);
        s->FormPlaneEquation();
        return s;
    }
    // Exact volume of the part with coordinate `axis` <= c.
    double VolumeBelow(int axis, double c) const
    {
        double v = 0;
        for (std::size_t i = 0; i < cells.size(); ++i)
            for (std::size_t j = 0; j < cells[i].size(); ++j) {
                if (!cells[i][j])
                    continue;
                const double lo[3] = {o[0] + i, o[1] + j, o[2] + z0};
                const double hi[3] = {o[0] + i + 1, o[1] + j + 1, o[2] + z1};
                double box = 1;
                for (int d = 0; d < 3; ++d) {
                    double a = lo[d], b = hi[d];
                    if (d == axis)
                        b = std::fmin(b, std::fmax(a, c));
                    box *= b - a;
                }
                v += box;
            }
        return v;
    }
};

CellPrism Wall(P o) { return CellPrism{{{1, 1, 1}, {1, 0, 1}, {1, 1, 1}}, 0, 3, o}; }
CellPrism LShape(P o) { return CellPrism{{{1, 1, 1}, {1, 0, 0}}, 0, 1.5, o}; }

struct Sliced {
    bool ok = false;
    SurfacePtr below, above;
};

Sliced DoSlice(G3Surface* s, std::array<double, 4> plane, bool capFromBox = false)
{
    G3BooleanCalculator calc;
    G3Surface* b = nullptr;
    G3Surface* a = nullptr;
    Sliced r;
    r.ok = calc.Slice(s, plane.data(), true, &b, &a, capFromBox);
    r.below.reset(b);
    r.above.reset(a);
    return r;
}

void ExpectSolid(G3Surface* s, const char* what)
{
    ASSERT_TRUE(s) << what;
    EXPECT_EQ("", MeshCheck(s)) << what;
    EXPECT_EQ("", G3ClosedCheck(s)) << what;
}

TEST(Slice, UnitCubeMissesRefusalsAndCutUp)
{
    // Misses on either side, and a plane along a face: the whole solid first.
    for (double d : {-3.0, 0.0, 1.0, 7.0, 1e9}) {
        SurfacePtr cube = fixtures::Box({0, 0, 0}, {1, 1, 1});
        G3Surface* raw = cube.release();
        Sliced r = DoSlice(raw, {0, 0, -2, d});
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(raw, r.below.get());
        EXPECT_EQ(nullptr, r.above.get());
        EXPECT_NEAR(1.0, G3SurfaceVolume(r.below.get()), 1e-12);
    }
    // CutUpByPlane's equation, for scaled normals too, cuts where Slice's
    // offset does: the cube's halves below and above z = 0.5.
    for (double k : {1.0, 2.0, 0.25}) {
        G3BooleanCalculator calc;
        G3Surface* b = nullptr;
        G3Surface* a = nullptr;
        const double eq[4] = {0, 0, k, -0.5 * k};
        EXPECT_TRUE(calc.CutUpByPlane(fixtures::Box({0, 0, 0}, {1, 1, 1}).release(), eq, true, &b, &a));
        Sliced r = DoSlice(fixtures::Box({0, 0, 0}, {1, 1, 1}).release(), {0, 0, 1, 0.5});
        EXPECT_TRUE(r.ok);
        SurfacePtr pb(b), pa(a);
        for (G3Surface* s : {pb.get(), pa.get(), r.below.get(), r.above.get()}) {
            ExpectSolid(s, "half");
            GEnvelope env;
            s->FormEnvelope(&env);
            EXPECT_NEAR(0.5, G3SurfaceVolume(s), 1e-12);
            EXPECT_NEAR(0.5, s == pb.get() || s == r.below.get() ? env.GetMax()[2] : env.GetMin()[2], 1e-12);
        }
    }
    // Refused: cut false, non-finite planes, zero normals; the solid stays.
    const double inf = std::numeric_limits<double>::infinity();
    const std::array<double, 4> bad[] = {{0, 0, 0, 0.5}, {std::nan(""), 0, 1, 0.5}, {0, 0, 1, inf}, {0, 0, 1e-9, 0}};
    SurfacePtr cube = fixtures::Box({0, 0, 0}, {1, 1, 1});
    G3BooleanCalculator calc;
    for (int k = -1; k < 4; ++k) {
        G3Surface* b = reinterpret_cast<G3Surface*>(&calc);
        G3Surface* a = b;
        double plane[4] = {0, 0, 1, 0.5};
        if (k >= 0)
            std::copy(bad[k].begin(), bad[k].end(), plane);
        EXPECT_FALSE(calc.Slice(cube.get(), plane, k >= 0, &b, &a, false));
        EXPECT_EQ(nullptr, b);
        EXPECT_EQ(nullptr, a);
        const double eq[4] = {plane[0], plane[1], plane[2], plane[3]};
        EXPECT_FALSE(calc.CutUpByPlane(cube.get(), eq, k >= 0, &b, &a));
        EXPECT_EQ("", MeshCheck(cube.get()));
        EXPECT_EQ(6, cube->GetFacetCount());
        EXPECT_NEAR(1.0, G3SurfaceVolume(cube.get()), 1e-15);
    }
}

TEST(Slice, CapsCarryDefaultDataAndCapFromBoxDropsFacetsInThePlane)
{
    // SliceED: every facet of both parts carries the solid's default data.
    SurfacePtr cube = fixtures::Box({0, 0, 0}, {1, 1, 1});
    static int tag = 7;
    cube->GetExtendedDataFacetDefault().Add("ZUNO_G3FACE_MATERIAL_INDEX", &tag);
    CExDataProvider* map = cube->GetExtendedDataFacetDefault().GetMap();
    for (int k = 0; k < cube->GetFacetCount(); ++k)
        cube->GetFacet(k)->GetExtendedData() = map;
    G3BooleanCalculator calc;
    G3Surface* b = nullptr;
    G3Surface* a = nullptr;
    double plane[4] = {1, 1, 0, 1};
    ASSERT_TRUE(calc.SliceED(cube.release(), plane, true, &b, &a));
    SurfacePtr pb(b), pa(a);
    for (G3Surface* s : {pb.get(), pa.get()}) {
        ExpectSolid(s, "part");
        for (int k = 0; k < s->GetFacetCount(); ++k)
            EXPECT_EQ(&tag, s->GetFacet(k)->GetExtendedData().GetData("ZUNO_G3FACE_MATERIAL_INDEX"));
    }
    // Two boxes stacked into one solid share the plane z = 1 inside it;
    // with capFromBox those inner facets (tagged) go and each part is a
    // plain box capped by the untagged box face; without, the inner facets
    // stay as the caps. Also at site coordinates in x and y, where the
    // engine moves the operands to a local origin in the plane.
    for (const P o : {P{0, 0, 0}, P{1e6, 2e6, 50}, P{1e6, 2e6, 1e6}})
        for (bool capFromBox : {true, false}) {
            SurfacePtr two(new G3Surface());
            fixtures::AddBox(two.get(), o, {o[0] + 1, o[1] + 1, o[2] + 1});
            fixtures::AddBox(two.get(), {o[0], o[1], o[2] + 1}, {o[0] + 1, o[1] + 1, o[2] + 2});
            two->RemoveEqualsVertex();
            two->FormPlaneEquation();
            for (int k = 0; k < two->GetFacetCount(); ++k)
                two->GetFacet(k)->GetExtendedData().Add("ZUNO_G3FACE_MATERIAL_INDEX", &tag);
            Sliced r = DoSlice(two.release(), {0, 0, 1, o[2] + 1}, capFromBox);
            EXPECT_TRUE(r.ok);
            for (G3Surface* s : {r.below.get(), r.above.get()}) {
                ExpectSolid(s, "capFromBox");
                EXPECT_NEAR(1.0, G3SurfaceVolume(s), 1e-9);
                int caps = 0;
                for (int k = 0; k < s->GetFacetCount(); ++k) {
                    G3Facet* f = s->GetFacet(k);
                    const double* n = f->GetPlane();
                    if (std::fabs(n[2]) < 0.5 || std::fabs(std::fabs(n[3]) - (o[2] + 1)) > GTolerance::kPlaneSide)
                        continue;
                    ++caps;
                    EXPECT_EQ(capFromBox ? nullptr : &tag, f->GetExtendedData().GetData("ZUNO_G3FACE_MATERIAL_INDEX"))
                        << o[0] << " capFromBox " << capFromBox;
                }
                EXPECT_EQ(1, caps);
            }
        }
}

TEST(Slice, RandomPlanesThroughSpheresPrismsAndWalls)
{
    GSRand(21);
    const int rounds = fixtures::kSlowBuild ? 30 : 300;
    int axisChecked = 0;
    for (int round = 0; round < rounds; ++round) {
        // Near the origin, and at site coordinates far from it and from
        // the anchor of a tilted plane (its point nearest the origin).
        static const P kOrigins[] = {{0, 0, 0}, {0, 0, 0}, {1e5, -1e5, 1e5}, {1e6, 1e6, -1e6}, {1e6, 2e6, 50}};
        const int kind = round % 3;
        const P o = kOrigins[(round / 3) % 5];
        CellPrism prism = kind == 1 ? LShape(o) : Wall(o);
        SurfacePtr s = kind == 0 ? fixtures::Sphere(o[0], o[1], o[2], 1.5, 25, 40) : prism.Build();
        GEnvelope env;
        s->FormEnvelope(&env);
        const double whole = G3SurfaceVolume(s.get());
        // Axis-parallel planes on the grid of halves (through the window,
        // along faces), or tilted ones through a random inner point.
        std::array<double, 4> pl;
        int axis = -1;
        if (kind != 0 && GRand() % 2 == 0) {
            axis = static_cast<int>(GRand() % 3);
            const double lo = env.GetMin()[axis];
            const double hi = env.GetMax()[axis];
            const int steps = static_cast<int>(std::lround(2 * (hi - lo)));
            const double c = lo + 0.5 * (1 + static_cast<int>(GRand() % static_cast<unsigned>(steps - 1)));
            pl = {0, 0, 0, c};
            pl[static_cast<std::size_t>(axis)] = 1;
        } else {
            const double n[3] = {Uniform(-1, 1), Uniform(-1, 1), Uniform(-1, 1)};
            const double len = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]) + 1e-3;
            const double c[3] = {Uniform(env.GetMin()[0], env.GetMax()[0]), Uniform(env.GetMin()[1], env.GetMax()[1]),
                                 Uniform(env.GetMin()[2], env.GetMax()[2])};
            pl = {n[0] / len, n[1] / len, n[2] / len, 0};
            const double nl = std::sqrt(pl[0] * pl[0] + pl[1] * pl[1] + pl[2] * pl[2]);
            pl[3] = (pl[0] * c[0] + pl[1] * c[1] + pl[2] * c[2]) / nl;
        }
        Sliced r = DoSlice(s.release(), pl);
        ASSERT_TRUE(r.below) << round;
        ExpectSolid(r.below.get(), "below");
        if (!r.ok) {
            EXPECT_EQ(nullptr, r.above.get());
            EXPECT_NEAR(whole, G3SurfaceVolume(r.below.get()), 1e-9 * whole) << round;
            continue;
        }
        ExpectSolid(r.above.get(), "above");
        const double vb = G3SurfaceVolume(r.below.get());
        const double va = G3SurfaceVolume(r.above.get());
        EXPECT_GT(vb, 0.0);
        EXPECT_GT(va, 0.0);
        EXPECT_NEAR(whole, vb + va, 1e-9 * whole) << round;
        if (axis >= 0) {
            ++axisChecked;
            EXPECT_NEAR(prism.VolumeBelow(axis, pl[3]), vb, 1e-9 * whole)
                << round << " axis " << axis << " c " << pl[3] << " va " << va;
        }
    }
    EXPECT_GT(axisChecked, rounds / 10);
}

// Two blocks of random plans, one ending where the plane runs and one
// starting there (on it, face to face, or beside it), near the origin and
// at site coordinates: each part is the one block, exactly, with the caps
// from the solid or from the box. (From the box, the box's piece over a
// block's face in the plane was kept whichever way that face looked, and
// the part past it came out open and was refused.)
TEST(Slice, BlocksMeetingThePlaneFromEachSide)
{
    GSRand(22);
    static const P kOrigins[] = {{0, 0, 0}, {1e3, -2e3, 5e2}, {512345.5, 6123456.25, 312}};
    for (int round = 0; round < (fixtures::kSlowBuild ? 12 : 60); ++round) {
        const P o = kOrigins[round % 3];
        const int axis = static_cast<int>(GRand() % 3);
        CellPrism block[2];
        for (CellPrism& b : block) {
            b.cells.assign(2 + GRand() % 2, std::vector<int>(2 + GRand() % 2, 1));
            b.cells[GRand() % b.cells.size()][0] = GRand() % 2;
            b.z1 = 0.5 * (1 + GRand() % 3);
        }
        // The second block sits past the first along the axis and on it,
        // beside it (touching along an edge) or half a unit away across.
        block[0].o = o;
        block[1].o = o;
        const double reach[3] = {static_cast<double>(block[0].cells.size()),
                                 static_cast<double>(block[0].cells[0].size()), block[0].z1};
        block[1].o[static_cast<std::size_t>(axis)] += reach[axis];
        const int across = (axis + 1 + static_cast<int>(GRand() % 2)) % 3;
        const int place = static_cast<int>(GRand() % 3);
        block[1].o[static_cast<std::size_t>(across)] += place == 0 ? 0.0 : reach[across] + 0.5 * (place - 1);
        SurfacePtr s = block[0].Build();
        SurfacePtr top = block[1].Build();
        s->Copy(top.get());
        s->FormPlaneEquation();
        std::array<double, 4> pl = {0, 0, 0, o[static_cast<std::size_t>(axis)] + reach[axis]};
        pl[static_cast<std::size_t>(axis)] = 1;
        const double whole[2] = {block[0].VolumeBelow(axis, 1e9), block[1].VolumeBelow(axis, 1e9)};
        for (const bool capFromBox : {false, true}) {
            Sliced r = DoSlice(s->Duplicate(), pl, capFromBox);
            ASSERT_TRUE(r.ok) << round << " capFromBox " << capFromBox;
            ExpectSolid(r.below.get(), "below");
            ExpectSolid(r.above.get(), "above");
            EXPECT_NEAR(whole[0], G3SurfaceVolume(r.below.get()), 1e-9 * whole[0]) << round;
            EXPECT_NEAR(whole[1], G3SurfaceVolume(r.above.get()), 1e-9 * whole[1]) << round;
        }
    }
}

// Unit cubes on a 4 x 4 x 3 grid, joined into one solid (shared grid
// vertices, one quad per exposed cube face); cells may meet along an edge
// or at a corner alone (four facets on an edge, bow-tie vertices).
SurfacePtr Voxels(const std::vector<char>& cell)
{
    auto in = [&](int x, int y, int z) {
        return x >= 0 && y >= 0 && z >= 0 && x < 4 && y < 4 && z < 3 && cell[static_cast<std::size_t>((z * 4 + y) * 4 + x)];
    };
    SurfacePtr s(new G3Surface());
    std::map<std::array<int, 3>, G3Vertex*> at;
    auto vertex = [&](const std::array<int, 3>& g) {
        G3Vertex*& v = at[g];
        if (!v)
            v = s->AddVertex(g[0], g[1], g[2], 0);
        return v;
    };
    for (int z = 0; z < 3; ++z)
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 4; ++x)
                for (int a = 0; a < 3 && in(x, y, z); ++a)
                    for (int up = 0; up < 2; ++up) {
                        std::array<int, 3> c{x, y, z};
                        c[static_cast<std::size_t>(a)] += up ? 1 : -1;
                        if (in(c[0], c[1], c[2]))
                            continue;
                        c = {x, y, z};
                        c[static_cast<std::size_t>(a)] += up;
                        std::array<std::array<int, 3>, 4> q{c, c, c, c};
                        ++q[1][static_cast<std::size_t>((a + 1) % 3)];
                        ++q[2][static_cast<std::size_t>((a + 1) % 3)];
                        ++q[2][static_cast<std::size_t>((a + 2) % 3)];
                        ++q[3][static_cast<std::size_t>((a + 2) % 3)];
                        if (!up)
                            std::swap(q[1], q[3]);
                        fixtures::Face(s.get(), {vertex(q[0]), vertex(q[1]), vertex(q[2]), vertex(q[3])});
                    }
    s->FormPlaneEquation();
    return s;
}

// Random cube sets cut by tilted planes through grid points (upright ones
// included), so that a plane passes through bow-tie vertices where the
// solid only touches it and along grid edges where walls meet: every plane
// with corners on both sides cuts, both parts closed, their volumes adding
// up to the cube count. (Such a plane along a reflex grid edge once left
// the cap running out and back along it, refused as not closed.)
TEST(Slice, TiltedPlanesThroughCubesTouchingAtCorners)
{
    GSRand(23);
    const int rounds = fixtures::kSlowBuild ? 60 : 300;
    int cuts = 0;
    for (int round = 0; round < rounds; ++round) {
        std::vector<char> cell(48);
        for (char& c : cell)
            c = GRand() % 100 < 55;
        int cubes = 0;
        for (char c : cell)
            cubes += c;
        SurfacePtr solid = Voxels(cell);
        if (cubes == 0)
            continue;
        const double n[3] = {static_cast<double>(GRand() % 3) - 1.0, static_cast<double>(GRand() % 5) - 2.0,
                             static_cast<double>(GRand() % 3)};
        const double len = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
        if (len == 0.0)
            continue;
        const double through[3] = {static_cast<double>(GRand() % 5), static_cast<double>(GRand() % 5), static_cast<double>(GRand() % 4)};
        const std::array<double, 4> pl = {n[0] / len, n[1] / len, n[2] / len,
                                          (n[0] * through[0] + n[1] * through[1] + n[2] * through[2]) / len};
        double lo = 0.0, hi = 0.0;
        for (int k = 0; k < solid->GetVertexCount(); ++k) {
            const double* x = solid->GetVertex(k)->GetXYZ();
            const double h = pl[0] * x[0] + pl[1] * x[1] + pl[2] * x[2] - pl[3];
            lo = std::min(lo, h);
            hi = std::max(hi, h);
        }
        const bool crosses = lo < -GTolerance::kPlaneSide && hi > GTolerance::kPlaneSide;
        Sliced r = DoSlice(solid.release(), pl);
        ASSERT_TRUE(r.below) << round;
        EXPECT_EQ(crosses, r.ok) << round;
        ExpectSolid(r.below.get(), "below");
        double volume = G3SurfaceVolume(r.below.get());
        if (r.ok) {
            ++cuts;
            ExpectSolid(r.above.get(), "above");
            volume += G3SurfaceVolume(r.above.get());
        }
        EXPECT_NEAR(cubes, volume, 1e-9 * cubes) << round;
    }
    EXPECT_GT(cuts, rounds / 3);
}

// Reduced from random cube sets: an upright plane along a reflex grid
// edge (two walls meeting where the cap passes: the cap ran out and back
// along the edge, its sides to be paired with the walls on one side of
// the plane and cancelled on the other), and a tilted one along a grid
// line where the cap's run out was split and its run back was not. Both
// sides were refused as not closed.
TEST(Slice, PlanesAlongGridEdgesWhereTheCapRunsOutAndBack)
{
    struct Case {
        std::vector<std::array<int, 3>> cells;
        std::array<double, 3> normal;
        double d;
    };
    const Case cases[] = {
        {{{1, 0, 0}, {0, 1, 0}, {1, 1, 0}, {0, 2, 0}, {1, 0, 1}, {0, 2, 1},
          {0, 0, 2}, {1, 0, 2}, {0, 1, 2}, {1, 1, 2}, {0, 2, 2}},
         {2, 1, 0},
         3},
        {{{3, 0, 1}, {3, 1, 1}, {3, 2, 1}, {2, 3, 1}, {3, 3, 1}, {1, 0, 2},
          {2, 0, 2}, {1, 1, 2}, {1, 2, 2}, {2, 2, 2}, {2, 3, 2}, {3, 3, 2}},
         {1, 0, 2},
         7},
    };
    for (const Case& c : cases)
        for (bool flip : {false, true}) {
            std::vector<char> cell(48, 0);
            for (const auto& q : c.cells)
                cell[static_cast<std::size_t>((q[2] * 4 + q[1]) * 4 + q[0])] = 1;
            const double len = std::sqrt(c.normal[0] * c.normal[0] + c.normal[1] * c.normal[1] +
                                         c.normal[2] * c.normal[2]);
            const double k = (flip ? -1.0 : 1.0) / len;
            const std::array<double, 4> pl = {k * c.normal[0], k * c.normal[1], k * c.normal[2], k * c.d};
            Sliced r = DoSlice(Voxels(cell).release(), pl);
            ASSERT_TRUE(r.ok) << c.d << " " << flip;
            ExpectSolid(r.below.get(), "below");
            ExpectSolid(r.above.get(), "above");
            EXPECT_NEAR(static_cast<double>(c.cells.size()),
                        G3SurfaceVolume(r.below.get()) + G3SurfaceVolume(r.above.get()), 1e-9);
        }
}

SurfacePtr Sheet(double z, double tilt, double half)
{
    SurfacePtr s(new G3Surface());
    const double x0 = -half, x1 = half;
    std::vector<G3Vertex*> v = {s->AddVertex(x0, x0, z + tilt * x0, 0), s->AddVertex(x1, x0, z + tilt * x1, 0),
                                s->AddVertex(x1, x1, z + tilt * x1, 0), s->AddVertex(x0, x1, z + tilt * x0, 0)};
    fixtures::Face(s.get(), v);
    s->FormPlaneEquation();
    return s;
}

// A prism 3 high over a random n x n plan (cells meeting at a corner alone
// joined), at site coordinates on odd rounds; with `onePiece` only the
// cells joined to the first filled one.
CellPrism RandomPlan(int n, int round, bool onePiece)
{
    CellPrism prism{std::vector<std::vector<int>>(n, std::vector<int>(n)), 0, 3, {0, 0, 0}};
    if (round % 2)
        prism.o = {512345, 345678, 20};
    auto& c = prism.cells;
    for (auto& row : c)
        for (int& cell : row)
            cell = GRand() % 3 != 0;
    for (int i = 0; i + 1 < n; ++i)
        for (int j = 0; j + 1 < n; ++j)
            if (c[i][j] == c[i + 1][j + 1] && c[i + 1][j] == c[i][j + 1] && c[i][j] != c[i + 1][j])
                (c[i][j] ? c[i + 1][j] : c[i][j]) = 1;
    if (!onePiece)
        return prism;
    std::vector<std::vector<int>> keep(n, std::vector<int>(n));
    std::vector<std::pair<int, int>> stack;
    for (int k = 0; k < n * n && stack.empty(); ++k)
        if (c[k / n][k % n])
            stack.push_back({k / n, k % n});
    while (!stack.empty()) {
        const auto [i, j] = stack.back();
        stack.pop_back();
        if (i < 0 || j < 0 || i >= n || j >= n || !c[i][j] || keep[i][j])
            continue;
        keep[i][j] = 1;
        stack.insert(stack.end(), {{i + 1, j}, {i - 1, j}, {i, j + 1}, {i, j - 1}});
    }
    c = keep;
    return prism;
}

// Random plans (courtyards, notches) turned about z to a random angle at
// 5e6, cut along every grid line through their walls. There a turned
// corner is rounded a grid step (about 1e-9) off the plane of the wall it
// stands in, as far as the engine's band on its scaled coordinates: the
// wall was cut as crossing at some corners and flush at others, and both
// sides came back open.
TEST(Slice, TurnedPlansAtTheSiteCutAlongTheirWalls)
{
    GSRand(31);
    const int rounds = fixtures::kSlowBuild ? 4 : 16;
    for (int round = 0; round < rounds; ++round) {
        const CellPrism prism = RandomPlan(4, 0, true);
        SurfacePtr s = prism.Build();
        const fixtures::Motion m = fixtures::Motion::Turn({0, 0, 1}, Uniform(0, 2 * fixtures::kPi),
                                                          {5e6 + Uniform(0, 1e3), 5e6 + Uniform(0, 1e3), 0});
        for (int k = 0; k < s->GetVertexCount(); ++k) {
            double* x = s->GetVertex(k)->GetXYZ();
            const P y = m.Apply({x[0], x[1], x[2]});
            std::copy(y.begin(), y.end(), x);
        }
        s->FormPlaneEquation();
        const double whole = prism.VolumeBelow(0, 4);
        for (int axis = 0; axis < 2; ++axis)
            for (int c = 1; c < 4; ++c) {
                const P on = m.Apply({axis == 0 ? c * 1.0 : 0.0, axis == 1 ? c * 1.0 : 0.0, 0});
                std::array<double, 4> pl = {m.r[0][axis], m.r[1][axis], m.r[2][axis], 0};
                pl[3] = pl[0] * on[0] + pl[1] * on[1] + pl[2] * on[2];
                const double below = prism.VolumeBelow(axis, c);
                SCOPED_TRACE(testing::Message() << "round " << round << " axis " << axis << " at " << c);
                Sliced r = DoSlice(s->Duplicate(), pl);
                ASSERT_TRUE(r.below);
                ExpectSolid(r.below.get(), "below");
                ASSERT_EQ(below > 0 && below < whole, r.ok);
                if (!r.ok)
                    continue;
                ExpectSolid(r.above.get(), "above");
                EXPECT_NEAR(below, G3SurfaceVolume(r.below.get()), 1e-6 * whole);
                EXPECT_NEAR(whole - below, G3SurfaceVolume(r.above.get()), 1e-6 * whole);
            }
    }
}

// Planes nearly along faces of turned plans: through a corner, tipped a
// few nanoradians off the faces there, or through an edge (two corners) of
// a plan whose corners are rounded to 1e-7 or 1e-8, as a model written
// with that many decimals and read back, its faces flat only to that.
// Along such a face the plane stays within kPlaneSide, while the engine,
// cutting a thousand times finer, sees shallow crossings. A cut must come
// back as two closed parts adding up to the whole, or the whole solid on
// one side.
TEST(Slice, PlanesNearlyAlongFacesOfTurnedPlans)
{
    GSRand(47);
    int cut = 0, refused = 0;
    const int rounds = fixtures::kSlowBuild ? 150 : 600;
    auto dot = [](const P& a, const P& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; };
    // x a + y b.
    auto sum = [](double x, const P& a, double y, const P& b) {
        return P{x * a[0] + y * b[0], x * a[1] + y * b[1], x * a[2] + y * b[2]};
    };
    for (int round = 0; round < rounds; ++round) {
        SurfacePtr s = RandomPlan(3, 0, true).Build();
        P n = {Uniform(-1, 1), Uniform(-1, 1), Uniform(-1, 1)};
        const fixtures::Motion m = fixtures::Motion::Turn(sum(1.0 / std::sqrt(dot(n, n)), n, 0.0, n), Uniform(0, 6.3),
                                                          {});
        const bool rounded = round % 2 != 0;
        const double grid = round % 4 == 1 ? 1e-7 : 1e-8;
        for (int k = 0; k < s->GetVertexCount(); ++k) {
            double* x = s->GetVertex(k)->GetXYZ();
            const P y = m.Apply({x[0], x[1], x[2]});
            for (std::size_t d = 0; d < 3; ++d)
                x[d] = rounded ? std::round(y[d] / grid) * grid : y[d];
        }
        s->FormPlaneEquation();
        const double whole = G3SurfaceVolume(s.get());
        // Rounded: through an edge, its normal at random across it. Else
        // through a corner, tipped off the faces' normal on one axis.
        const G3Edge* e = s->GetVertex(static_cast<int>(GRand()) % s->GetVertexCount())->GetFirstEdge();
        const double* a = e->GetVertex1()->GetXYZ();
        const double* b = e->GetVertex2()->GetXYZ();
        const P u = {b[0] - a[0], b[1] - a[1], b[2] - a[2]};
        n = {Uniform(-1, 1), Uniform(-1, 1), Uniform(-1, 1)};
        const int face = round / 2 % 3;
        n = rounded ? sum(1.0, n, -dot(n, u) / dot(u, u), u)
                    : sum(1.0, {m.r[0][face], m.r[1][face], m.r[2][face]}, std::pow(10.0, Uniform(-9.5, -7)), n);
        n = sum(1.0 / std::sqrt(dot(n, n)), n, 0.0, n);
        SCOPED_TRACE(testing::Message() << "round " << round);
        Sliced r = DoSlice(s->Duplicate(), {n[0], n[1], n[2], dot(n, {a[0], a[1], a[2]})});
        if (!r.below) {
            // A few rounded plans still defeat the cut (about 1 in 80).
            EXPECT_TRUE(rounded) << "refused";
            refused += rounded ? 1 : 0;
            continue;
        }
        ExpectSolid(r.below.get(), "below");
        if (!r.ok) {
            EXPECT_NEAR(whole, G3SurfaceVolume(r.below.get()), 1e-6 * whole);
            continue;
        }
        ++cut;
        ExpectSolid(r.above.get(), "above");
        EXPECT_NEAR(whole, G3SurfaceVolume(r.below.get()) + G3SurfaceVolume(r.above.get()), 1e-6 * whole);
    }
    EXPECT_GT(cut, fixtures::kSlowBuild ? 60 : 250);
    EXPECT_LE(refused, rounds / 80);
}

// s sliced by the sheet: two closed parts of some volume, one of volume
// `part` when that is not negative, adding up to the whole.
void ExpectSheetParts(SurfacePtr s, SurfacePtr sheet, double part)
{
    const double whole = G3SurfaceVolume(s.get());
    G3BooleanCalculator calc;
    G3Surface* p1 = nullptr;
    G3Surface* p2 = nullptr;
    ASSERT_TRUE(calc.SliceBySurface(s.release(), sheet.release(), &p1, &p2));
    SurfacePtr part1(p1), part2(p2);
    ExpectSolid(part1.get(), "part1");
    ExpectSolid(part2.get(), "part2");
    const double v1 = G3SurfaceVolume(part1.get()), v2 = G3SurfaceVolume(part2.get());
    EXPECT_GT(std::fmin(v1, v2), 0.0);
    if (part >= 0) {
        EXPECT_NEAR(part, std::fabs(v1 - part) < std::fabs(v2 - part) ? v1 : v2, 1e-9 * whole);
    }
    EXPECT_NEAR(whole, v1 + v2, 1e-9 * whole);
}

TEST(SliceBySurface, OpenSheetsDivideAndRefusalsKeepTheInputs)
{
    struct Row {
        std::function<SurfacePtr()> solid;
        double z, tilt;
    };
    const Row rows[] = {{[] { return fixtures::Box({0, 0, 0}, {1, 1, 1}); }, 0.4, 0.0},
                        {[] { return Wall({0, 0, 0}).Build(); }, 1.3, 0.2},
                        {[] { return Wall({0, 0, 0}).Build(); }, 1.6, -0.15}};
    for (const Row& row : rows)
        ExpectSheetParts(row.solid(), Sheet(row.z, row.tilt, 10), -1);
    // A closed sheet, a sheet missing the solid: false, inputs alive.
    SurfacePtr s = fixtures::Box({0, 0, 0}, {1, 1, 1});
    for (int k = 0; k < 2; ++k) {
        SurfacePtr sheet = k == 0 ? fixtures::Box({0.5, 0.5, 0.5}, {2, 2, 2}) : Sheet(5, 0, 10);
        G3BooleanCalculator calc;
        G3Surface* p1 = nullptr;
        G3Surface* p2 = nullptr;
        EXPECT_FALSE(calc.SliceBySurface(s.get(), sheet.get(), &p1, &p2));
        EXPECT_EQ(nullptr, p1);
        EXPECT_EQ(nullptr, p2);
        EXPECT_EQ("", MeshCheck(s.get()));
        EXPECT_EQ("", MeshCheck(sheet.get()));
        EXPECT_NEAR(1.0, G3SurfaceVolume(s.get()), 1e-15);
    }
}

// Cell prisms (courtyards, several pieces) cut by height-field sheets on
// the same unit grid, so that the sheet's lines run along the walls: random
// ground, a ridge over a grid line and a tilted plane, kept between the
// prism's heights over the plan. The part under the sheet has the volume of
// the triangles' mean heights over the cells. A folded sheet was once told
// apart by its first facet's normal alone, a side cut into several regions
// was filled from one of them, and the cap's corners at the folds were left
// as T-junctions on the seam.
TEST(SliceBySurface, HeightFieldSheetsAlongWalls)
{
    GSRand(24);
    const int rounds = fixtures::kSlowBuild ? 20 : 200;
    constexpr int kCells = 5, kGrid = kCells + 3;  // sheet points from -1 to kCells + 1
    for (int round = 0; round < rounds; ++round) {
        const CellPrism prism = RandomPlan(kCells, round, false);
        const int kind = round % 3;
        const double ridge = GRand() % kCells, slope = 0.25 * (1 + GRand() % 3);
        std::vector<double> h(kGrid * kGrid);
        for (int a = 0; a < kGrid; ++a)
            for (int b = 0; b < kGrid; ++b) {
                const double x = a - 1, y = b - 1;
                const double z = kind == 0 ? Uniform(0.3, 2.7) : kind == 1 ? 2.6 - slope * std::fabs(y - ridge) : 0.8 + 0.15 * x + 0.1 * y;
                h[a * kGrid + b] = std::fmin(2.9, std::fmax(0.1, z));
            }
        SurfacePtr sheet(new G3Surface());
        std::vector<G3Vertex*> v;
        for (int a = 0; a < kGrid; ++a)
            for (int b = 0; b < kGrid; ++b)
                v.push_back(sheet->AddVertex(prism.o[0] + a - 1, prism.o[1] + b - 1, prism.o[2] + h[a * kGrid + b], 0));
        double below = 0;
        for (int a = 0; a + 1 < kGrid; ++a)
            for (int b = 0; b + 1 < kGrid; ++b) {
                const int q[4] = {a * kGrid + b, (a + 1) * kGrid + b, (a + 1) * kGrid + b + 1, a * kGrid + b + 1};
                fixtures::Face(sheet.get(), {v[q[0]], v[q[1]], v[q[2]]});
                fixtures::Face(sheet.get(), {v[q[0]], v[q[2]], v[q[3]]});
                const int i = a - 1, j = b - 1;
                if (i >= 0 && j >= 0 && i < kCells && j < kCells && prism.cells[i][j])
                    below += (2 * h[q[0]] + h[q[1]] + 2 * h[q[2]] + h[q[3]]) / 6;
            }
        sheet->FormPlaneEquation();
        SCOPED_TRACE(round);
        ExpectSheetParts(prism.Build(), std::move(sheet), below);
    }
}

// The same prisms (one piece) cut by upright sheets along grid lines and
// half lines, flat or folded into an L in plan: the sheet runs along walls
// where the plan has notches, and its fold stands on wall corners. The
// cells' quarters on each side give the parts' volumes. A wall in the
// sheet's plane leaves the seam along the cap, and decided the seam's
// sides alone; the walls meeting under the fold were taken for a seam.
TEST(SliceBySurface, UprightSheetsAlongWallsAndFoldedOnTheirCorners)
{
    GSRand(25);
    const int rounds = fixtures::kSlowBuild ? 30 : 300;
    constexpr int kCells = 6;
    int cut = 0;
    for (int round = 0; round < rounds; ++round) {
        const CellPrism prism = RandomPlan(kCells, round, true);
        const auto& c = prism.cells;
        // The sheet: x = kx up to y = ky, then (folded) y = ky onwards.
        const double kx = 1 + GRand() % (kCells - 1) + (GRand() % 4 == 0 ? 0.5 : 0.0);
        const double ky = 1 + GRand() % (kCells - 1) + (GRand() % 4 == 0 ? 0.5 : 0.0);
        const bool folded = GRand() % 2;
        double first = 0, whole = 0;
        for (int i = 0; i < kCells; ++i)
            for (int j = 0; j < kCells; ++j)
                for (int q = 0; q < 4 && c[i][j]; ++q) {
                    const double x = i + 0.25 + 0.5 * (q % 2), y = j + 0.25 + 0.5 * (q / 2);
                    whole += 0.75;
                    first += (x < kx || (folded && y > ky)) ? 0.75 : 0.0;
                }
        if (first == 0 || first == whole)
            continue;
        std::vector<std::array<double, 2>> plan = {{kx, -1.0}, {kx, folded ? ky : kCells + 1.0}};
        if (folded)
            plan.push_back({kCells + 1.0, ky});
        SurfacePtr sheet(new G3Surface());
        std::vector<G3Vertex*> low, high;
        for (const auto& p : plan) {
            low.push_back(sheet->AddVertex(prism.o[0] + p[0], prism.o[1] + p[1], prism.o[2] - 1, 0));
            high.push_back(sheet->AddVertex(prism.o[0] + p[0], prism.o[1] + p[1], prism.o[2] + 4, 0));
        }
        for (std::size_t k = 0; k + 1 < plan.size(); ++k)
            fixtures::Face(sheet.get(), {low[k], low[k + 1], high[k + 1], high[k]});
        sheet->FormPlaneEquation();
        SCOPED_TRACE(round);
        ExpectSheetParts(prism.Build(), std::move(sheet), first);
        ++cut;
    }
    EXPECT_GT(cut, rounds / 2);
}

// Boxes with a box-shaped void, cut by flat sheets (turned and at the site
// on some rounds). Across an axis on either side of the void, the sheet
// misses it and the void goes with the part around it: left with the first
// part whatever its side, it sat outside that part's material facing in.
// Through three corners of the box whose triangle has its centre on a
// corner of the void, no ray can place that triangle: a refusal that
// keeps the inputs, never an open part.
TEST(SliceBySurface, VoidsGoWithThePartAroundThem)
{
    GSRand(25);
    for (int round = 0; round < (fixtures::kSlowBuild ? 12 : 48); ++round) {
        const double q = 0.25;
        fixtures::Motion m;
        if (round % 4 >= 2) {
            P u = {Uniform(-1, 1), Uniform(-1, 1), 1};
            const double len = std::sqrt(u[0] * u[0] + u[1] * u[1] + u[2] * u[2]);
            m = fixtures::Motion::Turn({u[0] / len, u[1] / len, u[2] / len}, Uniform(0, 6), {0, 0, 0});
        }
        if (round % 2)
            m.t = {512345.5, 345678.25, 20};
        const P size = {q * (8 + GRand() % 5), q * (8 + GRand() % 5), q * (8 + GRand() % 5)};
        P lo, hi, a, b, c;
        const bool corner = round % 8 >= 4;
        double part;
        if (!corner) {
            for (int d = 0; d < 3; ++d) {
                lo[d] = q * (1 + GRand() % 3);
                hi[d] = size[d] - q * (1 + GRand() % 3);
            }
            const int axis = static_cast<int>(GRand() % 3);
            const int u = (axis + 1) % 3, v = (axis + 2) % 3;
            const bool under = GRand() % 2;
            const double at = under ? 0.5 * (hi[axis] + size[axis]) : 0.5 * lo[axis];
            a[axis] = b[axis] = c[axis] = at;
            a[u] = -1, a[v] = -1, b[u] = 1, b[v] = -1, c[u] = 0, c[v] = 1;
            part = size[u] * size[v] * (under ? at : size[axis] - at) -
                   (hi[0] - lo[0]) * (hi[1] - lo[1]) * (hi[2] - lo[2]);
        } else {
            // The triangle (s0, s1 - 3t, 0), (s0 - 3t, s1, 0), (s0, s1, 3t)
            // has its centre at the void's corner (s0 - t, s1 - t, t).
            const double t = q * (1 + GRand() % 2);
            hi = {size[0] - t, size[1] - t, 0};
            lo = {hi[0] - q * (1 + GRand() % 3), hi[1] - q * (1 + GRand() % 3), t};
            hi[2] = t + q * (1 + GRand() % 3);
            a = {size[0], size[1] - 3 * t, 0};
            b = {size[0] - 3 * t, size[1], 0};
            c = {size[0], size[1], 3 * t};
            part = -1;
        }
        SurfacePtr s = fixtures::Box({0, 0, 0}, size, GRand() % 2, m);
        SurfacePtr hole = fixtures::Box(lo, hi, GRand() % 2, m);
        hole->NegNormals();
        s->Copy(hole.get());
        s->FormPlaneEquation();
        // The sheet: the triangle a, b, c grown eightfold about its centre.
        SurfacePtr sheet(new G3Surface());
        std::vector<G3Vertex*> corners;
        for (const P& x : {a, b, c}) {
            P y;
            for (int k = 0; k < 3; ++k)
                y[k] = (a[k] + b[k] + c[k]) / 3 + 8 * (x[k] - (a[k] + b[k] + c[k]) / 3);
            y = m.Apply(y);
            corners.push_back(sheet->AddVertex(y[0], y[1], y[2], 0));
        }
        fixtures::Face(sheet.get(), corners);
        sheet->FormPlaneEquation();
        SCOPED_TRACE(round);
        if (!corner) {
            ExpectSheetParts(std::move(s), std::move(sheet), part);
            continue;
        }
        const double tip = c[2] * c[2] * c[2] / 6;  // the corner cut off, legs 3t
        ExpectSheetParts(std::move(s), std::move(sheet), tip);
    }
}

// A cube, a stray triangle, then two cubes sharing a face, welded (the
// triangle touching one at a corner): with the triangle in the rest, the
// rest's update made every facet double-sided, the later pieces kept that,
// and the pair's shared wall came out turned against one cube.
TEST(Separate_Surface, PiecesAfterAStrayTriangleKeepTheirSides)
{
    SurfacePtr s(new G3Surface());
    fixtures::AddBox(s.get(), {0, 0, 0}, {1, 1, 1}, false);
    testmesh::SoupFacet(*s, {{4, 0, 0}, {5, 0, 0}, {4, 1, 0}});
    fixtures::AddBox(s.get(), {5, 0, 0}, {6, 1, 1}, false);
    fixtures::AddBox(s.get(), {6, 0, 0}, {7, 1, 1}, false);
    s->RemoveEqualsVertex();
    s->FormPlaneEquation();
    GArrayCollection pieces;
    EXPECT_EQ(3, G3BooleanCalculator::Separate_Surface(s.get(), &pieces));
    for (int k = 0; k < pieces.size(); ++k) {
        SurfacePtr p(static_cast<G3Surface*>(pieces.get(k)));
        ExpectSolid(p.get(), "piece");
        EXPECT_NEAR(1.0, G3SurfaceVolume(p.get()), 1e-12) << k;
    }
}

TEST(Separate_Surface, PiecesOfFourFacetsOrMore)
{
    GSRand(31);
    for (int round = 0; round < 6; ++round) {
        SurfacePtr s(new G3Surface());
        const int n = 1 + round;
        for (int k = 0; k < n; ++k)
            fixtures::AddBox(s.get(), {3.0 * k, 0, 0}, {3.0 * k + 1, 1, 1.0 + k}, k % 2 == 1);
        const bool stray = round % 2 == 1;
        if (stray)
            testmesh::SoupFacet(*s, {{-5, 0, 0}, {-4, 0, 0}, {-5, 1, 0}});
        s->FormPlaneEquation();
        GArrayCollection pieces;
        EXPECT_EQ(n, G3BooleanCalculator::Separate_Surface(s.get(), &pieces));
        EXPECT_EQ(0, s->GetFacetCount());
        EXPECT_EQ(0, s->GetVertexCount());
        EXPECT_EQ("", MeshCheck(s.get()));
        double total = 0;
        for (int k = 0; k < pieces.size(); ++k) {
            G3Surface* p = static_cast<G3Surface*>(pieces.get(k));
            ExpectSolid(p, "piece");
            total += G3SurfaceVolume(p);
            delete p;
        }
        EXPECT_NEAR(n * (n + 1) / 2.0, total, 1e-12);
    }
}

} // namespace
