// The facets that a complex-facet bracket fuses carry the host's data of the
// first facet collected: its named extended data and the object providers'
// records, as the pieces of a triangulated facet do.

#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/mesh/CExData.h"
#include "Geometry/mesh/G3ExDataProvider.h"
#include "Geometry/mesh/G3Facet.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/mesh/G3Vertex.h"
#include "tests/common/builders.h"
#include "tests/mesh/mesh_check.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

using namespace testmesh;

G3Facet* Square(G3Surface& s, double x0, double y0, double x1, double y1)
{
    return SoupFacet(s, {{x0, y0, 0}, {x1, y0, 0}, {x1, y1, 0}, {x0, y1, 0}});
}

// Stores an int per object: `current` when the object opens, the source's
// record once a source is named.
struct IntProvider : G3ExDataProvider {
    void ReleaseRecord(void* record) override { delete static_cast<int*>(record); }
    void OpenRecord(G3Obj* object) override { object->SetOutExData(this, new int(current)); }
    void SetSource(G3Obj* source) override
    {
        const int* r = source ? static_cast<int*>(source->GetOutExData(this)) : nullptr;
        current = r ? *r : 0;
    }
    void TransformRecord(G3Obj*, double[4][4]) override {}
    void CopyRecord(G3Obj* destination, G3Obj* source) override
    {
        destination->RemoveExData(this);
        destination->SetOutExData(this, new int(*static_cast<int*>(source->GetOutExData(this))));
    }
    int current = 0;
};

int Record(const G3Obj* o, const G3ExDataProvider* p)
{
    const int* r = static_cast<const int*>(o->GetOutExData(p));
    return r ? *r : -1;
}

} // namespace

TEST(ComplexFacetData, FusedFacetKeepsTheFirstFacetsDataAndTheDefaultIsRestored)
{
    IntProvider provider;
    G3Obj::AddProvider(&provider);
    {
        G3Surface s;
        s.BeginComplexFacet();
        provider.current = 42;
        G3Facet* outer = Square(s, 0, 0, 8, 8);
        SetMaterial(outer, 7);
        provider.current = 5;
        G3Facet* inner = Square(s, 2, 2, 6, 6);
        SetMaterial(inner, 7);
        s.EndComplexFacet();
        EXPECT_EQ("", MeshCheck(&s));
        ASSERT_EQ(s.GetFacetCount(), 1);
        EXPECT_EQ(Material(s.GetFacet(0)), 7);
        EXPECT_EQ(Record(s.GetFacet(0), &provider), 42);

        // Later facets get the surface's own default and no source again.
        provider.current = 0;
        G3Facet* later = Square(s, 20, 0, 21, 1);
        EXPECT_EQ(Material(later), 0);
        EXPECT_EQ(Record(later, &provider), 0);
        EXPECT_EQ("", MeshCheck(&s));
    }
    {
        // The first facet decides, also when the pieces disagree; the
        // surface's default is what facets outside the bracket receive.
        G3Surface s;
        s.GetExtendedDataFacetDefault().Add(kMaterial, reinterpret_cast<void*>(std::intptr_t{3}));
        s.BeginComplexFacet();
        SetMaterial(Square(s, 0, 0, 8, 8), 9);
        Square(s, 2, 2, 4, 4);
        SetMaterial(Square(s, 5, 5, 7, 7), 1);
        s.EndComplexFacet();
        EXPECT_EQ("", MeshCheck(&s));
        ASSERT_EQ(s.GetFacetCount(), 1);
        EXPECT_EQ(Material(s.GetFacet(0)), 9);
        EXPECT_EQ(Material(Square(s, 20, 0, 21, 1)), 3);
    }
    G3Obj::RemoveExDataProvider(&provider);
}
