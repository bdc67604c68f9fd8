#include "Geometry/mesh/G3Shell.h"

#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/foundation/GMemoryAllocator.h"
#include "Geometry/math/GEnvelope.h"
#include "Geometry/mesh/G3Edge.h"
#include "Geometry/mesh/G3Facet.h"
#include "Geometry/mesh/G3PassCheck.h"
#include "Geometry/mesh/G3Point.h"
#include "Geometry/mesh/G3PolyEdge.h"
#include "Geometry/mesh/G3SparseSet.h"
#include "Geometry/mesh/G3TexCoo.h"
#include "Geometry/mesh/G3Vertex.h"

#include <utility>

namespace {

int SizeOf(const GArrayCollection* c) { return c ? c->size() : 0; }

template <class T>
T* At(const GArrayCollection* c, int i)
{
    if (!c || i < 0 || i >= c->size())
        return nullptr;
    return static_cast<T*>(c->get(i));
}

// The slot of `obj` in `c`: its id when that slot holds it (the invariant),
// else a search; -1 when it is not there.
int SlotOf(const GArrayCollection* c, G3Obj* obj)
{
    if (!c || !obj)
        return -1;
    const long id = obj->GetId();
    if (id >= 0 && id < c->size() && c->get(static_cast<int>(id)) == obj)
        return static_cast<int>(id);
    return c->index(obj);
}

// Moves the last entity into slot `i` (giving it the id i) and drops the
// last slot.
void Unlist(GArrayCollection* c, int i)
{
    G3Obj* last = static_cast<G3Obj*>(c->getLast());
    c->put(i, last);
    last->SetId(i);
    c->removeLast();
}

template <class T>
void DeleteAll(GArrayCollection*& c)
{
    if (!c)
        return;
    for (int i = 0; i < c->size(); ++i)
        delete static_cast<T*>(c->get(i));
    delete c;
    c = nullptr;
}

// The 32-bit flag masks of the interfaces, applied to the long flags word
// without sign extension.
long MaskOf(int mask) { return static_cast<long>(static_cast<unsigned int>(mask)); }

// One entity kind of the shell: its collection and the provider hooks for
// it. The hooks are called through the pointers, so the shell's own
// overrides (which also reach the object providers) answer for the shell
// and an attached provider's for that provider. Every per-kind operation
// below is one body over such a kind.
template <class T>
struct Kind {
    GArrayCollection* (G3Shell::*list)() const;
    void (G3ShellExDataProvider::*open)(T*);
    void (G3ShellExDataProvider::*close)(T*);
    bool (G3ShellExDataProvider::*is)();
};

using P = G3ShellExDataProvider;
const Kind<G3Vertex> kVertices{&G3Shell::GetVertexList, &P::OpenExDataVertex, &P::CloseExDataVertex,
                               &P::IsExDataVertex};
const Kind<G3Normal> kNormals{&G3Shell::GetNormalList, &P::OpenExDataNormal, &P::CloseExDataNormal,
                              &P::IsExDataNormal};
const Kind<G3TexCoo> kTexCoos{&G3Shell::GetTexCooList, &P::OpenExDataTexCoo, &P::CloseExDataTexCoo,
                              &P::IsExDataTexCoo};
const Kind<G3Edge> kEdges{&G3Shell::GetEdgeList, &P::OpenExDataEdge, &P::CloseExDataEdge, &P::IsExDataEdge};
const Kind<G3Facet> kFacets{&G3Shell::GetFacetList, &P::OpenExDataFacet, &P::CloseExDataFacet, &P::IsExDataFacet};
const Kind<G3PolyEdge> kPolyEdges{&G3Shell::GetPolyEdgeList, &P::OpenExDataPolyEdge, &P::CloseExDataPolyEdge,
                                  &P::IsExDataPolyEdge};

// id = the collection's size, append, the shell's open hook.
template <class T>
T* AddTo(G3Shell* s, const Kind<T>& k, T* e)
{
    GArrayCollection* c = (s->*k.list)();
    if (!e || !c)
        return nullptr;
    e->SetId(c->size());
    c->add(e);
    (s->*k.open)(e);
    return e;
}

// Unlists e (the last entity takes its slot and id) and calls the shell's
// close hook; false when e is not in the collection.
template <class T>
bool RemoveFrom(G3Shell* s, const Kind<T>& k, T* e)
{
    GArrayCollection* c = (s->*k.list)();
    const int i = SlotOf(c, e);
    if (i < 0)
        return false;
    Unlist(c, i);
    (s->*k.close)(e);
    return true;
}

template <class T>
bool RemoveAndDelete(G3Shell* s, const Kind<T>& k, T* e)
{
    if (!RemoveFrom(s, k, e))
        return false;
    delete e;
    return true;
}

// The provider's open (close) hook for every entity of the kind, when the
// provider takes that kind.
template <class T>
void HookAll(G3ShellExDataProvider* p, const G3Shell* s, const Kind<T>& k, bool open)
{
    if (!(p->*k.is)())
        return;
    const GArrayCollection* c = (s->*k.list)();
    for (int i = 0; i < SizeOf(c); ++i)
        (p->*(open ? k.open : k.close))(static_cast<T*>(c->get(i)));
}

void HookAllKinds(G3ShellExDataProvider* p, const G3Shell* s, bool open)
{
    if (!p)
        return;
    HookAll(p, s, kVertices, open);
    HookAll(p, s, kNormals, open);
    HookAll(p, s, kTexCoos, open);
    HookAll(p, s, kEdges, open);
    HookAll(p, s, kFacets, open);
    HookAll(p, s, kPolyEdges, open);
}

// The saved state of a facet during a preview transformation: its plane
// and the scratch link it had before. A facet that entered the shell while
// the preview was open has no plane from before it: it is formed again from
// its restored vertices at close (its plane at entry may not even be formed
// yet, or be formed from previewed positions).
class G3SavedPlane : public GObj {
public:
    double plane[4] = {0.0, 0.0, 0.0, 0.0};
    GObj* previousExData = nullptr;
    bool formAtClose = false;
};

} // namespace

