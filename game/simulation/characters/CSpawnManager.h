#pragma once

#include "framework/COrvaneAnimationSpline.h"
#include "game/simulation/characters/CCharacterStats.h"

#include <cstdint>
#include <list>
#include <memory>
#include <string>
#include <vector>

class CAIPrisoner;
class CGameCharacter;
class CPathableObject;
class COrvaneImage;
class COrvaneObject;
class COrvaneTagNode;
class COrvaneTagTree;
class COrvaneSceneNode;
class CSpawnObject;
class COrvaneGridEntity;

// Brings people into the prison and keeps the lists they are drawn from:
// the prison's prisoner templates, the name lists, the re-offenders who come
// back, the prisoners waiting for a cell and the parole candidates. One per
// running game, owned by the game object.
class CSpawnManager
{
public:
    // No arrival, unloading or vehicle.
    static constexpr std::int32_t ARRIVAL_IDLE = 0;
    // Set by the game at 13:00 and at the change of day.
    static constexpr std::int32_t ARRIVAL_DUE = 1;
    static constexpr std::int32_t ARRIVAL_DRIVING = 2;
    static constexpr std::int32_t ARRIVAL_UNLOADING = 3;

    // The interface's messages, by number.
    static constexpr int MESSAGE_PLACED_HIGHER = 4;
    static constexpr int MESSAGE_NO_CELL = 5;
    static constexpr int MESSAGE_ESCAPED = 12;
    static constexpr int MESSAGE_NO_BEDS = 63;
    // Beds beyond this many do not count for arrivals.
    static constexpr int BED_CAP = 250;
    // Seconds between two prisoners stepping out, and after the vehicle's
    // animation before the first.
    static constexpr float UNLOAD_INTERVAL = 3.0f;
    static constexpr int HIGHEST_SECURITY_LEVEL = 3;
    // The staff group base while the data has no staff or building group.
    static constexpr std::uint32_t NO_STAFF_GROUP_BASE = 0xFFFFFFFFu;
    static constexpr int MAX_HEAD_IMAGES = 5;
    // Guards come in models up to this index (by the room's level).
    static constexpr std::uint16_t HIGHEST_GUARD_MODEL = 2;
    // The block type of the cell where the arrival road ends.
    static constexpr std::int32_t ARRIVAL_POINT_TYPE = 3;
    // The marker under a carried character: its side, and its height over
    // the floor.
    static constexpr float CARRY_MARKER_SIZE = 2.0f;
    static constexpr float CARRY_MARKER_RAISE = 0.1f;
    static constexpr float CARRY_MARKER_ALPHA = 0.5f;

    // A prisoner who will come back: its template name and its record.
    struct Reoffender
    {
        std::string m_kName;
        CCharacterStats m_kStats;
    };

    // The vehicle's road into the prison, made by the world (which only
    // reads this header: the record is complete here).
    struct ArrivalPath
    {
        std::unique_ptr<COrvaneAnimationSpline> m_pkSpline;
        // The spawn object driving it; the registry owns it.
        COrvaneObject* m_pkVehicle = nullptr; // link
    };

    // The head images of one character model, the first at index 0.
    struct HeadSet
    {
        HeadSet();
        ~HeadSet();
        std::string m_kName;
        std::vector<std::unique_ptr<COrvaneImage>> m_kImages;
    };

    CSpawnManager();
    ~CSpawnManager();
    CSpawnManager(const CSpawnManager&) = delete;
    CSpawnManager& operator=(const CSpawnManager&) = delete;

    // Counts, flags, the arrival and the carry back to their first values;
    // the lists keep their entries.
    void Reset();
    // Frees the head sets, the name lists, the carry marker and the arrival
    // path, then Reset.
    void Clear();

