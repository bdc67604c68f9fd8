#pragma once
// Base of every mesh entity: an id, a flags word whose high bits are marks
// that passes set and clear, a scratch link to a pass's working record, and
// the hooks of the extended-data layer.

#include "Geometry/foundation/GObj.h"
#include "Geometry/mesh/CExData.h"

class GArrayCollection;
class G3ExDataProvider;
class G3OutExData;

class G3Obj : public GObj {
public:
    // Flag bits owned by G3Obj; subclasses use the low bits of the word.
    enum : long {
        FLAG_MARK4 = 0x00800000L,
        FLAG_MARK3 = 0x01000000L,
        FLAG_MARK2 = 0x04000000L,
        FLAG_MARK = 0x08000000L,
        FLAG_SELECTED = 0x10000000L,
    };

    G3Obj() : G3Obj(0) {}
    explicit G3Obj(unsigned long tag);
    // A copy takes tag, id, flags, the scratch link, the (shared) extended
    // data and the provider lock. It never shares the source's outside data
    // store: that store belongs to one object and is deleted with it, so a
    // copy starts without one and an assigned object keeps its own.
    G3Obj(const G3Obj& other);
    G3Obj& operator=(const G3Obj& other);
    // Lets every provider release its record on this object, deletes the
    // outside data store and drops the extended data reference.
    ~G3Obj() override;

    // Copies id, flags, the scratch link and the extended data (shared) from
    // `source` when it is a G3Obj (not the provider lock, not the outside
    // data).
    void Copy(GObj* source) override;
    virtual double HashCode() { return 0.0; }
    virtual char* ToString() { return nullptr; }
    virtual int GetObjectType() { return 0; }

    long GetId() const { return id; }
    void SetId(long newId) { id = newId; }
    GObj* GetExData() const { return exData; }
    void SetExData(GObj* data) { exData = data; }

    long GetFlags() const { return flags; }
    void SetFlags(long word) { flags = word; }
    void ClearFlags(long mask) { flags &= ~mask; }

    void SetSelected() { flags |= FLAG_SELECTED; }
    void ClearSelected() { flags &= ~FLAG_SELECTED; }
    bool GetSelected() const { return (flags & FLAG_SELECTED) != 0; }
    void SetMark() { flags |= FLAG_MARK; }
    void ClearMark() { flags &= ~FLAG_MARK; }
    bool GetMark() const { return (flags & FLAG_MARK) != 0; }
    void SetMark2() { flags |= FLAG_MARK2; }
    void ClearMark2() { flags &= ~FLAG_MARK2; }
    bool GetMark2() const { return (flags & FLAG_MARK2) != 0; }
    void SetMark3() { flags |= FLAG_MARK3; }
    void ClearMark3() { flags &= ~FLAG_MARK3; }
    bool GetMark3() const { return (flags & FLAG_MARK3) != 0; }
    void SetMark4() { flags |= FLAG_MARK4; }
    void ClearMark4() { flags &= ~FLAG_MARK4; }
    bool GetMark4() const { return (flags & FLAG_MARK4) != 0; }

    // ---- extended data ----
    CExData& GetExtendedData() { return extendedData; }
    const CExData& GetExtendedData() const { return extendedData; }

    void LockExDataProvider() { exDataProviderLocked = true; }
    void UnLockExDataProvider() { exDataProviderLocked = false; }
    bool IsExDataProviderLocked() const { return exDataProviderLocked; }
    bool IsOutExDataExist() const { return outExData != nullptr; }

    // The process-wide list of object providers, in registration order. It
    // is created on first use and lives to process exit.
    static GArrayCollection* GetProviderList();
    // Appends `provider` to the list (a null provider is ignored; no
    // duplicate check).
    static void AddProvider(G3ExDataProvider* provider);
    // The provider at `index`, or null when the index is out of range.
    static G3ExDataProvider* GetProvider(long index);
    // The index of `provider` in the list, or -1.
    static long GetProviderId(G3ExDataProvider* provider);
    // Takes `provider` off the list by moving the last provider into its
    // place (the ids of providers change); false when it is not listed.
    // Records it already stored on objects stay until those objects release
    // them.
    static bool RemoveExDataProvider(G3ExDataProvider* provider);

    // Unless this object is locked, lets every listed provider open its
    // record on `object`, in list order.
    void ProviderOpenExData(G3Obj* object);
    // Makes `source` (or, for null, an empty state) the current values of
    // every listed provider.
    static void ProviderSetExData(G3Obj* source);
    // Tells every listed provider that `object` was transformed by `m`.
    static void ProviderTransformExData(G3Obj* object, double m[4][4]);
    // For every record of `source`, lets its provider copy it to this object.
    void CopyExData(G3Obj* source);
    // Lets each provider release its record on this object; the entries are
    // cleared, so a second call releases nothing twice.
    void RemoveExData();
    // The same for the record of `provider` only.
    void RemoveExData(G3ExDataProvider* provider);
    // Sets the record of `provider` (the store is created on first use; a
    // null record clears the entry).
    void SetOutExData(G3ExDataProvider* provider, void* record);
    // The record of `provider`, or null.
    void* GetOutExData(const G3ExDataProvider* provider) const;

    long id = 0;
    long flags = 0;
    GObj* exData = nullptr;
    CExData extendedData;

protected:
    bool exDataProviderLocked = false;
    G3OutExData* outExData = nullptr;
};
