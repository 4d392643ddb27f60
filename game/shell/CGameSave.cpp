// Saved games, the in-game settings and the scenario completion record.

#include "framework/COrvaneApplication.h"
#include "framework/COrvaneFile.h"
#include "framework/COrvaneTagTree.h"
#include "framework/COrvaneUtility.h"
#include "game/shell/CConditions.h"
#include "game/shell/CGame.h"
#include "game/shell/CLevelManager.h"
#include "game/shell/CSaveFile.h"
#include "game/shell/SaveNames.h"
#include "game/shell/CSoundSystem.h"
#include "game/simulation/characters/CGameCharacter.h"
#include "game/simulation/characters/CSpawnManager.h"
#include "game/simulation/objects/CDynamicObjectManager.h"
#include "game/simulation/objects/CWorld.h"
#include "game/simulation/objects/TextConvert.h"
#include "platform/os/OsFiles.h"

#include <algorithm>
#include <cstdio>
#include <string>

namespace
{
// The first child whose name holds the text, as the document's own search
// finds it; null when none does.
const COrvaneTagNode* ChildHolding(const COrvaneTagNode& kNode, const std::string& kText)
{
    for (std::size_t i = 0; i < kNode.GetChildCount(); ++i)
        if (const COrvaneTagNode* pkChild = kNode.GetChild(i); pkChild && pkChild->GetName().find(kText) != std::string::npos)
            return pkChild;
    return nullptr;
}

// The model files of the plans under the node, in the registry's reading
// of template groups: a node with "plans" is a group (the fog's excepted),
// any other is searched further.
void CollectPlanModels(const COrvaneTagNode& kNode, std::vector<std::string>& kModels)
{
    for (std::size_t i = 0; i < kNode.GetChildCount(); ++i)
    {
        const COrvaneTagNode* pkChild = kNode.GetChild(i);
        if (!pkChild)
            continue;
        const COrvaneTagNode* pkPlans = ChildHolding(*pkChild, "plans");
        if (!pkPlans || pkChild->GetName().find("<FOG>") != std::string::npos)
        {
            CollectPlanModels(*pkChild, kModels);
            continue;
        }
        for (std::size_t j = 0; j < pkPlans->GetChildCount(); ++j)
        {
            const COrvaneTagNode* pkPlan = pkPlans->GetChild(j);
            if (!pkPlan || pkPlan->GetValues().empty())
                continue;
            std::string kModel = pkPlan->GetValues().front();
            while (!kModel.empty() && (kModel.back() == '\n' || kModel.back() == '\r'))
                kModel.pop_back();
            kModels.push_back(kModel);
        }
    }
}

// The line of the first saved object whose template the level's plans do
// not name, read from the data document before anything is loaded; 0 when
// every one is named. (A loaded model's name adds its root node after a
// "|".)
std::uint32_t FirstUnknownTemplate(const COrvaneTagTree& kData, std::uint32_t uiLevel, const CParsedObjects& kObjects)
{
    const COrvaneTagNode* pkRoot = kData.GetRoot();
    const COrvaneTagNode* pkTemplates = pkRoot ? ChildHolding(*pkRoot, "TEMPLATES") : nullptr;
    if (!pkTemplates)
        return kObjects.m_kRecords.empty() ? 0 : kObjects.m_kRecords.front().m_uiTemplateLine;
    const COrvaneTagNode* pkPrison =
        ChildHolding(*pkTemplates, "PRISON" + std::to_string(static_cast<std::uint64_t>(uiLevel) + 1));
    std::vector<std::string> kModels;
    CollectPlanModels(pkPrison ? *pkPrison : *pkTemplates, kModels);
    for (const CParsedObjectRecord& kRecord : kObjects.m_kRecords)
    {
        const std::string kName = kRecord.m_kTemplate.substr(0, kRecord.m_kTemplate.find('|'));
        const bool bNamed = std::any_of(kModels.begin(), kModels.end(), [&kName](const std::string& kModel) {
            return kModel.find(kName) != std::string::npos;
        });
        if (!bNamed)
            return kRecord.m_uiTemplateLine;
    }
    return 0;
}

// The last part of a path, as the player named the file.
std::string FileNameOf(const std::string& kPath)
{
    const std::string::size_type uiSlash = kPath.find_last_of("/\\");
    return uiSlash == std::string::npos ? kPath : kPath.substr(uiSlash + 1);
}

// "In_Game_Settings" / the child's first value as a 16-bit number; false
// when the child or its value is missing. The cursor is back on the section.
bool ReadSetting(COrvaneTagTree& kSettings, const char* pcName, std::uint16_t& usValue)
{
    if (!kSettings.FindChild(pcName))
        return false;
    const std::vector<std::string>& kValues = kSettings.GetValues();
    bool bRead = false;
    if (!kValues.empty())
    {
        usValue = static_cast<std::uint16_t>(StringToShort(kValues.front()));
        bRead = true;
    }
    kSettings.SelectParent();
    return bRead;
}

// The box of a save that does not read; false.
bool ShowDamagedSave(const std::string& kPath, std::uint32_t uiLine)
{
    const std::string kText = "Could not load \"" + FileNameOf(kPath) + "\": the file is damaged (line " +
                              std::to_string(uiLine) + ").";
    ShowErrorBox(kText.c_str());
    return false;
}
} // namespace

