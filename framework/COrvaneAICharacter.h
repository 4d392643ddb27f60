#pragma once

#include "framework/COrvaneAIStateBlock.h"
#include "framework/COrvaneCharacter.h"

#include <cstdint>
#include <list>
#include <memory>

class COrvaneAICharacterController;

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
    // 0 when a line is damaged or names no known controller: the caller
    // stops reading there.
    int LoadState(COrvaneFile& kFile) override;
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
    virtual int LoadReference(COrvaneFile& kFile) = 0;
    virtual int SaveNullReference(std::uint32_t uiValue, COrvaneFile& kFile);
    virtual int LoadNullReference(COrvaneFile& kFile) = 0;
    virtual void UpdateAI(float fDt);
    // Non-zero when a controller of that name was found and set.
    virtual int SetControllerByName(const char* pcName, int iA, int iB) = 0;
    [[nodiscard]] virtual float GetActionValue() const;
    virtual int ResetAIState();
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
