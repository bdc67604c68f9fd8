#include "Geometry/boolean/G3IntervalList.h"

#include "Geometry/boolean/G3Interval.h"
#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/math/GEnvelope.h"
#include "Geometry/math/GTolerance.h"
#include "Geometry/mesh/G3Point.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

// Keys are positions along one axis: they are equal as points are.
using GTolerance::kPointEqual;

G3Interval* IntervalAt(const GArrayCollection* c, int i) { return static_cast<G3Interval*>(c->get(i)); }

G3Point* PointAt(const GArrayCollection* c, int i) { return static_cast<G3Point*>(c->get(i)); }

// Keys closer than 1e-6 are equal; otherwise ascending. Not a strict weak
// ordering, so only the collection's own quicksort may use it.
int CompareKeys(double a, double b)
{
    if (std::fabs(a - b) < kPointEqual)
        return 0;
    return a < b ? -1 : 1;
}

int ComparePointKeys(const void* a, const void* b, const void* context)
{
    const int axis = *static_cast<const int*>(context);
    const G3Point* pa = static_cast<const G3Point*>(*static_cast<GObj* const*>(a));
    const G3Point* pb = static_cast<const G3Point*>(*static_cast<GObj* const*>(b));
    return CompareKeys(pa->GetXYZ(axis), pb->GetXYZ(axis));
}

// Exact order of oriented intervals: by start key, then by end key. A strict
// weak ordering, so equal starts sort the same way on every run.
int CompareIntervals(const void* a, const void* b, const void* context)
{
    const int axis = *static_cast<const int*>(context);
    const G3Interval* ia = static_cast<const G3Interval*>(*static_cast<GObj* const*>(a));
    const G3Interval* ib = static_cast<const G3Interval*>(*static_cast<GObj* const*>(b));
    const double sa = ia->GetXYZ1(axis), sb = ib->GetXYZ1(axis);
    if (sa != sb)
        return sa < sb ? -1 : 1;
    const double ea = ia->GetXYZ2(axis), eb = ib->GetXYZ2(axis);
    if (ea != eb)
        return ea < eb ? -1 : 1;
    return 0;
}

// A piece from `start` to `end` joins `out` only when it is longer than 1e-6
// along the axis; shorter pieces carry no length on the line.
void EmitPiece(GArrayCollection* out, int axis, const double* start, GObj* startOwner, const double* end,
               GObj* endOwner)
{
    const double s = start && axis >= 0 && axis < 3 ? start[axis] : 0.0;
    const double e = end && axis >= 0 && axis < 3 ? end[axis] : 0.0;
    if (e - s > kPointEqual)
        out->add(new G3Interval(start, startOwner, end, endOwner));
}

// Whether `c` is in the normal form of a built list: every interval oriented
// and longer than 1e-6, sorted by start, each separated from the next by a
// gap longer than 1e-6.
bool IsNormal(const GArrayCollection* c, int axis)
{
    const int n = c->size();
    for (int k = 0; k < n; ++k) {
        const G3Interval* iv = IntervalAt(c, k);
        if (!(iv->GetXYZ2(axis) - iv->GetXYZ1(axis) > kPointEqual))
            return false;
        if (k + 1 < n && !(IntervalAt(c, k + 1)->GetXYZ1(axis) - iv->GetXYZ2(axis) > kPointEqual))
            return false;
    }
    return true;
}

// Brings the intervals of `c` (which it owns) into the normal form: each is
// oriented, they are sorted, and every run of pieces that overlap or touch
// (a gap of at most 1e-6) becomes one interval from the run's first start to
// its last end, each end with the owner of the piece it came from (of pieces
// ending at the same key, the first in sort order). Runs not longer than
// 1e-6 are dropped. The set of points covered, up to such slivers, stays.
void Normalize(GArrayCollection* c, int axis)
{
    if (axis < 0 || axis > 2)
        return; // no sort axis chosen yet: nothing to order by
    const int n = c->size();
    for (int k = 0; k < n; ++k)
        IntervalAt(c, k)->Orient(axis);
    if (IsNormal(c, axis))
        return;
    c->qsortex(CompareIntervals, &axis);

    std::vector<G3Interval*> in;
    in.reserve(static_cast<std::size_t>(n));
    for (int k = 0; k < n; ++k)
        in.push_back(IntervalAt(c, k));
    c->clear(false);

    std::size_t k = 0;
    while (k < in.size()) {
        G3Interval* first = in[k];
        G3Interval* last = first;
        double end = first->GetXYZ2(axis);
        std::size_t next = k + 1;
        for (; next < in.size() && in[next]->GetXYZ1(axis) - end <= kPointEqual; ++next) {
            if (in[next]->GetXYZ2(axis) > end) {
                end = in[next]->GetXYZ2(axis);
                last = in[next];
            }
        }
        if (end - first->GetXYZ1(axis) > kPointEqual) {
            if (first == last) {
                c->add(first);
                in[k] = nullptr;
            } else {
                c->add(new G3Interval(first->GetXYZ1(), first->GetOwner1(), last->GetXYZ2(), last->GetOwner2()));
            }
        }
        k = next;
    }
    for (G3Interval* iv : in)
        delete iv;
}

