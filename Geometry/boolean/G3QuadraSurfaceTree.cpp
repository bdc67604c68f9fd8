// Octree of a surface's facets. Invariants:
// - every facet with a valid envelope is held by at least one node whose
//   box its envelope meets, so a search that visits every node whose box
//   meets the query region finds every facet whose envelope meets it;
// - a node's children cover its box exactly (eight octants);
// - searches report each facet once and leave every facet mark clear.
// Rounding: the octant split points and the frame of an aperture search;
// both only widen what is visited, never drop a node.
#include "Geometry/boolean/G3QuadraSurfaceTree.h"

#include "Geometry/boolean/G3BooleanGeometry.h"
#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/math/GEnvelope.h"
#include "Geometry/math/GTolerance.h"
#include "Geometry/mesh/G3Facet.h"
#include "Geometry/mesh/G3Surface.h"

#include <cmath>

G_DEFINE_POOL(G3QuadraSurfaceTreeNode, "G3QuadraSurfaceTreeNode", 4096)

namespace {

using G3BooleanGeometry::Finite3;

// A leaf splits above kSplitCount facets while its level is below kMaxLevel.
constexpr int kSplitCount = 200;
constexpr int kMaxLevel = 4;

double MaxAbsSize(const GEnvelope* e)
{
    return std::fmax(std::fabs(e->XSize()), std::fmax(std::fabs(e->YSize()), std::fabs(e->ZSize())));
}

bool ValidEnvelope(const GEnvelope& e)
{
    for (int k = 0; k < 3; ++k)
        if (!std::isfinite(e.min[k]) || !std::isfinite(e.max[k]) || e.min[k] > e.max[k])
            return false;
    return true;
}

bool FacetEnvelope(G3Facet* f, GEnvelope* e)
{
    if (!f || !f->HasEdges())
        return false;
    f->FormEnvelope(e);
    return ValidEnvelope(*e);
}

// Appends the unmarked facets of a node to out, marking them.
void TakeFacets(const G3QuadraSurfaceTreeNode* node, GArrayCollection* out)
{
    for (int k = 0; k < node->facets->size(); ++k) {
        G3Facet* f = static_cast<G3Facet*>(node->facets->get(k));
        if (!f->GetMark()) {
            f->SetMark();
            out->add(f);
        }
    }
}

void ClearMarksFrom(GArrayCollection* out, int from)
{
    for (int k = from; k < out->size(); ++k)
        static_cast<G3Facet*>(out->get(k))->ClearMark();
}

void CollectAlong(const G3QuadraSurfaceTreeNode* node, const double* p, const double* q, GArrayCollection* out)
{
    double a[3] = {p[0], p[1], p[2]};
    double b[3] = {q[0], q[1], q[2]};
    if (node->box->ClipTest(a, b) != 0)
        return;
    for (const G3QuadraSurfaceTreeNode* c : node->children)
        if (c)
            CollectAlong(c, p, q, out);
    TakeFacets(node, out);
}

// The prism of an aperture search in the segment's frame: origin p, axes
// u and v across the segment, w along it.
struct Prism {
    double origin[3];
    double axes[3][3];
    double lo[3];
    double hi[3];
};

bool MeetsPrism(const GEnvelope* box, const Prism& prism)
{
    // The box's corners in the frame give a box there that holds it.
    double lo[3] = {INFINITY, INFINITY, INFINITY};
    double hi[3] = {-INFINITY, -INFINITY, -INFINITY};
    for (int c = 0; c < 8; ++c) {
        const double corner[3] = {(c & 1) ? box->max[0] : box->min[0], (c & 2) ? box->max[1] : box->min[1],
                                  (c & 4) ? box->max[2] : box->min[2]};
        for (int k = 0; k < 3; ++k) {
            double t = 0.0;
            for (int d = 0; d < 3; ++d)
                t += (corner[d] - prism.origin[d]) * prism.axes[k][d];
            lo[k] = std::fmin(lo[k], t);
            hi[k] = std::fmax(hi[k], t);
        }
    }
    for (int k = 0; k < 3; ++k)
        if (hi[k] < prism.lo[k] || lo[k] > prism.hi[k])
            return false;
    return true;
}

void CollectInPrism(const G3QuadraSurfaceTreeNode* node, const Prism& prism, GArrayCollection* out)
{
    if (!MeetsPrism(node->box, prism))
        return;
    for (const G3QuadraSurfaceTreeNode* c : node->children)
        if (c)
            CollectInPrism(c, prism, out);
    TakeFacets(node, out);
}

} // namespace

