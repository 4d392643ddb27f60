#pragma once

#include "game/simulation/ai/CAIGameController.h"

class CBlockGrid;
class CGameCharacter;
class CPathableObject;
struct COrvaneGridMarker;

// "wander": settle (0), pause (1), choose (2), plan (3), walk (4); then on
// to "objectUse", "connectorUse", "pathToSpecific" or "characterUse".
class CAIControllerWander : public CAIGameController
{
public:
    CAIControllerWander();
    int HandleEvent(std::int32_t iEvent, std::uint8_t ucState) override;
    // State 4 is saved as 3, so a loaded walker plans again.
    int Save(COrvaneFile& kFile, COrvaneAIStateBlock& kBlock) override;
};

// "pathToSpecific": route (1), plan (2) and walk (3) leg by leg, through
// connectors between floors and buildings, to the reserved use slot's
// entry cell; then "objectUse".
class CAIControllerPathToSpecificObject : public CAIGameController
{
public:
    CAIControllerPathToSpecificObject();
    int HandleEvent(std::int32_t iEvent, std::uint8_t ucState) override;
    // "1,1,0" and the position (a finished connector walk's connector's).
    int Save(COrvaneFile& kFile, COrvaneAIStateBlock& kBlock) override;
    [[nodiscard]] std::unique_ptr<COrvaneAIControllerState> NewState() const override;
    [[nodiscard]] bool ParseState(COrvaneFile& kFile, COrvaneAIControllerState& kState) const override;
    // Stands at the position and routes again from state 1.
    void ApplyState(const COrvaneAIControllerState& kState, COrvaneAIStateBlock& kBlock) override;

    // The connector of the character's grid that leads toward the object's
    // grid; null when the object stands on the character's grid or none
    // leads there. bNeeded tells the two apart.
    [[nodiscard]] static COrvaneGridMarker* ChooseLeg(const CGameCharacter& kCharacter,
                                                      const CPathableObject& kObject, bool& bNeeded);
};

// "connectorUse": walks the connector's spline (set by the controller that
// switched here) onto its destination grid, then "wander".
class CAIControllerConnectorUse : public CAIGameController
{
public:
    CAIControllerConnectorUse();
    int HandleEvent(std::int32_t iEvent, std::uint8_t ucState) override;
    // The connector's position (own without one) alone.
    int Save(COrvaneFile& kFile, COrvaneAIStateBlock& kBlock) override;
    [[nodiscard]] std::unique_ptr<COrvaneAIControllerState> NewState() const override;
    [[nodiscard]] bool ParseState(COrvaneFile& kFile, COrvaneAIControllerState& kState) const override;
    // Stands at the position in "wander".
    void ApplyState(const COrvaneAIControllerState& kState, COrvaneAIStateBlock& kBlock) override;
};

// "spawn": walks in on the spawn point's spline; the target becomes the
// home, its first free use slot is reserved and "pathToSpecific" takes the
// character there.
class CAIControllerSpawn : public CAIControllerConnectorUse
{
public:
    CAIControllerSpawn();
    int HandleEvent(std::int32_t iEvent, std::uint8_t ucState) override;
    // The arrival road's end (own position without one) alone.
    int Save(COrvaneFile& kFile, COrvaneAIStateBlock& kBlock) override;
};