// The provider behind OpenTransformation ... CloseTransformation. For every
// accepted vertex and normal it keeps, in its arena, a point holding the
// original coordinates and the entity's previous scratch link; for every
// accepted facet a G3SavedPlane. The entity's scratch link points to its
// saved state while the provider is attached. The saved points take no
// share of any key map, so the arena can go without running destructors.
class G3TransformationProvider : public G3ShellExDataProvider {
public:
    G3TransformationProvider(bool vertices, bool normals) : acceptVertices(vertices), acceptNormals(normals) {}

    bool IsExDataVertex() override { return acceptVertices; }
    bool IsExDataFacet() override { return acceptVertices; }
    bool IsExDataNormal() override { return acceptNormals; }

    void OpenExDataVertex(G3Vertex* v) override
    {
        if (acceptVertices && v)
            v->SetExData(Save(v));
    }
    void OpenExDataNormal(G3Normal* n) override
    {
        if (acceptNormals && n)
            n->SetExData(Save(n));
    }
    void OpenExDataFacet(G3Facet* f) override
    {
        if (!acceptVertices || !f)
            return;
        G3SavedPlane* s = new (&arena) G3SavedPlane();
        for (int k = 0; k < 4; ++k)
            s->plane[k] = f->GetPlane()[k];
        s->previousExData = f->GetExData();
        s->formAtClose = opened;
        f->SetExData(s);
    }
    void CloseExDataVertex(G3Vertex* v) override
    {
        if (acceptVertices && v)
            Restore(v, restoreGeometry);
    }
    void CloseExDataNormal(G3Normal* n) override
    {
        if (acceptNormals && n)
            Restore(n, restoreGeometry);
    }
    void CloseExDataFacet(G3Facet* f) override
    {
        if (!acceptVertices || !f)
            return;
        G3SavedPlane* s = static_cast<G3SavedPlane*>(f->GetExData());
        if (!s)
            return;
        // The shell closes vertices before facets, so a facet formed here
        // sees its vertices restored.
        if (restoreGeometry && !s->formAtClose)
            f->SetPlane(s->plane);
        else if (restoreGeometry && f->HasEdges())
            f->FormPlaneEquation();
        f->SetExData(s->previousExData);
    }

    // The saved coordinates of a vertex or normal opened by this provider.
    static const G3Point* Saved(const G3Point* p) { return static_cast<const G3Point*>(p->GetExData()); }

    // Whether this provider saves the state of such an entity.
    bool Tracks(const G3Vertex*) const { return acceptVertices; }
    bool Tracks(const G3Normal*) const { return acceptNormals; }
    bool Tracks(const G3Facet*) const { return acceptVertices; }

