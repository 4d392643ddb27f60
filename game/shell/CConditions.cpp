#include "game/shell/CConditions.h"

#include "framework/COrvaneFile.h"
#include "game/shell/CGame.h"
#include "game/shell/CLocale.h"
#include "game/shell/ui/CInterface.h"
#include "game/simulation/objects/CDynamicObjectManager.h"
#include "game/simulation/objects/CGameHost.h"
#include "game/simulation/objects/CPrisonStatistics.h"
#include "game/simulation/objects/TextConvert.h"

#include <cstdint>
#include <string>

namespace
{
constexpr std::int32_t LAST_KIND = 14;

// Groups of three integers; a trailing shorter group is dropped.
std::vector<CCondition> Grouped(const std::vector<int>& kValues)
{
    std::vector<CCondition> kConditions;
    for (std::size_t i = 0; i + 3 <= kValues.size(); i += 3)
        kConditions.push_back(CCondition{kValues[i], kValues[i + 1], kValues[i + 2]});
    return kConditions;
}

std::vector<int> Flattened(const std::vector<CCondition>& kConditions)
{
    std::vector<int> kValues;
    for (const CCondition& kCondition : kConditions)
    {
        kValues.push_back(kCondition.m_iKind);
        kValues.push_back(kCondition.m_iComparison);
        kValues.push_back(kCondition.m_iValue);
    }
    return kValues;
}

// The next line of the file; false at its end, where the missing line is
// still counted as read so that the file's count names it.
bool NextLine(COrvaneFile& kFile, std::string& kLine)
{
    const bool bThere = !kFile.IsEof();
    kFile.ReadLine(kLine);
    return bThere;
}

std::int32_t First(const std::vector<std::unique_ptr<CCondition>>& kConditions)
{
    for (const std::unique_ptr<CCondition>& pkCondition : kConditions)
    {
        const std::int32_t iKind = CConditions::Evaluate(*pkCondition);
        if (iKind != CConditions::NO_RESULT)
            return iKind;
    }
    return CConditions::NO_RESULT;
}
} // namespace

void CConditions::Clear()
{
    m_iGoalResult = NO_RESULT;
    m_iFailureResult = NO_RESULT;
    m_sScenario = -1;
}

void CConditions::ClearConditions()
{
    m_kGoals.clear();
    m_kFailures.clear();
    Clear();
}

std::int32_t CConditions::ReadStatistic(std::int32_t iKind)
{
    if (iKind < 0 || iKind > LAST_KIND)
        return 0;
    const CDynamicObjectManager* pkRegistry = CDynamicObjectManager::GetExisting();
    const CPrisonStatistics* pkStatistics = pkRegistry != nullptr ? pkRegistry->GetStatistics() : nullptr;
    if (iKind == 1)
    {
        // The year offset, read as the unsigned 16-bit field it is.
        const CGameHost* pkHost = CGameHost::Get();
        return pkHost != nullptr ? static_cast<std::uint16_t>(pkHost->GetClock().m_sYearOffset) : 0;
    }
    return pkStatistics != nullptr ? pkStatistics->GetStatistic(iKind) : 0;
}

std::int32_t CConditions::Evaluate(const CCondition& kCondition)
{
    const std::int32_t iValue = ReadStatistic(kCondition.m_iKind);
    bool bHolds = false;
    if (kCondition.m_iComparison == 0)
        bHolds = iValue < kCondition.m_iValue;
    else if (kCondition.m_iComparison == 1)
        bHolds = iValue > kCondition.m_iValue;
    return bHolds ? kCondition.m_iKind : NO_RESULT;
}

std::int32_t CConditions::CheckGoals()
{
    if (m_iGoalResult != NO_RESULT)
        return m_iGoalResult;
    const std::int32_t iKind = First(m_kGoals);
    if (iKind == NO_RESULT)
        return NO_RESULT;
    if (CGame* pkGame = CGame::Get())
        pkGame->MarkScenarioComplete(static_cast<std::uint32_t>(static_cast<std::int32_t>(m_sScenario)));
    if (CGameHost* pkHost = CGameHost::Get())
        pkHost->PlaySample(SAMPLE_RESULT, 255, false);
    m_iGoalResult = iKind;
    return m_iGoalResult;
}

std::int32_t CConditions::CheckFailure()
{
    if (m_iFailureResult != NO_RESULT)
        return m_iFailureResult;
    const std::int32_t iKind = First(m_kFailures);
    if (iKind == NO_RESULT)
        return NO_RESULT;
    if (CGameHost* pkHost = CGameHost::Get())
        pkHost->PlaySample(SAMPLE_RESULT, 255, false);
    m_iFailureResult = iKind;
    return m_iFailureResult;
}

