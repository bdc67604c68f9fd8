// With an object provider registered (process-wide and for good, hence an
// executable of its own) the two steps run one after the other on the
// caller's thread: providers keep one current source for the process.

#include "Geometry/boolean/G3SideBySide.h"
#include "Geometry/mesh/G3HitDataExDataProvider.h"
#include "Geometry/mesh/G3Surface.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>

TEST(SideBySideProviders, ARegisteredProviderKeepsTheStepsOnTheCallersThread)
{
    G3Surface a;
    G3Surface b;
    for (G3Surface* s : {&a, &b}) {
        for (int i = 0; i < G3SideBySide::kParallelFacets + 2; ++i)
            s->AddVertex(i, i % 2, 0, 0);
        for (int i = 0; i < G3SideBySide::kParallelFacets; ++i) {
            int v[3] = {i, i + 1, i + 2};
            s->AddFacet(3, v, 1, nullptr, nullptr);
        }
    }
    ASSERT_GE(b.GetFacetCount(), G3SideBySide::kParallelFacets);
    std::thread::id where;
    G3SideBySide::RunForOperands(&a, &b, [] {}, [&] { where = std::this_thread::get_id(); });
    EXPECT_NE(std::this_thread::get_id(), where);

    ASSERT_NE(nullptr, G3HitDataExDataProvider::Get());
    std::string order;
    G3SideBySide::RunForOperands(
        &a, &b, [&] { order += "a"; },
        [&] {
            order += "b";
            where = std::this_thread::get_id();
        });
    EXPECT_EQ("ab", order);
    EXPECT_EQ(std::this_thread::get_id(), where);
}
