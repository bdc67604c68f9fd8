// Sections of a surface by planes: the segments where the planes cut the
// facets, and the planar faces those segments bound. Invariants:
// - a plane takes part only with a finite, non-zero normal; it is used
//   normalised, so its 1e-6 side band is a distance;
// - a facet lying in a plane gives its edges as they are; a facet crossing
//   or touching it gives the paired crossings of its boundary;
// - the section surface is built from fresh vertices and never shares an
//   entity with the sectioned surface, which is left unchanged;
// - a region of the plane bounded by the pieces belongs to the section when
//   it lies inside any solid (closed piece) or on a facet in the plane, so
//   holes stay open, and solids that touch or overlap give one face per
//   region;
// - the ray length becomes twice the diagonal of the sectioned surface's
//   box.
// Rounding: the crossing points of the plane cut, and the splits where
// section pieces cross (G3PlanarFaces).
#include "Geometry/boolean/G3BooleanCalculator.h"

#include "Geometry/boolean/G3BooleanData.h"
#include "Geometry/boolean/G3Interval.h"
#include "Geometry/boolean/G3IntervalList.h"
#include "Geometry/boolean/G3PlanarFaces.h"
#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/math/GEnvelope.h"
#include "Geometry/math/GTolerance.h"
#include "Geometry/mesh/G3Edge.h"
#include "Geometry/mesh/G3Facet.h"
#include "Geometry/mesh/G3FacetIterators.h"
#include "Geometry/mesh/G3FacetTree.h"
#include "Geometry/mesh/G3Grid.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/mesh/G3Vertex.h"

#include <cmath>
#include <algorithm>
#include <functional>
#include <memory>
#include <vector>

namespace {

using GTolerance::kZeroNormal;

// Facet cut results of IntersectByPlaneConcave.
constexpr int kCutNone = 0;
constexpr int kCutInPlane = 3;
// Flags of the section's edges and facets, and the sub-surface number.
constexpr int kSectionFlags = 1;

// Plane k of `planes`, normalised; false for a non-finite or zero normal,
// or a plane too far from the origin to be written in doubles. The four
// numbers are first divided by the largest normal component, so the length
// neither underflows for tiny coefficients nor overflows for huge ones.
bool UnitPlane(const double* planes, int k, double* out)
{
    const double* p = planes + 4 * k;
    for (int c = 0; c < 4; ++c)
        if (!std::isfinite(p[c]))
            return false;
    const double m = std::fmax(std::fabs(p[0]), std::fmax(std::fabs(p[1]), std::fabs(p[2])));
    if (!(m > 0.0))
        return false;
    double q[4];
    for (int c = 0; c < 4; ++c)
        q[c] = p[c] / m;
    const double len = std::sqrt(q[0] * q[0] + q[1] * q[1] + q[2] * q[2]);
    for (int c = 0; c < 4; ++c) {
        out[c] = q[c] / len;
        if (!std::isfinite(out[c]))
            return false;
    }
    return true;
}

// The solids of a surface: facets joined across edges. A piece that is
// closed (every edge of it has a facet on both sides) is a solid of its
// own; the open pieces are taken together as one. A point is in the
// section when it lies in any solid, so solids that overlap count once.
// A closed piece facing inwards (a negative volume) that lies inside a
// solid is that solid's cavity: it joins the innermost such solid, whose
// rays then see the cavity's walls, so a point in the void lies outside.
// Alone it would hold the void as a solid of its own.
// Below this many facets a solid's rays scan its whole list.
constexpr int kSolidGridMinFacets = 64;
// Cells per axis of a solid's grid: the cube root of its facet count, at
// most this many.
constexpr int kSolidGridMaxCells = 128;

struct Solids {
    std::vector<GArrayCollection> facets;
    std::vector<GEnvelope> boxes;
    // Per solid, built on its first ray: its facets under their boxes, so a
    // ray tests the facets along it, not the whole solid (null for small
    // solids).
    std::vector<std::unique_ptr<G3Grid>> grids;
    std::vector<char> gridTried;
    // The solids' boxes, for the solids whose box holds a point: a floor
    // plan's faces each lie in one wall of thousands.
    G3FacetTree tree;
    // The facets of many contours (a slab's face with its shafts), held
    // for the rays' point-in-facet tests.
    G3HeldFacets held;

