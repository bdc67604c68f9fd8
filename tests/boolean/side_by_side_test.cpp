// Two steps run side by side: where and when, what the trace sink sees,
// failures, and booleans that come out the same with and without the
// helper thread.

#include "boolean/solid_fixtures.h"
#include "common/fingerprint.h"

#include "Geometry/boolean/G3BooleanCalculator.h"
#include "Geometry/boolean/G3BooleanData.h"
#include "Geometry/boolean/G3SideBySide.h"
#include "Geometry/foundation/GRandom.h"
#include "Geometry/foundation/GTrace.h"
#include "Geometry/mesh/G3Facet.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/mesh/G3Vertex.h"

#include <gtest/gtest.h>

#include <algorithm>
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


// The facet classes of both operands with their vertex half side by side
// against the plain road (A's facets, then B's, each in list order): the
// same classes, the same trace and the same draws from the ray sequence.
// The operands are one sphere twice. A's vertex classes come in patches
// inside and outside, with a few unclassified, so that its facets along
// the patches' borders are traced as badly classified; B's are on the
// curves in patches, so that its facets there lie on A and are traced as
// tested on the opposite side. The trace thus tells whose rays came first.
class FacetClasses : public G3BooleanCalculator {
public:
    FacetClasses(G3Surface* a, G3Surface* b)
    {
        A = a;
        B = b;
        radius = 8.0;
    }
    using G3BooleanCalculator::ClassifyFacets;
    using G3BooleanCalculator::ClassifyFacetsOfBoth;
};

TEST(SideBySide, FacetClassesComeOutAsOneOperandAfterTheOther)
{
    const int stacks = 48; // 4512 facets each: the vertex half runs side by side
    SurfacePtr s[2][2];
    for (auto& pair : s) {
        pair[0] = Sphere(0, 0, 0, 1, stacks, stacks);
        pair[1] = Sphere(0, 0, 0, 1, stacks, stacks);
    }
    GSRand(3);
    std::vector<SURF_CLASSIFY> dealt[2];
    for (int i = 0; i < s[0][0]->GetVertexCount(); ++i) {
        dealt[0].push_back(GRand() % 100 == 0 ? SC_UNKNOWN : (i / 37) % 2 ? SC_INSIDE : SC_OUTSIDE);
        dealt[1].push_back((i / 53) % 4 == 0 ? SC_ON : SC_OUTSIDE);
    }
    std::pair<std::vector<std::string>, int> outcome[2];
    std::vector<SURF_CLASSIFY> classes[2];
    for (int road = 0; road < 2; ++road) {
        G3Surface* a = s[road][0].get();
        G3Surface* b = s[road][1].get();
        for (int k = 0; k < 2; ++k) {
            G3Surface* x = s[road][k].get();
            G3BooleanCalculator::OpenBoolean(x);
            for (int i = 0; i < x->GetVertexCount(); ++i)
                G3BooleanVertexData::Of(x->GetVertex(i))->classify = dealt[k][static_cast<std::size_t>(i)];
        }
        G3SideBySide::AllowHelperThread(true);
        const TraceRecord record;
        GSRand(7);
        FacetClasses engine(a, b);
        if (road == 0) {
            engine.ClassifyFacets(a, b->GetFacetList());
            engine.ClassifyFacets(b, a->GetFacetList());
        } else {
            engine.ClassifyFacetsOfBoth();
        }
        outcome[road] = {Lines(), GRand()};
        for (G3Surface* x : {a, b}) {
            for (int f = 0; f < x->GetFacetCount(); ++f)
                classes[road].push_back(G3BooleanFacetData::Of(x->GetFacet(f))->classify);
            G3BooleanCalculator::CloseBoolean(x);
        }
    }
    EXPECT_EQ(classes[0], classes[1]);
    EXPECT_EQ(outcome[0].first, outcome[1].first);
    EXPECT_EQ(outcome[0].second, outcome[1].second);
    // The dealing reaches the rays of both operands.
    const std::vector<std::string>& trace = outcome[0].first;
    EXPECT_GT(std::count(trace.begin(), trace.end(), "Bad facet classification1"), 20);
    EXPECT_GT(std::count(trace.begin(), trace.end(), "TestOnOpposite"), 20);
}

} // namespace
