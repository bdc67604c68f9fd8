// Questions the boolean engine asks of single facets: which parts of a
// segment lie in a coplanar facet, where two coplanar facets overlap, and a
// point safely inside a concave facet (possibly with holes), or other such
// points when one told the caller nothing.
//
// The segment query reuses the boundary cut of the plane queries: a line on
// the facet's projection pair gives every vertex a signed distance, and the
// same walk (runs along the line, in-line edges, crossings, each contour on
// its own) records where the boundary meets it.
//
// An inner point is inside by an exact even-odd count (orientation signs
// computed exactly), never on the boundary, and whenever the facet allows
// it more than 1e-6 from every edge, so that tolerant tests agree; a spread
// point always is (it has no fallback).

#include "Geometry/mesh/G3Facet.h"

#include "Geometry/boolean/G3Interval.h"
#include "Geometry/boolean/G3IntervalList.h"
#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/math/GEnvelope.h"
#include "Geometry/math/GTolerance.h"
#include "Geometry/mesh/G3Edge.h"
#include "Geometry/mesh/G3FacetIterators.h"
#include "Geometry/mesh/G3FacetTree.h"
#include "Geometry/mesh/G3Point.h"
#include "Geometry/mesh/G3Vertex.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

bool ValidAxis(int k) { return k >= 0 && k < 3; }

// a*p[i] + b*p[j] + c: the line through a segment on a projection pair,
// (a, b) its unit normal.
struct ProjectedLine {
    int i;
    int j;
    double a;
    double b;
    double c;
};

double LineValue(const double* xyz, const void* context)
{
    const ProjectedLine* l = static_cast<const ProjectedLine*>(context);
    return l->a * xyz[l->i] + l->b * xyz[l->j] + l->c;
}

// ------------------------------------------------------ inner point search

// A facet's boundary as points with contour ranges: contour k holds
// pts[begin[k]] .. pts[begin[k + 1] - 1], closed back to its first point.
struct Contours {
    std::vector<const G3Point*> pts;
    std::vector<int> begin; // one more entry than there are contours

    // The last contour starting at or before point k (0 when none does).
    int ContourOf(int k) const
    {
        const int last = static_cast<int>(begin.size()) - 2;
        if (last <= 0)
            return last;
        const auto after = std::upper_bound(begin.begin(), begin.begin() + last + 1, k);
        const int c = static_cast<int>(after - begin.begin()) - 1;
        return c < 0 ? 0 : c;
    }
};

// Whether a candidate lies in the facet, and on its boundary.
class InsideTest {
public:
    virtual ~InsideTest() = default;
    virtual bool Inside(const double* c, bool* onBoundary) const = 0;
};

// --- exact orientation

// a * b as the rounded product and its exact error.
void TwoProduct(double a, double b, double* p, double* e)
{
    *p = a * b;
    *e = std::fma(a, b, -*p);
}

// a + b as the rounded sum and its exact error.
void TwoSum(double a, double b, double* s, double* e)
{
    *s = a + b;
    const double bv = *s - a;
    *e = (a - (*s - bv)) + (b - bv);
}

// Sign of the exact sum of `terms`: they are added into a nonoverlapping
// expansion (every addition exact), whose largest component has the sign of
// the whole.
int ExactSumSign(const double* terms, int n)
{
    double expansion[16];
    int size = 0;
    for (int t = 0; t < n; ++t) {
        double q = terms[t];
        int kept = 0;
        for (int k = 0; k < size; ++k) {
            double sum, err;
            TwoSum(q, expansion[k], &sum, &err);
            q = sum;
            if (err != 0.0)
                expansion[kept++] = err;
        }
        if (q != 0.0 || kept == 0)
            expansion[kept++] = q;
        size = kept;
    }
    for (int k = size - 1; k >= 0; --k)
        if (expansion[k] != 0.0)
            return expansion[k] > 0.0 ? 1 : -1;
    return 0;
}

// The sign of the orientation of (a, b, c) on the pair (i, j), exactly:
// positive when c lies to the left of a -> b. The plain determinant decides
// when it exceeds its rounding bound; otherwise the six coordinate products
// it expands to are summed exactly. Coordinates that are not finite give 0.
int Orientation(const double* a, const double* b, const double* c, int i, int j)
{
    const double left = (b[i] - a[i]) * (c[j] - a[j]);
    const double right = (b[j] - a[j]) * (c[i] - a[i]);
    const double det = left - right;
    if (!std::isfinite(det))
        return 0;
    const double bound = 3.3306690738754716e-16 * (std::fabs(left) + std::fabs(right));
    if (det > bound)
        return 1;
    if (det < -bound)
        return -1;
    // det = bx cy - bx ay - ax cy - by cx + by ax + ay cx
    const double factors[6][2] = {{b[i], c[j]},  {-b[i], a[j]}, {-a[i], c[j]},
                                  {-b[j], c[i]}, {b[j], a[i]},  {a[j], c[i]}};
    double terms[12];
    for (int k = 0; k < 6; ++k)
        TwoProduct(factors[k][0], factors[k][1], &terms[2 * k], &terms[2 * k + 1]);
    for (double t : terms)
        if (!std::isfinite(t))
            return 0;
    return ExactSumSign(terms, 12);
}

