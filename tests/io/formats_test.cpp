// Mesh file formats: readers on hand-written files, round trips, STL
// welding, corner data, and malformed input of every kind.

#include "Geometry/mesh/G3Edge.h"
#include "Geometry/mesh/G3Facet.h"
#include "Geometry/mesh/G3FacetIterators.h"
#include "Geometry/mesh/G3Point.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/mesh/G3TexCoo.h"
#include "Geometry/mesh/G3Vertex.h"
#include "Geometry/processing/G3EdgeList.h"
#include "mesh/mesh_check.h"
#include "tools/io/G3MeshIO.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

using ReadFn = bool (*)(const char*, std::size_t, const std::string&, G3Surface&, std::string&);

std::string Data(const std::string& name) { return std::string(G3_TEST_DATA_DIR) + "/io/data/" + name; }

std::string Slurp(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

std::string TempDir()
{
    static const std::string dir = [] {
        std::string d = ::testing::TempDir() + "g3io_" + std::to_string(getpid());
        mkdir(d.c_str(), 0700);
        return d;
    }();
    return dir;
}

bool Read(ReadFn fn, const std::string& text, G3Surface& s, std::string& message)
{
    return fn(text.data(), text.size(), "mem", s, message);
}

struct Counts {
    int v, e, f;
    bool closed;
};

void ExpectCounts(G3Surface& s, Counts c)
{
    EXPECT_EQ(c.v, s.GetVertexCount());
    EXPECT_EQ(c.e, s.GetEdgeCount());
    EXPECT_EQ(c.f, s.GetFacetCount());
    EXPECT_EQ(c.closed, s.GetClosed());
    EXPECT_EQ("", MeshCheck(&s));
}

bool IsEmpty(const G3Surface& s)
{
    return s.GetVertexCount() == 0 && s.GetEdgeCount() == 0 && s.GetFacetCount() == 0 && s.GetNormalCount() == 0 &&
           s.GetTexCooCount() == 0 && s.GetPolyEdgeCount() == 0;
}

// Corners of f in order: vertex, normal, texture coordinate.
struct CornerData {
    G3Vertex* v;
    G3Normal* n;
    G3TexCoo* t;
};
std::vector<CornerData> Corners(G3Facet* f)
{
    std::vector<CornerData> out;
    G3FacetVertexIterator it(f);
    while (it.hasNext()) {
        G3Vertex* v = static_cast<G3Vertex*>(it.next());
        G3TexCoo* t = nullptr;
        G3Normal* n = it.GetCurrentEdge()->GetCorner(f, v, &t);
        out.push_back({v, n, t});
    }
    return out;
}

// A binary STL of the given triangles (9 floats each).
std::string BinaryStl(const std::vector<std::vector<float>>& tris, const char* header = "test")
{
    std::string out(80, ' ');
    std::memcpy(&out[0], header, std::strlen(header));
    auto u32 = [&](std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            out += static_cast<char>((v >> (8 * i)) & 0xFF);
    };
    auto f32 = [&](float f) {
        std::uint32_t b;
        std::memcpy(&b, &f, 4);
        u32(b);
    };
    u32(static_cast<std::uint32_t>(tris.size()));
    for (const auto& t : tris) {
        for (int i = 0; i < 3; ++i)
            f32(0.0f);
        for (float c : t)
            f32(c);
        out += std::string(2, '\0');
    }
    return out;
}

// The 12 triangles of the unit cube, outward.
std::vector<std::vector<float>> CubeTriangles()
{
    const float p[8][3] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}};
    const int quads[6][4] = {{0, 3, 2, 1}, {4, 5, 6, 7}, {0, 1, 5, 4}, {1, 2, 6, 5}, {2, 3, 7, 6}, {3, 0, 4, 7}};
    std::vector<std::vector<float>> tris;
    for (const auto& q : quads) {
        const int a[2][3] = {{q[0], q[1], q[2]}, {q[0], q[2], q[3]}};
        for (const auto& t : a) {
            std::vector<float> tri;
            for (int i : t)
                tri.insert(tri.end(), p[i], p[i] + 3);
            tris.push_back(tri);
        }
    }
    return tris;
}

} // namespace

// ------------------------------------------------------------ OBJ

