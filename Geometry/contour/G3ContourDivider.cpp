// The contour divider: loading into edge lists, resolution through the edge
// lists' self-intersection removal, and the unload with one orientation rule.
//
// Invariants: every loaded edge's vertices live in `surface` and every list
// (loaded or resulting) is deleted before it; results are unloaded in the
// order the resolution produced them. The one rounding is in the
// resolution (crossing points made by the edge lists); the unload passes
// the vertices' coordinates as they are.

#include "Geometry/contour/G3ContourDivider.h"

#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/math/G3Math.h"
#include "Geometry/math/GTolerance.h"
#include "Geometry/mesh/G3Edge.h"
#include "Geometry/mesh/G3Surface.h"
#include "Geometry/mesh/G3Vertex.h"
#include "Geometry/processing/G3EdgeList.h"

#include <cmath>

namespace {

bool InRange3(const double* p)
{
    const double limit = GTolerance::kLargestCoordinate;
    return std::fabs(p[0]) <= limit && std::fabs(p[1]) <= limit && std::fabs(p[2]) <= limit;
}

G3Edge* EdgeAt(G3EdgeList* c, int k)
{
    const int n = c->size();
    return c->GetEdge(((k % n) + n) % n);
}

} // namespace

G3ContourDivider::G3ContourDivider() : contours(new GArrayCollection()) {}

G3ContourDivider::~G3ContourDivider()
{
    Clear();
    delete contours;
}

void G3ContourDivider::Clear()
{
    for (int k = 0; k < contours->size(); ++k)
        delete static_cast<G3EdgeList*>(contours->get(k));
    contours->clear();
    delete currentContour;
    currentContour = nullptr;
    delete surface;
    surface = nullptr;
    mode = 1;
    remeshFlags = 0;
}

void G3ContourDivider::BeginLoad(int newMode, int newRemeshFlags)
{
    // A second BeginLoad starts afresh instead of orphaning the first store.
    Clear();
    mode = newMode;
    remeshFlags = newRemeshFlags;
    surface = new G3Surface();
}

void G3ContourDivider::BeginLoadContour()
{
    if (surface && !currentContour)
        currentContour = new G3EdgeList(1, 1);
}

void G3ContourDivider::LoadEdge(double* p1, double* p2, int flags, unsigned long tag1, unsigned long tag2)
{
    if (!surface || !currentContour || !p1 || !p2 || !InRange3(p1) || !InRange3(p2))
        return;
    G3Vertex* a = surface->AddVertex(p1, tag1);
    G3Vertex* b = surface->AddVertex(p2, tag2);
    if (!a || !b)
        return;
    surface->SetEdgeFlags(flags);
    currentContour->AddEdge(a, b, nullptr, nullptr, nullptr, nullptr, flags);
}

void G3ContourDivider::EndLoadContour()
{
    if (!currentContour)
        return;
    if (currentContour->size() > 0)
        contours->add(currentContour);
    else
        delete currentContour;
    currentContour = nullptr;
}

int G3ContourDivider::Join(const G3Edge* n, const G3Edge* e)
{
    if (!n->GetVisible() && e->GetVisible() && !e->GetFormMaking())
        return JOIN_BREAK;
    if (n->GetVisible() && e->GetVisible() && (n->GetFlags() & kJoinFlagBits) != (e->GetFlags() & kJoinFlagBits))
        return JOIN_BREAK;
    return JOIN_SMOOTH;
}

void G3ContourDivider::ReverseContourFlags(G3EdgeList* c)
{
    if (!c)
        return;
    bool carried = false;
    for (int k = 0; k < c->size(); ++k) {
        G3Edge* e = c->GetEdge(k);
        const bool had = e->GetFormMaking();
        if (carried)
            e->SetFormMaking();
        else
            e->ClearFormMaking();
        carried = had;
    }
}

