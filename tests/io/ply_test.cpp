// Random meshes, read from PLY put together by an encoder of the test's own
// (every encoding, type and skipped element), then written to every format
// and read back; and malformed PLY.

#include "tests/io/io_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

using namespace iotest;

namespace {

enum Enc { kAscii, kLittle, kBig };

struct TypeInfo {
    const char* name;
    int size;
};
const TypeInfo kTypes[] = {{"char", 1}, {"uchar", 1}, {"short", 2}, {"ushort", 2},
                           {"int", 4},  {"uint", 4},  {"float", 4}, {"double", 8}};
enum TypeId { tChar, tUChar, tShort, tUShort, tInt, tUInt, tFloat, tDouble };

// The body of a PLY file in one encoding, value by value.
struct Encoder {
    void Value(TypeId t, double v)
    {
        const TypeInfo& ti = kTypes[t];
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
        for (int i = 0; i < ti.size; ++i)
            text += static_cast<char>((bits >> (8 * (enc == kLittle ? i : ti.size - 1 - i))) & 0xFF);
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

// Coordinates with awkward values (shared, coincident and collinear points
// among them), faces of 3 to 9 corners with consecutive repeats (dropped on
// reading), now and then a face of 300 corners, and each seed's first mesh
// empty. What the reader gives must match what was encoded, and so must
// what each writer's file gives back; a second write is the same file.
TEST(PlyTest, RandomMeshesFromAnIndependentEncoderThroughEveryFormat)
{
    const char* const encodings[] = {"ascii", "binary_little_endian", "binary_big_endian"};
    const std::string dir =
        (std::filesystem::path(::testing::TempDir()) / ("g3ply_" + std::to_string(getpid()))).string();
    std::filesystem::create_directories(dir);
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
                header += std::string("property ") + kTypes[coord].name + " " + names[k] + "\n";
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

            // `r` holds what was encoded; the dump keeps 20 decimals only.
            auto expect = [&](G3Surface& r, bool dump) {
                EXPECT_EQ("", MeshCheck(&r));
                ASSERT_EQ(nAll, r.GetVertexCount());
                for (int i = 0; i < nAll; ++i)
                    for (int k = 0; k < 3; ++k) {
                        const double a = xyz[static_cast<std::size_t>(3 * i + k)];
                        const double b = r.GetVertex(i)->GetXYZ()[k];
                        ASSERT_TRUE(SameBits(a, b) || (dump && std::fabs(a - b) < 1e-20)) << i << ": " << a;
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
            expect(s, false);
            if (round % 2)  // every other mesh goes through the writers
                continue;
            for (const char* ext : {".obj", ".off", ".txt", ".ply", "_ascii.ply"}) {
                SCOPED_TRACE(ext);
                g3io::WriteOptions options;
                options.plyAscii = ext[1] == 'a';
                const std::string path = dir + "/once" + ext, again = dir + "/again" + ext;
                G3Surface r;
                ASSERT_TRUE(g3io::WriteMeshFile(path, s, message, options)) << message;
                ASSERT_TRUE(g3io::ReadMeshFile(path, r, message)) << message;
                EXPECT_EQ("", message);
                expect(r, ext[1] == 't');
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
        {head + "0.000 0.000 0.000\n1.000 0 0\n", "mem:11: file ends inside vertex 3 of 3"},
        {head + "0 0 0\n1 nan 0\n0 1 0\n3 0 1 2\n", "mem:11: 'nan' is not a finite number"},
        {head + verts + "3 0 1 3\n", "mem:13: vertex index 3 out of range (3 vertices)"},
        {head + verts + "3 0 -1 2\n", "mem:13: vertex index -1 out of range (3 vertices)"},
        {head + verts + "3 0 1 x\n", "mem:13: 'x' is not an integer"},
        {head + verts + "2 0 1\n", "mem:13: face with 2 vertices (at least 3 needed)"},
        {head + verts + "3 0 1 0\n", "mem:13: face with fewer than 3 distinct vertices"},
        {head + verts + "4 0 1 2\n", "mem:13: file ends inside face 1 of 1"},
        {binHead + binVerts.substr(0, 30), "mem:3: element 'vertex' count 3 exceeds what the file holds"},
        {binHead + binVerts + "\x05" + bytes(0, 1, 2), at(49) + ": file ends inside face 1 of 1"},
        {binHead + bytes(0.f, 0.f, 0.f, 1.f, 0.f, NAN, 0.f, 1.f, 0.f) + "\x03" + bytes(0, 1, 2),
         at(20) + ": 'float' value is not finite"},
        {binHead + binVerts + "\x03" + bytes(0, 1, 7), at(45) + ": vertex index 7 out of range (3 vertices)"},
        {binHead + binVerts + "\x03" + bytes(0, 1), at(45) + ": file ends inside face 1 of 1"},
    };
    for (const auto& c : cases) {
        G3Surface s;
        std::string message;
        EXPECT_FALSE(Read(g3io::ReadPly, c.text, s, message)) << c.expected;
        EXPECT_EQ(c.expected, message.substr(0, c.expected.size())) << "got '" << message << "'";
        EXPECT_EQ(std::string::npos, message.find('\n')) << message;
        EXPECT_TRUE(IsEmpty(s)) << c.expected;
    }
}

