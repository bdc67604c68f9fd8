#include "Geometry/mesh/G3EdgeGeometry.h"

#include <utility>

G_DEFINE_POOL(G3EdgeGeometry, "G3EdgeGeometry", 65536)

G3Normal*& G3EdgeGeometry::NormalSlot(int side, int end)
{
    if (side == 0)
        return end == 0 ? facet1V1Normal : facet1V2Normal;
    return end == 0 ? facet2V1Normal : facet2V2Normal;
}

G3TexCoo*& G3EdgeGeometry::TexCooSlot(int side, int end)
{
    if (side == 0)
        return end == 0 ? facet1V1TexCoo : facet1V2TexCoo;
    return end == 0 ? facet2V1TexCoo : facet2V2TexCoo;
}

G3Normal* G3EdgeGeometry::Get(int side, int end, G3TexCoo** t) const
{
    if (side == 0) {
        if (t)
            *t = end == 0 ? facet1V1TexCoo : facet1V2TexCoo;
        return end == 0 ? facet1V1Normal : facet1V2Normal;
    }
    if (t)
        *t = end == 0 ? facet2V1TexCoo : facet2V2TexCoo;
    return end == 0 ? facet2V1Normal : facet2V2Normal;
}

void G3EdgeGeometry::Set(int side, int end, G3Normal* n, G3TexCoo* t)
{
    NormalSlot(side, end) = n;
    TexCooSlot(side, end) = t;
}

void G3EdgeGeometry::SwapVertex()
{
    std::swap(facet1V1Normal, facet1V2Normal);
    std::swap(facet2V1Normal, facet2V2Normal);
    std::swap(facet1V1TexCoo, facet1V2TexCoo);
    std::swap(facet2V1TexCoo, facet2V2TexCoo);
}

void G3EdgeGeometry::Copy(GObj* source)
{
    const G3EdgeGeometry* g = dynamic_cast<const G3EdgeGeometry*>(source);
    if (!g || g == this)
        return;
    facet1V1Normal = g->facet1V1Normal;
    facet1V2Normal = g->facet1V2Normal;
    facet2V1Normal = g->facet2V1Normal;
    facet2V2Normal = g->facet2V2Normal;
    facet1V1TexCoo = g->facet1V1TexCoo;
    facet1V2TexCoo = g->facet1V2TexCoo;
    facet2V1TexCoo = g->facet2V1TexCoo;
    facet2V2TexCoo = g->facet2V2TexCoo;
}

G3EdgeGeometry* G3EdgeGeometry::Duplicate()
{
    G3EdgeGeometry* copy = new G3EdgeGeometry();
    copy->Copy(this);
    return copy;
}