int G3ContourDivider::GetSignOfOrientedSquare(G3EdgeList* c)
{
    if (!c || c->size() < 3)
        return 0;
    const int i = c->GetXCoo();
    const int j = c->GetYCoo();
    if (i < 0 || j < 0)
        return 0;
    // The whole contour's area, not the turn at one corner: a contour with
    // its holes linked in passes the points where a hole touches the outline
    // twice, and a corner of largest x may belong to the hole, whose turn is
    // the opposite one. Summed about the first corner so that products of
    // site coordinates do not swamp a small contour.
    const double* o = c->GetEdge(0)->GetVertex1()->GetXYZ();
    double twice = 0.0;
    for (int k = 0; k < c->size(); ++k) {
        const G3Edge* e = c->GetEdge(k);
        twice += G3Math::GetArea2(o, e->GetVertex1()->GetXYZ(), e->GetVertex2()->GetXYZ(), i, j);
    }
    if (std::fabs(twice) < GTolerance::kZeroArea)
        return 0;
    return twice < 0.0 ? -1 : 1;
}

void G3ContourDivider::UnloadContour(G3EdgeList* c, bool reverse)
{
    const int n = c->size();
    BeginUnloadContour(n, c->GetContourType() == CONTOUR_TYPE_HOLE);
    // The host receives copies: what it does with them cannot move a vertex
    // that later edges still read.
    auto unload = [this](const G3Edge* e, const G3Vertex* from, int joinFrom, const G3Vertex* to, int joinTo,
                         bool tags) {
        double p1[3];
        double p2[3];
        for (int d = 0; d < 3; ++d) {
            p1[d] = from->GetXYZ(d);
            p2[d] = to->GetXYZ(d);
        }
        UnloadEdge(p1, joinFrom, p2, joinTo, static_cast<int>(e->GetFlags()), tags ? from->GetTag() : 0,
                   tags ? to->GetTag() : 0);
    };
    if (reverse) {
        ReverseContourFlags(c);
        for (int k = n - 1; k >= 0; --k) {
            const G3Edge* e = c->GetEdge(k);
            unload(e, e->GetVertex2(), Join(EdgeAt(c, k + 1), e), e->GetVertex1(), Join(EdgeAt(c, k - 1), e), false);
        }
    } else {
        for (int k = 0; k < n; ++k) {
            const G3Edge* e = c->GetEdge(k);
            unload(e, e->GetVertex1(), Join(EdgeAt(c, k - 1), e), e->GetVertex2(), Join(EdgeAt(c, k + 1), e), true);
        }
    }
    EndUnloadContour();
}

void G3ContourDivider::EndLoad()
{
    EndLoadContour();
    if (!surface || contours->size() == 0) {
        Clear();
        return;
    }
    // Every contour gets its own plane, so that the pieces it resolves into
    // keep the turn it was loaded with (without one they come out as the
    // graph walk happens to run them) and only contours loaded against the
    // rule are reversed. The projection axes do not depend on the plane's
    // sign, so contours of one plane share them.
    GArrayCollection result;
    for (int k = 0; k < contours->size(); ++k) {
        G3EdgeList* c = static_cast<G3EdgeList*>(contours->get(k));
        c->FormMaxPlaneCoo();
        c->RemoveSelfIntersections(&result, surface, false, UNION_EDGE_BY_SIDES, 0);
    }
    // Nesting tells holes from outer contours only among contours that do
    // not cross.
    SeparateOverlaps(&result);
    G3EdgeList::RemeshContours(surface, &result, mode == 1, remeshFlags);

    BeginUnload();
    bool anchored = false;
    bool anchorIsHole = false;
    int anchorSign = 0;
    for (int k = 0; k < result.size(); ++k) {
        G3EdgeList* c = static_cast<G3EdgeList*>(result.get(k));
        if (c->size() == 0)
            continue;
        const bool isHole = c->GetContourType() == CONTOUR_TYPE_HOLE;
        const int s = GetSignOfOrientedSquare(c);
        if (!anchored && s != 0) {
            anchored = true;
            anchorIsHole = isHole;
            anchorSign = s;
        }
        const int want = isHole == anchorIsHole ? anchorSign : -anchorSign;
        UnloadContour(c, anchored && s != 0 && s != want);
    }
    for (int k = 0; k < result.size(); ++k)
        delete static_cast<G3EdgeList*>(result.get(k));
    result.clear();
    EndUnload();
    Clear();
}