// ------------------------------------------------------------ nodes

G3QuadraSurfaceTreeNode::G3QuadraSurfaceTreeNode(GEnvelope* b, int l) : box(b), level(l)
{
    facets = new GArrayCollection();
}

G3QuadraSurfaceTreeNode::G3QuadraSurfaceTreeNode(const G3QuadraSurfaceTreeNode& other, GEnvelope* b)
    : box(b), level(other.level)
{
    facets = new GArrayCollection(*other.facets);
    for (int k = 0; k < 8; ++k) {
        if (other.childBoxes[k])
            childBoxes[k] = new GEnvelope(*other.childBoxes[k]);
        if (other.children[k])
            children[k] = new G3QuadraSurfaceTreeNode(*other.children[k], childBoxes[k]);
    }
}

G3QuadraSurfaceTreeNode::~G3QuadraSurfaceTreeNode()
{
    for (int k = 0; k < 8; ++k) {
        delete children[k];
        delete childBoxes[k];
    }
    delete facets;
}

bool G3QuadraSurfaceTreeNode::Insert(G3Facet* f, const GEnvelope* e)
{
    if (!children[0]) {
        facets->add(f);
        if (level < kMaxLevel && facets->size() > kSplitCount)
            Split();
        return true;
    }
    if (MaxAbsSize(e) > MaxAbsSize(box)) {
        facets->add(f);
        f->SetMark();
        return true;
    }
    bool taken = false;
    for (int k = 0; k < 8; ++k)
        if (childBoxes[k]->IsIntersectXYZ(e))
            taken = children[k]->Insert(f, e) || taken;
    return taken;
}

void G3QuadraSurfaceTreeNode::Split()
{
    double mid[3];
    for (int d = 0; d < 3; ++d)
        mid[d] = 0.5 * (box->min[d] + box->max[d]);
    for (int k = 0; k < 8; ++k) {
        childBoxes[k] = new GEnvelope();
        childBoxes[k]->Set((k & 1) ? mid[0] : box->min[0], (k & 2) ? mid[1] : box->min[1],
                           (k & 4) ? mid[2] : box->min[2], (k & 1) ? box->max[0] : mid[0],
                           (k & 2) ? box->max[1] : mid[1], (k & 4) ? box->max[2] : mid[2]);
        children[k] = new G3QuadraSurfaceTreeNode(childBoxes[k], level + 1);
    }
    GArrayCollection* old = facets;
    facets = new GArrayCollection();
    for (int k = 0; k < old->size(); ++k) {
        G3Facet* f = static_cast<G3Facet*>(old->get(k));
        GEnvelope e;
        bool taken = false;
        if (!f->GetMark() && FacetEnvelope(f, &e))
            for (int c = 0; c < 8; ++c)
                if (childBoxes[c]->IsIntersectXYZ(&e))
                    taken = children[c]->Insert(f, &e) || taken;
        if (!taken)
            facets->add(f);
    }
    delete old;
}

void G3QuadraSurfaceTreeNode::Compact()
{
    facets->ReallocByRealSize();
    for (G3QuadraSurfaceTreeNode* c : children)
        if (c)
            c->Compact();
}

// ------------------------------------------------------------ tree

G3QuadraSurfaceTree::G3QuadraSurfaceTree(G3Surface* s) : surface(s) {}

G3QuadraSurfaceTree::G3QuadraSurfaceTree(const G3QuadraSurfaceTree& other) : GObj(other) { Assign(other); }

