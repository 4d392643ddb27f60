#include "game/simulation/objects/CPrisonStatistics.h"

#include "framework/COrvaneFile.h"
#include "game/simulation/characters/CCharacterStats.h"
#include "game/simulation/objects/CObjectRecord.h"
#include "game/simulation/objects/TextConvert.h"

#include <algorithm>

namespace
{

// Where each category's counters lie: the groups are kept in the order
// 0, 2, 1, 3.
constexpr int s_aiGroupOfCategory[CPrisonStatistics::CATEGORY_COUNT] = {0, 2, 1, 3};

// Counts never go below 0: a removal the ledger never saw registered (a
// damaged save, a person counted twice) must not wrap to 65535.
void Decrease(std::uint16_t& usCount, unsigned int uiAmount = 1)
{
    usCount = static_cast<std::uint16_t>(usCount > uiAmount ? usCount - uiAmount : 0);
}

std::uint16_t Low16(int iValue)
{
    return static_cast<std::uint16_t>(static_cast<unsigned int>(iValue) & 0xFFFFu);
}

} // namespace

void CPrisonStatistics::Reset()
{
    std::vector<CCharacterStats*> kPrisoners = std::move(m_kPrisoners);
    std::vector<CCharacterStats*> kStaff = std::move(m_kStaff);
    std::vector<std::vector<CObjectRecord*>> kCells = std::move(m_kCellsByLevel);
    *this = CPrisonStatistics();
    m_kPrisoners = std::move(kPrisoners);
    m_kStaff = std::move(kStaff);
    m_kCellsByLevel = std::move(kCells);
}

bool CPrisonStatistics::AddObject(const CObjectRecord* pkRecord)
{
    if (!pkRecord)
    {
        return false;
    }
    m_iPurchases += pkRecord->m_usPrice;
    AddScore(pkRecord->m_sScoreValue);
    return true;
}

bool CPrisonStatistics::RemoveObject(const CObjectRecord* pkRecord)
{
    if (!pkRecord)
    {
        return false;
    }
    AddScore(-pkRecord->m_sScoreValue);
    return true;
}

bool CPrisonStatistics::AddCell(CObjectRecord* pkRecord)
{
    if (!pkRecord || pkRecord->m_usRequiredLevel >= SECURITY_LEVELS)
    {
        return false;
    }
    const std::size_t uiLevel = pkRecord->m_usRequiredLevel;
    if (m_kCellsByLevel.size() <= uiLevel)
    {
        m_kCellsByLevel.resize(uiLevel + 1);
    }
    m_kCellsByLevel[uiLevel].push_back(pkRecord);
    m_usHighestCellLevel = std::max(m_usHighestCellLevel, pkRecord->m_usRequiredLevel);
    m_usBeds = static_cast<std::uint16_t>(m_usBeds + pkRecord->m_usPlaces);
    m_iPurchases += pkRecord->m_usPrice;
    AddScore(pkRecord->m_sScoreValue);
    return true;
}

bool CPrisonStatistics::RemoveCell(CObjectRecord* pkRecord)
{
    if (!pkRecord || pkRecord->m_usRequiredLevel >= m_kCellsByLevel.size())
    {
        return false;
    }
    // A cell removed twice, or never added, must not take beds and score a
    // second time.
    std::vector<CObjectRecord*>& kCells = m_kCellsByLevel[pkRecord->m_usRequiredLevel];
    const auto kFound = std::find(kCells.begin(), kCells.end(), pkRecord);
    if (kFound == kCells.end())
    {
        return false;
    }
    kCells.erase(kFound);
    m_usHighestCellLevel = 0;
    for (std::size_t i = m_kCellsByLevel.size(); i > 0; --i)
    {
        if (!m_kCellsByLevel[i - 1].empty())
        {
            m_usHighestCellLevel = static_cast<std::uint16_t>(i - 1);
            break;
        }
    }
    Decrease(m_usBeds, pkRecord->m_usPlaces);
    AddScore(-pkRecord->m_sScoreValue);
    return true;
}

