#pragma once
// Point-like entities: G3Point (a position) and G3Normal (a direction, which
// shares the point pool since it adds no fields). The three coordinates are
// one array so that GetXYZ() hands them out as double[3].

#include "Geometry/foundation/GHeap.h"
#include "Geometry/mesh/G3Obj.h"

class G3Point : public G3Obj {
    G_DECLARE_POOL(G3Point)
public:
    // Coordinates start at 0 wherever the object lives (pool, arena, stack).
    G3Point() = default;
    // +inf and NaN coordinates are stored as 0 (the guard against bad input);
    // -inf and every finite value are stored unchanged.
    explicit G3Point(const double* xyz, unsigned long tag = 0);
    G3Point(double x, double y, double z, unsigned long tag = 0);

    using G3Obj::Copy;
    // G3Obj::Copy, then the coordinates.
    virtual void Copy(G3Obj* source);
    // Distance to `xyz` strictly less than `tolerance` (1e-6 by default).
    virtual bool Equals(const double* xyz, double tolerance) const;
    virtual bool Equals(const double* xyz) const;
    // `other` must be a G3Point (or derived); anything else compares unequal.
    virtual bool Equals(const GObj* other, double tolerance) const;
    virtual bool Equals(const GObj* other) const;

    static bool Equals(const double* a, const double* b);
    static bool Equals(const double* a, const double* b, double tolerance);

    double* GetXYZ() { return xyz; }
    const double* GetXYZ() const { return xyz; }
    double* GetCoo() { return xyz; }
    const double* GetCoo() const { return xyz; }
    // Coordinate i (0 to 2); 0 for any other index.
    double GetXYZ(int i) const { return i >= 0 && i < 3 ? xyz[i] : 0.0; }
    double GetX() const { return xyz[0]; }
    double GetY() const { return xyz[1]; }
    double GetZ() const { return xyz[2]; }
    void SetX(double v) { xyz[0] = v; }
    void SetY(double v) { xyz[1] = v; }
    void SetZ(double v) { xyz[2] = v; }
    void Set(const double* p)
    {
        xyz[0] = p[0];
        xyz[1] = p[1];
        xyz[2] = p[2];
    }
    void Negate()
    {
        xyz[0] = -xyz[0];
        xyz[1] = -xyz[1];
        xyz[2] = -xyz[2];
    }

    // The value stored for an incoming coordinate (see the constructors).
    static double Sanitize(double v);

protected:
    double xyz[3] = {0.0, 0.0, 0.0};
};

// A direction, typically of unit length. Served from the G3Point pool.
class G3Normal : public G3Point {
public:
    G3Normal() = default;
    explicit G3Normal(const double* xyz, unsigned long tag = 0) : G3Point(xyz, tag) {}
    G3Normal(double x, double y, double z, unsigned long tag = 0) : G3Point(x, y, z, tag) {}

    // Applies the linear part of the row-vector matrix `m` (its upper 3x3
    // block); the translation row is ignored and the result is not
    // renormalised.
    void RealTransformation(double m[4][4]);
};
