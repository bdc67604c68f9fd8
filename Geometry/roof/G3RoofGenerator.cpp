// The outline side of the roof generator: checking and orienting the
// outline, the overhang offset, the pitch planes and Regen's sequence.
// Invariants: the working ring is clockwise and free of coinciding
// neighbours and straight corners before any plane is made, and no edge of
// it closes within kPlaneSide above it (the sweep's first event lies above
// that band); the target
// surface is not touched until the outline has passed every check. Rounding
// happens only where planes and offset lines are intersected.
#include "Geometry/roof/G3RoofGenerator.h"

#include "Geometry/math/G3SegmentTest.h"
#include "Geometry/math/GMatrix.h"
#include "Geometry/math/GTolerance.h"
#include "Geometry/mesh/G3Point.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/roof/G3RoofBoxGrid.h"
#include "Geometry/roof/G3RoofPlanes.h"
#include "Geometry/roof/G3RoofVertex.h"

#include <cmath>
#include <cstdint>
#include <map>
#include <vector>

using GTolerance::kAngleZero;

G3RoofGenerator::G3RoofGenerator(G3Surface* s, double reserved, double t, double o)
    : reservedValue(reserved), thickness(t), overhang(o), surface(s), eventMethod(0)
{
}

G3RoofGenerator::~G3RoofGenerator() { DeleteRoofVertices(); }

G3RoofGenerator::G3RoofGenerator(const G3RoofGenerator& other)
    : reservedValue(other.reservedValue), thickness(other.thickness), overhang(other.overhang),
      surface(other.surface), eventMethod(other.eventMethod)
{
}

G3RoofGenerator& G3RoofGenerator::operator=(const G3RoofGenerator& other)
{
    if (this == &other)
        return *this;
    DeleteRoofVertices();
    reservedValue = other.reservedValue;
    thickness = other.thickness;
    overhang = other.overhang;
    surface = other.surface;
    eventMethod = other.eventMethod;
    return *this;
}

GObj* G3RoofGenerator::AngleEntry(double* angle) { return reinterpret_cast<GObj*>(angle); }

void G3RoofGenerator::DeleteRoofVertices()
{
    for (int i = 0; i < levelRings.size(); ++i)
        G3RoofRing::Release(static_cast<G3RoofVertex*>(levelRings.get(i)));
    levelRings.clear();
    G3RoofRing::Release(bandOutline);
    bandOutline = nullptr;
    for (int i = 0; i < pitches.size(); ++i)
        delete static_cast<G3RoofPitch*>(pitches.get(i));
    pitches.clear();
}

void G3RoofGenerator::DeleteUselessVertices(G3RoofVertex*, G3RoofVertex** ring)
{
    if (ring)
        *ring = G3RoofRing::Clean(*ring, true, true);
}

// ---------------------------------------------------------------- orientation

namespace {

// Sign of the turn at v from p to n (unit directions): 1 clockwise, -1
// counter-clockwise, 0 straight or degenerate.
int TurnSign(const double* p, const double* v, const double* n)
{
    double e1[3] = {v[0] - p[0], v[1] - p[1], 0.0};
    double e2[3] = {n[0] - v[0], n[1] - v[1], 0.0};
    if (V3Normalize(e1) <= 0.0 || V3Normalize(e2) <= 0.0)
        return 0;
    const double c = e1[0] * e2[1] - e1[1] * e2[0];
    if (c < -kAngleZero)
        return 1;
    if (c > kAngleZero)
        return -1;
    return 0;
}

// The orientation of the closed polygon pts[0..n-1] by the turn at its
// lowest corner (and on along the polygon while the turn is undecided).
// Neighbours that coincide with a corner are passed over, so a list closed
// by repeating its first point, or one with doubled points, finds the
// corner's true neighbours.
int Orientation(const std::vector<const double*>& pts)
{
    const int n = static_cast<int>(pts.size());
    if (n < 3)
        return 0;
    int low = 0;
    for (int i = 1; i < n; ++i)
        if (pts[i][1] < pts[low][1])
            low = i;
    for (int k = 0; k < n; ++k) {
        const int i = (low + k) % n;
        int p = (i + n - 1) % n, q = (i + 1) % n;
        for (int s = 0; s < n && p != i && G3Point::Equals(pts[p], pts[i]); ++s)
            p = (p + n - 1) % n;
        for (int s = 0; s < n && q != i && G3Point::Equals(pts[q], pts[i]); ++s)
            q = (q + 1) % n;
        if (p == i || q == i)
            return 0;
        if (const int sign = TurnSign(pts[p], pts[i], pts[q]))
            return sign;
    }
    return 0;
}

} // namespace

