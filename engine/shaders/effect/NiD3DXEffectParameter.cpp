#include "engine/shaders/effect/NiD3DXEffectParameter.h"

#include "engine/shaders/framework/NiD3DShaderFactory.h"
#include "engine/shaders/framework/NiD3DVertexShaderConstantMap.h"
#include "engine/shaders/nsb/NSBAttributeDesc.h"
#include "engine/shaders/nsb/NSBAttributeTable.h"
#include "platform/os/OsFiles.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <strings.h>

namespace
{
// Predefined value numbers this file needs by name.
constexpr std::uint32_t PREDEFINED_BONE_FIRST = 33; // BoneMatrix3 .. SkinBoneMatrix4: 33-36
constexpr std::uint32_t PREDEFINED_BONE_LAST = 36;
constexpr std::uint32_t PREDEFINED_TIME_FIRST = 82; // time, sin_time, cos_time, tan_time, time_sin_cos_tan: 82-86
constexpr std::uint32_t PREDEFINED_TIME_LAST = 86;

bool Same(const char* a, const char* b)
{
    return a != nullptr && b != nullptr && strcasecmp(a, b) == 0;
}

std::uint32_t FindPredefinedName(const std::string& kName)
{
    std::uint32_t uiCount = 0;
    const NiD3DVertexShaderConstantMap::PredefinedName* pkNames = NiD3DVertexShaderConstantMap::GetPredefinedNames(uiCount);
    for (std::uint32_t ui = 0; ui < uiCount; ++ui)
        if (Same(pkNames[ui].m_pcName, kName.c_str()))
            return pkNames[ui].m_uiMapping;
    return 0;
}

bool EndsWith(const std::string& s, const char* pcSuffix)
{
    const std::size_t n = std::strlen(pcSuffix);
    return s.size() > n && s.compare(s.size() - n, n, pcSuffix) == 0;
}

// Annotation readers: each walks the annotations once, by name ignoring case.
template <typename F>
void ForEachAnnotation(gfx::ID3DXBaseEffect* pkEffect, gfx::D3DXHANDLE hObject, F&& f)
{
    for (std::uint32_t ui = 0;; ++ui)
    {
        gfx::D3DXHANDLE hAnnotation = pkEffect->GetAnnotation(hObject, ui);
        if (hAnnotation == nullptr)
            return;
        gfx::D3DXPARAMETER_DESC kDesc;
        if (gfx::FAILED(pkEffect->GetParameterDesc(hAnnotation, &kDesc)) || kDesc.Name == nullptr)
            continue;
        f(kDesc.Name, hAnnotation);
    }
}

std::string StringOf(gfx::ID3DXBaseEffect* pkEffect, gfx::D3DXHANDLE h)
{
    const char* pcText = nullptr;
    return gfx::SUCCEEDED(pkEffect->GetString(h, &pcText)) && pcText ? std::string(pcText) : std::string();
}

// "desc", "description", "uihelp", "hidden", "uiwidget" = "none".
bool PlainAnnotation(gfx::ID3DXBaseEffect* pkEffect, const char* pcName, gfx::D3DXHANDLE h,
                     NiD3DXEffectParameterDesc& out)
{
    if (Same(pcName, "desc") || Same(pcName, "description") || Same(pcName, "uihelp"))
    {
        out.m_kDesc = StringOf(pkEffect, h);
        return true;
    }
    if (Same(pcName, "hidden"))
    {
        std::int32_t iValue = 0;
        if (gfx::SUCCEEDED(pkEffect->GetBool(h, &iValue)))
            out.m_bHidden = iValue != 0;
        return true;
    }
    if (Same(pcName, "uiwidget"))
    {
        const std::string kWidget = StringOf(pkEffect, h);
        if (Same(kWidget.c_str(), "none"))
            out.m_bHidden = true;
        else if (Same(kWidget.c_str(), "color") || Same(kWidget.c_str(), "colorswatch"))
            out.m_bColor = out.m_uiKind == NiD3DXEffectParameterDesc::KIND_VECTOR;
        return true;
    }
    return false;
}

bool IsOpenable(const std::string& kPath)
{
    std::FILE* pkFile = os::OpenFile(kPath, "rb");
    if (pkFile == nullptr)
        return false;
    std::fclose(pkFile);
    return true;
}
} // namespace

