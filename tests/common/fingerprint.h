#pragma once
// A surface as text, for tests that compare two roads to the same mesh:
// the dump (topology, ids, flags, coordinates), then what the dump leaves
// out: tags, corner data by index, planes, extended data, scratch links
// and the surface's counts.

#include "Geometry/mesh/CExData.h"
#include "Geometry/mesh/G3Edge.h"
#include "Geometry/mesh/G3Facet.h"
#include "Geometry/mesh/G3Point.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/mesh/G3TexCoo.h"
#include "Geometry/mesh/G3Vertex.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

namespace testmesh {

inline std::string Fingerprint(G3Surface* s)
{
    const std::string path = "/tmp/g3-fingerprint-" + std::to_string(::getpid()) + ".txt";
    EXPECT_TRUE(s->Save(path.c_str()));
    std::ifstream in(path, std::ios::binary);
    std::stringstream out;
    out << in.rdbuf();
    std::remove(path.c_str());
    auto index = [](const G3Obj* o) { return o ? o->GetId() : -1L; };
    for (int i = 0; i < s->GetVertexCount(); ++i) {
        const G3Vertex* v = s->GetVertex(i);
        out << "v" << v->GetTag() << " " << v->GetX() << " " << v->GetY() << " " << v->GetFlags() << "\n";
    }
    for (int i = 0; i < s->GetNormalCount(); ++i)
        out << "n" << s->G3Shell::GetNormal(i)->GetTag() << " " << s->G3Shell::GetNormal(i)->GetZ() << "\n";
    for (int i = 0; i < s->GetTexCooCount(); ++i)
        out << "t" << s->GetTexCoo(i)->GetTag() << " " << s->GetTexCoo(i)->GetUV()[0] << "\n";
    for (int i = 0; i < s->GetEdgeCount(); ++i) {
        const G3Edge* e = s->GetEdge(i);
        out << "e" << e->GetTag();
        for (int side = 1; side <= 2 && e->HasGeometry(); ++side)
            for (int end = 1; end <= 2; ++end) {
                G3TexCoo* t = nullptr;
                const G3Normal* n = e->GetCorner(side, end, &t);
                out << " " << index(n) << "/" << index(t);
            }
        out << "\n";
    }
    for (int i = 0; i < s->GetFacetCount(); ++i) {
        G3Facet* f = s->GetFacet(i);
        out << "f" << f->GetTag() << std::hexfloat;
        for (int c = 0; c < 4; ++c)
            out << " " << f->GetPlane()[c];
        out << std::defaultfloat << " " << f->GetExtendedData().GetData("ZUNO_G3FACE_MATERIAL_INDEX") << " "
            << f->GetExData() << " " << (f->GetParentSurface() == s) << "\n";
    }
    out << s->PeekNextSurface() << " " << s->GetMaterialFacetsCount() << " " << s->GetSelectesFacetsCount() << " "
        << s->GetFlags() << " " << s->GetId() << "\n";
    return out.str();
}

} // namespace testmesh
