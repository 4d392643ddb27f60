#pragma once

#include "game/simulation/ai/CAIGameController.h"

#include <string>

class CGameCharacter;

// The saved lines of an object use: the reserved slot, then the walk's
// progress (walking in or out) or the use animation (using).
struct CAIObjectUseState : COrvaneAIControllerState
{
    std::int16_t m_sList = -1;
    std::int16_t m_sSlot = -1;
    float m_fProgress = 0.0f;
    std::uint8_t m_ucReversed = 0;
    std::string m_kAnimation;
    float m_fTimer = 0.0f;
    std::uint8_t m_ucLooping = 0;
};

// "objectUse": into the reserved use slot along its spline (1, 2), the use
// animation on the character and the object (3), out again (4), "wander".
class CAIControllerObjectUse : public CAIGameController
{
public:
    // "Forever" for the object's and an endless user's animation.
    static constexpr float ENDLESS = 3.4028235e38f;

    CAIControllerObjectUse();
    int HandleEvent(std::int32_t iEvent, std::uint8_t ucState) override;
    int Restore(COrvaneAIStateBlock& kBlock) override;
    int Save(COrvaneFile& kFile, COrvaneAIStateBlock& kBlock) override;
    [[nodiscard]] std::unique_ptr<COrvaneAIControllerState> NewState() const override;
    [[nodiscard]] bool ParseState(COrvaneFile& kFile, COrvaneAIControllerState& kState) const override;
    void ApplyState(const COrvaneAIControllerState& kState, COrvaneAIStateBlock& kBlock) override;

    // Gives the slot up: state 0, no slot, the object remembered.
    virtual void CancelUse();
    // The part after the first "_"; false without one.
    [[nodiscard]] virtual bool ExtractAnimationName(const std::string& kName, std::string& kOut) const;

private:
    // The use animation the object plays, by character (kept per block
    // owner only while it uses the object).
    static void StopObjectAnimation(CGameCharacter& kCharacter);
};

// "characterUse": plans (1) and walks (2) toward the partner, who walks
// back along the same path, then bouts (3) until the controller timer runs
// out; "wander".
class CAIControllerCharacterUse : public CAIGameController
{
public:
    CAIControllerCharacterUse();
    int HandleEvent(std::int32_t iEvent, std::uint8_t ucState) override;
    // Walking or bouting is saved as planning (1,1,0).
    int Save(COrvaneFile& kFile, COrvaneAIStateBlock& kBlock) override;
    // The partner is asked again; without one, "wander".
    int Restore(COrvaneAIStateBlock& kBlock) override;

    // One bout: the character's interaction and the partner's answer
    // facing it at the interaction distance.
    static void StartBout(CGameCharacter& kCharacter);
    // The partner's animation for the character's: after the last "/",
    // the character after the first "_" made "d"; empty without one.
    [[nodiscard]] static std::string PartnerAnimation(const std::string& kName);

private:
    static void EndInteraction(CGameCharacter& kCharacter);
};

// "usedByCharacter": holds the partner still in state 0.
class CAIControllerUsedByCharacter : public CAIGameController
{
public:
    CAIControllerUsedByCharacter();
    int HandleEvent(std::int32_t iEvent, std::uint8_t ucState) override;
};
