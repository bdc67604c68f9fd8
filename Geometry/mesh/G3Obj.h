#pragma once
// Base of every mesh entity: an id, a flags word whose high bits are marks
// that passes set and clear, a scratch link to a pass's working record, and
// the hooks of the extended-data layer.

#include "Geometry/foundation/GObj.h"

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
    // A copy takes tag, id, flags, the scratch link and the provider lock.
    // It never shares the source's outside data store: that store belongs to
    // one object and is deleted with it, so a copy starts without one.
    G3Obj(const G3Obj& other);
    G3Obj& operator=(const G3Obj& other);
    ~G3Obj() override;

    // Copies id, flags and the scratch link from `source` when it is a G3Obj
    // (not the provider lock, not the outside data).
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

    // ---- extended data: owned by the extended-data layer ----
    void LockExDataProvider() { exDataProviderLocked = true; }
    void UnLockExDataProvider() { exDataProviderLocked = false; }
    bool IsExDataProviderLocked() const { return exDataProviderLocked; }
    bool IsOutExDataExist() const { return outExData != nullptr; }

protected:
    bool exDataProviderLocked = false;
    // Per-provider store of outside data; placeholder until the layer lands.
    void* outExData = nullptr;
    // ---- end extended data ----

public:
    long id = 0;
    long flags = 0;
    GObj* exData = nullptr;
};
