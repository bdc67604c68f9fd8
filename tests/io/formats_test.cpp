// Mesh file formats: the hand-written data files, the variants the readers
// accept, corner data, spikes and holes, malformed input of every kind; and
// random meshes, read from PLY put together by an encoder of the test's own
// (every encoding, type and skipped element), then written to every format
// and read back.

#include "Geometry/foundation/GRandom.h"
#include "Geometry/mesh/G3Edge.h"
#include "Geometry/mesh/G3Facet.h"
#include "Geometry/mesh/G3FacetIterators.h"
#include "Geometry/mesh/G3Point.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/mesh/G3Vertex.h"
#include "Geometry/processing/G3EdgeList.h"
#include "common/builders.h"
#include "mesh/mesh_check.h"
#include "tools/io/G3MeshIO.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <tuple>
#include <unistd.h>
#include <utility>
#include <vector>

namespace fs = std::filesystem;

namespace {

using testmesh::Corners;
using ReadFn = bool (*)(const char*, std::size_t, const std::string&, G3Surface&, std::string&);

std::string Data(const std::string& name) { return std::string(G3_TEST_DATA_DIR) + "/io/data/" + name; }

std::string Slurp(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

bool Read(ReadFn fn, const std::string& text, G3Surface& s, std::string& message)
{
    return fn(text.data(), text.size(), "mem", s, message);
}

bool IsEmpty(const G3Surface& s)
{
    return s.GetVertexCount() == 0 && s.GetEdgeCount() == 0 && s.GetFacetCount() == 0 &&
           s.GetNormalCount() == 0 && s.GetTexCooCount() == 0 && s.GetPolyEdgeCount() == 0;
}

// `fn` refuses `text` with a one-line message holding `expected` and
// leaves the surface empty.
void ExpectRefused(ReadFn fn, const std::string& text, const std::string& expected)
{
    G3Surface s;
    std::string msg;
    EXPECT_FALSE(Read(fn, text, s, msg)) << expected;
    EXPECT_NE(std::string::npos, msg.find(expected)) << "expected '" << expected << "', got " << msg;
    EXPECT_EQ(std::string::npos, msg.find('\n')) << msg;
    EXPECT_TRUE(IsEmpty(s)) << expected;
}

// Vertex, edge and facet counts, closedness, and the consistency check.
void ExpectCounts(G3Surface& s, int v, int e, int f, bool closed)
{
    EXPECT_EQ(v, s.GetVertexCount());
    EXPECT_EQ(e, s.GetEdgeCount());
    EXPECT_EQ(f, s.GetFacetCount());
    EXPECT_EQ(closed, s.GetClosed());
    EXPECT_EQ("", MeshCheck(&s));
}

std::vector<long> CornerIds(G3Facet* f)
{
    std::vector<long> ids;
    for (G3Vertex* v : Corners(f))
        ids.push_back(v->GetId());
    return ids;
}

bool SameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// A coordinate a format must keep bit for bit: negative zero, tiny (now and
// then denormal), huge, thirds, and few values (coincident and collinear
// points); `asFloat` keeps to what a float holds.
double AwkwardCoordinate(bool asFloat)
{
    double v;
    switch (GRand() % 6) {
    case 0: v = -0.0; break;
    case 1: v = GRand() % 8 ? (GRand() - 16384) * 1e-30 : 4.9e-324; break;
    case 2: v = (GRand() - 16384) * 1e25; break;
    case 3: v = (GRand() % 3000) / 3.0; break;
    case 4: v = 0.5 * (GRand() % 8); break;
    default: v = (GRand() - 16384) / 7.0; break;
    }
    return asFloat ? static_cast<double>(static_cast<float>(v)) : v;
}

// A directory of this process's own, removed with everything in it when
// the process ends (each test runs as a process of its own).
std::string TempDir()
{
    struct Owned {
        fs::path path;
        ~Owned()
        {
            std::error_code ignored;
            fs::remove_all(path, ignored);
        }
    };
    static const Owned dir = [] {
        const fs::path d = fs::path(::testing::TempDir()) / ("g3io_" + std::to_string(getpid()));
        fs::create_directories(d);
        return Owned{d};
    }();
    return dir.path.string();
}

using Xyz = std::array<double, 3>;

// The corner coordinates of every facet, each cycle turned to start at its
// smallest point (corners are compared by place, whatever ids they got).
std::vector<std::vector<Xyz>> FacetCycles(G3Surface& s)
{
    std::vector<std::vector<Xyz>> out;
    for (int i = 0; i < s.GetFacetCount(); ++i) {
        std::vector<Xyz> c;
        for (G3Vertex* v : Corners(s.GetFacet(i)))
            c.push_back({v->GetXYZ()[0], v->GetXYZ()[1], v->GetXYZ()[2]});
        std::rotate(c.begin(), std::min_element(c.begin(), c.end()), c.end());
        out.push_back(c);
    }
    return out;
}

// ---- a PLY encoder of the test's own

enum Enc { kAscii, kLittle, kBig };

enum TypeId { tChar, tUChar, tShort, tUShort, tInt, tUInt, tFloat, tDouble };
const char* const kTypeNames[] = {"char", "uchar", "short", "ushort", "int", "uint", "float", "double"};
const int kTypeSizes[] = {1, 1, 2, 2, 4, 4, 4, 8};

// The body of a PLY file in one encoding, value by value.
struct Encoder {
    void Value(TypeId t, double v)
    {
        if (enc == kAscii) {
            if (!text.empty() && text.back() != '\n')
                text += ' ';
            std::ostringstream os;  // whole numbers come out without a point
            os.precision(17);
            os << v;
            text += os.str();
            return;
        }
        std::uint64_t bits = 0;
        const float f = static_cast<float>(v);
        if (t == tFloat)
            std::memcpy(&bits, &f, 4);  // the low four bytes, on the little-endian hosts the tests run on
        else if (t == tDouble)
            std::memcpy(&bits, &v, 8);
        else
            bits = static_cast<std::uint64_t>(static_cast<long long>(v));
        const int size = kTypeSizes[t];
        for (int i = 0; i < size; ++i)
            text += static_cast<char>((bits >> (8 * (enc == kLittle ? i : size - 1 - i))) & 0xFF);
    }
    void EndInstance()
    {
        if (enc == kAscii)
            text += '\n';
    }

    Enc enc;
    std::string text;
};

} // namespace

TEST(FormatsTest, DataFilesReadWithTheirCounts)
{
    const struct {
        const char* file;
        int v, e, f;
        bool closed;
    } cases[] = {{"cube.obj", 8, 12, 6, true},        {"quad_pentagon.obj", 7, 8, 2, false},
                 {"colored.off", 4, 6, 4, true},      {"triangle.txt", 3, 3, 1, false},
                 {"cube_ascii.stl", 8, 18, 12, true}, {"cube_binary.stl", 8, 18, 12, true},
                 {"cube_ascii.ply", 8, 12, 6, true},  {"cube_le.ply", 8, 12, 6, true},
                 {"cube_be.ply", 8, 12, 6, true}};
    // The binary STL's header starts with "solid"; its size says binary.
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        G3Surface s;
        std::string msg = "stale";
        ASSERT_TRUE(g3io::ReadMeshFile(Data(c.file), s, msg)) << msg;
        EXPECT_EQ("", msg);
        ExpectCounts(s, c.v, c.e, c.f, c.closed);
        // Written in its own format (an ASCII file as ASCII) and read back:
        // the same facets, corners in the same places and order.
        const std::string path = TempDir() + "/again_" + c.file;
        g3io::WriteOptions options;
        options.stlAscii = options.plyAscii = std::strstr(c.file, "ascii") != nullptr;
        G3Surface back;
        ASSERT_TRUE(g3io::WriteMeshFile(path, s, msg, options)) << msg;
        ASSERT_TRUE(g3io::ReadMeshFile(path, back, msg)) << msg;
        ExpectCounts(back, c.v, c.e, c.f, c.closed);
        EXPECT_EQ(FacetCycles(s), FacetCycles(back));
    }
}