    // The scratch link a tracked entity had before it was opened, which its
    // saved state keeps; SetOwnLink replaces it there.
    static GObj* OwnLink(const G3Point* p)
    {
        const G3Point* s = Saved(p);
        return s ? s->GetExData() : nullptr;
    }
    static GObj* OwnLink(const G3Facet* f)
    {
        const G3SavedPlane* s = static_cast<const G3SavedPlane*>(f->GetExData());
        return s ? s->previousExData : nullptr;
    }
    static void SetOwnLink(G3Point* p, GObj* link)
    {
        if (G3Point* s = static_cast<G3Point*>(p->GetExData()))
            s->SetExData(link);
    }
    static void SetOwnLink(G3Facet* f, GObj* link)
    {
        if (G3SavedPlane* s = static_cast<G3SavedPlane*>(f->GetExData()))
            s->previousExData = link;
    }

    bool acceptVertices;
    bool acceptNormals;
    // Close hooks restore coordinates and planes (CloseTransformation); when
    // false they only give the scratch links back (a provider taken off
    // without closing, which keeps the previewed state).
    bool restoreGeometry = true;
    // Set once the entities present at OpenTransformation are opened: what
    // opens after that entered the shell during the preview.
    bool opened = false;

private:
    G3Point* Save(G3Point* p)
    {
        G3Point* s = new (&arena) G3Point();
        s->Set(p->GetXYZ());
        s->SetExData(p->GetExData());
        return s;
    }
    static void Restore(G3Point* p, bool geometry)
    {
        const G3Point* s = Saved(p);
        if (!s)
            return;
        if (geometry)
            p->Set(s->GetXYZ());
        p->SetExData(s->GetExData());
    }

    GMemoryAllocator arena;
};

// ------------------------------------------------------------ construction

G3Shell::G3Shell() { vertices = new GArrayCollection(); }

G3Shell::G3Shell(int n) { vertices = new GArrayCollection(n > 0 ? n : 0, 1024); }

G3Shell::~G3Shell()
{
    DeleteAll<G3Vertex>(vertices);
    DeleteAll<G3Normal>(normals);
    DeleteAll<G3TexCoo>(texCoos);
    DeleteAll<G3Edge>(edges);
    DeleteAll<G3Facet>(facets);
    DeleteAll<G3PolyEdge>(polyEdges);
    delete polyEdgeVertices;
    polyEdgeVertices = nullptr;
    delete exDataProvider;
    exDataProvider = nullptr;
}

void G3Shell::Copy(GObj*) {}

// ------------------------------------------------------------ collections

int G3Shell::GetVertexCount() const { return SizeOf(vertices); }
int G3Shell::GetNormalCount() const { return SizeOf(normals); }
int G3Shell::GetTexCooCount() const { return SizeOf(texCoos); }
int G3Shell::GetEdgeCount() const { return SizeOf(edges); }
int G3Shell::GetPolyEdgeCount() const { return SizeOf(polyEdges); }
int G3Shell::GetFacetCount() const { return SizeOf(facets); }

G3Vertex* G3Shell::GetVertex(int i) const { return At<G3Vertex>(vertices, i); }
G3Normal* G3Shell::GetNormal(int i) const { return At<G3Normal>(normals, i); }
G3TexCoo* G3Shell::GetTexCoo(int i) const { return At<G3TexCoo>(texCoos, i); }
G3Edge* G3Shell::GetEdge(int i) const { return At<G3Edge>(edges, i); }
G3Facet* G3Shell::GetFacet(int i) const { return At<G3Facet>(facets, i); }
G3PolyEdge* G3Shell::GetPolyEdge(int i) const { return At<G3PolyEdge>(polyEdges, i); }

void G3Shell::SwapCollections(G3Shell& other)
{
    std::swap(vertices, other.vertices);
    std::swap(normals, other.normals);
    std::swap(facets, other.facets);
    std::swap(edges, other.edges);
    std::swap(texCoos, other.texCoos);
    std::swap(polyEdges, other.polyEdges);
    std::swap(polyEdgeVertices, other.polyEdgeVertices);
}

// ------------------------------------------------------------ shell provider

void G3Shell::SetExDataProvider(G3ShellExDataProvider* p)
{
    if (p == exDataProvider)
        return;
    RemoveExDataProvider();
    exDataProvider = p;
}