    // From the data document, once the registry holds the prison's
    // templates: the staff group base, the head sets of the level's
    // criminals and staff, the roster of the level's "CRIMINALS", and the
    // first-name and surname lists from the "MALE_NAMES", "FEMALE_NAMES"
    // and "SURNAMES" sections, one name per value line. Missing sections
    // are skipped.
    void LoadRosters(COrvaneTagTree& kDocument);
    // One head set per plan of the node's "plans" with values: the images
    // "head_1*.*", "head_2*.*" ... beside its model, up to the first
    // number without a file.
    void LoadHeadSets(const COrvaneTagNode* pkNode);
    // Image i of the first head set whose name holds the text and that has
    // more than i images; null otherwise.
    [[nodiscard]] COrvaneImage* FindHeadImage(const char* pcName, std::size_t uiIndex) const;
    // The first image of a head set named so, else a ".tga" file loaded
    // into a new set of that name; null for anything else.
    COrvaneImage* FindOrLoadImage(const char* pcPath);

    // The display name: surname + ",\n", then the first name of the
    // gender's list (nonzero: female); an index out of range leaves its
    // part out.
    void FormatNameList(std::string& kOut, std::uint32_t uiGender, std::uint32_t uiFirstName,
                        std::uint32_t uiSurname) const;

    // The arrival road the world built: the end cell of the old road on
    // grid 1 becomes a plain cell again and the new one the arrival point.
    // A road without a spline or ending off the grid shows an error box.
    void SetArrivalPath(std::unique_ptr<ArrivalPath> pkPath);
    // Ends a camera follow (or, forced, in any case): the vehicle's
    // animation back to its start and the camera at the level's start
    // view. A level without a start view leaves the camera where it is.
    void ResetCameraView(bool bForce);
    // While the camera follows: at the vehicle's "camera" node, looking at
    // its "bus03" node. False when the vehicle or a node is missing (the
    // camera then stays).
    bool FollowVehicle();

    // One staff member for the room, of the kind its string parameter and
    // name ask for; it walks in along the arrival road and takes the room
    // as its post. Null, with an error box, when the data has no such
    // template.
    CGameCharacter* SpawnStaffForRoom(CPathableObject* pkRoom);
    // Whom a room of the kind word, name and level hires: the factory, the
    // staff group (counted from the staff group base) and the model in it.
    // The demo data's build pages price a room's guards by it too.
    struct StaffChoice
    {
        const char* pcFactory;
        std::uint32_t uiGroup;
        std::uint32_t uiModel;
    };
    [[nodiscard]] static StaffChoice ChooseStaff(const std::string& kKind, const std::string& kName,
                                                 std::uint16_t usLevel);
    static constexpr const char* GUARD_FACTORY = "SecurityGuardFactory";
    static constexpr const char* MEDICAL_FACTORY = "MedicalFactory";
    static constexpr const char* SUPPORT_FACTORY = "SupportStaffFactory";
    static constexpr const char* MAINTENANCE_FACTORY = "MaintenanceStaffFactory";
    // Every prisoner takes the mood, forced.
    void SetAllPrisonersMood(std::uint32_t uiMood);

    // The number of prisoners of one arrival, drawn with NiRand when more
    // than one may come. Beds count up to BED_CAP.
    [[nodiscard]] static std::uint16_t CountArrivals(int iBeds, int iBedsTaken, int iOrder);

    // Every in-game frame, with the scaled frame time.
    void UpdateArrivals(float fDt);
    // One step of the unloading; true when everyone is out and the messages
    // are posted.
    bool UnloadStep(float fDt);
    // A prisoner from a re-offender or the roster, on the arrival road;
    // null without grid 1, factory or template.
    CAIPrisoner* CreateArrivingPrisoner();
    // A cell of the prisoner's security level or higher; false when none
    // has room (the no-cell flag is set).
    bool AssignCell(CAIPrisoner* pkPrisoner);
    void AddWaitingPrisoner(CAIPrisoner* pkPrisoner);
    void RemoveWaitingPrisoner(CAIPrisoner* pkPrisoner);
    // At the change of day: a waiting prisoner still without a cell
    // escapes.
    void PlaceWaitingPrisoners();
    // The prisoner comes back later with its record.
    void ReturnToRoster(CAIPrisoner* pkPrisoner);
    // After an activity: maybe a parole candidate, the fewer years left the
    // likelier.
    void ConsiderParole(CAIPrisoner* pkPrisoner);

