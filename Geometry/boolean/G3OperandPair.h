#pragma once
// The two operands of a boolean go through the same steps before the cut
// (merging, triangulation, scaling, working records) and after the
// classification (removal, seam marks, closing the records), each step
// touching its own surface only. When both operands are large the two run
// at once: B's on a helper thread, A's on the calling thread. The steps'
// results do not depend on it; only where the pools put new entities does.

#include <functional>

class G3Surface;

namespace G3OperandPair {

// Facets each operand must have before a helper thread pays for itself:
// starting and joining one costs about as much as preparing a few hundred
// facets.
constexpr int kParallelFacets = 1024;

// Whether the helper thread may be used (it may unless turned off). A host
// that already runs one boolean per core on threads of its own may turn it
// off; results are the same either way. Process-wide.
void AllowHelperThread(bool allowed);
bool HelperThreadAllowed();

// Runs stepA and stepB: at once when both surfaces have at least
// kParallelFacets facets, the helper thread is allowed and a thread can be
// started; else one after the other, A's first. The steps must share no state but the pools (which
// lock). B's traces reach the sink after all of A's, as in a serial run,
// and an exception thrown by either step is rethrown here once both have
// ended.
void Run(const G3Surface* a, const G3Surface* b, const std::function<void()>& stepA,
         const std::function<void()>& stepB);

} // namespace G3OperandPair
