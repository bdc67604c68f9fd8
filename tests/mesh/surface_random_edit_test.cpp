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
#include <string>
#include <unordered_map>
#include <vector>

namespace {

using Vd = std::vector<double>;

class Rng {
public:
    explicit Rng(std::uint64_t seed) : state(seed * 2654435761u + 1) {}
    // 0 .. n-1 (0 for n <= 0).
    int Below(int n)
    {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        return n > 0 ? static_cast<int>((state >> 33) % static_cast<std::uint64_t>(n)) : 0;
    }
    bool Chance(int percent) { return Below(100) < percent; }

private:
    std::uint64_t state;
};

Vd Xyz(const G3Point* p) { return Vd(p->GetXYZ(), p->GetXYZ() + 3); }

// (x, y, z, 1) * m, or its linear part only.
Vd Apply(const Vd& p, double m[4][4], bool linear)
{
    Vd out(3);
    for (int j = 0; j < 3; ++j)
        out[static_cast<size_t>(j)] =
            p[0] * m[0][j] + p[1] * m[1][j] + p[2] * m[2][j] + (linear ? 0.0 : m[3][j]);
    return out;
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

bool Near(const Vd& a, const Vd& b) { return std::fabs(a[0] - b[0]) + std::fabs(a[1] - b[1]) + std::fabs(a[2] - b[2]) < 1e-9; }

// What a surface must look like while a preview is open and after it
// closes, kept apart from the surface's own saved state.
struct PreviewOracle {
    bool open = false;
    bool vertices = false;
    bool normals = false;
    // Positions to restore at close, by entity (pointers are only looked
    // up, never ordered).
    std::unordered_map<const G3Point*, Vd> restoreTo;
    std::unordered_map<const G3Facet*, Vd> planeAtOpen;
};

struct Slot {
    std::unique_ptr<G3Surface> s;
    PreviewOracle preview;
};

class Editor {
public:
    explicit Editor(std::uint64_t seed) : rng(seed)
    {
        for (Slot& slot : slots)
            Fresh(slot);
    }

    void Step()
    {
        Slot& slot = slots[static_cast<size_t>(rng.Below(3))];
        Slot& other = slots[static_cast<size_t>(rng.Below(3))];
        G3Surface* s = slot.s.get();
        const int op = rng.Below(17);
        switch (op) {
        case 0:
        case 1:
            Note(slot, AddLatticeVertex(s));
            break;
        case 2:
        case 3:
        case 4:
            AddRandomFacet(slot);
            break;
        case 5:
            AddFacetFromEdges(slot);
            break;
        case 6:
            RemoveFacet(slot);
            break;
        case 7:
            RemoveVertex(s);
            break;
        case 8:
            RemoveEdge(s);
            break;
        case 9:
            RemoveUnused(s);
            break;
        case 10:
            Split(slot);
            break;
        case 11:
            CopyInto(slot, other);
            break;
        case 12:
            DuplicateOf(slot, other);
            break;
        case 13:
        case 14:
            Open(slot);
            break;
        case 15:
            Transform(slot);
            break;
        default:
            Close(slot);
            break;
        }
        // Only the two surfaces a call can touch.
        ASSERT_EQ("", MeshCheck(slot.s.get())) << "operation " << op << " at step " << steps;
        ASSERT_EQ("", MeshCheck(other.s.get())) << "operation " << op << " at step " << steps;
        ++steps;
    }

    void CloseAll()
    {
        for (Slot& slot : slots)
            Close(slot);
    }

private:
    void Fresh(Slot& slot)
    {
        slot.s.reset(new G3Surface());
        slot.preview = PreviewOracle();
        for (int i = 0; i < 10; ++i)
            AddLatticeVertex(slot.s.get());
        slot.s->AddNormal(0, 0, 1);
        slot.s->AddNormal(0.6, 0, 0.8);
        for (int i = 0; i < 6; ++i)
            AddRandomFacet(slot);
    }

    // Points of a small lattice: many coincide, many are collinear.
    G3Vertex* AddLatticeVertex(G3Surface* s)
    {
        return s->AddVertex(rng.Below(4), rng.Below(4), rng.Below(3) == 0 ? 1.0 : 0.0, 0);
    }

    // Entities entering during a preview are restored to where they entered.
    void Note(Slot& slot, const G3Point* p)
    {
        if (slot.preview.open && p)
            slot.preview.restoreTo[p] = Xyz(p);
    }
    void NoteFrom(Slot& slot, int firstVertex, int firstNormal)
    {
        for (int i = firstVertex; i < slot.s->GetVertexCount(); ++i)
            Note(slot, slot.s->GetVertex(i));
        for (int i = firstNormal; i < slot.s->GetNormalCount(); ++i)
            Note(slot, slot.s->G3Shell::GetNormal(i));
    }

    void AddRandomFacet(Slot& slot)
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
        for (int n = 3 + rng.Below(3); static_cast<int>(ids.size()) < n;) {
            const int id = rng.Below(nV);
            if (std::find(ids.begin(), ids.end(), id) == ids.end())
                ids.push_back(id);
        }
        if (rng.Chance(20)) {
            const size_t at = static_cast<size_t>(rng.Below(static_cast<int>(ids.size())));
            ids.insert(ids.begin() + static_cast<std::ptrdiff_t>(at), ids[at]);
        }
        const int n = static_cast<int>(ids.size());
        std::vector<int> normals(ids.size());
        for (int& k : normals)
            k = rng.Below(s->GetNormalCount());
        const bool withNormals = s->GetNormalCount() > 0 && rng.Chance(30);
        const int facets = s->GetFacetCount();
        G3Facet* f = s->AddFacet(n, ids.data(), 1, withNormals ? normals.data() : nullptr, nullptr);
        EXPECT_EQ(facets + (f ? 1 : 0), s->GetFacetCount());
    }

    // A facet rebuilt from another facet's edge list (walk order: always
    // taken), or from its edges in a shuffled order (taken only when the
    // shuffled list still runs head to tail; refused without change).
    void AddFacetFromEdges(Slot& slot)
    {
        G3Surface* s = slot.s.get();
        if (!s->GetFacetCount())
            return;
        G3EdgeList list(s->GetFacet(rng.Below(s->GetFacetCount())));
        const bool shuffle = rng.Chance(50);
        if (shuffle)
            for (int i = list.size() - 1; i > 0; --i) {
                const int j = rng.Below(i + 1);
                GObj* t = list.get(i);
                list.put(i, list.get(j));
                list.put(j, t);
            }
        bool headToTail = true;
        for (int i = 0; i < list.size(); ++i)
            headToTail = headToTail && list.GetEdge(i)->GetVertex2() == list.GetEdge((i + 1) % list.size())->GetVertex1();
        const int counts[3] = {s->GetVertexCount(), s->GetEdgeCount(), s->GetFacetCount()};
        G3Facet* f = s->AddFacet(&list, 0, 1);
        if (!f) {
            EXPECT_EQ(counts[1], s->GetEdgeCount());
        }
        EXPECT_EQ(counts[0], s->GetVertexCount());
        EXPECT_EQ(counts[2] + (f ? 1 : 0), s->GetFacetCount());
        if (!shuffle || headToTail) {
            EXPECT_NE(nullptr, f);
        }
    }

    void RemoveFacet(Slot& slot)
    {
        G3Surface* s = slot.s.get();
        if (!s->GetFacetCount())
            return;
        G3Facet* f = s->GetFacet(rng.Below(s->GetFacetCount()));
        // Its address may serve a facet added later.
        slot.preview.planeAtOpen.erase(f);
        EXPECT_TRUE(s->RemoveFacet(f));
    }

    // Refused exactly while a listed edge names the vertex.
    void RemoveVertex(G3Surface* s)
    {
        if (!s->GetVertexCount())
            return;
        G3Vertex* v = s->GetVertex(rng.Below(s->GetVertexCount()));
        bool named = false;
        for (int i = 0; i < s->GetEdgeCount(); ++i)
            named = named || s->GetEdge(i)->HasVertex(v);
        EXPECT_EQ(!named, s->RemoveVertex(v));
    }

    void RemoveEdge(G3Surface* s)
    {
        if (!s->GetEdgeCount())
            return;
        G3Edge* e = s->GetEdge(rng.Below(s->GetEdgeCount()));
        const bool free = !e->GetFacet1() && !e->GetFacet2();
        EXPECT_EQ(free, s->RemoveEdge(e));
    }

    void RemoveUnused(G3Surface* s)
    {
        switch (rng.Below(3)) {
        case 0:
            s->RemoveUnusedVertex();
            break;
        case 1:
            s->RemoveUnusedEdge();
            break;
        default:
            s->RemoveUnused();
            // Every vertex left is an end of some edge.
            for (int i = 0; i < s->GetVertexCount(); ++i)
                EXPECT_TRUE(s->GetVertex(i)->HasEdges()) << i;
            break;
        }
    }

    // At a new vertex (the midpoint, or a lattice point off the edge) or at
    // an existing one.
    void Split(Slot& slot)
    {
        G3Surface* s = slot.s.get();
        if (!s->GetEdgeCount())
            return;
        G3Edge* e = s->GetEdge(rng.Below(s->GetEdgeCount()));
        G3Vertex* at = nullptr;
        if (rng.Chance(50)) {
            const Vd a = Xyz(e->GetVertex1()), b = Xyz(e->GetVertex2());
            Note(slot, at = s->AddVertex((a[0] + b[0]) / 2, (a[1] + b[1]) / 2, (a[2] + b[2]) / 2, 0));
        } else if (rng.Chance(50)) {
            Note(slot, at = AddLatticeVertex(s));
        } else {
            // An existing vertex, unless one of the edge's facets has it
            // already (a spike again).
            at = s->GetVertex(rng.Below(s->GetVertexCount()));
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
        const std::vector<int> before = {t->GetVertexCount(), t->GetEdgeCount(), t->GetFacetCount(),
                                         t->GetNormalCount(), src->GetVertexCount(), src->GetEdgeCount(),
                                         src->GetFacetCount(), src->GetNormalCount()};
        std::vector<Vd> sourceXyz;
        for (int i = 0; i < src->GetVertexCount(); ++i)
            sourceXyz.push_back(Xyz(src->GetVertex(i)));
        t->Copy(src);
        EXPECT_EQ(before[0] + before[4], t->GetVertexCount());
        EXPECT_EQ(before[1] + before[5], t->GetEdgeCount());
        EXPECT_EQ(before[2] + before[6], t->GetFacetCount());
        EXPECT_EQ(before[3] + before[7], t->GetNormalCount());
        for (int i = 0; i < before[4]; ++i) {
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
        std::unique_ptr<G3Surface> d(source.s->Duplicate());
        EXPECT_EQ(nullptr, d->GetExDataProvider());
        EXPECT_EQ(nullptr, d->GetExData());
        EXPECT_EQ(source.s->GetEdgeCount(), d->GetEdgeCount());
        for (int i = 0; i < d->GetVertexCount(); ++i)
            EXPECT_EQ(Xyz(source.s->GetVertex(i)), Xyz(d->GetVertex(i)));
        if (&target == &source)
            Close(source); // the original goes: end its preview first
        target.s = std::move(d);
        target.preview = PreviewOracle();
    }

    void Open(Slot& slot)
    {
        Close(slot); // opening again closes the open preview first
        PreviewOracle& p = slot.preview;
        p.open = true;
        p.vertices = rng.Chance(80);
        p.normals = rng.Chance(50);
        G3Surface* s = slot.s.get();
        for (int i = 0; i < s->GetVertexCount(); ++i)
            Note(slot, s->GetVertex(i));
        for (int i = 0; i < s->GetNormalCount(); ++i)
            Note(slot, s->G3Shell::GetNormal(i));
        for (int i = 0; i < s->GetFacetCount(); ++i)
            p.planeAtOpen[s->GetFacet(i)] = Vd(s->GetFacet(i)->GetPlane(), s->GetFacet(i)->GetPlane() + 4);
        s->OpenTransformation(p.vertices, p.normals);
    }

    void Transform(Slot& slot)
    {
        double m[4][4];
        M4Identity(m);
        M4RotateZ(m, 0.1 * (1 + rng.Below(20)));
        M4Translate(m, rng.Below(5), -rng.Below(5), rng.Below(3));
        G3Surface* s = slot.s.get();
        s->Transformation(m);
        const PreviewOracle& p = slot.preview;
        if (!p.open)
            return;
        for (int i = 0; p.vertices && i < s->GetVertexCount(); ++i) {
            const auto it = p.restoreTo.find(s->GetVertex(i));
            ASSERT_NE(p.restoreTo.end(), it) << i;
            EXPECT_TRUE(Near(Apply(it->second, m, false), Xyz(s->GetVertex(i)))) << i;
        }
        for (int i = 0; p.normals && i < s->GetNormalCount(); ++i) {
            const auto it = p.restoreTo.find(s->G3Shell::GetNormal(i));
            ASSERT_NE(p.restoreTo.end(), it) << i;
            EXPECT_TRUE(Near(Apply(it->second, m, true), Xyz(s->G3Shell::GetNormal(i)))) << i;
        }
    }

    void Close(Slot& slot)
    {
        PreviewOracle& p = slot.preview;
        G3Surface* s = slot.s.get();
        s->CloseTransformation();
        EXPECT_EQ(nullptr, s->GetExDataProvider());
        if (!p.open)
            return;
        // Tracked kinds come back exactly; the others were never moved.
        for (int i = 0; p.vertices && i < s->GetVertexCount(); ++i)
            EXPECT_EQ(p.restoreTo[s->GetVertex(i)], Xyz(s->GetVertex(i))) << i;
        for (int i = 0; p.normals && i < s->GetNormalCount(); ++i)
            EXPECT_EQ(p.restoreTo[s->G3Shell::GetNormal(i)], Xyz(s->G3Shell::GetNormal(i))) << i;
        // Facets present at the open get their plane back; those added
        // since have one formed from their vertices.
        for (int i = 0; p.vertices && i < s->GetFacetCount(); ++i) {
            const G3Facet* f = s->GetFacet(i);
            const auto it = p.planeAtOpen.find(f);
            if (it != p.planeAtOpen.end()) {
                EXPECT_EQ(it->second, Vd(f->GetPlane(), f->GetPlane() + 4)) << i;
            } else if (f->IsPlaneZero()) {
                EXPECT_FALSE(Spans(f)) << i;
            }
        }
        p = PreviewOracle();
    }

public:
    int steps = 0;

private:
    Rng rng;
    Slot slots[3];
};

} // namespace

TEST(SurfaceRandomEdit, EveryCallLeavesEverySurfaceConsistent)
{
    for (std::uint64_t seed : {1u, 2u, 3u, 4u}) {
        Editor editor(seed);
        for (int i = 0; i < 1000 && !::testing::Test::HasFatalFailure(); ++i)
            editor.Step();
        editor.CloseAll();
        ASSERT_FALSE(::testing::Test::HasFailure()) << "seed " << seed << " step " << editor.steps;
    }
}
