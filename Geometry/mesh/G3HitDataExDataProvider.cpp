#include "Geometry/mesh/G3HitDataExDataProvider.h"

#include "Geometry/mesh/G3Obj.h"

#include <atomic>

namespace {
std::atomic<G3HitDataExDataProvider*> theProvider{nullptr};
}

G3HitDataExDataProvider* G3HitDataExDataProvider::Get()
{
    // Never deleted: objects destroyed at exit may still release records
    // through it. It stays reachable from this static.
    static G3HitDataExDataProvider* const provider = [] {
        G3HitDataExDataProvider* p = new G3HitDataExDataProvider();
        G3Obj::AddProvider(p);
        theProvider.store(p, std::memory_order_release);
        return p;
    }();
    return provider;
}

G3HitDataExDataProvider* G3HitDataExDataProvider::Find()
{
    return theProvider.load(std::memory_order_acquire);
}

void G3HitDataExDataProvider::SetCurrent(void* a, void* b)
{
    currentA = a;
    currentB = b;
}

void G3HitDataExDataProvider::GetCurrent(void** a, void** b) const
{
    if (a)
        *a = currentA;
    if (b)
        *b = currentB;
}

void G3HitDataExDataProvider::GetData(const G3Obj* object, void** a, void** b) const
{
    const Record* r = object ? static_cast<const Record*>(
                                   object->GetOutExData(this))
                             : nullptr;
    if (r == nullptr) {
        GetCurrent(a, b);
        return;
    }
    if (a)
        *a = r->a;
    if (b)
        *b = r->b;
}

void G3HitDataExDataProvider::ReleaseRecord(void* record) { delete static_cast<Record*>(record); }

void G3HitDataExDataProvider::Store(G3Obj* object, void* a, void* b)
{
    if (Record* r = static_cast<Record*>(object->GetOutExData(this))) {
        r->a = a;
        r->b = b;
        return;
    }
    object->SetOutExData(this, new Record{a, b});
}

void G3HitDataExDataProvider::OpenRecord(G3Obj* object)
{
    if (object == nullptr || (currentA == nullptr && currentB == nullptr))
        return;
    Store(object, currentA, currentB);
}

void G3HitDataExDataProvider::SetSource(G3Obj* source)
{
    const Record* r = source ? static_cast<const Record*>(source->GetOutExData(this)) : nullptr;
    currentA = r ? r->a : nullptr;
    currentB = r ? r->b : nullptr;
}

void G3HitDataExDataProvider::CopyRecord(G3Obj* destination, G3Obj* source)
{
    if (destination == nullptr || source == nullptr || destination == source)
        return;
    const Record* r = static_cast<const Record*>(source->GetOutExData(this));
    if (r == nullptr)
        return;
    const Record copy = *r;
    Store(destination, copy.a, copy.b);
}
