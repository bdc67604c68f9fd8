// The triangulation front end: projection plane, options, reruns.

#include "tin_check.h"

#include <gtest/gtest.h>

#include <type_traits>

namespace {

static_assert(!std::is_copy_constructible<G3TriInterface>::value, "copies would share the engine");
static_assert(!std::is_copy_assignable<G3TriInterface>::value, "copies would share the engine");

TEST(TinInterface, OptionsAndNullInputs)
{
    G3TriInterface tin;
    EXPECT_TRUE(tin.option(G3TriInterface::TRI_BASIC_DEFAULT));
    EXPECT_TRUE(tin.option(static_cast<G3TriInterface::BasicOptions>(3)));
    EXPECT_TRUE(tin.GetEngine()->Option(0));
    EXPECT_FALSE(tin.GetEngine()->Option(1));
    EXPECT_EQ(tin.AddVertex(nullptr), nullptr);
    tin.Set2DPlane(nullptr, nullptr);
    EXPECT_EQ(tin.GetAxisU()[0], 1.0);
    EXPECT_EQ(tin.GetTriangleCount(), 0);
    G3TVertex* c[3];
    EXPECT_FALSE(tin.GetTriangle(0, c));
    EXPECT_EQ(tin.GetVertex(0), nullptr);
    EXPECT_EQ(tin.GetConstraint(0), nullptr);
}

TEST(TinInterface, RerunIncludesLaterPoints)
{
    G3TriInterface tin;
    const double p[4][3] = {{0, 0, 1}, {1, 0, 2}, {0, 1, 3}, {1, 1, 4}};
    for (int i = 0; i < 3; ++i)
        tin.AddVertex(p[i]);
    tin.MakeTriangulation(G3TriInterface::TRI_BASIC_DEFAULT);
    EXPECT_EQ(tin.GetTriangleCount(), 1);
    G3TVertex* late = tin.AddVertex(p[3]);
    EXPECT_EQ(tin.GetTriangleCount(), 1); // not part of the earlier run
    EXPECT_EQ(tin.GetKeptVertex(late), nullptr);
    tin.MakeTriangulation(G3TriInterface::TRI_BASIC_DEFAULT);
    EXPECT_EQ(tin.GetTriangleCount(), 2);
    EXPECT_EQ(tin.GetKeptVertex(late), late);
}

} // namespace