int G3RoofGenerator::GetClockWiseDirection(G3RoofVertex* ring)
{
    std::vector<const double*> pts;
    if (ring) {
        G3RoofVertex* v = ring;
        do {
            pts.push_back(v->point.GetXYZ());
            v = v->next;
        } while (v != ring);
    }
    return Orientation(pts);
}

int G3RoofGenerator::GetClockWiseDirection(GArrayCollection* points)
{
    std::vector<const double*> pts;
    for (int i = 0; points && i < points->size(); ++i)
        if (const G3Point* p = dynamic_cast<const G3Point*>(points->get(i)))
            pts.push_back(p->GetXYZ());
    return Orientation(pts);
}

// ---------------------------------------------------------------- outline

bool G3RoofGenerator::PrepareContour(GArrayCollection* points, GArrayCollection* angles, G3RoofVertex** ring)
{
    if (ring == nullptr)
        return false;
    *ring = nullptr;
    if (points == nullptr || angles == nullptr || points->size() != angles->size() || points->size() < 3)
        return false;
    const int n = points->size();
    for (int i = 0; i < n; ++i) {
        const double* a = reinterpret_cast<const double*>(angles->get(i));
        const G3Point* p = dynamic_cast<const G3Point*>(points->get(i));
        // A pitch at or below zero makes no roof.
        if (a == nullptr || p == nullptr || !std::isfinite(*a) || *a < kAngleZero)
            return false;
        for (int k = 0; k < 3; ++k)
            if (!std::isfinite(p->GetXYZ()[k]))
                return false;
    }
    G3RoofVertex* r = nullptr;
    for (int i = 0; i < n; ++i) {
        G3RoofVertex* v = new G3RoofVertex(static_cast<const G3Point*>(points->get(i))->GetXYZ(), nullptr);
        v->angle = *reinterpret_cast<const double*>(angles->get(i));
        // Every steep pitch is the one vertical pitch: a gable.
        if (G3RoofIsVertical(v->angle))
            v->angle = kRoofVertical;
        v->edgeIndex = i;
        r = G3RoofRing::Append(r, v);
    }
    DeleteUselessVertices(nullptr, &r);
    if (r == nullptr)
        return false;
    const int orientation = GetClockWiseDirection(r);
    if (orientation == 0) {
        G3RoofRing::Release(r);
        return false;
    }
    if (orientation < 0) {
        // Reversed, the edge ending at a vertex is the one that started
        // there: each vertex takes its successor's edge data.
        G3RoofRing::Reverse(r);
        std::vector<G3RoofVertex> data;
        G3RoofVertex* v = r;
        do {
            G3RoofVertex d;
            d.CopyEdgeData(v->prev);
            data.push_back(d);
            v = v->next;
        } while (v != r);
        std::size_t i = 0;
        do {
            v->CopyEdgeData(&data[i++]);
            v = v->next;
        } while (v != r);
    }
    *ring = r;
    return true;
}

bool G3RoofGenerator::RingCrosses(G3RoofVertex* ring)
{
    GArrayCollection vs;
    G3RoofRing::ToArray(ring, &vs);
    const int n = vs.size();
    auto at = [&](int i) { return static_cast<G3RoofVertex*>(vs.get(i % n))->point.GetXYZ(); };
    // Edge i runs from vertex i to vertex i + 1; only edges whose boxes
    // meet can pass the segment test.
    std::vector<G3RoofBox> boxes;
    boxes.reserve(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i)
        boxes.emplace_back(at(i), at(i + 1));
    G3RoofBoxGrid grid(boxes);
    std::vector<int> near;
    for (int i = 0; i < n; ++i) {
        grid.Query(boxes[static_cast<std::size_t>(i)], near);
        for (int j : near)
            if (j >= i + 2 && (j + 1) % n != i && G3SegmentTest(at(i), at(i + 1), at(j), at(j + 1)))
                return true;
    }
    return false;
}