TEST(ObjTest, CubeInAllCornerFormsWithNegativeIndexes)
{
    G3Surface s;
    std::string msg;
    ASSERT_TRUE(g3io::ReadMeshFile(Data("cube.obj"), s, msg)) << msg;
    ExpectCounts(s, {8, 12, 6, true});
    EXPECT_EQ(6, s.GetNormalCount());
    EXPECT_EQ(4, s.GetTexCooCount());
    // The weight and colour after a vertex's xyz are not coordinates.
    EXPECT_EQ(1.0, s.GetVertex(5)->GetZ());

    // Facet order follows the file; each facet keeps exactly the corner
    // data its face line gave.
    auto corners = [&](int f) { return Corners(s.GetFacet(f)); };
    for (const CornerData& c : corners(0))
        EXPECT_TRUE(c.n == nullptr && c.t == nullptr);
    const std::vector<CornerData> top = corners(1);  // f 5/1 6/2 7/3 8/4
    ASSERT_EQ(4u, top.size());
    EXPECT_EQ(s.GetVertex(4), top[0].v);
    EXPECT_EQ(nullptr, top[0].n);
    ASSERT_NE(nullptr, top[2].t);
    EXPECT_EQ(1.0, top[2].t->GetU());
    EXPECT_EQ(1.0, top[2].t->GetV());
    for (const CornerData& c : corners(2)) {  // v//n
        EXPECT_EQ(s.G3Shell::GetNormal(2), c.n);
        EXPECT_EQ(nullptr, c.t);
    }
    const std::vector<CornerData> back = corners(4);  // negative v/t/n
    ASSERT_EQ(4u, back.size());
    EXPECT_EQ(s.GetVertex(2), back[0].v);
    EXPECT_EQ(s.GetVertex(6), back[3].v);
    EXPECT_EQ(s.G3Shell::GetNormal(4), back[1].n);
    EXPECT_EQ(s.GetTexCoo(3), back[3].t);
    EXPECT_EQ(s.GetVertex(3), corners(5)[0].v);  // f -5 -8 -4 -1
}

TEST(ObjTest, PolygonsStayOneFacetAndShareEdges)
{
    G3Surface s;
    std::string msg;
    ASSERT_TRUE(g3io::ReadMeshFile(Data("quad_pentagon.obj"), s, msg)) << msg;
    ExpectCounts(s, {7, 8, 2, false});
    EXPECT_EQ(4, s.GetFacet(0)->GetEdgeCount());
    EXPECT_EQ(5, s.GetFacet(1)->GetEdgeCount());
}

TEST(ObjTest, RoundTripKeepsTopologyCornerDataAndText)
{
    G3Surface a;
    std::string msg;
    ASSERT_TRUE(g3io::ReadMeshFile(Data("cube.obj"), a, msg)) << msg;
    std::string first, second;
    ASSERT_TRUE(g3io::WriteObj(a, first));
    G3Surface b;
    ASSERT_TRUE(Read(g3io::ReadObj, first, b, msg)) << msg << "\n" << first;
    ExpectCounts(b, {8, 12, 6, true});
    EXPECT_EQ(6, b.GetNormalCount());
    EXPECT_EQ(4, b.GetTexCooCount());
    for (int f = 0; f < 6; ++f) {
        const std::vector<CornerData> ca = Corners(a.GetFacet(f)), cb = Corners(b.GetFacet(f));
        ASSERT_EQ(ca.size(), cb.size());
        for (std::size_t k = 0; k < ca.size(); ++k) {
            EXPECT_EQ(ca[k].v->GetId(), cb[k].v->GetId());
            EXPECT_EQ(ca[k].n ? ca[k].n->GetId() : -1, cb[k].n ? cb[k].n->GetId() : -1);
            EXPECT_EQ(ca[k].t ? ca[k].t->GetId() : -1, cb[k].t ? cb[k].t->GetId() : -1);
        }
    }
    ASSERT_TRUE(g3io::WriteObj(b, second));
    EXPECT_EQ(first, second);
}

TEST(ObjTest, CoordinatesRoundTripExactlyAndPolylinesSurvive)
{
    const std::string text = "v 0.1 -2.5e-300 1e300\nv 1 0 0\nv 0.3333333333333333 1 0\nf 1 2 3\nl 1 2 3\n";
    G3Surface a;
    std::string msg, out;
    ASSERT_TRUE(Read(g3io::ReadObj, text, a, msg)) << msg;
    EXPECT_EQ(1, a.GetPolyEdgeCount());
    ASSERT_TRUE(g3io::WriteObj(a, out));
    G3Surface b;
    ASSERT_TRUE(Read(g3io::ReadObj, out, b, msg)) << msg;
    for (int i = 0; i < 3; ++i)
        for (int k = 0; k < 3; ++k)
            EXPECT_EQ(a.GetVertex(i)->GetXYZ()[k], b.GetVertex(i)->GetXYZ()[k]);
    EXPECT_EQ(1, b.GetPolyEdgeCount());
}

