// Orientation of a surface's facets: from their corner normals
// (OrientNormals) or from the geometry alone (OrientNormals2).
//
// OrientNormals2 shoots vertical probes through the x-y projection: along a
// probe the facets it crosses alternate between facing down (the way in)
// and up (the way out), lowest first. Each facet a probe orients seeds a
// breadth-first spread across manifold edges that turns neighbours to run
// along their shared edge opposite to it. Facets that cannot be crossed by
// a vertical probe (nearly vertical ones, and those without a plane) are
// neither stored in the probe tree nor probed; they are oriented only by
// the spread. Ties in height are broken by facet id, so the result does not
// depend on addresses. Mark is the "oriented" flag and is clear on return.

#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/foundation/GHeap.h"
#include "Geometry/foundation/GObj.h"
#include "Geometry/math/GEnvelope.h"
#include "Geometry/mesh/G3Edge.h"
#include "Geometry/mesh/G3Facet.h"
#include "Geometry/mesh/G3FacetIterators.h"
#include "Geometry/mesh/G3Point.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/mesh/G3Vertex.h"
#include "Geometry/mesh/G3PassCheck.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

// Dot product of plane and normal sum below which a facet is turned.
constexpr double kAgainstNormals = -1e-6;
// A facet is nearly vertical (no probe crosses it well) when the
// horizontal part of its normal exceeds this share of the normal's length.
constexpr double kNearlyVertical = 0.999;
// Depth of the tree's leaves (the root is depth 1).
constexpr int kTreeDepth = 8;
// A facet whose x-y box covers at most this share of a node's area goes
// down into the node's children.
constexpr double kDescendShare = 0.4;

// Whether a vertical probe crosses f at a well-defined height: a plane with
// a normal, not nearly vertical, and a non-zero c (a plane with c = 0 is
// vertical whatever the ratio's rounding says).
bool Probeable(const G3Facet* f)
{
    const double a = f->GetPlaneA();
    const double b = f->GetPlaneB();
    const double c = f->GetPlaneC();
    if (c == 0.0)
        return false;
    const double horizontal = std::sqrt(a * a + b * b);
    const double length = std::sqrt(a * a + b * b + c * c);
    return horizontal <= kNearlyVertical * length;
}

// A cell of a node's facet list.
class MyFacetListCell : public GObj {
    G_DECLARE_POOL(MyFacetListCell)
public:
    G3Facet* facet = nullptr;
    MyFacetListCell* next = nullptr;
};

// A node's facets, in insertion order.
class CMyFacetList : public GObj {
    G_DECLARE_POOL(CMyFacetList)
public:
    CMyFacetList() = default;
    CMyFacetList(const CMyFacetList&) = delete;
    CMyFacetList& operator=(const CMyFacetList&) = delete;
    ~CMyFacetList() override
    {
        while (head) {
            MyFacetListCell* next = head->next;
            delete head;
            head = next;
        }
    }
    void Add(G3Facet* f)
    {
        MyFacetListCell* cell = new MyFacetListCell();
        cell->facet = f;
        if (tail)
            tail->next = cell;
        else
            head = cell;
        tail = cell;
    }
    MyFacetListCell* head = nullptr;
    MyFacetListCell* tail = nullptr;
};

// A node of the quadtree over the x-y projection. Children: 0 lower-left,
// 1 upper-left, 2 lower-right, 3 upper-right, made on demand.
class xyTree : public GObj {
    G_DECLARE_POOL(xyTree)
public:
    xyTree(double x0, double y0, double x1, double y1) : x0(x0), y0(y0), x1(x1), y1(y1) {}
    xyTree(const xyTree&) = delete;
    xyTree& operator=(const xyTree&) = delete;
    ~xyTree() override
    {
        delete list;
        for (xyTree* c : child)
            delete c;
    }

    // Stores f (x-y box `box`) at this node (depth `depth`) or below.
    void Insert(G3Facet* f, const GEnvelope& box, int depth)
    {
        const double area = (x1 - x0) * (y1 - y0);
        const double facetArea = box.XSize() * box.YSize();
        if (depth >= kTreeDepth || facetArea > kDescendShare * area) {
            if (!list)
                list = new CMyFacetList();
            list->Add(f);
            return;
        }
        const double mx = 0.5 * (x0 + x1);
        const double my = 0.5 * (y0 + y1);
        const bool left = box.GetMin()[0] <= mx;
        const bool right = box.GetMax()[0] >= mx;
        const bool down = box.GetMin()[1] <= my;
        const bool up = box.GetMax()[1] >= my;
        if (left && down)
            Child(0)->Insert(f, box, depth + 1);
        if (left && up)
            Child(1)->Insert(f, box, depth + 1);
        if (right && down)
            Child(2)->Insert(f, box, depth + 1);
        if (right && up)
            Child(3)->Insert(f, box, depth + 1);
    }

    // Appends to out every single-sided facet stored on the path to (x, y)
    // whose x-y projection contains the point.
    void Collect(double x, double y, std::vector<G3Facet*>& out) const
    {
        const double p[3] = {x, y, 0.0};
        for (const xyTree* node = this; node;) {
            for (const MyFacetListCell* c = node->list ? node->list->head : nullptr; c; c = c->next) {
                if (!c->facet->GetDoubleSided() && c->facet->PointInFacetXY(p, nullptr, nullptr))
                    out.push_back(c->facet);
            }
            const double mx = 0.5 * (node->x0 + node->x1);
            const double my = 0.5 * (node->y0 + node->y1);
            node = node->child[(x <= mx ? 0 : 2) + (y <= my ? 0 : 1)];
        }
    }

private:
    xyTree* Child(int k)
    {
        if (!child[k]) {
            const double mx = 0.5 * (x0 + x1);
            const double my = 0.5 * (y0 + y1);
            const bool right = k >= 2;
            const bool upper = (k & 1) != 0;
            child[k] = new xyTree(right ? mx : x0, upper ? my : y0, right ? x1 : mx, upper ? y1 : my);
        }
        return child[k];
    }

