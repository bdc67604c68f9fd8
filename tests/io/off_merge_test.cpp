// The OFF reader's merged build against the plain one, and the OFF file
// reader and writer (which work in pieces) against the in-memory ones.
//
// Random soups with fixed seeds, with the defects a repair meets (points a
// hair apart, vertex lines no face uses, points on other faces' edges,
// flat and repeated faces, three faces on one side, signed zeros), and in
// families whose repeated points are only near-equal (a few ulps apart,
// jittered well within the welding distance or up to it, chains of points
// each within the distance of the next): read
// merged and read plain, then welded, then through the repair passes,
// the two must write the same OFF text, and the merged surface must pass
// the mesh check after every pass.

#include "Geometry/math/GTolerance.h"
#include "Geometry/mesh/G3Surface.h"
#include "mesh/mesh_check.h"
#include "tools/io/G3MeshIO.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// A random soup as an OFF text: a bumpy sheet of nx by ny cells, each one
// quad or two triangles, its faces shuffled and some turned round, each
// face's corners on vertex lines of their own or shared with the previous
// face; then the defects that `seed` picks. Each vertex line is moved by
// the jitter of `family`:
enum Jitter { kExact, kUlps, kWellWithin, kUpToTheDistance, kChains, kFamilies };

std::string RandomSoup(unsigned seed, int& defects, Jitter family = kExact)
{
    std::mt19937 rng(seed);
    auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    const int nx = 2 + pick(5), ny = 2 + pick(4);
    std::vector<std::array<double, 3>> grid;
    for (int j = 0; j <= ny; ++j)
        for (int i = 0; i <= nx; ++i)
            grid.push_back({0.5 * i, 0.5 * j, 0.1 * pick(5)});
    auto at = [&](int i, int j) { return static_cast<std::size_t>(j * (nx + 1) + i); };
    std::vector<std::vector<std::size_t>> faces;
    for (int j = 0; j < ny; ++j)
        for (int i = 0; i < nx; ++i) {
            if (pick(4) == 0) {
                faces.push_back({at(i, j), at(i + 1, j), at(i + 1, j + 1), at(i, j + 1)});
            } else {
                faces.push_back({at(i, j), at(i + 1, j), at(i + 1, j + 1)});
                faces.push_back({at(i, j), at(i + 1, j + 1), at(i, j + 1)});
            }
        }
    std::vector<std::array<double, 3>> points = grid;
    defects = 0;
    auto defect = [&](int odds) { return pick(2 * odds) == 0 ? (++defects, true) : false; };
    if (defect(4)) // a face on one side of an edge that two faces have
        faces.push_back({at(0, 0), at(1, 0), at(1, 1)});
    if (defect(5)) // a face repeated, the other way round
        faces.push_back({at(1, 1), at(0, 1), at(0, 0)});
    if (defect(4)) { // a point on the middle of a grid edge, in a face of its own
        const std::array<double, 3> a = grid[at(1, 1)], b = grid[at(2, 1)];
        points.push_back({(a[0] + b[0]) / 2, (a[1] + b[1]) / 2, (a[2] + b[2]) / 2});
        points.push_back({a[0], a[1] - 0.25, 1.0});
        faces.push_back({points.size() - 2, points.size() - 1, at(2, 2)});
    }
    if (defect(4)) { // a flat face: its third corner halfway along the other two
        const std::array<double, 3> a = grid[at(0, 2)], b = grid[at(1, 2)];
        points.push_back({(a[0] + b[0]) / 2, (a[1] + b[1]) / 2, (a[2] + b[2]) / 2});
        faces.push_back({at(0, 2), points.size() - 1, at(1, 2)});
    }
    if (defect(4)) // a point no face uses, somewhere or on an edge
        points.push_back(pick(2) ? std::array<double, 3>{9.0, 9.0, 9.0}
                                 : std::array<double, 3>{0.25, 0.0, (grid[0][2] + grid[1][2]) / 2});
    if (defect(4)) // a face with two corners at one point
        faces.push_back({at(2, 0), at(2, 1), at(2, 0), at(1, 1)});
    std::shuffle(faces.begin(), faces.end(), rng);
    // Vertex lines: one per corner, or shared with the previous face.
    std::vector<std::array<double, 3>> lines;
    std::string body;
    std::vector<std::size_t> lineOfPoint(points.size(), static_cast<std::size_t>(-1));
    const bool shareSome = pick(3) == 0;
    const bool nearOne = defect(4), signedZero = defect(5);
    // Its own generator, so that a seed makes the same soup in every family.
    std::mt19937 jitterRng(seed * 7919u + static_cast<unsigned>(family));
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    auto jitter = [&](std::array<double, 3>& c) {
        for (double& x : c) {
            switch (family) {
            case kUlps:
                for (unsigned k = jitterRng() % 4; k > 0; --k)
                    x = std::nextafter(x, jitterRng() % 2 ? 1.0 : -1.0);
                break;
            case kWellWithin: x += 0.2e-6 * unit(jitterRng); break;
            case kUpToTheDistance: x += 0.45e-6 * unit(jitterRng); break;
            case kChains: x += 0.7e-6 * static_cast<double>(jitterRng() % 3); break;
            default: break;
            }
        }
    };
    for (auto& f : faces) {
        if (pick(2))
            std::reverse(f.begin(), f.end());
        body += std::to_string(f.size());
        for (std::size_t p : f) {
            if (!shareSome || lineOfPoint[p] == static_cast<std::size_t>(-1) || pick(2)) {
                std::array<double, 3> c = points[p];
                if (nearOne && p == at(1, 1) && lines.size() % 2)
                    c[0] += 0.4e-6; // welded with its twin, not merged on reading
                if (signedZero && c[0] == 0.0 && pick(2))
                    c[0] = -0.0;
                jitter(c);
                lineOfPoint[p] = lines.size();
                lines.push_back(c);
            }
            body += ' ' + std::to_string(lineOfPoint[p]);
        }
        body += '\n';
    }
    // Points no face uses still get their lines.
    for (std::size_t p = 0; p < points.size(); ++p)
        if (lineOfPoint[p] == static_cast<std::size_t>(-1))
            lines.push_back(points[p]);
    std::string text = "OFF\n" + std::to_string(lines.size()) + ' ' + std::to_string(faces.size()) + " 0\n";
    char buf[64];
    for (const auto& c : lines) {
        for (int k = 0; k < 3; ++k) {
            text.append(buf, std::to_chars(buf, buf + sizeof buf, c[static_cast<std::size_t>(k)]).ptr);
            text += k < 2 ? ' ' : '\n';
        }
    }
    return text + body;
}

