// Explode against the whole-copy road it replaced, on random piece sets:
// every piece, and the surface left behind, the same to the last bit.

#include "common/piece_set.h"
#include "mesh/mesh_check.h"

#include "Geometry/foundation/GArrayCollection.h"

#include <gtest/gtest.h>

#include <random>

namespace {

using namespace testmesh;

// Explode as each piece once copied the whole surface.
int ExplodeByWholeCopies(G3Surface& s, GArrayCollection* out)
{
    const int n = s.GetFacetCount();
    int from = 0;
    for (;;) {
        for (int i = 0; i < n; ++i)
            s.GetFacet(i)->ClearMark4();
        while (from < n && s.GetFacet(from)->GetMark3())
            ++from;
        if (from >= n)
            break;
        GArrayCollection piece;
        s.GetAllAdjacentFaces(s.GetFacet(from), &piece);
        G3Surface* d = s.Duplicate();
        for (int i = 0; i < d->GetFacetCount();) {
            G3Facet* f = d->GetFacet(i);
            if (!f->GetMark4()) {
                d->RemoveFacet(f);
                continue;
            }
            f->ClearMark3();
            f->ClearMark4();
            ++i;
        }
        d->Update(CHECK_LEVEL_WELD);
        out->add(d);
    }
    for (int i = 0; i < n; ++i) {
        s.GetFacet(i)->ClearMark3();
        s.GetFacet(i)->ClearMark4();
    }
    return out->size();
}

void DeleteAll(GArrayCollection& c)
{
    for (int k = 0; k < c.size(); ++k)
        delete c.get(k);
    c.clear(false);
}

TEST(ExplodeOracle, PiecesOfRandomSetsAreTheWholeCopiesPieces)
{
    for (unsigned seed = 1; seed <= 300; ++seed) {
        SCOPED_TRACE(seed);
        std::mt19937 g1(seed), g2(seed);
        G3Surface a, b;
        AddRandomPieces(a, g1);
        AddRandomPieces(b, g2);
        // A facet the caller left marked is neither a seed nor entered.
        if (seed % 4 == 0 && a.GetFacetCount() > 0) {
            a.GetFacet(static_cast<int>(seed % a.GetFacetCount()))->SetMark3();
            b.GetFacet(static_cast<int>(seed % b.GetFacetCount()))->SetMark3();
        }
        GArrayCollection pa, pb;
        const int n = ExplodeByWholeCopies(a, &pa);
        ASSERT_EQ(n, b.Explode(&pb));
        EXPECT_EQ(FullText(&a), FullText(&b));
        for (int k = 0; k < n; ++k) {
            G3Surface* piece = static_cast<G3Surface*>(pb.get(k));
            ASSERT_EQ(FullText(static_cast<G3Surface*>(pa.get(k))), FullText(piece)) << "piece " << k;
            EXPECT_EQ("", MeshCheck(piece));
        }
        DeleteAll(pa);
        DeleteAll(pb);
    }
}

} // namespace
