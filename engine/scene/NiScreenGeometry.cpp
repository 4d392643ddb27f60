#include "engine/scene/NiScreenGeometry.h"

#include "engine/core/NiObjectStream.h"
#include "engine/core/NiViewerStrings.h"

#include <algorithm>
#include <cassert>
#include <cstring>
#include <new>

NiImplementTypeInfo(NiScreenGeometryData, NiTriShapeData)
NiImplementTypeInfo(NiScreenGeometry, NiTriShape)

// ---- NiScreenElement ----

NiScreenElement::~NiScreenElement()
{
    SetElement(0, nullptr, nullptr, nullptr, 0);
}

void NiScreenElement::SetElement(std::uint16_t usVertices, NiVec2* pkPositions, NiColorRGBA* pkColors,
                                 NiVec2* pkTextures, std::uint16_t usTextureSets)
{
    if (usVertices != m_usVertices)
    {
        // Arrays sized for the old count cannot serve the new one.
        if (m_pkPositions != pkPositions)
            delete[] m_pkPositions;
        if (m_pkColors != pkColors)
            delete[] m_pkColors;
        if (m_pkTextures != pkTextures)
            delete[] m_pkTextures;
        m_pkPositions = nullptr;
        m_pkColors = nullptr;
        m_pkTextures = nullptr;
        m_usVertices = usVertices;
    }
    if (m_pkPositions != pkPositions)
        delete[] m_pkPositions;
    m_pkPositions = pkPositions;
    if (m_pkColors != pkColors)
        delete[] m_pkColors;
    m_pkColors = pkColors;
    if (m_pkTextures != pkTextures)
        delete[] m_pkTextures;
    m_pkTextures = pkTextures;
    m_usTextureSets = usTextureSets;
}

bool NiScreenElement::IsEqual(const NiScreenElement& k) const
{
    if (m_usVertices != k.m_usVertices || m_usTextureSets != k.m_usTextureSets)
        return false;
    auto Same = [](const float* pfA, const float* pfB, std::size_t n) {
        if ((pfA == nullptr) != (pfB == nullptr))
            return false;
        return pfA == nullptr || std::equal(pfA, pfA + n, pfB);
    };
    const std::size_t n = m_usVertices;
    return Same(reinterpret_cast<const float*>(m_pkPositions), reinterpret_cast<const float*>(k.m_pkPositions), 2 * n) &&
           Same(reinterpret_cast<const float*>(m_pkColors), reinterpret_cast<const float*>(k.m_pkColors), 4 * n) &&
           Same(reinterpret_cast<const float*>(m_pkTextures), reinterpret_cast<const float*>(k.m_pkTextures),
                2 * n * m_usTextureSets);
}

// ---- NiScreenElementPool ----

namespace
{
struct ElementPool
{
    std::vector<NiScreenElement*> m_kFree;
    std::vector<std::unique_ptr<NiScreenElement[]>> m_kBlocks;
    std::uint32_t m_uiNextBlock = NiScreenElementPool::FIRST_BLOCK_SIZE;
    std::uint32_t m_uiElements = 0;
    std::uint32_t m_uiOut = 0;
    bool m_bClosing = false;
};

ElementPool* s_pkPool = nullptr;
} // namespace

void NiScreenElementPool::Init()
{
    if (s_pkPool == nullptr)
        s_pkPool = new ElementPool;
    s_pkPool->m_bClosing = false;
}

void NiScreenElementPool::Shutdown()
{
    if (s_pkPool == nullptr)
        return;
    // Elements still held by live data keep their blocks until they come
    // back.
    if (s_pkPool->m_uiOut != 0)
    {
        s_pkPool->m_bClosing = true;
        return;
    }
    delete s_pkPool;
    s_pkPool = nullptr;
}

