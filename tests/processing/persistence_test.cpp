// The topology dump (Save, Load), ScaleCoo and the VRML export.

#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/mesh/G3Edge.h"
#include "Geometry/mesh/G3Facet.h"
#include "Geometry/mesh/G3Point.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/mesh/G3Vertex.h"

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

void WriteText(const std::string& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

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

// A unit cube, every face outward.
void MakeCube(G3Surface& s, int* normalIds = nullptr)
{
    static const double p[8][3] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0},
                                   {0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}};
    static int faces[6][4] = {{0, 3, 2, 1}, {4, 5, 6, 7}, {0, 1, 5, 4}, {1, 2, 6, 5}, {2, 3, 7, 6}, {3, 0, 4, 7}};
    for (const auto& v : p)
        s.AddVertex(v[0], v[1], v[2], 0);
    for (int f = 0; f < 6; ++f) {
        int n[4];
        for (int k = 0; k < 4 && normalIds; ++k)
            n[k] = normalIds[f];
        ASSERT_NE(s.AddFacet(4, faces[f], 1, normalIds ? n : nullptr, nullptr), nullptr);
    }
}

long Id(const G3Obj* o) { return o ? o->GetId() : -1; }

// Ids, links, flags, sub-surface values and coordinates, entity by entity.
void ExpectSameTopology(G3Surface& a, G3Surface& b)
{
    ASSERT_EQ(a.GetVertexCount(), b.GetVertexCount());
    ASSERT_EQ(a.GetEdgeCount(), b.GetEdgeCount());
    ASSERT_EQ(a.GetFacetCount(), b.GetFacetCount());
    EXPECT_EQ(a.PeekNextSurface(), b.PeekNextSurface());
    for (int i = 0; i < a.GetVertexCount(); ++i) {
        G3Vertex *u = a.GetVertex(i), *v = b.GetVertex(i);
        EXPECT_EQ(v->GetId(), i);
        for (int k = 0; k < 3; ++k)
            EXPECT_EQ(u->GetXYZ(k), v->GetXYZ(k)) << "vertex " << i;
        EXPECT_EQ(Id(u->GetFirstEdge()), Id(v->GetFirstEdge()));
        EXPECT_EQ(Id(u->GetLastEdge()), Id(v->GetLastEdge()));
    }
    for (int i = 0; i < a.GetEdgeCount(); ++i) {
        G3Edge *e = a.GetEdge(i), *g = b.GetEdge(i);
        EXPECT_EQ(g->GetId(), i);
        EXPECT_EQ(e->GetFlags(), g->GetFlags());
        const G3Obj* ea[] = {e->GetVertex1(), e->GetVertex2(), e->GetFacet1(), e->GetFacet2(),
                             e->GetFacet1Edge(), e->GetFacet2Edge(), e->GetVertex1Edge(), e->GetVertex2Edge()};
        const G3Obj* ga[] = {g->GetVertex1(), g->GetVertex2(), g->GetFacet1(), g->GetFacet2(),
                             g->GetFacet1Edge(), g->GetFacet2Edge(), g->GetVertex1Edge(), g->GetVertex2Edge()};
        for (int k = 0; k < 8; ++k)
            EXPECT_EQ(Id(ea[k]), Id(ga[k])) << "edge " << i << " link " << k;
    }
    for (int i = 0; i < a.GetFacetCount(); ++i) {
        G3Facet *f = a.GetFacet(i), *g = b.GetFacet(i);
        EXPECT_EQ(g->GetId(), i);
        EXPECT_EQ(Id(f->GetFirstEdge()), Id(g->GetFirstEdge()));
        EXPECT_EQ(Id(f->GetLastEdge()), Id(g->GetLastEdge()));
        EXPECT_EQ(f->GetFlags(), g->GetFlags());
        EXPECT_EQ(f->GetSurface(), g->GetSurface());
        EXPECT_EQ(g->GetParentSurface(), &b);
    }
}

