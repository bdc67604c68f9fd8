#include "Geometry/mesh/G3FacetPlaneHash.h"

#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/math/GTolerance.h"
#include "Geometry/mesh/G3Facet.h"

#include <cmath>
#include <new>

namespace {

// Two planes are equal when their unit normals' dot product is within this
// of 1 and their offsets within this of each other; a group is also spread
// over the cells within this of its components.
constexpr double kPlaneTolerance = GTolerance::kPlaneEqual;

// How far apart one component of two equal planes' unit normals can be:
// |n - m|^2 = 2 - 2 n.m < 2 * kPlaneTolerance, and no component differs by
// more than |n - m| (nor do their absolute values). The slack covers normals
// that are unit only up to rounding.
double EqualComponentReach()
{
    static const double reach = std::sqrt(2.0 * kPlaneTolerance) + kPlaneTolerance;
    return reach;
}

} // namespace

// ------------------------------------------------------- G3FacetPlaneHashItem

G3FacetPlaneHashItem::G3FacetPlaneHashItem(G3Facet* f) : facets(new GArrayCollection(1, 4))
{
    facets->add(f);
}

G3FacetPlaneHashItem::G3FacetPlaneHashItem(G3FacetPlaneHashItem* m) : master(m) {}

G3FacetPlaneHashItem::~G3FacetPlaneHashItem() { delete facets; }

GArrayCollection* G3FacetPlaneHashItem::GetFacets() const { return master ? master->facets : facets; }

bool G3FacetPlaneHashItem::PlaneEquals(const G3Facet* f) const
{
    const GArrayCollection* list = GetFacets();
    if (!f || !list || list->size() == 0)
        return false;
    const double* p = static_cast<const G3Facet*>(list->get(0))->GetPlane();
    const double* q = f->GetPlane();
    const double dot = p[0] * q[0] + p[1] * q[1] + p[2] * q[2];
    return std::fabs(dot - 1.0) < kPlaneTolerance && std::fabs(p[3] - q[3]) < kPlaneTolerance;
}

void G3FacetPlaneHashItem::AddFacet(G3Facet* f)
{
    G3FacetPlaneHashItem* owner = master ? master : this;
    if (!owner->facets)
        owner->facets = new GArrayCollection(1, 4);
    owner->facets->add(f);
}

// ----------------------------------------------------------- G3FacetPlaneHash

G3FacetPlaneHash::G3FacetPlaneHash(int n) { Init(n); }

void G3FacetPlaneHash::Init(int n)
{
    divisions = n < 1 ? 1 : (n > 1290 ? 1290 : n);
    long count = static_cast<long>(divisions) * divisions * divisions;
    cells = new (std::nothrow) G3FacetPlaneHashItem*[static_cast<std::size_t>(count)]();
    if (!cells) {
        // Coarser cells only lengthen the chains.
        divisions = 1;
        count = 1;
        cells = new G3FacetPlaneHashItem*[1]();
    }
    cellCount = static_cast<int>(count);
    cellWidth = 1.000003 / divisions;
}

G3FacetPlaneHash::~G3FacetPlaneHash()
{
    for (int c = cellCount - 1; c >= 0; --c) {
        G3FacetPlaneHashItem* it = cells[c];
        while (it) {
            G3FacetPlaneHashItem* next = it->next;
            delete it;
            it = next;
        }
    }
    delete[] cells;
}

int G3FacetPlaneHash::CellIndex(double component) const
{
    const double v = component / cellWidth;
    if (!(v >= 0.0))
        return 0;
    if (v >= static_cast<double>(divisions))
        return divisions - 1;
    return static_cast<int>(v);
}

int G3FacetPlaneHash::GetHashCode(const G3Facet* f) const
{
    if (!f)
        return 0;
    const double* p = f->GetPlane();
    return CellIndex(std::fabs(p[0])) + (CellIndex(std::fabs(p[1])) + CellIndex(std::fabs(p[2])) * divisions) * divisions;
}

G3FacetPlaneHashItem* G3FacetPlaneHash::Add(G3Facet* f)
{
    if (!f)
        return nullptr;
    // An equal plane's components may lie in a neighbouring cell (the
    // comparison accepts normals about 1.4e-3 apart, a group is spread only
    // 1e-6 around its own): every cell within reach is searched, f's own
    // first. Of several equal groups the newest wins, as the head-first walk
    // of one cell would choose; of one group's items, the first found.
    const int own = GetHashCode(f);
    const double* p = f->GetPlane();
    int lo[3], hi[3];
    for (int a = 0; a < 3; ++a) {
        const double c = std::fabs(p[a]);
        lo[a] = CellIndex(c - EqualComponentReach());
        hi[a] = CellIndex(c + EqualComponentReach());
    }
    G3FacetPlaneHashItem* best = nullptr;
    auto search = [&](int cell) {
        for (G3FacetPlaneHashItem* it = cells[cell]; it; it = it->next)
            if ((!best || it->GetGroup() > best->GetGroup()) && it->PlaneEquals(f))
                best = it;
    };
    search(own);
    for (int k = lo[2]; k <= hi[2]; ++k)
        for (int j = lo[1]; j <= hi[1]; ++j)
            for (int i = lo[0]; i <= hi[0]; ++i) {
                const int cell = i + (j + k * divisions) * divisions;
                if (cell != own)
                    search(cell);
            }
    if (best) {
        best->AddFacet(f);
        return best;
    }
    return AddWithoutTest(f);
}

G3FacetPlaneHashItem* G3FacetPlaneHash::AddWithoutTest(G3Facet* f)
{
    if (!f)
        return nullptr;
    const double eps = kPlaneTolerance;
    const double* p = f->GetPlane();
    int lo[3], hi[3];
    for (int a = 0; a < 3; ++a) {
        const double c = std::fabs(p[a]);
        lo[a] = CellIndex(c - eps);
        hi[a] = CellIndex(c + eps);
    }
    G3FacetPlaneHashItem* first = nullptr;
    for (int k = lo[2]; k <= hi[2]; ++k) {
        for (int j = lo[1]; j <= hi[1]; ++j) {
            for (int i = lo[0]; i <= hi[0]; ++i) {
                G3FacetPlaneHashItem* item = first ? new G3FacetPlaneHashItem(first) : new G3FacetPlaneHashItem(f);
                if (!first) {
                    first = item;
                    first->group = ++groups;
                }
                const int cell = i + (j + k * divisions) * divisions;
                item->next = cells[cell];
                cells[cell] = item;
            }
        }
    }
    return first;
}

G3FacetPlaneHashItem* G3FacetPlaneHash::Get(int cell) const
{
    return cell >= 0 && cell < cellCount ? cells[cell] : nullptr;
}