TEST(ObjTest, ConsecutiveRepeatsAreDroppedAndASpikeIsWrittenBackAsRead)
{
    G3Surface s;
    std::string msg;
    ASSERT_TRUE(Read(g3io::ReadObj, "v 0 0 0\nv 1 0 0\nv 1 1 0\nf 1 2 2 3 1\n", s, msg)) << msg;
    ExpectCounts(s, {3, 3, 1, false});

    // A face that runs out to vertex 4 and back along the same pair: the
    // chain holds two parallel edges there, and the writers must still
    // walk the corners in the order they were read.
    const std::string spike = "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 2 2 0\nf 1 2 3 4 3\nf 3 4 3 1 2\n";
    G3Surface t;
    ASSERT_TRUE(Read(g3io::ReadObj, spike, t, msg)) << msg;
    std::string obj, off;
    ASSERT_TRUE(g3io::WriteObj(t, obj));
    EXPECT_NE(std::string::npos, obj.find("\nf 1 2 3 4 3\n")) << obj;
    EXPECT_NE(std::string::npos, obj.find("\nf 3 4 3 1 2\n")) << obj;
    ASSERT_TRUE(g3io::WriteOff(t, off));
    EXPECT_NE(std::string::npos, off.find("\n5 0 1 2 3 2\n")) << off;

    // Two spikes out of one corner and nothing after them: the second is
    // not a contour of its own, whichever way its edge objects point, so
    // the face comes back the same after any number of round trips.
    for (const char* faces : {"f 1 4 1 2\n", "f 1 4 3 2\nf 1 4 1 2\nf 1 4 1 2\n"}) {
        std::string text = std::string("v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\n") + faces;
        for (int trip = 0; trip < 3; ++trip) {
            G3Surface u;
            ASSERT_TRUE(Read(g3io::ReadObj, text, u, msg)) << msg;
            std::string again;
            ASSERT_TRUE(g3io::WriteObj(u, again));
            EXPECT_NE(std::string::npos, again.find(faces)) << again;
            text = again;
        }
    }
}

TEST(ObjTest, ByteOrderMarkCrlfAndTabsAreAccepted)
{
    G3Surface s;
    std::string msg;
    ASSERT_TRUE(Read(g3io::ReadObj, "\xEF\xBB\xBFv 0 0 0\r\nv\t1 0 0\r\nv 0 1 0 # apex\r\n\r\nf 1 2 3\r\n", s, msg))
        << msg;
    ExpectCounts(s, {3, 3, 1, false});
}

// ------------------------------------------------------------ holes

// A square facet with a square hole, plus a quad beside it.
void MakeFacetWithHole(G3Surface& s)
{
    const double outer[4][3] = {{0, 0, 0}, {4, 0, 0}, {4, 4, 0}, {0, 4, 0}};
    const double inner[4][3] = {{1, 1, 0}, {1, 3, 0}, {3, 3, 0}, {3, 1, 0}};
    std::vector<G3Vertex*> o, h;
    for (const auto& p : outer)
        o.push_back(s.AddVertex(p, 0));
    for (const auto& p : inner)
        h.push_back(s.AddVertex(p, 0));
    G3Facet* f = s.AddFacet(4, o.data(), 1, nullptr, nullptr);
    G3EdgeList list(4, h.data(), nullptr, nullptr, nullptr, 0, 0);
    s.AddFacetEdges(f, &list);
    G3Vertex* q[4] = {o[1], s.AddVertex(6, 0, 0, 0), s.AddVertex(6, 4, 0, 0), o[2]};
    s.AddFacet(4, q, 1, nullptr, nullptr);
}