bool G3RoofGenerator::Offset(G3RoofVertex* ring, double angle, double distance, G3RoofVertex** out)
{
    if (out == nullptr)
        return false;
    *out = nullptr;
    if (ring == nullptr)
        return false;
    double shift = 0.0, dz = distance;
    if (std::fabs(angle) > kAngleZero) {
        shift = distance;
        dz = -distance * std::sin(angle) / std::cos(angle);
    }
    G3RoofVertex* result = nullptr;
    G3RoofVertex* v = ring;
    do {
        const double* p = v->prev->point.GetXYZ();
        const double* c = v->point.GetXYZ();
        const double* n = v->next->point.GetXYZ();
        double d1[3] = {c[0] - p[0], c[1] - p[1], 0.0};
        double d2[3] = {n[0] - c[0], n[1] - c[1], 0.0};
        double t = 0.0;
        if (V3Normalize(d1) <= 0.0 || V3Normalize(d2) <= 0.0) {
            G3RoofRing::Release(result);
            return false;
        }
        // Left of a direction (x, y) is (-y, x).
        const double a0[3] = {p[0] - d1[1] * shift, p[1] + d1[0] * shift, 0.0};
        const double a1[3] = {c[0] - d1[1] * shift, c[1] + d1[0] * shift, 0.0};
        const double b0[3] = {c[0] - d2[1] * shift, c[1] + d2[0] * shift, 0.0};
        const double b1[3] = {n[0] - d2[1] * shift, n[1] + d2[0] * shift, 0.0};
        if (!G3LineTest(a0, a1, b0, b1, &t, nullptr)) {
            G3RoofRing::Release(result);
            return false;
        }
        const double xyz[3] = {a0[0] + t * (a1[0] - a0[0]), a0[1] + t * (a1[1] - a0[1]), c[2] + dz};
        result = G3RoofRing::Append(result, new G3RoofVertex(xyz, v));
        v = v->next;
    } while (v != ring);
    *out = result;
    return true;
}

namespace {

// Between two eaves on one line with different pitches the two faces meet
// in a vertical step: a zero-length vertical edge at the shared corner,
// across the eave line, which the sweep opens up as the faces rise.
void InsertSteps(G3RoofVertex* ring)
{
    G3RoofVertex* v = ring;
    do {
        G3RoofVertex* next = v->next;
        if (v->angle != next->angle && G3RoofRing::Straight(v, true)) {
            const double* p = v->point.GetXYZ();
            double d[3];
            V3Sub(next->point.GetXYZ(), v->prev->point.GetXYZ(), d);
            d[2] = 0.0;
            V3Normalize(d);
            G3RoofVertex* step = new G3RoofVertex(p, next);
            step->angle = kRoofVertical;
            step->pitchIndex = -1;
            step->plane[0] = d[0];
            step->plane[1] = d[1];
            step->plane[2] = 0.0;
            step->plane[3] = -(d[0] * p[0] + d[1] * p[1]);
            step->prev = v;
            step->next = next;
            v->next = step;
            next->prev = step;
        }
        v = next;
    } while (v != ring);
}

// The edge p -> v has no length: a step, which carries its plane.
bool IsStep(const G3RoofVertex* v)
{
    const double* a = v->prev->point.GetXYZ();
    const double* b = v->point.GetXYZ();
    return std::hypot(b[0] - a[0], b[1] - a[1]) < GTolerance::kZeroLength &&
           std::fabs(v->plane[0]) + std::fabs(v->plane[1]) > 0.0;
}

} // namespace

// ---------------------------------------------------------------- pitches

namespace {

// The two planes' coefficients lie within kPlaneEqual of each other
// (Euclidean distance of the four).
bool SamePlane(const double* p, const double* q)
{
    double d2 = 0.0;
    for (int k = 0; k < 4; ++k)
        d2 += (p[k] - q[k]) * (p[k] - q[k]);
    return std::sqrt(d2) < GTolerance::kPlaneEqual;
}

} // namespace

bool G3RoofGenerator::PitchPlane(G3RoofVertex* p, G3RoofVertex* v)
{
    const double* p0 = p->point.GetXYZ();
    const double* p1 = v->point.GetXYZ();
    double d[3] = {p1[0] - p0[0], p1[1] - p0[1], 0.0};
    if (V3Normalize(d) < GTolerance::kZeroLength)
        return false;
    const double q[3] = {p1[0] + d[1], p1[1] - d[0], p1[2] + std::tan(v->angle)};
    return CALC_PLANE_EQUATION(p0, p1, q, v->plane);
}

