#pragma once

#include <cstdint>
#include <string>
#include <vector>

class CCharacterStats;
class COrvaneFile;
struct CObjectRecord;

// The prison's ledger: money in and out, score and level, order, the counts
// of prisoners and staff and the day's incidents. It points at the person
// records of the people it counts and owns none of them.
class CPrisonStatistics
{
public:
    static constexpr int LINE_VALUES = 20;
    static constexpr int CATEGORY_COUNT = 4;
    static constexpr int SECURITY_LEVELS = 4;

    // Counters of one staff category.
    struct StaffGroup
    {
        std::uint16_t m_usCount = 0;
        std::uint16_t m_usServices = 0;
        std::uint16_t m_usWages = 0;
    };

    // Every field after the lists back to its first value.
    void Reset();

    // Placed objects: purchases and score. The price is not refunded on
    // removal. Null gives false.
    bool AddObject(const CObjectRecord* pkRecord);
    bool RemoveObject(const CObjectRecord* pkRecord);

    // Administration rooms: a planning room (kind 1) numbered above the
    // upgrade level raises the world's upgrade level to its number, a
    // clerical room (kind 2) raises the clerical level; then as an object.
    bool AddAdminRoom(const CObjectRecord* pkRecord, int iKind, int iCount);
    // Levels reached stay: removal takes back only the score.
    bool RemoveAdminRoom(const CObjectRecord* pkRecord, int iKind = 0, int iCount = 0);

    // Cells are kept per security level (their record's required level),
    // their places counted as beds. A level outside 0..3 is refused.
    bool AddCell(CObjectRecord* pkRecord);
    // False, changing nothing, for a cell the lists do not hold.
    bool RemoveCell(CObjectRecord* pkRecord);
    // The first empty cell of the level, else the one with most free beds
    // (the first of equals); null when the level has none with room.
    [[nodiscard]] CObjectRecord* FindCellFor(int iLevel) const;

    void AddScore(int iAmount);
    void AddOrder(int iAmount);
    // The category's services-done counter + 1; other numbers change nothing.
    void CountCategory(int iCategory);

    // Null gives false.
    bool RegisterPrisoner(CCharacterStats* pkRecord);
    bool RemovePrisoner(CCharacterStats* pkRecord);
    bool RegisterStaff(CCharacterStats* pkRecord, int iCategory);
    bool RemoveStaff(CCharacterStats* pkRecord, int iCategory);

    // Prisoners who found nothing of a kind they sought. Each kind warns
    // once a day, when its reports exceed half the prisoners held.
    void ReportNoFood();
    void ReportNoWork();
    void ReportNoHospital();
    void ReportShortage();

    // Causes of RecordPrisonerGone.
    static constexpr int GONE_DEATH = 0;
    static constexpr int GONE_OTHER = 1;
    static constexpr int GONE_EXECUTION = 2;
    // A prisoner left: prisoners gone + 1, and the day's counter of the
    // cause (a death, another departure or an execution); an unknown cause
    // counts only as gone.
    void RecordPrisonerGone(int iCause);
    // An escape: escapes and the day's escapes + 1, incident costs, order.
    void RecordEscape();
    // An execution is due: the flag is raised, the protesters show and the
    // execution sound loops, each once until the day's end hides them.
    void AnnounceExecution();
    // Whether a known prisoner record is listed (so it leaves only once).
    [[nodiscard]] bool HoldsPrisoner(const CCharacterStats* pkRecord) const;
    [[nodiscard]] bool HoldsStaff(const CCharacterStats* pkRecord) const;

    // The per-frame step: totals, the daily prisoner payments, the 18:00
    // order report, the noon bell and the hourly chatter.
    void Update();
    // The start of a game day: the day's departures reported, the day
    // counters and the shortage warnings cleared.
    void NewDay();

    // The value a scenario condition reads for a statistic kind 0..14;
    // other kinds read 0.
    [[nodiscard]] std::int32_t GetStatistic(int iKind) const;

    // The staff group of a category (0..3, else null): they lie in the
    // order 0, 2, 1, 3.
    [[nodiscard]] StaffGroup* GetStaffGroup(int iCategory);
    [[nodiscard]] const StaffGroup* GetStaffGroup(int iCategory) const;

    // Sums the income and expense items.
    void UpdateTotals();
    [[nodiscard]] int GetBalance() const { return m_iIncomeTotal - m_iExpenseTotal; }