    G3Grid* GridOf(std::size_t p)
    {
        if (gridTried[p])
            return grids[p].get();
        gridTried[p] = 1;
        GArrayCollection& list = facets[p];
        const int n = list.size();
        if (n < kSolidGridMinFacets)
            return nullptr;
        // The grid's facets are put back in list order by their ids: only
        // while the ids rise along the list.
        for (int k = 1; k < n; ++k)
            if (!(static_cast<G3Facet*>(list.get(k - 1))->GetId() < static_cast<G3Facet*>(list.get(k))->GetId()))
                return nullptr;
        const int cells = std::min(kSolidGridMaxCells, std::max(1, static_cast<int>(std::cbrt(n))));
        int perAxis[3];
        G3Grid::SizeCells(&boxes[p], static_cast<double>(cells) * cells * cells, perAxis);
        grids[p] = std::make_unique<G3Grid>(&boxes[p], perAxis);
        for (int k = 0; k < n; ++k) {
            G3Facet* f = static_cast<G3Facet*>(list.get(k));
            GEnvelope box;
            f->FormEnvelope(&box);
            box.Extend(GTolerance::kBoxMargin);
            grids[p]->AddFacet(f, &box);
        }
        return grids[p].get();
    }

    explicit Solids(G3Surface* s)
    {
        GArrayCollection* all = s->GetFacetList();
        const int n = all->size();
        std::vector<int> parent(static_cast<std::size_t>(n));
        for (int k = 0; k < n; ++k)
            parent[static_cast<std::size_t>(k)] = k;
        auto root = [&](int k) {
            while (parent[static_cast<std::size_t>(k)] != k) {
                parent[static_cast<std::size_t>(k)] = parent[static_cast<std::size_t>(parent[static_cast<std::size_t>(k)])];
                k = parent[static_cast<std::size_t>(k)];
            }
            return k;
        };
        auto indexOf = [&](G3Facet* f) {
            const long id = f ? f->GetId() : -1;
            return id >= 0 && id < n && all->get(static_cast<int>(id)) == f ? static_cast<int>(id) : -1;
        };
        std::vector<char> open(static_cast<std::size_t>(n), 0);
        GArrayCollection* edges = s->GetEdgeList();
        for (int k = 0; edges && k < edges->size(); ++k) {
            G3Edge* e = static_cast<G3Edge*>(edges->get(k));
            const int a = indexOf(e->GetFacet1());
            const int b = indexOf(e->GetFacet2());
            if (a >= 0 && b >= 0) {
                const int ra = root(a);
                const int rb = root(b);
                if (ra != rb)
                    parent[static_cast<std::size_t>(std::max(ra, rb))] = std::min(ra, rb);
            } else if (a >= 0 || b >= 0) {
                open[static_cast<std::size_t>(a >= 0 ? a : b)] = 1;
            }
        }
        for (int k = 0; k < n; ++k)
            if (open[static_cast<std::size_t>(k)])
                open[static_cast<std::size_t>(root(k))] = 1;
        // Pieces in order of their first facet; the open ones share a slot.
        std::vector<int> slot(static_cast<std::size_t>(n), -1);
        int openSlot = -1;
        for (int k = 0; k < n; ++k) {
            G3Facet* f = static_cast<G3Facet*>(all->get(k));
            if (f->GetDoubleSided())
                continue;
            const int r = root(k);
            int& at = open[static_cast<std::size_t>(r)] ? openSlot : slot[static_cast<std::size_t>(r)];
            if (at < 0) {
                at = static_cast<int>(facets.size());
                facets.emplace_back();
                boxes.emplace_back();
                boxes.back().Set(1, 1, 1, -1, -1, -1);
                volumes.push_back(0.0);
                closed.push_back(open[static_cast<std::size_t>(r)] ? 0 : 1);
            }
            GArrayCollection& list = facets[static_cast<std::size_t>(at)];
            list.add(f);
            volumes[static_cast<std::size_t>(at)] += VolumeUnder(f, static_cast<G3Facet*>(list.get(0)));
            held.Hold(f);
            GEnvelope box;
            f->FormEnvelope(&box);
            boxes[static_cast<std::size_t>(at)].AddToDefault(&box);
        }
        for (GEnvelope& box : boxes)
            box.Extend(GTolerance::kBoxMargin);
        grids.resize(facets.size());
        gridTried.assign(facets.size(), 0);
    }

    static const double* FirstPoint(const G3Facet* f)
    {
        G3ContourWalker w(f);
        return w.Next() ? w.GetEntry()->GetXYZ() : nullptr;
    }

