#pragma once
// A pooled record the host uses to keep display state for a drawn object.

#include "Geometry/foundation/GArrayCollection.h"
#include "Geometry/foundation/GHeap.h"

class GRenderGraphicStoreInfo : public GObj {
    G_DECLARE_POOL(GRenderGraphicStoreInfo)
public:
    GRenderGraphicStoreInfo(int renderId, int layerId);
    // Copies every field; the luminance-frames collection is copied too, so
    // each record owns (and deletes) its own.
    GRenderGraphicStoreInfo(const GRenderGraphicStoreInfo& other);
    GRenderGraphicStoreInfo& operator=(const GRenderGraphicStoreInfo& other);
    ~GRenderGraphicStoreInfo() override;

    int GetRenderId() const { return renderId; }
    int GetLayerId() const { return layerId; }
    int GetLayerDrawing() const { return layerDrawing; }
    void SetLayerDrawing(int v) { layerDrawing = v; }
    int GetListPos() const { return listPos; }
    void SetListPos(int v) { listPos = v; }
    int GetGraphic() const { return graphic; }
    void SetGraphic(int v) { graphic = v; }
    int GetColor() const { return color; }
    void SetColor(int v) { color = v; }
    double GetPenWidth() const { return penWidth; }
    void SetPenWidth(double v) { penWidth = v; }
    GArrayCollection* GetLuminanceFrames() const { return luminanceFrames; }
    // Takes ownership of `frames`, deleting the collection held before.
    void SetLuminanceFrames(GArrayCollection* frames);
    long GetGraphicID() const { return graphicID; }
    void SetGraphicID(long v) { graphicID = v; }
    void SetVisible(bool v) { visible = v; }
    void SetVisibleInViewport(bool v) { visibleInViewport = v; }
    bool GetVisible() const { return visible && visibleInViewport; }

private:
    GRenderGraphicStoreInfo();
    void CopyFields(const GRenderGraphicStoreInfo& other);

    int renderId = 0;
    int graphic = 0;
    int listPos = 0;
    int color = 0;
    int layerId = 0;
    int layerDrawing = 0;
    double penWidth = 0.0;
    GArrayCollection* luminanceFrames = nullptr;
    long graphicID = 0;
    bool visible = true;
    bool visibleInViewport = true;
};
