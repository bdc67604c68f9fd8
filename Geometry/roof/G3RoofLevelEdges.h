#pragma once
// The level edges of one pitch's facet rings, as the splice index looks
// them up: by a bucket of their height and, within a bucket, by their
// extent [lo, tmax] along the pitch's level lines. A query hands over every
// edge of the asked buckets whose extent may hold or lie on the asked one
// (PtOnSegment's band, with a wide margin, over the bucket's longest edge).
// Most pitches hold a few edges at a time: those are kept in a short list,
// scanned whole with the same test; a pitch that gathers many moves them
// into a map of buckets, each a multimap by `lo`, and back when few are
// left. Edges left below the heights being asked (the stale ends of level
// edges a narrower section left behind, one height each) move out of the
// short list into a cold list sorted by key, which a query reads only when
// its keys fall among the cold ones. All forms hand over the same edges, so
// what a caller chooses among them does not depend on the form. A key's
// longest length counts every edge since the key last held none, wherever
// its edges are kept. Rounding: none.

#include "Geometry/foundation/GInlineVector.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <unordered_map>
#include <vector>

class G3RoofLevelEdges {
public:
    struct Entry {
        int x;     // the edge x -> next(x)
        int ring;  // its facet ring's place in the pitch
        double tmax;
    };

    void Add(long long key, double lo, const Entry& e);
    // Calls take(entry) for each edge of buckets k0..k1 whose extent may
    // meet [lo, hi]; take answers whether it keeps the entry as its choice
    // so far, which Remove then drops.
    template <class Take>
    void Near(long long k0, long long k1, double lo, double hi, Take take);
    // Drops the entry the last Near kept last.
    void Remove();
    void Clear();

private:
    struct Bucket {
        std::multimap<double, Entry> edges;  // by the lower end along u
        double maxLength = 0.0;
    };
    struct Few {
        long long key;
        double lo;
        Entry e;
    };
    struct Length {
        long long key;
        double maxLength;
        int count;
    };
    // The short list spills into buckets above kFew entries and the
    // buckets gather back below kFew / 4: a scan of a hundred beats a
    // bucket lookup that misses the cache every level.
    static constexpr std::size_t kFew = 128;
    // A query to a short list of at least this many (and twice as many as
    // after the last time) first moves the keys below it to the cold list.
    static constexpr std::size_t kCool = 8;

    static double Margin(double maxLength, double lo, double hi)
    {
        // PtOnSegment's band: 1e-6 across, a 1e-6 share of the length
        // along; kept with a wide margin.
        return 1e-5 + 1e-5 * (maxLength + hi - lo) + 1e-12 * (std::fabs(lo) + std::fabs(hi));
    }
    Length* LengthOf(long long key);
    // The cold keys' lengths, sorted by key: the first not below key.
    std::vector<Length>::iterator ColdLengthOf(long long key);
    // The short list's keys below `below` into the cold list.
    void Cool(long long below);
    // The cold edges of [k0, k1] to take, as Near.
    template <class Take>
    void NearCold(long long k0, long long k1, double lo, double hi, Take& take);
    void Spill();
    void Gather();
    // The bucket of key, made empty when missing (`make`) or null. A
    // section asks for the buckets of its level and puts its new edge into
    // the next level's: the last few keys asked are kept with their
    // bucket's address (which a rehash leaves alone) or with none, so most
    // asks skip the hash.
    Bucket* BucketOf(long long key, bool make);
    void Forget(long long key);

    // A pitch's short lists live in the pitch: a sweep asks every pitch in
    // turn, and a list in the pitch is a cache miss less.
    template <class T, std::size_t N>
    using Inline = GInlineVector<T, N>;