const char* CGame::BuildTime()
{
    return __TIME__;
}

const char* CGame::BuildDate()
{
    return __DATE__;
}

bool CGame::SaveGame(const std::string& kPath)
{
    if (kPath.empty())
        return false;
    CSaveHeader kHeader;
    kHeader.m_usVersion = SAVE_VERSION;
    kHeader.m_kBuildTime = BuildTime();
    kHeader.m_kBuildDate = BuildDate();
    kHeader.m_uiLevel = GetLevelNumber();
    kHeader.m_usNextPerson = m_usNextPerson;
    kHeader.m_kConditions = m_pkConditions != nullptr ? m_pkConditions->MakeSection() : CConditions().MakeSection();
    kHeader.m_ausClock[0] = m_kClock.m_usYear;
    kHeader.m_ausClock[1] = static_cast<std::uint16_t>(m_kClock.m_sYearOffset);
    kHeader.m_ausClock[2] = m_kClock.m_usDay;
    kHeader.m_ausClock[3] = m_kClock.m_ucDayRolled;
    kHeader.m_fMinutes = m_kClock.m_fMinutes;
    kHeader.m_fPreviousMinutes = m_kClock.m_fPreviousMinutes;
    kHeader.m_fTotalTime = GetFrameTimes().m_fTotalTime;
    kHeader.m_fFrameTime = GetFrameTimes().m_fFrameTime;
    kHeader.m_fGameTime = m_fGameTime;
    const CWorld* pkWorld = GetWorld();
    kHeader.m_iUpgradeLevel = pkWorld != nullptr ? pkWorld->GetUpgradeLevel() : 0;

    // Written through the file made here, never reopened by name; a failed
    // write drops it with the handle.
    os::TemporaryFile kTemp = os::CreateTemporaryFor(kPath);
    bool bOk = false;
    {
        COrvaneTagFile kFile;
        if (kFile.OpenForWrite(kTemp.GetFile()) == 0)
            return false;
        bOk = CSaveFile::WriteHeader(kFile, kHeader);
        bOk = CDynamicObjectManager::GetInstance()->SaveObjects(kFile) && bOk;
        bOk = kFile.Flush() && bOk;
        kFile.Close();
    }
    return bOk && os::CommitFile(kTemp, kPath);
}

