#include "engine/scene/NiGeometryData.h"

#include "engine/core/NiMatrix3x3.h"
#include "engine/core/NiObjectStream.h"
#include "engine/core/NiRecursiveLock.h"
#include "engine/core/NiViewerStrings.h"
#include "engine/render/NiRenderer.h"

#include <algorithm>
#include <cstring>
#include <new>

static_assert(sizeof(NiVec3) == 12 && sizeof(NiVec2) == 8 && sizeof(NiColorRGBA) == 16,
              "vertex arrays are read and written as packed floats");

NiImplementTypeInfo(NiGeometryData, NiObject)

namespace
{
// Every data object takes the next 16-bit identifier; the renderer keys its
// caches by it.
std::uint16_t s_usNextID = 0;

std::uint16_t TakeID()
{
    NiRecursiveLockGuard kGuard(NiGeometryDataLock());
    return s_usNextID++;
}

template <class T>
void FreeArray(T*& pkArray)
{
    delete[] pkArray;
    pkArray = nullptr;
}

bool FloatsEqual(const void* pvA, const void* pvB, std::uint64_t ulFloats)
{
    const auto* pfA = static_cast<const float*>(pvA);
    return std::equal(pfA, pfA + ulFloats, static_cast<const float*>(pvB));
}
} // namespace

NiGeometryData::NiGeometryData() : m_usID(TakeID()) {}

NiGeometryData::NiGeometryData(std::uint16_t usVertices, NiVec3* pkVertex, NiVec3* pkNormal, NiColorRGBA* pkColor,
                               NiVec2* pkTexture, std::uint16_t usTextureSets, std::uint16_t usNBTMethod)
    : m_usVertices(usVertices), m_usID(TakeID()), m_pkVertex(pkVertex), m_pkNormal(pkNormal), m_pkColor(pkColor),
      m_pkTexture(pkTexture),
      m_usDataFlags(static_cast<std::uint16_t>((usTextureSets & TEXTURE_SET_MASK) | (usNBTMethod & NBT_MASK)))
{
    if (m_usVertices != 0 && m_pkVertex != nullptr)
        RecomputeBound(m_usVertices);
}

NiGeometryData::~NiGeometryData()
{
    NiRenderer::PurgeGeometryData(this);
    FreeArray(m_pkVertex);
    FreeArray(m_pkNormal);
    FreeArray(m_pkColor);
    FreeArray(m_pkTexture);
}

void NiGeometryData::SetNextID(std::uint16_t usID)
{
    NiRecursiveLockGuard kGuard(NiGeometryDataLock());
    s_usNextID = usID;
}

std::uint16_t NiGeometryData::PeekNextID()
{
    NiRecursiveLockGuard kGuard(NiGeometryDataLock());
    return s_usNextID;
}

NiVec2* NiGeometryData::GetTextureSet(std::uint16_t usSet) const
{
    if (m_pkTexture == nullptr || usSet >= GetTextureSets())
        return nullptr;
    return m_pkTexture + static_cast<std::uint32_t>(m_usVertices) * usSet;
}

std::uint32_t NiGeometryData::GetNormalVectorCount() const
{
    return GetNormalBinormalTangentMethod() != 0 ? 3u * m_usVertices : m_usVertices;
}

void NiGeometryData::SetConsistency(std::uint16_t usConsistency)
{
    m_usDirtyFlags = static_cast<std::uint16_t>((m_usDirtyFlags & ~CONSISTENCY_MASK) | (usConsistency & CONSISTENCY_MASK));
}

void NiGeometryData::CreateNormals(bool bZero)
{
    std::uint32_t uiCount = GetNormalVectorCount();
    if (m_pkNormal == nullptr && uiCount != 0)
        m_pkNormal = new NiVec3[uiCount];
    if (bZero && m_pkNormal != nullptr)
        std::fill(m_pkNormal, m_pkNormal + uiCount, NiVec3::ZERO);
}