NiScreenElement* NiScreenElementPool::Take()
{
    if (s_pkPool == nullptr)
        Init();
    ElementPool& k = *s_pkPool;
    if (k.m_kFree.empty())
    {
        std::unique_ptr<NiScreenElement[]> spBlock(new (std::nothrow) NiScreenElement[k.m_uiNextBlock]);
        if (spBlock == nullptr)
            return nullptr;
        for (std::uint32_t i = k.m_uiNextBlock; i-- > 0;)
            k.m_kFree.push_back(&spBlock[i]);
        k.m_uiElements += k.m_uiNextBlock;
        k.m_kBlocks.push_back(std::move(spBlock));
        k.m_uiNextBlock *= 2;
    }
    NiScreenElement* pkElement = k.m_kFree.back();
    k.m_kFree.pop_back();
    ++k.m_uiOut;
    return pkElement;
}

void NiScreenElementPool::Return(NiScreenElement* pkElement)
{
    // Data gives back only the elements it took, filled slots only.
    assert(pkElement != nullptr && "screen element pool asked to free null");
    if (pkElement == nullptr || s_pkPool == nullptr)
        return;
    pkElement->SetElement(0, nullptr, nullptr, nullptr, 0);
    s_pkPool->m_kFree.push_back(pkElement);
    --s_pkPool->m_uiOut;
    if (s_pkPool->m_bClosing && s_pkPool->m_uiOut == 0)
        Shutdown();
}

bool NiScreenElementPool::IsInitialized()
{
    return s_pkPool != nullptr && !s_pkPool->m_bClosing;
}

std::uint32_t NiScreenElementPool::GetFreeCount()
{
    return s_pkPool ? static_cast<std::uint32_t>(s_pkPool->m_kFree.size()) : 0;
}

std::uint32_t NiScreenElementPool::GetBlockCount()
{
    return s_pkPool ? static_cast<std::uint32_t>(s_pkPool->m_kBlocks.size()) : 0;
}

std::uint32_t NiScreenElementPool::GetElementCount()
{
    return s_pkPool ? s_pkPool->m_uiElements : 0;
}

std::uint32_t NiScreenElementPool::GetNextBlockSize()
{
    return s_pkPool ? s_pkPool->m_uiNextBlock : FIRST_BLOCK_SIZE;
}

// ---- NiScreenGeometryData ----

NiScreenGeometryData::~NiScreenGeometryData()
{
    RemoveAllElements();
}

NiObject* NiScreenGeometryData::CreateObject()
{
    return new NiScreenGeometryData;
}

std::uint32_t NiScreenGeometryData::GetElementCount() const
{
    return static_cast<std::uint32_t>(
        std::count_if(m_kElements.begin(), m_kElements.end(), [](const NiScreenElement* pk) { return pk != nullptr; }));
}

NiScreenElement* NiScreenGeometryData::GetElement(std::uint32_t uiSlot) const
{
    return uiSlot < m_kElements.size() ? m_kElements[uiSlot] : nullptr;
}

void NiScreenGeometryData::SetElementAt(std::uint32_t uiSlot, NiScreenElement* pkElement)
{
    if (uiSlot >= m_kElements.size())
    {
        // Grows by four slots at a time.
        m_kElements.reserve((uiSlot / 4 + 1) * 4);
        m_kElements.resize(uiSlot + 1, nullptr);
    }
    if (m_kElements[uiSlot] != nullptr && m_kElements[uiSlot] != pkElement)
        NiScreenElementPool::Return(m_kElements[uiSlot]);
    m_kElements[uiSlot] = pkElement;
}

void NiScreenGeometryData::RemoveAllElements()
{
    for (NiScreenElement*& pkElement : m_kElements)
    {
        if (pkElement != nullptr)
            NiScreenElementPool::Return(pkElement);
        pkElement = nullptr;
    }
    m_kElements.clear();
    m_kElements.shrink_to_fit();
}

