#include "Geometry/mesh/CDispatchExDataProvider.h"

#include "Geometry/mesh/CExDataException.h"

#include <cstring>
#include <memory>
#include <new>

const char* const CDispatchExDataProvider::KEY_ROOF_SECT_ID = "ZUNO_ROOF_SECT_ID";
const char* const CDispatchExDataProvider::KEY_ROOF_PLANE_INDEX = "ZUNO_ROOF_PLANE_INDEX";
const char* const CDispatchExDataProvider::KEY_G3FACE_MATERIAL_INDEX = "ZUNO_G3FACE_MATERIAL_INDEX";

// The registry lives in a function-local static, so it is built on the first
// call whatever the order of static initialisation, and destroyed at exit.
CDispatchExDataProvider* CDispatchExDataProvider::GetDispatchProvider()
{
    static CDispatchExDataProvider registry;
    return &registry;
}

CDispatchExDataProvider::CDispatchExDataProvider()
{
    // The order of these three fixes the order of their entries in key maps.
    RegisterKey(KEY_ROOF_SECT_ID, nullptr);
    RegisterKey(KEY_ROOF_PLANE_INDEX, nullptr);
    RegisterKey(KEY_G3FACE_MATERIAL_INDEX, nullptr);
}

CDispatchExDataProvider::~CDispatchExDataProvider()
{
    for (IGeometryExDataProvider* p : owned)
        delete p;
}

void CDispatchExDataProvider::CheckKey(const char* key)
{
    if (key == nullptr || key[0] == '\0')
        throw CExDataException("incorret key");
}

std::size_t CDispatchExDataProvider::Find(const char* key) const
{
    std::size_t lo = 0, hi = keys.size();
    while (lo < hi) {
        const std::size_t mid = lo + (hi - lo) / 2;
        if (std::strcmp(keys[mid].name.c_str(), key) < 0)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
}

IGeometryExDataProvider* CDispatchExDataProvider::RegisterKey(const char* key,
                                                              IGeometryExDataProvider* provider)
{
    CheckKey(key);
    std::lock_guard<std::recursive_mutex> guard(lock);
    if (IGeometryExDataProvider* existing = FindKeyProvider(key))
        return existing;
    if (provider != nullptr)
        return InsertKey(key, provider);
    std::unique_ptr<CStandardExDataProvider> fresh(new (std::nothrow) CStandardExDataProvider());
    if (!fresh)
        throw CExDataException("not enough memory");
    IGeometryExDataProvider* result = nullptr;
    try {
        owned.reserve(owned.size() + 1);
        result = InsertKey(key, fresh.get());
    } catch (const std::bad_alloc&) {
        throw CExDataException("not enough memory");
    }
    if (result == fresh.get())
        owned.push_back(fresh.release());  // cannot throw: reserved above
    return result;
}

IGeometryExDataProvider* CDispatchExDataProvider::InsertKey(const char* key,
                                                            IGeometryExDataProvider* provider)
{
    CheckKey(key);
    if (provider == nullptr)
        return RegisterKey(key, nullptr);
    std::lock_guard<std::recursive_mutex> guard(lock);
    const std::size_t at = Find(key);
    if (at < keys.size() && keys[at].name == key)
        return keys[at].provider;
    try {
        keys.insert(keys.begin() + static_cast<std::ptrdiff_t>(at), Key{key, provider});
    } catch (const std::bad_alloc&) {
        throw CExDataException("not enough memory");
    }
    if (provider->registrationOrder < 0)
        provider->registrationOrder = nextOrder++;
    return provider;
}

IGeometryExDataProvider* CDispatchExDataProvider::GetKeyProvider(const char* key)
{
    CheckKey(key);
    std::lock_guard<std::recursive_mutex> guard(lock);
    if (IGeometryExDataProvider* p = FindKeyProvider(key))
        return p;
    return RegisterKey(key, nullptr);
}

IGeometryExDataProvider* CDispatchExDataProvider::FindKeyProvider(const char* key)
{
    if (key == nullptr || key[0] == '\0')
        return nullptr;
    std::lock_guard<std::recursive_mutex> guard(lock);
    const std::size_t at = Find(key);
    if (at < keys.size() && keys[at].name == key)
        return keys[at].provider;
    return nullptr;
}

int CDispatchExDataProvider::GetKeyCount()
{
    std::lock_guard<std::recursive_mutex> guard(lock);
    return static_cast<int>(keys.size());
}
