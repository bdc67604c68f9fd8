// Extended data: shared key maps and their reference counts, the key
// registry (its exceptions and its order), plane division and merging of
// maps; object providers creating, copying, transforming and releasing
// outside records.

#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/mesh/CDispatchExDataProvider.h"
#include "Geometry/mesh/CExData.h"
#include "Geometry/mesh/CExDataException.h"
#include "Geometry/mesh/G3ExDataProvider.h"
#include "Geometry/mesh/G3Obj.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

void* V(long n) { return reinterpret_cast<void*>(n); }

const char* kSect = "ZUNO_ROOF_SECT_ID";
const char* kPlane = "ZUNO_ROOF_PLANE_INDEX";
const char* kMaterial = "ZUNO_G3FACE_MATERIAL_INDEX";

CDispatchExDataProvider* Registry() { return CDispatchExDataProvider::GetDispatchProvider(); }

// A key provider whose division result is scripted per value. The registry
// keeps the providers it is given to process exit, so tests use static ones.
struct ScriptedKeyProvider : IGeometryExDataProvider {
    void* from = nullptr;
    void* to = nullptr;
    void Free(void*) override {}
    void* GetIdByPlaneDivide(void* value, const G3Surface*, const double*) override
    {
        return value == from ? to : value;
    }
    void* GetIdByMergeFacets(void* a, void*) override { return a; }
};

} // namespace

TEST(CExDataTest, CopiesShareOneCountedMap)
{
    CExData a;
    a.Add(kMaterial, V(7));
    {
        CExData b(a), c;
        c = b;
        EXPECT_EQ(a.GetMap()->GetRefCount(), 3);
        // A change through one holder is seen by all.
        c.Add(kSect, V(3));
        b.Remove(kMaterial);
        EXPECT_TRUE(a.GetData(kSect) == V(3) && a.GetData(kMaterial) == nullptr);
        CExData& alias = c;
        c = alias; // self-assignment keeps the reference
    }
    EXPECT_EQ(a.GetMap()->GetRefCount(), 1);

    // Assigning a map pointer takes a reference; null lets go.
    CExData d;
    d = a.GetMap();
    EXPECT_EQ(a.GetMap()->GetRefCount(), 2);
    d = static_cast<const CExDataProvider*>(nullptr);
    EXPECT_TRUE(d.IsEmpty() && a.GetMap()->GetRefCount() == 1);

    // G3Obj copies (construction, assignment, Copy) share the map too.
    G3Obj o;
    o.GetExtendedData().Add(kMaterial, V(4));
    G3Obj p(o), q, r;
    q = o;
    r.Copy(&o);
    r.GetExtendedData().Add(kSect, V(8));
    EXPECT_EQ(o.GetExtendedData().GetData(kSect), V(8));
    EXPECT_EQ(o.GetExtendedData().GetMap()->GetRefCount(), 4);
}

TEST(CExDataTest, AddRemoveGetDataAndBadKeys)
{
    CExData d;
    d.Add(kPlane, nullptr);
    EXPECT_TRUE(d.IsEmpty()) << "a null value adds nothing";
    d.Add(kPlane, V(1)).Add(kPlane, V(2));
    EXPECT_TRUE(d.GetData(kPlane) == V(2) && d.GetMap()->GetCount() == 1);
    d.RemoveAll();
    EXPECT_EQ(d.GetData(kPlane), V(2)) << "RemoveAll leaves shared data alone";
    d.Remove(kPlane).Remove("never-added-key-for-remove");
    EXPECT_EQ(d.GetData(kPlane), nullptr);
    EXPECT_FALSE(d.IsEmpty()) << "the emptied map stays referenced";

    // Without data, no lookup happens: the key is not registered and a bad
    // key does not raise. With data, an unknown key is registered on the spot.
    static int run = 0; // fresh key names when tests are repeated
    const std::string fresh = "unregistered-key-" + std::to_string(++run);
    const int before = Registry()->GetKeyCount();
    CExData empty;
    EXPECT_TRUE(empty.GetData(fresh.c_str()) == nullptr && empty.GetData(nullptr) == nullptr);
    EXPECT_EQ(Registry()->FindKeyProvider(fresh.c_str()), nullptr);
    EXPECT_EQ(d.GetData(fresh.c_str()), nullptr);
    EXPECT_EQ(Registry()->GetKeyCount(), before + 1);

    // A bad key raises the kernel's exception and leaves no map; with data,
    // a lookup checks the key too.
    try {
        empty.Add(nullptr, V(1));
        ADD_FAILURE() << "no exception";
    } catch (const CExDataException& e) {
        EXPECT_STREQ(e.what(), "incorret key");
    }
    EXPECT_TRUE(empty.IsEmpty());
    EXPECT_THROW(d.GetData(""), CExDataException);
}

