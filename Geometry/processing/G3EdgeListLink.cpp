// Joining holes to the contours around them: a ray from the hole's
// outermost corner finds the nearest contour, and two opposite bridge edges
// splice that contour into the hole's list, so that an outer contour with
// its holes becomes one keyhole contour (one facet).

#include "Geometry/processing/G3EdgeList.h"

#include "Geometry/math/G3Math.h"
#include "Geometry/mesh/G3Edge.h"
#include "Geometry/mesh/G3Point.h"
#include "Geometry/mesh/G3Vertex.h"

#include <cmath>
#include <vector>

namespace {

constexpr double kEps = 1e-6;

int Sign(double d) { return std::fabs(d) < kEps ? 0 : (d > 0 ? 1 : -1); }

// A new list edge a -> b carrying (n, t) at both ends on both sides.
G3Edge* BridgeEdge(G3Vertex* a, G3Vertex* b, G3Normal* n, G3TexCoo* t, int flags)
{
    G3Edge* e = new G3Edge(a, b);
    e->SetFlags(static_cast<long>(static_cast<unsigned int>(flags)));
    e->SetFacet1V1(n, t);
    e->SetFacet1V2(n, t);
    e->SetFacet2V1(n, t);
    e->SetFacet2V2(n, t);
    return e;
}

// The passage of `list` through x where a bridge towards `target` attaches.
// A passage is edge k arriving at x (vertex2) with the edge after it when
// `arriving`, else edge k leaving x (vertex1) with the edge before it. A
// vertex that earlier bridges already reach is passed several times; the
// bridge must enter the sector, among those the passages cut around x, that
// holds the direction to target, and that sector is bounded by the two
// edges of one passage: the ray nearest to the direction on one side and
// the ray nearest on the other. With one passage that passage is taken; -1
// when there is none.
int PickPassage(G3EdgeList* list, G3Vertex* x, G3Vertex* target, bool arriving, int i, int j)
{
    const int n = list->size();
    std::vector<int> passages;
    for (int k = 0; k < n; ++k) {
        const G3Edge* e = list->GetEdge(k);
        if ((arriving ? e->GetVertex2() : e->GetVertex1()) == x)
            passages.push_back(k);
    }
    if (passages.size() <= 1)
        return passages.empty() ? -1 : passages.front();
    const double base = G3Math::CalcAngle(x, target, 0.0, i, j);
    auto angles = [&](int k, double* lo, double* hi) {
        const G3Edge* e = list->GetEdge(k);
        const G3Edge* partner = list->GetEdge(arriving ? (k + 1) % n : (k + n - 1) % n);
        const double a = G3Math::CalcAngle(x, e->GetOtherVertex(x), base, i, j);
        const double b = G3Math::CalcAngle(x, partner->GetOtherVertex(x), base, i, j);
        *lo = std::fmin(a, b);
        *hi = std::fmax(a, b);
    };
    double lowest = 0.0;
    double highest = 0.0;
    for (size_t m = 0; m < passages.size(); ++m) {
        double lo;
        double hi;
        angles(passages[m], &lo, &hi);
        lowest = m == 0 ? lo : std::fmin(lowest, lo);
        highest = m == 0 ? hi : std::fmax(highest, hi);
    }
    for (int k : passages) {
        double lo;
        double hi;
        angles(k, &lo, &hi);
        if (std::fabs(lo - lowest) <= 1e-12 && std::fabs(hi - highest) <= 1e-12)
            return k;
    }
    return passages.front();
}

} // namespace

G3Vertex* G3EdgeList::GetExtremalRay(double* dir)
{
    const int n = size();
    if (!dir || n == 0)
        return nullptr;
    EnsureAxes();
    G3Vertex* best = nullptr;
    for (int k = 0; k < n; ++k) {
        const G3Edge* e = GetEdge(k);
        G3Vertex* v = e->GetVertex1();
        const G3Vertex* p = GetEdge((k + n - 1) % n)->GetVertex1();
        const G3Vertex* q = e->GetVertex2();
        if (!v || !p || !q)
            continue;
        double u1[2] = {v->GetXYZ(xCoo) - p->GetXYZ(xCoo), v->GetXYZ(yCoo) - p->GetXYZ(yCoo)};
        double u2[2] = {v->GetXYZ(xCoo) - q->GetXYZ(xCoo), v->GetXYZ(yCoo) - q->GetXYZ(yCoo)};
        for (double* u : {u1, u2}) {
            const double len = std::sqrt(u[0] * u[0] + u[1] * u[1]);
            if (len > 0.0) {
                u[0] /= len;
                u[1] /= len;
            }
        }
        const double s[2] = {u1[0] + u2[0], u1[1] + u2[1]};
        const double len = std::sqrt(s[0] * s[0] + s[1] * s[1]);
        if (len < kEps)
            continue; // a straight corner points nowhere
        if (best && !(v->GetXYZ(xCoo) > best->GetXYZ(xCoo)))
            continue;
        best = v;
        dir[0] = dir[1] = dir[2] = 0.0;
        dir[xCoo] = s[0] / len;
        dir[yCoo] = s[1] / len;
    }
    return best;
}

