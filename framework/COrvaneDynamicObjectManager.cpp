#include "framework/COrvaneDynamicObjectManager.h"

#include "framework/COrvaneAnim.h"
#include "framework/COrvaneComposite.h"
#include "framework/COrvaneGame.h"
#include "framework/COrvaneObject.h"
#include "framework/COrvaneObjectFactory.h"
#include "framework/COrvaneObjectTemplate.h"
#include "framework/COrvaneSceneFileLoader.h"
#include "framework/COrvaneTagTree.h"
#include "framework/COrvaneTemplateBuilder.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace
{
// The first child whose name contains the text.
const COrvaneTagNode* ChildContaining(const COrvaneTagNode& kNode, const char* pcText)
{
    for (std::size_t i = 0; i < kNode.GetChildCount(); ++i)
    {
        const COrvaneTagNode* pkChild = kNode.GetChild(i);
        if (pkChild && pkChild->GetName().find(pcText) != std::string::npos)
            return pkChild;
    }
    return nullptr;
}

std::string WithoutLineEnd(std::string kText)
{
    while (!kText.empty() && (kText.back() == '\n' || kText.back() == '\r'))
        kText.pop_back();
    return kText;
}

bool IsNonEmptyFile(const std::string& kPath)
{
    std::error_code kError;
    std::uintmax_t uiSize = std::filesystem::file_size(kPath, kError);
    return !kError && uiSize > 0;
}
} // namespace

COrvaneDynamicObjectManager::COrvaneDynamicObjectManager()
{
    Reset();
}

COrvaneDynamicObjectManager::~COrvaneDynamicObjectManager()
{
    Destroy();
}

void COrvaneDynamicObjectManager::Reset()
{
    m_pkAnimations.reset();
    m_pkModels.reset();
}

void COrvaneDynamicObjectManager::Destroy()
{
    DestroyAllObjects();
    m_kPending.clear();
    // Pools and templates share their entries: whichever goes last takes
    // the assets with it.
    m_pkAnimations.reset();
    m_pkModels.reset();
    m_kGroups.clear();
    m_kFactories.clear();
    Reset();
}

void COrvaneDynamicObjectManager::Init()
{
    m_pkAnimations = std::make_unique<COrvaneAnimPool>();
    m_pkModels = std::make_unique<COrvaneModelPool>();
    m_kFactories.push_back(std::make_unique<COrvaneObjectFactory>());
}

void COrvaneDynamicObjectManager::AddFactory(std::unique_ptr<COrvaneObjectFactory> pkFactory)
{
    if (pkFactory)
        m_kFactories.push_back(std::move(pkFactory));
}

COrvaneObjectFactory* COrvaneDynamicObjectManager::FindFactory(const char* pcName, COrvaneWorld* pkWorld)
{
    COrvaneObjectFactory* pkFactory = FactoryNamed(pcName);
    if (pkFactory)
        pkFactory->SetWorld(pkWorld);
    return pkFactory;
}

COrvaneObjectFactory* COrvaneDynamicObjectManager::FactoryNamed(const char* pcName) const
{
    if (!pcName)
        return nullptr;
    for (const std::unique_ptr<COrvaneObjectFactory>& pkFactory : m_kFactories)
    {
        const char* pcFactory = pkFactory->GetName();
        if (pcFactory && std::strstr(pcFactory, pcName))
            return pkFactory.get();
    }
    return nullptr;
}

COrvaneObjectFactory* COrvaneDynamicObjectManager::GetFactory(std::size_t uiIndex) const
{
    return uiIndex < m_kFactories.size() ? m_kFactories[uiIndex].get() : nullptr;
}

bool COrvaneDynamicObjectManager::IsLive(const COrvaneObject* pkObject) const
{
    return std::find(m_kLive.begin(), m_kLive.end(), pkObject) != m_kLive.end();
}

bool COrvaneDynamicObjectManager::IsPending(const COrvaneObject* pkObject) const
{
    return std::find(m_kPending.begin(), m_kPending.end(), pkObject) != m_kPending.end();
}

void COrvaneDynamicObjectManager::AddGroup(std::unique_ptr<COrvaneTemplateGroup> pkGroup)
{
    if (pkGroup)
        m_kGroups.push_back(std::move(pkGroup));
}

