#pragma once

#include "engine/shaders/framework/NiD3DShaderConstantMap.h"

class NiTextureMap;

namespace gfx
{
struct D3DMATRIX;
}

// The constant map of a vertex program: its values go through the
// program's vertex-constant operations (bone palettes through the array
// form); it knows the vertex list of predefined names (transforms, skinning,
// texture transforms, lights, material, camera, coefficients, time).
class NiD3DVertexShaderConstantMap : public NiD3DShaderConstantMap
{
public:
    struct PredefinedName
    {
        std::uint32_t m_uiMapping;
        const char* m_pcName;
    };

    // At most this many bones of a three-register palette are formed per
    // draw.
    static constexpr std::uint32_t MAX_PALETTE_BONES = 256;

    explicit NiD3DVertexShaderConstantMap(NiDX9Renderer* pkRenderer) : NiD3DShaderConstantMap(pkRenderer) {}

    std::uint32_t SetupDefinedEntry(NiD3DShaderConstantMapEntry* pkEntry) override;
    std::uint32_t SetDefinedConstant(NiD3DShaderProgram* pkProgram, NiD3DShaderConstantMapEntry* pkEntry,
                                     NiGeometry* pkGeometry, const NiSkinInstance* pkSkin,
                                     const Partition* pkPartition, NiDX9GeometryBufferData* pkBuffers,
                                     const NiPropertySet* pkState, const NiEffectSet* pkEffects,
                                     const NiXform& kWorld, const NiBoundSphere& kBound,
                                     std::uint32_t uiPass) override;
    [[nodiscard]] std::uint32_t GetSCMSide() const override { return SCM_SIDE_VERTEX; }

    [[nodiscard]] static const PredefinedName* GetPredefinedNames(std::uint32_t& uiCount);
    // The key split by its suffix: a first underscore followed by exactly
    // one digit that ends the key gives the name before it and the digit as
    // count; otherwise the whole key and count 4. The number of the first
    // name equal to it ignoring case; 0 when none.
    [[nodiscard]] static std::uint32_t LookUpPredefinedMapping(const char* pcKey, std::uint32_t& uiCount);
    // A texture map's 2-D transform (or its inverse) as a 4 x 4 matrix; the
    // identity when there is no map, no transform or no inverse.
    [[nodiscard]] static gfx::D3DMATRIX TextureTransformMatrix(const NiTextureMap* pkMap, bool bInverse);

protected:
    bool SendConstant(NiD3DShaderProgram* pkProgram, NiD3DShaderConstantMapEntry* pkEntry, const void* pvValues,
                      std::uint32_t uiCount, std::uint32_t uiValueRegisters) override;
    void FillDefinedOperand(NiD3DShaderConstantMapEntry* pkEntry, NiGeometry* pkGeometry,
                            const NiSkinInstance* pkSkin, const NiPropertySet* pkState, Operand& kSlot) override;

private:
    enum class Formed
    {
        NOTHING,
        VECTOR,
        MATRIX,
        MISSING
    };
    // The value of a predefined number, into a vector or a matrix.
    Formed FormValue(const NiD3DShaderConstantMapEntry* pkEntry, const NiGeometry* pkGeometry,
                     const NiSkinInstance* pkSkin, const NiPropertySet* pkState, float* pfVector,
                     gfx::D3DMATRIX& kMatrix) const;
    std::uint32_t SetBonePalette(NiD3DShaderProgram* pkProgram, NiD3DShaderConstantMapEntry* pkEntry,
                                 const NiSkinInstance* pkSkin, const Partition* pkPartition);
};