void G3Shell::RemoveExDataProvider()
{
    if (!exDataProvider)
        return;
    // A preview provider holds the scratch links of the entities it opened;
    // give them back before its arena goes, so none is left pointing into
    // freed memory.
    if (G3TransformationProvider* t = dynamic_cast<G3TransformationProvider*>(exDataProvider)) {
        t->restoreGeometry = false;
        CloseExData();
    }
    delete exDataProvider;
    exDataProvider = nullptr;
}

// OpenExData and CloseExData call the attached provider's hooks directly:
// the shell's own facet and polyedge hooks would also reopen every object
// provider's record, overwriting what the entities already carry.
void G3Shell::OpenExData() { HookAllKinds(exDataProvider, this, true); }

void G3Shell::CloseExData() { HookAllKinds(exDataProvider, this, false); }

namespace {

// A shell hook passed on to the attached provider, when there is one.
template <class T>
void Forward(G3ShellExDataProvider* p, void (G3ShellExDataProvider::*hook)(T*), T* e)
{
    if (p)
        (p->*hook)(e);
}

} // namespace

void G3Shell::OpenExDataVertex(G3Vertex* v) { Forward(exDataProvider, kVertices.open, v); }
void G3Shell::CloseExDataVertex(G3Vertex* v) { Forward(exDataProvider, kVertices.close, v); }
void G3Shell::OpenExDataNormal(G3Normal* n) { Forward(exDataProvider, kNormals.open, n); }
void G3Shell::CloseExDataNormal(G3Normal* n) { Forward(exDataProvider, kNormals.close, n); }
void G3Shell::OpenExDataTexCoo(G3TexCoo* t) { Forward(exDataProvider, kTexCoos.open, t); }
void G3Shell::CloseExDataTexCoo(G3TexCoo* t) { Forward(exDataProvider, kTexCoos.close, t); }
void G3Shell::OpenExDataEdge(G3Edge* e) { Forward(exDataProvider, kEdges.open, e); }
void G3Shell::CloseExDataEdge(G3Edge* e) { Forward(exDataProvider, kEdges.close, e); }
void G3Shell::CloseExDataFacet(G3Facet* f) { Forward(exDataProvider, kFacets.close, f); }
void G3Shell::CloseExDataPolyEdge(G3PolyEdge* p) { Forward(exDataProvider, kPolyEdges.close, p); }

// Facets and polyedges entering the shell also open the object providers'
// records on them.
void G3Shell::OpenExDataFacet(G3Facet* f)
{
    Forward(exDataProvider, kFacets.open, f);
    ProviderOpenExData(f);
}

void G3Shell::OpenExDataPolyEdge(G3PolyEdge* p)
{
    Forward(exDataProvider, kPolyEdges.open, p);
    ProviderOpenExData(p);
}

bool G3Shell::IsExDataEdge() { return exDataProvider && exDataProvider->IsExDataEdge(); }
bool G3Shell::IsExDataVertex() { return exDataProvider && exDataProvider->IsExDataVertex(); }
bool G3Shell::IsExDataNormal() { return exDataProvider && exDataProvider->IsExDataNormal(); }
bool G3Shell::IsExDataTexCoo() { return exDataProvider && exDataProvider->IsExDataTexCoo(); }
bool G3Shell::IsExDataFacet() { return exDataProvider && exDataProvider->IsExDataFacet(); }
bool G3Shell::IsExDataPolyEdge() { return exDataProvider && exDataProvider->IsExDataPolyEdge(); }

namespace {

// The own link of a vertex, normal or facet (see GetOwnExData), read or
// written through the open preview when it tracks that kind.
template <class E>
GObj* OwnExDataOf(const G3ShellExDataProvider* p, const E* e)
{
    const G3TransformationProvider* t = dynamic_cast<const G3TransformationProvider*>(p);
    return t && t->Tracks(e) ? G3TransformationProvider::OwnLink(e) : e->GetExData();
}

template <class E>
void SetOwnExDataOf(const G3ShellExDataProvider* p, E* e, GObj* link)
{
    const G3TransformationProvider* t = dynamic_cast<const G3TransformationProvider*>(p);
    if (t && t->Tracks(e))
        G3TransformationProvider::SetOwnLink(e, link);
    else
        e->SetExData(link);
}

} // namespace

