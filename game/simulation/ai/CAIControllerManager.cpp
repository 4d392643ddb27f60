#include "game/simulation/ai/CAIControllerManager.h"

#include "game/simulation/ai/CAIMovementControllers.h"
#include "game/simulation/ai/CAIUseControllers.h"

CAIControllerManager::CAIControllerManager() = default;

CAIControllerManager::~CAIControllerManager()
{
    CAIControllerManager::Destroy();
}

void CAIControllerManager::Destroy()
{
    COrvaneAIControllerManager::Destroy();
}

void CAIControllerManager::Release()
{
    Destroy();
}

void CAIControllerManager::RegisterControllers()
{
    Register(std::make_unique<CAIControllerWander>());
    Register(std::make_unique<CAIControllerObjectUse>());
    Register(std::make_unique<CAIControllerCharacterUse>());
    Register(std::make_unique<CAIControllerUsedByCharacter>());
    Register(std::make_unique<CAIControllerConnectorUse>());
    Register(std::make_unique<CAIControllerPathToSpecificObject>());
    Register(std::make_unique<CAIControllerSpawn>());
}
