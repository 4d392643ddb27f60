#include "framework/COrvaneSceneLink.h"

#include "engine/render/image/NiFont.h"
#include "engine/scene/NiCamera.h"
#include "engine/scene/NiFogProperty.h"
#include "engine/scene/NiNode.h"
#include "framework/COrvaneApplication.h"
#include "framework/COrvaneComposite.h"
#include "framework/COrvaneSceneNode.h"
#include "framework/COrvaneTagTree.h"
#include "framework/COrvaneWindow.h"
#include "framework/COrvaneWorld.h"

#include <algorithm>
#include <sstream>
#include "framework/COrvaneCamera.h"
#include "framework/COrvaneRenderer.h"

bool AttachRendererToCamera(COrvaneCamera& kCamera, COrvaneRenderer& kRenderer)
{
    COrvaneSceneLink kLink;
    kCamera.ProvideCamera(kLink.m_pkCamera);
    kRenderer.AttachTo(kLink);
    if (kLink.m_pkCamera == nullptr || kLink.m_pkRenderer == nullptr)
        return false;
    if (kLink.m_pkCamera->GetRenderer() != nullptr)
        return false;
    kLink.m_pkCamera->SetRenderer(kLink.m_pkRenderer);
    return true;
}

bool LoadFont(const char* pcFileName, NiRefPtr<NiFont>& spSlot, COrvaneRenderer& kRenderer)
{
    COrvaneSceneLink kLink;
    kLink.m_pspFontSlot = &spSlot;
    kRenderer.AttachTo(kLink);
    if (kLink.m_pkRenderer == nullptr || pcFileName == nullptr)
        return false;
    *kLink.m_pspFontSlot = NiFont::Create(kLink.m_pkRenderer, pcFileName);
    return *kLink.m_pspFontSlot != nullptr;
}

bool DetachLinked(COrvaneSceneLink& kLink)
{
    if (kLink.m_pkTarget == nullptr || kLink.m_pkNode == nullptr)
        return false;
    if (auto* pkParent = NiDynamicCast<NiNode>(kLink.m_pkNode->GetParent()))
        (void)pkParent->DetachChild(kLink.m_pkNode);
    return true;
}

bool AttachModelToWorld(COrvaneComposite& kModel, COrvaneWorld& kWorld, bool bUseCollision, bool bUpright)
{
    COrvaneSceneLink kLink;
    kModel.ProvideRoot(kLink);
    if (bUpright)
        kLink.m_pkTarget = kWorld.GetUprightNode(bUseCollision);
    else
        kWorld.ProvideRoot(kLink, bUseCollision);
    if (kLink.m_pkTarget == nullptr || kLink.m_pkNode == nullptr)
        return false;
    kLink.m_pkTarget->AttachChild(kLink.m_pkNode, true);
    kModel.SetWorld(&kWorld);
    if (bUseCollision)
        kModel.UpdateNode(0.0f);
    return true;
}

bool DetachModelFromWorld(COrvaneComposite& kModel)
{
    COrvaneWorld* pkWorld = kModel.GetWorld();
    if (pkWorld == nullptr)
        return false;
    COrvaneSceneLink kLink;
    kModel.ProvideRoot(kLink);
    // Whichever world node holds the root.
    kLink.m_pkTarget = kLink.m_pkNode != nullptr ? NiDynamicCast<NiNode>(kLink.m_pkNode->GetParent()) : nullptr;
    if (!DetachLinked(kLink))
        return false;
    kModel.SetWorld(nullptr);
    return true;
}

float FogDepth(float fFar, float fNear, float fFog)
{
    if (!(fFar > fNear))
        return 0.0f;
    return std::max(0.0f, (fFar - fFog) / (fFar - fNear));
}

bool ApplyWorldFog(COrvaneCamera& kCamera, COrvaneWorld& kWorld)
{
    COrvaneSceneLink kLink;
    kCamera.ProvideCamera(kLink.m_pkCamera);
    kWorld.ProvideRoot(kLink, false);
    NiCamera* pkCamera = kLink.m_pkCamera;
    NiNode* pkRoot = kLink.m_pkTarget;
    if (pkCamera == nullptr || pkRoot == nullptr || pkCamera->GetScene() != nullptr)
        return false;

    float fFog = 0.0f;
    if (COrvaneTagTree* pkSettings = COrvaneApplication::GetSettings())
    {
        if (pkSettings->SelectSection("Game_Data", true) && pkSettings->FindChild("FogClipPlane") &&
            !pkSettings->GetValues().empty())
        {
            std::istringstream kStream(pkSettings->GetValues().front());
            kStream >> fFog;
        }
    }
    NiRefPtr<NiFogProperty> spFog = new NiFogProperty;
    spFog->SetFog(true);
    spFog->SetFogFunction(0);
    const NiViewFrustum& kFrustum = pkCamera->GetViewFrustum();
    spFog->SetDepth(FogDepth(kFrustum.m_fFar, kFrustum.m_fNear, fFog));
    const COrvaneApplication* pkApplication = COrvaneApplication::GetExisting();
    const COrvaneWindow* pkWindow = pkApplication != nullptr ? pkApplication->GetWindow() : nullptr;
    if (const COrvaneRenderer* pkHolder = pkWindow != nullptr ? pkWindow->GetRenderer() : nullptr)
    {
        const NiColorRGBA& kBackground = pkHolder->GetBackgroundColor();
        spFog->SetFogColor(NiColorRGB(kBackground.r, kBackground.g, kBackground.b));
    }
    pkRoot->AttachProperty(spFog);
    pkCamera->SetScene(pkRoot);
    pkRoot->Update(0.0f);
    pkRoot->UpdateProperties();
    pkRoot->UpdateEffects();
    pkCamera->Update(0.0f);
    return true;
}

