// Decomposition of G3Surface: the connected pieces of a surface, one facet
// copied into a surface of its own, planar texture coordinates.
//
// Invariants: Explode and FormFacetSurface leave this surface as they found
// it (Explode restores its ids to its places), and Explode leaves Mark3 and Mark4 clear on every facet (both marks
// are its working state between GetAllAdjacentFaces and the copies).
// GetAllAdjacentFaces leaves its marks for the caller. GenerateTexCoo keeps
// every corner's normal, a vertex the facet passes twice having one per
// pass. Nothing here rounds: coordinates are copied as they are.

#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/mesh/G3Edge.h"
#include "Geometry/mesh/G3Facet.h"
#include "Geometry/mesh/G3FacetIterators.h"
#include "Geometry/mesh/G3PassCheck.h"
#include "Geometry/mesh/G3Point.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/mesh/G3TexCoo.h"
#include "Geometry/mesh/G3Vertex.h"
#include "Geometry/processing/G3EdgeList.h"
#include "Geometry/processing/G3FacetMadeFrom.h"
#include "Geometry/processing/G3SurfacePiece.h"
#include "Geometry/processing/G3Weld.h"

#include <vector>

void G3Surface::GetAllAdjacentFaces(G3Facet* seed, GArrayCollection* out)
{
    // Another surface's facet would leave its marks on that surface.
    if (!seed || !out || seed->GetParentSurface() != this)
        return;
    seed->SetMark3();
    seed->SetMark4();
    out->add(seed);
    std::vector<G3Facet*> frontier{seed};
    std::vector<G3Facet*> next;
    while (!frontier.empty()) {
        next.clear();
        for (G3Facet* f : frontier) {
            for (G3Edge* e = f->GetFirstEdge(); e; e = e->GetFacetEdge(f)) {
                for (G3Facet* g : {e->GetFacet1(), e->GetFacet2()}) {
                    if (!g || g->GetMark3())
                        continue;
                    g->SetMark3();
                    g->SetMark4();
                    out->add(g);
                    next.push_back(g);
                }
            }
        }
        frontier.swap(next);
    }
}

namespace {

// The next piece in facet order: the facets adjacent to the first facet
// from `*from` on without Mark3 (all before it hold Mark3), found by
// GetAllAdjacentFaces (Mark3 and Mark4 set on them); false when none is left.
bool NextPiece(G3Surface* s, int n, int* from, GArrayCollection* piece)
{
    while (*from < n && s->GetFacet(*from)->GetMark3())
        ++*from;
    if (*from >= n)
        return false;
    s->GetAllAdjacentFaces(s->GetFacet(*from), piece);
    return true;
}

} // namespace

int G3Surface::Explode(GArrayCollection* out)
{
    G3_CHECK_PASS(this, "Explode");
    if (!out)
        return 0;
    if (!G3PiecesCopyAlone(this))
        return ExplodeByCopies(out);
    const int n = GetFacetCount();
    for (int i = 0; i < n; ++i)
        GetFacet(i)->ClearMark4();
    std::vector<int> representatives;
    G3PieceScratch slots;
    G3PiecePlaces places;
    bool first = true;
    int from = 0;
    for (GArrayCollection piece; NextPiece(this, n, &from, &piece); piece.clear()) {
        if (first) {
            // A whole copy restores the ids (so only once there is a
            // piece); the pieces' copies read them as places. The weld of
            // a whole copy hashes every vertex, the other pieces'
            // included: a piece's vertex may take another piece's as its
            // representative, and the answers depend on this surface alone.
            first = false;
            AssignIds();
            representatives = G3WeldRepresentatives(this);
            slots.Size(this);
        }
        G3Surface* d = CopyOfPiece(&piece, representatives, &slots, &places);
        for (int k = 0; k < piece.size(); ++k)
            static_cast<G3Facet*>(piece.get(k))->ClearMark4();
        d->RemoveEqualsVertexOfPiece(places);
        d->UpdateAfterVertexWeld();
        out->add(d);
    }
    for (int i = 0; i < n; ++i) {
        GetFacet(i)->ClearMark3();
        GetFacet(i)->ClearMark4();
    }
    return out->size();
}

int G3Surface::ExplodeByCopies(GArrayCollection* out)
{
    const int n = GetFacetCount();
    int from = 0;
    for (GArrayCollection piece;; piece.clear()) {
        for (int i = 0; i < n; ++i)
            GetFacet(i)->ClearMark4();
        if (!NextPiece(this, n, &from, &piece))
            break;
        // The copy takes the marks along: Mark4 names the piece's facets.
        G3Surface* d = Duplicate();
        for (int i = 0; i < d->GetFacetCount();) {
            G3Facet* f = d->GetFacet(i);
            if (!f->GetMark4()) {
                d->RemoveFacet(f); // the last facet moves into slot i
                continue;
            }
            f->ClearMark3();
            f->ClearMark4();
            ++i;
        }
        d->Update(CHECK_LEVEL_WELD);
        out->add(d);
    }
    for (int i = 0; i < n; ++i) {
        GetFacet(i)->ClearMark3();
        GetFacet(i)->ClearMark4();
    }
    return out->size();
}

