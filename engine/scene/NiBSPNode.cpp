#include "engine/scene/NiBSPNode.h"

#include "engine/core/NiObjectStream.h"
#include "engine/core/NiViewerStrings.h"
#include "engine/scene/NiCamera.h"

NiImplementTypeInfo(NiBSPNode, NiNode)

int NiBSPNode::WhichSide(const NiPlane& kPlane, const NiVec3& kPoint)
{
    float fDistance = kPlane.Distance(kPoint);
    if (fDistance > 0.0f)
        return 1;
    if (fDistance < 0.0f)
        return 2;
    return 0;
}

void NiBSPNode::ApplyTransform(const NiMatrix3x3& kRotate, const NiVec3& kTranslate, bool bOnLeft)
{
    // The plane moves with the geometry: a point p becomes M p + t, so the
    // normal goes through M (a rotation) and the constant gains n' . t.
    // A transform given in the parent's space is carried into this node's
    // space as for the children.
    NiMatrix3x3 kM;
    NiVec3 kT;
    ToChildSpace(kRotate, kTranslate, bOnLeft, kM, kT);
    NiVec3 kNormal = kM.MultiplyVector(m_kModelPlane.m_kNormal);
    m_kModelPlane = NiPlane(kNormal, m_kModelPlane.m_fConstant + kNormal.Dot(kT));
    NiNode::ApplyTransform(kRotate, kTranslate, bOnLeft);
}

void NiBSPNode::UpdateWorldData()
{
    NiNode::UpdateWorldData();
    const NiXform& kWorld = m_kWorld;
    NiVec3 kNormal = kWorld.m_kRotate.MultiplyVector(m_kModelPlane.m_kNormal);
    m_kWorldPlane = NiPlane(kNormal, m_kModelPlane.m_fConstant * kWorld.m_fScale + kNormal.Dot(kWorld.m_kTranslate));
}

void NiBSPNode::OnVisible(NiCamera* pkCamera)
{
    int iSide = 1;
    if (pkCamera != nullptr)
    {
        float fDistance = m_kWorldPlane.Distance(pkCamera->GetWorldLocation());
        if (fDistance < 0.0f)
            iSide = 2;
        else if (fDistance == 0.0f)
            iSide = WhichSide(m_kWorldPlane, pkCamera->GetWorldDirection());
    }
    if (iSide == 2)
    {
        CullChild(GetAt(1), pkCamera);
        CullChild(GetAt(0), pkCamera);
    }
    else
    {
        CullChild(GetAt(0), pkCamera);
        CullChild(GetAt(1), pkCamera);
    }
}

NiObject* NiBSPNode::CreateClone(NiCloneContext& kCloning)
{
    auto* pkClone = new NiBSPNode;
    CopyMembers(pkClone, kCloning);
    pkClone->m_kModelPlane = m_kModelPlane;
    return pkClone;
}

void NiBSPNode::ReadFromStream(NiObjectStream& kStream)
{
    NiNode::ReadFromStream(kStream);
    kStream.ReadLE(m_kModelPlane.m_kNormal.x);
    kStream.ReadLE(m_kModelPlane.m_kNormal.y);
    kStream.ReadLE(m_kModelPlane.m_kNormal.z);
    kStream.ReadLE(m_kModelPlane.m_fConstant);
}

void NiBSPNode::WriteToStream(NiObjectStream& kStream)
{
    NiNode::WriteToStream(kStream);
    kStream.WriteLE(m_kModelPlane.m_kNormal.x);
    kStream.WriteLE(m_kModelPlane.m_kNormal.y);
    kStream.WriteLE(m_kModelPlane.m_kNormal.z);
    kStream.WriteLE(m_kModelPlane.m_fConstant);
}

bool NiBSPNode::IsEqual(NiObject* pkOther)
{
    return NiNode::IsEqual(pkOther) && m_kModelPlane == static_cast<NiBSPNode*>(pkOther)->m_kModelPlane;
}

void NiBSPNode::AppendViewerStrings(NiViewerStringArray& kStrings)
{
    NiNode::AppendViewerStrings(kStrings);
    kStrings.AddTail(NiViewerHeader(NiBSPNode::TypeInfo()->GetName()));
    for (auto [pcName, pkPlane] : {std::pair{"m_kModelPlane", &m_kModelPlane}, std::pair{"m_kWorldPlane", &m_kWorldPlane}})
    {
        char* pcValue = pkPlane->GetViewerString(pcName);
        kStrings.AddTail(NiViewerString(pcName, pcValue));
        delete[] pcValue;
    }
}
