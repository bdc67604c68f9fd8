// Boxes, spheres and shells built from scratch. Invariants: every surface
// returned is built through G3Surface's own calls (entities from their
// pools, ids equal to indexes) and passes the mesh check; the source of a
// shell is only read (the marks that hold its kept planes are cleared
// before returning); no index read from a facet is trusted without a range
// check. The one place that rounds is the corner of a shell, solved from
// three moved planes by Cramer's rule; a corner whose planes' unit normals
// have a triple product below kZeroNormal is dropped rather than solved (two
// of them are parallel up to rounding: coplanar triangles of one face give
// 1e-17 there, and solving would put the corner far away).
#include "Geometry/boolean/G3SolidsBuilder.h"

#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/math/GMatrix.h"
#include "Geometry/math/GTolerance.h"
#include "Geometry/mesh/CExData.h"
#include "Geometry/mesh/G3Edge.h"
#include "Geometry/mesh/G3Facet.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/mesh/G3SurfaceMeasure.h"
#include "Geometry/mesh/G3Vertex.h"
#include "Geometry/processing/G3EdgeList.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace {

constexpr double kPi = 3.14159265358979323846;

G3Facet* OtherFacet(const G3Edge* e, const G3Facet* f)
{
    return e->GetFacet1() == f ? e->GetFacet2() : e->GetFacet1();
}

// plane = f's plane, negated when f's contours face the other way. A plane
// the caller set, or one left from before the corners moved, need not face
// the contours' side, and a shell that moved a face the wrong way would
// then drop it as turned.
void FacingPlane(const G3Facet* f, double* plane)
{
    for (int k = 0; k < 4; ++k)
        plane[k] = f->GetPlane()[k];
    f->TurnToContours(plane);
}

// Two edges with facets join one pair of vertices: four facets meet along
// that line, the solid pinched there (boxes touching along an edge only).
bool PinchedAlongAnEdge(const G3Surface* s)
{
    std::vector<G3Edge*> ring;
    std::vector<const G3Vertex*> ends;
    for (int k = 0; k < s->GetVertexCount(); ++k) {
        const G3Vertex* v = s->GetVertex(k);
        ring.resize(static_cast<std::size_t>(v->GetEdgeCount()));
        v->GetEdges(ring.data());
        ends.clear();
        for (const G3Edge* e : ring)
            if (e->GetFacet1() || e->GetFacet2())
                ends.push_back(e->GetVertex1() == v ? e->GetVertex2() : e->GetVertex1());
        std::sort(ends.begin(), ends.end());
        if (std::adjacent_find(ends.begin(), ends.end()) != ends.end())
            return true;
    }
    return false;
}

// The cones a vertex pinch closes, bit by bit: the facets around a vertex
// fall into more than one fan joined across its edges, each round a cone of
// the solid (two solids touching at a corner) or of the space outside (two
// notches meeting at a point). A fan's cone lies along the sum of its edges'
// unit directions from the vertex: the fan's facets face away from it round
// a solid cone, towards it round an empty one.
enum : int { kSolidCones = 1, kEmptyCones = 2 };

