#pragma once
// Receivers of picking hits: the picking form of
// G3BooleanCalculator::TestRayAndFacetList reports every facet, edge and
// vertex its ray meets to a G3RayTraceResult. G3RayTraceMetricResult keeps
// the nearest hit and every facet and object hit in order of distance from
// the eye.

class G3Edge;
class G3Facet;
class G3Vertex;

class G3RayTraceResult {
public:
    virtual ~G3RayTraceResult() = default;
    virtual bool SetEyePosition(double x, double y, double z) = 0;
    virtual bool FindFacet(const double* point, const double* normal, const double* curvAxis1,
                           const double* curvAxis2, G3Facet* facet) = 0;
    virtual bool FindObject(const double* point, const double* normal, const double* curvAxis1,
                            const double* curvAxis2, void* object, void* modelerData) = 0;
    virtual bool FindEdge(const double* point, const double* normal, G3Edge* edge) = 0;
    virtual bool FindVertex(const double* point, const double* normal, G3Vertex* vertex) = 0;
};

class G3RayTraceMetricResult : public G3RayTraceResult {
public:
    enum HitKind : int { HIT_NONE = 0, HIT_FACET = 1, HIT_EDGE = 2, HIT_VERTEX = 3, HIT_OBJECT = 4 };

    // One facet or object hit, in the list ascending by distance.
    struct Hit {
        double distance = 0.0;
        double point[3] = {0.0, 0.0, 0.0};
        double normal[3] = {0.0, 0.0, 0.0};
        double curvAxis1[3] = {0.0, 0.0, 0.0};
        double curvAxis2[3] = {0.0, 0.0, 0.0};
        G3Facet* facet = nullptr;
        void* object = nullptr;
        void* modelerData = nullptr;
        int reserved = 0;
        Hit* next = nullptr;
    };

    // No hit yet (distance -1), the eye at the origin until SetEyePosition.
    G3RayTraceMetricResult();
    // The same with the eye at `eye` (null: the origin).
    explicit G3RayTraceMetricResult(const double* eye);
    // The hit list is owned: copies would free it twice.
    G3RayTraceMetricResult(const G3RayTraceMetricResult&) = delete;
    G3RayTraceMetricResult& operator=(const G3RayTraceMetricResult&) = delete;
    ~G3RayTraceMetricResult() override;

    bool SetEyePosition(double x, double y, double z) override;
    // Each reported hit is measured from the eye. A facet or object hit
    // joins the list (after the hits at the same distance); any hit that
    // is nearer than the nearest so far becomes the nearest and the call
    // returns true, otherwise it returns false. The nearest hit's facet,
    // edge, object and modeler data describe that hit alone (null where
    // the hit has none). A hit at a null or non-finite point is ignored
    // (false); a null normal or axis counts as zero.
    bool FindFacet(const double* point, const double* normal, const double* curvAxis1, const double* curvAxis2,
                   G3Facet* facet) override;
    bool FindObject(const double* point, const double* normal, const double* curvAxis1, const double* curvAxis2,
                    void* object, void* modelerData) override;
    bool FindEdge(const double* point, const double* normal, G3Edge* edge) override;
    bool FindVertex(const double* point, const double* normal, G3Vertex* vertex) override;

    // Distance of the nearest hit from the eye, -1 when there is none.
    double GetDistance() const { return distance; }
    int GetHitKind() const { return hitKind; }
    double HitPointGetX() const { return hitPoint[0]; }
    double HitPointGetY() const { return hitPoint[1]; }
    double HitPointGetZ() const { return hitPoint[2]; }
    double HitPointNormalGetX() const { return hitPointNormal[0]; }
    double HitPointNormalGetY() const { return hitPointNormal[1]; }
    double HitPointNormalGetZ() const { return hitPointNormal[2]; }
    double HitCurvAxis1GetX() const { return hitCurvAxis1[0]; }
    double HitCurvAxis1GetY() const { return hitCurvAxis1[1]; }
    double HitCurvAxis1GetZ() const { return hitCurvAxis1[2]; }
    double HitCurvAxis2GetX() const { return hitCurvAxis2[0]; }
    double HitCurvAxis2GetY() const { return hitCurvAxis2[1]; }
    double HitCurvAxis2GetZ() const { return hitCurvAxis2[2]; }
    G3Facet* GetHitFacet() const { return hitFacet; }
    G3Edge* GetHitEdge() const { return hitEdge; }
    G3Vertex* GetHitVertex() const { return hitVertex; }
    void* GetObject() const { return object; }
    void* GetModelerData() const { return modelerData; }
    // The facet and object hits, nearest first.
    const Hit* GetHits() const { return hits; }
    const double* GetEye() const { return eye; }

protected:
    // Distance of `point` from the eye, or -1 for a null or non-finite
    // point (such a hit is not taken).
    double Measure(const double* point) const;
    // Inserts a record after the records at the same distance.
    void Insert(Hit* h);
    // Whether a hit at distance d becomes the nearest.
    bool IsNearer(double d) const { return distance < 0.0 || d < distance; }
    // Makes the hit at distance d with this point and normal the nearest,
    // forgetting what the previous nearest hit pointed at.
    void TakeNearest(double d, int kind, const double* point, const double* normal);
    // A hit record at distance d, kept in the distance-ordered list.
    Hit* AddHit(double d, const double* point, const double* normal, const double* curvAxis1,
                const double* curvAxis2);
    // TakeNearest with the curvature axes, when d is nearer; false otherwise.
    bool TakeNearestCurved(double d, int kind, const double* point, const double* normal, const double* curvAxis1,
                           const double* curvAxis2);

    double distance = -1.0;
    double hitPoint[3] = {0.0, 0.0, 0.0};
    double hitPointNormal[3] = {0.0, 0.0, 0.0};
    double hitCurvAxis1[3] = {0.0, 0.0, 0.0};
    double hitCurvAxis2[3] = {0.0, 0.0, 0.0};
    G3Edge* hitEdge = nullptr;
    G3Facet* hitFacet = nullptr;
    G3Vertex* hitVertex = nullptr;
    void* object = nullptr;
    void* modelerData = nullptr;
    int hitKind = HIT_NONE;
    Hit* hits = nullptr;
    double eye[3] = {0.0, 0.0, 0.0};
};
