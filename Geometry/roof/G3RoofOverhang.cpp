// The eave overhang. The roof's plan grows by the overhang all round (the
// outline offset outwards, corners mitred); every eave moves outwards in
// its own pitch plane, so it drops by overhang * tan(its pitch), and a
// gable wall moves outwards with the offset. The sweep starts from the
// outline with its gables moved, so that over the outline the roof is the
// one without overhang. Each edge then gets the part of its plane between
// the outline edge and the offset edge, ended at each corner by the line
// where its plane meets the neighbour's (a hip or valley running down, a
// moved gable, a step between collinear eaves) as far as that line stays
// inside the offset band; with unequal pitches it leaves the band across
// one of the two offset edges, and the face beyond it takes the mitre
// corner and a sloped piece of the other's offset edge. Where the two end
// lines of an edge meet inside the band instead (a steep short edge
// between shallower neighbours, a valley past a whole edge), the face
// closes there and G3RoofBandFaces builds the band by meetings.
// Invariants: every face lies in its edge's plane and the faces tile the
// band; an offset that would turn an edge around or shrink it to nothing,
// a line at a corner that does not run out into both strips, faces by
// meetings that do not tile the band, and an offset border that crosses
// itself are refused before anything is built. Rounding happens only
// where planes and offset lines are intersected.
#include "Geometry/roof/G3RoofGenerator.h"

#include "Geometry/math/G3Math.h"
#include "Geometry/math/GTolerance.h"
#include "Geometry/roof/G3RoofBandFaces.h"
#include "Geometry/roof/G3RoofFacetRings.h"
#include "Geometry/roof/G3RoofPlanes.h"
#include "Geometry/roof/G3RoofVertex.h"

#include <cmath>
#include <vector>

using GTolerance::kPlaneSide;
using GTolerance::kZeroLength;

namespace {

bool Vertical(const G3RoofVertex* v) { return G3RoofIsVertical(v->angle); }

// The xy length of the edge ending at v.
double EdgeLength(const G3RoofVertex* v)
{
    const double* a = v->prev->point.GetXYZ();
    const double* b = v->point.GetXYZ();
    return std::hypot(b[0] - a[0], b[1] - a[1]);
}

// The height of plane pl over (x, y); pl is not vertical.
double HeightOn(const double* pl, const double* xy) { return -(pl[0] * xy[0] + pl[1] * xy[1] + pl[3]) / pl[2]; }

} // namespace

// Where the band's strips meet at one corner (between the edge ending at a
// base vertex and the next edge): the mitre corner M of the offset, and
// the point H where the line shared by the two planes leaves the first
// face's part of the band. `side` 0: H is M (or a gable's or step's
// corner); 1: H lies on the first edge's offset, the second face takes M;
// 2: H lies on the second edge's offset, the first face takes M.
struct G3RoofBandCorner {
    double m[2];
    double h[2];
    int side;
};

namespace {

// What Band found: a strip per edge holds the band; the outline is
// refused; or two lines of some edge meet inside the band.
enum : int { kBandFits, kBandRefused, kBandCloses };

// The plan of the strip of the edge ending at base vertex b, between its
// corners from and to, crosses itself: two of its sides that share no
// corner cross strictly inside both (sides that only touch, or run in
// line, are left to the strip).
bool StripCrosses(const G3RoofVertex* b, const G3RoofBandCorner& from, const G3RoofBandCorner& to)
{
    // The ring the strip is spliced in as: the eave's end, its lower path
    // from the end corner back to the start, the eave's start.
    std::vector<const double*> ring = {b->point.GetXYZ(), to.h};
    if (to.side == 2)
        ring.push_back(to.m);
    if (from.side == 1)
        ring.push_back(from.m);
    ring.push_back(from.h);
    ring.push_back(b->prev->point.GetXYZ());
    return G3RoofPlanRingCrosses(ring);
}

} // namespace

