// The handler's contours and records. Invariants: a stored contour is
// closed (first point repeated last), clockwise, free of crossings between
// its segments, and owned with its points by `contours`; the open contour
// is owned by the handler until EndContour. The one place it rounds is the
// intersection of offset lines (G3LineTest).

#include "Geometry/terrain/G3LandscapeHandler.h"

#include "Geometry/math/G3SegmentTest.h"
#include "Geometry/math/GTolerance.h"
#include "Geometry/mesh/G3Point.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/mesh/G3Vertex.h"
#include "Geometry/roof/G3RoofGenerator.h"
#include "Geometry/terrain/triangulation/G3TVertex.h"

#include <algorithm>
#include <cmath>

G_DEFINE_POOL(G3Derivative, "G3Derivative", 65536)

G3Derivative* G3Derivative::Average(const G3Derivative* a, const G3Derivative* b)
{
    G3Derivative* d = new G3Derivative();
    if (a && b) {
        d->zx = (a->zx + b->zx) / 2.0;
        d->zy = (a->zy + b->zy) / 2.0;
        d->zxy = (a->zxy + b->zxy) / 2.0;
        d->zxx = (a->zxx + b->zxx) / 2.0;
        d->zyx = (a->zyx + b->zyx) / 2.0;
        d->zyy = (a->zyy + b->zyy) / 2.0;
    }
    return d;
}

G3Derivative* G3Derivative::Average(const G3Derivative* a, const G3Derivative* b, const G3Derivative* c)
{
    G3Derivative* d = new G3Derivative();
    if (a && b && c) {
        d->zx = (a->zx + b->zx + c->zx) / 3.0;
        d->zy = (a->zy + b->zy + c->zy) / 3.0;
        d->zxy = (a->zxy + b->zxy + c->zxy) / 3.0;
        d->zxx = (a->zxx + b->zxx + c->zxx) / 3.0;
        d->zyx = (a->zyx + b->zyx + c->zyx) / 3.0;
        d->zyy = (a->zyy + b->zyy + c->zyy) / 3.0;
    }
    return d;
}

double G3Derivative::Estimate(const double* at, double px, double py) const
{
    const double dx = px - at[0];
    const double dy = py - at[1];
    return at[2] + zx * dx + zy * dy + 0.5 * (zxx * dx * dx + zxy * dx * dy + zyx * dy * dx + zyy * dy * dy);
}

G3LandscapeHandler::G3LandscapeHandler() = default;

G3LandscapeHandler::~G3LandscapeHandler()
{
    for (int i = 0; i < contours.size(); ++i)
        ReleaseContour(static_cast<GArrayCollection*>(contours.get(i)));
    contours.clear();
    ReleaseContour(currentContour);
    currentContour = nullptr;
}

void G3LandscapeHandler::ReleaseContour(GArrayCollection* contour)
{
    if (contour == nullptr)
        return;
    contour->clear(true);
    delete contour;
}

void G3LandscapeHandler::StartContour()
{
    ReleaseContour(currentContour);
    currentContour = new GArrayCollection();
}

void G3LandscapeHandler::AddContourVertex(double x, double y, double z)
{
    if (currentContour == nullptr || !std::isfinite(x) || !std::isfinite(y) || !std::isfinite(z))
        return;
    G3Point* p = new G3Point(x, y, z, 0);
    const int n = currentContour->size();
    if (n > 0 && p->Equals(currentContour->get(n - 1))) {
        delete p;
        return;
    }
    currentContour->add(p);
}

namespace {

const double* At(GArrayCollection* c, int i) { return static_cast<G3Point*>(c->get(i))->GetXYZ(); }

} // namespace

// Any two segments that do not share a point cross or touch. Every pair is
// tested (neighbours share an end and are skipped, as are the first and the
// last segment, which meet at the closing point), not only the inner ones:
// a crossing through the first segment is as much a crossing.
bool G3LandscapeHandler::CrossesItself(GArrayCollection* c)
{
    const int segments = c ? c->size() - 1 : 0;
    for (int i = 0; i < segments; ++i)
        for (int j = i + 2; j < segments; ++j) {
            if (i == 0 && j == segments - 1)
                continue;
            if (G3SegmentTest(At(c, i), At(c, i + 1), At(c, j), At(c, j + 1)))
                return true;
        }
    return false;
}

bool G3LandscapeHandler::EndContour()
{
    GArrayCollection* c = currentContour;
    if (c == nullptr)
        return false;
    currentContour = nullptr;
    const int n = c->size();
    // A closed contour needs three distinct points and the closing repeat;
    // an unclosed one would leave its last segment out of every test.
    if (n < 4 || !static_cast<G3Point*>(c->get(0))->Equals(c->get(n - 1)) ||
        G3RoofGenerator::GetClockWiseDirection(c) == 0 || CrossesItself(c)) {
        ReleaseContour(c);
        return false;
    }
    if (G3RoofGenerator::GetClockWiseDirection(c) < 0)
        for (int i = 0; i < n / 2; ++i) {
            GObj* t = c->get(i);
            c->put(i, c->get(n - 1 - i));
            c->put(n - 1 - i, t);
        }
    contours.add(c);
    return true;
}

