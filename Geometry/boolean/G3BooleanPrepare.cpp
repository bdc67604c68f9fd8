// Preparation of the two operands of a boolean and its undoing. Invariants:
// - between OpenBoolean() and CloseBoolean() both operands are triangulated
//   where not flat or concave, scaled by kBooleanScale with fresh planes, and
//   carry the engine's working data; envA, envB, envCommon, envAll, clip and
//   radius describe them as they are then;
// - the ray length reaches across the whole of envAll from any point in it
//   (twice its diagonal), so a ray never ends inside either solid;
// - a null operand is never touched;
// - each operand's preparation touches that operand only, so the two run
//   side by side on large operands (G3SideBySide).
// The one place that rounds is the scaling itself (ScaleCoo).
#include "Geometry/boolean/G3BooleanCalculator.h"

#include "Geometry/boolean/G3SideBySide.h"
#include "Geometry/math/GTolerance.h"
#include "Geometry/mesh/G3Surface.h"

#include <cmath>

namespace {

using GTolerance::kBoxMargin;

// The facet merge and triangulation modes of the preparation: every group
// of coplanar facets merged (mask -1), then facets that are not flat
// triangulated (mode 2) with new diagonals of flags 10.
// A scene whose box is this many times longer than it is thin is flat for
// the classification rays.
constexpr double kFlatScene = 4.0;
constexpr int kMergeAllInPlane = -1;
constexpr int kTriangulateNotFlat = 2;
constexpr int kDiagonalFlags = 10;
// The self-intersection repair's cleanup: facets merged across edges of
// flag 8, and the working edge flags 4 and 8 cleared at the end.
constexpr int kMergeAcrossMask = 8;
constexpr int kWorkEdgeFlags = 0xC;

void Prepare(G3Surface* s)
{
    s->UnionInPlaneFacets(kMergeAllInPlane);
    s->Triangulate(kTriangulateNotFlat, kDiagonalFlags);
}

void ScaleAndBox(G3Surface* s, GEnvelope* env, double scale)
{
    s->ScaleCoo(scale);
    s->FormEnvelope(env);
    env->Extend(kBoxMargin);
}

} // namespace

void G3BooleanCalculator::AimRays(const GEnvelope& box)
{
    radius = RayLength(box);
    flatAxis = -1;
    double extent[3];
    for (int k = 0; k < 3; ++k)
        extent[k] = box.max[k] - box.min[k];
    const int thin = extent[0] <= extent[1] ? (extent[0] <= extent[2] ? 0 : 2) : (extent[1] <= extent[2] ? 1 : 2);
    const double longest = std::fmax(extent[0], std::fmax(extent[1], extent[2]));
    if (std::isfinite(longest) && extent[thin] >= 0.0 && kFlatScene * extent[thin] < longest)
        flatAxis = thin;
}

double G3BooleanCalculator::RayLength(const GEnvelope& box)
{
    const double x = box.XSize();
    const double y = box.YSize();
    const double z = box.ZSize();
    return 2.0 * std::sqrt(x * x + y * y + z * z);
}

bool G3BooleanCalculator::OpenBoolean()
{
    if (!A || !B)
        return false;
    G3SideBySide::RunForOperands(
        A, B, [this] { Prepare(A); }, [this] { Prepare(B); });
    AssignNormalsByPlane();
    G3SideBySide::RunForOperands(
        A, B,
        [this] {
            ScaleAndBox(A, &envA, cutScale);
            OpenBooleanFormingPlanes(A);
        },
        [this] {
            ScaleAndBox(B, &envB, cutScale);
            OpenBooleanFormingPlanes(B);
        });
    clip = envA.ClipTestXYZ(&envB);
    if (clip != G_CLIP_DISJOINT) {
        envCommon = envA;
        envCommon.ClipXYZ(&envB, clip);
    } else {
        GEnvelope::InitDefault(&envCommon);
    }
    envAll = envA;
    envAll.Add(&envB);
    AimRays(envAll);
    return true;
}

void G3BooleanCalculator::CloseBoolean()
{
    CloseBoolean(A);
    CloseBoolean(B);
}

void G3BooleanCalculator::AssignNormalsByPlane()
{
    if (!A || !B)
        return;
    const bool a = A->HasGeometry();
    const bool b = B->HasGeometry();
    if (a && !b)
        B->AssignNormalsByPlane();
    else if (b && !a)
        A->AssignNormalsByPlane();
}

void G3BooleanCalculator::ClearWorkEdgeFlags(G3Surface* s, int workFlags)
{
    s->ChangeEdgeFlags(workFlags, false);
    s->SetEdgeFlags(s->GetEdgeFlags() & static_cast<int>(~(workFlags | G3Obj::FLAG_MARK | G3Obj::FLAG_MARK2 |
                                                           G3Obj::FLAG_MARK3 | G3Obj::FLAG_MARK4)));
}

bool G3BooleanCalculator::RemoveSelfIntersection(G3Surface* s)
{
    if (!s)
        return false;
    A = s;
    B = nullptr;
    Prepare(s);
    AssignNormalsByPlane();
    s->FormPlaneEquation();
    s->FormEnvelope(&envA);
    envA.Extend(kBoxMargin);
    envCommon = envA;
    envAll = envA;
    OpenBoolean(s);
    AimRays(envAll);
    DivideSelf();
    MergeSurfaceAndIntersectionTree(s, &envA);
    // The records go before the cleanup passes, which delete and rebuild
    // facets and vertices (closing them first keeps no link into the
    // provider's arena).
    CloseBoolean(s);
    s->RemoveNonManifoldEdges();
    s->RemoveEqualsVertex();
    s->UnionFacets(kMergeAcrossMask);
    s->RemoveUnused();
    ClearWorkEdgeFlags(s, kWorkEdgeFlags);
    if (!s->GetClosed())
        s->ClearSolid();
    A = nullptr;
    return true;
}