std::string Off(G3Surface& s)
{
    std::string out;
    EXPECT_TRUE(g3io::WriteOff(s, out));
    return out;
}

// The passes of `g3 repair`, with orienting and merging when asked; the
// OFF text after the welding pass and after all. With `skipWelds`, the
// welding passes are left out as `g3 repair` leaves them out after a
// merged read (the first, and the second unless a trivial facet went),
// and the planes the reader formed are kept.
void Repair(G3Surface& s, bool orient, bool merge, std::string& welded, std::string& repaired,
            bool skipWelds = false)
{
    if (!skipWelds)
        s.RemoveEqualsVertexAndDivideEdges();
    EXPECT_EQ("", MeshCheck(&s));
    welded = Off(s);
    s.RemoveEqualsNormal();
    if (!skipWelds)
        s.FormPlaneEquation();
    if (s.RemoveTrivialFacets(GTolerance::kWeld) || !skipWelds)
        s.RemoveEqualsVertexAndDivideEdges();
    s.RemoveEqualsFacets();
    s.RemoveNonManifoldEdges();
    EXPECT_EQ("", MeshCheck(&s));
    if (orient)
        s.OrientNormals2(true);
    if (merge) {
        s.UnionInPlaneFacets(-1);
        s.MarkInPlaneEdgesAsInvisible();
    }
    EXPECT_EQ("", MeshCheck(&s));
    repaired = Off(s);
}