bool G3RoofGenerator::CollapseBandEdges(G3RoofVertex** ring)
{
    // A short edge at a convex corner (a chamfer of a micron) closes a
    // hair above the outline, inside the band over a level where the sweep
    // takes no event: the level above would keep its two corners at their
    // common point far below it, and the level ran through itself from
    // there. The corner it leaves is where that event would put it.
    G3RoofVertex* r = *ring;
    const double z0 = r->point.GetZ();
    int n = G3RoofRing::Size(r);
    G3RoofVertex* v = r;
    do {
        if (!PitchPlane(v->prev, v))
            return false;
        v = v->next;
    } while (v != r);
    bool merged = false;
    for (int quiet = 0; n > 3 && quiet < n;) {
        double x[3];
        // Corners between collinear eaves of two pitches (the only straight
        // ones cleaning leaves) have planes meeting on the eave line itself,
        // a rounding off the outline: steps open there instead.
        if (!G3RoofRing::Straight(v->prev, true) && !G3RoofRing::Straight(v, true) &&
            G3RoofPlanesPoint(v->prev->plane, v->plane, v->next->plane, x) && x[2] > z0 &&
            x[2] <= z0 + GTolerance::kPlaneSide) {
            // The edge v->prev -> v goes; v->prev keeps its edge and the
            // edge after v now starts at v->prev. The corner goes where the
            // neighbouring eaves' lines meet, so that both keep their lines
            // and planes and the outline loses only the chamfer's corner;
            // the planes' common point lies up to kPlaneSide / tan(pitch)
            // inside it under mixed pitches, and turned both eaves (a strip
            // of the plan along each left uncovered).
            G3RoofVertex* p = v->prev;
            double at[3] = {x[0], x[1], p->point.GetZ()};
            G3RoofRing::LinesMeet(p->prev->point.GetXYZ(), p->point.GetXYZ(), v->point.GetXYZ(),
                                  v->next->point.GetXYZ(), at);
            p->point.Set(at);
            if (r == v)
                r = p;
            *ring = r;
            G3RoofRing::Remove(v);
            --n;
            merged = true;
            if (!PitchPlane(p->prev, p) || !PitchPlane(p, p->next))
                return false;
            v = p;
            quiet = 0;
        } else {
            v = v->next;
            ++quiet;
        }
    }
    v = r;
    do {
        for (double& c : v->plane)
            c = 0.0;
        v = v->next;
    } while (v != r);
    *ring = r;
    return !merged || !RingCrosses(r);
}

int G3RoofGenerator::GetPitchIndex(double* plane)
{
    for (int i = 0; i < pitches.size(); ++i)
        if (SamePlane(static_cast<G3RoofPitch*>(pitches.get(i))->plane, plane))
            return i;
    return -1;
}

namespace {

// The two-vertex ring of the eave edge p -> v, both carrying v's edge data.
G3RoofVertex* EaveRing(G3RoofVertex* v)
{
    G3RoofVertex* ring = G3RoofRing::Append(nullptr, new G3RoofVertex(v->prev->point.GetXYZ(), v));
    return G3RoofRing::Append(ring, new G3RoofVertex(v->point.GetXYZ(), v));
}

} // namespace

int G3RoofGenerator::MakeDefaultPitch(G3RoofVertex* vertex)
{
    G3RoofPitch* pitch = new G3RoofPitch(vertex->plane, vertex->angle);
    pitch->facetRings.add(EaveRing(vertex));
    return pitches.add_i(pitch);
}

int G3RoofGenerator::AddToExistPitch(G3RoofVertex* vertex, int index)
{
    if (index < 0 || index >= pitches.size())
        return -1;
    static_cast<G3RoofPitch*>(pitches.get(index))->facetRings.add(EaveRing(vertex));
    return index;
}

