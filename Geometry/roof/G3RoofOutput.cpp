// Writing the roof into the target surface: the roof facets (one layer, or
// a lower and a raised layer), the fascia along the border of a thick roof
// and texture coordinates laid out in each facet's plane (where border
// edges face each other across a vertical plane, the fascia is cut as
// G3RoofStepFascia.cpp says). Invariants: every facet is created while the
// roof facet provider's current pair names its record, and the pair is
// (0, 0) again when a writer returns; a facet that cannot be made leaves
// no vertices behind. Rounding: the fascia matches
// border edges to facet rings with PtOnSegment's band (a box grid over the
// ring edges hands over those that can hold them), the texture frame is
// rounded once in the basis matrix.
#include "Geometry/roof/G3RoofGenerator.h"

#include "Geometry/math/G3Math.h"
#include "Geometry/math/GMatrix.h"
#include "Geometry/math/GTolerance.h"
#include "Geometry/mesh/G3Edge.h"
#include "Geometry/mesh/G3Facet.h"
#include "Geometry/mesh/G3FacetIterators.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/mesh/G3TexCoo.h"
#include "Geometry/mesh/G3Vertex.h"
#include "Geometry/roof/G3RoofBoxGrid.h"
#include "Geometry/roof/G3RoofFacetProvider.h"
#include "Geometry/roof/G3RoofStepFascia.h"
#include "Geometry/roof/G3RoofVertex.h"

#include <algorithm>
#include <cmath>
#include <vector>

using GTolerance::kAngleZero;

namespace {

const double kHalfPi = 1.5707963267948966;

bool Vertical(double angle) { return angle > kHalfPi - kAngleZero; }

// Adds the vertices, then the facet; on failure removes the vertices again
// (newest first, so no other vertex changes its id).
G3Facet* AddFacetThrough(G3Surface* s, int n, const double* xyz, int flags, int mode)
{
    if (s == nullptr || n < 3)
        return nullptr;
    std::vector<G3Vertex*> vs;
    for (int i = 0; i < n; ++i)
        vs.push_back(s->AddVertex(xyz + 3 * i, 0));
    G3Facet* f = s->AddFacet(n, vs.data(), mode, nullptr, nullptr);
    if (f == nullptr) {
        for (int i = n; i-- > 0;)
            s->RemoveVertex(vs[static_cast<std::size_t>(i)]);
        return nullptr;
    }
    f->SetFlags(flags);
    return f;
}

// The side of the vertical plane through a border edge its facet lies on:
// +1 left of vertex1 -> vertex2 seen from above, -1 right, 0 unknown. A
// facet lies left of the way its outline runs round it seen from the side
// its plan area is positive, and its holes run the other way; the facet's
// whole plan area (outline less holes) takes the sign of its outline's.
int FaceSide(const G3Edge* edge)
{
    const G3Facet* f = edge->GetFacet1() ? edge->GetFacet1() : edge->GetFacet2();
    if (f == nullptr)
        return 0;
    double area = 0.0;
    int along = 0;
    G3ContourWalker w(f);
    while (w.Next()) {
        if (w.GetEntry() == nullptr || w.GetExit() == nullptr)
            return 0;
        const double* p = w.GetEntry()->GetXYZ();
        const double* q = w.GetExit()->GetXYZ();
        area += p[0] * q[1] - q[0] * p[1];
        if (w.GetEdge() == edge)
            along = w.GetEntry() == edge->GetVertex1() ? 1 : -1;
    }
    return area > 0.0 ? along : area < 0.0 ? -along : 0;
}

} // namespace

G3Facet* G3RoofGenerator::FacetAddEx(G3RoofVertex* ring, int flags, int mode, double dz)
{
    if (surface == nullptr || ring == nullptr)
        return nullptr;
    std::vector<double> xyz;
    G3RoofVertex* v = ring;
    do {
        const double* p = v->point.GetXYZ();
        xyz.insert(xyz.end(), {p[0], p[1], p[2] + dz});
        v = v->next;
    } while (v != ring);
    return AddFacetThrough(surface, static_cast<int>(xyz.size() / 3), xyz.data(), flags, mode);
}

G3Facet* G3RoofGenerator::FacetAdd(int flags, int count, double* points, int mode)
{
    if (points == nullptr)
        return nullptr;
    return AddFacetThrough(surface, count, points, flags, mode);
}

