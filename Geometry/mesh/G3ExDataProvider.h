#pragma once
// Object providers: host or kernel components that keep records of their own
// on mesh objects (in each object's outside data store) and are told when
// objects are created, copied and transformed. The registered providers are
// listed process-wide in G3Obj::GetProviderList().

#include "Geometry/foundation/GObj.h"

#include <vector>

class G3Obj;

class G3ExDataProvider : public GObj {
public:
    // Frees a record this provider stored on some object.
    virtual void ReleaseRecord(void* record) = 0;
    // `object` was just created or added; the provider may store a record on
    // it (G3Obj::SetOutExData), typically a copy of its current values.
    virtual void OpenRecord(G3Obj* object) = 0;
    // Makes the record of `source` (or, for null, an empty state) the current
    // values that the following OpenRecord calls copy.
    virtual void SetSource(G3Obj* source) = 0;
    // `object` was transformed by the row-vector matrix `m`.
    virtual void TransformRecord(G3Obj* object, double m[4][4]) = 0;
    // Copies the record of `source` to `destination`.
    virtual void CopyRecord(G3Obj* destination, G3Obj* source) = 0;
};

// The outside data store of one object: its records, one per provider, in
// the order the providers first stored them (so walks over it never depend
// on addresses). Owned by its object and deleted with it.
class G3OutExData {
public:
    struct Entry {
        G3ExDataProvider* provider;
        void* record;
    };

    G3OutExData() = default;
    G3OutExData(const G3OutExData&) = delete;
    G3OutExData& operator=(const G3OutExData&) = delete;

    // The record of `provider`, or null.
    void* Get(const G3ExDataProvider* provider) const;
    // Sets the record of `provider`; a null record erases its entry.
    void Set(G3ExDataProvider* provider, void* record);
    // Takes the entry of `provider` out of the store; its record, or null.
    void* Take(const G3ExDataProvider* provider);
    int GetCount() const { return static_cast<int>(entries.size()); }
    const Entry& GetEntry(int i) const { return entries[static_cast<std::size_t>(i)]; }
    // Moves every entry out (the store is left empty).
    std::vector<Entry> TakeAll();
    // A copy of the entries, for walks during which providers may change the
    // store.
    std::vector<Entry> Snapshot() const { return entries; }

private:
    std::vector<Entry> entries;
};
