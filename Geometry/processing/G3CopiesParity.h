#pragma once
// The keep-or-remove choice for groups of equal facets (RemoveEqualsFacets),
// checked against the facet sides it leaves.

#include <functional>
#include <vector>

class G3Facet;

// `groups[i]` lists the copies of one facet (the one that may stay first),
// empty for an index that names no group; `groupOf` gives a facet's group
// index, -1 for a facet without copies. `keep[i]` says whether group i keeps
// one copy (1) or none (0).
//
// On every pair of vertices along a group's first facet that some other
// facet side also lies on, the sides the choice leaves (those of facets
// without copies, and of the first facet of each group that keeps a copy)
// should be even. Where `keep` leaves such a pair odd, the groups linked
// through such pairs are solved together, and a choice that leaves every
// pair of theirs even replaces theirs; where several do, copies are kept
// where the choice is free. Pairs that one group alone lies on are the
// edges of a sheet: they bind nothing. Then, in each set that keeps inner
// walls (copies in pairs, every pair along them carrying two other facets
// or groups, or one in their plane), those are solved again with the rest
// held, dropped where the choice is free, and the solution replaces theirs
// where every pair of the set stays even. Returns whether `keep` changed.
bool G3SettleKeptCopies(const std::vector<std::vector<G3Facet*>>& groups,
                        const std::function<int(const G3Facet*)>& groupOf, std::vector<char>& keep);
