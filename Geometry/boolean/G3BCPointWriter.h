#pragma once
// Receiver of the points where a query segment meets the facets of a surface
// (G3BooleanCalculator::FindIntersections). The host derives from it.

class G3Facet;

class G3BCPointWriter {
public:
    G3BCPointWriter() = default;
    G3BCPointWriter(const G3BCPointWriter&) = default;
    G3BCPointWriter& operator=(const G3BCPointWriter&) = default;

    // One point where the segment meets `facet`.
    virtual void WritePoint(const double* point, G3Facet* facet) = 0;

    virtual ~G3BCPointWriter() = default;
};
