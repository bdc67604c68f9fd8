#pragma once
// The provider of one extended-data key: it decides what a key's value
// becomes when a facet is divided by a plane or two facets are merged.
//
// The key registry gives every provider a registration number the first time
// the provider is registered for a key. Key maps keep their entries in that
// order, so walking a map never depends on where the heap put a provider.

class G3Surface;
class CDispatchExDataProvider;

class IGeometryExDataProvider {
public:
    // Releases a value. The kernel itself never calls it: values are opaque
    // and may be shared by several maps, so only the host knows when one is
    // no longer referenced.
    virtual void Free(void* value) = 0;
    // The value a part of a divided facet receives.
    virtual void* GetIdByPlaneDivide(void* value, const G3Surface* surface, const double* plane) = 0;
    // The value of a facet merged from two facets holding `a` and `b`.
    virtual void* GetIdByMergeFacets(void* a, void* b) = 0;
    virtual ~IGeometryExDataProvider() = default;

    // -1 until the registry first registers this provider for a key.
    long GetRegistrationOrder() const { return registrationOrder; }

protected:
    IGeometryExDataProvider() = default;
    // A copy is a different provider: it gets a number of its own when it is
    // registered.
    IGeometryExDataProvider(const IGeometryExDataProvider&) : registrationOrder(-1) {}
    IGeometryExDataProvider& operator=(const IGeometryExDataProvider&) { return *this; }

private:
    friend class CDispatchExDataProvider;
    long registrationOrder = -1;
};

// The provider of every key registered without one of its own: values pass
// unchanged through a division and survive a merge only when both facets had
// the same value.
class CStandardExDataProvider : public IGeometryExDataProvider {
public:
    void Free(void*) override {}
    void* GetIdByPlaneDivide(void* value, const G3Surface*, const double*) override { return value; }
    void* GetIdByMergeFacets(void* a, void* b) override { return a == b ? a : nullptr; }
    ~CStandardExDataProvider() override = default;
};
