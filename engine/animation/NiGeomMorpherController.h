#pragma once

#include "engine/animation/NiInterpController.h"
#include "engine/animation/NiMorphData.h"
#include "engine/core/NiBoundSphere.h"

#include <cstdint>
#include <vector>

// Morphs a geometry's vertices from the targets of its morph data, one
// float interpolator per target giving the target's weight. The vertices
// are written just before the geometry is drawn.
class NiGeomMorpherController : public NiInterpController
{
    NiDeclareTypeInfo()
    NiDeclareClone(NiGeomMorpherController)

public:
    enum : std::uint16_t
    {
        UPDATE_NORMALS_MASK = 0x0001,
    };
    // Weights this close to zero add nothing.
    static constexpr float WEIGHT_EPSILON = 0.001f;

    NiGeomMorpherController() = default;
    ~NiGeomMorpherController() override = default;

    [[nodiscard]] static NiObject* CreateObject();

    void Update(float fTime) override;
    void ApplyDeferredUpdate() override;
    void SetTarget(NiObjectNET* pkTarget) override;
    [[nodiscard]] bool IsVertexController() const override { return true; }
    [[nodiscard]] bool IsTargetClassValid(NiObjectNET* pkTarget) const override;

    // One interpolator per morph target, named by the target.
    [[nodiscard]] std::uint16_t GetInterpolatorCount() const override;
    [[nodiscard]] const char* GetInterpolatorID(std::uint16_t usIndex) const override;
    [[nodiscard]] std::uint16_t GetInterpolatorIndex(const char* pcID) const override;
    [[nodiscard]] NiInterpolator* GetInterpolator(std::uint16_t usIndex) const override;
    void SetInterpolator(NiInterpolator* pkInterpolator, std::uint16_t usIndex) override;
    void ResetTimeExtrema() override;
    void GuaranteeTimeRange(float fStart, float fEnd) override;
    [[nodiscard]] NiInterpolator* CreatePoseInterpolator(std::uint16_t usIndex) override;
    void SynchronizePoseInterpolator(NiInterpolator* pkInterpolator, std::uint16_t usIndex) override;
    [[nodiscard]] NiBlendInterpolator* CreateBlendInterpolator(std::uint16_t usIndex, bool bManagerControlled,
                                                               bool bAccumulate, float fWeightThreshold,
                                                               std::uint8_t ucArraySize) const override;
    [[nodiscard]] bool InterpolatorIsCorrectType(NiInterpolator* pkInterpolator, std::uint16_t) const override
    {
        return pkInterpolator != nullptr && pkInterpolator->IsFloatValueSupported();
    }

    // New data empties the interpolators; with a target the geometry's
    // bound becomes that of all targets.
    void SetMorphData(NiMorphData* pkData);
    [[nodiscard]] NiMorphData* GetMorphData() const { return m_spMorphData; }
    [[nodiscard]] std::uint16_t GetMorpherFlags() const { return m_usMorpherFlags; }
    void SetMorpherFlags(std::uint16_t us) { m_usMorpherFlags = us; }
    [[nodiscard]] bool GetAlwaysUpdate() const { return m_bAlwaysUpdate; }
    void SetAlwaysUpdate(bool b) { m_bAlwaysUpdate = b; }
    [[nodiscard]] bool GetNeedsUpdate() const { return m_bNeedsUpdate; }

    // The bound of every target's vertices together.
    [[nodiscard]] static NiBoundSphere ComputeTargetBound(const NiMorphData& kData);

    // Record: u16 morpher flags (from 10.0.1.2; older files keep them in
    // the flags word), morph data link, u8 always-update (from 4.0.0.2),
    // u32 interpolator count and links (from 10.1.0.104).
    void ReadFromStream(NiObjectStream& kStream) override;
    void ResolveLinks(NiObjectStream& kStream) override;
    void PostLink(NiObjectStream& kStream) override;
    bool RegisterForSave(NiObjectStream& kStream) override;
    void WriteToStream(NiObjectStream& kStream) override;
    bool IsEqual(NiObject* pkOther) override;
    void AppendViewerStrings(NiViewerStringArray& kStrings) override;
    void FinishClone(NiCloneContext& kCloning) override;
    void DropCountedLinks() override;

private:
    void Morph(float fTime);
    void ApplyTargetBound();

    std::uint16_t m_usMorpherFlags = 0;
    NiMorphDataPtr m_spMorphData;
    std::vector<NiInterpolatorPtr> m_kInterpolators;
    bool m_bNeedsUpdate = false;
    bool m_bAlwaysUpdate = false;
    bool m_bBoundSet = false;
};

using NiGeomMorpherControllerPtr = NiRefPtr<NiGeomMorpherController>;
