#include "Geometry/terrain/G3TriInterface.h"

#include "Geometry/terrain/triangulation/G3TriEngine.h"

#include "Geometry/math/GEnvelope.h"
#include "Geometry/math/GTolerance.h"
#include "Geometry/mesh/G3PassCheck.h"
#include "Geometry/mesh/G3PointHash.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/mesh/G3Vertex.h"

#include <climits>
#include <cmath>
#include <memory>
#include <vector>

G3TriInterface::G3TriInterface()
    : engine(new g3tri::G3TriEngine()), axisU{1.0, 0.0, 0.0}, axisV{0.0, 1.0, 0.0}, axisN{0.0, 0.0, 1.0}
{
}

G3TriInterface::~G3TriInterface()
{
    // The constraint records were made here, not by the engine.
    constraints.clear(true);
    delete engine;
}

void G3TriInterface::Set2DPlane(const double* u, const double* v)
{
    if (u == nullptr || v == nullptr)
        return;
    for (int k = 0; k < 3; ++k) {
        axisU[k] = u[k];
        axisV[k] = v[k];
    }
    axisN[0] = u[1] * v[2] - u[2] * v[1];
    axisN[1] = u[2] * v[0] - u[0] * v[2];
    axisN[2] = u[0] * v[1] - u[1] * v[0];
}

G3TVertex* G3TriInterface::AddVertex(const double* p)
{
    if (p == nullptr)
        return nullptr;
    const double x = p[0] * axisU[0] + p[1] * axisU[1] + p[2] * axisU[2];
    const double y = p[0] * axisV[0] + p[1] * axisV[1] + p[2] * axisV[2];
    const double z = p[0] * axisN[0] + p[1] * axisN[1] + p[2] * axisN[2];
    G3TVertex* v = engine->NewVertex(x, y);
    v->z = z;
    return v;
}

void G3TriInterface::AddEdge(G3TVertex* a, G3TVertex* b)
{
    constraints.add(new g3tri::G3TEdge(a, b, nullptr));
}

bool G3TriInterface::MakeTriangulation(BasicOptions opt)
{
    engine->Option(static_cast<int>(opt));
    engine->Triangulate();
    const int n = constraints.size();
    for (int i = 0; i < n; ++i) {
        auto* rec = static_cast<g3tri::G3TEdge*>(constraints.get(i));
        engine->PrepareInsertion();
        engine->Option(0);
        engine->InsertConstraint(rec->from, rec->to, rec);
    }
    return true;
}

bool G3TriInterface::option(BasicOptions) { return true; }

int G3TriInterface::GetVertexCount() const { return engine->GetVertexCount(); }

G3TVertex* G3TriInterface::GetVertex(int i) const { return engine->GetVertex(i); }

int G3TriInterface::GetTriangleCount() const { return engine->GetTriangleCount(); }

bool G3TriInterface::GetTriangle(int i, G3TVertex* corners[3]) const { return engine->GetTriangle(i, corners); }

G3TVertex* G3TriInterface::GetKeptVertex(const G3TVertex* v) const { return engine->GetKeptVertex(v); }

void G3TriInterface::GetPosition(const G3TVertex* v, double out[3]) const
{
    for (int k = 0; k < 3; ++k)
        out[k] = v->x * axisU[k] + v->y * axisV[k] + v->z * axisN[k];
}

g3tri::G3TEdge* G3TriInterface::GetConstraint(int i) const
{
    if (i < 0 || i >= constraints.size())
        return nullptr;
    return static_cast<g3tri::G3TEdge*>(constraints.get(i));
}

// ---------------------------------------------------------------- output

