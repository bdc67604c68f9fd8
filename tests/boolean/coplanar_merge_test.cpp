// Booleans whose operands and results merge facets in planes: a roof with a
// slight kink keeps its shape, and where the operands' faces lie in one
// plane every facet of the result carries the material of the operand on
// whose surface it lies.

#include "boolean/solid_fixtures.h"
#include "common/merge_solids.h"
#include "mesh/mesh_check.h"

#include "Geometry/boolean/G3BooleanCalculator.h"
#include "Geometry/math/GTolerance.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

namespace {

using namespace fixtures;

TEST(BooleanCoplanar, SlightlyKinkedRoofKeepsItsShape)
{
    // The roof's halves meet at a kink of about 2e-4: merged and cut into
    // triangles again, the roof would move by up to 1e-4.
    const double h = 4.6612027030141905e-5;
    G3Surface* a = new G3Surface();
    testmesh::AddRidgeBox(*a, 0.5, 0.5, h, {0, 0, 0});
    G3BooleanCalculator engine;
    SurfacePtr r(engine.Common(a, Box({0.125, 0.125, -0.375 - h}, {1.125, 1.125, 0.375 - h}).release()));
    ASSERT_NE(nullptr, r);
    EXPECT_EQ("", MeshCheck(r.get()));
    // x and y in [0.125, 0.5], z from the box's floor -0.375 - h up to the
    // roof -2 h x: 0.375 times the integral of 0.375 + h - 2 h x over x.
    const double exact = 0.375 * ((0.375 + h) * 0.375 - h * (0.5 * 0.5 - 0.125 * 0.125));
    EXPECT_NEAR(exact, Volume(r.get()), 1e-9 * exact);
}

// Whether p lies on a facet of s: within the side tolerance of its plane
// and inside its contours.
bool OnSurface(G3Surface* s, const double* p)
{
    for (int k = 0; k < s->GetFacetCount(); ++k) {
        G3Facet* f = s->GetFacet(k);
        const double* n = f->GetPlane();
        int i = 0, j = 1;
        f->GetMaxCoo(&i, &j);
        if (std::fabs(n[0] * p[0] + n[1] * p[1] + n[2] * p[2] + n[3]) < GTolerance::kPlaneSide &&
            f->PointInFacet(i, j, p, nullptr, nullptr, GTolerance::kInFacet))
            return true;
    }
    return false;
}

// Points of f: its corners, the midpoints of its edges and one inner point.
std::vector<P> Samples(G3Facet* f)
{
    std::vector<P> out;
    for (G3Edge* e = f->GetFirstEdge(); e; e = e->GetFacetEdge(f)) {
        const double* a = e->GetVertex1()->GetXYZ();
        const double* b = e->GetVertex2()->GetXYZ();
        out.push_back({a[0], a[1], a[2]});
        out.push_back({(a[0] + b[0]) / 2, (a[1] + b[1]) / 2, (a[2] + b[2]) / 2});
    }
    int i = 0, j = 1;
    f->GetMaxCoo(&i, &j);
    P p = out[0];
    if (f->GeneratePointInFacetConcave(i, j, p.data())) {
        const double* n = f->GetPlane();
        const int k = 3 - i - j;
        p[k] = -(n[i] * p[i] + n[j] * p[j] + n[3]) / n[k];
        out.push_back(p);
    }
    return out;
}

TEST(BooleanCoplanar, EveryFacetCarriesTheMaterialOfTheOperandItLiesOn)
{
    // Each operand a slab of whole and missing cells (a box, an L or U
    // prism, a frame) with cells of 0.5 or 1 on a quarter grid, of material
    // 1 or 2 (one map each), every other pair turned alike: faces meet in
    // shared planes, part of a face, whole faces and overlapping. Where the
    // operands' faces coincide either material is right; elsewhere only
    // the material of the operand under the facet.
    for (unsigned seed = 1; seed <= 40; ++seed) {
        SCOPED_TRACE(seed);
        GSRand(seed);
        SurfacePtr operand[2];
        const Motion turn = Motion::Turn({0.6, 0, 0.8}, seed % 2 ? 0.7 : 0.0, {0, 0, 0});
        for (std::intptr_t m = 0; m < 2; ++m) {
            operand[m].reset(new G3Surface());
            operand[m]->GetExtendedDataFacetDefault().Add(testmesh::kMaterial, reinterpret_cast<void*>(m + 1));
            testmesh::SlabLayout layout = testmesh::RandomSlabLayout(1 + GRand() % 3, 1 + GRand() % 3);
            for (std::string& row : layout)
                for (char& c : row)
                    c = c == 'o' ? '#' : c;
            testmesh::AddSlab(*operand[m], layout);
            const double cell = GRand() % 2 ? 1.0 : 0.5;
            const double thick = GRand() % 2 ? 1.0 : 0.5;
            const P shift = {0.25 * (GRand() % 9) - 1, 0.25 * (GRand() % 9) - 1, 0.25 * (GRand() % 5) - 0.5};
            for (int k = 0; k < operand[m]->GetVertexCount(); ++k) {
                double* x = operand[m]->GetVertex(k)->GetXYZ();
                const P y = turn.Apply({cell * x[0] + shift[0], cell * x[1] + shift[1], thick * x[2] + shift[2]});
                for (int d = 0; d < 3; ++d)
                    x[d] = y[d];
            }
            operand[m]->FormPlaneEquation();
        }
        if (operand[0]->GetFacetCount() == 0 || operand[1]->GetFacetCount() == 0)
            continue;
        G3BooleanCalculator engine;
        for (int op = 0; op < 3; ++op) {
            SCOPED_TRACE(op);
            G3Surface* a = operand[0]->Duplicate();
            G3Surface* b = operand[1]->Duplicate();
            SurfacePtr r(op == 0 ? engine.Add(a, b) : (op == 1 ? engine.Sub(a, b) : engine.Common(a, b)));
            if (!r)
                continue;
            ASSERT_EQ("", MeshCheck(r.get()));
            for (int k = 0; k < r->GetFacetCount(); ++k) {
                const std::intptr_t m = testmesh::Material(r->GetFacet(k));
                ASSERT_TRUE(m == 1 || m == 2) << k;
                for (const P& p : Samples(r->GetFacet(k)))
                    EXPECT_TRUE(OnSurface(operand[m - 1].get(), p.data()))
                        << "facet " << k << " of material " << m << " at " << p[0] << " " << p[1] << " " << p[2];
            }
        }
    }
}

} // namespace
