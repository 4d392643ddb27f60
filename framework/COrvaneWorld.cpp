#include "framework/COrvaneWorld.h"

#include "engine/core/NiMatrix3x3.h"
#include "engine/render/NiRenderer.h"
#include "engine/scene/NiCamera.h"
#include "engine/scene/NiNode.h"
#include "engine/scene/NiNodeAttachment.h"
#include "engine/scene/NiPropertySet.h"
#include "engine/scene/NiStringExtraData.h"
#include "engine/scene/NiSwitchNode.h"
#include "engine/scene/NiTriBasedGeom.h"
#include "engine/scene/NiZBufferProperty.h"
#include "framework/COrvaneAnimationSpline.h"
#include "framework/COrvaneApplication.h"
#include "framework/COrvaneBlockGridStack.h"
#include "framework/COrvaneCamera.h"
#include "framework/COrvaneComposite.h"
#include "framework/COrvaneObject.h"
#include "framework/COrvaneObjectDesc.h"
#include "framework/COrvaneObjectTemplate.h"
#include "framework/COrvaneRenderer.h"
#include "framework/COrvaneSceneFileLoader.h"
#include "framework/COrvaneSceneLink.h"
#include "framework/COrvaneTemplateBuilder.h"
#include "framework/COrvaneWindow.h"

#include <cstring>
#include <string>

namespace
{
NiNode* FindChildNode(NiNode* pkRoot, const char* pcName)
{
    return pkRoot != nullptr ? NiDynamicCast<NiNode>(pkRoot->GetObjectByName(pcName)) : nullptr;
}

// The first line of the lowest-index string extra data, without its line
// feed and a carriage return before it.
std::string PlaceholderText(const NiAVObject& kNode)
{
    std::string kText;
    for (std::uint32_t i = kNode.GetExtraDataSize(); i-- > 0;)
    {
        if (auto* pkString = NiDynamicCast<NiStringExtraData>(kNode.GetExtraDataAt(i)))
            kText = pkString->GetValue() != nullptr ? pkString->GetValue() : "";
    }
    const std::size_t uiFeed = kText.find('\n');
    if (uiFeed != std::string::npos)
    {
        kText.resize(uiFeed);
        if (!kText.empty() && kText.back() == '\r')
            kText.pop_back();
    }
    return kText;
}
} // namespace

// The scene state of a world.
class COrvaneWorldImpl
{
public:
    virtual ~COrvaneWorldImpl() { Reset(); }

    virtual bool LoadFile(const char* pcFileName);
    // Lets go of the scene root and the sky box; the collision node stays.
    virtual void Reset();

    bool LoadLevelScene(COrvaneWorld& kWorld, const char* pcFileName);
    void LoadObjectNode(NiNode& kNode, COrvaneWorld& kWorld, int iPass);

    NiRefPtr<NiNode> m_spSceneRoot;
    NiRefPtr<NiNode> m_spCollision;
    COrvaneWorld* m_pkWorld = nullptr;
    NiRefPtr<NiNode> m_spSkyBox;
    NiNode* m_pkSelected = nullptr; // link: the scene holds it
    // Under the scene root [0] and the collision node [1].
    NiRefPtr<NiNode> m_aspUpright[2];
};

void COrvaneWorldImpl::Reset()
{
    m_spSceneRoot = nullptr;
    m_spSkyBox = nullptr;
    m_pkWorld = nullptr;
    m_pkSelected = nullptr;
    m_aspUpright[0] = nullptr;
    m_aspUpright[1] = nullptr;
}

bool COrvaneWorldImpl::LoadFile(const char* pcFileName)
{
    COrvaneSceneFileLoader kLoader;
    if (!kLoader.Load(pcFileName,
                      [](void* pvImpl, COrvaneSceneFileLoader& kFrom)
                      {
                          auto* pkImpl = static_cast<COrvaneWorldImpl*>(pvImpl);
                          if (pkImpl->m_spSceneRoot == nullptr)
                              pkImpl->m_spSceneRoot = NiDynamicCast<NiNode>(kFrom.GetCurrentObject());
                      }))
        return false;
    kLoader.ForEachTopObject(this);
    return m_spSceneRoot != nullptr;
}