    // The saved line: the twenty values and then the purchases,
    // comma-joined, without line end.
    [[nodiscard]] std::string FormatLine() const;
    bool SaveLine(COrvaneFile& kFile) const;
    // The statistics line and its CR LF; false when the write fails.
    bool Save(COrvaneFile& kFile) const;
    // Reads the next line of the file into the block, then takes the
    // world's upgrade level. False, changing nothing, when the file has no
    // further line or the line is a section tag rather than values.
    bool Load(COrvaneFile& kFile);
    // The reading of Load for a line already read (and found to be values).
    // The purchases after the twenty values are kept aside for
    // TakeSavedPurchases; a line of twenty values or fewer has none.
    void LoadLine(const std::string& kLine);
    // Called once the objects of a load have been placed again, which
    // counted the prices of those still standing: the purchases the line
    // carried replace that count (what was bought and demolished since stays
    // paid for). Without saved purchases the count stands.
    void TakeSavedPurchases();
    // Reads a saved line into twenty values: missing values keep the fresh
    // block's, values past twenty are ignored, and a line of exactly 19
    // values (older saves without the order) gets order 500. Never fails.
    static void ParseLine(const std::string& kLine, int (&aiValues)[LINE_VALUES]);
    // Puts parsed values into their fields; 16-bit fields keep the low bits.
    void ApplyLine(const int (&aiValues)[LINE_VALUES]);

    std::vector<CCharacterStats*> m_kPrisoners;
    std::vector<CCharacterStats*> m_kStaff;
    // One list per cell level, created up to the highest level placed.
    std::vector<std::vector<CObjectRecord*>> m_kCellsByLevel;

    std::int32_t m_iStartingFunds = 100000;
    std::int32_t m_iPrisonerPayments = 0;
    std::int32_t m_iOtherIncome = 0;
    std::int32_t m_iWorkIncome = 0;
    std::int32_t m_iIncomeTotal = 0;
    std::int32_t m_iPurchases = 0;
    std::int32_t m_iWages = 0;
    std::int32_t m_iRunningCosts = 0;
    std::int32_t m_iFoodCosts = 0;
    std::int32_t m_iIncidentCosts = 0;
    std::int32_t m_iAdminCosts = 0;
    std::int32_t m_iExpenseTotal = 0;
    std::uint16_t m_usPrisonersNow = 0;
    std::uint16_t m_usPrisonersReceived = 0;
    std::uint16_t m_usPrisonersGone = 0;
    std::uint16_t m_usIntake = 0;
    std::uint16_t m_usPrisonersReleased = 0;
    std::uint16_t m_ausPrisonersByLevel[SECURITY_LEVELS] = {};
    std::uint16_t m_usSentenceTotal = 0;
    std::uint16_t m_usKnockdowns = 0;
    StaffGroup m_akStaff[CATEGORY_COUNT] = {};
    std::uint16_t m_usPrisonLevel = 0;
    std::uint16_t m_usEscapes = 0;
    std::uint16_t m_usBeds = 0;
    std::uint16_t m_usBedsTaken = 0;
    std::uint16_t m_usTodayExecutions = 0;
    std::uint16_t m_usTodayEscapes = 0;
    std::uint16_t m_usTodayDeaths = 0;
    std::uint16_t m_usTodayOtherDepartures = 0;
    std::uint16_t m_usTodayCompleted = 0;
    std::uint16_t m_usTodayReleases = 0;
    std::uint16_t m_usTodayKnockdowns = 0;
    std::int32_t m_iScore = 0;
    std::uint16_t m_usClericalLevel = 0;
    std::uint16_t m_usUpgradeLevel = 0;
    std::uint16_t m_usHighestCellLevel = 0;
    std::uint16_t m_usExecutionRooms = 0;
    std::int32_t m_iOrder = 500;
    std::int32_t m_iNoFoodReports = 0;
    std::int32_t m_iNoWorkReports = 0;
    std::int32_t m_iShortageReports = 0;
    std::int32_t m_iNoHospitalReports = 0;
    std::uint8_t m_ucNoFoodWarned = 0;
    std::uint8_t m_ucNoWorkWarned = 0;
    std::uint8_t m_ucShortageWarned = 0;
    std::uint8_t m_ucNoHospitalWarned = 0;
    // The purchases read by LoadLine, waiting for TakeSavedPurchases.
    std::int32_t m_iSavedPurchases = 0;
    std::uint8_t m_ucPurchasesSaved = 0;
    // An execution has been announced and not yet carried out; not saved.
    std::uint8_t m_ucExecutionAnnounced = 0;

private:
    void Report(std::int32_t& iReports, std::uint8_t& ucWarned, int iMessage);
};
