#include "Geometry/foundation/GRenderGraphicStoreInfo.h"

G_DEFINE_POOL(GRenderGraphicStoreInfo, "GRenderGraphicStoreInfo", 8192)

GRenderGraphicStoreInfo::GRenderGraphicStoreInfo() = default;

GRenderGraphicStoreInfo::GRenderGraphicStoreInfo(int render, int layer) : renderId(render), layerId(layer) {}

GRenderGraphicStoreInfo::GRenderGraphicStoreInfo(const GRenderGraphicStoreInfo& other) : GObj(other)
{
    CopyFields(other);
}

GRenderGraphicStoreInfo& GRenderGraphicStoreInfo::operator=(const GRenderGraphicStoreInfo& other)
{
    if (this != &other) {
        GObj::operator=(other);
        delete luminanceFrames;
        luminanceFrames = nullptr;
        CopyFields(other);
    }
    return *this;
}

GRenderGraphicStoreInfo::~GRenderGraphicStoreInfo() { delete luminanceFrames; }

void GRenderGraphicStoreInfo::CopyFields(const GRenderGraphicStoreInfo& o)
{
    renderId = o.renderId;
    graphic = o.graphic;
    listPos = o.listPos;
    color = o.color;
    layerId = o.layerId;
    layerDrawing = o.layerDrawing;
    penWidth = o.penWidth;
    luminanceFrames = o.luminanceFrames ? new GArrayCollection(*o.luminanceFrames) : nullptr;
    graphicID = o.graphicID;
    visible = o.visible;
    visibleInViewport = o.visibleInViewport;
}

void GRenderGraphicStoreInfo::SetLuminanceFrames(GArrayCollection* frames)
{
    if (frames == luminanceFrames)
        return;
    delete luminanceFrames;
    luminanceFrames = frames;
}