bool COrvaneWorldImpl::LoadLevelScene(COrvaneWorld& kWorld, const char* pcFileName)
{
    if (m_spSceneRoot != nullptr)
        Reset();
    m_pkWorld = &kWorld;
    if (pcFileName != nullptr)
    {
        if (!LoadFile(pcFileName))
            return false;
        kWorld.SetName(pcFileName);
    }
    else
    {
        m_spSceneRoot = new NiNode;
    }

    NiMatrix3x3 kTurn;
    kTurn.MakeXRotation(COrvaneWorld::LEVEL_TURN);
    m_spSceneRoot->SetRotate(kTurn);
    m_spSceneRoot->UpdateDownwardPass(0.0f, true);

    if (NiNode* pkSky = FindChildNode(m_spSceneRoot, "SkyBox"); pkSky != nullptr && pkSky != m_spSceneRoot)
    {
        m_spSkyBox = pkSky;
        if (auto* pkParent = NiDynamicCast<NiNode>(pkSky->GetParent()))
            (void)pkParent->DetachChild(pkSky);
        m_spSkyBox->SetRotate(kTurn);
        m_spSkyBox->Update(0.0f);
    }
    m_spCollision = FindChildNode(m_spSceneRoot, "collide");
    if (NiNode* pkSplines = FindChildNode(m_spSceneRoot, "splines"))
    {
        for (std::uint32_t i = 0; i < pkSplines->GetArrayCount(); ++i)
        {
            auto* pkChild = NiDynamicCast<NiNode>(pkSplines->GetAt(i));
            if (pkChild == nullptr)
                continue;
            auto pkSpline = std::make_unique<COrvaneAnimationSpline>();
            pkSpline->CreateFromFile(pkChild, pkChild->GetName());
            kWorld.AddSpline(std::move(pkSpline));
        }
    }
    if (NiRefPtr<NiNode> spObjects = FindChildNode(m_spSceneRoot, "objects"))
    {
        for (int iPass = 1; iPass <= 2; ++iPass)
        {
            // Taken placeholders leave the list: walk a copy.
            std::vector<NiRefPtr<NiNode>> kChildren;
            for (std::uint32_t i = 0; i < spObjects->GetArrayCount(); ++i)
                if (auto* pkChild = NiDynamicCast<NiNode>(spObjects->GetAt(i)))
                    kChildren.emplace_back(pkChild);
            for (NiRefPtr<NiNode>& spChild : kChildren)
                if (spChild->GetParent() == spObjects)
                    LoadObjectNode(*spChild, kWorld, iPass);
        }
    }
    return true;
}

void COrvaneWorldImpl::LoadObjectNode(NiNode& kNode, COrvaneWorld& kWorld, int iPass)
{
    const std::string kText = PlaceholderText(kNode);
    if (kText.empty())
        return;
    NiVec3 kPosition = kNode.GetTranslate();
    bool bTaken = kWorld.BuildObjectFromNode(kText.c_str(), iPass, &kPosition) != 0;
    if (!bTaken && kText.find(".nif") != std::string::npos)
    {
        (void)kWorld.CreateObjectsFromScene(kText.c_str(), kPosition);
        bTaken = true;
    }
    if (bTaken)
        if (auto* pkParent = NiDynamicCast<NiNode>(kNode.GetParent()))
            (void)pkParent->DetachChild(&kNode);
}

COrvaneWorld::COrvaneWorld() = default;

COrvaneWorld::~COrvaneWorld()
{
    COrvaneWorld::Destroy();
}

void COrvaneWorld::Destroy()
{
    m_kSharedParts.clear();
    m_pkSceneryModel.reset();
    m_kObjects.clear();
    m_kSplines.clear();
    m_pkSceneEvents.reset();
    m_pkImpl.reset();
    m_pkModels.reset();
    m_pkAnimations.reset();
    m_kTemplates.clear();
    m_pkFloorStack.reset();
    Reset();
}

void COrvaneWorld::Reset()
{
    // The owned fields are emptied by Destroy.
    m_kReferencePoint = NiVec3();
    m_uiWord = 0;
}

int COrvaneWorld::BuildObjectFromNode(const char*, int, NiVec3*)
{
    return 0;
}

bool COrvaneWorld::LoadLevel(const char* pcFileName, COrvaneCamera* pkCamera)
{
    // The old pools go; objects holding their entries keep them alive.
    m_pkModels = std::make_unique<COrvaneModelPool>();
    m_pkAnimations = std::make_unique<COrvaneAnimPool>();
    if (m_pkSceneEvents == nullptr)
        m_pkSceneEvents = std::make_unique<COrvaneSceneEvents>();
    bool bLoaded = true;
    if (m_pkImpl == nullptr)
    {
        m_pkImpl = std::make_unique<COrvaneWorldImpl>();
        bLoaded = m_pkImpl->LoadLevelScene(*this, pcFileName);
    }
    if (pkCamera != nullptr)
        (void)ApplyWorldFog(*pkCamera, *this);
    return bLoaded && GetSceneRoot() != nullptr;
}

