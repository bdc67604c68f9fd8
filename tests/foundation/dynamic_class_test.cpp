#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/foundation/GDynamicClass.h"
#include "Geometry/foundation/GDynamicResourceProvider.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <dlfcn.h>
#include <numeric>
#include <random>
#include <string>
#include <vector>

namespace {

const std::string kPluginDir = G3_PLUGIN_DIR;
const std::string kSample = kPluginDir + "/dynclass_sample_plugin.so";
const std::string kOther = kPluginDir + "/dynclass_other_plugin.so";

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
    EXPECT_STREQ(p->___GetClassName(), "SamplePlugin"); // made by the library's factory
    EXPECT_EQ(p->IsLoaded(), 1);
    EXPECT_STREQ(p->GetDllName(), kSample.c_str());
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
}

TEST(GDynamicClass, FailedLoadsLeaveNothingLoadedAndDummiesStandIn)
{
    // No factory, a factory that makes nothing, no library, no name (an
    // empty one would open the program itself).
    GDynamicClass stale;
    const std::string bad[] = {kPluginDir + "/dynclass_nofactory_plugin.so",
                               kPluginDir + "/dynclass_nullfactory_plugin.so", kPluginDir + "/missing.so",
                               ""};
    for (const std::string& path : bad) {
        GDynamicClass* p = &stale;
        EXPECT_EQ(GDynamicClass::Load(&p, path.c_str()), 0) << path;
        EXPECT_EQ(p, nullptr);
        EXPECT_FALSE(IsMapped(path)) << path;
    }
    EXPECT_EQ(GDynamicClass::Load(nullptr, kSample.c_str()), 0);
    EXPECT_FALSE(IsMapped(kSample));

    // Releasing never deletes a dummy; a copy keeps its own fields.
    auto* d = new GDummyDynamicClass("gutter", "/plugins/gutter.so", 3);
    d->Release();
    GDummyDynamicClass copy("x", nullptr, 0);
    copy = *d;
    GDynamicClass* p = d;
    GDynamicClass::Unload(&p);
    EXPECT_STREQ(copy.GetName(), "gutter");
    EXPECT_STREQ(copy.GetDllName(), "/plugins/gutter.so");
    EXPECT_EQ(copy.GetType(), 3);
}

TEST(GDynamicClass, AssignmentKeepsEveryObjectsOwnCodeLoaded)
{
    // A dummy assigned over a loaded instance: the instance still runs the
    // library's code, so the library stays until the instance is unloaded.
    GDynamicClass* p = nullptr;
    ASSERT_EQ(GDynamicClass::Load(&p, kSample.c_str()), 1);
    *p = GDummyDynamicClass("gutter", "/plugins/gutter.so", 3);
    ASSERT_TRUE(IsMapped(kSample)); // else the calls below run unmapped code
    EXPECT_EQ(p->GetType(), 7);
    EXPECT_EQ(p->GetLibrary(), nullptr);
    EXPECT_STREQ(p->GetDllName(), "/plugins/gutter.so");
    GDynamicClass::Unload(&p);
    EXPECT_FALSE(IsMapped(kSample));

    // Between objects of two libraries, with a copy: each library goes with
    // the last object that came from it or holds it.
    GDynamicClass *a = nullptr, *b = nullptr;
    ASSERT_EQ(GDynamicClass::Load(&a, kSample.c_str()), 1);
    ASSERT_EQ(GDynamicClass::Load(&b, kOther.c_str()), 1);
    *a = *b;
    EXPECT_EQ(a->GetLibrary(), b->GetLibrary());
    EXPECT_STREQ(a->___GetClassName(), "SamplePlugin");
    GDynamicClass* copy = new GDynamicClass(*a);
    GDynamicClass::Unload(&b);
    GDynamicClass::Unload(&a);
    EXPECT_TRUE(IsMapped(kSample) && IsMapped(kOther));
    *copy = GDynamicClass(); // drops its hold on the other library, not on its own
    EXPECT_FALSE(IsMapped(kOther));
    EXPECT_TRUE(IsMapped(kSample));
    GDynamicClass::Unload(&copy);
    EXPECT_FALSE(IsMapped(kSample));

    // Assigning an object of the same library, and to itself, changes no count.
    ASSERT_EQ(GDynamicClass::Load(&a, kSample.c_str()), 1);
    ASSERT_EQ(GDynamicClass::Load(&b, kSample.c_str()), 1);
    *a = *b;
    *a = *a;
    GDynamicClass::Unload(&b);
    EXPECT_TRUE(IsMapped(kSample));
    GDynamicClass::Unload(&a);
    EXPECT_FALSE(IsMapped(kSample));
}

// ------------------------------------------------------ resource providers

