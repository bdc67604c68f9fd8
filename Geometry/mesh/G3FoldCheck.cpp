// Contours doubling back: a corner where a contour turns back along the
// line it came in on (a spike out and back, a corner put on the wrong side
// of its neighbour along a straight run). Both legs must be at least kWeld
// long, and the shorter leg's far end must lie within kWeld of the longer
// leg's line: a leg shorter than the weld is a hair edge, which every later
// pass takes for one point, and a sharp corner of a thin facet turns
// farther off. A loop of two edges is a slit along which other facets
// meet the facet (solids touching along an edge), not a fold. Nothing
// rounds and nothing is changed.

#include "Geometry/mesh/G3MeshCheck.h"

#include "Geometry/math/GTolerance.h"
#include "Geometry/mesh/G3Facet.h"
#include "Geometry/mesh/G3FacetIterators.h"
#include "Geometry/mesh/G3Shell.h"
#include "Geometry/mesh/G3Vertex.h"

#include <cmath>
#include <string>
#include <vector>

namespace {

using GTolerance::kWeld;

// The corner b between legs a -> b and b -> c turns back along them.
bool TurnsBack(const double* a, const double* b, const double* c)
{
    const double u[3] = {b[0] - a[0], b[1] - a[1], b[2] - a[2]};
    const double v[3] = {c[0] - b[0], c[1] - b[1], c[2] - b[2]};
    if (u[0] * v[0] + u[1] * v[1] + u[2] * v[2] >= 0.0)
        return false;
    const double lu = std::sqrt(u[0] * u[0] + u[1] * u[1] + u[2] * u[2]);
    const double lv = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    if (std::fmin(lu, lv) < kWeld)
        return false;
    const double w[3] = {u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2], u[0] * v[1] - u[1] * v[0]};
    // |u x v| / max(|u|, |v|): the shorter leg's end off the longer's line.
    return std::sqrt(w[0] * w[0] + w[1] * w[1] + w[2] * w[2]) < kWeld * std::fmax(lu, lv);
}

bool FoldedContour(const std::vector<const double*>& c)
{
    const std::size_t n = c.size();
    for (std::size_t i = 0; n >= 3 && i < n; ++i)
        if (TurnsBack(c[(i + n - 1) % n], c[i], c[(i + 1) % n]))
            return true;
    return false;
}

} // namespace

std::string G3FoldCheck(G3Shell* s)
{
    std::vector<const double*> contour;
    for (int k = 0; s && k < s->GetFacetCount(); ++k) {
        contour.clear();
        for (G3ContourWalker w(s->GetFacet(k)); w.Next();) {
            if (w.OpensLoop() && FoldedContour(contour))
                return "facet: contour doubles back (" + std::to_string(k) + ")";
            if (w.OpensLoop())
                contour.clear();
            contour.push_back(w.GetEntry()->GetXYZ());
        }
        if (FoldedContour(contour))
            return "facet: contour doubles back (" + std::to_string(k) + ")";
    }
    return std::string();
}