void COrvaneWorld::UpdateObjects(float fDt)
{
    for (const std::unique_ptr<COrvaneObject>& pkObject : m_kObjects)
        pkObject->Update(fDt);
    for (NiAVObject* pkPart : m_kSharedParts)
        pkPart->Update(fDt);
    if (m_pkSceneryModel != nullptr)
        m_pkSceneryModel->Update(fDt);
    if (NiNode* pkRoot = GetSceneRoot())
        pkRoot->Update(fDt);
}

void COrvaneWorld::UpdateScene(float fTime)
{
    if (NiNode* pkRoot = GetSceneRoot())
    {
        pkRoot->Update(fTime);
        pkRoot->UpdateProperties();
        pkRoot->UpdateEffects();
    }
}

void COrvaneWorld::Render(COrvaneCamera& kCamera)
{
    NiNode* pkSky = GetSkyBox();
    if (pkSky == nullptr)
        return;
    NiVec3 kPosition = kCamera.GetWorldPosition();
    kPosition.y *= SKY_HEIGHT_FACTOR;
    pkSky->SetTranslate(kPosition);
    pkSky->Update(0.0f);

    auto* pkGeometry = pkSky->GetArrayCount() > 0 ? NiDynamicCast<NiTriBasedGeom>(pkSky->GetAt(0)) : nullptr;
    const COrvaneApplication* pkApplication = COrvaneApplication::GetExisting();
    const COrvaneWindow* pkWindow = pkApplication != nullptr ? pkApplication->GetWindow() : nullptr;
    const COrvaneRenderer* pkHolder = pkWindow != nullptr ? pkWindow->GetRenderer() : nullptr;
    NiRenderer* pkRenderer = pkHolder != nullptr ? pkHolder->GetRenderer() : nullptr;
    if (pkGeometry == nullptr || pkRenderer == nullptr)
        return;
    NiPropertySetPtr spProperties = new NiPropertySet;
    const NiRefList<NiProperty>& kList = pkGeometry->GetPropertyList();
    for (NiListPos kPos = kList.GetHeadPos(); kPos != nullptr;)
        if (NiProperty* pkProperty = kList.GetNext(kPos))
            spProperties->SetProperty(pkProperty);
    NiRefPtr<NiZBufferProperty> spDepth = new NiZBufferProperty;
    spDepth->SetZBufferTest(false);
    spDepth->SetZBufferWrite(false);
    spDepth->SetTestFunction(3);
    spProperties->SetProperty(spDepth);
    pkRenderer->BeginBatch(spProperties, nullptr);
    pkRenderer->DrawTriShape(pkGeometry);
    pkRenderer->EndBatch();
}

void COrvaneWorld::RenderFrame(COrvaneCamera& kCamera)
{
    Render(kCamera);
    DrawScene(kCamera);
}

int COrvaneWorld::FindNode(const char* pcName, std::vector<std::unique_ptr<NiNodeAttachment>>& kOut) const
{
    NiNode* pkNode = FindChildNode(GetSceneRoot(), pcName);
    if (pkNode == nullptr)
        return 0;
    auto pkHolder = std::make_unique<NiNodeAttachment>();
    pkHolder->Set(pkNode);
    kOut.push_back(std::move(pkHolder));
    return 1;
}

NiAVObject* COrvaneWorld::FindObjectByName(const char* pcName)
{
    NiNode* pkRoot = GetSceneRoot();
    NiAVObject* pkFound = pkRoot != nullptr ? pkRoot->GetObjectByName(pcName) : nullptr;
    m_pkImpl->m_pkSelected = NiDynamicCast<NiNode>(pkFound);
    return pkFound;
}

NiNode* COrvaneWorld::SelectFloor(int iIndex)
{
    NiNode* pkSelected = m_pkImpl != nullptr ? m_pkImpl->m_pkSelected : nullptr;
    // Only a switch node has an active child.
    if (auto* pkSwitch = NiDynamicCast<NiSwitchNode>(pkSelected))
        if (iIndex >= -1 && iIndex < static_cast<int>(pkSwitch->GetArrayCount()))
            pkSwitch->SetIndex(iIndex);
    return pkSelected;
}

