#pragma once
// Objects that live in separately loaded plug-in libraries. A plug-in is a
// shared object exporting the C function "NewInstance" (no arguments,
// returns a new GDynamicClass-derived object that the kernel may delete).
// Load opens the library, asks the factory for an instance and records the
// library in it; Unload deletes the instance and releases the library. No
// object made by a plug-in may outlive the release of its library.
//
// GDummyDynamicClass stands in for a plug-in known by name but not loaded.

#include "Geometry/foundation/GObj.h"

class GDynamicClass;

// The factory a plug-in library exports under the name "NewInstance".
typedef GDynamicClass* (*GNewInstanceFunction)();

class GDynamicClass : public GObj {
public:
    GDynamicClass() = default;
    // A copy takes its own reference on the library (same handle) and its
    // own copy of the name, so each copy may be unloaded by itself.
    GDynamicClass(const GDynamicClass& other);
    // Takes the other object's library (with a reference of its own) and
    // name. The library that holds this object's own code stays referenced
    // whatever is assigned, until Unload: assigning a dummy over a loaded
    // instance must not unmap the code it still runs.
    GDynamicClass& operator=(const GDynamicClass& other);
    ~GDynamicClass() override;

    virtual const char* ___GetClassName();
    virtual int GetType();
    virtual const char* GetName();
    // Whether Unload may release the library after deleting this instance.
    virtual int MayBeUnload();

    // Opens the library at path and makes an instance through its factory.
    // Returns 1 with *out set, or 0 with *out null and nothing left loaded.
    static int Load(GDynamicClass** out, const char* path);
    // Deletes *p, releases its library (and the one its code came from, when
    // another was assigned to it) when it has one and MayBeUnload() allowed
    // it, and nulls *p.
    static void Unload(GDynamicClass** p);
    // 1 when a file exists at path.
    static int TestExists(const char* path);

    // A plain count for the host's bookkeeping; it never deletes anything
    // and may go below zero.
    void AddRef() { ++refCount; }
    void Release() { --refCount; }
    int RefCount() const { return refCount; }

    const char* GetDllName() const { return dllName; }
    void* GetLibrary() const { return library; }
    int IsLoaded() const { return library != nullptr ? 1 : 0; }

protected:
    // Owned copy of s (null for null).
    static char* CopyString(const char* s);

    void* library = nullptr;
    char* dllName = nullptr;
    int refCount = 0;
    // The library this object came from (by Load, or by copying one that
    // came from it): a reference held from construction to Unload, shared
    // with `library` while the two are the same handle.
    void* codeLibrary = nullptr;
};

class GDummyDynamicClass : public GDynamicClass {
public:
    GDummyDynamicClass(const char* name, const char* dllName, int type);
    GDummyDynamicClass(const GDummyDynamicClass& other);
    GDummyDynamicClass& operator=(const GDummyDynamicClass& other);
    ~GDummyDynamicClass() override;

    const char* ___GetClassName() override;
    int GetType() override;
    const char* GetName() override;

protected:
    char* name = nullptr;
    int type = 0;
};
