#include "Geometry/terrain/G3TriInterface.h"

#include "Geometry/terrain/triangulation/G3TriEngine.h"

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
