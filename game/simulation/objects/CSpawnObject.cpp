#include "game/simulation/objects/CSpawnObject.h"

#include "engine/scene/NiNode.h"
#include "framework/COrvaneComposite.h"

#include <vector>

namespace
{
NiNode* FirstNode(COrvaneComposite* pkModel, const char* pcName)
{
    if (!pkModel)
        return nullptr;
    std::vector<NiNode*> kNodes;
    pkModel->CollectNodes(pcName, kNodes, false);
    return kNodes.empty() ? nullptr : kNodes.front();
}

bool NodePosition(const NiNode* pkNode, NiVec3& kOut)
{
    if (!pkNode)
        return false;
    kOut = pkNode->GetWorldTransform().m_kTranslate;
    return true;
}
} // namespace

CSpawnObject::CSpawnObject() = default;

CSpawnObject::~CSpawnObject() = default;

void CSpawnObject::Destroy()
{
    Reset();
}

void CSpawnObject::Reset()
{
    m_pkCameraNode = nullptr;
    m_pkTargetNode = nullptr;
}

int CSpawnObject::Load(COrvaneObjectDesc& kDesc)
{
    return Create(kDesc);
}

int CSpawnObject::Create(COrvaneObjectDesc& kDesc)
{
    const int iResult = COrvaneObject::Load(kDesc);
    m_pkCameraNode = FirstNode(m_pkModel, "camera");
    m_pkTargetNode = FirstNode(m_pkModel, "bus03");
    return iResult;
}

bool CSpawnObject::GetCameraPosition(NiVec3& kOut) const
{
    return NodePosition(m_pkCameraNode, kOut);
}

bool CSpawnObject::GetTargetPosition(NiVec3& kOut) const
{
    return NodePosition(m_pkTargetNode, kOut);
}
