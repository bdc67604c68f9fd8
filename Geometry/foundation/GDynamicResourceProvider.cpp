#include "Geometry/foundation/GDynamicResourceProvider.h"

#include <algorithm>
#include <cstdint>

// A registration: its key, the object its resource was derived from, the
// resource, and its place in the order of registration (a doubly linked
// list, so removal needs no search).
class GResourceRecord : public GObj {
public:
    GResourceRecord(GObj* k, GObj* o, GObj* r) : key(k), object(o), resource(r) {}

    GObj* key;
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
    // Out of every list that holds this provider, however it got there.
    while (!sources.empty()) {
        GDynamicResourceProvider* p = sources.back();
        p->listeners.erase(std::remove(p->listeners.begin(), p->listeners.end(), this), p->listeners.end());
        sources.erase(std::remove(sources.begin(), sources.end(), p), sources.end());
    }
    source = nullptr;
    for (GDynamicResourceProvider* l : listeners) {
        l->sources.erase(std::remove(l->sources.begin(), l->sources.end(), this), l->sources.end());
        if (l->source == this)
            l->source = nullptr;
    }
    listeners.clear();
    DropAllRecords();
    delete resources;
    resources = nullptr;
}

bool GDynamicResourceProvider::Reaches(const GDynamicResourceProvider* from, const GDynamicResourceProvider* to)
{
    std::vector<const GDynamicResourceProvider*> todo{from}, seen;
    while (!todo.empty()) {
        const GDynamicResourceProvider* p = todo.back();
        todo.pop_back();
        if (p == to)
            return true;
        if (std::find(seen.begin(), seen.end(), p) != seen.end())
            continue;
        seen.push_back(p);
        todo.insert(todo.end(), p->listeners.begin(), p->listeners.end());
    }
    return false;
}

bool GDynamicResourceProvider::AddListener(GDynamicResourceProvider* listener)
{
    if (!listener || Reaches(listener, this))
        return false;
    listeners.push_back(listener);
    listener->sources.push_back(this);
    return true;
}

void GDynamicResourceProvider::RemoveListener(GDynamicResourceProvider* listener)
{
    // The latest addition goes first; the others keep their order.
    auto it = std::find(listeners.rbegin(), listeners.rend(), listener);
    if (it == listeners.rend())
        return;
    listeners.erase(std::next(it).base());
    auto back = std::find(listener->sources.rbegin(), listener->sources.rend(), this);
    if (back != listener->sources.rend())
        listener->sources.erase(std::next(back).base());
}

GDynamicResourceProvider* GDynamicResourceProvider::GetListener(int i) const
{
    if (i < 0 || i >= static_cast<int>(listeners.size()))
        return nullptr;
    return listeners[static_cast<std::size_t>(i)];
}

GResourceRecord* GDynamicResourceProvider::Append(GObj* key, GObj* object, GObj* resource)
{
    auto* record = new GResourceRecord(key, object, resource);
    record->prev = last;
    (last ? last->next : first) = record;
    last = record;
    resources->Put(key, record);
    return record;
}

void GDynamicResourceProvider::Unlink(GResourceRecord* record)
{
    (record->prev ? record->prev->next : first) = record->next;
    (record->next ? record->next->prev : last) = record->prev;
    record->prev = record->next = nullptr;
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

GResourceRecord* GDynamicResourceProvider::Take(GObj* key)
{
    return static_cast<GResourceRecord*>(resources->Remove(key));
}

void GDynamicResourceProvider::SetResourceData(GObj* object, GObj* resource)
{
    if (auto* record = static_cast<GResourceRecord*>(resources->Get(object)))
        record->resource = resource;
    else
        Append(object, object, resource);
}

GObj* GDynamicResourceProvider::GetResourceData(GObj* object)
{
    if (auto* record = static_cast<GResourceRecord*>(resources->Get(object)))
        return record->resource;
    for (GResourceRecord* r = first; r; r = r->next)
        if (r->object == object && r->key != object)
            return r->resource;
    return nullptr;
}

void GDynamicResourceProvider::AddResource(GObj* object) { Register(object, object); }

void GDynamicResourceProvider::Register(GObj* key, GObj* object)
{
    if (GResourceRecord* old = Take(key))
        Withdraw(old);
    GObj* resource = CreateResourceData(object);
    GResourceRecord* record = Append(key, object, resource);
    // Walk by index: a listener may detach itself (or others) meanwhile.
    for (std::size_t i = listeners.size(); i-- > 0;)
        if (i < listeners.size())
            listeners[i]->Register(record, resource);
}

void GDynamicResourceProvider::RemoveResource(GObj* object) { Withdraw(Take(object)); }

void GDynamicResourceProvider::Withdraw(GResourceRecord* record)
{
    // Out of the order at once, so that subclass code run below never meets
    // it; freed last, since the listeners know it as their key.
    GObj* resource = nullptr;
    if (record) {
        resource = record->resource;
        Unlink(record);
    }
    for (std::size_t i = listeners.size(); i-- > 0;)
        if (i < listeners.size()) {
            GDynamicResourceProvider* l = listeners[i];
            l->Withdraw(record ? l->Take(record) : nullptr);
        }
    DestroyResourceData(resource);
    delete record;
}

void GDynamicResourceProvider::Clear()
{
    // Take the keys first: destroying a resource runs subclass code that
    // may register or remove objects while the walk goes on.
    std::vector<GObj*> keys;
    for (GResourceRecord* r = first; r; r = r->next)
        keys.push_back(r->key);
    for (GObj* k : keys)
        if (GResourceRecord* record = Take(k))
            Withdraw(record);
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
