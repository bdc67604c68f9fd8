#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/foundation/GDynamicClass.h"
#include "Geometry/foundation/GDynamicResourceProvider.h"

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <string>
#include <vector>

namespace {

const std::string kPluginDir = G3_PLUGIN_DIR;
const std::string kSample = kPluginDir + "/dynclass_sample_plugin.so";
const std::string kNoFactory = kPluginDir + "/dynclass_nofactory_plugin.so";
const std::string kNullFactory = kPluginDir + "/dynclass_nullfactory_plugin.so";

// Whether the process still has the library mapped (the probe takes no
// lasting reference).
bool IsMapped(const std::string& path)
{
    void* h = path.empty() ? nullptr : dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (!h)
        return false;
    dlclose(h);
    return true;
}

} // namespace

TEST(GDynamicClass, PluginIsLoadedUsedAndUnloadedOnceNothingHoldsIt)
{
    ASSERT_EQ(GDynamicClass::TestExists(kSample.c_str()), 1) << "plug-in not built: " << kSample;
    EXPECT_EQ(GDynamicClass::TestExists((kPluginDir + "/missing.so").c_str()), 0);
    GDynamicClass* p = nullptr;
    ASSERT_EQ(GDynamicClass::Load(&p, kSample.c_str()), 1);
    ASSERT_NE(p, nullptr);
    EXPECT_STREQ(p->___GetClassName(), "SamplePlugin"); // made by the library's factory
    EXPECT_EQ(p->IsLoaded(), 1);
    EXPECT_STREQ(p->GetDllName(), kSample.c_str());
    EXPECT_TRUE(IsMapped(kSample));
    GDynamicClass::Unload(&p);
    EXPECT_EQ(p, nullptr);
    EXPECT_FALSE(IsMapped(kSample));

    // The library stays while the instance refuses unloading.
    ASSERT_EQ(GDynamicClass::Load(&p, kSample.c_str()), 1);
    void* library = p->GetLibrary();
    p->AddRef(); // the sample refuses unloading while referenced
    GDynamicClass::Unload(&p);
    EXPECT_TRUE(IsMapped(kSample));
    dlclose(library);
    EXPECT_FALSE(IsMapped(kSample));

    // A copy holds a reference of its own and a name of its own.
    ASSERT_EQ(GDynamicClass::Load(&p, kSample.c_str()), 1);
    GDynamicClass* copy = new GDynamicClass(*p);
    EXPECT_EQ(copy->GetLibrary(), p->GetLibrary());
    EXPECT_NE(copy->GetDllName(), p->GetDllName());
    EXPECT_STREQ(copy->GetDllName(), p->GetDllName());
    GDynamicClass::Unload(&p);
    EXPECT_TRUE(IsMapped(kSample));
    GDynamicClass::Unload(&copy);
    EXPECT_FALSE(IsMapped(kSample));
}

TEST(GDynamicClass, FailedLoadsLeaveNothingLoaded)
{
    GDynamicClass stale;
    for (const std::string& path : {kNoFactory, kNullFactory, kPluginDir + "/missing.so", std::string()}) {
        GDynamicClass* p = &stale;
        EXPECT_EQ(GDynamicClass::Load(&p, path.c_str()), 0) << path;
        EXPECT_EQ(p, nullptr);
        EXPECT_FALSE(IsMapped(path)) << path;
    }
    GDynamicClass* p = &stale;
    EXPECT_EQ(GDynamicClass::Load(&p, nullptr), 0);
    EXPECT_EQ(p, nullptr);
    EXPECT_EQ(GDynamicClass::Load(nullptr, kSample.c_str()), 0);
    EXPECT_FALSE(IsMapped(kSample));
}

TEST(GDynamicClass, DummyStandsInWithoutALibrary)
{
    auto* d = new GDummyDynamicClass("gutter", "/plugins/gutter.so", 3);
    EXPECT_STREQ(d->___GetClassName(), "GDummyDynamicClass");
    EXPECT_EQ(d->IsLoaded(), 0);
    d->Release();
    d->Release(); // releasing never deletes a dummy
    EXPECT_EQ(d->RefCount(), -2);
    GDummyDynamicClass copy("x", nullptr, 0);
    copy = *d;
    GDynamicClass* p = d;
    GDynamicClass::Unload(&p);
    EXPECT_EQ(p, nullptr);
    EXPECT_STREQ(copy.GetName(), "gutter");
    EXPECT_STREQ(copy.GetDllName(), "/plugins/gutter.so");
    EXPECT_EQ(copy.GetType(), 3);
}

