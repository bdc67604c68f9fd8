// Reading roof facet records back: by index and type, by neighbouring
// index, by edge and by point. Nothing is changed; points match within
// kPointEqual and lie in facets by PointInFacet's band.
#include "Geometry/roof/G3RoofGenerator.h"

#include "Geometry/math/GTolerance.h"
#include "Geometry/mesh/G3Facet.h"
#include "Geometry/mesh/G3Point.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/mesh/G3Vertex.h"
#include "Geometry/roof/G3RoofFacetProvider.h"

#include <cmath>
#include <vector>

long G3RoofGenerator::GetFacetIndex(G3Obj* object)
{
    int index = 0;
    if (const G3RoofFacetProvider* p = G3RoofFacetProvider::Find())
        p->GetRecord(object, &index, nullptr);
    return index;
}

ROOF_FACET_TYPE G3RoofGenerator::GetFacetType(G3Obj* object)
{
    int type = 0;
    if (const G3RoofFacetProvider* p = G3RoofFacetProvider::Find())
        p->GetRecord(object, nullptr, &type);
    return type >= ROOF_FACET_NONE && type <= ROOF_FACET_GABLE_FASCIA ? static_cast<ROOF_FACET_TYPE>(type)
                                                                      : ROOF_FACET_NONE;
}

namespace {

// A roof facet of `type` (NONE: any type with a record).
bool Matches(G3Facet* f, ROOF_FACET_TYPE type)
{
    if (G3RoofGenerator::GetFacetIndex(f) == 0)
        return false;
    return type == ROOF_FACET_NONE || G3RoofGenerator::GetFacetType(f) == type;
}

} // namespace

G3Facet* G3RoofGenerator::GetFacetbyPoint(G3Surface* s, int index, ROOF_FACET_TYPE type, G3Point* point)
{
    if (s == nullptr)
        return nullptr;
    for (int i = 0; i < s->GetFacetCount(); ++i) {
        G3Facet* f = s->GetFacet(i);
        if ((f->GetFlags() & 2) != 0 || GetFacetIndex(f) != index)
            continue;
        if (type != ROOF_FACET_NONE && GetFacetType(f) != type)
            continue;
        int ci = 0, cj = 1;
        f->GetMaxCoo(&ci, &cj);
        double p[3] = {0.0, 0.0, 0.0};
        if (!f->GeneratePointInFacetConcave(ci, cj, p))
            return nullptr;
        if (point)
            point->Set(p);
        return f;
    }
    return nullptr;
}

bool G3RoofGenerator::GetNeighboringFacetID(G3Surface* s, int count, int index, int& before, int& after)
{
    if (s == nullptr || count < 1)
        return false;
    bool foundAfter = false, foundBefore = false;
    G3Point scratch;
    int k = index;
    for (int step = 0; step < count - 1 && !foundAfter; ++step) {
        k = k >= count ? 1 : k + 1;
        if (GetFacetbyPoint(s, k, ROOF_FACET_NONE, &scratch)) {
            after = k;
            foundAfter = true;
        }
    }
    k = index;
    for (int step = 0; step < count - 1 && !foundBefore; ++step) {
        k = k <= 1 ? count : k - 1;
        if (GetFacetbyPoint(s, k, ROOF_FACET_NONE, &scratch)) {
            before = k;
            foundBefore = true;
        }
    }
    return foundAfter && foundBefore;
}

bool G3RoofGenerator::GetFacetbyEdge(G3Point* a, G3Point* b, G3Surface* s, ROOF_FACET_TYPE type, G3Facet** facet)
{
    if (facet)
        *facet = nullptr;
    if (a == nullptr || b == nullptr || s == nullptr)
        return false;
    for (int i = 0; i < s->GetFacetCount(); ++i) {
        G3Facet* f = s->GetFacet(i);
        if (!Matches(f, type))
            continue;
        std::vector<G3Vertex*> vs(static_cast<std::size_t>(f->GetVertexCount()));
        const int n = f->GetVertices(vs.data());
        for (int k = 0; k < n; ++k) {
            const G3Vertex* p = vs[static_cast<std::size_t>(k)];
            const G3Vertex* q = vs[static_cast<std::size_t>((k + 1) % n)];
            if ((a->Equals(p->GetXYZ()) && b->Equals(q->GetXYZ())) ||
                (a->Equals(q->GetXYZ()) && b->Equals(p->GetXYZ()))) {
                if (facet)
                    *facet = f;
                return true;
            }
        }
    }
    return false;
}

bool G3RoofGenerator::GetFacetbyPoint(G3Point* point, G3Surface* s, ROOF_FACET_TYPE type, G3Facet** facet)
{
    if (facet)
        *facet = nullptr;
    if (point == nullptr || s == nullptr)
        return false;
    const double* p = point->GetXYZ();
    for (int i = 0; i < s->GetFacetCount(); ++i) {
        G3Facet* f = s->GetFacet(i);
        if (!Matches(f, type))
            continue;
        const double* pl = f->GetPlane();
        if (std::fabs(pl[0] * p[0] + pl[1] * p[1] + pl[2] * p[2] + pl[3]) >= GTolerance::kPlaneSide)
            continue;
        int ci = 0, cj = 1;
        f->GetMaxCoo(&ci, &cj);
        if (f->PointInFacet(ci, cj, p, nullptr, nullptr, GTolerance::kInFacet)) {
            if (facet)
                *facet = f;
            return true;
        }
    }
    return false;
}
