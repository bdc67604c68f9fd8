#include "Geometry/math/G3Math.h"

#include "Geometry/foundation/GCollection.h"
#include "Geometry/math/GEnvelope.h"
#include "Geometry/math/GMatrix.h"
#include "Geometry/math/GTolerance.h"
#include "Geometry/mesh/G3Facet.h"
#include "Geometry/mesh/G3Point.h"
#include "Geometry/mesh/G3Vertex.h"

#include <cfloat>
#include <cmath>
#include <vector>

namespace {

const double kTwoPi = 2.0 * 3.14159265358979323846;

using GTolerance::kZeroArea;
using GTolerance::kZeroLength;

inline bool ValidPair(int i, int j) { return i >= 0 && i <= 2 && j >= 0 && j <= 2; }

// The next point of a polygon sequence; null at its end. Nulls and objects
// that are not points are skipped.
const G3Point* NextPoint(GIterator* it)
{
    while (it->hasNext())
        if (const G3Point* p = dynamic_cast<const G3Point*>(it->next()))
            return p;
    return nullptr;
}

void GatherPoints(GIterator* it, std::vector<const double*>* out)
{
    if (!it)
        return;
    while (const G3Point* p = NextPoint(it))
        out->push_back(p->GetXYZ());
}

void ZeroPlane(double* plane) { plane[0] = plane[1] = plane[2] = plane[3] = 0.0; }

}  // namespace

// ---------------------------------------------------------------- planes

namespace {

// Newell's vector of the closed polygon pts[0..n-1] (n >= 1) into nv: twice
// the area along the normal, summed relative to the first point. With
// `terms`, also the sums of the terms' magnitudes, per component, which
// bound the rounding of nv. Every AddFacet comes through here, so it is
// written out rather than with the vector helpers, and the wrap to the first
// point is a test, not a division per corner.
inline void AreaVector(const double* const* pts, int n, double* nv, double* terms)
{
    const double* p0 = pts[0];
    nv[0] = nv[1] = nv[2] = 0.0;
    if (terms)
        terms[0] = terms[1] = terms[2] = 0.0;
    for (int k = 1; k < n; ++k) {
        const double* p = pts[k];
        const double* prev = pts[k - 1];
        const double* next = k + 1 < n ? pts[k + 1] : p0;
        const double t[3] = {(p[2] - p0[2]) * (prev[1] - next[1]), (p[0] - p0[0]) * (prev[2] - next[2]),
                             (p[1] - p0[1]) * (prev[0] - next[0])};
        for (int c = 0; c < 3; ++c)
            nv[c] += t[c];
        if (terms)
            for (int c = 0; c < 3; ++c)
                terms[c] += std::fabs(t[c]);
    }
}

// The polygon has an area that is more than the rounding of its own sum. A
// chain that runs out and back has none, yet its sum rounds to a small
// vector of arbitrary direction; each component of the sum is off by at most
// about (n + 1) ulps of its terms' magnitudes.
bool HasArea(const double* const* pts, int n)
{
    double nv[3], terms[3];
    AreaVector(pts, n, nv, terms);
    const double rounding = (n + 1) * DBL_EPSILON;
    for (int c = 0; c < 3; ++c)
        if (std::fabs(nv[c]) > rounding * terms[c])
            return true;
    return false;
}

}  // namespace

// Area-normal plane through the centroid of the closed polygon pts[0..n-1].
// The centroid and the normalisation are written out like the area vector
// (the same operations in the same order as the vector helpers, so the same
// bits).
bool G3Math::PlaneOfPolygon(const double* const* pts, int n, double* plane)
{
    const int whole = 0;
    return PlaneOfContours(pts, n, &whole, 1, plane);
}