bool G3RoofGenerator::MakeRoof(G3RoofVertex* ring, G3Surface* work)
{
    G3RoofFacetProvider* provider = G3RoofFacetProvider::Get();
    provider->SetCurrent(0, 0);
    MakeRoofEx(nullptr, ring);
    const bool thick = thickness > GTolerance::kZeroLength;
    // One facet per facet ring of every pitch that is not vertical, raised
    // by dz and stamped (edge + 1, type).
    auto layer = [&](int type, double dz) {
        for (int i = 0; i < pitches.size(); ++i) {
            G3RoofPitch* pitch = static_cast<G3RoofPitch*>(pitches.get(i));
            if (Vertical(pitch->angle))
                continue;
            for (int k = 0; k < pitch->facetRings.size(); ++k)
                if (G3RoofVertex* r = static_cast<G3RoofVertex*>(pitch->facetRings.get(k))) {
                    provider->SetCurrent(r->edgeIndex + 1, type);
                    FacetAddEx(r, 0, 1, dz);
                }
        }
    };
    layer(thick ? ROOF_FACET_LOWER : ROOF_FACET_ROOF, 0.0);
    if (thick && surface && work) {
        // The lower layer, welded and repaired, is what the fascia follows.
        work->Copy(surface);
        work->RemoveEqualsVertexAndDivideEdges();
        work->RemoveTrivialFacets();
        work->Update(CHECK_LEVEL_FACETS);
        layer(ROOF_FACET_ROOF, thickness);
    }
    provider->SetCurrent(0, 0);
    return true;
}

bool G3RoofGenerator::MakeFasciaFacets(G3Surface* work)
{
    if (work == nullptr || surface == nullptr)
        return false;
    G3RoofFacetProvider* provider = G3RoofFacetProvider::Get();
    // Every facet ring edge, numbered in the order of a walk over the
    // pitches (list order), their rings and each ring from its head, with
    // its box widened past PtOnSegment's band: a border edge's fascia takes
    // the record of the first ring edge in that order holding both its
    // ends, and only ring edges whose box meets the border edge can (a
    // walk over all of them per border edge is quadratic in the outline).
    struct RingEdge {
        const double* p;
        const double* q;
        const G3RoofVertex* ring;
        bool vertical;
    };
    std::vector<RingEdge> ringEdges;
    std::vector<G3RoofBox> boxes;
    // The segments, reaching as far as their boxes are widened, filed along
    // their length: a star's hips run from the eaves to the middle, and in
    // the list every query reads they would make it quadratic again.
    std::vector<double> segments;
    for (int n = 0; n < pitches.size(); ++n) {
        const G3RoofPitch* pitch = static_cast<G3RoofPitch*>(pitches.get(n));
        for (int k = 0; k < pitch->facetRings.size(); ++k) {
            const G3RoofVertex* r = static_cast<G3RoofVertex*>(pitch->facetRings.get(k));
            if (r == nullptr)
                continue;
            const G3RoofVertex* x = r;
            do {
                const double* p = x->point.GetXYZ();
                const double* q = x->next->point.GetXYZ();
                ringEdges.push_back(RingEdge{p, q, r, Vertical(pitch->angle)});
                boxes.emplace_back(p, q);
                segments.insert(segments.end(), {p[0], p[1], q[0], q[1], G3RoofBox::Band(p, q)});
                x = x->next;
            } while (x != r);
        }
    }
    G3RoofBoxGrid grid(boxes, &segments, G3RoofBoxGrid::kMaxPathCells);
    std::vector<int> near;
    // The border edges that get fascia, in edge order, with their records.
    std::vector<G3RoofFasciaEdge> borders;
    std::vector<std::pair<const RingEdge*, int>> records;
    const int edgeCount = work->GetEdgeCount();
    for (int e = 0; e < edgeCount; ++e) {
        const G3Edge* edge = work->GetEdge(e);
        if (edge->GetFacet1() && edge->GetFacet2())
            continue;
        const double* a = edge->GetVertex1()->GetXYZ();
        const double* b = edge->GetVertex2()->GetXYZ();
        // Eaves are level (with pitches of their own they drop to heights
        // of their own): the first ring edge holding one gives eave fascia.
        // A sloped border edge is a gable's rake when a vertical pitch
        // holds it (those are looked for first); any other (the open end of
        // a hip or valley below a shallower eave, a step between collinear
        // eaves) gets eave fascia too.
        const bool level = std::fabs(a[2] - b[2]) <= GTolerance::kPlaneSide;
        // The ring edges along the border edge (an eave may run far
        // across, and its box would meet every hip it passes), in walk order.
        const double along[5] = {a[0], a[1], b[0], b[1], 0.0};
        grid.QueryPath(along, near);
        std::sort(near.begin(), near.end());
        const RingEdge* holder = nullptr;
        int type = ROOF_FACET_NONE;
        for (int pass = 0; pass < (level ? 1 : 2) && holder == nullptr; ++pass)
            for (int i : near) {
                const RingEdge& re = ringEdges[static_cast<std::size_t>(i)];
                if ((level || re.vertical == (pass == 0)) && PtOnSegment(a, re.p, re.q) && PtOnSegment(b, re.p, re.q)) {
                    holder = &re;
                    type = level || pass == 1 ? ROOF_FACET_EAVE_FASCIA : ROOF_FACET_GABLE_FASCIA;
                    break;
                }
            }
        if (holder == nullptr)
            continue;
        borders.push_back({{a[0], a[1], a[2]}, {b[0], b[1], b[2]}, FaceSide(edge)});
        records.push_back({holder, type});
    }
    // A quad per edge, but where edges of faces on both sides of a step
    // lie within the thickness of each other, the parts they leave.
    const G3RoofStepFascia steps(borders, thickness);
    for (std::size_t i = 0; i < borders.size(); ++i) {
        provider->SetCurrent(records[i].first->ring->edgeIndex + 1, records[i].second);
        for (const std::vector<double>& piece : steps.Pieces(i))
            AddFacetThrough(surface, static_cast<int>(piece.size() / 3), piece.data(), 0, 1);
    }
    provider->SetCurrent(0, 0);
    return true;
}

