#pragma once
// The corner data an edge carries for the (at most two) facets on its sides:
// for facet side K (1 or 2) and edge end J (vertex1 or vertex2), the normal
// and texture coordinate of facet K at vertex J. Nothing here is owned.

#include "Geometry/foundation/GHeap.h"
#include "Geometry/foundation/GObj.h"

class G3Normal;
class G3TexCoo;

class G3EdgeGeometry : public GObj {
    G_DECLARE_POOL(G3EdgeGeometry)
public:
    G3EdgeGeometry() = default;

    // Copies the eight pointers when `source` is a G3EdgeGeometry.
    void Copy(GObj* source) override;
    G3EdgeGeometry* Duplicate() override;

    G3Normal* GetFacet1V1(G3TexCoo** t) const { return Get(0, 0, t); }
    G3Normal* GetFacet1V2(G3TexCoo** t) const { return Get(0, 1, t); }
    G3Normal* GetFacet2V1(G3TexCoo** t) const { return Get(1, 0, t); }
    G3Normal* GetFacet2V2(G3TexCoo** t) const { return Get(1, 1, t); }
    void SetFacet1V1(G3Normal* n, G3TexCoo* t) { Set(0, 0, n, t); }
    void SetFacet1V2(G3Normal* n, G3TexCoo* t) { Set(0, 1, n, t); }
    void SetFacet2V1(G3Normal* n, G3TexCoo* t) { Set(1, 0, n, t); }
    void SetFacet2V2(G3Normal* n, G3TexCoo* t) { Set(1, 1, n, t); }

    // Corner of side `side` (0 for facet1, 1 for facet2) at end `end` (0 for
    // vertex1, 1 for vertex2); `t` may be null when only the normal is wanted.
    G3Normal* Get(int side, int end, G3TexCoo** t) const;
    void Set(int side, int end, G3Normal* n, G3TexCoo* t);

    // Exchanges the vertex1 and vertex2 corners of both sides.
    void SwapVertex();

    G3Normal* facet1V1Normal = nullptr;
    G3Normal* facet1V2Normal = nullptr;
    G3Normal* facet2V1Normal = nullptr;
    G3Normal* facet2V2Normal = nullptr;
    G3TexCoo* facet1V1TexCoo = nullptr;
    G3TexCoo* facet1V2TexCoo = nullptr;
    G3TexCoo* facet2V1TexCoo = nullptr;
    G3TexCoo* facet2V2TexCoo = nullptr;

private:
    G3Normal*& NormalSlot(int side, int end);
    G3TexCoo*& TexCooSlot(int side, int end);
};