// Inside by an exact even-odd count over the contours (each closed on its
// own), with the point exactly on an edge counted as outside; the candidate
// is on the boundary for the search when it lies within 1e-6 of any edge,
// where a tolerant test elsewhere in the kernel could read it either way.
//
// A contour whose box, widened by the tolerance, leaves the candidate out
// is passed over: it holds no edge within the tolerance, and a closed
// contour the candidate lies outside adds an even count. So a facet with
// many holes costs a box test per hole and a walk of the few near the
// candidate.
class ClearInside : public InsideTest {
public:
    ClearInside(const Contours& poly, int i, int j) : poly(poly), i(i), j(j)
    {
        const int contours = static_cast<int>(poly.begin.size()) - 1;
        for (int k = 0; k < contours; ++k) {
            Box b{HUGE_VAL, -HUGE_VAL, HUGE_VAL, -HUGE_VAL};
            for (int e = poly.begin[k]; e < poly.begin[k + 1]; ++e) {
                const double* p = poly.pts[e]->GetXYZ();
                if (!std::isfinite(p[i]) || !std::isfinite(p[j])) {
                    b = Box{-HUGE_VAL, HUGE_VAL, -HUGE_VAL, HUGE_VAL};
                    break;
                }
                b.i0 = std::fmin(b.i0, p[i]);
                b.i1 = std::fmax(b.i1, p[i]);
                b.j0 = std::fmin(b.j0, p[j]);
                b.j1 = std::fmax(b.j1, p[j]);
            }
            boxes.push_back(b);
        }
        // A face holed by thousands of openings (the plane's background in
        // a section) is asked about candidate after candidate: its contour
        // boxes go into a tree, which names the few not clear of each.
        bool finite = contours >= kTreeContours;
        for (const Box& b : boxes)
            finite = finite && std::isfinite(b.i0) && std::isfinite(b.i1) && std::isfinite(b.j0) && std::isfinite(b.j1);
        if (finite) {
            for (const Box& b : boxes) {
                GEnvelope e;
                e.Init(b.i0, b.j0, 0.0, b.i1, b.j1, 0.0);
                tree.Add(nullptr, e, GTolerance::kInFacet);
            }
            tree.Build();
        }
    }
    bool Inside(const double* c, bool* onBoundary) const override
    {
        *onBoundary = true;
        if (!std::isfinite(c[i]) || !std::isfinite(c[j]))
            return false;
        bool odd = false;
        bool near = false;
        // The contours not clear of c, in contour order; the answer does
        // not depend on the order, as every early answer is the same.
        const int contours = static_cast<int>(poly.begin.size()) - 1;
        const bool indexed = tree.GetFacetCount() > 0;
        if (indexed) {
            const double at[3] = {c[i], c[j], 0.0};
            tree.ItemsAlong(at, at, near_);
        }
        const int count = indexed ? static_cast<int>(near_.size()) : contours;
        for (int m = 0; m < count; ++m) {
            const int k = indexed ? near_[static_cast<std::size_t>(m)] : m;
            if (Clear(boxes[k], c))
                continue;
            const int b0 = poly.begin[k];
            const int n = poly.begin[k + 1] - b0;
            for (int e = 0; e < n; ++e) {
                const double* p = poly.pts[b0 + e]->GetXYZ();
                const double* q = poly.pts[b0 + (e + 1) % n]->GetXYZ();
                if (!near && !(Distance(c, p, q) >= GTolerance::kInFacet))
                    near = true;
                const int o = Orientation(p, q, c, i, j);
                if (o == 0 && Between(c, p, q))
                    return false; // exactly on the boundary
                // The edge crosses the level of c (half-open on j) to the
                // right of c: c lies to the left of an upward edge, to the
                // right of a downward one.
                const bool upward = q[j] > p[j];
                if ((p[j] > c[j]) != (q[j] > c[j]) && o == (upward ? 1 : -1))
                    odd = !odd;
            }
        }
        *onBoundary = near;
        return odd;
    }

private:
    struct Box {
        double i0, i1, j0, j1;
    };
    // Facets with this many contours or more get the tree.
    static constexpr int kTreeContours = 64;

