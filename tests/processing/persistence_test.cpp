// The topology dump (Save, Load) and the VRML export.

#include "Geometry/mesh/G3Edge.h"
#include "Geometry/mesh/G3Facet.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/mesh/G3Vertex.h"
#include "mesh/mesh_check.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <locale.h>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

std::string TempPath(const std::string& name)
{
    return ::testing::TempDir() + "g3persist_" + std::to_string(getpid()) + "_" + name;
}
std::string ReadText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}
void WriteText(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }
std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);)
        out.push_back(l);
    return out;
}
std::string Join(const std::vector<std::string>& lines)
{
    std::string out;
    for (const std::string& l : lines)
        out += l + "\n";
    return out;
}

// A unit cube, faces outward; with `normalIds`, facet f's corners all get
// normal normalIds[f].
void MakeCube(G3Surface& s, const int* normalIds = nullptr)
{
    static const double p[8][3] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}};
    static int faces[6][4] = {{0, 3, 2, 1}, {4, 5, 6, 7}, {0, 1, 5, 4}, {1, 2, 6, 5}, {2, 3, 7, 6}, {3, 0, 4, 7}};
    for (const auto& v : p)
        s.AddVertex(v[0], v[1], v[2], 0);
    for (int f = 0; f < 6; ++f) {
        int n[4] = {0, 0, 0, 0};
        if (normalIds)
            std::fill(n, n + 4, normalIds[f]);
        ASSERT_NE(s.AddFacet(4, faces[f], 1, normalIds ? n : nullptr, nullptr), nullptr);
    }
}

// Everything a dump carries, read from the objects themselves: coordinates,
// ids of every link (-1 for null), flags, sub-surface values, counts.
std::vector<double> Snapshot(G3Surface& s)
{
    auto id = [](const G3Obj* o) { return o ? static_cast<double>(o->GetId()) : -1.0; };
    std::vector<double> out = {double(s.GetVertexCount()), double(s.GetEdgeCount()), double(s.GetFacetCount()),
                               double(s.PeekNextSurface())};
    for (int i = 0; i < s.GetVertexCount(); ++i) {
        G3Vertex* v = s.GetVertex(i);
        out.insert(out.end(), {id(v), v->GetX(), v->GetY(), v->GetZ(), id(v->GetFirstEdge()), id(v->GetLastEdge())});
    }
    for (int i = 0; i < s.GetEdgeCount(); ++i) {
        G3Edge* e = s.GetEdge(i);
        out.insert(out.end(), {id(e), double(e->GetFlags()), id(e->GetVertex1()), id(e->GetVertex2()),
                               id(e->GetFacet1()), id(e->GetFacet2()), id(e->GetFacet1Edge()), id(e->GetFacet2Edge()),
                               id(e->GetVertex1Edge()), id(e->GetVertex2Edge())});
    }
    for (int i = 0; i < s.GetFacetCount(); ++i) {
        G3Facet* f = s.GetFacet(i);
        out.insert(out.end(), {id(f), double(f->GetFlags()), double(f->GetSurface()), id(f->GetFirstEdge()),
                               id(f->GetLastEdge()), f->GetParentSurface() == &s ? 1.0 : 0.0});
    }
    return out;
}

struct SaveLoadTest : ::testing::Test {
    std::string path = TempPath("dump.txt");
    void TearDown() override { std::remove(path.c_str()); }
};

TEST_F(SaveLoadTest, RoundTripKeepsEveryLinkAndCoordinate)
{
    // An open border (facet1 gone, facet2 kept), a facet-less edge still in
    // its rings, flags, sub-surface numbers, coordinates that need every
    // digit, and a vertex whose id a host changed.
    G3Surface a;
    MakeCube(a);
    a.RemoveFacet(a.GetFacet(1));
    G3Vertex* far = a.AddVertex(0.1, -1.0 / 3.0, 123456.789012345678, 0);
    a.AddVertex(-2.5e-3, 7e8 + 0.25, -0.0, 0);
    a.AddEdge(a.GetVertex(0), far, nullptr);
    a.GetEdge(2)->SetFlags(0x107);
    a.GetFacet(0)->SetFlags(0x10000001);
    a.GetFacet(2)->SetSurface(-4);
    a.SetNextSurface(9);
    a.GetVertex(3)->SetId(77);

    // An empty surface is its header line alone, and loads back empty.
    G3Surface empty, b;
    ASSERT_TRUE(empty.Save(path.c_str()));
    EXPECT_EQ(ReadText(path), "0 0 0 1 0\n");
    b.SetNextSurface(6);
    ASSERT_TRUE(b.Load(path.c_str()));
    EXPECT_EQ(Snapshot(empty), Snapshot(b));

    ASSERT_TRUE(a.Save(path.c_str()));
    b.SetNextSurface(6);
    ASSERT_TRUE(b.Load(path.c_str()));
    EXPECT_EQ(Snapshot(a), Snapshot(b));
    EXPECT_EQ("", MeshCheck(&b));

    // Windows line ends load the same.
    std::string crlf;
    for (char c : ReadText(path))
        crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    WriteText(path, crlf);
    G3Surface c;
    ASSERT_TRUE(c.Load(path.c_str()));
    EXPECT_EQ(Snapshot(a), Snapshot(c));
}

