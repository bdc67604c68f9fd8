#include "Geometry/boolean/G3OperandPair.h"

#include "Geometry/foundation/GTrace.h"
#include "Geometry/mesh/G3Surface.h"

#include <atomic>
#include <exception>
#include <system_error>
#include <thread>

namespace G3OperandPair {

namespace {

std::atomic<bool> helperAllowed{true};

bool Large(const G3Surface* s) { return s && s->GetFacetCount() >= kParallelFacets; }

} // namespace

void AllowHelperThread(bool allowed) { helperAllowed.store(allowed, std::memory_order_relaxed); }

bool HelperThreadAllowed() { return helperAllowed.load(std::memory_order_relaxed); }

void Run(const G3Surface* a, const G3Surface* b, const std::function<void()>& stepA,
         const std::function<void()>& stepB)
{
    if (!HelperThreadAllowed() || !Large(a) || !Large(b)) {
        stepA();
        stepB();
        return;
    }
    GTraceCapture tracesB;
    std::exception_ptr failedB;
    std::thread helper;
    try {
        helper = std::thread([&] {
            const GTraceCapture::Scope scope(tracesB);
            try {
                stepB();
            } catch (...) {
                failedB = std::current_exception();
            }
        });
    } catch (const std::system_error&) {
        // No thread to be had: the serial road gives the same results.
        stepA();
        stepB();
        return;
    }
    std::exception_ptr failedA;
    try {
        stepA();
    } catch (...) {
        failedA = std::current_exception();
    }
    helper.join();
    tracesB.Replay();
    if (failedA)
        std::rethrow_exception(failedA);
    if (failedB)
        std::rethrow_exception(failedB);
}

} // namespace G3OperandPair
