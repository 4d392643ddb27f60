#pragma once

#include "framework/COrvaneBase.h"

#include <memory>
#include <vector>

class COrvaneAICharacterController;

// Owns the shared AI controllers, found by name.
class COrvaneAIControllerManager : public COrvaneBase
{
public:
    COrvaneAIControllerManager();
    ~COrvaneAIControllerManager() override;

    void Destroy() override;
    // Takes the controller; the return is the registered controller.
    COrvaneAICharacterController* Register(std::unique_ptr<COrvaneAICharacterController> pkController);
    // The first registered controller whose name contains the text
    // (case-sensitive); null when none does.
    [[nodiscard]] COrvaneAICharacterController* FindController(const char* pcText) const;
    [[nodiscard]] std::size_t GetCount() const { return m_kControllers.size(); }

private:
    std::vector<std::unique_ptr<COrvaneAICharacterController>> m_kControllers;
};
