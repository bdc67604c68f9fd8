// Construction of the engine and the attaching and removal of its working
// data. OpenBoolean and CloseBoolean keep the shell's invariant that outside
// a boolean no scratch link is set: closing runs every close hook before the
// provider and its arena go, so no link is left pointing into freed records.
#include "Geometry/boolean/G3BooleanCalculator.h"

#include "Geometry/boolean/G3BooleanData.h"
#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/mesh/G3Grid.h"
#include "Geometry/mesh/G3FacetTree.h"
#include "Geometry/mesh/G3Surface.h"

G3BooleanCalculator::G3BooleanCalculator()
{
    candidates = new GArrayCollection();
    edgeStack = new GArrayCollection();
}

G3BooleanCalculator::~G3BooleanCalculator()
{
    delete grid;
    delete queryTree;
    ReleaseRayGrid();
    delete rayCandidates;
    delete candidates;
    delete edgeStack;
}

namespace {

// Attaches a fresh provider to s and opens every entity, each facet forming
// its plane as its record opens when formPlanes is set; facets made later
// take the plane they are given.
bool Open(G3Surface* s, bool formPlanes)
{
    G3BooleanDataProvider* p = new G3BooleanDataProvider(formPlanes);
    s->SetExDataProvider(p);
    s->OpenExData();
    p->FormPlanes(false);
    return true;
}

} // namespace

bool G3BooleanCalculator::OpenBoolean(G3Surface* s)
{
    if (!s)
        return false;
    CloseBoolean(s);
    return Open(s, false);
}

bool G3BooleanCalculator::OpenBooleanFormingPlanes(G3Surface* s)
{
    if (!s)
        return false;
    CloseBoolean(s);
    return Open(s, true);
}

bool G3BooleanCalculator::CloseBoolean(G3Surface* s)
{
    if (!s || !dynamic_cast<G3BooleanDataProvider*>(s->GetExDataProvider()))
        return false;
    s->CloseExData();
    s->RemoveExDataProvider();
    return true;
}
