#include "engine/shaders/framework/NiD3DShaderDeclaration.h"

#include "engine/core/NiColor.h"
#include "engine/render/NiDX9GeometryBufferGroup.h"
#include "engine/render/NiDX9Renderer.h"
#include "engine/render/NiDX9VertexBufferManager.h"
#include "engine/render/NiDX9VertexBufferPool.h"
#include "engine/scene/NiGeometryData.h"
#include "engine/scene/NiSkinInstance.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>

namespace
{
constexpr std::array<std::uint32_t, NiDX9PackingRegistry::TYPE_COUNT> TYPE_SIZES = {4, 8, 12, 16, 4, 4, 4, 8, 4,
                                                                                     4, 8, 4, 8, 4, 4, 4, 8};
using FunctionTable = std::array<std::array<NiDX9PackingFunction, NiDX9PackingRegistry::KIND_COUNT>,
                                 NiDX9PackingRegistry::ENTRY_COUNT>;
FunctionTable gs_kFunctions{};
bool gs_bCreated = false;

// The single-precision scale factors of the integer groups.
const float SCALE_2_M31 = std::bit_cast<float>(0x30000000u);
const float SCALE_2_M32 = std::bit_cast<float>(0x2F800000u);
const float SCALE_32767 = std::bit_cast<float>(0x38000100u);
const float SCALE_65535 = std::bit_cast<float>(0x37800080u);
const float SCALE_127 = std::bit_cast<float>(0x3C010204u);
const float SCALE_255 = std::bit_cast<float>(0x3B808081u);

// The source element of vertex i, or null when there is none to read.
const std::uint8_t* Source(const NiDX9PackingRecord& k, std::uint32_t i)
{
    if (!k.m_pvSource)
        return nullptr;
    std::uint32_t uiElement = i;
    if (k.m_pusVertexMap)
    {
        uiElement = k.m_pusVertexMap[i];
        if (k.m_uiSourceCount && uiElement >= k.m_uiSourceCount)
            return nullptr;
    }
    return static_cast<const std::uint8_t*>(k.m_pvSource) + std::size_t(uiElement) * k.m_uiSourceStride;
}

std::uint8_t* Dest(const NiDX9PackingRecord& k, std::uint32_t i)
{
    return static_cast<std::uint8_t*>(k.m_pvDest) + std::size_t(i) * k.m_uiDestStride;
}

std::uint32_t Written(const NiDX9PackingRecord& k) { return k.m_uiVertexCount * k.m_uiDestSize; }

std::uint32_t PackNothing(const NiDX9PackingRecord&) { return 0; }

// Float sources: n components copied, the rest of the d destination floats 0.
template <std::uint32_t Base>
std::uint32_t PackFloats(const NiDX9PackingRecord& k)
{
    const std::uint32_t d = k.m_uiDestSize / 4;
    const std::uint32_t n = std::min(k.m_uiKind - Base, d);
    for (std::uint32_t i = 0; i < k.m_uiVertexCount; ++i)
    {
        std::uint8_t* puc = Dest(k, i);
        std::memset(puc, 0, k.m_uiDestSize);
        if (const std::uint8_t* pucSrc = Source(k, i))
            std::memcpy(puc, pucSrc, std::size_t(n) * 4);
    }
    return Written(k);
}

// Integer sources: n components converted by one multiply (and a subtract
// for the biased groups), the rest 0.
template <class T, std::uint32_t Base, bool Biased>
std::uint32_t PackIntegers(const NiDX9PackingRecord& k, float fScale)
{
    const std::uint32_t d = k.m_uiDestSize / 4;
    const std::uint32_t n = std::min(k.m_uiKind - Base, d);
    for (std::uint32_t i = 0; i < k.m_uiVertexCount; ++i)
    {
        float af[4] = {0.0f, 0.0f, 0.0f, 0.0f};
        if (const std::uint8_t* pucSrc = Source(k, i))
        {
            for (std::uint32_t c = 0; c < n; ++c)
            {
                T t{};
                std::memcpy(&t, pucSrc + c * sizeof(T), sizeof(T));
                af[c] = Biased ? float(t) * fScale - 1.0f : float(t) * fScale;
            }
        }
        std::memcpy(Dest(k, i), af, k.m_uiDestSize);
    }
    return Written(k);
}

std::uint32_t PackInt32Biased(const NiDX9PackingRecord& k) { return PackIntegers<std::int32_t, 4, true>(k, SCALE_2_M31); }
std::uint32_t PackInt32Scaled(const NiDX9PackingRecord& k) { return PackIntegers<std::int32_t, 8, false>(k, SCALE_2_M32); }
std::uint32_t PackInt16Biased(const NiDX9PackingRecord& k) { return PackIntegers<std::int16_t, 12, true>(k, SCALE_32767); }
std::uint32_t PackInt16Scaled(const NiDX9PackingRecord& k) { return PackIntegers<std::int16_t, 16, false>(k, SCALE_65535); }
std::uint32_t PackUInt8Biased(const NiDX9PackingRecord& k) { return PackIntegers<std::uint8_t, 20, true>(k, SCALE_127); }
std::uint32_t PackUInt8Scaled(const NiDX9PackingRecord& k) { return PackIntegers<std::uint8_t, 24, false>(k, SCALE_255); }

void StoreWord(std::uint8_t* puc, std::uint32_t ui) { std::memcpy(puc, &ui, 4); }

// R, G, B (and A) floats; three components give an opaque colour. Kinds
// 29-32 carry kind - 28 components.
std::uint32_t PackFloatColor(const NiDX9PackingRecord& k)
{
    const std::uint32_t n = k.m_uiKind >= 29 ? k.m_uiKind - 28 : k.m_uiKind;
    for (std::uint32_t i = 0; i < k.m_uiVertexCount; ++i)
    {
        std::uint32_t uiColor = 0xFFFFFFFFu;
        if (const std::uint8_t* pucSrc = Source(k, i))
        {
            float af[4] = {0.0f, 0.0f, 0.0f, 1.0f};
            std::memcpy(af, pucSrc, std::size_t(std::min(n, 4u)) * 4);
            uiColor = (NiColorChannelRounded(af[3]) << 24) | (NiColorChannelRounded(af[0]) << 16) |
                      (NiColorChannelRounded(af[1]) << 8) | NiColorChannelRounded(af[2]);
        }
        StoreWord(Dest(k, i), uiColor);
    }
    return Written(k);
}

std::uint32_t PackDwordColor(const NiDX9PackingRecord& k)
{
    for (std::uint32_t i = 0; i < k.m_uiVertexCount; ++i)
    {
        std::uint32_t uiColor = 0xFFFFFFFFu;
        if (const std::uint8_t* pucSrc = Source(k, i))
            std::memcpy(&uiColor, pucSrc, 4);
        StoreWord(Dest(k, i), uiColor);
    }
    return Written(k);
}

// The ARGB word of the four components' high bytes (s3 alpha, s0 red).
std::uint32_t PackInt16Color(const NiDX9PackingRecord& k)
{
    for (std::uint32_t i = 0; i < k.m_uiVertexCount; ++i)
    {
        std::uint32_t uiColor = 0xFFFFFFFFu;
        if (const std::uint8_t* pucSrc = Source(k, i))
        {
            std::uint16_t aus[4];
            std::memcpy(aus, pucSrc, 8);
            uiColor = (std::uint32_t(aus[3] >> 8) << 24) | (std::uint32_t(aus[0] >> 8) << 16) |
                      (std::uint32_t(aus[1] >> 8) << 8) | std::uint32_t(aus[2] >> 8);
        }
        StoreWord(Dest(k, i), uiColor);
    }
    return Written(k);
}

template <std::uint32_t Base>
std::uint32_t PackByteColor(const NiDX9PackingRecord& k)
{
    const std::uint32_t n = std::min(4u, k.m_uiKind - Base);
    for (std::uint32_t i = 0; i < k.m_uiVertexCount; ++i)
    {
        std::uint8_t auc[4] = {0xFF, 0xFF, 0xFF, 0xFF};
        if (const std::uint8_t* pucSrc = Source(k, i))
        {
            std::memset(auc, 0, 4);
            std::memcpy(auc, pucSrc, n);
        }
        std::memcpy(Dest(k, i), auc, 4);
    }
    return Written(k);
}
// ---- the integer declaration types: no scaling, no clamping ----

// The components of a source kind (4 x group + components, 1-32).
std::uint32_t ComponentsOf(std::uint32_t uiKind) { return (uiKind - 1) % 4 + 1; }
std::uint32_t GroupOf(std::uint32_t uiKind) { return (uiKind - 1) / 4; }

// A float toward zero. NaN and values out of the 32-bit range have no
// integer: they give 0 rather than whatever the hardware makes of them.
std::int32_t Truncated(float f)
{
    if (!(std::fabs(f) < 2147483648.0f))
        return 0;
    return static_cast<std::int32_t>(f);
}

// Component c of a source element as a 32-bit integer, from its group's width.
std::uint32_t IntegerComponent(const std::uint8_t* puc, std::uint32_t uiGroup, std::uint32_t c)
{
    switch (uiGroup)
    {
    case 0: {
        float f = 0.0f;
        std::memcpy(&f, puc + c * 4, 4);
        return static_cast<std::uint32_t>(Truncated(f));
    }
    case 1:
    case 2: {
        std::uint32_t ui = 0;
        std::memcpy(&ui, puc + c * 4, 4);
        return ui;
    }
    case 3:
    case 4: {
        std::uint16_t us = 0;
        std::memcpy(&us, puc + c * 2, 2);
        return us; // 16-bit values go on unchanged: no sign extension needed
    }
    default:
        return puc[c]; // bytes are zero-extended
    }
}

// UBYTE4 (T = uint8_t, 4 components), SHORT2 and SHORT4 (T = uint16_t, 2 or
// 4): the low bits of each source component, missing components 0.
template <class T, std::uint32_t Components>
std::uint32_t PackIntegerType(const NiDX9PackingRecord& k)
{
    const std::uint32_t uiGroup = GroupOf(k.m_uiKind);
    const std::uint32_t n = std::min(ComponentsOf(k.m_uiKind), Components);
    const std::uint32_t uiSize = Components * sizeof(T);
    for (std::uint32_t i = 0; i < k.m_uiVertexCount; ++i)
    {
        T at[Components] = {};
        if (const std::uint8_t* pucSrc = Source(k, i))
            for (std::uint32_t c = 0; c < n; ++c)
                at[c] = static_cast<T>(IntegerComponent(pucSrc, uiGroup, c));
        std::memcpy(Dest(k, i), at, uiSize);
    }
    return k.m_uiVertexCount * uiSize;
}
} // namespace

