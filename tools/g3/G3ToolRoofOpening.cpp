// `g3 roof --opening FILE`: outlines of chimneys and roof windows read from
// a text file and cut vertically through the roof's layers by the hole
// maker.

#include "tools/g3/G3Tool.h"

#include "Geometry/contour/G3HoleMaker.h"
#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/mesh/G3Point.h"
#include "Geometry/mesh/G3Surface.h"

#include <cmath>
#include <cstdio>
#include <memory>

namespace g3tool {

bool ReadRoofOpenings(const std::string& path, RoofOpenings& out)
{
    std::vector<std::vector<Point3>> groups;
    if (!ReadPointGroups(path, 2, 3, "an opening", groups))
        return false;
    for (const auto& g : groups) {
        out.outlines.emplace_back();
        for (const Point3& p : g)
            out.outlines.back().push_back({p[0], p[1]});
    }
    return true;
}

int CutRoofOpenings(G3Surface& s, const RoofOpenings& openings)
{
    if (openings.outlines.empty())
        return 0;
    G3HoleMaker maker(&s);
    G3Point down(0.0, 0.0, -1.0);
    for (const auto& outline : openings.outlines) {
        std::vector<std::unique_ptr<G3Point>> points;
        GArrayCollection list;
        for (const auto& p : outline) {
            points.push_back(std::make_unique<G3Point>(p[0], p[1], 0.0));
            list.add(points.back().get());
        }
        maker.AddHoleContour(&list, &down);
    }
    maker.MakeHoles();
    s.FormPlaneEquation();
    std::printf("openings: %d of %d cut\n", maker.GetMadeCount(), static_cast<int>(openings.outlines.size()));
    return maker.GetMadeCount();
}

}  // namespace g3tool