// A normal-form view of `c`: `c` itself when it is already normal (and
// oriented), else `scratch` filled with normalised duplicates.
const GArrayCollection* NormalView(const GArrayCollection* c, int axis, GArrayCollection* scratch)
{
    if (axis < 0 || axis > 2 || IsNormal(c, axis))
        return c;
    for (int k = 0; k < c->size(); ++k)
        scratch->add(IntervalAt(c, k)->Duplicate());
    Normalize(scratch, axis);
    return scratch;
}

// Intersection of two sequences in normal form. Touching intervals share no
// length and give nothing; the result is in normal form too.
void IntersectSweep(const GArrayCollection* A, const GArrayCollection* B, int axis,
                    GArrayCollection* out)
{
    const int na = A->size();
    const int nb = B->size();
    int i = 0;
    int j = 0;
    while (i < na && j < nb) {
        G3Interval* a = IntervalAt(A, i);
        G3Interval* b = IntervalAt(B, j);
        const double a1 = a->GetXYZ1(axis), a2 = a->GetXYZ2(axis);
        const double b1 = b->GetXYZ1(axis), b2 = b->GetXYZ2(axis);
        if (a1 >= b2) {
            ++j;
        } else if (a2 <= b1) {
            ++i;
        } else {
            const double* start = a1 >= b1 ? a->GetXYZ1() : b->GetXYZ1();
            GObj* startOwner = a1 >= b1 ? a->GetOwner1() : b->GetOwner1();
            const double* end;
            GObj* endOwner;
            if (a2 <= b2) {
                end = a->GetXYZ2();
                endOwner = a->GetOwner2();
                ++i;
            } else {
                end = b->GetXYZ2();
                endOwner = b->GetOwner2();
                ++j;
            }
            EmitPiece(out, axis, start, startOwner, end, endOwner);
        }
    }
}

void DeleteElements(GArrayCollection* c)
{
    if (c)
        c->clear(true);
}

}  // namespace

// ------------------------------------------------------------ construction

G3IntervalList::G3IntervalList() { CreateCollections(); }

G3IntervalList::G3IntervalList(int coo1, int coo2, int axis)
    : maxCoo1(coo1), maxCoo2(coo2), sortAxis(axis)
{
    CreateCollections();
}

G3IntervalList::G3IntervalList(const G3IntervalList& other)
    : GObj(other),
      maxCoo1(other.maxCoo1),
      maxCoo2(other.maxCoo2),
      sortAxis(other.sortAxis),
      minCoo(other.minCoo),
      maxCoo(other.maxCoo)
{
    CreateCollections();
    AppendDuplicates(&other);
}

G3IntervalList& G3IntervalList::operator=(const G3IntervalList& other)
{
    if (this != &other) {
        GObj::operator=(other);
        DeleteContents();
        maxCoo1 = other.maxCoo1;
        maxCoo2 = other.maxCoo2;
        sortAxis = other.sortAxis;
        minCoo = other.minCoo;
        maxCoo = other.maxCoo;
        AppendDuplicates(&other);
    }
    return *this;
}

G3IntervalList::~G3IntervalList()
{
    DeleteContents();
    delete intervals;
    delete points;
}

void G3IntervalList::CreateCollections()
{
    intervals = new GArrayCollection(16, 16);
    points = new GArrayCollection(8, 8);
}

void G3IntervalList::DeleteContents()
{
    DeleteElements(intervals);
    DeleteElements(points);
}

// Works from the counts taken on entry, so a list may append its own copies.
void G3IntervalList::AppendDuplicates(const G3IntervalList* source)
{
    const int np = source->points->size();
    const int ni = source->intervals->size();
    for (int k = 0; k < np; ++k) {
        G3Point* p = new G3Point();
        // G3Obj's copy carries the scratch link, which holds the owner.
        p->Copy(static_cast<G3Obj*>(PointAt(source->points, k)));
        points->add(p);
    }
    for (int k = 0; k < ni; ++k)
        intervals->add(IntervalAt(source->intervals, k)->Duplicate());
}

