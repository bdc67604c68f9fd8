#pragma once
// Shared by the format tests: the data files, reading from memory, the
// corners of a facet, and coordinates that test a format's precision.

#include "Geometry/foundation/GRandom.h"
#include "Geometry/mesh/G3Edge.h"
#include "Geometry/mesh/G3Facet.h"
#include "Geometry/mesh/G3FacetIterators.h"
#include "Geometry/mesh/G3Point.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/mesh/G3TexCoo.h"
#include "Geometry/mesh/G3Vertex.h"
#include "mesh/mesh_check.h"
#include "tools/io/G3MeshIO.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace iotest {

using ReadFn = bool (*)(const char*, std::size_t, const std::string&, G3Surface&, std::string&);

inline std::string Data(const std::string& name)
{
    return std::string(G3_TEST_DATA_DIR) + "/io/data/" + name;
}

inline std::string Slurp(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

inline bool Read(ReadFn fn, const std::string& text, G3Surface& s, std::string& message)
{
    return fn(text.data(), text.size(), "mem", s, message);
}

inline bool IsEmpty(const G3Surface& s)
{
    return s.GetVertexCount() == 0 && s.GetEdgeCount() == 0 && s.GetFacetCount() == 0 &&
           s.GetNormalCount() == 0 && s.GetTexCooCount() == 0 && s.GetPolyEdgeCount() == 0;
}

// Vertex, edge and facet counts, closedness, and the consistency check.
inline void ExpectCounts(G3Surface& s, int v, int e, int f, bool closed)
{
    EXPECT_EQ(v, s.GetVertexCount());
    EXPECT_EQ(e, s.GetEdgeCount());
    EXPECT_EQ(f, s.GetFacetCount());
    EXPECT_EQ(closed, s.GetClosed());
    EXPECT_EQ("", MeshCheck(&s));
}

// Corners of f in order: vertex, normal, texture coordinate.
struct CornerData {
    G3Vertex* v;
    G3Normal* n;
    G3TexCoo* t;
};
inline std::vector<CornerData> Corners(G3Facet* f)
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

// Vertex ids of f's corners in chain order, from its first corner.
inline std::vector<long> CornerIds(G3Facet* f)
{
    std::vector<long> ids;
    for (const CornerData& c : Corners(f))
        ids.push_back(c.v->GetId());
    return ids;
}

inline bool SameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// A coordinate a format must keep bit for bit: negative zero, tiny (now and
// then denormal), huge, thirds, and few values (coincident and collinear
// points); `asFloat` keeps to what a float holds.
inline double AwkwardCoordinate(bool asFloat)
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

} // namespace iotest
