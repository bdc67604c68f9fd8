#include "Geometry/terrain/triangulation/G3TriEngine.h"

#include <algorithm>
#include <cstdlib>

namespace g3tri {

G3TriEngine::G3TriEngine() = default;

G3TriEngine::~G3TriEngine()
{
    for (G3TEdge* e : edges)
        delete e;
}

G3TVertex* G3TriEngine::NewVertex(double x, double y)
{
    const int id = vertexCount;
    if ((id >> kBlockShift) >= static_cast<int>(blocks.size()))
        blocks.emplace_back(new G3TVertex[kBlockSize]);
    G3TVertex* v = VertexAt(id);
    v->x = x;
    v->y = y;
    v->id = id;
    ++vertexCount;
    return v;
}

G3TEdge* G3TriEngine::NewEdge(G3TVertex* a, G3TVertex* b)
{
    G3TEdge* e = new G3TEdge(a, b, this);
    edges.push_back(e);
    return e;
}

int G3TriEngine::NewTriangle(int a, int b, int c, int)
{
    const int n = static_cast<int>(nodes.size());
    if (a < 0 || a >= n || b < 0 || b >= n || c < -1 || c >= n)
        return -1;
    tris.push_back(Tri{{a, b, c}, {-1, -1, -1}});
    nodeTri.clear();
    return static_cast<int>(tris.size() - 1);
}

int G3TriEngine::GetVertexCount() const { return vertexCount; }

G3TVertex* G3TriEngine::GetVertex(int id) const
{
    if (id < 0 || id >= vertexCount)
        return nullptr;
    return VertexAt(id);
}

int G3TriEngine::GetEdgeCount() const { return static_cast<int>(edges.size()); }

G3TEdge* G3TriEngine::GetEdge(int i) const
{
    if (i < 0 || i >= static_cast<int>(edges.size()))
        return nullptr;
    return edges[static_cast<std::size_t>(i)];
}

int G3TriEngine::GetTriangleCount() const { return static_cast<int>(tris.size()); }

bool G3TriEngine::GetTriangle(int i, G3TVertex* corners[3]) const
{
    if (i < 0 || i >= static_cast<int>(tris.size()))
        return false;
    const Tri& t = tris[static_cast<std::size_t>(i)];
    for (int k = 0; k < 3; ++k) {
        if (t.v[k] < 0)
            return false;
        corners[k] = VertexAt(nodes[static_cast<std::size_t>(t.v[k])].vertex);
    }
    return true;
}

void G3TriEngine::PrepareInsertion()
{
    if (++stamp == 0x7fffffff) {
        stamp = 1;
        std::fill(triMark.begin(), triMark.end(), 0);
        std::fill(nodeMark.begin(), nodeMark.end(), 0);
    }
}

bool G3TriEngine::Option(int option) const { return option == 0; }

bool G3TriEngine::IsReady() const { return true; }

bool G3TriEngine::Owns(const G3TVertex* v) const
{
    return v != nullptr && v->id >= 0 && v->id < vertexCount && VertexAt(v->id) == v;
}

void G3TriEngine::BuildVertexNodes() const
{
    if (!vertexNode.empty() || runVertexCount == 0)
        return;
    vertexNode.assign(static_cast<std::size_t>(runVertexCount), -1);
    for (std::size_t i = 0; i < nodes.size(); ++i)
        vertexNode[static_cast<std::size_t>(nodes[i].vertex)] = static_cast<int>(i);
    for (const auto& m : merged)
        vertexNode[static_cast<std::size_t>(m.first)] = vertexNode[static_cast<std::size_t>(m.second)];
}

void G3TriEngine::BuildNodeTriangles() const
{
    if (nodeTri.size() == nodes.size())
        return;
    nodeTri.assign(nodes.size(), -1);
    for (std::size_t i = 0; i < tris.size(); ++i)
        for (int k = 0; k < 3; ++k)
            nodeTri[static_cast<std::size_t>(tris[i].v[k])] = static_cast<int>(i);
}

int G3TriEngine::NodeOf(const G3TVertex* v) const
{
    if (!Owns(v) || v->id >= runVertexCount)
        return -1;
    BuildVertexNodes();
    return vertexNode[static_cast<std::size_t>(v->id)];
}

G3TVertex* G3TriEngine::GetKeptVertex(const G3TVertex* v) const
{
    const int node = NodeOf(v);
    return node < 0 ? nullptr : VertexAt(nodes[static_cast<std::size_t>(node)].vertex);
}

int G3TriEngine::GetVertexTriangle(const G3TVertex* v) const
{
    const int node = NodeOf(v);
    if (node < 0)
        return -1;
    BuildNodeTriangles();
    return nodeTri[static_cast<std::size_t>(node)];
}

G3TEdge* G3TriEngine::GetSide(int t, int k) const
{
    if (sides.empty() || t < 0 || t >= static_cast<int>(tris.size()) || k < 0 || k > 2)
        return nullptr;
    if (sideBits.size() == tris.size() && !(sideBits[static_cast<std::size_t>(t)] & (1u << k)))
        return nullptr;
    const auto it = sides.find(t * 4 + k);
    return it == sides.end() ? nullptr : it->second;
}

void G3TriEngine::ClearResult()
{
    for (G3TEdge* e : edges)
        delete e;
    edges.clear();
    nodes.clear();
    tris.clear();
    merged.clear();
    runVertexCount = 0;
    separation = 0.0;
    vertexNode.clear();
    nodeTri.clear();
    sides.clear();
    sideBits.clear();
    triMark.clear();
    nodeMark.clear();
    stamp = 0;
}

namespace {

const int kNext[3] = {1, 2, 0};
const int kPrev[3] = {2, 0, 1};

// A walk round one node's fan of triangles: counter-clockwise from its
// start triangle, then clockwise from there if the hull stopped the turn.
struct FanWalk {
    int node;
    int start;
    int at;
    int pass;
    bool done;
};

} // namespace

// Handle (triangle * 4 + edge) of the edge joining nodes a and b, or -1:
// the side on which it runs from a to b counter-clockwise, or its only side
// on the hull. The fans of a and b are walked in turn, so the search costs
// twice the smaller of their degrees: a constraint crossing the fan of a
// node with thousands of triangles would otherwise walk that fan for every
// edge it flips.
int G3TriEngine::FindEdgeHandle(int a, int b) const
{
    BuildNodeTriangles();
    const int count = static_cast<int>(nodeTri.size());
    if (a < 0 || b < 0 || a >= count || b >= count || a == b)
        return -1;
    FanWalk walks[2];
    const int ends[2] = {a, b};
    for (int w = 0; w < 2; ++w) {
        const int t0 = nodeTri[static_cast<std::size_t>(ends[w])];
        walks[w] = FanWalk{ends[w], t0, t0, 0, t0 < 0};
    }
    int found = -1;
    long guard = 2L * static_cast<long>(tris.size()) + 4;
    while (found < 0 && (!walks[0].done || !walks[1].done) && --guard > 0) {
        for (int w = 0; w < 2 && found < 0; ++w) {
            FanWalk& f = walks[w];
            if (f.done)
                continue;
            const int other = ends[1 - w];
            const Tri& tr = tris[static_cast<std::size_t>(f.at)];
            int i = 0;
            while (i < 3 && tr.v[i] != f.node)
                ++i;
            if (i == 3) { // an inconsistent start: this side cannot tell
                f.done = true;
                continue;
            }
            if (tr.v[kNext[i]] == other || tr.v[kPrev[i]] == other) {
                found = f.at;
                continue;
            }
            const int h = f.pass == 0 ? tr.n[kNext[i]] : tr.n[kPrev[i]];
            if (h >= 0 && (h >> 2) != f.start) {
                f.at = h >> 2;
            } else if (h < 0 && f.pass == 0) {
                f.pass = 1; // the hull: turn the other way from the start
                f.at = f.start;
            } else {
                f.done = true; // all the way round, or the hull twice
            }
        }
    }
    if (found < 0)
        return -1;
    const Tri& tr = tris[static_cast<std::size_t>(found)];
    int i = 0;
    while (i < 2 && tr.v[i] != a)
        ++i;
    if (tr.v[kNext[i]] == b)
        return found * 4 + kPrev[i];
    // Here the edge runs from b to a; the side across runs from a to b.
    const int h = tr.n[kNext[i]];
    return h >= 0 ? h : found * 4 + kNext[i];
}

bool G3TriEngine::HasEdge(const G3TVertex* a, const G3TVertex* b) const
{
    const int na = NodeOf(a), nb = NodeOf(b);
    return na >= 0 && nb >= 0 && na != nb && FindEdgeHandle(na, nb) >= 0;
}

bool G3TriEngine::IsConstrained(const G3TVertex* a, const G3TVertex* b) const
{
    const int na = NodeOf(a), nb = NodeOf(b);
    if (na < 0 || nb < 0 || na == nb)
        return false;
    const int h = FindEdgeHandle(na, nb);
    return h >= 0 && GetSide(h >> 2, h & 3) != nullptr;
}

} // namespace g3tri
