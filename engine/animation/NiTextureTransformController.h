#pragma once

#include "engine/animation/NiSingleInterpController.h"

#include <cstdint>

class NiTextureMap;

// Drives one member of one texture map's transform (translation, rotation
// or scale along one axis). A map without a transform gets the default one.
class NiTextureTransformController : public NiFloatInterpController
{
    NiDeclareTypeInfo()
    NiDeclareClone(NiTextureTransformController)

public:
    enum TransformMember : std::uint32_t
    {
        TT_TRANSLATE_U = 0,
        TT_TRANSLATE_V = 1,
        TT_ROTATE = 2,
        TT_SCALE_U = 3,
        TT_SCALE_V = 4,
    };

    NiTextureTransformController() = default;
    ~NiTextureTransformController() override;

    [[nodiscard]] static NiObject* CreateObject();

    void Update(float fTime) override;
    void SetTarget(NiObjectNET* pkTarget) override;
    [[nodiscard]] bool InterpTargetIsCorrectType(NiObjectNET* pkTarget) const override;
    void GetTargetFloatValue(float& fValue) override;
    // "shader-map flag-map index-member", e.g. "0-2-TT_SCALE_U".
    [[nodiscard]] const char* GetCtlrID() override;

    // Finds and caches the map; false without target or for a map index
    // the property does not have.
    bool FindTextureMap();

    void SetMap(bool bShaderMap, std::uint32_t uiMap, TransformMember eMember);
    [[nodiscard]] bool GetShaderMap() const { return m_bShaderMap; }
    [[nodiscard]] std::uint32_t GetMapIndex() const { return m_uiMapIndex; }
    [[nodiscard]] TransformMember GetAffectedMember() const { return m_eMember; }

    // Record: u8 shader-map flag, u32 map index, u32 member; files before
    // 10.1.0.104 then link float key data.
    void ReadFromStream(NiObjectStream& kStream) override;
    void ResolveLinks(NiObjectStream& kStream) override;
    void WriteToStream(NiObjectStream& kStream) override;
    bool IsEqual(NiObject* pkOther) override;
    void AppendViewerStrings(NiViewerStringArray& kStrings) override;

private:
    void ForgetCache();

    bool m_bShaderMap = false;
    std::uint32_t m_uiMapIndex = 0;
    TransformMember m_eMember = TT_TRANSLATE_U;
    NiTextureMap* m_pkMap = nullptr; // the property's
    char* m_pcCtlrID = nullptr;
};

using NiTextureTransformControllerPtr = NiRefPtr<NiTextureTransformController>;
