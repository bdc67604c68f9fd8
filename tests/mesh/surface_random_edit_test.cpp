// Random sequences (four seeds, 4000 calls) of the public building,
// removing, splitting, copying and preview operations on three surfaces at
// once. After every call the touched surfaces pass the consistency check;
// brute-force oracles follow what each call must do: which removals are
// allowed, what a copy appends and that it leaves its source alone, where a
// preview puts every vertex and normal and that closing it restores them,
// and that no facet whose vertices span a plane ends a preview with a zero
// plane.

#include "mesh_check.h"

#include "Geometry/math/GMatrix.h"
#include "Geometry/mesh/G3Point.h"
#include "Geometry/processing/G3EdgeList.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <unordered_map>
#include <vector>

namespace {

using Vd = std::vector<double>;
using Vi = std::vector<int>;

Vd Xyz(const G3Point* p) { return Vd(p->GetXYZ(), p->GetXYZ() + 3); }
Vi Counts(G3Surface* s)
{
    return Vi({s->GetVertexCount(), s->GetEdgeCount(), s->GetFacetCount(), s->GetNormalCount()});
}

// (x, y, z, 1) * m, or its linear part only.
Vd Apply(const Vd& p, double m[4][4], bool linear)
{
    Vd out(3);
    for (int j = 0; j < 3; ++j)
        out[static_cast<size_t>(j)] =
            p[0] * m[0][j] + p[1] * m[1][j] + p[2] * m[2][j] + (linear ? 0.0 : m[3][j]);
    return out;
}

bool Near(const Vd& a, const Vd& b)
{
    return std::fabs(a[0] - b[0]) + std::fabs(a[1] - b[1]) + std::fabs(a[2] - b[2]) < 1e-9;
}

// Whether f's vertices span a plane (some two differences from the first
// vertex are not parallel); only then can f have a plane that is not zero.
bool Spans(const G3Facet* f)
{
    std::vector<G3Vertex*> v(static_cast<size_t>(f->GetVertexCount()));
    f->GetVertices(v.data());
    auto diff = [&](size_t i, int k) { return v[i]->GetXYZ()[k] - v[0]->GetXYZ()[k]; };
    for (size_t i = 1; i < v.size(); ++i)
        for (size_t j = i + 1; j < v.size(); ++j) {
            const double c[3] = {diff(i, 1) * diff(j, 2) - diff(i, 2) * diff(j, 1),
                                 diff(i, 2) * diff(j, 0) - diff(i, 0) * diff(j, 2),
                                 diff(i, 0) * diff(j, 1) - diff(i, 1) * diff(j, 0)};
            if (std::sqrt(c[0] * c[0] + c[1] * c[1] + c[2] * c[2]) > 1e-12)
                return true;
        }
    return false;
}

// A surface and what it must look like while a preview is open and after
// it closes, kept apart from the surface's own saved state. Positions to
// restore at close are kept by entity (pointers are only looked up, never
// ordered).
struct Slot {
    std::unique_ptr<G3Surface> s;
    bool open = false, vertices = false, normals = false;
    std::unordered_map<const G3Point*, Vd> restoreTo;
    std::unordered_map<const G3Facet*, Vd> planeAtOpen;
};

class Editor {
public:
    explicit Editor(unsigned seed) : rng(seed)
    {
        for (Slot& slot : slots)
            Fresh(slot);
    }

    // One call on a random slot; a copy reads a second one (maybe the same).
    void Step()
    {
        using Op = void (Editor::*)(Slot&, Slot&);
        static const Op ops[] = {&Editor::AddVertex, &Editor::AddVertex, &Editor::AddFacet, &Editor::AddFacet,
                                 &Editor::AddFacet, &Editor::AddFacetFromEdges, &Editor::RemoveFacet,
                                 &Editor::RemoveVertex, &Editor::RemoveEdge, &Editor::RemoveUnused,
                                 &Editor::Split, &Editor::CopyInto, &Editor::DuplicateOf, &Editor::Open,
                                 &Editor::Open, &Editor::Transform, &Editor::Close};
        Slot& slot = slots[Below(3)];
        Slot& other = slots[Below(3)];
        const int op = Below(static_cast<int>(sizeof ops / sizeof ops[0]));
        (this->*ops[op])(slot, other);
        // Only the two surfaces a call can touch.
        ASSERT_EQ("", MeshCheck(slot.s.get())) << "operation " << op << " at step " << steps;
        ASSERT_EQ("", MeshCheck(other.s.get())) << "operation " << op << " at step " << steps;
        ++steps;
    }

