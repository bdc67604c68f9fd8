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
const std::string kNoFactory = kPluginDir + "/dynclass_nofactory_plugin.so";
const std::string kNullFactory = kPluginDir + "/dynclass_nullfactory_plugin.so";
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

TEST(GDynamicResourceProvider, DestroyedListenerLeavesEveryProviderThatListsIt)
{
    Log log;
    Recorder a("A", &log), a2("A2", &log);
    auto* b = new Recorder("B", &log, &a);
    EXPECT_TRUE(a.AddListener(b)); // now listed twice on A
    EXPECT_TRUE(a2.AddListener(b));
    EXPECT_EQ(a.GetListenerCount(), 2);
    b->Clear();
    delete b;
    EXPECT_EQ(a.GetListenerCount(), 0);
    EXPECT_EQ(a2.GetListenerCount(), 0);
    Labelled y("y");
    a.AddResource(&y); // must not reach the freed listener
    a2.AddResource(&y);
    EXPECT_EQ(log, (Log{"create A(y)", "create A2(y)"}));

    // Registrations going round for ever are refused.
    Recorder c("C", &log, &a);
    EXPECT_FALSE(a.AddListener(&a));
    EXPECT_FALSE(c.AddListener(&a));
    EXPECT_FALSE(a.AddListener(nullptr));
    EXPECT_EQ(c.GetListenerCount(), 0);
    a.Clear();
    a2.Clear();

    // A listener detached from its source outlives it without reaching it.
    auto* s = new Recorder("S", &log);
    Recorder d("D", &log, s);
    s->RemoveListener(&d);
    EXPECT_EQ(d.GetSource(), nullptr);
    delete s;
}

namespace {

// Derives no resource at all (allowed), numbering what it is asked for.
class NullMaker : public GDynamicResourceProvider {
public:
    explicit NullMaker(Log* l) : log(l) {}
    GObj* CreateResourceData(GObj* object) override
    {
        log->push_back("null for " + LabelOf(object));
        return nullptr;
    }
    void DestroyResourceData(GObj* resource) override { log->push_back("destroy " + LabelOf(resource)); }
    Log* log;
};

// Numbers its resources, so that equal derivations can be told apart.
class Numbering : public Recorder {
public:
    using Recorder::Recorder;
    GObj* CreateResourceData(GObj* object) override
    {
        auto* r = new Labelled(name + std::to_string(++made) + "(" + LabelOf(object) + ")");
        log->push_back("create " + r->label);
        return r;
    }
    int made = 0;
};

} // namespace

TEST(GDynamicResourceProvider, EqualResourcesAboveStayDistinctRegistrationsBelow)
{
    Log log;
    NullMaker s(&log);
    Numbering l("L", &log, &s);
    Labelled x("x"), y("y"), never("never");
    s.AddResource(&x);
    s.AddResource(&y);
    GArrayCollection values;
    l.GetResource(&values);
    EXPECT_EQ(Labels(values), (Log{"L1(null)", "L2(null)"}));

    // An object never registered: null passed down, and nothing of L's
    // destroyed.
    log.clear();
    s.RemoveResource(&never);
    EXPECT_EQ(log, (Log{"destroy null", "destroy null"}));
    s.RemoveResource(&x);
    EXPECT_EQ(log.back(), "destroy null");
    EXPECT_EQ(log[log.size() - 2], "destroy L1(null)");
    GArrayCollection left;
    l.GetResource(&left);
    EXPECT_EQ(Labels(left), (Log{"L2(null)"}));

    // One listener of two sources that hand down the same (null) resource;
    // the first one made is found for it.
    Log log2;
    NullMaker n1(&log2), n2(&log2);
    Numbering c("C", &log2);
    n1.AddListener(&c);
    n2.AddListener(&c);
    n1.AddResource(&x);
    n2.AddResource(&x);
    EXPECT_EQ(LabelOf(c.GetResourceData(nullptr)), "C1(null)");
    n1.RemoveResource(&x);
    GArrayCollection both;
    c.GetResource(&both);
    EXPECT_EQ(Labels(both), (Log{"C2(null)"}));
    c.Clear();
    s.Clear();
}

