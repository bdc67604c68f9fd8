#pragma once
// Groups facets whose planes are equal. Facets are hashed by the absolute
// values of their normal's components (the offset d takes no part), spread
// over every cell within 1e-6 of the plane's components: the first cell
// gets a master item that owns the facet list, each further cell a proxy
// that refers to the master, so that a facet reaching the group through any
// of its cells joins the same list. Opposite normals and parallel planes
// share cells; the plane comparison separates them. The comparison accepts
// unit normals up to about 1.4e-3 apart, farther than the spread, so a
// lookup searches every cell within that reach of its components.
//
// Cell indices are clamped into range (a non-unit or NaN normal cannot reach
// outside the cell array). The hash owns its items and their lists, never
// the facets. Hashes and items cannot be copied; `Duplicate` gives null.

#include "Geometry/foundation/GObj.h"

class GArrayCollection;
class G3Facet;

class G3FacetPlaneHashItem : public GObj {
public:
    G3FacetPlaneHashItem() = default;
    // A master item owning a new list that holds f.
    explicit G3FacetPlaneHashItem(G3Facet* f);
    // A proxy of `master`.
    explicit G3FacetPlaneHashItem(G3FacetPlaneHashItem* master);
    // Deletes the item's own list (not the facets).
    ~G3FacetPlaneHashItem() override;
    G3FacetPlaneHashItem(const G3FacetPlaneHashItem&) = delete;
    G3FacetPlaneHashItem& operator=(const G3FacetPlaneHashItem&) = delete;
    GObj* Duplicate() override { return nullptr; }

    // Whether the first facet of the group has f's plane: the unit normals'
    // dot product within 1e-6 of 1 and the d terms within 1e-6 (both
    // strict). False for a group without facets.
    bool PlaneEquals(const G3Facet* f) const;
    // Appends f to the group's list (the master's for a proxy).
    void AddFacet(G3Facet* f);
    // The group's list: the item's own, or the master's for a proxy.
    GArrayCollection* GetFacets() const;
    G3FacetPlaneHashItem* GetNext() const { return next; }
    G3FacetPlaneHashItem* GetMaster() const { return master; }
    bool IsProxy() const { return master != nullptr; }
    // The group's number in the order the hash started groups (from 1; 0
    // for an item made outside a hash).
    long GetGroup() const { return master ? master->group : group; }

    G3FacetPlaneHashItem* next = nullptr;
    GArrayCollection* facets = nullptr;
    G3FacetPlaneHashItem* master = nullptr;
    long group = 0;
};

class G3FacetPlaneHash : public GObj {
public:
    // A non-positive division count counts as 1; counts above 1290 as 1290
    // (the cell count must fit an int).
    explicit G3FacetPlaneHash(int divisions);
    // Deletes every item, last cell first.
    ~G3FacetPlaneHash() override;
    G3FacetPlaneHash(const G3FacetPlaneHash&) = delete;
    G3FacetPlaneHash& operator=(const G3FacetPlaneHash&) = delete;
    GObj* Duplicate() override { return nullptr; }

    int GetHashCode(const G3Facet* f) const;
    // Puts f into the group whose first plane equals f's, or into a new
    // group when none does. Every cell that an equal plane can hash to is
    // searched (for unit normals); of several equal groups the newest is
    // taken. Returns the item that received f (for a new group, its master;
    // an item of f's own cell when the group has one there).
    G3FacetPlaneHashItem* Add(G3Facet* f);
    // Starts a new group holding f; returns its master.
    G3FacetPlaneHashItem* AddWithoutTest(G3Facet* f);
    // Head of a cell's chain; null for a cell out of range.
    G3FacetPlaneHashItem* Get(int cell) const;
    int GetHashSize() const { return cellCount; }
    int GetDivisions() const { return divisions; }
    double GetCellWidth() const { return cellWidth; }

protected:
    void Init(int divisions);
    int CellIndex(double component) const;

    int cellCount = 0;
    G3FacetPlaneHashItem** cells = nullptr;
    int divisions = 0;
    double cellWidth = 0.0;
    long groups = 0;
};
