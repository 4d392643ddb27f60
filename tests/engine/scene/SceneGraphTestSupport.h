#pragma once

// Test-only stand-ins the scene graph tests need: a streamable texture, a
// recording accumulator and a recording renderer, and the fixture that
// resets the scene graph's process-wide state around each test.

#include "engine/render/NiRenderer.h"
#include "engine/render/NiTexture.h"
#include "engine/scene/NiAccumulator.h"
#include "engine/scene/NiCamera.h"
#include "engine/scene/NiNode.h"
#include "tests/engine/scene/SceneTestSupport.h"

#include <cmath>
#include <string>
#include <vector>

namespace scene_test
{
// A texture with one value in its record (and nothing of the named-object
// part), compared by that value.
class TestTexture : public NiTexture
{
    NiDeclareTypeInfo()

public:
    std::uint32_t m_uiValue = 0;

    [[nodiscard]] std::uint32_t GetWidth() const override { return 0; }
    [[nodiscard]] std::uint32_t GetHeight() const override { return 0; }
    void ReadFromStream(NiObjectStream& kStream) override;
    void ResolveLinks(NiObjectStream& kStream) override;
    void WriteToStream(NiObjectStream& kStream) override;
    bool IsEqual(NiObject* pkOther) override;
};

// Records the geometry it is offered; can refuse to start.
class TestAccumulator : public NiAccumulator
{
    NiDeclareTypeInfo()
    NiDeclareClone(TestAccumulator)

public:
    bool m_bRefuse = false;
    std::uint32_t m_uiStarts = 0;
    std::uint32_t m_uiFinishes = 0;

    bool StartAccumulating(NiCamera* pkCamera) override;
    void FinishAccumulating() override;
    bool RegisterGeometry(NiAVObject*) override { return true; }
};

// Records purges; everything else does nothing.
class RecordingRenderer : public NiRenderer
{
public:
    std::vector<const void*> m_kPurgedMaterials;
    std::vector<const void*> m_kPurgedEffects;

    void PurgeMaterialRendererData(NiMaterialProperty* pk) override { m_kPurgedMaterials.push_back(pk); }
    void PurgeEffectRendererData(NiDynamicEffect* pk) override { m_kPurgedEffects.push_back(pk); }
    void SetBackgroundColor(const NiColorRGBA&) override {}
    [[nodiscard]] NiColorRGBA GetBackgroundColor() const override { return NiColorRGBA(); }
    bool BeginScene() override { return true; }
    void EndScene() override {}
    void ClearBuffer(const NiRect<float>*, std::uint32_t) override {}
    void DisplayFrame() override {}
    [[nodiscard]] std::uint32_t GetWidth() const override { return 640; }
    [[nodiscard]] std::uint32_t GetHeight() const override { return 480; }
    [[nodiscard]] std::uint32_t GetFlags() const override { return 0; }
};

// A leaf that records where culling reached it and with which sorter.
class VisitLeaf : public TestAVObject
{
public:
    std::vector<std::string>* m_pkLog = nullptr;
    NiAccumulator* m_pkSorterSeen = nullptr;

    void OnVisible(NiCamera* pkCamera) override
    {
        ++m_uiVisible;
        if (m_pkLog != nullptr)
            m_pkLog->push_back(GetName() ? GetName() : "");
        NiRenderer* pkRenderer = pkCamera ? pkCamera->GetRenderer() : nullptr;
        m_pkSorterSeen = pkRenderer ? pkRenderer->GetAccumulator() : nullptr;
    }
    // A unit sphere about its position, so nodes above it are visible.
    void UpdateWorldBound() override { m_kWorldBound = NiBoundSphere(m_kWorld.m_kTranslate, 1.0f); }
};

// A camera at the position looking along the rotation's column 0, culling
// against no planes.
inline NiRefPtr<NiCamera> PosedCamera(const NiVec3& kPosition, const NiMatrix3x3& kRotate = NiMatrix3x3())
{
    NiRefPtr<NiCamera> sp = new NiCamera;
    sp->SetTranslate(kPosition);
    sp->SetRotate(kRotate);
    sp->Update(0.0f);
    sp->GetActivePlaneMask() = 0;
    return sp;
}

// Runs the cull pass from an object with the camera's planes and mask.
inline void CullFrom(NiAVObject* pkObject, NiCamera* pkCamera)
{
    NiNode::CullChild(pkObject, pkCamera);
}

// A leaf with a world bound of the given radius about its position.
class BoundLeaf : public TestAVObject
{
public:
    float m_fRadius = 1.0f;
    void UpdateWorldBound() override { m_kWorldBound = NiBoundSphere(m_kWorld.m_kTranslate, m_fRadius); }
};

// A 90 degree turn about z in the usual sense: x goes to y.
inline NiMatrix3x3 QuarterTurnZ()
{
    return NiMatrix3x3(0, -1, 0, 1, 0, 0, 0, 0, 1);
}

inline void ExpectNear(const NiVec3& kActual, const NiVec3& kExpected, float fTolerance = 1e-5f)
{
    EXPECT_NEAR(kActual.x, kExpected.x, fTolerance);
    EXPECT_NEAR(kActual.y, kExpected.y, fTolerance);
    EXPECT_NEAR(kActual.z, kExpected.z, fTolerance);
}

class SceneGraphTest : public SceneTest
{
protected:
    void SetUp() override;
    void TearDown() override;

    // Saves the objects, loads them back; the loaded top objects are in
    // m_kLoaded. False when the load fails.
    bool RoundTrip(const std::vector<NiObject*>& kTops);
    // Loads a hand-built file; the stream's error is in m_kStream.
    bool LoadFile(std::uint32_t uiVersion, const std::vector<Record>& kRecords, const std::vector<std::uint32_t>& kTops);
};

// NiNode's record part after the positioned object's.
inline Bytes NodeBody(const std::vector<std::uint32_t>& kChildren, const std::vector<std::uint32_t>& kEffects)
{
    Bytes k;
    k.U32(static_cast<std::uint32_t>(kChildren.size()));
    for (std::uint32_t ui : kChildren)
        k.U32(ui);
    k.U32(static_cast<std::uint32_t>(kEffects.size()));
    for (std::uint32_t ui : kEffects)
        k.U32(ui);
    return k;
}

// A whole node record of the version: name, no extra data, no controller,
// the positioned part with the flags, and the node part.
inline Bytes NodeRecord(std::uint32_t uiVersion, const std::string& kName, const std::vector<std::uint32_t>& kChildren,
                        const std::vector<std::uint32_t>& kEffects = {}, std::uint16_t usFlags = 0)
{
    return NETBody(uiVersion, kName, {}, NONE)
        .Append(AVBody(uiVersion, usFlags, {}))
        .Append(NodeBody(kChildren, kEffects));
}
} // namespace scene_test