bool DetachCameraFromWorld(COrvaneCamera& kCamera, COrvaneWorld& kWorld)
{
    COrvaneSceneLink kLink;
    kCamera.ProvideCamera(kLink.m_pkCamera);
    kWorld.ProvideRoot(kLink, false);
    if (kLink.m_pkCamera == nullptr || kLink.m_pkTarget == nullptr || kLink.m_pkCamera->GetScene() != kLink.m_pkTarget)
        return false;
    kLink.m_pkCamera->SetScene(nullptr);
    return true;
}

bool AttachSceneNodeToWorld(COrvaneSceneNode& kNode, COrvaneWorld& kWorld, bool bUseCollision)
{
    COrvaneSceneLink kLink;
    kNode.ProvideNode(kLink);
    kWorld.ProvideRoot(kLink, bUseCollision);
    if (kLink.m_pkTarget == nullptr || kLink.m_pkNode == nullptr)
        return false;
    kLink.m_pkTarget->AttachChild(kLink.m_pkNode, true);
    kNode.SetWorld(&kWorld);
    kLink.m_pkNode->Update(0.0f);
    return true;
}

bool DetachSceneNodeFromWorld(COrvaneSceneNode& kNode, COrvaneWorld& kWorld)
{
    COrvaneSceneLink kLink;
    kNode.ProvideNode(kLink);
    kWorld.ProvideRoot(kLink, false);
    if (!DetachLinked(kLink))
        return false;
    kNode.SetWorld(nullptr);
    return true;
}

namespace
{
NiVec3* QuadVertices(float fWidth, float fDepth)
{
    const float fX = fWidth * 0.5f;
    const float fZ = fDepth * 0.5f;
    return new NiVec3[4]{{-fX, 0.0f, -fZ}, {fX, 0.0f, -fZ}, {-fX, 0.0f, fZ}, {fX, 0.0f, fZ}};
}

std::uint16_t* QuadTriangles()
{
    return new std::uint16_t[6]{0, 2, 1, 2, 3, 1};
}
} // namespace

std::unique_ptr<COrvaneSceneNode> CreateFlatQuad(float fWidth, float fDepth)
{
    auto* pkColors = new NiColorRGBA[4];
    for (int i = 0; i < 4; ++i)
        pkColors[i] = NiColorRGBA(0.0f, 0.0f, 0.0f, 0.1f);
    auto* pkUV = new NiVec2[4]{{0.0f, 0.0f}, {0.0f, 1.0f}, {1.0f, 0.0f}, {1.0f, 1.0f}};
    auto pkNode = std::make_unique<COrvaneSceneNode>();
    pkNode->BuildColouredShape(4, QuadVertices(fWidth, fDepth), pkColors, 2, QuadTriangles(),
                               NiColorRGBA(1.0f, 1.0f, 1.0f, 1.0f), pkUV, 1, nullptr);
    return pkNode;
}

std::unique_ptr<COrvaneSceneNode> CreateTexturedQuad(float fWidth, float fDepth, const char* pcTexture,
                                                     float fURepeat, float fVRepeat)
{
    auto* pkColors = new NiColorRGBA[4];
    for (int i = 0; i < 4; ++i)
        pkColors[i] = NiColorRGBA(1.0f, 1.0f, 1.0f, 1.0f);
    auto* pkUV = new NiVec2[4]{{0.0f, 0.0f}, {fURepeat, 0.0f}, {0.0f, fVRepeat}, {fURepeat, fVRepeat}};
    auto pkNode = std::make_unique<COrvaneSceneNode>();
    pkNode->BuildTexturedShape(4, QuadVertices(fWidth, fDepth), pkColors, 2, QuadTriangles(),
                               pcTexture != nullptr ? pcTexture : "", pkUV, 1, nullptr);
    return pkNode;
}
