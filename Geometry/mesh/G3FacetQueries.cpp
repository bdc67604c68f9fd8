// Geometric questions asked of single facets: is a point inside (and on
// which vertex or edge of the boundary), where does a plane cut the
// boundary, how high is the plane over a point, do two planes coincide.
//
// A facet's chain may hold several contours (the outer one, then holes).
// Every walk here closes each contour on its own: joining the contours into
// one polygon would add two edges that do not exist and misclassify the
// region between them.

#include "Geometry/mesh/G3Facet.h"

#include "Geometry/boolean/G3IntervalList.h"
#include "Geometry/foundation/GCollection.h"
#include "Geometry/math/G3Math.h"
#include "Geometry/math/GEnvelope.h"
#include "Geometry/math/GTolerance.h"
#include "Geometry/mesh/G3Edge.h"
#include "Geometry/mesh/G3FacetIterators.h"
#include "Geometry/mesh/G3FacetLocator.h"
#include "Geometry/mesh/G3RayProbe.h"
#include "Geometry/mesh/G3Vertex.h"

#include <algorithm>
#include <cmath>

namespace {

// The boundary of a facet as steps from a vertex to the next, each contour
// (as G3ContourWalker splits the chain) closed back to its own first vertex.
class BoundarySteps {
public:
    explicit BoundarySteps(const G3Facet* f) : walker(f) {}

    struct Step {
        G3Vertex* from;
        G3Vertex* to;
        G3Edge* edge; // the chain edge joining from and to
        bool opens;   // from is the first vertex of its contour
        bool closes;  // to is the first vertex of its contour
    };

    bool Next(Step& s)
    {
        if (!walker.Next())
            return false;
        s.from = walker.GetEntry();
        s.edge = walker.GetEdge();
        s.opens = walker.Opens();
        s.closes = walker.Closes();
        s.to = s.closes ? walker.GetContourStart() : walker.GetExit();
        return true;
    }

private:
    G3ContourWalker walker;
};

bool ValidAxis(int k) { return k >= 0 && k < 3; }

using G3RayProbe::Corner;
using G3RayProbe::RayProbe;
using G3RayProbe::StepResult;
using G3RayProbe::STEP_CROSSING;
using G3RayProbe::STEP_NOTHING;
using G3RayProbe::STEP_ON_EDGE;
using G3RayProbe::STEP_ON_VERTEX;

void SetOutputs(G3Vertex** onA, G3Vertex** onB, G3Vertex* a, G3Vertex* b)
{
    if (onA)
        *onA = a;
    if (onB)
        *onB = b;
}

// The two ends of a boundary edge, the lower id first (walk order on equal
// ids), so that the answer never depends on where the vertices live.
void SetEdgeOutputs(G3Vertex** onA, G3Vertex** onB, G3Vertex* a, G3Vertex* b)
{
    if (a && b && b->GetId() < a->GetId())
        SetOutputs(onA, onB, b, a);
    else
        SetOutputs(onA, onB, a, b);
}

// Applies one edge's result; true when the test is decided (the point is on
// the boundary).
bool Apply(StepResult r, const Corner& a, const Corner& b, int* crossings, G3Vertex** onA, G3Vertex** onB)
{
    switch (r) {
    case STEP_ON_VERTEX:
        SetOutputs(onA, onB, b.vertex, nullptr);
        return true;
    case STEP_ON_EDGE:
        SetEdgeOutputs(onA, onB, a.vertex, b.vertex);
        return true;
    case STEP_CROSSING:
        ++*crossings;
        return false;
    case STEP_NOTHING:
        break;
    }
    return false;
}

// One boundary step from -> to of the point-in-facet walk (`opens`: from
// starts its contour): counts a crossing, or reports the vertex or edge the
// point lies on and returns true. A step without both ends has no geometry.
bool StepDecides(const RayProbe& probe, G3Vertex* from, G3Vertex* to, bool opens, int* crossings, G3Vertex** onA,
                 G3Vertex** onB)
{
    if (!from || !to)
        return false;
    const Corner prev = probe.Make(from->GetXYZ(), from);
    if (opens && RayProbe::OnPoint(prev)) {
        SetOutputs(onA, onB, from, nullptr);
        return true;
    }
    const Corner cur = probe.Make(to->GetXYZ(), to);
    return Apply(probe.Edge(prev, cur), prev, cur, crossings, onA, onB);
}

G3Point* NextPoint(GIterator* it)
{
    while (it->hasNext())
        if (G3Point* p = dynamic_cast<G3Point*>(it->next()))
            return p;
    return nullptr;
}

int Side(double s) { return std::fabs(s) < GTolerance::kPlaneSide ? 0 : (s >= 0.0 ? 1 : -1); }

double PlaneValue(const double* xyz, const void* context)
{
    const double* plane = static_cast<const double*>(context);
    return plane[0] * xyz[0] + plane[1] * xyz[1] + plane[2] * xyz[2] + plane[3];
}

} // namespace

