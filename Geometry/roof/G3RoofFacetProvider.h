#pragma once
// The object provider that stamps roof facets with their (index, type)
// record: index = outline edge index + 1 (0: not a roof facet), type a
// ROOF_FACET_TYPE. Facets created while the current index is not 0 receive
// the current pair; copies of a facet carry its record along.

#include "Geometry/mesh/G3ExDataProvider.h"

class G3RoofFacetProvider : public G3ExDataProvider {
public:
    // The provider; the first call creates it and appends it to the
    // object-provider list. It lives to process exit.
    static G3RoofFacetProvider* Get();
    // The provider if Get() has been called, else null (creates nothing).
    static G3RoofFacetProvider* Find();

    void SetCurrent(int index, int type);
    void GetCurrent(int* index, int* type) const;
    // The record of `object`; false (0, 0) when it has none.
    bool GetRecord(const G3Obj* object, int* index, int* type) const;

    void ReleaseRecord(void* record) override;
    // Facets only, and only while the current index is not 0; an existing
    // record is overwritten.
    void OpenRecord(G3Obj* object) override;
    // The current pair becomes `source`'s record ((0, 0) for null or an
    // object without one).
    void SetSource(G3Obj* source) override;
    void TransformRecord(G3Obj*, double[4][4]) override {}
    void CopyRecord(G3Obj* destination, G3Obj* source) override;

private:
    G3RoofFacetProvider() = default;
    struct Record {
        int index;
        int type;
    };
    void Store(G3Obj* object, int index, int type);

    int currentIndex = 0;
    int currentType = 0;
};
