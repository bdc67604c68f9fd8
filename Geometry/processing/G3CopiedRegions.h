#pragma once
// Faces given twice, each copy split into facets its own way, made equal
// facet for facet so that the equal-facet search can judge them.

class G3Surface;

// A region is a set of facets in one plane joined along vertex pairs that
// carry exactly their two sides (the inner edges of one face's
// triangulation); its outline is the pairs it holds one side of. Where two
// or more regions run round one outline (one simple cycle of the same
// vertices, in one plane) without being the same facets, every one but the
// region of fewest facets is rebuilt as that region's facets: run the same
// way round when both regions are wound consistently and run their outline
// alike, turned when they run it opposite ways, as they are otherwise.
// A rebuilt region's facets take its facets' flags word and sub-surface
// and the edge flags of the facets they copy. Only pairs whose two facets
// lie on opposite sides join a region (facets folded onto one another
// cover no outline's inside). Regions whose facets have holes, corner
// data, extended or outside data, or differ in flags or sub-surface are
// left alone, and so is a surface whose ids are not places. Returns the
// number of regions rebuilt.
int G3AlignCopiedRegions(G3Surface* s);
