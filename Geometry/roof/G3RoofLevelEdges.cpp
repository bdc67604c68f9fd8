// The level-edge lookup of the roof's facet rings: a short list per pitch,
// with a cold list beside it, until it outgrows kFew entries, then buckets.
// Invariants: every entry lies in exactly one of the three; the cold list
// is empty while the buckets are in use; a key's entries are all short or
// all cold; a key's longest length is the largest extent of its entries
// since the key last held none, kept per key in lengths_ or coldLengths_
// and per bucket afterwards; cold_ and coldLengths_ are sorted by key; every
// recent bucket address is that of its key's live bucket.
#include "Geometry/roof/G3RoofLevelEdges.h"

#include "Geometry/roof/G3RoofBoxGrid.h"

#include <algorithm>
#include <utility>

G3RoofLevelEdges::Length* G3RoofLevelEdges::LengthOf(long long key)
{
    for (std::size_t i = 0; i < lengths_.size(); ++i)
        if (lengths_[i].key == key)
            return &lengths_[i];
    return nullptr;
}

std::vector<G3RoofLevelEdges::Length>::iterator G3RoofLevelEdges::ColdLengthOf(long long key)
{
    return std::lower_bound(coldLengths_.begin(), coldLengths_.end(), key,
                            [](const Length& l, long long k) { return l.key < k; });
}

void G3RoofLevelEdges::ColdRange()
{
    coldLo_ = coldLengths_.empty() ? 1 : coldLengths_.front().key;
    coldHi_ = coldLengths_.empty() ? 0 : coldLengths_.back().key;
}

// The short keys below `below`, with their lengths, merge into the cold
// list; a sweep going up leaves them behind and asks for them again only
// when a part split off lower down comes back to their height.
void G3RoofLevelEdges::Cool(long long below)
{
    const auto byKey = [](const Few& a, const Few& b) { return a.key < b.key; };
    const std::size_t coldBefore = cold_.size();
    std::size_t kept = 0;
    for (std::size_t i = 0; i < few_.size(); ++i) {
        if (few_[i].key < below) {
            cold_.push_back(few_[i]);
        } else {
            few_[kept] = few_[i];
            fewKeys_[kept] = fewKeys_[i];
            ++kept;
        }
    }
    if (cold_.size() == coldBefore)
        return;
    few_.resize(kept);
    fewKeys_.resize(kept);
    const auto mid = cold_.begin() + static_cast<std::ptrdiff_t>(coldBefore);
    std::stable_sort(mid, cold_.end(), byKey);
    if (coldBefore > 0 && mid->key < (mid - 1)->key)
        std::inplace_merge(cold_.begin(), mid, cold_.end(), byKey);
    std::size_t keptLengths = 0;
    for (std::size_t i = 0; i < lengths_.size(); ++i) {
        if (lengths_[i].key < below)
            coldLengths_.insert(ColdLengthOf(lengths_[i].key), lengths_[i]);
        else
            lengths_[keptLengths++] = lengths_[i];
    }
    lengths_.resize(keptLengths);
    ColdRange();
}

G3RoofLevelEdges::Bucket* G3RoofLevelEdges::BucketOf(long long key, bool make)
{
    Recent* r = nullptr;
    for (int i = 0; i < recentCount_ && !r; ++i)
        if (recent_[i].key == key)
            r = &recent_[i];
    if (r && (r->bucket || !make))
        return r->bucket;
    Bucket* b = nullptr;
    if (make) {
        b = &buckets_[key];
    } else {
        const auto found = buckets_.find(key);
        b = found == buckets_.end() ? nullptr : &found->second;
    }
    if (!r) {
        r = &recent_[recentNext_];
        recentNext_ = (recentNext_ + 1) % kRecent;
        if (recentCount_ < kRecent)
            ++recentCount_;
    }
    *r = Recent{key, b};
    return b;
}

// The bucket of key is gone: a recent slot of it now says so.
void G3RoofLevelEdges::Forget(long long key)
{
    for (int i = 0; i < recentCount_; ++i)
        if (recent_[i].key == key)
            recent_[i].bucket = nullptr;
}

