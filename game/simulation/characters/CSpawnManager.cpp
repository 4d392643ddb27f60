#include "game/simulation/characters/CSpawnManager.h"

#include "framework/COrvaneAnimationSpline.h"
#include "framework/COrvaneTagTree.h"
#include "framework/COrvaneWidget.h"

namespace
{
std::string WithoutLineEnd(std::string kText)
{
    while (!kText.empty() && (kText.back() == '\n' || kText.back() == '\r'))
        kText.pop_back();
    return kText;
}

// The value lines of the section, searched from the root, into the list.
std::uint16_t ReadNames(COrvaneTagTree& kDocument, const char* pcSection, std::vector<std::string>& kNames)
{
    if (!kDocument.SelectSection(pcSection, true))
        return static_cast<std::uint16_t>(kNames.size());
    for (const std::string& kValue : kDocument.GetValues())
        kNames.push_back(WithoutLineEnd(kValue));
    return static_cast<std::uint16_t>(kNames.size());
}
} // namespace

CSpawnManager::HeadSet::HeadSet() = default;
CSpawnManager::HeadSet::~HeadSet() = default;

CSpawnManager::CSpawnManager()
{
    Reset();
}

CSpawnManager::~CSpawnManager()
{
    Clear();
}

void CSpawnManager::Reset()
{
    m_pkCarried = nullptr;
    m_iCarryGrid = -1;
    m_iCarryCell = -1;
    m_pkCarryMarker = nullptr;
    m_ucCameraFollows = 0;
    m_usTemplateCount = 0;
    m_usMaleNameCount = 0;
    m_usFemaleNameCount = 0;
    m_usSurnameCount = 0;
    m_iArrivalState = ARRIVAL_IDLE;
    // The path is owned here alone: letting go of it without freeing it
    // would lose it.
    m_pkArrivalPath.reset();
    m_ucPlacedHigher = 0;
    m_ucNoCell = 0;
    m_usPrisonersToUnload = 0;
    m_fUnloadTimer = 0.0f;
    m_uiStaffGroupBase = 0;
}

void CSpawnManager::Clear()
{
    m_kHeadSets.clear();
    m_kPrisonerTemplates.clear();
    m_kMaleNames.clear();
    m_kFemaleNames.clear();
    m_kSurnames.clear();
    m_pkArrivalPath.reset();
    Reset();
}

void CSpawnManager::LoadRosters(COrvaneTagTree& kDocument)
{
    m_usMaleNameCount = ReadNames(kDocument, "MALE_NAMES", m_kMaleNames);
    m_usFemaleNameCount = ReadNames(kDocument, "FEMALE_NAMES", m_kFemaleNames);
    m_usSurnameCount = ReadNames(kDocument, "SURNAMES", m_kSurnames);
}

void CSpawnManager::AddParoleCandidate(CAIPrisoner* pkPrisoner)
{
    if (pkPrisoner)
        m_kParoleCandidates.push_back(pkPrisoner);
}
