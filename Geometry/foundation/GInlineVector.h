#pragma once
// A vector whose first N elements live in the object: short lists asked in
// inner loops (a facet's corners while its plane is formed, a roof pitch's
// level edges) cost no allocation and sit where their owner does. T is
// trivially copyable.

#include <algorithm>
#include <cstddef>
#include <vector>

template <class T, std::size_t N>
class GInlineVector {
public:
    std::size_t size() const { return n_; }
    bool empty() const { return n_ == 0; }
    T* data() { return n_ <= N ? in_ : out_.data(); }
    const T* data() const { return n_ <= N ? in_ : out_.data(); }
    T& operator[](std::size_t i) { return data()[i]; }
    const T& operator[](std::size_t i) const { return data()[i]; }
    T& back() { return data()[n_ - 1]; }
    void push_back(const T& v)
    {
        if (n_ < N) {
            in_[n_] = v;
        } else {
            if (n_ == N)
                out_.assign(in_, in_ + N);
            out_.push_back(v);
        }
        ++n_;
    }
    void pop_back() { resize(n_ - 1); }
    // Shrinks to k elements.
    void resize(std::size_t k)
    {
        if (n_ > N && k <= N) {
            std::copy(out_.begin(), out_.begin() + static_cast<std::ptrdiff_t>(k), in_);
            out_.clear();
        } else if (n_ > N) {
            out_.resize(k);
        }
        n_ = k;
    }
    void clear() { resize(0); }

private:
    T in_[N];
    std::vector<T> out_;
    std::size_t n_ = 0;
};
