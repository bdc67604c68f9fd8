#pragma once
// The object provider that keeps a pair of opaque host pointers per object
// (a surface's hit data). Its current pair is what newly opened objects
// receive; objects keep their own copy in their outside data store.

#include "Geometry/mesh/G3ExDataProvider.h"

class G3HitDataExDataProvider : public G3ExDataProvider {
public:
    // The provider; the first call creates it and appends it to the
    // object-provider list. It lives to process exit.
    static G3HitDataExDataProvider* Get();
    // The provider if Get() has been called, else null (creates nothing).
    static G3HitDataExDataProvider* Find();

    // Makes (a, b) the current pair.
    void SetCurrent(void* a, void* b);
    void GetCurrent(void** a, void** b) const;
    // The pair `object` holds, or the current pair when it holds none.
    void GetData(const G3Obj* object, void** a, void** b) const;

    void ReleaseRecord(void* record) override;
    // Stores a copy of the current pair on `object`. An empty current pair
    // stores nothing: most objects never carry hit data, and one without a
    // record reads as the current pair anyway.
    void OpenRecord(G3Obj* object) override;
    // The current pair becomes `source`'s pair (empty for null or for an
    // object without one).
    void SetSource(G3Obj* source) override;
    void TransformRecord(G3Obj*, double[4][4]) override {}
    void CopyRecord(G3Obj* destination, G3Obj* source) override;

private:
    G3HitDataExDataProvider() = default;
    struct Record {
        void* a;
        void* b;
    };
    // Stores (a, b) on `object`, reusing its record when it has one.
    void Store(G3Obj* object, void* a, void* b);

    void* currentA = nullptr;
    void* currentB = nullptr;
};