void NiDX9PackingRegistry::Create()
{
    if (gs_bCreated)
        return;
    gs_kFunctions = {};
    gs_bCreated = true;
    for (std::uint32_t t = 0; t < ENTRY_COUNT; ++t)
        for (std::uint32_t kind = 0; kind < KIND_COUNT; ++kind)
            NiD3DShaderDeclaration::InitPackingFunctions(t, kind);
}

void NiDX9PackingRegistry::Destroy()
{
    gs_kFunctions = {};
    gs_bCreated = false;
}

bool NiDX9PackingRegistry::IsCreated() { return gs_bCreated; }

std::uint32_t NiDX9PackingRegistry::GetTypeSize(std::uint32_t uiType)
{
    return uiType < TYPE_COUNT ? TYPE_SIZES[uiType] : 0;
}

NiDX9PackingFunction NiDX9PackingRegistry::GetFunction(std::uint32_t uiType, std::uint32_t uiKind)
{
    if (!gs_bCreated || uiType >= ENTRY_COUNT || uiKind >= KIND_COUNT)
        return nullptr;
    return gs_kFunctions[uiType][uiKind];
}

void NiDX9PackingRegistry::SetFunction(std::uint32_t uiType, std::uint32_t uiKind, NiDX9PackingFunction pfn)
{
    if (uiType < ENTRY_COUNT && uiKind < KIND_COUNT)
        gs_kFunctions[uiType][uiKind] = pfn;
}

