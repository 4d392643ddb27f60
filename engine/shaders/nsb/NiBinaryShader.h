#pragma once

#include "engine/shaders/framework/NiD3DShader.h"
#include "engine/shaders/nsb/NSBUserDefinedDataSet.h"

#include <cstdint>
#include <vector>

class NiD3DShaderConstantMap;

// The renderer shader a binary shader becomes: the passes, states, constant
// maps and program names of one implementation. On top of the pass pipeline
// it loads its programs on first initialisation, gives geometries the alpha
// property and time controller its states and constants need, blends bones
// itself when its programs do, and keeps the user data of its shader,
// implementation and passes for the application.
class NiBinaryShader : public NiD3DShader
{
    NiDeclareTypeInfo()

public:
    NiBinaryShader() = default;
    ~NiBinaryShader() override;

    bool SetupGeometry(NiGeometry* pkGeometry) override;
    // Once: the pipeline's own initialisation, then every pass's programs
    // (a program that fails to load leaves its pass without it).
    bool Initialize(NiDX9Renderer* pkRenderer) override;
    std::uint32_t SetupTransformations(NiGeometry* pkGeometry, const NiSkinInstance* pkSkin,
                                       const Partition* pkPartition, NiDX9GeometryBufferData* pkBuffers,
                                       const NiPropertySet* pkState, const NiEffectSet* pkEffects,
                                       const NiXform& kWorld, const NiBoundSphere& kBound) override;

    // The pass at the next free position, its user data beside it.
    void AppendPass(NiD3DPass* pkPass, NSBUserDefinedDataSet* pkUserData);

    // The engine's property states and vertex-colour lighting applied
    // before the shader's own states.
    [[nodiscard]] bool GetUsesNiRenderState() const { return m_bApplyProperties != 0; }
    void SetUsesNiRenderState(bool bOn) { SetApplyProperties(bOn); }
    [[nodiscard]] bool GetUsesNiLightState() const { return m_bApplyVertexColorLighting != 0; }
    void SetUsesNiLightState(bool bOn) { SetApplyVertexColorLighting(bOn); }
    [[nodiscard]] std::uint32_t GetBonesPerPartition() const { return m_uiBonesPerPartition; }
    void SetBonesPerPartition(std::uint32_t ui) { m_uiBonesPerPartition = ui; }
    [[nodiscard]] std::uint32_t GetBoneMatrixRegisters() const { return m_uiBoneMatrixRegisters; }
    void SetBoneMatrixRegisters(std::uint32_t ui) { m_uiBoneMatrixRegisters = ui; }
    [[nodiscard]] std::uint32_t GetBoneCalcMethod() const { return m_uiBoneCalcMethod; }
    void SetBoneCalcMethod(std::uint32_t ui) { m_uiBoneCalcMethod = ui; }
    [[nodiscard]] std::uint32_t GetBinormalTangentMethod() const { return m_uiBinormalTangentMethod; }
    void SetBinormalTangentMethod(std::uint32_t ui) { m_uiBinormalTangentMethod = ui; }

    [[nodiscard]] NSBUserDefinedDataSet* GetShaderUserDefinedDataSet() const { return m_spShaderUserData; }
    void SetShaderUserDefinedDataSet(NSBUserDefinedDataSet* pkSet) { m_spShaderUserData = pkSet; }
    [[nodiscard]] NSBUserDefinedDataSet* GetImplementationUserDefinedDataSet() const
    {
        return m_spImplementationUserData;
    }
    void SetImplementationUserDefinedDataSet(NSBUserDefinedDataSet* pkSet) { m_spImplementationUserData = pkSet; }
    // By the position the pass holds in this shader; null past the passes.
    [[nodiscard]] NSBUserDefinedDataSet* GetPassUserDefinedDataSet(std::uint32_t uiPass) const
    {
        return uiPass < m_kPassUserData.size() ? m_kPassUserData[uiPass].Get() : nullptr;
    }
    void SetPassUserDefinedDataSet(std::uint32_t uiPass, NSBUserDefinedDataSet* pkSet);

protected:
    // Whether a map of the shader or of a pass reads the running time.
    [[nodiscard]] bool UsesTime() const;
    static bool MapUsesTime(const NiD3DShaderConstantMap* pkMap);

    std::uint32_t m_uiBonesPerPartition = 0;
    std::uint32_t m_uiBoneMatrixRegisters = 0;
    std::uint32_t m_uiBoneCalcMethod = 0;
    std::uint32_t m_uiBinormalTangentMethod = 0;
    NSBUserDefinedDataSetPtr m_spShaderUserData;
    NSBUserDefinedDataSetPtr m_spImplementationUserData;
    std::vector<NSBUserDefinedDataSetPtr> m_kPassUserData;
};

using NiBinaryShaderPtr = NiRefPtr<NiBinaryShader>;