void G3IntervalList::Copy(GObj* source)
{
    if (source == this)
        return;
    GObj::Copy(source);
    G3IntervalList* src = dynamic_cast<G3IntervalList*>(source);
    if (!src)
        return;
    maxCoo1 = src->maxCoo1;
    maxCoo2 = src->maxCoo2;
    sortAxis = src->sortAxis;
    minCoo = src->minCoo;
    maxCoo = src->maxCoo;
    AppendDuplicates(src);
}

GObj* G3IntervalList::Duplicate()
{
    G3IntervalList* copy = new G3IntervalList();
    copy->Copy(this);
    return copy;
}

// ------------------------------------------------------------ content

void G3IntervalList::SetMaxCoo(G3IntervalList* other)
{
    if (!other)
        return;
    maxCoo1 = other->maxCoo1;
    maxCoo2 = other->maxCoo2;
    sortAxis = other->sortAxis;
}

int G3IntervalList::GetIntervalCount() const { return intervals->size(); }

G3Interval* G3IntervalList::GetInterval(int i) const
{
    if (i < 0 || i >= intervals->size())
        return nullptr;
    return IntervalAt(intervals, i);
}

bool G3IntervalList::IsEmpty() const { return intervals->size() == 0 && points->size() == 0; }

void G3IntervalList::Clear()
{
    DeleteContents();
    maxCoo1 = maxCoo2 = sortAxis = -1;
    minCoo = maxCoo = 0.0;
}

void G3IntervalList::AddPoint(const double* p) { AddPoint(p, nullptr); }

void G3IntervalList::AddPoint(const double* p, GObj* owner)
{
    if (!p)
        return;
    G3Point* point = new G3Point(p);
    point->SetExData(owner);
    points->add(point);
}

void G3IntervalList::AddInterval(const double* p1, const double* p2)
{
    AddInterval(p1, nullptr, p2, nullptr);
}

void G3IntervalList::AddInterval(const double* p1, GObj* o1, const double* p2, GObj* o2)
{
    if (!p1 || !p2)
        return;
    intervals->add(new G3Interval(p1, o1, p2, o2));
}

// ------------------------------------------------------------ building

void G3IntervalList::FindMinMax(GEnvelope* env) const
{
    if (!env)
        return;
    bool first = true;
    auto add = [&](const double* p) {
        if (!p)
            return;
        if (first)
            env->Init(p);
        else
            env->Add(p);
        first = false;
    };
    for (int k = 0; k < points->size(); ++k)
        add(PointAt(points, k)->GetXYZ());
    for (int k = 0; k < intervals->size(); ++k) {
        G3Interval* iv = IntervalAt(intervals, k);
        add(iv->GetXYZ1());
        add(iv->GetXYZ2());
    }
    if (first)
        env->Init();
}

void G3IntervalList::FindMinMaxIntervalsCoo()
{
    // The extent of whatever the list holds: the least start and the
    // greatest end (in a built list, the first start and the last end).
    const int n = intervals->size();
    minCoo = maxCoo = 0.0;
    for (int k = 0; k < n; ++k) {
        const G3Interval* iv = IntervalAt(intervals, k);
        const double a = std::min(iv->GetXYZ1(sortAxis), iv->GetXYZ2(sortAxis));
        const double b = std::max(iv->GetXYZ1(sortAxis), iv->GetXYZ2(sortAxis));
        if (k == 0 || a < minCoo)
            minCoo = a;
        if (k == 0 || b > maxCoo)
            maxCoo = b;
    }
}

void G3IntervalList::BuildIntervals()
{
    if (sortAxis == -1) {
        GEnvelope env;
        FindMinMax(&env);
        sortAxis = env.GetMaxCoo();
        env.GetMaxCoo(&maxCoo1, &maxCoo2);
    }
    const int axis = sortAxis;

    // Pair the points in key order. The tolerant sort may leave two nearly
    // equal keys in either order; Normalize orients every interval.
    points->qsortex(ComparePointKeys, &axis);
    const int pairs = points->size() / 2;
    for (int k = 0; k < pairs; ++k) {
        G3Point* p = PointAt(points, 2 * k);
        G3Point* q = PointAt(points, 2 * k + 1);
        intervals->add(new G3Interval(p->GetXYZ(), p->GetExData(), q->GetXYZ(), q->GetExData()));
    }
    DeleteElements(points);

    // Stored intervals (edges lying on the line) and paired crossings may
    // overlap or repeat one another; the sweeps and the clipping need them
    // sorted and disjoint.
    Normalize(intervals, axis);
    FindMinMaxIntervalsCoo();
}

