#pragma once
// A registry that derives a resource from every registered object and passes
// each registration down a chain of listening providers, each of which
// derives its own resource from the one above. A listener is built with its
// source: C(B) listens to B, B(A) to A; registering x on A makes A's resource
// r, then B's resource s from r, then C's resource t from s, and removing x
// destroys t, s and r in that order.
//
// Subclasses say how a resource is made and released. Registrations are
// kept in the order they were made, and that is the order in which
// GetResource reports them and Clear removes them.
//
// A listener keys what it hears by the source's registration, not by the
// source's resource: resources need not be distinct (two null resources, or
// two sources handing down one object), and each registration above keeps
// one registration below. A provider may listen to several providers and be
// listed several times; it cannot listen to itself or to a provider that
// listens to it (a registration would go round for ever).

#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/foundation/GHashtable.h"

#include <cstdint>
#include <vector>

class GResourceRecord;

class GDynamicResourceProvider {
public:
    explicit GDynamicResourceProvider(GDynamicResourceProvider* source = nullptr);
    // A provider owns its registrations and sits in its source's list of
    // listeners; a copy could only share them, so copying is refused.
    GDynamicResourceProvider(const GDynamicResourceProvider&) = delete;
    GDynamicResourceProvider& operator=(const GDynamicResourceProvider&) = delete;
    // Leaves the listener lists of every provider that lists it, as often as
    // it is listed there. The resources still registered are not destroyed
    // (call Clear first for that). Listeners still attached are detached, so
    // that they never call back into a destroyed source.
    virtual ~GDynamicResourceProvider();

    // Derives the resource for object (may return null).
    virtual GObj* CreateResourceData(GObj* object) = 0;
    // Releases a resource made by CreateResourceData; also called with null
    // when an object that was never registered is removed.
    virtual void DestroyResourceData(GObj* resource) = 0;

    // Appends listener (it may be listed more than once). Refuses null, this
    // provider, and a provider from which registrations already reach this
    // one; returns whether it was added.
    bool AddListener(GDynamicResourceProvider* listener);
    // Removes the latest listing of listener.
    void RemoveListener(GDynamicResourceProvider* listener);

    // Creates the object's resource, records it, and registers the resource
    // with every listener, the last added first. An object already
    // registered is removed first, so its old resources are destroyed down
    // the chain instead of being lost.
    void AddResource(GObj* object);
    // Forgets the object, removes its resource from every listener (the last
    // added first) and destroys it. For an object that was never registered
    // the resource is null and is still passed on.
    void RemoveResource(GObj* object);
    // Records resource for object without telling any listener. The resource
    // it replaces, if any, is the caller's.
    void SetResourceData(GObj* object, GObj* resource);
    // The resource recorded for object, or null. An object handed down by a
    // source (that source's resource) is found by a walk of the
    // registrations, the oldest first.
    GObj* GetResourceData(GObj* object);
    // Removes every registered object, oldest registration first; objects
    // that subclass code registers while they are withdrawn are withdrawn
    // too (up to a bound on such rounds).
    void Clear();
    // Appends the registered objects to keys and their resources to values
    // (either may be null), in registration order.
    void GetResource(GArrayCollection* keys, GArrayCollection* values);
    void GetResource(GArrayCollection* values);
    bool IsEmpty() const;

    GDynamicResourceProvider* GetSource() const { return source; }
    int GetListenerCount() const { return static_cast<int>(listeners.size()); }
    GDynamicResourceProvider* GetListener(int i) const;

private:
    // Derives the resource of object and records it under the key (hostKey,
    // from): (the object, 0) for a registration made on this provider, (null,
    // the source registration's serial) for one handed down. A registration
    // already under the key is removed first. The resource then goes down
    // with the new registration's serial.
    void Register(GObj* hostKey, std::uint64_t from, GObj* object);
    // The record under the key, taken out of the table; null when none.
    GResourceRecord* Take(GObj* hostKey, std::uint64_t from);
    GResourceRecord* Find(GObj* hostKey, std::uint64_t from) const;
    // Removes a record already taken out of the table (null for an object
    // that was never registered) down the chain, destroys its resource and
    // frees it.
    void Withdraw(GResourceRecord* record);
    // A new record at the end of the registration order.
    GResourceRecord* Append(GObj* hostKey, std::uint64_t from, GObj* object, GObj* resource);
    void Unlink(GResourceRecord* record);
    void DropAllRecords();
    // Whether registrations made on `from` reach `to` (from == to included).
    static bool Reaches(const GDynamicResourceProvider* from, const GDynamicResourceProvider* to);

    // Listeners in the order they were added.
    std::vector<GDynamicResourceProvider*> listeners;
    // The providers that list this one, once per listing.
    std::vector<GDynamicResourceProvider*> listedBy;
    // The records, each its own key. Serials are never reused, so a
    // registration whose source registration has gone (the listener was
    // detached meanwhile) is never mistaken for a new one.
    GHashtable* resources = nullptr;
    GDynamicResourceProvider* source = nullptr;
    GResourceRecord* first = nullptr;
    GResourceRecord* last = nullptr;
};
