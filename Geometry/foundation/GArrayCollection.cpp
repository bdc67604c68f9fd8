#include "Geometry/foundation/GArrayCollection.h"

#include "Geometry/foundation/GLargeMemory.h"

#include <cstring>
#include <utility>

G_DEFINE_POOL(GArrayCollection, "GArrayCollection", 16384)

void GCollection::addIterator(GIterator* it)
{
    while (it->hasNext())
        add(it->next());
}

// ---------------------------------------------------------- GArrayCollection

namespace {

// Slot arrays of the entity lists of a million-entity mesh run to tens of
// MiB: large ones live in huge-page mappings (kept for reuse by the next
// array of the same size), small ones on the C heap.
GObj** NewSlots(long n)
{
    if (n <= 0)
        return nullptr;
    return static_cast<GObj**>(glarge::Allocate(sizeof(GObj*) * static_cast<std::size_t>(n)));
}

void DeleteSlots(GObj** slots, long n)
{
    if (slots != nullptr)
        glarge::Release(slots, sizeof(GObj*) * static_cast<std::size_t>(n > 0 ? n : 0));
}

} // namespace

GArrayCollection::GArrayCollection() { init(256, 1024); }

GArrayCollection::GArrayCollection(int initialCapacity, int increment) { init(initialCapacity, increment); }

GArrayCollection::GArrayCollection(const GArrayCollection& other) : GCollection(other)
{
    init(other.capacity, other.increment);
    initialCapacity = other.initialCapacity;
    if (other.count > 0)
        std::memcpy(items, other.items, sizeof(GObj*) * static_cast<std::size_t>(other.count));
    count = other.count;
}

GArrayCollection& GArrayCollection::operator=(const GArrayCollection& other)
{
    if (this == &other)
        return *this;
    GCollection::operator=(other);
    finit();
    init(other.capacity, other.increment);
    initialCapacity = other.initialCapacity;
    if (other.count > 0)
        std::memcpy(items, other.items, sizeof(GObj*) * static_cast<std::size_t>(other.count));
    count = other.count;
    return *this;
}

GArrayCollection::~GArrayCollection() { finit(); }

void GArrayCollection::init(int initial, int inc)
{
    if (initial < 0)
        initial = 0;
    // A collection that could never grow would write past its slots.
    if (inc <= 0)
        inc = initial > 0 ? initial : 16;
    initialCapacity = initial;
    capacity = initial;
    increment = inc;
    count = 0;
    items = NewSlots(initial);
}

void GArrayCollection::finit()
{
    DeleteSlots(items, capacity);
    items = nullptr;
    capacity = 0;
}

void GArrayCollection::reallocList(int n)
{
    int grow = n > increment ? n : increment;
    // A fixed increment makes filling a large collection quadratic (a mesh
    // of millions of entities would copy its slot array thousands of times).
    // Once the array is eight increments long it grows by half its size, so
    // appends stay amortised O(1); small collections grow exactly as before.
    const long eightIncrements = 8L * increment;
    if (capacity >= eightIncrements && capacity / 2 > grow)
        grow = capacity / 2;
    GObj** fresh = NewSlots(static_cast<long>(capacity) + grow);
    if (capacity > 0)
        std::memcpy(fresh, items, sizeof(GObj*) * static_cast<std::size_t>(capacity));
    DeleteSlots(items, capacity);
    items = fresh;
    capacity += grow;
}

void GArrayCollection::add(GObj* obj)
{
    if (count >= capacity)
        reallocList(increment);
    items[count++] = obj;
}

int GArrayCollection::add_i(GObj* obj)
{
    add(obj);
    return count - 1;
}

int GArrayCollection::add(int n, GObj** array)
{
    const int first = count;
    if (n <= 0)
        return first;
    if (count + n >= capacity)
        reallocList(n);
    std::memcpy(items + count, array, sizeof(GObj*) * static_cast<std::size_t>(n));
    count += n;
    return first;
}

int GArrayCollection::index(GObj* obj) const
{
    for (int i = count - 1; i >= 0; --i)
        if (items[i] == obj)
            return i;
    return -1;
}

void GArrayCollection::remove(int i)
{
    --count;
    items[i] = items[count];
}

bool GArrayCollection::remove(GObj* obj)
{
    const int i = index(obj);
    if (i < 0)
        return false;
    remove(i);
    return true;
}

void GArrayCollection::clear(bool deleteElements)
{
    if (deleteElements) {
        for (int i = 0; i < count; ++i)
            delete items[i];
    }
    count = 0;
}

void GArrayCollection::ShiftLeft(int i)
{
    if (i < count - 1)
        std::memmove(items + i, items + i + 1, sizeof(GObj*) * static_cast<std::size_t>(count - 1 - i));
    --count;
}

