// The band's faces by meetings. Invariants: the active edges form a ring;
// each active edge's end line is the line its plane shares with the next
// active edge's, from where that pair first met (an outline corner or a
// meeting point) downwards, and knows where it leaves the band; a meeting
// is taken only below both of an edge's lines' starts and above both
// their exits, highest first, so every face found lies inside the band.
// Border positions run along the offset polyline: edge j's offset covers
// j to j + 1, from mitre j - 1 to mitre j. Rounding happens in the plane
// intersections and where a line is cut with the offset border; the
// result is then checked whole (areas, turns, crossings) before use.
#include "Geometry/roof/G3RoofBandFaces.h"

#include "Geometry/math/G3SegmentTest.h"
#include "Geometry/math/GTolerance.h"
#include "Geometry/roof/G3RoofPlanes.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <deque>
#include <limits>
#include <queue>
#include <tuple>

using GTolerance::kPlaneSide;
using GTolerance::kZeroLength;

namespace {

// A line two planes share, from its start downwards: the x, y it moves by
// per unit of drop, and where it leaves the band (border position, point).
struct Line {
    double start[3] = {0.0, 0.0, 0.0};
    double step[2] = {0.0, 0.0};
    double exitAt = -1.0;
    double exit[2] = {0.0, 0.0};
    double exitZ = 0.0;
};

// Twice the signed area of an x, y ring, taken about `o` (site
// coordinates would cancel away the area of a narrow band).
double Signed2(const std::vector<double>& xy, const double* o)
{
    double a = 0.0;
    const std::size_t n = xy.size() / 2;
    for (std::size_t k = 0; k < n; ++k) {
        const std::size_t l = (k + 1) % n;
        a += (xy[2 * k] - o[0]) * (xy[2 * l + 1] - o[1]) - (xy[2 * l] - o[0]) * (xy[2 * k + 1] - o[1]);
    }
    return a;
}

class Band {
public:
    explicit Band(const G3RoofBandInput& in) : in(in), n(in.corners.size()) {}

    bool Run(std::vector<std::vector<double>>& paths)
    {
        if (n < 3)
            return false;
        planes = in.planes;
        vertical = in.vertical;
        prev.resize(n);
        next.resize(n);
        version.assign(n, 0);
        alive.assign(n, 1);
        ends.resize(n);
        endChain.assign(n, {});
        startChain.assign(n, {});
        paths.assign(n, {});
        for (std::size_t i = 0; i < n; ++i) {
            prev[i] = (i + n - 1) % n;
            next[i] = (i + 1) % n;
        }
        for (std::size_t i = 0; i < n; ++i)
            if (!StartLine(i, in.corners[i], nullptr))
                return false;
        for (std::size_t i = 0; i < n; ++i)
            Push(i);
        while (!queue.empty()) {
            const auto [z, e, v] = queue.top();
            queue.pop();
            if (!alive[e] || v != version[e])
                continue;
            const std::size_t p = prev[e], q = next[e];
            if (p == q || next[q] == e)
                return false;
            double x[3];
            if (!Meeting(e, x))
                continue;
            std::vector<double>& path = paths[e];
            path = endChain[e];
            path.insert(path.end(), {x[0], x[1]});
            for (std::size_t k = startChain[e].size(); k >= 2; k -= 2)
                path.insert(path.end(), {startChain[e][k - 2], startChain[e][k - 1]});
            endChain[p].insert(endChain[p].end(), {x[0], x[1]});
            startChain[q].insert(startChain[q].end(), {x[0], x[1]});
            alive[e] = 0;
            next[p] = q;
            prev[q] = p;
            if (!StartLine(p, x, nullptr) && !Step(p, q, x))
                return false;
            ++version[p];
            ++version[q];
            Push(p);
            Push(q);
        }
        for (std::size_t e = 0; e < n; ++e)
            if (alive[e]) {
                if (ends[e].exitAt < 0.0)
                    return false;
                paths[e] = OpenFace(e);
            }
        return Tiles(paths);
    }

private:
    const G3RoofBandInput& in;
    const std::size_t n;
    // Per edge, the outline's n first, then the steps opened at meetings.
    std::vector<const double*> planes;
    std::vector<char> vertical;
    std::deque<std::array<double, 4>> stepPlanes;
    std::vector<std::size_t> prev, next;
    std::vector<int> version;
    std::vector<char> alive;
    std::vector<Line> ends;  // ends[e]: the line between e and next[e]
    std::vector<std::vector<double>> endChain, startChain;
    std::priority_queue<std::tuple<double, std::size_t, int>> queue;