bool NiScreenGeometryData::ReadOldTriangles(NiObjectStream& kStream)
{
    std::uint16_t usVertices = 0;
    std::uint16_t usTriangles = 0;
    std::uint16_t usLength = 0;
    if (!kStream.ReadLE(usVertices) || !kStream.ReadLE(usTriangles) || !kStream.ReadLE(usLength))
        return false;
    // The count replaces the one the arrays were read with: a larger one
    // would index past them.
    if (usVertices > m_usVertices || usLength != 3u * usTriangles)
    {
        kStream.SetCorrupt();
        return false;
    }
    m_usVertices = usVertices;
    std::uint16_t* pusList = nullptr;
    if (usLength != 0)
    {
        pusList = ReadU16Array(kStream, usLength);
        if (pusList == nullptr)
            return false;
        for (std::uint16_t i = 0; i < usLength; ++i)
        {
            if (pusList[i] >= m_usVertices)
            {
                delete[] pusList;
                kStream.SetCorrupt();
                return false;
            }
        }
    }
    SetTriangles(usTriangles, pusList);
    return true;
}

bool NiScreenGeometryData::ReadElement(NiObjectStream& kStream, std::uint32_t uiSlot)
{
    std::uint16_t usVertices = 0;
    if (!kStream.ReadLE(usVertices))
        return false;
    if (usVertices == 0)
        return true;
    std::unique_ptr<NiVec2[]> spPositions;
    std::unique_ptr<NiColorRGBA[]> spColors;
    std::unique_ptr<NiVec2[]> spTextures;
    std::uint8_t ucHas = 0;
    if (!kStream.ReadLE(ucHas))
        return false;
    if (ucHas != 0)
    {
        std::unique_ptr<float[]> spFloats(ReadFloatArray(kStream, 2ull * usVertices));
        if (spFloats == nullptr)
            return false;
        spPositions.reset(new NiVec2[usVertices]);
        std::memcpy(static_cast<void*>(spPositions.get()), spFloats.get(), 8ull * usVertices);
    }
    if (!kStream.ReadLE(ucHas))
        return false;
    if (ucHas != 0)
    {
        std::unique_ptr<float[]> spFloats(ReadFloatArray(kStream, 4ull * usVertices));
        if (spFloats == nullptr)
            return false;
        spColors.reset(new NiColorRGBA[usVertices]);
        std::memcpy(static_cast<void*>(spColors.get()), spFloats.get(), 16ull * usVertices);
    }
    std::uint16_t usSets = 0;
    if (!kStream.ReadLE(usSets))
        return false;
    if (usSets != 0)
    {
        const std::uint64_t ulPairs = static_cast<std::uint64_t>(usSets) * usVertices;
        std::unique_ptr<float[]> spFloats(ReadFloatArray(kStream, 2 * ulPairs));
        if (spFloats == nullptr)
            return false;
        spTextures.reset(new NiVec2[ulPairs]);
        std::memcpy(static_cast<void*>(spTextures.get()), spFloats.get(), 8 * ulPairs);
    }
    NiScreenElement* pkElement = NiScreenElementPool::Take();
    if (pkElement == nullptr)
    {
        kStream.SetCorrupt();
        return false;
    }
    pkElement->SetElement(usVertices, spPositions.release(), spColors.release(), spTextures.release(), usSets);
    m_kElements[uiSlot] = pkElement;
    return true;
}

void NiScreenGeometryData::ReadFromStream(NiObjectStream& kStream)
{
    const bool bOld = kStream.GetFileVersion() < NiStreamVersion(10, 0, 1, 15);
    if (bOld)
        NiGeometryData::ReadFromStream(kStream);
    else
        NiTriShapeData::ReadFromStream(kStream);
    if (kStream.IsCorrupt())
        return;
    std::uint8_t ucPixelAccurate = 0;
    if (!kStream.ReadLE(ucPixelAccurate))
        return;
    m_bPixelAccurate = ucPixelAccurate != 0;
    if (bOld && !ReadOldTriangles(kStream))
        return;
    std::uint32_t uiSlots = 0;
    // Every slot holds at least its vertex count.
    if (!kStream.ReadCount(uiSlots, 2))
        return;
    RemoveAllElements();
    m_kElements.assign(uiSlots, nullptr);
    for (std::uint32_t s = 0; s < uiSlots; ++s)
    {
        if (!ReadElement(kStream, s))
        {
            kStream.SetCorrupt();
            return;
        }
    }
}

