#pragma once
// A texture coordinate (u, v). Like normals, texture coordinates belong to
// facet corners and are stored on the edges (G3EdgeGeometry); one object may
// serve many corners.

#include "Geometry/foundation/GHeap.h"
#include "Geometry/math/GTolerance.h"
#include "Geometry/mesh/G3Obj.h"

class G3TexCoo : public G3Obj {
    G_DECLARE_POOL(G3TexCoo)
public:
    G3TexCoo() = default;
    // +inf and NaN components are stored as 0, as G3Point does.
    explicit G3TexCoo(const double* uv);
    G3TexCoo(double u, double v);

    using G3Obj::Copy;
    // G3Obj::Copy, then u and v.
    virtual void Copy(G3Obj* source);

    double GetU() const { return uv[0]; }
    double GetV() const { return uv[1]; }
    void SetU(double u) { uv[0] = u; }
    void SetV(double v) { uv[1] = v; }
    void Set(const double* p)
    {
        uv[0] = p[0];
        uv[1] = p[1];
    }
    double* GetUV() { return uv; }
    const double* GetUV() const { return uv; }
    double GetUV(int i) const { return i == 0 || i == 1 ? uv[i] : 0.0; }

    // Planar distance strictly less than `tolerance` (1e-6 by default).
    bool Equals(const G3TexCoo* other, double tolerance) const;
    bool Equals(const G3TexCoo* other) const { return Equals(other, GTolerance::kPointEqual); }

protected:
    double uv[2] = {0.0, 0.0};
};
