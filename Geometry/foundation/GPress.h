#pragma once
// A process-wide minimum drawing size, set once by the host.

class GPress {
public:
    // minsize = sqrt(2) / scale for scale >= 1e-6, sqrt(2) otherwise.
    static bool init(double scale);
    static double MINSIZE2() { return minsize; }
    static double getSizeXY(double x1, double y1, double x2, double y2);

private:
    static double minsize;
};
