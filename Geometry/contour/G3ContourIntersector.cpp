// The contour intersector's loading protocol; the arrangement itself is
// G3ContourArrangement's.
//
// Invariants: an engine exists only between LoadBegin (with a valid axis
// pair) and DoIntersect or Finit; every call finding no engine, an ended
// load or a point that is not finite or lies beyond kLargestCoordinate
// (where the arrangement's products of coordinates would overflow) does
// nothing. No rounding here.

#include "Geometry/contour/G3ContourIntersector.h"

#include "Geometry/contour/G3ContourArrangement.h"
#include "Geometry/math/GTolerance.h"

#include <cmath>

namespace {

bool InRange3(const double* p)
{
    const double limit = GTolerance::kLargestCoordinate;
    return p && std::fabs(p[0]) <= limit && std::fabs(p[1]) <= limit && std::fabs(p[2]) <= limit;
}

} // namespace

G3ContourIntersector::G3ContourIntersector() = default;

G3ContourIntersector::~G3ContourIntersector() { Finit(); }

void G3ContourIntersector::Finit()
{
    delete engine;
    engine = nullptr;
}

void G3ContourIntersector::LoadBegin(int xCoo, int yCoo)
{
    Finit();
    G3ContourArrangement* e = new G3ContourArrangement(xCoo, yCoo);
    if (e->Valid())
        engine = e;
    else
        delete e;
}

void G3ContourIntersector::TriangleLoad(double* p1, double* p2, double* p3, int f1, int f2, int f3)
{
    if (!engine || engine->Ended() || !InRange3(p1) || !InRange3(p2) || !InRange3(p3))
        return;
    engine->AddTriangle(p1, p2, p3, f1, f2, f3);
}

void G3ContourIntersector::ContourBeginLoad(double* p)
{
    if (!engine || engine->Ended() || !InRange3(p))
        return;
    engine->BeginContour(p);
}

void G3ContourIntersector::ContourLoadSegment(double* p, SEGMENT_TYPE, int flags)
{
    if (!engine || engine->Ended() || !InRange3(p))
        return;
    engine->ContourPoint(p, flags);
}

void G3ContourIntersector::ContourEndLoad(SEGMENT_TYPE, int flags)
{
    if (!engine || engine->Ended())
        return;
    engine->CloseContour(flags);
}

void G3ContourIntersector::NextContourRegion()
{
    if (!engine || engine->Ended())
        return;
    engine->NextRegion();
}

void G3ContourIntersector::LoadEnd()
{
    if (!engine || engine->Ended())
        return;
    if (engine->ContourOpen())
        engine->CloseContour(0);
    engine->End();
}

bool G3ContourIntersector::DoIntersect(BOOLEAN_OPERATION op)
{
    if (!engine)
        return false;
    LoadEnd();
    const bool sent = engine->Deliver(static_cast<int>(op), receiver);
    Finit();
    return sent;
}