namespace {

// A provider for the random chains: its resources live in a store the test
// owns (so a provider may be destroyed with registrations), and it logs what
// it makes and destroys. Some providers derive null resources.
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
    void DestroyResourceData(GObj* resource) override { log->push_back(name + " destroys " + LabelOf(resource)); }
    std::string name;
    bool nulls;
    Log* log;
    std::deque<Labelled>* store;
};

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
        if (from == to)
            return true;
        for (int l : provs[static_cast<size_t>(from)].listeners)
            if (Reaches(l, to))
                return true;
        return false;
    }
    int Find(int p, long key) const
    {
        const auto& regs = provs[static_cast<size_t>(p)].regs;
        for (size_t i = 0; i < regs.size(); ++i)
            if (regs[i].key == key)
                return static_cast<int>(i);
        return -1;
    }
    void Register(int p, long key, const std::string& object)
    {
        Prov& pr = provs[static_cast<size_t>(p)];
        const int old = Find(p, key);
        if (old >= 0)
            Withdraw(p, old);
        log.push_back(pr.name + " makes from " + object);
        const Reg r{key, object, pr.nulls ? "null" : pr.name + "(" + object + ")", ++serials};
        provs[static_cast<size_t>(p)].regs.push_back(r);
        const std::vector<int> ls = provs[static_cast<size_t>(p)].listeners;
        for (size_t i = ls.size(); i-- > 0;)
            Register(ls[i], r.serial, r.resource);
    }
    // `at` is the index of the registration in p, or -1 for none.
    void Withdraw(int p, int at)
    {
        Reg r{-1, "", "null", -1};
        if (at >= 0) {
            auto& regs = provs[static_cast<size_t>(p)].regs;
            r = regs[static_cast<size_t>(at)];
            regs.erase(regs.begin() + at);
        }
        const std::vector<int> ls = provs[static_cast<size_t>(p)].listeners;
        for (size_t i = ls.size(); i-- > 0;)
            Withdraw(ls[i], at >= 0 ? Find(ls[i], r.serial) : -1);
        log.push_back(provs[static_cast<size_t>(p)].name + " destroys " + r.resource);
    }
    void Clear(int p)
    {
        std::vector<long> keys;
        for (const Reg& r : provs[static_cast<size_t>(p)].regs)
            keys.push_back(r.key);
        for (long k : keys) {
            const int at = Find(p, k);
            if (at >= 0)
                Withdraw(p, at);
        }
    }
    void Destroy(int p)
    {
        for (Prov& q : provs)
            q.listeners.erase(std::remove(q.listeners.begin(), q.listeners.end(), p), q.listeners.end());
        provs[static_cast<size_t>(p)].listeners.clear();
        provs[static_cast<size_t>(p)].regs.clear();
        provs[static_cast<size_t>(p)].alive = false;
    }
};

} // namespace

TEST(GDynamicResourceProvider, RandomChainsMatchAModelInEveryDestructionOrder)
{
    // Four providers, some built on a source, others attached (also more
    // than once, also refused cycles); random registrations, removals and
    // clears; then the providers are destroyed in each of the 24 orders with
    // more operations between. Under the sanitizers this also shows that no
    // provider is reached after it is gone.
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
            const std::string name = std::string(1, static_cast<char>('A' + i));
            provs.push_back(new Chained(name, nulls, &log, &store, source >= 0 ? provs[static_cast<size_t>(source)] : nullptr));
            model.provs.push_back({name, nulls, true, {}, {}});
            if (source >= 0)
                model.provs[static_cast<size_t>(source)].listeners.push_back(i);
        }
        auto step = [&] {
            const int p = pick(rng);
            if (!model.provs[static_cast<size_t>(p)].alive)
                return;
            Chained* pr = provs[static_cast<size_t>(p)];
            const int o = objNo(rng);
            switch (op(rng)) {
            case 0: {
                const int l = pick(rng);
                if (!model.provs[static_cast<size_t>(l)].alive)
                    return;
                const bool refused = model.Reaches(l, p);
                ASSERT_EQ(pr->AddListener(provs[static_cast<size_t>(l)]), !refused);
                if (!refused)
                    model.provs[static_cast<size_t>(p)].listeners.push_back(l);
                break;
            }
            case 1: {
                const int l = pick(rng);
                if (!model.provs[static_cast<size_t>(l)].alive)
                    return;
                pr->RemoveListener(provs[static_cast<size_t>(l)]);
                auto& ls = model.provs[static_cast<size_t>(p)].listeners;
                auto it = std::find(ls.rbegin(), ls.rend(), l);
                if (it != ls.rend())
                    ls.erase(std::next(it).base());
                break;
            }
            case 2:
            case 3:
                pr->RemoveResource(&objects[static_cast<size_t>(o)]);
                model.Withdraw(p, model.Find(p, o));
                break;
            case 4:
                if (op(rng) == 0) {
                    pr->Clear();
                    model.Clear(p);
                }
                break;
            default:
                pr->AddResource(&objects[static_cast<size_t>(o)]);
                model.Register(p, o, objects[static_cast<size_t>(o)].label);
            }
            // Entry by entry, so that a failure names the first difference.
            for (size_t i = 0; i < std::min(log.size(), model.log.size()); ++i)
                ASSERT_EQ(log[i], model.log[i]) << i;
            ASSERT_EQ(log.size(), model.log.size());
            for (int q = 0; q < kProviders; ++q) {
                if (!model.provs[static_cast<size_t>(q)].alive)
                    continue;
                GArrayCollection values;
                provs[static_cast<size_t>(q)]->GetResource(&values);
                Log want;
                for (const auto& r : model.provs[static_cast<size_t>(q)].regs)
                    want.push_back(r.resource);
                ASSERT_EQ(Labels(values), want) << q;
                ASSERT_EQ(provs[static_cast<size_t>(q)]->GetListenerCount(),
                          static_cast<int>(model.provs[static_cast<size_t>(q)].listeners.size()));
            }
        };
        for (int i = 0; i < 200 && !HasFatalFailure(); ++i)
            step();
        for (int dead : order) {
            delete provs[static_cast<size_t>(dead)];
            model.Destroy(dead);
            for (int i = 0; i < 40 && !HasFatalFailure(); ++i)
                step();
        }
        if (HasFatalFailure())
            return;
    } while (std::next_permutation(order.begin(), order.end()));
}