TEST(HoleTest, FacetsWithHolesAreWrittenAsTrianglesOthersStayWhole)
{
    G3Surface s;
    MakeFacetWithHole(s);
    const int edges = s.GetEdgeCount();
    std::string obj, off;
    ASSERT_TRUE(g3io::WriteObj(s, obj));
    ASSERT_TRUE(g3io::WriteOff(s, off));
    // The surface written is left as it was.
    EXPECT_EQ(2, s.GetFacetCount());
    EXPECT_EQ(edges, s.GetEdgeCount());
    for (auto [fn, text] : {std::pair<ReadFn, std::string>{g3io::ReadObj, obj}, {g3io::ReadOff, off}}) {
        G3Surface r;
        std::string msg;
        ASSERT_TRUE(Read(fn, text, r, msg)) << msg;
        EXPECT_EQ("", MeshCheck(&r));
        EXPECT_EQ(10, r.GetVertexCount());
        // The frame (area 12) in 8 triangles, then the quad beside it.
        ASSERT_EQ(9, r.GetFacetCount());
        double area = 0;
        for (int i = 0; i < 8; ++i) {
            std::vector<CornerData> c = Corners(r.GetFacet(i));
            ASSERT_EQ(3u, c.size());
            area += G3Facet::CalcRealSquareOfTriangle(c[0].v->GetXYZ(), c[1].v->GetXYZ(), c[2].v->GetXYZ(), nullptr);
        }
        EXPECT_NEAR(12.0, area, 1e-9);
        EXPECT_EQ(4, r.GetFacet(8)->GetEdgeCount());
    }
    // STL: the quad beside the frame becomes two triangles as well.
    std::string stl;
    ASSERT_TRUE(g3io::WriteStl(s, stl, false));
    G3Surface r;
    std::string msg;
    ASSERT_TRUE(Read(g3io::ReadStl, stl, r, msg)) << msg;
    ExpectCounts(r, {10, 20, 10, false});
}

// ------------------------------------------------------------ OFF

TEST(OffTest, ColoursAreIgnoredAndRoundTripKeepsTopology)
{
    G3Surface a;
    std::string msg, out;
    ASSERT_TRUE(g3io::ReadMeshFile(Data("colored.off"), a, msg)) << msg;
    ExpectCounts(a, {4, 6, 4, true});
    ASSERT_TRUE(g3io::WriteOff(a, out));
    EXPECT_EQ(0u, out.find("OFF\n4 4 6\n"));
    G3Surface b;
    ASSERT_TRUE(Read(g3io::ReadOff, out, b, msg)) << msg;
    ExpectCounts(b, {4, 6, 4, true});
    // Counts may share the keyword's line; other variants read the same.
    G3Surface c;
    ASSERT_TRUE(Read(g3io::ReadOff, "NOFF 3 1 0\n0 0 0 0 0 1\n1 0 0 0 0 1\n0 1 0 0 0 1\n3 0 1 2\n", c, msg))
        << msg;
    ExpectCounts(c, {3, 3, 1, false});
    // More faces than announced: the announced ones are read, the rest is
    // named once in a warning.
    G3Surface d;
    ASSERT_TRUE(Read(g3io::ReadOff, "OFF\n3 1 0\n0 0 0\n1 0 0\n0 1 0\n3 0 1 2\n3 0 2 1\n3 1 0 2\n", d, msg))
        << msg;
    EXPECT_EQ("mem:7: warning: text after the 1 announced faces is ignored", msg);
    ExpectCounts(d, {3, 3, 1, false});
    // A success without a warning leaves no stale message behind.
    G3Surface e;
    ASSERT_TRUE(Read(g3io::ReadOff, "OFF\n3 1 0\n0 0 0\n1 0 0\n0 1 0\n3 0 1 2\n", e, msg));
    EXPECT_EQ("", msg);
}

// ------------------------------------------------------------ STL

TEST(StlTest, AsciiAndBinaryCubesAreWelded)
{
    // The binary file's header starts with "solid"; its size says binary.
    for (const char* file : {"cube_ascii.stl", "cube_binary.stl"}) {
        G3Surface s;
        std::string msg;
        ASSERT_TRUE(g3io::ReadMeshFile(Data(file), s, msg)) << msg;
        ExpectCounts(s, {8, 18, 12, true});
    }
}

TEST(StlTest, BinaryTrianglesShareCornersAfterReading)
{
    // Corners within the weld tolerance join too; a degenerate triangle is
    // skipped.
    std::vector<std::vector<float>> tris = CubeTriangles();
    tris[3][0] += 1e-7f;
    tris.push_back({0, 0, 0, 1, 0, 0, 1, 0, 0});
    const std::string bin = BinaryStl(tris);
    G3Surface s;
    std::string msg;
    ASSERT_TRUE(Read(g3io::ReadStl, bin, s, msg)) << msg;
    ExpectCounts(s, {8, 18, 12, true});
}