void NiGeometryData::Replace(std::uint16_t usVertices, NiVec3* pkVertex, NiVec3* pkNormal, NiColorRGBA* pkColor,
                             NiVec2* pkTexture, std::uint16_t usTextureSets, std::uint16_t usNBTMethod)
{
    if (m_pkVertex != pkVertex)
        delete[] m_pkVertex;
    if (m_pkNormal != pkNormal)
        delete[] m_pkNormal;
    if (m_pkColor != pkColor)
        delete[] m_pkColor;
    if (m_pkTexture != pkTexture)
        delete[] m_pkTexture;
    m_usVertices = usVertices;
    m_pkVertex = pkVertex;
    m_pkNormal = pkNormal;
    m_pkColor = pkColor;
    m_pkTexture = pkTexture;
    if (m_pkVertex != nullptr)
        RecomputeBound(m_usVertices);
    m_usDataFlags = static_cast<std::uint16_t>((m_usDataFlags & 0x0FC0) | (usTextureSets & TEXTURE_SET_MASK) |
                                               (usNBTMethod & NBT_MASK));
}

void NiGeometryData::RecomputeBound(std::uint32_t uiCount)
{
    if (m_pkVertex != nullptr)
        m_kBound.ComputeFromPoints(std::min<std::uint32_t>(uiCount, m_usVertices), m_pkVertex);
}

void NiGeometryData::TransformVertices(const NiMatrix3x3& kMatrix, const NiVec3& kTranslate)
{
    std::uint32_t uiCount = std::min<std::uint32_t>(GetActiveVertexCount(), m_usVertices);
    if (m_pkVertex != nullptr)
    {
        for (std::uint32_t i = 0; i < uiCount; ++i)
            m_pkVertex[i] = kMatrix * m_pkVertex[i] + kTranslate;
    }
    if (m_pkNormal != nullptr)
    {
        // Normals go through the inverse transpose; a singular matrix has
        // none, and then the normals are left as they are.
        NiMatrix3x3 kInverse;
        if (kMatrix.Inverse(kInverse))
        {
            NiMatrix3x3 kNormalMatrix = kInverse.Transpose();
            for (std::uint32_t i = 0; i < uiCount; ++i)
                m_pkNormal[i] = kNormalMatrix * m_pkNormal[i];
        }
    }
    RecomputeBound(uiCount);
}

std::uint32_t NiGeometryData::GetBlockAllocationSize() const
{
    std::uint32_t uiSize = static_cast<std::uint32_t>(sizeof(NiGeometryData));
    std::uint32_t uiCount = m_usVertices;
    if (m_pkVertex != nullptr)
        uiSize += 12 * uiCount;
    if (m_pkNormal != nullptr)
        uiSize += 12 * GetNormalVectorCount();
    if (m_pkColor != nullptr)
        uiSize += 16 * uiCount;
    if (m_pkTexture != nullptr)
        uiSize += 8 * uiCount * GetTextureSets();
    return uiSize;
}

// ---- Record helpers ----

bool NiGeometryData::ReadBool(NiObjectStream& kStream, bool& bValue, std::uint32_t uiByteFrom)
{
    bValue = false;
    if (kStream.GetFileVersion() >= uiByteFrom)
    {
        std::uint8_t uc = 0;
        if (!kStream.ReadLE(uc))
            return false;
        bValue = uc != 0;
        return true;
    }
    std::uint32_t ui = 0;
    if (!kStream.ReadLE(ui))
        return false;
    bValue = ui != 0;
    return true;
}

bool NiGeometryData::CheckBytesLeft(NiObjectStream& kStream, std::uint64_t ulBytes)
{
    if (kStream.IsCorrupt() || kStream.GetBytesLeft() < ulBytes)
    {
        kStream.SetCorrupt();
        return false;
    }
    return true;
}

float* NiGeometryData::ReadFloatArray(NiObjectStream& kStream, std::uint64_t ulCount)
{
    if (!CheckBytesLeft(kStream, ulCount * 4))
        return nullptr;
    auto* pf = new (std::nothrow) float[ulCount == 0 ? 1 : ulCount];
    if (pf == nullptr || !kStream.ReadLE(pf, static_cast<std::uint32_t>(ulCount)))
    {
        delete[] pf;
        kStream.SetCorrupt();
        return nullptr;
    }
    return pf;
}

std::uint16_t* NiGeometryData::ReadU16Array(NiObjectStream& kStream, std::uint64_t ulCount)
{
    if (!CheckBytesLeft(kStream, ulCount * 2))
        return nullptr;
    auto* pus = new (std::nothrow) std::uint16_t[ulCount == 0 ? 1 : ulCount];
    if (pus == nullptr)
    {
        kStream.SetCorrupt();
        return nullptr;
    }
    for (std::uint64_t i = 0; i < ulCount; ++i)
    {
        if (!kStream.ReadLE(pus[i]))
        {
            delete[] pus;
            kStream.SetCorrupt();
            return nullptr;
        }
    }
    return pus;
}

