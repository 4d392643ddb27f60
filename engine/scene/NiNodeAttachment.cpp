#include "engine/scene/NiNodeAttachment.h"

#include "engine/scene/NiNode.h"
#include "engine/scene/NiStringExtraData.h"

void NiNodeAttachment::Set(NiAVObject* pkObject)
{
    m_spObject = pkObject;
    m_pkNode = pkObject ? pkObject->GetParent() : nullptr;
}

void NiNodeAttachment::Clear()
{
    m_spObject = nullptr;
    m_pkNode = nullptr;
}

void NiNodeAttachment::Detach()
{
    if (m_spObject == nullptr)
        return;
    if (NiNode* pkParent = NiDynamicCast<NiNode>(m_spObject->GetParent()))
        (void)pkParent->DetachChild(m_spObject);
}

void NiNodeAttachment::Reattach()
{
    if (NiNode* pkNode = NiDynamicCast<NiNode>(m_pkNode); pkNode != nullptr && m_spObject != nullptr)
        pkNode->AttachChild(m_spObject, false);
}

std::unique_ptr<NiNodeAttachment> NiNodeAttachment::Clone() const
{
    auto spCopy = std::make_unique<NiNodeAttachment>();
    spCopy->m_spObject = m_spObject;
    spCopy->m_pkNode = m_pkNode;
    return spCopy;
}

void NiNodeAttachment::GetStringExtraDataText(std::string& kText) const
{
    if (m_spObject == nullptr)
        return;
    for (std::uint32_t i = m_spObject->GetExtraDataSize(); i-- > 0;)
    {
        auto* pkString = NiDynamicCast<NiStringExtraData>(m_spObject->GetExtraDataAt(i));
        if (pkString == nullptr)
            continue;
        const char* pcValue = pkString->GetValue();
        kText = pcValue ? pcValue : "";
        std::string::size_type uiFeed = kText.find('\n');
        if (uiFeed != std::string::npos)
        {
            if (uiFeed > 0 && kText[uiFeed - 1] == '\r')
                --uiFeed;
            kText.erase(uiFeed);
        }
    }
}