G3RoofVertex* G3RoofGenerator::OverhangBase(G3RoofVertex* ring)
{
    const double z0 = ring->point.GetZ();
    G3RoofVertex* base = BandBase(ring);
    std::vector<G3RoofBandCorner> corners;
    std::vector<std::vector<double>> paths;
    if (base == nullptr || !BandPaths(ring, base, corners, paths)) {
        G3RoofRing::Release(base);
        return nullptr;
    }
    // The offset border and, with gables moved, the wall-top ring must not
    // cross themselves.
    G3RoofVertex* outer = nullptr;
    for (const G3RoofBandCorner& c : corners) {
        const double xyz[3] = {c.m[0], c.m[1], z0};
        if (outer && (G3Point::Equals(outer->prev->point.GetXYZ(), xyz) || G3Point::Equals(outer->point.GetXYZ(), xyz)))
            continue;
        outer = G3RoofRing::Append(outer, new G3RoofVertex(xyz, nullptr));
    }
    // (Steps have no length there: the check takes the ring without them.)
    G3RoofVertex* top = G3RoofRing::Clean(G3RoofRing::Copy(base), true, true);
    const bool ok = G3RoofRing::Size(outer) >= 3 && !RingCrosses(outer) && top && !RingCrosses(top);
    G3RoofRing::Release(outer);
    G3RoofRing::Release(top);
    if (!ok) {
        G3RoofRing::Release(base);
        return nullptr;
    }
    return base;
}

G3RoofVertex* G3RoofGenerator::BandBase(G3RoofVertex* ring)
{
    const double z0 = ring->point.GetZ();
    G3RoofVertex* planes = G3RoofRing::Copy(ring);
    G3RoofVertex* v = planes;
    bool ok = true;
    do {
        // A step carries its plane already (its edge has no length).
        if (EdgeLength(v) >= kZeroLength && !PitchPlane(v->prev, v))
            ok = false;
        v = v->next;
    } while (ok && v != planes);
    if (!ok) {
        G3RoofRing::Release(planes);
        return nullptr;
    }
    // Gables move outwards, to the left of the clockwise edge.
    std::vector<char> moved;
    do {
        const double len = EdgeLength(v);
        const bool gable = Vertical(v) && len >= kZeroLength;
        if (gable) {
            const double* a = v->prev->point.GetXYZ();
            const double* b = v->point.GetXYZ();
            const double left[2] = {-(b[1] - a[1]) / len, (b[0] - a[0]) / len};
            v->plane[3] -= overhang * (v->plane[0] * left[0] + v->plane[1] * left[1]);
        }
        moved.push_back(gable ? 1 : 0);
        v = v->next;
    } while (v != planes);
    G3RoofVertex* base = nullptr;
    std::size_t i = 0;
    do {
        double xyz[3] = {v->point.GetX(), v->point.GetY(), z0};
        if ((moved[i] || moved[(i + 1) % moved.size()]) && !G3RoofLevelPoint(v->plane, v->next->plane, z0, xyz))
            ok = false;
        base = G3RoofRing::Append(base, new G3RoofVertex(xyz, v));
        v = v->next;
        ++i;
    } while (v != planes);
    G3RoofRing::Release(planes);
    if (!ok) {
        G3RoofRing::Release(base);
        return nullptr;
    }
    return base;
}