CObjectRecord* CPrisonStatistics::FindCellFor(int iLevel) const
{
    if (iLevel < 0 || static_cast<std::size_t>(iLevel) >= m_kCellsByLevel.size())
    {
        return nullptr;
    }
    const std::vector<CObjectRecord*>& kCells = m_kCellsByLevel[static_cast<std::size_t>(iLevel)];
    for (CObjectRecord* pkCell : kCells)
    {
        if (pkCell->m_usOccupancy == 0 && pkCell->m_usPlaces > 0)
        {
            return pkCell;
        }
    }
    CObjectRecord* pkBest = nullptr;
    int iBestFree = 0;
    for (CObjectRecord* pkCell : kCells)
    {
        const int iFree = static_cast<int>(pkCell->m_usPlaces) - pkCell->m_usOccupancy;
        if (iFree > iBestFree)
        {
            pkBest = pkCell;
            iBestFree = iFree;
        }
    }
    return pkBest;
}

void CPrisonStatistics::AddScore(int iAmount)
{
    m_iScore += iAmount;
    if (m_iScore < 100)
    {
        m_usPrisonLevel = 0;
    }
    else if (m_iScore < 250)
    {
        m_usPrisonLevel = 1;
    }
    else if (m_iScore < 500)
    {
        m_usPrisonLevel = 2;
    }
    else
    {
        m_usPrisonLevel = 3;
    }
}

void CPrisonStatistics::AddOrder(int iAmount)
{
    m_iOrder = std::clamp(m_iOrder + iAmount, 0, 1000);
}

CPrisonStatistics::StaffGroup* CPrisonStatistics::GetStaffGroup(int iCategory)
{
    if (iCategory < 0 || iCategory >= CATEGORY_COUNT)
    {
        return nullptr;
    }
    return &m_akStaff[s_aiGroupOfCategory[iCategory]];
}

const CPrisonStatistics::StaffGroup* CPrisonStatistics::GetStaffGroup(int iCategory) const
{
    return const_cast<CPrisonStatistics*>(this)->GetStaffGroup(iCategory);
}

void CPrisonStatistics::CountCategory(int iCategory)
{
    if (StaffGroup* pkGroup = GetStaffGroup(iCategory))
    {
        ++pkGroup->m_usServices;
    }
}

bool CPrisonStatistics::RegisterPrisoner(CCharacterStats* pkRecord)
{
    if (!pkRecord)
    {
        return false;
    }
    m_kPrisoners.push_back(pkRecord);
    ++m_usPrisonersNow;
    ++m_usPrisonersReceived;
    m_usSentenceTotal = static_cast<std::uint16_t>(m_usSentenceTotal + pkRecord->m_usTerm);
    AddScore(-(pkRecord->m_usSecurityLevel + 1));
    // A save may hold any level; only the four real ones are counted.
    if (pkRecord->m_usSecurityLevel < SECURITY_LEVELS)
    {
        ++m_ausPrisonersByLevel[pkRecord->m_usSecurityLevel];
    }
    return true;
}

bool CPrisonStatistics::RemovePrisoner(CCharacterStats* pkRecord)
{
    if (!pkRecord)
    {
        return false;
    }
    const auto kFound = std::find(m_kPrisoners.begin(), m_kPrisoners.end(), pkRecord);
    if (kFound != m_kPrisoners.end())
    {
        m_kPrisoners.erase(kFound);
    }
    Decrease(m_usPrisonersNow);
    Decrease(m_usSentenceTotal, pkRecord->m_usTerm);
    AddScore(pkRecord->m_usSecurityLevel + 1);
    if (pkRecord->m_usSecurityLevel < SECURITY_LEVELS)
    {
        Decrease(m_ausPrisonersByLevel[pkRecord->m_usSecurityLevel]);
    }
    return true;
}

bool CPrisonStatistics::RegisterStaff(CCharacterStats* pkRecord, int iCategory)
{
    if (!pkRecord)
    {
        return false;
    }
    m_kStaff.push_back(pkRecord);
    if (StaffGroup* pkGroup = GetStaffGroup(iCategory))
    {
        ++pkGroup->m_usCount;
        pkGroup->m_usWages = static_cast<std::uint16_t>(pkGroup->m_usWages + pkRecord->m_usWage);
    }
    // Booked at hiring and again every day by the post: kept so.
    m_iWages += pkRecord->m_usWage;
    return true;
}