    // c lies farther than the tolerance outside the box (the box of a
    // contour with a corner that is not finite is the whole plane).
    bool Clear(const Box& b, const double* c) const
    {
        const double t = GTolerance::kInFacet;
        return c[i] < b.i0 - t || c[i] > b.i1 + t || c[j] < b.j0 - t || c[j] > b.j1 + t;
    }

    // c, collinear with p and q, lies between them.
    bool Between(const double* c, const double* p, const double* q) const
    {
        return std::fmin(p[i], q[i]) <= c[i] && c[i] <= std::fmax(p[i], q[i]) && std::fmin(p[j], q[j]) <= c[j] &&
               c[j] <= std::fmax(p[j], q[j]);
    }

    // Distance from c to the segment p-q on the pair (i, j).
    double Distance(const double* c, const double* p, const double* q) const
    {
        const double dx = q[i] - p[i], dy = q[j] - p[j];
        const double len2 = dx * dx + dy * dy;
        double t = len2 > 0.0 ? ((c[i] - p[i]) * dx + (c[j] - p[j]) * dy) / len2 : 0.0;
        t = std::fmin(1.0, std::fmax(0.0, t));
        return std::hypot(c[i] - (p[i] + t * dx), c[j] - (p[j] + t * dy));
    }

    const Contours& poly;
    int i;
    int j;
    std::vector<Box> boxes; // per contour, on (i, j)
    G3FacetTree tree;       // over the boxes, for facets of many contours
    mutable std::vector<int> near_;
};

void Centroid(const double* a, const double* b, const double* c, double* out)
{
    for (int k = 0; k < 3; ++k)
        out[k] = (a[k] + b[k] + c[k]) / 3.0;
}

// A crossing of the scan line with a boundary edge: its position on the
// line and the third coordinate there.
struct ScanHit {
    double u;
    double w;
};

// A scan line at v on axis j, strictly between two vertex values, meets no
// vertex; between its crossings taken in pairs it runs inside the polygon.
// The widest such span on the line through the widest gap is tried first.
bool ScanLinePoint(int i, int j, const Contours& poly, const InsideTest& test, double* out)
{
    const int w = 3 - i - j;
    if (w < 0 || w > 2 || i == j)
        return false;
    std::vector<double> levels;
    for (const G3Point* p : poly.pts) {
        const double v = p->GetXYZ()[j];
        if (std::isfinite(v))
            levels.push_back(v);
    }
    std::sort(levels.begin(), levels.end());
    levels.erase(std::unique(levels.begin(), levels.end()), levels.end());

    struct Gap {
        double width;
        double mid;
    };
    std::vector<Gap> gaps;
    for (size_t k = 0; k + 1 < levels.size(); ++k)
        if (levels[k + 1] - levels[k] > 2e-6)
            gaps.push_back({levels[k + 1] - levels[k], 0.5 * levels[k] + 0.5 * levels[k + 1]});
    // Widest first; equal widths lowest first, so the choice is reproducible.
    std::sort(gaps.begin(), gaps.end(), [](const Gap& a, const Gap& b) {
        return a.width != b.width ? a.width > b.width : a.mid < b.mid;
    });

    const int tries = std::min<int>(static_cast<int>(gaps.size()), 16);
    std::vector<ScanHit> hits;
    for (int g = 0; g < tries; ++g) {
        const double v = gaps[g].mid;
        hits.clear();
        const int contours = static_cast<int>(poly.begin.size()) - 1;
        for (int c = 0; c < contours; ++c) {
            const int b0 = poly.begin[c];
            const int n = poly.begin[c + 1] - b0;
            for (int k = 0; k < n; ++k) {
                const double* p = poly.pts[b0 + k]->GetXYZ();
                const double* q = poly.pts[b0 + (k + 1) % n]->GetXYZ();
                if ((p[j] < v) == (q[j] < v))
                    continue;
                const double t = (v - p[j]) / (q[j] - p[j]);
                const ScanHit h = {p[i] + (q[i] - p[i]) * t, p[w] + (q[w] - p[w]) * t};
                if (std::isfinite(h.u) && std::isfinite(h.w))
                    hits.push_back(h);
            }
        }
        std::sort(hits.begin(), hits.end(), [](const ScanHit& a, const ScanHit& b) { return a.u < b.u; });
        int best = -1;
        for (int k = 0; k + 1 < static_cast<int>(hits.size()); k += 2)
            if (best < 0 || hits[k + 1].u - hits[k].u > hits[best + 1].u - hits[best].u)
                best = k;
        if (best < 0)
            continue;
        double c[3];
        c[i] = 0.5 * hits[best].u + 0.5 * hits[best + 1].u;
        c[j] = v;
        c[w] = 0.5 * hits[best].w + 0.5 * hits[best + 1].w;
        bool onBoundary = false;
        if (test.Inside(c, &onBoundary) && !onBoundary) {
            for (int k = 0; k < 3; ++k)
                out[k] = c[k];
            return true;
        }
    }
    return false;
}

