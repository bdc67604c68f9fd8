#include "Geometry/foundation/GPointer.h"
#include "Geometry/foundation/GPress.h"
#include "Geometry/foundation/GRandom.h"
#include "Geometry/foundation/GTrace.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <thread>
#include <set>
#include <vector>

namespace {

struct Tracked : GPointer {
    explicit Tracked(bool* flag) : flag(flag) {}
    ~Tracked() override { *flag = true; }
    bool* flag;
};

std::vector<std::string>* g_messages = nullptr;
void Collect(const char* message) { g_messages->push_back(message); }

} // namespace

TEST(GPointerAndGPress, LastReleaseDeletesAndTinyScalesCountAsOne)
{
    bool gone = false;
    auto* p = new Tracked(&gone);
    p->AddRef();
    p->AddRef();
    p->Release();
    EXPECT_FALSE(gone);
    p->Release();
    EXPECT_TRUE(gone);

    // Scales below 1e-6, zero included, count as 1 (no division by zero).
    for (double scale : {0.0, 0.9e-6, 1e-6}) {
        GPress::init(scale);
        EXPECT_DOUBLE_EQ(GPress::MINSIZE2(), std::sqrt(2.0) / (scale < 1e-6 ? 1.0 : scale)) << scale;
    }
}

TEST(GRandom, ClassicSequenceSharedByConcurrentCalls)
{
    // The first values of the classic sequence from state 1; all in range.
    GSRand(1);
    const std::vector<int> first = {GRand(), GRand(), GRand()};
    EXPECT_EQ(first, (std::vector<int>{41, 18467, 6334}));
    GSRand(7);
    std::multiset<int> expected;
    for (int i = 0; i < 4000; ++i) {
        const int r = GRand();
        ASSERT_TRUE(r >= 0 && r <= G_RAND_MAX);
        expected.insert(r);
    }
    GSRand(7);
    std::vector<int> a, b;
    std::thread t1([&] { for (int i = 0; i < 2000; ++i) a.push_back(GRand()); });
    std::thread t2([&] { for (int i = 0; i < 2000; ++i) b.push_back(GRand()); });
    t1.join();
    t2.join();
    std::multiset<int> got(a.begin(), a.end());
    got.insert(b.begin(), b.end());
    EXPECT_EQ(got, expected);
}

TEST(GTrace, SinkSeesFormattedMessages)
{
    std::vector<std::string> messages;
    g_messages = &messages;
    GTrace("dropped %d", 1); // no sink yet
    GTraceSink old = GSetTraceSink(Collect);
    GTrace("qV=%d", 12);
    GTrace("qF=%d  qE=%d", 3, 4);
    GSetTraceSink(old);
    GTrace("dropped again");
    EXPECT_EQ(messages, (std::vector<std::string>{"qV=12", "qF=3  qE=4"}));
}