void NiD3DShaderDeclaration::RegisterPackingFunction(std::uint32_t uiType, std::uint32_t uiKind)
{
    NiDX9PackingFunction pfn = nullptr;
    if (uiKind == 0)
    {
        pfn = &PackNothing;
    }
    else if (uiType <= 3) // FLOAT1 to FLOAT4
    {
        if (uiKind <= 4)
            pfn = &PackFloats<0>;
        else if (uiKind <= 8)
            pfn = &PackInt32Biased;
        else if (uiKind <= 12)
            pfn = &PackInt32Scaled;
        else if (uiKind <= 16)
            pfn = &PackInt16Biased;
        else if (uiKind <= 20)
            pfn = &PackInt16Scaled;
        else if (uiKind <= 24)
            pfn = &PackUInt8Biased;
        else if (uiKind <= 28)
            pfn = &PackUInt8Scaled;
        else
            pfn = &PackFloats<28>;
    }
    else if (uiType == NiDX9PackingRegistry::TYPE_D3DCOLOR)
    {
        if (uiKind == 3 || uiKind == 4 || uiKind >= 29)
            pfn = &PackFloatColor;
        else if (uiKind == 5 || uiKind == 9)
            pfn = &PackDwordColor;
        else if (uiKind == 16 || uiKind == 20)
            pfn = &PackInt16Color;
        else if (uiKind >= 21 && uiKind <= 24)
            pfn = &PackByteColor<20>;
        else if (uiKind >= 25 && uiKind <= 28)
            pfn = &PackByteColor<24>;
        // other kinds have no colour: the per-entry packer zero-fills them
    }
    else if (uiType >= gfx::D3DDECLTYPE_UBYTE4 && uiType <= gfx::D3DDECLTYPE_SHORT4 &&
             uiKind < NiDX9PackingRegistry::KIND_COUNT)
    {
        if (GroupOf(uiKind) == 7)
            pfn = &PackNothing;
        else if (uiType == gfx::D3DDECLTYPE_UBYTE4)
            pfn = &PackIntegerType<std::uint8_t, 4>;
        else if (uiType == gfx::D3DDECLTYPE_SHORT2)
            pfn = &PackIntegerType<std::uint16_t, 2>;
        else
            pfn = &PackIntegerType<std::uint16_t, 4>;
    }
    NiDX9PackingRegistry::SetFunction(uiType, uiKind, pfn);
}

