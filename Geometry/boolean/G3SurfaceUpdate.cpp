// G3Surface::Update, the repair sequence the editing, terrain and roof code
// run after changing a surface. It lives with the boolean engine because
// its highest level runs the engine's self-intersection removal; the other
// passes are the surface's own. Invariants: each pass leaves the mesh
// consistent, so the sequence does too; a level outside the three runs no
// pass but still trims the collections and makes an open surface's facets
// double-sided. A level run on its own output changes nothing: the
// engine's scale round trip does not round vertices back to where they
// were, so they are given their coordinates back, and facets the last
// orientation turns are paired about their edges again.
#include "Geometry/boolean/G3BooleanCalculator.h"
#include "Geometry/math/G3Math.h"
#include "Geometry/math/GTolerance.h"
#include "Geometry/mesh/G3PassCheck.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/mesh/G3Vertex.h"

#include <cmath>
#include <unordered_map>
#include <vector>

namespace {

// The vertices' coordinates before a pass that scales the surface and
// back, and the way back to them: a vertex within a point tolerance of a
// recorded point takes that point exactly.
class CoordinateKeeper {
public:
    explicit CoordinateKeeper(G3Surface* s)
    {
        for (int k = 0; k < s->GetVertexCount(); ++k) {
            const double* p = s->GetVertex(k)->GetXYZ();
            if (!std::isfinite(p[0]) || !std::isfinite(p[1]) || !std::isfinite(p[2]))
                continue;
            points.insert(points.end(), p, p + 3);
            cells[Key(p)].push_back(static_cast<int>(points.size() / 3 - 1));
        }
    }
    void Restore(G3Surface* s) const
    {
        for (int k = 0; k < s->GetVertexCount(); ++k) {
            G3Vertex* v = s->GetVertex(k);
            const double* q = v->GetXYZ();
            if (!std::isfinite(q[0]) || !std::isfinite(q[1]) || !std::isfinite(q[2]))
                continue;
            const long long c[3] = {Cell(q[0]), Cell(q[1]), Cell(q[2])};
            const double* best = nullptr;
            for (long long dx = -1; dx <= 1 && !best; ++dx)
                for (long long dy = -1; dy <= 1 && !best; ++dy)
                    for (long long dz = -1; dz <= 1 && !best; ++dz) {
                        const auto it = cells.find(Hash(c[0] + dx, c[1] + dy, c[2] + dz));
                        if (it == cells.end())
                            continue;
                        for (int i : it->second) {
                            const double* p = &points[3 * static_cast<std::size_t>(i)];
                            if (std::fabs(p[0] - q[0]) < kNear && std::fabs(p[1] - q[1]) < kNear &&
                                std::fabs(p[2] - q[2]) < kNear) {
                                best = p;
                                break;
                            }
                        }
                    }
            if (best)
                v->Set(best);
        }
    }

private:
    static constexpr double kNear = GTolerance::kPointEqual;
    static long long Cell(double x) { return G3CellIndex(x, kNear); }
    static long long Hash(long long x, long long y, long long z)
    {
        return static_cast<long long>(static_cast<unsigned long long>(x) * 73856093ULL ^
                                      static_cast<unsigned long long>(y) * 19349663ULL ^
                                      static_cast<unsigned long long>(z) * 83492791ULL);
    }
    static long long Key(const double* p) { return Hash(Cell(p[0]), Cell(p[1]), Cell(p[2])); }

    std::vector<double> points;
    std::unordered_map<long long, std::vector<int>> cells;
};

} // namespace

void G3Surface::Update(CHECK_LEVEL level)
{
    switch (level) {
    case CHECK_LEVEL_WELD:
        RemoveEqualsVertex();
        UpdateAfterVertexWeld();
        return;
    case CHECK_LEVEL_FACETS:
        RemoveSelfIntersections();
        RemoveEqualsFacets();
        OrientNormals2(false);
        break;
    case CHECK_LEVEL_INTERSECTIONS: {
        RemoveSelfIntersections();
        // The engine merges coplanar neighbours of one orientation only:
        // turned first, a facet given the wrong way round merges as its
        // neighbours do, and a second run finds nothing left to merge.
        OrientNormals2(false);
        const CoordinateKeeper keeper(this);
        G3BooleanCalculator engine;
        engine.RemoveSelfIntersection(this);
        keeper.Restore(this);
        // The engine cuts an edge where another facet's corner lies on it
        // but leaves the two edges then lying on one another apart.
        RemoveNonManifoldEdges();
        FormPlaneEquation();
        OrientNormals2(false);
        // The orientation turns facets (where solids cross, the parts
        // inside both) after the pairing above chose their partners about
        // edges where four meet by their old sides: paired again by their
        // new ones, a second run keeps the pairing it finds.
        RemoveNonManifoldEdges();
        break;
    }
    default:
        break;
    }
    FinishUpdate(level);
}

void G3Surface::UpdateAfterVertexWeld()
{
    RemoveEqualsNormal();
    RemoveNonManifoldEdges();
    OrientNormals2(false);
    FinishUpdate(CHECK_LEVEL_WELD);
}

void G3Surface::FinishUpdate(CHECK_LEVEL level)
{
    // Planes from the chains as they now are: a facet turned and the same
    // facet built that way get the same plane to the last bit.
    if (level == CHECK_LEVEL_WELD || level == CHECK_LEVEL_FACETS || level == CHECK_LEVEL_INTERSECTIONS)
        FormPlaneEquation();
    ReallocByRealSize();
    if (!GetClosed())
        ExtendDoubleSidedFacets();
    G3_CHECK_PASS(this, "Update");
}