NiD3DXEffectParameterDesc::~NiD3DXEffectParameterDesc()
{
    if (m_pkTexture != nullptr)
        m_pkTexture->Release();
}

NiD3DXEffectParameter::~NiD3DXEffectParameter()
{
    ReleaseDeviceObject();
}

std::uint32_t NiD3DXEffectParameter::LookUpPredefined(const char* pcSemantic, bool bColumnMajor,
                                                      std::uint32_t uiElements, std::uint32_t& uiArrayCount)
{
    uiArrayCount = 1;
    if (pcSemantic == nullptr || *pcSemantic == '\0')
        return 0;
    std::uint32_t uiNumber = FindPredefinedName(pcSemantic);
    if (uiNumber == 0)
    {
        std::string kName(pcSemantic);
        for (char& c : kName)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        bool bInverse = false, bTranspose = false;
        if (EndsWith(kName, "it"))
        {
            kName.resize(kName.size() - 2);
            bInverse = bTranspose = true;
        }
        else if (EndsWith(kName, "trans"))
        {
            kName.resize(kName.size() - 5);
            bTranspose = true;
        }
        else if (EndsWith(kName, "transpose"))
        {
            kName.resize(kName.size() - 9);
            bTranspose = true;
        }
        if (kName.size() > 3 && kName.compare(0, 3, "inv") == 0)
        {
            kName.erase(0, 3);
            bInverse = true;
        }
        else if (EndsWith(kName, "i"))
        {
            kName.pop_back();
            bInverse = true;
        }
        else if (EndsWith(kName, "inverse"))
        {
            kName.resize(kName.size() - 7);
            bInverse = true;
        }
        if (bColumnMajor)
            bTranspose = !bTranspose;
        uiNumber = FindPredefinedName((bInverse ? "Inv" : "") + kName + (bTranspose ? "Transpose" : ""));
    }
    if (uiNumber >= PREDEFINED_BONE_FIRST && uiNumber <= PREDEFINED_BONE_LAST)
        uiArrayCount = uiElements;
    return uiNumber;
}

