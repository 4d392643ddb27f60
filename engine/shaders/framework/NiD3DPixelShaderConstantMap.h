#pragma once

#include "engine/shaders/framework/NiD3DShaderConstantMap.h"

// The constant map of a pixel program: its values go through the program's
// pixel-constant operations; it knows the pixel list of predefined names
// (coefficients, time and material values).
class NiD3DPixelShaderConstantMap : public NiD3DShaderConstantMap
{
public:
    struct PredefinedName
    {
        std::uint32_t m_uiMapping;
        const char* m_pcName;
    };

    explicit NiD3DPixelShaderConstantMap(NiDX9Renderer* pkRenderer) : NiD3DShaderConstantMap(pkRenderer) {}

    std::uint32_t SetupDefinedEntry(NiD3DShaderConstantMapEntry* pkEntry) override;
    std::uint32_t SetDefinedConstant(NiD3DShaderProgram* pkProgram, NiD3DShaderConstantMapEntry* pkEntry,
                                     NiGeometry* pkGeometry, const NiSkinInstance* pkSkin,
                                     const Partition* pkPartition, NiDX9GeometryBufferData* pkBuffers,
                                     const NiPropertySet* pkState, const NiEffectSet* pkEffects,
                                     const NiXform& kWorld, const NiBoundSphere& kBound,
                                     std::uint32_t uiPass) override;
    [[nodiscard]] std::uint32_t GetSCMSide() const override { return SCM_SIDE_PIXEL; }

    // The name list in its order.
    [[nodiscard]] static const PredefinedName* GetPredefinedNames(std::uint32_t& uiCount);
    // The number of the first name equal to the key ignoring case (the
    // whole key); 0 when none.
    [[nodiscard]] static std::uint32_t LookUpPredefinedMapping(const char* pcKey);

protected:
    bool SendConstant(NiD3DShaderProgram* pkProgram, NiD3DShaderConstantMapEntry* pkEntry, const void* pvValues,
                      std::uint32_t uiCount, std::uint32_t uiValueRegisters) override;
    void FillDefinedOperand(NiD3DShaderConstantMapEntry* pkEntry, NiGeometry* pkGeometry,
                            const NiSkinInstance* pkSkin, const NiPropertySet* pkState, Operand& kSlot) override;
};