namespace {

using GTolerance::kWeld;

// Cells per axis of the welding hash over `box`. The output is a height
// field over the triangulation plane, so the points spread over the plane
// and hardly at all along its normal: sized as if flat along the world axis
// nearest the normal (one cell there), the grid has about two plan cells
// per point, whatever the heights (most probes then meet an empty cell; one
// cell per point costs a third more time in chain walks at a million
// points). A cube-shaped grid would leave a terrain in a few of its layers,
// with chains growing like the cube root of the point count. Points the
// run merged share a plan position and differ only in height: layers along
// the flat axis spread them out (as many as points per position, within
// four cells per point in all). A plan too small for that many cells of at
// least the tolerance's size (points micrometres apart in plan, metres
// apart in height) takes the whole box instead, so that the heights
// separate them. The hash answers the same for any cell counts.
void WeldGrid(int count, int merged, const GEnvelope& box, const double* normal, int perAxis[3])
{
    int flat = 0;
    for (int a = 1; a < 3; ++a)
        if (std::fabs(normal[a]) > std::fabs(normal[flat]))
            flat = a;
    double lo[3], hi[3];
    for (int a = 0; a < 3; ++a) {
        lo[a] = box.min[a];
        hi[a] = a == flat ? box.min[a] : box.max[a];
    }
    const long distinct = merged > 0 && merged < count ? static_cast<long>(count) - merged : count;
    G3PointHash::SizeGrid(2L * distinct, lo, hi, kWeld, perAxis);
    const double plan = static_cast<double>(perAxis[0]) * perAxis[1] * perAxis[2];
    if (plan < 0.25 * static_cast<double>(distinct)) {
        G3PointHash::SizeGrid(2L * count, box.min, box.max, kWeld, perAxis);
        return;
    }
    if (distinct < count) {
        double layers = std::ceil(static_cast<double>(count) / static_cast<double>(distinct));
        const double room = (box.max[flat] - box.min[flat]) / (4.0 * kWeld);
        const double budget = 4.0 * static_cast<double>(count) / plan;
        layers = layers < room ? layers : room;
        layers = layers < budget ? layers : budget;
        perAxis[flat] = layers >= 1.0 ? static_cast<int>(layers) : 1; // NaN too
    }
}

// Makes room for `more` further entries of c in one step, so that a million
// single additions do not copy the slot array at every growth step: one bulk
// add of empty slots, taken back at once, grows it to size.
void Reserve(GArrayCollection* c, long more)
{
    if (c == nullptr || more <= 0)
        return;
    const long free = static_cast<long>(c->GetCapacity()) - c->size();
    if (free > more)
        return;
    const long total = static_cast<long>(c->size()) + more;
    if (total >= INT_MAX)
        return; // left to the ordinary growth
    const int count = c->size();
    std::vector<GObj*> empty(static_cast<std::size_t>(more), nullptr);
    c->add(static_cast<int>(more), empty.data());
    c->size(count);
}


// Whether the rows u, v, n are orthonormal to within 1e-12 in every dot
// product. Then the matrix they form has no singular value below
// sqrt(1 - 3e-12), so a 3D distance between two mapped points is no less
// than (1 - 2e-12) times the plan distance, whatever their heights.
bool Orthonormal(const double* u, const double* v, const double* n)
{
    const double* rows[3] = {u, v, n};
    for (int i = 0; i < 3; ++i)
        for (int j = i; j < 3; ++j) {
            const double dot = rows[i][0] * rows[j][0] + rows[i][1] * rows[j][1] + rows[i][2] * rows[j][2];
            if (!(std::fabs(dot - (i == j ? 1.0 : 0.0)) <= 1e-12))
                return false; // NaN axes too
        }
    return true;
}

// Whether surface collections are all empty (nothing of the caller's
// takes part in the weld or in the removal of unused entities).
bool Untouched(G3Surface* s)
{
    return s->GetVertexCount() == 0 && s->GetEdgeCount() == 0 && s->GetFacetCount() == 0 &&
           s->GetPolyEdgeCount() == 0 && s->GetNormalCount() == 0 && s->GetTexCooCount() == 0;
}


// Calls visit(engine vertex, its output vertex) for every engine vertex
// that has an output vertex, in creation order.
template <class Visit>
void ForEachOutput(g3tri::G3TriEngine* engine, Visit visit)
{
    const int n = engine->GetVertexCount();
    for (int i = 0; i < n; ++i) {
        G3TVertex* tv = engine->GetVertex(i);
        if (G3Vertex* out = tv->GetOutputVertex())
            visit(tv, out);
    }
}

// Welds coinciding output vertices and removes unused entities, keeping the
// engine vertices' output links on the surviving vertices. Welding deletes
// the duplicates it merges away and every vertex left in no facet, so the
// output links must follow it. The weld runs in its two halves: between
// them each duplicate's scratch link names the vertex it was merged into,
// and whether a vertex outlives the removal of unused entities can be read
// off its ring.
void Weld(G3Surface* target, g3tri::G3TriEngine* engine, const double* normal)
{
    GEnvelope env;
    target->FormEnvelope(&env);
    int grid[3];
    WeldGrid(target->GetVertexCount(), engine->GetMergedCount(), env, normal, grid);
    G3PointHash hash(grid, env.min, env.max, kWeld);
    target->RemoveEqualsVertex(&hash);
    // Edges left without a facet go first, exactly as in RemoveUnused; only
    // then does an empty ring mean the vertex is about to be deleted.
    target->RemoveUnusedEdge();
    const bool keepsAll = target->GetPolyEdgeCount() > 0; // polyline vertices have no edges
    GArrayCollection* listed = target->GetVertexList();
    ForEachOutput(engine, [&](G3TVertex* tv, G3Vertex* out) {
        // The representative a duplicate names is an earlier listed vertex
        // that is no duplicate itself.
        G3Vertex* r = static_cast<G3Vertex*>(out->GetExData());
        if (r == nullptr || r->GetId() < 0 || listed == nullptr || r->GetId() >= listed->size() ||
            listed->get(static_cast<int>(r->GetId())) != r)
            r = out;
        tv->SetOutputVertex(keepsAll || r->HasEdges() ? r : nullptr);
    });
    target->RemoveUnused();
}

// What Weld leaves when it merges nothing, in a target that held nothing
// before: every vertex keeps its own output vertex with a cleared scratch
// link (the weld clears every vertex's), a vertex in no triangle loses its
// link and is removed. No edge lacks a facet and no facet lacks edges, and
// there are no normals or texture coordinates, so when every vertex has
// edges the removal of unused entities has nothing to do.
void KeepUnwelded(G3Surface* target, g3tri::G3TriEngine* engine)
{
    bool unused = false;
    ForEachOutput(engine, [&](G3TVertex* tv, G3Vertex* out) {
        out->SetExData(nullptr);
        if (!out->HasEdges()) {
            tv->SetOutputVertex(nullptr);
            unused = true;
        }
    });
    if (unused)
        target->RemoveUnused();
}

} // namespace

