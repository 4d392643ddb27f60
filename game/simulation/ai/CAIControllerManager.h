#pragma once

#include "framework/COrvaneAIControllerManager.h"

// The game's controllers, one of each kind in the order their names are
// looked up: "wander", "objectUse", "characterUse", "usedByCharacter",
// "connectorUse", "pathToSpecific", "spawn". The game owns the manager; the
// manager owns the controllers.
class CAIControllerManager : public COrvaneAIControllerManager
{
public:
    CAIControllerManager();
    ~CAIControllerManager() override;

    void Destroy() override;
    void Release() override;
    // One controller of each kind, appended in the order above.
    virtual void RegisterControllers();
};
