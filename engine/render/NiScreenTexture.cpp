#include "engine/render/NiScreenTexture.h"

#include "engine/core/NiObjectStream.h"
#include "engine/core/NiViewerStrings.h"
#include "engine/render/NiRenderer.h"
#include "engine/render/NiTexture.h"
#include "engine/scene/NiTexturingProperty.h"

#include <algorithm>

NiImplementTypeInfo(NiScreenTexture, NiObject)

NiScreenTexture::NiScreenTexture() = default;

NiScreenTexture::NiScreenTexture(NiTexture* pkTexture) : m_spTexProp(new NiTexturingProperty)
{
    m_spTexProp->SetApplyMode(0);
    NiTextureMap* pkBase = m_spTexProp->GetMap(NiTexturingProperty::BASE_INDEX);
    if (pkBase == nullptr)
    {
        pkBase = new NiTextureMap;
        m_spTexProp->SetMap(NiTexturingProperty::BASE_INDEX, pkBase);
    }
    pkBase->SetTexture(pkTexture);
    pkBase->SetClampMode(NiTextureMap::CLAMP_S_CLAMP_T);
}

NiScreenTexture::~NiScreenTexture()
{
    NiRenderer::PurgeScreenTextureData(this);
}

NiObject* NiScreenTexture::CreateObject()
{
    return new NiScreenTexture;
}

std::uint32_t NiScreenTexture::AddScreenRect(std::int16_t sTop, std::int16_t sLeft, std::uint16_t usWidth,
                                             std::uint16_t usHeight, std::uint16_t usTexTop, std::uint16_t usTexLeft,
                                             const NiColorRGBA& kColor)
{
    if (m_uiNumRects >= m_uiCapacity)
        SetCapacity(m_uiCapacity == 0 ? 1 : m_uiCapacity * 2);
    NiScreenRect& kRect = m_pkScreenRects[m_uiNumRects];
    kRect.m_sPixTop = sTop;
    kRect.m_sPixLeft = sLeft;
    kRect.m_usPixWidth = usWidth;
    kRect.m_usPixHeight = usHeight;
    kRect.m_usTexTop = usTexTop;
    kRect.m_usTexLeft = usTexLeft;
    kRect.m_kColor = kColor;
    return m_uiNumRects++;
}

void NiScreenTexture::SetCapacity(std::uint32_t uiCapacity)
{
    if (uiCapacity == m_uiCapacity)
        return;
    // Rectangles beyond the new end are gone: the count must not claim them.
    m_uiNumRects = std::min(m_uiNumRects, uiCapacity);
    std::unique_ptr<NiScreenRect[]> pkRects;
    if (uiCapacity > 0)
    {
        pkRects = std::make_unique<NiScreenRect[]>(uiCapacity);
        std::copy(m_pkScreenRects.get(), m_pkScreenRects.get() + m_uiNumRects, pkRects.get());
    }
    m_pkScreenRects = std::move(pkRects);
    m_uiCapacity = uiCapacity;
}

NiTexturingProperty* NiScreenTexture::GetTexturingProperty() const
{
    return m_spTexProp;
}

NiTexture* NiScreenTexture::GetTexture() const
{
    if (m_spTexProp == nullptr)
        return nullptr;
    const NiTextureMap* pkBase = m_spTexProp->GetMap(NiTexturingProperty::BASE_INDEX);
    return pkBase ? pkBase->GetTexture() : nullptr;
}

void NiScreenTexture::Draw(NiRenderer* pkRenderer)
{
    if (pkRenderer != nullptr)
        pkRenderer->RenderScreenTexture(this);
}

// ---- Cloning ----

NiImplementCreateClone(NiScreenTexture)

void NiScreenTexture::CopyMembers(NiScreenTexture* pkDest, NiCloneContext& kCloning)
{
    NiObject::CopyMembers(pkDest, kCloning);
    pkDest->SetCapacity(m_uiNumRects);
    std::copy(m_pkScreenRects.get(), m_pkScreenRects.get() + m_uiNumRects, pkDest->m_pkScreenRects.get());
    pkDest->m_uiNumRects = m_uiNumRects;
    pkDest->m_spTexProp = m_spTexProp;
    pkDest->m_usDirtyFlags = m_usDirtyFlags;
}

