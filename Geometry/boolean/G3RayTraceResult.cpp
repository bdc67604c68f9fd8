// The nearest-hit receiver. Invariants: the hit list is ascending by
// distance, a record joining it after those at an equal distance; the
// nearest-hit fields always describe one single hit (or none, distance -1).
#include "Geometry/boolean/G3RayTraceResult.h"

#include <cmath>

namespace {

void Copy3(double* to, const double* from)
{
    for (int k = 0; k < 3; ++k)
        to[k] = from ? from[k] : 0.0;
}

} // namespace

G3RayTraceMetricResult::G3RayTraceMetricResult() = default;

G3RayTraceMetricResult::G3RayTraceMetricResult(const double* eyePosition) { Copy3(eye, eyePosition); }

G3RayTraceMetricResult::~G3RayTraceMetricResult()
{
    while (hits) {
        Hit* next = hits->next;
        delete hits;
        hits = next;
    }
}

bool G3RayTraceMetricResult::SetEyePosition(double x, double y, double z)
{
    eye[0] = x;
    eye[1] = y;
    eye[2] = z;
    return true;
}

double G3RayTraceMetricResult::Measure(const double* point) const
{
    if (!point)
        return -1.0;
    const double d = std::sqrt((point[0] - eye[0]) * (point[0] - eye[0]) + (point[1] - eye[1]) * (point[1] - eye[1]) +
                               (point[2] - eye[2]) * (point[2] - eye[2]));
    return std::isfinite(d) ? d : -1.0;
}

void G3RayTraceMetricResult::Insert(Hit* h)
{
    Hit** at = &hits;
    while (*at && (*at)->distance <= h->distance)
        at = &(*at)->next;
    h->next = *at;
    *at = h;
}

void G3RayTraceMetricResult::TakeNearest(double d, int kind, const double* point, const double* normal)
{
    distance = d;
    hitKind = kind;
    Copy3(hitPoint, point);
    Copy3(hitPointNormal, normal);
    Copy3(hitCurvAxis1, nullptr);
    Copy3(hitCurvAxis2, nullptr);
    hitEdge = nullptr;
    hitFacet = nullptr;
    hitVertex = nullptr;
    object = nullptr;
    modelerData = nullptr;
}

G3RayTraceMetricResult::Hit* G3RayTraceMetricResult::AddHit(double d, const double* point, const double* normal,
                                                             const double* curvAxis1, const double* curvAxis2)
{
    Hit* h = new Hit();
    h->distance = d;
    Copy3(h->point, point);
    Copy3(h->normal, normal);
    Copy3(h->curvAxis1, curvAxis1);
    Copy3(h->curvAxis2, curvAxis2);
    Insert(h);
    return h;
}

bool G3RayTraceMetricResult::TakeNearestCurved(double d, int kind, const double* point, const double* normal,
                                               const double* curvAxis1, const double* curvAxis2)
{
    if (!IsNearer(d))
        return false;
    TakeNearest(d, kind, point, normal);
    Copy3(hitCurvAxis1, curvAxis1);
    Copy3(hitCurvAxis2, curvAxis2);
    return true;
}

bool G3RayTraceMetricResult::FindFacet(const double* point, const double* normal, const double* curvAxis1,
                                       const double* curvAxis2, G3Facet* facet)
{
    const double d = Measure(point);
    if (d < 0.0)
        return false;
    AddHit(d, point, normal, curvAxis1, curvAxis2)->facet = facet;
    if (!TakeNearestCurved(d, HIT_FACET, point, normal, curvAxis1, curvAxis2))
        return false;
    hitFacet = facet;
    return true;
}

bool G3RayTraceMetricResult::FindObject(const double* point, const double* normal, const double* curvAxis1,
                                        const double* curvAxis2, void* obj, void* data)
{
    const double d = Measure(point);
    if (d < 0.0)
        return false;
    Hit* h = AddHit(d, point, normal, curvAxis1, curvAxis2);
    h->object = obj;
    h->modelerData = data;
    if (!TakeNearestCurved(d, HIT_OBJECT, point, normal, curvAxis1, curvAxis2))
        return false;
    object = obj;
    modelerData = data;
    return true;
}

bool G3RayTraceMetricResult::FindEdge(const double* point, const double* normal, G3Edge* edge)
{
    const double d = Measure(point);
    if (d < 0.0 || !IsNearer(d))
        return false;
    TakeNearest(d, HIT_EDGE, point, normal);
    hitEdge = edge;
    return true;
}

bool G3RayTraceMetricResult::FindVertex(const double* point, const double* normal, G3Vertex* vertex)
{
    const double d = Measure(point);
    if (d < 0.0 || !IsNearer(d))
        return false;
    TakeNearest(d, HIT_VERTEX, point, normal);
    hitVertex = vertex;
    return true;
}
