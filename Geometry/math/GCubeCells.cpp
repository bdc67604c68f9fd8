#include "Geometry/math/GCubeCells.h"

#include <cmath>

double GCubeCellSide(const double extent[3], double target, double minSide, bool sized[3])
{
    for (int a = 0; a < 3; ++a)
        sized[a] = extent[a] > 0.0;
    if (!(target >= 1.0))
        target = 1.0;
    double side = 0.0;
    for (int round = 0; round < 3; ++round) {
        int k = 0;
        double logVolume = 0.0;
        for (int a = 0; a < 3; ++a)
            if (sized[a]) {
                ++k;
                logVolume += std::log(extent[a]);
            }
        if (k == 0)
            return 0.0;
        side = std::exp((logVolume - std::log(target)) / k);
        if (side < minSide)
            side = minSide;
        bool dropped = false;
        for (int a = 0; a < 3; ++a)
            if (sized[a] && !(extent[a] > side)) {
                sized[a] = false;
                dropped = true;
            }
        if (!dropped)
            break;
    }
    return side;
}