bool G3RoofGenerator::GenerateTexCoo()
{
    if (surface == nullptr || surface->GetFacetCount() == 0)
        return false;
    for (int i = 0; i < surface->GetFacetCount(); ++i) {
        G3Facet* f = surface->GetFacet(i);
        const double* pl = f->GetPlane();
        double o[3] = {0.0, 0.0, 0.0};
        if (std::fabs(pl[0]) > GTolerance::kZeroLength)
            o[0] = -pl[3] / pl[0];
        else if (std::fabs(pl[1]) > GTolerance::kZeroLength)
            o[1] = -pl[3] / pl[1];
        // U runs along the eaves (horizontal), V up the slope.
        double n[3] = {pl[0], pl[1], pl[2]};
        V3Normalize(n);
        const double up[3] = {0.0, 0.0, 1.0};
        double u[3], v[3];
        V3OrtoVector(n, up, u);
        V3Normalize(u);
        V3OrtoVector(n, u, v);
        V3Normalize(v);
        double px[3], py[3], pz[3];
        V3Add(o, u, px);
        V3Add(o, v, py);
        V3Add(o, n, pz);
        double m[4][4];
        const bool framed = V3Length(u) > 0.0 && V3Length(v) > 0.0 && M4BasisTo(o, px, py, pz, m);
        int ci = 0, cj = 1;
        f->GetMaxCoo(&ci, &cj);
        std::vector<G3Vertex*> corners;
        G3FacetVertexIterator it(f);
        while (it.hasNext())
            if (G3Vertex* c = it.NextVertex())
                corners.push_back(c);
        for (G3Vertex* c : corners) {
            G3TexCoo* t = nullptr;
            G3Normal* normal = f->GetNormal(c, &t);
            if (t != nullptr)
                continue;
            double uv[3];
            if (framed)
                V3MulPointByMatrix(c->GetXYZ(), m, uv);
            else {
                uv[0] = c->GetXYZ()[ci];
                uv[1] = c->GetXYZ()[cj];
            }
            t = surface->AddTexCoo(uv[0], uv[1]);
            if (normal == nullptr)
                normal = surface->AddNormal(n);
            f->SetNormal(c, normal, t, false);
        }
    }
    surface->RemoveUnusedTexCoo();
    return true;
}