TEST(StlTest, WritersRoundTripBinaryAndAscii)
{
    G3Surface cube;
    std::string msg;
    ASSERT_TRUE(g3io::ReadMeshFile(Data("cube.obj"), cube, msg)) << msg;
    for (bool ascii : {false, true}) {
        std::string out;
        ASSERT_TRUE(g3io::WriteStl(cube, out, ascii));
        if (!ascii) {
            EXPECT_EQ(84u + 50u * 12u, out.size());
        }
        G3Surface back;
        ASSERT_TRUE(Read(g3io::ReadStl, out, back, msg)) << msg;
        ExpectCounts(back, {8, 18, 12, true});
        // Orientation survives: every triangle's plane points out of the cube.
        for (int i = 0; i < back.GetFacetCount(); ++i) {
            G3Facet* f = back.GetFacet(i);
            const double* c = Corners(f)[0].v->GetXYZ();
            const double* pl = f->GetPlane();
            const double toCentre = pl[0] * (0.5 - c[0]) + pl[1] * (0.5 - c[1]) + pl[2] * (0.5 - c[2]);
            EXPECT_LT(toCentre, 0.0);
        }
    }
    // Coordinates beyond float range cannot go to binary STL.
    G3Surface big;
    G3Vertex* v[3] = {big.AddVertex(0, 0, 0, 0), big.AddVertex(1e300, 0, 0, 0), big.AddVertex(0, 1, 0, 0)};
    big.AddFacet(3, v, 1, nullptr, nullptr);
    std::string out;
    EXPECT_FALSE(g3io::WriteStl(big, out, false));
    EXPECT_TRUE(g3io::WriteStl(big, out, true));
}

// ------------------------------------------------------------ dump

TEST(DumpTest, ReadsHandWrittenDumpAndReportsTheLineOfABadRecord)
{
    const std::string text = Slurp(Data("triangle.txt"));
    G3Surface s;
    std::string msg;
    ASSERT_TRUE(Read(g3io::ReadDump, text, s, msg)) << msg;
    ExpectCounts(s, {3, 3, 1, false});

    // Edge 1's links (line 10) name a facet that does not exist.
    std::string bad = text;
    const std::size_t at = bad.find("0 -1 2 -1 -1 2");
    ASSERT_NE(std::string::npos, at);
    bad[at] = '7';
    G3Surface t;
    EXPECT_FALSE(Read(g3io::ReadDump, bad, t, msg));
    EXPECT_EQ("mem:10: malformed dump: edge facet id out of range", msg);
    EXPECT_TRUE(IsEmpty(t));
}

TEST(DumpTest, AFacetWhoseChainDoesNotCloseIsNotWritten)
{
    // The chain runs 2-1, 1-2, 2-0: no polygon. The dump reader refuses
    // it; a surface linked so in memory is written without the face rather
    // than with one that no reader takes back.
    const std::string text = Slurp(Data("open_chain.txt"));
    G3Surface s;
    std::string msg, obj;
    EXPECT_FALSE(Read(g3io::ReadDump, text, s, msg));
    EXPECT_NE(std::string::npos, msg.find("open contour")) << msg;
    G3Vertex* v[3] = {s.AddVertex(0, 10, 0, 0), s.AddVertex(1, 0, 0, 0), s.AddVertex(0, 1, 0, 0)};
    G3Facet* f = s.AddFacetToCollection(new G3Facet());
    for (const auto& ends : {std::make_pair(2, 1), std::make_pair(1, 2), std::make_pair(2, 0)}) {
        G3Edge* e = s.AddEdge(v[ends.first], v[ends.second], nullptr);
        e->SetFacet1(f);
        f->AddEdge(e);
    }
    ASSERT_TRUE(g3io::WriteObj(s, obj));
    EXPECT_EQ(std::string::npos, obj.find("\nf ")) << obj;
    G3Surface back;
    EXPECT_TRUE(Read(g3io::ReadObj, obj, back, msg)) << msg;
}

// ------------------------------------------------------------ bad input

struct BadCase {
    ReadFn fn;
    const char* text;
    const char* expected;  // a substring of the message
};