GObj* G3Shell::GetOwnExData(const G3Vertex* v) const { return OwnExDataOf(exDataProvider, v); }
GObj* G3Shell::GetOwnExData(const G3Normal* n) const { return OwnExDataOf(exDataProvider, n); }
GObj* G3Shell::GetOwnExData(const G3Facet* f) const { return OwnExDataOf(exDataProvider, f); }
void G3Shell::SetOwnExData(G3Vertex* v, GObj* link) { SetOwnExDataOf(exDataProvider, v, link); }
void G3Shell::SetOwnExData(G3Normal* n, GObj* link) { SetOwnExDataOf(exDataProvider, n, link); }
void G3Shell::SetOwnExData(G3Facet* f, GObj* link) { SetOwnExDataOf(exDataProvider, f, link); }

// ------------------------------------------------------------ adding

G3Vertex* G3Shell::AddVertex(const double* xyz, unsigned long tag)
{
    if (!vertices || !xyz)
        return nullptr;
    return AddVertexToCollection(new G3Vertex(xyz, tag));
}

G3Vertex* G3Shell::AddVertex(double x, double y, double z, unsigned long tag)
{
    if (!vertices)
        return nullptr;
    return AddVertexToCollection(new G3Vertex(x, y, z, tag));
}

G3Normal* G3Shell::AddNormal(const double* xyz)
{
    if (!normals || !xyz)
        return nullptr;
    return AddNormalToCollection(new G3Normal(xyz));
}

G3Normal* G3Shell::AddNormal(double x, double y, double z)
{
    if (!normals)
        return nullptr;
    return AddNormalToCollection(new G3Normal(x, y, z));
}

G3Normal* G3Shell::AddNormal(const G3Normal* n)
{
    if (!n)
        return nullptr;
    return AddNormal(n->GetXYZ());
}

G3TexCoo* G3Shell::AddTexCoo(const double* uv)
{
    if (!texCoos || !uv)
        return nullptr;
    return AddTexCooToCollection(new G3TexCoo(uv));
}

G3TexCoo* G3Shell::AddTexCoo(double u, double v)
{
    if (!texCoos)
        return nullptr;
    return AddTexCooToCollection(new G3TexCoo(u, v));
}

G3TexCoo* G3Shell::AddTexCoo(const G3TexCoo* t)
{
    if (!t)
        return nullptr;
    return AddTexCoo(t->GetUV());
}

G3Vertex* G3Shell::AddVertexToCollection(G3Vertex* v) { return AddTo(this, kVertices, v); }
G3Normal* G3Shell::AddNormalToCollection(G3Normal* n) { return AddTo(this, kNormals, n); }
G3TexCoo* G3Shell::AddTexCooToCollection(G3TexCoo* t) { return AddTo(this, kTexCoos, t); }
G3PolyEdge* G3Shell::AddPolyEdgeToCollection(G3PolyEdge* p) { return AddTo(this, kPolyEdges, p); }

// ------------------------------------------------------------ removing

bool G3Shell::RemoveVertexFromCollection(G3Vertex* v) { return RemoveFrom(this, kVertices, v); }
bool G3Shell::RemoveNormalFromCollection(G3Normal* n) { return RemoveFrom(this, kNormals, n); }
bool G3Shell::RemoveTexCooFromCollection(G3TexCoo* t) { return RemoveFrom(this, kTexCoos, t); }
bool G3Shell::RemoveEdgeFromCollection(G3Edge* e) { return RemoveFrom(this, kEdges, e); }
bool G3Shell::RemoveFacetFromCollection(G3Facet* f) { return RemoveFrom(this, kFacets, f); }
bool G3Shell::RemovePolyEdgeFromCollection(G3PolyEdge* p) { return RemoveFrom(this, kPolyEdges, p); }

namespace {

// Whether an edge of `edgeList` has `v` as an end. Edges left without
// facets are out of the rings but stay listed until RemoveUnusedEdge, so
// the vertex's own ring does not show every edge that names it.
bool NamedByAnEdge(const GArrayCollection* edgeList, const G3Vertex* v)
{
    for (int i = 0; i < SizeOf(edgeList); ++i)
        if (static_cast<const G3Edge*>(edgeList->get(i))->HasVertex(v))
            return true;
    return false;
}

// Of the vertices in `bare`, those an edge of `edgeList` names.
G3SparseSet NamedByEdges(const G3SparseSet& bare, const GArrayCollection* edgeList)
{
    G3SparseSet named;
    for (int i = 0; i < SizeOf(edgeList); ++i) {
        const G3Edge* e = static_cast<const G3Edge*>(edgeList->get(i));
        for (const G3Vertex* v : {e->GetVertex1(), e->GetVertex2()})
            if (bare.Contains(v))
                named.Insert(v);
    }
    return named;
}

} // namespace

