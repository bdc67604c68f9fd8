// The guards of one thread form a stack (each names the guard it was made
// inside), so a guard finds out whether it is nested by walking to the
// bottom; passes nest only a few deep.

#include "Geometry/mesh/G3PassCheck.h"

#if defined(G3_CHECK_PASSES)

#include "Geometry/foundation/GTrace.h"
#include "Geometry/mesh/G3MeshCheck.h"

#include <cstdio>
#include <cstdlib>

namespace {
thread_local G3PassCheck* innermost = nullptr;
}

namespace {
constexpr unsigned Bit(G3PassCheck::Mode m) { return 1u << m; }
} // namespace

G3PassCheck::G3PassCheck(G3Shell* s, const char* p, Mode m) : shell(s), pass(p), mode(m), outer(innermost)
{
    innermost = this;
    if (!shell || mode == kHold)
        return;
    if (mode == kHoldMarks) {
        checks = !Enclosed(Bit(kCheck) | Bit(kKeepingMarks) | Bit(kHold) | Bit(kHoldMarks));
        watchMarks = checks && G3MeshMarksCheck(shell).empty();
        return;
    }
    checks = !Enclosed(Bit(kCheck) | Bit(kKeepingMarks) | Bit(kHold));
    watchMarks = checks && mode == kCheck && !Enclosed(Bit(kHoldMarks)) && G3MeshMarksCheck(shell).empty();
}

G3PassCheck::~G3PassCheck()
{
    innermost = outer;
    if (!checks)
        return;
    std::string fault = G3MeshCheck(shell);
    if (fault.empty() && watchMarks)
        fault = G3MeshMarksCheck(shell);
    if (!fault.empty())
        Fail(pass, fault);
}

bool G3PassCheck::Enclosed(unsigned modes) const
{
    for (const G3PassCheck* g = outer; g; g = g->outer)
        if (g->shell == shell && (modes & Bit(g->mode)))
            return true;
    return false;
}

void G3PassCheck::Require(const char* p, const std::string& fault)
{
    if (!fault.empty())
        Fail(p, fault);
}

void G3PassCheck::Fail(const char* p, const std::string& fault)
{
    GTrace("mesh check after %s: %s", p, fault.c_str());
    std::fprintf(stderr, "mesh check after %s: %s\n", p, fault.c_str());
    std::fflush(stderr);
    std::abort();
}

#endif