// ------------------------------------------------------------ set operations

INTERVAL_LIST_INTERSECTION_TYPE G3IntervalList::GetIntersectionType(G3IntervalList* other) const
{
    if (!other)
        return INTERVAL_LIST_NO_INTERSECTION;
    if (sortAxis != other->sortAxis)
        return INTERVAL_LIST_DIFFERENT_AXES;
    if (IsEmpty() || other->IsEmpty())
        return INTERVAL_LIST_NO_INTERSECTION;
    if (other->minCoo - kPointEqual <= maxCoo && minCoo <= other->maxCoo + kPointEqual)
        return INTERVAL_LIST_INTERSECT;
    return INTERVAL_LIST_NO_INTERSECTION;
}

void G3IntervalList::Merge(G3IntervalList* other)
{
    if (!other)
        return;
    SetMaxCoo(other);
    AppendDuplicates(other);
}

G3IntervalList* G3IntervalList::Union(G3IntervalList* other)
{
    // Everything both lists cover, joined where it overlaps or touches.
    G3IntervalList* result = new G3IntervalList(maxCoo1, maxCoo2, sortAxis);
    if (intervals->size() == 0) {
        if (other)
            result->Copy(other);
    } else if (!other || other->intervals->size() == 0) {
        result->Copy(this);
    } else {
        for (const GArrayCollection* from : {intervals, other->intervals})
            for (int k = 0; k < from->size(); ++k)
                result->intervals->add(IntervalAt(from, k)->Duplicate());
    }
    Normalize(result->intervals, result->sortAxis);
    result->FindMinMaxIntervalsCoo();
    return result;
}

G3IntervalList* G3IntervalList::Intersect(G3IntervalList* other)
{
    G3IntervalList* result = new G3IntervalList(maxCoo1, maxCoo2, sortAxis);
    if (other && intervals->size() > 0 && other->intervals->size() > 0) {
        // Lists filled without BuildIntervals (or by Merge) are taken in
        // normal form without being changed themselves.
        GArrayCollection scratchA(16, 16), scratchB(16, 16);
        const GArrayCollection* a = NormalView(intervals, sortAxis, &scratchA);
        const GArrayCollection* b = NormalView(other->intervals, sortAxis, &scratchB);
        IntersectSweep(a, b, sortAxis, result->intervals);
        DeleteElements(&scratchA);
        DeleteElements(&scratchB);
    }
    result->FindMinMaxIntervalsCoo();
    return result;
}

void G3IntervalList::Intersect(G3Interval* s)
{
    if (!s || intervals->size() == 0)
        return;
    const int axis = sortAxis;
    s->Orient(axis);
    // `s` may be one of this list's own intervals, which normalising or the
    // result replaces: clip by a copy.
    const G3Interval clip(*s);
    Normalize(intervals, axis);
    FindMinMaxIntervalsCoo();
    const double s1 = clip.GetXYZ1(axis);
    const double s2 = clip.GetXYZ2(axis);

    GArrayCollection pieces(16, 16);
    if (!(s2 < minCoo || s1 > maxCoo)) {
        const int n = intervals->size();
        for (int k = 0; k < n; ++k) {
            G3Interval* c = IntervalAt(intervals, k);
            const double c1 = c->GetXYZ1(axis);
            const double c2 = c->GetXYZ2(axis);
            if (c1 >= s2)
                break;
            if (c2 <= s1)
                continue;
            const double* start = c1 >= s1 ? c->GetXYZ1() : clip.GetXYZ1();
            GObj* startOwner = c1 >= s1 ? c->GetOwner1() : clip.GetOwner1();
            if (s2 < c2) {
                EmitPiece(&pieces, axis, start, startOwner, clip.GetXYZ2(), clip.GetOwner2());
                break;
            }
            EmitPiece(&pieces, axis, start, startOwner, c->GetXYZ2(), c->GetOwner2());
        }
    }
    DeleteElements(intervals);
    for (int k = 0; k < pieces.size(); ++k)
        intervals->add(pieces.get(k));
    FindMinMaxIntervalsCoo();
}

G3IntervalList* G3IntervalList::Sub(G3IntervalList*) { return nullptr; }