    bool many_ = false;
    std::size_t manyCount_ = 0;  // entries in the buckets
    Inline<long long, kCool> fewKeys_;  // few_[i].key, scanned alone
    Inline<Few, kCool> few_;
    Inline<Length, 4> lengths_;
    // The cold list: edges sorted by key, and their keys' lengths (a key's
    // edges are all short or all cold).
    std::vector<Few> cold_;
    std::vector<Length> coldLengths_;
    // The cold keys' range, [1, 0] when none: most queries stop there.
    long long coldLo_ = 1, coldHi_ = 0;
    void ColdRange();
    std::size_t coolAt_ = kCool;
    std::unordered_map<long long, Bucket> buckets_;
    // Entries taken out of a bucket, kept for the next Add: a section moves
    // one level edge up almost every time.
    std::vector<std::multimap<double, Entry>::node_type> spare_;
    struct Recent {
        long long key;
        Bucket* bucket;
    };
    static constexpr int kRecent = 4;
    Recent recent_[kRecent] = {};
    int recentCount_ = 0, recentNext_ = 0;
    // The entry Near kept last.
    bool chosenCold_ = false;
    std::size_t chosenFew_ = 0;
    long long chosenKey_ = 0;
    Bucket* chosenBucket_ = nullptr;
    std::multimap<double, Entry>::iterator chosenEntry_;
};

template <class Take>
void G3RoofLevelEdges::NearCold(long long k0, long long k1, double lo, double hi, Take& take)
{
    for (auto l = ColdLengthOf(k0); l != coldLengths_.end() && l->key <= k1; ++l) {
        const double margin = Margin(l->maxLength, lo, hi);
        std::size_t i = static_cast<std::size_t>(
            std::lower_bound(cold_.begin(), cold_.end(), l->key, [](const Few& f, long long k) { return f.key < k; }) -
            cold_.begin());
        for (; i < cold_.size() && cold_[i].key == l->key; ++i) {
            const Few& f = cold_[i];
            if (f.lo < lo - l->maxLength - margin || hi + margin < f.lo || f.e.tmax < lo - margin)
                continue;
            if (take(f.e)) {
                chosenCold_ = true;
                chosenFew_ = i;
            }
        }
    }
}

template <class Take>
void G3RoofLevelEdges::Near(long long k0, long long k1, double lo, double hi, Take take)
{
    if (!many_) {
        if (few_.size() >= coolAt_) {
            Cool(k0 - 1);
            coolAt_ = std::max(kCool, 2 * few_.size());
        }
        // A query spans one key or two: their longest lengths looked up
        // once, not for every edge.
        const Length* first = k1 - k0 <= 1 ? LengthOf(k0) : nullptr;
        const Length* second = k1 - k0 == 1 ? LengthOf(k1) : nullptr;
        for (std::size_t i = 0; i < fewKeys_.size(); ++i) {
            const long long key = fewKeys_[i];
            if (key < k0 || key > k1)
                continue;
            const Few& f = few_[i];
            const double maxLength = k1 - k0 > 1 ? LengthOf(key)->maxLength
                                     : key == k0  ? first->maxLength
                                                  : second->maxLength;
            const double margin = Margin(maxLength, lo, hi);
            // The multimap's range below: lower_bound and upper_bound.
            if (f.lo < lo - maxLength - margin || hi + margin < f.lo || f.e.tmax < lo - margin)
                continue;
            if (take(f.e)) {
                chosenCold_ = false;
                chosenFew_ = i;
            }
        }
        if (k1 >= coldLo_ && k0 <= coldHi_)
            NearCold(k0, k1, lo, hi, take);
        return;
    }
    for (long long key = k0; key <= k1; ++key) {
        Bucket* found = BucketOf(key, false);
        if (found == nullptr)
            continue;
        Bucket& b = *found;
        const double margin = Margin(b.maxLength, lo, hi);
        const auto end = b.edges.upper_bound(hi + margin);
        for (auto it = b.edges.lower_bound(lo - b.maxLength - margin); it != end; ++it) {
            if (it->second.tmax < lo - margin)
                continue;
            if (take(it->second)) {
                chosenKey_ = key;
                chosenBucket_ = found;
                chosenEntry_ = it;
            }
        }
    }
}