namespace {

using Log = std::vector<std::string>;

struct Labelled : GObj {
    explicit Labelled(std::string l) : label(std::move(l)) {}
    std::string label;
};

std::string LabelOf(GObj* o) { return o ? static_cast<Labelled*>(o)->label : "null"; }

// A provider whose resources live in a store the test owns (so that a
// provider may be destroyed with registrations), logging what it makes and
// destroys; some make null resources.
class Chained : public GDynamicResourceProvider {
public:
    Chained(std::string n, bool makesNull, Log* l, std::deque<Labelled>* s, GDynamicResourceProvider* source)
        : GDynamicResourceProvider(source), name(std::move(n)), nulls(makesNull), log(l), store(s)
    {
    }
    GObj* CreateResourceData(GObj* object) override
    {
        log->push_back(name + " makes from " + LabelOf(object));
        if (nulls)
            return nullptr;
        store->emplace_back(name + "(" + LabelOf(object) + ")");
        return &store->back();
    }
    void DestroyResourceData(GObj* resource) override
    {
        log->push_back(name + " destroys " + LabelOf(resource));
    }
    std::string name;
    bool nulls;
    Log* log;
    std::deque<Labelled>* store;
};

} // namespace

TEST(GDynamicResourceProvider, DirectRecordsDetachingAndRefusedListeners)
{
    Log log;
    std::deque<Labelled> store;
    auto* a = new Chained("A", false, &log, &store, nullptr);
    auto* b = new Chained("B", false, &log, &store, a);
    Labelled x("x"), r("r");
    a->SetResourceData(&x, &r); // tells no listener
    EXPECT_TRUE(log.empty() && b->IsEmpty());
    EXPECT_EQ(a->GetResourceData(&x), &r);
    EXPECT_FALSE(a->AddListener(nullptr) || a->AddListener(a) || b->AddListener(a));
    // The source goes first: the listener is detached, not left pointing at it.
    delete a;
    EXPECT_EQ(b->GetSource(), nullptr);
    // A listener removed from its source's list outlives it without reaching it.
    auto* s = new Chained("S", false, &log, &store, nullptr);
    Chained d("D", false, &log, &store, s);
    s->RemoveListener(&d);
    EXPECT_EQ(d.GetSource(), nullptr);
    delete s;
    delete b;

    // One listener of two sources that hand down the same (null) resource:
    // the first one made is found for it, and each goes with its own source
    // registration.
    Chained n1("N1", true, &log, &store, nullptr), n2("N2", true, &log, &store, nullptr);
    Chained c("C", false, &log, &store, &n1);
    ASSERT_TRUE(n2.AddListener(&c));
    n1.AddResource(&x);
    n2.AddResource(&r);
    EXPECT_EQ(c.GetResourceData(nullptr), &store[0]); // "C(null)"
    n1.RemoveResource(&x);
    EXPECT_EQ(c.GetResourceData(nullptr), &store[1]);
    n2.Clear();
    EXPECT_TRUE(c.IsEmpty());

    // Clear withdraws what a destruction registers on the way: its resource
    // and the listener's record of it go too (they were dropped unmade and
    // the listener kept a record nothing could reach).
    struct Registering : Chained {
        using Chained::Chained;
        GObj* late = nullptr;
        void DestroyResourceData(GObj* resource) override
        {
            Chained::DestroyResourceData(resource);
            if (GObj* o = late) {
                late = nullptr;
                AddResource(o);
            }
        }
    };
    Labelled y("y");
    Registering g("G", false, &log, &store, nullptr);
    Chained h("H", false, &log, &store, &g);
    g.AddResource(&x);
    g.late = &y;
    log.clear();
    g.Clear();
    EXPECT_TRUE(g.IsEmpty() && h.IsEmpty());
    EXPECT_NE(std::find(log.begin(), log.end(), "H destroys H(G(y))"), log.end());
    EXPECT_NE(std::find(log.begin(), log.end(), "G destroys G(y)"), log.end());
}

namespace {

// The same rules over std containers: registrations keyed by the object
// (ids below 100) or by the source's registration (its serial number).
struct ChainModel {
    struct Reg {
        long key;
        std::string object, resource;
        long serial;
    };
    struct Prov {
        std::string name;
        bool nulls = false, alive = true;
        std::vector<int> listeners;
        std::vector<Reg> regs;
    };
    std::vector<Prov> provs;
    Log log;
    long serials = 100;

