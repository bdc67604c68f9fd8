#pragma once
// A standalone base that carries a long id, -1 while unset. Copies take the
// id along; a destroyed object reads as unset.

class GIdentifiableObject {
public:
    GIdentifiableObject() = default;
    GIdentifiableObject(const GIdentifiableObject& other) = default;
    GIdentifiableObject& operator=(const GIdentifiableObject& other) = default;
    virtual ~GIdentifiableObject() { id = -1; }

    void SetId(long newId) { id = newId; }
    long GetId() const { return id; }

protected:
    long id = -1;
};