int G3RoofGenerator::Band(G3RoofVertex* ring, G3RoofVertex* base, std::vector<G3RoofBandCorner>& corners)
{
    // The outward unit normal of every edge (a step takes its
    // neighbour's: the two lie on one line).
    std::vector<G3RoofVertex*> vs, bs;
    G3RoofVertex* v = ring;
    G3RoofVertex* b = base;
    do {
        vs.push_back(v);
        bs.push_back(b);
        v = v->next;
        b = b->next;
    } while (v != ring);
    const std::size_t n = vs.size();
    std::vector<double> left(2 * n, 0.0);
    for (std::size_t k = 0; k < 2 * n; ++k) {
        const std::size_t i = k % n;
        const double len = EdgeLength(vs[i]);
        if (len >= kZeroLength) {
            const double* p = vs[i]->prev->point.GetXYZ();
            const double* q = vs[i]->point.GetXYZ();
            left[2 * i] = -(q[1] - p[1]) / len;
            left[2 * i + 1] = (q[0] - p[0]) / len;
        } else if (k >= n) {
            const std::size_t j = (i + 1) % n;
            left[2 * i] = left[2 * j];
            left[2 * i + 1] = left[2 * j + 1];
        }
    }
    auto refuse = [&](std::size_t i) {
        reversedEdge = vs[i]->edgeIndex;
        return kBandRefused;
    };
    corners.assign(n, G3RoofBandCorner());
    for (std::size_t i = 0; i < n; ++i) {
        const std::size_t j = (i + 1) % n;
        const double* l1 = &left[2 * i];
        const double* l2 = &left[2 * j];
        const double* c = vs[i]->point.GetXYZ();
        const double cosine = l1[0] * l2[0] + l1[1] * l2[1];
        if (!(1.0 + cosine > GTolerance::kParallel))
            return refuse(j);
        G3RoofBandCorner& k = corners[i];
        for (int a = 0; a < 2; ++a)
            k.m[a] = c[a] + overhang * (l1[a] + l2[a]) / (1.0 + cosine);
        k.h[0] = k.m[0], k.h[1] = k.m[1];
        k.side = 0;
        const G3RoofVertex* e1 = bs[i];
        const G3RoofVertex* e2 = bs[j];
        if (Vertical(e1) || Vertical(e2))
            continue;
        // Down the line the two planes share from the corner.
        double lowXYZ[3];
        if (!G3RoofLevelPoint(e1->plane, e2->plane, c[2] - 1.0, lowXYZ))
            return kBandRefused;
        const double u[2] = {lowXYZ[0] - c[0], lowXYZ[1] - c[1]};
        const double s1 = u[0] * l1[0] + u[1] * l1[1];
        const double s2 = u[0] * l2[0] + u[1] * l2[1];
        if (!(s1 > 0.0 && s2 > 0.0))
            return kBandRefused;
        // Round a convex corner the roof is the lower of the two planes
        // and the band the two strips' overlap, so the hip leaves it across
        // the offset line it reaches first. Round a reflex one (turning
        // left on the clockwise ring) the roof is the higher plane and the
        // band the strips' union: the valley crosses the nearer offset
        // line inside the other strip and leaves across the farther one.
        // Either way the face whose offset edge it leaves across ends
        // there, and the other runs on to the mitre corner. With equal
        // pitches the line runs through the mitre corner, where it meets
        // both offset lines: H is M, taken at the nearer line.
        const double t1 = overhang / s1, t2 = overhang / s2;
        const double nearer = std::fmin(t1, t2);
        k.h[0] = c[0] + nearer * u[0];
        k.h[1] = c[1] + nearer * u[1];
        if (std::hypot(k.h[0] - k.m[0], k.h[1] - k.m[1]) >= kZeroLength) {
            const bool reflex = l1[0] * l2[1] - l1[1] * l2[0] > 0.0;
            if (reflex) {
                const double farther = std::fmax(t1, t2);
                k.h[0] = c[0] + farther * u[0];
                k.h[1] = c[1] + farther * u[1];
            }
            k.side = (reflex ? t1 > t2 : t1 < t2) ? 1 : 2;
        }
    }
    // Every offset edge keeps its direction (else the outline is refused,
    // whatever else is found), and a hip line leaves the band across the
    // offset edge next to its corner (else some face closes inside it).
    int fit = kBandFits;
    for (std::size_t i = 0; i < n; ++i) {
        const double len = EdgeLength(vs[i]);
        if (len < kZeroLength)
            continue;
        const double* p = vs[i]->prev->point.GetXYZ();
        const double* q = vs[i]->point.GetXYZ();
        const double d[2] = {(q[0] - p[0]) / len, (q[1] - p[1]) / len};
        const G3RoofBandCorner& from = corners[(i + n - 1) % n];
        const G3RoofBandCorner& to = corners[i];
        auto along = [&](const double* x, const double* y) { return (y[0] - x[0]) * d[0] + (y[1] - x[1]) * d[1]; };
        const double* tb0 = bs[i]->prev->point.GetXYZ();
        const double* tb1 = bs[i]->point.GetXYZ();
        if (along(from.m, to.m) < kZeroLength || along(tb0, tb1) < kZeroLength)
            return refuse(i);
        // A hip or valley that leaves across this edge's offset does so
        // between its mitre corners, in order; one sent further (a nearly
        // straight corner between pitches that differ, a valley past a
        // short edge) meets a line of the next corner inside the band.
        if ((to.side == 1 && (along(from.m, to.h) < 0.0 || along(to.h, to.m) < 0.0)) ||
            (from.side == 2 && (along(from.m, from.h) < 0.0 || along(from.h, to.m) < 0.0)) ||
            (to.side == 1 && from.side == 2 && along(from.h, to.h) < 0.0)) {
            fit = kBandCloses;
            continue;
        }
        // The lines from both ends may still cross inside the band (a
        // steep edge between two reflex corners of shallower pitch, whose
        // valleys lean in over its strip): the face closes there, below
        // the wall top, and its neighbours meet beyond it, which a strip
        // per edge cannot hold. Its strip would fold over itself (the
        // lower layer overlapping itself, a thick roof left open).
        if (!Vertical(bs[i]) && StripCrosses(bs[i], from, to))
            fit = kBandCloses;
    }
    return fit;
}