TEST(OffMergeTest, MergedReadRepairsLikeThePlainReadOnRandomSoups)
{
    g3io::ReadOptions merged;
    merged.mergeEqualVertices = true;
    int mergedRoute = 0, plainRoute = 0;
    int nearMerged[kFamilies] = {};
    for (unsigned seed = 1; seed <= 250; ++seed) {
        const Jitter family = static_cast<Jitter>(seed % kFamilies);
        SCOPED_TRACE("seed " + std::to_string(seed) + ", jitter " + std::to_string(family));
        int defects = 0;
        const std::string text = RandomSoup(seed, defects, family);
        G3Surface plain, merge;
        std::string mPlain, mMerge;
        const bool okPlain = g3io::ReadOff(text.data(), text.size(), "soup", plain, mPlain);
        bool welded = false;
        merged.welded = &welded;
        const bool okMerge = g3io::ReadOff(text.data(), text.size(), "soup", merge, mMerge, merged);
        ASSERT_EQ(okPlain, okMerge);
        ASSERT_EQ(mPlain, mMerge);
        if (!okPlain)
            continue;
        EXPECT_EQ("", MeshCheck(&merge));
        // The merged route shares edges; the plain one gives each face its own.
        const bool mergedRead = merge.GetEdgeCount() < plain.GetEdgeCount();
        EXPECT_EQ(mergedRead, welded);
        (mergedRead ? mergedRoute : plainRoute)++;
        nearMerged[family] += mergedRead;
        const bool orient = seed % 3 == 0, coplanar = seed % 4 == 0;
        std::string weldedPlain, weldedMerge, repairedPlain, repairedMerge;
        Repair(plain, orient, coplanar, weldedPlain, repairedPlain);
        Repair(merge, orient, coplanar, weldedMerge, repairedMerge);
        EXPECT_EQ(weldedPlain, weldedMerge) << text;
        EXPECT_EQ(repairedPlain, repairedMerge) << text;
        EXPECT_EQ(plain.GetVertexCount(), merge.GetVertexCount());
        EXPECT_EQ(plain.GetFacetCount(), merge.GetFacetCount());
        if (!welded)
            continue;
        // What the welding pass would leave as it is: the merged read
        // repaired without it.
        G3Surface again;
        ASSERT_TRUE(g3io::ReadOff(text.data(), text.size(), "soup", again, mMerge, merged));
        const int edges = again.GetEdgeCount();
        std::string weldedAgain, repairedAgain;
        Repair(again, orient, coplanar, weldedAgain, repairedAgain, true);
        EXPECT_EQ(weldedPlain, weldedAgain);
        EXPECT_EQ(repairedPlain, repairedAgain);
        G3Surface once;
        ASSERT_TRUE(g3io::ReadOff(text.data(), text.size(), "soup", once, mMerge, merged));
        once.RemoveEqualsVertexAndDivideEdges();
        EXPECT_EQ(edges, once.GetEdgeCount());
    }
    // Both routes were taken, each on a fair share of the soups.
    EXPECT_GE(mergedRoute, 40);
    EXPECT_GE(plainRoute, 40);
    // Points a few ulps or well within the distance apart are merged on
    // reading as equal ones are.
    EXPECT_GE(nearMerged[kUlps], 15);
    EXPECT_GE(nearMerged[kWellWithin], 15);
}

// A fresh path in the test's temporary folder.
std::string TempPath(const std::string& name)
{
    const fs::path dir = fs::temp_directory_path() / ("g3_off_merge_" + std::to_string(getpid()));
    fs::create_directories(dir);
    return (dir / name).string();
}

void WriteText(const std::string& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

std::string Slurp(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(OffMergeTest, FileReaderAndWriterMatchTheMemoryOnes)
{
    const std::string off3 = "OFF\n3 1 0\n0 0 0\n1 0 0\n0 1 0\n";
    int defects = 0;
    const std::string soup = RandomSoup(7, defects);
    // Past the reader's first piece of 1 MiB, in one line and in many.
    const std::string longComment = "# " + std::string((1 << 20) + 77, 'c') + "\n";
    std::string manyLines = "OFF\n# many\n" + std::to_string(70000) + " 1 0\n";
    for (int i = 0; i < 70000; ++i)
        manyLines += std::to_string(i % 7) + " " + std::to_string(i / 7) + " 0.5\n";
    manyLines += "3 0 1 7";
    const std::string texts[] = {
        "", " \n\t\n", "\xEF\xBB\xBF", "\xEF\xBB\xBF" + off3 + "3 0 1 2\n", "# only a comment\n",
        off3 + "3 0 1 2", off3 + "3 0 1 2\n3 0 2 1\n", "OFF\r\n3 1 0\r\n0 0 0\r\n1 0 0\r\n0 1 0\r\n3 0 1 2\r\n",
        longComment + off3 + "3 0 1 2\n", manyLines, "PLY\n", "OFF\nx 1 0\n", "OFF 100000 1 0\n",
        off3 + "3 0 1 3\n", off3 + "4 0 1 2\n", off3 + "3 0 1 1\n", "OFF\n3 1 0\n0 nan 0\n", soup,
    };
    for (const std::string& text : texts) {
        for (bool merge : {false, true}) {
            SCOPED_TRACE(text.substr(0, 60) + (merge ? " (merged)" : ""));
            g3io::ReadOptions options;
            options.mergeEqualVertices = merge;
            const std::string path = TempPath("in.off");
            WriteText(path, text);
            G3Surface fromMemory, fromFile;
            std::string mMemory, mFile;
            const bool okMemory = g3io::ReadOff(text.data(), text.size(), path, fromMemory, mMemory, options);
            const bool okFile = g3io::ReadMeshFile(path, fromFile, mFile, options);
            ASSERT_EQ(okMemory, okFile) << mMemory << " / " << mFile;
            EXPECT_EQ(mMemory, mFile);
            EXPECT_EQ(fromMemory.GetVertexCount(), fromFile.GetVertexCount());
            if (!okFile) {
                EXPECT_EQ(0, fromFile.GetVertexCount() + fromFile.GetFacetCount());
                continue;
            }
            const std::string out = TempPath("out.off");
            std::string message;
            ASSERT_TRUE(g3io::WriteMeshFile(out, fromFile, message)) << message;
            EXPECT_EQ(Off(fromMemory), Slurp(out));
        }
    }
    fs::remove_all(fs::path(TempPath("x")).parent_path());
}

} // namespace
