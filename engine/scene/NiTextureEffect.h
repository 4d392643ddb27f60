#pragma once

#include "engine/core/NiMatrix3x3.h"
#include "engine/core/NiPlane.h"
#include "engine/render/NiTexture.h"
#include "engine/scene/NiDynamicEffect.h"

// Projects a texture onto the geometry it affects: a projected light or
// shadow, an environment map or a fog map.
class NiTextureEffect : public NiDynamicEffect
{
    NiDeclareTypeInfo()
    NiDeclareClone(NiTextureEffect)

public:
    enum TextureType : std::uint32_t
    {
        PROJECTED_LIGHT = 0,
        PROJECTED_SHADOW = 1,
        ENVIRONMENT_MAP = 2,
        FOG_MAP = 3,
    };
    enum CoordGenType : std::uint32_t
    {
        WORLD_PARALLEL = 0,
        WORLD_PERSPECTIVE = 1,
        SPHERE_MAP = 2,
        SPECULAR_CUBE_MAP = 3,
        DIFFUSE_CUBE_MAP = 4,
    };

    NiTextureEffect() = default;
    ~NiTextureEffect() override;
    static NiObject* CreateObject() { return new NiTextureEffect; }

    [[nodiscard]] int GetEffectType() const override { return TEXTURE_EFFECT; }
    // Projection and clipping plane in world space, then revision + 1.
    void UpdateWorldData() override;

    [[nodiscard]] const NiMatrix3x3& GetModelProjectionMatrix() const { return m_kModelProjMat; }
    void SetModelProjectionMatrix(const NiMatrix3x3& k) { m_kModelProjMat = k; }
    [[nodiscard]] const NiVec3& GetModelProjectionTranslation() const { return m_kModelProjTrans; }
    void SetModelProjectionTranslation(const NiVec3& k) { m_kModelProjTrans = k; }
    [[nodiscard]] const NiMatrix3x3& GetWorldProjectionMatrix() const { return m_kWorldProjMat; }
    [[nodiscard]] const NiVec3& GetWorldProjectionTranslation() const { return m_kWorldProjTrans; }
    [[nodiscard]] NiTexture* GetEffectTexture() const { return m_spTexture; }
    void SetEffectTexture(NiTexture* pkTexture) { m_spTexture = pkTexture; }
    [[nodiscard]] std::uint32_t GetTextureFilter() const { return m_eFilter; }
    void SetTextureFilter(std::uint32_t e) { m_eFilter = e; }
    [[nodiscard]] std::uint32_t GetTextureClamp() const { return m_eClamp; }
    void SetTextureClamp(std::uint32_t e) { m_eClamp = e; }
    [[nodiscard]] std::uint32_t GetTextureType() const { return m_eTextureMode; }
    void SetTextureType(std::uint32_t e) { m_eTextureMode = e; }
    [[nodiscard]] std::uint32_t GetTextureCoordGen() const { return m_eCoordMode; }
    void SetTextureCoordGen(std::uint32_t e) { m_eCoordMode = e; }
    [[nodiscard]] bool GetClippingPlaneEnable() const { return m_bPlaneEnable != 0; }
    void SetClippingPlaneEnable(bool b) { m_bPlaneEnable = b ? 1 : 0; }
    [[nodiscard]] const NiPlane& GetModelClippingPlane() const { return m_kModelPlane; }
    void SetModelClippingPlane(const NiPlane& k) { m_kModelPlane = k; }
    [[nodiscard]] const NiPlane& GetWorldClippingPlane() const { return m_kWorldPlane; }
    [[nodiscard]] std::int16_t GetL() const { return m_sL; }
    void SetL(std::int16_t s) { m_sL = s; }
    [[nodiscard]] std::int16_t GetK() const { return m_sK; }
    void SetK(std::int16_t s) { m_sK = s; }

    void ReadFromStream(NiObjectStream& kStream) override;
    void ResolveLinks(NiObjectStream& kStream) override;
    bool RegisterForSave(NiObjectStream& kStream) override;
    void WriteToStream(NiObjectStream& kStream) override;
    bool IsEqual(NiObject* pkOther) override;
    void AppendViewerStrings(NiViewerStringArray& kStrings) override;

protected:
    NiMatrix3x3 m_kModelProjMat;
    NiVec3 m_kModelProjTrans;
    NiMatrix3x3 m_kWorldProjMat;
    NiVec3 m_kWorldProjTrans;
    NiTexturePtr m_spTexture;
    std::uint32_t m_eFilter = 0; // FILTER_NEAREST
    std::uint32_t m_eClamp = 3;  // WRAP_S_WRAP_T
    std::uint32_t m_eTextureMode = PROJECTED_LIGHT;
    std::uint32_t m_eCoordMode = WORLD_PARALLEL;
    std::uint8_t m_bPlaneEnable = 0;
    NiPlane m_kModelPlane{NiVec3(1.0f, 0.0f, 0.0f), 0.0f};
    NiPlane m_kWorldPlane{NiVec3(1.0f, 0.0f, 0.0f), 0.0f};
    std::int16_t m_sL = 0;
    std::int16_t m_sK = -75;
};

using NiTextureEffectPtr = NiRefPtr<NiTextureEffect>;