TEST(BadInputTest, EveryReaderNamesTheLineOrOffsetAndLeavesTheSurfaceEmpty)
{
    const std::string v3 = "v 0 0 0\nv 1 0 0\nv 0 1 0\n";
    static const std::string tris = BinaryStl(CubeTriangles());
    const std::string truncated = tris.substr(0, 84 + 50 * 3 + 7);
    const std::string solidTruncated = BinaryStl(CubeTriangles(), "solid cube").substr(0, 84 + 50 * 11);
    std::string nanBinary = BinaryStl({{0, 0, 0, 1, 0, 0, 0, 1, 0}});
    std::memcpy(&nanBinary[84 + 12 + 4], "\x00\x00\xc0\x7f", 4);
    const std::vector<std::pair<BadCase, std::string>> cases = {
        {{g3io::ReadObj, "", "mem: empty file"}, ""},
        {{g3io::ReadObj, nullptr, "mem: empty file"}, " \n\t\n"},
        {{g3io::ReadObj, nullptr, "mem:4: unknown keyword 'curv'"}, v3 + "curv 0 1 1 2\n"},
        {{g3io::ReadObj, nullptr, "mem:4: vertex index 4 out of range (3 vertices)"}, v3 + "f 1 2 4\n"},
        {{g3io::ReadObj, nullptr, "mem:4: vertex index 0 out of range"}, v3 + "f 0 1 2\n"},
        {{g3io::ReadObj, nullptr, "mem:4: vertex index -4 out of range"}, v3 + "f -4 1 2\n"},
        {{g3io::ReadObj, nullptr, "mem:4: vertex index -9223372036854775808 out of range"},
         v3 + "f -9223372036854775808 1 2\n"},
        {{g3io::ReadObj, nullptr, "mem:4: bad vertex index '99999999999999999999'"}, v3 + "f 99999999999999999999 1 2\n"},
        {{g3io::ReadObj, nullptr, "mem:4: face with 2 vertices"}, v3 + "f 1 2\n"},
        {{g3io::ReadObj, nullptr, "mem:4: face with fewer than 3 distinct vertices"}, v3 + "f 1 2 1\n"},
        {{g3io::ReadObj, nullptr, "mem:4: face with fewer than 3 distinct vertices"}, v3 + "f 1 2 1 2\n"},
        {{g3io::ReadObj, nullptr, "mem:4: normal index 1 out of range (0 normals)"}, v3 + "f 1//1 2//1 3//1\n"},
        {{g3io::ReadObj, nullptr, "mem:5: texture coordinate index 2 out of range (1 texture coordinate)"}, v3 + "vt 0 0\nf 1/1 2/2 3/1\n"},
        {{g3io::ReadObj, nullptr, "mem:4: face mixes corner forms"}, v3 + "f 1 2/1 3\n"},
        {{g3io::ReadObj, nullptr, "mem:4: bad face corner '1/2/3/4'"}, v3 + "f 1/2/3/4 2 3\n"},
        {{g3io::ReadObj, nullptr, "mem:4: bad vertex index 'x'"}, v3 + "f x 2 3\n"},
        {{g3io::ReadObj, nullptr, "mem:2: 'abc' is not a number"}, "v 0 0 0\nv 1 abc 0\n"},
        {{g3io::ReadObj, nullptr, "mem:1: 'nan' is not a finite number"}, "v nan 0 0\n"},
        {{g3io::ReadObj, nullptr, "mem:1: 'inf' is not a finite number"}, "v 0 inf 0\n"},
        {{g3io::ReadObj, nullptr, "mem:1: number '1e999' out of range"}, "v 0 1e999 0\n"},
        {{g3io::ReadObj, nullptr, "mem:1: a vertex needs 3 numbers, 2 given"}, "v 0 1\n"},
        {{g3io::ReadObj, nullptr, "mem:1: '0,5' is not a number"}, "v 0,5 1 2\n"},
        {{g3io::ReadOff, nullptr, "mem: empty file"}, ""},
        {{g3io::ReadOff, nullptr, "mem:1: not an OFF file"}, "PLY\n"},
        {{g3io::ReadOff, nullptr, "mem:2: bad count 'x'"}, "OFF\nx 1 0\n"},
        {{g3io::ReadOff, nullptr, "mem:1: counts exceed what the file holds"}, "OFF 100000 1 0\n"},
        {{g3io::ReadOff, nullptr, "mem:4: file ends after 2 of 3 vertices"}, "OFF\n3 1 0\n0 0 0\n1 0 0\n"},
        {{g3io::ReadOff, nullptr, "mem:6: vertex index 3 out of range (3 vertices)"},
         "OFF\n3 1 0\n0 0 0\n1 0 0\n0 1 0\n3 0 1 3\n"},
        {{g3io::ReadOff, nullptr, "mem:6: face of 4 vertices lists 3 numbers"},
         "OFF\n3 1 0\n0 0 0\n1 0 0\n0 1 0\n4 0 1 2\n"},
        {{g3io::ReadOff, nullptr, "mem:4: 'nan' is not a finite number"}, "OFF\n3 1 0\n0 0 0\nnan 0 0\n"},
        {{g3io::ReadOff, nullptr, "mem:6: file ends after 1 of 2 faces"},
         "OFF\n3 2 0\n0 0 0\n1 0 0\n0 1 0\n3 0 1 2\n"},
        {{g3io::ReadOff, nullptr, "mem:1: binary OFF is not supported"}, "OFF BINARY\n"},
        {{g3io::ReadStl, nullptr, "mem: empty file"}, ""},
        {{g3io::ReadStl, nullptr, "mem: byte 241: file ends inside triangle 4 of 12"}, truncated},
        {{g3io::ReadStl, nullptr, "mem: byte 634: file ends inside triangle 12 of 12"}, solidTruncated},
        {{g3io::ReadStl, nullptr, "mem: byte 10: file ends inside the 84-byte binary STL header"}, "0123456789"},
        {{g3io::ReadStl, nullptr, "mem: byte 100: coordinate of triangle 1 is not finite"}, nanBinary},
        {{g3io::ReadStl, nullptr, "mem:2: expected 'facet normal' and three numbers"}, "solid x\nfacet\n"},
        {{g3io::ReadStl, nullptr, "mem:4: 'x' is not a number"},
         "solid x\nfacet normal 0 0 1\nouter loop\nvertex 0 x 0\n"},
        {{g3io::ReadStl, nullptr, "mem:6: expected 'vertex', found 'endloop'"},
         "solid x\nfacet normal 0 0 1\nouter loop\nvertex 0 0 0\nvertex 1 0 0\nendloop\n"},
        {{g3io::ReadStl, nullptr, "mem:2: file ends where 'outer loop' is expected"}, "solid x\nfacet normal 0 0 1\n"},
        {{g3io::ReadStl, nullptr, "mem:8: file ends inside the solid"}, "solid x\nfacet normal 0 0 1\nouter loop\nvertex 0 0 0\nvertex 1 0 0\nvertex 0 1 0\nendloop\nendfacet\n"},
        {{g3io::ReadDump, nullptr, "mem: empty file"}, "\n"},
        {{g3io::ReadDump, nullptr, "mem:1: malformed dump: counts larger than the file"}, "1000 0 0 1 0\n"},
        {{g3io::ReadDump, nullptr, "mem:2: malformed dump: coordinate not finite"},
         "1 0 0 1 0\n0 nan 0\n-1 -1\n"},
        {{g3io::ReadDump, nullptr, "mem:1: malformed dump: bad integer"}, "6202641830156289821 0 0 1 0\nnan\n"},
        {{g3io::ReadDump, nullptr, "mem:2: malformed dump: bad number"}, "1 0 0 1 0\n0 x 0\n0 0\n"},
        {{g3io::ReadDump, nullptr, "mem:3: malformed dump: file ends early"}, "1 0 0 1 0\n0 0 0\n0      "},
    };
    for (const auto& [c, content] : cases) {
        const std::string text = c.text ? std::string(c.text) : content;
        G3Surface s;
        std::string msg;
        EXPECT_FALSE(Read(c.fn, text, s, msg)) << c.expected;
        EXPECT_NE(std::string::npos, msg.find(c.expected)) << "expected '" << c.expected << "', got '" << msg << "'";
        EXPECT_EQ(std::string::npos, msg.find('\n')) << msg;
        EXPECT_TRUE(IsEmpty(s)) << c.expected;
    }
}