// ------------------------------------------------------- point in facet

bool G3Facet::PointInFacet(int i, int j, const double* p, GIterator* vertices, G3Vertex** onA, G3Vertex** onB,
                           double tolerance)
{
    SetOutputs(onA, onB, nullptr, nullptr);
    if (!p || !vertices || !ValidAxis(i) || !ValidAxis(j))
        return false;
    G3Point* firstPoint = NextPoint(vertices);
    if (!firstPoint)
        return false;

    const RayProbe probe(i, j, p, tolerance);
    const Corner first = probe.Make(firstPoint->GetXYZ(), dynamic_cast<G3Vertex*>(firstPoint));
    if (RayProbe::OnPoint(first)) {
        SetOutputs(onA, onB, first.vertex, nullptr);
        return true;
    }
    int crossings = 0;
    Corner prev = first;
    while (G3Point* w = NextPoint(vertices)) {
        const Corner cur = probe.Make(w->GetXYZ(), dynamic_cast<G3Vertex*>(w));
        if (Apply(probe.Edge(prev, cur), prev, cur, &crossings, onA, onB))
            return true;
        prev = cur;
    }
    if (Apply(probe.Edge(prev, first), prev, first, &crossings, onA, onB))
        return true;
    SetOutputs(onA, onB, nullptr, nullptr);
    return (crossings & 1) != 0;
}

bool G3Facet::PointInFacetXY(const double* p, GIterator* vertices, G3Vertex** onA, G3Vertex** onB)
{
    return PointInFacet(0, 1, p, vertices, onA, onB, GTolerance::kInFacet);
}

bool G3Facet::PointInFacetXZ(const double* p, GIterator* vertices, G3Vertex** onA, G3Vertex** onB)
{
    return PointInFacet(0, 2, p, vertices, onA, onB, GTolerance::kInFacet);
}

bool G3Facet::PointInFacetYZ(const double* p, GIterator* vertices, G3Vertex** onA, G3Vertex** onB)
{
    return PointInFacet(1, 2, p, vertices, onA, onB, GTolerance::kInFacet);
}

bool G3Facet::PointInFacet(int i, int j, const double* p, G3Vertex** onA, G3Vertex** onB, double tolerance) const
{
    SetOutputs(onA, onB, nullptr, nullptr);
    if (!p || !ValidAxis(i) || !ValidAxis(j))
        return false;
    const RayProbe probe(i, j, p, tolerance);
    BoundarySteps steps(this);
    BoundarySteps::Step s;
    int crossings = 0;
    while (steps.Next(s))
        if (StepDecides(probe, s.from, s.to, s.opens, &crossings, onA, onB))
            return true;
    SetOutputs(onA, onB, nullptr, nullptr);
    return (crossings & 1) != 0;
}

