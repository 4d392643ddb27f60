#pragma once

// Test support of the render-path tests: a renderer that logs the frame
// calls it receives in order (with the state current at each), a fixture
// with the twelve default properties in place, and small shapes to draw and
// pick.

#include "engine/scene/NiCamera.h"
#include "engine/scene/NiTriShape.h"
#include "tests/engine/scene/GeometryTestSupport.h"

#include <string>
#include <vector>

namespace scene_test
{
class FrameRenderer : public GeomRenderer
{
public:
    std::uint32_t m_uiWidth = 640;
    std::uint32_t m_uiHeight = 480;
    // One entry per call: "camera", "begin", "end", "shape:<name>",
    // "lines:<name>", "polygon", "texture", "clear", "display".
    std::vector<std::string> m_kCalls;
    // The renderer's accumulator when each logged call arrived.
    std::vector<NiAccumulator*> m_kAccumulators;

    NiVec3 m_kCameraLocation;
    NiVec3 m_kCameraDirection;
    NiVec3 m_kCameraUp;
    NiVec3 m_kCameraRight;
    NiViewFrustum m_kCameraFrustum;
    NiRect<float> m_kCameraPort;
    // Current property set and whether an effect set was current, at each
    // screen polygon draw.
    std::vector<NiPropertySet*> m_kPolygonSets;
    std::vector<bool> m_kPolygonHadEffects;
    std::vector<const void*> m_kPurgedPolygons;
    std::vector<const void*> m_kPurgedScreenTextures;
    std::vector<NiEffectSet*> m_kLineEffects;
    // Viewport and flags of the last clear.
    const NiRect<float>* m_pkClearedPort = nullptr;
    std::uint32_t m_uiClearFlags = 0;

    [[nodiscard]] std::uint32_t GetWidth() const override { return m_uiWidth; }
    [[nodiscard]] std::uint32_t GetHeight() const override { return m_uiHeight; }
    bool BeginScene() override
    {
        Log("begin");
        return true;
    }
    void EndScene() override { Log("end"); }
    void SetCameraData(const NiVec3& kLoc, const NiVec3& kDir, const NiVec3& kUp, const NiVec3& kRight,
                       const NiViewFrustum& kFrustum, const NiRect<float>& kPort) override;
    void DrawTriShape(NiTriBasedGeom* pkShape) override;
    void DrawLines(NiLines* pkLines, NiPropertySet* pkSet, NiEffectSet* pkEffects) override;
    void RenderScreenPolygon(NiScreenPolygon* pkPolygon) override;
    void RenderScreenTexture(NiScreenTexture* pkTexture) override;
    void PurgeScreenPolygonRendererData(NiScreenPolygon* pkPolygon) override { m_kPurgedPolygons.push_back(pkPolygon); }
    bool PurgeScreenTextureRendererData(NiScreenTexture* pkTexture) override
    {
        m_kPurgedScreenTextures.push_back(pkTexture);
        return true;
    }
    void ClearBuffer(const NiRect<float>* pkPort, std::uint32_t uiFlags) override
    {
        m_pkClearedPort = pkPort;
        m_uiClearFlags = uiFlags;
        Log("clear");
    }
    void DisplayFrame() override { Log("display"); }

    void Log(const std::string& kCall)
    {
        m_kCalls.push_back(kCall);
        m_kAccumulators.push_back(GetAccumulator());
    }
};

class RenderPathTest : public GeometryTest
{
protected:
    void SetUp() override;
    void TearDown() override;
};

// A named unit square (z = 0, facing +z) at the position, scaled.
NiRefPtr<NiTriShape> NamedSquare(const char* pcName, const NiVec3& kPosition = NiVec3(), float fScale = 1.0f);
// A named square whose world bound is set by hand: centre and radius.
NiRefPtr<NiTriShape> BoundSquare(const char* pcName, const NiVec3& kCenter, float fRadius);
} // namespace scene_test