TEST(BadInputTest, ReadersRefuseATargetThatIsNotEmpty)
{
    G3Surface s;
    s.AddVertex(0, 0, 0, 0);
    std::string msg;
    for (ReadFn fn : {g3io::ReadObj, g3io::ReadOff, g3io::ReadStl, g3io::ReadDump}) {
        EXPECT_FALSE(Read(fn, Slurp(Data("cube.obj")), s, msg));
        EXPECT_NE(std::string::npos, msg.find("not empty")) << msg;
        EXPECT_EQ(1, s.GetVertexCount());
    }
}

// ------------------------------------------------------------ files

TEST(FileTest, MissingEmptyUnknownAndWriteOnlyFilesAreOneLineErrors)
{
    G3Surface s;
    std::string msg;
    const std::string missing = TempDir() + "/missing.obj";
    EXPECT_FALSE(g3io::ReadMeshFile(missing, s, msg));
    EXPECT_EQ(missing + ": cannot open: No such file or directory", msg);
    const std::string empty = TempDir() + "/empty.stl";
    std::ofstream(empty).close();
    EXPECT_FALSE(g3io::ReadMeshFile(empty, s, msg));
    EXPECT_EQ(empty + ": empty file", msg);
    EXPECT_FALSE(g3io::ReadMeshFile(Data("cube.3ds"), s, msg));
    EXPECT_NE(std::string::npos, msg.find("unknown file extension")) << msg;
    EXPECT_FALSE(g3io::ReadMeshFile(Data("scene.wrl"), s, msg));
    EXPECT_NE(std::string::npos, msg.find("cannot read VRML")) << msg;
    const std::string dir = TempDir() + "/dir.obj";
    mkdir(dir.c_str(), 0700);
    EXPECT_FALSE(g3io::ReadMeshFile(dir, s, msg));
    EXPECT_NE(std::string::npos, msg.find("cannot read")) << msg;
    EXPECT_TRUE(IsEmpty(s));
}