int PinchesAtVertices(const G3Surface* s)
{
    int pinches = 0;
    std::vector<G3Edge*> ring;
    std::vector<const G3Facet*> around;
    std::vector<std::size_t> parent;
    for (int k = 0; k < s->GetVertexCount(); ++k) {
        const G3Vertex* v = s->GetVertex(k);
        ring.resize(static_cast<std::size_t>(v->GetEdgeCount()));
        v->GetEdges(ring.data());
        around.clear();
        for (const G3Edge* e : ring)
            for (const G3Facet* f : {e->GetFacet1(), e->GetFacet2()})
                if (f && std::find(around.begin(), around.end(), f) == around.end())
                    around.push_back(f);
        parent.resize(around.size());
        for (std::size_t i = 0; i < parent.size(); ++i)
            parent[i] = i;
        auto root = [&](std::size_t i) {
            while (parent[i] != i)
                i = parent[i];
            return i;
        };
        auto at = [&](const G3Facet* f) {
            return static_cast<std::size_t>(std::find(around.begin(), around.end(), f) - around.begin());
        };
        for (const G3Edge* e : ring)
            if (e->GetFacet1() && e->GetFacet2())
                parent[root(at(e->GetFacet1()))] = root(at(e->GetFacet2()));
        std::size_t fans = 0;
        for (std::size_t i = 0; i < parent.size(); ++i)
            fans += parent[i] == i;
        if (fans < 2)
            continue;
        for (std::size_t fan = 0; fan < parent.size(); ++fan) {
            if (parent[fan] != fan)
                continue;
            double d[3] = {0.0, 0.0, 0.0};
            for (const G3Edge* e : ring) {
                const G3Facet* f = e->GetFacet1() ? e->GetFacet1() : e->GetFacet2();
                const G3Vertex* w = e->GetVertex1() == v ? e->GetVertex2() : e->GetVertex1();
                if (!f || !w || root(at(f)) != fan)
                    continue;
                double u[3], len = 0.0;
                for (int c = 0; c < 3; ++c) {
                    u[c] = w->GetXYZ()[c] - v->GetXYZ()[c];
                    len += u[c] * u[c];
                }
                len = std::sqrt(len);
                if (len > GTolerance::kZeroLength)
                    for (int c = 0; c < 3; ++c)
                        d[c] += u[c] / len;
            }
            double facing = 0.0;
            for (std::size_t i = 0; i < around.size(); ++i)
                if (root(i) == fan) {
                    double plane[4];
                    FacingPlane(around[i], plane);
                    facing += plane[0] * d[0] + plane[1] * d[1] + plane[2] * d[2];
                }
            if (facing < 0.0)
                pinches |= kSolidCones;
            else if (facing > 0.0)
                pinches |= kEmptyCones;
        }
    }
    return pinches;
}

} // namespace

namespace {

// Every coordinate of p finite and within the largest coordinate: products
// of two such stay finite when planes form.
bool WithinLargestCoordinate(const double* p)
{
    for (int k = 0; k < 3; ++k)
        if (!(std::fabs(p[k]) <= GTolerance::kLargestCoordinate))
            return false;
    return true;
}

} // namespace

G3Surface* G3SolidsBuilder::BuildBox(double (*m)[4], double size, CExDataProvider* provider)
{
    if (!std::isfinite(size) || size <= 0.0 || size > GTolerance::kLargestCoordinate)
        return nullptr;
    const double s = size;
    const double p[8][3] = {{-s, -s, 0}, {s, -s, 0}, {s, s, 0}, {-s, s, 0},
                            {-s, -s, 2 * s}, {s, -s, 2 * s}, {s, s, 2 * s}, {-s, s, 2 * s}};
    static const int faces[6][4] = {{0, 1, 2, 3}, {4, 5, 6, 7}, {0, 1, 5, 4},
                                    {1, 2, 6, 5}, {2, 3, 7, 6}, {3, 0, 4, 7}};
    G3Surface* box = new G3Surface();
    box->GetExtendedDataFacetDefault() = provider;
    for (const auto& q : p)
        box->AddVertex(q, 0);
    for (const auto& face : faces) {
        int ids[4] = {face[0], face[1], face[2], face[3]};
        box->AddFacet(4, ids, 1, nullptr, nullptr);
    }
    box->FormPlaneEquation();
    box->OrientNormals2(false);
    if (m)
        box->RealTransformation(m);
    // A move that is not finite, or carries a corner past the largest
    // coordinate, leaves planes that overflow.
    for (int i = 0; i < box->GetVertexCount(); ++i)
        if (!WithinLargestCoordinate(box->GetVertex(i)->GetXYZ())) {
            delete box;
            return nullptr;
        }
    return box;
}

G3Surface* G3SolidsBuilder::BuildSphere(const double* center, double radius, int n)
{
    if (!center)
        return nullptr;
    G3Surface* out = new G3Surface();
    if (n % 2 != 0 && n < INT32_MAX)
        ++n;
    if (!(radius > GTolerance::kZeroLength) || !(radius <= GTolerance::kLargestCoordinate) || n < 4 ||
        !WithinLargestCoordinate(center))
        return out;
    const int rings = n / 2 + 1;
    // Rings times meridians must stay an index.
    if (static_cast<long long>(rings) * n > INT32_MAX / 2)
        return out;
    for (int k = 0; k < rings; ++k) {
        const double theta = 2.0 * kPi * k / n;
        // The last ring is the south pole: sin(theta) there is about 1e-16,
        // not 0, which spreads the ring's n points over radius * 1e-16 and
        // keeps them from welding into one once that passes the tolerance
        // (a radius of 1e10 gave an open sphere).
        const double ring = k + 1 == rings ? 0.0 : std::sin(theta);
        for (int j = 0; j < n; ++j) {
            const double phi = 2.0 * kPi * j / n;
            out->AddVertex(center[0] + radius * std::cos(phi) * ring, center[1] + radius * std::sin(phi) * ring,
                           center[2] + radius * std::cos(theta), 0);
        }
    }
    for (int k = 0; k + 1 < rings; ++k)
        for (int j = 0; j < n; ++j) {
            const int jn = (j + 1) % n;
            // Counter-clockwise seen from outside: the sphere is a solid.
            int ids[4] = {k * n + j, (k + 1) * n + j, (k + 1) * n + jn, k * n + jn};
            out->AddFacet(4, ids, 2, nullptr, nullptr);
        }
    out->FormPlaneEquation();
    out->RemoveEqualsVertex();
    out->FormPlaneEquation();
    return out;
}

