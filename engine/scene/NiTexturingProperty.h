#pragma once

#include "engine/core/NiSparsePtrArray.h"
#include "engine/render/NiPixelData.h"
#include "engine/render/NiTexture.h"
#include "engine/render/NiTextureTransform.h"
#include "engine/scene/NiProperty.h"

#include <cstdint>
#include <memory>

// One texture map of a texturing property: the texture and how it is
// sampled. Owned by the property.
class NiTextureMap
{
public:
    enum ClampMode : std::uint32_t
    {
        CLAMP_S_CLAMP_T = 0,
        CLAMP_S_WRAP_T = 1,
        WRAP_S_CLAMP_T = 2,
        WRAP_S_WRAP_T = 3,
    };
    enum FilterMode : std::uint32_t
    {
        FILTER_NEAREST = 0,
        FILTER_BILERP = 1,
        FILTER_TRILERP = 2,
        FILTER_NEAREST_MIPNEAREST = 3,
        FILTER_NEAREST_MIPLERP = 4,
        FILTER_BILERP_MIPNEAREST = 5,
    };

    NiTextureMap() = default;
    explicit NiTextureMap(NiTexture* pkTexture) : m_spTexture(pkTexture) {}
    virtual ~NiTextureMap() = default;
    NiTextureMap(const NiTextureMap&) = delete;
    NiTextureMap& operator=(const NiTextureMap&) = delete;

    // The texture link goes to the stream's link queue; the property
    // resolves it.
    virtual void LoadBinary(NiObjectStream& kStream);
    virtual void SaveBinary(NiObjectStream& kStream) const;
    // A map of the same kind with the same texture (shared) and values, and
    // a copy of the transform.
    [[nodiscard]] virtual NiTextureMap* Copy() const;
    [[nodiscard]] virtual bool IsEqual(const NiTextureMap& kOther) const;
    virtual void AppendViewerStrings(NiViewerStringArray& kStrings) const;

    [[nodiscard]] NiTexture* GetTexture() const { return m_spTexture; }
    void SetTexture(NiTexture* pkTexture) { m_spTexture = pkTexture; }
    [[nodiscard]] std::uint32_t GetClampMode() const { return m_eClamp; }
    void SetClampMode(std::uint32_t e) { m_eClamp = e; }
    [[nodiscard]] std::uint32_t GetFilterMode() const { return m_eFilter; }
    void SetFilterMode(std::uint32_t e) { m_eFilter = e; }
    [[nodiscard]] std::uint32_t GetTextureIndex() const { return m_uiTexCoord; }
    void SetTextureIndex(std::uint32_t ui) { m_uiTexCoord = ui; }
    [[nodiscard]] std::int16_t GetL() const { return m_sL; }
    void SetL(std::int16_t s) { m_sL = s; }
    [[nodiscard]] std::int16_t GetK() const { return m_sK; }
    void SetK(std::int16_t s) { m_sK = s; }
    [[nodiscard]] NiTextureTransform* GetTextureTransform() const { return m_spTransform.get(); }
    void SetTextureTransform(std::unique_ptr<NiTextureTransform> spTransform) { m_spTransform = std::move(spTransform); }

    [[nodiscard]] static const char* GetClampModeName(std::uint32_t e);
    [[nodiscard]] static const char* GetFilterModeName(std::uint32_t e);

protected:
    void CopyInto(NiTextureMap& kDest) const;

    NiTexturePtr m_spTexture;
    std::uint32_t m_eClamp = WRAP_S_WRAP_T;
    std::uint32_t m_eFilter = FILTER_BILERP;
    std::uint32_t m_uiTexCoord = 0;
    std::int16_t m_sL = 0;
    std::int16_t m_sK = -75;
    std::unique_ptr<NiTextureTransform> m_spTransform;
};

// The map of the bump slot: luma scale and offset and the 2x2 bump matrix.
class NiBumpMap : public NiTextureMap
{
public:
    NiBumpMap() = default;

    void LoadBinary(NiObjectStream& kStream) override;
    void SaveBinary(NiObjectStream& kStream) const override;
    [[nodiscard]] NiTextureMap* Copy() const override;
    [[nodiscard]] bool IsEqual(const NiTextureMap& kOther) const override;
    void AppendViewerStrings(NiViewerStringArray& kStrings) const override;

    // The six values a bump slot's record carries after the map's own;
    // default values for a map that is not a bump map.
    static void SaveBumpValues(NiObjectStream& kStream, const NiTextureMap& kMap);

