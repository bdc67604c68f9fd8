// The second operand's corners put on the first's where they lie within the
// weld distance (see G3OperandSnap.h). Invariants:
// - distances are measured on the coordinates as given (model units, before
//   the engine's local origin and scale), strictly below kWeld, so a vertex
//   moves only onto a point the weld would have taken for the same one;
// - a moved vertex takes the other vertex's coordinates exactly (no
//   rounding here); the only arithmetic is the distance, and the choice
//   among candidates depends on distances and ids alone, not on the order
//   the hash hands them over;
// - the topology of b is never changed: a snap that would send two of its
//   vertices to one point is refused whole.
#include "Geometry/boolean/G3OperandSnap.h"

#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/math/GEnvelope.h"
#include "Geometry/math/GTolerance.h"
#include "Geometry/mesh/G3PointHash.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/mesh/G3Vertex.h"

#include <cmath>
#include <memory>
#include <vector>

namespace {

using GTolerance::kWeld;

// A's vertices in a hash whose cells are shaped to the bulk of them.
std::unique_ptr<G3PointHash> HashOf(const G3Surface* a)
{
    const int n = a->GetVertexCount();
    std::vector<double> xyz;
    xyz.reserve(3 * static_cast<std::size_t>(n));
    for (int k = 0; k < n; ++k) {
        const double* p = a->GetVertex(k)->GetXYZ();
        xyz.insert(xyz.end(), p, p + 3);
    }
    double min[3];
    double max[3];
    G3PointHash::BulkBox(xyz, min, max);
    int perAxis[3];
    G3PointHash::SizeGrid(n, min, max, kWeld, perAxis);
    std::unique_ptr<G3PointHash> hash(new G3PointHash(perAxis, min, max, kWeld));
    for (int k = 0; k < n; ++k)
        hash->AddWithoutTest(a->GetVertex(k));
    return hash;
}

// The vertex of a nearest p closer than kWeld (ties to the lower id), or
// null; *exact tells whether it sits on p.
G3Vertex* Nearest(const G3PointHash& hash, const double* p, GArrayCollection* scratch, bool* exact)
{
    GEnvelope box;
    box.Init(p);
    box.Extend(kWeld);
    hash.GetItems(&box, scratch);
    G3Vertex* best = nullptr;
    double bestDistance = kWeld;
    for (int k = 0; k < scratch->size(); ++k) {
        G3Vertex* v = static_cast<G3Vertex*>(scratch->get(k));
        const double* q = v->GetXYZ();
        const double d = std::hypot(q[0] - p[0], q[1] - p[1], q[2] - p[2]);
        if (d < bestDistance || (best && d == bestDistance && v->GetId() < best->GetId())) {
            best = v;
            bestDistance = d;
        }
    }
    *exact = best && bestDistance == 0.0;
    return best;
}

}  // namespace

int G3CountNearVertices(const G3Surface* a, const G3Surface* b)
{
    if (!a || !b || a->GetVertexCount() == 0)
        return 0;
    const std::unique_ptr<G3PointHash> hash = HashOf(a);
    GArrayCollection scratch;
    int near = 0;
    for (int k = 0; k < b->GetVertexCount(); ++k) {
        bool exact = false;
        if (Nearest(*hash, b->GetVertex(k)->GetXYZ(), &scratch, &exact) && !exact)
            ++near;
    }
    return near;
}

int G3SnapOntoVertices(G3Surface* b, const G3Surface* a)
{
    if (!a || !b || a->GetVertexCount() == 0)
        return 0;
    const std::unique_ptr<G3PointHash> hash = HashOf(a);
    GArrayCollection scratch;
    const int n = b->GetVertexCount();
    std::vector<G3Vertex*> target(static_cast<std::size_t>(n), nullptr);
    // How many of b's vertices each vertex of a draws.
    std::vector<int> drawn(static_cast<std::size_t>(a->GetVertexCount()), 0);
    int moved = 0;
    for (int k = 0; k < n; ++k) {
        bool exact = false;
        G3Vertex* v = Nearest(*hash, b->GetVertex(k)->GetXYZ(), &scratch, &exact);
        if (!v)
            continue;
        if (v->GetId() < 0 || v->GetId() >= a->GetVertexCount() || ++drawn[static_cast<std::size_t>(v->GetId())] > 1)
            return 0;
        if (!exact) {
            target[static_cast<std::size_t>(k)] = v;
            ++moved;
        }
    }
    for (int k = 0; k < n; ++k)
        if (const G3Vertex* v = target[static_cast<std::size_t>(k)]) {
            G3Vertex* u = b->GetVertex(k);
            u->SetX(v->GetX());
            u->SetY(v->GetY());
            u->SetZ(v->GetZ());
        }
    if (moved > 0)
        b->FormPlaneEquation();
    return moved;
}