    double x0;
    double y0;
    double x1;
    double y1;
    CMyFacetList* list = nullptr;
    xyTree* child[4] = {nullptr, nullptr, nullptr, nullptr};
};

G_DEFINE_POOL(MyFacetListCell, "MyFacetListAlloc", 4096)
G_DEFINE_POOL(CMyFacetList, "CMyFacetList", 4096)
G_DEFINE_POOL(xyTree, "xyTree", 4096)

// Height of f's plane over (x, y); f is probeable (c != 0).
double HeightAt(const G3Facet* f, double x, double y)
{
    return -(f->GetPlaneA() * x + f->GetPlaneB() * y + f->GetPlaneD()) / f->GetPlaneC();
}

} // namespace

bool G3Surface::OrientNormals()
{
    G3_CHECK_PASS(this, "OrientNormals");
    if (!HasGeometry())
        return false;
    FormPlaneEquation();
    for (int k = 0; k < GetFacetCount(); ++k) {
        G3Facet* f = GetFacet(k);
        double sum[3] = {0.0, 0.0, 0.0};
        G3FacetVertexIterator it(f);
        while (G3Vertex* v = it.NextVertex()) {
            G3TexCoo* t = nullptr;
            if (const G3Normal* n = f->GetNormal(v, &t)) {
                for (int c = 0; c < 3; ++c)
                    sum[c] += n->GetXYZ()[c];
            }
        }
        const double* p = f->GetPlane();
        if (p[0] * sum[0] + p[1] * sum[1] + p[2] * sum[2] < kAgainstNormals)
            f->NegPlane();
    }
    return true;
}

void G3Surface::OrientNormal2(G3Facet* f, GArrayCollection* queue)
{
    for (G3Edge* e = f->GetFirstEdge(); e; e = e->GetFacetEdge(f)) {
        G3Vertex* a = e->GetVertex1();
        G3Vertex* b = e->GetVertex2();
        if (!a || !b || a->GetEdgeCount2(b) >= 3)
            continue;
        G3Facet* g = e->GetFacet1() == f ? e->GetFacet2() : e->GetFacet1();
        if (!g || g == f || g->GetMark() || g->GetDoubleSided() != f->GetDoubleSided())
            continue;
        if (f->GetMoveDirection(e) == g->GetMoveDirection(e))
            g->NegPlane();
        g->SetMark();
        queue->add(g);
    }
}

bool G3Surface::OrientNormals2(bool force)
{
    G3_CHECK_PASS(this, "OrientNormals2");
    if (!force && HasGeometry()) {
        OrientNormals();
        return true;
    }
    FormPlaneEquation();
    const int n = GetFacetCount();
    if (n == 0)
        return true;
    GEnvelope env;
    FormEnvelope(&env);
    xyTree* tree = new xyTree(env.GetMin()[0], env.GetMin()[1], env.GetMax()[0], env.GetMax()[1]);
    for (int k = n - 1; k >= 0; --k) {
        G3Facet* f = GetFacet(k);
        if (!Probeable(f))
            continue;
        GEnvelope box;
        f->FormEnvelope(&box);
        tree->Insert(f, box, 1);
    }

    std::vector<G3Facet*> hits;
    std::vector<std::pair<double, G3Facet*>> sorted;
    GArrayCollection queue;
    for (int k = n - 1; k >= 0; --k) {
        G3Facet* f = GetFacet(k);
        if (f->GetMark() || !Probeable(f))
            continue;
        double x = 0.0;
        double y = 0.0;
        if (!f->GenerateXYPointInFacetConcave(x, y))
            continue;
        hits.clear();
        tree->Collect(x, y, hits);
        sorted.clear();
        for (G3Facet* h : hits)
            sorted.emplace_back(HeightAt(h, x, y), h);
        std::sort(sorted.begin(), sorted.end(), [](const auto& l, const auto& r) {
            if (l.first != r.first)
                return l.first < r.first;
            return l.second->GetId() < r.second->GetId();
        });
        for (std::size_t i = 0; i < sorted.size(); ++i) {
            G3Facet* h = sorted[i].second;
            if (h->GetMark())
                continue;
            // The lowest crossing enters the solid: its facet faces down.
            const bool faceDown = i % 2 == 0;
            if ((faceDown && h->GetPlaneC() > 0.0) || (!faceDown && h->GetPlaneC() < 0.0))
                h->NegPlane();
            h->SetMark();
            queue.clear();
            queue.add(h);
            for (int q = 0; q < queue.size(); ++q)
                OrientNormal2(static_cast<G3Facet*>(queue.get(q)), &queue);
        }
    }
    delete tree;
    ChangeFacetFlags(static_cast<int>(G3Obj::FLAG_MARK), false);
    UnionFacets(4);
    return true;
}

void G3Surface::FindEdgeOrientation(G3Edge* a, G3Edge* b, bool* aUp, bool* bUp)
{
    if (!a || !b || !a->GetVertex1() || !a->GetVertex2() || !b->GetVertex1() || !b->GetVertex2())
        return;
    GEnvelope box;
    GEnvelope other;
    a->FormEnvelope(&box);
    b->FormEnvelope(&other);
    box.Add(&other);
    const int axis = box.GetMaxCoo();
    if (aUp)
        *aUp = a->GetVertex2()->GetXYZ()[axis] > a->GetVertex1()->GetXYZ()[axis];
    if (bUp)
        *bUp = b->GetVertex2()->GetXYZ()[axis] > b->GetVertex1()->GetXYZ()[axis];
}