// ---- Scene-file record ----

namespace
{
template <class T>
bool ReadVectorArray(NiObjectStream& kStream, T*& pkOut, std::uint64_t ulCount)
{
    constexpr std::uint64_t FLOATS = sizeof(T) / sizeof(float);
    float* pf = NiGeometryData::ReadFloatArray(kStream, ulCount * FLOATS);
    if (pf == nullptr)
        return false;
    pkOut = new (std::nothrow) T[ulCount == 0 ? 1 : ulCount];
    if (pkOut == nullptr)
    {
        delete[] pf;
        kStream.SetCorrupt();
        return false;
    }
    std::memcpy(static_cast<void*>(pkOut), pf, ulCount * sizeof(T));
    delete[] pf;
    return true;
}
} // namespace

void NiGeometryData::ReadFromStream(NiObjectStream& kStream)
{
    NiObject::ReadFromStream(kStream);
    const std::uint32_t uiVersion = kStream.GetFileVersion();
    if (uiVersion >= NiStreamVersion(10, 1, 0, 114))
    {
        std::uint32_t uiGroup = 0;
        if (!kStream.ReadLE(uiGroup))
            return;
        if (uiGroup > kStream.GetBlockGroupCount())
        {
            kStream.SetCorrupt();
            return;
        }
        m_pkGroup = kStream.GetBlockGroup(uiGroup);
    }
    if (!kStream.ReadLE(m_usVertices))
        return;
    if (uiVersion >= NiStreamVersion(10, 0, 1, 16) && (!kStream.ReadLE(m_ucKeepFlags) || !kStream.ReadLE(m_ucCompressFlags)))
        return;

    bool bHas = false;
    if (!ReadBool(kStream, bHas, NiStreamVersion(4, 1, 0, 0)))
        return;
    if (bHas && !ReadVectorArray(kStream, m_pkVertex, m_usVertices))
        return;

    if (uiVersion >= NiStreamVersion(10, 0, 0, 2) && !kStream.ReadLE(m_usDataFlags))
        return;

    if (!ReadBool(kStream, bHas, NiStreamVersion(4, 1, 0, 0)))
        return;
    if (bHas && !ReadVectorArray(kStream, m_pkNormal, GetNormalVectorCount()))
        return;

    float afBound[4] = {};
    if (!kStream.ReadLE(afBound, 4))
        return;
    m_kBound = NiBoundSphere(NiVec3(afBound[0], afBound[1], afBound[2]), afBound[3]);

    if (!ReadBool(kStream, bHas, NiStreamVersion(4, 1, 0, 0)))
        return;
    if (bHas && !ReadVectorArray(kStream, m_pkColor, m_usVertices))
        return;

    if (uiVersion < NiStreamVersion(10, 0, 0, 2))
    {
        std::uint16_t us = 0;
        if (!kStream.ReadLE(us))
            return;
        // Old files give the set count alone; the 6-bit field holds it.
        m_usDataFlags = uiVersion < NiStreamVersion(5, 0, 0, 10) ? static_cast<std::uint16_t>(us & TEXTURE_SET_MASK) : us;
    }
    if (uiVersion < NiStreamVersion(4, 1, 0, 0))
    {
        std::uint32_t uiHasTexture = 0;
        if (!kStream.ReadLE(uiHasTexture))
            return;
    }
    std::uint64_t ulPairs = static_cast<std::uint64_t>(m_usVertices) * GetTextureSets();
    if (ulPairs != 0 && !ReadVectorArray(kStream, m_pkTexture, ulPairs))
        return;

    if (uiVersion >= NiStreamVersion(5, 0, 0, 10))
        (void)kStream.ReadLE(m_usDirtyFlags);
}