G3FacetLocator::G3FacetLocator(const G3Facet* f, int i, int j) : i(ValidAxis(i) ? i : 0), j(ValidAxis(j) ? j : 1)
{
    BoundarySteps walk(f);
    BoundarySteps::Step s;
    while (walk.Next(s)) {
        if (s.opens || begin.empty()) {
            begin.push_back(static_cast<int>(steps.size()));
            boxes.push_back(Box{HUGE_VAL, -HUGE_VAL, HUGE_VAL, -HUGE_VAL});
        }
        steps.push_back(Step{s.from, s.to, s.opens});
        Box& b = boxes.back();
        for (const G3Vertex* v : {s.from, s.to}) {
            if (!v)
                continue;
            const double* xyz = v->GetXYZ();
            if (!std::isfinite(xyz[this->i]) || !std::isfinite(xyz[this->j])) {
                // Never passed over: the plain walk decides as it would.
                b = Box{-HUGE_VAL, HUGE_VAL, -HUGE_VAL, HUGE_VAL};
                continue;
            }
            b.i0 = std::fmin(b.i0, xyz[this->i]);
            b.i1 = std::fmax(b.i1, xyz[this->i]);
            b.j0 = std::fmin(b.j0, xyz[this->j]);
            b.j1 = std::fmax(b.j1, xyz[this->j]);
        }
    }
    begin.push_back(static_cast<int>(steps.size()));

    // Many contours: a grid of about one cell per contour, each contour
    // filed under the cells its box (widened as a query with the in-facet
    // tolerance widens it) covers. Boxes that are not finite keep the scan.
    const int contours = static_cast<int>(boxes.size());
    if (contours < kGridContours)
        return;
    filed = 2.0 * GTolerance::kInFacet;
    double high[2] = {-HUGE_VAL, -HUGE_VAL};
    low[0] = low[1] = HUGE_VAL;
    for (const Box& b : boxes) {
        if (!std::isfinite(b.i0) || !std::isfinite(b.i1) || !std::isfinite(b.j0) || !std::isfinite(b.j1))
            return;
        low[0] = std::fmin(low[0], b.i0 - filed);
        low[1] = std::fmin(low[1], b.j0 - filed);
        high[0] = std::fmax(high[0], b.i1 + filed);
        high[1] = std::fmax(high[1], b.j1 + filed);
    }
    side = std::max(1, static_cast<int>(std::sqrt(static_cast<double>(contours))));
    for (int a = 0; a < 2; ++a)
        scale[a] = high[a] > low[a] ? side / (high[a] - low[a]) : 0.0;
    cells.assign(static_cast<std::size_t>(side) * static_cast<std::size_t>(side), std::vector<int>());
    for (int c = 0; c < contours; ++c) {
        const Box& b = boxes[static_cast<std::size_t>(c)];
        for (int y = Cell(1, b.j0 - filed); y <= Cell(1, b.j1 + filed); ++y)
            for (int x = Cell(0, b.i0 - filed); x <= Cell(0, b.i1 + filed); ++x)
                cells[static_cast<std::size_t>(y) * static_cast<std::size_t>(side) + static_cast<std::size_t>(x)].push_back(c);
    }
}

int G3FacetLocator::Cell(int axis, double x) const
{
    const double q = (x - low[axis]) * scale[axis];
    return !(q > 0.0) ? 0 : (q >= side - 1 ? side - 1 : static_cast<int>(q));
}

