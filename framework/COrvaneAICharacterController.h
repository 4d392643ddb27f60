#pragma once

#include "framework/COrvaneFSMBase.h"

#include <cstdint>
#include <memory>

class COrvaneAIControllerManager;
class COrvaneFile;
struct COrvaneAIStateBlock;

// A controller's saved lines read apart from the character they are meant
// for; each kind that saves more extends it.
struct COrvaneAIControllerState
{
    virtual ~COrvaneAIControllerState();

    std::uint8_t m_ucCurrentState = 0;
    std::uint8_t m_ucRequestedState = 0;
    std::uint8_t m_ucChangePending = 0;
};

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
    // Once after a saved game is read and its references resolved; 1.
    virtual int Restore(COrvaneAIStateBlock& kBlock)
    {
        (void)kBlock;
        return 1;
    }
    // "current,requested,pending" and CR LF.
    virtual int Save(COrvaneFile& kFile, COrvaneAIStateBlock& kBlock);
    // Such a line back; 0 (nothing changed) for a short or damaged line.
    // Parse, then apply.
    virtual int Load(COrvaneFile& kFile, COrvaneAIStateBlock& kBlock);
    // The empty record of this kind's lines.
    [[nodiscard]] virtual std::unique_ptr<COrvaneAIControllerState> NewState() const;
    // Reads this kind's lines into a record made by NewState; false when a
    // line does not read. Touches no character.
    [[nodiscard]] virtual bool ParseState(COrvaneFile& kFile, COrvaneAIControllerState& kState) const;
    // Puts a parsed record into the block (and its owner); cannot fail.
    virtual void ApplyState(const COrvaneAIControllerState& kState, COrvaneAIStateBlock& kBlock);
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
