#include "framework/COrvaneAIControllerManager.h"

#include "framework/COrvaneAICharacterController.h"

#include <cstring>

COrvaneAIControllerManager::COrvaneAIControllerManager() = default;

COrvaneAIControllerManager::~COrvaneAIControllerManager()
{
    Destroy();
}

void COrvaneAIControllerManager::Destroy()
{
    m_kControllers.clear();
}

COrvaneAICharacterController* COrvaneAIControllerManager::Register(
    std::unique_ptr<COrvaneAICharacterController> pkController)
{
    if (!pkController)
        return nullptr;
    pkController->SetManager(this);
    m_kControllers.push_back(std::move(pkController));
    return m_kControllers.back().get();
}

COrvaneAICharacterController* COrvaneAIControllerManager::FindController(const char* pcText) const
{
    if (!pcText)
        return nullptr;
    for (const std::unique_ptr<COrvaneAICharacterController>& pkController : m_kControllers)
    {
        const char* pcName = pkController->GetName();
        if (pcName && std::strstr(pcName, pcText))
            return pkController.get();
    }
    return nullptr;
}