// ---- the declaration ----

NiImplementTypeInfo(NiD3DShaderDeclaration, NiDX9ShaderDeclaration)

namespace
{
struct ParameterUsage
{
    std::uint32_t m_uiUsage;
    std::uint32_t m_uiUsageIndex;
};

// Usage and usage index of each engine input 0-14.
ParameterUsage UsageOfParameter(std::uint32_t uiParameter)
{
    switch (uiParameter)
    {
    case NiDX9ShaderDeclaration::SPTYPE_POSITION:
        return {gfx::D3DDECLUSAGE_POSITION, 0};
    case NiDX9ShaderDeclaration::SPTYPE_BLENDWEIGHT:
        return {gfx::D3DDECLUSAGE_BLENDWEIGHT, 0};
    case NiDX9ShaderDeclaration::SPTYPE_BLENDINDICES:
        return {gfx::D3DDECLUSAGE_BLENDINDICES, 0};
    case NiDX9ShaderDeclaration::SPTYPE_NORMAL:
        return {gfx::D3DDECLUSAGE_NORMAL, 0};
    case NiDX9ShaderDeclaration::SPTYPE_COLOR:
        return {gfx::D3DDECLUSAGE_COLOR, 0};
    case NiDX9ShaderDeclaration::SPTYPE_TANGENT:
        return {gfx::D3DDECLUSAGE_TANGENT, 0};
    case NiDX9ShaderDeclaration::SPTYPE_BINORMAL:
        return {gfx::D3DDECLUSAGE_BINORMAL, 0};
    default:
        return {gfx::D3DDECLUSAGE_TEXCOORD, uiParameter - NiDX9ShaderDeclaration::SPTYPE_TEXCOORD0};
    }
}

// The dirty bit an input is packed under; 0: always packed.
std::uint32_t DirtyBitOf(std::int32_t iParameter)
{
    switch (iParameter)
    {
    case NiDX9ShaderDeclaration::SPTYPE_POSITION:
        return NiD3DShaderDeclaration::DIRTY_POSITIONS;
    case NiDX9ShaderDeclaration::SPTYPE_NORMAL:
    case NiDX9ShaderDeclaration::SPTYPE_TANGENT:
    case NiDX9ShaderDeclaration::SPTYPE_BINORMAL:
        return NiD3DShaderDeclaration::DIRTY_NORMALS;
    case NiDX9ShaderDeclaration::SPTYPE_COLOR:
        return NiD3DShaderDeclaration::DIRTY_COLORS;
    default:
        if (iParameter >= NiDX9ShaderDeclaration::SPTYPE_TEXCOORD0 &&
            iParameter <= NiDX9ShaderDeclaration::SPTYPE_TEXCOORD7)
            return NiD3DShaderDeclaration::DIRTY_TEXTURES;
        return 0;
    }
}
} // namespace

