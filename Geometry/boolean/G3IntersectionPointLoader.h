#pragma once
// Receiver of the crossings that G3LineSegmentIntersector finds among its
// segments. The host derives from it.

class G3IntersectionPointLoader {
public:
    G3IntersectionPointLoader() = default;
    G3IntersectionPointLoader(const G3IntersectionPointLoader&) = default;
    G3IntersectionPointLoader& operator=(const G3IntersectionPointLoader&) = default;

    // One crossing at `point` of the segments added with the user data
    // `data1` and `data2`; t1 and t2 are the crossing's parameters along
    // each of them (0 at the segment's first end, 1 at its second).
    virtual void LoadPoint(const double* point, void* data1, void* data2, double t1, double t2) = 0;

    virtual ~G3IntersectionPointLoader() = default;
};
