#pragma once
// Optional self-check of the mesh passes. Built with G3_CHECK_PASSES (the
// CMake option of that name), a pass that opens with
//
//     G3_CHECK_PASS(this, "RemoveEqualsVertex");
//
// runs G3MeshCheck on the shell when it returns, and G3MeshMarksCheck when
// the shell held no scratch marks as the pass began (a mesh read from a
// dump may carry its writer's marks). A broken mesh is reported
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
//
// Scratch marks (Mark to Mark4) are checked too: a pass that began on a
// shell without marks must leave none (G3MeshMarksCheck). Passes that take
// entities in with their flags as they are (Copy, the dump readers) open
// with G3_CHECK_PASS_KEEPING_MARKS instead, and an operation that hands
// marks from one of its passes to the next wraps them in
// G3_HOLD_PASS_MARKS(shell): the passes inside check everything but marks,
// and the operation's own end checks the marks it held.
//
// A pass that skips forming planes again on its caller's word that they
// are fresh checks that word with G3_CHECK_PLANES_FRESH(shell, pass)
// (G3StalePlanesCheck).

#include "Geometry/mesh/G3MeshCheck.h"

#include <string>

class G3Shell;

#if defined(G3_CHECK_PASSES)

class G3PassCheck {
public:
    enum Mode {
        kCheck,        // consistency, and marks when there were none at the start
        kKeepingMarks, // consistency only
        kHoldMarks,    // inner passes skip marks; marks checked at the end
        kHold,         // inner passes and the end check nothing
    };
    // `pass` must outlive the guard (a string literal).
    G3PassCheck(G3Shell* shell, const char* pass, Mode mode = kCheck);
    ~G3PassCheck();
    G3PassCheck(const G3PassCheck&) = delete;
    G3PassCheck& operator=(const G3PassCheck&) = delete;

    // Fails `pass` as a broken mesh does when `fault` is not empty.
    static void Require(const char* pass, const std::string& fault);

private:
    // Traces and prints `fault` for `pass`, then aborts.
    [[noreturn]] static void Fail(const char* pass, const std::string& fault);
    // Whether an enclosing guard of this thread on the same shell has one
    // of the modes in `modes` (a bit per Mode).
    bool Enclosed(unsigned modes) const;

    G3Shell* shell;
    const char* pass;
    Mode mode;
    G3PassCheck* outer;
    bool checks = false;     // outermost (a marks hold does not count)
    bool watchMarks = false; // and no marks at the start, none held outside
};

#define G3_PASS_CHECK_JOIN2(a, b) a##b
#define G3_PASS_CHECK_JOIN(a, b) G3_PASS_CHECK_JOIN2(a, b)
#define G3_CHECK_PASS(shell, pass) G3PassCheck G3_PASS_CHECK_JOIN(g3PassCheck, __LINE__)((shell), (pass))
#define G3_CHECK_PASS_KEEPING_MARKS(shell, pass)                                                                    \
    G3PassCheck G3_PASS_CHECK_JOIN(g3PassCheck, __LINE__)((shell), (pass), G3PassCheck::kKeepingMarks)
#define G3_HOLD_PASS_MARKS(shell, pass)                                                                             \
    G3PassCheck G3_PASS_CHECK_JOIN(g3PassMarks, __LINE__)((shell), (pass), G3PassCheck::kHoldMarks)
#define G3_HOLD_PASS_CHECKS(shell) G3PassCheck G3_PASS_CHECK_JOIN(g3PassHold, __LINE__)((shell), "hold", G3PassCheck::kHold)
#define G3_CHECK_PLANES_FRESH(shell, pass) G3PassCheck::Require((pass), G3StalePlanesCheck(shell))

#else

#define G3_CHECK_PASS(shell, pass) static_cast<void>(0)
#define G3_CHECK_PASS_KEEPING_MARKS(shell, pass) static_cast<void>(0)
#define G3_HOLD_PASS_MARKS(shell, pass) static_cast<void>(0)
#define G3_HOLD_PASS_CHECKS(shell) static_cast<void>(0)
#define G3_CHECK_PLANES_FRESH(shell, pass) static_cast<void>(0)

#endif