void NiScreenGeometryData::WriteToStream(NiObjectStream& kStream)
{
    NiTriShapeData::WriteToStream(kStream);
    kStream.WriteLE(static_cast<std::uint8_t>(m_bPixelAccurate ? 1 : 0));
    kStream.WriteLE(static_cast<std::uint32_t>(m_kElements.size()));
    for (const NiScreenElement* pkElement : m_kElements)
    {
        if (pkElement == nullptr || pkElement->m_usVertices == 0)
        {
            kStream.WriteLE(std::uint16_t{0});
            continue;
        }
        const std::uint32_t n = pkElement->m_usVertices;
        kStream.WriteLE(pkElement->m_usVertices);
        kStream.WriteLE(static_cast<std::uint8_t>(pkElement->m_pkPositions ? 1 : 0));
        if (pkElement->m_pkPositions)
            kStream.WriteLE(reinterpret_cast<const float*>(pkElement->m_pkPositions), 2 * n);
        kStream.WriteLE(static_cast<std::uint8_t>(pkElement->m_pkColors ? 1 : 0));
        if (pkElement->m_pkColors)
            kStream.WriteLE(reinterpret_cast<const float*>(pkElement->m_pkColors), 4 * n);
        const std::uint16_t usSets = pkElement->m_pkTextures ? pkElement->m_usTextureSets : 0;
        kStream.WriteLE(usSets);
        if (usSets != 0)
            kStream.WriteLE(reinterpret_cast<const float*>(pkElement->m_pkTextures), 2 * n * usSets);
    }
}

bool NiScreenGeometryData::IsEqual(NiObject* pkOther)
{
    if (!NiTriShapeData::IsEqual(pkOther))
        return false;
    auto* pkData = static_cast<NiScreenGeometryData*>(pkOther);
    if (m_bPixelAccurate != pkData->m_bPixelAccurate || GetElementCount() != pkData->GetElementCount() ||
        m_kElements.size() != pkData->m_kElements.size())
        return false;
    for (std::size_t s = 0; s < m_kElements.size(); ++s)
    {
        const NiScreenElement* pkA = m_kElements[s];
        const NiScreenElement* pkB = pkData->m_kElements[s];
        if ((pkA == nullptr) != (pkB == nullptr))
            return false;
        if (pkA != nullptr && !pkA->IsEqual(*pkB))
            return false;
    }
    return true;
}

void NiScreenGeometryData::AppendViewerStrings(NiViewerStringArray& kStrings)
{
    NiGeometryData::AppendViewerStrings(kStrings);
    kStrings.AddTail(NiViewerHeader(NiScreenGeometryData::TypeInfo()->GetName()));
    kStrings.AddTail(NiViewerBool("m_bPixelAccurate", m_bPixelAccurate));
    kStrings.AddTail(NiViewerUInt("Num Elements", GetElementCount()));
}

// ---- NiScreenGeometry ----

NiObject* NiScreenGeometry::CreateObject()
{
    return new NiScreenGeometry;
}

NiImplementCreateClone(NiScreenGeometry)

void NiScreenGeometry::CopyMembers(NiScreenGeometry* pkDest, NiCloneContext& kCloning)
{
    NiTriShape::CopyMembers(pkDest, kCloning);
}

void NiScreenGeometry::AppendViewerStrings(NiViewerStringArray& kStrings)
{
    NiTriShape::AppendViewerStrings(kStrings);
    kStrings.AddTail(NiViewerHeader(NiScreenGeometry::TypeInfo()->GetName()));
}

bool NiScreenGeometry::IsDataClassValid(const NiGeometryData* pkData) const
{
    return NiIsKindOf<NiScreenGeometryData>(pkData);
}