// ------------------------------------------------------ resource providers

namespace {

using Log = std::vector<std::string>;

struct Labelled : GObj {
    explicit Labelled(std::string l) : label(std::move(l)) {}
    std::string label;
};

std::string LabelOf(GObj* o) { return o ? static_cast<Labelled*>(o)->label : "null"; }

// Makes "<name>(<label of the object>)" and logs what it creates and destroys.
class Recorder : public GDynamicResourceProvider {
public:
    Recorder(std::string n, Log* l, GDynamicResourceProvider* source = nullptr)
        : GDynamicResourceProvider(source), name(std::move(n)), log(l)
    {
    }
    GObj* CreateResourceData(GObj* object) override
    {
        auto* r = new Labelled(name + "(" + LabelOf(object) + ")");
        log->push_back("create " + r->label);
        return r;
    }
    void DestroyResourceData(GObj* resource) override
    {
        log->push_back("destroy " + LabelOf(resource));
        delete resource;
    }
    std::string name;
    Log* log;
};

Log Labels(GArrayCollection& c)
{
    Log out;
    for (int i = 0; i < c.size(); ++i)
        out.push_back(LabelOf(c.get(i)));
    return out;
}

} // namespace

TEST(GDynamicResourceProvider, ChainCreatesDownwardsAndDestroysUpwards)
{
    Log log;
    Recorder a("A", &log);
    Recorder b("B", &log, &a);
    Recorder c("C", &log, &b);
    Labelled x("x");
    a.AddResource(&x);
    a.RemoveResource(&x);
    EXPECT_TRUE(c.IsEmpty());
    // An object never registered yields a null resource, passed on all the same.
    a.RemoveResource(&x);
    EXPECT_EQ(log, (Log{"create A(x)", "create B(A(x))", "create C(B(A(x)))", "destroy C(B(A(x)))",
                        "destroy B(A(x))", "destroy A(x)", "destroy null", "destroy null", "destroy null"}));
}

TEST(GDynamicResourceProvider, ListenersLastFirstAndRegistrationOrderKept)
{
    Log log;
    Recorder a("A", &log);
    Recorder b1("B1", &log, &a);
    Recorder b2("B2", &log, &a);
    Labelled x("x"), y("y"), z("z");
    a.AddResource(&z);
    a.AddResource(&x);
    a.AddResource(&y);
    EXPECT_EQ(log[1], "create B2(A(z))");  // the last listener added hears first

    GArrayCollection keys, values;
    a.GetResource(&keys, &values);
    EXPECT_EQ(Labels(keys), (Log{"z", "x", "y"}));
    EXPECT_EQ(Labels(values), (Log{"A(z)", "A(x)", "A(y)"}));

    // Registering x again replaces its chain instead of losing the old one.
    log.clear();
    a.AddResource(&x);
    EXPECT_EQ(log, (Log{"destroy B2(A(x))", "destroy B1(A(x))", "destroy A(x)", "create A(x)", "create B2(A(x))",
                        "create B1(A(x))"}));
    GArrayCollection after;
    b1.GetResource(&after);
    EXPECT_EQ(Labels(after), (Log{"B1(A(z))", "B1(A(y))", "B1(A(x))"}));

    log.clear();
    a.Clear();
    EXPECT_EQ(log.size(), 9u);
    EXPECT_EQ(log[0], "destroy B2(A(z))");
    EXPECT_EQ(log[8], "destroy A(x)");
    EXPECT_TRUE(b2.IsEmpty());
}

TEST(GDynamicResourceProvider, SetResourceDataTellsNoListenerAndDetachingIsSafe)
{
    Log log;
    auto* a = new Recorder("A", &log);
    auto* b = new Recorder("B", &log, a);
    Labelled x("x"), r("r");
    a->SetResourceData(&x, &r);
    EXPECT_TRUE(log.empty());
    EXPECT_TRUE(b->IsEmpty());
    EXPECT_EQ(a->GetResourceData(&x), &r);
    // The source goes first: the listener is detached, not left pointing at it.
    delete a;
    EXPECT_EQ(b->GetSource(), nullptr);
    delete b;
}