bool CPrisonStatistics::RemoveStaff(CCharacterStats* pkRecord, int iCategory)
{
    if (!pkRecord)
    {
        return false;
    }
    const auto kFound = std::find(m_kStaff.begin(), m_kStaff.end(), pkRecord);
    if (kFound != m_kStaff.end())
    {
        m_kStaff.erase(kFound);
    }
    if (StaffGroup* pkGroup = GetStaffGroup(iCategory))
    {
        Decrease(pkGroup->m_usCount);
        Decrease(pkGroup->m_usWages, pkRecord->m_usWage);
    }
    return true;
}

void CPrisonStatistics::UpdateTotals()
{
    m_iIncomeTotal = m_iStartingFunds + m_iPrisonerPayments + m_iOtherIncome + m_iWorkIncome;
    m_iExpenseTotal = m_iPurchases + m_iWages + m_iRunningCosts + m_iFoodCosts
        + m_iIncidentCosts + m_iAdminCosts;
}

std::string CPrisonStatistics::FormatLine() const
{
    const int aiValues[LINE_VALUES] = {
        m_iStartingFunds,
        m_iPrisonerPayments,
        m_iOtherIncome,
        m_iWorkIncome,
        m_iWages,
        m_iRunningCosts,
        m_iFoodCosts,
        m_iIncidentCosts,
        m_iAdminCosts,
        m_usPrisonersReceived,
        m_usPrisonersGone,
        m_usIntake,
        m_usPrisonersReleased,
        m_usKnockdowns,
        GetStaffGroup(0)->m_usServices,
        GetStaffGroup(2)->m_usServices,
        GetStaffGroup(1)->m_usServices,
        GetStaffGroup(3)->m_usServices,
        m_usEscapes,
        m_iOrder,
    };
    std::string kLine;
    for (int i = 0; i < LINE_VALUES; ++i)
    {
        if (i != 0)
        {
            kLine += ',';
        }
        kLine += IntToString(aiValues[i]);
    }
    return kLine;
}

bool CPrisonStatistics::SaveLine(COrvaneFile& kFile) const
{
    return kFile.WriteString((FormatLine() + "\r\n").c_str());
}

void CPrisonStatistics::ParseLine(const std::string& kLine, int (&aiValues)[LINE_VALUES])
{
    const CPrisonStatistics kFresh;
    const std::string kFreshLine = kFresh.FormatLine();
    std::vector<int> kDefaults;
    SplitIntList(kFreshLine, kDefaults);
    std::vector<int> kRead;
    SplitIntList(kLine, kRead);
    for (int i = 0; i < LINE_VALUES; ++i)
    {
        const std::size_t uiIndex = static_cast<std::size_t>(i);
        aiValues[i] = uiIndex < kRead.size() ? kRead[uiIndex] : kDefaults[uiIndex];
    }
    if (kRead.size() == static_cast<std::size_t>(LINE_VALUES - 1))
    {
        aiValues[LINE_VALUES - 1] = 500;
    }
}

void CPrisonStatistics::ApplyLine(const int (&aiValues)[LINE_VALUES])
{
    m_iStartingFunds = aiValues[0];
    m_iPrisonerPayments = aiValues[1];
    m_iOtherIncome = aiValues[2];
    m_iWorkIncome = aiValues[3];
    m_iWages = aiValues[4];
    m_iRunningCosts = aiValues[5];
    m_iFoodCosts = aiValues[6];
    m_iIncidentCosts = aiValues[7];
    m_iAdminCosts = aiValues[8];
    m_usPrisonersReceived = Low16(aiValues[9]);
    m_usPrisonersGone = Low16(aiValues[10]);
    m_usIntake = Low16(aiValues[11]);
    m_usPrisonersReleased = Low16(aiValues[12]);
    m_usKnockdowns = Low16(aiValues[13]);
    GetStaffGroup(0)->m_usServices = Low16(aiValues[14]);
    GetStaffGroup(2)->m_usServices = Low16(aiValues[15]);
    GetStaffGroup(1)->m_usServices = Low16(aiValues[16]);
    GetStaffGroup(3)->m_usServices = Low16(aiValues[17]);
    m_usEscapes = Low16(aiValues[18]);
    m_iOrder = aiValues[19];
}
