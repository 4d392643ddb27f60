#pragma once

#include "framework/COrvaneAICharacter.h"
#include "game/simulation/characters/CCharacterStats.h"
#include "game/simulation/objects/CGridCharacter.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

class CBaseObject;
class CBlockGrid;
class CPrisonStatistics;
class COrvaneImage;
class CPathableObject;
class CWorldObject;
struct CObjectQuery;

// A character's saved record read apart from the character: the AI lines,
// the three object references (target, previous target, home) as grid
// number and cell, the two person references (partner, previous partner)
// and the person record.
struct CGameCharacterState : COrvaneAICharacterState
{
    CGameCharacterState();
    ~CGameCharacterState() override;

    std::vector<std::array<std::int32_t, 2>> m_kObjectReferences;
    std::vector<std::int32_t> m_kPersonReferences;
    CCharacterStats m_kStats;
};

// The prison's person: the common base of the prisoner and the staff. It
// adds the person record, a home, head and body variants, switching of
// controllers by name, the answers to things that vanish, the hand tool's
// carry and the saved record.
class CGameCharacter : public COrvaneAICharacter, public CGridCharacter
{
public:
    // Movement modes the controllers use.
    static constexpr std::int32_t MODE_INTERACTING = WALK_STANDING;
    static constexpr std::int32_t MODE_FOLLOWING = WALK_FOLLOWING;
    // The squared ground distance under which no partner is sought.
    static constexpr float MIN_PARTNER_DISTANCE_SQUARED = 9.0f;

    CGameCharacter();
    ~CGameCharacter() override;

    // Tells every character this one goes, gives up its use slot, home and
    // references, then the AI base.
    void Destroy() override;
    void Reset() override;
    void Release() override;
    void Update(float fDt) override;
    // The debugger line: "Surname,\nFirst : CONTROLLER = name: STATE = n",
    // also drawn at (20, 50) with the locale's text object 0.
    [[nodiscard]] virtual std::string DebugText() const;
    // Creation from the template (the framework's Load slot).
    int Load(COrvaneObjectDesc& kDesc) override;
    // After a whole save is read: references, grid, partners, the
    // controller's own restore, and a relocation off bad cells.
    void ResolveReferences() override;
    void SetGrid(COrvaneBlockGrid* pkGrid) override;
    // The record: the AI lines, home and the person record.
    int SaveState(COrvaneFile& kFile) override;
    int LoadState(COrvaneFile& kFile) override;
    [[nodiscard]] std::unique_ptr<COrvaneIOState> NewState() const override;
    [[nodiscard]] bool ParseState(COrvaneFile& kFile, COrvaneIOState& kState) const override;
    void ApplyState(const COrvaneIOState& kState) override;
    [[nodiscard]] std::int32_t GetEntityKind() const override { return 3; }

    // The framework's slots under the names the game gives them.
    void ExtraUpdate() override { UpdateHook(); }
    void SuspendedUpdate() override { DestroySelf(); }
    void PreAIUpdate() override { CheckPathBlocked(); }
    void PostAIUpdate() override { AfterControllerUpdate(); }
    void OnPathQueueEmpty() override {}
    // The next queued walk, else standing (mode 4).
    void OnPathEnd() override;
    bool LoadReference(COrvaneFile& kFile, COrvaneAICharacterState& kState, int iIndex) const override;
    int SaveNullReference(const COrvaneAICharacter* pkValue, COrvaneFile& kFile) override;
    bool LoadNullReference(COrvaneFile& kFile, COrvaneAICharacterState& kState, int iIndex) const override;
    int SetControllerByName(const char* pcName, int iForce, int iNow) override;
    [[nodiscard]] COrvaneAICharacterController* FindControllerByName(const char* pcName) const override;
    void OnControllerChange(COrvaneAICharacterController*, COrvaneAICharacterController*) override {}
    int ResetAIState() override;