    void CloseAll()
    {
        for (Slot& slot : slots)
            Close(slot, slot);
    }

    int steps = 0;

private:
    int Below(int n) { return n > 0 ? static_cast<int>(rng() % static_cast<unsigned>(n)) : 0; }
    bool Chance(int percent) { return Below(100) < percent; }

    void Fresh(Slot& slot)
    {
        slot = Slot();
        slot.s.reset(new G3Surface());
        for (int i = 0; i < 10; ++i)
            AddVertex(slot, slot);
        slot.s->AddNormal(0, 0, 1);
        slot.s->AddNormal(0.6, 0, 0.8);
        for (int i = 0; i < 6; ++i)
            AddFacet(slot, slot);
    }

    // Entities entering during a preview are restored to where they entered.
    void Note(Slot& slot, const G3Point* p)
    {
        if (slot.open && p)
            slot.restoreTo[p] = Xyz(p);
    }
    void NoteFrom(Slot& slot, int firstVertex, int firstNormal)
    {
        for (int i = firstVertex; i < slot.s->GetVertexCount(); ++i)
            Note(slot, slot.s->GetVertex(i));
        for (int i = firstNormal; i < slot.s->GetNormalCount(); ++i)
            Note(slot, slot.s->G3Shell::GetNormal(i));
    }

    // Points of a small lattice: many coincide, many are collinear.
    G3Vertex* LatticeVertex(Slot& slot)
    {
        G3Vertex* v = slot.s->AddVertex(Below(4), Below(4), Below(3) == 0 ? 1.0 : 0.0, 0);
        Note(slot, v);
        return v;
    }
    void AddVertex(Slot& slot, Slot&) { LatticeVertex(slot); }

    void AddFacet(Slot& slot, Slot&)
    {
        G3Surface* s = slot.s.get();
        const int nV = s->GetVertexCount();
        if (nV < 3)
            return;
        // Distinct vertices (often at one position, often collinear), one
        // of them sometimes repeated at once, which AddFacet skips. A
        // vertex met again later in the walk would make a spike, whose
        // chain does not tell where its contour starts.
        std::vector<int> ids;
        for (int n = 3 + Below(3); static_cast<int>(ids.size()) < n;) {
            const int id = Below(nV);
            if (std::find(ids.begin(), ids.end(), id) == ids.end())
                ids.push_back(id);
        }
        if (Chance(20)) {
            const size_t at = static_cast<size_t>(Below(static_cast<int>(ids.size())));
            ids.insert(ids.begin() + static_cast<std::ptrdiff_t>(at), ids[at]);
        }
        std::vector<int> normals(ids.size());
        for (int& k : normals)
            k = Below(s->GetNormalCount());
        const bool withNormals = s->GetNormalCount() > 0 && Chance(30);
        const int facets = s->GetFacetCount();
        G3Facet* f = s->AddFacet(static_cast<int>(ids.size()), ids.data(), 1,
                                 withNormals ? normals.data() : nullptr, nullptr);
        EXPECT_EQ(facets + (f ? 1 : 0), s->GetFacetCount());
    }

    // A facet rebuilt from another facet's edge list (walk order: always
    // taken), or from its edges in a shuffled order (taken only when the
    // shuffled list still runs head to tail; refused without change).
    void AddFacetFromEdges(Slot& slot, Slot&)
    {
        G3Surface* s = slot.s.get();
        if (!s->GetFacetCount())
            return;
        G3EdgeList list(s->GetFacet(Below(s->GetFacetCount())));
        const bool shuffle = Chance(50);
        for (int i = list.size() - 1; shuffle && i > 0; --i) {
            const int j = Below(i + 1);
            GObj* t = list.get(i);
            list.put(i, list.get(j));
            list.put(j, t);
        }
        bool headToTail = true;
        for (int i = 0, n = list.size(); i < n; ++i) {
            const G3Edge* next = list.GetEdge((i + 1) % n);
            headToTail = headToTail && list.GetEdge(i)->GetVertex2() == next->GetVertex1();
        }
        Vi expected = Counts(s);
        G3Facet* f = s->AddFacet(&list, 0, 1);
        if (f)
            expected[1] = s->GetEdgeCount();
        expected[2] += f ? 1 : 0;
        EXPECT_EQ(expected, Counts(s));
        EXPECT_TRUE(f || (shuffle && !headToTail));
    }