double G3EdgeList::FindIntersectionPoint(const double* p0, const double* p1, const double* aim,
                                         GContourIntersectPoint* ip)
{
    if (ip)
        ip->Reset();
    if (!p0 || !p1 || !ip || size() == 0)
        return -1.0;
    EnsureAxes();
    const int i = xCoo;
    const int j = yCoo;
    const double* lo = envelope.GetMin();
    const double* hi = envelope.GetMax();
    if (std::fmax(p0[i], p1[i]) < lo[i] || std::fmin(p0[i], p1[i]) > hi[i] || std::fmax(p0[j], p1[j]) < lo[j] ||
        std::fmin(p0[j], p1[j]) > hi[j])
        return -1.0;

    const double du = p1[i] - p0[i];
    const double dv = p1[j] - p0[j];
    const double length = std::sqrt(du * du + dv * dv);
    if (!(length > 0.0))
        return -1.0;
    const int k = std::fabs(dv) < std::fabs(du) ? i : j;
    const double kLo = std::fmin(p0[k], p1[k]);
    const double kHi = std::fmax(p0[k], p1[k]);
    const double nu = dv / length;
    const double nv = -du / length;
    auto distance = [&](const double* q) { return nu * (q[i] - p0[i]) + nv * (q[j] - p0[j]); };
    auto reach = [&](const double* q) { return std::hypot(q[i] - p0[i], q[j] - p0[j]); };

    double best = -1.0;
    auto consider = [&](const double* q, G3Vertex* v, G3Edge* e) {
        const double d = reach(q);
        if (d < kEps || !(q[k] > kLo && q[k] < kHi))
            return;
        if (best >= 0.0 && !(d < best - kEps))
            return;
        ip->edge = e;
        ip->vertex = v;
        for (int c = 0; c < 3; ++c)
            ip->point[c] = q[c];
        best = d;
    };
    for (int m = size() - 1; m >= 0; --m) {
        G3Edge* e = GetEdge(m);
        G3Vertex* a = e->GetVertex1();
        G3Vertex* b = e->GetVertex2();
        if (!a || !b)
            continue;
        const double d1 = distance(a->GetXYZ());
        const double d2 = distance(b->GetXYZ());
        const int s1 = Sign(d1);
        const int s2 = Sign(d2);
        if (s1 == 0)
            consider(a->GetXYZ(), a, e);
        if (s2 == 0)
            consider(b->GetXYZ(), b, e);
        if (s1 != 0 && s1 == -s2) {
            const double t = std::fabs(d1 / (d1 - d2));
            double x[3];
            for (int c = 0; c < 3; ++c)
                x[c] = a->GetXYZ(c) + t * (b->GetXYZ(c) - a->GetXYZ(c));
            consider(x, nullptr, e);
        }
    }
    if (best > 0.0 && !ip->vertex && ip->edge) {
        // A bridge must end at a vertex: take the end of the crossed edge
        // that lies more in the direction of the aim.
        double toAim[2] = {(aim ? aim : p1)[i] - p0[i], (aim ? aim : p1)[j] - p0[j]};
        const double aimLength = std::hypot(toAim[0], toAim[1]);
        if (aimLength > 0.0) {
            toAim[0] /= aimLength;
            toAim[1] /= aimLength;
        }
        auto alignment = [&](const G3Vertex* v) {
            const double r = reach(v->GetXYZ());
            if (!(r > 0.0))
                return 0.0;
            return ((v->GetXYZ(i) - p0[i]) * toAim[0] + (v->GetXYZ(j) - p0[j]) * toAim[1]) / r;
        };
        G3Vertex* a = ip->edge->GetVertex1();
        G3Vertex* b = ip->edge->GetVertex2();
        G3Vertex* end = alignment(a) >= alignment(b) ? a : b;
        ip->vertex = end;
        for (int c = 0; c < 3; ++c)
            ip->point[c] = end->GetXYZ(c);
        best = reach(end->GetXYZ());
    }
    return best;
}

bool G3EdgeList::CalculateEdgePair(G3Vertex* v, G3Vertex* w, G3Edge* a, G3Edge* b, G3Edge* c, G3Edge* dd) const
{
    const int i = xCoo;
    const int j = yCoo;
    const double atV = G3Math::CalcAngle(v, w, 0.0, i, j);
    const double alphaA = G3Math::CalcAngle(v, a->GetOtherVertex(v), atV, i, j);
    const double alphaB = G3Math::CalcAngle(v, b->GetOtherVertex(v), atV, i, j);
    const double atW = G3Math::CalcAngle(w, v, 0.0, i, j);
    const double alphaC = G3Math::CalcAngle(w, c->GetOtherVertex(w), atW, i, j);
    const double alphaD = G3Math::CalcAngle(w, dd->GetOtherVertex(w), atW, i, j);
    return (alphaA < alphaB && alphaC > alphaD) || (alphaA >= alphaB && alphaC <= alphaD);
}