// Centroids of three consecutive corners of a contour, the last triple
// first; the first inside and clear of every edge wins (a candidate within
// the tolerance of an edge is passed over for the next). The centroids of
// triangles that fall in a hole or outside, or near the boundary, can leave
// no answer even for a sound facet (a thin frame around a large hole), so a
// scan line looks for an inner point before a centroid that is inside but
// near the boundary is accepted.
// `skip` strict inner centroids are passed over first: another point of
// the same facet, for a caller whose first one told nothing.
bool FindInnerPoint(int i, int j, const Contours& poly, const InsideTest& test, double* p, int skip = 0)
{
    if (!p || !ValidAxis(i) || !ValidAxis(j) || i == j)
        return false;
    const int n = static_cast<int>(poly.pts.size());
    bool kept = false;
    double keptPoint[3] = {0.0, 0.0, 0.0};
    for (int k = n - 1; k >= 0; --k) {
        const int c = poly.ContourOf(k);
        const int b0 = poly.begin[c];
        const int m = poly.begin[c + 1] - b0;
        if (m < 3)
            continue;
        const int local = k - b0;
        double centre[3];
        Centroid(poly.pts[k]->GetXYZ(), poly.pts[b0 + (local + 1) % m]->GetXYZ(),
                 poly.pts[b0 + (local + 2) % m]->GetXYZ(), centre);
        bool onBoundary = false;
        if (!test.Inside(centre, &onBoundary))
            continue;
        if (!onBoundary && skip-- == 0) {
            for (int q = 0; q < 3; ++q)
                p[q] = centre[q];
            return true;
        }
        if (!onBoundary)
            continue;
        kept = true;
        for (int q = 0; q < 3; ++q)
            keptPoint[q] = centre[q];
    }
    if (ScanLinePoint(i, j, poly, test, p))
        return true;
    if (!kept)
        return false;
    for (int q = 0; q < 3; ++q)
        p[q] = keptPoint[q];
    return true;
}

// Weights of the corners of a triple for the spread points: toward each
// corner along its median, then off every median, so that no line through
// the centroid holds two of the six points of a triangle (an edge of the
// other solid through the centroid spoils one at most). Quarters and
// eighths, exact in binary.
constexpr double kSpreadWeights[6][3] = {
    {0.5, 0.25, 0.25}, {0.25, 0.5, 0.25}, {0.25, 0.25, 0.5},
    {0.5, 0.375, 0.125}, {0.125, 0.5, 0.375}, {0.375, 0.125, 0.5},
};

// Points off the corner centroids: weighted points of three consecutive
// corners of a contour (the last triple first, as FindInnerPoint goes), the
// `skip`-th one inside and clear of every edge. A contour of three corners
// gives its triangle once (its other starts give the same points). No
// fallback: false when fewer are left.
bool FindSpreadPoint(int i, int j, const Contours& poly, const InsideTest& test, double* p, int skip)
{
    if (!p || !ValidAxis(i) || !ValidAxis(j) || i == j)
        return false;
    const int n = static_cast<int>(poly.pts.size());
    for (int k = n - 1; k >= 0; --k) {
        const int c = poly.ContourOf(k);
        const int b0 = poly.begin[c];
        const int m = poly.begin[c + 1] - b0;
        const int local = k - b0;
        if (m < 3 || (m == 3 && local != 2))
            continue;
        const double* corner[3] = {poly.pts[k]->GetXYZ(), poly.pts[b0 + (local + 1) % m]->GetXYZ(),
                                   poly.pts[b0 + (local + 2) % m]->GetXYZ()};
        for (const auto& w : kSpreadWeights) {
            double point[3];
            for (int q = 0; q < 3; ++q)
                point[q] = w[0] * corner[0][q] + w[1] * corner[1][q] + w[2] * corner[2][q];
            bool onBoundary = false;
            if (!test.Inside(point, &onBoundary) || onBoundary || skip-- != 0)
                continue;
            for (int q = 0; q < 3; ++q)
                p[q] = point[q];
            return true;
        }
    }
    return false;
}

