// Facets lying on one another: their normals agree within kPlaneEqual
// (either way round), every corner of one lies within kPlaneSide of the
// other's plane and an inner point of it (of the first few) inside the
// other, clear of its boundary (kInFacet); both tolerances times the
// coordinates' scale. Only
// pairs whose boxes meet (widened by that plane band) are tried: through a
// box hash over one shell's facets, the other's queried where their boxes
// meet its envelope. Nothing rounds but the inner points, and nothing is
// changed.

#include "Geometry/mesh/G3MeshCheck.h"

#include "Geometry/math/GEnvelope.h"
#include "Geometry/math/GTolerance.h"
#include "Geometry/mesh/G3BoxHash.h"
#include "Geometry/mesh/G3Edge.h"
#include "Geometry/mesh/G3Facet.h"
#include "Geometry/mesh/G3FacetIterators.h"
#include "Geometry/mesh/G3Shell.h"
#include "Geometry/mesh/G3Vertex.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

namespace {

using GTolerance::kPlaneEqual;

// g lies on f: every corner of g within `side` of f's plane, and an inner
// point of g (one of the first few it offers) inside f, off its boundary
// (`inFacet`). Only g's corners are held to f's plane: a long facet's
// plane, fitted to corners rounded off it, may stand farther than `side`
// off a small facet's far corners and still hold it where they overlap;
// and two faces parting at a hair's angle (a wedge a slice leaves) are not
// on one another where they part.
constexpr int kInnerPoints = 3;
bool LiesOn(G3Facet* g, G3Facet* f, double side, double inFacet)
{
    int gi = 0, gj = 1, fi = 0, fj = 1;
    g->GetMaxCoo(&gi, &gj);
    f->GetMaxCoo(&fi, &fj);
    const double* pf = f->GetPlane();
    for (G3ContourWalker w(g); w.Next();) {
        const double* x = w.GetEntry()->GetXYZ();
        if (!(std::fabs(pf[0] * x[0] + pf[1] * x[1] + pf[2] * x[2] + pf[3]) < side))
            return false;
    }
    double last[3] = {0, 0, 0};
    for (int k = 0; k < kInnerPoints; ++k) {
        double p[3];
        if (!(k == 0 ? g->GeneratePointInFacetConcave(gi, gj, p) : g->GenerateOtherPointInFacet(gi, gj, k, p)))
            return false;
        if (k > 0 && p[0] == last[0] && p[1] == last[1] && p[2] == last[2])
            return false;  // no other inner point left
        std::copy(p, p + 3, last);
        G3Vertex* onA = nullptr;
        G3Vertex* onB = nullptr;
        if (f->PointInFacet(fi, fj, p, &onA, &onB, inFacet) && !onA && !onB)
            return true;
    }
    return false;
}

bool Usable(const G3Facet* f) { return f && !f->IsPlaneZero() && f->GetFirstEdge(); }

std::vector<GEnvelope> Boxes(G3Shell* s, double widen)
{
    std::vector<GEnvelope> boxes(static_cast<std::size_t>(s->GetFacetCount()));
    for (int k = 0; k < s->GetFacetCount(); ++k) {
        s->GetFacet(k)->FormEnvelope(&boxes[static_cast<std::size_t>(k)]);
        boxes[static_cast<std::size_t>(k)].Extend(widen);
    }
    return boxes;
}

} // namespace

bool G3FacetsOnOneAnother(G3Shell* s, G3Shell* other, double scale, int* first, int* second)
{
    if (!s || !(scale > 0.0))
        return false;
    const double side = GTolerance::kPlaneSide * scale, inFacet = GTolerance::kInFacet * scale;
    // The hash goes over the shell of fewer facets; pairs are named from s.
    const bool swap = other && other->GetFacetCount() < s->GetFacetCount();
    G3Shell* hashed = other ? (swap ? other : s) : s;
    G3Shell* queried = other ? (swap ? s : other) : s;
    const std::vector<GEnvelope> boxes = Boxes(hashed, side);
    GEnvelope reach;
    for (const GEnvelope& b : boxes)
        reach.Add(&b);
    const G3BoxHash index(boxes);
    std::vector<int> near;
    for (int k = 0; k < queried->GetFacetCount(); ++k) {
        G3Facet* f = queried->GetFacet(k);
        if (!Usable(f))
            continue;
        GEnvelope box;
        f->FormEnvelope(&box);
        box.Extend(side);
        if (!box.IsIntersectXYZ(&reach))
            continue;
        const double* pf = f->GetPlane();
        index.Candidates(box, near);
        for (const int m : near) {
            G3Facet* g = hashed->GetFacet(m);
            if ((!other && m <= k) || !Usable(g) || !box.IsIntersectXYZ(&boxes[static_cast<std::size_t>(m)]))
                continue;
            const double* pg = g->GetPlane();
            if (std::fabs(std::fabs(pf[0] * pg[0] + pf[1] * pg[1] + pf[2] * pg[2]) - 1.0) >= kPlaneEqual)
                continue;
            if (LiesOn(g, f, side, inFacet) || LiesOn(f, g, side, inFacet)) {
                // From s first: the queried facet is s's unless s was hashed.
                const bool fromS = !other || swap;
                if (first)
                    *first = fromS ? k : m;
                if (second)
                    *second = fromS ? m : k;
                return true;
            }
        }
    }
    return false;
}

std::string G3OverlapCheck(G3Shell* s)
{
    int f = -1, g = -1;
    if (!G3FacetsOnOneAnother(s, nullptr, 1.0, &f, &g))
        return std::string();
    return "facet: lies on another (" + std::to_string(f) + ", " + std::to_string(g) + ")";
}
