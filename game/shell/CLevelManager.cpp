#include "game/shell/CLevelManager.h"

#include "framework/COrvaneApplication.h"
#include "framework/COrvaneCamera.h"
#include "framework/COrvaneFile.h"
#include "framework/COrvaneGame.h"
#include "framework/COrvaneSceneLink.h"
#include "framework/COrvaneTagTree.h"
#include "framework/COrvaneWorld.h"
#include "game/simulation/objects/CWorld.h"

#include <charconv>
#include <string>

namespace
{
COrvaneCamera* GameCamera()
{
    const COrvaneApplication* pkApplication = COrvaneApplication::GetExisting();
    const COrvaneGame* pkGame = pkApplication != nullptr ? pkApplication->GetGame() : nullptr;
    return pkGame != nullptr ? pkGame->GetCamera() : nullptr;
}

// A value as the tag files hold it, without its line end.
std::string Trimmed(const std::string& kValue)
{
    std::string kText = kValue;
    while (!kText.empty() && (kText.back() == '\n' || kText.back() == '\r'))
        kText.pop_back();
    return kText;
}

// A node's name without its angle brackets and line end.
std::string BareName(const std::string& kName)
{
    std::string kText = Trimmed(kName);
    if (!kText.empty() && kText.front() == '<')
        kText.erase(kText.begin());
    if (!kText.empty() && kText.back() == '>')
        kText.pop_back();
    return kText;
}

const COrvaneTagNode* FindNamedChild(const COrvaneTagNode& kParent, const std::string& kName)
{
    for (std::size_t i = 0; i < kParent.GetChildCount(); ++i)
        if (BareName(kParent.GetChild(i)->GetName()) == kName)
            return kParent.GetChild(i);
    return nullptr;
}

// A leading decimal number; with bWhole nothing may follow it.
bool ParseLevel(const std::string& kText, std::uint32_t& uiLevel, bool bWhole = false)
{
    const char* pcBegin = kText.data();
    const char* pcEnd = pcBegin + kText.size();
    while (pcBegin < pcEnd && (*pcBegin == ' ' || *pcBegin == '\t'))
        ++pcBegin;
    std::uint32_t uiValue = 0;
    const auto [pcStop, eError] = std::from_chars(pcBegin, pcEnd, uiValue);
    if (eError != std::errc() || pcStop == pcBegin || (bWhole && pcStop != pcEnd))
        return false;
    uiLevel = uiValue;
    return true;
}
} // namespace

CLevelManager::~CLevelManager()
{
    // The camera outlives the manager: it must not keep viewing the scene.
    DestroyWorld();
}

COrvaneCamera* CLevelManager::GetCamera() const
{
    return m_pkCamera != nullptr ? m_pkCamera : GameCamera();
}

std::unique_ptr<COrvaneWorld> CLevelManager::MakeWorld()
{
    return std::make_unique<CWorld>();
}

bool CLevelManager::LoadLevel()
{
    return LoadLevelFor(GetCamera());
}

bool CLevelManager::ReadGameType()
{
    COrvaneTagTree* pkSettings = COrvaneApplication::GetSettings();
    return pkSettings != nullptr ? ReadGameType(*pkSettings) : true;
}

bool CLevelManager::ReadGameType(COrvaneTagTree& kSettings)
{
    if (!kSettings.SelectSection("Game_Data", true) || !kSettings.FindChild("Game_type"))
        return true;
    const COrvaneTagNode* pkType = kSettings.GetCursor();
    if (pkType == nullptr || pkType->GetValues().empty())
        return true;
    const COrvaneTagNode* pkChoice = FindNamedChild(*pkType, Trimmed(pkType->GetValues().front()));
    std::uint32_t uiLevel = 0;
    if (pkChoice != nullptr && !pkChoice->GetValues().empty() &&
        ParseLevel(Trimmed(pkChoice->GetValues().front()), uiLevel))
        SetLevel(uiLevel);
    return true;
}

bool CLevelManager::CreateWorld()
{
    if (m_pkWorld == nullptr)
        m_pkWorld = MakeWorld();
    (void)LoadLevel();
    return true;
}

bool CLevelManager::DestroyWorld()
{
    if (m_pkWorld == nullptr)
        return true;
    if (COrvaneCamera* pkCamera = GetCamera())
        (void)DetachCameraFromWorld(*pkCamera, *m_pkWorld);
    return COrvaneLevelManager::DestroyWorld();
}

bool CLevelManager::Save(COrvaneFile& kFile) const
{
    const char* pcName = m_pkWorld != nullptr ? m_pkWorld->GetName() : nullptr;
    const std::string kRecord = std::string("<LEVEL>\r\n") + (pcName != nullptr ? pcName : "") + "\r\n</LEVEL>\r\n";
    return kFile.WriteString(kRecord.c_str());
}

bool CLevelManager::Load(COrvaneFile& kFile)
{
    COrvaneTagTree* pkSettings = COrvaneApplication::GetSettings();
    return pkSettings != nullptr && Load(kFile, *pkSettings);
}

bool CLevelManager::Load(COrvaneFile& kFile, COrvaneTagTree& kSettings)
{
    if (kFile.FindLine("<LEVEL>") == 0)
        return false;
    std::string kName;
    kFile.ReadLine(kName);
    if (kName.empty() || !kSettings.SelectSection("Level_Data", true) || kSettings.GetCursor() == nullptr)
        return false;
    // "total" says how many numbered entries there are; without it every
    // numbered entry counts.
    const COrvaneTagNode& kSection = *kSettings.GetCursor();
    std::uint32_t uiTotal = UINT32_MAX;
    if (const COrvaneTagNode* pkTotal = FindNamedChild(kSection, "total");
        pkTotal != nullptr && !pkTotal->GetValues().empty())
        (void)ParseLevel(Trimmed(pkTotal->GetValues().front()), uiTotal);
    for (std::size_t i = 0; i < kSection.GetChildCount(); ++i)
    {
        const COrvaneTagNode& kEntry = *kSection.GetChild(i);
        std::uint32_t uiNumber = 0;
        if (!ParseLevel(BareName(kEntry.GetName()), uiNumber, true) || uiNumber > uiTotal || kEntry.GetValues().empty())
            continue;
        if (Trimmed(kEntry.GetValues().front()) == kName)
        {
            SetLevel(uiNumber);
            return true;
        }
    }
    return false;
}