    const double* Mitre(std::size_t k) const { return &in.mitres[2 * (k % n)]; }

    // The line between e and next[e] from `from` down, and where it leaves
    // the band. Beside a vertical plane at an outline corner (a gable, a
    // step) it goes to the mitre at that edge's corner, down the other
    // plane; beside a step opened at a meeting it runs along `along`
    // (x, y) in the step's plane.
    bool StartLine(std::size_t e, const double* from, const double* along)
    {
        const std::size_t f = next[e];
        Line& l = ends[e];
        std::copy(from, from + 3, l.start);
        if ((vertical[e] || vertical[f]) && along == nullptr) {
            const std::size_t k = vertical[f] ? (f + n - 1) % n : e % n;
            l.exitAt = static_cast<double>((k + 1) % n);
            std::copy(Mitre(k), Mitre(k) + 2, l.exit);
            const double* face = planes[vertical[f] ? e : f];
            l.exitZ = vertical[e] && vertical[f] ? from[2]
                                                 : -(face[0] * l.exit[0] + face[1] * l.exit[1] + face[3]) / face[2];
            return true;
        }
        if (along != nullptr) {
            l.step[0] = along[0];
            l.step[1] = along[1];
        } else {
            double low[3];
            if (!G3RoofLevelPoint(planes[e], planes[f], from[2] - 1.0, low))
                return false;
            l.step[0] = low[0] - from[0];
            l.step[1] = low[1] - from[1];
        }
        // Across the offset of e, of next[e] or of an edge between them
        // that met its end; a valley past a whole short edge leaves
        // further on, across any.
        double best = -1.0;
        auto cross = [&](std::size_t j) {
            const double* a = Mitre(j + n - 1);
            const double* b = Mitre(j);
            const double ex = b[0] - a[0], ey = b[1] - a[1];
            const double det = l.step[0] * (-ey) - l.step[1] * (-ex);
            if (!(std::fabs(det) >= GTolerance::kZeroNormal))
                return;
            const double rx = a[0] - from[0], ry = a[1] - from[1];
            const double t = (rx * (-ey) - ry * (-ex)) / det;
            const double s = (l.step[0] * ry - l.step[1] * rx) / det;
            const double len = std::hypot(ex, ey);
            const double slack = len > 0.0 ? kZeroLength / len : 0.0;
            if (t > 0.0 && s >= -slack && s <= 1.0 + slack && (best < 0.0 || t < best)) {
                best = t;
                l.exitAt = static_cast<double>(j) + std::fmin(1.0, std::fmax(0.0, s));
                l.exit[0] = from[0] + t * l.step[0];
                l.exit[1] = from[1] + t * l.step[1];
            }
        };
        // (A step opened at a meeting has no offset: the outline edges on
        // either side of it stand for it.)
        const std::size_t first = e < n ? e : prev[e], last = f < n ? f : next[f];
        for (std::size_t j = first % n, k = 0; k < n; j = (j + 1) % n, ++k) {
            cross(j);
            if (j == last)
                break;
        }
        for (std::size_t j = 0; j < n && best < 0.0; ++j)
            cross(j);
        // A line that leaves across none of them must end at a meeting
        // first (an open face whose line never leaves is no tiling).
        l.exitAt = best > 0.0 ? l.exitAt : -1.0;
        l.exitZ = best > 0.0 ? from[2] - best : -std::numeric_limits<double>::infinity();
        return true;
    }

