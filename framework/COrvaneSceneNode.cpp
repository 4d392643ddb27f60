#include "framework/COrvaneSceneNode.h"

#include "engine/scene/NiAlphaProperty.h"
#include "engine/scene/NiMaterialProperty.h"
#include "engine/scene/NiNode.h"
#include "engine/scene/NiTexturingProperty.h"
#include "engine/scene/NiTriShape.h"
#include "framework/COrvaneSceneLink.h"

namespace
{
constexpr float RADIANS_PER_DEGREE = 0.017453292f;
constexpr std::uint16_t HIDDEN_BIT = 0x0001;
constexpr std::uint16_t BLENDING_ALPHA_FLAGS = 237;

NiMatrix3x3 SceneRootTurn()
{
    NiMatrix3x3 kTurn;
    kTurn.MakeXRotation(COrvaneSceneNode::SCENE_ROOT_TURN);
    return kTurn;
}
} // namespace

void COrvaneSceneNodeImpl::Reset()
{
    m_spSceneRoot = nullptr;
    m_spRoot = nullptr;
    m_pkShape = nullptr;
    m_bRotationPending = false;
    m_bPositionPending = false;
}

COrvaneSceneNode::~COrvaneSceneNode()
{
    Release();
}

NiNode* COrvaneSceneNode::GetSceneRoot() const
{
    return m_pkImpl ? m_pkImpl->m_spSceneRoot.Get() : nullptr;
}

NiNode* COrvaneSceneNode::GetRoot() const
{
    return m_pkImpl ? m_pkImpl->m_spRoot.Get() : nullptr;
}

void COrvaneSceneNode::BuildNodes(std::uint16_t usVertices, NiVec3* pkVertex, NiColorRGBA* pkColors,
                                  std::uint16_t usTriangles, std::uint16_t* pusTriList, NiVec2* pkTexture,
                                  std::uint16_t usTextureSets, NiVec3* pkNormals)
{
    m_pkImpl = std::make_unique<COrvaneSceneNodeImpl>();
    m_pkImpl->m_kPendingRotation = NiMatrix3x3::IDENTITY;
    auto* pkShape = new NiTriShape(usVertices, pkVertex, pkNormals, pkColors, pkTexture, usTextureSets, 0, usTriangles,
                                   pusTriList);
    m_pkImpl->m_pkShape = pkShape;
    m_pkImpl->m_spRoot = new NiNode;
    m_pkImpl->m_spRoot->SetName("Root");
    m_pkImpl->m_spRoot->AttachChild(pkShape);
    m_pkImpl->m_spSceneRoot = new NiNode;
    m_pkImpl->m_spSceneRoot->SetName("Scene Root");
    m_pkImpl->m_spSceneRoot->AttachChild(m_pkImpl->m_spRoot);
    m_pkImpl->m_spSceneRoot->SetRotate(SceneRootTurn());
}

void COrvaneSceneNode::BuildTexturedShape(std::uint16_t usVertices, NiVec3* pkVertex, NiColorRGBA* pkColors,
                                          std::uint16_t usTriangles, std::uint16_t* pusTriList, const char* pcTexture,
                                          NiVec2* pkTexture, std::uint16_t usTextureSets, NiVec3* pkNormals)
{
    BuildNodes(usVertices, pkVertex, pkColors, usTriangles, pusTriList, pkTexture, usTextureSets, pkNormals);
    if (!pcTexture || !*pcTexture)
        return;
    auto* pkTexturing = new NiTexturingProperty(pcTexture);
    pkTexturing->SetApplyMode(0);
    if (NiTextureMap* pkBase = pkTexturing->GetMap(NiTexturingProperty::BASE_INDEX))
        pkBase->SetFilterMode(NiTextureMap::FILTER_TRILERP);
    m_pkImpl->m_spSceneRoot->AttachProperty(pkTexturing);
    m_pkImpl->m_spSceneRoot->UpdateProperties();
}

void COrvaneSceneNode::BuildColouredShape(std::uint16_t usVertices, NiVec3* pkVertex, NiColorRGBA* pkColors,
                                          std::uint16_t usTriangles, std::uint16_t* pusTriList,
                                          const NiColorRGBA& kColour, NiVec2* pkTexture, std::uint16_t usTextureSets,
                                          NiVec3* pkNormals)
{
    BuildNodes(usVertices, pkVertex, pkColors, usTriangles, pusTriList, pkTexture, usTextureSets, pkNormals);
    auto* pkAlpha = new NiAlphaProperty;
    pkAlpha->SetFlags(BLENDING_ALPHA_FLAGS);
    pkAlpha->SetTestRef(0);
    m_pkImpl->m_spSceneRoot->AttachProperty(pkAlpha);
    auto* pkMaterial = new NiMaterialProperty;
    pkMaterial->SetAmbientColor(NiColorRGB(kColour.r, kColour.g, kColour.b));
    pkMaterial->SetRevisionID(pkMaterial->GetRevisionID() + 1);
    pkMaterial->SetAlpha(kColour.a);
    pkMaterial->SetRevisionID(pkMaterial->GetRevisionID() + 1);
    m_pkImpl->m_spSceneRoot->AttachProperty(pkMaterial);
    m_pkImpl->m_spSceneRoot->UpdateProperties();
}