// A mesh with what a dump must carry: an open border (null facet2), a
// facet-less edge still in its rings, edge and facet flags, sub-surface
// numbers, coordinates that need every digit, and a renumbered vertex.
void MakeMixedMesh(G3Surface& s)
{
    MakeCube(s);
    s.RemoveFacet(s.GetFacet(1));
    G3Vertex* far = s.AddVertex(0.1, -1.0 / 3.0, 123456.789012345678, 0);
    s.AddVertex(-2.5e-3, 7e8 + 0.25, -0.0, 0);
    s.AddEdge(s.GetVertex(0), far, nullptr);
    s.GetEdge(2)->SetFlags(0x107);
    s.GetFacet(0)->SetFlags(0x10000001);
    s.GetFacet(2)->SetSurface(-4);
    s.SetNextSurface(9);
    s.GetVertex(3)->SetId(77); // Save must restore ids before writing them
}

struct SaveLoadTest : ::testing::Test {
    std::string path = TempPath("dump.txt");
    void TearDown() override { std::remove(path.c_str()); }
};

TEST_F(SaveLoadTest, RoundTripKeepsEveryLinkAndCoordinate)
{
    G3Surface a;
    MakeMixedMesh(a);
    ASSERT_TRUE(a.Save(path.c_str()));
    G3Surface b;
    ASSERT_TRUE(b.Load(path.c_str()));
    ExpectSameTopology(a, b);

    // The same text back, and the same mesh from a file with CRLF line ends.
    const std::string text = ReadText(path);
    ASSERT_TRUE(b.Save(path.c_str()));
    EXPECT_EQ(ReadText(path), text);
    std::string crlf;
    for (char c : text)
        crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    WriteText(path, crlf);
    G3Surface c;
    ASSERT_TRUE(c.Load(path.c_str()));
    ExpectSameTopology(a, c);
}

TEST_F(SaveLoadTest, EmptySurfaceIsOneHeaderLine)
{
    G3Surface a;
    ASSERT_TRUE(a.Save(path.c_str()));
    EXPECT_EQ(ReadText(path), "0 0 0 1 0\n");
    G3Surface b;
    b.SetNextSurface(6);
    ASSERT_TRUE(b.Load(path.c_str()));
    EXPECT_EQ(b.GetVertexCount() + b.GetEdgeCount() + b.GetFacetCount(), 0);
    EXPECT_EQ(b.PeekNextSurface(), 1);
}

