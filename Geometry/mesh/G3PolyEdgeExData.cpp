// The extended edge data of polyedges, kept through an object provider of
// the kernel so that it follows polyedges through copies and
// transformations like any host provider's records.

#include "Geometry/math/GMatrix.h"
#include "Geometry/mesh/G3ExDataProvider.h"
#include "Geometry/mesh/G3Obj.h"
#include "Geometry/mesh/G3PolyEdge.h"

#include <atomic>
#include <cstring>

namespace {

struct G3PolyEdgeExRecord {
    double points[4][3];
    double matrix[4][4];
    void* graphic;
};

class G3PolyEdgeExDataProvider : public G3ExDataProvider {
public:
    // Created and listed on first use; never deleted, since objects
    // destroyed at exit may still release records through it.
    static G3PolyEdgeExDataProvider* Get()
    {
        static G3PolyEdgeExDataProvider* const provider = [] {
            G3PolyEdgeExDataProvider* p = new G3PolyEdgeExDataProvider();
            G3Obj::AddProvider(p);
            instance.store(p, std::memory_order_release);
            return p;
        }();
        return provider;
    }

    // The record of `o`; null (and no provider created) when none exists.
    static G3PolyEdgeExRecord* RecordOf(const G3Obj* o)
    {
        const G3PolyEdgeExDataProvider* p = instance.load(std::memory_order_acquire);
        return p ? static_cast<G3PolyEdgeExRecord*>(o->GetOutExData(p)) : nullptr;
    }

    void ReleaseRecord(void* record) override { delete static_cast<G3PolyEdgeExRecord*>(record); }

    // Polyedges opened while a source with a record is current get a copy.
    void OpenRecord(G3Obj* object) override
    {
        if (hasCurrent && dynamic_cast<G3PolyEdge*>(object))
            Store(object, current);
    }
    void SetSource(G3Obj* source) override
    {
        const G3PolyEdgeExRecord* r = source ? RecordOf(source) : nullptr;
        hasCurrent = r != nullptr;
        if (r)
            current = *r;
    }
    void TransformRecord(G3Obj* object, double m[4][4]) override
    {
        G3PolyEdgeExRecord* r = object ? RecordOf(object) : nullptr;
        if (!r || !m)
            return;
        for (double* p : r->points) {
            double out[3];
            V3MulPointByMatrix(p, m, out);
            std::memcpy(p, out, sizeof out);
        }
        // Row vectors: the stored placement first, then m.
        double out[4][4];
        for (int i = 0; i < 4; ++i)
            for (int j = 0; j < 4; ++j) {
                double sum = 0.0;
                for (int k = 0; k < 4; ++k)
                    sum += r->matrix[i][k] * m[k][j];
                out[i][j] = sum;
            }
        std::memcpy(r->matrix, out, sizeof out);
    }
    void CopyRecord(G3Obj* destination, G3Obj* source) override
    {
        if (!destination || !source || destination == source)
            return;
        if (const G3PolyEdgeExRecord* r = RecordOf(source))
            Store(destination, *r);
    }

    void Store(G3Obj* object, const G3PolyEdgeExRecord& value)
    {
        if (G3PolyEdgeExRecord* r = RecordOf(object))
            *r = value;
        else
            object->SetOutExData(this, new G3PolyEdgeExRecord(value));
    }

private:
    G3PolyEdgeExDataProvider() = default;
    static std::atomic<G3PolyEdgeExDataProvider*> instance;
    G3PolyEdgeExRecord current{};
    bool hasCurrent = false;
};

std::atomic<G3PolyEdgeExDataProvider*> G3PolyEdgeExDataProvider::instance{nullptr};

} // namespace

void G3PolyEdge::SetExtEdgeData(const double points[4][3], const double matrix[4][4])
{
    G3PolyEdgeExDataProvider* provider = G3PolyEdgeExDataProvider::Get();
    G3PolyEdgeExRecord value{};
    if (const G3PolyEdgeExRecord* old = G3PolyEdgeExDataProvider::RecordOf(this))
        value.graphic = old->graphic;
    if (points)
        std::memcpy(value.points, points, sizeof value.points);
    if (matrix)
        std::memcpy(value.matrix, matrix, sizeof value.matrix);
    else
        M4Identity(value.matrix);
    provider->Store(this, value);
}

bool G3PolyEdge::GetExtEdgeData(double points[4][3], double matrix[4][4]) const
{
    const G3PolyEdgeExRecord* r = G3PolyEdgeExDataProvider::RecordOf(this);
    if (!r)
        return false;
    if (points)
        std::memcpy(points, r->points, sizeof r->points);
    if (matrix)
        std::memcpy(matrix, r->matrix, sizeof r->matrix);
    return true;
}

void* G3PolyEdge::GetGraphic() const
{
    const G3PolyEdgeExRecord* r = G3PolyEdgeExDataProvider::RecordOf(this);
    return r ? r->graphic : nullptr;
}

bool G3PolyEdge::SetGraphic(void* graphic)
{
    G3PolyEdgeExRecord* r = G3PolyEdgeExDataProvider::RecordOf(this);
    if (!r)
        return false;
    r->graphic = graphic;
    return true;
}