// The facet's contours as its walk gives them; false below three corners.
bool ReadContours(G3Facet* f, Contours* poly)
{
    G3ContourWalker w(f);
    bool opening = false;
    while (w.Next()) {
        opening = opening || w.Opens();
        G3Vertex* v = w.GetEntry();
        if (!v)
            continue;
        if (opening)
            poly->begin.push_back(static_cast<int>(poly->pts.size()));
        opening = false;
        poly->pts.push_back(v);
    }
    poly->begin.push_back(static_cast<int>(poly->pts.size()));
    return poly->pts.size() >= 3;
}

} // namespace

// -------------------------------------------------- segment parts in facet

bool G3Facet::FindIntervalsLieInFacet(const double* p1, const double* p2, G3IntervalList* out)
{
    if (out)
        out->Clear();
    if (!firstEdge || !p1 || !p2)
        return false;
    int i = 0;
    int j = 1;
    GetMaxCoo(&i, &j);
    if (!ValidAxis(i) || !ValidAxis(j))
        return false;
    const double du = p2[i] - p1[i];
    const double dv = p2[j] - p1[j];
    const double length = std::sqrt(du * du + dv * dv);
    if (!(length >= GTolerance::kZeroLength))
        return false; // too short to give the line a direction (or not finite)

    ProjectedLine line;
    line.i = i;
    line.j = j;
    line.a = dv / length;
    line.b = -du / length;
    line.c = -(line.a * p1[i] + line.b * p1[j]);

    G3IntervalList scratch;
    G3IntervalList* list = out ? out : &scratch;
    IntersectBoundary(LineValue, &line, list);
    if (list->IsEmpty())
        return false;
    list->BuildIntervals();
    G3Interval segment(p1, p2);
    list->Intersect(&segment);
    return list->GetIntervalCount() > 0;
}

// ------------------------------------------------- overlap of two facets

namespace {

// Appends to `out` the parts of `edges`' single edges (within `owner`) that
// lie in `facet`; true when any did.
bool CollectEdgesInFacet(G3Facet* facet, G3Facet* owner, G3IntervalList* out)
{
    GArrayCollection edges;
    owner->GetEdges(&edges);
    G3IntervalList scratch;
    bool found = false;
    for (int k = 0; k < edges.size(); ++k) {
        G3Edge* e = static_cast<G3Edge*>(edges.get(k));
        G3Vertex* a = e->GetVertex1();
        G3Vertex* b = e->GetVertex2();
        if (!a || !b || a->GetEdgeCount(b, owner) != 1)
            continue;
        if (facet->FindIntervalsLieInFacet(a->GetXYZ(), b->GetXYZ(), &scratch)) {
            out->Copy(&scratch);
            found = true;
        }
    }
    return found;
}

} // namespace

bool G3Facet::FindFacetsIntersection(G3Facet* other, G3IntervalList* out)
{
    G3IntervalList scratch;
    G3IntervalList* list = out ? out : &scratch;
    list->Clear();
    if (!other)
        return false;
    if (!CollectEdgesInFacet(this, other, list))
        return false;
    CollectEdgesInFacet(other, this, list);
    return true;
}

// ------------------------------------------------------------ inner point

bool G3Facet::GeneratePointInFacetConcave(int i, int j, double* const p) { return GenerateOtherPointInFacet(i, j, 0, p); }

bool G3Facet::GenerateOtherPointInFacet(int i, int j, int skip, double* const p)
{
    Contours poly;
    if (!ReadContours(this, &poly))
        return false;
    const ClearInside test(poly, i, j);
    return FindInnerPoint(i, j, poly, test, p, skip);
}

bool G3Facet::GenerateSpreadPointInFacet(int i, int j, int skip, double* const p)
{
    Contours poly;
    if (!ReadContours(this, &poly))
        return false;
    const ClearInside test(poly, i, j);
    return FindSpreadPoint(i, j, poly, test, p, skip);
}

bool G3Facet::GeneratePointInFacetConcave(int i, int j, double* const p, GArrayCollection* vertices)
{
    if (!vertices)
        return false;
    Contours poly;
    for (int k = 0; k < vertices->size(); ++k)
        if (const G3Point* pt = dynamic_cast<const G3Point*>(vertices->get(k)))
            poly.pts.push_back(pt);
    if (poly.pts.size() < 3)
        return false;
    poly.begin.push_back(0);
    poly.begin.push_back(static_cast<int>(poly.pts.size()));
    const ClearInside test(poly, i, j);
    return FindInnerPoint(i, j, poly, test, p);
}
