#include "Geometry/boolean/G3Interval.h"

#include "Geometry/mesh/G3Point.h"

G_DEFINE_POOL(G3Interval, "G3Interval", 4096)

namespace {

// A new point that has copied `src` (coordinates and G3Obj state); null for
// a null source.
G3Point* ClonePoint(G3Point* src)
{
    if (!src)
        return nullptr;
    G3Point* p = new G3Point();
    p->Copy(static_cast<G3Obj*>(src));
    return p;
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

G3Interval::G3Interval(const G3Interval& other) : GObj(other)
{
    point1 = ClonePoint(other.point1);
    point2 = ClonePoint(other.point2);
    owner1 = other.owner1;
    owner2 = other.owner2;
}

G3Interval& G3Interval::operator=(const G3Interval& other)
{
    if (this != &other) {
        GObj::operator=(other);
        G3Point* p1 = ClonePoint(other.point1);
        G3Point* p2 = ClonePoint(other.point2);
        Finit();
        point1 = p1;
        point2 = p2;
        owner1 = other.owner1;
        owner2 = other.owner2;
    }
    return *this;
}

G3Interval::~G3Interval() { Finit(); }

void G3Interval::Init(const double* p1, GObj* o1, const double* p2, GObj* o2)
{
    Finit();
    point1 = p1 ? new G3Point(p1) : new G3Point();
    point2 = p2 ? new G3Point(p2) : new G3Point();
    owner1 = o1;
    owner2 = o2;
}

void G3Interval::Finit()
{
    delete point1;
    delete point2;
    point1 = point2 = nullptr;
    owner1 = owner2 = nullptr;
}

void G3Interval::Copy(GObj* source)
{
    if (source == this)
        return;
    GObj::Copy(source);
    G3Interval* src = dynamic_cast<G3Interval*>(source);
    if (!src)
        return;
    G3Point* p1 = ClonePoint(src->point1);
    G3Point* p2 = ClonePoint(src->point2);
    Finit();
    point1 = p1;
    point2 = p2;
    owner1 = src->owner1;
    owner2 = src->owner2;
}

GObj* G3Interval::Duplicate()
{
    G3Interval* copy = new G3Interval();
    copy->Copy(this);
    return copy;
}

double* G3Interval::GetXYZ1() { return point1 ? point1->GetXYZ() : nullptr; }

double* G3Interval::GetXYZ2() { return point2 ? point2->GetXYZ() : nullptr; }

double G3Interval::GetXYZ1(int axis) const { return point1 ? point1->GetXYZ(axis) : 0.0; }

double G3Interval::GetXYZ2(int axis) const { return point2 ? point2->GetXYZ(axis) : 0.0; }

void G3Interval::Swap()
{
    G3Point* p = point1;
    point1 = point2;
    point2 = p;
    GObj* o = owner1;
    owner1 = owner2;
    owner2 = o;
}

void G3Interval::Orient(int axis)
{
    if (GetXYZ2(axis) < GetXYZ1(axis))
        Swap();
}