bool NiD3DXEffectParameter::DescribeParameter(gfx::ID3DXBaseEffect* pkEffect, gfx::D3DXHANDLE hParameter,
                                              std::uint32_t& uiShaderMapIndex, NiD3DXEffectParameterDesc& out)
{
    using Desc = NiD3DXEffectParameterDesc;
    gfx::D3DXPARAMETER_DESC kDesc;
    if (pkEffect == nullptr || gfx::FAILED(pkEffect->GetParameterDesc(hParameter, &kDesc)) || kDesc.Name == nullptr)
        return false;

    // Textures (not 1-D ones).
    if (kDesc.Type == gfx::D3DXPT_TEXTURE || kDesc.Type == gfx::D3DXPT_TEXTURE2D ||
        kDesc.Type == gfx::D3DXPT_TEXTURE3D || kDesc.Type == gfx::D3DXPT_TEXTURECUBE)
    {
        out.m_uiKind = Desc::KIND_TEXTURE;
        out.m_kName = kDesc.Name;
        ForEachAnnotation(pkEffect, hParameter, [&](const char* pcName, gfx::D3DXHANDLE h) {
            if (PlainAnnotation(pkEffect, pcName, h, out))
                return;
            std::int32_t iValue = 0;
            if (Same(pcName, "name"))
            {
                out.m_kFile = StringOf(pkEffect, h);
                out.m_bHasFile = !out.m_kFile.empty();
            }
            else if (Same(pcName, "function"))
            {
                out.m_kFunction = StringOf(pkEffect, h);
                out.m_bHasFunction = !out.m_kFunction.empty();
            }
            else if (Same(pcName, "target"))
                out.m_kTarget = StringOf(pkEffect, h);
            else if (Same(pcName, "width") && gfx::SUCCEEDED(pkEffect->GetInt(h, &iValue)))
                out.m_iWidth = iValue;
            else if (Same(pcName, "height") && gfx::SUCCEEDED(pkEffect->GetInt(h, &iValue)))
                out.m_iHeight = iValue;
            else if (Same(pcName, "depth") && gfx::SUCCEEDED(pkEffect->GetInt(h, &iValue)))
                out.m_iDepth = iValue;
            else if (Same(pcName, "type"))
            {
                const std::string kType = StringOf(pkEffect, h);
                out.m_uiTextureType = Same(kType.c_str(), "volume") ? Desc::TEXTURE_VOLUME
                                      : Same(kType.c_str(), "cube") ? Desc::TEXTURE_CUBE
                                                                    : Desc::TEXTURE_PLAIN;
            }
            else if (Same(pcName, "NTM"))
            {
                out.m_kMap = StringOf(pkEffect, h);
                out.m_bHasMap = !out.m_kMap.empty();
            }
            else if (Same(pcName, "NTMIndex") && gfx::SUCCEEDED(pkEffect->GetInt(h, &iValue)))
                out.m_iMapIndex = iValue;
        });
        gfx::IDirect3DBaseTexture9* pkTexture = nullptr;
        if (gfx::SUCCEEDED(pkEffect->GetTexture(hParameter, &pkTexture)))
            out.m_pkTexture = pkTexture;
        if (out.m_bHasFile && !IsOpenable(out.m_kFile))
        {
            out.m_kFile.clear();
            out.m_bHasFile = false;
        }
        if (!out.m_bHasFile && !out.m_bHasFunction)
        {
            if (!out.m_bHasMap)
            {
                out.m_kMap = "shader";
                out.m_bHasMap = true;
            }
            if (out.m_kMap == "shader" && out.m_iMapIndex < 0)
                out.m_iMapIndex = static_cast<std::int32_t>(uiShaderMapIndex++);
        }
        return true;
    }

    if (kDesc.Type != gfx::D3DXPT_BOOL && kDesc.Type != gfx::D3DXPT_INT && kDesc.Type != gfx::D3DXPT_FLOAT)
        return false;
    const char* pcSemantic = kDesc.Semantic;
    if (Same(pcSemantic, "StandardsGlobal"))
        return false;
    bool bGlobal = false;
    if (pcSemantic != nullptr && std::strcmp(pcSemantic, "GLOBAL") == 0)
        bGlobal = true;
    else if (pcSemantic != nullptr && std::strcmp(pcSemantic, "ATTRIBUTE") != 0)
    {
        std::uint32_t uiArrayCount = 1;
        const std::uint32_t uiNumber = LookUpPredefined(pcSemantic, kDesc.Class == gfx::D3DXPC_MATRIX_COLUMNS,
                                                        kDesc.Elements, uiArrayCount);
        if (uiNumber != 0)
        {
            out.m_uiKind = Desc::KIND_PREDEFINED;
            out.m_kName = kDesc.Name;
            out.m_kDesc = pcSemantic;
            out.m_uiPredefined = uiNumber;
            out.m_uiArrayCount = uiArrayCount;
            ForEachAnnotation(pkEffect, hParameter, [&](const char* pcName, gfx::D3DXHANDLE h) {
                std::int32_t iValue = 0;
                if (Same(pcName, "NTMIndex") && gfx::SUCCEEDED(pkEffect->GetInt(h, &iValue)))
                    out.m_iMapIndex = iValue;
            });
            return true;
        }
    }

    const bool bMatrix = kDesc.Class == gfx::D3DXPC_MATRIX_ROWS || kDesc.Class == gfx::D3DXPC_MATRIX_COLUMNS;
    auto ranges = [&](const char* pcName, gfx::D3DXHANDLE h, bool bFloat) {
        const bool bMin = Same(pcName, "min") || Same(pcName, "uimin");
        const bool bMax = Same(pcName, "max") || Same(pcName, "uimax");
        if (!bMin && !bMax)
            return;
        if (bFloat)
        {
            float f = 0.0f;
            if (gfx::SUCCEEDED(pkEffect->GetFloat(h, &f)))
                (bMin ? out.m_fMin : out.m_fMax) = f;
        }
        else
        {
            std::int32_t i = 0;
            if (gfx::SUCCEEDED(pkEffect->GetInt(h, &i)))
                (bMin ? out.m_iMin : out.m_iMax) = i;
        }
    };
    if (kDesc.Class == gfx::D3DXPC_VECTOR && kDesc.Columns > 1)
    {
        if (kDesc.Type != gfx::D3DXPT_FLOAT)
            return false;
        out.m_uiKind = Desc::KIND_VECTOR;
        out.m_uiComponents = kDesc.Columns;
        ForEachAnnotation(pkEffect, hParameter, [&](const char* pcName, gfx::D3DXHANDLE h) {
            if (PlainAnnotation(pkEffect, pcName, h, out))
                return;
            std::int32_t iValue = 0;
            if (Same(pcName, "color") && gfx::SUCCEEDED(pkEffect->GetBool(h, &iValue)))
                out.m_bColor = iValue != 0;
            else if (Same(pcName, "uitype"))
            {
                const std::string kType = StringOf(pkEffect, h);
                if (Same(kType.c_str(), "color") || Same(kType.c_str(), "colorswatch"))
                    out.m_bColor = true;
            }
            // "min"/"max" vectors are read by the effect but not kept.
        });
        gfx::D3DXVECTOR4 kValue;
        if (gfx::SUCCEEDED(pkEffect->GetVector(hParameter, &kValue)))
        {
            out.m_afVector[0] = kValue.x;
            out.m_afVector[1] = kValue.y;
            out.m_afVector[2] = kValue.z;
            out.m_afVector[3] = kValue.w;
        }
    }
    else if (bMatrix && kDesc.Rows * kDesc.Columns != 1)
    {
        if (kDesc.Type != gfx::D3DXPT_FLOAT)
            return false;
        out.m_uiKind = Desc::KIND_MATRIX;
        out.m_uiRows = kDesc.Rows;
        out.m_uiColumns = kDesc.Columns;
        ForEachAnnotation(pkEffect, hParameter,
                          [&](const char* pcName, gfx::D3DXHANDLE h) { PlainAnnotation(pkEffect, pcName, h, out); });
        gfx::D3DXMATRIX kValue;
        const gfx::HRESULT hr = kDesc.Class == gfx::D3DXPC_MATRIX_COLUMNS
                                    ? pkEffect->GetMatrix(hParameter, &kValue)
                                    : pkEffect->GetMatrixTranspose(hParameter, &kValue);
        if (gfx::FAILED(hr))
            gfx::D3DXMatrixIdentity(&kValue);
        std::memcpy(out.m_afMatrix, kValue.m, sizeof(out.m_afMatrix));
    }
    else if (kDesc.Class == gfx::D3DXPC_SCALAR || kDesc.Class == gfx::D3DXPC_VECTOR || bMatrix)
    {
        ForEachAnnotation(pkEffect, hParameter, [&](const char* pcName, gfx::D3DXHANDLE h) {
            if (!PlainAnnotation(pkEffect, pcName, h, out) && kDesc.Type != gfx::D3DXPT_BOOL)
                ranges(pcName, h, kDesc.Type == gfx::D3DXPT_FLOAT);
        });
        if (kDesc.Type == gfx::D3DXPT_FLOAT)
        {
            out.m_uiKind = Desc::KIND_FLOAT;
            if (gfx::FAILED(pkEffect->GetFloat(hParameter, &out.m_fValue)))
                out.m_fValue = 0.0f;
        }
        else if (kDesc.Type == gfx::D3DXPT_BOOL)
        {
            out.m_uiKind = Desc::KIND_BOOL;
            std::int32_t iValue = 0;
            out.m_bValue = gfx::SUCCEEDED(pkEffect->GetBool(hParameter, &iValue)) && iValue != 0;
        }
        else
        {
            out.m_uiKind = Desc::KIND_INTEGER;
            if (gfx::FAILED(pkEffect->GetInt(hParameter, &out.m_iValue)))
                out.m_iValue = 0;
        }
    }
    else
    {
        return false;
    }
    out.m_bGlobal = bGlobal;
    out.m_kName = kDesc.Name;
    return true;
}

