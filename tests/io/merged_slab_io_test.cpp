// Solids merged in planes into facets with holes, written through the
// formats library (which cuts facets with holes into triangles) and read
// back: the files describe the same closed solid.

#include "boolean/solid_fixtures.h"
#include "common/merge_solids.h"
#include "mesh/mesh_check.h"
#include "tools/io/G3MeshIO.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(MergedFacetsWithHoles, WrittenAndReadBackAsTheSameClosedSolid)
{
    using Write = bool (*)(G3Surface&, std::string&);
    using Read = bool (*)(const char*, std::size_t, const std::string&, G3Surface&, std::string&);
    const std::pair<Write, Read> formats[] = {
        {g3io::WriteOff, g3io::ReadOff},
        {[](G3Surface& s, std::string& out) { return g3io::WritePly(s, out, false); }, g3io::ReadPly},
        {[](G3Surface& s, std::string& out) { return g3io::WriteStl(s, out, false); }, g3io::ReadStl}};
    for (unsigned seed = 1; seed <= 12; ++seed) {
        SCOPED_TRACE(seed);
        GSRand(seed);
        const testmesh::SlabLayout layout = testmesh::RandomSlabLayout(2 + GRand() % 5, 2 + GRand() % 5);
        G3Surface s;
        testmesh::AddSlab(s, layout, 0.5 * seed, -3.0);
        s.FormPlaneEquation();
        s.UnionInPlaneFacets(-1);
        ASSERT_EQ("", MeshCheck(&s));
        for (const auto& [write, read] : formats) {
            std::string text, message;
            ASSERT_TRUE(write(s, text));
            G3Surface back;
            ASSERT_TRUE(read(text.data(), text.size(), "merged", back, message)) << message;
            EXPECT_EQ("", MeshCheck(&back));
            for (int k = 0; k < back.GetEdgeCount(); ++k)
                EXPECT_EQ(2, back.GetEdge(k)->GetVertex1()->GetEdgeCount2(back.GetEdge(k)->GetVertex2())) << k;
            EXPECT_NEAR(testmesh::SlabVolume(layout), fixtures::Volume(&back), 1e-9);
        }
    }
}

} // namespace