TEST_F(SaveLoadTest, NumbersIgnoreTheHostLocale)
{
    locale_t comma = nullptr;
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8", "ru_RU.UTF-8"})
        if ((comma = newlocale(LC_ALL_MASK, name, nullptr)) != nullptr)
            break;
    if (!comma)
        GTEST_SKIP() << "no locale with a decimal comma installed";
    G3Surface a;
    a.AddVertex(0.5, -1.25, 3.0, 0);
    const locale_t old = uselocale(comma);
    const bool saved = a.Save(path.c_str());
    G3Surface b;
    const bool loaded = b.Load(path.c_str());
    uselocale(old);
    freelocale(comma);
    ASSERT_TRUE(saved);
    EXPECT_EQ(Lines(ReadText(path))[1], "0.50000000000000000000 -1.25000000000000000000 3.00000000000000000000");
    ASSERT_TRUE(loaded);
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

    // Field k of line l replaced by `value`.
    auto patch = [&](int l, int k, const std::string& value) {
        std::vector<std::string> lines = good;
        std::istringstream in(lines[l]);
        std::vector<std::string> f;
        for (std::string t; in >> t;)
            f.push_back(t);
        f[k] = value;
        lines[l].clear();
        for (const std::string& t : f)
            lines[l] += (lines[l].empty() ? "" : " ") + t;
        return Join(lines);
    };
    G3Facet* f0 = src.GetFacet(0);
    G3Edge* first = f0->GetFirstEdge();
    G3Edge* last = f0->GetLastEdge();
    G3Vertex* v0 = src.GetVertex(0);
    G3Edge* ringLast = v0->GetLastEdge();
    G3Edge* foreign = nullptr; // an edge that does not border facet 0
    for (int i = 0; i < nE && !foreign; ++i)
        if (!src.GetEdge(i)->HasFacet(f0))
            foreign = src.GetEdge(i);
    const std::string truncated = Join(good).substr(0, Join(good).size() / 2);

    const std::vector<std::pair<const char*, std::string>> cases = {
        {"negative count", patch(0, 0, "-1")},
        {"absurd count", patch(0, 1, "2000000000")},
        {"count beyond the data", patch(0, 0, std::to_string(nV + 1))},
        {"truncated", truncated},
        {"last line missing", Join(std::vector<std::string>(good.begin(), good.end() - 1))},
        {"trailing data", Join(good) + "3\n"},
        {"malformed integer", patch(edgeLine, 2, "1x")},
        {"integer overflow", patch(facetLine, 3, "4294967297")},
        {"malformed coordinate", patch(1, 1, "0,5")},
        {"edge vertex past the end", patch(edgeLine, 1, std::to_string(nV))},
        {"edge without a vertex", patch(edgeLine, 0, "-1")},
        {"facet edge past the end", patch(facetLine, 0, std::to_string(nE))},
        {"facet with a first edge only", patch(facetLine, 1, "-1")},
        {"link below -1", patch(linkLine, 2, "-2")},
        {"link to a missing facet", patch(linkLine, 1, std::to_string(nF))},
        {"ring end past the end", patch(ringLine, 1, std::to_string(nE))},
        {"looping facet chain",
         patch(linkLine + last->GetId(), last->GetFacet1() == f0 ? 2 : 3, std::to_string(first->GetId()))},
        {"chain ending early", patch(facetLine, 1, std::to_string(first->GetId()))},
        {"chain through a foreign edge",
         patch(linkLine + first->GetId(), first->GetFacet1() == f0 ? 2 : 3, std::to_string(foreign->GetId()))},
        {"looping vertex ring",
         patch(linkLine + ringLast->GetId(), ringLast->GetVertex1() == v0 ? 4 : 5,
               std::to_string(v0->GetFirstEdge()->GetId()))},
    };
    WriteText(path, Join(good));
    G3Surface control;
    ASSERT_TRUE(control.Load(path.c_str()));
    ExpectSameTopology(src, control);
    for (const auto& c : cases) {
        WriteText(path, c.second);
        G3Surface s;
        s.SetNextSurface(5);
        EXPECT_FALSE(s.Load(path.c_str())) << c.first;
        EXPECT_EQ(s.GetVertexCount() + s.GetEdgeCount() + s.GetFacetCount(), 0) << c.first;
        EXPECT_EQ(s.PeekNextSurface(), 5) << c.first;
    }

    // A surface that already holds a mesh, and a file that is not there.
    WriteText(path, Join(good));
    G3Surface cube;
    MakeCube(cube);
    const std::string other = TempPath("other.txt");
    ASSERT_TRUE(cube.Save(other.c_str()));
    const std::string before = ReadText(other);
    EXPECT_FALSE(cube.Load(path.c_str()));
    ASSERT_TRUE(cube.Save(other.c_str()));
    EXPECT_EQ(ReadText(other), before);
    std::remove(other.c_str());
    G3Surface empty;
    EXPECT_FALSE(empty.Load(TempPath("no_such_file").c_str()));
    EXPECT_FALSE(empty.Save((TempPath("no_such_dir") + "/x.txt").c_str()));
}

TEST(ScaleCooTest, ScalesVerticesOnlyAndUndoes)
{
    G3Surface s;
    MakeCube(s);
    const std::vector<double> plane(s.GetFacet(1)->GetPlane(), s.GetFacet(1)->GetPlane() + 4);
    s.ScaleCoo(1000.0);
    EXPECT_EQ(s.GetVertex(6)->GetZ(), 1000.0);
    EXPECT_EQ(std::vector<double>(s.GetFacet(1)->GetPlane(), s.GetFacet(1)->GetPlane() + 4), plane);
    s.ScaleCoo(0.001);
    EXPECT_NEAR(s.GetVertex(6)->GetX(), 1.0, 1e-12);
}

