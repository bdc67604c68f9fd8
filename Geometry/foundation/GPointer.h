#pragma once
// Intrusive reference count: the object deletes itself when the last
// reference is released. Counts are plain integers (no locking).

class GPointer {
public:
    GPointer() = default;
    GPointer(const GPointer& other) = default;
    GPointer& operator=(const GPointer& other) = default;
    virtual ~GPointer() = default;

    virtual void AddRef() { ++refCount; }
    virtual void Release()
    {
        if (--refCount == 0)
            delete this;
    }
    virtual int RefCount() { return refCount; }

protected:
    int refCount = 0;
};
