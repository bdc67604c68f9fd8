#include "Geometry/roof/G3RoofFacetProvider.h"

#include "Geometry/mesh/G3Obj.h"

#include <atomic>

namespace {
std::atomic<G3RoofFacetProvider*> theProvider{nullptr};
// Facets report this object type (G3Facet::GetObjectType).
const int kFacetObjectType = 4;
} // namespace

G3RoofFacetProvider* G3RoofFacetProvider::Get()
{
    // Never deleted: facets destroyed at exit may still release records
    // through it.
    static G3RoofFacetProvider* const provider = [] {
        G3RoofFacetProvider* p = new G3RoofFacetProvider();
        G3Obj::AddProvider(p);
        theProvider.store(p, std::memory_order_release);
        return p;
    }();
    return provider;
}

G3RoofFacetProvider* G3RoofFacetProvider::Find() { return theProvider.load(std::memory_order_acquire); }

void G3RoofFacetProvider::SetCurrent(int index, int type)
{
    currentIndex = index;
    currentType = type;
}

void G3RoofFacetProvider::GetCurrent(int* index, int* type) const
{
    if (index)
        *index = currentIndex;
    if (type)
        *type = currentType;
}

bool G3RoofFacetProvider::GetRecord(const G3Obj* object, int* index, int* type) const
{
    const Record* r = object ? static_cast<const Record*>(object->GetOutExData(this)) : nullptr;
    if (index)
        *index = r ? r->index : 0;
    if (type)
        *type = r ? r->type : 0;
    return r != nullptr;
}

void G3RoofFacetProvider::ReleaseRecord(void* record) { delete static_cast<Record*>(record); }

void G3RoofFacetProvider::Store(G3Obj* object, int index, int type)
{
    if (Record* r = static_cast<Record*>(object->GetOutExData(this))) {
        r->index = index;
        r->type = type;
        return;
    }
    object->SetOutExData(this, new Record{index, type});
}

void G3RoofFacetProvider::OpenRecord(G3Obj* object)
{
    if (object == nullptr || currentIndex == 0 || object->GetObjectType() != kFacetObjectType)
        return;
    Store(object, currentIndex, currentType);
}

void G3RoofFacetProvider::SetSource(G3Obj* source)
{
    const Record* r = source ? static_cast<const Record*>(source->GetOutExData(this)) : nullptr;
    currentIndex = r ? r->index : 0;
    currentType = r ? r->type : 0;
}

void G3RoofFacetProvider::CopyRecord(G3Obj* destination, G3Obj* source)
{
    if (destination == nullptr || source == nullptr)
        return;
    if (const Record* r = static_cast<const Record*>(source->GetOutExData(this)))
        Store(destination, r->index, r->type);
}