void COrvaneSceneNode::SetVisible(bool bVisible)
{
    NiNode* pkSceneRoot = GetSceneRoot();
    if (!pkSceneRoot)
        return;
    std::uint16_t usFlags = pkSceneRoot->GetFlags();
    pkSceneRoot->SetFlags(bVisible ? static_cast<std::uint16_t>(usFlags & ~HIDDEN_BIT)
                                   : static_cast<std::uint16_t>(usFlags | HIDDEN_BIT));
}

void COrvaneSceneNode::SetMaterialColor(float fRed, float fGreen, float fBlue, float fAlpha)
{
    NiNode* pkSceneRoot = GetSceneRoot();
    auto* pkMaterial =
        pkSceneRoot ? static_cast<NiMaterialProperty*>(pkSceneRoot->GetProperty(NiProperty::MATERIAL)) : nullptr;
    if (!pkMaterial)
        return;
    pkMaterial->SetAmbientColor(NiColorRGB(fRed, fGreen, fBlue));
    pkMaterial->SetRevisionID(pkMaterial->GetRevisionID() + 1);
    pkMaterial->SetAlpha(fAlpha);
    pkMaterial->SetRevisionID(pkMaterial->GetRevisionID() + 1);
    pkSceneRoot->UpdateProperties();
}

void COrvaneSceneNode::SetSignalColor(float fRed, float fGreen, float fBlue, float fAlpha)
{
    SetMaterialColor(fRed, fGreen, fBlue, fAlpha);
    NiNode* pkSceneRoot = GetSceneRoot();
    auto* pkMaterial =
        pkSceneRoot ? static_cast<NiMaterialProperty*>(pkSceneRoot->GetProperty(NiProperty::MATERIAL)) : nullptr;
    if (!pkMaterial)
        return;
    pkMaterial->SetEmittance(NiColorRGB(fRed, fGreen, fBlue));
    pkMaterial->SetRevisionID(pkMaterial->GetRevisionID() + 1);
    pkSceneRoot->UpdateProperties();
}

int COrvaneSceneNode::ProvideNode(COrvaneSceneLink& kRecord) const
{
    if (kRecord.m_pkNode || !GetSceneRoot())
        return 0;
    kRecord.m_pkNode = GetSceneRoot();
    return 1;
}

void COrvaneSceneNode::SetPosition(const NiVec3& kPoint, bool bRelative)
{
    if (!m_pkImpl)
        return;
    if (bRelative)
    {
        // From the root, where the result goes: the game places absolutely,
        // and a start from the scene root would jump back after each apply.
        NiVec3 kFrom = m_pkImpl->m_bPositionPending ? m_pkImpl->m_kPendingPosition : m_pkImpl->m_spRoot->GetTranslate();
        m_pkImpl->m_kPendingPosition = kFrom + kPoint;
    }
    else
    {
        m_pkImpl->m_kPendingPosition = kPoint;
    }
    m_pkImpl->m_bPositionPending = true;
}

void COrvaneSceneNode::SetRotation(const NiVec3& kAxis, float fDegrees, int iMode)
{
    if (!m_pkImpl)
        return;
    NiMatrix3x3 kNew;
    kNew.MakeAxisRotation(fDegrees * RADIANS_PER_DEGREE, kAxis);
    if (iMode == 0)
    {
        m_pkImpl->m_kPendingRotation = kNew * SceneRootTurn();
    }
    else
    {
        NiMatrix3x3 kCurrent =
            m_pkImpl->m_bRotationPending ? m_pkImpl->m_kPendingRotation : m_pkImpl->m_spRoot->GetRotate();
        m_pkImpl->m_kPendingRotation = iMode == 1 ? kNew * kCurrent : kCurrent * kNew;
    }
    m_pkImpl->m_bRotationPending = true;
}

void COrvaneSceneNode::ApplyChanges()
{
    if (!m_pkImpl || (!m_pkImpl->m_bRotationPending && !m_pkImpl->m_bPositionPending))
        return;
    if (m_pkImpl->m_bRotationPending)
        m_pkImpl->m_spRoot->SetRotate(m_pkImpl->m_kPendingRotation);
    if (m_pkImpl->m_bPositionPending)
        m_pkImpl->m_spRoot->SetTranslate(m_pkImpl->m_kPendingPosition);
    m_pkImpl->m_spRoot->Update(0.0f, false);
    m_pkImpl->m_bRotationPending = false;
    m_pkImpl->m_bPositionPending = false;
}

void COrvaneSceneNode::Release()
{
    // Leaving the world's scene: a scene root still hung under a world node
    // is let go by it.
    if (NiNode* pkSceneRoot = GetSceneRoot())
    {
        if (NiAVObject* pkParent = pkSceneRoot->GetParent())
            static_cast<NiNode*>(pkParent)->DetachChild(pkSceneRoot);
    }
    if (m_pkImpl)
        m_pkImpl->Reset();
    m_pkImpl.reset();
    m_pkWorld = nullptr;
}
