// PLY: the hand-encoded cube in all three encodings, round trips that keep
// the coordinates' bits, random meshes through an encoder of the test's
// own (every encoding, type and skipped element), and malformed input.

#include "Geometry/foundation/GRandom.h"
#include "Geometry/mesh/G3Facet.h"
#include "Geometry/mesh/G3FacetIterators.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/mesh/G3Vertex.h"
#include "Geometry/processing/G3EdgeList.h"
#include "mesh/mesh_check.h"
#include "tools/io/G3MeshIO.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::string Slurp(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

std::string Data(const std::string& name) { return std::string(G3_TEST_DATA_DIR) + "/io/data/" + name; }

bool ReadText(const std::string& text, G3Surface& s, std::string& message)
{
    return g3io::ReadPly(text.data(), text.size(), "mem", s, message);
}

bool Empty(const G3Surface& s)
{
    return s.GetVertexCount() == 0 && s.GetEdgeCount() == 0 && s.GetFacetCount() == 0;
}

// Vertex ids of f's corners in chain order.
std::vector<long> CornerIds(G3Facet* f)
{
    std::vector<long> ids;
    G3FacetVertexIterator it(f);
    while (it.hasNext())
        ids.push_back(static_cast<G3Vertex*>(it.next())->GetId());
    return ids;
}

// `a` equals `b` turned to start elsewhere.
bool SameCycle(const std::vector<long>& a, const std::vector<long>& b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t shift = 0; shift < a.size(); ++shift) {
        bool same = true;
        for (std::size_t i = 0; i < a.size() && same; ++i)
            same = a[(i + shift) % a.size()] == b[i];
        if (same)
            return true;
    }
    return a.empty();
}

bool SameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// ------------------------------------------------------------ an encoder of the test's own

enum Enc { kAscii, kLittle, kBig };

struct TypeInfo {
    const char* name;
    int size;
    bool isFloat;
    bool isSigned;
};
const TypeInfo kTypes[] = {{"char", 1, false, true},    {"uchar", 1, false, false}, {"short", 2, false, true},
                           {"ushort", 2, false, false}, {"int", 4, false, true},    {"uint", 4, false, false},
                           {"float", 4, true, true},    {"double", 8, true, true}};
enum TypeId { tChar, tUChar, tShort, tUShort, tInt, tUInt, tFloat, tDouble };

class Encoder {
public:
    explicit Encoder(Enc e) : enc(e) {}

    void Value(TypeId t, double v)
    {
        const TypeInfo& ti = kTypes[t];
        if (enc == kAscii) {
            if (!text.empty() && text.back() != '\n')
                text += ' ';
            std::ostringstream os;
            os.precision(17);
            if (ti.isFloat)
                os << v;
            else
                os << static_cast<long long>(v);
            text += os.str();
            return;
        }
        std::uint64_t bits = 0;
        if (t == tFloat) {
            const float f = static_cast<float>(v);
            std::uint32_t b;
            std::memcpy(&b, &f, 4);
            bits = b;
        } else if (t == tDouble) {
            std::memcpy(&bits, &v, 8);
        } else {
            bits = static_cast<std::uint64_t>(static_cast<long long>(v));
        }
        for (int i = 0; i < ti.size; ++i) {
            const int k = enc == kLittle ? i : ti.size - 1 - i;
            text += static_cast<char>((bits >> (8 * k)) & 0xFF);
        }
    }
    void EndInstance()
    {
        if (enc == kAscii)
            text += '\n';
    }

    Enc enc;
    std::string text;
};

const char* FormatLine(Enc e)
{
    return e == kAscii ? "format ascii 1.0\n" : e == kLittle ? "format binary_little_endian 1.0\n"
                                                             : "format binary_big_endian 1.0\n";
}

// A coordinate the chosen type holds exactly: awkward values included
// (negative zero, tiny, huge, thirds, points along one line).
double RandomCoordinate(bool asFloat)
{
    double v;
    switch (GRand() % 6) {
    case 0: v = -0.0; break;
    case 1: v = (GRand() - 16384) * 1e-30; break;
    case 2: v = (GRand() - 16384) * 1e25; break;
    case 3: v = (GRand() % 3000) / 3.0; break;
    case 4: v = 0.5 * (GRand() % 8); break;  // few values: collinear and coincident points
    default: v = (GRand() - 16384) / 7.0; break;
    }
    return asFloat ? static_cast<double>(static_cast<float>(v)) : v;
}

} // namespace