bool G3FacetLocator::PointInFacet(const double* p, G3Vertex** onA, G3Vertex** onB, double tolerance) const
{
    SetOutputs(onA, onB, nullptr, nullptr);
    if (!p)
        return false;
    const RayProbe probe(i, j, p, tolerance);
    // Twice the tolerance: the corner offsets are rounded differences.
    const double wide = 2.0 * (tolerance > 0.0 ? tolerance : 0.0);
    // Every contour whose box, widened no wider than the grid's, holds p
    // is filed in p's cell (a point off the grid meets none of them there
    // either), in contour order; a wider query or a point that is not
    // finite reads them all.
    const std::vector<int>* near = nullptr;
    if (side > 0 && wide <= filed && std::isfinite(p[i]) && std::isfinite(p[j]))
        near = &cells[static_cast<std::size_t>(Cell(1, p[j])) * static_cast<std::size_t>(side) +
                      static_cast<std::size_t>(Cell(0, p[i]))];
    int crossings = 0;
    const std::size_t count = near ? near->size() : boxes.size();
    for (std::size_t m = 0; m < count; ++m) {
        const std::size_t c = near ? static_cast<std::size_t>((*near)[m]) : m;
        const Box& b = boxes[c];
        if (p[i] < b.i0 - wide || p[i] > b.i1 + wide || p[j] < b.j0 - wide || p[j] > b.j1 + wide)
            continue;
        for (int k = begin[c]; k < begin[c + 1]; ++k) {
            const Step& s = steps[static_cast<std::size_t>(k)];
            if (StepDecides(probe, s.from, s.to, s.opens, &crossings, onA, onB))
                return true;
        }
    }
    SetOutputs(onA, onB, nullptr, nullptr);
    return (crossings & 1) != 0;
}

bool G3Facet::PointInFacetXY(const double* p, G3Vertex** onA, G3Vertex** onB) const
{
    return PointInFacet(0, 1, p, onA, onB, GTolerance::kInFacet);
}

bool G3Facet::PointInFacetXZ(const double* p, G3Vertex** onA, G3Vertex** onB) const
{
    return PointInFacet(0, 2, p, onA, onB, GTolerance::kInFacet);
}

bool G3Facet::PointInFacetYZ(const double* p, G3Vertex** onA, G3Vertex** onB) const
{
    return PointInFacet(1, 2, p, onA, onB, GTolerance::kInFacet);
}

bool G3Facet::PointInFacet(const double* p, G3Vertex** onA, G3Vertex** onB, double* depth) const
{
    if (!PointInFacetXY(p, onA, onB))
        return false;
    if (depth)
        *depth = CalcDepth(p[0], p[1]);
    return true;
}

// ------------------------------------------------------------ the plane

void G3Facet::GetMaxCoo(int* i, int* j) const { G3Math::GetMaxCoo(plane, i, j); }

double G3Facet::CalcDepth(double x, double y) const
{
    // A normal whose z part is shorter than kZeroLength has no upward
    // direction to divide by.
    if (std::fabs(plane[2]) >= GTolerance::kZeroLength)
        return -(plane[0] * x + plane[1] * y + plane[3]) / plane[2];
    // A vertical plane has no single height over (x, y): any height of the
    // facet will do, and the first vertex is at hand.
    if (firstEdge && firstEdge->GetVertex1())
        return firstEdge->GetVertex1()->GetZ();
    return 0.0;
}

bool G3Facet::PlaneEquals(const double* other) const
{
    return PlaneEquals(other, GTolerance::kPlaneEqual, GTolerance::kPlaneEqual);
}

bool G3Facet::PlaneEquals(const double* other, double distTolerance, double dotTolerance) const
{
    if (!other)
        return false;
    const double dot = plane[0] * other[0] + plane[1] * other[1] + plane[2] * other[2];
    return std::fabs(dot - 1.0) < dotTolerance && std::fabs(plane[3] - other[3]) < distTolerance;
}

bool G3Facet::PlaneEqualsNear(const double* other, const double* at) const
{
    if (PlaneEquals(other))
        return true;
    if (!other || !at)
        return false;
    const double dot = plane[0] * other[0] + plane[1] * other[1] + plane[2] * other[2];
    const double here = PlaneValue(at, plane) - PlaneValue(at, other);
    return std::fabs(dot - 1.0) < GTolerance::kPlaneEqual && std::fabs(here) < GTolerance::kPlaneEqual;
}