G3Surface* G3TriInterface::GetSurface()
{
    G3Surface* target = new G3Surface();
    return GetSurface(target);
}

G3Surface* G3TriInterface::GetSurface(G3Surface* target)
{
    if (target == nullptr)
        return nullptr;
    // One check when the surface is complete, not one per triangle added.
    G3_CHECK_PASS(target, "G3TriInterface::GetSurface");
    const bool fresh = Untouched(target);

    // One output vertex per engine vertex, in the order they were added
    // (merged-away vertices included).
    const int n = engine->GetVertexCount();
    const int t = engine->GetTriangleCount();
    // A triangulation of t triangles with h hull edges has (3t + h) / 2
    // edges, and h is at most n.
    Reserve(target->GetVertexList(), n);
    Reserve(target->GetEdgeList(), (3L * t + n) / 2 + 1);
    Reserve(target->GetFacetList(), t);
    // The largest |x| + |y| + |z| of a vertex bounds the rounding of the
    // mapped coordinates (NaN or infinite when some coordinate is).
    double extent = 0.0;
    for (int i = 0; i < n; ++i) {
        G3TVertex* tv = engine->GetVertex(i);
        double p[3];
        GetPosition(tv, p);
        tv->SetOutputVertex(target->AddVertex(p, 0));
        const double e = std::fabs(tv->x) + std::fabs(tv->y) + std::fabs(tv->z);
        extent = e > extent || std::isnan(e) ? e : extent;
    }

    // The output vertex of each node's kept vertex. Triangles name nodes,
    // and nodes lie in plan order, so neighbouring triangles read nearby
    // entries here; reading each corner's link off its vertex instead meant
    // a cache miss per corner (the vertices lie in input order).
    const int nodeCount = engine->GetNodeCount();
    std::unique_ptr<G3Vertex*[]> nodeOutput(new G3Vertex*[static_cast<std::size_t>(nodeCount > 0 ? nodeCount : 1)]);
    for (int k = 0; k < nodeCount; ++k) {
        const G3TVertex* kept = engine->GetVertex(engine->GetNode(k).vertex);
        nodeOutput[static_cast<std::size_t>(k)] = kept ? kept->GetOutputVertex() : nullptr;
    }

    // The triangles, corners in the engine's (counter-clockwise) order (the
    // corners GetTriangle gives). The corners are kept vertices, each with
    // an output vertex of its own. The edge flags go in as an array: the
    // single-value form builds one per facet.
    int edgeFlags[3] = {1, 1, 1};
    int refused = 0;
    for (int i = 0; i < t; ++i) {
        const g3tri::Tri& tri = engine->GetTri(i);
        G3Vertex* corners[3];
        bool complete = true;
        for (int k = 0; k < 3; ++k) {
            const int node = tri.v[k];
            corners[k] = node >= 0 && node < nodeCount ? nodeOutput[static_cast<std::size_t>(node)] : nullptr;
            complete = complete && corners[k] != nullptr;
        }
        if (complete && target->AddFacet(3, corners, edgeFlags, nullptr, nullptr) == nullptr)
            ++refused; // its edges stay behind without a facet
    }

    // Welding can only change something when two output vertices lie
    // within the weld tolerance of each other, or when the target brought
    // vertices of its own. The run tells how close its nodes come in the
    // plane: with orthonormal axes, no point merged away by the run and
    // every vertex placed, that separation bounds every 3D distance from
    // below (heights only add to it), less the rounding of the mapped
    // coordinates (a few ulps of the extent; 1e-14 of it is several times
    // that bound). A fourfold margin over the tolerance then leaves every
    // pair at least 1e-6 apart as the weld measures it, so the weld would
    // find nothing. Every facet made its edges its own (none refused), so
    // no edge is left without a facet either.
    const bool separated = fresh && refused == 0 && t > 0 && engine->GetMergedCount() == 0 &&
                           engine->GetPlacedCount() == n && Orthonormal(axisU, axisV, axisN) &&
                           engine->GetNodeSeparation() > 4.0 * kWeld + 1e-14 * extent;
    if (separated)
        KeepUnwelded(target, engine);
    else
        Weld(target, engine, axisN);
    return target;
}
