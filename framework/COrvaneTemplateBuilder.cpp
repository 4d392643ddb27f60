#include "framework/COrvaneTemplateBuilder.h"

#include "engine/animation/NiControllerSequence.h"
#include "engine/scene/NiNode.h"
#include "framework/COrvaneAnim.h"
#include "framework/COrvaneComposite.h"
#include "framework/COrvaneObjectTemplate.h"
#include "framework/COrvaneSceneFileLoader.h"

COrvaneTemplateBuilder::COrvaneTemplateBuilder(COrvaneModelPool& kModels, COrvaneAnimPool& kAnimations)
    : m_kModels(kModels), m_kAnimations(kAnimations)
{
}

std::string COrvaneTemplateBuilder::BasePathOf(const std::string& kFileName)
{
    std::size_t uiLast = kFileName.find_last_of('/');
    if (uiLast == std::string::npos)
        return {};
    std::size_t uiBefore = uiLast == 0 ? std::string::npos : kFileName.find_last_of('/', uiLast - 1);
    std::size_t uiStart = uiBefore == std::string::npos ? 0 : uiBefore + 1;
    return kFileName.substr(uiStart, uiLast + 1 - uiStart);
}

std::string COrvaneTemplateBuilder::LODKeyOf(const std::string& kName)
{
    std::size_t uiLOD = kName.find("LOD");
    if (uiLOD == std::string::npos)
        return {};
    std::size_t uiSlash = kName.find('/');
    std::size_t uiStart = uiSlash == std::string::npos ? 0 : uiSlash + 1;
    // The character before "LOD" (an underscore, usually) is not part of it.
    if (uiLOD == 0 || uiLOD - 1 <= uiStart)
        return {};
    return kName.substr(uiStart, uiLOD - 1 - uiStart);
}

std::string COrvaneTemplateBuilder::AnimationFileOf(const std::string& kFileName)
{
    if (kFileName.size() < 4)
        return {};
    return kFileName.substr(0, kFileName.size() - 3) + "kf";
}

void COrvaneTemplateBuilder::Bind(const std::string& kFileName)
{
    m_kFileName = kFileName;
    m_kBasePath = BasePathOf(kFileName);
}

void COrvaneTemplateBuilder::AddTopObject(void* pvBuilder, COrvaneSceneFileLoader& kLoader)
{
    static_cast<COrvaneTemplateBuilder*>(pvBuilder)->Add(kLoader.GetCurrentObject());
}

void COrvaneTemplateBuilder::Add(NiObject* pkObject)
{
    if (NiNode* pkNode = NiDynamicCast<NiNode>(pkObject))
    {
        // Keyed by file and node: every file's top node may share a name.
        std::string kKey = m_kFileName;
        if (pkNode->GetName() && *pkNode->GetName())
            kKey += std::string("|") + pkNode->GetName();
        COrvaneModelEntryPtr spEntry = m_kModels.Find(kKey.c_str());
        if (!spEntry)
        {
            auto pkModel = std::make_unique<COrvaneComposite>();
            COrvaneModelSource kSource;
            kSource.m_kName = kKey;
            kSource.m_pkPrebuilt = pkNode;
            kSource.m_bClone = true;
            pkModel->Load(kSource);
            spEntry = m_kModels.Add(std::move(pkModel));
        }
        m_kModelEntries.push_back(spEntry);
        ++m_uiModelsAdded;
    }
    else if (auto* pkSequence = NiDynamicCast<NiControllerSequence>(pkObject))
    {
        const char* pcName = pkSequence->GetName() ? pkSequence->GetName() : "";
        COrvaneAnimEntryPtr spEntry = m_kAnimations.Find(pcName);
        if (!spEntry)
        {
            auto pkAnimation = std::make_unique<COrvaneAnim>();
            COrvaneAnimDesc kDesc;
            kDesc.m_kName = m_kBasePath + pcName;
            kDesc.m_pkObject = pkSequence;
            pkAnimation->Load(kDesc);
            spEntry = m_kAnimations.Add(std::move(pkAnimation));
        }
        m_kAnimEntries.push_back(spEntry);
        ++m_uiAnimationsAdded;
    }
}

std::vector<std::unique_ptr<COrvaneObjectTemplate>> COrvaneTemplateBuilder::Build()
{
    std::vector<COrvaneModelEntryPtr> kSingles;
    std::vector<std::vector<COrvaneModelEntryPtr>> kGroups;
    for (const COrvaneModelEntryPtr& spEntry : m_kModelEntries)
    {
        const char* pcName = spEntry->Get()->GetName();
        std::string kName = pcName ? pcName : "";
        if (kName.find("LOD") == std::string::npos)
        {
            kSingles.push_back(spEntry);
            continue;
        }
        std::string kKey = LODKeyOf(kName);
        bool bJoined = false;
        for (std::vector<COrvaneModelEntryPtr>& kGroup : kGroups)
        {
            const char* pcFirst = kGroup.front()->Get()->GetName();
            if (pcFirst && std::string(pcFirst).find(kKey) != std::string::npos)
            {
                kGroup.push_back(spEntry);
                bJoined = true;
                break;
            }
        }
        if (!bJoined)
            kGroups.push_back({spEntry});
    }

    std::vector<std::unique_ptr<COrvaneObjectTemplate>> kRecords;
    if (!m_kAnimEntries.empty())
    {
        auto kMake = [&](std::vector<COrvaneModelEntryPtr> kModels) {
            auto pkRecord = std::make_unique<COrvaneObjectTemplate>();
            pkRecord->m_kModels = std::move(kModels);
            pkRecord->m_kAnimations = m_kAnimEntries;
            kRecords.push_back(std::move(pkRecord));
        };
        for (const COrvaneModelEntryPtr& spSingle : kSingles)
            kMake({spSingle});
        for (std::vector<COrvaneModelEntryPtr>& kGroup : kGroups)
            kMake(kGroup);
    }
    else
    {
        auto pkRecord = std::make_unique<COrvaneObjectTemplate>();
        pkRecord->m_kModels = kSingles;
        kRecords.push_back(std::move(pkRecord));
    }
    Clear();
    return kRecords;
}

void COrvaneTemplateBuilder::Clear()
{
    m_kModelEntries.clear();
    m_kAnimEntries.clear();
}
