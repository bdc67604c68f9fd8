#include "tin_check.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <map>
#include <vector>

using g3tri::Node;

bool TinReport::Valid(double areaTol) const
{
    const double scale = std::max(1.0, hullArea);
    return inverted == 0 && badLinks == 0 && sharedEdges == 0 && nonDelaunay == 0 &&
           std::fabs(area - hullArea) <= areaTol * scale;
}

static double Cross(const Node& o, const Node& a, const Node& b)
{
    return (a.x - o.x) * (b.y - o.y) - (a.y - o.y) * (b.x - o.x);
}

static double HullArea(std::vector<Node> p)
{
    if (p.size() < 3)
        return 0.0;
    std::sort(p.begin(), p.end(),
              [](const Node& a, const Node& b) { return a.x < b.x || (a.x == b.x && a.y < b.y); });
    std::vector<Node> h(2 * p.size());
    std::size_t k = 0;
    for (std::size_t i = 0; i < p.size(); ++i) {
        while (k >= 2 && Cross(h[k - 2], h[k - 1], p[i]) <= 0)
            --k;
        h[k++] = p[i];
    }
    for (std::size_t i = p.size() - 1, t = k + 1; i > 0; --i) {
        while (k >= t && Cross(h[k - 2], h[k - 1], p[i - 1]) <= 0)
            --k;
        h[k++] = p[i - 1];
    }
    // Relative to one hull point: at map coordinates the products of
    // absolute coordinates would carry rounding errors larger than the
    // tolerance the area is checked with.
    double a = 0.0;
    for (std::size_t i = 1; i + 2 < k; ++i)
        a += Cross(h[0], h[i], h[i + 1]);
    return 0.5 * a;
}

TinReport CheckTin(const G3TriInterface& tin)
{
    TinReport r;
    const g3tri::G3TriEngine& e = *tin.GetEngine();
    const int nt = e.GetTriangleCount();
    r.triangles = nt;
    auto note = [&](const char* what, int t) {
        if (r.first.empty())
            r.first = std::string(what) + " at triangle " + std::to_string(t);
    };
    std::vector<Node> nodes;
    for (int i = 0; i < e.GetNodeCount(); ++i)
        nodes.push_back(e.GetNode(i));
    r.hullArea = HullArea(nodes);
    std::vector<int> used(nodes.size(), 0);
    std::map<std::pair<int, int>, int> directed;
    for (int t = 0; t < nt; ++t) {
        const g3tri::Tri& tr = e.GetTri(t);
        const double o = g3tri::Orient(e.GetNode(tr.v[0]), e.GetNode(tr.v[1]), e.GetNode(tr.v[2]));
        if (!(o > 0)) {
            ++r.inverted;
            note("inverted", t);
        }
        r.area += 0.5 * o;
        for (int k = 0; k < 3; ++k) {
            used[static_cast<std::size_t>(tr.v[k])] = 1;
            const int a = tr.v[(k + 1) % 3], b = tr.v[(k + 2) % 3];
            if (!directed.emplace(std::make_pair(a, b), t).second) {
                ++r.sharedEdges;
                note("shared edge", t);
            }
            const int h = tr.n[k];
            if (h >= 0) {
                const g3tri::Tri& nb = e.GetTri(h >> 2);
                const int kk = h & 3;
                if (nb.n[kk] != t * 4 + k || nb.v[(kk + 1) % 3] != b || nb.v[(kk + 2) % 3] != a) {
                    ++r.badLinks;
                    note("bad link", t);
                    continue;
                }
                if (e.GetSide(t, k) == nullptr &&
                    g3tri::InCircle(e.GetNode(tr.v[0]), e.GetNode(tr.v[1]), e.GetNode(tr.v[2]),
                                    e.GetNode(nb.v[kk])) > g3tri::kPlanarTriangulation) {
                    ++r.nonDelaunay;
                    note("not Delaunay", t);
                }
            }
        }
    }
    for (int u : used)
        r.unusedNodes += u == 0;
    return r;
}

std::string TriangleSignature(const G3TriInterface& tin)
{
    std::vector<std::string> tris;
    for (int t = 0; t < tin.GetTriangleCount(); ++t) {
        G3TVertex* c[3];
        if (!tin.GetTriangle(t, c))
            continue;
        std::array<std::string, 3> p;
        char buf[80];
        for (int k = 0; k < 3; ++k) {
            std::snprintf(buf, sizeof buf, "%.17g %.17g", c[k]->x, c[k]->y);
            p[static_cast<std::size_t>(k)] = buf;
        }
        std::sort(p.begin(), p.end());
        tris.push_back("(" + p[0] + ", " + p[1] + ", " + p[2] + ")");
    }
    std::sort(tris.begin(), tris.end());
    std::string s;
    for (const auto& t : tris)
        s += t;
    return s;
}
