#pragma once

#include "engine/scene/NiSkinPartition.h"
#include "platform/gfxutil/GfxUtilEffect.h"

#include <cstdint>
#include <string>

class NSBAttributeTable;
class NiBoundSphere;
class NiDX9GeometryBufferData;
class NiDX9Renderer;
class NiEffectSet;
class NiGeometry;
class NiPropertySet;
class NiSkinInstance;
class NiXform;

// What one effect parameter is, read once from the effect: an engine value,
// an attribute (global or per object) or a texture.
struct NiD3DXEffectParameterDesc
{
    enum Kind : std::uint32_t
    {
        KIND_NONE = 0,
        KIND_MATRIX = 1,
        KIND_VECTOR = 2,
        KIND_FLOAT = 3,
        KIND_BOOL = 4,
        KIND_INTEGER = 5,
        KIND_TEXTURE = 6,
        KIND_PREDEFINED = 7,
    };
    enum TextureType : std::uint32_t
    {
        TEXTURE_PLAIN = 1,
        TEXTURE_VOLUME = 2,
        TEXTURE_CUBE = 3,
    };

    std::uint32_t m_uiKind = KIND_NONE;
    bool m_bGlobal = false;
    std::string m_kName;
    std::string m_kDesc; // predefined: the semantic
    bool m_bHidden = false;
    // matrix: row after row
    float m_afMatrix[16] = {};
    std::uint32_t m_uiRows = 0, m_uiColumns = 0;
    // vector
    float m_afVector[4] = {};
    std::uint32_t m_uiComponents = 0;
    bool m_bColor = false;
    // float, bool, integer
    float m_fValue = 0.0f, m_fMin = 0.0f, m_fMax = 0.0f;
    bool m_bValue = false;
    std::int32_t m_iValue = 0, m_iMin = 0, m_iMax = 0;
    // texture
    gfx::IDirect3DBaseTexture9* m_pkTexture = nullptr; // counted while the record holds it
    std::uint32_t m_uiTextureType = TEXTURE_PLAIN;
    std::string m_kFile, m_kFunction, m_kTarget, m_kMap;
    std::int32_t m_iWidth = -1, m_iHeight = -1, m_iDepth = -1, m_iMapIndex = -1;
    bool m_bHasFile = false, m_bHasFunction = false, m_bHasMap = false;
    // predefined
    std::uint32_t m_uiPredefined = 0;
    std::uint32_t m_uiArrayCount = 1;

    NiD3DXEffectParameterDesc() = default;
    NiD3DXEffectParameterDesc(const NiD3DXEffectParameterDesc&) = delete;
    NiD3DXEffectParameterDesc& operator=(const NiD3DXEffectParameterDesc&) = delete;
    ~NiD3DXEffectParameterDesc();
};

// One parameter of an effect file, classified once and kept across
// recompiles; only its handle and the device texture it holds change.
class NiD3DXEffectParameter
{
public:
    // Texture map codes: the standard maps in bits 20-23, the numbered ones
    // in bits 24-27 with their number in the low 16 bits.
    static constexpr std::uint32_t MAP_BASE = 0x200000, MAP_DARK = 0x300000, MAP_DETAIL = 0x400000,
                                   MAP_GLOSS = 0x500000, MAP_GLOW = 0x600000, MAP_BUMP = 0x700000,
                                   MAP_DECAL = 0x1000000, MAP_SHADER = 0x2000000;

    NiD3DXEffectParameter() = default;
    ~NiD3DXEffectParameter();
    NiD3DXEffectParameter(const NiD3DXEffectParameter&) = delete;
    NiD3DXEffectParameter& operator=(const NiD3DXEffectParameter&) = delete;

    // Classifies a parameter of the effect into `out`; false when the
    // parameter is of no interest (ignored type, class or semantic).
    // `uiShaderMapIndex` is the effect's running index of unnamed maps.
    static bool DescribeParameter(gfx::ID3DXBaseEffect* pkEffect, gfx::D3DXHANDLE hParameter,
                                  std::uint32_t& uiShaderMapIndex, NiD3DXEffectParameterDesc& out);
    // The predefined value of a semantic after the matrix suffix rules; 0
    // when none. `uiArrayCount` gets the count for the bone palettes.
    static std::uint32_t LookUpPredefined(const char* pcSemantic, bool bColumnMajor, std::uint32_t uiElements,
                                          std::uint32_t& uiArrayCount);

    // Takes the record's values; globals go to the factory's global data,
    // other attributes into the table (a name already there is kept).
    // False when the parameter cannot be used (a texture without file,
    // function or map).
    bool Initialize(const NiD3DXEffectParameterDesc& kDesc, NSBAttributeTable& kTable);

