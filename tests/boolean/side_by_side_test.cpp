// The two operands' steps run side by side: who runs where and when, what
// the trace sink sees, failures, and booleans that come out the same with
// and without the helper thread.

#include "boolean/solid_fixtures.h"
#include "common/fingerprint.h"

#include "Geometry/boolean/G3BooleanCalculator.h"
#include "Geometry/boolean/G3SideBySide.h"
#include "Geometry/foundation/GRandom.h"
#include "Geometry/foundation/GTrace.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace fixtures;

std::vector<std::string>& Lines()
{
    static std::vector<std::string> lines;
    return lines;
}

void Collect(const char* line) { Lines().push_back(line); }

// Installs Collect for its lifetime, with an empty record.
struct TraceRecord {
    TraceRecord()
    {
        Lines().clear();
        previous = GSetTraceSink(&Collect);
    }
    ~TraceRecord() { GSetTraceSink(previous); }
    GTraceSink previous;
};

// Waits for `flag` for at most two seconds.
bool WaitFor(const std::atomic<bool>& flag)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (!flag.load() && std::chrono::steady_clock::now() < end)
        std::this_thread::yield();
    return flag.load();
}

// Sphere(…, 48, 48) has 4512 facets, Sphere(…, 8, 8) 112.
constexpr int kLargeStacks = 48;

TEST(SideBySide, WhereAndInWhichOrderTheStepsRun)
{
    SurfacePtr small = Sphere(0, 0, 0, 1, 8, 8);
    SurfacePtr large1 = Sphere(0, 0, 0, 1, kLargeStacks, kLargeStacks);
    SurfacePtr large2 = Sphere(1, 0, 0, 1, kLargeStacks, kLargeStacks);
    ASSERT_GE(large1->GetFacetCount(), G3SideBySide::kParallelFacets);
    ASSERT_LT(small->GetFacetCount(), G3SideBySide::kParallelFacets);
    const std::thread::id caller = std::this_thread::get_id();

    // One operand small, or the helper turned off: A's step, then B's, both
    // on the caller's thread.
    for (bool allowed : {true, false}) {
        G3SideBySide::AllowHelperThread(allowed);
        G3Surface* b = allowed ? small.get() : large2.get();
        std::vector<std::string> order;
        std::thread::id where;
        G3SideBySide::RunForOperands(
            large1.get(), b, [&] { order.push_back("a"); },
            [&] {
                order.push_back("b");
                where = std::this_thread::get_id();
            });
        EXPECT_EQ((std::vector<std::string>{"a", "b"}), order);
        EXPECT_EQ(caller, where);
    }
    G3SideBySide::AllowHelperThread(true);

    // Both large: B's step on another thread, at the same time as A's (A
    // waits for B to have traced), and B's traces still reach the sink
    // after A's, on the caller's thread.
    const TraceRecord record;
    std::atomic<bool> bTraced{false};
    bool sawB = false;
    std::thread::id where;
    G3SideBySide::RunForOperands(
        large1.get(), large2.get(),
        [&] {
            sawB = WaitFor(bTraced);
            GTrace("a %d", 1);
        },
        [&] {
            where = std::this_thread::get_id();
            GTrace("b %d", 1);
            GTrace("b %d", 2);
            bTraced = true;
        });
    EXPECT_TRUE(sawB);
    EXPECT_NE(caller, where);
    EXPECT_EQ((std::vector<std::string>{"a 1", "b 1", "b 2"}), Lines());
}

TEST(SideBySide, AFailingStepFailsTheRunOnceBothHaveEnded)
{
    SurfacePtr a = Sphere(0, 0, 0, 1, kLargeStacks, kLargeStacks);
    SurfacePtr b = Sphere(1, 0, 0, 1, kLargeStacks, kLargeStacks);
    for (bool allowed : {true, false}) {
        G3SideBySide::AllowHelperThread(allowed);
        bool aEnded = false;
        EXPECT_THROW(G3SideBySide::RunForOperands(
                         a.get(), b.get(), [&] { aEnded = true; }, [] { throw std::runtime_error("b"); }),
                     std::runtime_error);
        EXPECT_TRUE(aEnded);
        bool bEnded = false;
        EXPECT_THROW(G3SideBySide::RunForOperands(
                         a.get(), b.get(), [] { throw std::length_error("a"); }, [&] { bEnded = true; }),
                     std::length_error);
        // Serially B's step never starts after A's has thrown; beside it,
        // B's runs to its end before the run gives up.
        EXPECT_EQ(allowed, bEnded);
    }
    G3SideBySide::AllowHelperThread(true);
}

// What a boolean gives and traces, from the same start of the ray sequence.
std::pair<std::string, std::vector<std::string>> Outcome(int op, G3Surface* a, G3Surface* b)
{
    const TraceRecord record;
    GSRand(1);
    G3BooleanCalculator engine;
    G3Surface* sa = a->Duplicate();
    G3Surface* sb = b->Duplicate();
    SurfacePtr r(op == 0 ? engine.Add(sa, sb) : op == 1 ? engine.Sub(sa, sb) : engine.Common(sa, sb));
    return {r ? testmesh::Fingerprint(r.get()) : std::string("null"), Lines()};
}

TEST(SideBySide, BooleansComeOutTheSameWithAndWithoutTheHelper)
{
    // The spheres are large enough for every paired step to run side by
    // side, and their lens leaves vertices to the rays; a box pairs a large
    // operand with a small one (paired steps serial, the result's halves
    // side by side) and brings coplanar faces. The large spheres' lists get
    // their ray grids ahead of the rays.
    SurfacePtr s1 = Sphere(0, 0, 0, 1, 72, 72);
    SurfacePtr s2 = Sphere(0.9, 0.2, 0.1, 1, 72, 72);
    SurfacePtr box = Box({-0.3, -2, -2}, {0.1, 2, 2}, true);
    SurfacePtr big1 = Sphere(0, 0, 0, 1, 190, 190);
    SurfacePtr big2 = Sphere(1.5, 0.1, 0.05, 1, 190, 190);
    const struct {
        G3Surface* a;
        G3Surface* b;
        int op;
    } cases[] = {{s1.get(), s2.get(), 0}, {s1.get(), s2.get(), 1}, {s1.get(), s2.get(), 2},
                 {s1.get(), box.get(), 0}, {s1.get(), box.get(), 1}, {s1.get(), box.get(), 2},
                 {big1.get(), big2.get(), 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.op);
        G3SideBySide::AllowHelperThread(true);
        const auto beside = Outcome(c.op, c.a, c.b);
        G3SideBySide::AllowHelperThread(false);
        const auto serial = Outcome(c.op, c.a, c.b);
        EXPECT_EQ(serial.first, beside.first);
        EXPECT_EQ(serial.second, beside.second);
        EXPECT_FALSE(serial.second.empty());
    }
    G3SideBySide::AllowHelperThread(true);
}

} // namespace
