#pragma once
// Shared by the passes that replace facets by new ones (triangulation,
// complex facets, merging): the facets added while a FacetMadeFrom lives
// inherit the source's attributes.

#include "Geometry/mesh/CExData.h"
#include "Geometry/mesh/G3Facet.h"
#include "Geometry/mesh/G3Surface.h"

// While it lives, facets added to `s` are made from `source`: they receive
// its named extended data (or `data` when given) in place of the surface's
// default, and the object providers copy its records to them (a null
// source: no records). The source may be removed meanwhile: the providers
// took its records when it was named, and the extended data is shared by
// reference.
class FacetMadeFrom {
public:
    FacetMadeFrom(G3Surface* s, G3Facet* source)
        : facetDefault(s->GetExtendedDataFacetDefault()), saved(facetDefault)
    {
        G3Obj::ProviderSetExData(source);
        if (source)
            facetDefault = source->GetExtendedData();
    }
    FacetMadeFrom(G3Surface* s, G3Facet* source, const CExData& data)
        : facetDefault(s->GetExtendedDataFacetDefault()), saved(facetDefault)
    {
        G3Obj::ProviderSetExData(source);
        facetDefault = data;
    }
    ~FacetMadeFrom()
    {
        facetDefault = saved;
        G3Obj::ProviderSetExData(nullptr);
    }
    FacetMadeFrom(const FacetMadeFrom&) = delete;
    FacetMadeFrom& operator=(const FacetMadeFrom&) = delete;

private:
    CExData& facetDefault;
    const CExData saved;
};