TEST(PlyTest, HandEncodedCubeReadsTheSameInAllThreeEncodings)
{
    const double expected[8][3] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0},
                                   {0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}};
    for (const char* file : {"cube_ascii.ply", "cube_le.ply", "cube_be.ply"}) {
        const std::string text = Slurp(Data(file));
        ASSERT_FALSE(text.empty()) << file;
        G3Surface s;
        std::string message;
        ASSERT_TRUE(ReadText(text, s, message)) << message;
        EXPECT_EQ("", message) << file;
        EXPECT_EQ(8, s.GetVertexCount()) << file;
        EXPECT_EQ(6, s.GetFacetCount()) << file;
        EXPECT_EQ(12, s.GetEdgeCount()) << file;
        EXPECT_TRUE(s.GetClosed()) << file;
        EXPECT_EQ("", MeshCheck(&s)) << file;
        for (int i = 0; i < 8; ++i)
            for (int k = 0; k < 3; ++k)
                EXPECT_EQ(expected[i][k], s.GetVertex(i)->GetXYZ()[k]) << file;
        for (int i = 0; i < 6; ++i)
            EXPECT_EQ(4, s.GetFacet(i)->GetEdgeCount()) << file;
        EXPECT_TRUE(SameCycle(CornerIds(s.GetFacet(0)), {0, 3, 2, 1})) << file;
    }
}

TEST(PlyTest, AsciiBinaryAsciiRoundTripKeepsTopologyBitsAndText)
{
    G3Surface s;
    const double awkward[] = {0.1, 1.0 / 3.0, -0.0, 4.9e-324, 1.5e15, -7.25e-5, 2.0 / 3.0, 123456789.123456789};
    std::vector<G3Vertex*> v;
    for (int i = 0; i < 8; ++i)
        v.push_back(s.AddVertex(awkward[i], awkward[(i + 3) % 8], awkward[(i + 5) % 8], 0));
    G3Vertex* tri[3] = {v[0], v[1], v[2]};
    G3Vertex* quad[4] = {v[0], v[2], v[3], v[4]};
    G3Vertex* five[5] = {v[4], v[3], v[5], v[6], v[7]};
    ASSERT_NE(nullptr, s.AddFacet(3, tri, 1, nullptr, nullptr));
    ASSERT_NE(nullptr, s.AddFacet(4, quad, 1, nullptr, nullptr));
    ASSERT_NE(nullptr, s.AddFacet(5, five, 1, nullptr, nullptr));
    // A polygon of 300 corners needs counts wider than a byte.
    std::vector<G3Vertex*> ring;
    for (int i = 0; i < 300; ++i) {
        const double a = 2.0 * 3.14159265358979 * i / 300;
        ring.push_back(s.AddVertex(std::cos(a), std::sin(a), 5.0, 0));
    }
    ASSERT_NE(nullptr, s.AddFacet(300, ring.data(), 1, nullptr, nullptr));
    ASSERT_EQ("", MeshCheck(&s));

    std::string ascii, binary, ascii2, binary2;
    ASSERT_TRUE(g3io::WritePly(s, ascii, true));
    EXPECT_NE(std::string::npos, ascii.find("property list int int vertex_indices"));
    G3Surface a;
    std::string message;
    ASSERT_TRUE(ReadText(ascii, a, message)) << message;
    ASSERT_TRUE(g3io::WritePly(a, binary, false));
    G3Surface b;
    ASSERT_TRUE(ReadText(binary, b, message)) << message;
    ASSERT_TRUE(g3io::WritePly(b, ascii2, true));
    ASSERT_TRUE(g3io::WritePly(b, binary2, false));
    EXPECT_EQ(ascii, ascii2);
    EXPECT_EQ(binary, binary2);
    for (G3Surface* r : {&a, &b}) {
        EXPECT_EQ("", MeshCheck(r));
        ASSERT_EQ(s.GetVertexCount(), r->GetVertexCount());
        ASSERT_EQ(s.GetFacetCount(), r->GetFacetCount());
        EXPECT_EQ(s.GetEdgeCount(), r->GetEdgeCount());
        for (int i = 0; i < s.GetVertexCount(); ++i)
            for (int k = 0; k < 3; ++k)
                EXPECT_TRUE(SameBits(s.GetVertex(i)->GetXYZ()[k], r->GetVertex(i)->GetXYZ()[k])) << i << " " << k;
        for (int i = 0; i < s.GetFacetCount(); ++i)
            EXPECT_TRUE(SameCycle(CornerIds(s.GetFacet(i)), CornerIds(r->GetFacet(i)))) << i;
    }

    // Small polygons only: byte counts.
    G3Surface small;
    ASSERT_TRUE(ReadText(Slurp(Data("cube_ascii.ply")), small, message));
    std::string out;
    ASSERT_TRUE(g3io::WritePly(small, out, false));
    EXPECT_NE(std::string::npos, out.find("property list uchar int vertex_indices"));
    EXPECT_EQ(0u, out.find("ply\nformat binary_little_endian 1.0\n"));
}

