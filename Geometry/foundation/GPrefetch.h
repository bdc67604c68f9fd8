#pragma once
// A request for the cache line at an address, ahead of a read that would
// otherwise wait for it. __builtin_prefetch alone has no effect the
// compiler must keep: a function made only of such requests counts as one
// without side effects, and its calls are dropped before they are
// inlined. The empty volatile statement keeps the request where it is.
// Never faults, whatever the address (a null one included).

inline void GPrefetch(const void* p)
{
    __builtin_prefetch(p);
    asm volatile("" : : "r"(p));
}