bool G3Math::PlaneOfContours(const double* const* pts, int n, const int* starts, int count, double* plane)
{
    if (!plane)
        return false;
    if (n < 3 || !pts || !starts || count < 1) {
        ZeroPlane(plane);
        return false;
    }
    // One contour takes its area vector as it is (not added to zero, which
    // would turn a -0 into +0): the plane of a polygon keeps its bits.
    double nv[3] = {0.0, 0.0, 0.0};
    for (int k = 0; k < count; ++k) {
        const int from = starts[k], to = k + 1 < count ? starts[k + 1] : n;
        if (from < 0 || to > n || to - from < 1)
            continue;
        double part[3];
        AreaVector(pts + from, to - from, part, nullptr);
        for (int c = 0; c < 3; ++c)
            nv[c] = count == 1 ? part[c] : nv[c] + part[c];
    }
    const double len = std::sqrt(nv[0] * nv[0] + nv[1] * nv[1] + nv[2] * nv[2]);
    if (!(len >= GTolerance::kZeroNormal)) {
        ZeroPlane(plane);
        return false;
    }
    double centroid[3] = {0.0, 0.0, 0.0};
    for (int k = 0; k < n; ++k)
        for (int c = 0; c < 3; ++c)
            centroid[c] = centroid[c] + pts[k][c];
    const double inverse = 1.0 / n;
    for (int c = 0; c < 3; ++c)
        centroid[c] *= inverse;
    for (int c = 0; c < 3; ++c)
        plane[c] = nv[c] / len;
    plane[3] = -(centroid[0] * plane[0] + centroid[1] * plane[1] + centroid[2] * plane[2]);
    return true;
}

// ---------------------------------------------------------------- triangles

double G3Math::GetArea2(const double* a, const double* b, const double* c, int i, int j)
{
    if (!ValidPair(i, j))
        return 0.0;
    return (b[i] - a[i]) * (c[j] - a[j]) - (c[i] - a[i]) * (b[j] - a[j]);
}

int G3Math::GetAreaSign(const double* a, const double* b, const double* c, int i, int j)
{
    const double s = GetArea2(a, b, c, i, j);
    if (std::fabs(s) < kZeroArea)
        return 0;
    return s > 0.0 ? 1 : -1;
}

bool G3Math::IsCollinear(const double* a, const double* b, const double* c, int i, int j)
{
    return GetAreaSign(a, b, c, i, j) == 0;
}

namespace {

// (p - a) . (b - a) on (i, j).
double ProjectedDot(const double* p, const double* a, const double* b, int i, int j)
{
    return (p[i] - a[i]) * (b[i] - a[i]) + (p[j] - a[j]) * (b[j] - a[j]);
}

// p lies on the projected segment a-b: across it within GetAreaSign's zero,
// and past either end by no more than the same measure taken along it (the
// area p spans with the perpendicular at that end). A segment shorter than
// kZeroLength is a point, which holds only the points within kZeroLength.
bool OnProjectedSegment(const double* p, const double* a, const double* b, int i, int j)
{
    const double len2 = ProjectedDot(b, a, b, i, j);
    if (len2 < kZeroLength * kZeroLength) {
        // A side shorter than the tolerance holds the points within it of
        // the side, not only of its first end.
        const double t = len2 > 0.0 ? std::fmin(1.0, std::fmax(0.0, ProjectedDot(p, a, b, i, j) / len2)) : 0.0;
        const double dx = p[i] - (a[i] + t * (b[i] - a[i])), dy = p[j] - (a[j] + t * (b[j] - a[j]));
        return dx * dx + dy * dy < kZeroLength * kZeroLength;
    }
    return G3Math::GetAreaSign(a, b, p, i, j) == 0 && ProjectedDot(p, a, b, i, j) > -kZeroArea &&
           ProjectedDot(p, b, a, i, j) > -kZeroArea;
}

}  // namespace

