#include "Geometry/foundation/GRandom.h"

#include <atomic>
#include <cstdint>

namespace {
std::atomic<std::uint32_t> g_state{1u};
}

int GRand()
{
    std::uint32_t state = g_state.load(std::memory_order_relaxed);
    std::uint32_t next;
    do {
        next = state * 214013u + 2531011u;
    } while (!g_state.compare_exchange_weak(state, next, std::memory_order_relaxed));
    return static_cast<int>((next >> 16) & 0x7FFFu);
}

void GSRand(unsigned int seed) { g_state.store(seed, std::memory_order_relaxed); }
