#include "framework/COrvaneUserPropScan.h"

#include "engine/scene/NiNode.h"
#include "engine/scene/NiNodeAttachment.h"
#include "engine/scene/NiStringExtraData.h"
#include "framework/COrvaneComposite.h"
#include "framework/COrvaneSceneLink.h"

COrvaneUserPropScan::~COrvaneUserPropScan()
{
    Clear();
}

void COrvaneUserPropScan::Clear()
{
    m_kNodes.clear();
    m_pkLastNode = nullptr;
}

bool COrvaneUserPropScan::NodeText(const NiAVObject& kNode, std::string& kText)
{
    const char* pcFound = nullptr;
    bool bFound = false;
    for (std::uint32_t i = kNode.GetExtraDataSize(); i-- > 0;)
    {
        if (auto* pkString = NiDynamicCast<NiStringExtraData>(kNode.GetExtraDataAt(i)))
        {
            pcFound = pkString->GetValue();
            bFound = true;
        }
    }
    if (!bFound)
        return false;
    kText = pcFound ? pcFound : "";
    std::size_t uiLineFeed = kText.find('\n');
    if (uiLineFeed != std::string::npos && uiLineFeed > 0)
    {
        kText.resize(uiLineFeed);
        if (!kText.empty() && kText.back() == '\r')
            kText.pop_back();
    }
    return true;
}

void COrvaneUserPropScan::Walk(NiNode* pkNode, int iKind, const Handler& kHandler)
{
    for (std::uint32_t i = 0; i < pkNode->GetArrayCount(); ++i)
    {
        NiNode* pkChild = NiDynamicCast<NiNode>(pkNode->GetAt(i));
        if (!pkChild)
            continue;
        Walk(pkChild, iKind, kHandler);
        std::string kText;
        if (!NodeText(*pkChild, kText))
            continue;
        m_pkLastNode = pkChild;
        if (!kHandler(kText.c_str(), iKind, pkChild) && iKind == 2)
        {
            auto pkAttachment = std::make_unique<NiNodeAttachment>();
            pkAttachment->Set(pkChild);
            m_kNodes.push_back(std::move(pkAttachment));
        }
    }
}

void COrvaneUserPropScan::Scan(const COrvaneComposite& kModel, const Handler& kHandler)
{
    COrvaneSceneLink kRecord;
    kModel.ProvideRoot(kRecord);
    NiNode* pkRoot = NiDynamicCast<NiNode>(kRecord.m_pkNode);
    if (!pkRoot)
        return;
    Walk(pkRoot, 1, kHandler);
    Walk(pkRoot, 2, kHandler);
}