void NiGeometryData::WriteToStream(NiObjectStream& kStream)
{
    NiObject::WriteToStream(kStream);
    kStream.WriteLE(kStream.GetBlockGroupIndex(m_pkGroup));
    kStream.WriteLE(m_usVertices);
    kStream.WriteLE(m_ucKeepFlags);
    kStream.WriteLE(m_ucCompressFlags);
    bool bVertices = m_pkVertex != nullptr && m_usVertices != 0;
    kStream.WriteLE(static_cast<std::uint8_t>(bVertices ? 1 : 0));
    if (bVertices)
        kStream.WriteLE(reinterpret_cast<const float*>(m_pkVertex), 3u * m_usVertices);
    // Without coordinates no set can be written: the count says what follows.
    kStream.WriteLE(static_cast<std::uint16_t>(m_pkTexture != nullptr ? m_usDataFlags : m_usDataFlags & ~TEXTURE_SET_MASK));
    bool bNormals = m_pkNormal != nullptr && m_usVertices != 0;
    kStream.WriteLE(static_cast<std::uint8_t>(bNormals ? 1 : 0));
    if (bNormals)
        kStream.WriteLE(reinterpret_cast<const float*>(m_pkNormal), 3u * GetNormalVectorCount());
    kStream.WriteLE(m_kBound.m_kCenter.x);
    kStream.WriteLE(m_kBound.m_kCenter.y);
    kStream.WriteLE(m_kBound.m_kCenter.z);
    kStream.WriteLE(m_kBound.m_fRadius);
    bool bColors = m_pkColor != nullptr && m_usVertices != 0;
    kStream.WriteLE(static_cast<std::uint8_t>(bColors ? 1 : 0));
    if (bColors)
        kStream.WriteLE(reinterpret_cast<const float*>(m_pkColor), 4u * m_usVertices);
    if (m_pkTexture != nullptr)
        kStream.WriteLE(reinterpret_cast<const float*>(m_pkTexture), 2u * m_usVertices * GetTextureSets());
    kStream.WriteLE(static_cast<std::uint16_t>(m_usDirtyFlags & CONSISTENCY_MASK));
}

bool NiGeometryData::IsEqual(NiObject* pkOther)
{
    if (!NiObject::IsEqual(pkOther))
        return false;
    auto* pkData = static_cast<NiGeometryData*>(pkOther);
    if (m_usVertices != pkData->m_usVertices)
        return false;
    if ((m_pkVertex == nullptr) != (pkData->m_pkVertex == nullptr) || m_ucKeepFlags != pkData->m_ucKeepFlags ||
        m_ucCompressFlags != pkData->m_ucCompressFlags)
        return false;
    if (m_pkVertex != nullptr && !FloatsEqual(m_pkVertex, pkData->m_pkVertex, 3ull * m_usVertices))
        return false;
    if ((m_pkNormal == nullptr) != (pkData->m_pkNormal == nullptr) ||
        GetNormalBinormalTangentMethod() != pkData->GetNormalBinormalTangentMethod())
        return false;
    if (m_pkNormal != nullptr && !FloatsEqual(m_pkNormal, pkData->m_pkNormal, 3ull * GetNormalVectorCount()))
        return false;
    if (m_kBound != pkData->m_kBound)
        return false;
    if ((m_pkColor == nullptr) != (pkData->m_pkColor == nullptr) ||
        (m_pkTexture == nullptr) != (pkData->m_pkTexture == nullptr) || GetTextureSets() != pkData->GetTextureSets())
        return false;
    if (m_pkColor != nullptr && !FloatsEqual(m_pkColor, pkData->m_pkColor, 4ull * m_usVertices))
        return false;
    if (m_pkTexture != nullptr &&
        !FloatsEqual(m_pkTexture, pkData->m_pkTexture, 2ull * m_usVertices * GetTextureSets()))
        return false;
    return true;
}

void NiGeometryData::AppendViewerStrings(NiViewerStringArray& kStrings)
{
    NiObject::AppendViewerStrings(kStrings);
    kStrings.AddTail(NiViewerHeader(NiGeometryData::TypeInfo()->GetName()));
    kStrings.AddTail(NiViewerUShort("m_usVertices", m_usVertices));
    kStrings.AddTail(NiViewerPointer("m_pkVertex", m_pkVertex));
    kStrings.AddTail(NiViewerPointer("m_pkNormal", m_pkNormal));
    kStrings.AddTail(NiViewerUShort("NormalBinormalTangent", GetNormalBinormalTangentMethod()));
    kStrings.AddTail(NiViewerBoundSphere("m_kBound", m_kBound));
    kStrings.AddTail(NiViewerPointer("m_pkColor", m_pkColor));
    kStrings.AddTail(NiViewerUShort("Num Texture Sets", GetTextureSets()));
    kStrings.AddTail(NiViewerPointer("m_pkTexture", m_pkTexture));
    kStrings.AddTail(NiViewerUShort("m_usDirtyFlags", m_usDirtyFlags));
    kStrings.AddTail(NiViewerUChar("m_ucKeepFlags", m_ucKeepFlags));
    kStrings.AddTail(NiViewerUChar("m_ucCompressFlags", m_ucCompressFlags));
}