    bool Reaches(int from, int to) const
    {
        const auto& ls = provs[from].listeners;
        return from == to || std::any_of(ls.begin(), ls.end(), [&](int l) { return Reaches(l, to); });
    }
    int Find(int p, long key) const
    {
        const auto& regs = provs[p].regs;
        const auto it = std::find_if(regs.begin(), regs.end(), [key](const Reg& r) { return r.key == key; });
        return it == regs.end() ? -1 : static_cast<int>(it - regs.begin());
    }
    void Register(int p, long key, const std::string& object)
    {
        const int old = Find(p, key);
        if (old >= 0)
            Withdraw(p, old);
        log.push_back(provs[p].name + " makes from " + object);
        const Reg r{key, object, provs[p].nulls ? "null" : provs[p].name + "(" + object + ")", ++serials};
        provs[p].regs.push_back(r);
        const std::vector<int> ls = provs[p].listeners;
        for (size_t i = ls.size(); i-- > 0;)
            Register(ls[i], r.serial, r.resource);
    }
    // `at` is the index of the registration in p, or -1 for none.
    void Withdraw(int p, int at)
    {
        Reg r{-1, "", "null", -1};
        if (at >= 0) {
            r = provs[p].regs[at];
            provs[p].regs.erase(provs[p].regs.begin() + at);
        }
        const std::vector<int> ls = provs[p].listeners;
        for (size_t i = ls.size(); i-- > 0;)
            Withdraw(ls[i], at >= 0 ? Find(ls[i], r.serial) : -1);
        log.push_back(provs[p].name + " destroys " + r.resource);
    }
    void Clear(int p)
    {
        while (!provs[p].regs.empty())
            Withdraw(p, 0);
    }
    void Destroy(int p)
    {
        for (Prov& q : provs)
            q.listeners.erase(std::remove(q.listeners.begin(), q.listeners.end(), p), q.listeners.end());
        provs[p].listeners.clear();
        provs[p].regs.clear();
        provs[p].alive = false;
    }
};

} // namespace

TEST(GDynamicResourceProvider, RandomChainsMatchAModelInEveryDestructionOrder)
{
    // Four providers, some built on a source, others attached (also more
    // than once, also refused cycles), some making null resources; random
    // registrations (also again), removals (also of objects never
    // registered) and clears; then the providers are destroyed in each of
    // the 24 orders with more operations between. The model says what is
    // made and destroyed in which order, and what each provider holds. Under
    // the sanitizers this also shows that no provider is reached after it
    // is gone.
    constexpr int kProviders = 4;
    std::vector<int> order(kProviders);
    std::iota(order.begin(), order.end(), 0);
    int permutation = 0;
    do {
        SCOPED_TRACE(permutation);
        std::mt19937 rng(500 + static_cast<unsigned>(permutation++));
        std::uniform_int_distribution<int> pick(0, kProviders - 1), op(0, 9), objNo(0, 5);
        Log log;
        std::deque<Labelled> store;
        std::vector<Labelled> objects;
        for (int i = 0; i < 6; ++i)
            objects.emplace_back("x" + std::to_string(i));
        ChainModel model;
        std::vector<Chained*> provs;
        for (int i = 0; i < kProviders; ++i) {
            const int source = i > 0 && op(rng) < 6 ? std::uniform_int_distribution<int>(0, i - 1)(rng) : -1;
            const bool nulls = op(rng) < 3;
            const std::string name(1, static_cast<char>('A' + i));
            provs.push_back(new Chained(name, nulls, &log, &store, source >= 0 ? provs[source] : nullptr));
            model.provs.push_back({name, nulls, true, {}, {}});
            if (source >= 0)
                model.provs[source].listeners.push_back(i);
        }
        auto step = [&] {
            const int p = pick(rng), l = pick(rng), o = objNo(rng), what = op(rng);
            if (!model.provs[p].alive || (what <= 1 && !model.provs[l].alive))
                return;
            Chained* pr = provs[p];
            if (what == 0) {
                const bool refused = model.Reaches(l, p);
                ASSERT_EQ(pr->AddListener(provs[l]), !refused);
                if (!refused)
                    model.provs[p].listeners.push_back(l);
            } else if (what == 1) {
                pr->RemoveListener(provs[l]);
                auto& ls = model.provs[p].listeners;
                auto it = std::find(ls.rbegin(), ls.rend(), l);
                if (it != ls.rend())
                    ls.erase(std::next(it).base());
            } else if (what <= 3) {
                pr->RemoveResource(&objects[o]);
                model.Withdraw(p, model.Find(p, o));
            } else if (what == 4 && l == 0) {
                pr->Clear();
                model.Clear(p);
            } else if (what > 4) {
                pr->AddResource(&objects[o]);
                model.Register(p, o, objects[o].label);
            }
            ASSERT_EQ(log, model.log);
            for (int q = 0; q < kProviders; ++q) {
                if (!model.provs[q].alive)
                    continue;
                // What each provider holds, in order: "object=resource".
                GArrayCollection keys, values;
                provs[q]->GetResource(&keys, &values);
                ASSERT_EQ(keys.size(), values.size());
                Log got, want;
                for (int k = 0; k < keys.size(); ++k)
                    got.push_back(LabelOf(keys.get(k)) + "=" + LabelOf(values.get(k)));
                for (const auto& r : model.provs[q].regs)
                    want.push_back(r.object + "=" + r.resource);
                ASSERT_EQ(got, want) << q;
                ASSERT_EQ(provs[q]->GetListenerCount(), static_cast<int>(model.provs[q].listeners.size()));
            }
        };
        for (int i = 0; i < 200 && !HasFatalFailure(); ++i)
            step();
        for (int dead : order) {
            delete provs[dead];
            model.Destroy(dead);
            for (int i = 0; i < 40 && !HasFatalFailure(); ++i)
                step();
        }
        if (HasFatalFailure())
            return;
    } while (std::next_permutation(order.begin(), order.end()));
}