NiD3DShaderDeclaration* NiD3DShaderDeclaration::Create(NiDX9Renderer* pkRenderer, std::uint32_t uiEntriesPerStream,
                                                       std::uint32_t uiStreamCount)
{
    if (!pkRenderer || uiStreamCount > pkRenderer->GetMaxStreams())
        return nullptr;
    NiD3DShaderDeclaration* pkDecl = new (std::nothrow) NiD3DShaderDeclaration;
    if (!pkDecl)
        return nullptr;
    if (!pkDecl->Initialize(pkRenderer, uiEntriesPerStream, uiStreamCount))
    {
        // Counted objects die through their count.
        NiRefPtr<NiD3DShaderDeclaration> spDiscard(pkDecl);
        return nullptr;
    }
    return pkDecl;
}

NiD3DShaderDeclaration::~NiD3DShaderDeclaration()
{
    m_spElements.reset();
    if (m_pkDeclaration)
        m_pkDeclaration->Release();
    m_pkDeclaration = nullptr;
}

NiDX9ShaderDeclaration::ShaderRegisterEntry* NiD3DShaderDeclaration::EntryAt(std::uint32_t uiEntry,
                                                                            std::uint32_t uiStream) const
{
    if (uiStream >= m_uiStreamCount || uiEntry >= m_uiMaxEntries || !m_spStreams[uiStream].m_spEntries)
        return nullptr;
    return &m_spStreams[uiStream].m_spEntries[uiEntry];
}

const NiDX9ShaderDeclaration::ShaderRegisterEntry* NiD3DShaderDeclaration::GetEntry(std::uint32_t uiEntry,
                                                                                   std::uint32_t uiStream) const
{
    return EntryAt(uiEntry, uiStream);
}

void NiD3DShaderDeclaration::MarkChanged()
{
    m_bDirty = true;
    if (m_pkDeclaration)
        m_pkDeclaration->Release();
    m_pkDeclaration = nullptr;
}

bool NiD3DShaderDeclaration::SetEntry(std::uint32_t uiStream, std::uint32_t uiEntry, std::uint32_t,
                                      std::int32_t iParameter, std::uint32_t uiType, std::uint32_t uiUsage,
                                      std::uint32_t uiUsageIndex, std::uint32_t uiMethod)
{
    ShaderRegisterEntry* pkEntry = EntryAt(uiEntry, uiStream);
    // A type past UNUSED has no size: it would break every offset after it.
    if (!pkEntry || uiType > TYPE_UNUSED)
        return false;
    // The device blends with three weights; the fourth is implied.
    if (iParameter == SPTYPE_BLENDWEIGHT)
        uiType = gfx::D3DDECLTYPE_FLOAT3;
    if (pkEntry->m_iParameter == iParameter && pkEntry->m_uiType == uiType && pkEntry->m_uiMethod == uiMethod &&
        pkEntry->m_uiUsage == uiUsage && pkEntry->m_uiUsageIndex == uiUsageIndex)
        return true;
    pkEntry->m_iParameter = iParameter;
    pkEntry->m_uiType = uiType;
    pkEntry->m_uiMethod = uiMethod;
    pkEntry->m_uiUsage = uiUsage;
    pkEntry->m_uiUsageIndex = uiUsageIndex;
    MarkChanged();
    return true;
}

bool NiD3DShaderDeclaration::SetEntry(std::uint32_t uiEntry, std::uint32_t uiRegister, std::int32_t iParameter,
                                      std::uint32_t uiType, std::uint32_t uiStream)
{
    if (iParameter < 0 || iParameter > std::int32_t(LAST_PARAMETER))
        return false;
    const ParameterUsage kUsage = UsageOfParameter(std::uint32_t(iParameter));
    return SetEntry(uiStream, uiEntry, uiRegister, iParameter, uiType, kUsage.m_uiUsage, kUsage.m_uiUsageIndex,
                    gfx::D3DDECLMETHOD_DEFAULT);
}

bool NiD3DShaderDeclaration::RemoveEntry(std::uint32_t uiEntry, std::uint32_t uiStream)
{
    ShaderRegisterEntry* pkEntry = EntryAt(uiEntry, uiStream);
    if (!pkEntry)
        return false;
    pkEntry->m_iParameter = SPTYPE_NONE;
    pkEntry->m_uiType = TYPE_UNUSED;
    MarkChanged();
    return true;
}