bool G3EdgeList::LinkToAnother(G3Vertex* v, G3EdgeList* d, GContourIntersectPoint* ip, G3Surface*, int flags)
{
    if (!v || !d || d == this || !ip || !ip->vertex || size() == 0 || d->size() == 0)
        return false;
    G3Vertex* w = ip->vertex;
    if (G3Point::Equals(v->GetXYZ(), w->GetXYZ()))
        return false;
    EnsureAxes();
    const int n = size();
    const int m = d->size();
    const int arriving = PickPassage(this, v, w, true, xCoo, yCoo);
    const int leaving = PickPassage(d, w, v, false, xCoo, yCoo);
    if (arriving < 0 || leaving < 0)
        return false;
    G3Edge* a = GetEdge(arriving);
    G3Edge* b = GetEdge((arriving + 1) % n);
    G3Edge* c = d->GetEdge(leaving);
    G3Edge* before = d->GetEdge((leaving + m - 1) % m);
    const bool forward = CalculateEdgePair(v, w, a, b, c, before);

    G3TexCoo* tv = nullptr;
    G3Normal* nv = a->GetFacet1V2(&tv);
    G3TexCoo* tw = nullptr;
    G3Normal* nw = c->GetFacet1V1(&tw);

    std::vector<GObj*> order;
    order.reserve(static_cast<size_t>(n + m + 2));
    for (int k = 0; k <= arriving; ++k)
        order.push_back(GetEdge(k));
    order.push_back(BridgeEdge(v, w, nv, tv, flags));
    for (int k = 0; k < m; ++k) {
        const int at = forward ? (leaving + k) % m : (leaving - 1 - k + 2 * m) % m;
        order.push_back(d->GetEdge(at));
    }
    order.push_back(BridgeEdge(w, v, nw, tw, flags));
    for (int k = arriving + 1; k < n; ++k)
        order.push_back(GetEdge(k));

    envelope.Add(d->GetEnvelope());
    clear();
    for (GObj* e : order)
        add(e);
    Normalize();
    d->clear();
    return true;
}

void G3EdgeList::Link(GArrayCollection* lists, G3Surface* s, int flags)
{
    if (!lists || lists->size() < 2)
        return;
    GEnvelope all;
    bool first = true;
    for (int k = 0; k < lists->size(); ++k) {
        G3EdgeList* l = dynamic_cast<G3EdgeList*>(lists->get(k));
        if (!l)
            continue;
        l->EnsureAxes();
        l->FormEnvelope();
        if (first)
            all.Init(l->GetEnvelope());
        else
            all.Add(l->GetEnvelope());
        first = false;
    }
    const double reachLength = 3.0 * all.GetMaxSize();

    int k = 0;
    while (k < lists->size()) {
        G3EdgeList* c = dynamic_cast<G3EdgeList*>(lists->get(k));
        if (!c || c->contourType != CONTOUR_TYPE_HOLE) {
            ++k;
            continue;
        }
        double dir[3];
        G3Vertex* from = c->GetExtremalRay(dir);
        if (!from) {
            ++k;
            continue;
        }
        std::vector<G3EdgeList*> candidates;
        for (int m = 0; m < lists->size(); ++m) {
            G3EdgeList* d = dynamic_cast<G3EdgeList*>(lists->get(m));
            if (!d || d == c || d->size() == 0 || c->Equals(d))
                continue;
            if ((d->contourType == CONTOUR_TYPE_HOLE && d->inCount == c->inCount) || c->IsIn(d))
                candidates.push_back(d);
        }
        const double* p0 = from->GetXYZ();
        double p1[3];
        for (int m = 0; m < 3; ++m)
            p1[m] = p0[m] + reachLength * dir[m];
        double best = -1.0;
        G3EdgeList* hit = nullptr;
        GContourIntersectPoint hitPoint;
        // Shorten the ray to the nearest hit until the nearest hit stays
        // where it is (bounded, since a snapped hit may not move closer).
        for (int round = 0; round < lists->size() + 8; ++round) {
            double roundBest = -1.0;
            G3EdgeList* roundHit = nullptr;
            GContourIntersectPoint roundPoint;
            for (G3EdgeList* d : candidates) {
                GContourIntersectPoint found;
                const double t = d->FindIntersectionPoint(p0, p1, p1, &found);
                if (t > 0.0 && (roundBest < 0.0 || t < roundBest - kEps)) {
                    roundBest = t;
                    roundHit = d;
                    roundPoint = found;
                }
            }
            if (!(roundBest > 0.0))
                break;
            const bool moved = roundBest != best;
            best = roundBest;
            hit = roundHit;
            hitPoint = roundPoint;
            if (!moved)
                break;
            for (int m = 0; m < 3; ++m)
                p1[m] = p0[m] + best * dir[m];
        }
        if (!hit || !c->LinkToAnother(from, hit, &hitPoint, s, flags)) {
            ++k;
            continue;
        }
        // The merged contour is what the joined one was: an outer contour
        // with a keyhole, or a larger hole that still needs its bridge.
        c->contourType = hit->contourType;
        c->inCount = hit->inCount;
        const int at = lists->index(hit);
        delete hit;
        lists->RemoveWithShift(at);
        if (at < k)
            --k;
        if (c->contourType != CONTOUR_TYPE_HOLE)
            ++k;
    }
}
