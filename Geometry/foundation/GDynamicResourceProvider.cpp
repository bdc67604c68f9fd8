#include "Geometry/foundation/GDynamicResourceProvider.h"

#include <algorithm>
#include <atomic>
#include <utility>

// A registration: its key, the object its resource was derived from, the
// resource, its serial, and its place in the order of registration (a doubly
// linked list, so removal needs no search). The record is its own key in the
// provider's table.
class GResourceRecord : public GObj {
public:
    GResourceRecord(GObj* k, std::uint64_t f, GObj* o, GObj* r) : hostKey(k), from(f), object(o), resource(r) {}

    GObj* hostKey;      // the object the host registered; null when handed down
    std::uint64_t from; // the source registration's serial; 0 when the host registered it
    GObj* object;
    GObj* resource;
    std::uint64_t serial = 0;
    GResourceRecord* prev = nullptr;
    GResourceRecord* next = nullptr;
};

namespace {

// Rounds of Clear: registrations made while a round withdraws go in the
// next one.
constexpr int kClearRounds = 16;

// Serials of registrations, process-wide so that two sources of one listener
// never hand down the same one; never 0.
std::atomic<std::uint64_t> lastSerial{0};

// The table keeps only the low 32 bits of this hash, so distinct keys may
// share a hash; the comparison tells them apart.
long KeyHash(const GObj* key)
{
    const auto* r = static_cast<const GResourceRecord*>(key);
    if (r->from)
        return static_cast<long>(r->from * 0x9E3779B97F4A7C15ull >> 32);
    return static_cast<long>(reinterpret_cast<std::uintptr_t>(r->hostKey));
}

int KeyCompare(const GObj* a, const GObj* b)
{
    const auto* x = static_cast<const GResourceRecord*>(a);
    const auto* y = static_cast<const GResourceRecord*>(b);
    return x->hostKey == y->hostKey && x->from == y->from ? 0 : 1;
}

} // namespace

GDynamicResourceProvider::GDynamicResourceProvider(GDynamicResourceProvider* src)
{
    resources = new GHashtable(314, KeyHash, KeyCompare, nullptr);
    source = src;
    if (source)
        source->AddListener(this);
}

GDynamicResourceProvider::~GDynamicResourceProvider()
{
    // Out of every list that holds this provider, however it got there.
    while (!listedBy.empty()) {
        GDynamicResourceProvider* p = listedBy.back();
        p->listeners.erase(std::remove(p->listeners.begin(), p->listeners.end(), this), p->listeners.end());
        listedBy.erase(std::remove(listedBy.begin(), listedBy.end(), p), listedBy.end());
    }
    source = nullptr;
    for (GDynamicResourceProvider* l : listeners) {
        l->listedBy.erase(std::remove(l->listedBy.begin(), l->listedBy.end(), this), l->listedBy.end());
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
    listener->listedBy.push_back(this);
    return true;
}

void GDynamicResourceProvider::RemoveListener(GDynamicResourceProvider* listener)
{
    // The latest addition goes first; the others keep their order.
    auto it = std::find(listeners.rbegin(), listeners.rend(), listener);
    if (it == listeners.rend())
        return;
    listeners.erase(std::next(it).base());
    std::vector<GDynamicResourceProvider*>& by = listener->listedBy;
    auto back = std::find(by.rbegin(), by.rend(), this);
    if (back != by.rend())
        by.erase(std::next(back).base());
    // A listener no longer listening to its source has none.
    if (listener->source == this && std::find(by.begin(), by.end(), this) == by.end())
        listener->source = nullptr;
}

GDynamicResourceProvider* GDynamicResourceProvider::GetListener(int i) const
{
    if (i < 0 || i >= static_cast<int>(listeners.size()))
        return nullptr;
    return listeners[static_cast<std::size_t>(i)];
}

GResourceRecord* GDynamicResourceProvider::Append(GObj* hostKey, std::uint64_t from, GObj* object, GObj* resource)
{
    auto* record = new GResourceRecord(hostKey, from, object, resource);
    record->serial = ++lastSerial;
    record->prev = last;
    (last ? last->next : first) = record;
    last = record;
    resources->Put(record, record);
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

GResourceRecord* GDynamicResourceProvider::Find(GObj* hostKey, std::uint64_t from) const
{
    GResourceRecord probe(hostKey, from, nullptr, nullptr);
    return static_cast<GResourceRecord*>(resources->Get(&probe));
}

GResourceRecord* GDynamicResourceProvider::Take(GObj* hostKey, std::uint64_t from)
{
    GResourceRecord probe(hostKey, from, nullptr, nullptr);
    return static_cast<GResourceRecord*>(resources->Remove(&probe));
}

void GDynamicResourceProvider::SetResourceData(GObj* object, GObj* resource)
{
    if (GResourceRecord* record = Find(object, 0))
        record->resource = resource;
    else
        Append(object, 0, object, resource);
}

GObj* GDynamicResourceProvider::GetResourceData(GObj* object)
{
    if (GResourceRecord* record = Find(object, 0))
        return record->resource;
    for (GResourceRecord* r = first; r; r = r->next)
        if (r->from && r->object == object)
            return r->resource;
    return nullptr;
}

void GDynamicResourceProvider::AddResource(GObj* object) { Register(object, 0, object); }

void GDynamicResourceProvider::Register(GObj* hostKey, std::uint64_t from, GObj* object)
{
    if (GResourceRecord* old = Take(hostKey, from))
        Withdraw(old);
    GObj* resource = CreateResourceData(object);
    const std::uint64_t serial = Append(hostKey, from, object, resource)->serial;
    // Walk by index: a listener may detach itself (or others) meanwhile.
    for (std::size_t i = listeners.size(); i-- > 0;)
        if (i < listeners.size())
            listeners[i]->Register(nullptr, serial, resource);
}

void GDynamicResourceProvider::RemoveResource(GObj* object) { Withdraw(Take(object, 0)); }

void GDynamicResourceProvider::Withdraw(GResourceRecord* record)
{
    // Out of the order at once, so that subclass code run below never meets
    // it.
    GObj* resource = nullptr;
    std::uint64_t serial = 0;
    if (record) {
        resource = record->resource;
        serial = record->serial;
        Unlink(record);
        delete record;
    }
    for (std::size_t i = listeners.size(); i-- > 0;)
        if (i < listeners.size()) {
            GDynamicResourceProvider* l = listeners[i];
            l->Withdraw(serial ? l->Take(nullptr, serial) : nullptr);
        }
    DestroyResourceData(resource);
}

void GDynamicResourceProvider::Clear()
{
    // Take the keys first: destroying a resource runs subclass code that
    // may register or remove objects while the walk goes on.
    // Objects registered by that code are withdrawn in a further round, so
    // that their resources and their listeners' records go too; a subclass
    // that registers again on every withdrawal is cut off after a few
    // rounds (what is left is dropped without being withdrawn).
    std::vector<std::pair<GObj*, std::uint64_t>> keys;
    for (int round = 0; first && round < kClearRounds; ++round) {
        keys.clear();
        for (GResourceRecord* r = first; r; r = r->next)
            keys.emplace_back(r->hostKey, r->from);
        for (const auto& k : keys)
            if (GResourceRecord* record = Take(k.first, k.second))
                Withdraw(record);
    }
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
