#include "Geometry/boolean/G3Interval.h"

#include "Geometry/mesh/G3Point.h"

#include <utility>

G_DEFINE_POOL(G3Interval, "G3Interval", 4096)

namespace {

void SetEnd(double* to, const double* from)
{
    for (int a = 0; a < 3; ++a)
        to[a] = from ? G3Point::Sanitize(from[a]) : 0.0;
}

void CopyEnd(double* to, const double* from)
{
    for (int a = 0; a < 3; ++a)
        to[a] = from[a];
}

}  // namespace

G3Interval::G3Interval() = default;

G3Interval::G3Interval(const double* p1, GObj* o1, const double* p2, GObj* o2)
{
    Init(p1, o1, p2, o2);
}

G3Interval::G3Interval(const double* p1, const double* p2)
{
    Init(p1, nullptr, p2, nullptr);
}

G3Interval::G3Interval(const G3Interval& other)
    : GObj(other), owner1(other.owner1), owner2(other.owner2), ends(other.ends)
{
    CopyEnd(end1.xyz, other.end1.xyz);
    CopyEnd(end2.xyz, other.end2.xyz);
}

G3Interval& G3Interval::operator=(const G3Interval& other)
{
    if (this != &other) {
        GObj::operator=(other);
        CopyEnd(end1.xyz, other.end1.xyz);
        CopyEnd(end2.xyz, other.end2.xyz);
        owner1 = other.owner1;
        owner2 = other.owner2;
        ends = other.ends;
    }
    return *this;
}

G3Interval::~G3Interval() = default;

void G3Interval::Init(const double* p1, GObj* o1, const double* p2, GObj* o2)
{
    SetEnd(end1.xyz, p1);
    SetEnd(end2.xyz, p2);
    owner1 = o1;
    owner2 = o2;
    ends = true;
}

void G3Interval::Copy(GObj* source)
{
    if (source == this)
        return;
    GObj::Copy(source);
    G3Interval* src = dynamic_cast<G3Interval*>(source);
    if (!src)
        return;
    CopyEnd(end1.xyz, src->end1.xyz);
    CopyEnd(end2.xyz, src->end2.xyz);
    owner1 = src->owner1;
    owner2 = src->owner2;
    ends = src->ends;
}

GObj* G3Interval::Duplicate()
{
    G3Interval* copy = new G3Interval();
    copy->Copy(this);
    return copy;
}

double* G3Interval::GetXYZ1() { return ends ? end1.xyz : nullptr; }

double* G3Interval::GetXYZ2() { return ends ? end2.xyz : nullptr; }

const double* G3Interval::GetXYZ1() const { return ends ? end1.xyz : nullptr; }

const double* G3Interval::GetXYZ2() const { return ends ? end2.xyz : nullptr; }

double G3Interval::GetXYZ1(int axis) const { return ends && axis >= 0 && axis < 3 ? end1.xyz[axis] : 0.0; }

double G3Interval::GetXYZ2(int axis) const { return ends && axis >= 0 && axis < 3 ? end2.xyz[axis] : 0.0; }

void G3Interval::Swap()
{
    std::swap(end1.xyz, end2.xyz);
    std::swap(owner1, owner2);
}

void G3Interval::Orient(int axis)
{
    if (GetXYZ2(axis) < GetXYZ1(axis))
        Swap();
}
