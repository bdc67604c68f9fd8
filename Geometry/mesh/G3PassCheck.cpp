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

G3PassCheck::G3PassCheck(G3Shell* s, const char* p, bool h) : shell(s), pass(p), hold(h), outer(innermost)
{
    innermost = this;
}

G3PassCheck::~G3PassCheck()
{
    innermost = outer;
    if (hold || !shell || Nested())
        return;
    const std::string fault = G3MeshCheck(shell);
    if (!fault.empty())
        Fail(pass, fault);
}

bool G3PassCheck::Nested() const
{
    for (const G3PassCheck* g = outer; g; g = g->outer)
        if (g->shell == shell)
            return true;
    return false;
}

void G3PassCheck::Fail(const char* p, const std::string& fault)
{
    GTrace("mesh check after %s: %s", p, fault.c_str());
    std::fprintf(stderr, "mesh check after %s: %s\n", p, fault.c_str());
    std::fflush(stderr);
    std::abort();
}

#endif
