#include "engine/render/NiPalette.h"

#include "engine/core/NiByteStream.h"
#include "engine/core/NiEndian.h"
#include "engine/core/NiObjectStream.h"
#include "engine/core/NiRecursiveLock.h"
#include "engine/core/NiViewerStrings.h"

#include <algorithm>
#include <new>
#include <vector>

NiImplementTypeInfo(NiPalette, NiObject)

NiPalette* NiPalette::ms_pkHead = nullptr;
NiPalette* NiPalette::ms_pkTail = nullptr;

NiPalette::NiPalette()
{
    AddToList();
}

NiPalette::NiPalette(bool bHasAlpha, std::uint32_t uiEntries, const PaletteEntry* pkEntries)
{
    Assign(bHasAlpha, uiEntries, pkEntries);
    AddToList();
}

NiPalette::NiPalette(const NiPalette& kOther) : NiObject()
{
    Assign(kOther.GetHasAlpha(), kOther.m_uiEntries, kOther.m_pkPalette.get());
    AddToList();
}

NiPalette& NiPalette::operator=(const NiPalette& kOther)
{
    if (this != &kOther)
    {
        Assign(kOther.GetHasAlpha(), kOther.m_uiEntries, kOther.m_pkPalette.get());
        m_pkRendererData.reset();
        m_uiRevID = 1;
    }
    return *this;
}

NiPalette::~NiPalette()
{
    RemoveFromList();
}

void NiPalette::Assign(bool bHasAlpha, std::uint32_t uiEntries, const PaletteEntry* pkEntries)
{
    m_ucAlpha = bHasAlpha ? 1 : 0;
    if (uiEntries != m_uiEntries || !m_pkPalette)
    {
        m_pkPalette.reset(uiEntries ? new PaletteEntry[uiEntries] : nullptr);
        m_uiEntries = uiEntries;
    }
    if (uiEntries != 0)
    {
        if (pkEntries != nullptr)
            std::copy(pkEntries, pkEntries + uiEntries, m_pkPalette.get());
        else
            std::fill(m_pkPalette.get(), m_pkPalette.get() + uiEntries, PaletteEntry{});
    }
}

void NiPalette::AddToList()
{
    NiRecursiveLockGuard kGuard(NiPaletteLock());
    m_pkPrev = ms_pkTail;
    m_pkNext = nullptr;
    if (ms_pkTail)
        ms_pkTail->m_pkNext = this;
    else
        ms_pkHead = this;
    ms_pkTail = this;
}

void NiPalette::RemoveFromList()
{
    NiRecursiveLockGuard kGuard(NiPaletteLock());
    if (m_pkPrev)
        m_pkPrev->m_pkNext = m_pkNext;
    else
        ms_pkHead = m_pkNext;
    if (m_pkNext)
        m_pkNext->m_pkPrev = m_pkPrev;
    else
        ms_pkTail = m_pkPrev;
    m_pkPrev = m_pkNext = nullptr;
}

std::uint32_t NiPalette::GetListCount()
{
    NiRecursiveLockGuard kGuard(NiPaletteLock());
    std::uint32_t uiCount = 0;
    for (NiPalette* p = ms_pkHead; p; p = p->m_pkNext)
        ++uiCount;
    return uiCount;
}

bool NiPalette::LoadRecord(NiObjectStream& kStream)
{
    NiByteStream* pkIn = kStream.GetInStream();
    if (pkIn == nullptr)
        return false;
    std::uint8_t ucAlpha = 0;
    std::uint32_t uiEntries = 0;
    if (!NiReadLE(*pkIn, ucAlpha) || !NiReadLE(*pkIn, uiEntries) || uiEntries > MAX_STREAM_ENTRIES ||
        4ull * uiEntries > kStream.GetBytesLeft())
        return false;
    // The count comes from the file: read before sizing anything by it.
    std::vector<std::uint8_t> kBytes(static_cast<std::size_t>(uiEntries) * 4);
    if (!kBytes.empty() && pkIn->Read(kBytes.data(), static_cast<std::uint32_t>(kBytes.size())) != kBytes.size())
        return false;
    std::vector<PaletteEntry> kEntries(uiEntries);
    for (std::uint32_t i = 0; i < uiEntries; ++i)
        kEntries[i] = {kBytes[4 * i], kBytes[4 * i + 1], kBytes[4 * i + 2], kBytes[4 * i + 3]};
    Assign(ucAlpha != 0, uiEntries, kEntries.data());
    return true;
}

bool NiPalette::SaveRecord(NiObjectStream& kStream) const
{
    NiByteStream* pkOut = kStream.GetOutStream();
    if (pkOut == nullptr)
        return false;
    bool bOk = NiWriteLE(*pkOut, m_ucAlpha);
    bOk = NiWriteLE(*pkOut, m_uiEntries) && bOk;
    for (std::uint32_t i = 0; i < m_uiEntries; ++i)
    {
        const PaletteEntry& kEntry = m_pkPalette[i];
        const std::uint8_t aucBytes[4] = {kEntry.m_ucRed, kEntry.m_ucGreen, kEntry.m_ucBlue, kEntry.m_ucAlpha};
        bOk = pkOut->Write(aucBytes, 4) == 4 && bOk;
    }
    return bOk;
}

bool NiPalette::IsEqual(NiObject* pkOther)
{
    if (!NiObject::IsEqual(pkOther))
        return false;
    const NiPalette* pkPalette = static_cast<const NiPalette*>(pkOther);
    if (m_ucAlpha != pkPalette->m_ucAlpha || m_uiEntries != pkPalette->m_uiEntries)
        return false;
    return std::equal(m_pkPalette.get(), m_pkPalette.get() + m_uiEntries, pkPalette->m_pkPalette.get());
}

void NiPalette::AppendViewerStrings(NiViewerStringArray& kStrings)
{
    NiObject::AppendViewerStrings(kStrings);
    kStrings.AddTail(NiViewerHeader(NiPalette::TypeInfo()->GetName()));
    kStrings.AddTail(NiViewerBool("m_bAlpha", GetHasAlpha()));
    kStrings.AddTail(NiViewerUInt("m_uiEntries", m_uiEntries));
}

bool NiPalette::RegisterForSave(NiObjectStream& kStream)
{
    return NiObject::RegisterForSave(kStream);
}

NiObject* NiPalette::CreateObject()
{
    return new (std::nothrow) NiPalette;
}

void NiPalette::ReadFromStream(NiObjectStream& kStream)
{
    NiObject::ReadFromStream(kStream);
    if (!LoadRecord(kStream))
        kStream.SetCorrupt();
}

void NiPalette::WriteToStream(NiObjectStream& kStream)
{
    NiObject::WriteToStream(kStream);
    SaveRecord(kStream);
}