    // A predefined parameter's value for one draw, set into the effect:
    // transforms from the renderer, skin forms and palettes from the skin,
    // texture transforms (identity when missing), material colours, series
    // constants and time. False only for a time value without a float
    // "ZRB_UpdateTime" on the geometry; other missing inputs set nothing.
    bool SetParameter(gfx::ID3DXEffect* pkEffect, NiDX9Renderer* pkRenderer, const NiGeometry* pkGeometry,
                      const NiSkinInstance* pkSkin, const NiSkinPartition::Partition* pkPartition,
                      const NiPropertySet* pkState);
    // Sets the parameter's value for one draw: a predefined value, the
    // texture of a map or of the parameter's file, a global attribute from
    // the factory's global data, or an attribute from the geometry's extra
    // data of the parameter's name. False when nothing could be set; the
    // effect then keeps the value it had.
    bool BindValue(gfx::ID3DXEffect* pkEffect, NiDX9Renderer* pkRenderer, NiGeometry* pkGeometry,
                   const NiSkinInstance* pkSkin, const NiSkinPartition::Partition* pkPartition,
                   NiDX9GeometryBufferData* pkBuffers, const NiPropertySet* pkState, const NiEffectSet* pkEffects,
                   const NiXform& kWorld, const NiBoundSphere& kBound, std::uint32_t uiPass);
    // The device texture of a texture map code from the object's texturing
    // property (standard maps, decal n below the decal count, shader map n
    // below their count); null when any step is missing.
    [[nodiscard]] static gfx::IDirect3DBaseTexture9* GetTexture(NiDX9Renderer* pkRenderer, const NiPropertySet* pkState,
                                                                std::uint32_t uiMapCode);
    // The bone palette all parameters share; freed at shut-down.
    static void ReleaseBonePalette();
    [[nodiscard]] static std::uint32_t GetBonePaletteSize();

    // The texture file of a file texture, loaded once onto the current
    // renderer's device and kept until the device objects go; true when a texture is
    // held. Plain files go through the image-file loader; those it refuses
    // (BMP, TGA) are read by the engine's image readers and handed to the
    // device by the renderer's texture manager, and an image the engine
    // could only replace by its stand-in counts as not loaded. Cube
    // textures come from cube DDS files only, volume textures from volume
    // DDS files only, with the file's first level alone. A procedural
    // texture (a function, no file) is not loaded here.
    bool LoadTexture();
    bool LoadVolumeTexture();
    bool LoadCubeTexture();

    // The handle in a compiled effect (GetParameterByName).
    void LinkHandle(gfx::ID3DXBaseEffect* pkEffect);
    void ReleaseDeviceObject();

    [[nodiscard]] const char* GetName() const { return m_kName.c_str(); }
    [[nodiscard]] gfx::D3DXHANDLE GetHandle() const { return m_hParameter ? m_hParameter : m_kName.c_str(); }
    [[nodiscard]] std::uint32_t GetKind() const { return m_uiKind; }
    [[nodiscard]] bool IsGlobal() const { return m_bGlobal; }
    [[nodiscard]] std::uint32_t GetPredefined() const { return m_uiPredefined; }
    [[nodiscard]] std::uint32_t GetArrayCount() const { return m_uiArrayCount; }
    [[nodiscard]] std::int32_t GetMapIndex() const { return m_iMapIndex; }
    [[nodiscard]] std::uint32_t GetTextureMap() const { return m_uiTextureMap; }
    [[nodiscard]] std::uint32_t GetTextureType() const { return m_uiTextureType; }
    [[nodiscard]] const std::string& GetFileName() const { return m_kFile; }
    [[nodiscard]] const std::string& GetFunction() const { return m_kFunction; }
    [[nodiscard]] const std::string& GetTarget() const { return m_kTarget; }
    [[nodiscard]] std::uint32_t GetElementCount() const { return m_uiElementCount; }
    [[nodiscard]] std::uint32_t GetRows() const { return m_uiRows; }
    [[nodiscard]] std::uint32_t GetColumns() const { return m_uiColumns; }
    [[nodiscard]] bool IsUsed() const { return m_bUsed; }
    void SetUsed(bool bUsed) { m_bUsed = bUsed; }
    [[nodiscard]] bool IsTimeValue() const;
    [[nodiscard]] gfx::IDirect3DBaseTexture9* GetDeviceTexture() const { return m_pkTexture; }

private:
    std::string m_kName;
    gfx::D3DXHANDLE m_hParameter = nullptr;
    bool m_bGlobal = false;
    std::uint32_t m_uiPredefined = 0;
    std::uint32_t m_uiKind = 0;
    std::uint32_t m_uiTextureType = 0;
    std::string m_kFile, m_kFunction, m_kTarget;
    std::int32_t m_iWidth = -1, m_iHeight = -1, m_iDepth = -1; // file textures; -1: the file's
    std::uint32_t m_uiElementCount = 1;
    std::uint32_t m_uiArrayCount = 1;
    std::int32_t m_iMapIndex = -1;
    std::uint32_t m_uiTextureMap = 0;
    std::uint32_t m_uiRows = 0, m_uiColumns = 0;
    bool m_bUsed = false;
    gfx::IDirect3DBaseTexture9* m_pkTexture = nullptr; // counted
};