TEST(CDispatchExDataProviderTest, KeysAndEntriesFollowRegistrationOrder)
{
    IGeometryExDataProvider* sect = Registry()->FindKeyProvider(kSect);
    IGeometryExDataProvider* plane = Registry()->FindKeyProvider(kPlane);
    ASSERT_TRUE(sect && plane);

    // A registered key keeps its provider; a caller's provider is used for a
    // new key, and one provider may serve several keys (one entry per map).
    static ScriptedKeyProvider mine;
    EXPECT_EQ(Registry()->RegisterKey(kSect, &mine), sect);
    EXPECT_EQ(Registry()->RegisterKey("shared-provider-key-1", &mine), &mine);
    EXPECT_EQ(Registry()->RegisterKey("shared-provider-key-2", &mine), &mine);
    CExData d;
    d.Add("shared-provider-key-1", V(1)).Add("shared-provider-key-2", V(2));
    EXPECT_TRUE(d.GetMap()->GetCount() == 1 && d.GetData("shared-provider-key-1") == V(2));

    // Entries are ordered by registration, not by address: providers at
    // increasing addresses registered in decreasing address order.
    static ScriptedKeyProvider p[3];
    Registry()->RegisterKey("order-key-c", &p[2]);
    Registry()->RegisterKey("order-key-b", &p[1]);
    Registry()->RegisterKey("order-key-a", &p[0]);
    CExData e;
    e.Add("order-key-a", V(1)).Add(kPlane, V(2)).Add("order-key-c", V(3)).Add("order-key-b", V(4));
    ASSERT_EQ(e.GetMap()->GetCount(), 4);
    const std::vector<IGeometryExDataProvider*> order = {plane, &p[2], &p[1], &p[0]};
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(e.GetMap()->GetProviderAt(i), order[i]) << i;
}

TEST(CExDataTest, PlaneDivideAndMergeShareTheMapUnlessAValueChanges)
{
    const double plane[4] = {1, 0, 0, -2};
    CExData src, out, none;
    out.Add(kSect, V(9)); // replaced, not merged
    src.Add(kSect, V(1)).Add(kMaterial, V(5));
    src.NewIdsByPlaneDivide(out, nullptr, plane);
    EXPECT_EQ(out.GetMap(), src.GetMap());
    none.NewIdsByPlaneDivide(out, nullptr, plane);
    EXPECT_TRUE(out.IsEmpty());

    static ScriptedKeyProvider first, last;
    first = last = ScriptedKeyProvider();
    Registry()->RegisterKey("divide-key-first", &first);
    Registry()->RegisterKey("divide-key-last", &last);
    CExData three;
    three.Add(kMaterial, V(5)).Add("divide-key-first", V(10)).Add("divide-key-last", V(20));
    // A later entry changes: the earlier unchanged ones are copied too.
    last.from = V(20);
    last.to = V(21);
    three.NewIdsByPlaneDivide(out, nullptr, plane);
    ASSERT_NE(out.GetMap(), three.GetMap());
    EXPECT_TRUE(out.GetData(kMaterial) == V(5) && out.GetData("divide-key-first") == V(10));
    EXPECT_EQ(out.GetData("divide-key-last"), V(21));
    EXPECT_EQ(three.GetData("divide-key-last"), V(20)) << "the source map is untouched";
    // A null result drops the entry; if every value vanishes, no map.
    last.to = nullptr;
    three.NewIdsByPlaneDivide(out, nullptr, plane);
    EXPECT_TRUE(out.GetMap()->GetCount() == 2 && out.GetData("divide-key-last") == nullptr);
    CExData lone;
    lone.Add("divide-key-last", V(20));
    lone.NewIdsByPlaneDivide(out, nullptr, plane);
    EXPECT_TRUE(out.IsEmpty());
    // Changing the first entry, into the source itself.
    CExData head;
    head.Add("divide-key-first", V(10)).Add("divide-key-last", V(30));
    first.from = V(10);
    first.to = V(11);
    head.NewIdsByPlaneDivide(head, nullptr, plane);
    EXPECT_TRUE(head.GetData("divide-key-first") == V(11) && head.GetData("divide-key-last") == V(30));

    // Merging: same map or one side empty shares the map; different maps
    // refuse; merging into an operand keeps its data alive.
    CExData a, b, empty;
    a.Add(kSect, V(1));
    b.Add(kSect, V(1)); // equal contents, different map
    CExData a2(a);
    EXPECT_TRUE(out.MergeIds(a, a2) && out.GetMap() == a.GetMap());
    EXPECT_TRUE(!out.MergeIds(a, b) && out.IsEmpty());
    EXPECT_TRUE(out.MergeIds(empty, b) && out.GetMap() == b.GetMap());
    EXPECT_TRUE(a2.MergeIds(a2, empty) && a2.GetData(kSect) == V(1));
}

// ------------------------------------------------------------ object providers

