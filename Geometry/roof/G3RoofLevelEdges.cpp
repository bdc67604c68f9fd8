// The level-edge lookup of the roof's facet rings: a short list per pitch
// until it outgrows kFew entries, then buckets. Invariants: every entry
// lies in exactly one of the two forms; a key's longest length is the
// largest extent of its entries since the key last held none, kept per key
// in lengths_ while short and per bucket afterwards; every recent bucket
// address is that of its key's live bucket.
#include "Geometry/roof/G3RoofLevelEdges.h"

#include "Geometry/roof/G3RoofBoxGrid.h"

#include <utility>

G3RoofLevelEdges::Length* G3RoofLevelEdges::LengthOf(long long key)
{
    for (Length& l : lengths_)
        if (l.key == key)
            return &l;
    return nullptr;
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
    for (const Length& l : lengths_)
        buckets_[l.key].maxLength = l.maxLength;
    for (const Few& f : few_)
        buckets_[f.key].edges.emplace(f.lo, f.e);
    manyCount_ = few_.size();
    few_.clear();
    fewKeys_.clear();
    lengths_.clear();
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
}

// An empty bucket goes: the sweep leaves one behind per level otherwise.
// Its longest length starts afresh with the next entry, still a bound for
// every entry in it.
void G3RoofLevelEdges::Remove()
{
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
    buckets_.clear();
    spare_.clear();
    manyCount_ = 0;
    recentCount_ = recentNext_ = 0;
}