void G3SolidsBuilder::CalcNewPlaneEquation(G3Facet* f, const double* planes, double thickness, double* plane)
{
    const double* p = planes ? planes + 4 * f->GetId() : f->GetPlane();
    for (int k = 0; k < 4; ++k)
        plane[k] = p[k];
    if (!f->GetMark())
        plane[3] -= thickness;
}

bool G3SolidsBuilder::MovedCorner(const G3Vertex* v, const std::vector<G3Facet*>& around, const double* sources,
                                  double thickness, double* x)
{
    // The distinct moved planes: a facet whose normal runs with one kept
    // already lies in its plane at v (a box face given as two triangles).
    // More than three (the apex of a pyramid): no point lies on them all,
    // and the corner is where the facet's plane meets those of its two
    // neighbours along the contour (the first three of `around`).
    double planes[3][4];
    int distinct = 0;
    bool many = false;
    for (G3Facet* h : around) {
        double P[4];
        CalcNewPlaneEquation(h, sources, thickness, P);
        bool same = false;
        for (int k = 0; k < distinct && !same; ++k)
            same = P[0] * planes[k][0] + P[1] * planes[k][1] + P[2] * planes[k][2] >= 1.0 - GTolerance::kParallel;
        if (same)
            continue;
        if (distinct == 3) {
            many = true;
            break;
        }
        std::copy(P, P + 4, planes[distinct++]);
    }
    if (many) {
        for (int k = 0; k < 3; ++k)
            CalcNewPlaneEquation(around[static_cast<std::size_t>(k)], sources, thickness, planes[k]);
        distinct = 3;
    }
    const double* p = v->GetXYZ();
    double* P = planes[0];
    double* Q = planes[1];
    double* R = planes[2];
    if (distinct == 3) {
        // Two planes facing opposite ways (a top and the bottom of a box
        // standing on it) meet nowhere; at site coordinates their normals
        // differ by rounding, which the triple product alone lets through.
        auto opposed = [](const double* a, const double* b) {
            return a[0] * b[0] + a[1] * b[1] + a[2] * b[2] <= GTolerance::kParallel - 1.0;
        };
        if (opposed(P, Q) || opposed(Q, R) || opposed(P, R))
            return false;
        const double det = Det3x3(P[0], Q[0], R[0], P[1], Q[1], R[1], P[2], Q[2], R[2]);
        if (!(std::fabs(det) >= GTolerance::kZeroNormal))
            return false;
        x[0] = Det3x3(-P[3], -Q[3], -R[3], P[1], Q[1], R[1], P[2], Q[2], R[2]) / det;
        x[1] = Det3x3(P[0], Q[0], R[0], -P[3], -Q[3], -R[3], P[2], Q[2], R[2]) / det;
        x[2] = Det3x3(P[0], Q[0], R[0], P[1], Q[1], R[1], -P[3], -Q[3], -R[3]) / det;
    } else if (distinct == 2) {
        // On both moved planes, nearest v: v + a P + b Q.
        const double c = P[0] * Q[0] + P[1] * Q[1] + P[2] * Q[2];
        const double det = 1.0 - c * c;
        if (!(det >= GTolerance::kZeroNormal))
            return false;
        const double rp = -(P[0] * p[0] + P[1] * p[1] + P[2] * p[2] + P[3]);
        const double rq = -(Q[0] * p[0] + Q[1] * p[1] + Q[2] * p[2] + Q[3]);
        const double a = (rp - c * rq) / det, b = (rq - c * rp) / det;
        for (int k = 0; k < 3; ++k)
            x[k] = p[k] + a * P[k] + b * Q[k];
    } else {
        const double r = -(P[0] * p[0] + P[1] * p[1] + P[2] * p[2] + P[3]);
        for (int k = 0; k < 3; ++k)
            x[k] = p[k] + r * P[k];
    }
    // x may have overflowed (a thickness near the largest double): the
    // caller refuses it rather than drop the corner and build a wrong shell.
    return true;
}