    void RemoveFacet(Slot& slot, Slot&)
    {
        G3Surface* s = slot.s.get();
        if (!s->GetFacetCount())
            return;
        G3Facet* f = s->GetFacet(Below(s->GetFacetCount()));
        slot.planeAtOpen.erase(f); // its address may serve a facet added later
        EXPECT_TRUE(s->RemoveFacet(f));
    }

    // Refused exactly while a listed edge names the vertex.
    void RemoveVertex(Slot& slot, Slot&)
    {
        G3Surface* s = slot.s.get();
        if (!s->GetVertexCount())
            return;
        G3Vertex* v = s->GetVertex(Below(s->GetVertexCount()));
        bool named = false;
        for (int i = 0; i < s->GetEdgeCount(); ++i)
            named = named || s->GetEdge(i)->HasVertex(v);
        EXPECT_EQ(!named, s->RemoveVertex(v));
    }

    void RemoveEdge(Slot& slot, Slot&)
    {
        G3Surface* s = slot.s.get();
        if (!s->GetEdgeCount())
            return;
        G3Edge* e = s->GetEdge(Below(s->GetEdgeCount()));
        const bool free = !e->GetFacet1() && !e->GetFacet2(); // read before e may go
        EXPECT_EQ(free, s->RemoveEdge(e));
    }

    void RemoveUnused(Slot& slot, Slot&)
    {
        G3Surface* s = slot.s.get();
        const int kind = Below(3);
        if (kind == 0) {
            s->RemoveUnusedVertex();
        } else if (kind == 1) {
            s->RemoveUnusedEdge();
        } else {
            s->RemoveUnused();
            // Every vertex left is an end of some edge.
            for (int i = 0; i < s->GetVertexCount(); ++i)
                EXPECT_TRUE(s->GetVertex(i)->HasEdges()) << i;
        }
    }

    // At a new vertex (the midpoint, or a lattice point off the edge) or at
    // an existing one.
    void Split(Slot& slot, Slot&)
    {
        G3Surface* s = slot.s.get();
        if (!s->GetEdgeCount())
            return;
        G3Edge* e = s->GetEdge(Below(s->GetEdgeCount()));
        G3Vertex* at = nullptr;
        if (Chance(50)) {
            const Vd a = Xyz(e->GetVertex1()), b = Xyz(e->GetVertex2());
            Note(slot, at = s->AddVertex((a[0] + b[0]) / 2, (a[1] + b[1]) / 2, (a[2] + b[2]) / 2, 0));
        } else if (Chance(50)) {
            at = LatticeVertex(slot);
        } else {
            // An existing vertex, unless one of the edge's facets has it
            // already (a spike again).
            at = s->GetVertex(Below(s->GetVertexCount()));
            for (G3Facet* f : {e->GetFacet1(), e->GetFacet2()})
                if (f && f->ContainsVertex(at))
                    return;
        }
        const int normals = s->GetNormalCount();
        const bool inside = at != e->GetVertex1() && at != e->GetVertex2();
        EXPECT_EQ(inside, s->SplitEdge(e, at)); // e is gone when split
        NoteFrom(slot, s->GetVertexCount(), normals);
    }

    void CopyInto(Slot& target, Slot& source)
    {
        G3Surface* t = target.s.get();
        G3Surface* src = source.s.get();
        if (t->GetVertexCount() + src->GetVertexCount() > 120)
            return Fresh(target);
        const Vi before = Counts(t), added = Counts(src);
        std::vector<Vd> sourceXyz;
        for (int i = 0; i < src->GetVertexCount(); ++i)
            sourceXyz.push_back(Xyz(src->GetVertex(i)));
        t->Copy(src);
        for (size_t k = 0; k < 4; ++k)
            EXPECT_EQ(before[k] + added[k], Counts(t)[k]) << k;
        for (int i = 0; i < added[0]; ++i) {
            EXPECT_EQ(sourceXyz[static_cast<size_t>(i)], Xyz(t->GetVertex(before[0] + i)));
            if (t != src) {
                EXPECT_EQ(sourceXyz[static_cast<size_t>(i)], Xyz(src->GetVertex(i)));
            }
        }
        NoteFrom(target, before[0], before[3]);
    }