bool G3RoofGenerator::FirstLevelInitialization(G3RoofVertex* ring)
{
    if (ring == nullptr)
        return false;
    G3RoofVertex* v = ring;
    do {
        if (!IsStep(v) && !PitchPlane(v->prev, v))
            return false;
        v = v->next;
    } while (v != ring);
    // GetPitchIndex's answer, found among the pitches whose first and last
    // plane coefficients lie near the vertex's instead of by a walk over
    // all of them (a walk per vertex is quadratic in the outline's size,
    // and so is a window on the first coefficient alone where many eaves
    // run one way, as a comb's do): a plane within kPlaneEqual of another
    // differs from it by less than that in every coefficient, so it lies in
    // the cell of (a, d) of side 2 kPlaneEqual or a neighbour (the rounding
    // of the difference included; clamping far cells keeps neighbours
    // neighbours). The first such pitch in list order is the one taken.
    const double side = 2.0 * GTolerance::kPlaneEqual;
    const auto cell = [side](double c) {
        return static_cast<long long>(std::floor(G3RoofGreater(-1e18, G3RoofLesser(1e18, c / side))));
    };
    const auto comparable = [](const double* plane) { return std::isfinite(plane[0]) && std::isfinite(plane[3]); };
    std::map<std::pair<long long, long long>, std::vector<int>> byCell;
    for (int i = 0; i < pitches.size(); ++i) {
        const double* plane = static_cast<G3RoofPitch*>(pitches.get(i))->plane;
        if (comparable(plane))
            byCell[{cell(plane[0]), cell(plane[3])}].push_back(i);
    }
    do {
        if (!comparable(v->plane)) {
            // Not comparable in the cells; the walk gives the same answer.
            const int found = GetPitchIndex(v->plane);
            v->pitchIndex = found < 0 ? MakeDefaultPitch(v) : AddToExistPitch(v, found);
            v = v->next;
            continue;
        }
        int index = -1;
        const long long ca = cell(v->plane[0]), cd = cell(v->plane[3]);
        for (long long i = ca - 1; i <= ca + 1; ++i)
            for (long long j = cd - 1; j <= cd + 1; ++j) {
                const auto found = byCell.find({i, j});
                if (found == byCell.end())
                    continue;
                for (int k : found->second)
                    if ((index < 0 || k < index) &&
                        SamePlane(static_cast<G3RoofPitch*>(pitches.get(k))->plane, v->plane))
                        index = k;
            }
        if (index < 0) {
            index = MakeDefaultPitch(v);
            byCell[{ca, cd}].push_back(index);
            v->pitchIndex = index;
        } else {
            v->pitchIndex = AddToExistPitch(v, index);
        }
        v = v->next;
    } while (v != ring);
    // The eave rings are closed rings of two vertices already; the sections
    // of the sweep open them upwards.
    return true;
}

G3RoofVertex* G3RoofGenerator::MakeOverhangContour(G3RoofVertex* ring)
{
    if (ring == nullptr)
        return nullptr;
    G3RoofVertex* copy = G3RoofRing::Copy(ring);
    G3RoofVertex* v = copy;
    do {
        if (!PitchPlane(v->prev, v)) {
            G3RoofRing::Release(copy);
            return nullptr;
        }
        v = v->next;
    } while (v != copy);
    G3RoofVertex* out = nullptr;
    do {
        double xyz[3];
        if (G3RoofLevelPoint(v->plane, v->next->plane, -overhang, xyz))
            out = G3RoofRing::Append(out, new G3RoofVertex(xyz, v));
        v = v->next;
    } while (v != copy);
    G3RoofRing::Release(copy);
    return out;
}

// ---------------------------------------------------------------- Regen

bool G3RoofGenerator::Regen(GArrayCollection* points, GArrayCollection* angles)
{
    // A previous run's pitches would otherwise take this outline's eaves and
    // be written out a second time.
    DeleteRoofVertices();
    reversedEdge = -1;
    G3RoofVertex* ring = nullptr;
    if (!PrepareContour(points, angles, &ring))
        return false;
    if (RingCrosses(ring)) {
        G3RoofRing::Release(ring);
        return false;
    }
    if (!CollapseBandEdges(&ring)) {
        G3RoofRing::Release(ring);
        return false;
    }
    InsertSteps(ring);
    if (overhang > 0.0) {
        G3RoofVertex* base = OverhangBase(ring);
        if (base == nullptr) {
            G3RoofRing::Release(ring);
            return false;
        }
        bandOutline = ring;
        ring = base;
    }
    if (!FirstLevelInitialization(ring)) {
        G3RoofRing::Release(ring);
        return false;
    }
    G3Surface* work = new G3Surface();
    const bool made = MakeRoof(ring, work);
    // The fascia goes with the raised layer: both need the same thickness.
    if (made && thickness > GTolerance::kZeroLength)
        MakeFasciaFacets(work);
    delete work;
    return made;
}