    // Six times the signed volume of the cone from the first vertex of
    // `apex` over f: summed over a closed piece (the same apex for all its
    // facets), six times the volume the piece encloses.
    static double VolumeUnder(G3Facet* f, G3Facet* apex)
    {
        const double* o = FirstPoint(apex);
        const double* r = FirstPoint(f);
        if (!o || !r)
            return 0.0;
        const double ro[3] = {r[0] - o[0], r[1] - o[1], r[2] - o[2]};
        double sum = 0.0;
        G3ContourWalker w(f);
        while (w.Next()) {
            const double* a = w.GetEntry()->GetXYZ();
            const double* b = w.GetExit()->GetXYZ();
            const double ao[3] = {a[0] - o[0], a[1] - o[1], a[2] - o[2]};
            const double bo[3] = {b[0] - o[0], b[1] - o[1], b[2] - o[2]};
            sum += ro[0] * (ao[1] * bo[2] - ao[2] * bo[1]) - ro[1] * (ao[0] * bo[2] - ao[2] * bo[0]) +
                   ro[2] * (ao[0] * bo[1] - ao[1] * bo[0]);
        }
        return sum;
    }

    // Moves every cavity into the innermost solid that holds a point of
    // it (`inside`: the point lies inside the solid of that slot),
    // its facets merged in by id so that the solid's grid may still be
    // built, then lists the solids' boxes for the rays.
    void JoinCavities(const std::function<bool(const double*, std::size_t)>& inside)
    {
        for (std::size_t c = 0; c < facets.size(); ++c) {
            if (!closed[c] || !(volumes[c] < 0.0) || facets[c].size() == 0)
                continue;
            // A point inside one of its walls: a vertex of the cavity may
            // touch the solid's boundary, a wall's inside cannot.
            G3Facet* first = static_cast<G3Facet*>(facets[c].get(0));
            int u = 0, v = 1;
            double inner[3];
            first->GetMaxCoo(&u, &v);
            if (!first->GeneratePointInFacetConcave(u, v, inner))
                continue;
            const double* point = inner;
            std::size_t host = facets.size();
            for (std::size_t p = 0; p < facets.size(); ++p) {
                if (p == c || !closed[p] || !(volumes[p] > 0.0) || facets[p].size() == 0 ||
                    !boxes[p].IsIntersectXYZ(point) || (host < facets.size() && !(volumes[p] < volumes[host])))
                    continue;
                if (inside(point, p))
                    host = p;
            }
            if (host == facets.size())
                continue;
            GArrayCollection merged;
            GArrayCollection& a = facets[host];
            GArrayCollection& b = facets[c];
            int i = 0, j = 0;
            while (i < a.size() || j < b.size()) {
                const bool fromA =
                    j >= b.size() || (i < a.size() && static_cast<G3Facet*>(a.get(i))->GetId() <
                                                          static_cast<G3Facet*>(b.get(j))->GetId());
                merged.add(fromA ? a.get(i++) : b.get(j++));
            }
            a.clear();
            for (int k = 0; k < merged.size(); ++k)
                a.add(merged.get(k));
            b.clear();
            volumes[host] += volumes[c];
            volumes[c] = 0.0;
            grids[host].reset();
            gridTried[host] = 0;
        }
        for (std::size_t p = 0; p < facets.size(); ++p) {
            // A cavity's slot, emptied, holds no point.
            GEnvelope box = boxes[p];
            if (facets[p].size() == 0)
                box.Set(1, 1, 1, -1, -1, -1);
            tree.Add(nullptr, box, 0.0);
        }
        tree.Build();
    }

    std::vector<double> volumes;  // six times each piece's signed volume
    std::vector<char> closed;
};

// Calls `emit` with the ends of every piece facet f gives in `plane`: its
// edges when it lies in the plane, else its paired boundary crossings (last
// to first).
void CutPieces(G3Facet* f, const double* plane, G3IntervalList* cut,
               const std::function<void(const double*, const double*)>& emit)
{
    cut->Clear();
    const int r = f->IntersectByPlaneConcave(plane, cut);
    if (r == kCutNone)
        return;
    if (r == kCutInPlane) {
        GArrayCollection edges;
        f->GetEdges(&edges);
        for (int k = 0; k < edges.size(); ++k) {
            G3Edge* e = static_cast<G3Edge*>(edges.get(k));
            emit(e->GetVertex1()->GetXYZ(), e->GetVertex2()->GetXYZ());
        }
        return;
    }
    cut->BuildIntervals();
    for (int k = cut->GetIntervalCount() - 1; k >= 0; --k) {
        G3Interval* iv = cut->GetInterval(k);
        if (iv && iv->HasEnds())
            emit(iv->GetXYZ1(), iv->GetXYZ2());
    }
}

} // namespace

