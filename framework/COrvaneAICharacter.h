#pragma once

#include "framework/COrvaneAIStateBlock.h"
#include "framework/COrvaneCharacter.h"

#include <cstdint>
#include <list>
#include <memory>
#include <string>

class COrvaneAICharacterController;
struct COrvaneAIControllerState;

// An AI character's saved lines after the grid entity's, read apart from
// the character: the destination, the walk mode, the controller found by
// the saved name and its own lines. The reference lines are read by the
// kind of character into its own extension of this record.
struct COrvaneAICharacterState : COrvaneGridEntityState
{
    COrvaneAICharacterState();
    ~COrvaneAICharacterState() override;

    std::int32_t m_iDestination = -1;
    std::int16_t m_sWalkMode = 4;
    // Empty: the record names no controller.
    std::string m_kControllerName;
    COrvaneAICharacterController* m_pkController = nullptr; // link
    std::unique_ptr<COrvaneAIControllerState> m_pkControllerState;
};

// A character steered by AI controllers: runs the active controller at its
// update interval, switches to a pending one between runs, walks a queue of
// splines one after another and saves its AI state as lines.
class COrvaneAICharacter : public COrvaneCharacter
{
public:
    COrvaneAICharacter();
    ~COrvaneAICharacter() override;

    void Destroy() override;
    // The AI part only.
    void Reset() override;
    void Update(float fDt) override;
    void DebugDraw(bool bFlag) override;
    int Load(COrvaneObjectDesc& kDesc) override;
    // 0, the character untouched, when a line is damaged or names no known
    // controller: the whole record is parsed before any of it is applied.
    int LoadState(COrvaneFile& kFile) override;
    [[nodiscard]] std::unique_ptr<COrvaneIOState> NewState() const override;
    [[nodiscard]] bool ParseState(COrvaneFile& kFile, COrvaneIOState& kState) const override;
    void ApplyState(const COrvaneIOState& kState) override;
    virtual int Save(COrvaneFile& kFile);
    // Walks on with the next queued spline.
    void OnPathEnd() override;
    // Also empties the path queue.
    void ClearPath() override;
    virtual void ExtraUpdate() = 0;
    [[nodiscard]] virtual bool CanSave() const;
    int SaveState(COrvaneFile& kFile) override;
    virtual void OnPathQueueEmpty() = 0;
    virtual void SuspendedUpdate() = 0;
    virtual void PreAIUpdate() = 0;
    virtual void PostAIUpdate() = 0;
    virtual void OnControllerChange(COrvaneAICharacterController* pkOld, COrvaneAICharacterController* pkNew) = 0;
    // "gridId,cell" as unsigned 16-bit numbers, or "-1" for none (or for an
    // object off every grid).
    virtual int SaveReference(const COrvaneGridEntity* pkObject, COrvaneFile& kFile);
    // Reads reference line iIndex (0 or 1) into the record; false when it
    // does not read. Touches no character.
    virtual bool LoadReference(COrvaneFile& kFile, COrvaneAICharacterState& kState, int iIndex) const = 0;
    // "-1" whatever the character; the game writes its person number.
    virtual int SaveNullReference(const COrvaneAICharacter* pkValue, COrvaneFile& kFile);
    virtual bool LoadNullReference(COrvaneFile& kFile, COrvaneAICharacterState& kState, int iIndex) const = 0;
    virtual void UpdateAI(float fDt);
    // Non-zero when a controller of that name was found and set.
    virtual int SetControllerByName(const char* pcName, int iA, int iB) = 0;
    // The controller a name would set, without setting it; null for none.
    [[nodiscard]] virtual COrvaneAICharacterController* FindControllerByName(const char* pcName) const = 0;
    // The game's partner protocol: be taken as partner by a user, let the
    // partner go, and the hook after an object use.
    virtual bool BeUsedByCharacter(COrvaneAICharacter* pkUser) = 0;
    virtual bool ReleasePartner(COrvaneAICharacter* pkPartner) = 0;
    virtual void OnPartnerTask() = 0;
    [[nodiscard]] virtual float GetActionValue() const;
    virtual int ResetAIState();
    // A destination cell for an aimless walk; false when none.
    virtual bool ChooseWanderTarget() = 0;
    [[nodiscard]] virtual bool AnswersTrue() const = 0;
    [[nodiscard]] virtual bool AnswersFalse() const { return false; }

    void SwitchController(COrvaneAICharacterController* pkController);
    void QueuePath(const COrvaneSplineBase* pkSource, bool bTurnBack, bool bRandomOffset);
    [[nodiscard]] bool IsEntered() const { return m_kBlock.m_ucEntered != 0; }

    void SetPendingController(COrvaneAICharacterController* pkController) { m_pkPendingController = pkController; }
    [[nodiscard]] COrvaneAICharacterController* GetPendingController() const { return m_pkPendingController; }
    [[nodiscard]] COrvaneAICharacterController* GetActiveController() const { return m_pkActiveController; }
    [[nodiscard]] COrvaneAIStateBlock& GetStateBlock() { return m_kBlock; }
    [[nodiscard]] std::size_t GetQueuedPathCount() const { return m_kPathQueue.size(); }

protected:
    struct QueuedPath
    {
        std::unique_ptr<COrvaneSplineBase> m_pkSpline;
        bool m_bTurnBack = false;
        bool m_bRandomOffset = false;
    };

    void NextQueuedPath();

    float m_fActionValue = 0.0f;
    std::list<QueuedPath> m_kPathQueue;
    COrvaneAICharacterController* m_pkPendingController = nullptr; // link
    COrvaneAICharacterController* m_pkActiveController = nullptr;  // link
    COrvaneAIStateBlock m_kBlock;
};