bool G3Shell::RemoveVertex(G3Vertex* v)
{
    if (!v || v->HasEdges() || NamedByAnEdge(edges, v))
        return false;
    // A vertex still named by a polyedge's run would leave that run
    // pointing to freed memory.
    for (int i = 0; i < GetPolyEdgeCount(); ++i) {
        const G3PolyEdge* p = GetPolyEdge(i);
        for (int k = 0; k < p->GetVertexCount(); ++k)
            if (At<G3Vertex>(polyEdgeVertices, p->GetFirstIndex() + k) == v)
                return false;
    }
    if (!RemoveVertexFromCollection(v))
        return false;
    delete v;
    return true;
}

bool G3Shell::RemoveEdge(G3Edge* e)
{
    if (!e || e->GetFacet1() || e->GetFacet2())
        return false;
    if (SlotOf(edges, e) < 0)
        return false;
    // Callers normally take the edge out of the rings first; an edge made
    // without a facet is still in them, and no ring may keep a freed edge.
    if (G3Vertex* v = e->GetVertex1())
        v->RemoveEdge(e);
    if (G3Vertex* v = e->GetVertex2())
        v->RemoveEdge(e);
    RemoveEdgeFromCollection(e);
    delete e;
    return true;
}

bool G3Shell::RemoveFacet(G3Facet* f)
{
    if (!f || SlotOf(facets, f) < 0)
        return false;
    f->RemoveEdges();
    RemoveFacetFromCollection(f);
    delete f;
    return true;
}

bool G3Shell::RemoveNormal(G3Normal* n) { return RemoveAndDelete(this, kNormals, n); }
bool G3Shell::RemoveTexCoo(G3TexCoo* t) { return RemoveAndDelete(this, kTexCoos, t); }
bool G3Shell::RemovePolyEdge(G3PolyEdge* p) { return RemoveAndDelete(this, kPolyEdges, p); }

// Each pass walks by index and stays on a slot after a removal: the last
// entity has just moved into it.

void G3Shell::RemoveUnusedFacet()
{
    G3_CHECK_PASS(this, "RemoveUnusedFacet");
    for (int i = 0; i < GetFacetCount();) {
        G3Facet* f = GetFacet(i);
        if (f->HasEdges()) {
            ++i;
            continue;
        }
        RemoveFacetFromCollection(f);
        delete f;
    }
}

void G3Shell::RemoveUnusedEdge()
{
    G3_CHECK_PASS(this, "RemoveUnusedEdge");
    for (int i = 0; i < GetEdgeCount();) {
        G3Edge* e = GetEdge(i);
        if (e->GetFacet1() || e->GetFacet2()) {
            ++i;
            continue;
        }
        if (G3Vertex* v = e->GetVertex1())
            v->RemoveEdge(e);
        if (G3Vertex* v = e->GetVertex2())
            v->RemoveEdge(e);
        RemoveEdgeFromCollection(e);
        delete e;
    }
}

void G3Shell::RemoveUnusedVertex()
{
    G3_CHECK_PASS(this, "RemoveUnusedVertex");
    // Polyedge vertices have no edges: with polyedges nothing is unused.
    if (GetPolyEdgeCount() > 0)
        return;
    // A vertex only a facet-less listed edge names is still in use: it goes
    // once RemoveUnusedEdge has taken that edge.
    // The vertices without ring edges are few as a rule (those a weld just
    // emptied), and those an edge still names fewer.
    G3SparseSet bare;
    for (int i = 0; i < GetVertexCount(); ++i)
        if (!GetVertex(i)->HasEdges())
            bare.Insert(GetVertex(i));
    if (bare.Empty())
        return;
    const G3SparseSet named = NamedByEdges(bare, edges);
    for (int i = 0; i < GetVertexCount();) {
        G3Vertex* v = GetVertex(i);
        if (!bare.Contains(v) || named.Contains(v)) {
            ++i;
            continue;
        }
        RemoveVertexFromCollection(v);
        delete v;
    }
}