bool G3SolidsBuilder::ShellFacet(G3Facet* f, const double* planes, G3Surface* out, double thickness)
{
    GArrayCollection all;
    f->GetEdges(&all);
    // The contours, one after another: a contour runs until an edge shares
    // no vertex with the one before it (the next hole starts there).
    std::vector<std::vector<G3Edge*>> contours;
    for (int k = 0; k < all.size(); ++k) {
        G3Edge* e = static_cast<G3Edge*>(all.get(k));
        const G3Edge* prev = contours.empty() ? nullptr : contours.back().back();
        const bool joined = prev && (e->GetVertex1() == prev->GetVertex1() || e->GetVertex1() == prev->GetVertex2() ||
                                     e->GetVertex2() == prev->GetVertex1() || e->GetVertex2() == prev->GetVertex2());
        if (!joined)
            contours.emplace_back();
        contours.back().push_back(e);
    }
    std::vector<G3Facet*> around;
    std::vector<double> chain;
    bool sound = true;
    // The moved corners of one contour, in its order. Corners k and k + 1
    // are the moved ends of edge k + 1, which runs along the line where the
    // moved planes of its two facets meet, parallel to the edge itself: it
    // runs back along it only when the thickness pushed its ends past each
    // other, the shell folding over there (an inward shell deeper than the
    // solid is thick: a box came out inside out, every plane unturned). A
    // moved edge back by less than the weld distance collapsed to a point
    // the weld closes.
    auto movedCorners = [&](const std::vector<G3Edge*>& edges) {
        std::vector<G3Vertex*> corners;
        const int n = static_cast<int>(edges.size());
        const G3Vertex* firstFrom = nullptr;
        const G3Vertex* lastFrom = nullptr;
        int firstAt = -1, lastAt = -1;
        auto turned = [](const G3Vertex* a, const G3Vertex* b, const G3Vertex* ma, const G3Vertex* mb) {
            if (!ma || !mb)
                return false;
            const double* p = a->GetXYZ();
            const double* q = b->GetXYZ();
            const double* mp = ma->GetXYZ();
            const double* mq = mb->GetXYZ();
            const double d[3] = {q[0] - p[0], q[1] - p[1], q[2] - p[2]};
            const double along = (mq[0] - mp[0]) * d[0] + (mq[1] - mp[1]) * d[1] + (mq[2] - mp[2]) * d[2];
            return along < -GTolerance::kWeld * std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
        };
        for (int k = 0; k < n; ++k) {
            G3Facet* g1 = OtherFacet(edges[k], f);
            G3Facet* g2 = OtherFacet(edges[(k + 1) % n], f);
            if (!g1 || !g2)
                continue;
            // The corner's vertex: the end edge k shares with edge k + 1.
            const G3Edge* e = edges[k];
            const G3Edge* e2 = edges[(k + 1) % n];
            G3Vertex* v = e->GetVertex2() == e2->GetVertex1() || e->GetVertex2() == e2->GetVertex2() ? e->GetVertex2()
                                                                                                      : e->GetVertex1();
            // The planes of the facets around v, each once (f, g1 and g2
            // first, so that a corner of three facets is worked out as it
            // always was).
            around.assign({f, g1, g2});
            const int ring = v->GetEdgeCount();
            std::vector<G3Edge*> vedges(static_cast<std::size_t>(ring));
            v->GetEdges(vedges.data());
            for (G3Edge* ve : vedges)
                for (G3Facet* h : {ve->GetFacet1(), ve->GetFacet2()})
                    if (h && std::find(around.begin(), around.end(), h) == around.end())
                        around.push_back(h);
            // Four planes or more around v: a run of corners that meets the
            // neighbours' (the planes' common point of three would leave
            // the moved edges ending apart).
            if (!CornerChain(v, f, e2, planes, thickness, chain)) {
                chain.resize(3);
                if (!MovedCorner(v, around, planes, thickness, chain.data()))
                    continue;
            }
            if (!std::all_of(chain.begin(), chain.end(), [](double c) { return std::isfinite(c); })) {
                sound = false;
                continue;
            }
            for (std::size_t c = 0; c < chain.size(); c += 3) {
                G3Vertex* moved = out->AddVertex(chain[c], chain[c + 1], chain[c + 2], 0);
                if (c == 0 && lastAt >= 0 && lastAt == k - 1 && turned(lastFrom, v, corners.back(), moved))
                    sound = false;
                corners.push_back(moved);
            }
            if (firstAt < 0) {
                firstAt = k;
                firstFrom = v;
            }
            lastAt = k;
            lastFrom = v;
        }
        // Edge 0 joins the last corner to the first.
        if (firstAt == 0 && lastAt == n - 1 && n > 1 && turned(lastFrom, firstFrom, corners.back(), corners.front()))
            sound = false;
        return corners;
    };
    if (contours.empty() || contours[0].size() < 3)
        return true;
    std::vector<G3Vertex*> corners = movedCorners(contours[0]);
    if (corners.size() < 3)
        return sound;
    G3Facet* g = out->AddFacet(static_cast<int>(corners.size()), corners.data(), 1, nullptr, nullptr);
    if (!g)
        return sound;
    const long scratch = G3Obj::FLAG_MARK | G3Obj::FLAG_MARK2 | G3Obj::FLAG_MARK3 | G3Obj::FLAG_MARK4;
    g->SetFlags(f->GetFlags() & ~scratch);
    g->SetSurface(static_cast<int>(f->GetId()));
    // The holes move with the walls around them (a window's reveals).
    for (std::size_t c = 1; c < contours.size(); ++c) {
        std::vector<G3Vertex*> hole = movedCorners(contours[c]);
        if (hole.size() < 3)
            continue;
        G3EdgeList list(static_cast<int>(hole.size()), hole.data(), nullptr, nullptr, nullptr, g->GetFlags(),
                        g->GetSurface());
        out->AddFacetEdges(g, &list);
    }
    return sound;
}