void GArrayCollection::ShiftRight(int i)
{
    if (count + 1 >= capacity)
        reallocList(increment);
    if (i < count)
        std::memmove(items + i + 1, items + i, sizeof(GObj*) * static_cast<std::size_t>(count - i));
    items[i] = nullptr;
    ++count;
}

void GArrayCollection::Rotate()
{
    for (int i = 0, j = count - 1; i < j; ++i, --j)
        std::swap(items[i], items[j]);
}

void GArrayCollection::ReallocByRealSize()
{
    if (capacity <= count)
        return;
    GObj** fresh = NewSlots(count);
    if (count > 0)
        std::memcpy(fresh, items, sizeof(GObj*) * static_cast<std::size_t>(count));
    DeleteSlots(items, capacity);
    items = fresh;
    capacity = count;
}

namespace {

struct PlainCompare {
    int (*fn)(const void*, const void*);
};

int CallPlain(const void* a, const void* b, const void* context)
{
    return static_cast<const PlainCompare*>(context)->fn(a, b);
}

} // namespace

void GArrayCollection::qsort(int (*compare)(const void*, const void*))
{
    const PlainCompare plain{compare};
    GSortPointers(items, count, CallPlain, &plain);
}

void GArrayCollection::qsortex(int (*compare)(const void*, const void*, const void*), const void* context)
{
    GSortPointers(items, count, compare, context);
}

// The classic quicksort of the C runtime, extended by a context argument.
// Every index stays within [lo, hi] whatever the comparison answers, so a
// tolerant (non-transitive) comparison cannot make it read out of bounds.
void GSortPointers(GObj** a, int n, int (*cmp)(const void*, const void*, const void*), const void* ctx)
{
    if (!a || n < 2)
        return;
    constexpr int kCutoff = 8;
    int loStack[64];
    int hiStack[64];
    int top = 0;
    int lo = 0;
    int hi = n - 1;
    for (;;) {
        const int size = hi - lo + 1;
        if (size <= kCutoff) {
            // Selection short-sort: move the greatest to the end, shrink.
            for (int h = hi; h > lo; --h) {
                int max = lo;
                for (int p = lo + 1; p <= h; ++p)
                    if (cmp(&a[p], &a[max], ctx) > 0)
                        max = p;
                std::swap(a[max], a[h]);
            }
        } else {
            const int mid = lo + size / 2;
            std::swap(a[mid], a[lo]);
            int loGuy = lo;
            int hiGuy = hi + 1;
            for (;;) {
                do {
                    ++loGuy;
                } while (loGuy <= hi && cmp(&a[loGuy], &a[lo], ctx) <= 0);
                do {
                    --hiGuy;
                } while (hiGuy > lo && cmp(&a[hiGuy], &a[lo], ctx) >= 0);
                if (hiGuy < loGuy)
                    break;
                std::swap(a[loGuy], a[hiGuy]);
            }
            std::swap(a[lo], a[hiGuy]);
            // [lo, hiGuy-1] and [loGuy, hi] remain. Work on the smaller one
            // next and keep the larger on the stack, which bounds the stack
            // depth by log2(n).
            const bool leftLarger = (hiGuy - 1 - lo) >= (hi - loGuy);
            int bigLo, bigHi, smallLo, smallHi;
            if (leftLarger) {
                bigLo = lo; bigHi = hiGuy - 1; smallLo = loGuy; smallHi = hi;
            } else {
                bigLo = loGuy; bigHi = hi; smallLo = lo; smallHi = hiGuy - 1;
            }
            if (bigLo < bigHi) {
                loStack[top] = bigLo;
                hiStack[top] = bigHi;
                ++top;
            }
            if (smallLo < smallHi) {
                lo = smallLo;
                hi = smallHi;
                continue;
            }
        }
        if (top == 0)
            return;
        --top;
        lo = loStack[top];
        hi = hiStack[top];
    }
}

// -------------------------------------------------- GArrayCollectionIterator

void GArrayCollectionIterator::init(GCollection* c)
{
    if (!c) {
        collection = nullptr;
        position = end = 0;
        array = nullptr;
        return;
    }
    collection = c;
    position = 0;
    end = c->size();
    array = c->toArray();
}

void GArrayCollectionIterator::init(GCollection* c, int from, int to)
{
    if (!c) {
        collection = nullptr;
        position = end = 0;
        array = nullptr;
        return;
    }
    collection = c;
    position = from;
    end = to;
    array = c->toArray();
}

void GArrayCollectionIterator::remove()
{
    --position;
    if (auto* ac = dynamic_cast<GArrayCollection*>(collection))
        ac->remove(position);
    --end;
}
