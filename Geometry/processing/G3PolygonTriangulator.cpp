#include "Geometry/processing/G3PolygonTriangulator.h"

#include <atomic>

namespace {
// Set once while the library loads; read by triangulations on any thread.
std::atomic<G3PolygonTriangulator> registered{nullptr};
} // namespace

void G3SetPolygonTriangulator(G3PolygonTriangulator engine) { registered.store(engine, std::memory_order_release); }

G3PolygonTriangulator G3GetPolygonTriangulator() { return registered.load(std::memory_order_acquire); }
