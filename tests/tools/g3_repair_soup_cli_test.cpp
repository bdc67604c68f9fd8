// g3 repair on triangle soups written as OFF, which it reads with equal
// vertex lines as one (near-equal ones too: a UV sphere's seam and poles),
// against the same soups written as OBJ, which it reads a vertex per line:
// the files written must be the same, with and without orienting and
// merging.

#include "bench/bench_soup.h"
#include "tests/tools/g3_tool_fixture.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#ifdef G3_TOOL_PATH

namespace {

using namespace g3tooltest;

// The OFF soup text as OBJ: the same vertex lines and faces, 1-based.
std::string OffToObj(const std::string& off)
{
    std::istringstream in(off);
    std::string header;
    long long nV = 0, nF = 0, nE = 0;
    in >> header >> nV >> nF >> nE;
    in.ignore();
    std::string obj, line;
    for (long long i = 0; i < nV && std::getline(in, line); ++i)
        obj += "v " + line + "\n";
    for (long long i = 0; i < nF; ++i) {
        int n = 0;
        in >> n;
        obj += "f";
        for (int k = 0; k < n; ++k) {
            long long v = 0;
            in >> v;
            obj += " " + std::to_string(v + 1);
        }
        obj += "\n";
    }
    return obj;
}

using G3RepairSoup = G3ToolTest;

TEST_F(G3RepairSoup, OffSoupRepairsLikeTheSameSoupAsObj)
{
    // The UV sphere's seam and poles repeat points only to within 1e-16.
    const soup::Mesh shapes[] = {soup::Sphere(5), soup::Sheet(9, 6), soup::UvSphere(6)};
    int run = 0;
    for (const soup::Mesh& m : shapes)
        for (unsigned seed : {3u, 11u}) {
            const std::string off = soup::SoupOff(m, seed);
            Write("soup.off", off);
            Write("soup.obj", OffToObj(off));
            for (const char* flags : {"", "--orient", "--merge-coplanar"}) {
                SCOPED_TRACE(std::to_string(run++) + " " + flags);
                std::vector<std::string> a = {"repair", P("soup.off"), "-o", P("a.off")};
                std::vector<std::string> b = {"repair", P("soup.obj"), "-o", P("b.off")};
                if (*flags) {
                    a.push_back(flags);
                    b.push_back(flags);
                }
                const Result ra = Run(a), rb = Run(b);
                ASSERT_EQ(ra.status, 0) << ra.err;
                ASSERT_EQ(rb.status, 0) << rb.err;
                EXPECT_EQ(Read("a.off"), Read("b.off"));
                EXPECT_EQ(Key(ra.out, "closed"), Key(rb.out, "closed"));
            }
        }
}

} // namespace

#endif