bool G3Facet::IsFlat() const
{
    G3FacetVertexIterator it(const_cast<G3Facet*>(this));
    while (it.hasNext()) {
        const G3Vertex* v = static_cast<G3Vertex*>(it.next());
        if (!v)
            continue;
        const double s = PlaneValue(v->GetXYZ(), plane);
        if (!(std::fabs(s) <= GTolerance::kFlatness))
            return false;
    }
    return true;
}

GEnvelope* G3Facet::FormEnvelope(GEnvelope* env) const
{
    if (!env)
        return nullptr;
    // G3Math::FormEnvelope's box, with the concrete iterator: every facet
    // the boolean engine opens or makes asks for one.
    G3FacetVertexIterator it(const_cast<G3Facet*>(this));
    bool first = true;
    while (it.hasNext()) {
        const G3Vertex* v = it.NextVertex();
        if (!v)
            continue;
        if (first)
            env->Init(v->GetXYZ());
        else
            env->Add(v->GetXYZ());
        first = false;
    }
    if (first)
        env->Init();
    return env;
}

int G3Facet::GetPlaneIntersect(const double* p1, const double* p2, double* point, G3Vertex** onA,
                               G3Vertex** onB) const
{
    SetOutputs(onA, onB, nullptr, nullptr);
    if (!p1 || !p2)
        return 0;
    const double s1 = PlaneValue(p1, plane);
    const double s2 = PlaneValue(p2, plane);
    const int side1 = Side(s1);
    const int side2 = Side(s2);
    if (side1 == side2) // both strictly on one side, or the segment lies in the plane
        return 0;
    double x[3];
    if (side1 == 0) {
        for (int k = 0; k < 3; ++k)
            x[k] = p1[k];
    } else if (side2 == 0) {
        for (int k = 0; k < 3; ++k)
            x[k] = p2[k];
    } else {
        const double t = s1 / (s1 - s2);
        for (int k = 0; k < 3; ++k)
            x[k] = p1[k] + (p2[k] - p1[k]) * t;
    }
    if (point)
        for (int k = 0; k < 3; ++k)
            point[k] = x[k];
    int i = 0;
    int j = 1;
    GetMaxCoo(&i, &j);
    G3Vertex* a = nullptr;
    G3Vertex* b = nullptr;
    if (!PointInFacet(i, j, x, &a, &b, GTolerance::kInFacet))
        return 3;
    SetOutputs(onA, onB, a, b);
    return a ? 2 : 1;
}

// -------------------------------------------------------- facet clean-up

namespace {

const GObj* Representative(const G3Vertex* v)
{
    if (v && v->GetExData())
        return v->GetExData();
    return v;
}

} // namespace

bool G3Facet::RemoveSmallEdges()
{
    G3Edge* pred = nullptr;
    G3Edge* e = firstEdge;
    int kept = 0; // the chain afterwards: the kept edges, each once
    while (e) {
        G3Edge* following = e->GetFacetEdge(this);
        if (Representative(e->GetVertex1()) != Representative(e->GetVertex2())) {
            pred = e;
            e = following;
            ++kept;
            continue;
        }
        LinkAfter(pred, following);
        if (lastEdge == e)
            lastEdge = pred;
        if (e->GetFacetSide(this) == 1) {
            e->SetFacet1(nullptr);
            e->SetFacet1Edge(nullptr);
        } else {
            e->SetFacet2(nullptr);
            e->SetFacet2Edge(nullptr);
        }
        if (!e->GetFacet1() && !e->GetFacet2()) {
            G3Vertex* v1 = e->GetVertex1();
            G3Vertex* v2 = e->GetVertex2();
            if (v1)
                v1->RemoveEdge(e);
            if (v2 && v2 != v1)
                v2->RemoveEdge(e);
        }
        e = following;
    }
    if (kept < 3) {
        RemoveEdges();
        return true;
    }
    return false;
}

// ------------------------------------------------------ cutting the facet

int G3Facet::IntersectByPlaneConcave(const double* plane4, G3IntervalList* list)
{
    if (!plane4)
        return 0;
    return IntersectBoundary(PlaneValue, plane4, list);
}