bool G3Math::PointInTriangle(const double* p, const double* a, const double* b, const double* c,
                             int i, int j)
{
    if (!ValidPair(i, j))
        return false;
    // A triangle without area is its longest side (or a point): every sign
    // below would be 0 for any point on that side's line.
    if (IsCollinear(a, b, c, i, j)) {
        const double ab = ProjectedDot(b, a, b, i, j), bc = ProjectedDot(c, b, c, i, j),
                     ca = ProjectedDot(a, c, a, i, j);
        if (ab >= bc && ab >= ca)
            return OnProjectedSegment(p, a, b, i, j);
        return bc >= ca ? OnProjectedSegment(p, b, c, i, j) : OnProjectedSegment(p, c, a, i, j);
    }
    const int s1 = GetAreaSign(a, b, p, i, j);
    const int s2 = GetAreaSign(b, c, p, i, j);
    const int s3 = GetAreaSign(c, a, p, i, j);
    return (s1 >= 0 && s2 >= 0 && s3 >= 0) || (s1 <= 0 && s2 <= 0 && s3 <= 0);
}

bool G3Math::PointInTriangle(const G3Vertex* p, const G3Vertex* a, const G3Vertex* b,
                             const G3Vertex* c, int i, int j)
{
    if (!p || !a || !b || !c)
        return false;
    return PointInTriangle(p->GetXYZ(), a->GetXYZ(), b->GetXYZ(), c->GetXYZ(), i, j);
}

double G3Math::CalcSquare(double x1, double y1, double x0, double y0, double x2, double y2)
{
    return (x1 - x0) * (y2 - y0) - (y1 - y0) * (x2 - x0);
}

double G3Math::CalcSquare(double a, double b, double c, double d) { return a * d - b * c; }

double G3Math::CalcSquare(const double* p1, const double* p0, const double* p2, int i, int j)
{
    if (!ValidPair(i, j))
        return 0.0;
    return CalcSquare(p1[i], p1[j], p0[i], p0[j], p2[i], p2[j]);
}

double G3Math::CalcAngle(const double* p0, const double* p1, double base, int i, int j)
{
    if (!ValidPair(i, j))
        return 0.0;
    double a = std::atan2(p1[j] - p0[j], p1[i] - p0[i]);
    if (a < 0.0)
        a += kTwoPi;
    // A base outside one turn is taken modulo a turn: the result stays in
    // [0, 2pi) whatever the base (one turn added back is not enough then).
    if (!(base >= 0.0 && base < kTwoPi) && std::isfinite(base)) {
        base = std::fmod(base, kTwoPi);
        if (base < 0.0)
            base += kTwoPi;
    }
    a -= base;
    // Adding 2pi to a tiny negative angle may round to 2pi itself, hence
    // the second test is not an else.
    if (a < 0.0)
        a += kTwoPi;
    if (a >= kTwoPi)
        a -= kTwoPi;
    return a;
}

double G3Math::CalcAngle(const G3Vertex* p0, const G3Vertex* p1, double base, int i, int j)
{
    if (!p0 || !p1)
        return 0.0;
    return CalcAngle(p0->GetXYZ(), p1->GetXYZ(), base, i, j);
}

void G3Math::GetMaxCoo(const double* n, int* i, int* j)
{
    const double x = std::fabs(n[0]), y = std::fabs(n[1]), z = std::fabs(n[2]);
    int a, b;
    if (y <= x) {
        a = (z <= x) ? 1 : 0;
        b = (z <= x) ? 2 : 1;
    } else {
        a = 0;
        b = (z <= y) ? 2 : 1;
    }
    if (i) *i = a;
    if (j) *j = b;
}

int G3Math::FindLineIntersection(const double* a0, const double* a1, const double* b0,
                                 const double* b1, int i, int j, double* point, double* t)
{
    if (!ValidPair(i, j))
        return 0;
    const double den = (a1[i] - a0[i]) * (b1[j] - b0[j]) - (a1[j] - a0[j]) * (b1[i] - b0[i]);
    if (!(std::fabs(den) >= GTolerance::kZeroNormal))
        return 0;
    const double s =
        ((a0[j] - b0[j]) * (b1[i] - b0[i]) - (a0[i] - b0[i]) * (b1[j] - b0[j])) / den;
    if (t)
        *t = s;
    if (point)
        for (int k = 0; k < 3; ++k)
            point[k] = a0[k] + s * (a1[k] - a0[k]);
    return 1;
}

