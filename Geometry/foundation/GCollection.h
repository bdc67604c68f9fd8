#pragma once
// Abstract collection and iterator pair that the kernel's containers follow.

#include "Geometry/foundation/GObj.h"

class GIterator;

class GCollection : public GObj {
public:
    GCollection() = default;
    explicit GCollection(unsigned long tag) : GObj(tag) {}

    virtual int size() = 0;
    virtual bool isEmpty() { return false; }
    virtual bool contains(GObj*) { return false; }
    virtual GObj** toArray() { return nullptr; }
    virtual void add(GObj* obj) = 0;
    virtual bool remove(GObj*) { return false; }
    virtual void clear() {}
    // Adds every element the iterator yields.
    virtual void addIterator(GIterator* it);
};

class GIterator {
public:
    virtual ~GIterator() = default;
    virtual bool hasNext() = 0;
    virtual GObj* next() = 0;
    virtual void remove() {}
    virtual void init(GCollection*) {}
};
