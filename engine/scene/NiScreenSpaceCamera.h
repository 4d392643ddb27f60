#pragma once

#include "engine/scene/NiBackToFrontAccumulator.h"
#include "engine/scene/NiCamera.h"
#include "engine/scene/NiNode.h"

// A camera set up for pixel-exact 2-D drawing: orthographic, screen y
// growing downwards, with its own scene node (no depth testing or writing)
// and its own back-to-front accumulator.
class NiScreenSpaceCamera : public NiCamera
{
    NiDeclareTypeInfo()
    NiDeclareClone(NiScreenSpaceCamera)

public:
    NiScreenSpaceCamera();
    ~NiScreenSpaceCamera() override;

    static NiObject* CreateObject();

    // One texel per pixel of the renderer's target: the frustum spans the
    // pixel centres and the scene node moves to (0, -height, 1). False
    // without a renderer.
    bool FitToRenderer();

    // As any camera's frame, but the camera's own accumulator stands in for
    // the renderer's, and it runs whether or not there is a scene.
    void RenderFrame() override;

    [[nodiscard]] NiNode* GetScreenNode() const { return NiDynamicCast<NiNode>(m_spScene.Get()); }
    [[nodiscard]] NiAccumulator* GetAccumulator() const { return m_spAccumulator; }

    void FinishClone(NiCloneContext& kCloning) override;

protected:
    // Right = column 0, up = minus column 1, direction = column 2.
    void UpdateWorldVectors() override;

private:
    NiAccumulatorPtr m_spAccumulator;
};

using NiScreenSpaceCameraPtr = NiRefPtr<NiScreenSpaceCamera>;