void G3RoofGenerator::AddOverhangStrips(G3RoofVertex* base, G3RoofSpliceIndex& index)
{
    std::vector<G3RoofBandCorner> corners;
    std::vector<std::vector<double>> paths;
    if (bandOutline == nullptr || !BandPaths(bandOutline, base, corners, paths))
        return;
    const double z0 = base->point.GetZ();
    const std::size_t n = corners.size();
    G3RoofVertex* b = base;
    for (std::size_t i = 0; i < n; ++i, b = b->next) {
        if (b->pitchIndex < 0 || b->pitchIndex >= pitches.size() || EdgeLength(b) < kZeroLength)
            continue;
        // The strip's lower path, from the end corner back to the start;
        // a moved gable's heights are its neighbours' at its two ends.
        std::vector<double> path;
        const std::size_t count = paths[i].size() / 2;
        for (std::size_t k = 0; k < count; ++k) {
            const double* xy = &paths[i][2 * k];
            const G3RoofVertex* neighbour = 2 * k < count ? b->next : b->prev;
            double z = 0.0;
            if (!Vertical(b))
                z = HeightOn(b->plane, xy);
            else if (!Vertical(neighbour))
                z = HeightOn(neighbour->plane, xy);
            else
                z = z0;
            path.insert(path.end(), {xy[0], xy[1], z});
        }
        // The facet ring that holds the eave runs it backwards, from b to
        // its predecessor: the strip goes in between.
        std::vector<const double*> chain = {b->point.GetXYZ()};
        for (std::size_t k = 0; k < path.size(); k += 3)
            chain.push_back(&path[k]);
        chain.push_back(b->prev->point.GetXYZ());
        index.AddStrip(b->pitchIndex, chain, b->point.GetZ(), b);
    }
}

bool G3RoofGenerator::BandPaths(G3RoofVertex* ring, G3RoofVertex* base, std::vector<G3RoofBandCorner>& corners,
                                std::vector<std::vector<double>>& paths)
{
    const int fit = Band(ring, base, corners);
    if (fit == kBandRefused)
        return false;
    const std::size_t n = corners.size();
    paths.assign(n, {});
    if (fit == kBandFits) {
        // A strip per edge: from its end corner's point where the line
        // leaves the band (and the mitre when this face takes it) to its
        // start corner's.
        for (std::size_t i = 0; i < n; ++i) {
            const G3RoofBandCorner& from = corners[(i + n - 1) % n];
            const G3RoofBandCorner& to = corners[i];
            std::vector<double>& path = paths[i];
            path.insert(path.end(), {to.h[0], to.h[1]});
            if (to.side == 2)
                path.insert(path.end(), {to.m[0], to.m[1]});
            if (from.side == 1)
                path.insert(path.end(), {from.m[0], from.m[1]});
            path.insert(path.end(), {from.h[0], from.h[1]});
        }
        return true;
    }
    // Two lines of some edge meet inside the band: faces by meetings.
    G3RoofBandInput in;
    G3RoofVertex* v = ring;
    G3RoofVertex* b = base;
    for (std::size_t i = 0; i < n; ++i, v = v->next, b = b->next) {
        in.corners.push_back(v->point.GetXYZ());
        in.planes.push_back(b->plane);
        in.vertical.push_back(Vertical(b) || EdgeLength(v) < kZeroLength ? 1 : 0);
        in.mitres.insert(in.mitres.end(), {corners[i].m[0], corners[i].m[1]});
    }
    return G3RoofBandFaces(in, paths);
}
