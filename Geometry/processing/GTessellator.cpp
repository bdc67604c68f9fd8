#include "Geometry/processing/GTessellator.h"

#include "Geometry/mesh/G3Point.h"

#include <GL/glu.h>

// GLU's callback type differs between headers (a variadic or an empty
// parameter list); the registered functions are cast to it.
#ifndef CALLBACK
#define CALLBACK
#endif
typedef void(CALLBACK* GTessCallback)();

namespace {

GTessellator* Owner(void* polygonData) { return static_cast<GTessellator*>(polygonData); }

void CALLBACK BeginData(GLenum type, void* polygonData) { Owner(polygonData)->OnBegin(static_cast<int>(type)); }
void CALLBACK VertexData(void* vertexData, void* polygonData) { Owner(polygonData)->OnVertex(vertexData); }
void CALLBACK EndData(void* polygonData) { Owner(polygonData)->OnEnd(); }
void CALLBACK ErrorData(GLenum code, void* polygonData) { Owner(polygonData)->OnError(static_cast<int>(code)); }

GLUtesselator* Glu(void* t) { return static_cast<GLUtesselator*>(t); }

} // namespace

GTessellator::GTessellator()
{
    GLUtesselator* t = gluNewTess();
    if (!t)
        return;
    gluTessCallback(t, GLU_TESS_BEGIN_DATA, reinterpret_cast<GTessCallback>(&BeginData));
    gluTessCallback(t, GLU_TESS_VERTEX_DATA, reinterpret_cast<GTessCallback>(&VertexData));
    gluTessCallback(t, GLU_TESS_END_DATA, reinterpret_cast<GTessCallback>(&EndData));
    gluTessCallback(t, GLU_TESS_ERROR_DATA, reinterpret_cast<GTessCallback>(&ErrorData));
    tess = t;
}

GTessellator::~GTessellator()
{
    if (tess) {
        // A polygon left open (no EndPolygon) is abandoned, not emitted.
        gluDeleteTess(Glu(tess));
    }
}

void GTessellator::BeginPolygon()
{
    pending = 0;
    stripIndex = 0;
    first = second = nullptr;
    errorCode = 0;
    if (!tess || inPolygon)
        return;
    gluTessBeginPolygon(Glu(tess), this);
    inPolygon = true;
    inContour = false;
}

void GTessellator::Begin(int, int) { BeginPolygon(); }

void GTessellator::AddVertex(G3Point* p, void* data)
{
    if (!tess || !inPolygon || !p)
        return;
    if (!inContour) {
        gluTessBeginContour(Glu(tess));
        inContour = true;
    }
    // GLU copies the coordinates at once.
    gluTessVertex(Glu(tess), p->GetXYZ(), data);
}

void GTessellator::NextContour()
{
    if (tess && inContour) {
        gluTessEndContour(Glu(tess));
        inContour = false;
    }
}

void GTessellator::EndPolygon()
{
    if (!tess || !inPolygon)
        return;
    NextContour();
    gluTessEndPolygon(Glu(tess));
    inPolygon = false;
}

void GTessellator::AddTriangle(void*, void*, void*) {}

void GTessellator::OnBegin(int type)
{
    primitiveType = type;
    pending = 0;
    stripIndex = 0;
}

void GTessellator::OnVertex(void* data)
{
    if (!data) {
        // Only a vertex GLU made itself comes without data.
        if (!errorCode)
            errorCode = -1;
        return;
    }
    if (pending < 2) {
        if (pending == 0)
            first = data;
        else
            second = data;
        ++pending;
        return;
    }
    switch (primitiveType) {
    case GL_TRIANGLES:
        AddTriangle(first, second, data);
        pending = 0;
        break;
    case GL_TRIANGLE_STRIP:
        // Every second strip triangle is turned back to keep the strip's
        // orientation.
        if ((stripIndex & 1) == 0)
            AddTriangle(first, second, data);
        else
            AddTriangle(data, second, first);
        ++stripIndex;
        first = second;
        second = data;
        break;
    case GL_TRIANGLE_FAN:
        AddTriangle(first, second, data);
        second = data;
        break;
    default:
        break;
    }
}

void GTessellator::OnEnd()
{
    pending = 0;
    EndPrimitive();
}

void GTessellator::OnError(int code)
{
    if (!errorCode)
        errorCode = code ? code : -1;
}

void G3FacetTessellator::AddTriangle(void* a, void* b, void* c)
{
    triangles.add(static_cast<GObj*>(a));
    triangles.add(static_cast<GObj*>(b));
    triangles.add(static_cast<GObj*>(c));
}