bool NiD3DShaderDeclaration::ClearAllEntries(std::uint32_t uiStream)
{
    if (uiStream >= m_uiStreamCount)
        return false;
    for (std::uint32_t i = 0; i < m_uiMaxEntries; ++i)
    {
        if (ShaderRegisterEntry* pkEntry = EntryAt(i, uiStream))
        {
            pkEntry->m_iParameter = SPTYPE_NONE;
            pkEntry->m_uiType = TYPE_UNUSED;
        }
    }
    MarkChanged();
    return true;
}

std::uint32_t NiD3DShaderDeclaration::GetVertexStride(std::uint32_t uiStream)
{
    (void)GetD3DDeclaration();
    return uiStream < m_uiStreamCount ? m_spStreams[uiStream].m_uiStride : 0;
}

bool NiD3DShaderDeclaration::GetDeclaration(gfx::IDirect3DVertexDeclaration9*& pkDeclaration,
                                            std::uint32_t& uiStreamCount)
{
    pkDeclaration = GetD3DDeclaration();
    uiStreamCount = m_uiStreamCount;
    return pkDeclaration != nullptr;
}

gfx::IDirect3DVertexDeclaration9* NiD3DShaderDeclaration::GetD3DDeclaration()
{
    if (!m_bDirty)
        return m_pkDeclaration;
    if (m_pkDeclaration)
        m_pkDeclaration->Release();
    m_pkDeclaration = nullptr;

    std::uint32_t uiUsed = 0;
    for (std::uint32_t s = 0; s < m_uiStreamCount; ++s)
    {
        ShaderRegisterStream& kStream = m_spStreams[s];
        kStream.m_bInUse = false;
        for (std::uint32_t e = 0; e < m_uiMaxEntries && kStream.m_spEntries; ++e)
        {
            if (kStream.m_spEntries[e].IsUsed())
            {
                kStream.m_bInUse = true;
                ++uiUsed;
            }
        }
    }
    const std::uint32_t uiTotal = uiUsed ? uiUsed + 1 : 0;
    if (m_uiElementCapacity < uiTotal)
    {
        m_spElements.reset();
        m_uiElementCapacity = 0;
    }
    if (uiTotal == 0)
    {
        m_spElements.reset();
        m_uiElementCapacity = 0;
        m_uiElementCount = 0;
        return nullptr;
    }
    if (!m_spElements)
    {
        m_spElements.reset(new (std::nothrow) gfx::D3DVERTEXELEMENT9[uiTotal]);
        if (!m_spElements)
            return nullptr;
        m_uiElementCapacity = uiTotal;
    }
    m_uiElementCount = 0;

    for (std::uint32_t s = 0; s < m_uiStreamCount; ++s)
    {
        ShaderRegisterStream& kStream = m_spStreams[s];
        if (!kStream.m_bInUse)
            continue;
        std::uint32_t uiOffset = 0;
        for (std::uint32_t e = 0; e < m_uiMaxEntries; ++e)
        {
            ShaderRegisterEntry& kEntry = kStream.m_spEntries[e];
            if (!kEntry.IsUsed())
                continue;
            kEntry.m_uiOffset = uiOffset;
            gfx::D3DVERTEXELEMENT9& kElement = m_spElements[m_uiElementCount++];
            kElement.Stream = static_cast<std::uint16_t>(s);
            kElement.Offset = static_cast<std::uint16_t>(uiOffset);
            kElement.Type = static_cast<std::uint8_t>(kEntry.m_uiType);
            kElement.Method = static_cast<std::uint8_t>(kEntry.m_uiMethod);
            kElement.Usage = static_cast<std::uint8_t>(kEntry.m_uiUsage);
            kElement.UsageIndex = static_cast<std::uint8_t>(kEntry.m_uiUsageIndex);
            uiOffset += NiDX9PackingRegistry::GetTypeSize(kEntry.m_uiType);
        }
        kStream.m_uiStride = uiOffset;
    }
    m_spElements[m_uiElementCount++] = gfx::D3DDECL_END();

    gfx::IDirect3DVertexDeclaration9* pkDeclaration = nullptr;
    if (!m_pkDevice || gfx::FAILED(m_pkDevice->CreateVertexDeclaration(m_spElements.get(), &pkDeclaration)) ||
        !pkDeclaration)
        return nullptr; // still dirty: the next use tries again
    m_pkDeclaration = pkDeclaration;
    m_bDirty = false;
    return m_pkDeclaration;
}

