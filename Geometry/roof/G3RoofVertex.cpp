// Rings of roof vertices. Invariants: a ring is closed (following `next`
// from any vertex comes back to it, `prev` is the inverse), and a vertex is
// in one ring only. Clean() rounds nowhere; it compares unit directions or
// distances to the line through a vertex's neighbours.
#include "Geometry/roof/G3RoofVertex.h"

#include "Geometry/math/GMatrix.h"
#include "Geometry/math/GTolerance.h"

#include <cmath>

G_DEFINE_POOL(G3RoofVertex, "G3RoofVertex", 4096)

G3RoofVertex::G3RoofVertex(const double* xyz, const G3RoofVertex* from)
{
    point.Set(xyz);
    CopyEdgeData(from);
}

void G3RoofVertex::Reuse(const double* xyz, const G3RoofVertex* from)
{
    point.Set(xyz);
    next = prev = this;
    lower = nullptr;
    if (from == nullptr) {
        edgeIndex = 0;
        angle = 0.0;
        for (double& c : plane)
            c = 0.0;
        pitchIndex = -1;
    }
    CopyEdgeData(from);
    contactId = bandId = -1;
    planeId = -1;
    for (long long& k : keys)
        k = -1;
    for (double& c : collapse)
        c = 0.0;
    collapseMeets = -1;
    onLine = false;
}

void G3RoofVertex::CopyEdgeData(const G3RoofVertex* from)
{
    if (from == nullptr)
        return;
    edgeIndex = from->edgeIndex;
    angle = from->angle;
    for (int k = 0; k < 4; ++k)
        plane[k] = from->plane[k];
    pitchIndex = from->pitchIndex;
    planeId = -1;
}

