// Tearing down every pool is process-wide and final, so it runs in an
// executable of its own.
#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/foundation/GHeap.h"

#include <gtest/gtest.h>

TEST(GHeapTeardown, RemoveAllHeapsClearsEveryPoolAndItsClassPointer)
{
    auto* c = new GArrayCollection();
    delete c;
    GHeap* standalone = new GHeap("standalone", 16);
    (void)standalone; // deleted by RemoveAllHeaps
#ifndef G3_NO_POOLS
    EXPECT_NE(GArrayCollection::m_GArrayCollectionHeap, nullptr);
    EXPECT_GE(GHeap::HeapCount(), 2);
#endif
    GHeap::RemoveAllHeaps();
    EXPECT_EQ(GHeap::HeapCount(), 0);
    EXPECT_EQ(GArrayCollection::m_GArrayCollectionHeap, nullptr);

    // Hosts are told not to allocate after teardown; if one does, the pool
    // is created afresh instead of touching freed memory.
    auto* again = new GArrayCollection(2, 2);
    again->add(nullptr);
    EXPECT_EQ(again->size(), 1);
    delete again;
#ifndef G3_NO_POOLS
    EXPECT_NE(GArrayCollection::m_GArrayCollectionHeap, nullptr);
#endif
    GHeap::RemoveAllHeaps();
}