bool CGame::ReadSave(const std::string& kPath, CSaveFile& kSave)
{
    CDynamicObjectManager* pkRegistry = CDynamicObjectManager::GetInstance();
    // The objects are read in the file's own version (a building's record
    // holds its posts from version 1 on), not in the running game's: a new
    // game's version 0 would misread a building saved by this one.
    const std::uint16_t usRunning = m_usSaveVersion;
    {
        COrvaneTagFile kFile;
        CSaveFile kHeaderOnly;
        if (!kPath.empty() && kFile.Open(kPath.c_str(), COrvaneFile::MODE_READ) != 0 && kHeaderOnly.ParseHeader(kFile))
            m_usSaveVersion = kHeaderOnly.GetHeader().m_bVersion ? kHeaderOnly.GetHeader().m_usVersion : 0;
    }
    const bool bParsed = kSave.Parse(kPath, *pkRegistry);
    m_usSaveVersion = usRunning;
    if (!bParsed && kSave.GetBadLine() == 0)
    {
        // There, but not a file that opens (a folder of that name, no right
        // to read); a path with nothing there asks nothing.
        // An empty file is one cut before its first line.
        if (!kPath.empty() && os::FileExists(kPath) && !os::FolderExists(kPath) && os::GetFileSize(kPath) == 0)
            return ShowDamagedSave(kPath, 1);
        if (!kPath.empty() && os::FileExists(kPath))
            ShowErrorBox(("Could not load \"" + FileNameOf(kPath) + "\": the file cannot be read.").c_str());
        return false;
    }
    if (!bParsed)
        return ShowDamagedSave(kPath, kSave.GetBadLine());
    const CSaveHeader& kHeader = kSave.GetHeader();
    const std::uint32_t uiLevel = kHeader.m_bWorld ? kHeader.m_uiLevel : GetLevelNumber();
    // The running level's templates are those the save needs when it is the
    // same level: then even an unknown template is found before anything
    // goes.
    const bool bSameLevel = GetState() == STATE_IN_GAME && uiLevel == GetLevelNumber();
    if (bSameLevel && !pkRegistry->ResolveTemplates(kSave.GetObjects()))
        return ShowDamagedSave(kPath, pkRegistry->GetBadLine());
    // Another level's templates load with it: its plans in the data
    // document tell beforehand whether the save names only those.
    if (!bSameLevel)
        if (const COrvaneTagTree* pkData = GetDataDocument())
            if (const std::uint32_t uiBad = FirstUnknownTemplate(*pkData, uiLevel, kSave.GetObjects()); uiBad != 0)
                return ShowDamagedSave(kPath, uiBad);
    return true;
}

bool CGame::CheckSave(const std::string& kPath)
{
    CSaveFile kSave;
    return ReadSave(kPath, kSave);
}

bool CGame::LoadGame(const std::string& kPath)
{
    CDynamicObjectManager* pkRegistry = CDynamicObjectManager::GetInstance();
    CSaveFile kSave;
    const auto Damaged = [&kPath](std::uint32_t uiLine) { return ShowDamagedSave(kPath, uiLine); };
    if (!ReadSave(kPath, kSave))
        return false;
    const CSaveHeader& kHeader = kSave.GetHeader();

    ResetGame();
    if (kHeader.m_bVersion)
    {
        m_usSaveVersion = kHeader.m_usVersion;
        m_kBuildTime = kHeader.m_kBuildTime;
        m_kBuildDate = kHeader.m_kBuildDate;
    }
    else
    {
        m_usSaveVersion = 0;
    }
    if (kHeader.m_bWorld)
    {
        if (m_pkLevelManager != nullptr)
            m_pkLevelManager->SetLevel(kHeader.m_uiLevel);
        m_usNextPerson = kHeader.m_usNextPerson;
    }
    if (m_pkConditions != nullptr)
        m_pkConditions->ApplySection(kHeader.m_kConditions);
    if (kHeader.m_bTime)
    {
        m_kClock.m_usYear = kHeader.m_ausClock[0];
        m_kClock.m_sYearOffset = static_cast<std::int16_t>(kHeader.m_ausClock[1]);
        m_kClock.m_usDay = kHeader.m_ausClock[2];
        m_kClock.m_ucDayRolled = static_cast<std::uint8_t>(kHeader.m_ausClock[3]);
        m_kClock.m_fMinutes = kHeader.m_fMinutes;
        m_kClock.m_fPreviousMinutes = kHeader.m_fPreviousMinutes;
        COrvaneFrameTimes kTimes;
        kTimes.m_fTotalTime = kHeader.m_fTotalTime;
        kTimes.m_fFrameTime = kHeader.m_fFrameTime;
        SetFrameTimes(kTimes);
        m_fFrameTime = kHeader.m_fFrameTime;
        m_fGameTime = kHeader.m_fGameTime;
    }
    LoadLevelData();
    if (kHeader.m_bUpgrade)
        if (CWorld* pkWorld = GetWorld())
            pkWorld->SetUpgradeLevel(kHeader.m_iUpgradeLevel);
    // The reset let go of the templates: found again among the level's.
    if (!pkRegistry->ResolveTemplates(kSave.GetObjects()))
    {
        // Only the level's own templates could tell (a save of another
        // level): back to the front end rather than a prison without some of
        // its objects.
        const std::uint32_t uiBad = pkRegistry->GetBadLine();
        ResetGame();
        return Damaged(uiBad);
    }
    pkRegistry->MakeObjects(kSave.GetObjects());
    (void)pkRegistry->RelinkAfterLoad();
    // Characters made during the load took numbers: the saved counter holds,
    // but never below a loaded person's number + 1 (16-bit numbers wrap).
    std::uint16_t usCounter = kHeader.m_bWorld ? kHeader.m_usNextPerson : 0;
    for (std::uint32_t i = 0; COrvaneObject* pkObject = pkRegistry->GetObjectAt(i); ++i)
        if (auto* pkPerson = dynamic_cast<CGameCharacter*>(pkObject))
            usCounter = std::max(usCounter, static_cast<std::uint16_t>(pkPerson->GetStats().m_usPersonNumber + 1));
    m_usNextPerson = usCounter;
    // The loaded prison is seen from its level's start view.
    if (m_pkSpawnManager != nullptr)
        m_pkSpawnManager->ResetCameraView(true);
    return true;
}

