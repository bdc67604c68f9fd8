#pragma once
// Named extended data of a mesh entity: a counted reference to a key map that
// many entities share. Copies share the map, and a change made through any
// holder is seen by all of them; the map is deleted when its last holder lets
// go of it.

#include "Geometry/mesh/IGeometryExDataProvider.h"

#include <atomic>
#include <vector>

class G3Surface;

// The shared key map: one (provider, value) entry per key provider, kept in
// the providers' registration order. Holders count themselves in it; it is
// created by Create() and deleted by the Release() of its last holder.
class CExDataProvider {
public:
    struct Entry {
        IGeometryExDataProvider* provider;
        void* value;
    };

    // A new map without holders. Raises CExDataException("not enough memory")
    // when the storage cannot be obtained.
    static CExDataProvider* Create();

    void AddRef() const { refs.fetch_add(1, std::memory_order_relaxed); }
    // Drops one holder; deletes the map when it was the last.
    void Release() const;
    long GetRefCount() const { return refs.load(std::memory_order_relaxed); }

    int GetCount() const { return static_cast<int>(entries.size()); }
    // Entry `i` in registration order; an index out of range gives null.
    IGeometryExDataProvider* GetProviderAt(int i) const;
    void* GetValueAt(int i) const;

    // The value stored for `provider`, or null.
    void* Get(const IGeometryExDataProvider* provider) const;
    // Sets (or replaces) the value of `provider`. Raises
    // CExDataException("not enough memory") when the entry cannot be stored.
    void Set(IGeometryExDataProvider* provider, void* value);
    // Erases the entry of `provider`; false when there was none.
    bool Erase(const IGeometryExDataProvider* provider);

    CExDataProvider(const CExDataProvider&) = delete;
    CExDataProvider& operator=(const CExDataProvider&) = delete;

private:
    CExDataProvider() = default;
    ~CExDataProvider() = default;
    // Position of the first entry whose provider is not registered before
    // `provider`.
    std::size_t LowerBound(const IGeometryExDataProvider* provider) const;

    std::vector<Entry> entries;
    mutable std::atomic<long> refs{0};
};

class CExData {
public:
    CExData() = default;
    CExData(const CExData& other);
    CExData& operator=(const CExData& other);
    // Makes this object hold `map` (null lets go of the current one).
    CExData& operator=(const CExDataProvider* map);

    // Sets the value of `key` in the shared map (creating the map when there
    // is none). A null value adds nothing. Raises CExDataException for a null
    // or empty key.
    virtual CExData& Add(const char* key, void* value);
    // Leaves the data as it is: the map is shared, and clearing it would take
    // the data away from every other holder.
    virtual CExData& RemoveAll();
    // Erases the entry of `key` from the shared map, when there is a map.
    virtual CExData& Remove(const char* key);
    // The value of `key`; null when there is no map or no entry. Without a map
    // the key is not looked up at all.
    virtual void* GetData(const char* key);
    // Gives `out` the data of one part of this facet divided by `plane`: the
    // same shared map when no key provider changes its value, otherwise a
    // map of its own holding the non-null new values.
    virtual void NewIdsByPlaneDivide(CExData& out, const G3Surface* surface, const double* plane);
    // The data of a facet merged from facets holding `a` and `b`: shared when
    // both hold the same map or one holds none; false (and no data) when they
    // hold two different maps.
    virtual bool MergeIds(const CExData& a, const CExData& b);
    virtual ~CExData();

    // The shared map, or null.
    CExDataProvider* GetMap() const { return map; }
    bool IsEmpty() const { return map == nullptr; }

private:
    bool SetNewIdsByPlaneDivide(CExData& out, const G3Surface* surface, const double* plane,
                                bool copyAll);
    void Reset(const CExDataProvider* newMap);

    CExDataProvider* map = nullptr;
};
