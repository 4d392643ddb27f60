#pragma once

#include "engine/scene/NiAVObject.h"
#include "engine/scene/NiEffectSet.h"
#include "engine/scene/NiGeometryData.h"
#include "engine/shaders/framework/NiShader.h"

#include <cstdint>

class NiSkinInstance;

// The drawable leaf: shared vertex data, an optional skin and shader, and the
// property and effect sets the scene graph pushed down to it.
class NiGeometry : public NiAVObject
{
    NiDeclareTypeInfo()

public:
    static constexpr std::uint32_t ALL_PLANES = 63;

    NiGeometry();
    explicit NiGeometry(NiGeometryData* pkData);
    ~NiGeometry() override;

    // The draw hook of every concrete kind; the base prepares the renderer.
    virtual void RenderImmediate(NiRenderer* pkRenderer);
    // Null is ignored.
    virtual void SetModelData(NiGeometryData* pkData);
    virtual void CalculateNormals();
    virtual void SetConsistency(bool bHardwareSkinning);

    [[nodiscard]] NiGeometryData* GetModelData() const { return m_spModelData; }
    [[nodiscard]] NiSkinInstance* GetSkinInstance() const;
    void SetSkinInstance(NiSkinInstance* pkSkin);
    [[nodiscard]] NiPropertySet* GetPropertyState() const { return m_spPropertySet; }
    [[nodiscard]] NiEffectSet* GetEffectState() const { return m_spEffectSet; }
    [[nodiscard]] std::uint32_t GetPlaneMask() const { return m_uiPlaneMask; }
    [[nodiscard]] NiShader* GetShader() const { return m_spShader; }
    void SetShader(NiShader* pkShader) { m_spShader = pkShader; }

    void ApplyTransform(const NiMatrix3x3& kRotate, const NiVec3& kTranslate, bool bOnLeft) override;
    void ComputeSelectiveUpdateFlags(bool& bSelectiveUpdate, bool bSelectiveUpdateTransforms, bool& bRigid) override;
    [[nodiscard]] bool CanDeferWorldData() const override;
    void UpdatePropertiesDownward(NiPropertySet* pkParentState) override;
    void UpdateEffectsDownward(NiEffectSet* pkParentEffects) override;
    void UpdateWorldBound() override;
    void OnVisible(NiCamera* pkCamera) override;
    void PurgeRendererData(NiRenderer* pkRenderer) override;

    void ReadFromStream(NiObjectStream& kStream) override;
    void ResolveLinks(NiObjectStream& kStream) override;
    bool RegisterForSave(NiObjectStream& kStream) override;
    void WriteToStream(NiObjectStream& kStream) override;
    bool IsEqual(NiObject* pkOther) override;
    void AppendViewerStrings(NiViewerStringArray& kStrings) override;
    void FinishClone(NiCloneContext& kCloning) override;
    void PostLink(NiObjectStream& kStream) override;

    // How the animation library's vertex controllers make their target's
    // data volatile.
    static void MarkDataVolatile(NiObjectNET* pkTarget);

protected:
    // Whether the data class fits this kind of geometry.
    [[nodiscard]] virtual bool IsDataClassValid(const NiGeometryData* pkData) const;
    void CopyMembers(NiGeometry* pkDest, NiCloneContext& kCloning);
    // The base's preparation of a draw: deferred controller updates and the
    // renderer's current state.
    void PrepareDraw(NiRenderer* pkRenderer);

    NiPropertySetPtr m_spPropertySet;
    NiEffectSetPtr m_spEffectSet;
    NiGeometryDataPtr m_spModelData;
    NiRefPtr<NiSkinInstance> m_spSkinInstance;
    std::uint32_t m_uiPlaneMask = 0;
    NiShaderPtr m_spShader;
};

using NiGeometryPtr = NiRefPtr<NiGeometry>;