namespace G3RoofRing {

int Size(const G3RoofVertex* ring)
{
    if (ring == nullptr)
        return 0;
    int n = 0;
    const G3RoofVertex* v = ring;
    do {
        ++n;
        v = v->next;
    } while (v != ring);
    return n;
}

G3RoofVertex* Append(G3RoofVertex* ring, G3RoofVertex* v)
{
    if (ring == nullptr) {
        v->next = v->prev = v;
        return v;
    }
    G3RoofVertex* last = ring->prev;
    v->prev = last;
    v->next = ring;
    last->next = v;
    ring->prev = v;
    return ring;
}

G3RoofVertex* Remove(G3RoofVertex* v)
{
    G3RoofVertex* n = v->next == v ? nullptr : v->next;
    v->prev->next = v->next;
    v->next->prev = v->prev;
    delete v;
    return n;
}

void Release(G3RoofVertex* ring)
{
    if (ring == nullptr)
        return;
    ring->prev->next = nullptr;
    while (ring) {
        G3RoofVertex* n = ring->next;
        delete ring;
        ring = n;
    }
}

G3RoofVertex* Copy(const G3RoofVertex* ring)
{
    G3RoofVertex* out = nullptr;
    if (ring == nullptr)
        return out;
    const G3RoofVertex* v = ring;
    do {
        G3RoofVertex* c = new G3RoofVertex(v->point.GetXYZ(), v);
        c->lower = v->lower;
        out = Append(out, c);
        v = v->next;
    } while (v != ring);
    return out;
}

void Reverse(G3RoofVertex* ring)
{
    if (ring == nullptr)
        return;
    G3RoofVertex* v = ring;
    do {
        G3RoofVertex* n = v->next;
        v->next = v->prev;
        v->prev = n;
        v = n;
    } while (v != ring);
}

bool Straight(const G3RoofVertex* v, bool byDistance)
{
    if (byDistance)
        return StraightByDistance(v->prev->point.GetXYZ(), v->point.GetXYZ(), v->next->point.GetXYZ());
    double a[3], b[3];
    V3Sub(v->point.GetXYZ(), v->prev->point.GetXYZ(), a);
    V3Sub(v->next->point.GetXYZ(), v->point.GetXYZ(), b);
    if (V3Normalize(a) <= 0.0 || V3Normalize(b) <= 0.0)
        return true;
    return std::fabs(std::fabs(V3Dot(a, b)) - 1.0) <= GTolerance::kParallel;
}

namespace {

// a and b (not normalised) run in one direction by the direction rule.
bool Parallel(const double* a, const double* b)
{
    double u[3] = {a[0], a[1], a[2]}, w[3] = {b[0], b[1], b[2]};
    if (V3Normalize(u) <= 0.0 || V3Normalize(w) <= 0.0)
        return false;
    return std::fabs(V3Dot(u, w) - 1.0) <= GTolerance::kParallel;
}

// v -> next runs on in line with prev -> v: no fold back, and no turn by
// the direction rule. A corner the distance rule alone calls straight (an
// edge of a micron or so turning off a long one, as a chamfer does) is no
// step between collinear eaves: kept for one, it left the long edges'
// ends within the point tolerance of each other and the outline was
// refused as touching itself.
bool RunsOn(const G3RoofVertex* v)
{
    double pv[3], vn[3];
    V3Sub(v->point.GetXYZ(), v->prev->point.GetXYZ(), pv);
    V3Sub(v->next->point.GetXYZ(), v->point.GetXYZ(), vn);
    return V3Dot(pv, vn) > 0.0 && Parallel(pv, vn);
}

// The point of w lies on the plane of the edge that ends at v.
bool OnPlane(const G3RoofVertex* v, const G3RoofVertex* w)
{
    const double* e = v->plane;
    const double* x = w->point.GetXYZ();
    const double len = std::sqrt(e[0] * e[0] + e[1] * e[1] + e[2] * e[2]);
    return len > 0.0 && std::fabs(e[0] * x[0] + e[1] * x[1] + e[2] * x[2] + e[3]) < GTolerance::kPlaneSide * len;
}

// No plane yet: the outline is cleaned before its pitch planes are made.
bool Planeless(const G3RoofVertex* v)
{
    return v->plane[0] == 0.0 && v->plane[1] == 0.0 && v->plane[2] == 0.0;
}

// x (a corner of the outline) to where the line a0 -> a1 meets the line
// from x to y, when they meet; x keeps its height.
void MoveToCorner(const double* a0, const double* a1, G3RoofVertex* x, const double* y)
{
    double at[3] = {0.0, 0.0, x->point.GetZ()};
    if (LinesMeet(a0, a1, y, x->point.GetXYZ(), at))
        x->point.Set(at);
}

} // namespace

G3RoofVertex* Clean(G3RoofVertex* ring, bool byDistance, bool sameAngleOnly)
{
    // Repeated until a full turn changes nothing: a removal can make the
    // corner behind it straight.
    int n = Size(ring);
    int quiet = 0;
    G3RoofVertex* v = ring;
    while (v != nullptr && n >= 3 && quiet < n) {
        if (G3RoofSamePoint(v->next->point.GetXYZ(), v->point.GetXYZ())) {
            Remove(v->next);
            --n;
            quiet = 0;
        } else if (Straight(v, byDistance) && !(sameAngleOnly && v->angle != v->next->angle && RunsOn(v))) {
            G3RoofVertex* p = v->prev;
            // A spike p -> v -> n that folds back towards p leaves the edge
            // p -> n; when n lies on p's side of v that edge is a part of
            // p -> v and takes its data, otherwise it is a part of v -> n
            // and n keeps its own (as for a straight run).
            double pv[3], vn[3], pn[3];
            V3Sub(v->point.GetXYZ(), p->point.GetXYZ(), pv);
            V3Sub(v->next->point.GetXYZ(), v->point.GetXYZ(), vn);
            V3Sub(v->next->point.GetXYZ(), p->point.GetXYZ(), pn);
            // A straight run leaves the edge p -> n to the plane that holds
            // all of it: a long edge keeps its own plane beside a tiny edge
            // of another one bent by a hair. Where both hold it (level edges
            // of two pitches in line) it goes to the lower pitch, which
            // rises the slower, so the roof beside the edge is its plane: a
            // gable kept there would leave what lies behind the other
            // plane's part to upright walls.
            if (V3Dot(pv, vn) < 0.0 && V3Dot(pn, pv) > 0.0) {
                v->next->CopyEdgeData(v);
            } else if (byDistance && V3Dot(pv, vn) > 0.0 && OnPlane(v, v->next)) {
                if (!OnPlane(v->next, p) || v->angle < v->next->angle)
                    v->next->CopyEdgeData(v);
            } else if (byDistance && V3Dot(pv, vn) > 0.0 && Planeless(v) && Planeless(v->next) &&
                       Parallel(pv, pn) && !Parallel(vn, pn)) {
                // On the outline the planes come later, from the edges
                // left: p -> n runs along p -> v, and an edge shorter than
                // the distance rule's reach that turned off it (a chamfer
                // of a micron) must not lend it its index, or the long
                // edge's roof is stamped as the stub's. The stub's end
                // goes to where the long edge's line meets the next edge's:
                // both keep their lines (p -> n turned by up to kPlaneSide
                // over its length, and a strip along it was lost).
                v->next->CopyEdgeData(v);
                MoveToCorner(p->point.GetXYZ(), v->point.GetXYZ(), v->next, v->next->next->point.GetXYZ());
            } else if (byDistance && V3Dot(pv, vn) > 0.0 && Planeless(v) && Planeless(v->next) &&
                       Parallel(vn, pn) && !Parallel(pv, pn)) {
                // The mirror case, the stub before v: p goes to where the
                // edge before it meets the long edge's line.
                MoveToCorner(v->next->point.GetXYZ(), v->point.GetXYZ(), p, p->prev->point.GetXYZ());
            }
            Remove(v);
            --n;
            quiet = 0;
            v = p;
        } else {
            ++quiet;
            v = v->next;
        }
    }
    if (n < 3) {
        Release(v);
        return nullptr;
    }
    return v;
}

bool LinesMeet(const double* a0, const double* a1, const double* b0, const double* b1, double* at)
{
    double u[3] = {a1[0] - a0[0], a1[1] - a0[1], 0.0}, w[3] = {b1[0] - b0[0], b1[1] - b0[1], 0.0};
    if (V3Normalize(u) < GTolerance::kZeroLength || V3Normalize(w) < GTolerance::kZeroLength)
        return false;
    const double cross = u[0] * w[1] - u[1] * w[0];
    if (1.0 - std::fabs(u[0] * w[0] + u[1] * w[1]) <= GTolerance::kParallel)
        return false;
    const double bx = b0[0] - a1[0], by = b0[1] - a1[1];
    const double t = (bx * w[1] - by * w[0]) / cross;
    at[0] = a1[0] + t * u[0];
    at[1] = a1[1] + t * u[1];
    return true;
}

void ToArray(G3RoofVertex* ring, GArrayCollection* out)
{
    out->clear();
    if (ring == nullptr)
        return;
    G3RoofVertex* v = ring;
    do {
        out->add(v);
        v = v->next;
    } while (v != ring);
}

} // namespace G3RoofRing

G3RoofPitch::G3RoofPitch(const double* p, double a) : angle(a)
{
    for (int k = 0; k < 4; ++k)
        plane[k] = p[k];
}

G3RoofPitch::~G3RoofPitch()
{
    for (int i = 0; i < facetRings.size(); ++i)
        G3RoofRing::Release(static_cast<G3RoofVertex*>(facetRings.get(i)));
}
