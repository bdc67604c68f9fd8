// A short tour of the kernel: a triangle soup welded into a closed cube, an
// L-shaped facet triangulated through GLU, a terrain triangulated from
// survey points, and the results written as text dumps and VRML 2.0.
//
//   g3_example [output directory]   (default ./g3-demo)
#include "Geometry/foundation/GRandom.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/mesh/G3Vertex.h"
#include "Geometry/terrain/G3TriInterface.h"

#include <cstdio>
#include <string>
#include <sys/stat.h>

namespace {

void Report(const char* what, G3Surface* s)
{
    std::printf("%-34s %6d vertices %6d edges %6d facets  %s\n", what, s->GetVertexCount(), s->GetEdgeCount(),
                s->GetFacetCount(), s->GetClosed() ? "closed" : "open");
}

// Every face of a unit cube as two triangles with vertices of their own, as
// a triangle soup arrives from a file.
G3Surface* CubeSoup()
{
    static const double corner[8][3] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0},
                                        {0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}};
    static const int quad[6][4] = {{0, 3, 2, 1}, {4, 5, 6, 7}, {0, 1, 5, 4},
                                   {1, 2, 6, 5}, {2, 3, 7, 6}, {3, 0, 4, 7}};
    G3Surface* s = new G3Surface();
    for (const auto& q : quad) {
        const int tri[2][3] = {{q[0], q[1], q[2]}, {q[0], q[2], q[3]}};
        for (const auto& t : tri) {
            G3Vertex* v[3];
            for (int k = 0; k < 3; ++k)
                v[k] = s->AddVertex(corner[t[k]], 0);
            s->AddFacet(3, v, 1, nullptr, nullptr);
        }
    }
    s->FormPlaneEquation();
    return s;
}

G3Surface* LShape()
{
    static const double p[6][3] = {{0, 0, 0}, {2, 0, 0}, {2, 1, 0}, {1, 1, 0}, {1, 2, 0}, {0, 2, 0}};
    G3Surface* s = new G3Surface();
    G3Vertex* v[6];
    for (int i = 0; i < 6; ++i)
        v[i] = s->AddVertex(p[i], 0);
    s->AddFacet(6, v, 1, nullptr, nullptr);
    s->FormPlaneEquation();
    return s;
}

G3Surface* Terrain(int points)
{
    G3TriInterface tin;
    GSRand(1);
    for (int i = 0; i < points; ++i) {
        const double x = GRand() * 100.0 / G_RAND_MAX;
        const double y = GRand() * 100.0 / G_RAND_MAX;
        const double p[3] = {x, y, 5.0 + 0.05 * x - 0.02 * y + (GRand() % 100) * 0.01};
        tin.AddVertex(p);
    }
    tin.MakeTriangulation(G3TriInterface::TRI_BASIC_DEFAULT);
    return tin.GetSurface();
}

} // namespace

int main(int argc, char** argv)
{
    const std::string dir = argc > 1 ? argv[1] : "g3-demo";
    mkdir(dir.c_str(), 0755);

    G3Surface* cube = CubeSoup();
    Report("cube as a triangle soup:", cube);
    cube->RemoveEqualsVertexAndDivideEdges();
    Report("after welding vertices:", cube);
    cube->RemoveNonManifoldEdges();
    Report("after joining boundary edges:", cube);

    G3Surface* l = LShape();
    Report("L-shaped facet:", l);
    l->Triangulate(4, 0);
    Report("after triangulation:", l);

    G3Surface* terrain = Terrain(2000);
    Report("terrain from 2000 survey points:", terrain);

    bool ok = cube->Save((dir + "/cube.txt").c_str()) && terrain->Save((dir + "/terrain.txt").c_str());
    FILE* vrml = nullptr;
    const double grey[3] = {0.7, 0.7, 0.7};
    const double green[3] = {0.3, 0.6, 0.3};
    ok = ok && G3Surface::VRMLWriteBegin((dir + "/demo.wrl").c_str(), &vrml);
    ok = ok && G3Surface::VRMLWrite(vrml, cube, grey) && G3Surface::VRMLWrite(vrml, l, grey) &&
         G3Surface::VRMLWrite(vrml, terrain, green);
    if (vrml)
        ok = G3Surface::VRMLWriteEnd(vrml) && ok;
    std::printf("%s %s/cube.txt, %s/terrain.txt and %s/demo.wrl\n", ok ? "wrote" : "FAILED to write", dir.c_str(),
                dir.c_str(), dir.c_str());

    delete cube;
    delete l;
    delete terrain;
    return ok ? 0 : 1;
}