bool G3SolidsBuilder::Shell(G3Surface* s, G3Surface** out, double thickness, GArrayCollection* keep)
{
    if (out)
        *out = nullptr;
    if (!s || !out || !std::isfinite(thickness))
        return false;
    // A corner on the border of an open surface has no third plane and was
    // dropped, so the shell of a terrain came out empty, or a box without
    // its lid lost its walls: shells are of closed solids only.
    if (s->GetFacetCount() == 0 || !G3SurfaceWatertight(s))
        return false;
    // Grown outwards, the facets on either side of a pinch move into each
    // other: the shell came back closed but overlapping itself, its volume
    // counting the overlap twice. A pinch (along an edge, or at a corner
    // two solids share) is a notch of no width, and an outward shell wider
    // than a notch is refused. Shrunk, the two sides move apart and the
    // shell is sound. Two notches meeting at a point are the same the other
    // way round: shrunk, the solid between them crossed itself there.
    const int pinches = PinchesAtVertices(s);
    if (thickness > 0.0 && (PinchedAlongAnEdge(s) || (pinches & kSolidCones)))
        return false;
    if (thickness < 0.0 && (pinches & kEmptyCones))
        return false;
    s->AssignFacetIds();
    GArrayCollection* facets = s->GetFacetList();
    const int count = s->GetFacetCount();
    // Only facets of s are marked, each once, so that clearing them again
    // touches nothing else.
    std::vector<G3Facet*> kept;
    if (keep)
        for (int k = 0; k < keep->size(); ++k) {
            G3Facet* f = dynamic_cast<G3Facet*>(keep->get(k));
            if (!f)
                continue;
            if (f->GetId() < 0 || f->GetId() >= count || facets->get(static_cast<int>(f->GetId())) != f ||
                f->GetMark())
                continue;
            f->SetMark();
            kept.push_back(f);
        }
    // A face given as several facets moves as one (WholeFaces); should
    // that shell fail where the facets as given make one, the latter stands.
    G3Surface* R = nullptr;
    if (G3Surface* whole = WholeFaces(s)) {
        for (int k = 0; k < whole->GetFacetCount(); ++k) {
            G3Facet* f = whole->GetFacet(k);
            const int src = f->GetSurface();
            if (src >= 0 && src < count && static_cast<G3Facet*>(facets->get(src))->GetMark())
                f->SetMark();
            else
                f->ClearMark();
        }
        R = MovedFaces(whole, s, thickness);
        delete whole;
    }
    if (!R)
        R = MovedFaces(s, s, thickness);
    for (G3Facet* f : kept)
        f->ClearMark();
    *out = R;
    return R != nullptr;
}