// ------------------------------------------------------------------ VRML

// The index runs of the block that starts at line `header`: one vector per
// line up to "]", each line checked to end in -1.
std::vector<std::vector<int>> IndexRuns(const std::vector<std::string>& lines, const std::string& header)
{
    std::vector<std::vector<int>> runs;
    size_t i = 0;
    while (i < lines.size() && lines[i] != header)
        ++i;
    for (++i; i < lines.size() && lines[i] != "]"; ++i) {
        std::vector<int> run;
        std::istringstream in(lines[i]);
        for (std::string t; std::getline(in, t, ',');)
            run.push_back(std::stoi(t));
        EXPECT_EQ(run.back(), -1) << lines[i];
        run.pop_back();
        runs.push_back(run);
    }
    return runs;
}

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
    const std::string text = Write({&cube});
    EXPECT_EQ(text, ReadText(std::string(G3_TEST_DATA_DIR) + "/processing/data/unit_cube.wrl"));
    const std::vector<std::string> lines = Lines(text);
    EXPECT_EQ(lines[0], "#VRML V2.0 utf8");
    const auto runs = IndexRuns(lines, "coordIndex [");
    ASSERT_EQ(runs.size(), 6u);
    for (const auto& run : runs) {
        EXPECT_EQ(run.size(), 4u);
        for (int id : run)
            EXPECT_TRUE(id >= 0 && id < 8);
    }
    EXPECT_EQ(text.find("normal Normal"), std::string::npos);
}

TEST_F(VrmlTest, OneShapePerSurfaceAndNormalsOnlyWhenEveryCornerHasOne)
{
    G3Surface plain, shaded, partial;
    MakeCube(plain);
    int normalIds[6] = {0, 1, 2, 3, 4, 5};
    const double dirs[6][3] = {{0, 0, -1}, {0, 0, 1}, {0, -1, 0}, {1, 0, 0}, {0, 1, 0}, {-1, 0, 0}};
    for (const auto& d : dirs) {
        shaded.AddNormal(d[0], d[1], d[2]);
        partial.AddNormal(d[0], d[1], d[2]);
    }
    MakeCube(shaded, normalIds);
    MakeCube(partial);
    int tri[3] = {0, 1, 6};
    int triNormals[3] = {1, 1, 1};
    partial.AddFacet(3, tri, 1, triNormals, nullptr); // the cube's corners have none

    const std::string text = Write({&plain, &shaded, &partial});
    std::vector<std::string> lines = Lines(text);
    std::vector<std::vector<std::string>> shapes;
    for (const std::string& l : lines) {
        if (l == "Shape {")
            shapes.emplace_back();
        if (!shapes.empty())
            shapes.back().push_back(l);
    }
    ASSERT_EQ(shapes.size(), 3u);
    const auto coords = IndexRuns(shapes[1], "coordIndex [");
    const auto normals = IndexRuns(shapes[1], "normalIndex [");
    ASSERT_EQ(normals.size(), coords.size());
    for (size_t f = 0; f < coords.size(); ++f)
        EXPECT_EQ(normals[f], std::vector<int>(coords[f].size(), static_cast<int>(f)));
    EXPECT_EQ(IndexRuns(shapes[2], "normalIndex [").size(), 0u);
    EXPECT_EQ(IndexRuns(shapes[2], "coordIndex [").size(), 7u);
    EXPECT_EQ(shapes[2].back(), "}");
}

TEST(VrmlCallsTest, NullAndUnopenableStreamsFail)
{
    G3Surface s;
    const double color[3] = {1, 1, 1};
    EXPECT_FALSE(G3Surface::VRMLWrite(nullptr, &s, color));
    EXPECT_FALSE(G3Surface::VRMLWriteEnd(nullptr));
    FILE* untouched = reinterpret_cast<FILE*>(&s);
    EXPECT_FALSE(G3Surface::VRMLWriteBegin((TempPath("no_such_dir") + "/x.wrl").c_str(), &untouched));
    EXPECT_EQ(untouched, reinterpret_cast<FILE*>(&s));
}

} // namespace