bool NiD3DShaderDeclaration::GetParameterForUsage(std::uint32_t uiUsage, std::uint32_t uiUsageIndex,
                                                  std::int32_t& iParameter, std::uint32_t& uiType,
                                                  std::uint32_t& uiOutUsage, std::uint32_t& uiOutUsageIndex)
{
    uiOutUsage = uiUsage;
    uiOutUsageIndex = 0;
    switch (uiUsage)
    {
    case gfx::D3DDECLUSAGE_POSITION:
        iParameter = SPTYPE_POSITION;
        uiType = gfx::D3DDECLTYPE_FLOAT3;
        return true;
    case gfx::D3DDECLUSAGE_BLENDWEIGHT:
        iParameter = SPTYPE_BLENDWEIGHT;
        uiType = gfx::D3DDECLTYPE_FLOAT3;
        return true;
    case gfx::D3DDECLUSAGE_BLENDINDICES:
        iParameter = SPTYPE_BLENDINDICES;
        uiType = gfx::D3DDECLTYPE_D3DCOLOR;
        return true;
    case gfx::D3DDECLUSAGE_NORMAL:
        iParameter = SPTYPE_NORMAL;
        uiType = gfx::D3DDECLTYPE_FLOAT3;
        return true;
    case gfx::D3DDECLUSAGE_TEXCOORD:
        if (uiUsageIndex >= 8)
            return false;
        iParameter = SPTYPE_TEXCOORD0 + std::int32_t(uiUsageIndex);
        uiType = gfx::D3DDECLTYPE_FLOAT2;
        // Each set keeps its own index: two inputs of index 0 would be refused.
        uiOutUsageIndex = uiUsageIndex;
        return true;
    case gfx::D3DDECLUSAGE_TANGENT:
        iParameter = SPTYPE_TANGENT;
        uiType = gfx::D3DDECLTYPE_FLOAT3;
        return true;
    case gfx::D3DDECLUSAGE_BINORMAL:
        iParameter = SPTYPE_BINORMAL;
        uiType = gfx::D3DDECLTYPE_FLOAT3;
        return true;
    case gfx::D3DDECLUSAGE_COLOR:
        iParameter = SPTYPE_COLOR;
        uiType = gfx::D3DDECLTYPE_D3DCOLOR;
        return true;
    default:
        return false;
    }
}

void NiD3DShaderDeclaration::DeformSkinnedVertices(const NiSkinInstance* pkSkin, const NiGeometryData* pkData,
                                                   std::uint32_t uiVertexCount, void* pvPositions, void* pvNormals,
                                                   void* pvBinormals, void* pvTangents, std::uint32_t uiStride)
{
    if (!pkSkin || !pkData)
        return;
    pkSkin->NiDeformSkinnedVertices(pkData->GetVertices(), pkData->GetNormals(), uiVertexCount, pvPositions,
                                    pvNormals, pvBinormals, pvTangents, uiStride);
}