    // p and q met at x with eaves on parallel lines, facing the same way
    // (the face between them closed): from there the two run on side by
    // side, the lower pitch ahead, and a vertical step across their eaves
    // opens between them, as between collinear eaves of two pitches on the
    // outline. Both lines run outwards in the step's plane.
    bool Step(std::size_t p, std::size_t q, const double* x)
    {
        const double* a = planes[p];
        const double* b = planes[q];
        double out[2] = {a[2] > 0.0 ? a[0] : -a[0], a[2] > 0.0 ? a[1] : -a[1]};
        const double len = std::hypot(out[0], out[1]);
        const double other[2] = {b[2] > 0.0 ? b[0] : -b[0], b[2] > 0.0 ? b[1] : -b[1]};
        if (!(len >= GTolerance::kZeroNormal) || out[0] * other[0] + out[1] * other[1] <= 0.0)
            return false;
        out[0] /= len;
        out[1] /= len;
        stepPlanes.push_back({-out[1], out[0], 0.0, out[1] * x[0] - out[0] * x[1]});
        const std::size_t s = planes.size();
        planes.push_back(stepPlanes.back().data());
        vertical.push_back(1);
        prev.push_back(p);
        next.push_back(q);
        version.push_back(0);
        alive.push_back(1);
        ends.emplace_back();
        endChain.emplace_back();
        startChain.emplace_back();
        next[p] = s;
        prev[q] = s;
        return StartLine(p, x, out) && StartLine(s, x, out);
    }

    // Where the lines at e's two ends meet, when inside the band below
    // both their starts. Beside a gable or a step of the outline the line
    // there runs in the upright plane through its corner and its mitre.
    bool Meeting(std::size_t e, double* x) const
    {
        const std::size_t p = prev[e], q = next[e];
        const Line& s = ends[p];
        const Line& t = ends[e];
        if (vertical[e] || (vertical[p] && (vertical[q] || !OutlineStep(p))) || (vertical[q] && !OutlineStep(q)))
            return false;
        double upright[4];
        if ((vertical[p] || vertical[q]) && !Upright(vertical[p] ? s : t, upright))
            return false;
        if (!G3RoofPlanesPoint(vertical[p] ? upright : planes[p], planes[e], vertical[q] ? upright : planes[q], x))
            return false;
        return x[2] < s.start[2] - kPlaneSide && x[2] < t.start[2] - kPlaneSide && x[2] > s.exitZ + kPlaneSide &&
               x[2] > t.exitZ + kPlaneSide;
    }

    // Edge e is a step of the outline: a vertical edge of no length
    // between collinear eaves of two pitches.
    bool OutlineStep(std::size_t e) const
    {
        if (e >= n || !vertical[e])
            return false;
        const double* a = in.corners[(e + n - 1) % n];
        const double* b = in.corners[e];
        return std::hypot(b[0] - a[0], b[1] - a[1]) < kZeroLength;
    }

    // The upright plane through a line's start and exit, x and y.
    static bool Upright(const Line& l, double* plane)
    {
        const double dx = l.exit[0] - l.start[0], dy = l.exit[1] - l.start[1];
        const double len = std::hypot(dx, dy);
        if (!(len >= kZeroLength))
            return false;
        plane[0] = -dy / len;
        plane[1] = dx / len;
        plane[2] = 0.0;
        plane[3] = -(plane[0] * l.start[0] + plane[1] * l.start[1]);
        return true;
    }

    void Push(std::size_t e)
    {
        double x[3];
        if (alive[e] && Meeting(e, x))
            queue.emplace(x[2], e, version[e]);
    }

