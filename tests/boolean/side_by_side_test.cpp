// Two steps run side by side: where and when, what the trace sink sees,
// failures, and booleans that come out the same with and without the
// helper thread.

#include "boolean/solid_fixtures.h"
#include "common/fingerprint.h"

#include "Geometry/boolean/G3BooleanCalculator.h"
#include "Geometry/boolean/G3SideBySide.h"
#include "Geometry/foundation/GRandom.h"
#include "Geometry/foundation/GTrace.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <iterator>
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

// Steps run beside each other only when worth it and allowed; then the
// second runs on another thread at the same time as the first (the first
// waits for it to have traced), its traces still reach the sink after the
// first's, on the caller's thread, and a failure of either comes out once
// both have ended. Otherwise first, then second, on the caller's thread.
TEST(SideBySide, WhereWhenAndInWhichOrderTheStepsRun)
{
    const std::thread::id caller = std::this_thread::get_id();
    for (const auto& [worthIt, allowed] : {std::pair(true, true), std::pair(false, true), std::pair(true, false)}) {
        G3SideBySide::AllowHelperThread(allowed);
        const bool beside = worthIt && allowed;
        const TraceRecord record;
        std::atomic<bool> secondTraced{false};
        std::thread::id where;
        G3SideBySide::Run(
            worthIt,
            [&] {
                const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
                while (beside && !secondTraced && std::chrono::steady_clock::now() < end)
                    std::this_thread::yield();
                GTrace("first");
            },
            [&] {
                where = std::this_thread::get_id();
                GTrace("second %d", 1);
                GTrace("second %d", 2);
                secondTraced = true;
            });
        EXPECT_EQ(beside, caller != where);
        EXPECT_EQ((std::vector<std::string>{"first", "second 1", "second 2"}), Lines());
        bool firstEnded = false, secondEnded = false;
        EXPECT_THROW(G3SideBySide::Run(
                         worthIt, [&] { firstEnded = true; }, [] { throw std::runtime_error("second"); }),
                     std::runtime_error);
        EXPECT_THROW(G3SideBySide::Run(
                         worthIt, [] { throw std::length_error("first"); }, [&] { secondEnded = true; }),
                     std::length_error);
        EXPECT_TRUE(firstEnded);
        EXPECT_EQ(beside, secondEnded); // serially the second never starts
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
    // side by side) and brings coplanar faces; the large spheres' lists get
    // their ray grids ahead of the rays. Checked builds check the whole mesh
    // after each facet the cut adds: there only the sphere pair runs, large
    // enough for the preparations to run side by side.
    const int stacks = kSlowBuild ? 48 : 72;
    SurfacePtr s1 = Sphere(0, 0, 0, 1, stacks, stacks);
    SurfacePtr s2 = Sphere(0.9, 0.2, 0.1, 1, stacks, stacks);
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
    for (std::size_t k = 0; k < (kSlowBuild ? 3 : std::size(cases)); ++k) {
        const auto& c = cases[k];
        SCOPED_TRACE(k);
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