namespace {

// One corner of a facet: its vertex and corner data, the edge leaving it.
struct Corner {
    G3Vertex* vertex;
    G3Normal* normal;
    G3TexCoo* texCoo;
    int flags;
    bool opens;  // first corner of a contour
};

} // namespace

G3Surface* G3Surface::FormFacetSurface(G3Facet* facet)
{
    if (!facet || !facet->HasEdges())
        return nullptr;
    std::vector<Corner> corners;
    for (G3ContourWalker w(facet); w.Next();) {
        // The corner itself, read off the edge leaving it: the facet's
        // GetNormal answers for the first corner at the vertex that has a
        // normal, so a corner with a texture coordinate and no normal came
        // back with neither.
        G3TexCoo* t = nullptr;
        G3Normal* nrm = w.GetEdge()->GetCorner(facet, w.GetEntry(), &t);
        const int flags = static_cast<int>(w.GetEdge()->GetFlags());
        corners.push_back({w.GetEntry(), nrm, t, flags == 0 ? 1 : flags, w.Opens()});
    }
    bool holes = false;
    for (std::size_t k = 1; k < corners.size(); ++k)
        holes = holes || corners[k].opens;

    G3Surface* s = new G3Surface();
    std::vector<G3Vertex*> v;
    std::vector<G3Normal*> normals;
    std::vector<G3TexCoo*> texCoos;
    std::vector<int> flags;
    for (const Corner& c : corners) {
        v.push_back(c.vertex ? s->AddVertex(c.vertex->GetXYZ(), 0) : nullptr);
        normals.push_back(c.normal ? s->AddNormal(c.normal) : nullptr);
        texCoos.push_back(c.texCoo ? s->AddTexCoo(c.texCoo) : nullptr);
        flags.push_back(c.flags);
    }
    {
        const FacetMadeFrom source(s, facet);
        const int n = static_cast<int>(corners.size());
        if (!holes) {
            if (n >= 3)
                s->_AddFacet(n, v.data(), flags.data(), normals.data(), texCoos.data());
        } else {
            // One edge per corner to the next corner of its own contour,
            // so that each hole stays a contour of its own.
            G3EdgeList list(0, 1);
            for (int k = 0; k < n;) {
                int end = k + 1;
                while (end < n && !corners[static_cast<std::size_t>(end)].opens)
                    ++end;
                for (int i = k; i < end; ++i) {
                    const int j = i + 1 < end ? i + 1 : k;
                    list.AddEdge(v[i], v[j], normals[i], normals[j], texCoos[i], texCoos[j], flags[i]);
                }
                k = end;
            }
            s->AddFacet(&list, 0, s->GetSurface());
        }
    }
    // A contour of fewer than three corners (or contours the list does not
    // take) makes no facet: a surface of loose vertices is no copy of it.
    if (s->GetFacetCount() == 0) {
        delete s;
        return nullptr;
    }
    s->ReallocByRealSize();
    return s;
}

void G3Surface::GenerateTexCoo(TEXTURE_PROJECTION_MODE)
{
    G3_CHECK_PASS(this, "GenerateTexCoo");
    for (int k = 0; k < GetFacetCount(); ++k) {
        G3Facet* f = GetFacet(k);
        int i = 0, j = 1;
        f->GetMaxCoo(&i, &j);
        // Corner by corner: the edge leaving each corner and the edge
        // entering it (the one before in its contour, the contour's last
        // for its first). A facet passing a vertex twice (a hole touching
        // the outline or another hole there) has a corner data pair per
        // pass; read and written through the vertex's whole ring, one
        // pass's normal went to both.
        std::vector<G3Edge*> edges;
        std::vector<G3Vertex*> entries;
        std::vector<bool> opens;  // the corner is its loop's first (OpensLoop)
        for (G3ContourWalker w(f); w.Next();) {
            edges.push_back(w.GetEdge());
            entries.push_back(w.GetEntry());
            opens.push_back(w.OpensLoop() || opens.empty());
        }
        std::size_t last = 0;  // the last edge of the current contour
        for (std::size_t c = 0; c < edges.size(); ++c) {
            if (opens[c])
                for (last = c; last + 1 < edges.size() && !opens[last + 1];)
                    ++last;
            G3Vertex* v = entries[c];
            if (!v)
                continue;
            G3Edge* leaving = edges[c];
            G3Edge* entering = opens[c] ? edges[last] : edges[c - 1];
            // The corner's normal as the ring gives it first (both edges
            // hold the same one unless the data disagree).
            G3Normal* n = nullptr;
            for (G3Edge* e = v->GetFirstEdge(); e && !n; e = e->GetVertexEdge(v))
                if (e == leaving || e == entering)
                    n = e->GetCorner(f, v, nullptr);
            G3TexCoo* t = AddTexCoo(v->GetXYZ()[i], v->GetXYZ()[j]);
            leaving->SetCorner(f, v, n, t);
            entering->SetCorner(f, v, n, t);
        }
    }
    RemoveUnusedTexCoo();
}