void CConditions::UpdateResultScreens(CLocale* pkLocale)
{
    if (m_iGoalResult == NO_RESULT)
        (void)CheckGoals();
    if (m_iFailureResult == NO_RESULT)
        (void)CheckFailure();
    if (!IsResultPending() || pkLocale == nullptr)
        return;
    const CGame* pkGame = CGame::Get();
    const float fHeight = pkGame != nullptr ? static_cast<float>(pkGame->GetScreenHeight()) : 768.0f;
    const std::int16_t sList = pkLocale->FindList(MESSAGES);
    const bool bGoal = m_iGoalResult != NO_RESULT;
    if (bGoal)
    {
        if (CInterface* pkInterface = CInterface::Get())
            pkInterface->ShowDeskTop(false);
    }
    pkLocale->BeginFont(3);
    pkLocale->BeginFont(1);
    const std::int32_t iHeading = bGoal ? ENTRY_COMPLETE : ENTRY_FAILED;
    // A kind from a file can be any number: out of range it names no entry.
    const long long llLine = bGoal ? ENTRY_GOAL_LINES + 2LL * m_iGoalResult : ENTRY_FAILURE_LINES + 2LL * m_iFailureResult;
    const std::int32_t iLine = llLine >= 0 && llLine <= INT32_MAX ? static_cast<std::int32_t>(llLine) : -1;
    (void)pkLocale->DrawText(3, sList, iHeading, 0.0f, 128.0f, CLocale::ALIGN_CENTRE, nullptr);
    (void)pkLocale->DrawText(1, sList, iLine, 0.0f, fHeight / 2.0f, CLocale::ALIGN_CENTRE, nullptr);
    pkLocale->FlushFont(1);
    pkLocale->FlushFont(3);
    pkLocale->BeginFont(0);
    (void)pkLocale->DrawText(0, sList, ENTRY_CONTINUE, 0.0f, fHeight - 128.0f, CLocale::ALIGN_CENTRE, nullptr);
    pkLocale->FlushFont(0);
}

CConditionsSection CConditions::MakeSection() const
{
    CConditionsSection kSection;
    kSection.m_bFound = true;
    kSection.m_sScenario = m_sScenario;
    for (const std::unique_ptr<CCondition>& pkCondition : m_kGoals)
        kSection.m_kGoals.push_back(*pkCondition);
    for (const std::unique_ptr<CCondition>& pkCondition : m_kFailures)
        kSection.m_kFailures.push_back(*pkCondition);
    return kSection;
}

bool CConditions::WriteSection(COrvaneFile& kFile, const CConditionsSection& kSection)
{
    bool bOk = kFile.WriteString("<CONDITIONS>\r\n");
    bOk = kFile.WriteString((ShortToString(kSection.m_sScenario) + "\r\n").c_str()) && bOk;
    bOk = WriteIntListLine(kFile, Flattened(kSection.m_kGoals), ',') && bOk;
    bOk = WriteIntListLine(kFile, Flattened(kSection.m_kFailures), ',') && bOk;
    bOk = kFile.WriteString("</CONDITIONS>\r\n") && bOk;
    return bOk;
}

bool CConditions::Save(COrvaneFile& kFile) const
{
    return WriteSection(kFile, MakeSection());
}

bool CConditions::ParseSection(COrvaneFile& kFile, CConditionsSection& kSection)
{
    kSection = CConditionsSection{};
    if (kFile.FindLine("<CONDITIONS>") == 0)
        return true;
    std::string kLine;
    long long llScenario = 0;
    if (!NextLine(kFile, kLine) || !ParseWholeInt(kLine, llScenario) || llScenario < INT16_MIN ||
        llScenario > INT16_MAX)
        return false;
    std::vector<int> kGoals;
    if (!NextLine(kFile, kLine) || !ParseWholeIntList(kLine, kGoals, ','))
        return false;
    std::vector<int> kFailures;
    if (!NextLine(kFile, kLine) || !ParseWholeIntList(kLine, kFailures, ','))
        return false;
    kSection.m_bFound = true;
    kSection.m_sScenario = static_cast<std::int16_t>(llScenario);
    kSection.m_kGoals = Grouped(kGoals);
    kSection.m_kFailures = Grouped(kFailures);
    return true;
}

void CConditions::ApplySection(const CConditionsSection& kSection)
{
    if (!kSection.m_bFound)
        return;
    m_sScenario = kSection.m_sScenario;
    m_kGoals.clear();
    for (const CCondition& kCondition : kSection.m_kGoals)
        AddGoal(kCondition);
    m_kFailures.clear();
    for (const CCondition& kCondition : kSection.m_kFailures)
        AddFailure(kCondition);
}

bool CConditions::Load(COrvaneFile& kFile)
{
    m_iGoalResult = NO_RESULT;
    CConditionsSection kSection;
    if (!ParseSection(kFile, kSection))
        return false;
    ApplySection(kSection);
    return true;
}