NiDX9VertexBufferRange* NiD3DShaderDeclaration::PackUntransformedVB(NiGeometryData* pkData, NiSkinInstance* pkSkin,
                                                                    NiSkinPartition::Partition* pkPartition,
                                                                    std::uint32_t uiArgument,
                                                                    std::uint32_t uiDirtyFlags,
                                                                    NiDX9VertexBufferRange* pkRange,
                                                                    std::uint32_t uiStream, void* pvDest)
{
    if (!pkData || uiStream >= m_uiStreamCount)
        return nullptr;
    const std::uint32_t uiCount = pkPartition ? pkPartition->m_usVertices : pkData->GetActiveVertexCount();
    if (uiCount == 0)
        return nullptr;
    gfx::IDirect3DVertexDeclaration9* pkDeclaration = nullptr;
    std::uint32_t uiStreams = 0;
    if (!GetDeclaration(pkDeclaration, uiStreams))
        return nullptr;
    const std::uint32_t uiStride = GetVertexStride(uiStream);

    auto* pkRecord = static_cast<NiDX9GeometryBufferData*>(pkPartition ? pkPartition->m_pvRendererData
                                                                       : pkData->GetRendererData());
    if (pkRecord)
    {
        pkRecord->m_pkDeclaration = pkDeclaration;
        pkRecord->m_uiFVF = 0;
        pkRecord->SetStride(uiStream, uiStride);
        if (m_pkRenderer && m_pkRenderer->GetSWVertexCapable())
            pkRecord->m_bSoftwareVP = m_bSoftwareVP;
    }

    std::uint8_t* puc = static_cast<std::uint8_t*>(pvDest);
    NiDX9VertexBufferRange* pkResult = pkRange;
    bool bLocked = false;
    if (!puc)
    {
        const std::uint32_t uiBytes = uiStride * uiCount;
        gfx::D3DVERTEXBUFFER_DESC kDesc{};
        const bool bReuse = pkRange && pkRange->m_pkVB &&
                            pkData->GetConsistency() != NiGeometryData::VOLATILE &&
                            gfx::SUCCEEDED(pkRange->m_pkVB->GetDesc(&kDesc)) &&
                            kDesc.Format == gfx::D3DFMT_VERTEXDATA && kDesc.Size >= uiBytes;
        if (!bReuse)
        {
            if (!pkRecord || !m_pkVBManager)
                return nullptr;
            if (pkRecord->GetStreamCount() <= uiStream)
            {
                pkRecord->SetStreamCount(std::max(m_uiStreamCount, uiStream + 1));
                pkRecord->SetStride(uiStream, uiStride);
            }
            if (pkRecord->m_uiVertCount < uiCount)
                pkRecord->m_uiVertCount = uiCount;
            pkResult = m_pkVBManager->CreateStreamBuffer(pkRecord, uiStream);
            if (!pkResult)
                return nullptr;
            uiDirtyFlags = DIRTY_ALL; // a new buffer holds nothing yet
        }
        puc = static_cast<std::uint8_t*>(m_pkVBManager->LockBuffer(
            pkResult->m_pkVB, pkResult->m_uiOffset, std::max(pkResult->m_uiSize, uiBytes), pkResult->m_uiLockFlags));
        if (!puc)
            return nullptr;
        bLocked = true;
    }

    const bool bDeform = pkSkin && !pkPartition;
    void* apvDeform[4] = {nullptr, nullptr, nullptr, nullptr}; // position, normal, binormal, tangent
    ShaderRegisterStream& kStream = m_spStreams[uiStream];
    for (std::uint32_t e = 0; e < m_uiMaxEntries && kStream.m_spEntries; ++e)
    {
        const ShaderRegisterEntry& kEntry = kStream.m_spEntries[e];
        if (!kEntry.IsUsed())
            continue;
        const std::uint32_t uiBit = DirtyBitOf(kEntry.m_iParameter);
        if (uiBit && !(uiDirtyFlags & uiBit))
            continue;
        std::uint8_t* pucElement = puc + kEntry.m_uiOffset;
        // Skinning writes three floats: only into elements that hold them, and
        // only where there is something to skin.
        const bool bThreeFloats =
            kEntry.m_uiType == gfx::D3DDECLTYPE_FLOAT3 || kEntry.m_uiType == gfx::D3DDECLTYPE_FLOAT4;
        const bool bSource = kEntry.m_iParameter == SPTYPE_POSITION ? pkData->GetVertices() != nullptr
                                                                    : pkData->GetNormals() != nullptr;
        if (bDeform && bThreeFloats && bSource)
        {
            int iSlot = -1;
            switch (kEntry.m_iParameter)
            {
            case SPTYPE_POSITION: iSlot = 0; break;
            case SPTYPE_NORMAL: iSlot = 1; break;
            case SPTYPE_BINORMAL: iSlot = 2; break;
            case SPTYPE_TANGENT: iSlot = 3; break;
            default: break;
            }
            if (iSlot >= 0)
            {
                apvDeform[iSlot] = pucElement;
                continue;
            }
        }
        PackEntry(static_cast<std::uint16_t>(uiCount), pkData, uiArgument, pkPartition, nullptr, kEntry, uiStride,
                  pucElement);
    }
    if (bDeform)
        DeformSkinnedVertices(pkSkin, pkData, uiCount, apvDeform[0], apvDeform[1], apvDeform[2], apvDeform[3],
                              uiStride);

    if (bLocked && !m_pkVBManager->UnlockBuffer(pkResult->m_pkVB))
        return nullptr;
    return pkResult;
}
