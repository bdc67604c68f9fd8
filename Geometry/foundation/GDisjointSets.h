#pragma once
// Disjoint sets over 0..n-1 kept as a parent array (an element that is its
// own parent is a root): the root of an element, halving the path to it on
// the way (each element visited is hung on its grandparent). The roots a
// pass finds depend only on the order its unions are made in.

#include <cstddef>
#include <vector>

inline int GRootOf(std::vector<int>& parent, int x)
{
    while (parent[static_cast<std::size_t>(x)] != x) {
        int& up = parent[static_cast<std::size_t>(x)];
        up = parent[static_cast<std::size_t>(up)];
        x = up;
    }
    return x;
}