TEST(PlyTest, RandomMeshesThroughAnIndependentEncoderReadBackExactly)
{
    for (unsigned seed : {3u, 11u, 500u, 65535u}) {
        GSRand(seed);
        for (int round = 0; round < 25; ++round) {
            const Enc enc = static_cast<Enc>(GRand() % 3);
            const int nV = 3 + GRand() % 40;
            const bool asFloat = GRand() % 2 == 0;
            std::vector<double> xyz;
            for (int i = 0; i < 3 * nV; ++i)
                xyz.push_back(RandomCoordinate(asFloat));
            // Faces of 3 to 9 corners, some with consecutive repeats (dropped
            // on reading) and sharing vertices freely.
            std::vector<std::vector<int>> faces, expected;
            const int nF = GRand() % 30;
            for (int f = 0; f < nF; ++f) {
                std::vector<int> face, kept;
                const int n = 3 + GRand() % std::min(7, nV - 2);
                std::vector<char> used(static_cast<std::size_t>(nV), 0);
                while (static_cast<int>(kept.size()) < n) {
                    const int k = GRand() % nV;
                    if (used[static_cast<std::size_t>(k)])
                        continue;
                    used[static_cast<std::size_t>(k)] = 1;
                    kept.push_back(k);
                    face.push_back(k);
                    if (GRand() % 8 == 0)
                        face.push_back(k);
                }
                faces.push_back(face);
                expected.push_back(kept);
            }
            const TypeId coord = asFloat ? tFloat : tDouble;
            const TypeId countType = static_cast<TypeId>(GRand() % 6);  // any integer type holds 3..18
            const TypeId indexType = nV < 127 ? static_cast<TypeId>(GRand() % 6) : tInt;
            const bool extraBefore = GRand() % 2, extraBetween = GRand() % 2, extraAfter = GRand() % 2;
            const bool vertexIndex = GRand() % 2;

            std::string header = std::string("ply\n") + FormatLine(enc) + "comment random\n";
            Encoder body(enc);
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
            header += "element vertex " + std::to_string(nV) + "\nproperty uchar red\n";
            const char* names[3] = {"x", "y", "z"};
            // The coordinates in a random order among other properties.
            int order[3] = {0, 1, 2};
            for (int i = 2; i > 0; --i)
                std::swap(order[i], order[GRand() % (i + 1)]);
            for (int k : order)
                header += std::string("property ") + kTypes[coord].name + " " + names[k] + "\n";
            header += "property list uchar float uv\n";
            for (int i = 0; i < nV; ++i) {
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
                      kTypes[countType].name + " " + kTypes[indexType].name + " " +
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
            const std::string text = header + body.text;

            G3Surface s;
            std::string message;
            ASSERT_TRUE(ReadText(text, s, message)) << message << " seed " << seed << " round " << round;
            EXPECT_EQ("", message);
            EXPECT_EQ("", MeshCheck(&s));
            ASSERT_EQ(nV, s.GetVertexCount());
            for (int i = 0; i < nV; ++i)
                for (int k = 0; k < 3; ++k)
                    ASSERT_TRUE(SameBits(xyz[static_cast<std::size_t>(3 * i + k)], s.GetVertex(i)->GetXYZ()[k]))
                        << "seed " << seed << " round " << round << " vertex " << i;
            ASSERT_EQ(nF, s.GetFacetCount()) << "seed " << seed << " round " << round;
            for (int f = 0; f < nF; ++f) {
                const std::vector<int>& e = expected[static_cast<std::size_t>(f)];
                EXPECT_TRUE(SameCycle(CornerIds(s.GetFacet(f)), std::vector<long>(e.begin(), e.end())))
                    << "seed " << seed << " round " << round << " face " << f;
            }
        }
    }
}

TEST(PlyTest, MalformedInputIsRefusedNamingTheLineOrByte)
{
    const std::string head = "ply\nformat ascii 1.0\nelement vertex 3\nproperty float x\nproperty float y\n"
                             "property float z\nelement face 1\nproperty list uchar int vertex_indices\nend_header\n";
    const std::string verts = "0 0 0\n1 0 0\n0 1 0\n";
    const std::string binHead = "ply\nformat binary_little_endian 1.0\nelement vertex 3\nproperty float x\n"
                                "property float y\nproperty float z\nelement face 1\n"
                                "property list uchar int vertex_indices\nend_header\n";
    auto floats = [](std::initializer_list<float> fs) {
        std::string out;
        for (float f : fs)
            out.append(reinterpret_cast<const char*>(&f), 4);  // tests run on little-endian hosts
        return out;
    };
    auto ints = [](std::initializer_list<std::int32_t> is) {
        std::string out;
        for (std::int32_t i : is)
            out.append(reinterpret_cast<const char*>(&i), 4);
        return out;
    };
    const std::string binVerts = floats({0, 0, 0, 1, 0, 0, 0, 1, 0});
    const std::size_t bodyAt = binHead.size();
    const struct {
        std::string text;
        std::string expected;
    } cases[] = {
        {"", "mem: empty file"},
        {"  \n", "mem: empty file"},
        {"solid x\n", "mem:1: not a PLY file (first line 'solid x')"},
        {"ply\nformat ascii 1.0\n", "mem:2: header ends without 'end_header'"},
        {"ply\nformat binary_middle_endian 1.0\nend_header\n", "mem:2: unknown format 'binary_middle_endian'"},
        {"ply\nformat ascii 2.0\nend_header\n", "mem:2: unsupported PLY version '2.0'"},
        {"ply\nelement vertex 1\nend_header\n", "mem:2: 'element' before the 'format' line"},
        {"ply\nformat ascii 1.0\nproperty float x\nend_header\n", "mem:3: property before any element"},
        {"ply\nformat ascii 1.0\nelement vertex -1\nend_header\n", "mem:3: bad element count '-1'"},
        {"ply\nformat ascii 1.0\nelement vertex 1\nproperty float128 x\nend_header\n",
         "mem:4: unknown property type 'float128'"},
        {"ply\nformat ascii 1.0\nelement face 1\nproperty list float int vertex_indices\nend_header\n",
         "mem:4: list count type 'float' is not an integer type"},
        {"ply\nformat ascii 1.0\nelement vertex 1\nproperty float x\nproperty float y\nend_header\n0 0\n",
         "mem:3: vertex element has no property 'z'"},
        {"ply\nformat ascii 1.0\nelement vertex 0\nproperty float x\nproperty float y\nproperty float z\n"
         "element face 0\nproperty list uchar float vertex_indices\nend_header\n",
         "mem:7: 'vertex_indices' is not a list of integers"},
        {"ply\nformat ascii 1.0\nelement face 1\nproperty list uchar int vertex_indices\nend_header\n3 0 1 2\n",
         "mem:3: face element before the vertex element"},
        {"ply\nformat ascii 1.0\nfoo bar\nend_header\n", "mem:3: unknown header keyword 'foo'"},
        {"ply\nformat ascii 1.0\nelement vertex 9223372036854775807\nproperty float x\nproperty float y\n"
         "property float z\nend_header\n",
         "mem:3: too many vertices (9223372036854775807) for one mesh"},
        {"ply\nformat ascii 1.0\nelement blob 1000000\nproperty float w\nend_header\n0\n",
         "mem:3: element 'blob' count 1000000 exceeds what the file holds"},
        {"ply\nformat binary_little_endian 1.0\nelement blob 4611686018427387904\nproperty double w\n"
         "end_header\n12345678",
         "mem:3: element 'blob' count 4611686018427387904 exceeds what the file holds"},
        {head + "0.000 0.000 0.000\n1.000 0 0\n", "mem:11: file ends inside vertex 3 of 3"},
        {head + "0 0 0\n1 0 0\n", "mem:3: element 'vertex' count 3 exceeds what the file holds"},
        {head + "0 0 0\n1 nan 0\n0 1 0\n3 0 1 2\n", "mem:11: 'nan' is not a finite number"},
        {head + verts + "3 0 1 3\n", "mem:13: vertex index 3 out of range (3 vertices)"},
        {head + verts + "3 0 -1 2\n", "mem:13: vertex index -1 out of range (3 vertices)"},
        {head + verts + "3 0 1 x\n", "mem:13: 'x' is not an integer"},
        {head + verts + "2 0 1\n", "mem:13: face with 2 vertices (at least 3 needed)"},
        {head + verts + "3 0 1 0\n", "mem:13: face with fewer than 3 distinct vertices"},
        {head + verts + "4 0 1 2\n", "mem:13: file ends inside face 1 of 1"},
        {binHead + binVerts.substr(0, 30), "mem:3: element 'vertex' count 3 exceeds what the file holds"},
        {binHead + binVerts + "\x05" + ints({0, 1, 2}),
         "mem: byte " + std::to_string(bodyAt + 49) + ": file ends inside face 1 of 1"},
        {binHead + floats({0, 0, 0, 1, 0, NAN, 0, 1, 0}) + "\x03" + ints({0, 1, 2}),
         "mem: byte " + std::to_string(bodyAt + 20) + ": 'float' value is not finite"},
        {binHead + binVerts + "\x03" + ints({0, 1, 7}),
         "mem: byte " + std::to_string(bodyAt + 45) + ": vertex index 7 out of range (3 vertices)"},
        {binHead + binVerts + "\x03" + ints({0, 1}),
         "mem: byte " + std::to_string(bodyAt + 45) + ": file ends inside face 1 of 1"},
    };
    for (const auto& c : cases) {
        G3Surface s;
        std::string message;
        EXPECT_FALSE(ReadText(c.text, s, message)) << c.expected;
        EXPECT_EQ(c.expected, message.substr(0, c.expected.size())) << "got '" << message << "'";
        EXPECT_EQ(std::string::npos, message.find('\n')) << message;
        EXPECT_TRUE(Empty(s)) << c.expected;
    }
}

TEST(PlyTest, SkippedElementsTrailingDataAndNegativeListLengths)
{
    // An element without properties takes no room, whatever its count.
    const std::string hollow = "ply\nformat binary_big_endian 1.0\nelement nothing 9223372036854775807\n"
                               "element vertex 0\nproperty double x\nproperty double y\nproperty double z\n"
                               "end_header\n";
    G3Surface s;
    std::string message;
    EXPECT_TRUE(ReadText(hollow, s, message)) << message;
    EXPECT_TRUE(Empty(s));

    // Whatever follows the last element is left with a warning.
    const std::string ascii = "ply\nformat ascii 1.0\nelement vertex 3\nproperty float x\nproperty float y\n"
                              "property float z\nelement face 1\nproperty list uchar int vertex_indices\n"
                              "end_header\n0 0 0\n1 0 0\n0 1 0\n3 0 1 2\n\n3 0 2 1\n";
    G3Surface a;
    EXPECT_TRUE(ReadText(ascii, a, message));
    EXPECT_EQ("mem:15: warning: text after the last element is ignored", message);
    EXPECT_EQ(1, a.GetFacetCount());
    std::string binary;
    ASSERT_TRUE(g3io::WritePly(a, binary, false));
    const std::size_t end = binary.size();
    binary += "abc";
    G3Surface b;
    EXPECT_TRUE(ReadText(binary, b, message));
    EXPECT_EQ("mem: byte " + std::to_string(end) + ": warning: 3 bytes after the last element are ignored", message);
    EXPECT_EQ(1, b.GetFacetCount());

    // A signed list count below zero in a skipped list.
    const std::string negative = "ply\nformat ascii 1.0\nelement thing 1\nproperty list char int values\n"
                                 "end_header\n-1\n";
    G3Surface n;
    EXPECT_FALSE(ReadText(negative, n, message));
    EXPECT_EQ("mem:6: negative list length -1 in element 'thing' 1 of 1", message);
}