void G3Shell::RemoveBareVertices(const std::vector<char>& namedAt)
{
    if (GetPolyEdgeCount() > 0)
        return;
    // The same walk as RemoveUnusedVertex's, with the verdict kept by place:
    // a removal moves the last vertex, and its verdict, into the gap.
    const int n = GetVertexCount();
    std::vector<char> doomed(static_cast<std::size_t>(n));
    bool any = false;
    for (int i = 0; i < n; ++i) {
        const bool named = static_cast<std::size_t>(i) < namedAt.size() && namedAt[static_cast<std::size_t>(i)];
        doomed[static_cast<std::size_t>(i)] = !named && !GetVertex(i)->HasEdges();
        any = any || doomed[static_cast<std::size_t>(i)];
    }
    if (!any)
        return;
    for (int i = 0; i < GetVertexCount();) {
        if (!doomed[static_cast<std::size_t>(i)]) {
            ++i;
            continue;
        }
        G3Vertex* v = GetVertex(i);
        RemoveVertexFromCollection(v);
        delete v;
        doomed[static_cast<std::size_t>(i)] = doomed.back();
        doomed.pop_back();
    }
}

namespace {

// Sets FLAG_USED on every normal (texture coordinate) that some corner of
// some edge names.
void MarkCorners(GArrayCollection* edgeList, bool normalsWanted)
{
    for (int i = 0; i < SizeOf(edgeList); ++i) {
        const G3Edge* e = static_cast<const G3Edge*>(edgeList->get(i));
        const G3EdgeGeometry* g = e->GetGeometry();
        if (!g)
            continue;
        for (int side = 0; side < 2; ++side)
            for (int end = 0; end < 2; ++end) {
                G3TexCoo* t = nullptr;
                G3Normal* n = g->Get(side, end, &t);
                G3Obj* used = normalsWanted ? static_cast<G3Obj*>(n) : static_cast<G3Obj*>(t);
                if (used)
                    used->flags |= G3Shell::FLAG_USED;
            }
    }
}

// Removes every normal (with `normalsWanted`, else texture coordinate)
// that no corner names; FLAG_USED is clear again afterwards.
template <class T>
void RemoveUncornered(G3Shell* s, const Kind<T>& k, bool normalsWanted)
{
    GArrayCollection* c = (s->*k.list)();
    // Nothing listed, nothing to remove: the walk over every edge's corners
    // is spared.
    if (SizeOf(c) == 0)
        return;
    G3Shell::ChangeFlags(c, G3Shell::FLAG_USED, false);
    MarkCorners(s->GetEdgeList(), normalsWanted);
    for (int i = 0; i < SizeOf(c);) {
        T* e = static_cast<T*>(c->get(i));
        if (e->GetFlags() & G3Shell::FLAG_USED) {
            e->ClearFlags(G3Shell::FLAG_USED);
            ++i;
            continue;
        }
        RemoveAndDelete(s, k, e);
    }
}

} // namespace

void G3Shell::RemoveUnusedNormal()
{
    G3_CHECK_PASS(this, "RemoveUnusedNormal");
    RemoveUncornered(this, kNormals, true);
}

void G3Shell::RemoveUnusedTexCoo()
{
    G3_CHECK_PASS(this, "RemoveUnusedTexCoo");
    RemoveUncornered(this, kTexCoos, false);
}

void G3Shell::RemoveUnused()
{
    G3_CHECK_PASS(this, "RemoveUnused");
    RemoveUnusedEdge();
    RemoveUnusedVertex();
    RemoveUnusedFacet();
    RemoveUnusedNormal();
    RemoveUnusedTexCoo();
}

// ------------------------------------------------------------ whole shell

namespace {
void AssignIdsOf(GArrayCollection* c)
{
    for (int i = 0; i < SizeOf(c); ++i)
        static_cast<G3Obj*>(c->get(i))->SetId(i);
}
} // namespace

void G3Shell::AssignVertexIds() { AssignIdsOf(vertices); }
void G3Shell::AssignNormalIds() { AssignIdsOf(normals); }
void G3Shell::AssignTexCooIds() { AssignIdsOf(texCoos); }
void G3Shell::AssignEdgeIds() { AssignIdsOf(edges); }
void G3Shell::AssignFacetIds() { AssignIdsOf(facets); }

void G3Shell::AssignIds()
{
    AssignTexCooIds();
    AssignNormalIds();
    AssignVertexIds();
    AssignEdgeIds();
    AssignFacetIds();
}