TEST_F(SaveLoadTest, NumbersIgnoreTheHostLocale)
{
    locale_t comma = nullptr;
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8", "ru_RU.UTF-8"})
        if ((comma = newlocale(LC_ALL_MASK, name, nullptr)) != nullptr)
            break;
    if (!comma)
        GTEST_SKIP() << "no locale with a decimal comma installed";
    G3Surface a, b;
    a.AddVertex(0.5, -1.25, 3.0, 0);
    const locale_t old = uselocale(comma);
    const bool saved = a.Save(path.c_str());
    const bool loaded = b.Load(path.c_str());
    uselocale(old);
    freelocale(comma);
    ASSERT_TRUE(saved && loaded);
    EXPECT_EQ(Lines(ReadText(path))[1], "0.50000000000000000000 -1.25000000000000000000 3.00000000000000000000");
    EXPECT_EQ(b.GetVertex(0)->GetY(), -1.25);
}

// Every kind of bad file is refused and leaves the target as it was.
TEST_F(SaveLoadTest, MalformedFilesAreRefusedWithoutChange)
{
    G3Surface src;
    MakeCube(src);
    src.RemoveFacet(src.GetFacet(5));
    ASSERT_TRUE(src.Save(path.c_str()));
    const std::vector<std::string> good = Lines(ReadText(path));
    const int nV = src.GetVertexCount(), nE = src.GetEdgeCount(), nF = src.GetFacetCount();
    const int edgeLine = 1 + nV, facetLine = edgeLine + nE, linkLine = facetLine + nF, ringLine = linkLine + nE;

    // The text with field k of line l replaced.
    auto patch = [&](int l, int k, const std::string& value) {
        std::vector<std::string> lines = good;
        std::istringstream in(good[l]);
        std::vector<std::string> f;
        for (std::string t; in >> t;)
            f.push_back(t);
        f[k] = value;
        lines[l] = f[0];
        for (size_t i = 1; i < f.size(); ++i)
            lines[l] += " " + f[i];
        return Join(lines);
    };
    auto str = [](long v) { return std::to_string(v); };
    G3Facet* f0 = src.GetFacet(0);
    G3Edge* first = f0->GetFirstEdge();
    G3Edge* last = f0->GetLastEdge();
    G3Vertex* v0 = src.GetVertex(0);
    G3Edge* ringLast = v0->GetLastEdge();
    G3Edge* foreign = src.GetEdge(nE - 1); // the back face's last edge, not one of facet 0
    ASSERT_FALSE(foreign->HasFacet(f0));

    const std::pair<const char*, std::string> cases[] = {
        {"negative count", patch(0, 0, "-1")},
        {"absurd count", patch(0, 1, "2000000000")},
        {"truncated mid-file", Join(good).substr(0, Join(good).size() / 2)},
        {"last line missing", Join(std::vector<std::string>(good.begin(), good.end() - 1))},
        {"trailing data", Join(good) + "3\n"},
        {"malformed integer", patch(edgeLine, 2, "1x")},
        {"integer overflow", patch(facetLine, 3, "4294967297")},
        {"malformed coordinate", patch(1, 1, "0,5")},
        {"coordinate not finite", patch(1, 2, "nan")},
        {"coordinate infinite", patch(1, 0, "-inf")},
        {"edge vertex past the end", patch(edgeLine, 1, str(nV))},
        {"edge without a vertex", patch(edgeLine, 0, "-1")},
        {"facet edge past the end", patch(facetLine, 0, str(nE))},
        {"facet with a first edge only", patch(facetLine, 1, "-1")},
        {"link below -1", patch(linkLine, 2, "-2")},
        {"link to a missing facet", patch(linkLine, 1, str(nF))},
        {"ring end past the end", patch(ringLine, 1, str(nE))},
        {"looping facet chain", patch(linkLine + last->GetId(), last->GetFacet1() == f0 ? 2 : 3, str(first->GetId()))},
        {"chain ending early", patch(facetLine, 1, str(first->GetId()))},
        {"chain through a foreign edge",
         patch(linkLine + first->GetId(), first->GetFacet1() == f0 ? 2 : 3, str(foreign->GetId()))},
        {"looping vertex ring", patch(linkLine + ringLast->GetId(), ringLast->GetVertex1() == v0 ? 4 : 5,
                                      str(v0->GetFirstEdge()->GetId()))},
    };
    WriteText(path, Join(good));
    G3Surface control;
    ASSERT_TRUE(control.Load(path.c_str()));
    EXPECT_EQ(Snapshot(src), Snapshot(control));
    for (const auto& c : cases) {
        WriteText(path, c.second);
        G3Surface s;
        s.SetNextSurface(5);
        const std::vector<double> before = Snapshot(s);
        EXPECT_FALSE(s.Load(path.c_str())) << c.first;
        EXPECT_EQ(Snapshot(s), before) << c.first;
    }

    // A surface that already holds a mesh; files that cannot be opened.
    WriteText(path, Join(good));
    G3Surface cube;
    MakeCube(cube);
    const std::vector<double> before = Snapshot(cube);
    EXPECT_FALSE(cube.Load(path.c_str()));
    EXPECT_EQ(Snapshot(cube), before);
    G3Surface empty;
    EXPECT_FALSE(empty.Load(TempPath("no_such_file").c_str()));
    EXPECT_FALSE(empty.Save((TempPath("no_such_dir") + "/x.txt").c_str()));
}

