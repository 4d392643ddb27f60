#include "game/simulation/objects/CPrisonStatistics.h"

#include "engine/core/NiRandom.h"
#include "framework/COrvaneFile.h"
#include "framework/COrvaneObject.h"
#include "game/simulation/characters/CCharacterStats.h"
#include "game/simulation/objects/CGameHost.h"
#include "game/simulation/objects/CObjectRecord.h"
#include "game/simulation/objects/CWorld.h"
#include "game/simulation/objects/TextConvert.h"

#include <algorithm>

namespace
{

// Where each category's counters lie: the groups are kept in the order
// 0, 2, 1, 3.
constexpr int s_aiGroupOfCategory[CPrisonStatistics::CATEGORY_COUNT] = {0, 2, 1, 3};

// Message numbers of the "InGameMessages" list.
constexpr int MSG_RELEASES = 14;
constexpr int MSG_DEATHS = 15;
constexpr int MSG_ESCAPES = 16;
constexpr int MSG_OTHER_DEPARTURES = 18;
constexpr int MSG_EXECUTIONS = 19;
constexpr int MSG_COMPLETED = 20;
constexpr int MSG_NO_FOOD = 56;
constexpr int MSG_SHORTAGE = 57;
constexpr int MSG_NO_HOSPITAL = 58;
constexpr int MSG_NO_WORK = 59;
constexpr int MSG_ORDER_GOOD = 60;
constexpr int MSG_ORDER_FAIR = 61;
constexpr int MSG_ORDER_BAD = 62;
constexpr int MSG_CHATTER_FIRST = 68;
constexpr int CHATTER_COUNT = 15;

// Effect samples.
constexpr int SAMPLE_NOON = 20;
constexpr int SAMPLE_EXECUTION = 25;
constexpr int FULL_VOLUME = 255;

// Admin room kinds.
constexpr int ROOM_PLANNING = 1;
constexpr int ROOM_CLERICAL = 2;

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

bool CPrisonStatistics::AddAdminRoom(const CObjectRecord* pkRecord, int iKind, int iCount)
{
    if (!pkRecord)
    {
        return false;
    }
    if (iKind == ROOM_PLANNING && iCount > m_usUpgradeLevel)
    {
        CGameHost* pkHost = CGameHost::Get();
        CWorld* pkWorld = pkHost ? pkHost->GetWorld() : nullptr;
        if (pkWorld)
        {
            if (pkWorld->GetUpgradeLevel() < iCount)
            {
                pkWorld->SetUpgradeLevel(iCount);
            }
            m_usUpgradeLevel = Low16(std::max(0, pkWorld->GetUpgradeLevel()));
        }
        else
        {
            // No level is running (a test, a tool): the ledger keeps the
            // level the room gives.
            m_usUpgradeLevel = Low16(iCount);
        }
    }
    else if (iKind == ROOM_CLERICAL && iCount > m_usClericalLevel)
    {
        m_usClericalLevel = Low16(iCount);
    }
    return AddObject(pkRecord);
}

bool CPrisonStatistics::RemoveAdminRoom(const CObjectRecord* pkRecord, int, int)
{
    return RemoveObject(pkRecord);
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

void CPrisonStatistics::Report(std::int32_t& iReports, std::uint8_t& ucWarned, int iMessage)
{
    if (ucWarned)
    {
        return;
    }
    ++iReports;
    if (iReports > m_usPrisonersNow / 2)
    {
        ucWarned = 1;
        iReports = 0;
        if (CGameHost* pkHost = CGameHost::Get())
        {
            pkHost->PostMessage(iMessage);
        }
    }
}

void CPrisonStatistics::ReportNoFood()
{
    Report(m_iNoFoodReports, m_ucNoFoodWarned, MSG_NO_FOOD);
}

void CPrisonStatistics::ReportNoWork()
{
    Report(m_iNoWorkReports, m_ucNoWorkWarned, MSG_NO_WORK);
}

void CPrisonStatistics::ReportNoHospital()
{
    Report(m_iNoHospitalReports, m_ucNoHospitalWarned, MSG_NO_HOSPITAL);
}

void CPrisonStatistics::ReportShortage()
{
    Report(m_iShortageReports, m_ucShortageWarned, MSG_SHORTAGE);
}

void CPrisonStatistics::Update()
{
    UpdateTotals();
    CGameHost* pkHost = CGameHost::Get();
    if (!pkHost)
    {
        return;
    }
    const CClockState kClock = pkHost->GetClock();
    if (kClock.m_ucDayRolled)
    {
        for (const CCharacterStats* pkPrisoner : m_kPrisoners)
        {
            m_iPrisonerPayments += (pkPrisoner->m_usSecurityLevel + 1) * 1000;
        }
    }
    if (kClock.HasHourBegun(18))
    {
        if (m_usPrisonersNow != 0)
        {
            if (m_usTodayKnockdowns < m_usPrisonersNow / 2)
            {
                pkHost->PostMessage(MSG_ORDER_GOOD);
            }
            else if (m_usTodayKnockdowns < m_usPrisonersNow)
            {
                pkHost->PostMessage(MSG_ORDER_FAIR);
            }
            else
            {
                pkHost->PostMessage(MSG_ORDER_BAD);
            }
        }
        m_usTodayKnockdowns = 0;
    }
    if (kClock.HasHourBegun(12))
    {
        pkHost->PlaySample(SAMPLE_NOON, FULL_VOLUME, false);
    }
    if (m_usPrisonersNow != 0 && kClock.HasHourChanged() && !pkHost->IsMessageShowing())
    {
        if (NiRand() % 5 == 0)
        {
            pkHost->PostMessage(MSG_CHATTER_FIRST + NiRand() % CHATTER_COUNT);
        }
    }
}

void CPrisonStatistics::RecordPrisonerGone(int iCause)
{
    ++m_usPrisonersGone;
    if (iCause == GONE_DEATH)
        ++m_usTodayDeaths;
    else if (iCause == GONE_OTHER)
        ++m_usTodayOtherDepartures;
    else if (iCause == GONE_EXECUTION)
        ++m_usTodayExecutions;
}

void CPrisonStatistics::RecordEscape()
{
    ++m_usEscapes;
    ++m_usTodayEscapes;
    m_iIncidentCosts += NiRand() % 10000 + 1;
    AddOrder(-5);
}

void CPrisonStatistics::AnnounceExecution()
{
    if (m_ucExecutionAnnounced)
        return;
    m_ucExecutionAnnounced = 1;
    CGameHost* pkHost = CGameHost::Get();
    if (!pkHost)
        return;
    CWorld* pkWorld = pkHost->GetWorld();
    if (COrvaneObject* pkProtesters = pkWorld ? pkWorld->GetProtesters() : nullptr;
        pkProtesters && !pkProtesters->IsModelVisible())
        pkProtesters->SetModelHidden(false);
    pkHost->PlaySample(SAMPLE_EXECUTION, 255, true);
}

bool CPrisonStatistics::HoldsPrisoner(const CCharacterStats* pkRecord) const
{
    return pkRecord && std::find(m_kPrisoners.begin(), m_kPrisoners.end(), pkRecord) != m_kPrisoners.end();
}

bool CPrisonStatistics::HoldsStaff(const CCharacterStats* pkRecord) const
{
    return pkRecord && std::find(m_kStaff.begin(), m_kStaff.end(), pkRecord) != m_kStaff.end();
}

void CPrisonStatistics::NewDay()
{
    if (CGameHost* pkHost = CGameHost::Get())
    {
        if (m_usTodayExecutions != 0)
        {
            m_ucExecutionAnnounced = 0;
            CWorld* pkWorld = pkHost->GetWorld();
            COrvaneObject* pkProtesters = pkWorld ? pkWorld->GetProtesters() : nullptr;
            if (pkProtesters && pkProtesters->IsModelVisible())
            {
                pkProtesters->SetModelHidden(true);
            }
            pkHost->StopSample(SAMPLE_EXECUTION);
            pkHost->PostNumberedMessage(MSG_EXECUTIONS, m_usTodayExecutions);
        }
        const std::pair<int, std::uint16_t> akReports[] = {
            {MSG_DEATHS, m_usTodayDeaths},
            {MSG_OTHER_DEPARTURES, m_usTodayOtherDepartures},
            {MSG_ESCAPES, m_usTodayEscapes},
            {MSG_COMPLETED, m_usTodayCompleted},
            {MSG_RELEASES, m_usTodayReleases},
        };
        for (const auto& [iMessage, usCount] : akReports)
        {
            if (usCount != 0)
            {
                pkHost->PostNumberedMessage(iMessage, usCount);
            }
        }
    }
    m_ucNoFoodWarned = 0;
    m_ucNoWorkWarned = 0;
    m_ucShortageWarned = 0;
    m_ucNoHospitalWarned = 0;
    m_usTodayExecutions = 0;
    m_usTodayEscapes = 0;
    m_usTodayDeaths = 0;
    m_usTodayOtherDepartures = 0;
    m_usTodayCompleted = 0;
    m_usTodayReleases = 0;
}

std::int32_t CPrisonStatistics::GetStatistic(int iKind) const
{
    switch (iKind)
    {
    case 0:
        return GetBalance();
    case 1:
    {
        const CGameHost* pkHost = CGameHost::Get();
        return pkHost ? pkHost->GetClock().m_sYearOffset : 0;
    }
    case 2:
        return m_usPrisonersReceived;
    case 3:
        return m_iOrder;
    case 4:
        return m_usPrisonersNow;
    case 5:
    case 6:
    case 7:
    case 8:
        return m_ausPrisonersByLevel[iKind - 5];
    case 9:
        return m_usPrisonersReleased;
    case 10:
        return m_usPrisonersGone;
    case 11:
        return m_usIntake;
    case 12:
        return m_usKnockdowns;
    case 13:
        return m_usEscapes;
    case 14:
        return m_usPrisonLevel;
    default:
        return 0;
    }
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
    // After the twenty: a reader that knows only those ignores it.
    kLine += ',';
    kLine += IntToString(m_iPurchases);
    return kLine;
}

bool CPrisonStatistics::SaveLine(COrvaneFile& kFile) const
{
    return kFile.WriteString((FormatLine() + "\r\n").c_str());
}

bool CPrisonStatistics::Save(COrvaneFile& kFile) const
{
    return SaveLine(kFile);
}

bool CPrisonStatistics::Load(COrvaneFile& kFile)
{
    if (!kFile.IsOpen() || kFile.GetMode() != COrvaneFile::MODE_READ || kFile.IsEof())
    {
        return false;
    }
    std::string kLine;
    kFile.ReadLine(kLine);
    // An empty section holds its closing tag where the values belong: taken
    // for values it would read as a block with no starting funds.
    if (kLine.find('<') != std::string::npos)
    {
        return false;
    }
    LoadLine(kLine);
    return true;
}

void CPrisonStatistics::LoadLine(const std::string& kLine)
{
    int aiValues[LINE_VALUES];
    ParseLine(kLine, aiValues);
    ApplyLine(aiValues);
    std::vector<int> kRead;
    SplitIntList(kLine, kRead);
    m_ucPurchasesSaved = kRead.size() > static_cast<std::size_t>(LINE_VALUES) ? 1 : 0;
    m_iSavedPurchases = m_ucPurchasesSaved != 0 ? kRead[LINE_VALUES] : 0;
    const CGameHost* pkHost = CGameHost::Get();
    if (const CWorld* pkWorld = pkHost ? pkHost->GetWorld() : nullptr)
    {
        m_usUpgradeLevel = Low16(std::max(0, pkWorld->GetUpgradeLevel()));
    }
}

void CPrisonStatistics::TakeSavedPurchases()
{
    if (m_ucPurchasesSaved != 0)
    {
        m_iPurchases = m_iSavedPurchases;
    }
    m_ucPurchasesSaved = 0;
    m_iSavedPurchases = 0;
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