    float m_fLumaScale = 1.0f;
    float m_fLumaOffset = 0.0f;
    float m_fBumpMat00 = 0.5f;
    float m_fBumpMat01 = 0.0f;
    float m_fBumpMat10 = 0.0f;
    float m_fBumpMat11 = 0.5f;
};

// A map a shader program addresses by its ID.
class NiShaderMap : public NiTextureMap
{
public:
    NiShaderMap() = default;
    explicit NiShaderMap(std::uint32_t uiID) : m_uiID(uiID) {}

    void LoadBinary(NiObjectStream& kStream) override;
    void SaveBinary(NiObjectStream& kStream) const override;
    [[nodiscard]] NiTextureMap* Copy() const override;
    [[nodiscard]] bool IsEqual(const NiTextureMap& kOther) const override;
    void AppendViewerStrings(NiViewerStringArray& kStrings) const override;

    [[nodiscard]] std::uint32_t GetID() const { return m_uiID; }
    void SetID(std::uint32_t ui) { m_uiID = ui; }

private:
    std::uint32_t m_uiID = 0;
};

// Which textures the geometry below applies and how: fixed slots (base,
// dark, detail, gloss, glow, bump, then decals) and shader maps.
class NiTexturingProperty : public NiProperty
{
    NiDeclareTypeInfo()

public:
    enum MapSlot : std::uint32_t
    {
        BASE_INDEX = 0,
        DARK_INDEX = 1,
        DETAIL_INDEX = 2,
        GLOSS_INDEX = 3,
        GLOW_INDEX = 4,
        BUMP_INDEX = 5,
        DECAL_BASE = 6,
        INDEX_MAX = 7,
    };

    NiTexturingProperty();
    // Slot 0 gets a map of a texture made from the image file.
    explicit NiTexturingProperty(const char* pcImageFile);
    // Slot 0 gets a map of a texture made from the pixel data.
    explicit NiTexturingProperty(NiPixelData* pkPixelData);
    ~NiTexturingProperty() override;

    static NiObject* CreateObject() { return new NiTexturingProperty; }
    [[nodiscard]] int GetType() const override { return TEXTURING; }

    [[nodiscard]] std::uint32_t GetApplyMode() const { return m_eApplyMode; }
    void SetApplyMode(std::uint32_t e) { m_eApplyMode = e; }
    [[nodiscard]] bool IsMultiTexture() const { return m_bMultiTexture != 0; }
    [[nodiscard]] std::uint32_t GetDecalMapCount() const { return m_uiDecalCount; }

    // One past the highest slot stored.
    [[nodiscard]] std::uint32_t GetMapArrayCount() const { return m_kMaps.GetSize(); }
    [[nodiscard]] NiTextureMap* GetMap(std::uint32_t uiSlot) const { return m_kMaps.GetAt(uiSlot); }
    // The property takes the map (deleting the one it replaces). The bump
    // slot is stored as a bump map: a plain map there is saved with the
    // bump defaults.
    void SetMap(std::uint32_t uiSlot, NiTextureMap* pkMap);

    // Null without shader maps or beyond their used size.
    [[nodiscard]] NiShaderMap* GetArrayMapAt(std::uint32_t uiIndex) const;
    [[nodiscard]] std::uint32_t GetShaderMapCount() const;
    void SetShaderMap(std::uint32_t uiIndex, NiShaderMap* pkMap);

    NiObject* CreateClone(NiCloneContext& kCloning) override;
    void ReadFromStream(NiObjectStream& kStream) override;
    void ResolveLinks(NiObjectStream& kStream) override;
    bool RegisterForSave(NiObjectStream& kStream) override;
    void WriteToStream(NiObjectStream& kStream) override;
    bool IsEqual(NiObject* pkOther) override;
    void AppendViewerStrings(NiViewerStringArray& kStrings) override;

private:
    void DeleteMaps();
    void UpdateMultiTexture();

    std::uint32_t m_eApplyMode = 2;
    std::uint32_t m_bMultiTexture = 0;
    NiSparsePtrArray<NiTextureMap*> m_kMaps{INDEX_MAX, 1};
    std::uint32_t m_uiDecalCount = 0;
    std::unique_ptr<NiSparsePtrArray<NiShaderMap*>> m_spShaderMaps;
};

using NiTexturingPropertyPtr = NiRefPtr<NiTexturingProperty>;