bool CGame::WriteSettings()
{
    COrvaneTagTree* pkSettings = COrvaneApplication::GetSettings();
    if (pkSettings == nullptr || !pkSettings->SelectSection("In_Game_Settings", true))
        return false;
    const bool abFlags[] = {IsMusicOn(), IsSoundOn(), IsDetailOn()};
    const char* const apcNames[] = {"Music", "SFX", "Detail"};
    for (std::size_t i = 0; i < 3; ++i)
    {
        if (!pkSettings->FindChild(apcNames[i]))
            continue;
        // A node without a value has no line to replace.
        (void)pkSettings->ReplaceValue(0, std::string(abFlags[i] ? "1" : "0") + "\r\n");
        pkSettings->SelectParent();
    }
    return SaveDocumentAtomically(*pkSettings, SETUP_FILE);
}

void CGame::ApplySettings()
{
    COrvaneTagTree* pkSettings = COrvaneApplication::GetSettings();
    if (pkSettings == nullptr || !pkSettings->SelectSection("In_Game_Settings", true))
        return;
    std::uint16_t usValue = 0;
    if (ReadSetting(*pkSettings, "Music", usValue) && usValue != (IsMusicOn() ? 1 : 0))
        ToggleMusic();
    if (ReadSetting(*pkSettings, "SFX", usValue) && usValue != (IsSoundOn() ? 1 : 0))
        ToggleSound();
    if (ReadSetting(*pkSettings, "Detail", usValue) && usValue != (IsDetailOn() ? 1 : 0))
        ToggleDetail();
}

bool CGame::MarkScenarioComplete(std::uint32_t uiScenario)
{
    COrvaneTagTree kConfig;
    if (!kConfig.Load(CONFIG_FILE) || !kConfig.SelectSection("SCENARIO_STATES", true))
        return false;
    if (uiScenario >= kConfig.GetValues().size())
        return false;
    (void)kConfig.ReplaceValue(uiScenario, "COMPLETE\r\n");
    return SaveDocumentAtomically(kConfig, CONFIG_FILE);
}

void CGame::ToggleMusic()
{
    if (m_pkSoundSystem == nullptr)
        return;
    if (m_pkSoundSystem->IsMusicEnabled())
    {
        m_pkSoundSystem->StopMusicOnly();
        m_pkSoundSystem->SetMusicEnabled(false);
    }
    else
    {
        m_pkSoundSystem->SetMusicEnabled(true);
        m_pkSoundSystem->PlayMusicTrack(m_pkSoundSystem->GetCurrentTrack(), 1);
    }
}

void CGame::ToggleSound()
{
    if (m_pkSoundSystem == nullptr)
        return;
    if (m_pkSoundSystem->IsSoundEnabled())
    {
        m_pkSoundSystem->StopAllSamples();
        m_pkSoundSystem->SetSoundEnabled(false);
    }
    else
    {
        m_pkSoundSystem->SetSoundEnabled(true);
        m_pkSoundSystem->SetAmbientVolume(255);
    }
}

void CGame::ToggleDetail()
{
    if (CWorld* pkWorld = GetWorld())
        pkWorld->ToggleDetails();
}

bool CGame::IsMusicOn() const
{
    return m_pkSoundSystem != nullptr && m_pkSoundSystem->IsMusicEnabled();
}

bool CGame::IsSoundOn() const
{
    return m_pkSoundSystem != nullptr && m_pkSoundSystem->IsSoundEnabled();
}

bool CGame::IsDetailOn() const
{
    const CWorld* pkWorld = GetWorld();
    return pkWorld != nullptr && pkWorld->AreDetailsShown();
}
