// `g3 demo`: meshes built in code, taken through the repair passes (with
// orientation and coplanar merging where the mesh calls for them) and
// triangulation, and written as OBJ and VRML with a picture of each.

#include "tools/g3/G3Tool.h"

#include "Geometry/mesh/G3Facet.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/mesh/G3Vertex.h"
#include "Geometry/processing/G3EdgeList.h"
#include "tools/io/G3MeshIO.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <system_error>

namespace g3tool {

namespace {

struct P3 {
    double x, y, z;
};
using Loop = std::vector<P3>;

// One facet through new vertices of its own: the outer loop, then each hole
// appended as a further contour of the same facet.
G3Facet* AddPolygon(G3Surface& s, const Loop& outer, const std::vector<Loop>& holes = {})
{
    std::vector<G3Vertex*> v;
    for (const P3& p : outer)
        v.push_back(s.AddVertex(p.x, p.y, p.z, 0));
    G3Facet* f = s.AddFacet(static_cast<int>(v.size()), v.data(), 1, nullptr, nullptr);
    if (!f)
        return nullptr;
    for (const Loop& hole : holes) {
        std::vector<G3Vertex*> h;
        for (const P3& p : hole)
            h.push_back(s.AddVertex(p.x, p.y, p.z, 0));
        G3EdgeList list(static_cast<int>(h.size()), h.data(), nullptr, nullptr, nullptr, 0, 0);
        s.AddFacetEdges(f, &list);
    }
    return f;
}

// A 4 x 4 x 2 box with a 2 x 2 square tunnel from top to bottom: the top and
// bottom facets each have a hole, four walls outside and four inside. Every
// facet has vertices of its own, as facets exported one by one arrive.
std::unique_ptr<G3Surface> TunnelBox()
{
    auto s = std::make_unique<G3Surface>();
    // Outer loops counter-clockwise seen from outside, holes the other way.
    AddPolygon(*s, {{0, 0, 2}, {4, 0, 2}, {4, 4, 2}, {0, 4, 2}}, {{{1, 1, 2}, {1, 3, 2}, {3, 3, 2}, {3, 1, 2}}});
    AddPolygon(*s, {{0, 0, 0}, {0, 4, 0}, {4, 4, 0}, {4, 0, 0}}, {{{1, 1, 0}, {3, 1, 0}, {3, 3, 0}, {1, 3, 0}}});
    AddPolygon(*s, {{0, 0, 0}, {4, 0, 0}, {4, 0, 2}, {0, 0, 2}});
    AddPolygon(*s, {{4, 0, 0}, {4, 4, 0}, {4, 4, 2}, {4, 0, 2}});
    AddPolygon(*s, {{4, 4, 0}, {0, 4, 0}, {0, 4, 2}, {4, 4, 2}});
    AddPolygon(*s, {{0, 4, 0}, {0, 0, 0}, {0, 0, 2}, {0, 4, 2}});
    AddPolygon(*s, {{3, 1, 0}, {1, 1, 0}, {1, 1, 2}, {3, 1, 2}});
    AddPolygon(*s, {{3, 3, 0}, {3, 1, 0}, {3, 1, 2}, {3, 3, 2}});
    AddPolygon(*s, {{1, 3, 0}, {3, 3, 0}, {3, 3, 2}, {1, 3, 2}});
    AddPolygon(*s, {{1, 1, 0}, {1, 3, 0}, {1, 3, 2}, {1, 1, 2}});
    return s;
}

// A unit sphere of `stacks` x `slices` cells as a triangle soup: every
// triangle gets three vertices of its own (as STL delivers them), and every
// other one is wound the wrong way round, as careless exporters leave them.
// The points come from one table, so shared corners coincide exactly.
std::unique_ptr<G3Surface> SphereSoup(int stacks, int slices)
{
    const double pi = 3.14159265358979323846;
    std::vector<P3> grid(static_cast<std::size_t>((stacks + 1) * slices));
    for (int i = 0; i <= stacks; ++i)
        for (int j = 0; j < slices; ++j) {
            const double theta = pi * i / stacks;
            const double phi = 2.0 * pi * j / slices;
            P3 p{std::sin(theta) * std::cos(phi), std::sin(theta) * std::sin(phi), std::cos(theta)};
            if (i == 0 || i == stacks)
                p = {0.0, 0.0, i == 0 ? 1.0 : -1.0};
            grid[static_cast<std::size_t>(i * slices + j)] = p;
        }
    auto at = [&](int i, int j) { return grid[static_cast<std::size_t>(i * slices + (j % slices))]; };

    auto s = std::make_unique<G3Surface>();
    bool flip = false;
    auto triangle = [&](const P3& a, const P3& b, const P3& c) {
        const P3& second = flip ? c : b;
        const P3& third = flip ? b : c;
        flip = !flip;
        G3Vertex* v[3] = {s->AddVertex(a.x, a.y, a.z, 0), s->AddVertex(second.x, second.y, second.z, 0),
                          s->AddVertex(third.x, third.y, third.z, 0)};
        s->AddFacet(3, v, 1, nullptr, nullptr);
    };
    for (int i = 0; i < stacks; ++i)
        for (int j = 0; j < slices; ++j) {
            const P3 a = at(i, j), b = at(i + 1, j), c = at(i + 1, j + 1), d = at(i, j + 1);
            if (i == 0) {
                triangle(a, b, c);
            } else if (i == stacks - 1) {
                triangle(a, b, d);
            } else {
                triangle(a, b, c);
                triangle(a, c, d);
            }
        }
    return s;
}

// A 10 x 4 plate: one facet with three rectangular holes and an octagonal
// one.
std::unique_ptr<G3Surface> HoledPlate()
{
    auto s = std::make_unique<G3Surface>();
    Loop octagon;
    const double pi = 3.14159265358979323846;
    for (int k = 8; k > 0; --k)  // clockwise, as holes run
        octagon.push_back({7.0 + 1.2 * std::cos(pi * k / 4.0), 2.0 + 1.2 * std::sin(pi * k / 4.0), 0.0});
    AddPolygon(*s, {{0, 0, 0}, {10, 0, 0}, {10, 4, 0}, {0, 4, 0}},
               {{{1, 1, 0}, {1, 3, 0}, {2, 3, 0}, {2, 1, 0}},
                {{3, 1, 0}, {3, 2, 0}, {4, 2, 0}, {4, 1, 0}},
                {{3, 2.5, 0}, {3, 3, 0}, {4, 3, 0}, {4, 2.5, 0}},
                octagon});
    return s;
}

// A 12 x 8 floor of unit tiles around a 4 x 2 courtyard left open, each
// tile a facet of its own (as a tiling tool hands it over).
std::unique_ptr<G3Surface> TiledFloor()
{
    auto s = std::make_unique<G3Surface>();
    for (int j = 0; j < 8; ++j)
        for (int i = 0; i < 12; ++i) {
            if (i >= 4 && i < 8 && j >= 3 && j < 5)
                continue;
            const double x = i;
            const double y = j;
            AddPolygon(*s, {{x, y, 0}, {x + 1, y, 0}, {x + 1, y + 1, 0}, {x, y + 1, 0}});
        }
    return s;
}

void Row(const char* step, G3Surface& s, const std::string& plain = std::string())
{
    const Counts c = CountsOf(s);
    std::string tail = s.GetClosed() ? "yes" : "no";
    if (!plain.empty())
        tail += std::string(8 - tail.size(), ' ') + plain;
    std::printf("  %-40s %8d %8d %8d  %s\n", step, c.vertices, c.edges, c.facets, tail.c_str());
}

// Repairs and triangulates one mesh (with the optional passes of
// `options`), printing a row per step, and writes DIR/<name>.obj,
// DIR/<name>.wrl and the picture DIR/<name>.png. Whether all three were
// written.
bool Show(const std::string& name, const char* title, G3Surface& s, const std::string& dir, const double* color,
          const RepairOptions& options, Progress& progress, const DemoView& view = DemoView())
{
    std::printf("%s: %s\n", name.c_str(), title);
    std::printf("  %-40s %8s %8s %8s  %s  %s\n", "step", "vertices", "edges", "facets", "closed", "what it does");
    s.FormPlaneEquation();
    Row("built", s);
    RunRepairPasses(s, options, progress, [&](const PassResult& r) {
        Row(r.name.c_str(), s, r.plain);
        if (!r.detail.empty())
            std::printf("    %s\n", r.detail.c_str());
    });
    const MeshStats st = ComputeStats(s);
    std::printf("  V-E+F: %d, facets with holes: %d, boundary edges: %d\n",
                st.counts.vertices - st.counts.edges + st.counts.facets, st.facetsWithHoles, st.boundaryEdges);

    bool ok = true;
    g3io::WriteOptions writeOptions;
    for (int k = 0; k < 3; ++k)
        writeOptions.vrmlColor[k] = color[k];
    std::string written;
    for (const char* ext : {".obj", ".wrl"}) {
        const std::string path = (std::filesystem::path(dir) / (name + ext)).string();
        progress.Pass("writing " + path);
        std::string message;
        if (g3io::WriteMeshFile(path, s, message, writeOptions)) {
            written += (written.empty() ? "" : ", ") + path;
        } else {
            std::fprintf(stderr, "g3: %s\n", message.c_str());
            ok = false;
        }
    }
    const std::string picture = (std::filesystem::path(dir) / (name + ".png")).string();
    if (WriteDemoPicture(dir, name, s, progress, view))
        written += (written.empty() ? "" : ", ") + picture;
    else
        ok = false;
    if (!written.empty())
        std::printf("  wrote %s\n", written.c_str());
    std::printf("\n");
    return ok;
}

}  // namespace

const CommandLine& DemoLine()
{
    static const CommandLine line{"", {{"-o|--output", "DIR"}, {"--quiet", ""}}};
    return line;
}

int CommandDemo(const std::vector<std::string>& args)
{
    ParsedArgs a;
    int status = kExitOk;
    if (!OpenCommand("demo", args, DemoLine(), a, status))
        return status;
    if (!a.positionals.empty())
        return UsageError("demo", "unexpected argument " + a.positionals[0] + " (the folder is given with -o DIR)");
    const std::string dir = a.Value({"-o", "--output"}, "g3-demo");
    if (dir.empty())
        return UsageError("demo", "empty folder name");

    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (ec || !std::filesystem::is_directory(dir, ec)) {
        std::fprintf(stderr, "g3: %s: cannot create the folder%s%s\n", dir.c_str(), ec ? ": " : "",
                     ec ? ec.message().c_str() : "");
        return kExitFailure;
    }

    Progress progress(a.Has("--quiet"));
    const double grey[3] = {0.75, 0.75, 0.75};
    const double blue[3] = {0.35, 0.5, 0.8};
    const double sand[3] = {0.85, 0.7, 0.45};
    const double clay[3] = {0.7, 0.45, 0.35};
    RepairOptions triangulate;
    triangulate.triangulate = true;
    RepairOptions orient = triangulate;
    orient.orient = true;
    RepairOptions merge = triangulate;
    merge.mergeCoplanar = true;
    bool ok = true;
    {
        progress.Pass("building box");
        auto box = TunnelBox();
        ok = Show("box", "a 4 x 4 x 2 box with a square tunnel; top and bottom are facets with a hole", *box, dir,
                  grey, triangulate, progress) && ok;
    }
    {
        progress.Pass("building sphere");
        auto sphere = SphereSoup(32, 48);
        ok = Show("sphere",
                  "a unit sphere as a soup of 2976 triangles, each with corners of its own, every other one wound "
                  "inwards; oriented outwards",
                  *sphere, dir, blue, orient, progress) && ok;
    }
    {
        progress.Pass("building plate");
        auto plate = HoledPlate();
        ok = Show("plate", "a 10 x 4 plate, one facet with four holes", *plate, dir, sand, triangulate, progress) && ok;
    }
    {
        progress.Pass("building floor");
        auto floor = TiledFloor();
        ok = Show("floor", "88 unit tiles around a 4 x 2 courtyard, merged into one facet with a hole", *floor, dir,
                  clay, merge, progress) && ok;
    }
    {
        progress.Pass("building wall");
        auto wall = DemoWallWithOpenings();
        ok = Show("wall", "a 4 x 0.3 x 3 wall minus a flush window box and a door box", *wall, dir, sand,
                  triangulate, progress) && ok;
    }
    {
        progress.Pass("building sliced wall");
        auto sliced = DemoSlicedWall();
        ok = Show("sliced", "that wall below a plane rising 0.3 per unit across its window and door, capped",
                  *sliced, dir, sand, triangulate, progress) && ok;
    }
    {
        progress.Pass("building gable wall");
        auto gable = DemoGableWall();
        ok = Show("gable", "that wall under a gable's two roof slopes, cut along them as one sheet", *gable, dir,
                  sand, triangulate, progress) && ok;
    }
    {
        progress.Pass("building pushed-in wall");
        auto pushed = DemoInsertedWall();
        ok = Show("pushed", "a 4 x 0.3 x 3 wall with a window pushed through it, a sill pulled out under the "
                            "window and a niche pushed in beside it",
                  *pushed, dir, sand, triangulate, progress) && ok;
    }
    {
        progress.Pass("building shell");
        auto shell = DemoSteppedShell();
        ok = Show("shell", "a block standing on a plinth, overhanging its back, every face grown by 0.2", *shell,
                  dir, clay, triangulate, progress) && ok;
    }
    for (const char* op : {"union", "difference", "intersection"}) {
        progress.Pass(std::string("building spheres-") + op);
        auto spheres = DemoSpheres(op);
        // The second sphere sits on the +x side: the difference's bite and
        // the intersection's lens show from there.
        DemoView view;
        view.turn = std::string(op) == "union" ? 0 : 1;
        ok = Show(std::string("spheres-") + op, "two overlapping unit spheres of 2000 triangles each", *spheres, dir,
                  blue, triangulate, progress, view) && ok;
    }
    {
        progress.Pass("building roof");
        auto roof = DemoRoofHouse();
        // The inner corner of the L faces +x +y: its valley and the hips
        // either side show from there.
        DemoView view;
        view.turn = 2;
        ok = Show("roof", "an L-shaped house's hip roof at 35 degrees, 0.5 overhang, 0.25 thick", *roof, dir, clay,
                  RepairOptions(), progress, view) && ok;
    }
    {
        progress.Pass("building roof openings");
        auto roof = DemoRoofWithOpenings();
        // The chimney (long wing, south face) and the roof window (west
        // face) face the default eye, from -x -y.
        ok = Show("roof-openings", "that roof with a chimney and a roof window cut through both layers", *roof, dir,
                  clay, RepairOptions(), progress) && ok;
    }
    {
        progress.Pass("building site");
        auto site = DemoSite();
        ok = Show("site", "a smoothed survey of two hills with a 16 x 10 building pad, closed into a body", *site,
                  dir, sand, RepairOptions(), progress) && ok;
    }
    std::printf("%s\n", ok ? "demo done" : "demo FAILED: some files were not written");
    return ok ? kExitOk : kExitFailure;
}

}  // namespace g3tool
