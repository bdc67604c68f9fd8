#pragma once
// Two pieces of work run at once: the second on a helper thread, the first
// on the calling thread. The boolean uses it where its work splits into two
// halves that touch nothing in common: the two operands' own steps before
// the pairing (merging, triangulation, scaling, working records), the two
// cuts along the segments each operand's facets hold, the fills that need
// no ray and the ray grids, facet classes taken from vertex classes, the
// steps after the classification (removal, seam marks, closing the
// records), and the two halves of a pass over a large result's facets or
// edges. The results do
// not depend on it; only where the pools put new entities does.

#include <functional>

class G3Surface;

namespace G3SideBySide {

// Facets each operand must have (entities each half of a pass) before a
// helper thread pays for itself. Starting and joining one costs about a
// tenth of a millisecond, and a boolean runs several steps side by side:
// two 2k-triangle spheres took a third longer with the helper than
// without, two 20k ones a tenth less.
constexpr int kParallelFacets = 4096;

// Whether the helper thread may be used (it may unless turned off). A host
// that already runs one boolean per core on threads of its own may turn it
// off; results are the same either way. Process-wide.
void AllowHelperThread(bool allowed);
bool HelperThreadAllowed();

// Runs first and second: at once when `worthIt`, the helper thread is
// allowed, no object provider is registered (G3Obj::AddProvider) and a
// thread can be started; else one after the other, first's first. The two must share no state but the pools (which lock). Second's
// traces reach the sink after all of first's, from the calling thread, as
// in a serial run; an exception thrown by either is rethrown here once
// both have ended (first's when both throw).
void Run(bool worthIt, const std::function<void()>& first, const std::function<void()>& second);

// Run with stepA first and stepB second, worth it when both surfaces have
// at least kParallelFacets facets.
void RunForOperands(const G3Surface* a, const G3Surface* b, const std::function<void()>& stepA,
                    const std::function<void()>& stepB);

// Calls body(part, begin, end) for the halves of [0, count), part 0 then
// part 1, side by side when each half has at least kParallelFacets
// entities.
void RunHalves(int count, const std::function<void(int part, int begin, int end)>& body);

} // namespace G3SideBySide
