#include "Geometry/mesh/G3Obj.h"

G3Obj::G3Obj(unsigned long t) : GObj(t) {}

G3Obj::G3Obj(const G3Obj& other)
    : GObj(other), exDataProviderLocked(other.exDataProviderLocked), id(other.id),
      flags(other.flags), exData(other.exData)
{
}

G3Obj& G3Obj::operator=(const G3Obj& other)
{
    if (this != &other) {
        GObj::operator=(other);
        id = other.id;
        flags = other.flags;
        exData = other.exData;
        exDataProviderLocked = other.exDataProviderLocked;
        // outExData stays this object's own.
    }
    return *this;
}

G3Obj::~G3Obj() = default;

void G3Obj::Copy(GObj* source)
{
    const G3Obj* src = dynamic_cast<const G3Obj*>(source);
    if (!src || src == this)
        return;
    id = src->id;
    flags = src->flags;
    exData = src->exData;
}
