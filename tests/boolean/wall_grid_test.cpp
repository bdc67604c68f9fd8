// Grids of joined walls, as a storey's plan brings them: walls along x and
// along y crossing one another, some stopping flush inside a crossing wall,
// some lower than the rest, all standing on one floor (coplanar bottoms and,
// mostly, tops at every joint). Their union has one top face and one bottom
// face with a hole per room; windows and doors (flush with the floor or
// reaching below it) are cut out of it, and it is triangulated as a file
// brings it, merged back, run through the update of level 1003 and grown by
// a shell. Every step is held to the exact volume of the boxes (walls less
// openings; a union of boxes grown by the shell's thickness for the shell)
// and to the mesh check.

#include "solid_fixtures.h"

#include "Geometry/boolean/G3BooleanCalculator.h"
#include "Geometry/boolean/G3SolidsBuilder.h"
#include "Geometry/mesh/G3MeshCheck.h"
#include "tests/mesh/mesh_check.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

namespace {

using fixtures::P;
using fixtures::SurfacePtr;

struct Box {
    P lo, hi;
};

bool Inside(const Box& b, const P& m, double g)
{
    return m[0] > b.lo[0] - g && m[0] < b.hi[0] + g && m[1] > b.lo[1] - g && m[1] < b.hi[1] + g &&
           m[2] > b.lo[2] - g && m[2] < b.hi[2] + g;
}

// The volume of the union of the boxes, each grown by g on every side, less
// the holes, cell by cell between their coordinates.
double UnionVolume(const std::vector<Box>& boxes, double g, const std::vector<Box>& holes = {})
{
    std::vector<double> c[3];
    for (const std::vector<Box>* list : {&boxes, &holes})
        for (const Box& b : *list)
            for (int a = 0; a < 3; ++a)
                c[a].insert(c[a].end(), {b.lo[a] - g, b.hi[a] + g});
    for (auto& v : c) {
        std::sort(v.begin(), v.end());
        v.erase(std::unique(v.begin(), v.end()), v.end());
    }
    double volume = 0.0;
    for (std::size_t i = 0; i + 1 < c[0].size(); ++i)
        for (std::size_t j = 0; j + 1 < c[1].size(); ++j)
            for (std::size_t k = 0; k + 1 < c[2].size(); ++k) {
                const P m = {(c[0][i] + c[0][i + 1]) / 2, (c[1][j] + c[1][j + 1]) / 2, (c[2][k] + c[2][k + 1]) / 2};
                const auto in = [&](const Box& b) { return Inside(b, m, g); };
                if (std::any_of(boxes.begin(), boxes.end(), in) && std::none_of(holes.begin(), holes.end(), in))
                    volume += (c[0][i + 1] - c[0][i]) * (c[1][j + 1] - c[1][j]) * (c[2][k + 1] - c[2][k]);
            }
    return volume;
}

void ExpectSolidOf(G3Surface* s, double volume, const std::string& what)
{
    ASSERT_TRUE(s) << what;
    EXPECT_EQ("", MeshCheck(s)) << what;
    EXPECT_EQ("", G3ClosedCheck(s)) << what;
    EXPECT_NEAR(volume, fixtures::Volume(s), 1e-9 * volume) << what;
}

} // namespace

TEST(WallGrid, UnionsMergesUpdatesAndShellsKeepTheVolumeOfTheWalls)
{
    std::mt19937 gen(41);
    const int rounds = fixtures::kSlowBuild ? 4 : 12;
    for (int round = 0; round < rounds; ++round) {
        const int nx = 3 + static_cast<int>(gen() % 5), ny = 3 + static_cast<int>(gen() % 5);
        const double pitch = 3.0 + gen() % 3, t = gen() % 2 ? 0.2 : 0.3;
        const double length[2] = {pitch * (ny - 1), pitch * (nx - 1)};
        std::vector<Box> walls[2], openings;
        // Along x (axis 0) every wall runs the whole plan; along y some stop
        // at an inner x-wall, flush with its far face or at its middle.
        for (int axis = 0; axis < 2; ++axis)
            for (int i = 0; i < (axis == 0 ? nx : ny); ++i) {
                double from = -t / 2, to = length[axis] + t / 2;
                if (axis == 1 && gen() % 3 == 0)
                    to = pitch * (1 + gen() % (nx - 2)) + (gen() % 2 ? t / 2 : 0.0);
                const double height = gen() % 4 == 0 ? 2.5 : 2.8;
                Box b = {{from, pitch * i - t / 2, 0.0}, {to, pitch * i + t / 2, height}};
                if (axis == 1) {
                    std::swap(b.lo[0], b.lo[1]);
                    std::swap(b.hi[0], b.hi[1]);
                }
                walls[axis].push_back(b);
                // A window, a door flush with the floor or one cut through
                // it in some rooms' stretch of the wall (through the wall).
                for (int room = 0; room + 1 < (axis == 0 ? ny : nx); ++room) {
                    const double mid = pitch * room + pitch / 2;
                    if (gen() % 3 != 0 || mid > to)
                        continue;
                    const unsigned kind = gen() % 3;
                    const double sill = kind == 0 ? 0.9 : kind == 1 ? 0.0 : -0.2;
                    Box o = {{mid - 0.45, pitch * i - t, sill}, {mid + 0.45, pitch * i + t, 2.1}};
                    if (axis == 1) {
                        std::swap(o.lo[0], o.lo[1]);
                        std::swap(o.hi[0], o.hi[1]);
                    }
                    openings.push_back(o);
                }
            }
        std::vector<Box> all = walls[0];
        all.insert(all.end(), walls[1].begin(), walls[1].end());
        const double volume = UnionVolume(all, 0.0);
        SurfacePtr rows[2];
        for (int axis = 0; axis < 2; ++axis) {
            rows[axis].reset(new G3Surface());
            for (const Box& b : walls[axis])
                fixtures::AddBox(rows[axis].get(), b.lo, b.hi);
        }
        const std::string at = "round " + std::to_string(round);
        G3BooleanCalculator engine;
        SurfacePtr grid(engine.Add(rows[0].release(), rows[1].release()));
        ExpectSolidOf(grid.get(), volume, at + " union");
        if (!grid)
            continue;
        if (!openings.empty()) {
            SurfacePtr cut(new G3Surface());
            for (const Box& o : openings)
                fixtures::AddBox(cut.get(), o.lo, o.hi);
            G3BooleanCalculator sub;
            SurfacePtr holed(sub.Sub(grid->Duplicate(), cut.release()));
            ExpectSolidOf(holed.get(), UnionVolume(all, 0.0, openings), at + " openings");
        }

        SurfacePtr merged(grid->Duplicate());
        ASSERT_TRUE(merged->Triangulate(4, 0)) << at;
        merged->FormPlaneEquation();
        SurfacePtr updated(merged->Duplicate());
        merged->UnionInPlaneFacets(-1);
        merged->MarkInPlaneEdgesAsInvisible();
        ExpectSolidOf(merged.get(), volume, at + " merged");
        EXPECT_EQ(grid->GetFacetCount(), merged->GetFacetCount()) << at;

        updated->FormPlaneEquation();
        updated->Update(CHECK_LEVEL_INTERSECTIONS);
        ExpectSolidOf(updated.get(), volume, at + " update");

        G3Surface* shell = nullptr;
        ASSERT_TRUE(G3SolidsBuilder::Shell(merged.get(), &shell, 0.05, nullptr)) << at;
        SurfacePtr grown(shell);
        ExpectSolidOf(grown.get(), UnionVolume(all, 0.05), at + " shell");
    }
}