G3QuadraSurfaceTree& G3QuadraSurfaceTree::operator=(const G3QuadraSurfaceTree& other)
{
    if (this != &other) {
        GObj::operator=(other);
        Assign(other);
    }
    return *this;
}

G3QuadraSurfaceTree::~G3QuadraSurfaceTree()
{
    delete root;
    delete box;
}

void G3QuadraSurfaceTree::Assign(const G3QuadraSurfaceTree& other)
{
    delete root;
    delete box;
    root = nullptr;
    box = nullptr;
    surface = other.surface;
    if (other.box)
        box = new GEnvelope(*other.box);
    if (other.root)
        root = new G3QuadraSurfaceTreeNode(*other.root, box);
}

bool G3QuadraSurfaceTree::MakeTree()
{
    if (!surface)
        return false;
    delete root;
    delete box;
    box = new GEnvelope();
    surface->FormEnvelope(box);
    root = new G3QuadraSurfaceTreeNode(box, 1);
    GArrayCollection* list = surface->GetFacetList();
    for (int k = 0; list && k < list->size(); ++k) {
        G3Facet* f = static_cast<G3Facet*>(list->get(k));
        GEnvelope e;
        if (FacetEnvelope(f, &e))
            root->Insert(f, &e);
    }
    root->Compact();
    for (int k = 0; list && k < list->size(); ++k)
        static_cast<G3Facet*>(list->get(k))->ClearMark();
    return true;
}

bool G3QuadraSurfaceTree::FindIntersection(const double* p, const double* q, GArrayCollection* out)
{
    if (!root || !out || !Finite3(p) || !Finite3(q))
        return false;
    const int from = out->size();
    CollectAlong(root, p, q, out);
    ClearMarksFrom(out, from);
    return true;
}

bool G3QuadraSurfaceTree::FindIntersectionInApertura(const double* p, const double* q, double aperture,
                                                     GArrayCollection* out)
{
    if (!root || !out || !Finite3(p) || !Finite3(q) || !std::isfinite(aperture))
        return false;
    Prism prism;
    double w[3] = {q[0] - p[0], q[1] - p[1], q[2] - p[2]};
    const double length = std::sqrt(w[0] * w[0] + w[1] * w[1] + w[2] * w[2]);
    if (length > GTolerance::kZeroLength) {
        for (double& c : w)
            c /= length;
    } else {
        w[0] = 0.0;
        w[1] = 0.0;
        w[2] = 1.0;
    }
    // u: across w, from the axis w leans on least; v = w x u.
    const int least = std::fabs(w[0]) <= std::fabs(w[1]) ? (std::fabs(w[0]) <= std::fabs(w[2]) ? 0 : 2)
                                                          : (std::fabs(w[1]) <= std::fabs(w[2]) ? 1 : 2);
    double e[3] = {0.0, 0.0, 0.0};
    e[least] = 1.0;
    double u[3] = {e[1] * w[2] - e[2] * w[1], e[2] * w[0] - e[0] * w[2], e[0] * w[1] - e[1] * w[0]};
    const double ul = std::sqrt(u[0] * u[0] + u[1] * u[1] + u[2] * u[2]);
    for (double& c : u)
        c /= ul;
    const double v[3] = {w[1] * u[2] - w[2] * u[1], w[2] * u[0] - w[0] * u[2], w[0] * u[1] - w[1] * u[0]};
    const double half = 0.5 * std::fabs(aperture);
    for (int d = 0; d < 3; ++d) {
        prism.origin[d] = p[d];
        prism.axes[0][d] = u[d];
        prism.axes[1][d] = v[d];
        prism.axes[2][d] = w[d];
    }
    prism.lo[0] = prism.lo[1] = -half;
    prism.hi[0] = prism.hi[1] = half;
    prism.lo[2] = 0.0;
    prism.hi[2] = length;
    const int from = out->size();
    CollectInPrism(root, prism, out);
    ClearMarksFrom(out, from);
    return true;
}