bool G3BooleanCalculator::Divide(G3Surface* s, int n, const double* planes, G3IntervalList* out)
{
    if (!s || !planes || n <= 0 || !out || !s->GetFacetList())
        return false;
    GArrayCollection* facets = s->GetFacetList();
    G3IntervalList cut;
    for (int k = 0; k < n; ++k) {
        double plane[4];
        if (!UnitPlane(planes, k, plane))
            continue;
        for (int i = facets->size() - 1; i >= 0; --i) {
            G3Facet* f = static_cast<G3Facet*>(facets->get(i));
            CutPieces(f, plane, &cut, [out](const double* a, const double* b) { out->AddInterval(a, b); });
        }
    }
    return !out->IsEmpty();
}

bool G3BooleanCalculator::Divide(G3Surface* s, int n, const double* planes, G3Surface** out)
{
    if (!out)
        return false;
    *out = nullptr;
    if (!s || !planes || n <= 0 || !s->GetFacetList())
        return false;
    G3Surface* section = new G3Surface();
    GArrayCollection* facets = s->GetFacetList();
    GEnvelope box;
    s->FormEnvelope(&box);
    box.Extend(GTolerance::kBoxMargin);
    AimRays(box);
    G3IntervalList cut;
    Solids solids(s);
    heldFacets = &solids.held;
    solids.JoinCavities([&](const double* point, std::size_t p) {
        return ClassifyVertex(point, &solids.facets[p], solids.GridOf(p)) == SC_INSIDE;
    });
    for (int k = 0; k < n; ++k) {
        double plane[4];
        if (!UnitPlane(planes, k, plane))
            continue;
        // A face lying in the plane and the facets that touch the plane along
        // its edges give the same piece twice: the arrangement keeps one.
        G3PlanarFaces faces(section, nullptr, plane);
        for (int i = facets->size() - 1; i >= 0; --i) {
            G3Facet* f = static_cast<G3Facet*>(facets->get(i));
            if (f->GetDoubleSided())
                continue;
            CutPieces(f, plane, &cut, [&](const double* a, const double* b) {
                faces.AddEdge(a, b, nullptr, nullptr, nullptr, nullptr, kSectionFlags, true);
            });
        }
        faces.Resolve();
        // The pieces carry no side: a face of the arrangement belongs to the
        // section when a point inside it lies in a solid or on a facet in
        // the plane (by rays; by the even-odd rule over the pieces when
        // every ray is ambiguous). The faces kept are then joined into one
        // face per region: pieces where two solids touch, or between faces
        // of a facet lying in the plane, bound nothing.
        const std::vector<G3PlanarFaces::Face> cells = faces.GetFaces();
        std::vector<char> keep(cells.size(), 0);
        std::vector<int> around;
        for (std::size_t c = 0; c < cells.size(); ++c) {
            GArrayCollection edges;
            G3PlanarFaces::MakeEdges(cells[c], &edges);
            G3Facet* made = section->AddFacet(&edges, kSectionFlags, kSectionFlags);
            for (int e = 0; e < edges.size(); ++e)
                delete edges.get(e);
            if (!made)
                continue;
            int i = 0;
            int j = 1;
            double inner[3];
            made->GetMaxCoo(&i, &j);
            if (made->GeneratePointInFacetConcave(i, j, inner)) {
                bool unknown = false;
                // The solids whose boxes hold the point, in solid order.
                solids.tree.ItemsAlong(inner, inner, around);
                for (std::size_t h = 0; h < around.size() && !keep[c]; ++h) {
                    const std::size_t p = static_cast<std::size_t>(around[h]);
                    const SURF_CLASSIFY sc = ClassifyVertex(inner, &solids.facets[p], solids.GridOf(p));
                    keep[c] = sc == SC_INSIDE || sc == SC_ON;
                    unknown = unknown || sc == SC_UNKNOWN;
                }
                if (!keep[c] && unknown)
                    keep[c] = faces.Encloses(inner);
            }
            section->RemoveFacet(made);
        }
        faces.KeepFaces(keep);
        section->GetExtendedDataFacetDefault() = s->GetExtendedDataFacetDefault();
        for (const G3PlanarFaces::Face& face : faces.GetFaces()) {
            GArrayCollection edges;
            G3PlanarFaces::MakeEdges(face, &edges);
            section->AddFacet(&edges, kSectionFlags, kSectionFlags);
            for (int e = 0; e < edges.size(); ++e)
                delete edges.get(e);
        }
    }
    heldFacets = nullptr;
    if (section->GetFacetCount() == 0) {
        delete section;
        return false;
    }
    section->RemoveUnused();
    section->ReallocByRealSize();
    *out = section;
    return true;
}