bool G3Math::CalculateNormal(const double* p0, const double* p1, const double* p2, double* n)
{
    double v[3];
    v[0] = p0[1] * (p1[2] - p2[2]) + p1[1] * (p2[2] - p0[2]) + p2[1] * (p0[2] - p1[2]);
    v[1] = p0[2] * (p1[0] - p2[0]) + p1[2] * (p2[0] - p0[0]) + p2[2] * (p0[0] - p1[0]);
    v[2] = p0[0] * (p1[1] - p2[1]) + p1[0] * (p2[1] - p0[1]) + p2[0] * (p0[1] - p1[1]);
    const double len = V3Length(v);
    if (!(len >= GTolerance::kZeroNormal)) {
        V3Zero(n);
        return false;
    }
    for (int k = 0; k < 3; ++k)
        n[k] = v[k] / len;
    return true;
}

// ---------------------------------------------------------------- polygons

double G3Math::CalcSquare(GIterator* it, double* n)
{
    V3Zero(n);
    std::vector<const double*> pts;
    GatherPoints(it, &pts);
    const size_t count = pts.size();
    for (size_t k = 0; k < count; ++k) {
        const double* p = pts[k];
        const double* q = pts[(k + 1) % count];
        n[0] += (p[1] - q[1]) * (p[2] + q[2]);
        n[1] += (p[2] - q[2]) * (p[0] + q[0]);
        n[2] += (p[0] - q[0]) * (p[1] + q[1]);
    }
    return 0.5 * V3Length(n);
}

bool G3Math::FormEnvelope(GIterator* it, GEnvelope* env)
{
    if (!env)
        return false;
    const G3Point* p = it ? NextPoint(it) : nullptr;
    if (!p) {
        env->Init();
        return false;
    }
    env->Init(p->GetXYZ());
    while ((p = NextPoint(it)) != nullptr)
        env->Add(p->GetXYZ());
    return true;
}

bool G3Math::FormPlaneEquation(GIterator* it, double* plane)
{
    std::vector<const double*> pts;
    GatherPoints(it, &pts);
    return PlaneOfPolygon(pts.data(), static_cast<int>(pts.size()), plane);
}

bool G3Math::FormMaxPlane(GIterator* it, double* plane)
{
    ZeroPlane(plane);
    std::vector<const double*> pts;
    GatherPoints(it, &pts);
    double best = 0.0;
    for (size_t k = 2; k < pts.size(); ++k) {
        double t[4];
        const double area = G3Facet::CalcRealSquareOfTriangle(pts[0], pts[k - 1], pts[k], t);
        if (area > best) {
            best = area;
            for (int c = 0; c < 4; ++c)
                plane[c] = t[c];
        }
    }
    if (best >= kZeroArea)
        return true;
    ZeroPlane(plane);
    return false;
}

int G3Math::ConvexTest(GIterator* it, int i, int j)
{
    if (!ValidPair(i, j))
        return 0;
    std::vector<const double*> pts;
    GatherPoints(it, &pts);
    const int n = static_cast<int>(pts.size());
    if (n < 3)
        return 0;
    bool negative = false, positive = false;
    // Every corner of the closed polygon, the one at the first point included
    // (a reflex first corner makes the polygon concave like any other).
    for (int k = 0; k < n; ++k) {
        const double s = CalcSquare(pts[k], pts[(k + 1) % n], pts[(k + 2) % n], i, j);
        if (std::fabs(s) >= GTolerance::kPlaneSide) {
            if (s < 0.0)
                negative = true;
            else
                positive = true;
        }
    }
    if (!negative && !positive)
        return 0;
    if (negative && positive)
        return 2;
    // Turning one way at every corner, the polygon is convex only when it
    // goes round once: a pentagram or a square walked twice turns by 4 pi.
    double turned = 0.0;
    for (int k = 0; k < n; ++k) {
        const double* a = pts[k];
        const double* b = pts[(k + 1) % n];
        const double* c = pts[(k + 2) % n];
        const double u[2] = {b[i] - a[i], b[j] - a[j]}, v[2] = {c[i] - b[i], c[j] - b[j]};
        turned += std::atan2(u[0] * v[1] - u[1] * v[0], u[0] * v[0] + u[1] * v[1]);
    }
    return std::fabs(turned) < 1.5 * kTwoPi ? 1 : 2;
}