    // The duplicate replaces the target slot; it has no preview of its own.
    void DuplicateOf(Slot& target, Slot& source)
    {
        Slot next;
        next.s.reset(source.s->Duplicate());
        EXPECT_TRUE(next.s->GetExDataProvider() == nullptr && next.s->GetExData() == nullptr);
        EXPECT_EQ(source.s->GetEdgeCount(), next.s->GetEdgeCount());
        for (int i = 0; i < next.s->GetVertexCount(); ++i)
            EXPECT_EQ(Xyz(source.s->GetVertex(i)), Xyz(next.s->GetVertex(i)));
        if (&target == &source)
            Close(source, source); // the original goes: end its preview first
        target = std::move(next);
    }

    void Open(Slot& slot, Slot&)
    {
        Close(slot, slot); // opening again closes the open preview first
        slot.open = true;
        slot.vertices = Chance(80);
        slot.normals = Chance(50);
        G3Surface* s = slot.s.get();
        NoteFrom(slot, 0, 0);
        for (int i = 0; i < s->GetFacetCount(); ++i)
            slot.planeAtOpen[s->GetFacet(i)] = Vd(s->GetFacet(i)->GetPlane(), s->GetFacet(i)->GetPlane() + 4);
        s->OpenTransformation(slot.vertices, slot.normals);
    }

    void Transform(Slot& slot, Slot&)
    {
        double m[4][4];
        M4Identity(m);
        M4RotateZ(m, 0.1 * (1 + Below(20)));
        M4Translate(m, Below(5), -Below(5), Below(3));
        slot.s->Transformation(m);
        if (slot.open)
            ExpectPlaced(slot, m);
    }

    // Every vertex and normal is where the preview saw it, moved by m (from
    // there, never from where an earlier matrix put it) when the preview
    // tracks its kind; with no m, exactly where it was.
    void ExpectPlaced(Slot& slot, double m[4][4])
    {
        G3Surface* s = slot.s.get();
        const int nV = s->GetVertexCount();
        for (int i = 0; i < nV + s->GetNormalCount(); ++i) {
            const G3Point* p = i < nV ? static_cast<G3Point*>(s->GetVertex(i))
                                      : static_cast<G3Point*>(s->G3Shell::GetNormal(i - nV));
            const auto it = slot.restoreTo.find(p);
            ASSERT_NE(slot.restoreTo.end(), it) << i;
            if (m && (i < nV ? slot.vertices : slot.normals)) {
                EXPECT_TRUE(Near(Apply(it->second, m, i >= nV), Xyz(p))) << i;
            } else {
                EXPECT_EQ(it->second, Xyz(p)) << i;
            }
        }
    }

    void Close(Slot& slot, Slot&)
    {
        G3Surface* s = slot.s.get();
        s->CloseTransformation();
        EXPECT_EQ(nullptr, s->GetExDataProvider());
        if (!slot.open)
            return;
        // Tracked kinds come back exactly; the others were never moved.
        ExpectPlaced(slot, nullptr);
        // Facets present at the open get their plane back; those added
        // since have one formed from their vertices.
        for (int i = 0; slot.vertices && i < s->GetFacetCount(); ++i) {
            const G3Facet* f = s->GetFacet(i);
            const auto it = slot.planeAtOpen.find(f);
            if (it != slot.planeAtOpen.end()) {
                EXPECT_EQ(it->second, Vd(f->GetPlane(), f->GetPlane() + 4)) << i;
            } else if (f->IsPlaneZero()) {
                EXPECT_FALSE(Spans(f)) << i;
            }
        }
        slot.open = false;
        slot.restoreTo.clear();
        slot.planeAtOpen.clear();
    }

    std::mt19937 rng;
    Slot slots[3];
};

} // namespace

TEST(SurfaceRandomEdit, EveryCallLeavesEverySurfaceConsistent)
{
    for (unsigned seed : {1u, 2u, 3u, 4u}) {
        Editor editor(seed);
        for (int i = 0; i < 1000 && !::testing::Test::HasFatalFailure(); ++i)
            editor.Step();
        editor.CloseAll();
        ASSERT_FALSE(::testing::Test::HasFailure()) << "seed " << seed << " step " << editor.steps;
    }
}
