#pragma once

#include "engine/core/NiVec3.h"
#include "framework/COrvaneAICharacterController.h"

class CGameCharacter;
class COrvaneFile;

// A position line of a saved controller: "x,y,z".
struct CAIPositionState : COrvaneAIControllerState
{
    NiVec3 m_kPosition;
};

// What the game's controllers share: the bound character, switching it by
// name at its next AI step, one slice of path planning, position lines and
// the character's visibility at a connector's end.
class CAIGameController : public COrvaneAICharacterController
{
public:
    static constexpr float PATH_BUDGET = 0.0025f;

    explicit CAIGameController(const char* pcName);
    ~CAIGameController() override;

    // Nothing to give back when a character leaves.
    void ReleaseBlock(COrvaneAIStateBlock* pkBlock) override { (void)pkBlock; }

    // The character the bound block belongs to; null without one.
    [[nodiscard]] CGameCharacter* Character() const;
    // The switch happens at the character's next AI step.
    static void SwitchTo(CGameCharacter& kCharacter, const char* pcName);
    // One slice of planning toward the target cell; the walk status after.
    static std::int32_t PlanStep(CGameCharacter& kCharacter);
    // While a connector's walk ends with the model hidden, the model shows
    // again where the destination floor may be seen.
    static void ShowAtConnectorEnd(CGameCharacter& kCharacter);
    [[nodiscard]] static bool IsSplineFinished(const CGameCharacter& kCharacter);

    static void WritePosition(COrvaneFile& kFile, const NiVec3& kPosition);
    // Exactly three numbers; false otherwise.
    [[nodiscard]] static bool ReadPosition(COrvaneFile& kFile, NiVec3& kPosition);
};
