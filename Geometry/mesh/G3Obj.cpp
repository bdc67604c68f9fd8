#include "Geometry/mesh/G3Obj.h"

#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/mesh/G3ExDataProvider.h"

#include <new>

G3Obj::G3Obj(unsigned long t) : GObj(t) {}

G3Obj::G3Obj(const G3Obj& other)
    : GObj(other), id(other.id), flags(other.flags), exData(other.exData),
      extendedData(other.extendedData), exDataProviderLocked(other.exDataProviderLocked)
{
}

G3Obj& G3Obj::operator=(const G3Obj& other)
{
    if (this != &other) {
        GObj::operator=(other);
        id = other.id;
        flags = other.flags;
        exData = other.exData;
        extendedData = other.extendedData;
        exDataProviderLocked = other.exDataProviderLocked;
        // outExData stays this object's own.
    }
    return *this;
}

G3Obj::~G3Obj()
{
    RemoveExData();
    delete outExData;
    outExData = nullptr;
}

void G3Obj::Copy(GObj* source)
{
    const G3Obj* src = dynamic_cast<const G3Obj*>(source);
    if (!src || src == this)
        return;
    id = src->id;
    flags = src->flags;
    exData = src->exData;
    extendedData = src->extendedData;
}

// ------------------------------------------------------------ provider list

GArrayCollection* G3Obj::GetProviderList()
{
    // Built in static storage on first use and never destroyed: objects
    // destroyed at exit (or after GHeap::RemoveAllHeaps) may still reach it,
    // and it must not come from the collection pool that RemoveAllHeaps frees.
    alignas(GArrayCollection) static unsigned char storage[sizeof(GArrayCollection)];
    static GArrayCollection* const list = ::new (static_cast<void*>(storage)) GArrayCollection(8, 8);
    return list;
}

void G3Obj::AddProvider(G3ExDataProvider* provider)
{
    if (provider != nullptr)
        GetProviderList()->add(provider);
}

G3ExDataProvider* G3Obj::GetProvider(long index)
{
    GArrayCollection* list = GetProviderList();
    if (index < 0 || index >= list->size())
        return nullptr;
    return static_cast<G3ExDataProvider*>(list->get(static_cast<int>(index)));
}

long G3Obj::GetProviderId(G3ExDataProvider* provider)
{
    if (provider == nullptr)
        return -1;
    GArrayCollection* list = GetProviderList();
    for (int i = 0; i < list->size(); ++i)
        if (list->get(i) == provider)
            return i;
    return -1;
}

bool G3Obj::RemoveExDataProvider(G3ExDataProvider* provider)
{
    const long at = GetProviderId(provider);
    if (at < 0)
        return false;
    GArrayCollection* list = GetProviderList();
    list->put(static_cast<int>(at), list->getLast());
    list->removeLast();
    return true;
}

// Walks go by index and re-read the size at every step, so a provider that
// registers or removes providers from its callback cannot make them read
// outside the list.

void G3Obj::ProviderOpenExData(G3Obj* object)
{
    if (exDataProviderLocked)
        return;
    GArrayCollection* list = GetProviderList();
    for (int i = 0; i < list->size(); ++i)
        static_cast<G3ExDataProvider*>(list->get(i))->OpenRecord(object);
}

void G3Obj::ProviderSetExData(G3Obj* source)
{
    GArrayCollection* list = GetProviderList();
    for (int i = 0; i < list->size(); ++i)
        static_cast<G3ExDataProvider*>(list->get(i))->SetSource(source);
}

void G3Obj::ProviderTransformExData(G3Obj* object, double m[4][4])
{
    GArrayCollection* list = GetProviderList();
    for (int i = 0; i < list->size(); ++i)
        static_cast<G3ExDataProvider*>(list->get(i))->TransformRecord(object, m);
}

// ------------------------------------------------------------ outside data

void G3Obj::CopyExData(G3Obj* source)
{
    if (source == nullptr || source->outExData == nullptr)
        return;
    // CopyRecord stores into this object's store, which is the source's own
    // when an object copies itself: walk a snapshot.
    for (const G3OutExData::Entry& e : source->outExData->Snapshot())
        e.provider->CopyRecord(this, source);
}

void G3Obj::RemoveExData()
{
    if (outExData == nullptr)
        return;
    // Entries leave the store before their records are released, so a
    // record is never released twice and providers may touch the store.
    for (const G3OutExData::Entry& e : outExData->TakeAll())
        e.provider->ReleaseRecord(e.record);
}

void G3Obj::RemoveExData(G3ExDataProvider* provider)
{
    if (outExData == nullptr || provider == nullptr)
        return;
    if (void* record = outExData->Take(provider))
        provider->ReleaseRecord(record);
}

void G3Obj::SetOutExData(G3ExDataProvider* provider, void* record)
{
    if (provider == nullptr)
        return;
    if (outExData == nullptr)
        outExData = new G3OutExData();
    outExData->Set(provider, record);
}

void* G3Obj::GetOutExData(const G3ExDataProvider* provider) const
{
    return outExData != nullptr ? outExData->Get(provider) : nullptr;
}
