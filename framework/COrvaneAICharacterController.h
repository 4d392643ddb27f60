#pragma once

#include "framework/COrvaneFSMBase.h"

#include <cstdint>

class COrvaneAIControllerManager;
class COrvaneFile;
struct COrvaneAIStateBlock;

// One shared controller per kind; it drives whichever character's state
// block it is bound to.
class COrvaneAICharacterController : public COrvaneFSMBase
{
public:
    // Seconds between runs for one character.
    static constexpr float UPDATE_INTERVAL = 0.01f;

    COrvaneAICharacterController();
    ~COrvaneAICharacterController() override;

    virtual void Reset();
    void CommitState() override;
    [[nodiscard]] bool IsChangePending() const override;
    void SetChangePending(bool bPending) override;
    virtual void RequestState(std::uint8_t ucState);
    [[nodiscard]] std::uint8_t GetState() const override;
    [[nodiscard]] virtual std::uint8_t GetRequestedState() const;
    // A character leaves this controller.
    virtual void ReleaseBlock(COrvaneAIStateBlock* pkBlock) = 0;
    [[nodiscard]] virtual float GetUpdateInterval() const;
    [[nodiscard]] virtual int AnswersOne() const { return 1; }
    // "current,requested,pending" and CR LF.
    virtual int Save(COrvaneFile& kFile, COrvaneAIStateBlock& kBlock);
    // Such a line back; 0 (nothing changed) for a short or damaged line.
    virtual int Load(COrvaneFile& kFile, COrvaneAIStateBlock& kBlock);
    virtual int Enter(COrvaneAIStateBlock& kBlock);

    // Binds the block and runs the state machine once.
    void UpdateFor(float fDt, COrvaneAIStateBlock& kBlock);
    void Unbind(COrvaneAIStateBlock& kBlock);

    [[nodiscard]] COrvaneAIStateBlock* GetBoundBlock() const { return m_pkBlock; }
    [[nodiscard]] COrvaneAIControllerManager* GetManager() const { return m_pkManager; }
    void SetManager(COrvaneAIControllerManager* pkManager) { m_pkManager = pkManager; }

private:
    COrvaneAIControllerManager* m_pkManager = nullptr; // link: the manager owns controllers
    COrvaneAIStateBlock* m_pkBlock = nullptr;          // link: the character owns its block
};
