#pragma once
// The process-wide registry of extended-data keys: it maps key strings to
// their providers. It is created on first use with the kernel's three keys
// and destroyed at process exit. Its operations are serialised by a lock, as
// several threads working on different surfaces may resolve keys at once.

#include "Geometry/mesh/IGeometryExDataProvider.h"

#include <mutex>
#include <string>
#include <vector>

class CDispatchExDataProvider {
public:
    // The registry, created (with its three keys) by the first call.
    static CDispatchExDataProvider* GetDispatchProvider();

    // Registers `key` with `provider` (null: a new standard provider that the
    // registry owns) and returns the provider now in effect for the key. A
    // key that is already registered keeps its provider, since key maps
    // refer to it. Raises CExDataException("incorret key") for a null or
    // empty key. Providers passed in by the caller stay the caller's.
    virtual IGeometryExDataProvider* RegisterKey(const char* key, IGeometryExDataProvider* provider);
    // The insertion step: places (key, provider) in the sorted table unless
    // the key is there, and numbers the provider on its first registration.
    // Returns the provider in effect for the key.
    virtual IGeometryExDataProvider* InsertKey(const char* key, IGeometryExDataProvider* provider);
    // The provider of `key`; an unknown key is registered on the spot with a
    // new standard provider. Raises CExDataException("incorret key") for a
    // null or empty key.
    virtual IGeometryExDataProvider* GetKeyProvider(const char* key);
    virtual ~CDispatchExDataProvider();

    // The provider of `key` if it is registered, else null (registers
    // nothing, never raises).
    IGeometryExDataProvider* FindKeyProvider(const char* key);
    int GetKeyCount();

    CDispatchExDataProvider(const CDispatchExDataProvider&) = delete;
    CDispatchExDataProvider& operator=(const CDispatchExDataProvider&) = delete;

    static const char* const KEY_ROOF_SECT_ID;
    static const char* const KEY_ROOF_PLANE_INDEX;
    static const char* const KEY_G3FACE_MATERIAL_INDEX;

protected:
    CDispatchExDataProvider();

private:
    struct Key {
        std::string name;
        IGeometryExDataProvider* provider;
    };
    // Index of the first key not less than `key`.
    std::size_t Find(const char* key) const;
    static void CheckKey(const char* key);

    std::vector<Key> keys;  // sorted by name (byte order)
    std::vector<IGeometryExDataProvider*> owned;
    long nextOrder = 0;
    std::recursive_mutex lock;
};