    // Runs every frame while the update-hook flag is set.
    virtual void UpdateHook() {}
    virtual void DestroySelf();
    // The next cell of the walk is blocked: give the walk up.
    virtual void CheckPathBlocked();
    virtual void AfterControllerUpdate() {}
    // "grid,cell" or "-1" (the object reference lines).
    bool LoadObjectReference(COrvaneFile& kFile, CGameCharacterState& kState) const;
    // The person number of the character, or "-1".
    int SaveCharacterReference(const COrvaneAICharacter* pkCharacter, COrvaneFile& kFile);
    bool LoadCharacterReference(COrvaneFile& kFile, CGameCharacterState& kState) const;
    // Finds the first controller whose name holds the text. Now: switch at
    // once; else it is pending until the next AI step. Null name: nothing.
    virtual bool SetController(const char* pcName, bool bForce, bool bNow);
    [[nodiscard]] virtual CCharacterStats& GetStats() { return m_kStats; }
    // Accepts the user as partner when free; false otherwise.
    bool BeUsedByCharacter(COrvaneAICharacter* pkUser) override;
    // Lets the partner go when it is the current one; false otherwise.
    bool ReleasePartner(COrvaneAICharacter* pkPartner) override;
    // After an object use; the prisoner and the maintenance staff act.
    void OnPartnerTask() override {}
    // A random walk of a few cells on the current grid; the target cell.
    bool ChooseWanderTarget() override;
    [[nodiscard]] bool AnswersTrue() const override { return true; }

    [[nodiscard]] virtual bool IsAvailableForTask() const { return true; }
    virtual void Recover(CGameCharacter* pkPartner) { (void)pkPartner; }
    [[nodiscard]] virtual int GetHeadVariantCount() const { return 5; }
    [[nodiscard]] virtual int GetBodyVariantCount() const { return 2; }
    // Home, else the arrival road's end, else cell 0 of the outside grid.
    virtual void Relocate();
    [[nodiscard]] virtual const char* GetForcedController() const { return nullptr; }
    virtual void AfterRelocate() {}
    [[nodiscard]] virtual bool WantsObject() const { return false; }
    virtual bool FindObjectForMood() { return false; }
    // A partner to go to: the partner set and its cell the target cell.
    virtual bool FindCharacterToServe() { return false; }
    [[nodiscard]] virtual bool WantsCharacter() const { return false; }
    [[nodiscard]] virtual bool IsCellFree(const COrvaneBlockGrid* pkGrid, std::int32_t iCell) const;
    virtual void SetHome(CBaseObject* pkHome);
    virtual void OnDropped(bool bPlayPause);
    virtual void ReturnToCell(std::int32_t iGridNumber, std::int32_t iCell);
    [[nodiscard]] virtual bool CanDropOn(const COrvaneBlockGrid* pkGrid) const;
    virtual void PlayPauseAnimation();
    virtual void PlayWalkAnimation();
    virtual bool Interact(CGameCharacter* pkPartner);
    [[nodiscard]] virtual CGameCharacter* IsCandidateFor(CObjectQuery& kQuery);
    // The query's seeker as a person, or null: tested once for each seeker
    // the query is given, however many candidates it asks.
    [[nodiscard]] static const CGameCharacter* SeekerOf(CObjectQuery& kQuery);
    virtual void SetBodyTexture(int iVariant);
    void FinishActivity() override { Relocate(); }
    virtual void SetMood(std::uint32_t uiMood, bool bForced);
    virtual void SetStats(const CCharacterStats& kStats);
    // Plays "work" where the kind works at objects; false for the others.
    virtual bool PlayWorkAnimation() { return false; }
    // How far apart two characters stand in a bout.
    [[nodiscard]] virtual float GetInteractionDistance() const { return 1.0f; }

    // Things that vanish.
    void OnObjectRemoved(CBaseObject& kObject) override;
    virtual void OnCharacterRemoved(CGameCharacter* pkCharacter);
    // A building that goes: a character on its floors or headed through
    // one of its connectors goes back to the grid the building stands on.
    void OnWorldObjectRemoved(CWorldObject& kBuilding) override;
    void OnGridRemoved(COrvaneBlockGrid* pkGrid);
    void ForceRelocate() override;
    // Before the hand tool lifts the character.
    void PrepareForCarry();
    void CopyHomeToTarget();
    // The first game character with the person number; null for none.
    [[nodiscard]] static CGameCharacter* FindCharacterByNumber(std::int32_t iNumber);
    // "Surname,\nFirst name" from the spawn manager's lists; empty without.
    [[nodiscard]] std::string FormatName() const;

