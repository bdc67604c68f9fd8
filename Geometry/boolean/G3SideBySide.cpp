#include "Geometry/boolean/G3SideBySide.h"

#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/foundation/GTrace.h"
#include "Geometry/mesh/G3Obj.h"
#include "Geometry/mesh/G3Surface.h"

#include <atomic>
#include <exception>
#include <system_error>
#include <thread>

namespace G3SideBySide {

namespace {

std::atomic<bool> helperAllowed{true};

bool Large(const G3Surface* s) { return s && s->GetFacetCount() >= kParallelFacets; }

} // namespace

void AllowHelperThread(bool allowed) { helperAllowed.store(allowed, std::memory_order_relaxed); }

bool HelperThreadAllowed() { return helperAllowed.load(std::memory_order_relaxed); }

void Run(bool worthIt, const std::function<void()>& first, const std::function<void()>& second)
{
    // Object providers keep one current source for the whole process while
    // facets are made from others (G3FacetMadeFrom.h) and release records
    // as facets go: with one registered, the steps run one after the other.
    if (!worthIt || !HelperThreadAllowed() || G3Obj::GetProviderList()->size() > 0) {
        first();
        second();
        return;
    }
    GTraceCapture tracesOfSecond;
    std::exception_ptr failedSecond;
    std::thread helper;
    try {
        helper = std::thread([&] {
            const GTraceCapture::Scope scope(tracesOfSecond);
            try {
                second();
            } catch (...) {
                failedSecond = std::current_exception();
            }
        });
    } catch (const std::system_error&) {
        // No thread to be had: the serial road gives the same results.
        first();
        second();
        return;
    }
    std::exception_ptr failedFirst;
    try {
        first();
    } catch (...) {
        failedFirst = std::current_exception();
    }
    helper.join();
    tracesOfSecond.Replay();
    if (failedFirst)
        std::rethrow_exception(failedFirst);
    if (failedSecond)
        std::rethrow_exception(failedSecond);
}

void RunForOperands(const G3Surface* a, const G3Surface* b, const std::function<void()>& stepA,
                    const std::function<void()>& stepB)
{
    Run(Large(a) && Large(b), stepA, stepB);
}

void RunHalves(int count, const std::function<void(int, int, int)>& body)
{
    const int half = count / 2;
    Run(
        half >= kParallelFacets, [&] { body(0, 0, half); }, [&] { body(1, half, count); });
}

} // namespace G3SideBySide