    // The hand tool. A pick-up pauses the game (keeping the speed to come
    // back to) and is refused while someone is carried.
    bool PickUpCharacter(CGameCharacter* pkCharacter);
    // Every frame: the game stays paused, and the character follows the
    // pick over any floor it may stand on.
    void UpdateCarry();
    // Where it is held when it may stay there, else back where it was
    // picked up; the speed before the pause returns.
    void DropCharacter();
    void CancelCarry();
    // Forgets the carry and frees the marker, leaving the game speed alone.
    void ClearCarry();
    [[nodiscard]] CGameCharacter* GetCarried() const { return m_pkCarried; }

    // The parole screen reads and empties the candidates. A prisoner is
    // listed once.
    void AddParoleCandidate(CAIPrisoner* pkPrisoner);
    void RemoveParoleCandidate(CAIPrisoner* pkPrisoner) { m_kParoleCandidates.remove(pkPrisoner); }
    void ClearParoleCandidates() { m_kParoleCandidates.clear(); }
    [[nodiscard]] const std::list<CAIPrisoner*>& GetParoleCandidates() const { return m_kParoleCandidates; }
    [[nodiscard]] std::list<CAIPrisoner*>& GetParoleCandidates() { return m_kParoleCandidates; }

    [[nodiscard]] std::int32_t GetArrivalState() const { return m_iArrivalState; }
    void SetArrivalState(std::int32_t iState) { m_iArrivalState = iState; }
    // Makes the day's arrivals due.
    void MakeArrivalsDue() { m_iArrivalState = ARRIVAL_DUE; }

    [[nodiscard]] const std::vector<std::string>& GetMaleNames() const { return m_kMaleNames; }
    [[nodiscard]] const std::vector<std::string>& GetFemaleNames() const { return m_kFemaleNames; }
    [[nodiscard]] const std::vector<std::string>& GetSurnames() const { return m_kSurnames; }

    std::vector<std::string> m_kPrisonerTemplates;
    std::vector<std::string> m_kMaleNames;
    std::vector<std::string> m_kFemaleNames;
    std::vector<std::string> m_kSurnames;
    std::list<Reoffender> m_kReoffenders;
    std::list<CAIPrisoner*> m_kWaitingPrisoners; // links
    std::list<CAIPrisoner*> m_kParoleCandidates; // links
    std::uint16_t m_usTemplateCount = 0;
    std::uint16_t m_usMaleNameCount = 0;
    std::uint16_t m_usFemaleNameCount = 0;
    std::uint16_t m_usSurnameCount = 0;
    std::int32_t m_iArrivalState = ARRIVAL_IDLE;
    std::uint8_t m_ucCameraFollows = 0;
    std::unique_ptr<ArrivalPath> m_pkArrivalPath;
    std::uint16_t m_usPrisonersToUnload = 0;
    float m_fUnloadTimer = 0.0f;
    std::uint8_t m_ucPlacedHigher = 0;
    std::uint8_t m_ucNoCell = 0;
    // The hand tool's carry: its marker, the carried character and where it
    // was picked up.
    std::unique_ptr<COrvaneSceneNode> m_pkCarryMarker;
    CGameCharacter* m_pkCarried = nullptr; // link: cleared when it goes
    std::int32_t m_iCarryGrid = -1;
    std::int32_t m_iCarryCell = -1;
    std::uint32_t m_uiStaffGroupBase = 0;
    std::vector<std::unique_ptr<HeadSet>> m_kHeadSets;
};