bool NiD3DXEffectParameter::Initialize(const NiD3DXEffectParameterDesc& kDesc, NSBAttributeTable& kTable)
{
    using Desc = NiD3DXEffectParameterDesc;
    using A = NSBAttributeDesc;
    m_kName = kDesc.m_kName;
    m_bGlobal = kDesc.m_bGlobal;
    m_uiKind = kDesc.m_uiKind;
    const char* pcName = m_kName.c_str();
    const char* pcDesc = kDesc.m_kDesc.empty() ? nullptr : kDesc.m_kDesc.c_str();
    const bool bHidden = kDesc.m_bHidden;
    auto global = [&](std::uint32_t uiType, std::uint32_t uiSize, const void* pvValue) {
        return NiD3DShaderFactory::AddGlobalData(pcName, uiType, uiSize, pvValue);
    };
    switch (kDesc.m_uiKind)
    {
    case Desc::KIND_MATRIX: {
        m_uiRows = kDesc.m_uiRows;
        m_uiColumns = kDesc.m_uiColumns;
        m_uiElementCount = m_uiRows * m_uiColumns;
        const bool bThree = m_uiRows == 3 && m_uiColumns == 3;
        if (m_bGlobal)
            bThree ? global(A::ATTRIB_TYPE_MATRIX3, 48, kDesc.m_afMatrix) // three rows of four
                   : global(A::ATTRIB_TYPE_MATRIX4, 64, kDesc.m_afMatrix);
        else if (bThree)
        {
            float af[9];
            for (int r = 0; r < 3; ++r)
                for (int c = 0; c < 3; ++c)
                    af[r * 3 + c] = kDesc.m_afMatrix[r * 4 + c];
            kTable.AddAttribDesc_Matrix3(pcName, pcDesc, bHidden, af);
        }
        else
            kTable.AddAttribDesc_Matrix4(pcName, pcDesc, bHidden, kDesc.m_afMatrix);
        return true;
    }
    case Desc::KIND_VECTOR: {
        m_uiElementCount = kDesc.m_uiComponents;
        const float afZero[4] = {};
        if (kDesc.m_bColor)
        {
            // A colour global is four floats whatever its component count.
            if (m_bGlobal)
                global(A::ATTRIB_TYPE_COLOR, 16, kDesc.m_afVector);
            else if (kDesc.m_uiComponents == 3)
                kTable.AddAttribDesc_Color(pcName, pcDesc, bHidden, kDesc.m_afVector);
            else
                kTable.AddAttribDesc_ColorA(pcName, pcDesc, bHidden, kDesc.m_afVector);
        }
        else if (kDesc.m_uiComponents == 2)
            m_bGlobal ? global(A::ATTRIB_TYPE_POINT2, 8, kDesc.m_afVector)
                      : kTable.AddAttribDesc_Point2(pcName, pcDesc, bHidden, kDesc.m_afVector, afZero, afZero);
        else if (kDesc.m_uiComponents == 3)
            m_bGlobal ? global(A::ATTRIB_TYPE_POINT3, 12, kDesc.m_afVector)
                      : kTable.AddAttribDesc_Point3(pcName, pcDesc, bHidden, kDesc.m_afVector, afZero, afZero);
        else
            m_bGlobal ? global(A::ATTRIB_TYPE_POINT4, 16, kDesc.m_afVector)
                      : kTable.AddAttribDesc_Point4(pcName, pcDesc, bHidden, kDesc.m_afVector, afZero, afZero);
        return true;
    }
    case Desc::KIND_FLOAT: {
        const bool bRanged = kDesc.m_fMin != kDesc.m_fMax;
        m_bGlobal ? global(A::ATTRIB_TYPE_FLOAT, 4, &kDesc.m_fValue)
                  : kTable.AddAttribDesc_Float(pcName, pcDesc, bHidden, kDesc.m_fValue, bRanged ? kDesc.m_fMin : 0.0f,
                                               bRanged ? kDesc.m_fMax : 0.0f);
        return true;
    }
    case Desc::KIND_BOOL: {
        const std::uint8_t ucValue = kDesc.m_bValue ? 1 : 0;
        m_bGlobal ? global(A::ATTRIB_TYPE_BOOL, 1, &ucValue)
                  : kTable.AddAttribDesc_Bool(pcName, pcDesc, bHidden, kDesc.m_bValue);
        return true;
    }
    case Desc::KIND_INTEGER: {
        const bool bRanged = kDesc.m_iMin != kDesc.m_iMax;
        const auto uiValue = static_cast<std::uint32_t>(kDesc.m_iValue);
        m_bGlobal ? global(A::ATTRIB_TYPE_UNSIGNEDINT, 4, &uiValue)
                  : kTable.AddAttribDesc_UnsignedInt(pcName, pcDesc, bHidden, uiValue,
                                                     bRanged ? static_cast<std::uint32_t>(kDesc.m_iMin) : 0u,
                                                     bRanged ? static_cast<std::uint32_t>(kDesc.m_iMax) : 0u);
        return true;
    }
    case Desc::KIND_TEXTURE: {
        if (m_bGlobal)
            global(A::ATTRIB_TYPE_TEXTURE, sizeof(kDesc.m_pkTexture), &kDesc.m_pkTexture);
        m_uiTextureType = kDesc.m_uiTextureType;
        m_iMapIndex = kDesc.m_iMapIndex;
        m_iWidth = kDesc.m_iWidth;
        m_iHeight = kDesc.m_iHeight;
        m_iDepth = kDesc.m_iDepth;
        if (!kDesc.m_bHasMap)
        {
            if (kDesc.m_bHasFile)
                m_kFile = kDesc.m_kFile;
            else if (kDesc.m_bHasFunction)
            {
                m_kFunction = kDesc.m_kFunction;
                m_kTarget = kDesc.m_kTarget.empty() ? std::string("tx_1_0") : kDesc.m_kTarget;
            }
            else
                return false;
            return true;
        }
        static const struct
        {
            const char* pcMap;
            std::uint32_t uiCode;
        } s_akMaps[] = {{"base", MAP_BASE}, {"dark", MAP_DARK},   {"detail", MAP_DETAIL},
                        {"gloss", MAP_GLOSS}, {"glow", MAP_GLOW}, {"bump", MAP_BUMP}};
        const std::uint32_t uiIndex = static_cast<std::uint32_t>(kDesc.m_iMapIndex) & 0xFFFF;
        for (const auto& kMap : s_akMaps)
            if (Same(kMap.pcMap, kDesc.m_kMap.c_str()))
            {
                m_uiTextureMap = kMap.uiCode;
                return true;
            }
        if (Same("decal", kDesc.m_kMap.c_str()))
        {
            m_uiTextureMap = MAP_DECAL | uiIndex;
            return true;
        }
        m_uiTextureMap = MAP_SHADER | uiIndex;
        kTable.AddAttribDesc_Texture(pcName, pcDesc, bHidden, static_cast<std::uint32_t>(kDesc.m_iMapIndex),
                                     kDesc.m_kFile.c_str());
        return true;
    }
    case Desc::KIND_PREDEFINED:
        m_uiPredefined = kDesc.m_uiPredefined;
        m_uiArrayCount = kDesc.m_uiArrayCount;
        m_iMapIndex = kDesc.m_iMapIndex;
        return true;
    default:
        return false;
    }
}

void NiD3DXEffectParameter::LinkHandle(gfx::ID3DXBaseEffect* pkEffect)
{
    m_hParameter = pkEffect != nullptr ? pkEffect->GetParameterByName(nullptr, m_kName.c_str()) : nullptr;
}

void NiD3DXEffectParameter::ReleaseDeviceObject()
{
    if (m_pkTexture != nullptr)
        m_pkTexture->Release();
    m_pkTexture = nullptr;
}

bool NiD3DXEffectParameter::IsTimeValue() const
{
    return m_uiKind == NiD3DXEffectParameterDesc::KIND_PREDEFINED && m_uiPredefined >= PREDEFINED_TIME_FIRST &&
           m_uiPredefined <= PREDEFINED_TIME_LAST;
}
