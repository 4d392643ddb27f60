#include "framework/COrvaneLevelManager.h"

#include "framework/COrvaneApplication.h"
#include "framework/COrvaneGame.h"
#include "framework/COrvaneTagTree.h"
#include "framework/COrvaneWorld.h"

namespace
{
// The child named exactly by the key (with or without its angle
// brackets), else the first whose name contains it.
const COrvaneTagNode* FindEntry(const COrvaneTagNode& kSection, const std::string& kKey)
{
    const std::string kTagged = "<" + kKey + ">";
    for (std::size_t i = 0; i < kSection.GetChildCount(); ++i)
    {
        const std::string& kName = kSection.GetChild(i)->GetName();
        if (kName == kKey || kName == kTagged)
            return kSection.GetChild(i);
    }
    for (std::size_t i = 0; i < kSection.GetChildCount(); ++i)
        if (kSection.GetChild(i)->GetName().find(kKey) != std::string::npos)
            return kSection.GetChild(i);
    return nullptr;
}

void DropLineFeed(std::string& kText)
{
    if (!kText.empty() && kText.back() == '\n')
        kText.pop_back();
}
} // namespace

COrvaneLevelManager::COrvaneLevelManager() = default;

COrvaneLevelManager::~COrvaneLevelManager() = default;

void COrvaneLevelManager::Reset()
{
    m_pkWorld.reset();
    m_uiLevel = 1;
}

void COrvaneLevelManager::SetWorld(std::unique_ptr<COrvaneWorld> pkWorld)
{
    m_pkWorld = std::move(pkWorld);
}

std::unique_ptr<COrvaneWorld> COrvaneLevelManager::MakeWorld()
{
    return std::make_unique<COrvaneWorld>();
}

bool COrvaneLevelManager::DestroyWorld()
{
    m_pkWorld.reset();
    return true;
}

void COrvaneLevelManager::UpdateWorld(float fDt)
{
    if (m_pkWorld != nullptr)
        m_pkWorld->UpdateObjects(fDt);
}

bool COrvaneLevelManager::FindLevelFile(COrvaneTagTree& kSettings, std::uint32_t uiLevel, std::string& kFile,
                                        bool& bHasFile)
{
    kFile.clear();
    bHasFile = false;
    if (!kSettings.SelectSection("Level_Data", true) || kSettings.GetCursor() == nullptr)
        return false;
    const COrvaneTagNode& kSection = *kSettings.GetCursor();
    std::string kNumber = std::to_string(uiLevel);
    DropLineFeed(kNumber);
    const COrvaneTagNode* pkEntry = FindEntry(kSection, kNumber);
    if (pkEntry == nullptr)
        pkEntry = FindEntry(kSection, "0");
    if (pkEntry == nullptr)
        return false;
    if (!pkEntry->GetValues().empty())
    {
        kFile = pkEntry->GetValues().front();
        DropLineFeed(kFile);
        bHasFile = !kFile.empty();
    }
    return true;
}

bool COrvaneLevelManager::LoadLevel()
{
    return LoadLevelFor(nullptr);
}

bool COrvaneLevelManager::LoadLevelFor(COrvaneCamera* pkCamera)
{
    COrvaneTagTree* pkSettings = COrvaneApplication::GetSettings();
    std::string kFile;
    bool bHasFile = false;
    if (pkSettings == nullptr || !FindLevelFile(*pkSettings, m_uiLevel, kFile, bHasFile))
        return false;
    if (m_pkWorld == nullptr)
        m_pkWorld = MakeWorld();
    return m_pkWorld->LoadLevel(bHasFile ? kFile.c_str() : nullptr, pkCamera);
}

COrvaneWorld* GetGameWorld()
{
    const COrvaneApplication* pkApplication = COrvaneApplication::GetExisting();
    const COrvaneGame* pkGame = pkApplication != nullptr ? pkApplication->GetGame() : nullptr;
    const COrvaneLevelManager* pkManager = pkGame != nullptr ? pkGame->GetLevelManager() : nullptr;
    return pkManager != nullptr ? pkManager->GetWorld() : nullptr;
}