namespace {

// The projection pair of the plane's normal into i and j (either may be null).
void StorePair(const double* plane, int* i, int* j)
{
    int pi = 0, pj = 1;
    G3Math::GetMaxCoo(plane, &pi, &pj);
    if (i) *i = pi;
    if (j) *j = pj;
}

// The corner planes of pts[0..n-1] summed, each turned to the side of the
// sum so far; false when no corner spans a plane. The offset is scaled by the
// same factor as the normal, so that the sum still passes through the
// corners when their normals disagree (a warped chain), wherever it lies.
bool SumOfCornerPlanes(const double* const* pts, int n, double* plane)
{
    ZeroPlane(plane);
    bool any = false;
    for (int k = 0; k < n; ++k) {
        const double* corner[3] = {pts[(k + n - 1) % n], pts[k], pts[(k + 1) % n]};
        double t[4];
        if (!G3Math::PlaneOfPolygon(corner, 3, t))
            continue;
        const double sign = (V3Dot(plane, t) >= 0.0) ? 1.0 : -1.0;
        for (int c = 0; c < 4; ++c)
            plane[c] += sign * t[c];
        any = true;
    }
    if (!any)
        return false;
    plane[3] /= V3Normalize(plane);
    return true;
}

// The plane through the line A-B and the origin (its normal A x B), or the
// horizontal plane through A when the two are closer than kZeroLength.
void PlaneOfLine(const double* A, const double* B, double* plane)
{
    double d[3];
    V3Sub(B, A, d);
    if (V3Length(d) >= kZeroLength) {
        V3OrtoVector(A, B, plane);
        V3Normalize(plane);
    } else {
        plane[0] = plane[1] = 0.0;
        plane[2] = 1.0;
    }
    plane[3] = -V3Dot(A, plane);
}

}  // namespace

bool G3Math::FormMaxPlaneCoo(GIterator* it, int* i, int* j, double* plane)
{
    std::vector<const double*> pts;
    GatherPoints(it, &pts);
    const int n = static_cast<int>(pts.size());
    if (n < 2) {
        plane[0] = plane[1] = 0.0;
        plane[2] = 1.0;
        plane[3] = (n == 1) ? -pts[0][2] : 0.0;
        if (i) *i = 0;
        if (j) *j = 1;
        return false;
    }
    // A polygon with an area gets its area plane: the normal is the
    // polygon's own (its side follows the orientation, whichever corner
    // comes first, and corners that are collinear up to rounding carry no
    // weight) and the plane passes through the centroid, so no corner of a
    // warped polygon lies farther from it than the warp itself, wherever the
    // polygon lies. Only a chain without area (one that runs out and back, a
    // figure eight) falls back to its corners.
    if (n >= 3 && ((HasArea(pts.data(), n) && PlaneOfPolygon(pts.data(), n, plane)) ||
                   SumOfCornerPlanes(pts.data(), n, plane))) {
        StorePair(plane, i, j);
        return true;
    }
    // All corners collinear: the line of the longest edge.
    int a = 0;
    if (n > 2) {
        double best = -1.0;
        for (int k = 0; k < n; ++k) {
            double d[3];
            V3Sub(pts[(k + 1) % n], pts[k], d);
            const double len = V3Length(d);
            if (len > best) {
                best = len;
                a = k;
            }
        }
    }
    PlaneOfLine(pts[a], pts[(a + 1) % n], plane);
    StorePair(plane, i, j);
    return false;
}

// ---------------------------------------------------------------- segments

bool PtOnSegment(const G3Point* p, const G3Point* a, const G3Point* b)
{
    if (!p || !a || !b)
        return false;
    return PtOnSegment(p->GetXYZ(), a->GetXYZ(), b->GetXYZ());
}