    // CGridCharacter.
    [[nodiscard]] Role GetFloorRole() const override { return Role::Other; }
    void OnGridDestroyed(CBlockGrid& kGrid) override;
    void OnGridCellChanged(CBlockGrid& kGrid, std::int32_t iCell) override;
    [[nodiscard]] bool IsAboutToStandOn(const COrvaneBlockGrid& kGrid, std::int32_t iCell) const override;
    void OnPostLost(CBaseObject& kObject) override;

    // The state block under the game's names.
    [[nodiscard]] COrvaneGridEntity* GetTargetObject() const { return m_kBlock.m_pkReferenceA; }
    void SetTargetObject(COrvaneGridEntity* pkObject) { m_kBlock.m_pkReferenceA = pkObject; }
    [[nodiscard]] COrvaneGridEntity* GetPreviousTarget() const { return m_kBlock.m_pkReferenceB; }
    void SetPreviousTarget(COrvaneGridEntity* pkObject) { m_kBlock.m_pkReferenceB = pkObject; }
    [[nodiscard]] CGameCharacter* GetPartner() const;
    void SetPartner(CGameCharacter* pkPartner) { m_kBlock.m_pkReference3 = pkPartner; }
    [[nodiscard]] CGameCharacter* GetPreviousPartner() const;
    void SetPreviousPartner(CGameCharacter* pkPartner) { m_kBlock.m_pkReference4 = pkPartner; }
    [[nodiscard]] COrvaneGridMarker* GetConnector() const { return m_kBlock.m_pkReference5; }
    void SetConnector(COrvaneGridMarker* pkConnector) { m_kBlock.m_pkReference5 = pkConnector; }
    [[nodiscard]] float GetControllerTimer() const { return m_kBlock.m_fControllerTimer; }
    void SetControllerTimer(float fTimer) { m_kBlock.m_fControllerTimer = fTimer; }
    [[nodiscard]] std::int16_t GetFailedWalks() const { return m_kBlock.m_asValues[0]; }
    void SetFailedWalks(std::int16_t sCount) { m_kBlock.m_asValues[0] = sCount; }
    [[nodiscard]] std::int16_t GetUseSlot() const { return m_kBlock.m_asValues[1]; }
    [[nodiscard]] std::int16_t GetUseSlotList() const { return m_kBlock.m_asValues[2]; }
    void SetUseSlot(std::int16_t sList, std::int16_t sSlot);
    [[nodiscard]] bool IsFree() const { return m_kBlock.m_ucEntered != 0; }
    void SetFree(bool bFree) { m_kBlock.m_ucEntered = bFree ? 1 : 0; }
    [[nodiscard]] bool IsGone() const { return m_kBlock.m_ucSuspended != 0; }
    void SetGone() { m_kBlock.m_ucSuspended = 1; }
    void SetUpdateHook(bool bOn) { m_kBlock.m_ucExtraUpdate = bOn ? 1 : 0; }
    [[nodiscard]] CPathableObject* GetTargetPathable() const;

    // Walk helpers the controllers share.
    void SetPathState(std::int32_t iState) { m_iPathState = iState; }
    void SetSplineProgress(float fT, bool bReversed)
    {
        m_fT = fT;
        m_bReversed = bReversed;
    }
    void AbandonTarget();
    void FollowSpline(const COrvaneSplineBase* pkSpline, bool bWalk);
    void AppendSpline(const COrvaneSplineBase* pkSpline);
    // Places the character at its spline's end and updates its cell.
    void FinishSpline();
    [[nodiscard]] bool IsAnimationDone() const { return m_fTimer <= 0.0f; }
    [[nodiscard]] bool IsTargetCellWalkable() const;
    // On a valid, passable cell of its grid, or in the place of the object
    // it uses: a load leaves such a character where it was saved and moves
    // any other (Relocate).
    [[nodiscard]] bool StandsWhereALoadKeepsIt() const;
    [[nodiscard]] bool IsPositionValid() const;

