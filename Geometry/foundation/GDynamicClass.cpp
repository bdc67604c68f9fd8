#include "Geometry/foundation/GDynamicClass.h"

#include <cstring>
#include <dlfcn.h>
#include <link.h>
#include <unistd.h>

namespace {

// A further reference on an already loaded library: the same handle, with
// the loader's count raised, so that every holder releases its own. Null
// when there is no library or it can no longer be found by its name.
void* AcquireLibrary(void* library)
{
    if (!library)
        return nullptr;
    struct link_map* map = nullptr;
    if (dlinfo(library, RTLD_DI_LINKMAP, &map) != 0 || !map || !map->l_name || !*map->l_name)
        return nullptr;
    return dlopen(map->l_name, RTLD_NOW | RTLD_LOCAL | RTLD_NOLOAD);
}

void ReleaseLibrary(void* library)
{
    if (library)
        dlclose(library);
}

} // namespace

// ------------------------------------------------------------- GDynamicClass

char* GDynamicClass::CopyString(const char* s)
{
    if (!s)
        return nullptr;
    const std::size_t n = std::strlen(s) + 1;
    char* copy = new char[n];
    std::memcpy(copy, s, n);
    return copy;
}

GDynamicClass::GDynamicClass(const GDynamicClass& other)
    : GObj(other), dllName(CopyString(other.dllName)), refCount(other.refCount)
{
    codeLibrary = AcquireLibrary(other.codeLibrary);
    library = other.library == other.codeLibrary ? codeLibrary : AcquireLibrary(other.library);
}

GDynamicClass& GDynamicClass::operator=(const GDynamicClass& other)
{
    if (this == &other)
        return *this;
    GObj::operator=(other);
    // Take the new reference before dropping the old one, so assigning
    // between instances of one library never lets it unload in between.
    void* newLibrary = other.library == codeLibrary ? codeLibrary : AcquireLibrary(other.library);
    char* newName = CopyString(other.dllName);
    void* oldLibrary = library;
    delete[] dllName;
    library = newLibrary;
    dllName = newName;
    refCount = other.refCount;
    // The code library's reference is Unload's to drop.
    if (oldLibrary != codeLibrary)
        ReleaseLibrary(oldLibrary);
    return *this;
}

GDynamicClass::~GDynamicClass()
{
    delete[] dllName;
    dllName = nullptr;
}

const char* GDynamicClass::___GetClassName() { return "GDynamicClass"; }

int GDynamicClass::GetType() { return 0; }

const char* GDynamicClass::GetName() { return ""; }

int GDynamicClass::MayBeUnload() { return 1; }

int GDynamicClass::Load(GDynamicClass** out, const char* path)
{
    if (!out)
        return 0;
    *out = nullptr;
    // A null or empty path would give the running program's own handle.
    if (!path || !*path)
        return 0;
    void* library = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (!library)
        return 0;
    void* symbol = dlsym(library, "NewInstance");
    if (!symbol) {
        dlclose(library);
        return 0;
    }
    GNewInstanceFunction factory;
    static_assert(sizeof(factory) == sizeof(symbol), "function and data pointers differ in size");
    std::memcpy(&factory, &symbol, sizeof(factory));
    GDynamicClass* instance = factory();
    if (!instance) {
        dlclose(library);
        return 0;
    }
    instance->library = library;
    instance->codeLibrary = library;
    delete[] instance->dllName;
    instance->dllName = CopyString(path);
    *out = instance;
    return 1;
}

void GDynamicClass::Unload(GDynamicClass** p)
{
    if (!p || !*p)
        return;
    GDynamicClass* instance = *p;
    void* library = instance->library;
    void* code = instance->codeLibrary;
    const int mayUnload = instance->MayBeUnload();
    // The instance's code lives in the library: delete it first.
    delete instance;
    *p = nullptr;
    if (!mayUnload)
        return;
    ReleaseLibrary(library);
    if (code != library)
        ReleaseLibrary(code);
}

int GDynamicClass::TestExists(const char* path)
{
    if (!path)
        return 0;
    return access(path, F_OK) == 0 ? 1 : 0;
}

// -------------------------------------------------------- GDummyDynamicClass

GDummyDynamicClass::GDummyDynamicClass(const char* n, const char* dll, int t) : name(CopyString(n)), type(t)
{
    dllName = CopyString(dll);
}

GDummyDynamicClass::GDummyDynamicClass(const GDummyDynamicClass& other)
    : GDynamicClass(other), name(CopyString(other.name)), type(other.type)
{
}

GDummyDynamicClass& GDummyDynamicClass::operator=(const GDummyDynamicClass& other)
{
    if (this == &other)
        return *this;
    GDynamicClass::operator=(other);
    char* newName = CopyString(other.name);
    delete[] name;
    name = newName;
    type = other.type;
    return *this;
}

GDummyDynamicClass::~GDummyDynamicClass()
{
    delete[] name;
    name = nullptr;
}

const char* GDummyDynamicClass::___GetClassName() { return "GDummyDynamicClass"; }

int GDummyDynamicClass::GetType() { return type; }

const char* GDummyDynamicClass::GetName() { return name ? name : ""; }
