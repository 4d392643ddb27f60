#pragma once

#include "engine/animation/NiSingleInterpController.h"

#include <cstdint>

// Drives one colour of a material: ambient, diffuse, specular or emissive.
class NiMaterialColorController : public NiPoint3InterpController
{
    NiDeclareTypeInfo()
    NiDeclareClone(NiMaterialColorController)

public:
    enum Field : std::uint16_t
    {
        AMB = 0,
        DIFF = 1,
        SPEC = 2,
        SELF_ILLUM = 3,
    };

    NiMaterialColorController() = default;
    ~NiMaterialColorController() override = default;

    [[nodiscard]] static NiObject* CreateObject();

    void Update(float fTime) override;
    [[nodiscard]] bool InterpTargetIsCorrectType(NiObjectNET* pkTarget) const override;
    void GetTargetPoint3Value(NiVec3& kValue) override;
    // "AMB", "DIFF", "SPEC", "SELF_ILLUM"; null for other selectors.
    [[nodiscard]] const char* GetCtlrID() override;

    [[nodiscard]] Field GetType() const { return static_cast<Field>(m_usSelector & 0x7); }
    void SetType(std::uint16_t us) { m_usSelector = us; }

    // Record: u16 selector (files before 10.0.1.2 keep it in the flags
    // word); files before 10.1.0.104 then link point key data.
    void ReadFromStream(NiObjectStream& kStream) override;
    void ResolveLinks(NiObjectStream& kStream) override;
    void WriteToStream(NiObjectStream& kStream) override;
    bool IsEqual(NiObject* pkOther) override;
    void AppendViewerStrings(NiViewerStringArray& kStrings) override;

private:
    std::uint16_t m_usSelector = 0;
};

// Drives a light's colour: the ambient selector sets ambient and blacks the
// others; the diffuse selector sets diffuse and specular.
class NiLightColorController : public NiPoint3InterpController
{
    NiDeclareTypeInfo()
    NiDeclareClone(NiLightColorController)

public:
    NiLightColorController() = default;
    ~NiLightColorController() override = default;

    [[nodiscard]] static NiObject* CreateObject();

    void Update(float fTime) override;
    [[nodiscard]] bool InterpTargetIsCorrectType(NiObjectNET* pkTarget) const override;
    void GetTargetPoint3Value(NiVec3& kValue) override;
    // "Ambient" or "Diffuse".
    [[nodiscard]] const char* GetCtlrID() override;

    [[nodiscard]] bool GetAmbient() const { return (m_usSelector & 1) != 0; }
    void SetAmbient(bool bOn) { m_usSelector = static_cast<std::uint16_t>(bOn ? 1 : 0); }

    void ReadFromStream(NiObjectStream& kStream) override;
    void ResolveLinks(NiObjectStream& kStream) override;
    void WriteToStream(NiObjectStream& kStream) override;
    bool IsEqual(NiObject* pkOther) override;
    void AppendViewerStrings(NiViewerStringArray& kStrings) override;

private:
    std::uint16_t m_usSelector = 0;
};

using NiMaterialColorControllerPtr = NiRefPtr<NiMaterialColorController>;
using NiLightColorControllerPtr = NiRefPtr<NiLightColorController>;
