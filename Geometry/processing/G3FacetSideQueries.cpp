// Facet queries of the orientation and merging passes: which side of an
// edge a facet lies on, and a point inside a facet's x-y projection.
//
// Both read the facet's contours as the chain's contour rule splits them
// (G3ContourWalker): each contour is closed on its own, so a hole never
// borrows vertices or crossings from the contour before it.

#include "Geometry/math/GTolerance.h"
#include "Geometry/mesh/G3Edge.h"
#include "Geometry/mesh/G3Facet.h"
#include "Geometry/mesh/G3FacetIterators.h"
#include "Geometry/mesh/G3Vertex.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <vector>

namespace {

// Distance from a line below which a vertex counts as on it (a side of a
// line, like a side of a plane).
constexpr double kLineTolerance = GTolerance::kPlaneSide;
// The shortest projected edge that defines a line.
constexpr double kShortestLine = GTolerance::kZeroLength;

// Weights that put the scan line and the chosen point off the vertices'
// usual (round) positions.
constexpr double kScanLineUpper = 0.448765432109877;
constexpr double kScanPointUpper = 0.4338765432109877;

// The facet's contours, each as its vertices in chain order.
std::vector<std::vector<G3Vertex*>> Contours(const G3Facet* f)
{
    std::vector<std::vector<G3Vertex*>> out;
    G3ContourWalker w(f);
    while (w.Next()) {
        if (w.Opens() || out.empty())
            out.emplace_back();
        if (w.GetEntry())
            out.back().push_back(w.GetEntry());
    }
    return out;
}

} // namespace

int G3Facet::GetIntersectionSignByEdge(G3Vertex* a, G3Vertex* b, int i, int j)
{
    if (!a || !b || i < 0 || i > 2 || j < 0 || j > 2)
        return 0;
    const double* pa = a->GetXYZ();
    const double* pb = b->GetXYZ();
    double n[2] = {pb[j] - pa[j], pa[i] - pb[i]};
    const double length = std::sqrt(n[0] * n[0] + n[1] * n[1]);
    if (length < kShortestLine)
        return 0;
    n[0] /= length;
    n[1] /= length;
    const double offset = -(n[0] * pa[i] + n[1] * pa[j]);
    // +1 / -1 for a vertex off the line, 0 on it.
    auto sideOf = [&](const G3Vertex* v) {
        const double* p = v->GetXYZ();
        const double d = n[0] * p[i] + n[1] * p[j] + offset;
        if (std::fabs(d) < kLineTolerance)
            return 0;
        return d >= 0.0 ? 1 : -1;
    };

    for (const std::vector<G3Vertex*>& c : Contours(this)) {
        const int count = static_cast<int>(c.size());
        for (int k = 0; k < count; ++k) {
            const G3Vertex* u = c[k];
            const G3Vertex* w = c[(k + 1) % count];
            if (!((u == a && w == b) || (u == b && w == a)))
                continue;
            // The first vertex off the line walking away from the step,
            // forwards and backwards, within the step's own contour.
            auto firstSide = [&](int start, int step) {
                for (int m = 0; m < count; ++m) {
                    const int s = sideOf(c[((start + step * m) % count + count) % count]);
                    if (s != 0)
                        return s;
                }
                return 0;
            };
            const int s1 = firstSide(k + 2, 1);
            const int s2 = firstSide(k - 1, -1);
            if (s1 == 0 && s2 == 0)
                return 0;
            if (s1 < 0 || s2 < 0)
                return (s1 > 0 || s2 > 0) ? 0 : -1;
            return 1;
        }
    }
    return 0;
}

bool G3Facet::GenerateXYPointInFacetConcave(double& x, double& y)
{
    const std::vector<std::vector<G3Vertex*>> contours = Contours(this);
    bool any = false;
    double ymin = 0.0;
    double ymax = 0.0;
    for (const std::vector<G3Vertex*>& c : contours) {
        for (const G3Vertex* v : c) {
            const double vy = v->GetXYZ()[1];
            if (!any || vy < ymin)
                ymin = vy;
            if (!any || vy > ymax)
                ymax = vy;
            any = true;
        }
    }
    if (!any)
        return false;
    const double line = kScanLineUpper * ymax + (1.0 - kScanLineUpper) * ymin;

    // Every crossing of the line, each contour closed on its own (a vertex
    // exactly on the line counts once, as the start of its edge).
    std::vector<double> crossings;
    for (const std::vector<G3Vertex*>& c : contours) {
        const std::size_t count = c.size();
        for (std::size_t k = 0; k < count; ++k) {
            const double* p = c[(k + count - 1) % count]->GetXYZ();
            const double* q = c[k]->GetXYZ();
            if (p[1] == line)
                crossings.push_back(p[0]);
            else if ((p[1] < line && q[1] > line) || (p[1] > line && q[1] < line))
                crossings.push_back(p[0] + (q[0] - p[0]) * (line - p[1]) / (q[1] - p[1]));
        }
    }
    std::sort(crossings.begin(), crossings.end(), std::greater<double>());
    double best = 0.0;
    std::size_t bestAt = crossings.size();
    for (std::size_t k = 0; k + 1 < crossings.size(); k += 2) {
        const double width = crossings[k] - crossings[k + 1];
        if (width > best) {
            best = width;
            bestAt = k;
        }
    }
    if (bestAt == crossings.size())
        return false;
    x = kScanPointUpper * crossings[bestAt] + (1.0 - kScanPointUpper) * crossings[bestAt + 1];
    y = line;
    return true;
}