// ------------------------------------------------------------------ VRML

struct VrmlTest : ::testing::Test {
    std::string path = TempPath("shape.wrl");
    void TearDown() override { std::remove(path.c_str()); }
    std::string Write(const std::vector<G3Surface*>& surfaces)
    {
        FILE* f = nullptr;
        EXPECT_TRUE(G3Surface::VRMLWriteBegin(path.c_str(), &f));
        const double color[3] = {0.8, 0.25, 1.0 / 3.0};
        for (G3Surface* s : surfaces)
            EXPECT_TRUE(G3Surface::VRMLWrite(f, s, color));
        EXPECT_TRUE(G3Surface::VRMLWriteEnd(f));
        return ReadText(path);
    }
};

TEST_F(VrmlTest, UnitCubeMatchesGoldenFile)
{
    G3Surface cube;
    MakeCube(cube);
    EXPECT_EQ(Write({&cube}), ReadText(std::string(G3_TEST_DATA_DIR) + "/processing/data/unit_cube.wrl"));
}

TEST_F(VrmlTest, OneShapePerSurfaceAndNormalsOnlyWhenEveryCornerHasOne)
{
    G3Surface plain, shaded, partial;
    MakeCube(plain);
    const int normalIds[6] = {0, 1, 2, 3, 4, 5};
    const double dirs[6][3] = {{0, 0, -1}, {0, 0, 1}, {0, -1, 0}, {1, 0, 0}, {0, 1, 0}, {-1, 0, 0}};
    for (const auto& d : dirs) {
        shaded.AddNormal(d[0], d[1], d[2]);
        partial.AddNormal(d[0], d[1], d[2]);
    }
    MakeCube(shaded, normalIds);
    MakeCube(partial);
    int tri[3] = {0, 1, 6}, triNormals[3] = {1, 1, 1};
    partial.AddFacet(3, tri, 1, triNormals, nullptr); // the cube's own corners have none
    shaded.GetVertex(2)->SetId(40);                    // ids are restored before writing

    // One Shape per surface; only the shaded one has a normal block, with
    // one entry per coordIndex entry; ids are the restored ones.
    std::vector<std::string> shapes;
    const std::string text = Write({&plain, &shaded, &partial});
    for (size_t at = text.find("Shape {"); at != std::string::npos; at = text.find("Shape {", at + 1))
        shapes.push_back(text.substr(at, text.find("Shape {", at + 1) - at));
    ASSERT_EQ(shapes.size(), 3u);
    auto block = [](const std::string& shape, const std::string& header) {
        const size_t at = shape.find(header);
        return at == std::string::npos ? std::string() : shape.substr(at, shape.find("]\n", at) - at);
    };
    std::string runs = "normalIndex [\n";
    for (int f = 0; f < 6; ++f)
        runs += std::string(4, char('0' + f)).insert(1, ",").insert(3, ",").insert(5, ",") + ",-1\n";
    EXPECT_EQ(block(shapes[1], "normalIndex ["), runs);
    EXPECT_EQ(block(shapes[1], "coordIndex ["), block(shapes[0], "coordIndex ["));
    EXPECT_EQ(shapes[1].substr(shapes[1].size() - 28), "]\nnormalPerVertex TRUE\n\n}\n}\n");
    EXPECT_EQ(shapes[2].find("normal"), std::string::npos);
    EXPECT_EQ(block(shapes[2], "coordIndex [").substr(block(shapes[0], "coordIndex [").size()), "0,1,6,-1\n");

    // Null streams write nothing; an unopenable file leaves `out` alone.
    const double color[3] = {1, 1, 1};
    EXPECT_FALSE(G3Surface::VRMLWrite(nullptr, &plain, color));
    EXPECT_FALSE(G3Surface::VRMLWriteEnd(nullptr));
    FILE* untouched = reinterpret_cast<FILE*>(&plain);
    EXPECT_FALSE(G3Surface::VRMLWriteBegin((TempPath("no_such_dir") + "/x.wrl").c_str(), &untouched));
    EXPECT_EQ(untouched, reinterpret_cast<FILE*>(&plain));
}

} // namespace