G3Surface* G3SolidsBuilder::MovedFaces(G3Surface* faces, G3Surface* s, double thickness)
{
    GArrayCollection* facets = faces->GetFacetList();
    const int count = faces->GetFacetCount();
    // Each facet moves along the side its contours face (FacingPlane).
    std::vector<double> planes(4 * static_cast<std::size_t>(count));
    for (int k = 0; k < count; ++k)
        FacingPlane(static_cast<G3Facet*>(facets->get(k)), planes.data() + 4 * k);
    G3Surface* R = new G3Surface();
    bool sound = true;
    for (int k = 0; k < count; ++k)
        sound = ShellFacet(static_cast<G3Facet*>(facets->get(k)), planes.data(), R, thickness) && sound;
    // A working facet's number names the source facet it was made from.
    if (faces != s)
        for (int k = 0; k < R->GetFacetCount(); ++k) {
            G3Facet* g = R->GetFacet(k);
            if (g->GetSurface() >= 0 && g->GetSurface() < count)
                g->SetSurface(static_cast<G3Facet*>(facets->get(g->GetSurface()))->GetSurface());
        }
    // Corners near the largest double give planes of NaN (squares of their
    // coordinates overflow), or of zero normals, which RemoveTurned takes
    // for turned ones: a shell with a plane that is no number is refused
    // before any pass runs on it (the passes' checks would stop on it), and
    // one left with no facets after them.
    auto planesFinite = [](G3Surface* r) {
        for (int k = 0; k < r->GetFacetCount(); ++k) {
            const double* p = r->GetFacet(k)->GetPlane();
            if (!(std::isfinite(p[0]) && std::isfinite(p[1]) && std::isfinite(p[2]) && std::isfinite(p[3])))
                return false;
        }
        return true;
    };
    if (!sound || !planesFinite(R)) {
        delete R;
        return nullptr;
    }
    R->RemoveEqualsVertex();
    R->RemoveNonManifoldEdges();
    R->RemoveSelfIntersections();
    R->FormPlaneEquation();
    // A facet whose rebuilt plane turned against the facet it was made
    // from (an inward shell thicker than the solid allows) goes. When that
    // opens a shell that was closed, the shell folded over inside a face:
    // coplanar facets (a triangulated cap) move their shared corners
    // together, and a thin one among them turned over while its edges kept
    // their directions. It came back open, reported as done; it is refused
    // like any fold. So is a shell that comes out open before any facet
    // goes: a face given as triangles thinner than the thickness near a
    // vertex of four planes, whose far side crosses the notch the corners
    // cut there, or a solid pinched along an edge, whose moved facets
    // there have no common edges.
    RemoveTurned(R, s);
    R->RemoveUnused();
    R->AssignIds();
    if (!G3SurfaceWatertight(R)) {
        delete R;
        return nullptr;
    }
    // Opposite walls moved onto one plane (an inward shell of half a wall's
    // thickness) leave facets back to back around no volume, a shell that
    // is closed but holds nothing: thinner on average than the weld
    // distance, it is no shell.
    const bool flat = std::fabs(G3SurfaceVolume(R)) <= 0.5 * GTolerance::kWeld * G3SurfaceArea(R);
    if (R->GetFacetCount() == 0 || !planesFinite(R) || flat) {
        delete R;
        return nullptr;
    }
    return R;
}

void G3SolidsBuilder::RemoveTurned(G3Surface* shell, G3Surface* source)
{
    if (!shell || !source)
        return;
    GArrayCollection* facets = source->GetFacetList();
    const int count = source->GetFacetCount();
    GArrayCollection turned;
    for (int k = 0; k < shell->GetFacetCount(); ++k) {
        G3Facet* g = shell->GetFacet(k);
        if (g->GetMark2())
            continue;
        const int src = g->GetSurface();
        if (src < 0 || src >= count)
            continue;
        // The sides the contours face (FacingPlane), whatever plane the
        // rebuilt face and its source store.
        double a[4], b[4];
        FacingPlane(g, a);
        FacingPlane(static_cast<G3Facet*>(facets->get(src)), b);
        if (a[0] * b[0] + a[1] * b[1] + a[2] * b[2] < GTolerance::kZeroLength)
            turned.add(g);
    }
    for (int k = 0; k < turned.size(); ++k)
        shell->RemoveFacet(static_cast<G3Facet*>(turned.get(k)));
}
