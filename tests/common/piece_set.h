#pragma once
// Random surfaces of several pieces placed as buildings place them (boxes,
// prisms, open boxes and small sheets; apart, touching along an edge or at a
// corner, some sharing vertices, some with vertices within the weld's reach
// of a neighbour's), with duplicate corners, facets wound either way, corner
// normals and texture coordinates here and there and sometimes a loose edge;
// and a surface's full text for comparing two roads to the same pieces.

#include "common/fingerprint.h"

#include "Geometry/mesh/G3Edge.h"
#include "Geometry/mesh/G3Point.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/mesh/G3TexCoo.h"
#include "Geometry/mesh/G3Vertex.h"

#include <array>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace testmesh {

inline void AddRandomPieces(G3Surface& s, std::mt19937& g)
{
    using Q = std::array<double, 3>;
    std::map<Q, G3Vertex*> shared; // the first vertex made at each point
    const bool soup = g() % 3 == 0;
    // A corner: a vertex of the piece's own, the first one made at the point
    // (also another piece's), or a new one beside it (a duplicate).
    auto corner = [&](const Q& p, std::map<Q, G3Vertex*>& own) -> G3Vertex* {
        const unsigned pick = g() % 8;
        if (pick == 0 || soup)
            return s.AddVertex(p[0], p[1], p[2], 0);
        if (pick == 1 && shared.count(p))
            return shared[p];
        if (!own.count(p)) {
            own[p] = s.AddVertex(p[0], p[1], p[2], 0);
            shared.emplace(p, own[p]);
        }
        return own[p];
    };
    const int pieces = 3 + static_cast<int>(g() % 6);
    Q at{0.0, 0.0, 0.0};
    for (int k = 0; k < pieces; ++k) {
        // Next to the previous piece: apart, along an edge, at a corner, or
        // near a corner within the weld's reach.
        const unsigned place = g() % 4;
        const double nudge = place == 3 ? 0.4e-6 * (1.0 + g() % 2) : 0.0;
        at = {at[0] + (place == 0 ? 2.0 : 1.0) + nudge, at[1] + (place == 0 ? 0.0 : 1.0), at[2] + (place >= 2 ? 1.0 : 0.0)};
        const double h = 1.0 + g() % 2;
        std::vector<std::vector<Q>> faces;
        auto box = [&](double x, double y, double z) {
            return Q{at[0] + x, at[1] + y, at[2] + z * h};
        };
        const int kind = static_cast<int>(g() % 5);
        if (kind <= 2) {
            const int q[6][4] = {{0, 2, 3, 1}, {4, 5, 7, 6}, {0, 1, 5, 4}, {2, 6, 7, 3}, {0, 4, 6, 2}, {1, 3, 7, 5}};
            const int open = kind == 2 ? 1 + static_cast<int>(g() % 3) : 0;
            for (int f = open; f < 6; ++f) {
                std::vector<Q> c;
                for (int i : q[f])
                    c.push_back(box(i & 1, (i >> 1) & 1, (i >> 2) & 1));
                if (kind == 1) {
                    faces.push_back({c[0], c[1], c[2]});
                    faces.push_back({c[0], c[2], c[3]});
                } else {
                    faces.push_back(c);
                }
            }
        } else if (kind == 3) { // a triangular prism
            const Q a0 = box(0, 0, 0), b0 = box(1, 0, 0), c0 = box(0, 1, 0);
            const Q a1 = box(0, 0, 1), b1 = box(1, 0, 1), c1 = box(0, 1, 1);
            faces = {{a0, c0, b0}, {a1, b1, c1}, {a0, b0, b1, a1}, {b0, c0, c1, b1}, {c0, a0, a1, c1}};
        } else { // a sheet of one to three quads
            const int n = 1 + static_cast<int>(g() % 3);
            for (int i = 0; i < n; ++i)
                faces.push_back({box(0, i / 3.0, 0), box(1, i / 3.0, 0), box(1, (i + 1) / 3.0, 0), box(0, (i + 1) / 3.0, 0)});
        }
        std::map<Q, G3Vertex*> own;
        for (std::vector<Q>& f : faces) {
            if (g() % 5 == 0)
                std::reverse(f.begin(), f.end());
            std::vector<G3Vertex*> v;
            std::vector<G3Normal*> n;
            std::vector<G3TexCoo*> t;
            const bool withNormals = g() % 3 == 0, withTexCoos = g() % 3 == 0;
            for (const Q& p : f) {
                v.push_back(corner(p, own));
                n.push_back(withNormals && g() % 4 ? s.AddNormal(0.0, 0.0, g() % 2 ? 1.0 : -1.0) : nullptr);
                t.push_back(withTexCoos && g() % 4 ? s.AddTexCoo(p[0], p[1] + g() % 2) : nullptr);
            }
            s.AddFacet(static_cast<int>(v.size()), v.data(), 1 + static_cast<int>(g() % 2), n.data(), t.data());
        }
    }
    if (g() % 2 && s.GetVertexCount() > 1) {
        G3Vertex* a = s.GetVertex(static_cast<int>(g() % s.GetVertexCount()));
        G3Vertex* b = s.AddVertex(a->GetX() + 0.5, a->GetY() + 0.25, a->GetZ() + 3.0, 0);
        s.AddEdge(a, b, nullptr);
    }
}

// Fingerprint, with every coordinate to the last bit and the vertex rings.
inline std::string FullText(G3Surface* s)
{
    std::ostringstream out;
    out << Fingerprint(s) << std::hexfloat;
    for (int i = 0; i < s->GetVertexCount(); ++i) {
        const G3Vertex* v = s->GetVertex(i);
        out << "V " << v->GetX() << " " << v->GetY() << " " << v->GetZ() << " :";
        for (const G3Edge* e = v->GetFirstEdge(); e; e = e->GetVertexEdge(v))
            out << " " << e->GetId();
        out << "\n";
    }
    for (int i = 0; i < s->GetNormalCount(); ++i) {
        const G3Normal* n = s->G3Shell::GetNormal(i);
        out << "N " << n->GetX() << " " << n->GetY() << " " << n->GetZ() << " " << n->GetFlags() << "\n";
    }
    for (int i = 0; i < s->GetTexCooCount(); ++i)
        out << "T " << s->GetTexCoo(i)->GetU() << " " << s->GetTexCoo(i)->GetV() << " " << s->GetTexCoo(i)->GetFlags()
            << "\n";
    return out.str();
}

} // namespace testmesh