    // An edge still open at the end: down its end line, back along the
    // border to where its start line leaves, up that line.
    std::vector<double> OpenFace(std::size_t e) const
    {
        std::vector<double> path = endChain[e];
        const Line& end = ends[e];
        const Line& start = ends[prev[e]];
        auto add = [&](const double* p) {
            const std::size_t k = path.size();
            if (k < 2 || std::hypot(path[k - 2] - p[0], path[k - 1] - p[1]) >= kZeroLength)
                path.insert(path.end(), {p[0], p[1]});
        };
        add(end.exit);
        // The mitres strictly between the two exits, walking back.
        const double back = std::fmod(end.exitAt - start.exitAt + static_cast<double>(n), static_cast<double>(n));
        // (An exit within kSegmentEnd of a mitre, as edge parameters go, is
        // at it: the mitre is not passed again.)
        const double slack = GTolerance::kSegmentEnd;
        for (double at = std::ceil(end.exitAt - slack) - 1.0; end.exitAt - at < back - slack; at -= 1.0)
            add(Mitre(static_cast<std::size_t>(std::fmod(at - 1.0 + 2.0 * static_cast<double>(n),
                                                         static_cast<double>(n)))));
        add(start.exit);
        for (std::size_t k = startChain[e].size(); k >= 2; k -= 2)
            add(&startChain[e][k - 2]);
        return path;
    }

    // The faces cover the band once: each turns the way the band does
    // round the outline, none crosses itself, and their areas add up to
    // the offset border's less the outline's.
    bool Tiles(const std::vector<std::vector<double>>& paths) const
    {
        std::vector<double> outline, border;
        for (std::size_t i = 0; i < n; ++i) {
            outline.insert(outline.end(), {in.corners[i][0], in.corners[i][1]});
            border.insert(border.end(), {Mitre(i)[0], Mitre(i)[1]});
        }
        const double* o = in.corners[0];
        const double turn = Signed2(outline, o) > 0.0 ? -1.0 : 1.0;
        const double band = std::fabs(Signed2(border, o)) - std::fabs(Signed2(outline, o));
        double sum = 0.0;
        for (std::size_t i = 0; i < n; ++i) {
            std::vector<double> ring = {in.corners[i][0], in.corners[i][1]};
            ring.insert(ring.end(), paths[i].begin(), paths[i].end());
            const std::size_t j = (i + n - 1) % n;
            ring.insert(ring.end(), {in.corners[j][0], in.corners[j][1]});
            const double a = turn * Signed2(ring, o);
            std::vector<const double*> corners;
            for (std::size_t k = 0; k < ring.size(); k += 2)
                corners.push_back(&ring[k]);
            // A step's face is a line out to its mitre, with the points
            // where its neighbours' faces closed on it: no area to turn.
            if ((!OutlineStep(i) && a < -kZeroLength * kZeroLength) || G3RoofPlanRingCrosses(corners))
                return false;
            sum += a;
        }
        // A share of the band's area: the faces' corners are rounded once
        // each, far below it.
        return band > 0.0 && std::fabs(sum - band) <= 1e-9 * band;
    }
};

} // namespace

bool G3RoofPlanRingCrosses(const std::vector<const double*>& ring)
{
    const std::size_t n = ring.size();
    const double lo = GTolerance::kSegmentEnd, hi = 1.0 - GTolerance::kSegmentEnd;
    for (std::size_t i = 0; i < n; ++i)
        for (std::size_t j = i + 2; j < n; ++j) {
            if ((j + 1) % n == i)
                continue;
            double t = 0.0, u = 0.0;
            if (G3LineTest(ring[i], ring[(i + 1) % n], ring[j], ring[(j + 1) % n], &t, &u) && t > lo && t < hi &&
                u > lo && u < hi)
                return true;
        }
    return false;
}

bool G3RoofBandFaces(const G3RoofBandInput& in, std::vector<std::vector<double>>& paths)
{
    if (in.planes.size() != in.corners.size() || in.vertical.size() != in.corners.size() ||
        in.mitres.size() != 2 * in.corners.size())
        return false;
    return Band(in).Run(paths);
}
