#include "Geometry/foundation/GDynamicResourceProvider.h"

#include <algorithm>
#include <cstdint>

// A registration: the object, its resource, and its place in the order of
// registration (a doubly linked list, so removal needs no search).
class GResourceRecord : public GObj {
public:
    GResourceRecord(GObj* o, GObj* r) : object(o), resource(r) {}

    GObj* object;
    GObj* resource;
    GResourceRecord* prev = nullptr;
    GResourceRecord* next = nullptr;
};

namespace {

// Registrations are keyed by object identity. The table keeps only the low
// 32 bits of this hash, so distinct objects may share a hash; the
// comparison tells them apart.
long IdentityHash(const GObj* key)
{
    return static_cast<long>(reinterpret_cast<std::uintptr_t>(key));
}

int IdentityCompare(const GObj* a, const GObj* b)
{
    // A sign, not a pointer difference: a difference truncated to int can be
    // 0 for two distinct objects.
    const std::uintptr_t x = reinterpret_cast<std::uintptr_t>(a);
    const std::uintptr_t y = reinterpret_cast<std::uintptr_t>(b);
    return x == y ? 0 : (x < y ? -1 : 1);
}

} // namespace

GDynamicResourceProvider::GDynamicResourceProvider(GDynamicResourceProvider* src)
{
    resources = new GHashtable(314, IdentityHash, IdentityCompare, nullptr);
    source = src;
    if (source)
        source->AddListener(this);
}

GDynamicResourceProvider::~GDynamicResourceProvider()
{
    if (source) {
        source->RemoveListener(this);
        source = nullptr;
    }
    for (GDynamicResourceProvider* l : listeners)
        if (l->source == this)
            l->source = nullptr;
    listeners.clear();
    DropAllRecords();
    delete resources;
    resources = nullptr;
}

void GDynamicResourceProvider::AddListener(GDynamicResourceProvider* listener)
{
    if (listener)
        listeners.push_back(listener);
}

void GDynamicResourceProvider::RemoveListener(GDynamicResourceProvider* listener)
{
    // The latest addition goes first; the others keep their order.
    auto it = std::find(listeners.rbegin(), listeners.rend(), listener);
    if (it != listeners.rend())
        listeners.erase(std::next(it).base());
}

GDynamicResourceProvider* GDynamicResourceProvider::GetListener(int i) const
{
    if (i < 0 || i >= static_cast<int>(listeners.size()))
        return nullptr;
    return listeners[static_cast<std::size_t>(i)];
}

void GDynamicResourceProvider::Unregister(GResourceRecord* record)
{
    (record->prev ? record->prev->next : first) = record->next;
    (record->next ? record->next->prev : last) = record->prev;
    delete record;
}

void GDynamicResourceProvider::DropAllRecords()
{
    GResourceRecord* r = first;
    while (r) {
        GResourceRecord* next = r->next;
        delete r;
        r = next;
    }
    first = last = nullptr;
    if (resources)
        resources->Clear();
}

void GDynamicResourceProvider::SetResourceData(GObj* object, GObj* resource)
{
    if (auto* record = static_cast<GResourceRecord*>(resources->Get(object))) {
        record->resource = resource;
        return;
    }
    auto* record = new GResourceRecord(object, resource);
    record->prev = last;
    (last ? last->next : first) = record;
    last = record;
    resources->Put(object, record);
}

GObj* GDynamicResourceProvider::GetResourceData(GObj* object)
{
    auto* record = static_cast<GResourceRecord*>(resources->Get(object));
    return record ? record->resource : nullptr;
}

void GDynamicResourceProvider::AddResource(GObj* object)
{
    if (resources->Get(object))
        RemoveResource(object);
    GObj* resource = CreateResourceData(object);
    SetResourceData(object, resource);
    // Walk by index: a listener may detach itself (or others) meanwhile.
    for (std::size_t i = listeners.size(); i-- > 0;)
        if (i < listeners.size())
            listeners[i]->AddResource(resource);
}

void GDynamicResourceProvider::RemoveResource(GObj* object)
{
    GObj* resource = nullptr;
    if (auto* record = static_cast<GResourceRecord*>(resources->Remove(object))) {
        resource = record->resource;
        Unregister(record);
    }
    for (std::size_t i = listeners.size(); i-- > 0;)
        if (i < listeners.size())
            listeners[i]->RemoveResource(resource);
    DestroyResourceData(resource);
}

void GDynamicResourceProvider::Clear()
{
    // Take the objects first: destroying a resource runs subclass code that
    // may register or remove objects while the walk goes on.
    std::vector<GObj*> objects;
    for (GResourceRecord* r = first; r; r = r->next)
        objects.push_back(r->object);
    for (GObj* o : objects)
        if (resources->Get(o))
            RemoveResource(o);
    DropAllRecords();
}

void GDynamicResourceProvider::GetResource(GArrayCollection* keys, GArrayCollection* values)
{
    for (GResourceRecord* r = first; r; r = r->next) {
        if (keys)
            keys->add(r->object);
        if (values)
            values->add(r->resource);
    }
}

void GDynamicResourceProvider::GetResource(GArrayCollection* values) { GetResource(nullptr, values); }

bool GDynamicResourceProvider::IsEmpty() const { return resources->IsEmpty(); }