bool G3LandscapeHandler::CrossesRayUp(const double* a, const double* b, double x, double y)
{
    // The ray runs just left of x. Each end is below it or not (an end on
    // it counts as not), so two segments meeting at an end agree on which
    // side it lies: far from the origin x - 1e-12 rounds to x, and a corner
    // right on the ray was then counted by neither of its segments.
    const double xs = x - GTolerance::kZeroNormal;
    // A vertical segment never lies on both sides: its ends are counted by
    // its neighbours.
    if ((a[0] < xs) == (b[0] < xs))
        return false;
    // Ends on both sides: dx is not zero, and the crossing lies on the
    // segment however close to upright it stands.
    const double dx = b[0] - a[0];
    const double yi =
        std::clamp((x - a[0]) * (b[1] - a[1]) / dx + a[1], std::min(a[1], b[1]), std::max(a[1], b[1]));
    return yi > y;
}

bool G3LandscapeHandler::PointInOneContour(GArrayCollection* c, double x, double y)
{
    bool inside = false;
    if (c == nullptr)
        return false;
    for (int k = 0; k + 1 < c->size(); ++k)
        inside = inside != CrossesRayUp(At(c, k), At(c, k + 1), x, y);
    return inside;
}

bool G3LandscapeHandler::PointInContour(GArrayCollection* list, double x, double y)
{
    for (int i = 0; list && i < list->size(); ++i)
        if (PointInOneContour(static_cast<GArrayCollection*>(list->get(i)), x, y))
            return true;
    return false;
}

namespace {

// The segment a-b moved left by `distance` into o0-o1; false when a and b
// are one point.
bool OffsetSegment(const G3Point* a, const G3Point* b, double distance, double* o0, double* o1)
{
    if (a->Equals(b))
        return false;
    const double dx = b->GetX() - a->GetX();
    const double dy = b->GetY() - a->GetY();
    const double len = std::sqrt(dx * dx + dy * dy);
    if (!(len >= GTolerance::kZeroLength))
        return false; // a vertical step: no direction in plan
    const double nx = -dy / len * distance;
    const double ny = dx / len * distance;
    o0[0] = a->GetX() + nx;
    o0[1] = a->GetY() + ny;
    o0[2] = a->GetZ();
    o1[0] = b->GetX() + nx;
    o1[1] = b->GetY() + ny;
    o1[2] = b->GetZ();
    return true;
}

} // namespace

bool G3LandscapeHandler::OffsetContour(GArrayCollection* in, GArrayCollection* out, double distance)
{
    if (in == nullptr || out == nullptr || in->size() < 3 || !std::isfinite(distance))
        return false;
    const int n = in->size();
    const int start = out->size();
    for (int i = 0; i + 1 < n; ++i) {
        const G3Point* p0 = static_cast<G3Point*>(in->get(i));
        const G3Point* p1 = static_cast<G3Point*>(in->get(i + 1));
        const G3Point* p2 = static_cast<G3Point*>(in->get(i + 2 == n ? 1 : i + 2));
        double a0[3], a1[3], b0[3], b1[3];
        if (!OffsetSegment(p0, p1, distance, a0, a1) || !OffsetSegment(p1, p2, distance, b0, b1))
            continue;
        double t = 0.0;
        if (!G3LineTest(a0, a1, b0, b1, &t, nullptr))
            continue;
        out->add(new G3Point(a0[0] + (a1[0] - a0[0]) * t, a0[1] + (a1[1] - a0[1]) * t, p0->GetZ(), 0));
    }
    if (out->size() == start)
        return false;
    out->add(new G3Point(static_cast<G3Point*>(out->get(start))->GetXYZ(), 0));
    return true;
}

void G3LandscapeHandler::CopyExtData()
{
    const int n = GetVertexCount();
    for (int i = 0; i < n; ++i) {
        G3TVertex* t = GetVertex(i);
        G3Vertex* v = t ? t->GetOutputVertex() : nullptr;
        // The read-back repointed merged points to their survivor and cleared
        // removed ones: only live vertices are written, each once.
        if (v != nullptr && v->GetExData() == nullptr)
            v->SetExData(static_cast<GObj*>(t->GetUserData()));
    }
}

void G3LandscapeHandler::ReleaseRecords(G3Surface* surface)
{
    for (int i = 0; surface && i < surface->GetVertexCount(); ++i) {
        G3Vertex* v = surface->GetVertex(i);
        delete v->GetExData();
        v->SetExData(nullptr);
    }
}
