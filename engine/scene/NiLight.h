#pragma once

#include "engine/core/NiColor.h"
#include "engine/scene/NiDynamicEffect.h"

// Lights: a dimmer and three colours; the directional, point and spot lights
// add what the renderer needs of their position and direction.
class NiLight : public NiDynamicEffect
{
    NiDeclareTypeInfo()

public:
    NiLight() = default;
    // The renderer drops what it cached for the light first.
    ~NiLight() override;

    [[nodiscard]] float GetDimmer() const { return m_fDimmer; }
    void SetDimmer(float f) { m_fDimmer = f; }
    [[nodiscard]] const NiColorRGB& GetAmbientColor() const { return m_kAmb; }
    void SetAmbientColor(const NiColorRGB& k) { m_kAmb = k; }
    [[nodiscard]] const NiColorRGB& GetDiffuseColor() const { return m_kDiff; }
    void SetDiffuseColor(const NiColorRGB& k) { m_kDiff = k; }
    [[nodiscard]] const NiColorRGB& GetSpecularColor() const { return m_kSpec; }
    void SetSpecularColor(const NiColorRGB& k) { m_kSpec = k; }
    [[nodiscard]] void* GetRendererData() const { return m_pvRendererData; }
    void SetRendererData(void* pv) { m_pvRendererData = pv; }

    void ReadFromStream(NiObjectStream& kStream) override;
    void WriteToStream(NiObjectStream& kStream) override;
    bool IsEqual(NiObject* pkOther) override;
    void AppendViewerStrings(NiViewerStringArray& kStrings) override;

protected:
    void CopyMembers(NiLight* pkDest, NiCloneContext& kCloning);

    float m_fDimmer = 1.0f;
    NiColorRGB m_kAmb{1.0f, 1.0f, 1.0f};
    NiColorRGB m_kDiff{1.0f, 1.0f, 1.0f};
    NiColorRGB m_kSpec{1.0f, 1.0f, 1.0f};
    void* m_pvRendererData = nullptr; // the renderer's, never streamed or copied
};

class NiAmbientLight : public NiLight
{
    NiDeclareTypeInfo()
    NiDeclareClone(NiAmbientLight)

public:
    static NiObject* CreateObject() { return new NiAmbientLight; }
    [[nodiscard]] int GetEffectType() const override { return AMBIENT_LIGHT; }
    void AppendViewerStrings(NiViewerStringArray& kStrings) override;
};

class NiDirectionalLight : public NiLight
{
    NiDeclareTypeInfo()
    NiDeclareClone(NiDirectionalLight)

public:
    static NiObject* CreateObject() { return new NiDirectionalLight; }
    [[nodiscard]] int GetEffectType() const override { return DIR_LIGHT; }
    // The light shines along column 0 of its world rotation.
    void UpdateWorldData() override;
    [[nodiscard]] const NiVec3& GetWorldDirection() const { return m_kWorldDir; }
    void AppendViewerStrings(NiViewerStringArray& kStrings) override;

protected:
    NiVec3 m_kWorldDir{1.0f, 0.0f, 0.0f};
};

class NiPointLight : public NiLight
{
    NiDeclareTypeInfo()
    NiDeclareClone(NiPointLight)

public:
    static NiObject* CreateObject() { return new NiPointLight; }
    [[nodiscard]] int GetEffectType() const override { return POINT_LIGHT; }
    void UpdateWorldData() override;

    [[nodiscard]] float GetConstantAttenuation() const { return m_fAtten0; }
    void SetConstantAttenuation(float f) { m_fAtten0 = f; }
    [[nodiscard]] float GetLinearAttenuation() const { return m_fAtten1; }
    void SetLinearAttenuation(float f) { m_fAtten1 = f; }
    [[nodiscard]] float GetQuadraticAttenuation() const { return m_fAtten2; }
    void SetQuadraticAttenuation(float f) { m_fAtten2 = f; }

    void ReadFromStream(NiObjectStream& kStream) override;
    void WriteToStream(NiObjectStream& kStream) override;
    bool IsEqual(NiObject* pkOther) override;
    void AppendViewerStrings(NiViewerStringArray& kStrings) override;

protected:
    float m_fAtten0 = 0.0f;
    float m_fAtten1 = 1.0f;
    float m_fAtten2 = 0.0f;
};

class NiSpotLight : public NiPointLight
{
    NiDeclareTypeInfo()
    NiDeclareClone(NiSpotLight)

public:
    static NiObject* CreateObject() { return new NiSpotLight; }
    [[nodiscard]] int GetEffectType() const override { return SPOT_LIGHT; }
    void UpdateWorldData() override;

    [[nodiscard]] const NiVec3& GetWorldDirection() const { return m_kWorldDir; }
    [[nodiscard]] float GetSpotAngle() const { return m_fSpotAngle; }
    void SetSpotAngle(float f) { m_fSpotAngle = f; }
    [[nodiscard]] float GetSpotExponent() const { return m_fSpotExponent; }
    void SetSpotExponent(float f) { m_fSpotExponent = f; }

    void ReadFromStream(NiObjectStream& kStream) override;
    void WriteToStream(NiObjectStream& kStream) override;
    bool IsEqual(NiObject* pkOther) override;
    void AppendViewerStrings(NiViewerStringArray& kStrings) override;

protected:
    NiVec3 m_kWorldDir{1.0f, 0.0f, 0.0f};
    float m_fSpotAngle = 0.0f;
    float m_fSpotExponent = 1.0f;
};
