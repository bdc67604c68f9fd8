#pragma once
// The crossing rule of the point-in-polygon test: one polygon step at a
// time, seen from the probe point along the ray +i on the coordinates
// (i, j). Every walk that must count exactly the crossings the facet test
// counts (the whole boundary, or only the steps an index says can matter)
// uses this one rule.

#include <cmath>

class G3Vertex;

namespace G3RayProbe {

// One polygon corner seen from the probe point along the ray.
struct Corner {
    double dx = 0.0;
    double dy = 0.0;
    int sx = 0;
    int sy = 0;
    G3Vertex* vertex = nullptr;
};

enum StepResult { STEP_NOTHING, STEP_CROSSING, STEP_ON_VERTEX, STEP_ON_EDGE };

class RayProbe {
public:
    RayProbe(int i, int j, const double* p, double tolerance) : i(i), j(j), p(p), tolerance(tolerance) {}

    Corner Make(const double* w, G3Vertex* v) const
    {
        Corner c;
        c.dx = w[i] - p[i];
        c.dy = w[j] - p[j];
        c.sx = Sign(c.dx);
        c.sy = Sign(c.dy);
        c.vertex = v;
        return c;
    }

    static bool OnPoint(const Corner& c) { return c.sx == 0 && c.sy == 0; }

    // The edge from a to b, a already known not to be the point itself.
    // A step with both ends at least the tolerance to the same side of the
    // ray's line, or both at least twice the tolerance behind the point,
    // gives STEP_NOTHING.
    StepResult Edge(const Corner& a, const Corner& b) const
    {
        if (OnPoint(b))
            return STEP_ON_VERTEX;
        if (a.sy == 0 && b.sy == 0 && a.sx != 0 && a.sx == -b.sx)
            return STEP_ON_EDGE;
        if (a.sy != 0 && a.sy == -b.sy) {
            const double x = (a.dx * b.dy - b.dx * a.dy) / (b.dy - a.dy);
            if (std::fabs(x) < tolerance || NearStep(a, b))
                return STEP_ON_EDGE;
            return x > 0.0 ? STEP_CROSSING : STEP_NOTHING;
        }
        // One end within the tolerance of the ray's line, the other off it:
        // the step may still run through the point (a slanted edge seen
        // close to its end), which the signs alone would take for a vertex
        // beside the point. Only the distance to the step itself tells: the
        // crossing of the step's line with the ray's line may lie beyond
        // the end, and a point near that extension, clear of the step, was
        // taken as on it.
        if ((a.sy == 0) != (b.sy == 0) && NearStep(a, b))
            return STEP_ON_EDGE;
        // A vertex on the ray's line counts only with the edge that goes on
        // to the positive side, so a crossing there counts once and a touch
        // from either side not at all.
        if (a.sy > 0 && b.sy == 0)
            return b.sx > 0 ? STEP_CROSSING : STEP_NOTHING;
        if (a.sy == 0 && b.sy > 0)
            return a.sx > 0 ? STEP_CROSSING : STEP_NOTHING;
        return STEP_NOTHING;
    }

private:
    // The point lies closer than the tolerance to the step a-b. The offset
    // along the ray alone is that distance divided by the sine of the
    // step's angle to the ray: a step a few degrees off the ray's direction
    // (an edge of a turned solid) had a band a tenth as wide, and a point a
    // few tenths of the tolerance beside it was taken as off the facet.
    bool NearStep(const Corner& a, const Corner& b) const
    {
        const double ex = b.dx - a.dx;
        const double ey = b.dy - a.dy;
        const double len2 = ex * ex + ey * ey;
        if (!(len2 > 0.0))
            return false;
        double t = -(a.dx * ex + a.dy * ey) / len2;
        t = t < 0.0 ? 0.0 : t > 1.0 ? 1.0 : t;
        const double fx = a.dx + t * ex;
        const double fy = a.dy + t * ey;
        return fx * fx + fy * fy < tolerance * tolerance;
    }

    int Sign(double d) const
    {
        if (std::fabs(d) < tolerance)
            return 0;
        return d >= 0.0 ? 1 : -1;
    }

    int i;
    int j;
    const double* p;
    double tolerance;
};

} // namespace G3RayProbe
