#pragma once
// Optional self-check of the mesh passes. Built with G3_CHECK_PASSES (the
// CMake option of that name), a pass that opens with
//
//     G3_CHECK_PASS(this, "RemoveEqualsVertex");
//
// runs G3MeshCheck on the shell when it returns. A broken mesh is reported
// through the trace hook and on stderr, naming the pass and the broken
// invariant, and the process aborts, so that a test run fails loudly at
// the first pass that leaves the mesh broken. Without the option the macro
// is nothing and costs nothing.
//
// Only the outermost pass on a shell checks: a pass that calls other passes
// of the same shell (welding calls RemoveUnused, the complex-facet bracket
// calls AddFacet) is checked once, at its own exit, since the mesh may be
// legitimately mid-operation between its steps. Calls that hand state to
// each other across returns keep the mesh consistent at every return, so a
// check in between finds nothing: the weld's halves pass their marks in the
// vertices' scratch links, the complex-facet bracket collects ordinary
// facets, a preview transformation moves coordinates only. The one pass
// that returns a mesh for its caller to finish, ChangeVertex with a list of
// collapsed edges, does not check itself.
//
// The elementary construction steps (AddVertex, AddEdge, the vertex forms
// of AddFacet, AddPolyEdge) are not checked: a builder calls them once per
// entity, and a whole-mesh check after each would make building quadratic.
// The first checked pass afterwards sees what they built; a builder that
// makes a whole surface (the terrain's) checks it once at its end.
//
// Code that holds a shell mid-operation across several passes of its own
// wraps them in G3_HOLD_PASS_CHECKS(shell): passes inside the hold do not
// check, and nothing checks at its end (the holder finishes the mesh).

#include <string>

class G3Shell;

#if defined(G3_CHECK_PASSES)

class G3PassCheck {
public:
    // `pass` must outlive the guard (a string literal).
    G3PassCheck(G3Shell* shell, const char* pass, bool hold = false);
    ~G3PassCheck();
    G3PassCheck(const G3PassCheck&) = delete;
    G3PassCheck& operator=(const G3PassCheck&) = delete;

private:
    // Traces and prints `fault` for `pass`, then aborts.
    [[noreturn]] static void Fail(const char* pass, const std::string& fault);
    // Whether an enclosing guard of this thread watches the same shell.
    bool Nested() const;

    G3Shell* shell;
    const char* pass;
    bool hold;
    G3PassCheck* outer;
};

#define G3_PASS_CHECK_JOIN2(a, b) a##b
#define G3_PASS_CHECK_JOIN(a, b) G3_PASS_CHECK_JOIN2(a, b)
#define G3_CHECK_PASS(shell, pass) G3PassCheck G3_PASS_CHECK_JOIN(g3PassCheck, __LINE__)((shell), (pass))
#define G3_HOLD_PASS_CHECKS(shell) G3PassCheck G3_PASS_CHECK_JOIN(g3PassHold, __LINE__)((shell), "hold", true)

#else

#define G3_CHECK_PASS(shell, pass) static_cast<void>(0)
#define G3_HOLD_PASS_CHECKS(shell) static_cast<void>(0)

#endif
