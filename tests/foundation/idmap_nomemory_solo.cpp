// An id map that cannot grow for lack of memory. The process's address
// space is capped (or, under AddressSanitizer, its largest allocation), so
// it runs in an executable of its own.
#include "Geometry/foundation/GIdMap.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <sys/resource.h>

#if defined(__SANITIZE_ADDRESS__)
#define G3_TEST_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define G3_TEST_ASAN 1
#endif
#endif

#ifdef G3_TEST_ASAN
// An allocation beyond 150 MB fails with null instead of ending the process.
extern "C" const char* __asan_default_options()
{
    return "allocator_may_return_null=1:max_allocation_size_mb=150";
}
#endif

namespace {

// Caps the address space at 256 MiB above what the process maps now. Under
// AddressSanitizer the options above do a similar work (its shadow memory
// would not survive the cap): either way 120 MB can be had twice, 180 MB
// beside 120 MB cannot.
bool LimitMemory()
{
#ifdef G3_TEST_ASAN
    return true;
#else
    unsigned long pages = 0;
    FILE* f = std::fopen("/proc/self/statm", "r");
    if (!f)
        return false;
    const bool read = std::fscanf(f, "%lu", &pages) == 1;
    std::fclose(f);
    if (!read)
        return false;
    rlimit cap{};
    cap.rlim_cur = cap.rlim_max = pages * 4096ul + (256ul << 20);
    return setrlimit(RLIMIT_AS, &cap) == 0;
#endif
}

} // namespace

TEST(GIdMapWithoutMemory, AFailedPutStoresNothingAndLeavesTheSizeAsItWas)
{
    ASSERT_TRUE(LimitMemory());
    {
        // Growing by half again does not fit; growing to the id still does.
        const int n = 15000000;
        GIdMap big(n);
        ASSERT_EQ(big.GetMapSize(), n);
        GObj x;
        EXPECT_EQ(big.Put(n, &x), nullptr);
        EXPECT_EQ(big.GetMapSize(), n + 1);
        EXPECT_EQ(big.Get(n), &x);
    }
    GIdMap m(4);
    GObj a, b;
    m.Put(2, &a);
    // 2^31 - 1 slots (16 GiB) cannot be had: the store fails, observably.
    const int far = INT_MAX - 1;
    EXPECT_EQ(m.Put(far, &b), nullptr);
    EXPECT_EQ(m.GetMapSize(), 4);
    EXPECT_EQ(m.Get(far), nullptr);
    EXPECT_EQ(m.Get(2), &a);
    EXPECT_FALSE(m.Realloc(far));
    EXPECT_EQ(m.GetMapSize(), 4);
    // A map that could not have its slots is empty rather than missing them.
    GIdMap huge(far);
    EXPECT_EQ(huge.GetMapSize(), 0);
    // What fits still grows.
    EXPECT_EQ(m.Put(1000, &b), nullptr);
    EXPECT_EQ(m.GetMapSize(), 1001);
    EXPECT_EQ(m.Get(1000), &b);
    EXPECT_EQ(m.Get(2), &a);
}
