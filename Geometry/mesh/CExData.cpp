#include "Geometry/mesh/CExData.h"

#include "Geometry/mesh/CDispatchExDataProvider.h"
#include "Geometry/mesh/CExDataException.h"

#include <new>

// ------------------------------------------------------------ CExDataProvider

CExDataProvider* CExDataProvider::Create()
{
    CExDataProvider* map = new (std::nothrow) CExDataProvider();
    if (map == nullptr)
        throw CExDataException("not enough memory");
    return map;
}

void CExDataProvider::Release() const
{
    if (refs.fetch_sub(1, std::memory_order_acq_rel) == 1)
        delete this;
}

IGeometryExDataProvider* CExDataProvider::GetProviderAt(int i) const
{
    if (i < 0 || i >= GetCount())
        return nullptr;
    return entries[static_cast<std::size_t>(i)].provider;
}

void* CExDataProvider::GetValueAt(int i) const
{
    if (i < 0 || i >= GetCount())
        return nullptr;
    return entries[static_cast<std::size_t>(i)].value;
}

std::size_t CExDataProvider::LowerBound(const IGeometryExDataProvider* provider) const
{
    const long order = provider->GetRegistrationOrder();
    std::size_t lo = 0, hi = entries.size();
    while (lo < hi) {
        const std::size_t mid = lo + (hi - lo) / 2;
        if (entries[mid].provider->GetRegistrationOrder() < order)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
}

void* CExDataProvider::Get(const IGeometryExDataProvider* provider) const
{
    if (provider == nullptr)
        return nullptr;
    const std::size_t at = LowerBound(provider);
    if (at < entries.size() && entries[at].provider == provider)
        return entries[at].value;
    return nullptr;
}

void CExDataProvider::Set(IGeometryExDataProvider* provider, void* value)
{
    if (provider == nullptr)
        return;
    const std::size_t at = LowerBound(provider);
    if (at < entries.size() && entries[at].provider == provider) {
        entries[at].value = value;
        return;
    }
    try {
        entries.insert(entries.begin() + static_cast<std::ptrdiff_t>(at), Entry{provider, value});
    } catch (const std::bad_alloc&) {
        throw CExDataException("not enough memory");
    }
}

bool CExDataProvider::Erase(const IGeometryExDataProvider* provider)
{
    if (provider == nullptr)
        return false;
    const std::size_t at = LowerBound(provider);
    if (at < entries.size() && entries[at].provider == provider) {
        entries.erase(entries.begin() + static_cast<std::ptrdiff_t>(at));
        return true;
    }
    return false;
}

// -------------------------------------------------------------------- CExData

CExData::CExData(const CExData& other) { Reset(other.map); }

CExData& CExData::operator=(const CExData& other)
{
    Reset(other.map);
    return *this;
}

CExData& CExData::operator=(const CExDataProvider* newMap)
{
    Reset(newMap);
    return *this;
}

CExData::~CExData() { Reset(nullptr); }

void CExData::Reset(const CExDataProvider* newMap)
{
    // Take the new reference first: newMap may be the map held now.
    if (newMap != nullptr)
        newMap->AddRef();
    if (map != nullptr)
        map->Release();
    map = const_cast<CExDataProvider*>(newMap);
}

CExData& CExData::Add(const char* key, void* value)
{
    if (value == nullptr)
        return *this;
    // Resolve the key before creating a map, so a bad key leaves this object
    // as it was.
    IGeometryExDataProvider* provider = CDispatchExDataProvider::GetDispatchProvider()->GetKeyProvider(key);
    if (map == nullptr)
        Reset(CExDataProvider::Create());
    map->Set(provider, value);
    return *this;
}

CExData& CExData::RemoveAll() { return *this; }

CExData& CExData::Remove(const char* key)
{
    if (map != nullptr)
        map->Erase(CDispatchExDataProvider::GetDispatchProvider()->GetKeyProvider(key));
    return *this;
}

void* CExData::GetData(const char* key)
{
    if (map == nullptr)
        return nullptr;
    return map->Get(CDispatchExDataProvider::GetDispatchProvider()->GetKeyProvider(key));
}

bool CExData::MergeIds(const CExData& a, const CExData& b)
{
    // Hold both maps before letting go of ours: `a` or `b` may be this object.
    const CExData heldA(a);
    const CExData heldB(b);
    Reset(nullptr);
    if (heldA.map != nullptr) {
        if (heldB.map != nullptr && heldB.map != heldA.map)
            return false;
        Reset(heldA.map);
        return true;
    }
    Reset(heldB.map);
    return true;
}

void CExData::NewIdsByPlaneDivide(CExData& out, const G3Surface* surface, const double* plane)
{
    if (!SetNewIdsByPlaneDivide(out, surface, plane, false))
        SetNewIdsByPlaneDivide(out, surface, plane, true);
}

bool CExData::SetNewIdsByPlaneDivide(CExData& out, const G3Surface* surface, const double* plane,
                                     bool copyAll)
{
    // Keep the source map alive while `out` (which may be this object) lets
    // go of its own, and while providers are called.
    const CExData source(*this);
    out.Reset(nullptr);
    if (source.map == nullptr)
        return true;

    CExData built;  // the map of its own, when a value changes
    bool building = copyAll;
    bool changed = false;
    // Indexes are re-checked on every step: a provider could change the map.
    for (int i = 0; i < source.map->GetCount(); ++i) {
        IGeometryExDataProvider* provider = source.map->GetProviderAt(i);
        void* value = source.map->GetValueAt(i);
        void* v = provider->GetIdByPlaneDivide(value, surface, plane);
        if (v != value)
            changed = true;
        if (!building) {
            if (v == value)
                continue;
            // Earlier entries were skipped as unchanged: start again copying
            // every entry.
            if (i > 0)
                return false;
            building = true;
        }
        if (v != nullptr) {
            if (built.map == nullptr)
                built.Reset(CExDataProvider::Create());
            built.map->Set(provider, v);
        }
    }
    out.Reset(changed ? built.map : source.map);
    return true;
}
