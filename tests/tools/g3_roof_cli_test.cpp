// `g3 roof` run as a program on outline files: the facet kinds it reports,
// the file written, and refused input (a malformed line names its number).

#include "tests/tools/g3_tool_fixture.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

#ifdef G3_TOOL_PATH

namespace {

using namespace g3tooltest;

class G3RoofCli : public G3ToolTest {};

TEST_F(G3RoofCli, HipAndThickGableRoofsFromFiles)
{
    Write("hip.txt", "# a 10 x 6 rectangle\n0 0 30\n10 0 30\n\n10 6 30\n0 6 30\n");
    std::string out, err;
    ASSERT_EQ(0, Run({"roof", P("hip.txt"), "-o", P("hip.obj")}, &out, &err)) << err;
    EXPECT_NE(out.find("roof: 4 facets, lower layer: 0, eave fascia: 0, gable fascia: 0"), std::string::npos) << out;
    EXPECT_TRUE(fs::exists(P("hip.obj")));
    // Texture coordinates were written with the facets.
    EXPECT_NE(Read("hip.obj").find("\nvt "), std::string::npos);

    Write("gable.txt", "0 0 90\n10 0 30\n10 6 90\n0 6 30\n");
    ASSERT_EQ(0, Run({"roof", P("gable.txt"), "-o", P("gable.obj"), "--thickness", "0.2", "--overhang=0.3"}, &out,
                     &err)) << err;
    EXPECT_NE(out.find("roof: 2 facets, lower layer: 2, eave fascia: 2, gable fascia: 4"), std::string::npos) << out;
}

TEST_F(G3RoofCli, MalformedLinesAndRefusedOutlinesWriteNothing)
{
    std::string out, err;
    Write("bad.txt", "0 0 30\n10 0 30\n10 six 30\n0 6 30\n");
    EXPECT_EQ(2, Run({"roof", P("bad.txt"), "-o", P("bad.obj")}, &out, &err));
    EXPECT_NE(err.find("bad.txt:3:"), std::string::npos) << err;
    Write("extra.txt", "0 0 30\n10 0 30 7\n10 6 30\n0 6 30\n");
    EXPECT_EQ(2, Run({"roof", P("extra.txt"), "-o", P("bad.obj")}, &out, &err));
    EXPECT_NE(err.find("extra.txt:2:"), std::string::npos) << err;
    Write("nan.txt", "0 0 30\n10 0 nan\n10 6 30\n0 6 30\n");
    EXPECT_EQ(2, Run({"roof", P("nan.txt"), "-o", P("bad.obj")}, &out, &err));
    EXPECT_NE(err.find("nan.txt:2:"), std::string::npos) << err;
    Write("flat.txt", "0 0 30\n10 0 0\n10 6 30\n0 6 30\n");
    EXPECT_EQ(2, Run({"roof", P("flat.txt"), "-o", P("bad.obj")}, &out, &err));
    EXPECT_NE(err.find("refused"), std::string::npos) << err;
    Write("bowtie.txt", "0 0 30\n10 6 30\n10 0 30\n0 6 30\n");
    EXPECT_EQ(2, Run({"roof", P("bowtie.txt"), "-o", P("bad.obj")}, &out, &err));
    EXPECT_EQ(2, Run({"roof", P("missing.txt"), "-o", P("bad.obj")}, &out, &err));
    EXPECT_EQ(2, Run({"roof", P("flat.txt"), "-o", P("bad.obj"), "--thickness", "-1"}, &out, &err));
    EXPECT_FALSE(fs::exists(P("bad.obj")));
}

} // namespace

#endif