void COrvaneDynamicObjectManager::ClearTemplates()
{
    m_kGroups.clear();
}

void COrvaneDynamicObjectManager::RenewPools()
{
    m_pkAnimations = std::make_unique<COrvaneAnimPool>();
    m_pkModels = std::make_unique<COrvaneModelPool>();
}

COrvaneObject* COrvaneDynamicObjectManager::CreateObject(COrvaneObjectFactory* pkFactory, COrvaneObjectDesc& kDesc)
{
    if (!pkFactory)
        return nullptr;
    COrvaneObject* pkObject = pkFactory->Create(kDesc);
    if (pkObject)
        m_kLive.push_back(pkObject);
    return pkObject;
}

void COrvaneDynamicObjectManager::RemoveObject(COrvaneObject* pkObject, bool bNow)
{
    auto kAt = std::find(m_kLive.begin(), m_kLive.end(), pkObject);
    if (kAt == m_kLive.end())
        return;
    if (!bNow)
    {
        m_kPending.push_back(pkObject);
        return;
    }
    m_kLive.erase(kAt);
    ForgetCursor();
    // A later flush must not find it again.
    std::erase(m_kPending, pkObject);
    OnDeleting(pkObject);
    delete pkObject;
}

void COrvaneDynamicObjectManager::FlushRemovals()
{
    std::vector<COrvaneObject*> kPending;
    kPending.swap(m_kPending);
    for (COrvaneObject* pkObject : kPending)
    {
        // Asked twice: the second entry finds it gone.
        auto kAt = std::find(m_kLive.begin(), m_kLive.end(), pkObject);
        if (kAt == m_kLive.end())
            continue;
        m_kLive.erase(kAt);
        ForgetCursor();
        OnDeleting(pkObject);
        delete pkObject;
    }
}

void COrvaneDynamicObjectManager::DestroyAllObjects()
{
    std::list<COrvaneObject*> kLive;
    kLive.swap(m_kLive);
    ForgetCursor();
    for (COrvaneObject* pkObject : kLive)
    {
        OnDeleting(pkObject);
        delete pkObject;
    }
    m_kPending.clear();
}

COrvaneObject* COrvaneDynamicObjectManager::GetObjectAt(std::uint32_t uiIndex) const
{
    if (uiIndex >= m_kLive.size())
        return nullptr;
    // Callers walk the objects by index, one after the other: the walk goes
    // on from the last object asked for rather than from the front.
    if (m_uiCursor == NO_CURSOR || (uiIndex < m_uiCursor && uiIndex < m_uiCursor - uiIndex))
    {
        m_kCursor = m_kLive.begin();
        m_uiCursor = 0;
    }
    std::advance(m_kCursor, static_cast<std::ptrdiff_t>(uiIndex) - static_cast<std::ptrdiff_t>(m_uiCursor));
    m_uiCursor = uiIndex;
    return *m_kCursor;
}

void COrvaneDynamicObjectManager::UpdateObjects(float fDt)
{
    for (COrvaneObject* pkObject : m_kLive)
        pkObject->Update(fDt);
    FlushRemovals();
}

COrvaneObjectTemplate* COrvaneDynamicObjectManager::GetTemplate(std::uint16_t usGroup, std::uint16_t usIndex) const
{
    if (usGroup >= m_kGroups.size() || usIndex >= m_kGroups[usGroup]->m_kRecords.size())
        return nullptr;
    return m_kGroups[usGroup]->m_kRecords[usIndex].get();
}

const COrvaneTemplateGroup* COrvaneDynamicObjectManager::GetGroup(std::size_t uiIndex) const
{
    return uiIndex < m_kGroups.size() ? m_kGroups[uiIndex].get() : nullptr;
}

COrvaneObjectTemplate* COrvaneDynamicObjectManager::FindTemplate(const char* pcName) const
{
    if (!pcName)
        return nullptr;
    for (const std::unique_ptr<COrvaneTemplateGroup>& pkGroup : m_kGroups)
    {
        for (const std::unique_ptr<COrvaneObjectTemplate>& pkRecord : pkGroup->m_kRecords)
        {
            if (pkRecord->m_kModels.empty())
                continue;
            const char* pcModel = pkRecord->m_kModels.front()->Get()->GetName();
            if (pcModel && std::strstr(pcModel, pcName))
                return pkRecord.get();
        }
    }
    return nullptr;
}