void G3Shell::ChangeFlags(GArrayCollection* list, int mask, bool set)
{
    const long m = MaskOf(mask);
    for (int i = 0; i < SizeOf(list); ++i) {
        G3Obj* o = static_cast<G3Obj*>(list->get(i));
        if (set)
            o->flags |= m;
        else
            o->flags &= ~m;
    }
}

void G3Shell::ChangeVertexFlags(int mask, bool set) { ChangeFlags(vertices, mask, set); }
void G3Shell::ChangeNormalFlags(int mask, bool set) { ChangeFlags(normals, mask, set); }
void G3Shell::ChangeTexCooFlags(int mask, bool set) { ChangeFlags(texCoos, mask, set); }
void G3Shell::ChangeEdgeFlags(int mask, bool set) { ChangeFlags(edges, mask, set); }
void G3Shell::ChangeFacetFlags(int mask, bool set) { ChangeFlags(facets, mask, set); }

void G3Shell::ReverseNormals()
{
    for (int i = 0; i < GetNormalCount(); ++i)
        GetNormal(i)->Negate();
}

void G3Shell::FormEnvelope(GEnvelope* env)
{
    if (!env)
        return;
    env->Init();
    for (int i = 0; i < GetVertexCount(); ++i) {
        const double* p = GetVertex(i)->GetXYZ();
        if (i == 0)
            env->Init(p);
        else
            env->Add(p);
    }
}

void G3Shell::FormTexCooEnvelope(GEnvelope* env)
{
    if (!env)
        return;
    env->Init();
    for (int i = 0; i < GetTexCooCount(); ++i) {
        const G3TexCoo* t = GetTexCoo(i);
        const double p[3] = {t->GetU(), t->GetV(), 0.0};
        if (i == 0)
            env->Init(p);
        else
            env->Add(p);
    }
}

void G3Shell::ReallocByRealSize()
{
    GArrayCollection* all[] = {vertices, normals, texCoos, edges, facets, polyEdges, polyEdgeVertices};
    for (GArrayCollection* c : all)
        if (c)
            c->ReallocByRealSize();
}

// ------------------------------------------------------------ transformation

void G3Shell::OpenTransformation(bool withVertices, bool withNormals)
{
    if (!vertices)
        return;
    // A preview already open is closed first, so its saved state (and the
    // scratch links it holds) is never lost.
    if (dynamic_cast<G3TransformationProvider*>(exDataProvider))
        CloseTransformation();
    G3TransformationProvider* preview = new G3TransformationProvider(withVertices, withNormals);
    SetExDataProvider(preview);
    OpenExData();
    preview->opened = true;
}

void G3Shell::Transformation(double m[4][4])
{
    G3TransformationProvider* t = dynamic_cast<G3TransformationProvider*>(exDataProvider);
    if (!t || !m)
        return;
    if (t->acceptVertices) {
        for (int i = 0; i < GetVertexCount(); ++i) {
            G3Vertex* v = GetVertex(i);
            if (const G3Point* s = G3TransformationProvider::Saved(v)) {
                v->Set(s->GetXYZ());
                v->RealTransformation(m);
            }
        }
        for (int i = 0; i < GetFacetCount(); ++i)
            GetFacet(i)->FormPlaneEquation();
    }
    if (t->acceptNormals) {
        for (int i = 0; i < GetNormalCount(); ++i) {
            G3Normal* n = GetNormal(i);
            if (const G3Point* s = G3TransformationProvider::Saved(n)) {
                n->Set(s->GetXYZ());
                n->RealTransformation(m);
            }
        }
    }
}

void G3Shell::CloseTransformation()
{
    G3TransformationProvider* t = dynamic_cast<G3TransformationProvider*>(exDataProvider);
    if (!t)
        return;
    t->restoreGeometry = true;
    CloseExData();
    delete exDataProvider;
    exDataProvider = nullptr;
}

void G3Shell::RealTransformation(double m[4][4])
{
    if (!m)
        return;
    for (int i = 0; i < GetVertexCount(); ++i)
        GetVertex(i)->RealTransformation(m);
    for (int i = 0; i < GetNormalCount(); ++i)
        GetNormal(i)->RealTransformation(m);
    for (int i = 0; i < GetPolyEdgeCount(); ++i)
        TransformExDataPolyEdge(GetPolyEdge(i), m);
}

void G3Shell::TransformExDataPolyEdge(G3PolyEdge* p, double m[4][4])
{
    if (p)
        ProviderTransformExData(p, m);
}