// ---- Scene-file record ----

void NiScreenTexture::ReadFromStream(NiObjectStream& kStream)
{
    NiObject::ReadFromStream(kStream);
    std::uint32_t uiCount = 0;
    // A count the bytes left cannot hold marks the load corrupt before
    // anything is sized from it.
    if (!kStream.ReadCount(uiCount, RECT_RECORD_SIZE))
    {
        kStream.SetCorrupt();
        return;
    }
    SetCapacity(0);
    SetCapacity(uiCount);
    for (std::uint32_t i = 0; i < uiCount; ++i)
    {
        NiScreenRect& kRect = m_pkScreenRects[i];
        kStream.ReadLE(kRect.m_sPixTop);
        kStream.ReadLE(kRect.m_sPixLeft);
        kStream.ReadLE(kRect.m_usPixWidth);
        kStream.ReadLE(kRect.m_usPixHeight);
        kStream.ReadLE(kRect.m_usTexTop);
        kStream.ReadLE(kRect.m_usTexLeft);
        kStream.ReadLE(kRect.m_kColor.r);
        kStream.ReadLE(kRect.m_kColor.g);
        kStream.ReadLE(kRect.m_kColor.b);
        kStream.ReadLE(kRect.m_kColor.a);
    }
    m_uiNumRects = uiCount;
    kStream.ReadLinkID();
}

void NiScreenTexture::ResolveLinks(NiObjectStream& kStream)
{
    NiObject::ResolveLinks(kStream);
    m_spTexProp = kStream.GetLinkedObjectAs<NiTexturingProperty>();
}

bool NiScreenTexture::RegisterForSave(NiObjectStream& kStream)
{
    if (!NiObject::RegisterForSave(kStream))
        return false;
    if (m_spTexProp != nullptr)
        m_spTexProp->RegisterForSave(kStream);
    return true;
}

void NiScreenTexture::WriteToStream(NiObjectStream& kStream)
{
    NiObject::WriteToStream(kStream);
    kStream.WriteLE(m_uiNumRects);
    for (std::uint32_t i = 0; i < m_uiNumRects; ++i)
    {
        const NiScreenRect& kRect = m_pkScreenRects[i];
        kStream.WriteLE(kRect.m_sPixTop);
        kStream.WriteLE(kRect.m_sPixLeft);
        kStream.WriteLE(kRect.m_usPixWidth);
        kStream.WriteLE(kRect.m_usPixHeight);
        kStream.WriteLE(kRect.m_usTexTop);
        kStream.WriteLE(kRect.m_usTexLeft);
        kStream.WriteLE(kRect.m_kColor.r);
        kStream.WriteLE(kRect.m_kColor.g);
        kStream.WriteLE(kRect.m_kColor.b);
        kStream.WriteLE(kRect.m_kColor.a);
    }
    kStream.WriteLinkID(m_spTexProp);
}

bool NiScreenTexture::IsEqual(NiObject* pkOther)
{
    if (!NiObject::IsEqual(pkOther))
        return false;
    auto* pkScreen = static_cast<NiScreenTexture*>(pkOther);
    if (m_uiNumRects != pkScreen->m_uiNumRects)
        return false;
    for (std::uint32_t i = 0; i < m_uiNumRects; ++i)
    {
        if (m_pkScreenRects[i] != pkScreen->m_pkScreenRects[i])
            return false;
    }
    if (m_spTexProp == nullptr || pkScreen->m_spTexProp == nullptr)
        return m_spTexProp == pkScreen->m_spTexProp;
    return m_spTexProp->IsEqual(pkScreen->m_spTexProp);
}

void NiScreenTexture::AppendViewerStrings(NiViewerStringArray& kStrings)
{
    NiObject::AppendViewerStrings(kStrings);
    kStrings.AddTail(NiViewerHeader(NiScreenTexture::TypeInfo()->GetName()));
}