TEST(FileTest, EveryFormatIsWrittenWholeAndReadableFilesReadBack)
{
    G3Surface cube;
    std::string msg;
    ASSERT_TRUE(g3io::ReadMeshFile(Data("cube.obj"), cube, msg)) << msg;
    for (const char* ext : {".txt", ".obj", ".off", ".stl", ".ply", ".wrl"}) {
        const std::string path = TempDir() + "/out" + ext;
        ASSERT_TRUE(g3io::WriteMeshFile(path, cube, msg)) << msg;
        if (g3io::CanRead(g3io::FormatFromPath(path))) {
            G3Surface back;
            ASSERT_TRUE(g3io::ReadMeshFile(path, back, msg)) << msg;
            EXPECT_EQ(8, back.GetVertexCount()) << ext;
            EXPECT_TRUE(back.GetClosed()) << ext;
        } else {
            EXPECT_EQ(0u, Slurp(path).find("#VRML V2.0 utf8"));
        }
    }
    // No temporary file is left beside the targets.
    DIR* d = opendir(TempDir().c_str());
    ASSERT_NE(nullptr, d);
    while (dirent* e = readdir(d))
        EXPECT_EQ(nullptr, std::strstr(e->d_name, "g3tmp")) << e->d_name;
    closedir(d);

    // A target that cannot be written: an error naming it, no file.
    const std::string bad = TempDir() + "/no/such/dir/out.obj";
    EXPECT_FALSE(g3io::WriteMeshFile(bad, cube, msg));
    EXPECT_EQ(0u, msg.find(bad + ": cannot write: ")) << msg;
    EXPECT_FALSE(g3io::WriteMeshFile(TempDir() + "/out.3ds", cube, msg));
    EXPECT_NE(std::string::npos, msg.find("unknown file extension")) << msg;
}

TEST(FileTest, AnEmptySurfaceReadsBackEmptyFromEveryFormat)
{
    G3Surface empty;
    std::string msg;
    for (bool ascii : {false, true})
        for (const char* ext : {".txt", ".obj", ".off", ".stl", ".ply"}) {
            const std::string path = TempDir() + "/empty" + (ascii ? "_ascii" : "") + ext;
            g3io::WriteOptions options;
            options.stlAscii = options.plyAscii = ascii;
            ASSERT_TRUE(g3io::WriteMeshFile(path, empty, msg, options)) << msg;
            G3Surface back;
            EXPECT_TRUE(g3io::ReadMeshFile(path, back, msg)) << ext << ": " << msg;
            EXPECT_EQ("", msg) << ext;
            EXPECT_TRUE(IsEmpty(back)) << ext;
        }
    // Comments and skipped statements only: an empty surface as well.
    G3Surface s;
    EXPECT_TRUE(Read(g3io::ReadObj, "# nothing\no x\n", s, msg)) << msg;
    EXPECT_TRUE(IsEmpty(s));
}