bool COrvaneWorld::ProvideRoot(COrvaneSceneLink& kLink, bool bUseCollision) const
{
    if (kLink.m_pkTarget != nullptr)
        return false;
    kLink.m_pkTarget = bUseCollision ? GetCollisionNode() : GetSceneRoot();
    return true;
}

NiNode* COrvaneWorld::GetUprightNode(bool bUseCollision)
{
    NiNode* pkParent = bUseCollision ? GetCollisionNode() : GetSceneRoot();
    if (pkParent == nullptr)
        return nullptr;
    NiRefPtr<NiNode>& spUpright = m_pkImpl->m_aspUpright[bUseCollision ? 1 : 0];
    if (spUpright != nullptr && spUpright->GetParent() == pkParent)
        return spUpright;
    // The parent's frame from the local transforms up to the top: its world
    // transform may not have been worked out yet.
    NiXform kFrame = pkParent->GetLocalTransform();
    for (const NiAVObject* pkAbove = pkParent->GetParent(); pkAbove != nullptr; pkAbove = pkAbove->GetParent())
        kFrame = pkAbove->GetLocalTransform() * kFrame;
    spUpright = new NiNode;
    spUpright->SetName("Upright");
    spUpright->SetLocalTransform(kFrame.Invert());
    pkParent->AttachChild(spUpright, true);
    spUpright->Update(0.0f, false);
    return spUpright;
}

int COrvaneWorld::CreateObjectsFromScene(const char* pcModelFile, const NiVec3& kPosition)
{
    if (m_pkModels == nullptr || m_pkAnimations == nullptr)
        return 1;
    COrvaneTemplateBuilder kBuilder(*m_pkModels, *m_pkAnimations);
    kBuilder.Bind(pcModelFile);
    COrvaneSceneFileLoader kLoader;
    if (kLoader.Load(pcModelFile, &COrvaneTemplateBuilder::AddTopObject))
        kLoader.ForEachTopObject(&kBuilder);
    for (std::unique_ptr<COrvaneObjectTemplate>& pkRecord : kBuilder.Build())
    {
        auto pkObject = std::make_unique<COrvaneObject>();
        pkObject->Reset();
        COrvaneObjectDesc kDesc;
        kDesc.m_pkTemplate = pkRecord.get();
        (void)pkObject->Load(kDesc);
        pkObject->SetPosition(kPosition, 0);
        if (COrvaneComposite* pkModel = pkObject->GetModel())
            pkModel->Update(0.0f);
        AttachSharedParts(*pkObject);
        m_kObjects.push_back(std::move(pkObject));
        m_kTemplates.push_back(std::move(pkRecord));
    }
    kLoader.Destroy();
    return 1;
}

void COrvaneWorld::AttachSharedParts(COrvaneObject& kObject)
{
    const std::list<NiAVObject*>& kParts = kObject.GetSharedParts();
    if (kParts.empty() || kParts.front() == nullptr)
        return;
    std::string kKey = kParts.front()->GetName() != nullptr ? kParts.front()->GetName() : "";
    kKey.resize(kKey.size() >= 2 ? kKey.size() - 2 : 0);
    for (NiAVObject* pkPart : m_kSharedParts)
        if (pkPart->GetName() != nullptr && std::strstr(pkPart->GetName(), kKey.c_str()) != nullptr)
            return;
    m_kSharedParts.push_back(kParts.front());
}

NiNode* COrvaneWorld::GetSceneRoot() const
{
    return m_pkImpl != nullptr ? static_cast<NiNode*>(m_pkImpl->m_spSceneRoot) : nullptr;
}

NiNode* COrvaneWorld::GetCollisionNode() const
{
    return m_pkImpl != nullptr ? static_cast<NiNode*>(m_pkImpl->m_spCollision) : nullptr;
}

NiNode* COrvaneWorld::GetSkyBox() const
{
    return m_pkImpl != nullptr ? static_cast<NiNode*>(m_pkImpl->m_spSkyBox) : nullptr;
}

void COrvaneWorld::SetSceneryModel(std::unique_ptr<COrvaneComposite> pkModel)
{
    m_pkSceneryModel = std::move(pkModel);
}

void COrvaneWorld::SetFloorStack(std::unique_ptr<COrvaneBlockGridStack> pkStack)
{
    m_pkFloorStack = std::move(pkStack);
}

void COrvaneWorld::AddSpline(std::unique_ptr<COrvaneAnimationSpline> pkSpline)
{
    m_kSplines.push_back(std::move(pkSpline));
}
