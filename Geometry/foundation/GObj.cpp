#include "Geometry/foundation/GObj.h"

#include "Geometry/foundation/GMemoryAllocator.h"

#include <new>

void GObj::Copy(GObj*) {}

GObj* GObj::Duplicate()
{
    GObj* copy = new GObj();
    copy->Copy(this);
    return copy;
}

void* GObj::operator new(std::size_t size)
{
    return ::operator new(size);
}

void GObj::operator delete(void* p)
{
    ::operator delete(p);
}

void* GObj::operator new(std::size_t size, GMemoryAllocator* arena)
{
    return arena->alloc(static_cast<int>(size));
}

void GObj::operator delete(void*, GMemoryAllocator*) {}