// Texts every reader takes, with the counts they give and the warning (or
// no stale message) they leave.
TEST(FormatsTest, AcceptedVariantsAndWarnings)
{
    const std::string tri = "0 0 0\n1 0 0\n0 1 0\n";
    const std::string plyHead = "ply\nformat ascii 1.0\nelement vertex 3\nproperty float x\n"
                                "property float y\nproperty float z\nelement face 1\n"
                                "property list uchar int vertex_indices\nend_header\n";
    // A binary PLY, to be read with bytes after its last element.
    const std::string binary = Slurp(Data("cube_le.ply")), end = std::to_string(binary.size());
    std::string msg;
    // The binary cube with one corner moved within the weld tolerance, and
    // a triangle without area (left out) added.
    std::string stl = Slurp(Data("cube_binary.stl"));
    float x;
    std::memcpy(&x, &stl[84 + 50 * 3 + 12], 4);
    x += 1e-7f;
    std::memcpy(&stl[84 + 50 * 3 + 12], &x, 4);
    stl[80] = 13;
    const float flat[9] = {0, 0, 0, 1, 0, 0, 1, 0, 0};
    stl += std::string(12, '\0') + std::string(reinterpret_cast<const char*>(flat), 36);
    stl += std::string(2, '\0');
    std::string shortCount = Slurp(Data("cube_binary.stl")) + "x";
    shortCount[80] = 10;
    const struct {
        ReadFn fn;
        std::string text;
        int v, e, f;
        std::string message;
    } cases[] = {
        {g3io::ReadObj, "\xEF\xBB\xBFv 0 0 0\r\nv\t1 0 0\r\nv 0 1 0 # apex\r\n\r\nf 1 2 3\r\n", 3, 3, 1, ""},
        {g3io::ReadObj, "v 0 0 0\nv 1 0 0\nv 1 1 0\nf 1 2 2 3 1\n", 3, 3, 1, ""},  // repeats dropped
        {g3io::ReadObj, "# nothing\no x\n", 0, 0, 0, ""},
        {g3io::ReadOff, "NOFF 3 1 0\n0 0 0 0 0 1\n1 0 0 0 0 1\n0 1 0 0 0 1\n3 0 1 2\n", 3, 3, 1, ""},
        {g3io::ReadOff, "OFF\n3 1 0\n" + tri + "3 0 1 2\n3 0 2 1\n3 1 0 2\n", 3, 3, 1,
         "mem:7: warning: text after the 1 announced faces is ignored"},
        {g3io::ReadStl, stl, 8, 18, 12, ""},
        // Normals are never used: any number stands, as in binary files.
        {g3io::ReadStl,
         "solid x\nfacet normal nan -inf 1e999\nouter loop\nvertex 0 0 0\nvertex 1 0 0\nvertex 0 1 0\n"
         "endloop\nendfacet\nendsolid x\n",
         3, 3, 1, ""},
        // An element without properties takes no room, whatever its count.
        {g3io::ReadPly,
         "ply\nformat binary_big_endian 1.0\nelement nothing 9223372036854775807\nelement vertex 0\n"
         "property double x\nproperty double y\nproperty double z\nend_header\n",
         0, 0, 0, ""},
        {g3io::ReadPly, plyHead + tri + "3 0 1 2\n\n3 0 2 1\n", 3, 3, 1,
         "mem:15: warning: text after the last element is ignored"},
        {g3io::ReadPly, binary + "abc", 8, 12, 6,
         "mem: byte " + end + ": warning: 3 bytes after the last element are ignored"},
        {g3io::ReadPly, "\xEF\xBB\xBF" + plyHead + tri + "3 0 1 2\n", 3, 3, 1, ""},
        // A count field two short of the triangles present (plus a stray
        // byte): the counted ten are read, the rest reported.
        {g3io::ReadStl, shortCount, 8, 17, 10,
         "mem: byte 584: warning: 101 bytes after the 10 counted triangles are ignored (2 more whole triangles)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        G3Surface s;
        msg = "stale";
        ASSERT_TRUE(Read(c.fn, c.text, s, msg)) << msg;
        EXPECT_EQ(c.message, msg);
        // Every case is a sphere (closed), a disc or nothing.
        ExpectCounts(s, c.v, c.e, c.f, c.f == 0 || c.v - c.e + c.f == 2);
    }
}

TEST(FormatsTest, ObjCornerFormsNegativeIndexesAndPolylinesRoundTrip)
{
    // Each face keeps exactly the corner data its line gave, negative
    // indexes counted back from the end; a vertex's weight and colour, and
    // a texture coordinate's third number, are dropped.
    G3Surface a, b;
    std::string msg, first, second;
    ASSERT_TRUE(Read(g3io::ReadObj, Slurp(Data("cube.obj")) + "l 1 2 3\n", a, msg)) << msg;
    ExpectCounts(a, 8, 12, 6, true);
    ASSERT_TRUE(g3io::WriteObj(a, first));
    EXPECT_NE(std::string::npos, first.find("\nv 0 0 1\nv 1 0 1\n")) << first;
    EXPECT_NE(std::string::npos, first.find("\nvt 1 1\n")) << first;
    EXPECT_NE(std::string::npos, first.find("\nvn -1 0 0\nf 1 4 3 2\nf 5/1 6/2 7/3 8/4\n"
                                            "f 1//3 2//3 6//3 5//3\nf 2/1/4 3/2/4 7/3/4 6/4/4\n"
                                            "f 3/1/5 4/2/5 8/3/5 7/4/5\nf 4 1 5 8\n"))
        << first;
    // Read back, the same text again, the polyline included.
    ASSERT_TRUE(Read(g3io::ReadObj, first, b, msg)) << msg << "\n" << first;
    EXPECT_EQ(6, b.GetNormalCount());
    EXPECT_EQ(4, b.GetTexCooCount());
    // A dump would keep neither.
    g3io::FileContents dump;
    ASSERT_TRUE(g3io::CountFileContents(b, g3io::Format::Dump, dump));
    EXPECT_EQ(0, dump.normals + dump.texCoos);
    EXPECT_EQ(1, b.GetPolyEdgeCount());
    ASSERT_TRUE(g3io::WriteObj(b, second));
    EXPECT_EQ(first, second);
}

TEST(FormatsTest, SpikesAreWrittenBackAsRead)
{
    // A face that runs out to vertex 4 and back along the same pair: the
    // chain holds two parallel edges there, and the writers must still
    // walk the corners in the order they were read.
    const std::string spike = "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 2 2 0\nf 1 2 3 4 3\nf 3 4 3 1 2\n";
    G3Surface t;
    std::string msg, obj, off;
    ASSERT_TRUE(Read(g3io::ReadObj, spike, t, msg)) << msg;
    ASSERT_TRUE(g3io::WriteObj(t, obj));
    EXPECT_NE(std::string::npos, obj.find("\nf 1 2 3 4 3\nf 3 4 3 1 2\n")) << obj;
    // OFF counts each side's vertex pair once.
    ASSERT_TRUE(g3io::WriteOff(t, off));
    EXPECT_EQ(0u, off.find("OFF\n4 2 4\n")) << off;
    EXPECT_NE(std::string::npos, off.find("\n5 0 1 2 3 2\n")) << off;

    // Two spikes out of one corner and nothing after them: the second is
    // not a contour of its own, whichever way its edge objects point, so
    // the face comes back the same after any number of round trips.
    for (const char* faces : {"f 1 4 1 2\n", "f 1 4 3 2\nf 1 4 1 2\nf 1 4 1 2\n"}) {
        std::string text = std::string("v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\n") + faces;
        for (int trip = 0; trip < 3; ++trip) {
            G3Surface u;
            ASSERT_TRUE(Read(g3io::ReadObj, text, u, msg)) << msg;
            ASSERT_TRUE(g3io::WriteObj(u, text));
            EXPECT_NE(std::string::npos, text.find(faces)) << text;
        }
    }
}

TEST(FormatsTest, FacetsWithHolesAreWrittenAsTrianglesOthersStayWhole)
{
    // A square with a square hole, and a quad beside it.
    G3Surface s;
    G3Vertex* o[4] = {s.AddVertex(0, 0, 0, 0), s.AddVertex(4, 0, 0, 0), s.AddVertex(4, 4, 0, 0),
                      s.AddVertex(0, 4, 0, 0)};
    G3Vertex* h[4] = {s.AddVertex(1, 1, 0, 0), s.AddVertex(1, 3, 0, 0), s.AddVertex(3, 3, 0, 0),
                      s.AddVertex(3, 1, 0, 0)};
    G3EdgeList list(4, h, nullptr, nullptr, nullptr, 0, 0);
    s.AddFacetEdges(s.AddFacet(4, o, 1, nullptr, nullptr), &list);
    G3Vertex* q[4] = {o[1], s.AddVertex(6, 0, 0, 0), s.AddVertex(6, 4, 0, 0), o[2]};
    s.AddFacet(4, q, 1, nullptr, nullptr);
    const int edges = s.GetEdgeCount();
    std::string obj, off, stl, msg;
    ASSERT_TRUE(g3io::WriteObj(s, obj));
    ASSERT_TRUE(g3io::WriteOff(s, off));
    ASSERT_TRUE(g3io::WriteStl(s, stl, false));
    // The surface written is left as it was.
    EXPECT_EQ(2, s.GetFacetCount());
    EXPECT_EQ(edges, s.GetEdgeCount());
    // Read back: the frame (area 12) in 8 triangles, then the quad beside
    // it (area 8), which STL too turns into two triangles.
    const std::tuple<ReadFn, std::string, int> files[] = {
        {g3io::ReadObj, obj, 9}, {g3io::ReadOff, off, 9}, {g3io::ReadStl, stl, 10}};
    for (const auto& [fn, text, facets] : files) {
        G3Surface r;
        ASSERT_TRUE(Read(fn, text, r, msg)) << msg;
        EXPECT_EQ("", MeshCheck(&r));
        EXPECT_EQ(10, r.GetVertexCount());
        ASSERT_EQ(facets, r.GetFacetCount());
        double area = 0;
        for (int i = 0; i < facets; ++i) {
            const std::vector<G3Vertex*> c = Corners(r.GetFacet(i));
            for (std::size_t k = 1; k + 1 < c.size(); ++k) {
                const double *p0 = c[0]->GetXYZ(), *p1 = c[k]->GetXYZ(), *p2 = c[k + 1]->GetXYZ();
                area += G3Facet::CalcRealSquareOfTriangle(p0, p1, p2, nullptr);
            }
        }
        EXPECT_NEAR(20.0, area, 1e-9);
    }
}

TEST(FormatsTest, AFacetWhoseChainDoesNotCloseIsNotWritten)
{
    // The chain runs 2-1, 1-2, 2-0: no polygon. The dump reader refuses
    // it (open_chain.txt, with the malformed dumps); a surface linked so in
    // memory is written without the face rather than with one that no
    // reader takes back.
    G3Surface s;
    std::string msg, obj;
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

TEST(FormatsTest, EveryReaderNamesTheLineOrOffsetAndLeavesTheSurfaceEmpty)
{
    const std::string v3 = "v 0 0 0\nv 1 0 0\nv 0 1 0\n", off3 = "OFF\n3 1 0\n0 0 0\n1 0 0\n0 1 0\n";
    // The binary cube (its header starts with "solid") cut short, the same
    // with another header, and with a coordinate not a number.
    const std::string cube = Slurp(Data("cube_binary.stl"));
    std::string nanStl = cube;
    std::memcpy(&nanStl[84 + 12 + 4], "\x00\x00\xc0\x7f", 4);
    const std::string stlHead = "solid x\nfacet normal 0 0 1\nouter loop\nvertex 0 0 0\n";
    // Edge 1's links (line 10) name a facet that does not exist.
    std::string badLink = Slurp(Data("triangle.txt"));
    badLink[badLink.find("0 -1 2 -1 -1 2")] = '7';
    const struct {
        ReadFn fn;
        std::string text;
        const char* expected;  // a substring of the message
    } cases[] = {
        {g3io::ReadObj, " \n\t\n", "mem: empty file"},
        {g3io::ReadObj, v3 + "curv 0 1 1 2\n", "mem:4: unknown keyword 'curv'"},
        {g3io::ReadObj, v3 + "f 1 2 4\n", "mem:4: vertex index 4 out of range (3 vertices)"},
        {g3io::ReadObj, v3 + "f -4 1 2\n", "mem:4: vertex index -4 out of range"},
        {g3io::ReadObj, v3 + "f -9223372036854775808 1 2\n",
         "mem:4: vertex index -9223372036854775808 out of range"},
        {g3io::ReadObj, v3 + "f 99999999999999999999 1 2\n",
         "mem:4: bad vertex index '99999999999999999999'"},
        {g3io::ReadObj, v3 + "f 1 2\n", "mem:4: face with 2 vertices"},
        {g3io::ReadObj, v3 + "f 1 2 1 2\n", "mem:4: face with fewer than 3 distinct vertices"},
        {g3io::ReadObj, v3 + "f 1//1 2//1 3//1\n", "mem:4: normal index 1 out of range (0 normals)"},
        {g3io::ReadObj, v3 + "vt 0 0\nf 1/1 2/2 3/1\n",
         "mem:5: texture coordinate index 2 out of range (1 texture coordinate)"},
        {g3io::ReadObj, v3 + "f 1 2/1 3\n", "mem:4: face mixes corner forms"},
        {g3io::ReadObj, v3 + "f 1/2/3/4 2 3\n", "mem:4: bad face corner '1/2/3/4'"},
        {g3io::ReadObj, "v 0 0 0\nv 1 abc 0\n", "mem:2: 'abc' is not a number"},
        {g3io::ReadObj, "v nan 0 0\n", "mem:1: 'nan' is not a finite number"},
        {g3io::ReadObj, "v 0 1e999 0\n", "mem:1: number '1e999' out of range"},
        {g3io::ReadObj, "v 0 1\n", "mem:1: a vertex needs 3 numbers, 2 given"},
        {g3io::ReadOff, "PLY\n", "mem:1: not an OFF file"},
        {g3io::ReadOff, "OFF\nx 1 0\n", "mem:2: bad count 'x'"},
        {g3io::ReadOff, "OFF 100000 1 0\n", "mem:1: counts exceed what the file holds"},
        {g3io::ReadOff, "OFF\n3 1 0\n0 0 0\n1 0 0\n", "mem:4: file ends after 2 of 3 vertices"},
        {g3io::ReadOff, off3 + "3 0 1 3\n", "mem:6: vertex index 3 out of range (3 vertices)"},
        {g3io::ReadOff, off3 + "4 0 1 2\n", "mem:6: face of 4 vertices lists 3 numbers"},
        {g3io::ReadOff, "OFF\n3 2 0" + off3.substr(9) + "3 0 1 2\n", "mem:6: file ends after 1 of 2 faces"},
        {g3io::ReadOff, "OFF BINARY\n", "mem:1: binary OFF is not supported"},
        {g3io::ReadStl, "test!" + cube.substr(5, 236), "mem: byte 241: file ends inside triangle 4 of 12"},
        {g3io::ReadStl, cube.substr(0, 84 + 50 * 11), "mem: byte 634: file ends inside triangle 12 of 12"},
        {g3io::ReadStl, "0123456789", "mem: byte 10: file ends inside the 84-byte binary STL header"},
        {g3io::ReadStl, nanStl, "mem: byte 100: coordinate of triangle 1 is not finite"},
        {g3io::ReadStl, "solid x\nfacet\n", "mem:2: expected 'facet normal' and three numbers"},
        {g3io::ReadStl, stlHead.substr(0, 38) + "vertex 0 x 0\n", "mem:4: 'x' is not a number"},
        {g3io::ReadStl, stlHead + "vertex 1 0 0\nendloop\n", "mem:6: expected 'vertex', found 'endloop'"},
        {g3io::ReadStl, "solid x\nfacet normal 0 0 1\n", "mem:2: file ends where 'outer loop' is expected"},
        {g3io::ReadStl, stlHead + "vertex 1 0 0\nvertex 0 1 0\nendloop\nendfacet\n",
         "mem:8: file ends inside the solid"},
        {g3io::ReadDump, "\n", "mem: empty file"},
        {g3io::ReadDump, "0 0 0\n1 0 0\n", "mem:1: not a mesh dump: the first line should be five whole numbers"},
        {g3io::ReadDump, "solid x\n", "mem:1: not a mesh dump"},
        {g3io::ReadDump, "1000 0 0 1 0\n", "mem:1: malformed dump: counts larger than the file"},
        {g3io::ReadDump, "1 0 0 1 0\n0 nan 0\n-1 -1\n", "mem:2: malformed dump: coordinate not finite"},
        {g3io::ReadDump, "6202641830156289821 0 0 1 0\nnan\n", "mem:1: malformed dump: bad integer"},
        {g3io::ReadDump, "1 0 0 1 0\n0 x 0\n0 0\n", "mem:2: malformed dump: bad number"},
        {g3io::ReadDump, "1 0 0 1 0\n0 0 0\n0      ", "mem:3: malformed dump: file ends early"},
        {g3io::ReadDump, badLink, "mem:10: malformed dump: edge facet id out of range"},
        {g3io::ReadDump, Slurp(Data("open_chain.txt")), "open contour"},
    };
    for (const auto& c : cases)
        ExpectRefused(c.fn, c.text, c.expected);
    // Nor does any reader add to a surface that is not empty.
    G3Surface s;
    s.AddVertex(0, 0, 0, 0);
    std::string msg;
    for (ReadFn fn : {g3io::ReadObj, g3io::ReadOff, g3io::ReadStl, g3io::ReadDump, g3io::ReadPly}) {
        EXPECT_FALSE(Read(fn, Slurp(Data("cube.obj")), s, msg));
        EXPECT_NE(std::string::npos, msg.find("not empty")) << msg;
        EXPECT_EQ(1, s.GetVertexCount());
    }
}

TEST(FormatsTest, FilesAndWritesThatAreRefused)
{
    G3Surface s;
    std::string msg;
    const std::string missing = TempDir() + "/missing.obj", empty = TempDir() + "/empty.stl";
    const std::string dir = TempDir() + "/dir.obj";
    std::ofstream(empty).close();
    fs::create_directories(dir);
    const std::pair<std::string, std::string> refused[] = {
        {missing, missing + ": cannot open: No such file or directory"},
        {empty, empty + ": empty file"},
        {Data("cube.3ds"), "unknown file extension"},
        {Data("scene.wrl"), "cannot read VRML"},
        {dir, "cannot read"},
    };
    for (const auto& [path, expected] : refused) {
        EXPECT_FALSE(g3io::ReadMeshFile(path, s, msg));
        EXPECT_NE(std::string::npos, msg.find(expected)) << msg;
    }
    EXPECT_TRUE(IsEmpty(s));

    // A target that cannot be written: an error naming it, no file.
    G3Surface cube;
    ASSERT_TRUE(g3io::ReadMeshFile(Data("cube.obj"), cube, msg)) << msg;
    const std::string bad = TempDir() + "/no/such/dir/out.obj";
    EXPECT_FALSE(g3io::WriteMeshFile(bad, cube, msg));
    EXPECT_EQ(0u, msg.find(bad + ": cannot write: ")) << msg;
    EXPECT_FALSE(g3io::WriteMeshFile(TempDir() + "/out.3ds", cube, msg));
    EXPECT_NE(std::string::npos, msg.find("unknown file extension")) << msg;
    // VRML is written only.
    ASSERT_TRUE(g3io::WriteMeshFile(TempDir() + "/out.wrl", cube, msg)) << msg;
    EXPECT_EQ(0u, Slurp(TempDir() + "/out.wrl").find("#VRML V2.0 utf8"));
    // Coordinates beyond float range cannot go to binary STL.
    G3Vertex* v[3] = {s.AddVertex(0, 0, 0, 0), s.AddVertex(1e300, 0, 0, 0), s.AddVertex(0, 1, 0, 0)};
    s.AddFacet(3, v, 1, nullptr, nullptr);
    std::string out;
    EXPECT_FALSE(g3io::WriteStl(s, out, false));
    EXPECT_TRUE(g3io::WriteStl(s, out, true));
    // No temporary file is left beside the targets.
    for (const auto& e : fs::directory_iterator(TempDir()))
        EXPECT_EQ(std::string::npos, e.path().filename().string().find("g3tmp")) << e.path();
}

// A dump keeps its writer's 32-bit flag words whole, scratch marks (which
// the library's pass check took for ones a pass left behind) and bit 31
// (it came back sign-extended) among them; a coordinate that is not finite is refused as by the other
// writers, the file left as it was.
TEST(FormatsTest, DumpsCarryWholeFlagWordsAndRefuseNonFiniteCoordinates)
{
    std::mt19937_64 rng(9001);
    const long marks[] = {G3Obj::FLAG_MARK, G3Obj::FLAG_MARK2, G3Obj::FLAG_MARK3, G3Obj::FLAG_MARK4};
    const std::string path = TempDir() + "/flags.txt";
    for (int round = 0; round < 30; ++round) {
        G3Surface a, b;
        testmesh::AddBox(a, {0, 0, 0}, {1.0 + round, 1, 1}, round % 2 == 1);
        std::vector<G3Obj*> objects;
        for (int i = 0; i < a.GetEdgeCount(); ++i)
            objects.push_back(a.GetEdge(i));
        for (int i = 0; i < a.GetFacetCount(); ++i)
            objects.push_back(a.GetFacet(i));
        for (G3Obj* o : objects)
            o->SetFlags(static_cast<long>(rng() % 4 == 0 ? static_cast<std::uint32_t>(rng()) : rng() % 2) | marks[rng() % 4]);
        std::string msg;
        ASSERT_TRUE(g3io::WriteMeshFile(path, a, msg)) << msg;
        ASSERT_TRUE(g3io::ReadMeshFile(path, b, msg)) << msg;
        ASSERT_EQ(a.GetEdgeCount() + a.GetFacetCount(), b.GetEdgeCount() + b.GetFacetCount());
        for (size_t i = 0; i < objects.size(); ++i) {
            const int e = static_cast<int>(i) - a.GetEdgeCount();
            EXPECT_EQ(objects[i]->GetFlags(), (e < 0 ? static_cast<G3Obj*>(b.GetEdge(static_cast<int>(i)))
                                                     : b.GetFacet(e))->GetFlags()) << round;
        }
        const std::string before = Slurp(path);
        a.GetVertex(static_cast<int>(rng() % 8))->GetXYZ()[rng() % 3] = rng() % 2 ? -HUGE_VAL : std::nan("");
        EXPECT_FALSE(g3io::WriteMeshFile(path, a, msg)) << round;
        EXPECT_NE(std::string::npos, msg.find("not finite")) << msg;
        EXPECT_EQ(before, Slurp(path));
    }
}

// Random meshes written to every text format, then edited as editors and
// other systems leave text: Windows line ends, tabs for blanks, blanks at
// line ends and blank lines, comments (where the format has them), no final
// line break, a byte order mark. Each edited file must read as the same
// mesh as the file written: its surface written again gives the same bytes.
TEST(FormatsTest, EditedTextReadsAsItsContent)
{
    const struct {
        ReadFn read;
        const char* ext;
        const char* comment;  // a comment line, or null
    } formats[] = {{g3io::ReadObj, ".obj", "# a comment, 1,5\n"},
                   {g3io::ReadOff, ".off", "  # 3 0 1 2\n"},
                   {g3io::ReadPly, "_ascii.ply", nullptr},
                   {g3io::ReadStl, "_ascii.stl", nullptr},
                   {g3io::ReadDump, ".txt", nullptr}};
    auto edit = [](const std::string& text, int how, const char* comment) {
        std::string out = how == 5 ? "\xEF\xBB\xBF" : "";
        for (std::size_t i = 0; i < text.size(); ++i) {
            const char c = text[i];
            if (how == 0 && c == '\n')
                out += "\r\n";
            else if (how == 1 && c == ' ')
                out += i % 2 ? "\t" : " \t ";
            else if (how == 2 && c == '\n')
                out += i % 3 ? " \t\n" : " \n\n";
            else if (how == 6 && c == ' ' && i % 3 == 0 && text[text.rfind('\n', i) + 1] != '#')
                out += " \\\n";
            else if (how == 3 && c == '\n' && i + 1 < text.size() && comment && i % 2)
                out += std::string("\n") + comment;
            else
                out += c;
        }
        if (how == 4)
            out.pop_back();
        return out;
    };
    GSRand(77);
    for (int round = 0; round < 12; ++round) {
        G3Surface s;
        const int nV = 4 + GRand() % 20;
        for (int i = 0; i < nV; ++i) {
            const double p[3] = {AwkwardCoordinate(true), AwkwardCoordinate(true), AwkwardCoordinate(true)};
            s.AddVertex(p[0], p[1], p[2], 0);
        }
        for (int f = GRand() % 12; f > 0; --f) {
            std::vector<int> ids = {GRand() % nV, GRand() % nV, GRand() % nV};
            if (ids[0] != ids[1] && ids[1] != ids[2] && ids[0] != ids[2])
                testmesh::FacetByIds(s, ids);
        }
        for (const auto& format : formats) {
            SCOPED_TRACE(std::string(format.ext) + " round " + std::to_string(round));
            g3io::WriteOptions options;
            options.plyAscii = options.stlAscii = true;
            const std::string path = TempDir() + "/edited" + format.ext;
            std::string msg, first, again;
            G3Surface r;
            ASSERT_TRUE(g3io::WriteMeshFile(path, s, msg, options)) << msg;
            const std::string text = Slurp(path);
            ASSERT_TRUE(Read(format.read, text, r, msg)) << msg;
            ASSERT_TRUE(g3io::WriteMeshFile(path, r, msg, options)) << msg;
            first = Slurp(path);
            // OBJ lines (but comments) may also be broken with a backslash.
            for (int how = 0; how < (format.read == g3io::ReadObj ? 7 : 6); ++how) {
                G3Surface e;
                ASSERT_TRUE(Read(format.read, edit(text, how, format.comment), e, msg)) << how << ": " << msg;
                EXPECT_EQ("", msg);
                ASSERT_TRUE(g3io::WriteMeshFile(path, e, msg, options)) << msg;
                EXPECT_EQ(first, Slurp(path)) << how;
            }
        }
    }
}

// ---- PLY from an independent encoder

// Coordinates with awkward values (shared, coincident and collinear points
// among them), faces of 3 to 9 corners with consecutive repeats (dropped on
// reading), now and then a face of 300 corners, and each seed's first mesh
// empty. What the reader gives must match what was encoded, and so must
// what each writer's file gives back; a second write is the same file.
TEST(PlyTest, RandomMeshesFromAnIndependentEncoderThroughEveryFormat)
{
    const char* const encodings[] = {"ascii", "binary_little_endian", "binary_big_endian"};
    for (unsigned seed : {3u, 11u, 500u, 65535u}) {
        GSRand(seed);
        for (int round = 0; round < 25; ++round) {
            SCOPED_TRACE("seed " + std::to_string(seed) + " round " + std::to_string(round));
            const Enc enc = static_cast<Enc>(GRand() % 3);
            const int nV = round == 0 ? 0 : 3 + GRand() % 40;
            const bool asFloat = GRand() % 2 == 0;
            std::vector<double> xyz;
            for (int i = 0; i < 3 * nV; ++i)
                xyz.push_back(AwkwardCoordinate(asFloat));
            std::vector<std::vector<int>> faces, expected;
            for (int f = nV ? GRand() % 30 : 0; f > 0; --f) {
                std::vector<int> face, kept;
                const int n = 3 + GRand() % std::min(7, nV - 2);
                while (static_cast<int>(kept.size()) < n) {
                    const int k = GRand() % nV;
                    if (std::find(kept.begin(), kept.end(), k) != kept.end())
                        continue;
                    kept.push_back(k);
                    face.push_back(k);
                    if (GRand() % 8 == 0)
                        face.push_back(k);
                }
                faces.push_back(face);
                expected.push_back(kept);
            }
            const bool big = round % 8 == 2;  // list counts wider than a byte
            if (big) {
                faces.emplace_back();
                for (int i = 0; i < 300; ++i) {
                    faces.back().push_back(static_cast<int>(xyz.size() / 3));
                    for (double c : {std::cos(i / 47.75), std::sin(i / 47.75), 5.0})
                        xyz.push_back(asFloat ? static_cast<float>(c) : c);
                }
                expected.push_back(faces.back());
            }
            const int nAll = static_cast<int>(xyz.size() / 3), nF = static_cast<int>(faces.size());
            const TypeId coord = asFloat ? tFloat : tDouble;
            const TypeId countType = big ? tShort : static_cast<TypeId>(GRand() % 6);  // any holds 3..18
            const TypeId indexType = nAll < 127 ? static_cast<TypeId>(GRand() % 6) : tInt;
            const bool extraBefore = GRand() % 2, extraBetween = GRand() % 2, extraAfter = GRand() % 2;
            const bool vertexIndex = GRand() % 2;

            std::string header = std::string("ply\nformat ") + encodings[enc] + " 1.0\ncomment random\n";
            Encoder body{enc, ""};
            auto extra = [&](const char* name, int count) {
                header += std::string("element ") + name + " " + std::to_string(count) +
                          "\nproperty ushort a\nproperty list uchar double b\nproperty char c\n";
                for (int i = 0; i < count; ++i) {
                    body.Value(tUShort, 60000);
                    const int n = GRand() % 4;
                    body.Value(tUChar, n);
                    for (int k = 0; k < n; ++k)
                        body.Value(tDouble, 0.25 * k);
                    body.Value(tChar, -5);
                    body.EndInstance();
                }
            };
            if (extraBefore)
                extra("before", 2);
            header += "element vertex " + std::to_string(nAll) + "\nproperty uchar red\n";
            const char* names[3] = {"x", "y", "z"};
            // The coordinates in a random order among other properties.
            int order[3] = {0, 1, 2};
            for (int i = 2; i > 0; --i)
                std::swap(order[i], order[GRand() % (i + 1)]);
            for (int k : order)
                header += std::string("property ") + kTypeNames[coord] + " " + names[k] + "\n";
            header += "property list uchar float uv\n";
            for (int i = 0; i < nAll; ++i) {
                body.Value(tUChar, 255);
                for (int k : order)
                    body.Value(coord, xyz[static_cast<std::size_t>(3 * i + k)]);
                body.Value(tUChar, 2);
                body.Value(tFloat, 0.5);
                body.Value(tFloat, 1.5);
                body.EndInstance();
            }
            if (extraBetween)
                extra("between", 3);
            header += "element face " + std::to_string(nF) + "\nproperty short tag\nproperty list " +
                      kTypeNames[countType] + " " + kTypeNames[indexType] + " " +
                      (vertexIndex ? "vertex_index" : "vertex_indices") + "\n";
            for (const auto& face : faces) {
                body.Value(tShort, -2);
                body.Value(countType, static_cast<double>(face.size()));
                for (int k : face)
                    body.Value(indexType, k);
                body.EndInstance();
            }
            if (extraAfter)
                extra("after", 1);
            header += "end_header\n";

            // `r` holds what was encoded, every format keeping the bits.
            auto expect = [&](G3Surface& r) {
                EXPECT_EQ("", MeshCheck(&r));
                ASSERT_EQ(nAll, r.GetVertexCount());
                for (int i = 0; i < nAll; ++i)
                    for (int k = 0; k < 3; ++k) {
                        const double a = xyz[static_cast<std::size_t>(3 * i + k)];
                        const double b = r.GetVertex(i)->GetXYZ()[k];
                        ASSERT_TRUE(SameBits(a, b)) << i << ": " << a;
                    }
                ASSERT_EQ(nF, r.GetFacetCount());
                for (int f = 0; f < nF; ++f) {
                    const std::vector<int>& e = expected[static_cast<std::size_t>(f)];
                    EXPECT_EQ(CornerIds(r.GetFacet(f)), std::vector<long>(e.begin(), e.end())) << f;
                }
            };
            G3Surface s;
            std::string message = "stale";
            ASSERT_TRUE(Read(g3io::ReadPly, header + body.text, s, message)) << message;
            EXPECT_EQ("", message);
            expect(s);
            if (round % 2)  // every other mesh goes through the writers
                continue;
            for (const char* ext : {".obj", ".off", ".txt", ".ply", "_ascii.ply"}) {
                SCOPED_TRACE(ext);
                g3io::WriteOptions options;
                options.plyAscii = ext[1] == 'a';
                const std::string path = TempDir() + "/once" + ext, again = TempDir() + "/again" + ext;
                G3Surface r;
                ASSERT_TRUE(g3io::WriteMeshFile(path, s, message, options)) << message;
                ASSERT_TRUE(g3io::ReadMeshFile(path, r, message)) << message;
                EXPECT_EQ("", message);
                expect(r);
                EXPECT_EQ(s.GetEdgeCount(), r.GetEdgeCount());
                ASSERT_TRUE(g3io::WriteMeshFile(again, r, message, options)) << message;
                EXPECT_EQ(Slurp(path), Slurp(again));
            }
        }
    }
}

TEST(PlyTest, MalformedInputIsRefusedNamingTheLineOrByte)
{
    const std::string a = "ply\nformat ascii 1.0\n", e = "end_header\n";
    const std::string xyz = "property float x\nproperty float y\nproperty float z\n";
    const std::string list = "property list uchar int vertex_indices\n";
    const std::string head = a + "element vertex 3\n" + xyz + "element face 1\n" + list + e;
    const std::string verts = "0 0 0\n1 0 0\n0 1 0\n";
    const std::string binHead =
        "ply\nformat binary_little_endian 1.0\nelement vertex 3\n" + xyz + "element face 1\n" + list + e;
    // Little-endian values, as the hosts the tests run on hold them.
    auto bytes = [](auto... values) {
        std::string out;
        for (auto v : {values...})
            out.append(reinterpret_cast<const char*>(&v), sizeof v);
        return out;
    };
    const std::string binVerts = bytes(0.f, 0.f, 0.f, 1.f, 0.f, 0.f, 0.f, 1.f, 0.f);
    auto at = [&](std::size_t k) { return "mem: byte " + std::to_string(binHead.size() + k); };
    const struct {
        std::string text;
        std::string expected;
    } cases[] = {
        {"", "mem: empty file"},
        {"solid x\n", "mem:1: not a PLY file (first line 'solid x')"},
        {a, "mem:2: header ends without 'end_header'"},
        {"ply\nformat binary_middle_endian 1.0\n" + e, "mem:2: unknown format 'binary_middle_endian'"},
        {"ply\nformat ascii 2.0\n" + e, "mem:2: unsupported PLY version '2.0'"},
        {"ply\nelement vertex 1\n" + e, "mem:2: 'element' before the 'format' line"},
        {a + "property float x\n" + e, "mem:3: property before any element"},
        {a + "element vertex -1\n" + e, "mem:3: bad element count '-1'"},
        {a + "element vertex 1\nproperty float128 x\n" + e, "mem:4: unknown property type 'float128'"},
        {a + "element face 1\nproperty list float int vertex_indices\n" + e,
         "mem:4: list count type 'float' is not an integer type"},
        {a + "element vertex 1\nproperty float x\nproperty float y\n" + e + "0 0\n",
         "mem:3: vertex element has no property 'z'"},
        {a + "element vertex 0\n" + xyz + "element face 0\nproperty list uchar float vertex_indices\n" + e,
         "mem:7: 'vertex_indices' is not a list of integers"},
        {a + "element face 1\n" + list + e + "3 0 1 2\n", "mem:3: face element before the vertex element"},
        {a + "foo bar\n" + e, "mem:3: unknown header keyword 'foo'"},
        {a + "element thing 1\nproperty list char int values\n" + e + "-1\n",
         "mem:6: negative list length -1 in element 'thing' 1 of 1"},
        {a + "element vertex 9223372036854775807\n" + xyz + e,
         "mem:3: too many vertices (9223372036854775807) for one mesh"},
        {a + "element blob 1000000\nproperty float w\n" + e + "0\n",
         "mem:3: element 'blob' count 1000000 exceeds what the file holds"},
        {"ply\nformat binary_little_endian 1.0\nelement blob 4611686018427387904\nproperty double w\n" + e +
             "12345678",
         "mem:3: element 'blob' count 4611686018427387904 exceeds what the file holds"},
        {head + "0 0 0\n1 nan 0\n0 1 0\n3 0 1 2\n", "mem:11: 'nan' is not a finite number"},
        {head + verts + "3 0 1 3\n", "mem:13: vertex index 3 out of range (3 vertices)"},
        {head + verts + "3 0 -1 2\n", "mem:13: vertex index -1 out of range (3 vertices)"},
        {head + verts + "3 0 1 x\n", "mem:13: 'x' is not an integer"},
        {head + verts + "2 0 1\n", "mem:13: face with 2 vertices (at least 3 needed)"},
        {head + verts + "3 0 1 0\n", "mem:13: face with fewer than 3 distinct vertices"},
        {head + verts + "4 0 1 2\n", "mem:13: file ends inside face 1 of 1"},
        {binHead + binVerts + "\x05" + bytes(0, 1, 2), at(49) + ": file ends inside face 1 of 1"},
        {binHead + bytes(0.f, 0.f, 0.f, 1.f, 0.f, NAN, 0.f, 1.f, 0.f) + "\x03" + bytes(0, 1, 2),
         at(20) + ": 'float' value is not finite"},
    };
    for (const auto& c : cases)
        ExpectRefused(g3io::ReadPly, c.text, c.expected);
}