void G3RoofLevelEdges::Add(long long key, double lo, const Entry& e)
{
    const double length = e.tmax - lo;
    if (!many_) {
        if (key >= coldLo_ && key <= coldHi_) {
            const auto l = ColdLengthOf(key);
            if (l != coldLengths_.end() && l->key == key) {
                l->maxLength = G3RoofGreater(l->maxLength, length);
                ++l->count;
                const auto at = std::upper_bound(cold_.begin(), cold_.end(), key,
                                                 [](long long k, const Few& f) { return k < f.key; });
                cold_.insert(at, Few{key, lo, e});
                return;
            }
        }
        few_.push_back(Few{key, lo, e});
        fewKeys_.push_back(key);
        if (Length* l = LengthOf(key)) {
            l->maxLength = G3RoofGreater(l->maxLength, length);
            ++l->count;
        } else {
            lengths_.push_back(Length{key, G3RoofGreater(0.0, length), 1});
        }
        if (few_.size() > kFew)
            Spill();
        return;
    }
    Bucket& b = *BucketOf(key, true);
    ++manyCount_;
    if (spare_.empty()) {
        b.edges.emplace(lo, e);
    } else {
        auto node = std::move(spare_.back());
        spare_.pop_back();
        node.key() = lo;
        node.mapped() = e;
        b.edges.insert(std::move(node));
    }
    b.maxLength = G3RoofGreater(b.maxLength, length);
}

// The short list into buckets, each with its key's longest length.
void G3RoofLevelEdges::Spill()
{
    many_ = true;
    for (std::size_t i = 0; i < lengths_.size(); ++i)
        buckets_[lengths_[i].key].maxLength = lengths_[i].maxLength;
    for (const Length& l : coldLengths_)
        buckets_[l.key].maxLength = l.maxLength;
    for (std::size_t i = 0; i < few_.size(); ++i)
        buckets_[few_[i].key].edges.emplace(few_[i].lo, few_[i].e);
    for (const Few& f : cold_)
        buckets_[f.key].edges.emplace(f.lo, f.e);
    manyCount_ = few_.size() + cold_.size();
    few_.clear();
    fewKeys_.clear();
    lengths_.clear();
    cold_.clear();
    coldLengths_.clear();
    ColdRange();
}

// The buckets back into the short list, each key with its bucket's
// longest length.
void G3RoofLevelEdges::Gather()
{
    many_ = false;
    for (const auto& kb : buckets_) {
        lengths_.push_back(Length{kb.first, kb.second.maxLength, static_cast<int>(kb.second.edges.size())});
        for (const auto& le : kb.second.edges) {
            few_.push_back(Few{kb.first, le.first, le.second});
            fewKeys_.push_back(kb.first);
        }
    }
    buckets_.clear();
    manyCount_ = 0;
    recentCount_ = recentNext_ = 0;
    coolAt_ = std::max(kCool, 2 * few_.size());
}

// An empty bucket goes: the sweep leaves one behind per level otherwise.
// Its longest length starts afresh with the next entry, still a bound for
// every entry in it.
void G3RoofLevelEdges::Remove()
{
    if (!many_ && chosenCold_) {
        const auto l = ColdLengthOf(cold_[chosenFew_].key);
        if (--l->count == 0) {
            coldLengths_.erase(l);
            ColdRange();
        }
        cold_.erase(cold_.begin() + static_cast<std::ptrdiff_t>(chosenFew_));
        return;
    }
    if (!many_) {
        Length* l = LengthOf(few_[chosenFew_].key);
        if (--l->count == 0) {
            *l = lengths_.back();
            lengths_.pop_back();
        }
        few_[chosenFew_] = few_.back();
        few_.pop_back();
        fewKeys_[chosenFew_] = fewKeys_.back();
        fewKeys_.pop_back();
        if (few_.size() * 4 < coolAt_)
            coolAt_ = std::max(kCool, 2 * few_.size());
        return;
    }
    Bucket& b = *chosenBucket_;
    if (spare_.size() < 64)
        spare_.push_back(b.edges.extract(chosenEntry_));
    else
        b.edges.erase(chosenEntry_);
    if (b.edges.empty()) {
        Forget(chosenKey_);
        buckets_.erase(chosenKey_);
    }
    if (--manyCount_ < kFew / 4)
        Gather();
}

void G3RoofLevelEdges::Clear()
{
    many_ = false;
    few_.clear();
    fewKeys_.clear();
    lengths_.clear();
    cold_.clear();
    coldLengths_.clear();
    ColdRange();
    coolAt_ = kCool;
    buckets_.clear();
    spare_.clear();
    manyCount_ = 0;
    recentCount_ = recentNext_ = 0;
}