namespace {

// Per-contour state of the cut: an on-plane run of the boundary that began
// with an entry from one side, and a run that began at the contour's first
// vertex (it is closed when the walk comes round to it).
struct CutRun {
    int entrySide = 0;
    G3Vertex* runStart = nullptr;
    G3Edge* runStartEdge = nullptr;
    int wrapSide = 0;
    G3Vertex* wrapVertex = nullptr;
    G3Edge* wrapEdge = nullptr;
};

void AddVertexPoint(G3IntervalList* list, G3Vertex* v, G3Edge* owner)
{
    if (list)
        list->AddPoint(v->GetXYZ(), owner);
}

// The end of a run of more than one vertex adds both its ends when the
// boundary comes back to the side it came from (it touches the plane along
// the run) and one end when it goes on to the other side; a run of one
// vertex adds that vertex only when the boundary crosses there.
void CloseRun(G3IntervalList* list, G3Vertex* start, G3Edge* startEdge, int startSide, G3Vertex* end,
              G3Edge* endEdge, int endSide, bool endFirst)
{
    if (start != end) {
        if (endSide == startSide) {
            AddVertexPoint(list, endFirst ? end : start, endFirst ? endEdge : startEdge);
            AddVertexPoint(list, endFirst ? start : end, endFirst ? startEdge : endEdge);
        } else {
            AddVertexPoint(list, endFirst ? end : start, endFirst ? endEdge : startEdge);
        }
    } else if (endSide != startSide) {
        AddVertexPoint(list, end, endEdge);
    }
}

} // namespace

int G3Facet::IntersectBoundary(CutValueFunction value, const void* context, G3IntervalList* list)
{
    if (!value || !firstEdge)
        return 0;
    if (list)
        list->Clear();

    int above = 0;
    int below = 0;
    int on = 0;
    BoundarySteps steps(this);
    BoundarySteps::Step s;
    CutRun run;
    while (steps.Next(s)) {
        if (s.opens)
            run = CutRun();
        if (!s.from || !s.to)
            continue; // an edge without its ends has no geometry
        const double* pp = s.from->GetXYZ();
        const double* pc = s.to->GetXYZ();
        const double vp = value(pp, context);
        const double vc = value(pc, context);
        const int sp = Side(vp);
        const int sc = Side(vc);
        (sp > 0 ? above : sp < 0 ? below : on) += 1;

        if (sp != 0 && sc == 0) {
            // The boundary reaches the plane at C.
            run.entrySide = sp;
            run.runStart = s.to;
            run.runStartEdge = s.edge;
        } else if (sp == 0 && sc != 0) {
            // The boundary leaves the plane at P.
            if (run.entrySide == 0) {
                run.wrapSide = sc;
                run.wrapVertex = s.from;
                run.wrapEdge = s.edge;
            } else {
                CloseRun(list, run.runStart, run.runStartEdge, run.entrySide, s.from, s.edge, sc, false);
                run.entrySide = 0;
            }
        } else if (sp == 0 && sc == 0) {
            if (list)
                list->AddInterval(pp, s.edge, pc, s.edge);
        } else if (sp == -sc) {
            const double t = std::fabs(vp / (vp - vc));
            const double x[3] = {pp[0] + (pc[0] - pp[0]) * t, pp[1] + (pc[1] - pp[1]) * t,
                                 pp[2] + (pc[2] - pp[2]) * t};
            if (list)
                list->AddPoint(x, s.edge);
        }

        if (s.closes && run.wrapSide != 0 && run.entrySide != 0)
            CloseRun(list, run.runStart, run.runStartEdge, run.entrySide, run.wrapVertex, run.wrapEdge,
                     run.wrapSide, true);
    }

    if (above > 0 && below > 0)
        return 1;
    if (on == 0)
        return 0;
    if (above == 0 && below == 0)
        return 3;
    return 2;
}