namespace {

// Records are heap ints; a transformation adds the matrix's x translation.
// Releases are logged.
struct LoggingProvider : G3ExDataProvider {
    LoggingProvider(std::string name, std::vector<std::string>* log) : name(std::move(name)), log(log) {}
    void ReleaseRecord(void* record) override
    {
        log->push_back(name);
        ++released;
        delete static_cast<int*>(record);
    }
    void OpenRecord(G3Obj* object) override { object->SetOutExData(this, new int(current)); }
    void SetSource(G3Obj* source) override
    {
        const int* r = source ? static_cast<int*>(source->GetOutExData(this)) : nullptr;
        current = r ? *r : 0;
    }
    void TransformRecord(G3Obj* object, double m[4][4]) override
    {
        if (int* r = static_cast<int*>(object->GetOutExData(this)))
            *r += static_cast<int>(m[3][0]);
    }
    void CopyRecord(G3Obj* destination, G3Obj* source) override
    {
        const int value = *static_cast<int*>(source->GetOutExData(this));
        destination->RemoveExData(this);
        destination->SetOutExData(this, new int(value));
    }
    std::string name;
    std::vector<std::string>* log;
    int current = 0;
    int released = 0;
};

int Record(const G3Obj& o, const G3ExDataProvider* p)
{
    const int* r = static_cast<const int*>(o.GetOutExData(p));
    return r ? *r : -1;
}

// Registers providers for one test and takes them off the process-wide list
// afterwards.
class ObjectProviderTest : public ::testing::Test {
protected:
    LoggingProvider* Make(const char* name)
    {
        providers.push_back(std::make_unique<LoggingProvider>(name, &log));
        G3Obj::AddProvider(providers.back().get());
        return providers.back().get();
    }
    void TearDown() override
    {
        for (auto& p : providers)
            G3Obj::RemoveExDataProvider(p.get());
    }
    std::vector<std::string> log;
    std::vector<std::unique_ptr<LoggingProvider>> providers;
};

} // namespace

TEST_F(ObjectProviderTest, CreationCopyTransformAndDestruction)
{
    LoggingProvider* a = Make("a");
    LoggingProvider* b = Make("b");
    a->current = 5;
    b->current = 6;
    auto obj = std::make_unique<G3Obj>();
    obj->LockExDataProvider();
    obj->ProviderOpenExData(obj.get());
    EXPECT_FALSE(obj->IsOutExDataExist()) << "a locked object opens nothing";
    obj->UnLockExDataProvider();
    obj->ProviderOpenExData(obj.get());
    EXPECT_EQ(Record(*obj, a) * 10 + Record(*obj, b), 56);

    // Transformation reaches every provider.
    double m[4][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {10, 0, 0, 1}};
    G3Obj::ProviderTransformExData(obj.get(), m);
    EXPECT_EQ(Record(*obj, a), 15);

    // A copy made the way shells copy entities: providers take the source's
    // record as their current values while the copy is opened.
    G3Obj::ProviderSetExData(obj.get());
    auto copy = std::make_unique<G3Obj>(*obj);
    EXPECT_FALSE(copy->IsOutExDataExist()) << "a copy never shares the source's store";
    copy->ProviderOpenExData(copy.get());
    G3Obj::ProviderSetExData(nullptr);
    EXPECT_EQ(Record(*copy, a), 15);

    G3Obj other;
    other.CopyExData(obj.get());
    EXPECT_EQ(Record(other, b), 16);
    obj->CopyExData(obj.get()); // copying onto itself is harmless
    EXPECT_EQ(Record(*obj, a), 15);
    G3Obj assigned;
    assigned = *obj;
    EXPECT_FALSE(assigned.IsOutExDataExist()) << "assignment keeps the object's own store";

    log.clear();
    obj.reset();
    EXPECT_EQ(log, (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(Record(*copy, a), 15) << "the copy's records are its own";
}

TEST_F(ObjectProviderTest, ReleasingRecordsAndProviders)
{
    const long base = G3Obj::GetProviderList()->size();
    LoggingProvider* a = Make("a");
    LoggingProvider* b = Make("b");
    LoggingProvider* c = Make("c");
    G3Obj obj;
    obj.ProviderOpenExData(&obj);
    obj.RemoveExData(a);
    obj.RemoveExData(a);
    EXPECT_TRUE(a->released == 1 && obj.GetOutExData(a) == nullptr);
    obj.RemoveExData();
    obj.RemoveExData();
    EXPECT_EQ(b->released, 1) << "a record is released once";

    // The last provider takes a removed one's place; a record stored by a
    // provider taken off the list is still released with its object.
    {
        G3Obj late;
        late.ProviderOpenExData(&late);
        EXPECT_TRUE(G3Obj::RemoveExDataProvider(a));
        EXPECT_FALSE(G3Obj::RemoveExDataProvider(a));
        EXPECT_TRUE(G3Obj::GetProviderId(c) == base && G3Obj::GetProviderId(a) == -1);
        EXPECT_TRUE(G3Obj::GetProvider(base + 1) == b && G3Obj::GetProvider(base + 2) == nullptr);
    }
    EXPECT_EQ(a->released, 2);
}