void COrvaneDynamicObjectManager::LoadTemplateSection(COrvaneTagTree& kDocument, bool bClearFirst)
{
    if (bClearFirst)
        m_kGroups.clear();
    if (!kDocument.SelectSection("TEMPLATES", true))
        return;
    BeforePlans(kDocument);
    LoadPlans(kDocument);
}

bool COrvaneDynamicObjectManager::BeforePlans(COrvaneTagTree&)
{
    return true;
}

void COrvaneDynamicObjectManager::LoadPlans(COrvaneTagTree& kDocument)
{
    if (!kDocument.FindChild(nullptr))
        return;
    do
    {
        if (kDocument.HasChild("plans"))
        {
            auto pkGroup = std::make_unique<COrvaneTemplateGroup>();
            pkGroup->m_kName = kDocument.GetCursor()->GetName();
            kDocument.FindChild("plans");
            LoadTemplates(pkGroup->m_kRecords, kDocument);
            kDocument.SelectParent();
            m_kGroups.push_back(std::move(pkGroup));
        }
        else
        {
            LoadPlans(kDocument);
        }
    } while (kDocument.NextSibling(nullptr));
    kDocument.SelectParent();
}

void COrvaneDynamicObjectManager::ReadPrerequisites(const COrvaneTagNode& kNode, COrvaneObjectTemplate& kRecord)
{
    const COrvaneTagNode* pkList = ChildContaining(kNode, "prerequisits");
    if (!pkList)
        return;
    for (const std::string& kValue : pkList->GetValues())
        kRecord.m_pkPrerequisites->Add(static_cast<std::int32_t>(std::strtol(kValue.c_str(), nullptr, 10)));
    if (m_pkGame)
        m_pkGame->RegisterPrerequisites(*kRecord.m_pkPrerequisites);
}

void COrvaneDynamicObjectManager::LoadTemplates(std::vector<std::unique_ptr<COrvaneObjectTemplate>>& kRecords,
                                                COrvaneTagTree& kDocument)
{
    if (!m_pkModels || !m_pkAnimations)
        Init();
    COrvaneTemplateBuilder kBuilder(*m_pkModels, *m_pkAnimations);
    COrvaneSceneFileLoader kLoader;
    COrvaneTagNode* pkPlans = kDocument.GetCursor();
    if (!pkPlans)
        return;
    for (std::size_t i = 0; i < pkPlans->GetChildCount(); ++i)
    {
        const COrvaneTagNode* pkNode = pkPlans->GetChild(i);
        if (pkNode->GetValues().empty())
        {
            kRecords.push_back(std::make_unique<COrvaneObjectTemplate>());
            continue;
        }
        std::string kModel = WithoutLineEnd(pkNode->GetValues().front());
        kBuilder.Bind(kModel);
        if (kLoader.Load(kModel.c_str(), &COrvaneTemplateBuilder::AddTopObject))
            kLoader.ForEachTopObject(&kBuilder);
        std::string kAnimations = COrvaneTemplateBuilder::AnimationFileOf(kModel);
        if (!kAnimations.empty() && IsNonEmptyFile(kAnimations) &&
            kLoader.Load(kAnimations.c_str(), &COrvaneTemplateBuilder::AddTopObject))
            kLoader.ForEachTopObject(&kBuilder);
        kLoader.Destroy();

        for (std::unique_ptr<COrvaneObjectTemplate>& pkRecord : kBuilder.Build())
        {
            const std::vector<std::string>& kValues = pkNode->GetValues();
            pkRecord->m_kParameters.assign(kValues.begin() + 1, kValues.end());
            ReadPrerequisites(*pkNode, *pkRecord);
            if (const COrvaneTagNode* pkCommon = ChildContaining(*pkNode, "common"))
            {
                pkRecord->m_kParameters.insert(pkRecord->m_kParameters.end(), pkCommon->GetValues().begin(),
                                               pkCommon->GetValues().end());
                ReadPrerequisites(*pkCommon, *pkRecord);
            }
            kRecords.push_back(std::move(pkRecord));
        }
        kBuilder.Clear();
    }
}