    [[nodiscard]] CBaseObject* GetHome() const { return m_pkHome; }
    [[nodiscard]] COrvaneImage* GetPortrait() const { return m_pkPortrait; }
    // The portrait at the place, when there is one and it is visible.
    void DrawPortrait(float fX, float fY) const;
    [[nodiscard]] bool IsSkippingUpdate() const { return m_ucSkipUpdate != 0; }
    void SetSkipUpdate() { m_ucSkipUpdate = 1; }
    [[nodiscard]] bool IsPickable() const { return m_ucPickable != 0; }
    void SetPickable(bool bPickable) { m_ucPickable = bPickable ? 1 : 0; }
    [[nodiscard]] const std::vector<std::array<std::int32_t, 2>>& GetObjectReferences() const
    {
        return m_kObjectReferences;
    }
    [[nodiscard]] const std::vector<std::int32_t>& GetPersonReferences() const { return m_kPersonReferences; }

    // The prison's ledger, or null outside a game.
    [[nodiscard]] static CPrisonStatistics* Ledger();
    // The clock's year (start year plus offset); 0 without a game.
    [[nodiscard]] static std::uint16_t CurrentYear();
    // True on the one update that follows the change of day into day 0.
    [[nodiscard]] static bool IsNewYear();

    // Searches shared by the kinds. The first object of the named factory
    // on the grid, in the grid's order, that the query matches; null when
    // none does.
    [[nodiscard]] static CBaseObject* FirstObjectOn(CBlockGrid* pkGrid, const char* pcFactory, CObjectQuery& kQuery);
    // The nearest match of the named factory over every floor of every
    // building (or of every stack); the query should ask for the nearest.
    [[nodiscard]] static CBaseObject* NearestObject(const char* pcFactory, CObjectQuery& kQuery, bool bBuildingsOnly);
    // The object's first free place is reserved for this character and
    // the object becomes the target; the target cell is the place's entry
    // cell when the object stands on this character's grid, else the
    // current cell. False, nothing changed, without a free place.
    bool ReserveUseOf(CBaseObject* pkObject);
    // The first character of the named factory, over every floor (or only
    // this character's), that answers IsCandidateFor (the last to answer
    // in a nearest search); it goes to the end of its floor's list. Null
    // when none answers.
    CGameCharacter* FindPartner(const char* pcFactory, CObjectQuery& kQuery, bool bOwnGridOnly);
    // A random connector of the grid becomes the connector and its cell
    // the target cell; false without one.
    bool TargetRandomConnector();
    // Standing off the grid: onto its nearest cell. Standing on a cell that
    // may not be walked: onto the nearest walkable cell within two. False
    // when there is none.
    bool StepOffBlockedCell();
    // The target object stops the use animation it plays.
    void StopTargetAnimation();

protected:
    // A person's model is not placed at the origin: the record's position is
    // where it stands, not an offset to the model's own placement.
    void PlaceLoaded(const NiVec3& kPosition) override;
    // The building (named by the address its floors' stack keeps) goes: see
    // OnWorldObjectRemoved.
    void LeaveBuilding(const void* pkBuilding, COrvaneBlockGrid* pkStandsOn, const NiVec3& kAt);
    // Path and AI state cleared, then "wander".
    void Settle();
    void PlaceAt(const NiVec3& kPosition, COrvaneBlockGrid* pkGrid);
    // The head variant and the portrait of the head index.
    void ApplyHead();

    std::vector<std::array<std::int32_t, 2>> m_kObjectReferences;
    std::vector<std::int32_t> m_kPersonReferences;
    COrvaneImage* m_pkPortrait = nullptr; // link: the spawn manager's head sets own it
    CCharacterStats m_kStats;
    CBaseObject* m_pkHome = nullptr; // link
    std::uint8_t m_ucSkipUpdate = 0;
    std::uint8_t m_ucPickable = 1;
};
