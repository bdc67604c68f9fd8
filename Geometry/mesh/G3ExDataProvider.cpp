#include "Geometry/mesh/G3ExDataProvider.h"

#include <utility>

void* G3OutExData::Get(const G3ExDataProvider* provider) const
{
    for (const Entry& e : entries)
        if (e.provider == provider)
            return e.record;
    return nullptr;
}

void G3OutExData::Set(G3ExDataProvider* provider, void* record)
{
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (entries[i].provider == provider) {
            if (record != nullptr)
                entries[i].record = record;
            else
                entries.erase(entries.begin() + static_cast<std::ptrdiff_t>(i));
            return;
        }
    }
    if (record != nullptr)
        entries.push_back(Entry{provider, record});
}

void* G3OutExData::Take(const G3ExDataProvider* provider)
{
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (entries[i].provider == provider) {
            void* record = entries[i].record;
            entries.erase(entries.begin() + static_cast<std::ptrdiff_t>(i));
            return record;
        }
    }
    return nullptr;
}

std::vector<G3OutExData::Entry> G3OutExData::TakeAll()
{
    std::vector<Entry> all;
    all.swap(entries);
    return all;
}
